// Bringing a .tez file up to date with the .velk file beside it.
#include <cstring>
#include <string>

#include "platform/os/os_file.h"
#include "tez/tez.h"
#include "tez/tez_convert.h"
#include "tez/tez_local.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_typemanager.h"

namespace
{
// Last-write time in nanoseconds since 1970.
bool locFileTime(const char* aPath, int64_t& aTime)
{
    OS_FileInfo locInfo;
    if (!OS_GetFileInfo(aPath, &locInfo) || locInfo.myIsDirectory)
        return false;
    aTime = locInfo.myWriteTime * 1000000000 + locInfo.myWriteNanoseconds;
    return true;
}
}

int VelkToTez::IsFileNewer(const char* aTezFileName, const char* aVelkFileName)
{
    int64_t locTezTime = 0;
    int64_t locVelkTime = 0;
    const bool locHasTez = locFileTime(aTezFileName, locTezTime);
    if (locFileTime(aVelkFileName, locVelkTime))
    {
        // File times come from a clock that ticks every few milliseconds: a
        // .velk saved just after a conversion may carry the very same time, so
        // only a strictly newer .tez counts as up to date.
        if (locHasTez && locTezTime > locVelkTime)
            return 1;
        if (locHasTez)
            Tez_Print("VelkToTez::IsFileNewer(): Existing '%s' is newer than existing '%s'", aVelkFileName,
                      aTezFileName);
        else
            Tez_Print("VelkToTez::IsFileNewer(): Missing '%s'", aTezFileName);
        return 0;
    }
    if (locHasTez)
        return 1;
    Tez_Print("VelkToTez::IsFileNewer(): none of the two files exist ('%s' or '%s')", aTezFileName, aVelkFileName);
    return -1;
}

bool VelkToTez::Priv_AssertFileName(const char* aTezFileName)
{
    const char* locExtension = aTezFileName && aTezFileName[0] ? strstr(aTezFileName + 1, ".tez") : nullptr;
    if (!locExtension)
    {
        Tez_Print("VelkToTez::Priv_AssertFileName(): you MUST pass a valid .tez filename (you passed '%s')",
                  aTezFileName ? aTezFileName : "");
        return false;
    }
    std::string locVelkName(aTezFileName, static_cast<size_t>(locExtension - aTezFileName));
    locVelkName += ".velk";

    const int locState = IsFileNewer(aTezFileName, locVelkName.c_str());
    if (locState < 0)
        return false;
    if (locState == 1)
    {
        Tez* locTest = Tez::Load(aTezFileName, false);
        if (locTest)
        {
            delete locTest;
            return true;
        }
        Tez_Print("VelkToTez::Priv_AssertFileName(): Existing '%s' is of incorrect format version (should be %s) or "
                  "fragmented, forcing new conversion...",
                  aTezFileName, TEZ_VERSION_TEXT);
    }

    bool locConverted;
    {
        VelkTypeManager locTypes;
        VelkNameSpace locNameSpace;
        EverythingIgnorer locIgnorer;
        Tez_Print("VelkToTez::Priv_ConvertVelkToTez(): compiling '%s'...", locVelkName.c_str());
        locConverted = VelkCompiler::Compile(locNameSpace, locVelkName.c_str(), &locTypes, &locIgnorer) &&
                       Priv_ConvertVelkToTez(locNameSpace, aTezFileName);
    }
    if (locConverted)
        Tez_Print("VelkToTez::Priv_AssertFileName(): Converted '%s' to '%s'", locVelkName.c_str(), aTezFileName);
    else
        Tez_Print("VelkToTez::Priv_AssertFileName(): Failed to convert '%s' to '%s'", locVelkName.c_str(),
                  aTezFileName);
    return locConverted;
}
