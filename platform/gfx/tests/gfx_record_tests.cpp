// The recording back end and the validation every back end shares.
#include "platform/gfx/gfx_recording.h"
#include "platform/gfx/gfx_testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

class GfxRecord : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mySystem = GFX_CreateRecordingSystem(myConfig);
        myDevice = mySystem->CreateDevice(GFX_DeviceDesc());
        ASSERT_NE(myDevice, nullptr);
    }
    void TearDown() override
    {
        mySystem->DestroyDevice(myDevice);
        GFX_DestroySystem(mySystem);
    }
    std::vector<std::string>& Calls() { return GFX_RecordedCalls(myDevice); }
    bool Called(const std::string& aLine)
    {
        return std::find(Calls().begin(), Calls().end(), aLine) != Calls().end();
    }

    GFX_RecordingConfig myConfig;
    GFX_System* mySystem = nullptr;
    GFX_Device* myDevice = nullptr;
};

GFX_Buffer* MakeBuffer(GFX_Device* aDevice, uint32_t aSize, GFX_Pool aPool = GFX_POOL_MANAGED)
{
    GFX_BufferDesc d;
    d.mySize = aSize;
    d.myPool = aPool;
    return aDevice->CreateBuffer(d);
}

} // namespace

TEST_F(GfxRecord, BufferLocksAreCheckedAndRecorded)
{
    GFX_Buffer* b = MakeBuffer(myDevice, 100);
    void* p = nullptr;
    EXPECT_FALSE(myDevice->LockBuffer(b, 90, 20, 0, &p));
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_INVALID_CALL);
    EXPECT_FALSE(myDevice->UnlockBuffer(b));
    ASSERT_TRUE(myDevice->LockBuffer(b, 40, 0, GFX_LOCK_NOOVERWRITE, &p));
    EXPECT_TRUE(Called("LockBuffer 40 60 NOOVERWRITE"));
    EXPECT_FALSE(myDevice->LockBuffer(b, 0, 10, GFX_LOCK_DISCARD, &p)); // locked already
    EXPECT_TRUE(myDevice->UnlockBuffer(b));
    ASSERT_TRUE(myDevice->LockBuffer(b, 0, 10, GFX_LOCK_DISCARD, &p));
    EXPECT_TRUE(Called("LockBuffer 0 10 DISCARD"));
    EXPECT_TRUE(myDevice->UnlockBuffer(b));
    // Writes land in the buffer's memory and read back through a later lock.
    ASSERT_TRUE(myDevice->LockBuffer(b, 0, 0, 0, &p));
    static_cast<uint8_t*>(p)[99] = 7;
    myDevice->UnlockBuffer(b);
    ASSERT_TRUE(myDevice->LockBuffer(b, 99, 1, GFX_LOCK_READONLY, &p));
    EXPECT_EQ(static_cast<uint8_t*>(p)[0], 7);
    myDevice->UnlockBuffer(b);
    myDevice->ReleaseBuffer(b);
    EXPECT_EQ(myDevice->GetLiveObjectCount(), 0u);
}

TEST_F(GfxRecord, BuffersPastTheDevicesLimitFailAsOutOfVideoMemory)
{
    // Refused before any memory is set aside, whatever the size asked for.
    for (const uint32_t locSize : {(256u << 20) + 1, 0xFFFFFFFFu})
    {
        EXPECT_EQ(MakeBuffer(myDevice, locSize), nullptr);
        EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_OUT_OF_VIDEO_MEMORY);
    }
    GFX_RecordingConfig locConfig;
    locConfig.myMaxBufferSize = 1000;
    GFX_System* locSystem = GFX_CreateRecordingSystem(locConfig);
    GFX_Device* locDevice = locSystem->CreateDevice(GFX_DeviceDesc());
    ASSERT_NE(locDevice, nullptr);
    GFX_Buffer* b = MakeBuffer(locDevice, 1000);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(MakeBuffer(locDevice, 1001), nullptr);
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_OUT_OF_VIDEO_MEMORY);
    locDevice->ReleaseBuffer(b);
    locSystem->DestroyDevice(locDevice);
    GFX_DestroySystem(locSystem);
}

TEST_F(GfxRecord, DrawsNeedASceneADeclarationAndStreams)
{
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0},
                                   {1, 0, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_COLOR, 0}};
    GFX_VertexDecl* d = myDevice->CreateVertexDecl(e, 2);
    GFX_Buffer* b = MakeBuffer(myDevice, 120);
    EXPECT_FALSE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 0, 1)); // outside a scene
    ASSERT_TRUE(myDevice->BeginScene());
    EXPECT_FALSE(myDevice->BeginScene());
    EXPECT_FALSE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 0, 1)); // no declaration
    myDevice->SetVertexDecl(d);
    myDevice->SetStreamSource(0, b, 0, 12);
    EXPECT_FALSE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 0, 1)); // stream 1 empty
    myDevice->SetStreamSource(1, b, 0, 4);
    EXPECT_TRUE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 0, 1));
    EXPECT_FALSE(myDevice->DrawIndexedPrimitive(GFX_PRIM_TRIANGLELIST, 0, 0, 3, 0, 1)); // no indices
    GFX_BufferDesc locIndexDesc;
    locIndexDesc.myType = GFX_RESOURCE_INDEXBUFFER;
    locIndexDesc.mySize = 12;
    GFX_Buffer* i = myDevice->CreateBuffer(locIndexDesc);
    myDevice->SetIndices(i);
    EXPECT_TRUE(myDevice->DrawIndexedPrimitive(GFX_PRIM_TRIANGLESTRIP, 2, 0, 3, 2, 2));
    EXPECT_FALSE(myDevice->DrawIndexedPrimitive(GFX_PRIM_TRIANGLELIST, 0, 0, 3, 4, 1)); // 4 + 3 indices > 6
    EXPECT_TRUE(Called("DrawIndexedPrimitive 5 2 0 3 2 2"));
    // Ranges are added in 64 bits and checked against every stream: stream 0 holds 10
    // vertices of 12 bytes, stream 1 (stride 4) 30.
    EXPECT_FALSE(myDevice->DrawIndexedPrimitive(GFX_PRIM_TRIANGLELIST, 0, 0, 3, 0xFFFFFFFE, 1));
    EXPECT_FALSE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 0xFFFFFFFE, 1));
    EXPECT_FALSE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 8, 1));     // vertex 10 is past stream 0
    EXPECT_TRUE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 7, 1));      // vertices 7..9
    EXPECT_FALSE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 0, 0x60000000)); // count overflows 32 bits
    EXPECT_FALSE(myDevice->DrawIndexedPrimitive(GFX_PRIM_TRIANGLELIST, 8, 0, 3, 0, 1)); // base + 3 > 10
    EXPECT_FALSE(myDevice->DrawIndexedPrimitive(GFX_PRIM_TRIANGLELIST, -1, 0, 3, 0, 1));
    myDevice->SetStreamSource(1, b, 100, 4); // stream 1 now holds 5 vertices
    EXPECT_FALSE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 3, 1));
    EXPECT_TRUE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, 2, 1));
    EXPECT_FALSE(myDevice->Present()); // inside a scene
    EXPECT_TRUE(myDevice->EndScene());
    EXPECT_TRUE(myDevice->Present());
    // Releasing what is bound unbinds it.
    myDevice->ReleaseBuffer(b);
    myDevice->ReleaseBuffer(i);
    myDevice->ReleaseVertexDecl(d);
    EXPECT_EQ(myDevice->GetLiveObjectCount(), 0u);
}

TEST_F(GfxRecord, ClearIsCutToTheViewportAndNeedsItsBuffers)
{
    GFX_Viewport v;
    v.myX = 10;
    v.myY = 20;
    v.myWidth = 100;
    v.myHeight = 50;
    myDevice->SetViewport(v);
    GFX_Rect r = {0, 0, 640, 30};
    ASSERT_TRUE(myDevice->Clear(1, &r, GFX_CLEAR_TARGET, 0xFF0000FF, 1.0f, 0));
    EXPECT_EQ(Calls().back(), "Clear 10 20 110 30 flags 1 color 0xFF0000FF z 1 stencil 0");
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0, 0.5f, 3));
    EXPECT_EQ(Calls().back(), "Clear 10 20 110 70 flags 6 color 0x00000000 z 0.5 stencil 3");
    // The recording back end keeps the colour of back-buffer clears for read-backs.
    std::vector<uint32_t> p(640 * 480);
    ASSERT_TRUE(myDevice->ReadSurface(myDevice->GetBackBuffer(), p.data(), 640 * 4));
    EXPECT_EQ(p[25 * 640 + 10], 0xFF0000FFu);
    EXPECT_EQ(p[25 * 640 + 9], 0xFF000000u);
    EXPECT_EQ(p[30 * 640 + 10], 0xFF000000u);

    GFX_DeviceDesc locDesc;
    locDesc.myAutoDepthStencilFlag = false;
    GFX_Device* d = mySystem->CreateDevice(locDesc);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->Clear(0, nullptr, GFX_CLEAR_ZBUFFER, 0, 1.0f, 0));
    mySystem->DestroyDevice(d);
    locDesc.myAutoDepthStencilFlag = true;
    locDesc.myDepthStencilFormat = GFX_FORMAT_D16;
    d = mySystem->CreateDevice(locDesc);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->Clear(0, nullptr, GFX_CLEAR_STENCIL, 0, 1.0f, 0)); // no stencil bits
    mySystem->DestroyDevice(d);
}

TEST_F(GfxRecord, StateBlocksRecordWithoutApplyingAndReplay)
{
    myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_NONE);
    ASSERT_TRUE(myDevice->BeginStateBlock());
    myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_CW);
    myDevice->SetTextureStageState(1, GFX_TSS_COLOROP, GFX_TOP_ADD);
    GFX_Light l;
    l.myType = GFX_LIGHT_POINT;
    ASSERT_TRUE(myDevice->SetLight(3, l));
    ASSERT_TRUE(myDevice->LightEnable(3, true));
    GFX_StateBlock* b = myDevice->EndStateBlock();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(myDevice->GetRenderState(GFX_RS_CULLMODE), uint32_t(GFX_CULL_NONE));
    EXPECT_EQ(myDevice->GetTextureStageState(1, GFX_TSS_COLOROP), uint32_t(GFX_TOP_DISABLE));
    myDevice->SetRenderState(GFX_RS_ZFUNC, GFX_CMP_LESS);
    ASSERT_TRUE(myDevice->ApplyStateBlock(b));
    EXPECT_EQ(myDevice->GetRenderState(GFX_RS_CULLMODE), uint32_t(GFX_CULL_CW));
    EXPECT_EQ(myDevice->GetTextureStageState(1, GFX_TSS_COLOROP), uint32_t(GFX_TOP_ADD));
    EXPECT_EQ(myDevice->GetRenderState(GFX_RS_ZFUNC), uint32_t(GFX_CMP_LESS)); // not recorded, kept
    // Capture takes the current values of the recorded states only.
    myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_CCW);
    ASSERT_TRUE(myDevice->CaptureStateBlock(b));
    myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_NONE);
    myDevice->SetRenderState(GFX_RS_ZFUNC, GFX_CMP_ALWAYS);
    ASSERT_TRUE(myDevice->ApplyStateBlock(b));
    EXPECT_EQ(myDevice->GetRenderState(GFX_RS_CULLMODE), uint32_t(GFX_CULL_CCW));
    EXPECT_EQ(myDevice->GetRenderState(GFX_RS_ZFUNC), uint32_t(GFX_CMP_ALWAYS));
    myDevice->ReleaseStateBlock(b);
    EXPECT_FALSE(myDevice->EndStateBlock());

    // A texture released after it was recorded is gone from the block too.
    GFX_TextureDesc d;
    d.myWidth = d.myHeight = 4;
    GFX_Texture* t = myDevice->CreateTexture(d);
    ASSERT_TRUE(myDevice->BeginStateBlock());
    myDevice->SetTexture(2, t);
    b = myDevice->EndStateBlock();
    myDevice->ReleaseTexture(t);
    GFX_Texture* locOther = myDevice->CreateTexture(d);
    myDevice->SetTexture(2, locOther);
    ASSERT_TRUE(myDevice->ApplyStateBlock(b));
    EXPECT_EQ(myDevice->GetTexture(2), nullptr);
    myDevice->ReleaseTexture(locOther);
    EXPECT_EQ(myDevice->GetLiveObjectCount(), 1u); // the block
    myDevice->ReleaseStateBlock(b);
}

TEST_F(GfxRecord, BuffersBindOnlyWhereTheirKindFits)
{
    GFX_Buffer* v = MakeBuffer(myDevice, 64);
    GFX_BufferDesc d;
    d.myType = GFX_RESOURCE_INDEXBUFFER;
    d.mySize = 64;
    GFX_Buffer* i = myDevice->CreateBuffer(d);
    Calls().clear();
    myDevice->SetStreamSource(0, i, 0, 16);
    myDevice->SetIndices(v);
    myDevice->SetStreamSource(8, v, 0, 16);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_INVALID_CALL);
    myDevice->SetStreamSource(0, v, 0, 16);
    myDevice->SetIndices(i);
    EXPECT_EQ(Calls().size(), 2u);
    d.myFormat = GFX_FORMAT_D16;
    EXPECT_EQ(myDevice->CreateBuffer(d), nullptr); // index buffers hold 16- or 32-bit indices
    myDevice->ReleaseBuffer(v);
    myDevice->ReleaseBuffer(i);
}

TEST_F(GfxRecord, LightsAreLimitedToTheActiveCount)
{
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_TRUE(myDevice->LightEnable(i * 10, true));
    EXPECT_FALSE(myDevice->LightEnable(100, true));
    EXPECT_TRUE(myDevice->LightEnable(0, false));
    EXPECT_TRUE(myDevice->LightEnable(100, true));
    GFX_Light l;
    l.myType = GFX_LightType(7);
    EXPECT_FALSE(myDevice->SetLight(0, l));
}

TEST_F(GfxRecord, TexturesResolveLevelsAndRefuseBadRequests)
{
    GFX_TextureDesc d;
    d.myWidth = 256;
    d.myHeight = 64;
    d.myLevels = 0;
    d.myFormat = GFX_FORMAT_DXT1;
    GFX_Texture* t = myDevice->CreateTexture(d);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(myDevice->GetTextureLevelCount(t), 9u);
    GFX_LockedRect r;
    ASSERT_TRUE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 8, 0, &r)); // 1 x 1: one block
    EXPECT_EQ(r.myPitch, 8);
    EXPECT_FALSE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 8, 0, &r));
    EXPECT_TRUE(myDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, 8));
    EXPECT_FALSE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 9, 0, &r));
    EXPECT_FALSE(myDevice->LockTexture(t, GFX_CUBEFACE_NEGATIVE_X, 0, 0, &r)); // not a cube
    myDevice->ReleaseTexture(t);

    d.myCubeFlag = true;
    EXPECT_EQ(myDevice->CreateTexture(d), nullptr); // cube faces must be square
    d.myCubeFlag = false;
    d.myUsage = GFX_USAGE_RENDERTARGET;
    d.myFormat = GFX_FORMAT_A8R8G8B8;
    EXPECT_EQ(myDevice->CreateTexture(d), nullptr); // a render target lives in the DEFAULT pool
    d.myPool = GFX_POOL_DEFAULT;
    t = myDevice->CreateTexture(d);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(myDevice->GetTextureLevelCount(t), 1u);
    EXPECT_FALSE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
    EXPECT_TRUE(myDevice->SetRenderTarget(myDevice->GetTextureSurface(t, GFX_CUBEFACE_POSITIVE_X, 0)));
    EXPECT_EQ(myDevice->GetViewport().myWidth, 256u); // a new target takes the whole viewport
    myDevice->ReleaseTexture(t);
    EXPECT_EQ(myDevice->GetRenderTarget(), myDevice->GetBackBuffer());
    EXPECT_FALSE(myDevice->SetRenderTarget(myDevice->GetAutoDepthStencil()));
}

TEST_F(GfxRecord, DeviceLossWaitsThenNeedsDefaultPoolReleased)
{
    GFX_Buffer* locDynamic = MakeBuffer(myDevice, 64, GFX_POOL_DEFAULT);
    GFX_Buffer* locStatic = MakeBuffer(myDevice, 64, GFX_POOL_MANAGED);
    GFX_LoseDevice(myDevice, 2);
    EXPECT_EQ(myDevice->TestCooperativeLevel(), GFX_ERROR_DEVICE_LOST);
    EXPECT_FALSE(myDevice->Reset(GFX_DeviceDesc()));
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_DEVICE_LOST);
    EXPECT_EQ(myDevice->TestCooperativeLevel(), GFX_ERROR_DEVICE_LOST);
    EXPECT_EQ(myDevice->TestCooperativeLevel(), GFX_ERROR_DEVICE_NOT_RESET);
    // While lost, draws and clears succeed without effect and locks still work.
    void* p = nullptr;
    EXPECT_TRUE(myDevice->LockBuffer(locStatic, 0, 0, 0, &p));
    EXPECT_TRUE(myDevice->UnlockBuffer(locStatic));
    EXPECT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET, 0, 1.0f, 0));
    EXPECT_FALSE(myDevice->Reset(GFX_DeviceDesc()));
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_INVALID_CALL);
    myDevice->ReleaseBuffer(locDynamic);
    myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_NONE);
    EXPECT_TRUE(myDevice->Reset(GFX_DeviceDesc()));
    EXPECT_EQ(myDevice->TestCooperativeLevel(), GFX_ERROR_NONE);
    EXPECT_EQ(myDevice->GetRenderState(GFX_RS_CULLMODE), uint32_t(GFX_CULL_CCW)); // states back to defaults
    myDevice->ReleaseBuffer(locStatic);
}

TEST(GfxRecordSystem, AdaptersFormatsAndScriptedFailures)
{
    GFX_RecordingConfig locConfig;
    locConfig.myAdapters[0].myDepthFormats = {GFX_FORMAT_D16};
    locConfig.myAdapters.push_back(GFX_DefaultRecordingAdapter());
    locConfig.myAdapters[1].myDesktop.myFormat = GFX_FORMAT_R5G6B5;
    locConfig.myCreateFailures = {GFX_ERROR_OUT_OF_VIDEO_MEMORY};
    GFX_System* s = GFX_CreateRecordingSystem(locConfig);
    EXPECT_EQ(s->GetAdapterCount(), 2u);
    EXPECT_FALSE(s->CheckDeviceFormat(0, GFX_FORMAT_X8R8G8B8, GFX_USAGE_DEPTHSTENCIL, GFX_RESOURCE_SURFACE,
                                      GFX_FORMAT_D24S8));
    EXPECT_TRUE(s->CheckDeviceFormat(1, GFX_FORMAT_X8R8G8B8, GFX_USAGE_DEPTHSTENCIL, GFX_RESOURCE_SURFACE,
                                     GFX_FORMAT_D24S8));
    EXPECT_TRUE(s->CheckDeviceType(0, GFX_FORMAT_X8R8G8B8, GFX_FORMAT_A8R8G8B8, true));
    EXPECT_FALSE(s->CheckDeviceType(1, GFX_FORMAT_X8R8G8B8, GFX_FORMAT_A8R8G8B8, true)); // 16-bit desktop
    EXPECT_FALSE(s->CheckDeviceType(0, GFX_FORMAT_X8R8G8B8, GFX_FORMAT_R5G6B5, false));
    EXPECT_TRUE(s->CheckMultiSampleType(0, GFX_FORMAT_X8R8G8B8, true, 0));
    EXPECT_FALSE(s->CheckMultiSampleType(0, GFX_FORMAT_X8R8G8B8, true, 2));
    EXPECT_EQ(s->GetModeCount(0, GFX_FORMAT_X8R8G8B8), 3u);
    GFX_DisplayMode m;
    ASSERT_TRUE(s->GetMode(0, GFX_FORMAT_X8R8G8B8, 2, &m));
    EXPECT_EQ(m.myWidth, 1024u);
    EXPECT_FALSE(s->GetMode(0, GFX_FORMAT_X8R8G8B8, 3, &m));

    GFX_DeviceDesc d;
    d.myDepthStencilFormat = GFX_FORMAT_D16;
    EXPECT_EQ(s->CreateDevice(d), nullptr);
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_OUT_OF_VIDEO_MEMORY);
    GFX_Device* locDevice = s->CreateDevice(d);
    ASSERT_NE(locDevice, nullptr);
    EXPECT_EQ(GFX_RecordedCalls(s).back().rfind("CreateDevice 0 640x480 X8R8G8B8", 0), 0u);
    s->DestroyDevice(locDevice);
    d.myDepthStencilFormat = GFX_FORMAT_D24S8;
    EXPECT_EQ(s->CreateDevice(d), nullptr);
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_NOT_AVAILABLE);
    GFX_DestroySystem(s);
}
