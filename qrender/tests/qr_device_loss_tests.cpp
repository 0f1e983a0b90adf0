// A device that cannot be made again after a loss, a resize or a settings change: frames
// and draws without a device, the retry once a frame, and the restore that follows.
#include "qrender/tests/qr_render_test_util.h"

#include <string.h>

#include "platform/gfx/gfx_testsupport.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"
#include "qrender/qr_view.h"

namespace
{

// The recording system behind a wrapper whose next device creations fail with the codes
// queued, whatever creations came before.
class ScriptedSystem : public GFX_System
{
public:
    explicit ScriptedSystem(GFX_System* anInner) : myInner(anInner) {}
    ~ScriptedSystem() override { GFX_DestroySystem(myInner); }

    uint32_t GetAdapterCount() override { return myInner->GetAdapterCount(); }
    bool GetAdapterInfo(uint32_t a, GFX_AdapterInfo* o) override { return myInner->GetAdapterInfo(a, o); }
    bool GetCaps(uint32_t a, GFX_Caps* o) override { return myInner->GetCaps(a, o); }
    uint32_t GetModeCount(uint32_t a, GFX_Format f) override { return myInner->GetModeCount(a, f); }
    bool GetMode(uint32_t a, GFX_Format f, uint32_t i, GFX_DisplayMode* o) override
    {
        return myInner->GetMode(a, f, i, o);
    }
    bool GetDesktopMode(uint32_t a, GFX_DisplayMode* o) override { return myInner->GetDesktopMode(a, o); }
    bool GetDesktopGammaRamp(uint16_t r[256], uint16_t g[256], uint16_t b[256]) override
    {
        return myInner->GetDesktopGammaRamp(r, g, b);
    }
    bool CheckDeviceType(uint32_t a, GFX_Format d, GFX_Format b, bool w) override
    {
        return myInner->CheckDeviceType(a, d, b, w);
    }
    bool CheckDeviceFormat(uint32_t a, GFX_Format d, uint32_t u, GFX_ResourceType t, GFX_Format f) override
    {
        return myInner->CheckDeviceFormat(a, d, u, t, f);
    }
    bool CheckDepthStencilMatch(uint32_t a, GFX_Format d, GFX_Format t, GFX_Format f) override
    {
        return myInner->CheckDepthStencilMatch(a, d, t, f);
    }
    bool CheckMultiSampleType(uint32_t a, GFX_Format f, bool w, uint32_t t) override
    {
        return myInner->CheckMultiSampleType(a, f, w, t);
    }
    GFX_Device* CreateDevice(const GFX_DeviceDesc& aDesc) override
    {
        myCreateCount++;
        if (myFailures.empty())
            return myInner->CreateDevice(aDesc);
        // A recording system of its own fails the creation and leaves the device layer's code.
        GFX_RecordingConfig locConfig;
        locConfig.myCreateFailures = {myFailures.front()};
        myFailures.erase(myFailures.begin());
        GFX_System* locFailing = GFX_CreateRecordingSystem(locConfig);
        GFX_Device* locDevice = locFailing->CreateDevice(aDesc);
        GFX_DestroySystem(locFailing);
        return locDevice;
    }
    void DestroyDevice(GFX_Device* aDevice) override { myInner->DestroyDevice(aDevice); }

    std::vector<GFX_ErrorCode> myFailures;
    int myCreateCount = 0;

private:
    GFX_System* myInner;
};

ScriptedSystem* ourScripted = nullptr;
std::vector<std::string> ourOrder;
int ourTextureReloadFailures = 0;

bool locOrderCallback(bool aRestoreFlag)
{
    ourOrder.push_back(aRestoreFlag ? "callback restore" : "callback release");
    return true;
}

bool locRefill(void*)
{
    ourOrder.push_back("refill");
    return true;
}

class DeviceLossTest : public RecordingRender
{
protected:
    static GFX_System* MakeScripted()
    {
        ourScripted = new ScriptedSystem(GFX_CreateRecordingSystem(ourConfig));
        return ourScripted;
    }

    void SetUp() override
    {
        RecordingRender::SetUp();
        QR_RenderD3D::ourSystemFactory = MakeScripted;
        ourOrder.clear();
        ourTextureReloadFailures = 0;
        QR_RenderHooks& h = QR_Render::ourHooks;
        h.myReleaseAllMeshDeviceData = []() { ourOrder.push_back("meshes release"); };
        h.myCompileAllMeshVertexShaders = []() { ourOrder.push_back("meshes compile"); return true; };
        h.myReleaseAllTextures = []() { ourOrder.push_back("textures release"); };
        h.myReloadAllTextures = []()
        {
            ourOrder.push_back("textures reload");
            return ourTextureReloadFailures-- <= 0;
        };
        h.myReleaseAllSurfaceTemplates = []() { ourOrder.push_back("surfaces release"); };
        h.myRecompileAllSurfaces = []() { ourOrder.push_back("surfaces recompile"); return true; };
        // Only the recorded order: nothing made that these stand-ins would not release.
        h.myCreateForceFlushSurface = nullptr;
        myView.myCamera.SetViewport(0, 0, 64, 48);
        QR_View::ourCurrentView = &myView;
    }
    void TearDown() override
    {
        QR_View::ourCurrentView = nullptr;
        delete myMesh;
        myMesh = nullptr;
        RecordingRender::TearDown();
        ourScripted = nullptr;
    }

    // One triangle with static buffers, bound to "NORMAL_MESH".
    void MakeMesh()
    {
        myMesh = new QR_Mesh();
        myMesh->myVertexFormat = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_NORMAL;
        myMesh->myVertexSize = 24;
        myMesh->myNumVertices = 3;
        myMesh->myVertexData = new uint8_t[72]();
        myMesh->myNumIndices = 3;
        myMesh->myIndexData = new uint16_t[3]{0, 1, 2};
        myMesh->myNumLods = 1;
        myMesh->myLods = new QR_MeshLod[1]();
        myMesh->myLods[0] = {1.0f, 0, 3, 0, 3, 0, nullptr, 0, 0.0f};
        myMesh->myVertexShader = QR_VertexShader::Find("NORMAL_MESH");
        ASSERT_TRUE(myMesh->myVertexShader->PrepareMesh(myMesh));
        myMesh->mySetupData.myVertexFormatList[0] = myMesh->myVertexBufferVertexFormat;
        myMesh->myCompiledVertexShader = myMesh->myVertexShader->Compile(myMesh->mySetupData);
        ASSERT_NE(myMesh->myCompiledVertexShader, nullptr);
    }

    // What a frame of the browser asks of the renderer: clear, states, 2-D set-ups, dynamic
    // appends and draws, the mesh through its kind.
    void DrawFrameContents(uint32_t aColor)
    {
        QR_Rect locAll = {0, 0, 64, 48};
        R()->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, aColor, 1.0f, 0);
        QR_RenderStates locStates;
        R()->SetRenderStates(&locStates, 0xFFFFFFFF);
        R()->SetView(&myView);
        R()->SetSurface(nullptr, 0xFFFFFFFF, 0.0f);
        QR_VertexShader* k = myMesh->myVertexShader;
        k->Begin(myMesh->myCompiledVertexShader);
        k->SetDataBlock(&myMesh->myDataBlock);
        k->Draw(myMesh, 0.0f, 0.0f);
        QR_VertexBuffer* locMeshList[1] = {myMesh->myVertexBuffer};
        R()->DrawIndexed(locMeshList, myMesh->myIndexBuffer, QR_DRAWTYPES_TRIANGLELIST, 0, 3, 0, 1);

        R()->BeginAlpha2D();
        QR_VertexBuffer* locVB = R()->myDynamicVertexBuffer;
        QR_IndexBuffer* locIB = R()->myDynamicIndexBuffer;
        locVB->myVertexSize = 28;
        void* locVertices = nullptr;
        uint16_t* locIndices = nullptr;
        uint32_t locFirst = 0;
        QR_VertexBuffer* locList[1] = {locVB};
        if (R()->AppendVertices(locVB, &locVertices, 3))
        {
            memset(locVertices, 0, 3 * 28);
            R()->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLELIST, 3);
        }
        if (R()->AppendIndexedVertices(locVB, locIB, &locVertices, 3, &locIndices, 3, &locFirst))
        {
            memset(locVertices, 0, 3 * 28);
            for (uint16_t i = 0; i < 3; i++)
                locIndices[i] = (uint16_t)(locFirst + i);
            R()->DrawIndexedDynamic(locList, locIB, QR_DRAWTYPES_TRIANGLELIST, 3, 1);
        }
        R()->BeginSolid2D();
    }

    uint32_t FrontPixel()
    {
        std::vector<uint32_t> locPixels(64 * 48);
        EXPECT_TRUE(R()->GrabFrontBuffer(locPixels.data()));
        return locPixels[0] & 0xFFFFFF;
    }

    QR_View myView;
    QR_Mesh* myMesh = nullptr;
};

} // namespace

TEST_F(DeviceLossTest, FailedReCreationSkipsFramesUntilARestoreSucceeds)
{
    ASSERT_TRUE(Start());
    MakeMesh();
    QR_Render::AddResetCallback(locOrderCallback);
    QR_VertexBuffer* locOwnVB = R()->CreateVertexBuffer(16, 4, true, locRefill, nullptr);
    ASSERT_NE(locOwnVB, nullptr);
    ourOrder.clear();
    int locCreated = ourScripted->myCreateCount;

    // The loss is resettable at the first present, but the device cannot be made again.
    ourScripted->myFailures = {GFX_ERROR_NOT_AVAILABLE, GFX_ERROR_OUT_OF_MEMORY, GFX_ERROR_NOT_AVAILABLE};
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    R()->BeginFrame();
    DrawFrameContents(0xFF0000);
    R()->EndFrame();
    EXPECT_EQ(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_DEVICE_CREATE);
    EXPECT_EQ(ourScripted->myCreateCount, locCreated + 1);
    std::vector<std::string> locReleased = {"callback release", "meshes release", "textures release",
                                            "surfaces release"};
    EXPECT_EQ(ourOrder, locReleased);

    // Two frames without a device: each tries once, at its start, and draws nothing.
    for (int f = 0; f < 2; f++)
    {
        QR_Render::ourStats.ResetFrame();
        R()->BeginFrame();
        EXPECT_EQ(ourScripted->myCreateCount, locCreated + 2 + f);
        EXPECT_EQ(QR_Error::ourCode, f == 0 ? (uint32_t)QR_ERROR_DEVICE_MEMORY : (uint32_t)QR_ERROR_DEVICE_CREATE);
        DrawFrameContents(0x00FF00);
        void* locData = nullptr;
        uint16_t* locIndices = nullptr;
        EXPECT_FALSE(R()->LockVertexBuffer(locOwnVB, &locData, 0, -1));
        EXPECT_FALSE(R()->LockIndexBuffer(myMesh->myIndexBuffer, &locIndices, 0, -1));
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_VERTEX_BUFFER);
        EXPECT_EQ(R()->CreateVertexBuffer(16, 4, true, nullptr, nullptr), nullptr);
        std::vector<uint32_t> locPixels(64 * 48);
        EXPECT_FALSE(R()->GrabFrontBuffer(locPixels.data()));
        R()->EndFrame();
        EXPECT_EQ(ourScripted->myCreateCount, locCreated + 2 + f);
        EXPECT_EQ(QR_Render::ourStats.myDrawCalls, 0u);
        EXPECT_EQ(QR_RenderD3D::ourDevice, nullptr);
    }
    EXPECT_EQ(ourOrder, locReleased); // nothing released twice, nothing restored

    // The next frame makes the device again and restores everything in the usual order.
    QR_Render::ourStats.ResetFrame();
    R()->BeginFrame();
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_EQ(ourScripted->myCreateCount, locCreated + 4);
    std::vector<std::string> locExpected = locReleased;
    for (const char* s : {"refill", "textures reload", "surfaces recompile", "meshes compile", "callback restore"})
        locExpected.push_back(s);
    EXPECT_EQ(ourOrder, locExpected);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetDesc().myWidth, 64u);
    EXPECT_EQ(R()->myRenderSettings.myWidth, 64);
    EXPECT_NE(locOwnVB->myDeviceBuffer, nullptr);
    EXPECT_NE(myMesh->myVertexBuffer->myDeviceBuffer, nullptr);

    Calls().clear();
    DrawFrameContents(0x336699);
    R()->EndFrame();
    EXPECT_EQ(Count("SetVertexDecl decl"), 3); // the mesh's and both 2-D set-ups', made again
    EXPECT_EQ(Count("DrawIndexedPrimitive 4 0 0 3 0 1"), 2);
    EXPECT_EQ(Count("DrawPrimitive 4 0 1"), 1);
    EXPECT_EQ(Count("DrawIndexedPrimitive 4 0 3 3 0 1"), 1);
    EXPECT_EQ(Count("EndScene"), 1);
    EXPECT_EQ(Count("Present"), 1);
    EXPECT_EQ(QR_Render::ourStats.myDrawCalls, 4u);
    EXPECT_EQ(FrontPixel(), 0x336699u);
    R()->ReleaseVertexBuffer(locOwnVB);
}

static void locPresent(void* aUserData, const GFX_Image& anImage)
{
    if (anImage.myPixels)
        (*(int*)aUserData)++;
}

TEST_F(DeviceLossTest, RefusedSettingsLeaveThePreviousOnesForTheNextFrame)
{
    int locFrames = 0;
    QR_HostWindow locWindow = {locPresent, &locFrames};
    ASSERT_TRUE(QR_Render::Create(&locWindow, nullptr));
    ASSERT_TRUE(R()->Init(&mySettings));
    ourScripted->myFailures = {GFX_ERROR_NOT_AVAILABLE};
    QR_RenderSettings locSettings = mySettings;
    locSettings.myWidth = 32;
    locSettings.myHeight = 24;
    locSettings.myBitsPerPixel = 16;
    EXPECT_FALSE(R()->ChangeSettings(&locSettings));
    EXPECT_EQ(locSettings.myBitsPerPixel, 16); // the caller's record is left as it was
    EXPECT_EQ(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_EQ(R()->myRenderSettings.myWidth, 64);

    // A second Init into the given window would make a device that skips the restore.
    EXPECT_FALSE(R()->Init(&mySettings));
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_RENDER_WINDOW);
    EXPECT_EQ(QR_RenderD3D::ourDevice, nullptr);

    int locBefore = locFrames;
    R()->BeginFrame();
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetDesc().myWidth, 64u);
    R()->EndFrame();
    EXPECT_EQ(locFrames, locBefore + 1);

    // Accepted settings after that are taken as usual.
    EXPECT_TRUE(R()->ChangeSettings(&locSettings));
    EXPECT_EQ(locSettings.myBitsPerPixel, 32);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetDesc().myWidth, 32u);
}

TEST_F(DeviceLossTest, FailedRestoreDropsTheNewDeviceAndTheNextFrameTriesAgain)
{
    ASSERT_TRUE(Start());
    MakeMesh();
    ourScripted->myFailures = {GFX_ERROR_NOT_AVAILABLE};
    // A lost device cannot take the new size in place: it is made again.
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    EXPECT_FALSE(R()->SetWindowRect(3, 4, 32, 24));
    EXPECT_EQ(QR_RenderD3D::ourDevice, nullptr);
    int locCreated = ourScripted->myCreateCount;

    // Made again at the new size, but a restore step fails: the device goes with everything
    // the restore had made on it.
    ourTextureReloadFailures = 1;
    ourOrder.clear();
    R()->BeginFrame();
    EXPECT_EQ(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_EQ(ourScripted->myCreateCount, locCreated + 1);
    std::vector<std::string> locExpected = {"textures reload", "meshes release", "textures release",
                                            "surfaces release"};
    EXPECT_EQ(ourOrder, locExpected);
    EXPECT_EQ(myMesh->myVertexBuffer->myDeviceBuffer, nullptr);
    DrawFrameContents(0xFF0000);
    R()->EndFrame();
    EXPECT_EQ(ourScripted->myCreateCount, locCreated + 1);

    R()->BeginFrame();
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetDesc().myWidth, 32u);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetDesc().myHeight, 24u);
    EXPECT_EQ(R()->myRenderSettings.myPosX, 3);
    DrawFrameContents(0x0000FF);
    R()->EndFrame();
    std::vector<uint32_t> locPixels(32 * 24);
    ASSERT_TRUE(R()->GrabFrontBuffer(locPixels.data()));
    EXPECT_EQ(locPixels[5] & 0xFFFFFF, 0x0000FFu);
}

TEST_F(DeviceLossTest, AResizeKeepsTheDeviceAndEverythingMadeOnIt)
{
    ASSERT_TRUE(Start());
    MakeMesh();
    QR_Render::AddResetCallback(locOrderCallback);
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    auto* locBuffer = myMesh->myVertexBuffer->myDeviceBuffer;
    ASSERT_NE(locBuffer, nullptr);
    int locCreated = ourScripted->myCreateCount;
    ourOrder.clear();
    Calls().clear();

    EXPECT_TRUE(R()->SetWindowRect(3, 4, 40, 30));
    EXPECT_EQ(QR_RenderD3D::ourDevice, locDevice);
    EXPECT_EQ(ourScripted->myCreateCount, locCreated);
    EXPECT_TRUE(ourOrder.empty()); // nothing released, reloaded or told
    EXPECT_EQ(myMesh->myVertexBuffer->myDeviceBuffer, locBuffer);
    EXPECT_EQ(Count("ResizeBackBuffer 40x30"), 1);
    EXPECT_EQ(locDevice->GetDesc().myWidth, 40u);
    EXPECT_EQ(R()->myRenderSettings.myPosX, 3);

    // The frames cover the new size.
    Calls().clear();
    R()->BeginFrame();
    R()->EndFrame();
    EXPECT_EQ(Count("SetViewport 0 0 40 30"), 2);
    EXPECT_EQ(Count("Present"), 1);
}

TEST_F(DeviceLossTest, FramesWithoutAnInitialisedDeviceMakeNone)
{
    ASSERT_TRUE(QR_Render::Create(nullptr, nullptr));
    R()->BeginFrame();
    R()->EndFrame();
    ourScripted->myFailures = {GFX_ERROR_NOT_AVAILABLE};
    EXPECT_FALSE(R()->Init(&mySettings));
    R()->BeginFrame();
    QR_Rect locAll = {0, 0, 64, 48};
    R()->Clear(&locAll, QR_CLEAR_TARGET, 0, 1.0f, 0);
    R()->EndFrame();
    EXPECT_EQ(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_EQ(ourScripted->myCreateCount, 1);
}
