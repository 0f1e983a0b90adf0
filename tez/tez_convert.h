// The converter from a compiled namespace to its binary .tez file, with the
// .loc file of its LOCTEXT texts and the .hash report of every hashed name.
//
// .tez layout (integers 32-bit little-endian): "tez0010\0", hasLoc, root count,
// then one record per root: type hash, name hash, count (-2 reference, -1
// scalar or member-less object, n >= 1 members that follow), and for count < 1
// a value length (0..511) and the value bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/os_memory.h"
#include "qcommon/qc_string.h"

class OS_SaveFile;
class TezLocEncoder;
class VelkNameSpace;
class VelkType;

constexpr char TEZ_MAGIC[8] = {'t', 'e', 'z', '0', '0', '1', '0', '\0'};
constexpr const char* TEZ_VERSION_TEXT = "tez0010";
// A value must stay below this length: 511 bytes at most.
constexpr int TEZ_MAX_STRING = 512;

// The bytes of a .tez file as they are built: kept in memory, or with a sink
// written to it in pieces as they come.
class TezOutput
{
public:
    TezOutput() = default;
    explicit TezOutput(OS_SaveFile* aSink)
        : mySink(aSink)
    {
    }
    ~TezOutput();
    TezOutput(const TezOutput&) = delete;
    TezOutput& operator=(const TezOutput&) = delete;

    void PutU32(uint32_t aValue)
    {
        if (myCapacity - mySize < 4 && !Priv_Grow(4))
            return;
        uint8_t* locAt = myData + mySize;
        locAt[0] = static_cast<uint8_t>(aValue);
        locAt[1] = static_cast<uint8_t>(aValue >> 8);
        locAt[2] = static_cast<uint8_t>(aValue >> 16);
        locAt[3] = static_cast<uint8_t>(aValue >> 24);
        mySize += 4;
    }
    void PutBytes(const void* aData, size_t aCount);
    // The bytes not yet handed to the sink: all of them without one.
    std::span<const uint8_t> GetBytes() const { return {myData, mySize}; }
    // Hands what is left to the sink; false when a write failed.
    bool Finish();
    // True when memory ran out or a write failed: the output is unusable.
    bool HasFailed() const { return myFailedFlag; }

private:
    // Room for aCount more bytes; false when no memory is left.
    bool Priv_Grow(size_t aCount);

    uint8_t* myData = nullptr;
    size_t mySize = 0;
    size_t myCapacity = 0;
    OS_SaveFile* mySink = nullptr;
    bool myFailedFlag = false;
};

// One line of the .hash report. The name lives in the registry until it is
// cleared.
struct TezHashEntry
{
    std::string_view myName;
    uint32_t myHash;
};
using TezHashEntries = std::vector<TezHashEntry, OS_LargeAllocator<TezHashEntry>>;

class VelkToTez
{
public:
    // Writes the .tez (and .loc) file named after the .velk file.
    static bool Convert(VelkNameSpace& aNameSpace, const char* aVelkFileName);
    // The .tez and .loc files are replaced together or not at all.
    static bool Priv_ConvertVelkToTez(VelkNameSpace& aNameSpace, const char* aTezFileName);
    // One record, with its members.
    static bool ConvertVelkToTez(TezOutput& aFile, VelkNameSpace& aNameSpace, TezLocEncoder& anEncoder,
                                 const char* aPrefix, VelkType* anInstance);

    // The hash registry of the conversion under way, emptied at its start.
    static void Register(uint32_t aHash, const char* aName);
    static void ClearRegistry();
    static const TezHashEntries& GetEntries();
    static const TezHashEntries& GetDuplicates();
    // The report text, CR LF line ends.
    static std::string MakeHashReport();

    // Why the last conversion failed, for the editor's line about it.
    struct Failure
    {
        std::string myFile;            // the file that could not be written; empty when none did
        std::string myTezFile;         // the .tez it wrote to (the .loc beside); empty when it named none
        int myError = 0;               // its errno; 0 when the system gave none
        bool myPairReplaced = false;   // the new .tez (and .loc) stand: a later file failed
    };
    static const Failure& GetLastFailure();

    // 1: the .tez exists and is newer than its .velk, or exists without one;
    // 0: it must be converted; -1: neither file exists.
    static int IsFileNewer(const char* aTezFileName, const char* aVelkFileName);
    // Makes sure that an up-to-date, readable .tez file exists, converting it
    // from the .velk file beside it when needed.
    static bool Priv_AssertFileName(const char* aTezFileName);
};
