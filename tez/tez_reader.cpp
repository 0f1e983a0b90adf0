// The .tez reader: records into nodes, then references resolved in a second
// pass, so that a reference's text is never taken for its target.
#include "tez/tez.h"

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"
#include "tez/tez_convert.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"
#include "tez/tez_local.h"
#include "velk/velk_arena.h"

namespace
{
char ourEmptyText[1] = {0};
const uint32_t ourNullHash = TezHash("NULL");

// Nodes with at least this many members get a sorted hash index.
constexpr int locIndexThreshold = 16;
// Smallest record: type hash, name hash, count and a value length.
constexpr size_t locMinRecordSize = 16;
// Files from this size on have their records stored in large blocks.
constexpr size_t locLargeFile = 2 * 1024 * 1024;
}

// Reads the records of one file out of its bytes and resolves the references.
// The nodes, their member lists and texts lie in the store of the node read into.
class TezReader
{
public:
    TezReader(const uint8_t* aData, size_t aSize)
        : myData(aData)
        , mySize(aSize)
    {
    }

    size_t Left() const { return mySize - myPos; }

    bool ReadU32(uint32_t& aValue)
    {
        if (Left() < 4)
            return false;
        const uint8_t* locBytes = myData + myPos;
        aValue = uint32_t(locBytes[0]) | (uint32_t(locBytes[1]) << 8) | (uint32_t(locBytes[2]) << 16) |
                 (uint32_t(locBytes[3]) << 24);
        myPos += 4;
        return true;
    }

    // Reads n member records into aNode; false after a message.
    bool ReadMembers(Tez* aNode, int32_t aCount, int aDepth)
    {
        if (static_cast<uint64_t>(aCount) * locMinRecordSize > Left())
        {
            Tez_Print("Tez::Init(): member count %d exceeds the %zu bytes left", aCount, Left());
            return false;
        }
        // All members are made before any is read: a failed read leaves
        // nothing half made.
        Tez* locMembers = static_cast<Tez*>(myStore->Allocate(static_cast<size_t>(aCount) * sizeof(Tez), alignof(Tez)));
        if (!locMembers)
        {
            Tez_Print("Tez::Init(): failed to allocate member array");
            return false;
        }
        for (int32_t locIndex = 0; locIndex < aCount; ++locIndex)
            new (&locMembers[locIndex]) Tez;
        aNode->myMembers = locMembers;
        aNode->myCount = aCount;
        for (int32_t locIndex = 0; locIndex < aCount; ++locIndex)
        {
            if (!ReadRecord(&locMembers[locIndex], aDepth + 1))
            {
                Tez_Print("Tez::Init(): failed to create member %d", locIndex);
                return false;
            }
        }
        if (aCount >= locIndexThreshold)
            BuildIndex(aNode);
        return true;
    }

    bool ReadRecord(Tez* aNode, int aDepth)
    {
        if (aDepth > TEZ_MAX_DEPTH)
        {
            Tez_Print("Tez::Init(): records nested deeper than %d", TEZ_MAX_DEPTH);
            return false;
        }
        uint32_t locCount;
        if (!ReadU32(aNode->myTypeHash) || !ReadU32(aNode->myNameHash) || !ReadU32(locCount))
        {
            Tez_Print("Tez::Init(): file ends inside a record");
            return false;
        }
        const int32_t locSignedCount = static_cast<int32_t>(locCount);
        if (locSignedCount < -2)
        {
            Tez_Print("Tez::Init(): invalid member count %d", locSignedCount);
            return false;
        }
        if (locSignedCount >= 1)
            return ReadMembers(aNode, locSignedCount, aDepth);

        aNode->myCount = locSignedCount;
        uint32_t locLength;
        if (!ReadU32(locLength))
        {
            Tez_Print("Tez::Init(): file ends inside a record");
            return false;
        }
        if (locLength >= static_cast<uint32_t>(TEZ_MAX_STRING))
        {
            Tez_Print("Tez::Init(): invalid string length %d >= %d", static_cast<int>(locLength), TEZ_MAX_STRING);
            return false;
        }
        if (locLength > Left())
        {
            Tez_Print("Tez::Init(): file ends inside a value of %u bytes", locLength);
            return false;
        }
        if (locSignedCount == -2)
        {
            if (locLength == 0)
            {
                Tez_Print("Tez::Init(): encountered reference with empty string value");
                return false;
            }
            ++myNumReferences;
        }
        if (locLength > 0)
        {
            // The text with its NUL, packed byte by byte.
            char* locText = static_cast<char*>(myStore->Allocate(locLength + 1, 1));
            if (!locText)
            {
                Tez_Print("Tez::Init(): failed to allocate value memory");
                return false;
            }
            memcpy(locText, myData + myPos, locLength);
            locText[locLength] = 0;
            aNode->myText = locText;
            myPos += locLength;
        }
        return true;
    }

    void BuildIndex(Tez* aNode)
    {
        uint64_t* const locIndex = static_cast<uint64_t*>(
            myStore->Allocate(static_cast<size_t>(aNode->myCount) * sizeof(uint64_t), alignof(uint64_t)));
        if (!locIndex)
            return;   // lookups scan the members instead
        for (int32_t locMember = 0; locMember < aNode->myCount; ++locMember)
            locIndex[locMember] = (uint64_t(aNode->myMembers[locMember].myNameHash) << 32) | uint32_t(locMember);
        std::sort(locIndex, locIndex + aNode->myCount);
        aNode->Priv_SetIndex(locIndex);
    }

    // [SECTION] Reference resolution

    // Every reference below aNode, depth first in record order.
    bool ResolveAll(Tez* aRoot, Tez* aNode)
    {
        if (aNode->myCount == -2)
            return Resolve(aRoot, aNode, 0);
        for (int32_t locIndex = 0; locIndex < aNode->myCount; ++locIndex)
            if (!ResolveAll(aRoot, &aNode->myMembers[locIndex]))
                return false;
        return true;
    }

    // A path may lead through references that come later in the file; those
    // are resolved on the way, and a chain that comes back to itself fails.
    bool Resolve(Tez* aRoot, Tez* aReference, int aDepth)
    {
        if (aReference->myResolveState == 2)
            return true;
        if (aReference->myResolveState == 1 || aDepth > TEZ_MAX_DEPTH)
            return false;
        aReference->myResolveState = 1;
        const char* locPath = aReference->myText;
        if (strcasecmp(locPath, "NULL") == 0)
            aReference->myTarget = nullptr;
        else
        {
            aReference->myTarget = Lookup(aRoot, locPath, aDepth);
            if (!aReference->myTarget)
                return false;
        }
        aReference->myResolveState = 2;
        return true;
    }

    // The node at the end of a chain of references, resolving them on the way.
    Tez* Follow(Tez* aRoot, Tez* aNode, int aDepth)
    {
        for (size_t locHops = 0; aNode && aNode->myCount == -2; ++locHops)
        {
            if (locHops > myNumReferences || !Resolve(aRoot, aNode, aDepth + 1))
                return nullptr;
            aNode = aNode->myTarget;
        }
        return aNode;
    }

    Tez* Lookup(Tez* aRoot, const char* aPath, int aDepth)
    {
        Tez* locNode = aRoot;
        for (;;)
        {
            locNode = Follow(aRoot, locNode, aDepth);
            if (!locNode)
                return nullptr;
            const char* locDot = strchr(aPath, '.');
            const size_t locLength = locDot ? static_cast<size_t>(locDot - aPath) : strlen(aPath);
            locNode = locNode->Priv_FindDirect(Tez_HashRange(aPath, locLength));
            if (!locNode || !locDot)
                return locNode;
            aPath = locDot + 1;
        }
    }

    // Refuses chains of references that lead back into themselves, which the
    // queries would follow for ever.
    bool CheckChains(Tez* aNode)
    {
        if (aNode->myCount == -2)
        {
            Tez* locNode = aNode;
            size_t locHops = 0;
            while (locNode && locNode->myCount == -2 && locNode->myResolveState != 3)
            {
                if (++locHops > myNumReferences)
                    return false;
                locNode = locNode->myTarget;
            }
            for (locNode = aNode; locNode && locNode->myCount == -2 && locNode->myResolveState != 3;
                 locNode = locNode->myTarget)
                locNode->myResolveState = 3;
            return true;
        }
        for (int32_t locIndex = 0; locIndex < aNode->myCount; ++locIndex)
            if (!CheckChains(&aNode->myMembers[locIndex]))
                return false;
        return true;
    }

    const uint8_t* myData;
    size_t mySize;
    size_t myPos = 0;
    size_t myNumReferences = 0;
    // Where the records go: the store of the node read into.
    VelkArena* myStore = nullptr;
};

// [SECTION] Nodes

// What the node a file was read into owns besides its own fields.
struct Tez::File
{
    // The nodes, member lists, texts and indexes of the file, in large
    // blocks, freed whole.
    VelkArena* myStore = nullptr;
    TezLocDecoder* myLocDecoder = nullptr;
    // The index of the node itself.
    uint64_t* myIndex = nullptr;
};

Tez::Tez()
    : myTypeHash(0)
    , myNameHash(0)
    , myCount(-1)
    , myFileFlag(false)
    , myResolveState(0)
    , myText(ourEmptyText)
    , myTarget(nullptr)
{
}

Tez::~Tez()
{
    Priv_Free();
}

void Tez::Priv_Free()
{
    // Everything read below a node lies in the store of the node that read
    // the file (members, texts, indexes): it goes whole, with nothing to
    // destroy one by one.
    if (myFileFlag)
    {
        delete myFile->myLocDecoder;
        if (myFile->myStore)
            myFile->myStore->Release();
        delete myFile;
    }
    myTypeHash = 0;
    myNameHash = 0;
    myCount = -1;
    myText = ourEmptyText;
    myTarget = nullptr;
    myFileFlag = false;
    myResolveState = 0;
}

const TezLocDecoder* Tez::GetLocDecoder() const
{
    return myFileFlag ? myFile->myLocDecoder : nullptr;
}

uint64_t* Tez::Priv_GetIndex() const
{
    return myFileFlag ? myFile->myIndex : myIndex;
}

void Tez::Priv_SetIndex(uint64_t* anIndex)
{
    if (myFileFlag)
        myFile->myIndex = anIndex;
    else
        myIndex = anIndex;
}

Tez* Tez::Load(const char* aPath, bool aConvertFirstFlag)
{
    std::string locPath = aPath ? aPath : "";
    if (aConvertFirstFlag)
    {
        for (char& locChar : locPath)
            if (locChar >= 'A' && locChar <= 'Z')
                locChar = static_cast<char>(locChar - 'A' + 'a');
        if (!VelkToTez::Priv_AssertFileName(locPath.c_str()))
            return nullptr;
    }
    Tez* locRoot = new (std::nothrow) Tez;
    if (!locRoot)
        return nullptr;
    if (!locRoot->Init(locPath.c_str()))
    {
        delete locRoot;
        return nullptr;
    }
    return locRoot;
}

bool Tez::Init(const char* aPath)
{
    Priv_Free();
    if (!aPath || !aPath[0])
    {
        Tez_Print("Tez::Init(): empty filename");
        return false;
    }
    QF_File locFile;
    // Read through at once and closed: mapped when large.
    if (!locFile.Open(aPath, OPEN_READ | OPEN_MAPPED))
    {
        Tez_Print("Tez::Init(): failed to read file '%s'", aPath);
        return false;
    }
    TezReader locReader(locFile.myBuffer, locFile.myFileSize);

    char locMagic[sizeof(TEZ_MAGIC) + 1] = {0};
    const size_t locMagicSize = std::min(locReader.Left(), sizeof(TEZ_MAGIC));
    if (locMagicSize)
        memcpy(locMagic, locFile.myBuffer, locMagicSize);
    if (locMagicSize != sizeof(TEZ_MAGIC) || memcmp(locMagic, TEZ_MAGIC, sizeof(TEZ_MAGIC)) != 0)
    {
        Tez_Print("Tez::Init(): invalid file version '%s' should have been '%s'", locMagic, TEZ_VERSION_TEXT);
        return false;
    }
    locReader.myPos = sizeof(TEZ_MAGIC);
    myFile = new (std::nothrow) File;
    if (!myFile)
    {
        Tez_Print("Tez::Init(): failed to allocate member array");
        Priv_Free();
        return false;
    }
    myFileFlag = true;
    myTypeHash = TezHash(TEZ_VERSION_TEXT);
    myNameHash = TezHash(aPath);

    uint32_t locHasLoc;
    if (!locReader.ReadU32(locHasLoc))
    {
        Tez_Print("Tez::Init(): file '%s' ends inside its header", aPath);
        Priv_Free();
        return false;
    }
    if (locHasLoc)
    {
        myFile->myLocDecoder = new (std::nothrow) TezLocDecoder;
        if (!myFile->myLocDecoder)
        {
            Tez_Print("Tez::Init(): failed to allocate localization decoder");
            Priv_Free();
            return false;
        }
        if (!myFile->myLocDecoder->Load(aPath))
        {
            Tez_Print("Tez::Init(): failed to load localization decoder for '%s'", aPath);
            Priv_Free();
            return false;
        }
    }

    uint32_t locRootCount;
    if (!locReader.ReadU32(locRootCount))
    {
        Tez_Print("Tez::Init(): file '%s' ends inside its header", aPath);
        Priv_Free();
        return false;
    }
    if (static_cast<int32_t>(locRootCount) < 1)
    {
        Tez_Print("Tez::Init(): top level instance had no members");
        Priv_Free();
        return false;
    }
    myFile->myStore = VelkArena::Create();
    if (!myFile->myStore)
    {
        Tez_Print("Tez::Init(): failed to allocate member array");
        Priv_Free();
        return false;
    }
    // The nodes take about twice the file's bytes.
    if (locFile.myFileSize >= locLargeFile)
        myFile->myStore->ExpectLarge();
    locReader.myStore = myFile->myStore;
    if (!locReader.ReadMembers(this, static_cast<int32_t>(locRootCount), 0))
    {
        Priv_Free();
        return false;
    }

    // Chains are checked once every reference has its target.
    for (int locPass = 0; locPass < 2; ++locPass)
    {
        for (int32_t locIndex = 0; locIndex < myCount; ++locIndex)
        {
            const bool locOk = locPass == 0 ? locReader.ResolveAll(this, &myMembers[locIndex])
                                            : locReader.CheckChains(&myMembers[locIndex]);
            if (!locOk)
            {
                Tez_Print("Tez::Init(): failed to resolve references for member %d", locIndex);
                Priv_Free();
                return false;
            }
        }
    }
    return true;
}

// [SECTION] Queries

Tez* Tez::Priv_Follow()
{
    Tez* locNode = this;
    while (locNode && locNode->myCount == -2)
        locNode = locNode->myTarget;
    return locNode;
}

Tez* Tez::Priv_FindDirect(uint32_t aNameHash)
{
    if (myCount < 1)
        return nullptr;
    if (const uint64_t* const locIndex = Priv_GetIndex())
    {
        const uint64_t* locBegin = locIndex;
        const uint64_t* locEnd = locIndex + myCount;
        const uint64_t* locFound = std::lower_bound(locBegin, locEnd, uint64_t(aNameHash) << 32);
        if (locFound == locEnd || (*locFound >> 32) != aNameHash)
            return nullptr;
        return &myMembers[static_cast<uint32_t>(*locFound)];
    }
    for (int32_t locIndex = 0; locIndex < myCount; ++locIndex)
        if (myMembers[locIndex].myNameHash == aNameHash)
            return &myMembers[locIndex];
    return nullptr;
}

Tez* Tez::Priv_GetMember(const char* aName, bool aLogFlag)
{
    Tez* locNode = this;
    const char* locPath = aName;
    for (;;)
    {
        locNode = locNode->Priv_Follow();
        if (!locNode)
            break;
        const char* locDot = strchr(locPath, '.');
        const size_t locLength = locDot ? static_cast<size_t>(locDot - locPath) : strlen(locPath);
        locNode = locNode->Priv_FindDirect(Tez_HashRange(locPath, locLength));
        if (!locNode || !locDot)
            break;
        locPath = locDot + 1;
    }
    if (!locNode && aLogFlag)
        Tez_Print("Tez::GetMember(): failed to find member named '%s'. This may or may not cause a crash.", aName);
    return locNode;
}

Tez* Tez::GetMember(const char* aName)
{
    if (!aName)
        return nullptr;
    if (strlen(aName) >= static_cast<size_t>(TEZ_MAX_STRING))
    {
        Tez_Print("Tez::GetMember(): name '%.64s...' is %d characters or longer", aName, TEZ_MAX_STRING);
        return nullptr;
    }
    return Priv_GetMember(aName, true);
}

Tez* Tez::GetMemberByIndex(int anIndex)
{
    Tez* locNode = Priv_Follow();
    const int locNumMembers = locNode && locNode->myCount >= 1 ? locNode->myCount : 0;
    QC_ASSERT(anIndex >= 0 && anIndex < locNumMembers);
    if (anIndex < 0 || anIndex >= locNumMembers)
        return nullptr;
    return &locNode->myMembers[anIndex];
}

const char* Tez::GetMemberValue(const char* aName)
{
    Tez* locMember = GetMember(aName);
    if (!locMember)
    {
        Tez_Print("Tez::GetMemberValue(): failed to find member named '%s'", aName ? aName : "");
        return nullptr;
    }
    return locMember->GetValue();
}

const char* Tez::GetValue()
{
    Tez* locNode = Priv_Follow();
    if (!locNode || locNode->myCount >= 1)
        return nullptr;
    return locNode->myText;
}

int Tez::GetValueAsInt()
{
    const char* locValue = GetValue();
    return locValue ? static_cast<int>(strtol(locValue, nullptr, 10)) : 0;
}

uint32_t Tez::GetNameHash()
{
    Tez* locNode = Priv_Follow();
    return locNode ? locNode->myNameHash : ourNullHash;
}

int Tez::GetNumMembers()
{
    Tez* locNode = Priv_Follow();
    return locNode && locNode->myCount >= 1 ? locNode->myCount : 0;
}
