// The paths file "pranvel_paths.txt".
#include "modeleditor/pathsfile.h"
#include "modeleditor/settingsfile.h"

#include <cstdlib>

bool PathsFile::Load(const char* aPath)
{
    std::string locText;
    bool locRead = ReadWholeFile(aPath, &locText);
    if (!locRead)
        locText.clear();
    LoadFromText(locText.data(), locText.size());
    return locRead;
}

void PathsFile::LoadFromText(const char* aText, size_t aSize)
{
    for (QC_String& locPath : myPaths)
        locPath = "";
    SettingsLineReader locReader(aText, aSize);
    std::string locLine;
    if (!locReader.Next(&locLine, nullptr))
        return;
    int locCount = atoi(locLine.c_str());
    for (int i = 0; i < locCount && i < PATHS_NUM_KINDS; i++)
    {
        if (!locReader.NextRaw(&locLine))
            break;
        myPaths[i] = locLine.c_str();
    }
}

std::string PathsFile::ToText() const
{
    std::string locText = "8\r\n";
    for (const QC_String& locPath : myPaths)
    {
        // A line end inside an entry would shift every later kind on reading.
        for (const char* p = locPath.GetBuffer(); *p; p++)
            locText.push_back(*p == '\r' || *p == '\n' ? ' ' : *p);
        locText += "\r\n";
    }
    return locText;
}

bool PathsFile::Save(const char* aPath) const
{
    return WriteWholeFile(aPath, ToText());
}

const QC_String& PathsFile::Get(int aKind) const
{
    static const QC_String ourEmpty;
    if (aKind < 0 || aKind >= PATHS_NUM_KINDS)
        return ourEmpty;
    return myPaths[aKind];
}

void PathsFile::Set(int aKind, const char* aDirectory)
{
    if (aKind >= 0 && aKind < PATHS_NUM_KINDS)
        myPaths[aKind] = aDirectory ? aDirectory : "";
}
