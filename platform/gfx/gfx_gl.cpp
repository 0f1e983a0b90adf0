// The OpenGL 3.3 core back end over an EGL context that each device owns (Mesa's
// surfaceless platform, or the first EGL device). Everything is drawn into a framebuffer
// object whose row 0 is the top of the image; Present reads it back for the host window.
//
// [SECTION] EGL display and contexts
// [SECTION] Formats
// [SECTION] Device: life and render targets
// [SECTION] Device: resources
// [SECTION] Device: fixed states
// [SECTION] Device: programs, uniforms, textures and attributes
// [SECTION] Device: clear, draw, read back
// [SECTION] System
#include "platform/gfx/gfx_gl_local.h"

#include <epoxy/egl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

// [SECTION] EGL display and contexts --------------------------------------------------------

static EGLDisplay ourDisplay = EGL_NO_DISPLAY;
static bool ourDisplayTriedFlag = false;

// One display for the process: terminating it would end every device's context.
static bool locInitDisplay()
{
    if (ourDisplayTriedFlag)
        return ourDisplay != EGL_NO_DISPLAY;
    ourDisplayTriedFlag = true;
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_base"))
    {
        GFX_SetError(GFX_ERROR_NO_CONTEXT, "EGL has no platform displays");
        return false;
    }
    EGLDisplay locDisplay = EGL_NO_DISPLAY;
    if (epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
        locDisplay = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint locMajor = 0, locMinor = 0;
    if (locDisplay != EGL_NO_DISPLAY && !eglInitialize(locDisplay, &locMajor, &locMinor))
        locDisplay = EGL_NO_DISPLAY;
    if (locDisplay == EGL_NO_DISPLAY && epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_device_enumeration"))
    {
        EGLDeviceEXT locDevices[4];
        EGLint locCount = 0;
        if (eglQueryDevicesEXT(4, locDevices, &locCount) && locCount > 0)
        {
            locDisplay = eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, locDevices[0], nullptr);
            if (locDisplay != EGL_NO_DISPLAY && !eglInitialize(locDisplay, &locMajor, &locMinor))
                locDisplay = EGL_NO_DISPLAY;
        }
    }
    if (locDisplay == EGL_NO_DISPLAY)
    {
        GFX_SetError(GFX_ERROR_NO_CONTEXT, "no surfaceless or device EGL display (error 0x%X)", eglGetError());
        return false;
    }
    ourDisplay = locDisplay;
    return true;
}

// The system's probe context, kept for the next device: a context costs a pipe and its
// threads to make and to end, and every program makes a device straight after the system.
static EGLContext ourSpareContext = EGL_NO_CONTEXT;

static EGLContext locCreateContext()
{
    if (!locInitDisplay())
        return EGL_NO_CONTEXT;
    if (ourSpareContext != EGL_NO_CONTEXT)
    {
        EGLContext locSpare = ourSpareContext;
        ourSpareContext = EGL_NO_CONTEXT;
        if (eglMakeCurrent(ourDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, locSpare))
            return locSpare;
        eglDestroyContext(ourDisplay, locSpare);
    }
    if (!eglBindAPI(EGL_OPENGL_API))
    {
        GFX_SetError(GFX_ERROR_NO_CONTEXT, "EGL has no OpenGL API");
        return EGL_NO_CONTEXT;
    }
    const EGLint locConfigAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig locConfig = nullptr;
    EGLint locCount = 0;
    if (!eglChooseConfig(ourDisplay, locConfigAttribs, &locConfig, 1, &locCount) || locCount == 0)
        locConfig = nullptr; // EGL_KHR_no_config_context
    const EGLint locAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext locContext = eglCreateContext(ourDisplay, locConfig, EGL_NO_CONTEXT, locAttribs);
    if (locContext == EGL_NO_CONTEXT)
    {
        GFX_SetError(GFX_ERROR_NO_CONTEXT, "no OpenGL 3.3 core context (error 0x%X)", eglGetError());
        return EGL_NO_CONTEXT;
    }
    if (!eglMakeCurrent(ourDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, locContext))
    {
        GFX_SetError(GFX_ERROR_NO_CONTEXT, "surfaceless context cannot be made current (error 0x%X)", eglGetError());
        eglDestroyContext(ourDisplay, locContext);
        return EGL_NO_CONTEXT;
    }
    return locContext;
}

// [SECTION] Formats -------------------------------------------------------------------------

struct GFX_GLFormat
{
    GLenum myInternal;
    GLenum myFormat;
    GLenum myType;
    GLint mySwizzle[4];
    bool myCompressedFlag;
};

static bool locGLFormat(GFX_Format aFormat, GFX_GLFormat* f)
{
    const GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE, ZERO = GL_ZERO;
    auto locSet = [f](GLenum i, GLenum fm, GLenum t, GLint s0, GLint s1, GLint s2, GLint s3, bool c) {
        *f = {i, fm, t, {s0, s1, s2, s3}, c};
        return true;
    };
    switch (aFormat)
    {
        // Memory bytes B, G, R, A: the word 0xAARRGGBB on a little-endian machine.
        case GFX_FORMAT_A8R8G8B8: return locSet(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, R, G, B, A, false);
        case GFX_FORMAT_X8R8G8B8: return locSet(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, R, G, B, ONE, false);
        case GFX_FORMAT_R8G8B8: return locSet(GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, R, G, B, ONE, false);
        case GFX_FORMAT_R5G6B5: return locSet(GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, R, G, B, ONE, false);
        case GFX_FORMAT_A1R5G5B5:
            return locSet(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, R, G, B, A, false);
        case GFX_FORMAT_X1R5G5B5:
            return locSet(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, R, G, B, ONE, false);
        case GFX_FORMAT_A4R4G4B4:
            return locSet(GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, R, G, B, A, false);
        case GFX_FORMAT_X4R4G4B4:
            return locSet(GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, R, G, B, ONE, false);
        case GFX_FORMAT_A8: return locSet(GL_R8, GL_RED, GL_UNSIGNED_BYTE, ZERO, ZERO, ZERO, R, false);
        case GFX_FORMAT_L8: return locSet(GL_R8, GL_RED, GL_UNSIGNED_BYTE, R, R, R, ONE, false);
        case GFX_FORMAT_A8L8: return locSet(GL_RG8, GL_RG, GL_UNSIGNED_BYTE, R, R, R, G, false);
        // Signed U, V; the third and fourth channels read 1.
        case GFX_FORMAT_V8U8: return locSet(GL_RG8_SNORM, GL_RG, GL_BYTE, R, G, ONE, ONE, false);
        case GFX_FORMAT_DXT1: return locSet(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, R, G, B, A, true);
        case GFX_FORMAT_DXT3: return locSet(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, R, G, B, A, true);
        case GFX_FORMAT_DXT5: return locSet(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, R, G, B, A, true);
        default: return false;
    }
}

static GLenum locDepthInternal(GFX_Format aFormat)
{
    switch (aFormat)
    {
        case GFX_FORMAT_D16: return GL_DEPTH_COMPONENT16;
        case GFX_FORMAT_D24X8: return GL_DEPTH_COMPONENT24;
        case GFX_FORMAT_D32: return GL_DEPTH_COMPONENT32F;
        default: return GL_DEPTH24_STENCIL8;
    }
}

static bool locIsX(GFX_Format aFormat)
{
    return aFormat == GFX_FORMAT_X8R8G8B8 || aFormat == GFX_FORMAT_X1R5G5B5 || aFormat == GFX_FORMAT_X4R4G4B4 ||
           aFormat == GFX_FORMAT_R5G6B5 || aFormat == GFX_FORMAT_R8G8B8;
}

static void locColor(uint32_t aColor, float* anOut)
{
    anOut[0] = float((aColor >> 16) & 0xFF) / 255.0f;
    anOut[1] = float((aColor >> 8) & 0xFF) / 255.0f;
    anOut[2] = float(aColor & 0xFF) / 255.0f;
    anOut[3] = float(aColor >> 24) / 255.0f;
}

// [SECTION] Device: life and render targets -------------------------------------------------

namespace
{

// Last values sent to GL; -1 is unknown.
enum GFX_GLCache
{
    GLC_DEPTHTEST, GLC_DEPTHFUNC, GLC_DEPTHMASK, GLC_BLEND, GLC_BLENDSRC, GLC_BLENDDST, GLC_BLENDOP,
    GLC_CULL, GLC_FRONTFACE, GLC_FILL, GLC_STENCILTEST, GLC_STENCILFUNC, GLC_STENCILREF, GLC_STENCILMASK,
    GLC_STENCILWRITE, GLC_STENCILFAIL, GLC_STENCILZFAIL, GLC_STENCILPASS, GLC_COLORMASK, GLC_SCISSORTEST,
    GLC_SCISSOR_X, GLC_SCISSOR_Y, GLC_SCISSOR_W, GLC_SCISSOR_H, GLC_COUNT
};

class GFX_GLDevice : public GFX_DeviceCommon
{
public:
    GFX_GLDevice(const GFX_DeviceDesc& aDesc, const GFX_Caps& aCaps, bool anExpandDXTFlag)
        : GFX_DeviceCommon(aDesc, aCaps), myExpandDXTFlag(anExpandDXTFlag)
    {
        memset(mySamplerCache, 0xFF, sizeof(mySamplerCache));
        InvalidateCache();
    }
    ~GFX_GLDevice() override;

protected:
    bool BackInit() override;
    bool BackCreateBuffer(GFX_Buffer* aBuffer) override;
    void BackReleaseBuffer(GFX_Buffer* aBuffer) override;
    void BackUploadBuffer(GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aSize, bool aDiscardFlag) override;
    bool BackCreateTexture(GFX_Texture* aTexture) override;
    void BackReleaseTexture(GFX_Texture* aTexture) override;
    void BackUploadTexture(GFX_Texture* aTexture, uint32_t aFace, uint32_t aLevel) override;
    bool BackCreateDepthSurface(GFX_Surface* aSurface) override;
    void BackReleaseDepthSurface(GFX_Surface* aSurface) override;
    void BackClear(const GFX_Rect& aRect, uint32_t aFlags, uint32_t aColor, float aZ, uint32_t aStencil) override;
    bool BackDraw(const DrawCall& aCall) override;
    bool BackReadSurface(GFX_Surface* aSurface, uint32_t* aPixels, uint32_t aPitch) override;
    void BackPresent() override;
    void BackEndScene() override;
    bool BackReset() override;
    void ReleaseContext() override;

private:
    void Activate();
    bool MakeBackBuffer();
    bool BindTarget();
    void InvalidateCache() { std::fill(myCache, myCache + GLC_COUNT, -1); }
    void Cap(GLenum aCap, int aSlot, bool anOnFlag);
    bool Changed(int aSlot, int aValue);
    void ApplyFixedStates();
    GFX_GLProgram* GetProgram(const GFX_GLProgramKey& aKey);
    void SetUniforms(const GFX_GLProgram& aProgram, const GFX_GLProgramKey& aKey);
    void BindTextures(const GFX_GLProgramKey& aKey);
    void ApplySampler(uint32_t aStage);
    void SetupAttributes(bool anIndexedFlag);
    void ForgetVertexArrays();
    void BackReleaseDecl(GFX_VertexDecl* aDecl) override { ForgetVertexArrays(); }

    EGLContext myContext = EGL_NO_CONTEXT;
    GLuint myFBO = 0, myReadFBO = 0, myVAO = 0;
    GLuint myBackColor = 0, myBackDepth = 0;
    GLuint mySamplers[GFX_MAX_STAGES] = {};
    uint32_t mySamplerCache[GFX_MAX_STAGES][GFX_SAMP_COUNT];
    bool myAnisotropyFlag = false;
    bool myS3TCFlag = false;
    bool myExpandDXTFlag = false;
    GFX_Surface* myAttachedColor = nullptr;
    GFX_Surface* myAttachedDepth = nullptr;
    bool myAttachmentsValidFlag = false;
    int myCache[GLC_COUNT];
    // Keys are looked up as views of the caller's bytes: a draw allocates nothing.
    struct KeyHash
    {
        using is_transparent = void;
        size_t operator()(std::string_view aKey) const { return std::hash<std::string_view>()(aKey); }
    };
    template <class T>
    using KeyMap = std::unordered_map<std::string, T, KeyHash, std::equal_to<>>;
    KeyMap<GFX_GLProgram> myPrograms;
    GFX_GLProgram* myCurrentProgram = nullptr;
    KeyMap<GLuint> myVertexArrays;
    GLuint myBoundVertexArray = 0;
};

GFX_GLDevice::~GFX_GLDevice()
{
    if (myContext == EGL_NO_CONTEXT)
        return;
    Activate();
    for (GFX_Buffer* b : myBuffers)
        glDeleteBuffers(1, &b->myHandle);
    for (GFX_Texture* t : myTextures)
        glDeleteTextures(1, &t->myHandle);
    for (GFX_Surface* s : myDepthSurfaces)
        glDeleteRenderbuffers(1, &s->myHandle);
    for (auto& locEntry : myPrograms)
        glDeleteProgram(locEntry.second.myProgram);
    for (auto& locEntry : myVertexArrays)
        glDeleteVertexArrays(1, &locEntry.second);
    glDeleteSamplers(GFX_MAX_STAGES, mySamplers);
    glDeleteRenderbuffers(1, &myBackColor);
    glDeleteRenderbuffers(1, &myBackDepth);
    glDeleteFramebuffers(1, &myFBO);
    glDeleteFramebuffers(1, &myReadFBO);
    glDeleteVertexArrays(1, &myVAO);
    eglMakeCurrent(ourDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(ourDisplay, myContext);
}

void GFX_GLDevice::Activate()
{
    if (eglGetCurrentContext() != myContext)
    {
        eglMakeCurrent(ourDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, myContext);
        // Another device may have been current: nothing cached about bindings holds.
        myAttachmentsValidFlag = false;
    }
}

void GFX_GLDevice::ReleaseContext()
{
    if (eglGetCurrentContext() == myContext)
        eglMakeCurrent(ourDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

bool GFX_GLDevice::BackInit()
{
    myContext = locCreateContext();
    if (myContext == EGL_NO_CONTEXT)
        return false;
    myS3TCFlag = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc") && !myExpandDXTFlag;
    myAnisotropyFlag = epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                       epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
    glGenFramebuffers(1, &myFBO);
    glGenFramebuffers(1, &myReadFBO);
    glGenVertexArrays(1, &myVAO);
    glBindVertexArray(myVAO);
    glGenSamplers(GFX_MAX_STAGES, mySamplers);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    if (!MakeBackBuffer())
        return false;
    BackClear({0, 0, int32_t(myDesc.myWidth), int32_t(myDesc.myHeight)},
              uint32_t(GFX_CLEAR_TARGET) | (myDepthStencil ? uint32_t(GFX_CLEAR_ZBUFFER) : 0u) |
                  (myDepthStencil && GFX_FormatStencilBits(myDepthStencil->myFormat) ? uint32_t(GFX_CLEAR_STENCIL) : 0u),
              0xFF000000u, 1.0f, 0);
    return true;
}

bool GFX_GLDevice::MakeBackBuffer()
{
    if (!myBackColor)
        glGenRenderbuffers(1, &myBackColor);
    glBindRenderbuffer(GL_RENDERBUFFER, myBackColor);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(myDesc.myWidth), GLsizei(myDesc.myHeight));
    myBackBuffer.myHandle = myBackColor;
    if (myDesc.myAutoDepthStencilFlag)
    {
        if (!myBackDepth)
            glGenRenderbuffers(1, &myBackDepth);
        glBindRenderbuffer(GL_RENDERBUFFER, myBackDepth);
        glRenderbufferStorage(GL_RENDERBUFFER, locDepthInternal(myDesc.myDepthStencilFormat),
                              GLsizei(myDesc.myWidth), GLsizei(myDesc.myHeight));
        myAutoDepth.myHandle = myBackDepth;
    }
    myAttachmentsValidFlag = false;
    if (glGetError() != GL_NO_ERROR)
    {
        GFX_SetError(GFX_ERROR_OUT_OF_VIDEO_MEMORY, "back buffer %ux%u cannot be made", myDesc.myWidth,
                     myDesc.myHeight);
        return false;
    }
    return BindTarget();
}

bool GFX_GLDevice::BackReset()
{
    Activate();
    return MakeBackBuffer();
}

static void locAttachDepth(GLenum aTarget, const GFX_Surface* aSurface)
{
    glFramebufferRenderbuffer(aTarget, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferRenderbuffer(aTarget, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (!aSurface)
        return;
    const bool locStencilFlag = locDepthInternal(aSurface->myFormat) == GL_DEPTH24_STENCIL8;
    glFramebufferRenderbuffer(aTarget, locStencilFlag ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                              GL_RENDERBUFFER, aSurface->myHandle);
}

static void locAttachColor(GLenum aTarget, const GFX_Surface* aSurface)
{
    if (aSurface->myKind == GFX_SURFACE_TEXTURELEVEL)
        glFramebufferTexture2D(aTarget, GL_COLOR_ATTACHMENT0,
                               aSurface->myTexture->myDesc.myCubeFlag ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + aSurface->myFace
                                                                      : GL_TEXTURE_2D,
                               aSurface->myTexture->myHandle, GLint(aSurface->myLevel));
    else
        glFramebufferRenderbuffer(aTarget, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, aSurface->myHandle);
}

bool GFX_GLDevice::BindTarget()
{
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, myFBO);
    if (myAttachmentsValidFlag && myAttachedColor == myRenderTarget && myAttachedDepth == myDepthStencil)
        return true;
    locAttachColor(GL_DRAW_FRAMEBUFFER, myRenderTarget);
    locAttachDepth(GL_DRAW_FRAMEBUFFER, myDepthStencil);
    myAttachedColor = myRenderTarget;
    myAttachedDepth = myDepthStencil;
    myAttachmentsValidFlag = true;
    const GLenum locStatus = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
    if (locStatus != GL_FRAMEBUFFER_COMPLETE)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "render target incomplete (0x%X)", locStatus);
        myAttachmentsValidFlag = false;
        return false;
    }
    return true;
}

// [SECTION] Device: resources ---------------------------------------------------------------

bool GFX_GLDevice::BackCreateBuffer(GFX_Buffer* b)
{
    Activate();
    glGenBuffers(1, &b->myHandle);
    glBindBuffer(GL_COPY_WRITE_BUFFER, b->myHandle);
    glBufferData(GL_COPY_WRITE_BUFFER, b->myDesc.mySize, b->myShadow.data(),
                 (b->myDesc.myUsage & GFX_USAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    if (glGetError() == GL_OUT_OF_MEMORY)
    {
        glDeleteBuffers(1, &b->myHandle);
        GFX_SetError(GFX_ERROR_OUT_OF_VIDEO_MEMORY, "buffer of %u bytes", b->myDesc.mySize);
        return false;
    }
    return true;
}

void GFX_GLDevice::BackReleaseBuffer(GFX_Buffer* b)
{
    ForgetVertexArrays();
    glDeleteBuffers(1, &b->myHandle);
}

void GFX_GLDevice::BackUploadBuffer(GFX_Buffer* b, uint32_t anOffset, uint32_t aSize, bool aDiscardFlag)
{
    Activate();
    glBindBuffer(GL_COPY_WRITE_BUFFER, b->myHandle);
    // A discard orphans the store, so pending draws keep reading the old one.
    if (aDiscardFlag)
        glBufferData(GL_COPY_WRITE_BUFFER, b->myDesc.mySize, nullptr,
                     (b->myDesc.myUsage & GFX_USAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    glBufferSubData(GL_COPY_WRITE_BUFFER, anOffset, aSize, b->myShadow.data() + anOffset);
}

bool GFX_GLDevice::BackCreateTexture(GFX_Texture* t)
{
    Activate();
    GFX_GLFormat f;
    if (!locGLFormat(t->myDesc.myFormat, &f))
    {
        GFX_SetError(GFX_ERROR_NOT_AVAILABLE, "texture format %s", GFX_FormatName(t->myDesc.myFormat));
        return false;
    }
    // Without S3TC, compressed levels are expanded into 32-bit texels on upload.
    if (f.myCompressedFlag && !myS3TCFlag)
        f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {f.mySwizzle[0], f.mySwizzle[1], f.mySwizzle[2], f.mySwizzle[3]}, false};
    const bool locTargetFlag = (t->myDesc.myUsage & GFX_USAGE_RENDERTARGET) != 0;
    if (locTargetFlag)
        f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {f.mySwizzle[0], f.mySwizzle[1], f.mySwizzle[2], f.mySwizzle[3]}, false};
    const GLenum locTarget = t->myDesc.myCubeFlag ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    glGenTextures(1, &t->myHandle);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(locTarget, t->myHandle);
    glTexParameteri(locTarget, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(locTarget, GL_TEXTURE_MAX_LEVEL, GLint(t->myDesc.myLevels - 1));
    glTexParameteriv(locTarget, GL_TEXTURE_SWIZZLE_RGBA, f.mySwizzle);
    for (uint32_t face = 0; face < t->myFaceCount; ++face)
        for (uint32_t l = 0; l < t->myDesc.myLevels; ++l)
        {
            const GLenum locImage = t->myDesc.myCubeFlag ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
            const std::vector<uint8_t>& locBits = t->myImages[face * t->myDesc.myLevels + l];
            if (GFX_FormatIsCompressed(t->myDesc.myFormat) && !f.myCompressedFlag)
            {
                std::vector<uint32_t> locTexels(size_t(t->LevelWidth(l)) * t->LevelHeight(l));
                GFX_DecompressDXT(t->myDesc.myFormat, t->LevelWidth(l), t->LevelHeight(l), locBits.data(),
                                  locTexels.data());
                glTexImage2D(locImage, GLint(l), GL_RGBA8, GLsizei(t->LevelWidth(l)), GLsizei(t->LevelHeight(l)), 0,
                             GL_BGRA, GL_UNSIGNED_BYTE, locTexels.data());
            }
            else if (f.myCompressedFlag)
                glCompressedTexImage2D(locImage, GLint(l), f.myInternal, GLsizei(t->LevelWidth(l)),
                                       GLsizei(t->LevelHeight(l)), 0, GLsizei(locBits.size()), locBits.data());
            else
                glTexImage2D(locImage, GLint(l), GLint(f.myInternal), GLsizei(t->LevelWidth(l)),
                             GLsizei(t->LevelHeight(l)), 0, f.myFormat, f.myType,
                             locTargetFlag ? nullptr : locBits.data());
        }
    // Texture units may now hold this texture; the next draw binds what it needs.
    const GLenum locError = glGetError();
    if (locError != GL_NO_ERROR)
    {
        glDeleteTextures(1, &t->myHandle);
        GFX_SetError(locError == GL_OUT_OF_MEMORY ? GFX_ERROR_OUT_OF_VIDEO_MEMORY : GFX_ERROR_NOT_AVAILABLE,
                     "texture %ux%u %s (GL 0x%X)", t->myDesc.myWidth, t->myDesc.myHeight,
                     GFX_FormatName(t->myDesc.myFormat), locError);
        return false;
    }
    return true;
}

void GFX_GLDevice::BackReleaseTexture(GFX_Texture* t)
{
    Activate();
    if (myAttachedColor && myAttachedColor->myTexture == t)
        myAttachmentsValidFlag = false;
    glDeleteTextures(1, &t->myHandle);
}

void GFX_GLDevice::BackUploadTexture(GFX_Texture* t, uint32_t aFace, uint32_t aLevel)
{
    Activate();
    GFX_GLFormat f;
    if (!locGLFormat(t->myDesc.myFormat, &f))
        return;
    const GLenum locTarget = t->myDesc.myCubeFlag ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    const GLenum locImage = t->myDesc.myCubeFlag ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + aFace : GL_TEXTURE_2D;
    const std::vector<uint8_t>& locBits = t->myImages[aFace * t->myDesc.myLevels + aLevel];
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(locTarget, t->myHandle);
    if (f.myCompressedFlag && !myS3TCFlag)
    {
        std::vector<uint32_t> locTexels(size_t(t->LevelWidth(aLevel)) * t->LevelHeight(aLevel));
        GFX_DecompressDXT(t->myDesc.myFormat, t->LevelWidth(aLevel), t->LevelHeight(aLevel), locBits.data(),
                          locTexels.data());
        glTexSubImage2D(locImage, GLint(aLevel), 0, 0, GLsizei(t->LevelWidth(aLevel)), GLsizei(t->LevelHeight(aLevel)),
                        GL_BGRA, GL_UNSIGNED_BYTE, locTexels.data());
    }
    else if (f.myCompressedFlag)
        glCompressedTexSubImage2D(locImage, GLint(aLevel), 0, 0, GLsizei(t->LevelWidth(aLevel)),
                                  GLsizei(t->LevelHeight(aLevel)), f.myInternal, GLsizei(locBits.size()),
                                  locBits.data());
    else
        glTexSubImage2D(locImage, GLint(aLevel), 0, 0, GLsizei(t->LevelWidth(aLevel)), GLsizei(t->LevelHeight(aLevel)),
                        f.myFormat, f.myType, locBits.data());
}

bool GFX_GLDevice::BackCreateDepthSurface(GFX_Surface* s)
{
    Activate();
    glGenRenderbuffers(1, &s->myHandle);
    glBindRenderbuffer(GL_RENDERBUFFER, s->myHandle);
    glRenderbufferStorage(GL_RENDERBUFFER, locDepthInternal(s->myFormat), GLsizei(s->myWidth), GLsizei(s->myHeight));
    if (glGetError() != GL_NO_ERROR)
    {
        glDeleteRenderbuffers(1, &s->myHandle);
        GFX_SetError(GFX_ERROR_OUT_OF_VIDEO_MEMORY, "depth surface %ux%u", s->myWidth, s->myHeight);
        return false;
    }
    return true;
}

void GFX_GLDevice::BackReleaseDepthSurface(GFX_Surface* s)
{
    Activate();
    if (myAttachedDepth == s)
        myAttachmentsValidFlag = false;
    glDeleteRenderbuffers(1, &s->myHandle);
}

// [SECTION] Device: fixed states ------------------------------------------------------------

bool GFX_GLDevice::Changed(int aSlot, int aValue)
{
    if (myCache[aSlot] == aValue)
        return false;
    myCache[aSlot] = aValue;
    return true;
}

void GFX_GLDevice::Cap(GLenum aCap, int aSlot, bool anOnFlag)
{
    if (Changed(aSlot, anOnFlag ? 1 : 0))
        anOnFlag ? glEnable(aCap) : glDisable(aCap);
}

static GLenum locCompareGL(uint32_t aFunc)
{
    static const GLenum ourFuncs[8] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                       GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return aFunc >= 1 && aFunc <= 8 ? ourFuncs[aFunc - 1] : GL_ALWAYS;
}

static GLenum locBlendGL(uint32_t aBlend)
{
    static const GLenum ourFactors[11] = {GL_ZERO,      GL_ONE,           GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR,
                                          GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA,
                                          GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR,
                                          GL_SRC_ALPHA_SATURATE};
    return aBlend >= 1 && aBlend <= 11 ? ourFactors[aBlend - 1] : GL_ONE;
}

static GLenum locStencilOpGL(uint32_t anOp)
{
    // INCRSAT and DECRSAT clamp; INCR and DECR wrap.
    static const GLenum ourOps[8] = {GL_KEEP, GL_ZERO,   GL_REPLACE,   GL_INCR,
                                     GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return anOp >= 1 && anOp <= 8 ? ourOps[anOp - 1] : GL_KEEP;
}

void GFX_GLDevice::ApplyFixedStates()
{
    const uint32_t* rs = myState.myRS;
    const bool locDepthFlag = myDepthStencil != nullptr;
    Cap(GL_DEPTH_TEST, GLC_DEPTHTEST, locDepthFlag && rs[GFX_RS_ZENABLE]);
    if (Changed(GLC_DEPTHFUNC, int(rs[GFX_RS_ZFUNC])))
        glDepthFunc(locCompareGL(rs[GFX_RS_ZFUNC]));
    if (Changed(GLC_DEPTHMASK, rs[GFX_RS_ZWRITEENABLE] ? 1 : 0))
        glDepthMask(rs[GFX_RS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);

    Cap(GL_BLEND, GLC_BLEND, rs[GFX_RS_ALPHABLENDENABLE] != 0);
    if (rs[GFX_RS_ALPHABLENDENABLE])
    {
        uint32_t locSrc = rs[GFX_RS_SRCBLEND], locDst = rs[GFX_RS_DESTBLEND];
        if (locSrc == GFX_BLEND_BOTHSRCALPHA)
            locSrc = GFX_BLEND_SRCALPHA, locDst = GFX_BLEND_INVSRCALPHA;
        else if (locSrc == GFX_BLEND_BOTHINVSRCALPHA)
            locSrc = GFX_BLEND_INVSRCALPHA, locDst = GFX_BLEND_SRCALPHA;
        // A target without alpha reads destination alpha as 1.
        if (locIsX(myRenderTarget->myFormat))
        {
            if (locSrc == GFX_BLEND_DESTALPHA) locSrc = GFX_BLEND_ONE;
            if (locSrc == GFX_BLEND_INVDESTALPHA) locSrc = GFX_BLEND_ZERO;
            if (locDst == GFX_BLEND_DESTALPHA) locDst = GFX_BLEND_ONE;
            if (locDst == GFX_BLEND_INVDESTALPHA) locDst = GFX_BLEND_ZERO;
        }
        const bool locSrcChanged = Changed(GLC_BLENDSRC, int(locSrc));
        const bool locDstChanged = Changed(GLC_BLENDDST, int(locDst));
        if (locSrcChanged || locDstChanged)
            glBlendFunc(locBlendGL(locSrc), locBlendGL(locDst));
        if (Changed(GLC_BLENDOP, int(rs[GFX_RS_BLENDOP])))
        {
            static const GLenum ourOps[5] = {GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
            const uint32_t locOp = rs[GFX_RS_BLENDOP];
            glBlendEquation(locOp >= 1 && locOp <= 5 ? ourOps[locOp - 1] : GL_FUNC_ADD);
        }
    }

    // Row 0 of the target is the top, so a winding seen clockwise on screen is
    // counter-clockwise in GL's window coordinates.
    const uint32_t locCull = rs[GFX_RS_CULLMODE];
    Cap(GL_CULL_FACE, GLC_CULL, locCull == GFX_CULL_CW || locCull == GFX_CULL_CCW);
    if (locCull == GFX_CULL_CW || locCull == GFX_CULL_CCW)
        if (Changed(GLC_FRONTFACE, int(locCull)))
        {
            glFrontFace(locCull == GFX_CULL_CCW ? GL_CCW : GL_CW);
            glCullFace(GL_BACK);
        }
    if (Changed(GLC_FILL, int(rs[GFX_RS_FILLMODE])))
        glPolygonMode(GL_FRONT_AND_BACK, rs[GFX_RS_FILLMODE] == GFX_FILL_POINT       ? GL_POINT
                                         : rs[GFX_RS_FILLMODE] == GFX_FILL_WIREFRAME ? GL_LINE
                                                                                     : GL_FILL);

    const bool locStencilFlag = locDepthFlag && GFX_FormatStencilBits(myDepthStencil->myFormat) > 0;
    Cap(GL_STENCIL_TEST, GLC_STENCILTEST, locStencilFlag && rs[GFX_RS_STENCILENABLE]);
    if (locStencilFlag && rs[GFX_RS_STENCILENABLE])
    {
        const bool a = Changed(GLC_STENCILFUNC, int(rs[GFX_RS_STENCILFUNC]));
        const bool b = Changed(GLC_STENCILREF, int(rs[GFX_RS_STENCILREF]));
        const bool c = Changed(GLC_STENCILMASK, int(rs[GFX_RS_STENCILMASK]));
        if (a || b || c)
            glStencilFunc(locCompareGL(rs[GFX_RS_STENCILFUNC]), GLint(rs[GFX_RS_STENCILREF] & 0xFF),
                          rs[GFX_RS_STENCILMASK]);
        const bool d = Changed(GLC_STENCILFAIL, int(rs[GFX_RS_STENCILFAIL]));
        const bool e = Changed(GLC_STENCILZFAIL, int(rs[GFX_RS_STENCILZFAIL]));
        const bool f = Changed(GLC_STENCILPASS, int(rs[GFX_RS_STENCILPASS]));
        if (d || e || f)
            glStencilOp(locStencilOpGL(rs[GFX_RS_STENCILFAIL]), locStencilOpGL(rs[GFX_RS_STENCILZFAIL]),
                        locStencilOpGL(rs[GFX_RS_STENCILPASS]));
    }
    if (Changed(GLC_STENCILWRITE, int(rs[GFX_RS_STENCILWRITEMASK])))
        glStencilMask(rs[GFX_RS_STENCILWRITEMASK]);
    const uint32_t locMask = rs[GFX_RS_COLORWRITEENABLE] & 0xF;
    if (Changed(GLC_COLORMASK, int(locMask)))
        glColorMask(locMask & 1 ? GL_TRUE : GL_FALSE, locMask & 2 ? GL_TRUE : GL_FALSE,
                    locMask & 4 ? GL_TRUE : GL_FALSE, locMask & 8 ? GL_TRUE : GL_FALSE);
    Cap(GL_SCISSOR_TEST, GLC_SCISSORTEST, rs[GFX_RS_SCISSORTESTENABLE] != 0);
    if (rs[GFX_RS_SCISSORTESTENABLE])
    {
        const GFX_Rect& r = myState.myScissor;
        const bool a = Changed(GLC_SCISSOR_X, r.myLeft), b = Changed(GLC_SCISSOR_Y, r.myTop);
        const bool c = Changed(GLC_SCISSOR_W, r.myRight - r.myLeft), d = Changed(GLC_SCISSOR_H, r.myBottom - r.myTop);
        if (a || b || c || d)
            glScissor(r.myLeft, r.myTop, std::max(0, r.myRight - r.myLeft), std::max(0, r.myBottom - r.myTop));
    }
    const GFX_Viewport& v = myState.myViewport;
    glViewport(GLint(v.myX), GLint(v.myY), GLsizei(v.myWidth), GLsizei(v.myHeight));
    glDepthRange(v.myMinZ, v.myMaxZ);
}

// [SECTION] Device: programs, uniforms, textures and attributes -----------------------------

GFX_GLProgram* GFX_GLDevice::GetProgram(const GFX_GLProgramKey& aKey)
{
    const std::string_view locKey(reinterpret_cast<const char*>(&aKey), sizeof(aKey));
    auto locIt = myPrograms.find(locKey);
    if (locIt == myPrograms.end())
    {
        // A failure is kept too, so it is not retried every draw.
        GFX_GLProgram locProgram;
        if (!GFX_GLBuildProgram(aKey, myState, &locProgram))
            locProgram.myError = GFX_GetLastErrorDetail();
        locIt = myPrograms.emplace(std::string(locKey), std::move(locProgram)).first;
        myCurrentProgram = nullptr;
    }
    if (!locIt->second.myProgram)
    {
        GFX_SetError(GFX_ERROR_PROGRAM, "%s", locIt->second.myError.c_str());
        return nullptr;
    }
    return &locIt->second;
}

static void locInverse3(const GFX_Matrix& aM, float anOut[3][3])
{
    const float(*m)[4] = aM.m;
    const float locDet = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    const float locInv = std::fabs(locDet) > 1e-20f ? 1.0f / locDet : 0.0f;
    anOut[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * locInv;
    anOut[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * locInv;
    anOut[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * locInv;
    anOut[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * locInv;
    anOut[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * locInv;
    anOut[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * locInv;
    anOut[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * locInv;
    anOut[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * locInv;
    anOut[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * locInv;
}

void GFX_GLDevice::SetUniforms(const GFX_GLProgram& p, const GFX_GLProgramKey& aKey)
{
    const GFX_State& s = myState;
    const uint32_t* rs = s.myRS;
    const GFX_Matrix& locView = s.myTransforms[GFX_TS_VIEW];
    const GFX_Matrix locWorldView = GFX_MatrixMultiply(s.myTransforms[GFX_TS_WORLD], locView);
    // Row-major matrices read as column-major are their transposes, so M * v in GLSL is
    // the row-vector product v x M.
    glUniformMatrix4fv(p.myWorldView, 1, GL_FALSE, &locWorldView.m[0][0]);
    glUniformMatrix4fv(p.myProj, 1, GL_FALSE, &s.myTransforms[GFX_TS_PROJECTION].m[0][0]);
    const GFX_Viewport& v = s.myViewport;
    glUniform2f(p.myHalfPixel, 1.0f / float(v.myWidth), 1.0f / float(v.myHeight));
    glUniform4f(p.myViewport, float(v.myX), float(v.myY), 2.0f / float(v.myWidth), 2.0f / float(v.myHeight));
    if (p.myNormalMatrix >= 0)
    {
        // Normals go through the inverse transpose: n x (M^-1)^T, uploaded as rows.
        float locInv[3][3], locNormal[9];
        locInverse3(locWorldView, locInv);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                locNormal[r * 3 + c] = locInv[c][r];
        glUniformMatrix3fv(p.myNormalMatrix, 1, GL_FALSE, locNormal);
    }
    float c[4];
    if (aKey.myLightingFlag)
    {
        const GFX_Material& m = s.myMaterial;
        glUniform4f(p.myMatDiffuse, m.myDiffuse.r, m.myDiffuse.g, m.myDiffuse.b, m.myDiffuse.a);
        glUniform4f(p.myMatAmbient, m.myAmbient.r, m.myAmbient.g, m.myAmbient.b, m.myAmbient.a);
        glUniform4f(p.myMatSpecular, m.mySpecular.r, m.mySpecular.g, m.mySpecular.b, m.mySpecular.a);
        glUniform4f(p.myMatEmissive, m.myEmissive.r, m.myEmissive.g, m.myEmissive.b, m.myEmissive.a);
        glUniform1f(p.myMatPower, m.myPower);
        locColor(rs[GFX_RS_AMBIENT], c);
        glUniform4fv(p.myGlobalAmbient, 1, c);
        const GFX_LightSlot* locLights[GFX_MAX_ACTIVE_LIGHTS];
        uint32_t n = 0;
        GFX_GLActiveLights(s, locLights, &n);
        float locDif[32], locSpe[32], locAmb[32], locPos[24], locDir[24], locAtt[32], locSpot[24];
        for (uint32_t i = 0; i < n; ++i)
        {
            const GFX_Light& l = locLights[i]->myLight;
            memcpy(&locDif[i * 4], &l.myDiffuse, 16);
            memcpy(&locSpe[i * 4], &l.mySpecular, 16);
            memcpy(&locAmb[i * 4], &l.myAmbient, 16);
            // Lights are given in world space; lighting happens in camera space.
            const float(*w)[4] = locView.m;
            const GFX_Vector3& q = l.myPosition;
            for (int k = 0; k < 3; ++k)
                locPos[i * 3 + k] = q.x * w[0][k] + q.y * w[1][k] + q.z * w[2][k] + w[3][k];
            const GFX_Vector3& d = l.myDirection;
            float locD[3];
            for (int k = 0; k < 3; ++k)
                locD[k] = d.x * w[0][k] + d.y * w[1][k] + d.z * w[2][k];
            const float locLen = std::sqrt(locD[0] * locD[0] + locD[1] * locD[1] + locD[2] * locD[2]);
            for (int k = 0; k < 3; ++k)
                locDir[i * 3 + k] = locLen > 0.0f ? locD[k] / locLen : 0.0f;
            locAtt[i * 4 + 0] = l.myAttenuation0;
            locAtt[i * 4 + 1] = l.myAttenuation1;
            locAtt[i * 4 + 2] = l.myAttenuation2;
            locAtt[i * 4 + 3] = l.myRange;
            locSpot[i * 3 + 0] = std::cos(l.myTheta * 0.5f);
            locSpot[i * 3 + 1] = std::cos(l.myPhi * 0.5f);
            locSpot[i * 3 + 2] = l.myFalloff;
        }
        if (n)
        {
            glUniform4fv(p.myLightDiffuse, GLsizei(n), locDif);
            glUniform4fv(p.myLightSpecular, GLsizei(n), locSpe);
            glUniform4fv(p.myLightAmbient, GLsizei(n), locAmb);
            glUniform3fv(p.myLightPos, GLsizei(n), locPos);
            glUniform3fv(p.myLightDir, GLsizei(n), locDir);
            glUniform4fv(p.myLightAtt, GLsizei(n), locAtt);
            glUniform3fv(p.myLightSpot, GLsizei(n), locSpot);
        }
    }
    if (aKey.myFogKind)
    {
        glUniform3f(p.myFog, GFX_BitsFloat(rs[GFX_RS_FOGSTART]), GFX_BitsFloat(rs[GFX_RS_FOGEND]),
                    GFX_BitsFloat(rs[GFX_RS_FOGDENSITY]));
        locColor(rs[GFX_RS_FOGCOLOR], c);
        glUniform4fv(p.myFogColor, 1, c);
    }
    locColor(rs[GFX_RS_TEXTUREFACTOR], c);
    glUniform4fv(p.myTFactor, 1, c);
    glUniform1i(p.myAlphaRef, GLint(rs[GFX_RS_ALPHAREF] & 0xFF));
    if (p.myVSConstants >= 0)
        glUniform4fv(p.myVSConstants, GFX_VS_CONSTANTS, &s.myVSConstants[0][0]);
    if (p.myPSConstants >= 0)
        glUniform4fv(p.myPSConstants, GFX_PS_CONSTANTS, &s.myPSConstants[0][0]);
    for (uint32_t i = 0; i < aKey.myNumStages; ++i)
    {
        const uint32_t* t = s.myTSS[i];
        if (p.myTexMatrix[i] >= 0)
            glUniformMatrix4fv(p.myTexMatrix[i], 1, GL_FALSE, &s.myTransforms[GFX_TS_TEXTURE0 + i].m[0][0]);
        if (p.myBumpMat[i] >= 0)
            glUniform4f(p.myBumpMat[i], GFX_BitsFloat(t[GFX_TSS_BUMPENVMAT00]), GFX_BitsFloat(t[GFX_TSS_BUMPENVMAT01]),
                        GFX_BitsFloat(t[GFX_TSS_BUMPENVMAT10]), GFX_BitsFloat(t[GFX_TSS_BUMPENVMAT11]));
        if (p.myBumpLum[i] >= 0)
            glUniform2f(p.myBumpLum[i], GFX_BitsFloat(t[GFX_TSS_BUMPENVLSCALE]),
                        GFX_BitsFloat(t[GFX_TSS_BUMPENVLOFFSET]));
        if (p.myConst[i] >= 0)
        {
            locColor(t[GFX_TSS_CONSTANT], c);
            glUniform4fv(p.myConst[i], 1, c);
        }
    }
}

void GFX_GLDevice::ApplySampler(uint32_t i)
{
    const uint32_t* p = myState.mySamp[i];
    if (memcmp(mySamplerCache[i], p, sizeof(mySamplerCache[i])) == 0)
        return;
    memcpy(mySamplerCache[i], p, sizeof(mySamplerCache[i]));
    const GLuint s = mySamplers[i];
    auto locAddress = [](uint32_t anAddress) -> GLint {
        switch (anAddress)
        {
            case GFX_TADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
            case GFX_TADDRESS_CLAMP:
            case GFX_TADDRESS_MIRRORONCE: return GL_CLAMP_TO_EDGE;
            case GFX_TADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
            default: return GL_REPEAT;
        }
    };
    glSamplerParameteri(s, GL_TEXTURE_WRAP_S, locAddress(p[GFX_SAMP_ADDRESSU]));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_T, locAddress(p[GFX_SAMP_ADDRESSV]));
    glSamplerParameteri(s, GL_TEXTURE_WRAP_R, locAddress(p[GFX_SAMP_ADDRESSW]));
    float c[4];
    locColor(p[GFX_SAMP_BORDERCOLOR], c);
    glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, c);
    const bool locMagLinear = p[GFX_SAMP_MAGFILTER] >= GFX_TEXF_LINEAR;
    const bool locMinLinear = p[GFX_SAMP_MINFILTER] >= GFX_TEXF_LINEAR;
    glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, locMagLinear ? GL_LINEAR : GL_NEAREST);
    GLint locMin = locMinLinear ? GL_LINEAR : GL_NEAREST;
    if (p[GFX_SAMP_MIPFILTER] == GFX_TEXF_POINT)
        locMin = locMinLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else if (p[GFX_SAMP_MIPFILTER] >= GFX_TEXF_LINEAR)
        locMin = locMinLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, locMin);
    glSamplerParameterf(s, GL_TEXTURE_LOD_BIAS, GFX_BitsFloat(p[GFX_SAMP_MIPMAPLODBIAS]));
    glSamplerParameterf(s, GL_TEXTURE_MIN_LOD, float(p[GFX_SAMP_MAXMIPLEVEL]));
    if (myAnisotropyFlag)
    {
        const bool locAnisoFlag =
            p[GFX_SAMP_MINFILTER] == GFX_TEXF_ANISOTROPIC || p[GFX_SAMP_MAGFILTER] == GFX_TEXF_ANISOTROPIC;
        glSamplerParameterf(s, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                            locAnisoFlag ? float(std::clamp(p[GFX_SAMP_MAXANISOTROPY], 1u, myCaps.myMaxAnisotropy))
                                         : 1.0f);
    }
}

void GFX_GLDevice::BindTextures(const GFX_GLProgramKey& aKey)
{
    for (uint32_t i = 0; i < aKey.myNumStages; ++i)
    {
        const GFX_GLStageKey& g = aKey.myStages[i];
        if (!g.myTexKind)
            continue;
        GFX_Texture* t = myState.myTextures[i];
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(g.myTexKind == 2 ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, t->myHandle);
        glBindSampler(i, mySamplers[i]);
        ApplySampler(i);
    }
}

// One vertex array per declaration and set of stream bindings, made on first use; the
// element buffer is part of it for indexed draws only (a list drawn between indexed
// ones needs no array of its own per index buffer). Released buffers and declarations
// empty the cache.
void GFX_GLDevice::SetupAttributes(bool anIndexedFlag)
{
    GFX_VertexDecl* locDecl = myState.myDecl;
    char locKey[8 + GFX_MAX_STREAMS * 12 + 4];
    memcpy(locKey, &locDecl, 8);
    for (uint32_t i = 0; i < GFX_MAX_STREAMS; ++i)
    {
        const GFX_Stream& t = myState.myStreams[i];
        const uint32_t locWords[3] = {t.myBuffer ? t.myBuffer->myHandle : 0, t.myOffset, t.myStride};
        memcpy(locKey + 8 + i * 12, locWords, 12);
    }
    const uint32_t locIndices = anIndexedFlag && myState.myIndices ? myState.myIndices->myHandle : 0;
    memcpy(locKey + 8 + GFX_MAX_STREAMS * 12, &locIndices, 4);
    const std::string_view locName(locKey, sizeof(locKey));
    auto locIt = myVertexArrays.find(locName);
    if (locIt != myVertexArrays.end())
    {
        if (myBoundVertexArray != locIt->second)
            glBindVertexArray(locIt->second);
        myBoundVertexArray = locIt->second;
        return;
    }
    GLuint locArray = 0;
    glGenVertexArrays(1, &locArray);
    glBindVertexArray(locArray);
    myBoundVertexArray = locArray;
    myVertexArrays.emplace(std::string(locName), locArray);
    if (locIndices)
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, locIndices);
    uint32_t locEnabled = 0;
    for (const GFX_VertexElement& e : locDecl->myElements)
    {
        const uint32_t locLoc = GFX_GLAttribLocation(e);
        if (locLoc == GFX_GL_ATTRIB_NONE || (locEnabled & (1u << locLoc)))
            continue;
        const GFX_Stream& locStream = myState.myStreams[e.myStream];
        glBindBuffer(GL_ARRAY_BUFFER, locStream.myBuffer->myHandle);
        GLint locSize = 4;
        GLenum locType = GL_FLOAT;
        GLboolean locNorm = GL_FALSE;
        switch (e.myType)
        {
            case GFX_DECLTYPE_FLOAT1: locSize = 1; break;
            case GFX_DECLTYPE_FLOAT2: locSize = 2; break;
            case GFX_DECLTYPE_FLOAT3: locSize = 3; break;
            case GFX_DECLTYPE_FLOAT4: break;
            case GFX_DECLTYPE_COLOR: locSize = GL_BGRA, locType = GL_UNSIGNED_BYTE, locNorm = GL_TRUE; break;
            case GFX_DECLTYPE_UBYTE4: locType = GL_UNSIGNED_BYTE; break;
            case GFX_DECLTYPE_SHORT2: locSize = 2, locType = GL_SHORT; break;
            case GFX_DECLTYPE_SHORT4: locType = GL_SHORT; break;
            case GFX_DECLTYPE_UBYTE4N: locType = GL_UNSIGNED_BYTE, locNorm = GL_TRUE; break;
            case GFX_DECLTYPE_SHORT2N: locSize = 2, locType = GL_SHORT, locNorm = GL_TRUE; break;
            case GFX_DECLTYPE_SHORT4N: locType = GL_SHORT, locNorm = GL_TRUE; break;
            case GFX_DECLTYPE_USHORT2N: locSize = 2, locType = GL_UNSIGNED_SHORT, locNorm = GL_TRUE; break;
            case GFX_DECLTYPE_USHORT4N: locType = GL_UNSIGNED_SHORT, locNorm = GL_TRUE; break;
            default: break;
        }
        const intptr_t locOffset = intptr_t(locStream.myOffset) + e.myOffset;
        glVertexAttribPointer(locLoc, locSize, locType, locNorm, GLsizei(locStream.myStride),
                              reinterpret_cast<const void*>(locOffset));
        glEnableVertexAttribArray(locLoc);
        locEnabled |= 1u << locLoc;
    }
}

void GFX_GLDevice::ForgetVertexArrays()
{
    Activate();
    glBindVertexArray(myVAO);
    myBoundVertexArray = myVAO;
    for (auto& locEntry : myVertexArrays)
        glDeleteVertexArrays(1, &locEntry.second);
    myVertexArrays.clear();
}

// [SECTION] Device: clear, draw, read back --------------------------------------------------

void GFX_GLDevice::BackClear(const GFX_Rect& r, uint32_t aFlags, uint32_t aColor, float aZ, uint32_t aStencil)
{
    Activate();
    if (!BindTarget())
        return;
    // Clears ignore the write masks and the scissor state: set what is needed, forget the cache.
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.myLeft, r.myTop, r.myRight - r.myLeft, r.myBottom - r.myTop);
    GLbitfield locBits = 0;
    if (aFlags & GFX_CLEAR_TARGET)
    {
        float c[4];
        locColor(aColor, c);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(c[0], c[1], c[2], c[3]);
        locBits |= GL_COLOR_BUFFER_BIT;
    }
    if ((aFlags & GFX_CLEAR_ZBUFFER) && myDepthStencil)
    {
        glDepthMask(GL_TRUE);
        glClearDepth(std::clamp(aZ, 0.0f, 1.0f));
        locBits |= GL_DEPTH_BUFFER_BIT;
    }
    if ((aFlags & GFX_CLEAR_STENCIL) && myDepthStencil)
    {
        glStencilMask(0xFFFFFFFFu);
        glClearStencil(GLint(aStencil & 0xFF));
        locBits |= GL_STENCIL_BUFFER_BIT;
    }
    glClear(locBits);
    myCache[GLC_SCISSORTEST] = 1;
    myCache[GLC_SCISSOR_X] = myCache[GLC_SCISSOR_Y] = myCache[GLC_SCISSOR_W] = myCache[GLC_SCISSOR_H] = -1;
    myCache[GLC_COLORMASK] = myCache[GLC_DEPTHMASK] = myCache[GLC_STENCILWRITE] = -1;
}

bool GFX_GLDevice::BackDraw(const DrawCall& aCall)
{
    Activate();
    if (!BindTarget())
        return true;
    GFX_GLProgramKey locKey;
    GFX_GLBuildKey(myState, &locKey);
    GFX_GLProgram* locProgram = GetProgram(locKey);
    if (!locProgram)
        return false;
    ApplyFixedStates();
    if (myCurrentProgram != locProgram)
    {
        glUseProgram(locProgram->myProgram);
        myCurrentProgram = locProgram;
    }
    SetUniforms(*locProgram, locKey);
    BindTextures(locKey);
    SetupAttributes(aCall.myIndexedFlag);
    static const GLenum ourModes[7] = {GL_POINTS,    GL_POINTS,         GL_LINES,         GL_LINE_STRIP,
                                       GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
    const GLenum locMode = ourModes[aCall.myType];
    if (aCall.myIndexedFlag)
    {
        const bool loc32 = myState.myIndices->myDesc.myFormat == GFX_FORMAT_INDEX32;
        glDrawElementsBaseVertex(locMode, GLsizei(aCall.myCount), loc32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(uintptr_t(aCall.myFirst) * (loc32 ? 4 : 2)),
                                 aCall.myBaseVertex);
    }
    else
        glDrawArrays(locMode, GLint(aCall.myFirst), GLsizei(aCall.myCount));
    return true;
}

bool GFX_GLDevice::BackReadSurface(GFX_Surface* aSurface, uint32_t* aPixels, uint32_t aPitch)
{
    Activate();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, myReadFBO);
    locAttachColor(GL_READ_FRAMEBUFFER, aSurface);
    if (glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "surface cannot be read");
        return false;
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(aPitch / 4));
    glReadPixels(0, 0, GLsizei(aSurface->myWidth), GLsizei(aSurface->myHeight), GL_BGRA, GL_UNSIGNED_BYTE, aPixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (locIsX(aSurface->myFormat))
        for (uint32_t y = 0; y < aSurface->myHeight; ++y)
        {
            uint32_t* locRow = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(aPixels) + size_t(y) * aPitch);
            for (uint32_t x = 0; x < aSurface->myWidth; ++x)
                locRow[x] |= 0xFF000000u;
        }
    return true;
}

void GFX_GLDevice::BackEndScene()
{
    // The software rasteriser starts on a flush: the frame is drawn on its threads
    // while the caller goes on, until the read-back waits for it.
    Activate();
    glFlush();
}

void GFX_GLDevice::BackPresent()
{
    BackReadSurface(&myBackBuffer, myFrontPixels.data(), myDesc.myWidth * 4);
}

// [SECTION] System --------------------------------------------------------------------------

class GFX_GLSystem : public GFX_System
{
public:
    explicit GFX_GLSystem(const GFX_SystemDesc& aDesc) : myDesc(aDesc) {}
    bool Init();

    uint32_t GetAdapterCount() override { return 1; }
    bool GetAdapterInfo(uint32_t anAdapter, GFX_AdapterInfo* anInfoOut) override;
    bool GetCaps(uint32_t anAdapter, GFX_Caps* aCapsOut) override;
    uint32_t GetModeCount(uint32_t anAdapter, GFX_Format aFormat) override;
    bool GetMode(uint32_t anAdapter, GFX_Format aFormat, uint32_t anIndex, GFX_DisplayMode* aModeOut) override;
    bool GetDesktopMode(uint32_t anAdapter, GFX_DisplayMode* aModeOut) override;
    bool GetDesktopGammaRamp(uint16_t aRed[256], uint16_t aGreen[256], uint16_t aBlue[256]) override;
    bool CheckDeviceType(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aBackBufferFormat,
                         bool aWindowedFlag) override;
    bool CheckDeviceFormat(uint32_t anAdapter, GFX_Format aDisplayFormat, uint32_t aUsage, GFX_ResourceType aType,
                           GFX_Format aFormat) override;
    bool CheckDepthStencilMatch(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aTargetFormat,
                                GFX_Format aDepthFormat) override;
    bool CheckMultiSampleType(uint32_t anAdapter, GFX_Format aFormat, bool aWindowedFlag, uint32_t aType) override;
    GFX_Device* CreateDevice(const GFX_DeviceDesc& aDesc) override;
    void DestroyDevice(GFX_Device* aDevice) override { delete aDevice; }

private:
    void BuildModes();
    bool Adapter(uint32_t anAdapter);

    GFX_SystemDesc myDesc;
    GFX_AdapterInfo myInfo;
    GFX_Caps myCaps;
    bool myS3TCFlag = false;
    std::vector<GFX_DisplayMode> myModes;
};

bool GFX_GLSystem::Init()
{
    EGLContext locContext = locCreateContext();
    if (locContext == EGL_NO_CONTEXT)
        return false;
    const char* locRenderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const char* locVersion = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    snprintf(myInfo.myDescription, sizeof(myInfo.myDescription), "%s", locRenderer ? locRenderer : "OpenGL");
    snprintf(myInfo.myDriver, sizeof(myInfo.myDriver), "%s", locVersion ? locVersion : "");
    GLint locMaxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &locMaxTexture);
    myS3TCFlag = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
    GLfloat locMaxAniso = 1.0f;
    if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic"))
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &locMaxAniso);
    myCaps.myMaxTextureWidth = myCaps.myMaxTextureHeight = uint32_t(std::min(locMaxTexture, 8192));
    myCaps.myMaxTextureAspectRatio = 0;
    myCaps.myMaxSimultaneousTextures = GFX_MAX_STAGES;
    myCaps.myMaxTextureBlendStages = GFX_MAX_STAGES;
    myCaps.myMaxActiveLights = GFX_MAX_ACTIVE_LIGHTS;
    myCaps.myMaxAnisotropy = uint32_t(std::max(1.0f, std::min(locMaxAniso, 16.0f)));
    myCaps.myVertexShaderVersion = 0x101;
    myCaps.myPixelShaderVersion = 0x104;
    myCaps.myPresentIntervals = GFX_PRESENT_INTERVAL_ONE | GFX_PRESENT_INTERVAL_IMMEDIATE;
    myCaps.myStencilOps = 0xFF;
    myCaps.myZCompareFuncs = 0xFF;
    myCaps.myHardwareTransformFlag = true;
    myCaps.myDynamicTexturesFlag = true;
    myCaps.myNonPow2ConditionalFlag = true;
    myCaps.myDrawTransformedFlag = true;
    myCaps.myCullModesFlag = true;
    myCaps.myColorWriteMaskFlag = true;
    myCaps.myRangeFogFlag = true;
    myCaps.myMipLodBiasFlag = true;
    eglMakeCurrent(ourDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (ourSpareContext == EGL_NO_CONTEXT)
        ourSpareContext = locContext;
    else
        eglDestroyContext(ourDisplay, locContext);
    BuildModes();
    return true;
}

void GFX_GLSystem::BuildModes()
{
    static const uint32_t ourSizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1152, 864}, {1280, 720},
                                           {1280, 1024}, {1600, 1200}, {1920, 1080}, {2560, 1440}};
    for (GFX_Format locFormat : {GFX_FORMAT_X8R8G8B8, GFX_FORMAT_R5G6B5})
    {
        bool locDesktopListed = false;
        for (const auto& locSize : ourSizes)
        {
            if (locSize[0] > myDesc.myDesktopWidth || locSize[1] > myDesc.myDesktopHeight)
                continue;
            locDesktopListed |= locSize[0] == myDesc.myDesktopWidth && locSize[1] == myDesc.myDesktopHeight;
            for (uint32_t locRate : {60u, 75u})
                myModes.push_back({locSize[0], locSize[1], locRate, locFormat});
        }
        if (!locDesktopListed)
            myModes.push_back({myDesc.myDesktopWidth, myDesc.myDesktopHeight, myDesc.myDesktopRefreshRate, locFormat});
    }
}

bool GFX_GLSystem::Adapter(uint32_t anAdapter)
{
    if (anAdapter == 0)
        return true;
    GFX_SetError(GFX_ERROR_NOT_AVAILABLE, "adapter %u", anAdapter);
    return false;
}

bool GFX_GLSystem::GetAdapterInfo(uint32_t anAdapter, GFX_AdapterInfo* anInfoOut)
{
    if (!Adapter(anAdapter) || !anInfoOut)
        return false;
    *anInfoOut = myInfo;
    return true;
}

bool GFX_GLSystem::GetCaps(uint32_t anAdapter, GFX_Caps* aCapsOut)
{
    if (!Adapter(anAdapter) || !aCapsOut)
        return false;
    *aCapsOut = myCaps;
    return true;
}

uint32_t GFX_GLSystem::GetModeCount(uint32_t anAdapter, GFX_Format aFormat)
{
    if (anAdapter != 0)
        return 0;
    return uint32_t(std::count_if(myModes.begin(), myModes.end(),
                                  [aFormat](const GFX_DisplayMode& m) { return m.myFormat == aFormat; }));
}

bool GFX_GLSystem::GetMode(uint32_t anAdapter, GFX_Format aFormat, uint32_t anIndex, GFX_DisplayMode* aModeOut)
{
    if (!Adapter(anAdapter))
        return false;
    for (const GFX_DisplayMode& m : myModes)
        if (m.myFormat == aFormat && anIndex-- == 0)
        {
            *aModeOut = m;
            return true;
        }
    GFX_SetError(GFX_ERROR_INVALID_CALL, "no mode %u of %s", anIndex, GFX_FormatName(aFormat));
    return false;
}

bool GFX_GLSystem::GetDesktopMode(uint32_t anAdapter, GFX_DisplayMode* aModeOut)
{
    if (!Adapter(anAdapter))
        return false;
    *aModeOut = {myDesc.myDesktopWidth, myDesc.myDesktopHeight, myDesc.myDesktopRefreshRate, myDesc.myDesktopFormat};
    return true;
}

bool GFX_GLSystem::GetDesktopGammaRamp(uint16_t aRed[256], uint16_t aGreen[256], uint16_t aBlue[256])
{
    for (int i = 0; i < 256; ++i)
        aRed[i] = aGreen[i] = aBlue[i] = uint16_t(i * 257);
    return true;
}

static bool locIs32(GFX_Format f)
{
    return f == GFX_FORMAT_X8R8G8B8 || f == GFX_FORMAT_A8R8G8B8;
}
static bool locIs16(GFX_Format f)
{
    return f == GFX_FORMAT_R5G6B5 || f == GFX_FORMAT_X1R5G5B5 || f == GFX_FORMAT_A1R5G5B5;
}

bool GFX_GLSystem::CheckDeviceType(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aBackBufferFormat,
                                   bool aWindowedFlag)
{
    if (anAdapter != 0 || (aDisplayFormat != GFX_FORMAT_X8R8G8B8 && aDisplayFormat != GFX_FORMAT_R5G6B5) ||
        (aWindowedFlag && aDisplayFormat != myDesc.myDesktopFormat))
        return false;
    return locIs32(aDisplayFormat) ? locIs32(aBackBufferFormat) : locIs16(aBackBufferFormat);
}

bool GFX_GLSystem::CheckDeviceFormat(uint32_t anAdapter, GFX_Format aDisplayFormat, uint32_t aUsage,
                                     GFX_ResourceType aType, GFX_Format aFormat)
{
    if (anAdapter != 0)
        return false;
    if (aUsage & GFX_USAGE_DEPTHSTENCIL)
        return aFormat == GFX_FORMAT_D16 || aFormat == GFX_FORMAT_D24S8 || aFormat == GFX_FORMAT_D24X8 ||
               aFormat == GFX_FORMAT_D32;
    if (aUsage & GFX_USAGE_RENDERTARGET)
        return aType == GFX_RESOURCE_TEXTURE || aType == GFX_RESOURCE_SURFACE
                   ? locIs32(aFormat) || aFormat == GFX_FORMAT_R5G6B5
                   : false;
    if (aType == GFX_RESOURCE_TEXTURE || aType == GFX_RESOURCE_CUBETEXTURE)
    {
        GFX_GLFormat f;
        if (!locGLFormat(aFormat, &f))
            return false;
        return true; // compressed formats are expanded where the driver lacks them
    }
    return aType == GFX_RESOURCE_VERTEXBUFFER || aType == GFX_RESOURCE_INDEXBUFFER;
}

bool GFX_GLSystem::CheckDepthStencilMatch(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aTargetFormat,
                                          GFX_Format aDepthFormat)
{
    return anAdapter == 0 && CheckDeviceFormat(anAdapter, aDisplayFormat, GFX_USAGE_DEPTHSTENCIL,
                                                GFX_RESOURCE_SURFACE, aDepthFormat);
}

bool GFX_GLSystem::CheckMultiSampleType(uint32_t anAdapter, GFX_Format aFormat, bool aWindowedFlag, uint32_t aType)
{
    return anAdapter == 0 && aType == 0;
}

GFX_Device* GFX_GLSystem::CreateDevice(const GFX_DeviceDesc& aDesc)
{
    if (!Adapter(uint32_t(aDesc.myAdapter)))
        return nullptr;
    if (aDesc.myWidth == 0 || aDesc.myHeight == 0 || aDesc.myWidth > myCaps.myMaxTextureWidth ||
        aDesc.myHeight > myCaps.myMaxTextureHeight)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "back buffer %ux%u", aDesc.myWidth, aDesc.myHeight);
        return nullptr;
    }
    const GFX_Format locDisplay = aDesc.myWindowedFlag ? myDesc.myDesktopFormat
                                  : locIs16(aDesc.myBackBufferFormat) ? GFX_FORMAT_R5G6B5
                                                                      : GFX_FORMAT_X8R8G8B8;
    if (!CheckDeviceType(0, locDisplay, aDesc.myBackBufferFormat, aDesc.myWindowedFlag) ||
        (aDesc.myAutoDepthStencilFlag &&
         !CheckDepthStencilMatch(0, locDisplay, aDesc.myBackBufferFormat, aDesc.myDepthStencilFormat)) ||
        !CheckMultiSampleType(0, aDesc.myBackBufferFormat, aDesc.myWindowedFlag, aDesc.myMultiSampleType) ||
        !(aDesc.myPresentInterval & myCaps.myPresentIntervals))
    {
        GFX_SetError(GFX_ERROR_NOT_AVAILABLE, "device: back buffer %s, depth %s, multisample %u not offered",
                     GFX_FormatName(aDesc.myBackBufferFormat), GFX_FormatName(aDesc.myDepthStencilFormat),
                     aDesc.myMultiSampleType);
        return nullptr;
    }
    if (!aDesc.myWindowedFlag)
    {
        bool locFound = false;
        for (const GFX_DisplayMode& m : myModes)
            locFound |= m.myFormat == locDisplay && m.myWidth == aDesc.myWidth && m.myHeight == aDesc.myHeight &&
                        (aDesc.myRefreshRate == 0 || m.myRefreshRate == aDesc.myRefreshRate);
        if (!locFound)
        {
            GFX_SetError(GFX_ERROR_NOT_AVAILABLE, "no full-screen mode %ux%u", aDesc.myWidth, aDesc.myHeight);
            return nullptr;
        }
    }
    GFX_GLDevice* locDevice = new GFX_GLDevice(aDesc, myCaps, myDesc.myExpandDXTFlag);
    if (!locDevice->Init())
    {
        delete locDevice;
        return nullptr;
    }
    return locDevice;
}

} // namespace

GFX_System* GFX_CreateGLSystem(const GFX_SystemDesc& aDesc)
{
    GFX_GLSystem* locSystem = new GFX_GLSystem(aDesc);
    if (!locSystem->Init())
    {
        delete locSystem;
        return nullptr;
    }
    return locSystem;
}
