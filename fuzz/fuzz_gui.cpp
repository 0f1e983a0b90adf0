// The GUI layout and skin editors' loading of their Velk data: the input is a
// layout's .velk text, optionally followed by a NUL and a skin file's .velk
// text (else the tests' skin file). The layout is compiled against the widget
// types; every widget naming a skin of "skins/main.tez" has it loaded as the
// editors do (the .velk converted to .tez first), and its prefab drawn at the
// widget's place: no part may read outside the texture.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_util.h"
#include "qdrawgdi/qd_draw.h"
#include "va_velkeditors/tests/vave_gui_testdata.h"
#include "va_velkeditors/vave_guiskin.h"
#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const int TEXTURE_SIZE = 64;

class FuzzBitmap : public QD_Bitmap
{
public:
    int GetWidth() override { return TEXTURE_SIZE; }
    int GetHeight() override { return TEXTURE_SIZE; }
    bool Blit(int x, int y, int w, int h, int aSrcX, int aSrcY) override { return Check(aSrcX, aSrcY, w, h); }
    bool BlitStretch(int, int, int, int, int aSrcX, int aSrcY, int aSrcW, int aSrcH) override
    {
        return Check(aSrcX, aSrcY, aSrcW, aSrcH);
    }
    bool BlitRotate(int, int, float) override { return true; }
    bool BlitStretchRotate(int, int, int, int, float) override { return true; }

private:
    static bool Check(int x, int y, int w, int h)
    {
        if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > TEXTURE_SIZE || y + h > TEXTURE_SIZE)
        {
            fprintf(stderr, "a prefab part reads (%d, %d) %d x %d of a %d x %d texture\n", x, y, w, h, TEXTURE_SIZE,
                    TEXTURE_SIZE);
            abort();
        }
        return true;
    }
};

class FuzzFont : public QD_Font
{
public:
    int GetTextWidth(const char* aText) override { return int(strlen(aText)) * 8; }
    int GetHeight() override { return 12; }
    bool DrawText(int, int, const char*) override { return true; }
    bool DrawTextInRect(const char*, const QD_Rect&, int) override { return true; }
    bool DrawTextScaled(float, int, int, const char*) override { return true; }
    bool DrawTextRotated(float, int, int, const char*) override { return true; }
    bool DrawTextScaledRotated(float, float, int, int, const char*) override { return true; }
};

// Bitmaps only for files inside the scratch folder.
class FuzzFactory : public QD_Factory
{
public:
    QD_Bitmap* CreateBitmap(const char* aFileName) override
    {
        struct stat locStat;
        if (!aFileName || aFileName[0] == '/' || strstr(aFileName, "..") || stat(aFileName, &locStat) != 0 ||
            !S_ISREG(locStat.st_mode))
            return nullptr;
        return new FuzzBitmap;
    }
    QD_Font* CreateFont(const char* aFaceName, int) override { return aFaceName ? new FuzzFont : nullptr; }
    QD_Line* CreateLine() override { return nullptr; }
    bool Clear(const QD_Colour&) override { return true; }
    bool Present() override { return true; }
    int GetWidth() override { return 1024; }
    int GetHeight() override { return 768; }
    void Begin() override {}
    void End() override {}
};

const char* locText(VelkType* aWidget, const char* aName)
{
    VelkType* locFound = aWidget->FindMember(aName);
    return locFound ? locFound->GetValue().GetBuffer() : nullptr;
}

// As the layout editor holds them: within +-2^24 layout units.
int locInt(VelkType* aWidget, const char* aName)
{
    const int locLimit = 1 << 24;
    VelkType* locFound = aWidget->FindMember(aName);
    const int locValue = locFound ? locFound->GetValueAsInt() : 0;
    return locValue < -locLimit ? -locLimit : locValue > locLimit ? locLimit : locValue;
}

void locDrawWidget(FuzzFactory* aFactory, VelkType* aWidget)
{
    const char* locFile = locText(aWidget, "mySkinFile");
    const char* locName = locText(aWidget, "mySkin");
    // The skin file name stays fixed: the loader converts and writes beside it.
    if (!locFile || !locName || strcasecmp(locFile, "skins/main.tez") != 0)
        return;
    VAVE_GuiSkin* locSkin = VAVE_GuiSkin::Load(aFactory, "skins/main.tez", locName);
    if (!locSkin)
        return;
    for (const char* locMember : {"myPrefab", "myUpPrefab", "myCheckedPrefab", "myTitleBarUpPrefab"})
        if (const char* locPrefabName = locText(aWidget, locMember))
            if (const VAVE_GuiPrefab* locPrefab = locSkin->FindPrefab(locPrefabName))
                locPrefab->Draw(locSkin->GetTexture(), locInt(aWidget, "myXPos"), locInt(aWidget, "myYPos"),
                                locInt(aWidget, "myWidth"), locInt(aWidget, "myHeight"));
    if (const char* locFontName = locText(aWidget, "myFont"))
        locSkin->FindFont(locFontName);
    delete locSkin;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize > (1u << 16))
        return 0;
    static bool ourFilesWritten = false;
    if (!ourFilesWritten)
    {
        ourFilesWritten = true;
        const std::string locFruit = VAVE_TestData::Fruit(), locTexture = VAVE_TestData::TextureTGA();
        mkdir((FuzzScratch::Get() + "/skins").c_str(), 0755);
        FuzzScratch::Write("widgets.fruit", locFruit.data(), locFruit.size());
        FuzzScratch::Write("skins/skin.tga", locTexture.data(), locTexture.size());
    }
    VelkLog::SetErrorSwitch(false);
    const uint8_t* locSplit = static_cast<const uint8_t*>(memchr(aData, 0, aSize));
    const size_t locLayoutSize = locSplit ? size_t(locSplit - aData) : aSize;
    FuzzScratch::Write("menu.velk", aData, locLayoutSize);
    if (locSplit)
        FuzzScratch::Write("skins/main.velk", locSplit + 1, aSize - locLayoutSize - 1);
    else
    {
        const std::string locSkin = VAVE_TestData::MainSkinFile();
        FuzzScratch::Write("skins/main.velk", locSkin.data(), locSkin.size());
    }
    // The converted file of the last input would look newer than this one's text.
    unlink((FuzzScratch::Get() + "/skins/main.tez").c_str());
    unlink((FuzzScratch::Get() + "/skins/main.loc").c_str());

    FuzzScratch::Inside locInside;
    VelkTypeManager locTypes;
    VelkNameSpace locSpace;
    VelkCompiler::Compile(locSpace, "menu.velk", &locTypes, nullptr);
    QC_List<VelkType*> locRoots;
    locSpace.GetInstances(locRoots, true);
    FuzzFactory locFactory;
    int locWidgets = 0;
    for (auto* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkType* locList = locLink->myItem->FindMember("myWidgets");
        if (!locList)
            continue;
        for (auto* locWidget = locList->GetMembers().myFirstLink; locWidget && locWidgets < 64;
             locWidget = locWidget->myNext, locWidgets++)
            locDrawWidget(&locFactory, locWidget->myItem);
    }
    return 0;
}
