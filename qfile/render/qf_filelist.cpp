// Queries by name over the archives and the disk: times, sizes and the merged
// directory listing.
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <new>
#include <string>

#include "platform/os/os_file.h"
#include "qfile/render/qf_file.h"

namespace
{
// The first open archive of the priority that holds the name.
QF_ArchiveEntry* locFindInArchives(const char* aName, int aPriority, QF_ArchiveRecord* aRecord)
{
    for (QF_ArchiveEntry* locEntry = QF_File::GetFirstArchive(); locEntry; locEntry = locEntry->myNext)
        if (locEntry->myIsOpen && locEntry->myPriority == aPriority &&
            QF_File::LookupInArchive(locEntry, aName, aRecord, nullptr, nullptr, nullptr))
            return locEntry;
    return nullptr;
}
} // namespace

bool QF_File::GetFileInfo(const char* aName, uint32_t* aTime, uint32_t* aSize, char* anArchiveName)
{
    if (anArchiveName)
        anArchiveName[0] = 0;
    if (!aName || !aName[0])
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    QF_ArchiveRecord locRecord;
    QF_ArchiveEntry* locEntry = locFindInArchives(aName, 1, &locRecord);
    OS_FileInfo locInfo;
    if (!locEntry && OS_GetFileInfo(aName, &locInfo) && !locInfo.myIsDirectory)
    {
        if (aTime)
            *aTime = PackTime(locInfo.myWriteTime);
        if (aSize)
            *aSize = locInfo.mySize > 0xffffffffu ? 0xffffffffu : (uint32_t)locInfo.mySize;
        return true;
    }
    if (!locEntry)
        locEntry = locFindInArchives(aName, 0, &locRecord);
    if (!locEntry)
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    if (aTime)
        *aTime = 0;
    if (aSize)
        *aSize = locRecord.mySize;
    if (anArchiveName)
        snprintf(anArchiveName, 256, "%s", locEntry->myName ? locEntry->myName : "");
    return true;
}

bool QF_File::GetTime(const char* aName, uint32_t* aTime)
{
    return GetFileInfo(aName, aTime, nullptr, nullptr);
}

namespace
{
void locAddArchives(QF_FileList* aList, const char* aDirectory, int aPriority)
{
    for (QF_ArchiveEntry* locEntry = QF_File::GetFirstArchive(); locEntry; locEntry = locEntry->myNext)
    {
        if (!locEntry->myIsOpen || locEntry->myPriority != aPriority)
            continue;
        QF_ArchiveListNode* locNames = nullptr;
        QF_File::ListArchiveDirectory(aDirectory, locEntry, &locNames);
        for (QF_ArchiveListNode* locNode = locNames; locNode; locNode = locNode->myNext)
            aList->Add(locNode->myName, 0, 0, locNode->myIsDirectory);
        QF_File::FreeArchiveList(locNames);
    }
}

bool locAddDiskEntry(const OS_DirEntry& anEntry, void* aUserData)
{
    uint32_t locSize = anEntry.myInfo.mySize > 0xffffffffu ? 0xffffffffu : (uint32_t)anEntry.myInfo.mySize;
    ((QF_FileList*)aUserData)
        ->Add(anEntry.myName, locSize, QF_File::PackTime(anEntry.myInfo.myWriteTime), anEntry.myInfo.myIsDirectory);
    return true;
}
} // namespace

QF_FileList* QF_File::ListDirectory(const char* aDirectory)
{
    QF_FileList* locList = new (std::nothrow) QF_FileList;
    if (!locList)
        return nullptr;
    const char* locDirectory = aDirectory ? aDirectory : "";
    locAddArchives(locList, locDirectory, 1);
    OS_ListDirectory(locDirectory, locAddDiskEntry, locList);
    locAddArchives(locList, locDirectory, 0);
    return locList;
}
