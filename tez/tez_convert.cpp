// The converter: records of a namespace into a .tez file, its LOCTEXT texts into
// the .loc file, and the hash report.
//
// [SECTION] Registry tables, sibling checks and formatting helpers
// [SECTION] TezOutput
// [SECTION] Hash registry and report
// [SECTION] Conversion
#include "tez/tez_convert.h"

#include <algorithm>
#include <climits>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/os/os_file.h"
#include "platform/os/os_memory.h"
#include "platform/os/os_savefile.h"
#include "qcommon/qc_mem.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"
#include "tez/tez_local.h"
#include "velk/velk_arena.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"

// [SECTION] Registry tables, sibling checks and formatting helpers

namespace
{
// The process-wide hash registry. Conversions run on one thread; the names of
// one are registered by one thread, while the records are written by another.
struct TezRegistry
{
    // Large tables come straight from the system: a conversion registers
    // names by the hundred thousand.
    TezHashEntries myEntries;
    // The entries whose name hash other entries share, in the report's order.
    std::vector<uint32_t, OS_LargeAllocator<uint32_t>> myDuplicates;
    TezHashEntries myDuplicateEntries;   // the same as entries, made when asked for
    // The entries by their text, open addressing with linear probing over a
    // hash of the whole text (the name hashes are weak: whole families of
    // names share one): a slot holds the text hash above the entry's index + 1,
    // 0 when empty, so that a probe reads nothing else until the hashes match.
    std::vector<uint64_t, OS_LargeAllocator<uint64_t>> myNameSlots;
    // Per name hash, the first entry of that hash and how many share it.
    struct HashSlot
    {
        uint32_t myHash;
        uint32_t myFirst;
        uint32_t myCount;   // 0: empty slot
    };
    std::vector<HashSlot, OS_LargeAllocator<HashSlot>> myHashSlots;
    // The names' texts, NUL-terminated, in an arena of their own (in large
    // blocks from the first when many names are expected).
    VelkArena* myTexts = nullptr;
    bool myManyTextsFlag = false;
    // Sibling pairs reported in this conversion.
    int myNumCollisions = 0;
    // Names registered lately, by the address of the text met: the objects of
    // one type share their type name's text and clones their members' names,
    // so most records need neither a hash nor a registry lookup. A hit is
    // checked by content against the registered text, which stays put until
    // Clear.
    struct Seen
    {
        const char* myMet = nullptr;
        const char* myRegistered = nullptr;
        uint32_t myHash = 0;
    };
    Seen mySeen[512];
    // Lists of siblings found free of shared hashes, by the addresses of
    // their names: clones of one class meet the same lists again and again.
    // Texts stay put during a conversion, so equal addresses are equal names.
    static constexpr size_t ourMaxCleanSiblings = 32;
    struct CleanSiblings
    {
        const char* myNames[ourMaxCleanSiblings];
        size_t myCount = 0;
    };
    CleanSiblings myClean[16];

    ~TezRegistry() { Clear(); }

    void Clear()
    {
        std::fill(std::begin(mySeen), std::end(mySeen), Seen());
        myEntries.clear();
        myDuplicates.clear();
        myDuplicateEntries.clear();
        myNameSlots.clear();
        myHashSlots.clear();
        if (myTexts)
            myTexts->Release();
        myTexts = nullptr;
        myManyTextsFlag = false;
        myNumCollisions = 0;
        for (CleanSiblings& locClean : myClean)
            locClean.myCount = 0;
    }

    CleanSiblings& CleanFor(const char* aFirstName, size_t aCount)
    {
        const uintptr_t locKey = (reinterpret_cast<uintptr_t>(aFirstName) >> 3) * 31 + aCount;
        return myClean[locKey % (sizeof(myClean) / sizeof(myClean[0]))];
    }

    static uint32_t TextHash(const char* aText, size_t aLength)
    {
        uint64_t locHash = 0xCBF29CE484222325ull ^ aLength;
        for (size_t locIndex = 0; locIndex < aLength; ++locIndex)
            locHash = (locHash ^ static_cast<unsigned char>(aText[locIndex])) * 0x100000001B3ull;
        return static_cast<uint32_t>(locHash ^ (locHash >> 32));
    }

    // A slot from a 32-bit hash for a table of 2^n slots (the name hashes are
    // sums: their low bits are poorly spread).
    static size_t SlotOf(uint32_t aHash, size_t aNumSlots)
    {
        return static_cast<size_t>((aHash * 0x9E3779B1ull) & 0xFFFFFFFFu) * aNumSlots >> 32;
    }

    // Room for about aCount names without growing on the way.
    void Reserve(size_t aCount)
    {
        // Names by the ten thousand fill a large block of text at once.
        myManyTextsFlag = aCount >= 65536;
        myEntries.reserve(aCount);
        while (myNameSlots.size() * 7 < aCount * 10)
            Grow();
    }

    // Tables at most 70% full: small enough to stay in the caches, the probe
    // runs still short.
    void Grow()
    {
        const size_t locSlots = myNameSlots.empty() ? 1024 : myNameSlots.size() * 2;
        std::vector<uint64_t, OS_LargeAllocator<uint64_t>> locOldNames;
        locOldNames.swap(myNameSlots);
        myNameSlots.assign(locSlots, 0);
        for (const uint64_t locName : locOldNames)
        {
            if (locName == 0)
                continue;
            size_t locSlot = SlotOf(static_cast<uint32_t>(locName >> 32), locSlots);
            while (myNameSlots[locSlot] != 0)
                locSlot = (locSlot + 1) & (locSlots - 1);
            myNameSlots[locSlot] = locName;
        }
        std::vector<HashSlot, OS_LargeAllocator<HashSlot>> locOld;
        locOld.swap(myHashSlots);
        myHashSlots.assign(locSlots, HashSlot{0, 0, 0});
        for (const HashSlot& locHash : locOld)
        {
            if (locHash.myCount == 0)
                continue;
            size_t locSlot = SlotOf(locHash.myHash, locSlots);
            while (myHashSlots[locSlot].myCount != 0)
                locSlot = (locSlot + 1) & (locSlots - 1);
            myHashSlots[locSlot] = locHash;
        }
    }

    std::string_view StoreText(const char* aText, size_t aLength)
    {
        if (!myTexts && (myTexts = VelkArena::Create()) != nullptr && myManyTextsFlag)
            myTexts->ExpectLarge();
        char* locText = myTexts ? static_cast<char*>(myTexts->Allocate(aLength + 1, 1)) : nullptr;
        if (locText == nullptr)
            QC_Mem::FatalError("VelkToTez: out of memory registering names");
        memcpy(locText, aText, aLength);
        locText[aLength] = 0;
        return std::string_view(locText, aLength);
    }

    // The registered text of the name, registered now if it was not.
    const char* Register(uint32_t aHash, const char* aName)
    {
        const size_t locLength = strlen(aName);
        const uint32_t locTextHash = TextHash(aName, locLength);
        if ((myEntries.size() + 1) * 10 > myNameSlots.size() * 7)
            Grow();
        const size_t locMask = myNameSlots.size() - 1;
        size_t locSlot = SlotOf(locTextHash, myNameSlots.size());
        for (; myNameSlots[locSlot] != 0; locSlot = (locSlot + 1) & locMask)
        {
            if (static_cast<uint32_t>(myNameSlots[locSlot] >> 32) != locTextHash)
                continue;
            const TezHashEntry& locEntry = myEntries[static_cast<uint32_t>(myNameSlots[locSlot]) - 1];
            if (locEntry.myName.size() == locLength && memcmp(locEntry.myName.data(), aName, locLength) == 0)
                return locEntry.myName.data();
        }
        const uint32_t locNewIndex = static_cast<uint32_t>(myEntries.size());
        const TezHashEntry locNew{StoreText(aName, locLength), aHash};
        myNameSlots[locSlot] = (uint64_t(locTextHash) << 32) | (locNewIndex + 1);
        myEntries.push_back(locNew);

        size_t locHashSlot = SlotOf(aHash, myHashSlots.size());
        while (myHashSlots[locHashSlot].myCount != 0 && myHashSlots[locHashSlot].myHash != aHash)
            locHashSlot = (locHashSlot + 1) & locMask;
        HashSlot& locShared = myHashSlots[locHashSlot];
        if (locShared.myCount == 0)
        {
            locShared = HashSlot{aHash, locNewIndex, 1};
            return locNew.myName.data();
        }
        // Every name of a hash that several names share is listed once, in the
        // order met; the names of a longer chain are listed already.
        if (locShared.myCount == 1)
            myDuplicates.push_back(locShared.myFirst);
        myDuplicates.push_back(locNewIndex);
        locShared.myCount++;
        return locNew.myName.data();
    }
};

// A thread stopped (when it was given a flag) and joined when it goes out of
// scope, so that nothing it uses goes first.
struct locJoiningThread
{
    std::thread myThread;
    std::atomic<bool>* myStop = nullptr;

    ~locJoiningThread()
    {
        if (myStop)
            myStop->store(true);
        Join();
    }
    void Join()
    {
        if (myThread.joinable())
            myThread.join();
    }
};

// Beyond this many pairs in one conversion the rest are counted, not listed.
constexpr int locMaxListedCollisions = 1000;

// Siblings that share a name hash: each pair goes to the language log as it is
// found, or is held back to be told later, in the order one walk would tell it.
struct SiblingReports
{
    int myCount = 0;                    // pairs found
    std::vector<std::string> myHeld;    // the first locMaxListedCollisions
};
// Where the records' pairs are held while a conversion holds them.
SiblingReports* ourHeldSiblings = nullptr;

// NUMBER and DECIMAL values of this conversion that are not numbers: each is an
// error line, and the conversion fails once all are told.
int ourNumberErrors = 0;

VelkToTez::Failure ourLastFailure;

// Notes the file the conversion failed on; false.
bool locFailOn(const std::string& aFile, const OS_SaveFile& aSaveFile)
{
    ourLastFailure.myFile = aFile;
    ourLastFailure.myError = aSaveFile.GetError();
    return false;
}

// Plain static: the registry is looked at for every record, and a local
// static would be checked for its construction each time.
TezRegistry ourRegistry;

TezRegistry& locRegistry()
{
    return ourRegistry;
}

// Type names are compared by length first: most records are of neither type.
bool locIsType(const QC_String& aTypeName, const char* aName, int aLength)
{
    return aTypeName.GetLength() == aLength && memcmp(aTypeName.GetBuffer(), aName, static_cast<size_t>(aLength)) == 0;
}

// "%d" by hand, into at least 12 bytes; returns the length.
size_t locFormatInt(int aValue, char* anOut)
{
    char locDigits[12];
    char* locEnd = locDigits + sizeof(locDigits);
    char* locDigit = locEnd;
    uint32_t locMagnitude = aValue < 0 ? 0u - static_cast<uint32_t>(aValue) : static_cast<uint32_t>(aValue);
    do
    {
        *--locDigit = static_cast<char>('0' + locMagnitude % 10);
        locMagnitude /= 10;
    } while (locMagnitude != 0);
    if (aValue < 0)
        *--locDigit = '-';
    const size_t locLength = static_cast<size_t>(locEnd - locDigit);
    memcpy(anOut, locDigit, locLength);
    return locLength;
}

const char* const locRecordFunction =
    "VelkToTez::ConvertVelkToTez(FILE* aHandle, VelkNameSpace& aNameSpace, TezLocEncoder& anEncoder, "
    "const char* aPrefix, VelkType* anInstance)";

std::string locPathOf(const char* aPrefix, const QC_String& aName)
{
    std::string locPath;
    if (aPrefix && aPrefix[0])
    {
        locPath = aPrefix;
        locPath += '.';
    }
    locPath.append(aName.GetBuffer(), static_cast<size_t>(aName.GetLength()));
    return locPath;
}

// The game finds roots and members by their name hash alone: of siblings whose
// names hash alike only the first can be reached by name, so every such pair
// is an error line (the format has no room for a remedy).
template <class Siblings>
void locReportSiblingCollisions(const char* aPrefix, const Siblings& aSiblings, size_t aCount,
                                SiblingReports* aHeld, bool aRememberFlag)
{
    if (aCount < 2)
        return;
    TezRegistry& locReg = locRegistry();
    TezRegistry::CleanSiblings* locClean = nullptr;
    if (aRememberFlag && aCount <= TezRegistry::ourMaxCleanSiblings)
    {
        locClean = &locReg.CleanFor((*aSiblings.begin())->GetName().GetBuffer(), aCount);
        size_t locSame = 0;
        if (locClean->myCount == aCount)
            for (VelkType* locSibling : aSiblings)
            {
                if (locSame == aCount || locSibling->GetName().GetBuffer() != locClean->myNames[locSame])
                    break;
                ++locSame;
            }
        if (locSame == aCount)
            return;
    }
    // Sorted by hash, siblings of one hash in list order. Most instances have a
    // few members: those are sorted in place on the stack.
    struct HashAndSibling
    {
        uint32_t myHash;
        uint32_t myPlace;   // in the list
        VelkType* mySibling;
    };
    constexpr size_t locFew = 32;
    HashAndSibling locFewHashes[locFew];
    std::vector<HashAndSibling> locManyHashes;
    const size_t locCount = aCount;
    if (locCount > locFew)
        locManyHashes.resize(locCount);
    HashAndSibling* const locBegin = locCount > locFew ? locManyHashes.data() : locFewHashes;
    HashAndSibling* locEnd = locBegin;
    for (VelkType* locSibling : aSiblings)
    {
        if (locEnd == locBegin + locCount)
            break;
        *locEnd = HashAndSibling{TezHash(locSibling->GetName().GetBuffer()), static_cast<uint32_t>(locEnd - locBegin),
                                 locSibling};
        ++locEnd;
    }
    const auto locByHash = [](const HashAndSibling& aLeft, const HashAndSibling& aRight) {
        return aLeft.myHash < aRight.myHash;
    };
    // The place in the list keeps the sort stable without a buffer.
    const auto locByHashAndPlace = [](const HashAndSibling& aLeft, const HashAndSibling& aRight) {
        return aLeft.myHash != aRight.myHash ? aLeft.myHash < aRight.myHash : aLeft.myPlace < aRight.myPlace;
    };
    if (locCount > locFew)
        std::sort(locBegin, locEnd, locByHashAndPlace);
    else
        for (HashAndSibling* locNext = locBegin + 1; locNext < locEnd; ++locNext)
            for (HashAndSibling* locAt = locNext; locAt > locBegin && locByHash(*locAt, locAt[-1]); --locAt)
                std::swap(*locAt, locAt[-1]);
    const size_t locSorted = static_cast<size_t>(locEnd - locBegin);
    const HashAndSibling* const locHashes = locBegin;
    bool locFound = false;
    for (size_t locFirst = 0; locFirst < locSorted; ++locFirst)
    {
        for (size_t locSecond = locFirst + 1;
             locSecond < locSorted && locHashes[locSecond].myHash == locHashes[locFirst].myHash; ++locSecond)
        {
            locFound = true;
            int& locCount = aHeld ? aHeld->myCount : locReg.myNumCollisions;
            if (++locCount > locMaxListedCollisions)
                continue;
            std::string locReport = "VelkToTez: '" + locPathOf(aPrefix, locHashes[locFirst].mySibling->GetName()) +
                                    "' and '" + locPathOf(aPrefix, locHashes[locSecond].mySibling->GetName()) +
                                    "' have the same name hash " +
                                    std::to_string(static_cast<int>(locHashes[locFirst].myHash)) +
                                    ": the game finds only the first of them by name";
            if (aHeld)
                aHeld->myHeld.push_back(std::move(locReport));
            else
                VelkLog::Error("%s", locReport.c_str());
        }
    }
    if (!locFound && locClean)
    {
        locClean->myCount = 0;
        for (VelkType* locSibling : aSiblings)
        {
            if (locClean->myCount == aCount)
                break;
            locClean->myNames[locClean->myCount++] = locSibling->GetName().GetBuffer();
        }
    }
}

// One report line, "%13d name\r\n", written at aLine; returns its end.
char* locPutReportLine(char* aLine, uint32_t aHash, std::string_view aName)
{
    char locNumber[12];
    const size_t locDigits = locFormatInt(static_cast<int32_t>(aHash), locNumber);
    for (size_t locPad = locDigits; locPad < 13; ++locPad)
        *aLine++ = ' ';
    memcpy(aLine, locNumber, locDigits);
    aLine += locDigits;
    *aLine++ = ' ';
    memcpy(aLine, aName.data(), aName.size());
    aLine += aName.size();
    *aLine++ = '\r';
    *aLine++ = '\n';
    return aLine;
}

// The longest line locPutReportLine writes for the name.
constexpr size_t locReportLineRoom(std::string_view aName)
{
    return 14 + aName.size() + 2;
}
}

// [SECTION] TezOutput

TezOutput::~TezOutput()
{
    OS_FreeLarge(myData, myCapacity);
}

bool TezOutput::Finish()
{
    if (mySink && mySize && !myFailedFlag)
    {
        myFailedFlag = !mySink->Write(myData, mySize);
        mySize = 0;
    }
    return !myFailedFlag;
}

bool TezOutput::Priv_Grow(size_t aCount)
{
    // With a sink the buffer is handed over when full and filled again.
    if (mySink && myCapacity)
    {
        if (!Finish())
            return false;
        if (myCapacity >= aCount)
            return true;
    }
    // In memory the first block is large: pages are only set aside as the
    // bytes reach them, and a block that never has to move is never copied.
    size_t locCapacity = myCapacity ? myCapacity : mySink ? 256 * 1024 : 64 * 1024 * 1024;
    while (locCapacity - mySize < aCount && locCapacity < SIZE_MAX / 4)
        locCapacity *= 2;
    locCapacity = OS_LargeSize(locCapacity);
    uint8_t* locData =
        locCapacity - mySize >= aCount ? static_cast<uint8_t*>(OS_AllocLarge(locCapacity)) : nullptr;
    if (!locData)
    {
        myFailedFlag = true;
        return false;
    }
    if (mySize)
        memcpy(locData, myData, mySize);
    OS_FreeLarge(myData, myCapacity);
    myData = locData;
    myCapacity = locCapacity;
    return true;
}

void TezOutput::PutBytes(const void* aData, size_t aCount)
{
    if (myCapacity - mySize < aCount && !Priv_Grow(aCount))
        return;
    if (aCount)
        memcpy(myData + mySize, aData, aCount);
    mySize += aCount;
}

// [SECTION] Hash registry and report

namespace
{
// The name's hash, the name registered.
uint32_t locHashAndRegister(const char* aName)
{
    TezRegistry& locReg = locRegistry();
    TezRegistry::Seen& locSeen =
        locReg.mySeen[(reinterpret_cast<uintptr_t>(aName) >> 3) % (sizeof(locReg.mySeen) / sizeof(locReg.mySeen[0]))];
    if (locSeen.myMet == aName && strcmp(locSeen.myRegistered, aName) == 0)
        return locSeen.myHash;
    const uint32_t locHash = TezHash(aName);
    locSeen.myMet = aName;
    locSeen.myRegistered = locReg.Register(locHash, aName);
    locSeen.myHash = locHash;
    return locHash;
}
}

namespace
{
// While a conversion's names are registered on a thread of their own, the
// records only need the hashes: by the address of the text met, which stays
// put during a conversion (the objects of one type share their type name's
// text and clones their members' names).
bool ourNamesApart = false;
struct HashSeen
{
    const char* myMet = nullptr;
    uint32_t myHash = 0;
};
HashSeen ourHashSeen[512];

uint32_t locNameHash(const char* aName)
{
    if (!ourNamesApart)
        return locHashAndRegister(aName);
    HashSeen& locSeen =
        ourHashSeen[(reinterpret_cast<uintptr_t>(aName) >> 3) % (sizeof(ourHashSeen) / sizeof(ourHashSeen[0]))];
    if (locSeen.myMet != aName)
    {
        locSeen.myMet = aName;
        locSeen.myHash = TezHash(aName);
    }
    return locSeen.myHash;
}

// Registers the names of a record and of its members in the order its
// records are written; stops early when asked to.
void locRegisterNames(const VelkType* anInstance, const std::atomic<bool>& aStop)
{
    locHashAndRegister(anInstance->GetTypeName().GetBuffer());
    locHashAndRegister(anInstance->GetName().GetBuffer());
    if (anInstance->IsReference() || aStop.load(std::memory_order_relaxed))
        return;
    for (const VelkType* locMember : anInstance->GetMemberView())
        locRegisterNames(locMember, aStop);
}
}

void VelkToTez::Register(uint32_t aHash, const char* aName)
{
    locRegistry().Register(aHash, aName);
}

void VelkToTez::ClearRegistry()
{
    locRegistry().Clear();
}

const TezHashEntries& VelkToTez::GetEntries()
{
    return locRegistry().myEntries;
}

const TezHashEntries& VelkToTez::GetDuplicates()
{
    TezRegistry& locReg = locRegistry();
    locReg.myDuplicateEntries.clear();
    for (const uint32_t locIndex : locReg.myDuplicates)
        locReg.myDuplicateEntries.push_back(locReg.myEntries[locIndex]);
    return locReg.myDuplicateEntries;
}

namespace
{
// The report in pieces of at most locReportPiece bytes, each handed to
// aPut(text, length) as it fills; false as soon as aPut fails.
constexpr size_t locReportPiece = 256 * 1024;

template <class Put>
bool locMakeHashReport(Put aPut)
{
    const TezRegistry& locReg = locRegistry();
    std::unique_ptr<char[]> locPiece(new char[locReportPiece]);
    char* locAt = locPiece.get();
    const auto locFlushIfFull = [&](size_t aNeed) {
        if (static_cast<size_t>(locPiece.get() + locReportPiece - locAt) >= aNeed)
            return true;
        const bool locOk = aPut(locPiece.get(), static_cast<size_t>(locAt - locPiece.get()));
        locAt = locPiece.get();
        return locOk;
    };
    const auto locLine = [&](const TezHashEntry& anEntry) {
        const size_t locRoom = locReportLineRoom(anEntry.myName);
        if (locRoom > locReportPiece)
        {
            std::unique_ptr<char[]> locLong(new char[locRoom]);
            const char* locEnd = locPutReportLine(locLong.get(), anEntry.myHash, anEntry.myName);
            return locFlushIfFull(locReportPiece) && aPut(locLong.get(), static_cast<size_t>(locEnd - locLong.get()));
        }
        if (!locFlushIfFull(locRoom))
            return false;
        locAt = locPutReportLine(locAt, anEntry.myHash, anEntry.myName);
        return true;
    };
    const auto locText = [&](const char* aText) {
        const size_t locLength = strlen(aText);
        if (!locFlushIfFull(locLength))
            return false;
        memcpy(locAt, aText, locLength);
        locAt += locLength;
        return true;
    };
    for (const TezHashEntry& locEntry : locReg.myEntries)
        if (!locLine(locEntry))
            return false;
    if (!locText("\r\n\r\n"))
        return false;
    if (locReg.myDuplicates.empty())
    {
        if (!locText("No duplicate hash entries.\r\n"))
            return false;
    }
    else
    {
        if (!locText("Duplicate Hash Entries:\r\n"))
            return false;
        for (const uint32_t locIndex : locReg.myDuplicates)
            if (!locLine(locReg.myEntries[locIndex]))
                return false;
        char locLast[80];
        snprintf(locLast, sizeof(locLast), "\r\n%d duplicate hash entries were found!\r\n",
                 static_cast<int>(locReg.myDuplicates.size()));
        if (!locText(locLast))
            return false;
    }
    return locAt == locPiece.get() || aPut(locPiece.get(), static_cast<size_t>(locAt - locPiece.get()));
}
}

std::string VelkToTez::MakeHashReport()
{
    std::string locReport;
    locMakeHashReport([&locReport](const char* aText, size_t aLength) {
        locReport.append(aText, aLength);
        return true;
    });
    return locReport;
}

// [SECTION] Conversion

bool VelkToTez::Convert(VelkNameSpace& aNameSpace, const char* aVelkFileName)
{
    // The .velk saved through a symbolic link went to the file it names: the
    // .tez and .loc go beside that file, where the game reads them.
    ourLastFailure = Failure();
    std::string locVelk = aVelkFileName ? aVelkFileName : "";
    char locResolved[PATH_MAX];
    if (!locVelk.empty() && OS_ResolvePath(locVelk.c_str(), locResolved, sizeof(locResolved)))
        locVelk = locResolved;
    OS_FollowLinks(&locVelk);
    std::string locTezName;
    if (!Tez_CutExtension(locVelk.c_str(), locTezName))
        return false;
    locTezName += ".tez";
    return Priv_ConvertVelkToTez(aNameSpace, locTezName.c_str());
}

bool VelkToTez::ConvertVelkToTez(TezOutput& aFile, VelkNameSpace& aNameSpace, TezLocEncoder& anEncoder,
                                 const char* aPrefix, VelkType* anInstance)
{
    const QC_String& locTypeName = anInstance->GetTypeName();
    const QC_String& locName = anInstance->GetName();
    aFile.PutU32(locNameHash(locTypeName.GetBuffer()));
    aFile.PutU32(locNameHash(locName.GetBuffer()));

    const bool locIsReference = anInstance->IsReference();
    int32_t locCount = locIsReference ? -2 : anInstance->GetNumMembers();
    if (locCount == 0)
        locCount = -1;
    aFile.PutU32(static_cast<uint32_t>(locCount));

    if (locCount < 1)
    {
        // The instance's own value unless the record needs another text.
        const char* locValue = anInstance->GetValue().GetBuffer();
        size_t locLength = static_cast<size_t>(anInstance->GetValue().GetLength());
        char locNumber[16];
        if (locIsType(locTypeName, "LOCTEXT", 7))
        {
            locLength = locFormatInt(anEncoder.AddKeyValue(anInstance, aPrefix), locNumber);
            locValue = locNumber;
        }
        if (locIsReference && locLength == 0)
        {
            Tez_Print("%s: encountered reference with empty string value", locRecordFunction);
            return false;
        }
        if (locLength >= static_cast<size_t>(TEZ_MAX_STRING))
        {
            Tez_Print("%s: string value exceeds maximum allowed length (%d chars)", locRecordFunction, TEZ_MAX_STRING);
            return false;
        }
        // (A NUMBER's or DECIMAL's value is its own text, ended as a string.)
        if ((locIsType(locTypeName, "NUMBER", 6) || locIsType(locTypeName, "DECIMAL", 7)) &&
            !Velk_IsNumberValue(locTypeName, locValue))
        {
            // The game would read such a value as 0: named by its instance (the root) and member.
            const std::string locPath = locPathOf(aPrefix, locName);
            const size_t locDot = locPath.find('.');
            const std::string locValueText(locValue, locLength);
            if (locDot == std::string::npos)
                VelkLog::Error("VelkToTez: the %s instance '%s' holds '%s', which is not %s", locTypeName.GetBuffer(),
                               locPath.c_str(), locValueText.c_str(), Velk_NumberHint(locTypeName));
            else
                VelkLog::Error("VelkToTez: the %s member '%s' of instance '%s' holds '%s', which is not %s",
                               locTypeName.GetBuffer(), locPath.c_str() + locDot + 1,
                               locPath.substr(0, locDot).c_str(), locValueText.c_str(), Velk_NumberHint(locTypeName));
            ourNumberErrors++;
        }
        if (locLength == 7 && memcmp(locValue, "<empty>", 7) == 0)
            locLength = 0;
        char locPath[TEZ_MAX_STRING];
        if (locIsType(locTypeName, "FILE", 4) && memchr(locValue, '\\', locLength))
        {
            for (size_t locIndex = 0; locIndex < locLength; ++locIndex)
                locPath[locIndex] = locValue[locIndex] == '\\' ? '/' : locValue[locIndex];
            locValue = locPath;
        }
        aFile.PutU32(static_cast<uint32_t>(locLength));
        aFile.PutBytes(locValue, locLength);
        return true;
    }

    const std::string locPrefix = locPathOf(aPrefix, locName);
    const VelkMembers& locMembers = anInstance->GetMemberView();
    locReportSiblingCollisions(locPrefix.c_str(), locMembers, static_cast<size_t>(locMembers.Count()), ourHeldSiblings,
                               true);
    for (VelkType* locMember : locMembers)
        if (!ConvertVelkToTez(aFile, aNameSpace, anEncoder, locPrefix.c_str(), locMember))
            return false;
    return true;
}

const VelkToTez::Failure& VelkToTez::GetLastFailure()
{
    return ourLastFailure;
}

bool VelkToTez::Priv_ConvertVelkToTez(VelkNameSpace& aNameSpace, const char* aTezFileName)
{
    Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): converting namespace to '%s'...", aTezFileName);
    // Names of an earlier, failed conversion must not reach this report.
    ClearRegistry();
    ourLastFailure = Failure();
    ourLastFailure.myTezFile = aTezFileName;
    ourNumberErrors = 0;

    // The roots in place: nothing changes the namespace while it is converted.
    const VelkMembers& locRoots = aNameSpace.GetInstanceView();
    if (locRoots.Count() == 0)
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): no instances at root level");
        return false;
    }
    const bool locHasLoc = aNameSpace.HasLocText();

    // The .tez goes to its temporary file as it is made, the .loc is made in
    // memory: nothing on disk changes for a namespace that cannot be
    // converted.
    OS_SaveFile locTezFile;
    if (!locTezFile.Begin(aTezFileName))
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to open outfile '%s'", aTezFileName);
        return locFailOn(aTezFileName, locTezFile);
    }
    TezOutput locOutput(&locTezFile);
    TezLocEncoder locEncoder;
    locOutput.PutBytes(TEZ_MAGIC, sizeof(TEZ_MAGIC));
    locOutput.PutU32(locHasLoc ? 1 : 0);
    locOutput.PutU32(static_cast<uint32_t>(locRoots.Count()));

    // The names are registered and the report is made on a thread of their
    // own, from the same records in the same order, while the records are
    // written; the report replaces the old one only after the pair is in.
    // Every way out stops and joins the thread before the report file is
    // abandoned.
    OS_SaveFile locReportFile;
    std::string locReportName;
    const bool locReportBegun = Tez_CutExtension(aTezFileName, locReportName) &&
                                locReportFile.Begin((locReportName += ".hash").c_str());
    bool locReportWritten = false;
    std::atomic<bool> locStopNames{false};
    const auto locWriteReport = [&locReportFile, &locReportWritten, &locStopNames, locReportBegun] {
        locReportWritten = locReportBegun && locMakeHashReport([&](const char* aText, size_t aLength) {
            return !locStopNames.load(std::memory_order_relaxed) && locReportFile.Write(aText, aLength);
        }) && locReportFile.Flush();
    };
    // Each root has a name of its own, most likely.
    const size_t locNamesExpected = static_cast<size_t>(locRoots.Count()) + 1024;
    // The roots' pairs of one hash are found on a third thread; the records'
    // pairs are held meanwhile, and both are told in the order of one walk
    // once the records are written (or have failed).
    SiblingReports locRootReports;
    SiblingReports locRecordReports;
    std::atomic<bool> locRootsChecked{false};
    const auto locCheckRoots = [&locRoots, &locRootReports, &locRootsChecked] {
        locReportSiblingCollisions("", locRoots, static_cast<size_t>(locRoots.Count()), &locRootReports, false);
        locRootsChecked.store(true, std::memory_order_release);
    };
    locJoiningThread locRootCheck;
    try
    {
        locRootCheck.myThread = std::thread(locCheckRoots);
    }
    catch (...)
    {
        locCheckRoots();
    }
    locJoiningThread locNames;
    locNames.myStop = &locStopNames;
    try
    {
        locNames.myThread = std::thread([&locRoots, &locStopNames, &locWriteReport, locNamesExpected] {
            locRegistry().Reserve(locNamesExpected);
            for (const VelkType* locRoot : locRoots)
            {
                if (locStopNames.load(std::memory_order_relaxed))
                    return;
                locRegisterNames(locRoot, locStopNames);
            }
            locWriteReport();
        });
    }
    catch (...)
    {
        // Without a thread the records register their names as they go.
        locRegistry().Reserve(locNamesExpected);
    }
    struct NamesApart
    {
        explicit NamesApart(bool anApartFlag)
        {
            std::fill(std::begin(ourHashSeen), std::end(ourHashSeen), HashSeen());
            ourNamesApart = anApartFlag;
        }
        ~NamesApart() { ourNamesApart = false; }
    } locNamesApart(locNames.myThread.joinable());
    struct SiblingsTold
    {
        SiblingReports& myRoots;
        SiblingReports& myRecords;
        const std::atomic<bool>& myRootsChecked;
        bool myToldFlag = false;

        SiblingsTold(SiblingReports& aRoots, SiblingReports& aRecords, const std::atomic<bool>& aRootsChecked)
            : myRoots(aRoots)
            , myRecords(aRecords)
            , myRootsChecked(aRootsChecked)
        {
            ourHeldSiblings = &aRecords;
        }
        ~SiblingsTold() { Tell(); }
        void Tell()
        {
            if (myToldFlag)
                return;
            myToldFlag = true;
            ourHeldSiblings = nullptr;
            while (!myRootsChecked.load(std::memory_order_acquire))
                std::this_thread::yield();
            int locListed = 0;
            for (const std::vector<std::string>* locHeld : {&myRoots.myHeld, &myRecords.myHeld})
                for (const std::string& locReport : *locHeld)
                    if (locListed++ < locMaxListedCollisions)
                        VelkLog::Error("%s", locReport.c_str());
            locRegistry().myNumCollisions = myRoots.myCount + myRecords.myCount;
        }
    } locSiblingsTold(locRootReports, locRecordReports, locRootsChecked);

    for (VelkType* locRoot : locRoots)
        if (!ConvertVelkToTez(locOutput, aNameSpace, locEncoder, "", locRoot))
            return false;
    locSiblingsTold.Tell();
    if (ourNumberErrors > 0)
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): values that are not numbers: %d; '%s' is left as it was",
                  ourNumberErrors, aTezFileName);
        return false;
    }
    if (!ourNamesApart)
        locWriteReport();
    std::string locLocName;
    if (locHasLoc && (!locEncoder.ValidateKeyValues() || !Tez_LocFileName(aTezFileName, locLocName)))
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to save .loc file for '%s'...", aTezFileName);
        return false;
    }

    // The pair is replaced so that a crash at any point leaves a .tez with its
    // own texts, or no .tez (the next load converts again), and a failure
    // leaves the old pair: both files are written and flushed whole, the old
    // .tez is set aside, the .loc goes in with the old one kept, then the
    // .tez; a failed rename puts the old files back.
    if (locOutput.HasFailed() || !locOutput.Finish() || !locTezFile.Flush())
    {
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to write outfile '%s'", aTezFileName);
        return locFailOn(aTezFileName, locTezFile);
    }
    OS_SaveFile locLocFile;
    if (locHasLoc)
    {
        if (!locLocFile.Begin(locLocName.c_str()) || !locEncoder.WriteTo(locLocFile) || !locLocFile.Flush())
        {
            Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to save .loc file for '%s'...", aTezFileName);
            return locFailOn(locLocName, locLocFile);
        }
        // The old .tez would index into the new texts.
        if (!locTezFile.SetAside())
        {
            Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to write outfile '%s'", aTezFileName);
            return locFailOn(aTezFileName, locTezFile);
        }
        // Rewritten in place, the new .loc stands after a kill only beside the new .tez.
        if (!locLocFile.CommitKeepingOld(&locTezFile))
        {
            locTezFile.Abandon();
            Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to save .loc file for '%s'...", aTezFileName);
            return locFailOn(locLocName, locLocFile);
        }
    }
    if (!locTezFile.Commit())
    {
        if (locHasLoc)
            locLocFile.Restore();
        locTezFile.Abandon();
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to write outfile '%s'", aTezFileName);
        return locFailOn(aTezFileName, locTezFile);
    }
    // The new pair stands: the old .loc goes.
    locLocFile.Abandon();
    ourLastFailure.myPairReplaced = true;

    // The report goes in last: its failure leaves a valid pair, but the
    // conversion says so, and no stale report stays to mislead.
    locNames.Join();
    const bool locReported =
        locReportBegun && locReportWritten && locReportFile.Commit();
    if (!locReported && !locReportName.empty())
    {
        locFailOn(locReportName, locReportFile);
        locReportFile.Abandon();
        OS_DeleteFile(locReportName.c_str());
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): failed to write hash report '%s'", locReportName.c_str());
    }
    if (locRegistry().myNumCollisions > locMaxListedCollisions)
        VelkLog::Error("VelkToTez: %d more pairs of names with the same hash in '%s' were not listed",
                       locRegistry().myNumCollisions - locMaxListedCollisions, aTezFileName);
    ClearRegistry();
    return locReported;
}
