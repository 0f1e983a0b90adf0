// The editor scene's frames on the OpenGL device over llvmpipe, read back: the
// clear colour, the grid lines at their projected pixels, the model in its
// tint, the bone overlay and the statistics line.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/input/in_script.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"

// Allocations through operator new while counting is on. The sanitizers bring
// their own operator new: there the count is not taken.
#if defined(__SANITIZE_ADDRESS__)
#define ME_COUNTING_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ME_COUNTING_NEW 0
#endif
#endif
#ifndef ME_COUNTING_NEW
#define ME_COUNTING_NEW 1
#endif

#if ME_COUNTING_NEW
namespace
{
std::atomic<bool> ourCountingFlag{false};
std::atomic<int> ourNews{0};

void* locNew(size_t aSize)
{
    if (ourCountingFlag)
        ourNews++;
    return malloc(aSize ? aSize : 1);
}
} // namespace

void* operator new(size_t aSize)
{
    void* p = locNew(aSize);
    if (!p)
        abort();
    return p;
}
void* operator new[](size_t aSize)
{
    void* p = locNew(aSize);
    if (!p)
        abort();
    return p;
}
void* operator new(size_t aSize, const std::nothrow_t&) noexcept
{
    return locNew(aSize);
}
void* operator new[](size_t aSize, const std::nothrow_t&) noexcept
{
    return locNew(aSize);
}
void operator delete(void* p) noexcept
{
    free(p);
}
void operator delete[](void* p) noexcept
{
    free(p);
}
void operator delete(void* p, size_t) noexcept
{
    free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    free(p);
}
#endif

namespace
{

class EditorFrame : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/frames";
        std::filesystem::remove_all(myDir);
        std::filesystem::create_directories(myDir + "/data/pranvel");
        ASSERT_TRUE(QRT_WriteSampleFolder(myDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        setenv("Q_DRIVE_T", myDir.c_str(), 1);
        setenv("XDG_DATA_HOME", (myDir + "/data").c_str(), 1);
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        myScript->SetFocusWindow(true);
    }
    void TearDown() override
    {
        QRenderEditor::Destroy();
        myScript.reset();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        unsetenv("Q_DRIVE_T");
        unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(chdir(myOldDir), 0);
    }
    void Start()
    {
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
    }
    void Open()
    {
        QRB_TestModel m = MET_BoxModel();
        m.myRadius = 6.0f;
        QR_TemplateObject* t = MET_LoadModel(m);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(e->SetModel(t, "STND"));
    }
    std::vector<uint32_t> Frame()
    {
        e->Render();
        QR_Render* r = QR_Render::ourInstance;
        myWidth = r->myRenderSettings.myWidth;
        myHeight = r->myRenderSettings.myHeight;
        std::vector<uint32_t> p((size_t)myWidth * myHeight);
        EXPECT_TRUE(r->GrabFrontBuffer(p.data()));
        return p;
    }
    // The pixel a world point projects to.
    void Project(float x, float y, float z, int* aPx, int* aPy) const
    {
        const float* m = e->GetView()->myViewProjectionMatrix.myMatrix;
        float cx = x * m[0] + y * m[4] + z * m[8] + m[12];
        float cy = x * m[1] + y * m[5] + z * m[9] + m[13];
        float cw = x * m[3] + y * m[7] + z * m[11] + m[15];
        *aPx = (int)lroundf((cx / cw * 0.5f + 0.5f) * myWidth - 0.5f);
        *aPy = (int)lroundf((0.5f - cy / cw * 0.5f) * myHeight - 0.5f);
    }
    // Whether aColor lies within a pixel of (x, y).
    bool Near(const std::vector<uint32_t>& p, int x, int y, uint32_t aColor) const
    {
        for (int dy = -1; dy <= 1; dy++)
            for (int dx = -1; dx <= 1; dx++)
            {
                int px = x + dx, py = y + dy;
                if (px >= 0 && py >= 0 && px < myWidth && py < myHeight && p[(size_t)py * myWidth + px] == aColor)
                    return true;
            }
        return false;
    }
    int Count(const std::vector<uint32_t>& p, uint32_t aColor) const
    {
        int n = 0;
        for (uint32_t c : p)
            n += c == aColor;
        return n;
    }
    // In the per-user data folder: a font of digits, the letters of the statistics line, ':' and a space:
    // glyphs 3 pixels wide, 8 high, one empty column between them.
    void WriteFont()
    {
        const std::string locNames = "0123456789TriVertDawcalsxmb: ";
        int w = (int)locNames.size() * 4;
        std::vector<uint32_t> p((size_t)w * 8, 0);
        for (size_t g = 0; g < locNames.size(); g++)
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 3; x++)
                    p[(size_t)y * w + g * 4 + x] = 0xFFFFFFFF;
        QRT_WriteFile(myDir + "/data/pranvel/stats_font.tga", QRT_MakeTGA(w, 8, 32, p, true, false));
        QRT_WriteText(myDir + "/data/pranvel/stats_font.txt", locNames + "\r\n");
    }

    QRenderEditor* e = nullptr;
    std::unique_ptr<IN_Script> myScript;
    std::string myDir;
    int myWidth = 0, myHeight = 0;
    char myOldDir[4096];
};

TEST_F(EditorFrame, WithoutAModelOnlyTheBackground)
{
    WriteFont();
    Start();
    ASSERT_FALSE(QRenderEditor::Create());
    e->SetBgColor(0x204060);
    std::vector<uint32_t> p = Frame();
    EXPECT_EQ(Count(p, 0xFF204060), myWidth * myHeight);
}

TEST_F(EditorFrame, GridAxesModelTintAndStatistics)
{
    Start();
    e->SetBgColor(0x000000);
    e->SetObjectColor(0, 0x3060C0);
    Open();
    e->RotateCameraPitch(0.6f);
    std::vector<uint32_t> p = Frame();
    int x, y;
    // The z axis (x = 0) and the x axis (z = 0) in the darker grey.
    Project(0.0f, 0.0f, 5.0f, &x, &y);
    EXPECT_TRUE(Near(p, x, y, 0xFF7F7F7F)) << x << "," << y;
    Project(-5.0f, 0.0f, 0.0f, &x, &y);
    EXPECT_TRUE(Near(p, x, y, 0xFF7F7F7F)) << x << "," << y;
    // Other lines in the lighter one.
    Project(3.0f, 0.0f, 5.5f, &x, &y);
    EXPECT_TRUE(Near(p, x, y, 0xFF9F9F9F)) << x << "," << y;
    Project(-7.5f, 0.0f, 4.0f, &x, &y);
    EXPECT_TRUE(Near(p, x, y, 0xFF9F9F9F)) << x << "," << y;
    // The box in its tint.
    Project(0.0f, 0.5f, 0.0f, &x, &y);
    EXPECT_EQ(p[(size_t)y * myWidth + x], 0xFF3060C0u);
    EXPECT_GT(Count(p, 0xFF3060C0), 100);

    // The counters less the grid: the box alone (both windings) is 24 triangles, 24 vertices, 1 draw.
    char t[128];
    ASSERT_TRUE(e->FormatStatistics(t, sizeof(t)));
    EXPECT_STREQ(t, "Tri: 24\tVert: 24\tDraw calls: 1\tTex mem: 0mb");
    // Without the grid the overlay's share is the smaller one.
    e->myGridEnable = false;
    p = Frame();
    EXPECT_EQ(Count(p, 0xFF9F9F9F), 0);
    EXPECT_GT(Count(p, 0xFF3060C0), 100);
}

TEST_F(EditorFrame, BoneOverlayDrawsAPartsAxis)
{
    Start();
    e->SetBgColor(0x000000);
    Open();
    e->myGridEnable = false;
    e->RotateCameraPitch(0.6f);
    QRenderEditorBoneLine l[2] = {{1.0f, 0xFFFF0000}, {3.0f, 0xFF00FF00}};
    ASSERT_TRUE(e->SetBoneLines(l, 2));
    std::vector<uint32_t> p = Frame();
    EXPECT_EQ(Count(p, 0xFF00FF00), 0);
    e->myBoneOverlay = true;
    p = Frame();
    // Only the arm has a parent: its line runs from its position along its third row.
    EXPECT_GT(Count(p, 0xFF00FF00), 5);
    EXPECT_EQ(Count(p, 0xFFFF0000), 0);
}

TEST_F(EditorFrame, StatisticsLineDrawnWithTheFont)
{
    WriteFont();
    Start();
    e->SetBgColor(0x000000);
    e->SetObjectColor(0, 0x3060C0);
    Open();
    std::vector<uint32_t> p = Frame();
    int locWhite = 0;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 200; x++)
            locWhite += (p[(size_t)y * myWidth + x] & 0xFFFFFF) == 0xFFFFFF;
    EXPECT_GT(locWhite, 50);
}

TEST_F(EditorFrame, AfterTheFirstFrameRenderAllocatesNothing)
{
#if ME_COUNTING_NEW
    WriteFont();
    Start();
    auto locCount = [&](int aFrames) {
        e->Render();
        ourNews = 0;
        ourCountingFlag = true;
        for (int i = 0; i < aFrames; i++)
            e->Render();
        ourCountingFlag = false;
        return ourNews.load();
    };
    EXPECT_EQ(locCount(5), 0); // the clear alone
    Open();
    e->SetDirectionalLight(0.3f, 0.4f, 1.0f, 1.0f, 1.0f);
    QRenderEditorBoneLine l[2] = {{1.0f, 0xFFFF0000}, {3.0f, 0xFF00FF00}};
    ASSERT_TRUE(e->SetBoneLines(l, 2));
    e->myBoneOverlay = true;
    // Grid, model, bones and the statistics line.
    EXPECT_EQ(locCount(5), 0);
    e->myLightVectorColoring = true;
    e->myCacheRendering = false;
    EXPECT_EQ(locCount(5), 0);
#else
    GTEST_SKIP() << "the sanitizers count allocations themselves";
#endif
}

TEST_F(EditorFrame, LightVectorColouringTintsByTheLightInViewSpace)
{
    Start();
    e->SetBgColor(0x000000);
    e->SetObjectColor(0, 0x3060C0);
    Open();
    e->myGridEnable = false;
    e->RotateCameraHeading(-0.7f);
    e->RotateCameraPitch(0.3f);
    ASSERT_TRUE(e->SetDirectionalLight(1.1f, 0.5f, 1.0f, 1.0f, 1.0f));
    e->myLightVectorColoring = true;
    e->myLightVectorScale = 0.8f;
    std::vector<uint32_t> p = Frame();
    // The light's direction seen from the camera: along its side, up and forward rows.
    const float* d = e->GetLight()->myDirection;
    const float* m = e->GetView()->myCamera.myMatrix.myMatrix;
    uint32_t locExpected = 0;
    for (int i = 0; i < 3; i++)
    {
        float v = d[0] * m[4 * i] + d[1] * m[4 * i + 1] + d[2] * m[4 * i + 2];
        locExpected = locExpected << 8 | (uint32_t)(int)(v * 0.8f * 127.0f + 128.0f);
    }
    EXPECT_NE(locExpected, 0x3060C0u);
    EXPECT_EQ(e->GetInstance()->myColor & 0xFFFFFF, locExpected);
    EXPECT_GT(Count(p, 0xFF000000 | locExpected), 100);
    EXPECT_EQ(Count(p, 0xFF3060C0), 0);
    // Off again: the tint.
    e->myLightVectorColoring = false;
    p = Frame();
    EXPECT_GT(Count(p, 0xFF3060C0), 100);
    // Without a light the vector is zero: mid grey.
    e->TogglePointLight();
    e->myLightVectorColoring = true;
    p = Frame();
    EXPECT_EQ(e->GetInstance()->myColor & 0xFFFFFF, 0x808080u);
    EXPECT_GT(Count(p, 0xFF808080), 100);
}

} // namespace
