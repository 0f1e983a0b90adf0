// The renderer interface and its back end on the recording device: the singleton, settings
// written back by device creation, clearing, render-state caching and device loss.
#include "qrender/tests/qr_render_test_util.h"

#include <string.h>

#include "platform/gfx/gfx_testsupport.h"
#include "qrender/qr_error.h"
#include "qrender/qr_expressions.h"
#include "qrender/qr_vertexshader.h"

GFX_RecordingConfig RecordingRender::ourConfig;

TEST(QR_RenderSettings, DefaultsInMemberOrder)
{
    QR_RenderSettings s;
    EXPECT_EQ(s.myAdapter, -1);
    EXPECT_EQ(s.myPosX, 0);
    EXPECT_EQ(s.myPosY, 0);
    EXPECT_EQ(s.myWidth, 640);
    EXPECT_EQ(s.myHeight, 480);
    EXPECT_EQ(s.myBitsPerPixel, 16);
    EXPECT_EQ(s.myFullScreenFlag, 1);
    EXPECT_EQ(s.myVertexShaderFlag, 1);
    EXPECT_EQ(s.myPixelShaderFlag, 0);
    EXPECT_EQ(s.myVSyncFlag, 1);
    EXPECT_EQ(s.myRefreshRate, 0);
    EXPECT_EQ(s.myGamma, 1.0f);
    EXPECT_EQ(s.myStencilBufferFlag, 0);
    EXPECT_EQ(s.myAlphaBufferFlag, 0);
    EXPECT_EQ(s.myMultiSampleType, 0);
    EXPECT_EQ(s.myTextureReduction, 0);
    EXPECT_EQ(s.myMipMapLodBias, 0.0f);
    EXPECT_EQ(s.myTextureFilter, 5);
}

TEST_F(RecordingRender, SecondCreateFailsAndKeepsTheFirst)
{
    ASSERT_TRUE(QR_Render::Create(nullptr, nullptr));
    QR_Render* locFirst = QR_Render::ourInstance;
    EXPECT_FALSE(QR_Render::Create(nullptr, nullptr));
    EXPECT_EQ(QR_Render::ourInstance, locFirst);
    EXPECT_NE(QR_ExpressionContext::GetInstance(), nullptr);
    QR_Render::Destroy();
    EXPECT_EQ(QR_Render::ourInstance, nullptr);
    EXPECT_EQ(QR_ExpressionContext::GetInstance(), nullptr);
}

TEST_F(RecordingRender, MissingDeviceSystemFailsStartUp)
{
    QR_RenderD3D::ourSystemFactory = []() -> GFX_System* { return nullptr; };
    EXPECT_FALSE(QR_Render::Create(nullptr, nullptr));
    EXPECT_EQ(QR_Error::ourCode, 12u);
    EXPECT_NE(QR_Render::ourInstance, nullptr); // Destroy removes it
}

static bool locCallbackA(bool) { return true; }
static bool locCallbackB(bool) { return true; }
static bool locCallbackC(bool) { return true; }

TEST_F(RecordingRender, RemovingAResetCallbackMovesTheLastIntoItsPlace)
{
    ASSERT_TRUE(QR_Render::Create(nullptr, nullptr));
    QR_Render::AddResetCallback(locCallbackA);
    QR_Render::AddResetCallback(locCallbackB);
    QR_Render::AddResetCallback(locCallbackC);
    QR_Render::RemoveResetCallback([](bool) { return false; });
    ASSERT_EQ(R()->myResetCallbacks.Count(), 3);
    QR_Render::RemoveResetCallback(locCallbackA);
    ASSERT_EQ(R()->myResetCallbacks.Count(), 2);
    EXPECT_EQ(R()->myResetCallbacks[0], locCallbackC);
    EXPECT_EQ(R()->myResetCallbacks[1], locCallbackB);
}

TEST_F(RecordingRender, DeviceCreationWritesBackWhatItAccepted)
{
    mySettings.myBitsPerPixel = 16; // windowed: the desktop's depth wins
    mySettings.myAlphaBufferFlag = 1;
    ourConfig.myAdapters[0].myBackBufferFormats = {GFX_FORMAT_X8R8G8B8};
    ourConfig.myAdapters[0].myCaps.myStencilOps = 0x7F;
    mySettings.myStencilBufferFlag = 1;
    ASSERT_TRUE(Start());
    EXPECT_EQ(mySettings.myBitsPerPixel, 32);
    EXPECT_EQ(mySettings.myAlphaBufferFlag, 0);
    EXPECT_EQ(mySettings.myStencilBufferFlag, 0);
    // The adapter offers vertex shaders: the assembled kind is made.
    EXPECT_EQ(mySettings.myVertexShaderFlag, 1);
    EXPECT_NE(QR_VertexShader::Find("NORMAL_MESH"), nullptr);
    EXPECT_NE(QR_VertexShader::Find("DEPTH_SORT"), nullptr);
    EXPECT_NE(QR_VertexShader::Find("CAMERA_FACING"), nullptr);
    EXPECT_EQ(R()->myCaps.myNumFixedStages, 4u);
    EXPECT_EQ(R()->myCaps.myMaxTextureSize, 4096u);
    EXPECT_EQ(R()->myCaps.myMaxTextureAspectRatio, 2048u);
    EXPECT_EQ(R()->myCaps.myDXTFlag, 1);

    // Without stencil the stencil part of a clear is dropped.
    Calls().clear();
    QR_Rect locRect = {0, 0, 64, 48};
    R()->Clear(&locRect, 7, 0x102030, 1.0f, 127);
    EXPECT_EQ(Last("Clear"), "Clear 0 0 64 48 flags 3 color 0x00102030 z 1 stencil 127");
}

TEST_F(RecordingRender, StencilDepthFallsBackWhenNoStencilFormatMatches)
{
    ourConfig.myAdapters[0].myDepthFormats = {GFX_FORMAT_D16};
    mySettings.myStencilBufferFlag = 1;
    ASSERT_TRUE(Start());
    EXPECT_EQ(mySettings.myStencilBufferFlag, 0);
    EXPECT_EQ(QR_RenderD3D::ourDepthStencilFormat, GFX_FORMAT_D16);
}

TEST_F(RecordingRender, FullScreenPicksTheNearestWidthThenHeight)
{
    GFX_RecordingAdapter& a = ourConfig.myAdapters[0];
    a.myModes = {{800, 600, 60, GFX_FORMAT_X8R8G8B8}, {1024, 768, 60, GFX_FORMAT_X8R8G8B8},
                 {1024, 768, 75, GFX_FORMAT_X8R8G8B8}};
    mySettings.myFullScreenFlag = 1;
    mySettings.myWidth = 1000;
    mySettings.myHeight = 700;
    mySettings.myRefreshRate = 70;
    ASSERT_TRUE(Start());
    EXPECT_EQ(mySettings.myWidth, 1024);
    EXPECT_EQ(mySettings.myHeight, 768);
    EXPECT_EQ(mySettings.myRefreshRate, 75);
}

TEST_F(RecordingRender, FullScreenAtSixteenBitsUsesSixteenBitModes)
{
    mySettings.myFullScreenFlag = 1;
    mySettings.myBitsPerPixel = 16;
    mySettings.myWidth = 700;
    mySettings.myHeight = 500;
    ASSERT_TRUE(Start());
    EXPECT_EQ(mySettings.myBitsPerPixel, 16);
    EXPECT_EQ(mySettings.myWidth, 640);
    EXPECT_EQ(QR_RenderD3D::ourAdapterFormat, GFX_FORMAT_R5G6B5);
}

TEST_F(RecordingRender, FullScreenWithoutModesFails)
{
    ourConfig.myAdapters[0].myModes.clear();
    mySettings.myFullScreenFlag = 1;
    EXPECT_FALSE(Start());
    EXPECT_EQ(QR_Error::ourCode, 22u);
}

TEST_F(RecordingRender, AdapterListKeepsEachModeOnce)
{
    GFX_RecordingAdapter a = GFX_DefaultRecordingAdapter();
    a.myModes = {{640, 480, 60, GFX_FORMAT_X8R8G8B8}, {640, 480, 75, GFX_FORMAT_X8R8G8B8},
                 {800, 600, 60, GFX_FORMAT_X8R8G8B8}, {640, 480, 85, GFX_FORMAT_X8R8G8B8}};
    GFX_RecordingAdapter b = a;
    b.myCaps.myStencilOps = 0x0F;
    ourConfig.myAdapters = {a, b};
    QR_RenderStartupOptions locOptions;
    ASSERT_TRUE(QR_Render::Create(nullptr, &locOptions));
    QR_AdapterEntry* e = R()->myAdapterList;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->myNumModes, 2u);
    EXPECT_EQ(e->myModes[1].myWidth, 800u);
    EXPECT_EQ(e->myModes[0].myBitsPerPixel, 32u);
    EXPECT_EQ(e->myStencilFlag, 1);
    ASSERT_NE(e->myNext, nullptr);
    EXPECT_EQ(e->myNext->myStencilFlag, 0);
    QR_Render::Destroy();

    locOptions.myRequireStencilFlag = 1;
    ASSERT_TRUE(QR_Render::Create(nullptr, &locOptions));
    ASSERT_NE(R()->myAdapterList, nullptr);
    EXPECT_EQ(R()->myAdapterList->myNext, nullptr);
}

TEST_F(RecordingRender, OutOfMemoryLowersTheMultisampleType)
{
    ourConfig.myAdapters[0].myMaxMultiSampleType = 4;
    ourConfig.myCreateFailures = {GFX_ERROR_OUT_OF_VIDEO_MEMORY, GFX_ERROR_OUT_OF_MEMORY};
    mySettings.myMultiSampleType = 6;
    ASSERT_TRUE(Start());
    EXPECT_EQ(mySettings.myMultiSampleType, 0); // 6 refused down to 4, then 2, then none
}

TEST_F(RecordingRender, OutOfMemoryWithoutMultisampleFails)
{
    ourConfig.myCreateFailures = {GFX_ERROR_OUT_OF_MEMORY};
    EXPECT_FALSE(Start());
    EXPECT_EQ(QR_Error::ourCode, 16u);
}

TEST_F(RecordingRender, SecondInitFails)
{
    ASSERT_TRUE(Start());
    QR_RenderSettings locSettings = mySettings;
    EXPECT_FALSE(R()->Init(&locSettings));
    EXPECT_EQ(QR_Error::ourCode, 13u);
}

TEST_F(RecordingRender, ClearClampsItsRectangleAndStencil)
{
    mySettings.myStencilBufferFlag = 1;
    ASSERT_TRUE(Start());
    Calls().clear();
    QR_Rect locEmpty = {10, 5, 10, 5};
    R()->Clear(&locEmpty, 7, 0, 1.0f, 0x1234);
    EXPECT_EQ(Last("Clear"), "Clear 10 5 11 6 flags 7 color 0x00000000 z 1 stencil 52");
    QR_Rect locOutside = {-5, -5, 100, 100};
    R()->Clear(&locOutside, 1, 0xFF, 0.5f, 0);
    EXPECT_EQ(Last("Clear"), "Clear 0 0 64 48 flags 1 color 0x000000FF z 0.5 stencil 0");
}

TEST_F(RecordingRender, SixteenBitClearsStencilWithOneBit)
{
    ourConfig.myAdapters[0].myDesktop.myFormat = GFX_FORMAT_R5G6B5;
    mySettings.myStencilBufferFlag = 1;
    ASSERT_TRUE(Start());
    EXPECT_EQ(mySettings.myBitsPerPixel, 16);
    EXPECT_EQ(mySettings.myStencilBufferFlag, 1);
    Calls().clear();
    QR_Rect locAll = {0, 0, 64, 48};
    R()->Clear(&locAll, 4, 0, 1.0f, 0x80);
    EXPECT_EQ(Last("Clear"), "Clear 0 0 64 48 flags 4 color 0x00000000 z 1 stencil 1");
}

TEST_F(RecordingRender, RenderStatesAreSentOnlyWhenTheyChange)
{
    ASSERT_TRUE(Start());
    QR_RenderStates locStates;
    Calls().clear();
    R()->SetRenderStates(&locStates, 0);
    EXPECT_TRUE(Calls().empty());
    R()->SetRenderStates(&locStates, 0xFFFFFFFF);
    size_t locFirst = Calls().size();
    EXPECT_GT(locFirst, 0u);
    R()->SetRenderStates(&locStates, 0xFFFFFFFF);
    EXPECT_EQ(Calls().size(), locFirst);

    locStates.myDepthTestFlag = 0;
    Calls().clear();
    R()->SetRenderStates(&locStates, QR_RSGROUP_DEPTH);
    R()->SetRenderStates(&locStates, QR_RSGROUP_DEPTH);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0], "SetRenderState ZENABLE 0");

    locStates.myTextureFilter = 6;
    Calls().clear();
    R()->SetRenderStates(&locStates, QR_RSGROUP_SAMPLER);
    EXPECT_EQ(Count("SetSamplerState"), 32); // mag, min, mip and anisotropy on eight samplers
    EXPECT_EQ(Last("SetSamplerState"), "SetSamplerState 7 MAXANISOTROPY 2");
}

TEST_F(RecordingRender, TwoDimensionalSetupsUseTheDefaultKind)
{
    ASSERT_TRUE(Start());
    ASSERT_NE(R()->mySolid2DSetup, nullptr);
    ASSERT_NE(R()->myAlpha2DSetup, nullptr);
    EXPECT_NE(R()->mySolid2DSetup, R()->myAlpha2DSetup);
    Calls().clear();
    R()->BeginAlpha2D();
    EXPECT_EQ(QR_VertexShader::ourCurrent, QR_VertexShader::ourDefault);
    EXPECT_EQ(Count("SetRenderState ZFUNC 8"), 1);
    EXPECT_EQ(Count("SetRenderState FOGENABLE 0"), 1);
    EXPECT_EQ(Count("SetRenderState STENCILENABLE"), 0);
    R()->BeginSolid2D();
    EXPECT_EQ(Count("SetRenderState ZFUNC 4"), 1);
    EXPECT_EQ(Count("SetRenderState FOGENABLE 1"), 1);
}

TEST_F(RecordingRender, StageBlocksSetTheirPixelShaderFirstAndDisableTheRest)
{
    ASSERT_TRUE(Start());
    const char locText[] = "ps_1_1\nmov r0, v0\n";
    QR_CompiledStageBlock b;
    memset(&b, 0, sizeof(b));
    b.myPixelShader = QR_RenderD3D::ourDevice->CreateShader(locText, sizeof(locText) - 1);
    ASSERT_NE(b.myPixelShader, nullptr);
    b.mySrcBlend = GFX_BLEND_ONE;
    b.myDestBlend = GFX_BLEND_ZERO;
    b.myAlphaFunc = GFX_CMP_GREATER;
    b.myNumStages = 2;
    b.myNumTextures = 1;
    Calls().clear();
    QR_RenderD3D::ApplyStageBlock(&b);
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls()[0].compare(0, 14, "SetPixelShader"), 0);
    EXPECT_EQ(Calls()[1], "SetRenderState ALPHABLENDENABLE 0");
    EXPECT_EQ(Count("SetRenderState ALPHAFUNC 5"), 1);
    EXPECT_EQ(Count("SetTexture 0"), 0); // stage 0 keeps its texture
    EXPECT_EQ(Count("SetTexture 1 none"), 1);
    EXPECT_EQ(Count("SetTextureStageState 7 COLOROP 1"), 1);
    QR_RenderD3D::ourDevice->SetPixelShader(nullptr);
    QR_RenderD3D::ReleaseStageBlock(&b);
    EXPECT_EQ(b.myPixelShader, nullptr);
}

// Device loss: the release and restore order.
static std::vector<std::string> ourOrder;
static bool locOrderCallback(bool aRestoreFlag)
{
    ourOrder.push_back(aRestoreFlag ? "callback restore" : "callback release");
    return true;
}
static bool locRefill(void*)
{
    ourOrder.push_back("refill");
    return true;
}

TEST_F(RecordingRender, LostDeviceIsRebuiltInOrderOnceItCanBeReset)
{
    ourOrder.clear();
    QR_RenderHooks& h = QR_Render::ourHooks;
    h.myReleaseAllMeshDeviceData = []() { ourOrder.push_back("meshes release"); };
    h.myCompileAllMeshVertexShaders = []() { ourOrder.push_back("meshes compile"); return true; };
    h.myReleaseAllTextures = []() { ourOrder.push_back("textures release"); };
    h.myReloadAllTextures = []() { ourOrder.push_back("textures reload"); return true; };
    h.myReleaseAllSurfaceTemplates = []() { ourOrder.push_back("surfaces release"); };
    h.myRecompileAllSurfaces = []() { ourOrder.push_back("surfaces recompile"); return true; };
    // Only the recorded order: nothing made that these stand-ins would not release.
    h.myCreateForceFlushSurface = nullptr;
    ASSERT_TRUE(Start());
    QR_Render::AddResetCallback(locOrderCallback);
    QR_VertexBuffer* locVB = R()->CreateVertexBuffer(32, 4, true, locRefill, nullptr);
    ASSERT_NE(locVB, nullptr);
    ourOrder.clear();

    GFX_LoseDevice(QR_RenderD3D::ourDevice, 1);
    R()->BeginFrame();
    R()->EndFrame(); // still lost: nothing happens
    EXPECT_TRUE(ourOrder.empty());
    GFX_Device* locLostDevice = QR_RenderD3D::ourDevice;
    R()->BeginFrame();
    R()->EndFrame(); // can be reset: everything is rebuilt
    std::vector<std::string> locExpected = {"callback release", "meshes release",     "textures release",
                                            "surfaces release", "refill",             "textures reload",
                                            "surfaces recompile", "meshes compile", "callback restore"};
    EXPECT_EQ(ourOrder, locExpected);
    EXPECT_NE(QR_RenderD3D::ourDevice, nullptr);
    (void)locLostDevice;
    EXPECT_EQ(R()->myRenderSettings.myWidth, 64);
    EXPECT_NE(locVB->myDeviceBuffer, nullptr);
    EXPECT_NE(R()->myDynamicVertexBuffer->myDeviceBuffer, nullptr);

    // The next frame presents normally on the new device.
    Calls().clear();
    R()->BeginFrame();
    R()->EndFrame();
    EXPECT_EQ(Count("Present"), 1);
    R()->ReleaseVertexBuffer(locVB);
}

TEST_F(RecordingRender, ChangeSettingsRecreatesTheDeviceAndWritesBack)
{
    ASSERT_TRUE(Start());
    QR_RenderSettings locSettings = mySettings;
    locSettings.myWidth = 32;
    locSettings.myHeight = 24;
    locSettings.myBitsPerPixel = 16;
    ASSERT_TRUE(R()->ChangeSettings(&locSettings));
    EXPECT_EQ(locSettings.myBitsPerPixel, 32);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetDesc().myWidth, 32u);
    EXPECT_TRUE(R()->SetWindowRect(5, 6, 32, 24)); // same size: only moved
    EXPECT_EQ(R()->myRenderSettings.myPosX, 5);
}

struct HostWindow
{
    int myFrames = 0;
    uint32_t myWidth = 0;
};
static void locPresent(void* aUserData, const GFX_Image& anImage)
{
    HostWindow* locWindow = (HostWindow*)aUserData;
    locWindow->myFrames++;
    locWindow->myWidth = anImage.myWidth;
}

TEST_F(RecordingRender, AnAdoptedWindowReceivesEveryFrame)
{
    HostWindow locHost;
    QR_HostWindow locWindow = {locPresent, &locHost};
    ASSERT_TRUE(QR_Render::Create(&locWindow, nullptr));
    ASSERT_TRUE(R()->Init(&mySettings));
    int locBefore = locHost.myFrames;
    R()->BeginFrame();
    R()->EndFrame();
    EXPECT_EQ(locHost.myFrames, locBefore + 1);
    EXPECT_EQ(locHost.myWidth, 64u);
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    EXPECT_FALSE(R()->Init(&mySettings));
    EXPECT_EQ(QR_Error::ourCode, 13u);
    EXPECT_EQ(QR_RenderD3D::ourDevice, locDevice);
}

// The host hears of each frame once its drawing went to the device, before its
// picture comes: it may show the last picture meanwhile.
TEST_F(RecordingRender, TheHostHearsOfEachFrameBeforeItsPicture)
{
    struct Host
    {
        std::string myOrder;
    } locHost;
    QR_HostWindow locWindow = {[](void* aUserData, const GFX_Image& anImage)
                               {
                                   if (anImage.myPixels)
                                       static_cast<Host*>(aUserData)->myOrder += "p";
                               },
                               &locHost};
    locWindow.myDrawingFunc = [](void* aUserData) { static_cast<Host*>(aUserData)->myOrder += "d"; };
    ASSERT_TRUE(QR_Render::Create(&locWindow, nullptr));
    ASSERT_TRUE(R()->Init(&mySettings));
    locHost.myOrder.clear();
    for (int i = 0; i < 3; i++)
    {
        R()->BeginFrame();
        EXPECT_EQ(locHost.myOrder.size(), size_t(2 * i));
        R()->EndFrame();
    }
    EXPECT_EQ(locHost.myOrder, "dpdpdp");
}

TEST_F(RecordingRender, FrameCountRisesAtEveryFrameStart)
{
    ASSERT_TRUE(Start());
    uint32_t locCount = QR_Render::ourFrameCount;
    R()->BeginFrame();
    EXPECT_EQ(QR_Render::ourFrameCount, locCount + 1);
    R()->EndFrame();
}

TEST_F(RecordingRender, GammaScalesTheDesktopRamp)
{
    mySettings.myGamma = 2.0f;
    ASSERT_TRUE(Start());
    uint16_t r[256], g[256], b[256];
    QR_RenderD3D::ourDevice->GetGammaRamp(r, g, b);
    uint16_t dr[256], dg[256], db[256];
    ASSERT_TRUE(QR_RenderD3D::ourSystem->GetDesktopGammaRamp(dr, dg, db));
    for (int k : {10, 128, 255})
    {
        EXPECT_EQ(r[k], dr[k] * 2 > 65535 ? 65535 : dr[k] * 2);
        EXPECT_EQ(b[k], db[k] * 2 > 65535 ? 65535 : db[k] * 2);
    }
}
