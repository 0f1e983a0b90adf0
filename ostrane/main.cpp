// The archive tool's program: start-up, the dialog procedure and the
// operations behind its seven buttons.
#include "ostrane/main.h"
#include "ostrane/resource.h"
#include "ostrane/win32_wrap.h"

#include "platform/os/os_file.h"
#include "platform/os/os_system.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_gallery.h"
#include "platform/ui/ui_prompt.h"
#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"
#include "qfile/qf_filestream.h"
#include "qfile/qf_sdf.h"
#include "qfile/qf_sdfedit.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

// [SECTION] state and helpers
// [SECTION] list and title
// [SECTION] loading and adding
// [SECTION] saving and extracting
// [SECTION] dialog procedure
// [SECTION] start-up and loop

// --- [SECTION] state and helpers ---

static const char* const ourTitle = "Ostrane v0.01";
static const int ourMaxEntries = 16777215;
static const int ourMaxSelections = 1024;

static const size_t ourMaxArchivePath = 255;
static const size_t ourMaxNamesShown = 20;

static std::string ourStartDirectory;
static std::string ourSdfName;
static bool locSDFChangedFlag = false;
// Listed paths by their archive key (QF_SDFNameKey): one file is listed once,
// whichever separator and case its path came with, and two files that an
// archive could not tell apart are never both listed.
static std::map<std::string, std::string> ourListedKeys;
// Entries of the loaded archive whose stored name is not the listed text (code
// page 1252 shown as UTF-8): listed key to the name as stored.
static std::map<std::string, std::string> ourStoredNames;
// Files added from the disk whose names are not UTF-8 (code page 1252 names
// from Windows): listed key to the name on the disk, which a save packs.
static std::map<std::string, std::string> ourDiskNames;
// Entries of the loaded archive that the list cannot show.
static int ourHiddenEntries = 0;
// Entries of the loaded archive that another name of one key hides: no reader
// reaches them. Listed key to the names as stored.
static std::map<std::string, std::vector<std::string>> ourHiddenTwins;
// What one add refused, told once at its end.
static std::vector<std::string> ourRefusedNames;
static std::vector<std::string> ourRefusedPairs;
static int ourRefusedOutside = 0;

static std::string locListKey(const char* aPath)
{
    return QF_SDFNameKey(aPath);
}

static bool locEndsInSdf(const std::string& aName)
{
    return aName.size() >= 4 && strcasecmp(aName.c_str() + aName.size() - 4, ".SDF") == 0;
}

static std::string locFormat(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
static std::string locFormat(const char* aFormat, ...)
{
    char locBuffer[2048];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locBuffer, sizeof(locBuffer), aFormat, locArgs);
    va_end(locArgs);
    return locBuffer;
}

const std::string& OstraneGetSdfName()
{
    return ourSdfName;
}

bool OstraneGetChangedFlag()
{
    return locSDFChangedFlag;
}

// --- [SECTION] list and title ---

void OstraneSetTitle(const char* aName)
{
    if (!aName || !aName[0])
    {
        UI_SetDialogTitle(ourOstraneDialog, ourTitle);
        ourSdfName.clear();
        return;
    }
    std::string locName = aName;
    std::string locTitle = locFormat("%s - %s", ourTitle, locName.c_str());
    if (ourHiddenEntries > 0)
        locTitle += locFormat(" (%d entries not shown)", ourHiddenEntries);
    UI_SetDialogTitle(ourOstraneDialog, locTitle.c_str());
    ourSdfName = locName;
}

void OstraneNewSdf()
{
    OstraneListReset(IDC_FILE_LIST);
    ourListedKeys.clear();
    ourStoredNames.clear();
    ourDiskNames.clear();
    ourHiddenTwins.clear();
    ourHiddenEntries = 0;
    OstraneEnableItem(IDC_SAVE_SDF, false);
    OstraneEnableItem(IDC_EXTRACT_FILES, false);
    locSDFChangedFlag = false;
    OstraneSetTitle(nullptr);
}

// A path the writer would refuse never enters the list, so that a list can
// always be saved.
static bool locIsArchivePath(const char* aPath)
{
    return strlen(aPath) <= ourMaxArchivePath && QF_SDFIsEntryPath(aPath);
}

// False when the path is listed already (in any case or with either
// separator), or another path of its key is; that one is given in aListed.
// The list shows the path as QF_SDFNameToUtf8 reads it.
static bool locListFile(const char* aPath, std::string* aListed = nullptr)
{
    auto locInserted = ourListedKeys.emplace(locListKey(aPath), aPath);
    if (!locInserted.second)
    {
        if (aListed)
            *aListed = locInserted.first->second;
        return false;
    }
    OstraneListAdd(IDC_FILE_LIST, QF_SDFNameToUtf8(aPath).c_str());
    return true;
}

// Two spellings name one file on the disk (another case of an existing name
// resolves to it), or one of them names none.
static bool locSameDiskFile(const std::string& aFirst, const std::string& aSecond)
{
    OS_FileInfo locFirst, locSecond;
    if (!OS_GetFileInfo(aFirst.c_str(), &locFirst) || !OS_GetFileInfo(aSecond.c_str(), &locSecond))
        return true;
    return locFirst.myDevice == locSecond.myDevice && locFirst.myInode == locSecond.myInode;
}

// Tells what the add that ends here refused, in one message of each kind.
static void locReportRefused()
{
    if (!ourRefusedNames.empty())
    {
        std::string locText;
        for (size_t i = 0; i < ourRefusedNames.size() && i < ourMaxNamesShown; i++)
            locText += (i ? "\n" : "") + ourRefusedNames[i];
        if (ourRefusedNames.size() > ourMaxNamesShown)
            locText += locFormat("\n... and %d more", (int) (ourRefusedNames.size() - ourMaxNamesShown));
        OstraneMessageBox("Error adding file", locText.c_str());
    }
    if (!ourRefusedPairs.empty())
    {
        std::string locText;
        for (size_t i = 0; i < ourRefusedPairs.size() && i < ourMaxNamesShown; i++)
            locText += (i ? "\n" : "") + ourRefusedPairs[i];
        if (ourRefusedPairs.size() > ourMaxNamesShown)
            locText += locFormat("\n... and %d more", (int) (ourRefusedPairs.size() - ourMaxNamesShown));
        OstraneMessageBox("Error adding file", locText.c_str());
    }
    if (ourRefusedOutside > 0)
        OstraneMessageBox("ERROR", "Only files from sub directories allowed.");
    ourRefusedNames.clear();
    ourRefusedPairs.clear();
    ourRefusedOutside = 0;
}

static void locAddListFile(const char* aPath)
{
    if (!locIsArchivePath(aPath))
    {
        ourRefusedNames.push_back(aPath);
        return;
    }
    std::string locListed;
    if (!locListFile(aPath, &locListed))
    {
        // A second file that an archive would take for the listed one.
        if (!locSameDiskFile(locListed, aPath))
            ourRefusedPairs.push_back(QF_SDFNameForMessage(locListed.c_str()) + " and " +
                                      QF_SDFNameForMessage(aPath) + " are one name in an archive");
        return;
    }
    if (QF_SDFNameToUtf8(aPath) != aPath)
        ourDiskNames[locListKey(aPath)] = aPath;
    OstraneEnableItem(IDC_SAVE_SDF, true);
    OstraneEnableItem(IDC_EXTRACT_FILES, false);
    locSDFChangedFlag = true;
}

void OstraneAddListFile(const char* aPath)
{
    locAddListFile(aPath);
    locReportRefused();
}

static void locRemoveListEntry(int anIndex)
{
    std::string locText;
    if (OstraneListGetText(IDC_FILE_LIST, anIndex, &locText))
    {
        ourListedKeys.erase(locListKey(locText.c_str()));
        ourDiskNames.erase(locListKey(locText.c_str()));
    }
    OstraneListDelete(IDC_FILE_LIST, anIndex);
}

// --- [SECTION] loading and adding ---

// Every file the archive's table holds, whatever its directory records say, so
// that a file and a folder of one name are both listed. Returns the number listed.
static int locListArchiveFiles(QF_SDFArchive* anArchive, const char* aPath)
{
    std::string locPrefix = locListKey(aPath);
    if (!locPrefix.empty())
        locPrefix += '/';
    int locListed = 0;
    const uint32_t locCount = QF_SDF::GetFATWord(anArchive, anArchive->myFileTable);
    for (uint32_t i = 0; i < locCount; i++)
    {
        QF_SDFFileRecord locRecord;
        if (!QF_SDF::GetFileRecord(anArchive, QF_SDF::GetFATWord(anArchive, anArchive->myFileTable + 8 + 8 * i),
                                   &locRecord))
            continue;
        std::string locStored = locRecord.myDirectory[0] ? std::string(locRecord.myDirectory) + "/" + locRecord.myName
                                                         : std::string(locRecord.myName);
        // Longer paths cannot be read back; a second spelling of a path names the same entry.
        if (locStored.size() > ourMaxArchivePath || locListKey(locStored.c_str()).compare(0, locPrefix.size(), locPrefix))
            continue;
        std::string locShown = QF_SDFNameToUtf8(locStored.c_str());
        if (!locListFile(locShown.c_str()))
        {
            // Read back, the name gives the listed entry: this one cannot be reached.
            ourHiddenTwins[locListKey(locShown.c_str())].push_back(locStored);
            continue;
        }
        locListed++;
        if (locShown != locStored)
            ourStoredNames[locListKey(locShown.c_str())] = locStored;
    }
    return locListed;
}

void OstraneListSdfDir(QF_SDFArchive* anArchive, const char* aPath)
{
    if (locListArchiveFiles(anArchive, aPath) == 0)
        return;
    locSDFChangedFlag = true;
    OstraneEnableItem(IDC_SAVE_SDF, true);
    OstraneEnableItem(IDC_EXTRACT_FILES, false);
}

bool OstraneLoadSdf(const char* aPath)
{
    std::string locPath = aPath;
    OstraneNewSdf();
    QF_SDFArchive* locArchive = QF_SDF::OpenByName(locPath.c_str(), 1);
    if (!locArchive)
    {
        // The opener's reason on a line of its own after the words users know.
        const char* locReason = QF_SDFErrorText[0] ? QF_SDFErrorText : "cannot be read";
        OstraneMessageBox("ERROR",
                          locFormat("Failed to load SDF\n%s: %s", locPath.c_str(), locReason).c_str());
        return false;
    }
    int locListed = locListArchiveFiles(locArchive, "");
    ourHiddenEntries = std::max(0, (int) QF_SDF::GetFATWord(locArchive, locArchive->myFileTable) - locListed);
    QF_SDF::Close(nullptr);
    OstraneSetTitle(locPath.c_str());
    OstraneEnableItem(IDC_SAVE_SDF, false);
    locSDFChangedFlag = false;
    OstraneEnableItem(IDC_EXTRACT_FILES, true);
    return true;
}

// A path below the start directory that a link takes out of it is refused.
static bool locStaysInside(const std::string& aRelativePath)
{
    std::string locRelative;
    if (OstraneGetRelativePath(ourStartDirectory, ourStartDirectory + "/" + aRelativePath, &locRelative))
        return true;
    ourRefusedOutside++;
    return false;
}

static bool locIsLink(const std::string& aRelativePath)
{
    struct stat locStat;
    std::string locPath = aRelativePath;
    std::replace(locPath.begin(), locPath.end(), '\\', '/');
    return lstat(locPath.c_str(), &locStat) == 0 && S_ISLNK(locStat.st_mode);
}

static void locAddPath(const char* aRelativePath)
{
    if (QF_File::IsDirectory(aRelativePath))
        OstraneAddDirectory(aRelativePath);
    else if (!locEndsInSdf(aRelativePath))
        locAddListFile(aRelativePath);
}

void OstraneAddPath(const char* aRelativePath)
{
    locAddPath(aRelativePath);
    locReportRefused();
}

namespace
{
struct DirectoryEntry
{
    std::string myName;
    bool myIsDirectory;
    uint64_t myDevice;
    uint64_t myInode;
};

bool locCollectEntry(const OS_DirEntry& anEntry, void* aUserData)
{
    static_cast<std::vector<DirectoryEntry>*>(aUserData)->push_back(
        {anEntry.myName, anEntry.myInfo.myIsDirectory, anEntry.myInfo.myDevice, anEntry.myInfo.myInode});
    return true;
}

// Directories already entered, by device and inode: a link back up the tree
// is walked once, not until the paths grow too long.
typedef std::set<std::pair<uint64_t, uint64_t>> locVisitedSet;

void locAddDirectory(const std::string& aDirectory, locVisitedSet* aVisited)
{
    std::vector<DirectoryEntry> locEntries;
    if (!OS_ListDirectory(aDirectory.c_str(), locCollectEntry, &locEntries))
        return;
    for (const DirectoryEntry& locEntry : locEntries)
    {
        if (locEntry.myName == "." || locEntry.myName == "..")
            continue;
        std::string locPath = aDirectory.empty() ? locEntry.myName : aDirectory + "\\" + locEntry.myName;
        // Only a link can lead out of a folder that lies inside.
        if (locIsLink(locPath) && !locStaysInside(locPath))
            continue;
        if (locEntry.myIsDirectory)
        {
            if (aVisited->insert({locEntry.myDevice, locEntry.myInode}).second)
                locAddDirectory(locPath, aVisited);
        }
        else if (!locEndsInSdf(locEntry.myName))
            locAddListFile(locPath.c_str());
    }
}
} // namespace

bool OstraneAddDirectory(const char* aRelativeDirectory)
{
    std::string locDirectory = aRelativeDirectory ? aRelativeDirectory : "";
    OS_FileInfo locInfo;
    if (!OS_GetFileInfo(locDirectory.empty() ? "." : locDirectory.c_str(), &locInfo) || !locInfo.myIsDirectory)
        return false;
    if (locStaysInside(locDirectory))
    {
        locVisitedSet locVisited;
        locVisited.insert({locInfo.myDevice, locInfo.myInode});
        locAddDirectory(locDirectory, &locVisited);
    }
    locReportRefused();
    return true;
}

bool OstraneSetProgressTitle(QF_SDFEditProgress* aProgress)
{
    if (aProgress->myName && aProgress->myName[0])
        UI_SetDialogTitle(ourOstraneDialog,
                          locFormat("%s - Working on %s... %d/%d (%.1f%%)\n", ourTitle, aProgress->myName,
                                    aProgress->myFileIndex + 1, aProgress->myNumFiles,
                                    aProgress->myFraction * 100.0f)
                              .c_str());
    return true;
}

// --- [SECTION] saving and extracting ---

static void locSave()
{
    QC_ASSERT(locSDFChangedFlag);
    for (;;)
    {
        if (ourSdfName.empty())
        {
            char locBuffer[256] = "";
            if (!OstraneSaveFileDialog(locBuffer, "*.SDF", true))
            {
                OstraneSetTitle(nullptr);
                return;
            }
            std::string locName = locBuffer;
            if (!locEndsInSdf(locName))
                locName += ".SDF";
            OstraneSetTitle(locName.c_str());
        }
        if (!QF_File::Exists(ourSdfName.c_str()))
            break;
        // The writer replaces an existing archive only once the new one is
        // complete, so nothing is deleted here.
        if (OstraneConfirm("Warning", "SDF already exists. Press Ok to overwrite it."))
            break;
        OstraneSetTitle(nullptr);
    }

    std::string locName = ourSdfName;
    QF_SDFEdit locEditor;
    UI_SetCursor(UI_CURSOR_WAIT);
    int locNumEntries = 0;
    std::string locText;
    while (locNumEntries < ourMaxEntries && OstraneListGetText(IDC_FILE_LIST, locNumEntries, &locText))
    {
        locNumEntries++;
        auto locDiskName = ourDiskNames.find(locListKey(locText.c_str()));
        if (locDiskName != ourDiskNames.end())
            locText = locDiskName->second;
        if (!locEditor.AddFile(locText.c_str()))
            ourRefusedNames.push_back(locText);
    }
    // The writer would refuse the whole archive: nothing is written.
    if (!ourRefusedNames.empty())
    {
        locReportRefused();
        OstraneSetTitle(locName.c_str());
        UI_SetCursor(UI_CURSOR_ARROW);
        return;
    }
    locEditor.SetProgressCallback(OstraneSetProgressTitle);
    locEditor.SetDefaultCompression(2);
    locEditor.SetCompression("bik", 0);
    locEditor.SetCompression("mp3", 0);
    if (locEditor.Write(locName.c_str()))
    {
        ourHiddenEntries = 0;
        ourStoredNames.clear();
        ourHiddenTwins.clear();
        OstraneSetTitle(locName.c_str());
        OstraneMessageBox("SDF created", locFormat("%d files in SDF", locNumEntries).c_str());
        OstraneEnableItem(IDC_SAVE_SDF, false);
        locSDFChangedFlag = false;
    }
    else
    {
        OstraneSetTitle(locName.c_str());
        OstraneMessageBox("Failed to create SDF!",
                          locFormat("Error: %d (%s)", QF_SDFEditError, QF_SDFEditErrorText).c_str());
    }
    UI_SetCursor(UI_CURSOR_ARROW);
}

// The entry goes to the same relative path beneath the start directory, in
// pieces: folders are made as needed and no symbolic link is followed, so an
// entry that would pass one, or leave the folder, fails and counts as failed.
static bool locExtractEntry(const std::string& anEntry)
{
    UI_SetDialogTitle(ourOstraneDialog, locFormat("%s - Extracting %s...\n", ourTitle, anEntry.c_str()).c_str());
    // The archive is searched by the name as stored; the file gets the name as listed.
    auto locStored = ourStoredNames.find(locListKey(anEntry.c_str()));
    QF_FileStream locInput;
    if (!locInput.Open(locStored != ourStoredNames.end() ? locStored->second.c_str() : anEntry.c_str()))
    {
        OstraneMessageBox("Error reading file", anEntry.c_str());
        return false;
    }
    // One flush of the file system after the last entry, not one per file.
    return locInput.SaveBeneath(ourStartDirectory.c_str(), anEntry.c_str(), false);
}

// The entries that the listed one hides (see ourHiddenTwins), named in
// aUnreachable; their number.
static int locNoteHiddenTwins(const std::string& anEntry, std::vector<std::string>* aUnreachable)
{
    auto locTwins = ourHiddenTwins.find(locListKey(anEntry.c_str()));
    if (locTwins == ourHiddenTwins.end())
        return 0;
    auto locStored = ourStoredNames.find(locTwins->first);
    const std::string& locListed = locStored != ourStoredNames.end() ? locStored->second : anEntry;
    for (const std::string& locTwin : locTwins->second)
        aUnreachable->push_back(QF_SDFNameForMessage(locTwin.c_str()) + ", hidden by " +
                                QF_SDFNameForMessage(locListed.c_str()));
    return (int) locTwins->second.size();
}

static void locExtract()
{
    QC_ASSERT(!locSDFChangedFlag);
    std::string locName = ourSdfName;
    if (!QF_SDF::OpenByName(locName.c_str(), 1))
    {
        OstraneMessageBox("ERROR", "Failed to access the SDF file.");
        return;
    }
    UI_SetCursor(UI_CURSOR_WAIT);
    int locSelections[ourMaxSelections];
    int locNumSelections = OstraneListGetSelItems(IDC_FILE_LIST, locSelections, ourMaxSelections);
    int locNumTried = 0;
    int locNumDone = 0;
    std::vector<std::string> locUnreachable;
    std::string locEntry;
    if (locNumSelections > 0)
    {
        for (int i = locNumSelections - 1; i >= 0; i--)
            if (OstraneListGetText(IDC_FILE_LIST, locSelections[i], &locEntry))
            {
                locNumTried += 1 + locNoteHiddenTwins(locEntry, &locUnreachable);
                locNumDone += locExtractEntry(locEntry) ? 1 : 0;
            }
    }
    else if (OstraneConfirm("Are you sure?", "Press OK to extract all files from SDF"))
    {
        for (int i = 0; i < ourMaxEntries && OstraneListGetText(IDC_FILE_LIST, i, &locEntry); i++)
        {
            locNumTried += 1 + locNoteHiddenTwins(locEntry, &locUnreachable);
            locNumDone += locExtractEntry(locEntry) ? 1 : 0;
        }
    }
    if (!locUnreachable.empty())
    {
        std::string locText = "These entries share their names with others and cannot be extracted:";
        for (size_t i = 0; i < locUnreachable.size() && i < ourMaxNamesShown; i++)
            locText += "\n" + locUnreachable[i];
        if (locUnreachable.size() > ourMaxNamesShown)
            locText += locFormat("\n... and %d more", (int) (locUnreachable.size() - ourMaxNamesShown));
        OstraneMessageBox("Entries not extracted", locText.c_str());
    }
    OS_SyncFileSystem(ourStartDirectory.c_str());
    // Closed again, so that a later save reads the edited files from the disk.
    QF_SDF::Close(nullptr);
    OstraneSetTitle(locName.c_str());
    if (locNumTried > 0)
    {
        if (locNumDone == locNumTried)
            OstraneMessageBox("Extraction complete",
                              locFormat("All %d files extracted succesfully.", locNumDone).c_str());
        else
            OstraneMessageBox("Extraction complete",
                              locFormat("%d/%d files extracted succesfully", locNumDone, locNumTried).c_str());
    }
    UI_SetCursor(UI_CURSOR_ARROW);
}

// --- [SECTION] dialog procedure ---

static void locAddFiles()
{
    UI_FileDialogRequest locRequest;
    locRequest.myKind = UI_FILEDIALOG_OPEN_MULTI;
    locRequest.myFilters.push_back({"All", "*.*"});
    locRequest.myFlags = UI_FD_EXPLORER | UI_FD_PATH_MUST_EXIST | UI_FD_FILE_MUST_EXIST;
    UI_FileDialogResult locResult;
    if (UI_FileDialog(locRequest, &locResult) && !locResult.myNames.empty())
    {
        std::string locRelativeDirectory;
        if (!OstraneGetRelativePath(ourStartDirectory, locResult.myDirectory, &locRelativeDirectory))
            ourRefusedOutside++;
        else
        {
            std::string locPrefix = locRelativeDirectory.empty() ? std::string() : locRelativeDirectory + "\\";
            for (size_t i = 0; i < locResult.myNames.size(); i++)
            {
                // The name itself may be a link that leads out.
                std::string locRelative;
                if (!OstraneGetRelativePath(ourStartDirectory, locResult.GetPath(i), &locRelative))
                    ourRefusedOutside++;
                else
                    locAddPath(locResult.myNames.size() == 1 ? locRelative.c_str()
                                                            : (locPrefix + locResult.myNames[i]).c_str());
            }
        }
        locReportRefused();
    }
    OS_SetCurrentDirectory(ourStartDirectory.c_str());
}

static void locRemoveFiles()
{
    int locSelections[ourMaxSelections];
    int locNum = OstraneListGetSelItems(IDC_FILE_LIST, locSelections, ourMaxSelections);
    if (locNum <= 0)
        return;
    OstraneEnableItem(IDC_SAVE_SDF, true);
    OstraneEnableItem(IDC_EXTRACT_FILES, false);
    locSDFChangedFlag = true;
    for (int i = locNum - 1; i >= 0; i--)
        locRemoveListEntry(locSelections[i]);
}

static void locDropFiles(const std::vector<std::string>& aPaths)
{
    int j = (int) aPaths.size();
    QC_ASSERT(j > 0);
    // Paths are taken whole: one longer than an archive may hold is refused by name.
    for (const std::string& locDropped : aPaths)
    {
        std::string locRelative;
        if (OstraneGetRelativePath(ourStartDirectory, locDropped, &locRelative) && !locRelative.empty())
            locAddPath(locRelative.c_str());
        else
            ourRefusedOutside++;
    }
    locReportRefused();
}

intptr_t OstraneDlgProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    ourOstraneDialog = aDialog;
    switch (aMessage.myKind)
    {
    case UI_MSG_INITDIALOG:
        return 1;
    case UI_MSG_CLOSE:
        if (!locSDFChangedFlag ||
            OstraneConfirm("Are you sure you want to quit?",
                           "You have made changes to the SDF, these will be lost if you quit."))
            UI_PostQuitMessage(0);
        return 0;
    case UI_MSG_DROPFILES:
        if (aMessage.myDroppedFiles)
            locDropFiles(*aMessage.myDroppedFiles);
        return 0;
    case UI_MSG_COMMAND:
        switch (aMessage.myControlId)
        {
        case IDC_OPEN_SDF:
            if (!locSDFChangedFlag ||
                OstraneConfirm("Are you sure you want to load a new SDF?",
                               "You have made changes to the SDF, these will be lost if you load a new SDF."))
            {
                char locBuffer[256] = "";
                std::string locRefusal;
                if (OstraneOpenFileDialog(locBuffer, "*.sdf", true, &locRefusal))
                    OstraneLoadSdf(locBuffer);
                else if (!locRefusal.empty())
                    OstraneMessageBox("ERROR", ("Failed to load SDF\n" + locRefusal).c_str());
            }
            return 0;
        case IDC_NEW_SDF:
            if (!locSDFChangedFlag ||
                OstraneConfirm("Are you sure you want to create a new SDF?",
                               "You have made changes to the existing SDF, these will be lost if you create a new one."))
                OstraneNewSdf();
            return 0;
        case IDC_SAVE_SDF:
            locSave();
            return 0;
        case IDC_ADD_FILES:
            locAddFiles();
            return 0;
        case IDC_REMOVE_FILES:
            locRemoveFiles();
            return 0;
        case IDC_EXTRACT_FILES:
            locExtract();
            return 0;
        }
        return 0;
    }
    return 0;
}

// --- [SECTION] start-up and loop ---

static void locIdleCheck(void*)
{
    static bool locAssertIgnoreFlag = false;
    if (OS_GetRoundingMode() != OS_ROUND_TRUNCATE && !locAssertIgnoreFlag)
        QC_Mem::AssertionFailed(__FILE__, __LINE__, "(_controlfp(0, 0) & _MCW_RC) == _RC_CHOP",
                                &locAssertIgnoreFlag);
}

bool OstraneStart(const char* aCommandLine)
{
    OS_SetRoundingMode(OS_ROUND_TRUNCATE);
    char locDirectory[4096];
    ourStartDirectory = OS_GetCurrentDirectory(locDirectory, sizeof(locDirectory)) ? locDirectory : "";
    ourOstraneDialog = OstraneCreateDialog(IDD_OSTRANE_DIALOG, OstraneDlgProc, nullptr, IDI_OSTRANE_ICON);
    if (!ourOstraneDialog)
        QC_Mem::FatalError("Failed to create the dialog");
    OstraneNewSdf();
    if (aCommandLine && aCommandLine[0] && !OstraneLoadSdf(aCommandLine))
    {
        UI_PostQuitMessage(-2);
        return false;
    }
    return true;
}

void OstraneRunLoop()
{
    UI_RunMessageLoop(locIdleCheck, nullptr);
}

int OstraneMain(const char* aCommandLine)
{
    bool locStarted = OstraneStart(aCommandLine);
    // Gallery mode: the program's one dialog with the archive listed.
    if (UI_GalleryFolder())
        return locStarted && UI_GalleryShootDialog(ourOstraneDialog, "ostrane-main") ? 0 : 1;
    OstraneRunLoop();
    return 0;
}

void OstraneShutdown()
{
    if (ourOstraneDialog)
        UI_DestroyDialog(ourOstraneDialog);
    ourOstraneDialog = nullptr;
    ourSdfName.clear();
    ourListedKeys.clear();
    ourDiskNames.clear();
    ourHiddenTwins.clear();
    locSDFChangedFlag = false;
    QF_SDF::Close(nullptr);
    UI_SetCursor(UI_CURSOR_ARROW);
}
