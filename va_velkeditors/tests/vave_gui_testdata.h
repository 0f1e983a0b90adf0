// Types, skin files and layouts for the GUI editors' tests and bench: a
// .fruit of the widget family, skin .velk text and widget blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qdrawgdi/tests/qdgdi_tga_writer.h"

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
// Texture colours (0xRRGGBB) of the "panel" prefab's nine parts and the "bar" prefab.
enum : uint32_t
{
    TL = 0x102030,
    TOP = 0x203040,
    TR = 0x405060,
    LEFT = 0x305000,
    CENTRE = 0x00C0C0,
    RIGHT = 0x506000,
    BL = 0x708090,
    BOTTOM = 0x607000,
    BR = 0xA0B0C0,
    BAR = 0x336699,
    REST = 0x777777,
    RED = 0xFF0000,
    GREEN = 0x00FF00,
    WHITE = 0xFFFFFF,
    BLACK = 0,
};

// The 64 x 64 test texture: "panel" (0, 0)-(12, 12) with a 4-pixel border, "bar" (16, 0)-(48, 8).
inline uint32_t TexturePixel(int x, int y)
{
    if (x < 12 && y < 12)
    {
        const int locCol = x < 4 ? 0 : x < 8 ? 1 : 2, locRow = y < 4 ? 0 : y < 8 ? 1 : 2;
        const uint32_t locParts[3][3] = {{TL, TOP, TR}, {LEFT, CENTRE, RIGHT}, {BL, BOTTOM, BR}};
        return locParts[locRow][locCol];
    }
    if (x >= 16 && x < 48 && y < 8)
        return BAR;
    return REST;
}

// The test texture as a 24-bit TGA file's bytes.
inline std::string TextureTGA()
{
    QDGDI_TestTGA locTga;
    locTga.myWidth = locTga.myHeight = 64;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            locTga.myPixels.push_back(0xFF000000u | TexturePixel(x, y));
    const std::vector<uint8_t> locBytes = locTga.Write();
    return std::string(locBytes.begin(), locBytes.end());
}

// "skins/main.velk": skins "red" (texture by the editor's name) and "blue" (by
// the game's, spelt in another case), each with the prefabs "panel", "bar",
// "zero" (no size), "crossed" (starts after ends, inner past outer) and
// "huge" (values at the ends of the int range), and
// the fonts "big" (arial, 20 pixels) and "small" (verdana, default size).
inline std::string MainSkinFile()
{
    const std::string locPrefabs =
        Prefab("panel", 0, 0, 12, 12, 4, 4, 8, 8) + Prefab("bar", 16, 0, 48, 8, 18, 2, 46, 6) +
        Prefab("zero", 10, 20, 10, 20, 10, 20, 10, 20) + Prefab("crossed", 30, 40, 20, 30, 35, 25, 90, 31) +
        Prefab("huge", 2147483647, -2147483647, -7, 5, 2147483647, 2147483647, -2147483647, 9);
    const std::string locFonts = Font("big", "arial", 250000) + Font("small", "verdana", 0);
    return SkinFile("widgets.fruit",
                    Skin("red", "skins/skin.tga", "skins/absent.tga", locPrefabs, locFonts) +
                        Skin("blue", "skins/absent.tga", "SKINS/Skin.TGA", locPrefabs, locFonts));
}
// Layout units of a widget block.
inline std::string Box(int x, int y, int w, int h)
{
    return "myXPos " + std::to_string(x) + "\nmyYPos " + std::to_string(y) + "\nmyWidth " +
           std::to_string(w) + "\nmyHeight " + std::to_string(h);
}

inline const std::string RED_SKIN = "mySkinFile skins/main.tez\nmySkin red\n";

// One widget of each type (positions in layout units, all multiples of 20),
// one with values at the ends of the int range and one whose skin file does
// not exist.
inline std::string EveryWidget()
{
    return Widget("VAP_Plate", "plate", RED_SKIN + "myPrefab panel\n" + Box(400, 400, 2000, 1000)) +
           Widget("VAP_Button", "button",
                  RED_SKIN + "myUpPrefab panel\nmyFont big\nmyText OK\n" + Box(3000, 400, 3000, 1000)) +
           Widget("VAP_ProgressBar", "progress", RED_SKIN + "myPrefab bar\n" + Box(7000, 400, 3000, 400)) +
           Widget("VAP_CheckBox", "check",
                  RED_SKIN + "myCheckedPrefab panel\nmyFont big\nmyText Sound\n" +
                      Box(11000, 400, 3000, 1000)) +
           Widget("VAP_TextLabel", "label",
                  RED_SKIN + "myFont small\nmyText Label\n" + Box(400, 2000, 3000, 1000)) +
           Widget("VAP_TextList", "list",
                  RED_SKIN + "myPrefab panel\nmyScrollBarWidth 400\n" + Box(4000, 2000, 4000, 4000)) +
           Widget("VAP_Slider", "slider", RED_SKIN + "myPrefab bar\n" + Box(9000, 2000, 3000, 400)) +
           Widget("VAP_ComboBox", "combo",
                  RED_SKIN + "myPrefab panel\nmyScrollBarWidth 400\nmyListHeight 3000\n" +
                      Box(13000, 2000, 2600, 600)) +
           Widget("VAP_MultiColumnTextList", "columns",
                  RED_SKIN +
                      "myPrefab panel\nmyScrollBarWidth 400\nmyTitleBarUpPrefab bar\nmyTitleBarHeight 600\n" +
                      Box(400, 7000, 6000, 4000)) +
           Widget("VAP_Special", "special", Box(7000, 7000, 2000, 2000)) +
           Widget("VAP_Model", "model", RED_SKIN + "myUpPrefab panel\n" + Box(9600, 7000, 2000, 2000)) +
           Widget("VAP_TextInput", "input",
                  "mySkinFile skins/main.tez\nmySkin blue\nmyPrefab bar\n" + Box(12000, 7000, 3000, 800)) +
           Widget("VAP_MiniMap", "minimap", Box(12000, 7400, 3000, 3000)) +
           Widget("VAP_Plate", "giant",
                  RED_SKIN + "myPrefab huge\nmyXPos 2147483647\nmyYPos -2147483647\nmyWidth 2147483647\n"
                             "myHeight 2147483647") +
           Widget("VAP_Plate", "lost",
                  "mySkinFile skins/none.tez\nmySkin red\nmyPrefab panel\n" + Box(7000, 10000, 2000, 1000));
}

} // namespace VAVE_TestData
