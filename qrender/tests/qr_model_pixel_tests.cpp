// Sample models placed and drawn through a view on the OpenGL device over llvmpipe: an
// animated model at fixed times compared by pixel statistics (where its pixels lie, how
// many), a skinned arm and a brazier with its particles.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "qinput/qi_time.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"
#include "qrender/tests/qr_gl_test_util.h"
#include "qrender/tests/qr_sample_models.h"

namespace
{

const int WIDTH = 96, HEIGHT = 64;
const uint32_t BACKGROUND = 0x000000;

// Pixels that are not the background: their number and their mean column and row.
struct Coverage
{
    int myCount = 0;
    double myX = 0, myY = 0;
};

class ModelPixel : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string locDir = std::string(Q_TEST_TMP_DIR) + "/samples";
        std::filesystem::remove_all(locDir);
        ASSERT_TRUE(QRT_WriteSampleFolder(locDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(locDir.c_str()), 0);
        ASSERT_TRUE(QRT_StartGL(WIDTH, HEIGHT));
        myView = new QR_View(64, nullptr, 64);
        myView->myCamera.myMatrix.SetTranslation(0, 0.5f, -5.0f);
        QI_Time::ourFrameTime = 0.02f;
    }
    void TearDown() override
    {
        delete myView;
        QR_Render::Destroy();
        EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u);
        QR_TemplateObject::DestroyAll();
        QR_Mesh::DestroyAll();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        EXPECT_EQ(chdir(myOldDir), 0);
    }
    // One frame of the object at aTime, read back.
    std::vector<uint32_t> Frame(QR_MainObject* anObject, float aTime)
    {
        QI_Time::ourTime = aTime;
        QR_Render::ourInstance->BeginFrame();
        myView->MakeCurrent();
        myView->BeginRender(true, BACKGROUND);
        anObject->UpdateIfShown();
        anObject->Render();
        myView->EndRender();
        QR_Render::ourInstance->EndFrame();
        return QRT_GrabFrame(WIDTH, HEIGHT);
    }
    static Coverage Cover(const std::vector<uint32_t>& aPixels)
    {
        Coverage c;
        for (int y = 0; y < HEIGHT; y++)
            for (int x = 0; x < WIDTH; x++)
                if ((aPixels[y * WIDTH + x] & 0xFFFFFF) != BACKGROUND && !(x < 16 && y < 16))
                {
                    c.myCount++;
                    c.myX += x;
                    c.myY += y;
                }
        if (c.myCount)
            c.myX /= c.myCount, c.myY /= c.myCount;
        return c;
    }

    QR_View* myView = nullptr;
    char myOldDir[4096];
};

TEST_F(ModelPixel, AWalkingModelMovesAcrossTheCell)
{
    QI_Time::ourTime = 0.0f; // the idle pass starts at 0
    QR_MainObject* o = QR_MainObject::Create("models/walker.qrb");
    ASSERT_NE(o, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    o->myColor = 0xFFFFFFFF;
    QI_Time::ourTime = 10.0f;
    o->SetState(QRT_WALK);
    // The walk runs x from -1 to 1 and back in 2 s from 10.0: at 10.5 the body is at 0 (its
    // blend from the idle pose is over), at 11.0 at +1, at 12.0 at -1.
    Frame(o, 10.5f);
    Coverage a = Cover(Frame(o, 10.5f));
    Coverage b = Cover(Frame(o, 11.0f));
    Coverage c = Cover(Frame(o, 12.0f));
    ASSERT_GT(a.myCount, 50);
    EXPECT_NEAR(a.myCount, b.myCount, a.myCount / 4);
    EXPECT_GT(b.myX - a.myX, 5.0); // moved right on screen
    EXPECT_NEAR(c.myX, a.myX - (b.myX - a.myX), 3.0); // and back beyond the start
    EXPECT_LT(a.myY, HEIGHT / 2 + 8); // the head sits above the body
    // Jumping lifts the model, then it returns to the walk.
    o->SetState(QRT_JUMP);
    Coverage j = Cover(Frame(o, 12.5f));
    EXPECT_LT(j.myY, c.myY - 3.0);
    Frame(o, 13.3f);
    EXPECT_EQ(o->myPartInstances[0].myCurrentState, 1u);
    delete o;
}

TEST_F(ModelPixel, SkinnedArmAndBrazierWithParticlesReachTheScreen)
{
    QR_MainObject* a = QR_MainObject::Create("models/arm.qrb");
    ASSERT_NE(a, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    a->myColor = 0xFFFFFFFF;
    a->myMatrix.SetTranslation(-1.5f, 0, 0);
    Coverage c = Cover(Frame(a, 1.0f));
    EXPECT_GT(c.myCount, 100);
    EXPECT_EQ(QR_View::ourSkippedDraws, 0u);
    delete a;

    QR_MainObject* b = QR_MainObject::Create("models/brazier.qrb");
    ASSERT_NE(b, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    b->myColor = 0xFFFFFFFF;
    Frame(b, 1.0f);
    QR_Render::ourStats.ResetFrame();
    std::vector<uint32_t> p = Frame(b, 1.5f);
    EXPECT_GT(QR_Render::ourStats.myParticles, 10u);
    EXPECT_GT(Cover(p).myCount, 40);
    delete b;
}

} // namespace
