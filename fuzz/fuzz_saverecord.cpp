// The record of an in-place save: any bytes are refused or read into a record
// that writes back to the very same bytes; a record read is then run through
// the recovery against a real target and backup, which must neither crash nor
// touch anything but those two files.
#include "platform/os/os_savefile_local.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
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
