#include "owncode/filelocker.h"

#include "platform/os/os_file.h"
#include "platform/os/os_system.h"

#include <cstring>

static const size_t locMaxLockBytes = 4096;

FileLocker::~FileLocker()
{
    Unlock();
}

std::string FileLocker::GetComputerName()
{
    char locName[257] = {};
    OS_GetComputerName(locName, sizeof(locName));
    return locName[0] ? std::string(locName) : std::string("UNKNOWN");
}

bool FileLocker::ReadOwner(const char* aPath, std::string* anOwner)
{
    std::string locLock = GetLockName(aPath);
    anOwner->clear();
    if (!OS_FileExists(locLock.c_str()))
        return false;
    // An unreadable lock still holds the file; its owner stays unnamed.
    OS_FileHandle locHandle = OS_OpenFile(locLock.c_str(), OS_OPEN_READ);
    if (locHandle == OS_INVALID_HANDLE)
        return true;
    char locText[locMaxLockBytes + 1] = {};
    int64_t locRead = OS_ReadFile(locHandle, locText, locMaxLockBytes);
    OS_CloseFile(locHandle);
    if (locRead > 0)
        *anOwner = ParseOwner(locText, size_t(locRead));
    return true;
}

std::string FileLocker::ParseOwner(const char* aBytes, size_t aCount)
{
    if (!aBytes)
        return std::string();
    size_t locCount = aCount < locMaxLockBytes ? aCount : locMaxLockBytes;
    return std::string(aBytes, strnlen(aBytes, locCount));
}

bool FileLocker::WriteLock(const char* aPath)
{
    std::string locLock = GetLockName(aPath);
    // Never through the save-file helper: its rename would replace another
    // editor's lock. The exclusive create gives the lock one owner.
    OS_FileHandle locHandle = OS_OpenFile(locLock.c_str(), OS_OPEN_CREATE_NEW);
    if (locHandle == OS_INVALID_HANDLE)
        return false;
    std::string locName = GetComputerName();
    int64_t locSize = int64_t(locName.size()) + 1;
    bool locWritten = OS_WriteFile(locHandle, locName.c_str(), size_t(locSize)) == locSize;
    OS_CloseFile(locHandle);
    if (!locWritten)
    {
        // Ours, and half written: not left behind to block everyone.
        OS_DeleteFile(locLock.c_str());
        return false;
    }
    myHeldLock = locLock;
    return true;
}

bool FileLocker::Lock(const char* aPath, std::string* aMessage)
{
    Unlock();
    std::string locOwner;
    if (!ReadOwner(aPath, &locOwner) && WriteLock(aPath))
        return true;
    // Either it was there, or another editor made it between the look and the
    // create: both are someone else's lock.
    if (ReadOwner(aPath, &locOwner))
        *aMessage = "File '" + std::string(aPath) + "' is in use by '" + locOwner +
                    "', you won't be able to save any changes";
    else
        *aMessage = "Failed to lock '" + std::string(aPath) + "'";
    return false;
}

bool FileLocker::CanSave(const char* aPath, std::string* aMessage) const
{
    std::string locOwner;
    if (!ReadOwner(aPath, &locOwner) || GetLockName(aPath) == myHeldLock)
        return true;
    *aMessage =
        "File '" + std::string(aPath) + "' is in use by '" + locOwner + "', you may not save to this filename";
    return false;
}

void FileLocker::Unlock()
{
    if (myHeldLock.empty())
        return;
    OS_DeleteFile(myHeldLock.c_str());
    myHeldLock.clear();
}
