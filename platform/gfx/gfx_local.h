// Internals shared by the back ends: the resource records, the state every device keeps,
// and GFX_DeviceCommon, which validates requests, keeps states, shadow copies and state
// blocks, and hands the back end only what reaches the device.
#pragma once

#include "platform/gfx/gfx_device.h"
#include "platform/gfx/gfx_shader_local.h"
#include "platform/os/os_memory.h"

#include <bitset>
#include <cstdarg>
#include <string>
#include <vector>

void GFX_SetError(GFX_ErrorCode aCode, const char* aFormat, ...) __attribute__((format(printf, 2, 3)));


const uint32_t GFX_MAX_STAGES = 8;
const uint32_t GFX_MAX_STREAMS = 8;
const uint32_t GFX_MAX_ACTIVE_LIGHTS = 8;

struct GFX_Buffer
{
    GFX_BufferDesc myDesc;
    std::vector<uint8_t> myShadow; // what the caller wrote; uploaded at unlock
    bool myLockedFlag = false;
    uint32_t myLockOffset = 0;
    uint32_t myLockSize = 0;
    uint32_t myLockFlags = 0;
    uint32_t myHandle = 0; // back-end object
};

enum GFX_SurfaceKind : uint32_t
{
    GFX_SURFACE_BACKBUFFER,
    GFX_SURFACE_AUTODEPTH,
    GFX_SURFACE_TEXTURELEVEL,
    GFX_SURFACE_DEPTH
};

struct GFX_Surface
{
    GFX_SurfaceKind myKind = GFX_SURFACE_BACKBUFFER;
    uint32_t myWidth = 0;
    uint32_t myHeight = 0;
    GFX_Format myFormat = GFX_FORMAT_UNKNOWN;
    GFX_Texture* myTexture = nullptr; // texture levels
    uint32_t myFace = 0;
    uint32_t myLevel = 0;
    uint32_t myHandle = 0; // back-end renderbuffer
};

struct GFX_Texture
{
    GFX_TextureDesc myDesc; // myLevels resolved
    uint32_t myFaceCount = 1;
    // Face-major: image (face, level) at face * levels + level, each in the format's layout.
    std::vector<std::vector<uint8_t>> myImages;
    std::vector<uint8_t> myLockedFlags;
    std::vector<GFX_Surface> mySurfaces;
    uint32_t myHandle = 0;
    uint32_t LevelWidth(uint32_t aLevel) const { return myDesc.myWidth >> aLevel ? myDesc.myWidth >> aLevel : 1; }
    uint32_t LevelHeight(uint32_t aLevel) const { return myDesc.myHeight >> aLevel ? myDesc.myHeight >> aLevel : 1; }
};

struct GFX_VertexDecl
{
    std::vector<GFX_VertexElement> myElements;
    uint32_t myHandle = 0;
};

struct GFX_Shader
{
    GFX_ShaderProgram myProgram;
    uint32_t myId = 0;         // unique in the process; generated programs are cached by it
    uint32_t myStageCount = 0; // pixel shaders: texture stages read
};

const uint32_t GFX_VS_CONSTANTS = 96;
// Larger vertex or index buffers fail as out of video memory (the shadow copy would be made first).
const uint32_t GFX_MAX_BUFFER_SIZE = 256u << 20;
const uint32_t GFX_PS_CONSTANTS = 8;

struct GFX_Stream
{
    GFX_Buffer* myBuffer = nullptr;
    uint32_t myOffset = 0;
    uint32_t myStride = 0;
};

struct GFX_LightSlot
{
    GFX_Light myLight;
    bool myEnabledFlag = false;
};

// Everything the draw calls read.
struct GFX_State
{
    uint32_t myRS[GFX_RS_COUNT];
    uint32_t myTSS[GFX_MAX_STAGES][GFX_TSS_COUNT];
    uint32_t mySamp[GFX_MAX_STAGES][GFX_SAMP_COUNT];
    GFX_Texture* myTextures[GFX_MAX_STAGES];
    GFX_Matrix myTransforms[GFX_TS_COUNT];
    std::vector<GFX_LightSlot> myLights; // by light index; grows as lights are set
    GFX_Material myMaterial;
    GFX_Viewport myViewport;
    GFX_Rect myScissor;
    GFX_VertexDecl* myDecl = nullptr;
    GFX_Stream myStreams[GFX_MAX_STREAMS];
    GFX_Buffer* myIndices = nullptr;
    GFX_Shader* myVertexShader = nullptr;
    GFX_Shader* myPixelShader = nullptr;
    float myVSConstants[GFX_VS_CONSTANTS][4];
    float myPSConstants[GFX_PS_CONSTANTS][4];
};

struct GFX_StateBlock
{
    std::bitset<GFX_RS_COUNT> myRSMask;
    std::bitset<GFX_MAX_STAGES * GFX_TSS_COUNT> myTSSMask;
    std::bitset<GFX_MAX_STAGES * GFX_SAMP_COUNT> mySampMask;
    std::bitset<GFX_MAX_STAGES> myTextureMask;
    std::bitset<GFX_TS_COUNT> myTransformMask;
    std::vector<uint8_t> myLightMask;       // light set
    std::vector<uint8_t> myLightEnableMask; // light switched
    bool myMaterialFlag = false;
    bool myViewportFlag = false;
    GFX_State myValues;
};

class GFX_DeviceCommon : public GFX_Device
{
public:
    GFX_DeviceCommon(const GFX_DeviceDesc& aDesc, const GFX_Caps& aCaps);
    ~GFX_DeviceCommon() override;

    GFX_ErrorCode TestCooperativeLevel() override;
    bool Reset(const GFX_DeviceDesc& aDesc) override;
    bool ResizeBackBuffer(uint32_t aWidth, uint32_t aHeight) override;
    // See GFX_LoseDevice.
    void MakeLost(uint32_t aLostCallsBeforeResettable);
    uint32_t GetLiveObjectCount() const override;
    const GFX_DeviceDesc& GetDesc() const override { return myDesc; }
    const GFX_Caps& GetCaps() const override { return myCaps; }
    void EvictManagedResources() override;

    GFX_Buffer* CreateBuffer(const GFX_BufferDesc& aDesc) override;
    void ReleaseBuffer(GFX_Buffer* aBuffer) override;
    bool LockBuffer(GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aSize, uint32_t aLockFlags,
                    void** aDataOut) override;
    bool UnlockBuffer(GFX_Buffer* aBuffer) override;

    GFX_Texture* CreateTexture(const GFX_TextureDesc& aDesc) override;
    void ReleaseTexture(GFX_Texture* aTexture) override;
    uint32_t GetTextureLevelCount(const GFX_Texture* aTexture) const override;
    bool LockTexture(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel, uint32_t aLockFlags,
                     GFX_LockedRect* aRectOut) override;
    bool UnlockTexture(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel) override;
    GFX_Surface* GetTextureSurface(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel) override;
    GFX_Surface* CreateDepthStencilSurface(uint32_t aWidth, uint32_t aHeight, GFX_Format aFormat) override;
    void ReleaseSurface(GFX_Surface* aSurface) override;
    GFX_Surface* GetBackBuffer() override { return &myBackBuffer; }
    GFX_Surface* GetAutoDepthStencil() override { return myDesc.myAutoDepthStencilFlag ? &myAutoDepth : nullptr; }
    bool SetRenderTarget(GFX_Surface* aSurface) override;
    bool SetDepthStencilSurface(GFX_Surface* aSurface) override;
    GFX_Surface* GetRenderTarget() override { return myRenderTarget; }
    GFX_Surface* GetDepthStencilSurface() override { return myDepthStencil; }
    bool ReadSurface(GFX_Surface* aSurface, uint32_t* aPixels, uint32_t aPitch) override;

    GFX_VertexDecl* CreateVertexDecl(const GFX_VertexElement* anElements, uint32_t aCount) override;
    void ReleaseVertexDecl(GFX_VertexDecl* aDecl) override;
    void SetVertexDecl(GFX_VertexDecl* aDecl) override;
    void SetStreamSource(uint32_t aStream, GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aStride) override;
    void SetIndices(GFX_Buffer* aBuffer) override;

    GFX_Shader* CreateShader(const char* aText, uint32_t aLength) override;
    void ReleaseShader(GFX_Shader* aShader) override;
    bool SetVertexShader(GFX_Shader* aShader) override;
    bool SetPixelShader(GFX_Shader* aShader) override;
    bool SetVertexShaderConstantF(uint32_t aStart, const float* aValues, uint32_t aCount) override;
    bool SetPixelShaderConstantF(uint32_t aStart, const float* aValues, uint32_t aCount) override;

    void SetRenderState(GFX_RenderState aState, uint32_t aValue) override;
    uint32_t GetRenderState(GFX_RenderState aState) const override;
    void SetTextureStageState(uint32_t aStage, GFX_TextureStageState aState, uint32_t aValue) override;
    uint32_t GetTextureStageState(uint32_t aStage, GFX_TextureStageState aState) const override;
    void SetSamplerState(uint32_t aSampler, GFX_SamplerState aState, uint32_t aValue) override;
    uint32_t GetSamplerState(uint32_t aSampler, GFX_SamplerState aState) const override;
    void SetTexture(uint32_t aStage, GFX_Texture* aTexture) override;
    GFX_Texture* GetTexture(uint32_t aStage) const override
    {
        return aStage < GFX_MAX_STAGES ? myState.myTextures[aStage] : nullptr;
    }
    void SetTransform(GFX_TransformState aState, const GFX_Matrix& aMatrix) override;
    const GFX_Matrix& GetTransform(GFX_TransformState aState) const override;
    bool SetLight(uint32_t anIndex, const GFX_Light& aLight) override;
    bool LightEnable(uint32_t anIndex, bool anEnableFlag) override;
    void SetMaterial(const GFX_Material& aMaterial) override;
    void SetViewport(const GFX_Viewport& aViewport) override;
    const GFX_Viewport& GetViewport() const override { return myState.myViewport; }
    void SetScissorRect(const GFX_Rect& aRect) override;

    bool BeginStateBlock() override;
    GFX_StateBlock* EndStateBlock() override;
    bool ApplyStateBlock(GFX_StateBlock* aBlock) override;
    bool CaptureStateBlock(GFX_StateBlock* aBlock) override;
    void ReleaseStateBlock(GFX_StateBlock* aBlock) override;

    bool BeginScene() override;
    bool EndScene() override;
    bool Clear(uint32_t aCount, const GFX_Rect* aRects, uint32_t aFlags, uint32_t aColor, float aZ,
               uint32_t aStencil) override;
    bool DrawPrimitive(GFX_PrimitiveType aType, uint32_t aStartVertex, uint32_t aPrimitiveCount) override;
    bool DrawIndexedPrimitive(GFX_PrimitiveType aType, int32_t aBaseVertex, uint32_t aMinIndex,
                              uint32_t aNumVertices, uint32_t aStartIndex, uint32_t aPrimitiveCount) override;
    bool Present() override;
    bool GetFrontBufferData(uint32_t* aPixels, uint32_t aPitch) override;

    void SetGammaRamp(const uint16_t aRed[256], const uint16_t aGreen[256], const uint16_t aBlue[256]) override;
    void GetGammaRamp(uint16_t aRed[256], uint16_t aGreen[256], uint16_t aBlue[256]) const override;

    // Set up the back buffer and hand it to the back end; false leaves the device unusable.
    bool Init();

protected:
    struct DrawCall
    {
        GFX_PrimitiveType myType;
        bool myIndexedFlag;
        int32_t myBaseVertex;     // indexed: added to every index
        uint32_t myFirst;         // first vertex, or first index
        uint32_t myCount;         // vertices or indices
        uint32_t myPrimitiveCount;
    };

    // Back-end hooks. Resource hooks return false with the error set.
    virtual bool BackInit() = 0;
    virtual bool BackCreateBuffer(GFX_Buffer* aBuffer) = 0;
    virtual void BackReleaseBuffer(GFX_Buffer* aBuffer) = 0;
    virtual void BackUploadBuffer(GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aSize, bool aDiscardFlag) = 0;
    virtual bool BackCreateTexture(GFX_Texture* aTexture) = 0;
    virtual void BackReleaseTexture(GFX_Texture* aTexture) = 0;
    virtual void BackUploadTexture(GFX_Texture* aTexture, uint32_t aFace, uint32_t aLevel) = 0;
    virtual bool BackCreateDepthSurface(GFX_Surface* aSurface) = 0;
    virtual void BackReleaseDepthSurface(GFX_Surface* aSurface) = 0;
    virtual void BackCreateDecl(GFX_VertexDecl* aDecl) {}
    virtual void BackReleaseDecl(GFX_VertexDecl* aDecl) {}
    virtual void BackClear(const GFX_Rect& aRect, uint32_t aFlags, uint32_t aColor, float aZ, uint32_t aStencil) = 0;
    // false with the error set when the draw's program cannot be built.
    virtual bool BackDraw(const DrawCall& aCall) = 0;
    virtual bool BackReadSurface(GFX_Surface* aSurface, uint32_t* aPixels, uint32_t aPitch) = 0;
    // Reads the back buffer into myFrontPixels.
    virtual void BackPresent() = 0;
    // The scene's commands go to the device now, so that it draws while the caller
    // does other work before Present.
    virtual void BackEndScene() {}
    // Device loss: DEFAULT-pool contents are gone; Reset rebuilds the back buffer.
    virtual void BackLoseDevice() {}
    virtual bool BackReset() { return true; }

    // The recording back end logs every call that passes validation.
    // Tells the host that the pixels it was handed are about to go (GFX_ReleaseFunc).
    void ReleaseHostPixels();
    void Trace(const char* aFormat, ...) __attribute__((format(printf, 2, 3)));
    virtual void TraceLine(const std::string& aLine) {}
    bool myTraceFlag = false;

    void SetDefaultStates();
    bool ValidateDraw(GFX_PrimitiveType aType, uint32_t aPrimitiveCount, uint32_t* aCountOut);
    // Vertices aFirst .. aFirst + aCount - 1 lie inside every stream the declaration reads.
    bool ValidateVertexRange(int64_t aFirst, uint64_t aCount);

    GFX_DeviceDesc myDesc;
    GFX_Caps myCaps;
    uint32_t myMaxBufferSize = GFX_MAX_BUFFER_SIZE;
    GFX_State myState;
    GFX_Surface myBackBuffer;
    GFX_Surface myAutoDepth;
    GFX_Surface* myRenderTarget = nullptr;
    GFX_Surface* myDepthStencil = nullptr;
    GFX_StateBlock* myRecordingBlock = nullptr;
    bool myInSceneFlag = false;
    bool myLostFlag = false;
    uint32_t myLostCallsLeft = 0;
    uint16_t myGamma[3][256];
    // Last presented frame, back-buffer size, in a large block of its own.
    std::vector<uint32_t, OS_LargeAllocator<uint32_t>> myFrontPixels;
    std::vector<uint32_t> myGammaPixels; // the last frame the host got through a ramp
    uint32_t myFrameCount = 0;

    std::vector<GFX_Buffer*> myBuffers;
    std::vector<GFX_Texture*> myTextures;
    std::vector<GFX_Surface*> myDepthSurfaces;
    std::vector<GFX_VertexDecl*> myDecls;
    std::vector<GFX_StateBlock*> myStateBlocks;
    std::vector<GFX_Shader*> myShaders;
};
