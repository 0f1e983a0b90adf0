// A LightWave object opened by the editor scene and drawn on the OpenGL device
// over llvmpipe: the model covers the middle of the frame, not its corners.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "lw_test_util.h"
#include "modeleditor/qrendereditor.h"
#include "platform/input/in_script.h"
#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"

namespace
{
TEST(LWBuildFrames, AnOpenedObjectIsDrawn)
{
    const std::string locDir = std::string(Q_TEST_TMP_DIR) + "/lwframes";
    std::filesystem::remove_all(locDir);
    std::filesystem::create_directories(locDir);
    char locOld[4096];
    ASSERT_TRUE(getcwd(locOld, sizeof(locOld)));
    ASSERT_EQ(chdir(locDir.c_str()), 0);
    LWO2Writer w;
    w.Tags({"Default"});
    w.Layer(0, "cube");
    WriteCube(w, 0.5f);
    w.BeginSurface("Default");
    w.EndSurface();
    ASSERT_TRUE(w.Save("cube.lwo"));
    auto locScript = std::make_unique<IN_Script>();
    locScript->AddKeyboard();
    ASSERT_TRUE(QRenderEditor::Create());
    QRenderEditor* e = QRenderEditor::ourInstance;
    e->myGridEnable = false;
    e->SetBgColor(0x203040);
    ASSERT_TRUE(e->OpenScene("cube.lwo", "cube", "STND"));
    QR_Render* r = QR_Render::ourInstance;
    const uint32_t locWidth = r->myRenderSettings.myWidth, locHeight = r->myRenderSettings.myHeight;
    std::vector<uint32_t> p((size_t)locWidth * locHeight);
    for (int k = 0; k < 3; k++)
        ASSERT_TRUE(e->Render());
    ASSERT_TRUE(r->GrabFrontBuffer(p.data()));
    EXPECT_NE(p[(size_t)(locHeight / 2) * locWidth + locWidth / 2] & 0xFFFFFF, 0x203040u);
    // Around it the clear colour still shows.
    size_t locClear = 0;
    for (uint32_t c : p)
        locClear += (c & 0xFFFFFF) == 0x203040u;
    EXPECT_GT(locClear, p.size() / 50); // the camera stands close: the model fills most
    EXPECT_LT(locClear, p.size() * 9 / 10);
    QRenderEditor::Destroy();
    locScript.reset();
    QR_Surface::DestroyAll();
    QR_Texture::DestroyAll();
    EXPECT_EQ(chdir(locOld), 0);
}
} // namespace
