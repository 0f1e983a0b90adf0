// LightWave objects opened by the editor scene and drawn on the OpenGL device over
// llvmpipe: objects of our writer and real ones of Debian's assimp-testmodels, with and
// without textures, in the scene's start-up settings (black clear, grid off).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "lw_test_util.h"
#include "modeleditor/qrendereditor.h"
#include "platform/input/in_script.h"
#include "qcommon/tests/qc_debug_lines.h"
#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_image_writers.h"

namespace fs = std::filesystem;

namespace
{
class LWBuildFrames : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / "lwframes";
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        myScript = std::make_unique<IN_Script>();
        myScript->AddKeyboard();
    }
    void TearDown() override
    {
        Close();
        myScript.reset();
        EXPECT_EQ(chdir(myOldDir), 0);
    }
    // A new scene as the program starts it, the grid off, with the object opened.
    void Open(const char* aFileName, uint32_t aBgColor = 0)
    {
        Close();
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
        e->myGridEnable = false;
        e->SetBgColor(aBgColor);
        ASSERT_TRUE(e->OpenScene(aFileName, "model", "STND")) << aFileName << ": " << QRenderEditor::GetErrorDetail();
    }
    void Close()
    {
        if (!e)
            return;
        QRenderEditor::Destroy();
        e = nullptr;
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
    }
    std::vector<uint32_t> Frame()
    {
        QR_Render* r = QR_Render::ourInstance;
        std::vector<uint32_t> p((size_t)r->myRenderSettings.myWidth * r->myRenderSettings.myHeight);
        for (int k = 0; k < 2; k++)
            EXPECT_TRUE(e->Render());
        EXPECT_TRUE(r->GrabFrontBuffer(p.data()));
        return p;
    }
    // The share of pixels brighter than a dark grey in any channel.
    static double LitShare(const std::vector<uint32_t>& p)
    {
        size_t n = 0;
        for (uint32_t c : p)
            n += ((c >> 16) & 0xFF) > 24 || ((c >> 8) & 0xFF) > 24 || (c & 0xFF) > 24;
        return p.empty() ? 0.0 : double(n) / double(p.size());
    }
    // Copies a file of assimp-testmodels here; false when the package is absent.
    bool CopyAssimp(const char* aName)
    {
        fs::path locSource = fs::path(Q_ASSIMP_MODELS) / aName;
        std::error_code locError;
        return fs::copy_file(locSource, myDir / locSource.filename(), fs::copy_options::overwrite_existing, locError);
    }

    fs::path myDir;
    char myOldDir[4096];
    std::unique_ptr<IN_Script> myScript;
    QRenderEditor* e = nullptr;
};

TEST_F(LWBuildFrames, AnOpenedObjectIsDrawn)
{
    LWO2Writer w;
    w.Tags({"Default"});
    w.Layer(0, "cube");
    WriteCube(w, 0.5f);
    w.BeginSurface("Default");
    w.EndSurface();
    ASSERT_TRUE(w.Save("cube.lwo"));
    Open("cube.lwo", 0x203040);
    std::vector<uint32_t> p = Frame();
    const uint32_t locWidth = QR_Render::ourInstance->myRenderSettings.myWidth;
    const uint32_t locHeight = QR_Render::ourInstance->myRenderSettings.myHeight;
    EXPECT_NE(p[(size_t)(locHeight / 2) * locWidth + locWidth / 2] & 0xFFFFFF, 0x203040u);
    // Around it the clear colour still shows.
    size_t locClear = 0;
    for (uint32_t c : p)
        locClear += (c & 0xFFFFFF) == 0x203040u;
    EXPECT_GT(locClear, p.size() / 50); // the camera stands close: the model fills most
    EXPECT_LT(locClear, p.size() * 9 / 10);
    // In the start-up tint the untextured cube is lit, not black on the clear colour.
    size_t locBlack = 0;
    for (uint32_t c : p)
        locBlack += (c & 0xFFFFFF) == 0;
    EXPECT_EQ(locBlack, 0u);
}

TEST_F(LWBuildFrames, RealObjectsWithoutTexturesShowLit)
{
    // Surfaces with colours, gradients, transparency and gloss but no image; one with a
    // hierarchy of layers, one whose polygons are not planar.
    const char* locNames[] = {"LWO/LWO2/hierarchy.lwo",
                              "LWO/LWO2/hierarchy_smoothed.lwo",
                              "LWO/LWO2/sphere_with_gradient.lwo",
                              "LWO/LWO2/transparency.lwo",
                              "LWO/LWO2/sphere_with_mat_gloss_10pc.lwo",
                              "LWO/LWO2/nonplanar_polygon.lwo",
                              "LWO/LWO2/ModoExport_vertNormals.lwo",
                              "LWS/simple_cube.lwo"};
    for (const char* locName : locNames)
    {
        SCOPED_TRACE(locName);
        if (!CopyAssimp(locName))
            GTEST_SKIP() << "assimp-testmodels is not installed (" << locName << ")";
        Open(fs::path(locName).filename().c_str());
        EXPECT_GT(LitShare(Frame()), 0.1);
    }
}

TEST_F(LWBuildFrames, AnObjectWhoseTextureCannotBeReadShowsUntexturedAndSaysWhy)
{
    // uvtest.lwo maps uvtest.png, an image the renderer does not read; the part names the
    // texture by its base name (upper-cased, no extension), as for every LightWave texture.
    if (!CopyAssimp("LWO/LWO2/uvtest.lwo"))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    DebugLines locLog;
    Open("uvtest.lwo");
    EXPECT_GT(LitShare(Frame()), 0.1);
    size_t locNamed = 0;
    for (const std::string& l : locLog.myLines)
        locNamed += l.find("texture 'UVTEST' cannot be made") != std::string::npos;
    EXPECT_GT(locNamed, 0u) << testing::PrintToString(locLog.myLines);
}

TEST_F(LWBuildFrames, ATexturedObjectDrawsTheSameWhateverTheTint)
{
    // A cube textured from a TGA of four colours: the texture times the light, the tint
    // read by untextured parts only.
    const uint32_t locColours[4] = {0xFF2080C0, 0xFFC04020, 0xFF40C040, 0xFFE0E0E0};
    std::vector<uint32_t> locTexels(16 * 16);
    for (size_t i = 0; i < locTexels.size(); i++)
        locTexels[i] = locColours[(i / 16 < 8 ? 0 : 2) + (i % 16 < 8 ? 0 : 1)];
    fs::create_directories("images");
    ASSERT_TRUE(QRT_WriteFile("images/four.tga", QRT_MakeTGA(16, 16, 32, locTexels, true, false)));
    LWO2Writer w;
    w.Tags({"Four"});
    w.Layer(0, "cube");
    WriteCube(w, 0.5f);
    std::vector<LWO2Writer::MapEntry> locUVs;
    for (uint32_t k = 0; k < 8; k++)
        locUVs.push_back({k, 0, {float(k & 1), float((k >> 1) & 1)}});
    w.VertexMap("TXUV", 2, "UV", locUVs);
    w.StillClip(1, "images/four.tga");
    w.BeginSurface("Four");
    w.SurfaceBlock({});
    w.EndSurface();
    ASSERT_TRUE(w.Save("four.lwo"));

    Open("four.lwo");
    std::vector<uint32_t> locDefault = Frame();
    EXPECT_GT(LitShare(locDefault), 0.1);
    for (uint32_t locTint : {0x000000u, 0x3060C0u})
    {
        e->SetObjectColor(0, locTint);
        std::vector<uint32_t> p = Frame();
        size_t locDiffering = 0;
        for (size_t i = 0; i < p.size(); i++)
            locDiffering += p[i] != locDefault[i];
        EXPECT_EQ(locDiffering, 0u) << std::hex << locTint;
    }
}
TEST_F(LWBuildFrames, VertexColouredBoxIsDrawn)
{
    // Its surface names its vertex colour map as RGB while the map is stored as RGBA with
    // every alpha 0; its colour image white.bmp is not there, so the part is drawn without
    // its surface, blended by the vertex alpha.
    if (!CopyAssimp("LWO/LWO2/box_2vc_1unused.lwo"))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    for (uint32_t locClear : {0x000000u, 0x808080u})
    {
        SCOPED_TRACE(locClear);
        DebugLines locLog;
        Open("box_2vc_1unused.lwo", locClear);
        // Stepped back, so the whole box shows with the clear colour around it.
        e->ZoomCamera(e->GetCameraDistance() * 0.5f);
        std::vector<uint32_t> p = Frame();
        size_t locDrawn = 0, locPurple = 0;
        for (uint32_t c : p)
        {
            locDrawn += (c & 0xFFFFFF) != locClear;
            // The map's own colours: red and blue well above green.
            const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            locPurple += std::max(r, b) > g + 64;
        }
        EXPECT_GT(locDrawn, p.size() / 10) << testing::PrintToString(locLog.myLines);
        EXPECT_LT(locDrawn, p.size() * 9 / 10);
        EXPECT_GT(locPurple, locDrawn / 2);
    }
}
} // namespace
