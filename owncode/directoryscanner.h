// Fills a tree control with every file of one extension below a directory:
// sub-directories as items (image 0), files (image 1), files someone holds
// locked (image 2, "<name> (locked by <owner>)"). Directories without such a
// file, directly or below, are left out.
#pragma once

#include "platform/ui/ui_dialog.h"

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>

class ScanProgress
{
public:
    virtual ~ScanProgress() = default;
    // Each directory and file name as the scan reaches it.
    virtual void OnScanProgress(const char* aName) = 0;
};

class DirectoryScanner
{
public:
    enum
    {
        IMAGE_DIRECTORY = 0,
        IMAGE_FILE = 1,
        IMAGE_LOCKED = 2,
    };

    // Items are inserted sorted under aParent; each file item's data is a
    // const char* to its stored path "<directory>/<name>", valid as long as the
    // scanner. False when a directory cannot be listed or an item not made.
    // A directory reached again through a link is not scanned twice.
    bool ScanDirectory(ScanProgress* aProgress, UI_Dialog* aTree, int anId, UI_TreeItem aParent,
                       const char* aDirectory, const char* anExtension);

    const std::deque<std::string>& GetPaths() const { return myPaths; }

private:
    bool Scan(ScanProgress* aProgress, UI_Dialog* aTree, int anId, UI_TreeItem aParent, const std::string& aDirectory,
              const std::string& anExtension);

    std::deque<std::string> myPaths; // a deque keeps the strings where the items point
    std::set<std::pair<uint64_t, uint64_t>> myVisited; // device, inode of the scanned directories
};
