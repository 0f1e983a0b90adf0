// Drawing figures of the GUI editors: a layout of 200 widgets with nine-part
// prefabs from a 1024 x 1024 texture drawn and presented per frame, and the
// skin editor at zoom 4 over the same texture; each beside the same copies
// made with QPainter straight into a QImage in the same run.
#include "bench/draw_bench_gui.h"
#include "bench/draw_bench_pane.h"

#include <QImage>
#include <QPainter>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "qdrawgdi/qdgdi.h"
#include "qdrawgdi/tests/qdgdi_tga_writer.h"
#include "va_velkeditors/tests/vave_gui_testdata.h"
#include "va_velkeditors/vave_guieditor.h"
#include "va_velkeditors/vave_guiskin.h"
#include "va_velkeditors/vave_guiskineditor.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
constexpr int GUI_PANE_WIDTH = 1024;
constexpr int GUI_PANE_HEIGHT = 768;
constexpr int TEXTURE_SIDE = 1024;
constexpr int TILE = 128;  // one prefab per tile of the texture
constexpr int BORDER = 16; // its borders
constexpr int NUM_WIDGETS = 200;

// The baseline's texture: every copy a prefab asks for, drawn by one painter.
class PainterBitmap : public QD_Bitmap
{
  public:
    explicit PainterBitmap(const QImage& anImage) : myImage(anImage) {}
    int GetWidth() override { return myImage.width(); }
    int GetHeight() override { return myImage.height(); }
    bool Blit(int x, int y, int w, int h, int sx, int sy) override
    {
        myPainter->drawImage(QPoint(x, y), myImage, QRect(sx, sy, w, h));
        return true;
    }
    bool BlitStretch(int x, int y, int w, int h, int sx, int sy, int sw, int sh) override
    {
        myPainter->drawImage(QRect(x, y, w, h), myImage, QRect(sx, sy, sw, sh));
        return true;
    }
    bool BlitRotate(int, int, float) override { return false; }
    bool BlitStretchRotate(int, int, int, int, float) override { return false; }

    QImage myImage;
    QPainter* myPainter = nullptr;
};

struct GuiFiles
{
    std::filesystem::path myDir;
    std::vector<VAVE_GuiPrefab> myPrefabs;        // as the skin file holds them
    std::vector<std::pair<int, QRect>> myWidgets; // prefab index, screen rectangle
    QImage myTexture;                             // the TGA's pixels, for the baseline
};

// Texture, skin file and layout in a scratch folder; false when they cannot be written.
bool WriteGuiFiles(GuiFiles& aFiles)
{
    using namespace VAVE_TestData;
    aFiles.myDir = std::filesystem::temp_directory_path() / ("draw_bench_gui_" + std::to_string(getpid()));
    std::filesystem::create_directories(aFiles.myDir);
    QDGDI_TestTGA locTga;
    locTga.myWidth = locTga.myHeight = TEXTURE_SIDE;
    locTga.myBits = 32;
    locTga.myPixels.resize(size_t(TEXTURE_SIDE) * TEXTURE_SIDE);
    for (int y = 0; y < TEXTURE_SIDE; y++)
        for (int x = 0; x < TEXTURE_SIDE; x++)
            locTga.myPixels[size_t(y) * TEXTURE_SIDE + x] =
                0xFF000000u | uint32_t(x * 0x00010101 ^ y * 0x00030507);
    aFiles.myTexture =
        QImage((const uchar*)locTga.myPixels.data(), TEXTURE_SIDE, TEXTURE_SIDE, QImage::Format_RGB32).copy();
    const std::vector<uint8_t> locBytes = locTga.Write();
    std::ofstream(aFiles.myDir / "skin.tga", std::ios::binary)
        .write((const char*)locBytes.data(), locBytes.size());

    std::string locPrefabs;
    const int locTiles = TEXTURE_SIDE / TILE;
    for (int i = 0; i < locTiles * locTiles; i++)
    {
        const int x = (i % locTiles) * TILE, z = (i / locTiles) * TILE;
        VAVE_GuiPrefab p;
        p.myStartX = x, p.myStartZ = z, p.myEndX = x + TILE, p.myEndZ = z + TILE;
        p.myInnerStartX = x + BORDER, p.myInnerStartZ = z + BORDER;
        p.myInnerEndX = x + TILE - BORDER, p.myInnerEndZ = z + TILE - BORDER;
        aFiles.myPrefabs.push_back(p);
        locPrefabs += Prefab(("p" + std::to_string(i)).c_str(), p.myStartX, p.myStartZ, p.myEndX, p.myEndZ,
                             p.myInnerStartX, p.myInnerStartZ, p.myInnerEndX, p.myInnerEndZ);
    }
    std::ofstream(aFiles.myDir / "widgets.fruit", std::ios::binary) << Fruit();
    std::ofstream(aFiles.myDir / "skin.velk", std::ios::binary) << SkinFile(
        "widgets.fruit", Skin("main", "skin.tga", "skin.tga", locPrefabs, Font("text", "arial", 200000)));

    // 20 columns x 10 rows of 40 x 60 pixels, each a nine-part widget.
    std::string locWidgets;
    for (int i = 0; i < NUM_WIDGETS; i++)
    {
        const int locPrefab = i % (locTiles * locTiles);
        const int x = (i % 20) * 800, y = (i / 20) * 1200;
        const std::string locBox = "myXPos " + std::to_string(x) + "\nmyYPos " + std::to_string(y) +
                                   "\nmyWidth 760\nmyHeight 1100\nmySkinFile skin.tez\nmySkin main\n";
        const std::string locName = "p" + std::to_string(locPrefab);
        locWidgets += i % 2 ? Widget("VAP_Plate", "w" + std::to_string(i), locBox + "myPrefab " + locName)
                            : Widget("VAP_Button", "w" + std::to_string(i),
                                     locBox + "myUpPrefab " + locName + "\nmyFont text\nmyText OK");
        aFiles.myWidgets.push_back({locPrefab, QRect(x / 20, y / 20, 38, 55)});
    }
    std::ofstream(aFiles.myDir / "layout.velk", std::ios::binary)
        << Gui("widgets.fruit", "layout", locWidgets);
    return std::filesystem::exists(aFiles.myDir / "layout.velk");
}

struct Figures
{
    double myEditorMs;
    double myBaseMs;
};

void PrintFigures(const char* aTitle, const Figures& aFigures)
{
    printf("%s\n", aTitle);
    printf("  editor draw + present : %8.3f ms/frame  %8.1f frames/s\n", aFigures.myEditorMs,
           1000.0 / aFigures.myEditorMs);
    printf("  QPainter copies       : %8.3f ms/frame  %8.1f frames/s  (baseline)\n", aFigures.myBaseMs,
           1000.0 / aFigures.myBaseMs);
    printf("  ratio editor/baseline : %8.2f\n", aFigures.myEditorMs / aFigures.myBaseMs);
}
} // namespace

int DrawBenchGui(int aFrames)
{
    GuiFiles locFiles;
    char locOldDir[4096];
    if (!getcwd(locOldDir, sizeof(locOldDir)) || !WriteGuiFiles(locFiles) ||
        chdir(locFiles.myDir.c_str()) != 0)
    {
        fprintf(stderr, "draw_bench: the GUI files could not be written\n");
        return 1;
    }
    VelkTypeManager locTypes;
    VelkNameSpace locLayout, locSkins;
    DrawBenchPane locPane(GUI_PANE_WIDTH, GUI_PANE_HEIGHT);
    int locResult = 1;
    if (!locTypes.Compile("widgets.fruit") ||
        !VelkCompiler::Compile(locLayout, "layout.velk", &locTypes, nullptr) ||
        !VelkCompiler::Compile(locSkins, "skin.velk", &locTypes, nullptr))
        fprintf(stderr, "draw_bench: the GUI files do not compile\n");
    else
    {
        std::unique_ptr<VAVE_GuiEditor> locEditor(
            VAVE_GuiEditor::Create(locLayout.GetInstance("layout", true), &locPane));
        VelkType* locSkin = locSkins.GetInstance("mySkinFile.mySkins.main", true);
        std::unique_ptr<VAVE_GuiSkinEditor> locSkinEditor(VAVE_GuiSkinEditor::Create(locSkin, &locPane));
        if (!locEditor || locEditor->GetNumSkins() != 1 || !locSkinEditor)
            fprintf(stderr, "draw_bench: the GUI editors could not be made\n");
        else
        {
            locResult = 0;
            PainterBitmap locBitmap(locFiles.myTexture);
            QImage locTarget(GUI_PANE_WIDTH, GUI_PANE_HEIGHT, QImage::Format_RGB32);
            // One frame of each first, so fonts and caches are warm.
            locEditor->Draw(true);
            auto locStart = std::chrono::steady_clock::now();
            for (int i = 0; i < aFrames; i++)
                locEditor->Draw(true);
            Figures locLayoutFigures{DrawBenchSeconds(locStart) * 1000.0 / aFrames, 0};
            locStart = std::chrono::steady_clock::now();
            for (int i = 0; i < aFrames; i++)
            {
                locTarget.fill(Qt::black);
                QPainter locPainter(&locTarget);
                locBitmap.myPainter = &locPainter;
                for (const auto& locWidget : locFiles.myWidgets)
                    locFiles.myPrefabs[locWidget.first].Draw(&locBitmap, locWidget.second.x(),
                                                             locWidget.second.y(), locWidget.second.width(),
                                                             locWidget.second.height());
            }
            locLayoutFigures.myBaseMs = DrawBenchSeconds(locStart) * 1000.0 / aFrames;

            VAVE_GuiSkinEditor::SetView(4, 0, 0);
            locSkinEditor->Draw(true);
            locStart = std::chrono::steady_clock::now();
            for (int i = 0; i < aFrames; i++)
                locSkinEditor->Draw(true);
            Figures locSkinFigures{DrawBenchSeconds(locStart) * 1000.0 / aFrames, 0};
            locStart = std::chrono::steady_clock::now();
            for (int i = 0; i < aFrames; i++)
            {
                QPainter locPainter(&locTarget);
                locBitmap.myPainter = &locPainter;
                locBitmap.BlitStretch(0, 0, TEXTURE_SIDE * 4, TEXTURE_SIDE * 4, 0, 0, TEXTURE_SIDE,
                                      TEXTURE_SIDE);
            }
            locSkinFigures.myBaseMs = DrawBenchSeconds(locStart) * 1000.0 / aFrames;

            char locTitle[160];
            snprintf(locTitle, sizeof(locTitle),
                     "GUI layout: %d nine-part widgets from a %dx%d texture, pane %dx%d, %d frames",
                     NUM_WIDGETS, TEXTURE_SIDE, TEXTURE_SIDE, GUI_PANE_WIDTH, GUI_PANE_HEIGHT, aFrames);
            PrintFigures(locTitle, locLayoutFigures);
            snprintf(locTitle, sizeof(locTitle),
                     "GUI skin editor: zoom 4 over the same texture with %d prefabs, %d frames",
                     int(locFiles.myPrefabs.size()), aFrames);
            PrintFigures(locTitle, locSkinFigures);
        }
    }
    if (chdir(locOldDir) != 0)
        locResult = 1;
    std::error_code locError;
    std::filesystem::remove_all(locFiles.myDir, locError);
    return locResult;
}
