// Internals shared by the sources of the data-language core: thin helpers over
// the common library's string and list, and the name index kept beside lists
// that are searched by name.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/os/os_memory.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_listiterator.h"
#include "qcommon/qc_string.h"
#include "velk/velk_arena.h"

class VelkType;

inline const char* Velk_Text(const QC_String& aString)
{
    return aString.GetBuffer();
}

inline int Velk_Length(const QC_String& aString)
{
    // The length word before the text, as the string keeps it.
    uint16_t locLength;
    memcpy(&locLength, aString.GetBuffer() - 2, 2);
    return locLength;
}

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

template <class T>
inline int Velk_Count(const QC_List<T>& aList)
{
    return aList.myCount;
}

// Longest text a QC_String can hold.
constexpr int VELK_MAX_STRING = 65534;

struct VelkStringHash
{
    using is_transparent = void;
    size_t operator()(std::string_view aText) const { return Velk_Hash(aText.data(), aText.size()); }
};

// Name -> object index beside an ordered list. Names may repeat: an entry counts
// the objects of one name and remembers the object only while it is the only one,
// so a repeated name sends the caller back to its list for the first in order.
// Open addressing with linear probing: a lookup touches one slot in most cases,
// and short names are held inside the slot.
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

    static uint32_t Priv_Hash(std::string_view aName)
    {
        const uint32_t locHash = static_cast<uint32_t>(Velk_Hash(aName.data(), aName.size()));
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

    // A namespace's roots fill a table of megabytes: on huge pages then.
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
    bool Has(std::string_view aName) const { return mySet.find(aName) != mySet.end(); }
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
    QC_List<QC_String> myNames;
    std::unordered_map<std::string, int, VelkStringHash, std::equal_to<>> mySet;
    // The names by place, viewing the set's keys (which stay where they are).
    std::vector<std::string_view> myOrder;
    // Holds of VelkNameListRef.
    int myUseCount = 1;
};

// A file's text as read: uninitialised when sized, on huge pages when large.
// Read from its start on, the whole pages passed go back to the system.
class VelkTextBuffer
{
public:
    VelkTextBuffer() = default;
    ~VelkTextBuffer() { Free(); }
    VelkTextBuffer(const VelkTextBuffer&) = delete;
    VelkTextBuffer& operator=(const VelkTextBuffer&) = delete;

    // aSize bytes, not cleared; false when no memory is left (empty then).
    bool Allocate(size_t aSize);
    void Free();
    // At most the size allocated.
    void SetSize(size_t aSize) { mySize = aSize < myCapacity ? aSize : myCapacity; }

    char* data() { return myText; }
    const char* data() const { return myText; }
    size_t size() const { return mySize; }
    bool empty() const { return mySize == 0; }
    char& operator[](size_t anIndex) { return myText[anIndex]; }
    char operator[](size_t anIndex) const { return myText[anIndex]; }

    // The text before aPos is read and no longer wanted: its whole pages go
    // back to the system, in steps of a quarter megabyte at least, and under
    // the address sanitizer any read of it is reported.
    void Passed(size_t aPos);

private:
    char* myText = nullptr; // from OS_AllocLarge, myCapacity bytes
    size_t mySize = 0;
    size_t myCapacity = 0;
    size_t myPassed = 0;
    size_t myDiscarded = 0;
};

// The arena's data, behind VelkArena's public face.
class VelkArenaLocal : public VelkArena
{
public:
    static VelkArenaLocal* Of(VelkArena* anArena) { return static_cast<VelkArenaLocal*>(anArena); }

    void AddRef() { myUseCount++; }
    void Release()
    {
        if (--myUseCount == 0)
            delete this;
    }
    void* Allocate(size_t aSize, size_t anAlign = alignof(std::max_align_t));
    // A copy of the text laid out as a string's own (the length word before,
    // the NUL after); null when no memory is left. aLength < 65535.
    char* CopyText(const char* aText, size_t aLength);
    // Takes back the text CopyText made last, when nothing was made since.
    void GiveBack(char* aText, size_t aLength);
    // The same, one copy per distinct text: for texts many objects start with.
    char* InternText(const char* aText, size_t aLength);
    // Whether [aPlace, aPlace + aSize) lies within one of the arena's blocks.
    bool Holds(const void* aPlace, size_t aSize) const;

    // The arena that objects made now take their texts from, or null.
    static VelkArenaLocal* GetCurrent();
    // The arena's number among those alive (1 to 65535), or 0 when all were
    // taken: texts then take heap copies instead of borrowing from it.
    uint16_t GetNumber() const { return myNumber; }
    // The arena of that number; null for 0.
    static VelkArenaLocal* FromNumber(uint16_t aNumber) { return ourByNumber[aNumber]; }

    // Makes anArena the current one for the scope's life.
    class Scope
    {
    public:
        explicit Scope(VelkArena* anArena);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        VelkArenaLocal* myPrevious;
    };

private:
    friend class VelkArena;
    VelkArenaLocal() = default;
    ~VelkArenaLocal();
    // Adds the next piece of the current block to the room left, faulted in.
    void Priv_FaultInStep();
    // Hands out [myFree, myFree + aSize), which fits the room left.
    char* Priv_Take(size_t aSize);

    struct Block
    {
        Block* myNext;
        size_t mySize;
    };

    // Indexed by number, so that finding a text's arena takes one load; slot 0 stays null.
    static VelkArenaLocal* ourByNumber[65536];

    int myUseCount = 1;
    uint16_t myNumber = 0;
    Block* myBlocks = nullptr;
    char* myFree = nullptr;
    size_t myLeft = 0; // up to what is faulted in of the block
    char* myBlockEnd = nullptr;
    size_t myNextBlockSize = 16 * 1024;
    size_t myHeld = 0; // bytes in myBlocks
    bool myLargeFlag = false;
    std::unordered_map<std::string_view, char*, VelkStringHash> myInterned;
    // The texts last interned by where they came from: a compile interns the
    // same few prototype values again and again. A hit is checked by content.
    struct Recent
    {
        const char* mySource = nullptr;
        char* myCopy = nullptr;
    };
    Recent myRecent[64];
};

// Which arena a text borrows from, kept by the text's holder in the top bits
// of a word it has anyway (VELK_ARENA_SHIFT): an arena's number, 0 for none.
// A text then costs one pointer.
class VelkArenaHold
{
public:
    explicit VelkArenaHold(uintptr_t& aWord) : myWord(aWord) {}
    VelkArenaLocal* Get() const { return VelkArenaLocal::FromNumber(uint16_t(myWord >> VELK_ARENA_SHIFT)); }
    void Set(VelkArenaLocal* anArena)
    {
        const uintptr_t locNumber = anArena ? anArena->GetNumber() : 0;
        myWord = (myWord & ~(~uintptr_t(0) << VELK_ARENA_SHIFT)) | (locNumber << VELK_ARENA_SHIFT);
    }

private:
    uintptr_t& myWord;
};
