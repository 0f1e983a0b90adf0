// render_bench: a fixed scene of many lit, textured meshes drawn for N frames through the
// 3D device layer, then the same buffers and draw calls through plain OpenGL in the same
// program, then the same meshes through the renderer; prints frames, draw calls and
// triangles per second, the ratios to plain OpenGL, and how far the last frames of each
// pair agree pixel by pixel. Every path draws one frame before its timed loop, so that
// programs and vertex arrays exist before timing starts. All three draw the same
// textured meshes (one 64 x 64 texture, filtered linearly without mip-maps, wrapped)
// lit by the same two lights. The renderer's vertex programs light a point light from the
// mesh's centre rather than from each vertex, so a few edge pixels of its frame differ
// slightly from the other two.
// Usage: render_bench [frames=100] [meshes=200] [width=640] [height=480] [prefix: write the
// last frames as <prefix>_gfx.tga, <prefix>_gl.tga and <prefix>_renderer.tga]
#include "bench/bench_args.h"
#include "platform/gfx/gfx_device.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_view.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct Vertex
{
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

const int ourSlices = 24; // a sphere of ourSlices x ourSlices quads
const float ourPi = 3.14159265f;

void MakeSphere(std::vector<Vertex>* aVertices, std::vector<uint16_t>* anIndices)
{
    for (int j = 0; j <= ourSlices; ++j)
        for (int i = 0; i <= ourSlices; ++i)
        {
            const float t = ourPi * float(j) / ourSlices, p = 2.0f * ourPi * float(i) / ourSlices;
            const float nx = std::sin(t) * std::cos(p), ny = std::cos(t), nz = std::sin(t) * std::sin(p);
            aVertices->push_back({0.5f * nx, 0.5f * ny, 0.5f * nz, nx, ny, nz, float(i) / ourSlices * 4.0f,
                                  float(j) / ourSlices * 2.0f});
        }
    for (int j = 0; j < ourSlices; ++j)
        for (int i = 0; i < ourSlices; ++i)
        {
            const uint16_t a = uint16_t(j * (ourSlices + 1) + i), b = uint16_t(a + 1),
                           c = uint16_t(a + ourSlices + 1), d = uint16_t(c + 1);
            anIndices->insert(anIndices->end(), {a, b, c, b, d, c});
        }
}

GFX_Matrix Perspective(float aFov, float anAspect, float aNear, float aFar)
{
    GFX_Matrix m = {};
    const float ys = 1.0f / std::tan(aFov * 0.5f), xs = ys / anAspect;
    m.m[0][0] = xs;
    m.m[1][1] = ys;
    m.m[2][2] = aFar / (aFar - aNear);
    m.m[2][3] = 1.0f;
    m.m[3][2] = -aNear * aFar / (aFar - aNear);
    return m;
}

// Mesh k: a grid in front of the camera, each turned by its own angle.
GFX_Matrix World(int k, int aCount, int aFrame)
{
    const int locSide = int(std::ceil(std::sqrt(double(aCount))));
    const float a = 0.02f * float(aFrame) + 0.3f * float(k);
    GFX_Matrix m = GFX_MatrixIdentity();
    m.m[0][0] = std::cos(a);
    m.m[0][2] = -std::sin(a);
    m.m[2][0] = std::sin(a);
    m.m[2][2] = std::cos(a);
    m.m[3][0] = (float(k % locSide) - 0.5f * float(locSide - 1)) * 1.1f;
    m.m[3][1] = (float(k / locSide) - 0.5f * float(locSide - 1)) * 1.1f;
    m.m[3][2] = float(locSide) * 1.2f + 2.0f;
    return m;
}

std::vector<uint32_t> Checker()
{
    std::vector<uint32_t> t(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            t[y * 64 + x] = ((x / 8 + y / 8) & 1) ? 0xFFE0C080u : 0xFF406080u;
    return t;
}

// Both lights as the renderer gives them to the device: a point light's
// attenuation is 1 / (d / range), and nothing beyond the range.
const float ourSunColor[3] = {0.8f, 0.8f, 0.7f};
const float ourSunDirection[3] = {0.3f, -0.5f, 1.0f};
const float ourLampColor[3] = {0.05f, 0.05f, 0.12f};
const float ourLampPosition[3] = {0.0f, 0.0f, 2.0f};
const float ourLampRange = 100.0f;
const uint32_t ourAmbient = 0x202020;

struct Figures
{
    double mySeconds = 0.0;
    uint64_t myDraws = 0;
    uint64_t myTriangles = 0;
    uint32_t myCentre = 0;
    std::vector<uint32_t> myImage; // the last frame, top row first
};

// A 32-bit top-left TGA, for looking at what a run drew.
void SaveTGA(const char* aPath, const std::vector<uint32_t>& anImage, uint32_t aWidth, uint32_t aHeight)
{
    FILE* f = fopen(aPath, "wb");
    if (!f)
        return;
    const uint8_t h[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(aWidth), uint8_t(aWidth >> 8),
                           uint8_t(aHeight), uint8_t(aHeight >> 8), 32, 0x20};
    fwrite(h, 1, 18, f);
    fwrite(anImage.data(), 4, anImage.size(), f);
    fclose(f);
}

// [the layer] -------------------------------------------------------------------------------

bool RunLayer(int aFrames, int aMeshes, uint32_t aWidth, uint32_t aHeight, Figures* anOut)
{
    GFX_System* locSystem = GFX_CreateGLSystem();
    if (!locSystem)
    {
        fprintf(stderr, "render_bench: no GL system: %s\n", GFX_GetLastErrorDetail());
        return false;
    }
    GFX_DeviceDesc locDesc;
    locDesc.myWidth = aWidth;
    locDesc.myHeight = aHeight;
    GFX_Device* d = locSystem->CreateDevice(locDesc);
    if (!d)
    {
        fprintf(stderr, "render_bench: no device: %s\n", GFX_GetLastErrorDetail());
        GFX_DestroySystem(locSystem);
        return false;
    }
    std::vector<Vertex> locVertices;
    std::vector<uint16_t> locIndices;
    MakeSphere(&locVertices, &locIndices);
    const uint32_t locTriangles = uint32_t(locIndices.size() / 3);

    // One static vertex and index buffer per mesh, as a loaded model has.
    std::vector<GFX_Buffer*> locVBs, locIBs;
    for (int k = 0; k < aMeshes; ++k)
    {
        GFX_BufferDesc b;
        b.mySize = uint32_t(locVertices.size() * sizeof(Vertex));
        GFX_Buffer* vb = d->CreateBuffer(b);
        b.myType = GFX_RESOURCE_INDEXBUFFER;
        b.mySize = uint32_t(locIndices.size() * 2);
        GFX_Buffer* ib = d->CreateBuffer(b);
        void* p = nullptr;
        d->LockBuffer(vb, 0, 0, 0, &p);
        memcpy(p, locVertices.data(), locVertices.size() * sizeof(Vertex));
        d->UnlockBuffer(vb);
        d->LockBuffer(ib, 0, 0, 0, &p);
        memcpy(p, locIndices.data(), locIndices.size() * 2);
        d->UnlockBuffer(ib);
        locVBs.push_back(vb);
        locIBs.push_back(ib);
    }
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0},
                                   {0, 12, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_NORMAL, 0},
                                   {0, 24, GFX_DECLTYPE_FLOAT2, GFX_DECLUSAGE_TEXCOORD, 0}};
    GFX_VertexDecl* locDecl = d->CreateVertexDecl(e, 3);
    GFX_TextureDesc t;
    t.myWidth = t.myHeight = 64;
    t.myLevels = 1;
    GFX_Texture* locTexture = d->CreateTexture(t);
    GFX_LockedRect r;
    d->LockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r);
    const std::vector<uint32_t> locChecker = Checker();
    memcpy(r.myBits, locChecker.data(), locChecker.size() * 4);
    d->UnlockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, 0);

    d->SetTransform(GFX_TS_PROJECTION, Perspective(1.0f, float(aWidth) / float(aHeight), 0.5f, 200.0f));
    d->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_NONE);
    d->SetRenderState(GFX_RS_AMBIENT, 0xFF000000 | ourAmbient);
    GFX_Material locMaterial;
    d->SetMaterial(locMaterial);
    GFX_Light l;
    l.myType = GFX_LIGHT_DIRECTIONAL;
    l.myDiffuse = {ourSunColor[0], ourSunColor[1], ourSunColor[2], 1.0f};
    l.myDirection = {ourSunDirection[0], ourSunDirection[1], ourSunDirection[2]};
    d->SetLight(0, l);
    d->LightEnable(0, true);
    GFX_Light p;
    p.myType = GFX_LIGHT_POINT;
    p.myDiffuse = {ourLampColor[0], ourLampColor[1], ourLampColor[2], 1.0f};
    p.myPosition = {ourLampPosition[0], ourLampPosition[1], ourLampPosition[2]};
    p.myRange = ourLampRange;
    p.myAttenuation0 = 0.0f;
    p.myAttenuation1 = 1.0f / ourLampRange;
    d->SetLight(1, p);
    d->LightEnable(1, true);
    d->SetTexture(0, locTexture);
    d->SetSamplerState(0, GFX_SAMP_MINFILTER, GFX_TEXF_LINEAR);
    d->SetSamplerState(0, GFX_SAMP_MAGFILTER, GFX_TEXF_LINEAR);
    d->SetVertexDecl(locDecl);

    auto locStart = std::chrono::steady_clock::now();
    for (int f = -1; f < aFrames; ++f)
    {
        if (f == 0)
            locStart = std::chrono::steady_clock::now();
        d->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        d->BeginScene();
        for (int k = 0; k < aMeshes; ++k)
        {
            d->SetTransform(GFX_TS_WORLD, World(k, aMeshes, std::max(f, 0)));
            d->SetStreamSource(0, locVBs[k], 0, sizeof(Vertex));
            d->SetIndices(locIBs[k]);
            d->DrawIndexedPrimitive(GFX_PRIM_TRIANGLELIST, 0, 0, uint32_t(locVertices.size()), 0, locTriangles);
        }
        d->EndScene();
        d->Present();
    }
    anOut->mySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - locStart).count();
    anOut->myDraws = uint64_t(aFrames) * uint64_t(aMeshes);
    anOut->myTriangles = anOut->myDraws * locTriangles;
    std::vector<uint32_t> locFront(size_t(aWidth) * aHeight);
    d->GetFrontBufferData(locFront.data(), aWidth * 4);
    anOut->myCentre = locFront[size_t(aHeight / 2) * aWidth + aWidth / 2];
    anOut->myImage = locFront;

    for (int k = 0; k < aMeshes; ++k)
    {
        d->ReleaseBuffer(locVBs[k]);
        d->ReleaseBuffer(locIBs[k]);
    }
    d->ReleaseVertexDecl(locDecl);
    d->ReleaseTexture(locTexture);
    locSystem->DestroyDevice(d);
    GFX_DestroySystem(locSystem);
    return true;
}

// [the renderer] ----------------------------------------------------------------------------
// The same meshes through the renderer's fixed-function "NORMAL_MESH" kind, lit by the same
// two lights, with the built-in solid surface over the same texture: texture times the
// lit vertex colour, as the other two paths draw.

GFX_System* GLSystem()
{
    return GFX_CreateGLSystem();
}

bool RunRenderer(int aFrames, int aMeshes, uint32_t aWidth, uint32_t aHeight, Figures* anOut)
{
    QR_RenderD3D::ourSystemFactory = GLSystem;
    QR_RenderSettings locSettings;
    locSettings.myFullScreenFlag = 0;
    locSettings.myBitsPerPixel = 32;
    locSettings.myWidth = int32_t(aWidth);
    locSettings.myHeight = int32_t(aHeight);
    locSettings.myTextureFilter = 1; // linear, no mip-maps
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&locSettings))
    {
        fprintf(stderr, "render_bench: no renderer: error %u\n", QR_Error::ourCode);
        QR_Render::Destroy();
        return false;
    }
    QR_Render* r = QR_Render::ourInstance;
    std::vector<uint32_t> locChecker = Checker();
    QR_TexturePixels locPixels = {64, 64, 32, locChecker.data()};
    QR_Texture* locTexture = QR_Texture::Acquire("render_bench_checker", QR_TEXTUREFLAG_FROMMEMORY | QR_TEXTUREFLAG_NOMIPMAPS,
                                                 1, &locPixels);
    QR_TextureNames locNames;
    locNames.SetNames(1);
    locNames.myNames[0] = "render_bench_checker";
    QR_SurfaceInstance* locSurface = locTexture ? QR_Surface::CreateInstance("INTERNAL_SOLID", 1, &locNames) : nullptr;
    if (locSurface == nullptr)
    {
        fprintf(stderr, "render_bench: no textured surface: error %u\n", QR_Error::ourCode);
        if (locTexture)
            QR_Texture::Release(locTexture);
        QR_Render::Destroy();
        return false;
    }
    std::vector<Vertex> locVertices;
    std::vector<uint16_t> locIndices;
    MakeSphere(&locVertices, &locIndices);
    std::vector<QR_Mesh*> locMeshes;
    for (int k = 0; k < aMeshes; ++k)
    {
        QR_Mesh* m = new QR_Mesh();
        m->myVertexFormat = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_NORMAL | QR_VERTEXFLAG_UV1;
        m->myVertexSize = sizeof(Vertex);
        m->myNumVertices = uint32_t(locVertices.size());
        m->myVertexData = new uint8_t[locVertices.size() * sizeof(Vertex)];
        memcpy(m->myVertexData, locVertices.data(), locVertices.size() * sizeof(Vertex));
        m->myNumIndices = uint32_t(locIndices.size());
        m->myIndexData = new uint16_t[locIndices.size()];
        memcpy(m->myIndexData, locIndices.data(), locIndices.size() * 2);
        m->myNumLods = 1;
        m->myLods = new QR_MeshLod[1]();
        m->myLods[0] = {1.0f, 0, m->myNumVertices, 0, m->myNumIndices, 0, nullptr, 0, 0.0f};
        m->mySetupData.myLighting = 1;
        // The texture reads the vertices' one set of coordinates; the mesh's surface
        // tells which parts of the vertices its buffer keeps.
        m->mySetupData.myNumUVs = 1;
        m->mySetupData.myUVs[0] = UV_VERTEX_UVSET_0;
        m->mySurface = QR_Surface::Acquire("INTERNAL_SOLID");
        m->myVertexShader = QR_VertexShader::Find("NORMAL_MESH");
        if (!m->myVertexShader || !m->myVertexShader->PrepareMesh(m))
        {
            delete m;
            break;
        }
        m->mySetupData.myVertexFormatList[0] = m->myVertexBufferVertexFormat;
        m->myCompiledVertexShader = m->myVertexShader->Compile(m->mySetupData);
        locMeshes.push_back(m);
    }
    QR_View locView;
    const GFX_Matrix locProj = Perspective(1.0f, float(aWidth) / float(aHeight), 0.5f, 200.0f);
    memcpy(&locView.myCamera.myProjectionMatrix[0], &locProj.m[0][0], 64);
    memcpy(&locView.myViewProjectionMatrix[0], &locProj.m[0][0], 64);
    locView.myViewMatrix.SetIdentity();
    locView.myCamera.myViewportWidth = int32_t(aWidth);
    locView.myCamera.myViewportHeight = int32_t(aHeight);
    QR_View::ourCurrentView = &locView;
    QR_LightSetLight locSun = {{0, 0, 0},
                               {ourSunDirection[0], ourSunDirection[1], ourSunDirection[2]},
                               0,
                               {ourSunColor[0], ourSunColor[1], ourSunColor[2]},
                               1000.0f};
    QR_LightSetLight locLamp = {{ourLampPosition[0], ourLampPosition[1], ourLampPosition[2]},
                                {0, 0, 1},
                                1,
                                {ourLampColor[0], ourLampColor[1], ourLampColor[2]},
                                ourLampRange};
    QR_LightSet locLights = {ourAmbient,
                             2,
                             {&locSun, &locLamp, nullptr},
                             {{ourSunColor[0], ourSunColor[1], ourSunColor[2]},
                              {ourLampColor[0], ourLampColor[1], ourLampColor[2]}},
                             1};
    std::vector<Matrix44> locWorlds(static_cast<size_t>(aMeshes));
    QR_RenderStates locStates;
    locStates.myCullMode = 0;
    locStates.myTextureFilter = 1;
    locStates.myTextureWrapFlag = 1;

    auto locStart = std::chrono::steady_clock::now();
    for (int f = -1; f < aFrames; ++f)
    {
        if (f == 0)
            locStart = std::chrono::steady_clock::now();
        r->BeginFrame();
        QR_Rect locAll = {0, 0, int32_t(aWidth), int32_t(aHeight)};
        r->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, 0, 1.0f, 0);
        r->SetRenderStates(&locStates, 0xFFFFFFFF);
        r->SetView(&locView);
        for (size_t k = 0; k < locMeshes.size(); ++k)
        {
            QR_Mesh* m = locMeshes[k];
            const GFX_Matrix w = World(int(k), aMeshes, std::max(f, 0));
            memcpy(&locWorlds[k][0], &w.m[0][0], 64);
            QR_VertexShader::ourWorldMatrix = &locWorlds[k];
            QR_VertexShader::ourObjectMatrix = &locWorlds[k];
            m->myVertexShader->Begin(m->myCompiledVertexShader);
            r->SetSurface(locSurface, 0xFFFFFFFF, 0.0f);
            m->myDataBlock.myLightData = &locLights;
            m->myVertexShader->SetDataBlock(&m->myDataBlock);
            m->myVertexShader->Draw(m, 0.0f, 0.0f);
        }
        r->EndFrame();
    }
    anOut->mySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - locStart).count();
    anOut->myDraws = uint64_t(aFrames) * locMeshes.size();
    anOut->myTriangles = anOut->myDraws * (locIndices.size() / 3);
    anOut->myImage.assign(size_t(aWidth) * aHeight, 0);
    r->GrabFrontBuffer(anOut->myImage.data());
    anOut->myCentre = anOut->myImage[size_t(aHeight / 2) * aWidth + aWidth / 2];

    QR_VertexShader::ourWorldMatrix = nullptr;
    QR_VertexShader::ourObjectMatrix = nullptr;
    QR_View::ourCurrentView = nullptr;
    for (QR_Mesh* m : locMeshes)
        delete m;
    delete locSurface;
    QR_Texture::Release(locTexture);
    QR_Render::Destroy();
    return int(locMeshes.size()) == aMeshes;
}

// [plain OpenGL] ----------------------------------------------------------------------------

const char* const ourVertexText = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 4) in vec2 aTexCoord;
uniform mat4 uWorldView;
uniform mat4 uProj;
uniform mat3 uNormalMatrix;
uniform vec3 uLightDir;
uniform vec3 uLightPos;
uniform vec3 uSunColor;
uniform vec3 uLampColor;
uniform float uLampRange;
uniform vec3 uAmbient;
uniform vec2 uHalfPixel;
out vec4 vDiffuse;
out vec2 vTex;
void main()
{
    vec4 pc = uWorldView * vec4(aPosition, 1.0);
    vec4 clip = uProj * pc;
    gl_Position = vec4(clip.x + uHalfPixel.x * clip.w, -clip.y + uHalfPixel.y * clip.w, 2.0 * clip.z - clip.w, clip.w);
    vec3 N = uNormalMatrix * aNormal;
    vec3 c = uAmbient;
    c += uSunColor * max(dot(N, -uLightDir), 0.0);
    vec3 L = uLightPos - pc.xyz;
    float d = length(L);
    if (d <= uLampRange)
        c += uLampColor * max(dot(N, L / d), 0.0) / (d / uLampRange);
    vDiffuse = vec4(clamp(c, 0.0, 1.0), 1.0);
    vTex = aTexCoord;
}
)";

const char* const ourFragmentText = R"(#version 330 core
in vec4 vDiffuse;
in vec2 vTex;
uniform sampler2D uTex;
out vec4 oColor;
void main() { oColor = texture(uTex, vTex) * vDiffuse; }
)";

GLuint Compile(GLenum aKind, const char* aText)
{
    GLuint s = glCreateShader(aKind);
    glShaderSource(s, 1, &aText, nullptr);
    glCompileShader(s);
    return s;
}

bool RunPlainGL(int aFrames, int aMeshes, uint32_t aWidth, uint32_t aHeight, Figures* anOut)
{
    EGLDisplay locDisplay = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (locDisplay == EGL_NO_DISPLAY || !eglInitialize(locDisplay, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API))
        return false;
    const EGLint locAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext locContext = eglCreateContext(locDisplay, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, locAttribs);
    if (locContext == EGL_NO_CONTEXT || !eglMakeCurrent(locDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, locContext))
        return false;

    GLuint locFBO, locColor, locDepth;
    glGenFramebuffers(1, &locFBO);
    glGenRenderbuffers(1, &locColor);
    glGenRenderbuffers(1, &locDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, locColor);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(aWidth), GLsizei(aHeight));
    glBindRenderbuffer(GL_RENDERBUFFER, locDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GLsizei(aWidth), GLsizei(aHeight));
    glBindFramebuffer(GL_FRAMEBUFFER, locFBO);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, locColor);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, locDepth);

    GLuint locProgram = glCreateProgram();
    glAttachShader(locProgram, Compile(GL_VERTEX_SHADER, ourVertexText));
    glAttachShader(locProgram, Compile(GL_FRAGMENT_SHADER, ourFragmentText));
    glLinkProgram(locProgram);
    glUseProgram(locProgram);
    const GLint locWorldView = glGetUniformLocation(locProgram, "uWorldView");
    const GLint locNormal = glGetUniformLocation(locProgram, "uNormalMatrix");
    const GLint locLightDir = glGetUniformLocation(locProgram, "uLightDir");
    const GFX_Matrix locProj = Perspective(1.0f, float(aWidth) / float(aHeight), 0.5f, 200.0f);
    glUniformMatrix4fv(glGetUniformLocation(locProgram, "uProj"), 1, GL_FALSE, &locProj.m[0][0]);
    glUniform3fv(glGetUniformLocation(locProgram, "uLightPos"), 1, ourLampPosition);
    glUniform3fv(glGetUniformLocation(locProgram, "uSunColor"), 1, ourSunColor);
    glUniform3fv(glGetUniformLocation(locProgram, "uLampColor"), 1, ourLampColor);
    glUniform1f(glGetUniformLocation(locProgram, "uLampRange"), ourLampRange);
    glUniform3f(glGetUniformLocation(locProgram, "uAmbient"), float((ourAmbient >> 16) & 0xFF) / 255.0f,
                float((ourAmbient >> 8) & 0xFF) / 255.0f, float(ourAmbient & 0xFF) / 255.0f);
    // The layer's half-pixel shift, in clip units of this target.
    glUniform2f(glGetUniformLocation(locProgram, "uHalfPixel"), 1.0f / float(aWidth), 1.0f / float(aHeight));
    const float locLen = std::sqrt(ourSunDirection[0] * ourSunDirection[0] + ourSunDirection[1] * ourSunDirection[1] +
                                   ourSunDirection[2] * ourSunDirection[2]);
    glUniform3f(locLightDir, ourSunDirection[0] / locLen, ourSunDirection[1] / locLen, ourSunDirection[2] / locLen);

    std::vector<Vertex> locVertices;
    std::vector<uint16_t> locIndices;
    MakeSphere(&locVertices, &locIndices);
    std::vector<GLuint> locVAOs(static_cast<size_t>(aMeshes));
    std::vector<GLuint> locBuffers(static_cast<size_t>(aMeshes) * 2);
    glGenVertexArrays(aMeshes, locVAOs.data());
    glGenBuffers(aMeshes * 2, locBuffers.data());
    for (int k = 0; k < aMeshes; ++k)
    {
        glBindVertexArray(locVAOs[k]);
        glBindBuffer(GL_ARRAY_BUFFER, locBuffers[k * 2]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(locVertices.size() * sizeof(Vertex)), locVertices.data(),
                     GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, locBuffers[k * 2 + 1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(locIndices.size() * 2), locIndices.data(), GL_STATIC_DRAW);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(0));
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(12));
        glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(24));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glEnableVertexAttribArray(4);
    }
    GLuint locTexture;
    glGenTextures(1, &locTexture);
    glBindTexture(GL_TEXTURE_2D, locTexture);
    const std::vector<uint32_t> locChecker = Checker();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_BGRA, GL_UNSIGNED_BYTE, locChecker.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glViewport(0, 0, GLsizei(aWidth), GLsizei(aHeight));
    std::vector<uint32_t> locPixels(size_t(aWidth) * aHeight);
    const GLsizei locIndexCount = GLsizei(locIndices.size());

    auto locStart = std::chrono::steady_clock::now();
    for (int f = -1; f < aFrames; ++f)
    {
        if (f == 0)
            locStart = std::chrono::steady_clock::now();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (int k = 0; k < aMeshes; ++k)
        {
            const GFX_Matrix w = World(k, aMeshes, std::max(f, 0)); // the view is the identity
            const float n[9] = {w.m[0][0], w.m[0][1], w.m[0][2], w.m[1][0], w.m[1][1],
                                w.m[1][2], w.m[2][0], w.m[2][1], w.m[2][2]};
            glUniformMatrix4fv(locWorldView, 1, GL_FALSE, &w.m[0][0]);
            glUniformMatrix3fv(locNormal, 1, GL_FALSE, n);
            glBindVertexArray(locVAOs[k]);
            glDrawElements(GL_TRIANGLES, locIndexCount, GL_UNSIGNED_SHORT, nullptr);
        }
        glReadPixels(0, 0, GLsizei(aWidth), GLsizei(aHeight), GL_BGRA, GL_UNSIGNED_BYTE, locPixels.data());
    }
    anOut->mySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - locStart).count();
    anOut->myDraws = uint64_t(aFrames) * uint64_t(aMeshes);
    anOut->myTriangles = anOut->myDraws * (locIndices.size() / 3);
    anOut->myCentre = locPixels[size_t(aHeight / 2) * aWidth + aWidth / 2];
    anOut->myImage = locPixels;

    glDeleteTextures(1, &locTexture);
    glDeleteBuffers(aMeshes * 2, locBuffers.data());
    glDeleteVertexArrays(aMeshes, locVAOs.data());
    glDeleteProgram(locProgram);
    glDeleteRenderbuffers(1, &locColor);
    glDeleteRenderbuffers(1, &locDepth);
    glDeleteFramebuffers(1, &locFBO);
    eglMakeCurrent(locDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(locDisplay, locContext);
    return true;
}

void Print(const char* aName, int aFrames, const Figures& f)
{
    printf("%-14s %6d frames %8.3f s %9.1f fps %12.0f draws/s %14.0f triangles/s  centre 0x%08X\n", aName, aFrames,
           f.mySeconds, aFrames / f.mySeconds, double(f.myDraws) / f.mySeconds, double(f.myTriangles) / f.mySeconds,
           f.myCentre);
}

// Prints the share of pixels whose channels all lie within 2/255 of the other frame's.
void PrintAgreement(const char* aName, const Figures& aFirst, const Figures& aSecond)
{
    if (aFirst.myImage.size() != aSecond.myImage.size() || aFirst.myImage.empty())
    {
        printf("%s: frames of different sizes\n", aName);
        return;
    }
    size_t locClose = 0;
    int locWorst = 0;
    for (size_t i = 0; i < aFirst.myImage.size(); ++i)
    {
        int locPixelWorst = 0;
        for (int locShift = 0; locShift < 32; locShift += 8)
        {
            const int a = int((aFirst.myImage[i] >> locShift) & 0xFF), b = int((aSecond.myImage[i] >> locShift) & 0xFF);
            locPixelWorst = std::max(locPixelWorst, std::abs(a - b));
        }
        locClose += locPixelWorst <= 2;
        locWorst = std::max(locWorst, locPixelWorst);
    }
    printf("%s: %.3f%% of %zu pixels within 2/255 (largest difference %d/255)\n", aName,
           100.0 * double(locClose) / double(aFirst.myImage.size()), aFirst.myImage.size(), locWorst);
}

} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: render_bench [FRAMES=100] [MESHES=200] [WIDTH=640] [HEIGHT=480] [PREFIX]\n");
    const std::vector<const char*> locRest = locArgs.Operands(0, 5);
    const int locFrames = locRest.size() > 0 ? locArgs.Int("FRAMES", locRest[0], 1, 100000000) : 100;
    const int locMeshes = locRest.size() > 1 ? locArgs.Int("MESHES", locRest[1], 1, 100000000) : 200;
    const uint32_t locWidth = locRest.size() > 2 ? uint32_t(locArgs.Int("WIDTH", locRest[2], 16, 16384)) : 640;
    const uint32_t locHeight = locRest.size() > 3 ? uint32_t(locArgs.Int("HEIGHT", locRest[3], 16, 16384)) : 480;
    printf("render_bench: %d meshes of %d triangles, %ux%u, %d frames\n", locMeshes, ourSlices * ourSlices * 2,
           locWidth, locHeight, locFrames);
    Figures locLayer, locPlain;
    if (!RunLayer(locFrames, locMeshes, locWidth, locHeight, &locLayer))
        return 1;
    Print("gfx layer", locFrames, locLayer);
    if (!RunPlainGL(locFrames, locMeshes, locWidth, locHeight, &locPlain))
    {
        fprintf(stderr, "render_bench: no plain OpenGL context\n");
        return 1;
    }
    Print("plain GL", locFrames, locPlain);
    Figures locRenderer;
    const bool locRendererFlag = RunRenderer(locFrames, locMeshes, locWidth, locHeight, &locRenderer);
    if (locRendererFlag)
        Print("renderer", locFrames, locRenderer);
    printf("layer / plain time ratio: %.3f\n", locLayer.mySeconds / locPlain.mySeconds);
    PrintAgreement("layer vs plain, last frame", locLayer, locPlain);
    if (locRendererFlag)
    {
        printf("renderer / plain time ratio: %.3f\n", locRenderer.mySeconds / locPlain.mySeconds);
        PrintAgreement("renderer vs plain, last frame", locRenderer, locPlain);
    }
    if (locRest.size() > 4)
    {
        const std::string locPrefix = locRest[4];
        SaveTGA((locPrefix + "_gfx.tga").c_str(), locLayer.myImage, locWidth, locHeight);
        SaveTGA((locPrefix + "_gl.tga").c_str(), locPlain.myImage, locWidth, locHeight);
        if (locRendererFlag)
            SaveTGA((locPrefix + "_renderer.tga").c_str(), locRenderer.myImage, locWidth, locHeight);
    }
    return 0;
}
