// The renderer's interface: settings, capabilities, buffer registries and the operations
// every other part of the renderer and the programs draw through. One back end implements
// it (qr_renderd3d); exactly one renderer exists, reached through QR_Render::ourInstance.
#pragma once

#include <stdint.h>

#include "qcommon/qc_growingarray.h"

class QR_Texture;
class QR_Surface;
class QR_SurfaceInstance;
class QR_View;
struct QR_CompiledVertexShader;
struct QR_D3DVertexBuffer;
struct QR_D3DIndexBuffer;
struct QR_HostWindow;

struct QR_RenderSettings
{
    QR_RenderSettings();

    int32_t myAdapter;          // -1: the default adapter (0)
    int32_t myPosX;
    int32_t myPosY;
    int32_t myWidth;            // back buffer and window, pixels
    int32_t myHeight;
    int32_t myBitsPerPixel;     // 16 or 32; windowed: the desktop's
    uint8_t myFullScreenFlag;
    uint8_t myVertexShaderFlag; // cleared when the device cannot
    uint8_t myPixelShaderFlag;  // cleared when the device cannot
    uint8_t myVSyncFlag;
    int32_t myRefreshRate;      // Hz, 0: the adapter's default
    float myGamma;              // multiplies the desktop gamma ramp
    uint8_t myStencilBufferFlag;
    uint8_t myAlphaBufferFlag;
    int32_t myMultiSampleType;  // lowered until the device accepts it
    int32_t myTextureReduction; // times loaded textures are halved
    float myMipMapLodBias;
    int32_t myTextureFilter;    // default filter code of render-state records, 0..6
};

struct QR_RenderStartupOptions
{
    QR_RenderStartupOptions();

    uint8_t myRequireStencilFlag; // list only adapters with all eight stencil operations
    uint8_t myReserved[2];
};

struct QR_RenderCaps
{
    QR_RenderCaps();

    uint32_t myNumFixedStages;
    uint32_t myMaxTextureSize;
    uint32_t myMaxTextureAspectRatio;
    uint32_t myMaxSimultaneousTextures;
    uint32_t myMaxTextureBlendStages;
    uint8_t myDXTFlag;
    uint8_t myVertexShaderFlag;
    uint8_t myPixelShaderFlag;
};

struct QR_DisplayMode
{
    uint32_t myWidth;
    uint32_t myHeight;
    uint32_t myBitsPerPixel;
};

struct QR_AdapterEntry
{
    QR_DisplayMode* myModes; // owned
    uint32_t myNumModes;
    uint32_t myReserved;
    uint8_t myStencilFlag;
    uint8_t mySecondFlag;
    uint32_t myAdapter;
    char* myDescription; // owned
    QR_AdapterEntry* myNext;
};

// Refills a buffer after the device was re-created; the argument is the creator's.
typedef bool (*QR_BufferRefillFunc)(void* anArgument);

struct QR_VertexBuffer
{
    QR_VertexBuffer* myNext;
    QR_D3DVertexBuffer* myDeviceBuffer;
    QR_BufferRefillFunc myRefillFunc;
    void* myRefillArgument;
    uint32_t myNumVertices;
    uint32_t mySize;       // bytes
    uint32_t myVertexSize; // bytes
    uint8_t myIsStaticBufferFlag;
};

struct QR_IndexBuffer
{
    QR_IndexBuffer* myNext;
    QR_BufferRefillFunc myRefillFunc;
    void* myRefillArgument;
    QR_D3DIndexBuffer* myDeviceBuffer;
    uint32_t myLength; // 16-bit indices
    uint8_t myIsStaticBufferFlag;
};

enum QR_DrawTypes : uint32_t
{
    QR_DRAWTYPES_TRIANGLELIST = 0,
    QR_DRAWTYPES_TRIANGLESTRIP = 1,
    QR_DRAWTYPES_TRIANGLEFAN = 2,
    QR_DRAWTYPES_LINELIST = 3
};

enum QR_ClearFlags : uint32_t
{
    QR_CLEAR_TARGET = 1,
    QR_CLEAR_ZBUFFER = 2,
    QR_CLEAR_STENCIL = 4
};

struct QR_Rect
{
    int32_t myLeft;
    int32_t myTop;
    int32_t myRight;
    int32_t myBottom;
};

// The render-state record, applied by group. Enumerated values are the device's minus one.
enum QR_RenderStateGroups : uint32_t
{
    QR_RSGROUP_CULL = 0x01,
    QR_RSGROUP_DEPTH = 0x02,
    QR_RSGROUP_STENCIL = 0x04,
    QR_RSGROUP_SHADE = 0x08,
    QR_RSGROUP_COLORWRITE = 0x10,
    QR_RSGROUP_SAMPLER = 0x20
};

struct QR_RenderStates
{
    // Cull counter-clockwise, depth test less-or-equal with writes, no stencil, Gouraud,
    // colour writes without alpha, wrapping, the renderer's texture filter (5 without one).
    QR_RenderStates();

    uint32_t myCullMode; // 0 none, 1 clockwise, 2 counter-clockwise
    uint8_t myDepthTestFlag;
    uint32_t myDepthFunc; // 0 never ... 7 always
    uint8_t myDepthWriteFlag;
    uint8_t myStencilFlag;
    uint32_t myStencilFunc;
    uint8_t myStencilRef;
    uint32_t myStencilMask;
    uint32_t myStencilWriteMask;
    uint32_t myStencilPassOp; // 0 keep, 1 zero, 2 replace, 3 incrsat, 4 decrsat, 5 invert, 6 incr, 7 decr
    uint32_t myStencilFailOp;
    uint32_t myStencilDepthFailOp;
    uint32_t myShadeMode; // 0 flat, 1 Gouraud
    uint8_t myColorWriteFlag;
    uint8_t myAlphaWriteFlag;
    uint8_t myTextureWrapFlag;
    uint32_t myTextureFilter; // 0..6
};

// Called with false before the device is released and with true after it is re-created.
typedef bool (*QR_ResetCallback)(bool aRestoreFlag);

// Entry points of the renderer's resource lists (meshes, textures, surfaces, templates)
// that device creation, loss and reload run in a fixed order. The mesh, texture and
// surface entries start filled; the others are filled by their lists when linked in. An empty
// entry is skipped (and counts as success).
struct QR_RenderHooks
{
    QR_RenderHooks();

    void (*myReleaseAllMeshDeviceData)();
    bool (*myCompileAllMeshVertexShaders)();
    bool (*myRestoreAllTextures)();  // after a new renderer: textures made again
    bool (*myReloadAllTextures)();   // after a device reset
    void (*myReleaseAllTextures)();  // every texture's device data
    bool (*myRecompileAllSurfaces)();
    void (*myReleaseAllSurfaceTemplates)();
    bool (*myReloadAllTemplates)();
    // The two force-flush surface instances: made at Init, drawn at frame start, their
    // texture reloaded after every present.
    QR_SurfaceInstance* (*myCreateForceFlushSurface)(int anIndex);
    void (*myDestroyForceFlushSurface)(QR_SurfaceInstance* anInstance);
    void (*myDrawForceFlushSurface)(QR_SurfaceInstance* anInstance);
    void (*myReloadForceFlushSurface)(QR_SurfaceInstance* anInstance);
};

// Device memory and per-frame counters. The programs reset the per-frame ones.
struct QR_RenderStats
{
    uint32_t myIndexBufferMemory;  // bytes
    uint32_t myVertexBufferMemory; // bytes
    uint32_t myTextureMemory;      // bytes
    uint32_t myFrameCounter;
    // Per frame.
    uint32_t myDrawCalls;
    uint32_t myPrimitives;
    uint32_t myVertices;
    uint32_t myWeightedVertices; // at least 50 per draw call
    uint32_t myDynamicBytes;     // vertex and index bytes submitted from non-static buffers
    uint32_t myTransparentObjects;
    uint32_t myDrawnParts; // parts of placed objects
    uint32_t myParticles;  // particles of the emitters drawn

    void ResetFrame()
    {
        myDrawCalls = myPrimitives = myVertices = myWeightedVertices = 0;
        myDynamicBytes = myTransparentObjects = myDrawnParts = myParticles = 0;
    }
};

class QR_Render
{
public:
    QR_Render();
    virtual ~QR_Render();

    virtual void Shutdown() = 0;
    virtual void FreeBufferPools() = 0;
    virtual bool CreateBufferPools() = 0;
    virtual bool Init(QR_RenderSettings* aSettings) = 0;
    virtual bool ChangeSettings(QR_RenderSettings* aSettings) = 0;
    virtual bool SetWindowRect(int32_t anX, int32_t aY, int32_t aWidth, int32_t aHeight) = 0;
    // myWidth x myHeight pixels, 0xAARRGGBB, top row first.
    virtual bool GrabFrontBuffer(uint32_t* aPixels) = 0;
    virtual void BeginFrame() = 0;
    virtual void EndFrame() = 0;
    // aColor 0xRRGGBB; flags QR_CLEAR_*.
    virtual void Clear(const QR_Rect* aRect, uint32_t aFlags, uint32_t aColor, float aDepth, uint32_t aStencil) = 0;
    virtual void SetView(QR_View* aView) = 0;
    virtual bool CreateDeviceTexture(QR_Texture* aTexture, void** aLevelList, uint32_t aNumLevels,
                                     uint32_t aFormatKind) = 0;
    virtual void ReleaseTexture(QR_Texture* aTexture) = 0;
    virtual bool LoadDDS(QR_Texture* aTexture, const char* aName) = 0;
    virtual bool CompileSurfaceTemplate(QR_Surface* aSurface) = 0;
    virtual void ReleaseSurfaceTemplate(QR_Surface* aSurface) = 0;
    virtual void SetSurface(QR_SurfaceInstance* anInstance, uint32_t aColor, float aTime) = 0;
    virtual bool LockTexture(QR_Texture* aTexture, void** aBitsOut, int32_t* aPitchOut, uint32_t aLevel) = 0;
    virtual void UnlockTexture(QR_Texture* aTexture, uint32_t aLevel) = 0;
    virtual void SetRenderStates(const QR_RenderStates* aStates, uint32_t aGroupMask) = 0;
    virtual void BeginSolid2D();
    virtual void BeginAlpha2D();
    // BeginAlpha2D with texture filter 3: stretched (filtered) bitmaps.
    void BeginAlpha2DFiltered();
    virtual bool SetRenderTarget(QR_Texture* aTexture, bool aSetDepthBufferAlsoFlag) = 0;
    virtual QR_IndexBuffer* CreateIndexBuffer(uint32_t aNumIndices, bool aStaticFlag, QR_BufferRefillFunc aRefillFunc,
                                              void* aRefillArgument) = 0;
    virtual void ReleaseIndexBuffer(QR_IndexBuffer* anIndexBuffer) = 0;
    virtual bool LockIndexBuffer(QR_IndexBuffer* anIndexBuffer, uint16_t** anOut, int32_t aStartIndex,
                                 int32_t aNumIndices) = 0;
    virtual void UnlockIndexBuffer(QR_IndexBuffer* anIndexBuffer) = 0;
    virtual QR_VertexBuffer* CreateVertexBuffer(uint32_t aVertexSize, uint32_t aNumVertices, bool aStaticFlag,
                                                QR_BufferRefillFunc aRefillFunc, void* aRefillArgument) = 0;
    virtual void ReleaseVertexBuffer(QR_VertexBuffer* aVertexBuffer) = 0;
    virtual bool LockVertexBuffer(QR_VertexBuffer* aVertexBuffer, void** anOut, int32_t aStartVertex,
                                  int32_t aNumVertices) = 0;
    virtual void UnlockVertexBuffer(QR_VertexBuffer* aVertexBuffer) = 0;
    virtual bool AppendVertices(QR_VertexBuffer* aVertexBuffer, void** anOut, uint32_t aNumVertices) = 0;
    virtual bool AppendIndexedVertices(QR_VertexBuffer* aVertexBuffer, QR_IndexBuffer* anIndexBuffer,
                                       void** aVerticesOut, uint32_t aNumVertices, uint16_t** anIndicesOut,
                                       uint32_t aNumIndices, uint32_t* aFirstVertexOut) = 0;
    virtual void DrawPrimitives(QR_VertexBuffer** aVertexBufferList, uint32_t aType, uint32_t aNumVerts) = 0;
    virtual void DrawIndexedDynamic(QR_VertexBuffer** aVertexBufferList, QR_IndexBuffer* anIndexBuffer,
                                    uint32_t aType, uint32_t aNumVerts, uint32_t aNumPrimitives) = 0;
    virtual void DrawIndexed(QR_VertexBuffer** aVertexBufferList, QR_IndexBuffer* anIndexBuffer, uint32_t aType,
                             uint32_t aFirstVertex, uint32_t aNumVerts, uint32_t aFirstIndex,
                             uint32_t aNumPrimitives) = 0;
    virtual bool ReserveDynamicIndices(uint32_t aNumIndices) = 0;
    virtual bool ReserveDynamicVertices(uint32_t aNumBytes) = 0;
    // Reorder for the vertex cache; false (data as it was at the failing step) on failure.
    virtual bool OptimizeVertexOrder(uint8_t* aVertices, uint32_t aNumVertices, uint32_t aVertexSize,
                                     uint16_t* anIndices, uint32_t aNumIndices);
    virtual bool OptimizeFaceOrder(uint16_t* anIndices, uint32_t aNumIndices, uint32_t aNumVertices);

    // False when a renderer exists. aWindow: a host window to draw into (never destroyed by
    // the renderer), or null. anOptions null skips the adapter listing.
    static bool Create(QR_HostWindow* aWindow, const QR_RenderStartupOptions* anOptions);
    static void Destroy();
    // 32-bit top-left-origin TGA of the current frame.
    static bool SaveScreenshot(const char* aFileName);
    // Flag 1: surfaces and textures; flag 2: template objects.
    static bool ReloadResources(uint8_t aFlags);
    // The next SetSurface applies its surface in full (once per frame).
    static void ForgetAppliedSurface();
    // Lets go of the device's context on the calling thread; the next thread
    // that draws or loads takes it (a worker that owns the scene for a while).
    virtual void ReleaseContext() {}
    static bool AddResetCallback(QR_ResetCallback aCallback);
    static void RemoveResetCallback(QR_ResetCallback aCallback);

    static QR_Render* ourInstance;
    static uint32_t ourFrameCount;
    static QR_RenderStats ourStats;
    static QR_RenderHooks ourHooks;

    QR_RenderSettings myRenderSettings;
    QR_RenderCaps myCaps;
    QR_Texture* myRenderTarget; // null: the back buffer
    uint32_t myRenderTargetWord;
    QR_AdapterEntry* myAdapterList;
    QR_IndexBuffer* myIndexBufferList;
    QR_VertexBuffer* myVertexBufferList;
    QR_IndexBuffer* myDynamicIndexBuffer;
    QR_VertexBuffer* myDynamicVertexBuffer;
    QR_CompiledVertexShader* mySolid2DSetup;
    QR_CompiledVertexShader* myAlpha2DSetup;
    QC_GrowingArray<QR_ResetCallback> myResetCallbacks;

protected:
    // The back end's start-up, run by Create once the instance pointer is set.
    virtual bool StartUp(QR_HostWindow* aWindow, const QR_RenderStartupOptions* anOptions) = 0;
    static QR_Render* CreateBackEnd();
};
