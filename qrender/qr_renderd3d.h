// The renderer's back end over the 3D device layer: start-up, device creation with its
// fallbacks, frames, clearing, capture, loss and re-creation (qr_renderd3d.cpp), buffers
// and drawing (qr_renderd3d_buffers.cpp), render states and surfaces on the device
// (qr_renderd3d_states.cpp).
#pragma once

#include "platform/gfx/gfx_device.h"
#include "qrender/matrix44.h"
#include "qrender/qr_render.h"

// A window the caller hands over: Present gives it every frame.
struct QR_HostWindow
{
    GFX_PresentFunc myPresentFunc;
    void* myUserData;
    // Each frame, once its drawing went to the device and before its picture is read
    // back: the host may show the last picture meanwhile. May be null.
    void (*myDrawingFunc)(void* aUserData) = nullptr;
    // The pixels last handed to myPresentFunc are about to go (GFX_ReleaseFunc). Null: the
    // host copies them at Present.
    GFX_ReleaseFunc myReleaseFunc = nullptr;
};

const uint32_t QR_BUFFER_UNUSED = 100000000; // position of a dynamic buffer untouched this frame

struct QR_D3DVertexBuffer
{
    QR_VertexBuffer* myOwner;
    GFX_Buffer* myBuffer;
    uint32_t myMemIndex;    // byte position of the current append
    uint32_t myPendingSize; // bytes the last draw used from myMemIndex
    uint8_t myReserved;
    uint8_t myVBLockedFlag;
    uint8_t mySharedDynamicFlag;
};

struct QR_D3DIndexBuffer
{
    QR_IndexBuffer* myOwner;
    GFX_Buffer* myBuffer;
    uint32_t myIBIndex;      // index position of the current append
    uint32_t myPendingCount; // indices the last draw used
    uint8_t myIBLockedFlag;
};

// One stage of a compiled surface pass: COLOROP, COLORARG1, COLORARG2, RESULTARG, ALPHAOP,
// ALPHAARG1, ALPHAARG2, COLORARG0, ALPHAARG0 in the device's values.
struct QR_StageWords
{
    uint32_t myWords[9];
};

// A compiled surface pass as the back end applies it.
struct QR_CompiledStageBlock
{
    GFX_Shader* myPixelShader;    // set first when present; owned
    GFX_StateBlock* myStateBlock; // applied instead of the fields below when present
    uint32_t mySrcBlend;          // GFX_BLEND_*
    uint32_t myDestBlend;
    uint32_t myAlphaFunc;         // GFX_CMP_*; ALWAYS switches the alpha test off
    uint32_t myNumTextures;
    uint32_t myNumStages;
    QR_StageWords myStages[8];
};

// The device side of a QR_Texture.
struct QR_D3DTexture
{
    GFX_Texture* myTexture;     // or null for a cube texture
    GFX_Texture* myCubeTexture;
    GFX_Surface* myDepthSurface; // render targets with their own depth buffer
    uint32_t myMemory;           // bytes counted in the texture-memory statistic
    uint32_t myMemory2;
    uint8_t myFlags;
};

// Writes rows of 0xAARRGGBB words in a device format; the bytes written (width x height x
// bytes per pixel), or 0 for a format it does not write.
uint32_t QR_ConvertPixels(GFX_Format aFormat, const uint32_t* aSource, uint32_t aWidth, uint32_t aHeight,
                          uint8_t* aDest, int32_t aPitch);

typedef GFX_System* (*QR_GfxSystemFactory)();

class QR_RenderD3D : public QR_Render
{
public:
    QR_RenderD3D();
    ~QR_RenderD3D() override;

    void Shutdown() override;
    void FreeBufferPools() override;
    bool CreateBufferPools() override;
    bool Init(QR_RenderSettings* aSettings) override;
    bool ChangeSettings(QR_RenderSettings* aSettings) override;
    bool SetWindowRect(int32_t anX, int32_t aY, int32_t aWidth, int32_t aHeight) override;
    bool GrabFrontBuffer(uint32_t* aPixels) override;
    void ReleaseContext() override;
    void BeginFrame() override;
    void EndFrame() override;
    void Clear(const QR_Rect* aRect, uint32_t aFlags, uint32_t aColor, float aDepth, uint32_t aStencil) override;
    void SetView(QR_View* aView) override;
    bool CreateDeviceTexture(QR_Texture* aTexture, void** aLevelList, uint32_t aNumLevels,
                             uint32_t aFormatKind) override;
    void ReleaseTexture(QR_Texture* aTexture) override;
    bool LoadDDS(QR_Texture* aTexture, const char* aName) override;
    bool CompileSurfaceTemplate(QR_Surface* aSurface) override;
    void ReleaseSurfaceTemplate(QR_Surface* aSurface) override;
    void SetSurface(QR_SurfaceInstance* anInstance, uint32_t aColor, float aTime) override;
    bool LockTexture(QR_Texture* aTexture, void** aBitsOut, int32_t* aPitchOut, uint32_t aLevel) override;
    void UnlockTexture(QR_Texture* aTexture, uint32_t aLevel) override;
    void SetRenderStates(const QR_RenderStates* aStates, uint32_t aGroupMask) override;
    bool SetRenderTarget(QR_Texture* aTexture, bool aSetDepthBufferAlsoFlag) override;
    QR_IndexBuffer* CreateIndexBuffer(uint32_t aNumIndices, bool aStaticFlag, QR_BufferRefillFunc aRefillFunc,
                                      void* aRefillArgument) override;
    void ReleaseIndexBuffer(QR_IndexBuffer* anIndexBuffer) override;
    bool LockIndexBuffer(QR_IndexBuffer* anIndexBuffer, uint16_t** anOut, int32_t aStartIndex,
                         int32_t aNumIndices) override;
    void UnlockIndexBuffer(QR_IndexBuffer* anIndexBuffer) override;
    QR_VertexBuffer* CreateVertexBuffer(uint32_t aVertexSize, uint32_t aNumVertices, bool aStaticFlag,
                                        QR_BufferRefillFunc aRefillFunc, void* aRefillArgument) override;
    void ReleaseVertexBuffer(QR_VertexBuffer* aVertexBuffer) override;
    bool LockVertexBuffer(QR_VertexBuffer* aVertexBuffer, void** anOut, int32_t aStartVertex,
                          int32_t aNumVertices) override;
    void UnlockVertexBuffer(QR_VertexBuffer* aVertexBuffer) override;
    bool AppendVertices(QR_VertexBuffer* aVertexBuffer, void** anOut, uint32_t aNumVertices) override;
    bool AppendIndexedVertices(QR_VertexBuffer* aVertexBuffer, QR_IndexBuffer* anIndexBuffer, void** aVerticesOut,
                               uint32_t aNumVertices, uint16_t** anIndicesOut, uint32_t aNumIndices,
                               uint32_t* aFirstVertexOut) override;
    void DrawPrimitives(QR_VertexBuffer** aVertexBufferList, uint32_t aType, uint32_t aNumVerts) override;
    void DrawIndexedDynamic(QR_VertexBuffer** aVertexBufferList, QR_IndexBuffer* anIndexBuffer, uint32_t aType,
                            uint32_t aNumVerts, uint32_t aNumPrimitives) override;
    void DrawIndexed(QR_VertexBuffer** aVertexBufferList, QR_IndexBuffer* anIndexBuffer, uint32_t aType,
                     uint32_t aFirstVertex, uint32_t aNumVerts, uint32_t aFirstIndex,
                     uint32_t aNumPrimitives) override;
    bool ReserveDynamicIndices(uint32_t aNumIndices) override;
    bool ReserveDynamicVertices(uint32_t aNumBytes) override;
    bool OptimizeVertexOrder(uint8_t* aVertices, uint32_t aNumVertices, uint32_t aVertexSize, uint16_t* anIndices,
                             uint32_t aNumIndices) override;
    bool OptimizeFaceOrder(uint16_t* anIndices, uint32_t aNumIndices, uint32_t aNumVertices) override;

    bool InitD3D(const QR_RenderStartupOptions* anOptions);
    static bool CreateDevice(QR_RenderD3D* aRender);
    static void ReleaseDevice(QR_RenderD3D* aRender, bool aDestroyWindowFlag);
    static void ApplyStageBlock(const QR_CompiledStageBlock* aBlock);
    // The ps_1_1 shader of a stage block when pixel shaders are in use; true and nothing made
    // when they are not; false for an operation without a shader form or a text that fails.
    static bool WritePixelShader(QR_CompiledStageBlock* aBlock);
    // The text of the last pixel shader written (either form), for diagnostics.
    static const char* LastPixelShaderText();
    static void ReleaseStageBlock(QR_CompiledStageBlock* aBlock);
    // Renderer texture-format code of a device format.
    static uint32_t TextureFormatCode(GFX_Format aFormat);
    // Every render-state, stage and stream cache entry becomes unknown.
    static void InvalidateStateCaches();

    // Makes the device system; the OpenGL one unless a test installs another.
    static QR_GfxSystemFactory ourSystemFactory;
    static GFX_System* ourSystem;
    static GFX_Device* ourDevice;
    static QR_HostWindow ourWindow;
    static bool ourWindowAdoptedFlag;
    static bool ourOwnWindowFlag; // the emulated render window of our own exists
    static GFX_Surface* ourBackBuffer;
    static GFX_Surface* ourDepthStencil;
    static GFX_Format ourAdapterFormat;
    static GFX_Format ourBackBufferFormat;
    static GFX_Format ourDepthStencilFormat;
    static bool ourHardwareTransformFlag;
    static bool ourDynamicTexturesFlag;
    static bool ourNonPow2ConditionalFlag;
    static GFX_Format ourTextureFormat24;
    static GFX_Format ourTextureFormat32;
    static const Matrix44* ourProjectionMatrix; // set by SetView
    static bool ourEmptyViewFlag;               // SetView found nothing of the view on the target: draws do nothing
    // Factories of the assembled kinds, filled when they are linked in; without them the
    // settings' shader flags are cleared at device creation.
    static bool (*ourCreateNormalMapKind)();
    static bool (*ourCreateAssembledNormalMeshKind)();
    static void (*ourDestroyAssembledKinds)();

    QR_SurfaceInstance* myForceFlushSurfaces[2];
    uint32_t myForceFlushIndex;
    // A re-creation failed and left no device; frames try again.
    bool myRecreatePendingFlag;
    uint32_t myRecreateFrame; // ourFrameCount of the last re-creation tried

protected:
    bool StartUp(QR_HostWindow* aWindow, const QR_RenderStartupOptions* anOptions) override;

private:
    bool RestoreSequence();
    bool RecreateDevice();
    bool RemakeDevice();
    bool AbandonDevice();
    bool CreateDeviceBuffer(QR_VertexBuffer* aBuffer);
    bool CreateDeviceBuffer(QR_IndexBuffer* aBuffer);
    void ReleaseDeviceBuffer(QR_VertexBuffer* aBuffer);
    void ReleaseDeviceBuffer(QR_IndexBuffer* aBuffer);
    uint32_t BindStreams(QR_VertexBuffer** aVertexBufferList, uint32_t aNumVerts, bool aCheckStaticLockFlag);
    void ResetDynamicBuffers();
    bool MakeOwnKinds();
    void DeleteOwnKinds();
};
