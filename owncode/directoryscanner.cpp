#include "owncode/directoryscanner.h"

#include "owncode/filelocker.h"

#include "platform/os/os_file.h"

#include <strings.h>

#include <vector>

namespace
{
struct Entry
{
    std::string myName;
    bool myIsDirectory;
    uint64_t myDevice;
    uint64_t myInode;
};

bool locCollect(const OS_DirEntry& anEntry, void* aUserData)
{
    static_cast<std::vector<Entry>*>(aUserData)->push_back(
        {anEntry.myName, anEntry.myInfo.myIsDirectory, anEntry.myInfo.myDevice, anEntry.myInfo.myInode});
    return true;
}

// The text after the last '.', which may not be the first character.
bool locHasExtension(const std::string& aName, const std::string& anExtension)
{
    size_t locDot = aName.find_last_of('.');
    if (locDot == std::string::npos || locDot == 0)
        return false;
    return strcasecmp(aName.c_str() + locDot + 1, anExtension.c_str()) == 0;
}
} // namespace

bool DirectoryScanner::ScanDirectory(ScanProgress* aProgress, UI_Dialog* aTree, int anId, UI_TreeItem aParent,
                                     const char* aDirectory, const char* anExtension)
{
    if (!aDirectory || !anExtension)
        return false;
    myVisited.clear();
    OS_FileInfo locInfo;
    if (OS_GetFileInfo(aDirectory, &locInfo))
        myVisited.insert({locInfo.myDevice, locInfo.myInode});
    return Scan(aProgress, aTree, anId, aParent, aDirectory, anExtension);
}

bool DirectoryScanner::Scan(ScanProgress* aProgress, UI_Dialog* aTree, int anId, UI_TreeItem aParent,
                            const std::string& aDirectory, const std::string& anExtension)
{
    std::vector<Entry> locEntries;
    if (!OS_ListDirectory(aDirectory.c_str(), locCollect, &locEntries))
        return false;
    for (const Entry& locEntry : locEntries)
    {
        std::string locPath = aDirectory + "/" + locEntry.myName;
        if (locEntry.myIsDirectory)
        {
            UI_TreeItem locItem =
                UI_TreeInsert(aTree, anId, aParent, locEntry.myName.c_str(), IMAGE_DIRECTORY, true);
            if (!locItem)
                return false;
            if (aProgress)
                aProgress->OnScanProgress(locEntry.myName.c_str());
            size_t locStored = myPaths.size();
            // A link back up the tree (or to a directory seen already) is not
            // scanned again: it would never end, or list files twice.
            if (myVisited.insert({locEntry.myDevice, locEntry.myInode}).second &&
                !Scan(aProgress, aTree, anId, locItem, locPath, anExtension))
                return false;
            // Every path stored meanwhile starts with "<locPath>/": only
            // directories that gave a file stay.
            if (myPaths.size() == locStored && !UI_TreeDelete(aTree, anId, locItem))
                return false;
            continue;
        }
        if (!locHasExtension(locEntry.myName, anExtension))
            continue;
        myPaths.push_back(locPath);
        std::string locOwner;
        bool locLocked = FileLocker::ReadOwner(locPath.c_str(), &locOwner);
        std::string locLabel = locLocked ? locEntry.myName + " (locked by " + FileLocker::ShowOwner(locOwner) + ")" : locEntry.myName;
        UI_TreeItem locItem =
            UI_TreeInsert(aTree, anId, aParent, locLabel.c_str(), locLocked ? IMAGE_LOCKED : IMAGE_FILE, true);
        if (!locItem || !UI_TreeSetData(aTree, anId, locItem, reinterpret_cast<intptr_t>(myPaths.back().c_str())))
            return false;
        if (aProgress)
            aProgress->OnScanProgress(locEntry.myName.c_str());
    }
    return true;
}
