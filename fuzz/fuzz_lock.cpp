// The lock-file reader: any bytes name an owner of at most 4096 bytes without
// a NUL, the same through memory and through a real file.
#include "owncode/filelocker.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    std::string locOwner = FileLocker::ParseOwner(reinterpret_cast<const char*>(aData), aSize);
    if (locOwner.size() > 4096 || locOwner.size() > aSize)
        std::abort();
    if (std::memchr(locOwner.data(), 0, locOwner.size()) != nullptr)
        std::abort();
    if (std::memcmp(locOwner.data(), aData, locOwner.size()) != 0)
        std::abort();
    if (locOwner.size() < aSize && locOwner.size() < 4096 && aData[locOwner.size()] != 0)
        std::abort();

    static const std::string ourPath = "/tmp/fuzz_lock_" + std::to_string(getpid()) + ".velk";
    std::string locLockName = FileLocker::GetLockName(ourPath.c_str());
    FILE* locFile = std::fopen(locLockName.c_str(), "wb");
    if (!locFile)
        return 0;
    size_t locWritten = std::fwrite(aData, 1, aSize, locFile);
    std::fclose(locFile);
    std::string locRead;
    if (locWritten == aSize && (!FileLocker::ReadOwner(ourPath.c_str(), &locRead) || locRead != locOwner))
        std::abort();
    std::remove(locLockName.c_str());
    return 0;
}
