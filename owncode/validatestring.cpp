// The base-directory rule.
#include "owncode/validatestring.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "qcommon/qc_debug.h"

namespace
{
std::string locSlashes(const char* aPath)
{
    std::string locPath = aPath ? aPath : "";
    for (char& locChar : locPath)
        if (locChar == '\\')
            locChar = '/';
    return locPath;
}

bool locIsAbsolute(const std::string& aPath)
{
    // aPath has '/' separators already, so "x:\" and "\\server" read as ":/" and "//".
    return !aPath.empty() && (aPath[0] == '/' || aPath.find(":/") != std::string::npos);
}

bool locClimbsOut(const std::string& aRelative)
{
    size_t locStart = 0;
    while (locStart < aRelative.size())
    {
        size_t locEnd = aRelative.find('/', locStart);
        if (locEnd == std::string::npos)
            locEnd = aRelative.size();
        if (aRelative.compare(locStart, locEnd - locStart, "..") == 0)
            return true;
        locStart = locEnd + 1;
    }
    return false;
}
} // namespace

bool ValidateString(const char* aBaseDirectory, const char* aPath, QC_String& aRelativePath)
{
    std::string locPath = locSlashes(aPath);
    if (!locIsAbsolute(locPath))
    {
        aRelativePath = aPath ? aPath : "";
        return true;
    }
    std::string locBase = locSlashes(aBaseDirectory);
    while (locBase.size() > 1 && locBase.back() == '/')
        locBase.pop_back();
    // The base directory and then one separator ("/data" does not hold "/data2/x").
    size_t locCut = locBase == "/" ? 1 : locBase.size() + 1;
    bool locBelow = !locBase.empty() && locPath.size() > locCut &&
                    strncasecmp(locPath.c_str(), locBase.c_str(), locBase.size()) == 0 &&
                    locPath[locCut - 1] == '/';
    if (locBelow)
    {
        std::string locRelative = locPath.substr(locCut);
        while (!locRelative.empty() && locRelative[0] == '/')
            locRelative.erase(0, 1);
        if (!locRelative.empty() && !locClimbsOut(locRelative))
        {
            aRelativePath = locRelative.c_str();
            return true;
        }
    }
    aRelativePath = "";
    QC_Debug::Printf("AppFacade::ValidateString(): Failed to strip base directory from path '%s', path is invalid\n",
                     aPath ? aPath : "");
    return false;
}
