// An exported model read back by the renderer draws the same pixels as the
// template it was written from (OpenGL on llvmpipe).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_qrbmodel.h"
#include "platform/input/in_script.h"
#include "qrender/qr_render.h"
#include "qrender/qr_texture.h"

namespace
{

TEST(QRBWriterFrames, ReadBackTemplateDrawsTheSamePixels)
{
    std::string locDir = std::string(Q_TEST_TMP_DIR) + "/qrbframes";
    std::filesystem::remove_all(locDir);
    std::filesystem::create_directories(locDir);
    ASSERT_TRUE(QRT_WriteSampleFolder(locDir));
    char locOldDir[4096];
    ASSERT_TRUE(getcwd(locOldDir, sizeof(locOldDir)));
    ASSERT_EQ(chdir(locDir.c_str()), 0);
    std::unique_ptr<IN_Script> locScript(new IN_Script);
    locScript->AddKeyboard();
    locScript->SetFocusWindow(true);
    ASSERT_TRUE(QRenderEditor::Create());
    QRenderEditor* e = QRenderEditor::ourInstance;
    e->SetBgColor(0x102030);
    e->myGridEnable = false;

    auto locFrame = [&]() {
        e->Render();
        QR_Render* r = QR_Render::ourInstance;
        std::vector<uint32_t> p((size_t)r->myRenderSettings.myWidth * r->myRenderSettings.myHeight);
        EXPECT_TRUE(r->GrabFrontBuffer(p.data()));
        return p;
    };

    QR_TemplateObject* a = MET_BuildSharedMeshTemplate("built", "surfaces/stone.sur");
    ASSERT_NE(a, nullptr);
    // The second part beside the first, with a slot of its own on the shared mesh.
    MET_ConstantPath(a->myParts[1].myStates[0].myPath, {1.2f, 0.3f, 0, 0.4f, 0.7f, 0});
    a->myParts[1].myStates[0].myParent = -1;
    a->myParts[1].myTextureNames = new QR_TextureNames[1];
    a->myParts[1].myTextureNames[0].SetNames(1);
    a->myParts[1].myTextureNames[0].myNames[0] = "textures/wood";
    a->myParts[1].myNumTextureNames = 1;
    ASSERT_TRUE(e->SetModel(a, "STND"));
    std::vector<uint32_t> locBuilt = locFrame();
    ASSERT_TRUE(e->ExportQRB("frames.qrb"));

    e->ClearModel();
    QR_TemplateObject* b = QR_TemplateObject::Acquire("frames.qrb");
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(e->SetModel(b, "STND"));
    std::vector<uint32_t> locRead = locFrame();

    size_t locDrawn = 0, locDiffering = 0;
    for (size_t i = 0; i < locBuilt.size(); i++)
    {
        locDrawn += (locBuilt[i] & 0xFFFFFF) != 0x102030;
        locDiffering += locBuilt[i] != locRead[i];
    }
    EXPECT_GT(locDrawn, 2000u);
    EXPECT_EQ(locDiffering, 0u);

    QRenderEditor::Destroy();
    locScript.reset();
    QR_Surface::DestroyAll();
    QR_Texture::DestroyAll();
    EXPECT_EQ(chdir(locOldDir), 0);
}

} // namespace
