// What the save-file helper and the file layer share about in-place saves: the
// record an in-place save keeps on the disk until its new content is durable,
// and the recovery that the next open or save of its target runs after a kill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One in-place save under way. The backup holds the target's whole old
// content; the sums say what the new content is, block by block, so that a
// target holding neither the old nor the new nor a mix of the two (content
// written since) is never overwritten.
struct OS_SaveRecord
{
    uint64_t myDevice = 0;          // with myInode, the target whatever its name
    uint64_t myInode = 0;
    uint64_t myOldSize = 0;         // bytes
    uint32_t myOldSum = 0;          // CRC-32 of the old content
    uint64_t myNewSize = 0;         // bytes
    uint32_t myBlockSize = 0;       // bytes per entry of myNewSums, a power of two
    std::vector<uint32_t> myNewSums;   // CRC-32 of each block of the new content
    std::string myTargetPath;       // absolute
    std::string myBackupPath;       // absolute
    // Empty, or the file whose new content this save stands or falls with
    // (a .loc with its .tez): until that file holds it whole, the old content
    // goes back here too.
    std::string myPartnerPath;
    uint64_t myPartnerSize = 0;
    uint32_t myPartnerSum = 0;
};

// False for anything that is not a whole, consistent record.
bool OS_ReadSaveRecord(const uint8_t* aData, size_t aSize, OS_SaveRecord* aRecord);
std::string OS_WriteSaveRecord(const OS_SaveRecord& aRecord);

// Bytes per block sum for a new content of aSize bytes.
uint32_t OS_SaveBlockSize(uint64_t aSize);
// CRC-32 of each aBlockSize piece of the first aSize bytes of a file (none
// when aSums is null) and of all of them; false when they cannot be read.
bool OS_SumFile(int aHandle, uint64_t aSize, uint32_t aBlockSize, std::vector<uint32_t>* aSums, uint32_t* aWhole);

// Where the records go: a per-user folder shared by every program of the
// toolset, so that whichever opens a target next finds its record. False (and
// nothing made) when no home is known.
bool OS_SaveRecordFolder(std::string* aFolder, bool aMakeFlag);
// The record's name for a file, in that folder ("<device>-<inode>.save") or,
// where there is no such folder, beside the target with a leading dot.
std::string OS_SaveRecordName(uint64_t aDevice, uint64_t anInode);

// Runs the recovery of an in-place save that did not finish, for the regular
// file open as aHandle (reached by aPath): puts its old content back, or drops
// the backup where the new content is whole, and says which on standard error.
// Nothing happens while the save is still running (its record is locked).
void OS_RecoverSave(int aHandle, const char* aPath);
