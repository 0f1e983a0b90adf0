// The backup of an in-place save, and the recovery that the next open or save
// of its target by the same user runs when the save was killed before it
// finished.
#include "platform/os/os_savefile_local.h"
#include "platform/os/os_file.h"
#include "platform/os/os_file_local.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
constexpr char locMagic[8] = {'Q', 'S', 'A', 'V', 'E', 'R', 'E', 'C'};
constexpr uint32_t locVersion = 2;
// After the fields: their sum, the header's length and the magic.
constexpr size_t locTrailer = 4 + 4 + sizeof(locMagic);
constexpr size_t locPieceSize = 65536;
// The folder of the backups, under the per-user data folder.
constexpr const char* locFolderName = "qtools";
std::atomic<unsigned> ourUnique{0};

// aSize bytes of aValue, little-endian.
void locPut(std::string* anOut, uint64_t aValue, size_t aSize)
{
    for (size_t i = 0; i < aSize; ++i)
        anOut->push_back(char((aValue >> (8 * i)) & 0xFF));
}

uint32_t locSum(const void* aData, size_t aSize)
{
    return uint32_t(crc32(0, static_cast<const Bytef*>(aData), uInt(aSize)));
}

// Reads little-endian fields, each bounded by what is left; once one does
// not fit, myFailedFlag stays set.
struct Reader
{
    const uint8_t* myData;
    size_t myLeft;
    bool myFailedFlag = false;

    uint64_t Get(size_t aSize)
    {
        uint64_t locValue = 0;
        myFailedFlag = myFailedFlag || aSize > myLeft;
        for (size_t i = 0; !myFailedFlag && i < aSize; ++i, --myLeft)
            locValue |= uint64_t(*myData++) << (8 * i);
        return locValue;
    }
    // A path: shorter than PATH_MAX, no NUL; absolute unless it may be empty.
    std::string GetPath(bool anEmptyFlag)
    {
        const uint64_t locLength = Get(4);
        myFailedFlag = myFailedFlag || locLength > myLeft || locLength >= PATH_MAX;
        const std::string locText(reinterpret_cast<const char*>(myData), myFailedFlag ? 0 : size_t(locLength));
        myData += locText.size();
        myLeft -= locText.size();
        myFailedFlag = myFailedFlag || locText.find('\0') != std::string::npos ||
                       (locText.empty() ? !anEmptyFlag : locText[0] != '/');
        return locText;
    }
};

// The header at the end of a backup open as aBackup, checked against the
// backup's length and the sums of both contents.
bool locReadBackup(int aBackup, OS_SaveRecord* aRecord)
{
    struct stat locStat;
    if (fstat(aBackup, &locStat) != 0)
        return false;
    const uint64_t locSize = uint64_t(locStat.st_size);
    std::vector<uint8_t> locTail(size_t(std::min<uint64_t>(locSize, OS_SAVE_HEADER_MAX)));
    size_t locHeader = 0;
    uint32_t locOldSum = 0, locNewSum = 0;
    return !locTail.empty() &&
           OS_ReadFileAt(aBackup, locTail.data(), locTail.size(), locSize - locTail.size()) == int64_t(locTail.size()) &&
           OS_ReadSaveRecord(locTail.data(), locTail.size(), aRecord, &locHeader) &&
           aRecord->myOldSize <= locSize - locHeader && aRecord->myNewSize == locSize - locHeader - aRecord->myOldSize &&
           OS_CopyRange(aBackup, 0, -1, 0, aRecord->myOldSize, &locOldSum) && locOldSum == aRecord->myOldSum &&
           OS_CopyRange(aBackup, aRecord->myOldSize, -1, 0, aRecord->myNewSize, &locNewSum) &&
           locNewSum == aRecord->myNewSum;
}

// Whether the file open as aHandle is the one the record names: the same
// device, inode and birth, or, where the file system keeps no birth time,
// the same file still reached by the record's path.
bool locIsTarget(int aHandle, const struct stat& aStat, const OS_SaveRecord& aRecord)
{
    struct stat locNamed;
    if (aRecord.myDevice != uint64_t(aStat.st_dev) || aRecord.myInode != uint64_t(aStat.st_ino) ||
        aRecord.myBirth != OS_BirthOf(aHandle))
        return false;
    return aRecord.myBirth != 0 || (stat(aRecord.myTargetPath.c_str(), &locNamed) == 0 &&
                                    locNamed.st_dev == aStat.st_dev && locNamed.st_ino == aStat.st_ino);
}

// What a target holds beside its backup: the old content, the whole new,
// what a stopped save leaves, or anything else (written since, never
// overwritten); or the backup is not whole, or not the target's.
enum Held { HELD_OLD, HELD_NEW, HELD_MIX, HELD_OTHER, HELD_UNREADABLE, HELD_ELSEWHERE };

// The new content is written over the old from the start, then cut to its
// length; a put-back writes the old over that from the start, then cuts. So
// a stopped save leaves, at the old size, old bytes up to some offset, new
// ones up to another and old again after; at any other size between the two,
// old bytes up to some offset and new ones after. Checked byte by byte.
Held locClassify(int aTarget, const struct stat& aStat, int aBackup, OS_SaveRecord* aRecord)
{
    if (!locReadBackup(aBackup, aRecord))
        return HELD_UNREADABLE;
    if (!locIsTarget(aTarget, aStat, *aRecord))
        return HELD_ELSEWHERE;
    const uint64_t locSize = uint64_t(aStat.st_size), locOld = aRecord->myOldSize, locNew = aRecord->myNewSize;
    if (locSize < std::min(locOld, locNew) || locSize > std::max(locOld, locNew))
        return HELD_OTHER;
    std::vector<uint8_t> locHeld(locPieceSize), locOlds(locPieceSize), locNews(locPieceSize);
    bool locAllOld = locSize == locOld, locAllNew = locSize == locNew;
    int locRun = 0;   // in the old bytes before, the new, the old after
    for (uint64_t locAt = 0; locAt < locSize;)
    {
        const size_t locPiece = size_t(std::min<uint64_t>(locPieceSize, locSize - locAt));
        const size_t locOldPiece = locAt < locOld ? size_t(std::min<uint64_t>(locPiece, locOld - locAt)) : 0;
        const size_t locNewPiece = locAt < locNew ? size_t(std::min<uint64_t>(locPiece, locNew - locAt)) : 0;
        if (OS_ReadFileAt(aTarget, locHeld.data(), locPiece, locAt) != int64_t(locPiece) ||
            OS_ReadFileAt(aBackup, locOlds.data(), locOldPiece, locAt) != int64_t(locOldPiece) ||
            OS_ReadFileAt(aBackup, locNews.data(), locNewPiece, locOld + locAt) != int64_t(locNewPiece))
            return HELD_OTHER;
        for (size_t i = 0; i < locPiece; ++i)
        {
            const bool locIsOld = i < locOldPiece && locHeld[i] == locOlds[i];
            const bool locIsNew = i < locNewPiece && locHeld[i] == locNews[i];
            locAllOld = locAllOld && locIsOld;
            locAllNew = locAllNew && locIsNew;
            if (locRun == 0 && !locIsOld)
                locRun = 1;
            if (locRun == 1 && !locIsNew)
                locRun = 2;
            if (locRun == 2 && (!locIsOld || locSize != locOld))
                return HELD_OTHER;
        }
        locAt += locPiece;
    }
    return locAllNew ? HELD_NEW : (locAllOld ? HELD_OLD : HELD_MIX);
}

// Whether the partner of a save holds its new content whole.
bool locPartnerStands(const OS_SaveRecord& aRecord)
{
    uint64_t locSize = 0;
    uint32_t locSum = 0;
    return aRecord.myPartnerPath.empty() ||
           (OS_SumFrom(-1, aRecord.myPartnerPath.c_str(), 0, &locSize, &locSum) && locSize == aRecord.myPartnerSize &&
            locSum == aRecord.myPartnerSum);
}

// Moves a backup not applied out of the records' names, cut to the old content, and says where.
void locKeep(int aFolder, const std::string& aFolderPath, const std::string& aName, int aBackup, uint64_t anOldSize,
             const char* aPath, const char* aWhy)
{
    const std::string locKept = aName.substr(0, aName.size() - strlen("save")) + OS_SaveUnique() + ".kept";
    const bool locMoved = renameat(aFolder, aName.c_str(), aFolder, locKept.c_str()) == 0;
    if (locMoved)
        ftruncate(aBackup, off_t(anOldSize));
    fprintf(stderr, "save: '%s' %s; the content it had before is kept in '%s/%s'\n", aPath, aWhy, aFolderPath.c_str(),
            (locMoved ? locKept : aName).c_str());
}

// The old content back over the file open as aHandle, and only that file.
bool locPutBack(int aHandle, const struct stat& aStat, int aBackup, uint64_t anOldSize)
{
    // The file may be open read-only here: it is opened again for writing.
    const std::string locSelf = "/proc/self/fd/" + std::to_string(aHandle);
    const int locWritable = open(locSelf.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat locStat;
    const bool locDone = locWritable >= 0 && fstat(locWritable, &locStat) == 0 && locStat.st_ino == aStat.st_ino &&
                         locStat.st_dev == aStat.st_dev && OS_CopyOver(aBackup, 0, locWritable, anOldSize);
    const int locError = errno;
    if (locWritable >= 0)
        close(locWritable);
    errno = locError;
    return locDone;
}

// aHandle when open (not through a link) on an aType (S_IFREG, S_IFDIR) of this user's own that
// no one else may write; -1 otherwise, closed, with a console line naming aPath unless none is there.
int locOwnOnly(int aHandle, mode_t aType, const std::string& aPath)
{
    struct stat locStat;
    if (aHandle < 0 && errno == ENOENT)
        return -1;
    if (aHandle >= 0 && fstat(aHandle, &locStat) == 0 && (locStat.st_mode & S_IFMT) == aType &&
        locStat.st_uid == geteuid() && (locStat.st_mode & 022) == 0)
        return aHandle;
    fprintf(stderr, "save: '%s' is not a %s of this user's own that only this user may write; nothing is recovered "
                    "from it or kept in it\n", aPath.c_str(), aType == S_IFDIR ? "folder" : "file");
    if (aHandle >= 0)
        close(aHandle);
    return -1;
}
}

bool OS_ReadSaveRecord(const uint8_t* aData, size_t aSize, OS_SaveRecord* aRecord, size_t* aHeaderSize)
{
    if (aSize < locTrailer || memcmp(aData + aSize - sizeof(locMagic), locMagic, sizeof(locMagic)) != 0)
        return false;
    Reader locTail{aData + aSize - locTrailer, 8};
    const uint64_t locSum32 = locTail.Get(4), locLength = locTail.Get(4);
    if (locLength < locTrailer || locLength > aSize)
        return false;
    const uint8_t* locStart = aData + aSize - locLength;
    if (locSum32 != locSum(locStart, locLength - locTrailer))
        return false;
    Reader locIn{locStart, locLength - locTrailer};
    OS_SaveRecord locRecord;
    const bool locKnown = locIn.Get(4) == locVersion;
    locRecord.myDevice = locIn.Get(8);
    locRecord.myInode = locIn.Get(8);
    locRecord.myBirth = locIn.Get(8);
    locRecord.myOldSize = locIn.Get(8);
    locRecord.myOldSum = uint32_t(locIn.Get(4));
    locRecord.myNewSize = locIn.Get(8);
    locRecord.myNewSum = uint32_t(locIn.Get(4));
    locRecord.myTargetPath = locIn.GetPath(false);
    locRecord.myPartnerPath = locIn.GetPath(true);
    locRecord.myPartnerSize = locIn.Get(8);
    locRecord.myPartnerSum = uint32_t(locIn.Get(4));
    if (!locKnown || locIn.myFailedFlag || locIn.myLeft != 0 ||
        std::max({locRecord.myOldSize, locRecord.myNewSize, locRecord.myPartnerSize}) > uint64_t(INT64_MAX))
        return false;
    *aRecord = std::move(locRecord);
    *aHeaderSize = locLength;
    return true;
}

std::string OS_WriteSaveRecord(const OS_SaveRecord& aRecord)
{
    std::string locOut;
    locPut(&locOut, locVersion, 4);
    locPut(&locOut, aRecord.myDevice, 8);
    locPut(&locOut, aRecord.myInode, 8);
    locPut(&locOut, aRecord.myBirth, 8);
    locPut(&locOut, aRecord.myOldSize, 8);
    locPut(&locOut, aRecord.myOldSum, 4);
    locPut(&locOut, aRecord.myNewSize, 8);
    locPut(&locOut, aRecord.myNewSum, 4);
    for (const std::string* locPath : {&aRecord.myTargetPath, &aRecord.myPartnerPath})
    {
        locPut(&locOut, locPath->size(), 4);
        locOut += *locPath;
    }
    locPut(&locOut, aRecord.myPartnerSize, 8);
    locPut(&locOut, aRecord.myPartnerSum, 4);
    locPut(&locOut, locSum(locOut.data(), locOut.size()), 4);
    locPut(&locOut, uint32_t(locOut.size() + 4 + sizeof(locMagic)), 4);
    locOut.append(locMagic, sizeof(locMagic));
    return locOut;
}

uint64_t OS_BirthOf(int aHandle)
{
    struct statx locStat;
    if (statx(aHandle, "", AT_EMPTY_PATH, STATX_BTIME, &locStat) != 0 || !(locStat.stx_mask & STATX_BTIME))
        return 0;
    return uint64_t(locStat.stx_btime.tv_sec) * 1000000000u + locStat.stx_btime.tv_nsec;
}

bool OS_CopyRange(int aFrom, uint64_t aFromOffset, int aTo, uint64_t aToOffset, uint64_t aSize, uint32_t* aSum)
{
    std::vector<char> locBuffer(size_t(std::min<uint64_t>(aSize, locPieceSize)));
    for (uint64_t locDone = 0; locDone < aSize;)
    {
        const size_t locPiece = size_t(std::min<uint64_t>(locBuffer.size(), aSize - locDone));
        const int64_t locRead = OS_ReadFileAt(aFrom, locBuffer.data(), locPiece, aFromOffset + locDone);
        if (locRead != int64_t(locPiece))
        {
            errno = locRead >= 0 ? EIO : errno;   // EIO: cut short meanwhile
            return false;
        }
        if (aTo >= 0 && OS_WriteFileAt(aTo, locBuffer.data(), locPiece, aToOffset + locDone) != int64_t(locPiece))
            return false;
        if (aSum)
            *aSum = uint32_t(crc32(*aSum, reinterpret_cast<const Bytef*>(locBuffer.data()), uInt(locPiece)));
        locDone += locPiece;
    }
    return true;
}

bool OS_CopyOver(int aFrom, uint64_t aFromOffset, int aTo, uint64_t aSize)
{
    return OS_CopyRange(aFrom, aFromOffset, aTo, 0, aSize, nullptr) && OS_TruncateFile(aTo, aSize) &&
           fsync(aTo) == 0;
}

bool OS_SumFrom(int aHandle, const char* aPath, uint64_t aStart, uint64_t* aSize, uint32_t* aSum)
{
    const int locHandle = aPath ? open(aPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : aHandle;
    struct stat locStat;
    bool locSummed = locHandle >= 0 && fstat(locHandle, &locStat) == 0 && S_ISREG(locStat.st_mode) &&
                     uint64_t(locStat.st_size) >= aStart;
    *aSize = locSummed ? uint64_t(locStat.st_size) - aStart : 0;
    locSummed = locSummed && OS_CopyRange(locHandle, aStart, -1, 0, *aSize, aSum);
    if (aPath && locHandle >= 0)
        close(locHandle);
    return locSummed;
}

std::string OS_SaveUnique()
{
    return std::to_string(getpid()) + "-" + std::to_string(ourUnique.fetch_add(1));
}

int OS_OpenSaveFolder(bool aMakeFlag, std::string* aPath)
{
    char locMade[PATH_MAX];
    if (!OS_UserDataPath(locFolderName, aPath) ||
        (aMakeFlag && !OS_GetUserDataFolder(locFolderName, locMade, sizeof(locMade))))
        return -1;
    return locOwnOnly(open(aPath->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), S_IFDIR, *aPath);
}

std::string OS_SaveRecordName(uint64_t aDevice, uint64_t anInode)
{
    char locName[64];
    snprintf(locName, sizeof(locName), "%llx-%llx.save", static_cast<unsigned long long>(aDevice),
             static_cast<unsigned long long>(anInode));
    return locName;
}

void OS_RecoverSave(int aHandle, const char* aPath, bool aLockedFlag)
{
    struct stat locStat, locExisting;
    if (aHandle < 0 || !aPath || fstat(aHandle, &locStat) != 0 || !S_ISREG(locStat.st_mode))
        return;
    const int locSavedErrno = errno;
    std::string locFolderPath;
    const int locFolder = OS_OpenSaveFolder(false, &locFolderPath);
    const std::string locName = OS_SaveRecordName(uint64_t(locStat.st_dev), uint64_t(locStat.st_ino));
    // A save that still runs holds its file locked.
    const bool locLocked = locFolder >= 0 &&
                           fstatat(locFolder, locName.c_str(), &locExisting, AT_SYMLINK_NOFOLLOW) == 0 &&
                           (aLockedFlag || flock(aHandle, LOCK_EX | LOCK_NB) == 0);
    const int locFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const int locBackup =
        locLocked ? locOwnOnly(openat(locFolder, locName.c_str(), locFlags), S_IFREG, locFolderPath + "/" + locName) : -1;
    OS_SaveRecord locRecord;
    if (locBackup >= 0)
        switch (locClassify(aHandle, locStat, locBackup, &locRecord))
        {
        case HELD_UNREADABLE:
            fprintf(stderr, "save: the backup '%s/%s' of an unfinished save cannot be read; it and '%s' are left as "
                            "they are\n", locFolderPath.c_str(), locName.c_str(), aPath);
            break;
        case HELD_ELSEWHERE:
            locKeep(locFolder, locFolderPath, locName, locBackup, locRecord.myOldSize, aPath,
                    "is not the file an unfinished save of the same inode wrote");
            break;
        case HELD_NEW:
            if (locPartnerStands(locRecord))
            {
                fprintf(stderr, "save: '%s' holds the whole new content of an unfinished save; its backup is "
                                "dropped\n", aPath);
                unlinkat(locFolder, locName.c_str(), 0);
                break;
            }
            [[fallthrough]];
        case HELD_MIX:
            if (!locPutBack(aHandle, locStat, locBackup, locRecord.myOldSize))
            {
                fprintf(stderr, "save: '%s' was left half saved and its old content cannot be put back (%s); "
                                "it is kept in '%s/%s' (its first %llu bytes)\n", aPath, strerror(errno),
                        locFolderPath.c_str(), locName.c_str(), static_cast<unsigned long long>(locRecord.myOldSize));
                break;
            }
            fprintf(stderr, "save: '%s' was left half saved; its old content is put back\n", aPath);
            [[fallthrough]];
        case HELD_OLD:
            unlinkat(locFolder, locName.c_str(), 0);
            break;
        case HELD_OTHER:
            locKeep(locFolder, locFolderPath, locName, locBackup, locRecord.myOldSize, aPath,
                    "was written since an unfinished save");
            break;
        }
    if (locBackup >= 0)
        close(locBackup);
    if (locLocked && !aLockedFlag)
        flock(aHandle, LOCK_UN);
    if (locFolder >= 0)
        close(locFolder);
    errno = locSavedErrno;
}
