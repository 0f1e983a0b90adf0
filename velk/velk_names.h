// The name index of the data-language core: the hash of short texts, the
// name -> object index kept beside lists searched by name, and the shared
// lists of declared names. Internal to velk/: public headers name these
// classes only in forward declarations and hold them through pointers.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/os/os_memory.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class VelkType;

// A hash of short texts (names, values) in a few multiplications, its low
// bits as well mixed as its high ones.
inline uint64_t Velk_Hash(const char* aText, size_t aLength)
{
    uint64_t locHash = 0x9E3779B97F4A7C15ull ^ (aLength * 0xC2B2AE3D27D4EB4Full);
    while (aLength >= 8)
    {
        uint64_t locWord;
        memcpy(&locWord, aText, 8);
        locHash = (locHash ^ locWord) * 0xFF51AFD7ED558CCDull;
        locHash ^= locHash >> 29;
        aText += 8;
        aLength -= 8;
    }
    uint64_t locWord = 0;
    if (aLength > 0)
        memcpy(&locWord, aText, aLength);
    locHash = (locHash ^ locWord) * 0xC4CEB9FE1A85EC53ull;
    locHash ^= locHash >> 33;
    locHash *= 0xFF51AFD7ED558CCDull;
    locHash ^= locHash >> 33;
    return locHash;
}

struct VelkStringHash
{
    using is_transparent = void;
    size_t operator()(std::string_view aText) const { return Velk_Hash(aText.data(), aText.size()); }
};

// Name -> object index beside an ordered list. Names may repeat: an entry counts
// the objects of one name and remembers the object only while it is the only one,
// so a repeated name sends the caller back to its list for the first in order.
// Open addressing with linear probing: a lookup touches one slot in most cases,
// and a name's text only when its hash matches.
class VelkNameIndex
{
public:
    enum LookupResult
    {
        LOOKUP_ABSENT = 0,
        LOOKUP_UNIQUE = 1,
        LOOKUP_SCAN = 2,
    };

    void Clear()
    {
        mySlots.clear();
        mySlots.shrink_to_fit();
        myKeys.clear();
        myKeyLeft = 0;
        myUsed = 0;
        myTotal = 0;
    }
    size_t GetNumNames() const { return myUsed; }
    // The number of objects the index accounts for.
    int GetTotal() const { return myTotal; }

    void Add(std::string_view aName, VelkType* anObject)
    {
        const uint32_t locHash = Priv_Hash(aName);
        const size_t locFound = Priv_Find(aName, locHash);
        myTotal++;
        if (locFound != NOT_FOUND)
        {
            Priv_SetCount(mySlots[locFound], Priv_Count(mySlots[locFound]) + 1);
            mySlots[locFound].myOnly = nullptr;
            return;
        }
        Priv_Insert(aName, locHash, anObject);
    }

    // Adds unless the name is present; false then.
    bool AddIfAbsent(std::string_view aName, VelkType* anObject)
    {
        const uint32_t locHash = Priv_Hash(aName);
        if (Priv_Find(aName, locHash) != NOT_FOUND)
            return false;
        myTotal++;
        Priv_Insert(aName, locHash, anObject);
        return true;
    }

    void Remove(std::string_view aName, VelkType* anObject)
    {
        const size_t locFound = Priv_Find(aName, Priv_Hash(aName));
        if (locFound == NOT_FOUND)
            return;
        myTotal--;
        const int locCount = Priv_Count(mySlots[locFound]) - 1;
        Priv_SetCount(mySlots[locFound], locCount);
        if (locCount <= 0)
            Priv_Erase(locFound);
        else
            mySlots[locFound].myOnly = nullptr;
    }

    LookupResult Lookup(std::string_view aName, VelkType*& anObject) const
    {
        anObject = nullptr;
        const size_t locFound = Priv_Find(aName, Priv_Hash(aName));
        if (locFound == NOT_FOUND)
            return LOOKUP_ABSENT;
        const Slot& locSlot = mySlots[locFound];
        if (locSlot.myOnly && Priv_Count(locSlot) == 1)
        {
            anObject = locSlot.myOnly;
            return LOOKUP_UNIQUE;
        }
        return LOOKUP_SCAN;
    }

    // After a scan found the only object of a name, the entry keeps it.
    void SetOnly(std::string_view aName, VelkType* anObject)
    {
        const size_t locFound = Priv_Find(aName, Priv_Hash(aName));
        if (locFound != NOT_FOUND && Priv_Count(mySlots[locFound]) == 1)
            mySlots[locFound].myOnly = anObject;
    }

private:
    static constexpr size_t NOT_FOUND = (size_t)-1;

    // 16 bytes: the count of objects of the name lies in the key's record.
    struct Slot
    {
        uint32_t myHash = 0; // 0: empty
        uint32_t myKey = 0;  // the key's record: block << KEY_OFFSET_BITS | offset
        VelkType* myOnly = nullptr; // null while the name repeats or after a removal
    };

    // Names that differ only in their last character (item1, item2, ...) start
    // their probes in one group of 16 slots, four cache lines: a file's run of
    // numbered roots, added or looked up in order, then reads lines it has just
    // read instead of one far line per name. The low bits place the name in its
    // group by that character; the rest hash what comes before it.
    static uint32_t Priv_Hash(std::string_view aName)
    {
        if (aName.empty())
            return 1;
        const uint64_t locHead = Velk_Hash(aName.data(), aName.size() - 1);
        const uint32_t locHash =
            static_cast<uint32_t>(locHead << 4) | (static_cast<unsigned char>(aName.back()) & 15u);
        return locHash ? locHash : 1;
    }

    // A key's record: its length (4 bytes), the count of objects of that
    // name (4 bytes), the text.
    char* Priv_Record(uint32_t aKey) const
    {
        return myKeys[aKey >> KEY_OFFSET_BITS].get() + (aKey & ((1u << KEY_OFFSET_BITS) - 1));
    }
    int Priv_Count(const Slot& aSlot) const
    {
        int locCount;
        memcpy(&locCount, Priv_Record(aSlot.myKey) + 4, 4);
        return locCount;
    }
    void Priv_SetCount(const Slot& aSlot, int aCount)
    {
        memcpy(Priv_Record(aSlot.myKey) + 4, &aCount, 4);
    }

    size_t Priv_Find(std::string_view aName, uint32_t aHash) const
    {
        if (mySlots.empty())
            return NOT_FOUND;
        const size_t locMask = mySlots.size() - 1;
        for (size_t locPos = aHash & locMask;; locPos = (locPos + 1) & locMask)
        {
            const Slot& locSlot = mySlots[locPos];
            if (locSlot.myHash == 0)
                return NOT_FOUND;
            if (locSlot.myHash != aHash)
                continue;
            const char* locRecord = Priv_Record(locSlot.myKey);
            uint32_t locLength;
            memcpy(&locLength, locRecord, 4);
            if (locLength == aName.size() && (aName.empty() || memcmp(locRecord + 8, aName.data(), aName.size()) == 0))
                return locPos;
        }
    }

    // The key texts, kept in blocks: a removed name's record stays until
    // Clear. A key longer than a block gets a block of its own.
    uint32_t Priv_StoreKey(std::string_view aName)
    {
        const size_t locNeed = aName.size() + 8;
        if (locNeed > myKeyLeft)
        {
            const size_t locBlock = locNeed > KEY_BLOCK ? locNeed : KEY_BLOCK;
            myKeys.emplace_back(new char[locBlock]);
            myKeyFree = myKeys.back().get();
            myKeyLeft = locBlock;
        }
        const uint32_t locKey = static_cast<uint32_t>(((myKeys.size() - 1) << KEY_OFFSET_BITS) |
                                                      static_cast<size_t>(myKeyFree - myKeys.back().get()));
        const uint32_t locLength = static_cast<uint32_t>(aName.size());
        const int locCount = 1;
        memcpy(myKeyFree, &locLength, 4);
        memcpy(myKeyFree + 4, &locCount, 4);
        if (!aName.empty())
            memcpy(myKeyFree + 8, aName.data(), aName.size());
        myKeyFree += locNeed;
        myKeyLeft -= locNeed;
        return locKey;
    }

    void Priv_Insert(std::string_view aName, uint32_t aHash, VelkType* anObject)
    {
        // At most three quarters full, so probes stay short.
        if ((myUsed + 1) * 4 > mySlots.size() * 3)
            Priv_Grow();
        const size_t locMask = mySlots.size() - 1;
        size_t locPos = aHash & locMask;
        while (mySlots[locPos].myHash != 0)
            locPos = (locPos + 1) & locMask;
        Slot& locSlot = mySlots[locPos];
        locSlot.myHash = aHash;
        locSlot.myKey = Priv_StoreKey(aName);
        locSlot.myOnly = anObject;
        myUsed++;
    }

    void Priv_Grow()
    {
        std::vector<Slot, OS_LargeAllocator<Slot>> locOld;
        locOld.swap(mySlots);
        // Every page of the table is written below: faulted in at once.
        const size_t locCount = locOld.empty() ? 16 : locOld.size() * 2;
        mySlots.reserve(locCount);
        OS_FaultIn(mySlots.data(), locCount * sizeof(Slot));
        mySlots.resize(locCount);
        const size_t locMask = mySlots.size() - 1;
        for (Slot& locSlot : locOld)
        {
            if (locSlot.myHash == 0)
                continue;
            size_t locPos = locSlot.myHash & locMask;
            while (mySlots[locPos].myHash != 0)
                locPos = (locPos + 1) & locMask;
            mySlots[locPos] = locSlot;
        }
    }

    // Backward-shift deletion: later slots of the probe run move up to close the gap.
    void Priv_Erase(size_t aPos)
    {
        const size_t locMask = mySlots.size() - 1;
        size_t locGap = aPos;
        for (size_t locNext = (aPos + 1) & locMask; mySlots[locNext].myHash != 0; locNext = (locNext + 1) & locMask)
        {
            const size_t locHome = mySlots[locNext].myHash & locMask;
            // The entry may fill the gap unless its home lies after the gap, up to itself.
            const bool locStays = locGap <= locNext ? (locGap < locHome && locHome <= locNext)
                                                    : (locGap < locHome || locHome <= locNext);
            if (locStays)
                continue;
            mySlots[locGap] = mySlots[locNext];
            locGap = locNext;
        }
        mySlots[locGap] = Slot();
        myUsed--;
    }

    // Keys of at most KEY_BLOCK - 8 bytes share blocks; offsets in a block fit
    // KEY_OFFSET_BITS bits, which leaves room for 2^18 blocks.
    static constexpr size_t KEY_BLOCK = 16 * 1024;
    static constexpr unsigned KEY_OFFSET_BITS = 14;

    // A namespace's roots fill a table of megabytes: a large block then.
    std::vector<Slot, OS_LargeAllocator<Slot>> mySlots;
    std::vector<std::unique_ptr<char[]>> myKeys;
    char* myKeyFree = nullptr;
    size_t myKeyLeft = 0;
    size_t myUsed = 0;
    int myTotal = 0;
};

// An ordered list of names with a set beside it. A declared type builds it once;
// the type's clones share it, so an instance costs no copy of it.
class VelkNameList
{
public:
    // False when the name is already listed.
    bool Add(const QC_String& aName)
    {
        std::string_view locName(aName.GetBuffer(), aName.GetLength());
        if (mySet.find(locName) != mySet.end())
            return false;
        auto locPlace = mySet.emplace(locName, myNames.myCount).first;
        myOrder.emplace_back(locPlace->first);
        return myNames.Add(aName);
    }
    // Listed again when already present.
    bool Append(const QC_String& aName)
    {
        auto locPlace = mySet.emplace(std::string(aName.GetBuffer(), aName.GetLength()), myNames.myCount).first;
        myOrder.emplace_back(locPlace->first);
        return myNames.Add(aName);
    }
    bool Has(std::string_view aName) const
    {
        // An enumeration's few values are compared faster than hashed.
        if (myOrder.size() <= SCAN_MAX)
        {
            for (std::string_view locName : myOrder)
                if (locName == aName)
                    return true;
            return false;
        }
        return mySet.find(aName) != mySet.end();
    }
    // The list's own copy of the name, which stays where it is while the
    // list lives, or null when the name is not listed.
    const char* FindText(std::string_view aName) const
    {
        auto locIt = mySet.find(aName);
        return locIt == mySet.end() ? nullptr : locIt->first.c_str();
    }
    // Listed at that place: a member of a clone most often is where its
    // declaration put it, and this asks no hash.
    bool IsAt(int anIndex, std::string_view aName) const
    {
        return anIndex >= 0 && size_t(anIndex) < myOrder.size() && myOrder[size_t(anIndex)] == aName;
    }
    // Where the name is first listed, or -1.
    int Find(std::string_view aName) const
    {
        auto locIt = mySet.find(aName);
        return locIt == mySet.end() ? -1 : locIt->second;
    }
    const QC_List<QC_String>& GetNames() const { return myNames; }

private:
    friend class VelkNameListRef;
    static constexpr size_t SCAN_MAX = 8;
    QC_List<QC_String> myNames;
    std::unordered_map<std::string, int, VelkStringHash, std::equal_to<>> mySet;
    // The names by place, viewing the set's keys (which stay where they are).
    std::vector<std::string_view> myOrder;
    // Holds of VelkNameListRef.
    int myUseCount = 1;
};
