// Types, skin files and layouts for the GUI editors' tests and bench: a
// .fruit of the widget family, skin .velk text and widget blocks.
#pragma once

#include <string>

namespace VAVE_TestData
{
inline const char* const WIDGET_TYPES[] = {
    "VAP_Plate",    "VAP_Button",    "VAP_ProgressBar",
    "VAP_CheckBox", "VAP_TextLabel", "VAP_TextList",
    "VAP_Slider",   "VAP_ComboBox",  "VAP_MultiColumnTextList",
    "VAP_Special",  "VAP_Model",     "VAP_TextInput",
    "VAP_MiniMap",
};

// Every widget class carries every member the editors read.
inline std::string Fruit()
{
    std::string locText =
        "CLASS VAP_Point\r\n{\r\nNUMBER x\r\nNUMBER z\r\n}\r\n"
        "CLASS VAP_Prefab\r\n{\r\nVAP_Point myStart\r\nVAP_Point myEnd\r\nVAP_Point myInnerStart\r\n"
        "VAP_Point myInnerEnd\r\n}\r\n"
        "CLASS VAP_Font\r\n{\r\nTEXT myFont\r\nNUMBER mySize\r\n}\r\n"
        "SCRIPTCLASS VAP_FontList\r\n{\r\nVAP_Font\r\n}\r\n"
        "SCRIPTCLASS VAP_PrefabList\r\n{\r\nVAP_Prefab\r\n}\r\n"
        "CLASS VAP_Skin\r\n{\r\nFILE myFileName\r\nFILE myEditorFileName\r\nVAP_FontList myFonts\r\n"
        "VAP_PrefabList myPrefabs\r\n}\r\n"
        "SCRIPTCLASS VAP_SkinList\r\n{\r\nVAP_Skin\r\n}\r\n"
        "CLASS VAP_SkinFile\r\n{\r\nVAP_SkinList mySkins\r\n}\r\n";
    for (const char* locType : WIDGET_TYPES)
        locText +=
            std::string("CLASS ") + locType +
            "\r\n{\r\nFILE mySkinFile\r\nTEXT mySkin\r\nNUMBER myXPos\r\nNUMBER myYPos\r\nNUMBER myWidth\r\n"
            "NUMBER myHeight\r\nTEXT myPrefab\r\nTEXT myUpPrefab\r\nTEXT myCheckedPrefab\r\n"
            "TEXT myTitleBarUpPrefab\r\nTEXT myFont\r\nTEXT myText\r\nNUMBER myScrollBarWidth\r\n"
            "NUMBER myListHeight\r\nNUMBER myTitleBarHeight\r\n}\r\n";
    locText += "SCRIPTCLASS VAP_WidgetList\r\n{\r\n";
    for (const char* locType : WIDGET_TYPES)
        locText += std::string(locType) + "\r\n";
    locText += "}\r\nCLASS Gui\r\n{\r\nVAP_WidgetList myWidgets\r\n}\r\n";
    return locText;
}

inline std::string Point(const char* aName, int x, int z)
{
    return std::string("\t\t\t\t\t") + aName + "\r\n\t\t\t\t\t{\r\n\t\t\t\t\t\tx " + std::to_string(x) +
           "\r\n\t\t\t\t\t\tz " + std::to_string(z) + "\r\n\t\t\t\t\t}\r\n";
}

// A prefab block inside "myPrefabs": outer and inner rectangles, texture pixels.
inline std::string Prefab(const char* aName, int sx, int sz, int ex, int ez, int isx, int isz, int iex,
                          int iez)
{
    return std::string("\t\t\t\tVAP_Prefab ") + aName + "\r\n\t\t\t\t{\r\n" + Point("myStart", sx, sz) +
           Point("myEnd", ex, ez) + Point("myInnerStart", isx, isz) + Point("myInnerEnd", iex, iez) +
           "\t\t\t\t}\r\n";
}

inline std::string Font(const char* aName, const char* aFace, int aSize)
{
    return std::string("\t\t\t\tVAP_Font ") + aName + "\r\n\t\t\t\t{\r\n\t\t\t\t\tmyFont " + aFace +
           "\r\n\t\t\t\t\tmySize " + std::to_string(aSize) + "\r\n\t\t\t\t}\r\n";
}

inline std::string Skin(const char* aName, const char* aEditorFile, const char* aFile,
                        const std::string& aPrefabs, const std::string& aFonts)
{
    return std::string("\t\tVAP_Skin ") + aName + "\r\n\t\t{\r\n\t\t\tmyFileName " + aFile +
           "\r\n\t\t\tmyEditorFileName " + aEditorFile + "\r\n\t\t\tmyFonts\r\n\t\t\t{\r\n" + aFonts +
           "\t\t\t}\r\n\t\t\tmyPrefabs\r\n\t\t\t{\r\n" + aPrefabs + "\t\t\t}\r\n\t\t}\r\n";
}

// The skin file's text: the instance "mySkinFile" holding the given skins.
inline std::string SkinFile(const std::string& aFruitName, const std::string& aSkins)
{
    return "INCLUDE " + aFruitName + "\r\nVAP_SkinFile mySkinFile\r\n{\r\n\tmySkins\r\n\t{\r\n" + aSkins +
           "\t}\r\n}\r\n";
}

// One widget block inside "myWidgets"; aMembers are "name value" lines.
inline std::string Widget(const char* aType, const std::string& aName, const std::string& aMembers)
{
    std::string locText = std::string("\t\t") + aType + " " + aName + "\r\n\t\t{\r\n";
    size_t locStart = 0;
    while (locStart < aMembers.size())
    {
        size_t locEnd = aMembers.find('\n', locStart);
        if (locEnd == std::string::npos)
            locEnd = aMembers.size();
        locText += "\t\t\t" + aMembers.substr(locStart, locEnd - locStart) + "\r\n";
        locStart = locEnd + 1;
    }
    return locText + "\t\t}\r\n";
}

inline std::string Gui(const std::string& aFruitName, const char* aName, const std::string& aWidgets)
{
    return "INCLUDE " + aFruitName + "\r\nGui " + aName + "\r\n{\r\n\tmyWidgets\r\n\t{\r\n" + aWidgets +
           "\t}\r\n}\r\n";
}
} // namespace VAVE_TestData
