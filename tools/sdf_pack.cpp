// Packs every file under a folder into an SDF archive, names relative to the
// folder: sdf_pack ARCHIVE DIR. Prints the number of entries.
#include "platform/os/os_cmdline.h"

#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "qfile/qf_sdfedit.h"

// Relative paths of the files under aDir/aSub.
static void locList(const std::string& aDir, const std::string& aSub, std::vector<std::string>* aFiles)
{
    DIR* locDir = opendir((aDir + "/" + aSub).c_str());
    if (!locDir)
        return;
    while (dirent* e = readdir(locDir))
    {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        std::string r = aSub.empty() ? n : aSub + "/" + n;
        struct stat s;
        if (stat((aDir + "/" + r).c_str(), &s) != 0)
            continue;
        if (S_ISDIR(s.st_mode))
            locList(aDir, r, aFiles);
        else
            aFiles->push_back(r);
    }
    closedir(locDir);
}

static const OS_CommandLine ourLine = {
    "sdf_pack",
    "usage: sdf_pack ARCHIVE DIR\n"
    "Packs every file under DIR into the SDF archive ARCHIVE, names stored\n"
    "relative to DIR.\n"
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
            return 1;
        locPath = std::string(locCwd) + "/" + locPath;
    }
    std::vector<std::string> locFiles;
    locList(argv[2], "", &locFiles);
    // Names are stored as added: relative to the folder.
    if (locFiles.empty() || chdir(argv[2]) != 0)
    {
        fprintf(stderr, "sdf_pack: no files in %s\n", argv[2]);
        return 1;
    }
    QF_SDFEdit locEditor;
    for (const std::string& f : locFiles)
        if (!locEditor.AddFile(f.c_str()))
            return 1;
    locEditor.SetDefaultCompression(2);
    if (!locEditor.Write(locPath.c_str()))
    {
        fprintf(stderr, "sdf_pack: cannot write %s: %s\n", locPath.c_str(), QF_SDFEditErrorText);
        return 1;
    }
    printf("archive: %zu entries in %s\n", locFiles.size(), locPath.c_str());
    return 0;
}
