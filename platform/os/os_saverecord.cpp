// The record of an in-place save, and the recovery that the next open or save
// of its target runs when the save was killed before it finished.
#include "platform/os/os_savefile_local.h"
#include "platform/os/os_file.h"
#include "platform/os/os_file_local.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
constexpr char locMagic[8] = {'Q', 'S', 'A', 'V', 'E', 'R', 'E', 'C'};
constexpr uint32_t locVersion = 1;
constexpr uint32_t locMinBlock = 4096;
constexpr uint32_t locMaxBlock = 1u << 30;
// Sums per record at most: a large file gets larger blocks instead.
constexpr uint64_t locMaxSums = 65536;
// A record is read whole; one larger than this is not one of ours.
constexpr off_t locMaxRecordSize = 1 << 20;
// Blocks of a target that may hold neither the old nor the new content when a
// save stops: the one being written and the one being put back.
constexpr size_t locMaxMixedBlocks = 2;
// The folder of the records, under the per-user data folder.
constexpr const char* locFolderName = "qtools";

void locPut32(std::string* anOut, uint32_t aValue)
{
    for (int i = 0; i < 4; ++i)
        anOut->push_back(char((aValue >> (8 * i)) & 0xFF));
}

void locPut64(std::string* anOut, uint64_t aValue)
{
    locPut32(anOut, uint32_t(aValue));
    locPut32(anOut, uint32_t(aValue >> 32));
}

void locPutText(std::string* anOut, const std::string& aText)
{
    locPut32(anOut, uint32_t(aText.size()));
    anOut->append(aText);
}

// Reads little-endian fields, each bounded by what is left.
struct Reader
{
    const uint8_t* myData;
    size_t myLeft;

    bool Get32(uint32_t* aValue)
    {
        if (myLeft < 4)
            return false;
        *aValue = uint32_t(myData[0]) | uint32_t(myData[1]) << 8 | uint32_t(myData[2]) << 16 | uint32_t(myData[3]) << 24;
        myData += 4;
        myLeft -= 4;
        return true;
    }
    bool Get64(uint64_t* aValue)
    {
        uint32_t locLow = 0, locHigh = 0;
        if (!Get32(&locLow) || !Get32(&locHigh))
            return false;
        *aValue = uint64_t(locHigh) << 32 | locLow;
        return true;
    }
    // A path: at most PATH_MAX bytes, no NUL; absolute unless it may be empty.
    bool GetPath(std::string* aText, bool anEmptyFlag)
    {
        uint32_t locLength = 0;
        if (!Get32(&locLength) || locLength > myLeft || locLength >= PATH_MAX)
            return false;
        aText->assign(reinterpret_cast<const char*>(myData), locLength);
        myData += locLength;
        myLeft -= locLength;
        if (aText->find('\0') != std::string::npos)
            return false;
        return aText->empty() ? anEmptyFlag : (*aText)[0] == '/';
    }
};

// CRC-32 (the polynomial of zip and PNG), continued from aSum.
uint32_t locSumMore(uint32_t aSum, const void* aData, size_t aSize)
{
    static const struct Table
    {
        uint32_t myEntries[256];
        Table()
        {
            for (uint32_t i = 0; i < 256; ++i)
            {
                uint32_t locValue = i;
                for (int k = 0; k < 8; ++k)
                    locValue = (locValue & 1) ? 0xEDB88320u ^ (locValue >> 1) : locValue >> 1;
                myEntries[i] = locValue;
            }
        }
    } locTable;
    const uint8_t* locByte = static_cast<const uint8_t*>(aData);
    uint32_t locSum = ~aSum;
    for (size_t i = 0; i < aSize; ++i)
        locSum = locTable.myEntries[(locSum ^ locByte[i]) & 0xFF] ^ (locSum >> 8);
    return ~locSum;
}

uint32_t locSum(const void* aData, size_t aSize)
{
    return locSumMore(0, aData, aSize);
}

bool locReadAll(int aHandle, void* aData, size_t aSize, uint64_t anOffset)
{
    return OS_ReadFileAt(aHandle, aData, aSize, anOffset) == int64_t(aSize);
}

// Copies the first aSize bytes of aFrom over aTo, cuts aTo there and flushes it.
bool locPutBack(int aFrom, int aTo, uint64_t aSize)
{
    std::vector<char> locBuffer(65536);
    for (uint64_t locOffset = 0; locOffset < aSize;)
    {
        const size_t locPiece = size_t(std::min<uint64_t>(locBuffer.size(), aSize - locOffset));
        if (!locReadAll(aFrom, locBuffer.data(), locPiece, locOffset) ||
            OS_WriteFileAt(aTo, locBuffer.data(), locPiece, locOffset) != int64_t(locPiece))
            return false;
        locOffset += locPiece;
    }
    return OS_TruncateFile(aTo, aSize) && fsync(aTo) == 0;
}

// What a target holds beside its record.
enum Held
{
    HELD_OLD,       // the old content: the save changed nothing, or it was put back
    HELD_NEW,       // the whole new content
    HELD_MIX,       // blocks of both: the save stopped while writing
    HELD_OTHER,     // something else: written since, never overwritten
};

Held locClassify(int aTarget, int aBackup, const OS_SaveRecord& aRecord)
{
    struct stat locStat;
    if (fstat(aTarget, &locStat) != 0)
        return HELD_OTHER;
    const uint64_t locSize = uint64_t(locStat.st_size);
    const uint64_t locBlock = aRecord.myBlockSize;
    // A block larger than the file needs no more room than the file.
    const size_t locRoom = size_t(std::min<uint64_t>(locBlock, std::max<uint64_t>(locSize, 1)));
    std::vector<char> locCurrent(locRoom), locOld(locRoom);
    bool locAllOld = locSize == aRecord.myOldSize;
    bool locAllNew = locSize == aRecord.myNewSize;
    size_t locMixed = 0;
    for (uint64_t locOffset = 0; locOffset < locSize; locOffset += locBlock)
    {
        const size_t locPiece = size_t(std::min<uint64_t>(locBlock, locSize - locOffset));
        if (!locReadAll(aTarget, locCurrent.data(), locPiece, locOffset))
            return HELD_OTHER;
        const uint64_t locIndex = locOffset / locBlock;
        // A block is the new content's when its sum and its length match.
        const bool locNew = locIndex < aRecord.myNewSums.size() &&
                            locPiece == std::min<uint64_t>(locBlock, aRecord.myNewSize - locOffset) &&
                            locSum(locCurrent.data(), locPiece) == aRecord.myNewSums[size_t(locIndex)];
        const bool locOldBlock = locOffset + locPiece <= aRecord.myOldSize &&
                                 locReadAll(aBackup, locOld.data(), locPiece, locOffset) &&
                                 memcmp(locCurrent.data(), locOld.data(), locPiece) == 0;
        locAllNew = locAllNew && locNew;
        locAllOld = locAllOld && locOldBlock;
        if (!locNew && !locOldBlock && ++locMixed > locMaxMixedBlocks)
            return HELD_OTHER;
    }
    if (locAllNew)
        return HELD_NEW;
    if (locAllOld)
        return HELD_OLD;
    // Every step of a save keeps the size between the old and the new one.
    if (locSize < std::min(aRecord.myOldSize, aRecord.myNewSize) || locSize > std::max(aRecord.myOldSize, aRecord.myNewSize))
        return HELD_OTHER;
    return HELD_MIX;
}

// Whether the partner of a save holds its new content whole.
bool locPartnerStands(const OS_SaveRecord& aRecord)
{
    if (aRecord.myPartnerPath.empty())
        return true;
    int locHandle = open(aRecord.myPartnerPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (locHandle < 0)
        return false;
    struct stat locStat;
    uint32_t locWhole = 0;
    const bool locStands = fstat(locHandle, &locStat) == 0 && uint64_t(locStat.st_size) == aRecord.myPartnerSize &&
                           OS_SumFile(locHandle, aRecord.myPartnerSize, locMinBlock, nullptr, &locWhole) &&
                           locWhole == aRecord.myPartnerSum;
    close(locHandle);
    return locStands;
}

void locDropRecord(const std::string& aRecordPath, const OS_SaveRecord& aRecord, bool aBackupFlag)
{
    unlink(aRecordPath.c_str());
    if (aBackupFlag)
        unlink(aRecord.myBackupPath.c_str());
}

// The recovery of one record, locked by this process (aRecordHandle).
void locRecover(int aRecordHandle, const std::string& aRecordPath, int aTarget, const char* aPath)
{
    std::string locBytes;
    struct stat locStat;
    if (fstat(aRecordHandle, &locStat) != 0 || locStat.st_nlink == 0)
        return;   // dropped by its save meanwhile
    OS_SaveRecord locRecord;
    if (locStat.st_size > locMaxRecordSize)
        locBytes.clear();
    else
    {
        locBytes.resize(size_t(locStat.st_size));
        if (!locReadAll(aRecordHandle, &locBytes[0], locBytes.size(), 0))
            locBytes.clear();
    }
    if (locBytes.empty() ||
        !OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBytes.data()), locBytes.size(), &locRecord))
    {
        fprintf(stderr, "save: the record '%s' of an unfinished save of '%s' cannot be read; it is left as it is\n",
                aRecordPath.c_str(), aPath);
        return;
    }
    struct stat locTargetStat;
    if (fstat(aTarget, &locTargetStat) != 0 || uint64_t(locTargetStat.st_dev) != locRecord.myDevice ||
        uint64_t(locTargetStat.st_ino) != locRecord.myInode)
        return;
    int locBackup = open(locRecord.myBackupPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat locBackupStat;
    uint32_t locOldSum = 0;
    if (locBackup < 0 || fstat(locBackup, &locBackupStat) != 0 || uint64_t(locBackupStat.st_size) != locRecord.myOldSize ||
        !OS_SumFile(locBackup, locRecord.myOldSize, locMinBlock, nullptr, &locOldSum) || locOldSum != locRecord.myOldSum)
    {
        fprintf(stderr, "save: the backup '%s' of an unfinished save of '%s' is missing or damaged; '%s' is left as it is\n",
                locRecord.myBackupPath.c_str(), aPath, aPath);
        if (locBackup >= 0)
            close(locBackup);
        return;
    }
    switch (locClassify(aTarget, locBackup, locRecord))
    {
    case HELD_OLD:
        fprintf(stderr, "save: '%s' holds its old content after an unfinished save; its backup is dropped\n", aPath);
        locDropRecord(aRecordPath, locRecord, true);
        break;
    case HELD_NEW:
        if (locPartnerStands(locRecord))
        {
            fprintf(stderr, "save: '%s' holds the whole new content of an unfinished save; its backup is dropped\n",
                    aPath);
            locDropRecord(aRecordPath, locRecord, true);
            break;
        }
        [[fallthrough]];
    case HELD_MIX:
    {
        // The file may be open read-only here: it is opened again for writing.
        const std::string locSelf = "/proc/self/fd/" + std::to_string(aTarget);
        int locWritable = open(locSelf.c_str(), O_WRONLY | O_CLOEXEC);
        if (locWritable >= 0 && locPutBack(locBackup, locWritable, locRecord.myOldSize))
        {
            fprintf(stderr, "save: '%s' was left half saved; its old content is put back\n", aPath);
            locDropRecord(aRecordPath, locRecord, true);
        }
        else
            fprintf(stderr, "save: '%s' was left half saved and its old content cannot be put back (%s); it is kept in '%s'\n",
                    aPath, strerror(errno), locRecord.myBackupPath.c_str());
        if (locWritable >= 0)
            close(locWritable);
        break;
    }
    case HELD_OTHER:
    {
        // Renamed out of the scheme by which backups of killed saves are removed.
        const std::string locKept = locRecord.myBackupPath + ".kept";
        const bool locRenamed = rename(locRecord.myBackupPath.c_str(), locKept.c_str()) == 0;
        fprintf(stderr, "save: '%s' was written since an unfinished save; the content it had before is left in '%s'\n",
                aPath, locRenamed ? locKept.c_str() : locRecord.myBackupPath.c_str());
        locDropRecord(aRecordPath, locRecord, false);
    }
        break;
    }
    close(locBackup);
}
}

bool OS_ReadSaveRecord(const uint8_t* aData, size_t aSize, OS_SaveRecord* aRecord)
{
    // The last four bytes sum all before them.
    if (aSize < sizeof(locMagic) + 4 || memcmp(aData, locMagic, sizeof(locMagic)) != 0)
        return false;
    Reader locTail{aData + aSize - 4, 4};
    uint32_t locSum32 = 0;
    if (!locTail.Get32(&locSum32) || locSum32 != locSum(aData, aSize - 4))
        return false;
    Reader locIn{aData + sizeof(locMagic), aSize - 4 - sizeof(locMagic)};
    uint32_t locFileVersion = 0, locCount = 0;
    OS_SaveRecord locRecord;
    if (!locIn.Get32(&locFileVersion) || locFileVersion != locVersion || !locIn.Get64(&locRecord.myDevice) ||
        !locIn.Get64(&locRecord.myInode) || !locIn.Get64(&locRecord.myOldSize) || !locIn.Get32(&locRecord.myOldSum) ||
        !locIn.Get64(&locRecord.myNewSize) || !locIn.Get32(&locRecord.myBlockSize) || !locIn.Get32(&locCount))
        return false;
    const uint32_t locBlock = locRecord.myBlockSize;
    if (locBlock < locMinBlock || locBlock > locMaxBlock || (locBlock & (locBlock - 1)) != 0 ||
        locRecord.myOldSize > uint64_t(INT64_MAX) || locRecord.myNewSize > uint64_t(INT64_MAX))
        return false;
    // One sum per block, every one there.
    const uint64_t locBlocks = locRecord.myNewSize / locBlock + (locRecord.myNewSize % locBlock != 0);
    if (locCount != locBlocks || locCount > locMaxSums || locCount > locIn.myLeft / 4)
        return false;
    locRecord.myNewSums.resize(locCount);
    for (uint32_t& locBlockSum : locRecord.myNewSums)
        locIn.Get32(&locBlockSum);
    if (!locIn.GetPath(&locRecord.myTargetPath, false) || !locIn.GetPath(&locRecord.myBackupPath, false) ||
        !locIn.GetPath(&locRecord.myPartnerPath, true) || !locIn.Get64(&locRecord.myPartnerSize) ||
        !locIn.Get32(&locRecord.myPartnerSum) || locIn.myLeft != 0)
        return false;
    *aRecord = std::move(locRecord);
    return true;
}

std::string OS_WriteSaveRecord(const OS_SaveRecord& aRecord)
{
    std::string locOut(locMagic, sizeof(locMagic));
    locPut32(&locOut, locVersion);
    locPut64(&locOut, aRecord.myDevice);
    locPut64(&locOut, aRecord.myInode);
    locPut64(&locOut, aRecord.myOldSize);
    locPut32(&locOut, aRecord.myOldSum);
    locPut64(&locOut, aRecord.myNewSize);
    locPut32(&locOut, aRecord.myBlockSize);
    locPut32(&locOut, uint32_t(aRecord.myNewSums.size()));
    for (uint32_t locBlockSum : aRecord.myNewSums)
        locPut32(&locOut, locBlockSum);
    locPutText(&locOut, aRecord.myTargetPath);
    locPutText(&locOut, aRecord.myBackupPath);
    locPutText(&locOut, aRecord.myPartnerPath);
    locPut64(&locOut, aRecord.myPartnerSize);
    locPut32(&locOut, aRecord.myPartnerSum);
    locPut32(&locOut, locSum(locOut.data(), locOut.size()));
    return locOut;
}

uint32_t OS_SaveBlockSize(uint64_t aSize)
{
    uint32_t locBlock = locMinBlock;
    while (locBlock < locMaxBlock && aSize / locBlock >= locMaxSums)
        locBlock <<= 1;
    return locBlock;
}

bool OS_SumFile(int aHandle, uint64_t aSize, uint32_t aBlockSize, std::vector<uint32_t>* aSums, uint32_t* aWhole)
{
    std::vector<char> locBuffer(std::max<uint32_t>(aBlockSize, 65536));
    const uint64_t locPieceMax = aSums ? aBlockSize : locBuffer.size();
    uint32_t locWhole = 0;
    if (aSums)
        aSums->clear();
    for (uint64_t locOffset = 0; locOffset < aSize;)
    {
        const size_t locPiece = size_t(std::min<uint64_t>(locPieceMax, aSize - locOffset));
        if (!locReadAll(aHandle, locBuffer.data(), locPiece, locOffset))
        {
            if (errno == 0)
                errno = EIO;
            return false;
        }
        if (aSums)
            aSums->push_back(locSum(locBuffer.data(), locPiece));
        locWhole = locSumMore(locWhole, locBuffer.data(), locPiece);
        locOffset += locPiece;
    }
    *aWhole = locWhole;
    return true;
}

bool OS_SaveRecordFolder(std::string* aFolder, bool aMakeFlag)
{
    if (aMakeFlag)
    {
        char locFolder[PATH_MAX];
        if (!OS_GetUserDataFolder(locFolderName, locFolder, sizeof(locFolder)))
            return false;
        *aFolder = locFolder;
        return true;
    }
    // Only looked up: nothing made.
    return OS_UserDataPath(locFolderName, aFolder);
}

std::string OS_SaveRecordName(uint64_t aDevice, uint64_t anInode)
{
    char locName[64];
    snprintf(locName, sizeof(locName), "%llx-%llx.save", static_cast<unsigned long long>(aDevice),
             static_cast<unsigned long long>(anInode));
    return locName;
}

void OS_RecoverSave(int aHandle, const char* aPath)
{
    struct stat locStat;
    if (aHandle < 0 || !aPath || fstat(aHandle, &locStat) != 0 || !S_ISREG(locStat.st_mode))
        return;
    const std::string locName = OS_SaveRecordName(uint64_t(locStat.st_dev), uint64_t(locStat.st_ino));
    std::string locPlaces[2];
    std::string locFolder;
    if (OS_SaveRecordFolder(&locFolder, false))
        locPlaces[0] = locFolder + "/" + locName;
    const char* locSlash = strrchr(aPath, '/');
    locPlaces[1] = (locSlash ? std::string(aPath, size_t(locSlash - aPath) + 1) : std::string()) + "." + locName;
    const int locSavedErrno = errno;
    for (const std::string& locPlace : locPlaces)
    {
        if (locPlace.empty())
            continue;
        int locRecord = open(locPlace.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (locRecord < 0)
            continue;
        // A save that still runs holds its record locked.
        if (flock(locRecord, LOCK_EX | LOCK_NB) == 0)
            locRecover(locRecord, locPlace, aHandle, aPath);
        close(locRecord);
    }
    errno = locSavedErrno;
}
