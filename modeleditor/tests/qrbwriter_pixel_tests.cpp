// An exported model read back by the renderer draws the same pixels as the
// template it was written from, built in memory or opened from LightWave files
// (OpenGL on llvmpipe).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_lwfixture.h"
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

    // A settled frame: states blend in over their blend time, so frames are taken
    // until two in a row agree.
    auto locFrame = [&]() {
        QR_Render* r = QR_Render::ourInstance;
        std::vector<uint32_t> p((size_t)r->myRenderSettings.myWidth * r->myRenderSettings.myHeight), q;
        for (int i = 0; i < 40 && p != q; i++)
        {
            q = p;
            usleep(50000);
            e->Render();
            EXPECT_TRUE(r->GrabFrontBuffer(p.data()));
        }
        EXPECT_EQ(p, q) << "the frames did not settle";
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

    // A model opened from LightWave files (textured and plain batches, a skinned arm,
    // levels of detail) the same way.
    e->ClearModel();
    ASSERT_TRUE(MET_WriteShipFiles());
    ASSERT_TRUE(e->OpenScene("ship.lws", "ship", "STND")) << EditorError::GetDetail();
    // Particles are random: the emitter goes.
    while (e->GetTemplate()->myNumLinks)
        ASSERT_TRUE(e->RemoveParticleEmitter(0));
    // The front faces look along +z: the camera goes round to them, and stays there.
    e->RotateCameraHeading(3.14159265f);
    e->myRefreshing = true;
    e->myDontResetCameraOnRefresh = true;
    std::vector<uint32_t> locOpened = locFrame();
    ASSERT_TRUE(e->ExportQRB("ship.qrb"));
    e->ClearModel();
    b = QR_TemplateObject::Acquire("ship.qrb");
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(e->SetModel(b, "STND"));
    std::vector<uint32_t> locShip = locFrame();
    locDrawn = locDiffering = 0;
    for (size_t i = 0; i < locOpened.size(); i++)
    {
        locDrawn += (locOpened[i] & 0xFFFFFF) != 0x102030;
        locDiffering += locOpened[i] != locShip[i];
    }
    EXPECT_GT(locDrawn, 2000u);
    EXPECT_EQ(locDiffering, 0u);

    QRenderEditor::Destroy();
    LWCache::Clear();
    locScript.reset();
    QR_Surface::DestroyAll();
    QR_Texture::DestroyAll();
    EXPECT_EQ(chdir(locOldDir), 0);
}

} // namespace
