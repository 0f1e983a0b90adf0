// The model editor's settings, state and paths readers; the first byte picks
// one. What the settings and paths readers keep must write out and read back
// to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "modeleditor/pathsfile.h"
#include "modeleditor/settingsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize < 1)
        return 0;
    const char* locText = reinterpret_cast<const char*>(aData + 1);
    size_t locSize = aSize - 1;
    switch (aData[0] % 3)
    {
    case 0:
    {
        PranvelSettings locSettings;
        ParseSettingsText(locText, locSize, &locSettings);
        std::string locFirst = FormatSettingsText(locSettings);
        PranvelSettings locAgain;
        ParseSettingsText(locFirst.data(), locFirst.size(), &locAgain);
        if (FormatSettingsText(locAgain) != locFirst)
            abort();
        break;
    }
    case 1:
    {
        QC_GrowingArray<QC_String> locCodes, locNames;
        std::vector<int> locWrong;
        ParseStateText(locText, locSize, &locCodes, &locNames, &locWrong);
        if (locCodes.Count() != locNames.Count())
            abort();
        for (int i = 0; i < locCodes.Count(); i++)
            if (locCodes[i].GetLength() < 4)
                abort();
        break;
    }
    default:
    {
        PathsFile locPaths;
        locPaths.LoadFromText(locText, locSize);
        std::string locFirst = locPaths.ToText();
        PathsFile locAgain;
        locAgain.LoadFromText(locFirst.data(), locFirst.size());
        if (locAgain.ToText() != locFirst)
            abort();
        break;
    }
    }
    return 0;
}
