// The backup of an in-place save: any bytes are refused or read as the header
// at their end, which writes back to the very same bytes. A header read is
// then made to fit a real target and run through the recovery, which must
// neither crash nor leave the target holding anything but what it held or
// the old content, nor touch any other file. The bytes are tried as they are,
// and with a valid sum, length and magic after them, so that mutations reach
// the fields behind the sum.
#include "platform/os/os_savefile_local.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <set>
#include <string>

namespace
{
const std::string ourDir = "/tmp/fuzz_saverecord_" + std::to_string(getpid());

void locWrite(const std::string& aPath, const std::string& aBytes)
{
    FILE* locFile = std::fopen(aPath.c_str(), "wb");
    if (!locFile)
        std::abort();
    std::fwrite(aBytes.data(), 1, aBytes.size(), locFile);
    std::fclose(locFile);
}

std::string locRead(const std::string& aPath)
{
    std::string locBytes;
    if (FILE* locFile = std::fopen(aPath.c_str(), "rb"))
    {
        char locBuffer[4096];
        for (size_t locRead; (locRead = std::fread(locBuffer, 1, sizeof(locBuffer), locFile)) > 0;)
            locBytes.append(locBuffer, locRead);
        std::fclose(locFile);
    }
    return locBytes;
}

uint32_t locCrc(const std::string& aBytes)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(aBytes.data()), uInt(aBytes.size())));
}

std::set<std::string> locNames(const std::string& aDir)
{
    std::set<std::string> locNames;
    if (DIR* locDir = opendir(aDir.c_str()))
    {
        while (const dirent* locEntry = readdir(locDir))
            locNames.insert(locEntry->d_name);
        closedir(locDir);
    }
    return locNames;
}

// Whether aHeld is what a stopped save of aOld -> aNew can leave, at a size
// between the two: the old bytes up to j, the new up to k, the old after, at
// the old size; at any other, the old up to j and the new after.
bool locIsStopped(const std::string& aOld, const std::string& aNew, const std::string& aHeld)
{
    const size_t locSize = aHeld.size();
    if (locSize < std::min(aOld.size(), aNew.size()) || locSize > std::max(aOld.size(), aNew.size()))
        return false;
    for (size_t j = 0; j <= locSize; ++j)
        for (size_t k = locSize == aOld.size() ? j : locSize; k <= locSize; ++k)
        {
            size_t i = 0;
            for (; i < locSize; ++i)
            {
                const std::string& locFrom = i < j || i >= k ? aOld : aNew;
                if (i >= locFrom.size() || locFrom[i] != aHeld[i])
                    break;
            }
            if (i == locSize)
                return true;
        }
    return false;
}

// The record made to fit a target of a few bytes drawn from aBytes: its old
// and new contents, and the target holding the old, the new, a mix of the two
// or other bytes, as the record's fields choose.
void locRecover(OS_SaveRecord aRecord, const std::string& aBytes)
{
    static const bool ourMade = [] {
        mkdir(ourDir.c_str(), 0700);
        setenv("XDG_DATA_HOME", ourDir.c_str(), 1);
        std::atexit([] {
            rmdir((ourDir + "/qtools").c_str());
            rmdir(ourDir.c_str());
        });
        return mkdir((ourDir + "/qtools").c_str(), 0700) == 0 || errno == EEXIST;
    }();
    if (!ourMade)
        return;
    const std::string locOld = aBytes.substr(0, aRecord.myOldSize % 40);
    const std::string locNew = aBytes.substr(aBytes.size() - std::min<size_t>(aBytes.size(), aRecord.myNewSize % 40));
    const size_t locCut = size_t(aRecord.myBirth % (locNew.size() + 1));
    std::string locHeld;
    const std::string locTorn = locNew.substr(0, locCut) + (locCut < locOld.size() ? locOld.substr(locCut) : "");
    switch (aRecord.myPartnerSum % 6)
    {
    case 0: locHeld = locOld; break;
    case 1: locHeld = locNew; break;
    case 2: locHeld = locTorn; break;
    // A put-back stopped over the whole new content; a torn file cut since.
    case 3: locHeld = locOld.substr(0, locCut) + (locCut < locNew.size() ? locNew.substr(locCut) : ""); break;
    case 4: locHeld = locTorn.substr(0, locTorn.size() - (locTorn.empty() ? 0 : 1)); break;
    default: locHeld = aBytes.substr(aBytes.size() / 2, aRecord.myInode % 40); break;
    }
    const std::string locTarget = ourDir + "/target";
    locWrite(locTarget, locHeld);
    const int locHandle = open(locTarget.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat locStat;
    if (locHandle < 0 || fstat(locHandle, &locStat) != 0)
        std::abort();
    aRecord.myDevice = uint64_t(locStat.st_dev);
    aRecord.myInode = uint64_t(locStat.st_ino);
    aRecord.myBirth = aRecord.myDevice % 3 ? OS_BirthOf(locHandle) : 0;
    aRecord.myTargetPath = aRecord.myDevice % 5 ? locTarget : ourDir + "/gone";
    aRecord.myOldSize = locOld.size();
    aRecord.myNewSize = locNew.size();
    aRecord.myOldSum = aRecord.myDevice % 7 ? locCrc(locOld) : aRecord.myOldSum;
    aRecord.myNewSum = locCrc(locNew);
    if (!aRecord.myPartnerPath.empty())
        aRecord.myPartnerPath = locTarget;
    const std::string locName = ourDir + "/qtools/" + OS_SaveRecordName(aRecord.myDevice, aRecord.myInode);
    locWrite(locName, locOld + locNew + OS_WriteSaveRecord(aRecord));
    const std::set<std::string> locBefore = locNames(ourDir);
    // What the recovery must do, worked out apart: the old content back only
    // for this very file, a sound backup, and a stopped save's bytes (or the
    // whole new content beside a partner without its own).
    const bool locApplies = aRecord.myBirth == OS_BirthOf(locHandle) &&
                            (aRecord.myBirth != 0 || aRecord.myTargetPath == locTarget) &&
                            aRecord.myOldSum == locCrc(locOld) && locIsStopped(locOld, locNew, locHeld) &&
                            !(locHeld == locNew && (aRecord.myPartnerPath.empty() ||
                                                    (aRecord.myPartnerSize == locHeld.size() && aRecord.myPartnerSum == locCrc(locHeld))));
    OS_RecoverSave(locHandle, locTarget.c_str());
    close(locHandle);
    const std::string locAfter = locRead(locTarget);
    if (locAfter != (locApplies ? locOld : locHeld) || locNames(ourDir) != locBefore)
        std::abort();
    for (const std::string& locLeft : locNames(ourDir + "/qtools"))
        unlink((ourDir + "/qtools/" + locLeft).c_str());
    unlink(locTarget.c_str());
}

void locTry(const uint8_t* aData, size_t aSize)
{
    OS_SaveRecord locRecord;
    size_t locHeader = 0;
    if (!OS_ReadSaveRecord(aData, aSize, &locRecord, &locHeader))
        return;
    const std::string locBytes = OS_WriteSaveRecord(locRecord);
    if (locHeader > aSize || locBytes.size() != locHeader || std::memcmp(locBytes.data(), aData + aSize - locHeader, locHeader) != 0)
        std::abort();
    locRecover(locRecord, std::string(reinterpret_cast<const char*>(aData), aSize));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    locTry(aData, aSize);
    std::string locFixed(reinterpret_cast<const char*>(aData), aSize);
    const uint32_t locSum = locCrc(locFixed);
    const uint32_t locLength = uint32_t(locFixed.size() + 16);
    for (uint32_t locValue : {locSum, locLength})
        for (int i = 0; i < 4; ++i)
            locFixed.push_back(char((locValue >> (8 * i)) & 0xFF));
    locFixed += "QSAVEREC";
    locTry(reinterpret_cast<const uint8_t*>(locFixed.data()), locFixed.size());
    return 0;
}
