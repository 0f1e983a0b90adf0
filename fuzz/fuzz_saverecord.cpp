// The record of an in-place save: any bytes are refused or read into a record
// that writes back to the very same bytes; a record read is then run through
// the recovery against a real target and backup, which must neither crash nor
// touch anything but those two files. The bytes are tried as they are, and
// with the magic before them and their sum after them, so that mutations
// reach the fields behind the sum.
#include "platform/os/os_savefile_local.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
void locWrite(const std::string& aPath, const void* aData, size_t aSize)
{
    FILE* locFile = std::fopen(aPath.c_str(), "wb");
    if (!locFile)
        std::abort();
    if (aSize)
        std::fwrite(aData, 1, aSize, locFile);
    std::fclose(locFile);
}
}

int locTryRecord(const uint8_t* aData, size_t aSize);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    locTryRecord(aData, aSize);
    std::string locFixed(reinterpret_cast<const char*>(aData), aSize);
    if (locFixed.compare(0, 8, "QSAVEREC") != 0)
        locFixed.insert(0, "QSAVEREC");
    const uint32_t locSum = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(locFixed.data()), uInt(locFixed.size())));
    for (int i = 0; i < 4; ++i)
        locFixed.push_back(char((locSum >> (8 * i)) & 0xFF));
    return locTryRecord(reinterpret_cast<const uint8_t*>(locFixed.data()), locFixed.size());
}

int locTryRecord(const uint8_t* aData, size_t aSize)
{
    OS_SaveRecord locRecord;
    if (!OS_ReadSaveRecord(aData, aSize, &locRecord))
        return 0;
    const std::string locBytes = OS_WriteSaveRecord(locRecord);
    if (locBytes.size() != aSize || std::memcmp(locBytes.data(), aData, aSize) != 0)
        std::abort();
    if (locRecord.myNewSums.size() != locRecord.myNewSize / locRecord.myBlockSize +
                                          (locRecord.myNewSize % locRecord.myBlockSize != 0))
        std::abort();

    // The same record, made to name a real target and backup of a few bytes.
    static const std::string ourDir = "/tmp/fuzz_saverecord_" + std::to_string(getpid());
    static const bool ourMade = [] {
        mkdir(ourDir.c_str(), 0700);
        setenv("XDG_DATA_HOME", ourDir.c_str(), 1);
        // The folders go with the process.
        std::atexit([] {
            rmdir((ourDir + "/qtools").c_str());
            rmdir(ourDir.c_str());
        });
        return mkdir((ourDir + "/qtools").c_str(), 0700) == 0 || errno == EEXIST;
    }();
    if (!ourMade)
        return 0;
    const std::string locTarget = ourDir + "/target";
    const size_t locPiece = aSize < 64 ? aSize : 64;
    locWrite(locTarget, aData, locPiece);
    locWrite(ourDir + "/backup", aData + aSize - locPiece, locPiece);
    struct stat locStat;
    if (stat(locTarget.c_str(), &locStat) != 0)
        std::abort();
    locRecord.myDevice = uint64_t(locStat.st_dev);
    locRecord.myInode = uint64_t(locStat.st_ino);
    locRecord.myBackupPath = ourDir + "/backup";
    if (!locRecord.myPartnerPath.empty())
        locRecord.myPartnerPath = locTarget;
    const std::string locRecordBytes = OS_WriteSaveRecord(locRecord);
    locWrite(ourDir + "/qtools/" + OS_SaveRecordName(locRecord.myDevice, locRecord.myInode), locRecordBytes.data(),
             locRecordBytes.size());
    int locHandle = open(locTarget.c_str(), O_RDONLY | O_CLOEXEC);
    if (locHandle < 0)
        std::abort();
    OS_RecoverSave(locHandle, locTarget.c_str());
    close(locHandle);
    unlink((ourDir + "/qtools/" + OS_SaveRecordName(locRecord.myDevice, locRecord.myInode)).c_str());
    unlink((ourDir + "/backup").c_str());
    unlink((ourDir + "/backup.kept").c_str());
    unlink(locTarget.c_str());
    return 0;
}
