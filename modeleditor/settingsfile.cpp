// The settings file "pranvel.cfg" and the state file: reading and writing.
#include "modeleditor/settingsfile.h"

#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace
{
const double locDegreesToRadians = 3.14159265358979323846 / 180.0;

// Integers as strtol with base 0 reads them: 0x hexadecimal, 0 octal, else decimal.
uint32_t locInteger(const std::string& aValue)
{
    return uint32_t(strtol(aValue.c_str(), nullptr, 0));
}

float locNumber(std::string aValue, bool aCommaFlag)
{
    if (aCommaFlag)
        for (char& locChar : aValue)
            if (locChar == ',')
                locChar = '.';
    return float(atof(aValue.c_str()));
}

// True only for the value "1".
bool locSwitch(const std::string& aValue)
{
    return aValue == "1";
}

void locAppendLine(std::string* aText, const char* aFormat, ...) __attribute__((format(printf, 2, 3)));
void locAppendLine(std::string* aText, const char* aFormat, ...)
{
    va_list locArgs;
    va_start(locArgs, aFormat);
    va_list locCopy;
    va_copy(locCopy, locArgs);
    int locLength = vsnprintf(nullptr, 0, aFormat, locCopy);
    va_end(locCopy);
    if (locLength > 0)
    {
        size_t locStart = aText->size();
        aText->resize(locStart + size_t(locLength) + 1);
        vsnprintf(&(*aText)[locStart], size_t(locLength) + 1, aFormat, locArgs);
        aText->resize(locStart + size_t(locLength));
    }
    va_end(locArgs);
    aText->append("\r\n");
}

uint32_t locColorByte(float aValue)
{
    // Truncated, as the light colour is quantised.
    if (!(aValue > 0.0f))
        return 0;
    if (aValue >= 1.0f)
        return 255;
    return uint32_t(aValue * 255.0f) & 0xFF;
}
} // namespace

// --- lines ---

bool SettingsLineReader::Next(std::string* aLine, int* aLineNumber)
{
    while (myPos < mySize)
    {
        myLine++;
        std::string locLine;
        bool locAtStart = true;
        bool locInComment = false;
        bool locTooLong = false;
        while (myPos < mySize)
        {
            char locChar = myText[myPos++];
            if (locChar == '\n')
                break;
            if (locChar == '\r' && myPos < mySize && myText[myPos] == '\n')
            {
                myPos++;
                break;
            }
            if (locInComment || locTooLong)
                continue;
            // A NUL ends the text of its line, as it ends a C string.
            if (locChar == 0)
            {
                locInComment = true;
                continue;
            }
            if (locAtStart && (unsigned char) locChar < 33)
                continue;
            locAtStart = false;
            if (locChar == '/' && !locLine.empty() && locLine.back() == '/')
            {
                locLine.pop_back();
                locInComment = true;
                continue;
            }
            locLine.push_back(locChar);
            // Room for the trailing blanks that the cut below may still remove.
            if (locLine.size() > 4096)
                locTooLong = true;
        }
        while (!locLine.empty() && (unsigned char) locLine.back() < 33)
            locLine.pop_back();
        if (locTooLong || locLine.size() > size_t(SETTINGS_MAX_LINE) || locLine.empty())
            continue;
        *aLine = locLine;
        if (aLineNumber)
            *aLineNumber = myLine;
        return true;
    }
    return false;
}

bool SettingsLineReader::NextRaw(std::string* aLine)
{
    if (myPos >= mySize)
        return false;
    myLine++;
    const char* locStart = myText + myPos;
    const void* locEnd = memchr(locStart, '\n', mySize - myPos);
    size_t locLength = locEnd ? size_t(static_cast<const char*>(locEnd) - locStart) : mySize - myPos;
    myPos += locLength + (locEnd ? 1 : 0);
    if (locEnd && locLength > 0 && locStart[locLength - 1] == '\r')
        locLength--;
    if (locLength > size_t(SETTINGS_MAX_LINE))
        aLine->clear();
    else
        aLine->assign(locStart, locLength);
    return true;
}

bool ReadWholeFile(const char* aPath, std::string* aText)
{
    OS_FileHandle locHandle = OS_OpenFile(aPath, OS_OPEN_READ);
    if (locHandle == OS_INVALID_HANDLE)
        return false;
    OS_FileInfo locInfo;
    bool locOk = OS_GetHandleInfo(locHandle, &locInfo) && !locInfo.myIsDirectory;
    // These files are a few hundred bytes; anything past 16 MB is not one of them.
    if (locOk && locInfo.mySize > 16u * 1024 * 1024)
        locOk = false;
    if (locOk)
    {
        aText->resize(size_t(locInfo.mySize));
        int64_t locRead = aText->empty() ? 0 : OS_ReadFile(locHandle, &(*aText)[0], aText->size());
        locOk = locRead == int64_t(aText->size());
    }
    OS_CloseFile(locHandle);
    return locOk;
}

bool WriteWholeFile(const char* aPath, const std::string& aText)
{
    OS_SaveFile locSave;
    if (!locSave.Begin(aPath))
        return false;
    if (!aText.empty() && !locSave.Write(aText.data(), aText.size()))
        return false;
    return locSave.Commit();
}

// --- settings ---

void ParseSettingsText(const char* aText, size_t aSize, PranvelSettings* aSettings)
{
    SettingsLineReader locReader(aText, aSize);
    std::string locLine;
    while (locReader.Next(&locLine, nullptr))
    {
        size_t locBlank = locLine.find(' ');
        if (locBlank == std::string::npos)
            continue;
        std::string locKey = locLine.substr(0, locBlank);
        std::string locValue = locLine.substr(locBlank + 1);
        const char* k = locKey.c_str();
        PranvelSettings& s = *aSettings;
        int locFound = -1;
        if (!strcasecmp(k, "workDir"))
            s.myWorkDir = locValue.c_str(), locFound = SETTINGS_WORKDIR;
        else if (!strcasecmp(k, "stateFile"))
            s.myStateFile = locValue.c_str(), locFound = SETTINGS_STATEFILE;
        else if (!strcasecmp(k, "bgColor"))
            s.myBgColor = locInteger(locValue), locFound = SETTINGS_BGCOLOR;
        else if (!strcasecmp(k, "ambientColor"))
            s.myAmbientColor = locInteger(locValue), locFound = SETTINGS_AMBIENTCOLOR;
        else if (!strcasecmp(k, "dirLightDirection"))
            s.myDirLightDirection = float(locNumber(locValue, false) * locDegreesToRadians),
            locFound = SETTINGS_DIRLIGHTDIRECTION;
        else if (!strcasecmp(k, "dirLightElevation"))
            s.myDirLightElevation = float(locNumber(locValue, false) * locDegreesToRadians),
            locFound = SETTINGS_DIRLIGHTELEVATION;
        else if (!strcasecmp(k, "dirLightColor"))
        {
            uint32_t locColor = locInteger(locValue);
            s.myDirLightColor[0] = float((locColor >> 16) & 0xFF) / 255.0f;
            s.myDirLightColor[1] = float((locColor >> 8) & 0xFF) / 255.0f;
            s.myDirLightColor[2] = float(locColor & 0xFF) / 255.0f;
            locFound = SETTINGS_DIRLIGHTCOLOR;
        }
        else if (!strcasecmp(k, "fogColor"))
            s.myFogColor = locInteger(locValue), locFound = SETTINGS_FOGCOLOR;
        else if (!strcasecmp(k, "fogActive"))
            continue;
        else if (!strcasecmp(k, "fogStart"))
            s.myFogStart = locNumber(locValue, true), locFound = SETTINGS_FOGSTART;
        else if (!strcasecmp(k, "nearPlane"))
            s.myNearPlane = locNumber(locValue, true), locFound = SETTINGS_NEARPLANE;
        else if (!strcasecmp(k, "farPlane"))
            s.myFarPlane = locNumber(locValue, true), locFound = SETTINGS_FARPLANE;
        else if (!strcasecmp(k, "mouseSens"))
            s.myMouseSens = locNumber(locValue, true), locFound = SETTINGS_MOUSESENS;
        else if (!strcasecmp(k, "mouseInvert"))
            continue;
        else if (!strcasecmp(k, "gridSize"))
            s.myGridSize = locNumber(locValue, true), locFound = SETTINGS_GRIDSIZE;
        else if (!strcasecmp(k, "gridEnable"))
            s.myGridEnable = locSwitch(locValue), locFound = SETTINGS_GRIDENABLE;
        else if (!strcasecmp(k, "defaultHaloSurface"))
            s.myDefaultHaloSurface = locValue.c_str(), locFound = SETTINGS_DEFAULTHALOSURFACE;
        else if (!strcasecmp(k, "defaultSurface"))
            s.myDefaultSurface = locValue.c_str(), locFound = SETTINGS_DEFAULTSURFACE;
        else if (!strncasecmp(k, "objectColor", 11))
        {
            // The index is the decimal number after the prefix, 0 to 7.
            const char* locIndex = k + 11;
            if (locIndex[0] < '0' || locIndex[0] > '7' || locIndex[1] != 0)
                continue;
            s.myObjectColors[locIndex[0] - '0'] = locInteger(locValue);
            locFound = SETTINGS_OBJECTCOLOR0 + (locIndex[0] - '0');
        }
        else if (!strcasecmp(k, "cacheRendering"))
            s.myCacheRendering = locSwitch(locValue), locFound = SETTINGS_CACHERENDERING;
        else if (!strcasecmp(k, "autoCalcFarplane"))
            s.myAutoCalcFarplane = locSwitch(locValue), locFound = SETTINGS_AUTOCALCFARPLANE;
        else if (!strcasecmp(k, "dontResetCameraOnRefresh"))
            s.myDontResetCameraOnRefresh = locSwitch(locValue), locFound = SETTINGS_DONTRESETCAMERAONREFRESH;
        else
        {
            for (int i = 0; i < 4; i++)
            {
                char locName[16];
                snprintf(locName, sizeof(locName), "lod%dDistance", i + 1);
                if (!strcasecmp(k, locName))
                {
                    s.myLodDistances[i] = locNumber(locValue, false);
                    locFound = SETTINGS_LOD1DISTANCE + i;
                    break;
                }
            }
        }
        if (locFound >= 0)
            s.myFoundKeys |= uint64_t(1) << locFound;
    }
}

bool ReadSettingsFile(const char* aPath, PranvelSettings* aSettings)
{
    std::string locText;
    if (!ReadWholeFile(aPath, &locText))
        return false;
    ParseSettingsText(locText.data(), locText.size(), aSettings);
    return true;
}

std::string FormatSettingsText(const PranvelSettings& s)
{
    const double locRadiansToDegrees = 180.0 / 3.14159265358979323846;
    std::string locText;
    locAppendLine(&locText, "workDir %s", s.myWorkDir.GetBuffer());
    locAppendLine(&locText, "stateFile %s", s.myStateFile.GetBuffer());
    locAppendLine(&locText, "bgColor 0x%x", s.myBgColor);
    for (int i = 0; i < 8; i++)
        locAppendLine(&locText, "objectColor%d 0x%x", i, s.myObjectColors[i]);
    locAppendLine(&locText, "ambientColor 0x%x", s.myAmbientColor);
    locAppendLine(&locText, "dirLightDirection %.1f", s.myDirLightDirection * locRadiansToDegrees);
    locAppendLine(&locText, "dirLightElevation %.1f", s.myDirLightElevation * locRadiansToDegrees);
    locAppendLine(&locText, "dirLightColor 0x%x",
                  (locColorByte(s.myDirLightColor[0]) << 16) | (locColorByte(s.myDirLightColor[1]) << 8) |
                      locColorByte(s.myDirLightColor[2]));
    locAppendLine(&locText, "fogColor 0x%x", s.myFogColor);
    locAppendLine(&locText, "fogActive %d", 1);
    locAppendLine(&locText, "fogStart %.3f", s.myFogStart);
    locAppendLine(&locText, "nearPlane %.3f", s.myNearPlane);
    locAppendLine(&locText, "farPlane %.3f", s.myFarPlane);
    locAppendLine(&locText, "mouseSens %.3f", s.myMouseSens);
    locAppendLine(&locText, "gridEnable %d", s.myGridEnable ? 1 : 0);
    locAppendLine(&locText, "gridSize %.3f", s.myGridSize);
    locAppendLine(&locText, "defaultHaloSurface %s", s.myDefaultHaloSurface.GetBuffer());
    locAppendLine(&locText, "defaultSurface %s", s.myDefaultSurface.GetBuffer());
    locAppendLine(&locText, "cacheRendering %d", s.myCacheRendering ? 1 : 0);
    locAppendLine(&locText, "autoCalcFarplane %d", s.myAutoCalcFarplane ? 1 : 0);
    locAppendLine(&locText, "dontResetCameraOnRefresh %d", s.myDontResetCameraOnRefresh ? 1 : 0);
    for (int i = 0; i < 4; i++)
        locAppendLine(&locText, "lod%dDistance %.1f", i + 1, s.myLodDistances[i]);
    return locText;
}

bool WriteSettingsFile(const char* aPath, const PranvelSettings& aSettings)
{
    return WriteWholeFile(aPath, FormatSettingsText(aSettings));
}

// --- state file ---

void ParseStateText(const char* aText, size_t aSize, QC_GrowingArray<QC_String>* aCodes,
                    QC_GrowingArray<QC_String>* aNames, std::vector<int>* aWrongLines)
{
    for (QC_GrowingArray<QC_String>* locArray : {aCodes, aNames})
    {
        if (locArray->myMaxNrOfItems == 0)
            locArray->Init(10, 10, true);
        locArray->RemoveAll();
    }
    SettingsLineReader locReader(aText, aSize);
    std::string locLine;
    int locLineNumber = 0;
    while (locReader.Next(&locLine, &locLineNumber))
    {
        size_t locBlank = locLine.find(' ');
        if (locBlank == std::string::npos)
            continue;
        std::string locCode = locLine.substr(0, locBlank);
        if (locBlank != 4)
        {
            if (aWrongLines)
                aWrongLines->push_back(locLineNumber);
            // Codes are read as four bytes: a short one is padded so that stays inside the text.
            if (locCode.size() < 4)
                locCode.resize(4, ' ');
        }
        aCodes->Add(QC_String(locCode.c_str()));
        aNames->Add(QC_String(locLine.c_str() + locBlank + 1));
    }
}

bool ReadStateFile(const char* aPath, QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames,
                   std::vector<int>* aWrongLines)
{
    std::string locText;
    bool locRead = ReadWholeFile(aPath, &locText);
    if (!locRead)
        locText.clear();
    ParseStateText(locText.data(), locText.size(), aCodes, aNames, aWrongLines);
    return locRead;
}
