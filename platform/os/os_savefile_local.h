// What the save-file helper and the file layer share about in-place saves:
// the backup kept in the user's own data folder until the new content is
// durable, and the recovery the next open or save by that user runs after a kill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One in-place save under way: "<device>-<inode>.save" in the folder holds the old content, the
// new, then this header: the backup is its own record of what a stopped save can have left.
struct OS_SaveRecord
{
    uint64_t myDevice = 0;      // with myInode and myBirth, the target whatever its name
    uint64_t myInode = 0;
    uint64_t myBirth = 0;       // nanoseconds since 1970; 0 where the file system keeps none
    uint64_t myOldSize = 0;     // bytes, at the start of the backup
    uint32_t myOldSum = 0;      // CRC-32
    uint64_t myNewSize = 0;     // bytes, right after the old
    uint32_t myNewSum = 0;
    std::string myTargetPath;   // absolute, links followed
    // Empty, or the file (a .loc's .tez) that must hold its new content whole
    // for this one's to stand: the old goes back otherwise.
    std::string myPartnerPath;
    uint64_t myPartnerSize = 0;
    uint32_t myPartnerSum = 0;
};

// The header with its trailer ends a backup and is never longer than this.
constexpr size_t OS_SAVE_HEADER_MAX = 2 * 4096 + 128;

// aData holds the last aSize bytes of a backup, where the header must end;
// false for anything but a whole, consistent header. *aHeaderSize: its bytes.
bool OS_ReadSaveRecord(const uint8_t* aData, size_t aSize, OS_SaveRecord* aRecord, size_t* aHeaderSize);
std::string OS_WriteSaveRecord(const OS_SaveRecord& aRecord);

// The birth time of an open file as OS_SaveRecord keeps it.
uint64_t OS_BirthOf(int aHandle);
// Copies aSize bytes of aFrom at aFromOffset to aTo at aToOffset (aTo -1: only
// reads), adding them to *aSum when given; errno set (EIO: aFrom ends early).
bool OS_CopyRange(int aFrom, uint64_t aFromOffset, int aTo, uint64_t aToOffset, uint64_t aSize, uint32_t* aSum);
// The same from aFrom over the start of aTo, which is then cut to aSize and flushed.
bool OS_CopyOver(int aFrom, uint64_t aFromOffset, int aTo, uint64_t aSize);
// The CRC-32 of a regular file, open as aHandle or else at aPath, from aStart
// to its end, and the length summed; false when it is shorter.
bool OS_SumFrom(int aHandle, const char* aPath, uint64_t aStart, uint64_t* aSize, uint32_t* aSum);
// "<pid>-<n>", unique to this process and call.
std::string OS_SaveUnique();

// The backups' folder opened, when it is this user's own and no one else may write it
// (with aMakeFlag made 0700 where missing); -1 otherwise, a console line saying why.
int OS_OpenSaveFolder(bool aMakeFlag, std::string* aPath);
std::string OS_SaveRecordName(uint64_t aDevice, uint64_t anInode);

// The recovery of an unfinished in-place save by this user of the regular file
// open as aHandle (reached by aPath): its old content back where the file holds
// exactly what that save can have left, the backup dropped where it holds the
// old or the whole new content, else kept under a name the console gives. None
// while a save holds the file locked, unless the caller does (aLockedFlag).
void OS_RecoverSave(int aHandle, const char* aPath, bool aLockedFlag = false);
