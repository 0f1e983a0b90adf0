// The backup of an in-place save, and the recovery that the next open or save
// of its target by the same user runs when the save was killed before it
// finished.
#include "platform/os/os_savefile_local.h"
#include "platform/os/os_file.h"
#include "platform/os/os_file_local.h"

#include <fcntl.h>
#include <signal.h>
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

uint32_t locGet32(const uint8_t* aData)
{
    return uint32_t(aData[0]) | uint32_t(aData[1]) << 8 | uint32_t(aData[2]) << 16 | uint32_t(aData[3]) << 24;
}

uint32_t locSum(const void* aData, size_t aSize)
{
    return uint32_t(crc32(0, static_cast<const Bytef*>(aData), uInt(aSize)));
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
        *aValue = locGet32(myData);
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
        return *aValue <= uint64_t(INT64_MAX);
    }
    // A path: shorter than PATH_MAX, no NUL; absolute unless it may be empty.
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

// What a target holds beside its backup.
enum Held
{
    HELD_OLD,     // the old content: the save changed nothing, or it was put back
    HELD_NEW,     // the whole new content
    HELD_MIX,     // what a stopped save leaves
    HELD_OTHER,   // anything else: written since, never overwritten
};

// A stopped save leaves the old bytes up to some offset, the new ones after
// it up to another, and the old again after that (the new content written
// over the old from the start, and the old put back over that from the
// start), at a size between the two. Checked byte by byte against both.
Held locClassify(int aTarget, uint64_t aSize, int aBackup, const OS_SaveRecord& aRecord)
{
    const uint64_t locOld = aRecord.myOldSize, locNew = aRecord.myNewSize;
    if (aSize < std::min(locOld, locNew) || aSize > std::max(locOld, locNew))
        return HELD_OTHER;
    std::vector<uint8_t> locHeld(locPieceSize), locOlds(locPieceSize), locNews(locPieceSize);
    bool locAllOld = aSize == locOld, locAllNew = aSize == locNew;
    int locRun = 0;   // in the old bytes before, the new, the old after
    for (uint64_t locAt = 0; locAt < aSize;)
    {
        const size_t locPiece = size_t(std::min<uint64_t>(locPieceSize, aSize - locAt));
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
            if (locRun == 2 && !locIsOld)
                return HELD_OTHER;
        }
        locAt += locPiece;
    }
    return locAllNew ? HELD_NEW : (locAllOld ? HELD_OLD : HELD_MIX);
}

// Whether the partner of a save holds its new content whole.
bool locPartnerStands(const OS_SaveRecord& aRecord)
{
    if (aRecord.myPartnerPath.empty())
        return true;
    const int locHandle = open(aRecord.myPartnerPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat locStat;
    uint32_t locSum = 0;
    const bool locStands = locHandle >= 0 && fstat(locHandle, &locStat) == 0 && S_ISREG(locStat.st_mode) &&
                           uint64_t(locStat.st_size) == aRecord.myPartnerSize &&
                           OS_CopyRange(locHandle, 0, -1, 0, aRecord.myPartnerSize, &locSum) &&
                           locSum == aRecord.myPartnerSum;
    if (locHandle >= 0)
        close(locHandle);
    return locStands;
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

// Moves a backup that is not applied out of the records' names, cut to the
// old content, and says where it is.
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
                         locStat.st_dev == aStat.st_dev && OS_CopyRange(aBackup, 0, locWritable, 0, anOldSize, nullptr) &&
                         OS_TruncateFile(locWritable, anOldSize) && fsync(locWritable) == 0;
    const int locError = errno;
    if (locWritable >= 0)
        close(locWritable);
    errno = locError;
    return locDone;
}

// The backup aName in the folder, when it is a regular file of this user's
// own that no one else may write; -1 otherwise (a console line says why).
int locOpenOwn(int aFolder, const std::string& aFolderPath, const std::string& aName)
{
    const int locHandle = openat(aFolder, aName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (locHandle < 0 && errno == ENOENT)
        return -1;
    struct stat locStat;
    if (locHandle >= 0 && fstat(locHandle, &locStat) == 0 && S_ISREG(locStat.st_mode) &&
        locStat.st_uid == geteuid() && (locStat.st_mode & 022) == 0)
        return locHandle;
    fprintf(stderr, "save: '%s/%s' is not a file of this user's own that only this user may write; "
                    "nothing is recovered from it\n", aFolderPath.c_str(), aName.c_str());
    if (locHandle >= 0)
        close(locHandle);
    return -1;
}
}

bool OS_ReadSaveRecord(const uint8_t* aData, size_t aSize, OS_SaveRecord* aRecord, size_t* aHeaderSize)
{
    if (aSize < locTrailer || memcmp(aData + aSize - sizeof(locMagic), locMagic, sizeof(locMagic)) != 0)
        return false;
    const size_t locLength = locGet32(aData + aSize - sizeof(locMagic) - 4);
    if (locLength < locTrailer || locLength > aSize)
        return false;
    const uint8_t* locStart = aData + aSize - locLength;
    if (locGet32(aData + aSize - locTrailer) != locSum(locStart, locLength - locTrailer))
        return false;
    Reader locIn{locStart, locLength - locTrailer};
    uint32_t locFileVersion = 0;
    OS_SaveRecord locRecord;
    if (!locIn.Get32(&locFileVersion) || locFileVersion != locVersion || !locIn.Get64(&locRecord.myDevice) ||
        !locIn.Get64(&locRecord.myInode) || !locIn.Get64(&locRecord.myBirth) || !locIn.Get64(&locRecord.myOldSize) ||
        !locIn.Get32(&locRecord.myOldSum) || !locIn.Get64(&locRecord.myNewSize) || !locIn.Get32(&locRecord.myNewSum) ||
        !locIn.GetPath(&locRecord.myTargetPath, false) || !locIn.GetPath(&locRecord.myPartnerPath, true) ||
        !locIn.Get64(&locRecord.myPartnerSize) || !locIn.Get32(&locRecord.myPartnerSum) || locIn.myLeft != 0)
        return false;
    *aRecord = std::move(locRecord);
    *aHeaderSize = locLength;
    return true;
}

std::string OS_WriteSaveRecord(const OS_SaveRecord& aRecord)
{
    std::string locOut;
    locPut32(&locOut, locVersion);
    locPut64(&locOut, aRecord.myDevice);
    locPut64(&locOut, aRecord.myInode);
    locPut64(&locOut, aRecord.myBirth);
    locPut64(&locOut, aRecord.myOldSize);
    locPut32(&locOut, aRecord.myOldSum);
    locPut64(&locOut, aRecord.myNewSize);
    locPut32(&locOut, aRecord.myNewSum);
    for (const std::string* locPath : {&aRecord.myTargetPath, &aRecord.myPartnerPath})
    {
        locPut32(&locOut, uint32_t(locPath->size()));
        locOut += *locPath;
    }
    locPut64(&locOut, aRecord.myPartnerSize);
    locPut32(&locOut, aRecord.myPartnerSum);
    locPut32(&locOut, locSum(locOut.data(), locOut.size()));
    locPut32(&locOut, uint32_t(locOut.size() + 4 + sizeof(locMagic)));
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
            if (locRead >= 0)
                errno = EIO;   // cut short meanwhile
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

std::string OS_SaveUnique()
{
    return std::to_string(getpid()) + "-" + std::to_string(ourUnique.fetch_add(1));
}

bool OS_IsStaleName(const std::string& aName, const std::string& aPrefix, const char* aSuffix)
{
    if (aName.compare(0, aPrefix.size(), aPrefix) != 0)
        return false;
    const char* locRest = aName.c_str() + aPrefix.size();
    char* locEnd = nullptr;
    const long locPid = isdigit(uint8_t(locRest[0])) ? strtol(locRest, &locEnd, 10) : 0;
    if (locPid <= 0 || locPid == long(getpid()) || *locEnd != '-' || !isdigit(uint8_t(locEnd[1])))
        return false;
    strtoul(locEnd + 1, &locEnd, 10);
    return strcmp(locEnd, aSuffix) == 0 && kill(pid_t(locPid), 0) != 0 && errno == ESRCH;
}

int OS_OpenSaveFolder(bool aMakeFlag, std::string* aPath)
{
    char locMade[PATH_MAX];
    if (!OS_UserDataPath(locFolderName, aPath) ||
        (aMakeFlag && !OS_GetUserDataFolder(locFolderName, locMade, sizeof(locMade))))
        return -1;
    const int locHandle = open(aPath->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (locHandle < 0 && errno == ENOENT)
        return -1;
    struct stat locStat;
    if (locHandle >= 0 && fstat(locHandle, &locStat) == 0 && locStat.st_uid == geteuid() &&
        (locStat.st_mode & 022) == 0)
        return locHandle;
    fprintf(stderr, "save: the folder '%s' is not this user's own or others may write it; "
                    "no save is recovered from it or kept in it\n", aPath->c_str());
    if (locHandle >= 0)
        close(locHandle);
    return -1;
}

std::string OS_SaveRecordName(uint64_t aDevice, uint64_t anInode)
{
    char locName[64];
    snprintf(locName, sizeof(locName), "%llx-%llx.save", static_cast<unsigned long long>(aDevice),
             static_cast<unsigned long long>(anInode));
    return locName;
}

void OS_RecoverLocked(int aFolder, const std::string& aFolderPath, int aHandle, const char* aPath)
{
    struct stat locStat;
    if (fstat(aHandle, &locStat) != 0 || !S_ISREG(locStat.st_mode))
        return;
    const std::string locName = OS_SaveRecordName(uint64_t(locStat.st_dev), uint64_t(locStat.st_ino));
    const int locBackup = locOpenOwn(aFolder, aFolderPath, locName);
    if (locBackup < 0)
        return;
    OS_SaveRecord locRecord;
    if (!locReadBackup(locBackup, &locRecord))
        fprintf(stderr, "save: the backup '%s/%s' of an unfinished save cannot be read; it and '%s' are left as they are\n",
                aFolderPath.c_str(), locName.c_str(), aPath);
    else if (!locIsTarget(aHandle, locStat, locRecord))
        locKeep(aFolder, aFolderPath, locName, locBackup, locRecord.myOldSize, aPath,
                "is not the file an unfinished save of the same inode wrote");
    else
        switch (locClassify(aHandle, uint64_t(locStat.st_size), locBackup, locRecord))
        {
        case HELD_NEW:
            if (locPartnerStands(locRecord))
            {
                fprintf(stderr, "save: '%s' holds the whole new content of an unfinished save; its backup is dropped\n", aPath);
                unlinkat(aFolder, locName.c_str(), 0);
                break;
            }
            [[fallthrough]];
        case HELD_MIX:
            if (!locPutBack(aHandle, locStat, locBackup, locRecord.myOldSize))
            {
                fprintf(stderr, "save: '%s' was left half saved and its old content cannot be put back (%s); "
                                "it is kept in the first %llu bytes of '%s/%s'\n", aPath, strerror(errno),
                        static_cast<unsigned long long>(locRecord.myOldSize), aFolderPath.c_str(), locName.c_str());
                break;
            }
            fprintf(stderr, "save: '%s' was left half saved; its old content is put back\n", aPath);
            [[fallthrough]];
        case HELD_OLD:
            unlinkat(aFolder, locName.c_str(), 0);
            break;
        case HELD_OTHER:
            locKeep(aFolder, aFolderPath, locName, locBackup, locRecord.myOldSize, aPath,
                    "was written since an unfinished save");
            break;
        }
    close(locBackup);
}

void OS_RecoverSave(int aHandle, const char* aPath)
{
    struct stat locStat, locRecord;
    if (aHandle < 0 || !aPath || fstat(aHandle, &locStat) != 0 || !S_ISREG(locStat.st_mode))
        return;
    const int locSavedErrno = errno;
    std::string locFolderPath;
    const int locFolder = OS_OpenSaveFolder(false, &locFolderPath);
    const std::string locName = OS_SaveRecordName(uint64_t(locStat.st_dev), uint64_t(locStat.st_ino));
    // A save that still runs holds its file locked.
    if (locFolder >= 0 && fstatat(locFolder, locName.c_str(), &locRecord, AT_SYMLINK_NOFOLLOW) == 0 &&
        flock(aHandle, LOCK_EX | LOCK_NB) == 0)
    {
        OS_RecoverLocked(locFolder, locFolderPath, aHandle, aPath);
        flock(aHandle, LOCK_UN);
    }
    if (locFolder >= 0)
        close(locFolder);
    errno = locSavedErrno;
}
