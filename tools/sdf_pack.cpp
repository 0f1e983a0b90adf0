// Packs every file under a folder into an SDF archive, names relative to the
// folder: sdf_pack ARCHIVE DIR. Prints the number of entries.
#include "platform/os/os_cmdline.h"

#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qfile/qf_sdf.h"
#include "qfile/qf_sdfedit.h"

namespace
{
// A name as its bytes on disk have it: printable UTF-8 as it is, every other
// byte as \xHH, so that two names of one archive entry never read alike.
std::string locShown(const std::string& aName)
{
    static const char ourHex[] = "0123456789abcdef";
    std::string locResult;
    const unsigned char* p = (const unsigned char*)aName.data();
    const size_t n = aName.size();
    for (size_t i = 0; i < n;)
    {
        const unsigned char c = p[i];
        size_t locLength = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        uint32_t locCode = locLength == 1 ? c : locLength == 2 ? c & 0x1F : locLength == 3 ? c & 0x0F : c & 0x07;
        for (size_t k = 1; k < locLength; k++)
        {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
            {
                locLength = 0;
                break;
            }
            locCode = locCode << 6 | (p[i + k] & 0x3F);
        }
        static const uint32_t ourLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        const bool locPrintable = locLength > 0 && locCode >= ourLeast[locLength] && locCode >= 0x20 &&
                                  locCode != 0x7F && !(locCode >= 0x80 && locCode < 0xA0) &&
                                  !(locCode >= 0xD800 && locCode < 0xE000) && locCode <= 0x10FFFF;
        if (locPrintable)
        {
            locResult.append(aName, i, locLength);
            i += locLength;
        }
        else
        {
            locResult += "\\x";
            locResult += ourHex[c >> 4];
            locResult += ourHex[c & 15];
            i++;
        }
    }
    return locResult;
}

struct Walk
{
    std::string myRoot;                              // resolved
    std::vector<std::string> myFiles;                // relative, '/' between folders
    std::vector<std::string> mySkipped;              // "NAME: why", shown
    std::vector<std::string> myEmpty;
    std::set<std::pair<dev_t, ino_t>> myEntered;     // folders, against bind mounts back up the tree
};

bool locInside(const std::string& aRoot, const char* aPath)
{
    char locResolved[PATH_MAX];
    if (!realpath(aPath, locResolved))
        return false;
    const size_t n = aRoot.size();
    return aRoot == "/" || (strncmp(locResolved, aRoot.c_str(), n) == 0 && (locResolved[n] == '/' || locResolved[n] == 0));
}

// No link to a folder is followed: a link back up the tree would never end,
// and one elsewhere would pack what does not lie in the folder. Only regular
// files are read (a FIFO would block the read).
void locList(Walk* aWalk, const std::string& aSub)
{
    const std::string locFolder = aSub.empty() ? std::string(".") : aSub;
    DIR* locDir = opendir(locFolder.c_str());
    if (!locDir)
    {
        aWalk->mySkipped.push_back(locShown(locFolder) + ": " + strerror(errno));
        return;
    }
    std::vector<std::string> locNames;
    while (dirent* e = readdir(locDir))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            locNames.push_back(e->d_name);
    closedir(locDir);
    std::sort(locNames.begin(), locNames.end());
    for (const std::string& n : locNames)
    {
        const std::string r = aSub.empty() ? n : aSub + "/" + n;
        struct stat s;
        if (lstat(r.c_str(), &s) != 0)
            continue;   // gone since the listing
        const bool locLink = S_ISLNK(s.st_mode);
        if (locLink)
        {
            if (stat(r.c_str(), &s) != 0)
            {
                aWalk->mySkipped.push_back(locShown(r) + ": a link to nothing");
                continue;
            }
            if (S_ISDIR(s.st_mode))
            {
                aWalk->mySkipped.push_back(locShown(r) + ": a link to a folder");
                continue;
            }
            if (!locInside(aWalk->myRoot, r.c_str()))
            {
                aWalk->mySkipped.push_back(locShown(r) + ": a link to a file outside the folder");
                continue;
            }
        }
        if (S_ISDIR(s.st_mode))
        {
            if (aWalk->myEntered.insert({s.st_dev, s.st_ino}).second)
                locList(aWalk, r);
            else
                aWalk->mySkipped.push_back(locShown(r) + ": a folder already packed");
        }
        else if (!S_ISREG(s.st_mode))
            aWalk->mySkipped.push_back(locShown(r) + ": not a regular file");
        else if (r.size() >= 4 && strcasecmp(r.c_str() + r.size() - 4, ".sdf") == 0)
            aWalk->mySkipped.push_back(locShown(r) + ": an archive is not packed into an archive");
        else if (s.st_size == 0)
            aWalk->myEmpty.push_back(r);
        else
            aWalk->myFiles.push_back(r);
    }
}

} // namespace

static const OS_CommandLine ourLine = {
    "sdf_pack",
    "usage: sdf_pack ARCHIVE DIR\n"
    "Packs every file under DIR into the SDF archive ARCHIVE, names stored\n"
    "relative to DIR. Links to folders, links to files outside DIR, FIFOs,\n"
    "sockets, devices and .sdf files are skipped and named.\n"
    "  -h, --help  this text\n",
    nullptr, 0, false};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (argc != 3 || locArguments.myOperands.size() != 2)
        return OS_RefuseCommandLine(ourLine, "an archive and a folder");
    std::string locPath = argv[1];
    if (locPath.empty() || locPath[0] != '/')
    {
        char locCwd[4096];
        if (!getcwd(locCwd, sizeof(locCwd)))
        {
            fprintf(stderr, "sdf_pack: cannot find the current folder: %s\n", strerror(errno));
            return 1;
        }
        locPath = std::string(locCwd) + "/" + locPath;
    }
    // Names are stored as added: relative to the folder.
    Walk locWalk;
    char locRoot[PATH_MAX];
    struct stat locRootStat;
    if (chdir(argv[2]) != 0 || !realpath(".", locRoot) || stat(".", &locRootStat) != 0)
    {
        fprintf(stderr, "sdf_pack: cannot enter %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    locWalk.myRoot = locRoot;
    locWalk.myEntered.insert({locRootStat.st_dev, locRootStat.st_ino});
    locList(&locWalk, "");
    for (const std::string& s : locWalk.mySkipped)
        fprintf(stderr, "sdf_pack: skipped %s\n", s.c_str());

    bool locRefused = false;
    for (const std::string& f : locWalk.myEmpty)
    {
        fprintf(stderr, "sdf_pack: cannot write %s: %s: empty files cannot be stored in an SDF archive\n",
                locPath.c_str(), locShown(f).c_str());
        locRefused = true;
    }
    // Every pair that readers take for one entry, each name as the disk spells
    // it; a backslash is a folder separator to every reader, so a name holding
    // one that no pair explains would be read back from another file.
    std::vector<const std::string*> locGood;
    std::map<std::string, const std::string*> locKeys;
    std::set<const std::string*> locPaired;
    for (const std::string& f : locWalk.myFiles)
    {
        if (!QF_SDFIsEntryPath(f.c_str()))
        {
            fprintf(stderr,
                    "sdf_pack: cannot write %s: %s: a name with an empty, \".\" or \"..\" part between backslashes "
                    "cannot be stored in an SDF archive\n",
                    locPath.c_str(), locShown(f).c_str());
            locRefused = true;
            continue;
        }
        locGood.push_back(&f);
        auto locKey = locKeys.emplace(QF_SDFNameKey(f.c_str()), &f);
        if (!locKey.second)
        {
            fprintf(stderr, "sdf_pack: cannot write %s: %s and %s are one name in an archive\n", locPath.c_str(),
                    locShown(*locKey.first->second).c_str(), locShown(f).c_str());
            locPaired.insert(locKey.first->second);
            locPaired.insert(&f);
            locRefused = true;
        }
    }
    for (const std::string* f : locGood)
        if (f->find('\\') != std::string::npos && !locPaired.count(f))
        {
            fprintf(stderr,
                    "sdf_pack: cannot write %s: %s: a backslash separates folders in an SDF archive, so the file "
                    "would be read back as another\n",
                    locPath.c_str(), locShown(*f).c_str());
            locRefused = true;
        }
    if (locRefused)
        return 1;
    if (locGood.empty())
    {
        fprintf(stderr, "sdf_pack: no files in %s\n", argv[2]);
        return 1;
    }

    QF_SDFEdit locEditor;
    for (const std::string* f : locGood)
        if (!locEditor.AddFile(f->c_str()))
        {
            fprintf(stderr, "sdf_pack: cannot add %s: %s\n", locShown(*f).c_str(),
                    QF_SDFEditErrorText[0] ? QF_SDFEditErrorText : "out of memory");
            return 1;
        }
    locEditor.SetDefaultCompression(2);
    if (!locEditor.Write(locPath.c_str()))
    {
        // A file emptied since the walk.
        if (QF_SDFEditError == QF_SDFEDIT_EMPTY_FILE)
            fprintf(stderr, "sdf_pack: cannot write %s: %s: empty files cannot be stored in an SDF archive\n",
                    locPath.c_str(), locShown(QF_SDFEditErrorText).c_str());
        else
            fprintf(stderr, "sdf_pack: cannot write %s: %s\n", locPath.c_str(), QF_SDFEditErrorText);
        return 1;
    }
    printf("archive: %zu entries in %s\n", locGood.size(), locPath.c_str());
    return 0;
}
