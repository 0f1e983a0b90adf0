// qrender_bench: a fixed scene of many lit meshes drawn for N frames through the renderer
// (meshes prepared and drawn by the "NORMAL_MESH" kind, static buffers, then the same meshes
// through the dynamic buffers), and the same buffers and draw calls sent straight to the
// device layer; prints frames, draw calls and triangles per second and the renderer's ratio.
// Usage: qrender_bench [frames=200] [meshes=200] [width=640] [height=480]
//        qrender_bench --surfaces N [frames=200] [draws=2000]: quads drawn alternating between N
//        surface instances, against the same states and textures sent straight to the device
//        for every draw.
//        qrender_bench --views M [frames=100]: M parts (one mesh, four surfaces, two lights)
//        submitted through one view per frame against the same draws straight through the kind,
//        for the fixed-function and the assembled kind.
#include "bench/bench_args.h"
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qrender/qr_error.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_view.h"

namespace
{

const int ourSlices = 16;

QR_Mesh* MakeSphere(bool aPrepareFlag)
{
    std::vector<float> v;
    std::vector<uint16_t> i;
    for (int b = 0; b <= ourSlices; ++b)
        for (int a = 0; a <= ourSlices; ++a)
        {
            float t = 3.14159265f * b / ourSlices, p = 6.2831853f * a / ourSlices;
            float n[3] = {sinf(t) * cosf(p), cosf(t), sinf(t) * sinf(p)};
            v.insert(v.end(), {0.5f * n[0], 0.5f * n[1], 0.5f * n[2], n[0], n[1], n[2], (float)a / ourSlices,
                               (float)b / ourSlices});
        }
    for (int b = 0; b < ourSlices; ++b)
        for (int a = 0; a < ourSlices; ++a)
        {
            uint16_t q = (uint16_t)(b * (ourSlices + 1) + a), r = (uint16_t)(q + 1), s = (uint16_t)(q + ourSlices + 1),
                     t = (uint16_t)(s + 1);
            i.insert(i.end(), {q, r, s, r, t, s});
        }
    QR_Mesh* m = new QR_Mesh();
    m->myNumVertices = (uint32_t)v.size() / 8;
    m->myVertexData = new uint8_t[v.size() * 4];
    memcpy(m->myVertexData, v.data(), v.size() * 4);
    m->myNumIndices = (uint32_t)i.size();
    m->myIndexData = new uint16_t[i.size()];
    memcpy(m->myIndexData, i.data(), i.size() * 2);
    m->myNumLods = 1;
    m->myLods = new QR_MeshLod[1]();
    m->myLods[0] = {1e9f, 0, m->myNumVertices, 0, m->myNumIndices, 0, nullptr, 0, 0.0f};
    m->mySetupData.myLighting = 1;
    m->myVertexShader = QR_VertexShader::Find("NORMAL_MESH");
    if (aPrepareFlag && !m->myVertexShader->PrepareMesh(m))
        return nullptr;
    m->mySetupData.myVertexFormatList[0] = m->myVertexBuffer ? m->myVertexBufferVertexFormat : m->myVertexFormat;
    m->myCompiledVertexShader = m->myVertexShader->Compile(m->mySetupData);
    return m;
}

double Seconds(std::chrono::steady_clock::time_point aStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

struct Figures
{
    double mySeconds;
    uint32_t myDrawCalls;
    uint64_t myTriangles;
};

void Print(const char* aName, int aFrames, const Figures& f)
{
    printf("%-28s %8.1f frames/s %10.0f draw calls/s %12.0f triangles/s\n", aName, aFrames / f.mySeconds,
           f.myDrawCalls / f.mySeconds, f.myTriangles / f.mySeconds);
}

struct TLVertex
{
    float x, y, z, rhw;
    uint32_t myColor;
    float u, v;
};

// One small pre-transformed quad in the dynamic buffer, drawn as a strip.
void DrawQuad(QR_Render* aRender, int aDraw)
{
    QR_VertexBuffer* locVB = aRender->myDynamicVertexBuffer;
    locVB->myVertexSize = sizeof(TLVertex);
    void* locData = nullptr;
    if (!aRender->AppendVertices(locVB, &locData, 4))
        return;
    float x = (float)(aDraw * 7 % 600), y = (float)(aDraw * 13 % 440);
    TLVertex q[4] = {{x, y, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                     {x + 32, y, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                     {x, y + 32, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                     {x + 32, y + 32, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
    memcpy(locData, q, sizeof(q));
    QR_VertexBuffer* locList[1] = {locVB};
    aRender->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLESTRIP, 4);
}

// Quads alternating between aNumSurfaces instances of "INTERNAL_SOLID", each with a texture
// of its own: through SetSurface, then with every state of the pass sent straight to the device.
int SurfaceBench(int aNumSurfaces, int aFrames, int aDraws)
{
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myBitsPerPixel = 32;
    if (aNumSurfaces < 1 || !QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "qrender_bench: no renderer (error %u: %s)\n", QR_Error::ourCode, GFX_GetLastErrorDetail());
        return 1;
    }
    QR_Render* r = QR_Render::ourInstance;
    GFX_Device* d = QR_RenderD3D::ourDevice;
    std::vector<QR_SurfaceInstance*> locInstances;
    for (int k = 0; k < aNumSurfaces; k++)
    {
        uint32_t locPixels[64];
        for (int i = 0; i < 64; i++)
            locPixels[i] = 0xFF000000u | (uint32_t)(k * 0x102030 + i * 0x010101);
        char locName[32];
        snprintf(locName, sizeof(locName), "bench_surface_%d", k);
        QR_TexturePixels locRecord = {8, 8, 32, locPixels};
        QR_Texture* t = QR_Texture::Acquire(locName, QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord);
        QR_SurfaceInstance* i = t ? QR_Surface::CreateInstanceWithTexture("INTERNAL_SOLID", locName) : nullptr;
        QR_Texture::Release(t);
        if (!i)
        {
            fprintf(stderr, "qrender_bench: surface %d failed (error %u)\n", k, QR_Error::ourCode);
            return 1;
        }
        locInstances.push_back(i);
    }
    auto locFrame = [&](bool aRendererFlag)
    {
        r->BeginFrame();
        QR_Rect locAll = {0, 0, s.myWidth, s.myHeight};
        r->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, 0x203040, 1.0f, 0);
        r->BeginAlpha2D();
        for (int n = 0; n < aDraws; n++)
        {
            QR_SurfaceInstance* i = locInstances[n % aNumSurfaces];
            if (aRendererFlag)
                r->SetSurface(i, 0xFFFFFFFF, 0.0f);
            else
            {
                const QR_CompiledStageBlock* b = i->mySurface->myPass->myBlock;
                d->SetRenderState(GFX_RS_TEXTUREFACTOR, 0xFFFFFFFF);
                d->SetRenderState(GFX_RS_ALPHABLENDENABLE, 0);
                d->SetRenderState(GFX_RS_ALPHATESTENABLE, 0);
                static const GFX_TextureStageState locOrder[9] = {
                    GFX_TSS_COLOROP, GFX_TSS_COLORARG1, GFX_TSS_COLORARG2, GFX_TSS_RESULTARG, GFX_TSS_ALPHAOP,
                    GFX_TSS_ALPHAARG1, GFX_TSS_ALPHAARG2, GFX_TSS_COLORARG0, GFX_TSS_ALPHAARG0};
                for (int k = 0; k < 9; k++)
                    d->SetTextureStageState(0, locOrder[k], b->myStages[0].myWords[k]);
                d->SetTextureStageState(1, GFX_TSS_COLOROP, GFX_TOP_DISABLE);
                d->SetTextureStageState(1, GFX_TSS_ALPHAOP, GFX_TOP_DISABLE);
                d->SetTexture(0, i->myTextures[0].myFrames[0]->myDeviceData->myTexture);
            }
            DrawQuad(r, n);
        }
        r->EndFrame();
    };
    locFrame(true); // warm-up: programs generated and cached
    locFrame(false);
    auto locStart = std::chrono::steady_clock::now();
    for (int n = 0; n < aFrames; n++)
        locFrame(false);
    double locDevice = Seconds(locStart);
    locStart = std::chrono::steady_clock::now();
    for (int n = 0; n < aFrames; n++)
        locFrame(true);
    double locRenderer = Seconds(locStart);
    printf("qrender_bench --surfaces: %d instances, %d frames of %d quads\n", aNumSurfaces, aFrames, aDraws);
    printf("%-28s %8.1f frames/s %10.0f draws/s\n", "device layer, every state", aFrames / locDevice,
           aFrames * (double)aDraws / locDevice);
    printf("%-28s %8.1f frames/s %10.0f draws/s\n", "renderer, SetSurface", aFrames / locRenderer,
           aFrames * (double)aDraws / locRenderer);
    printf("renderer / device time ratio: %.3f\n", locRenderer / locDevice);
    for (QR_SurfaceInstance* i : locInstances)
        delete i;
    QR_Render::Destroy();
    return 0;
}


// M parts of one sphere mesh under four surface instances, lit by a directional and a point
// light, for aFrames frames: submitted through a view (records, light sets, sort, flush) and
// drawn straight through the kind with the same states; for each kind in turn.
struct ViewFigures
{
    double myViewSeconds;
    double myStraightSeconds;
};

bool ViewsRun(uint8_t aVertexShaderFlag, int aParts, int aFrames, ViewFigures* anOut)
{
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myBitsPerPixel = 32;
    s.myWidth = 640;
    s.myHeight = 480;
    s.myVertexShaderFlag = aVertexShaderFlag;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s) ||
        s.myVertexShaderFlag != aVertexShaderFlag)
        return false;
    QR_Render* r = QR_Render::ourInstance;
    QR_Mesh* locMesh = MakeSphere(true);
    if (!locMesh)
        return false;
    QR_Texture* locTextures[4];
    QR_SurfaceInstance* locInstances[4];
    for (int i = 0; i < 4; i++)
    {
        uint32_t p[16];
        for (uint32_t& x : p)
            x = 0xFF000000u | (uint32_t)(0x40 * (i + 1)) << 8 | 0x808080u;
        QR_TexturePixels locRecord = {4, 4, 32, p};
        char locName[32];
        snprintf(locName, sizeof(locName), "views_bench%d", i);
        locTextures[i] = QR_Texture::Acquire(locName, QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord);
        locInstances[i] = QR_Surface::CreateInstanceWithTexture("INTERNAL_SOLID", locName);
    }
    QR_Scene locScene;
    QR_Light locSun, locLamp;
    locSun.myDirection[0] = 0.3f, locSun.myDirection[1] = -0.5f, locSun.myDirection[2] = 0.8f;
    locSun.myColor[0] = locSun.myColor[1] = 0.8f, locSun.myColor[2] = 0.7f;
    locLamp.myType = QR_LIGHT_POINT;
    locLamp.myPosition[0] = 2.0f, locLamp.myPosition[1] = 2.0f, locLamp.myPosition[2] = 5.0f;
    locLamp.myRange = 30.0f;
    locLamp.myColor[0] = 0.5f, locLamp.myColor[1] = 0.3f, locLamp.myColor[2] = 0.2f;
    locScene.AddLight(&locSun);
    locScene.AddLight(&locLamp);
    QR_View locView(256, &locScene, (uint32_t)aParts);
    locView.myCamera.SetClipPlanes(0.1f, 100.0f);
    std::vector<QR_ViewPart> locParts(aParts);
    for (int k = 0; k < aParts; k++)
    {
        locParts[k] = {locMesh, locInstances[k % 4], 0.0f, Matrix44::Identity(), nullptr, nullptr};
        locParts[k].myMatrix.SetTranslation(-4.5f + (k % 10), -3.0f + (k / 10 % 7), 8.0f + (k / 70) * 2.0f);
    }
    auto locViewFrames = [&](int aCount)
    {
        for (int n = 0; n < aCount; n++)
        {
            r->BeginFrame();
            locView.MakeCurrent();
            locView.BeginRender(true, 0x203040);
            for (int k = 0; k < aParts; k++)
            {
                const float* t = &locParts[k].myMatrix.myMatrix[12];
                QR_OpaqueRecord* o = locView.NewOpaqueRecord();
                o->myKey = (uint32_t)(k % 4) << 14;
                o->mySortKey = &o->myKey;
                o->myPart = &locParts[k];
                o->myLodDistance = t[0] * t[0] + t[1] * t[1] + t[2] * t[2];
                o->myNumBoneMatrices = 0;
                o->mySurfaceColor = 0xFFFFFFFF;
                o->myLightSet = locView.MakeLightSet(t[0], t[1], t[2], 0.5f, 0xFFFFFFFF);
            }
            locView.EndRender();
            r->EndFrame();
        }
    };
    auto locStraightFrames = [&](int aCount)
    {
        QR_LightSet* locSet = nullptr;
        for (int n = 0; n < aCount; n++)
        {
            r->BeginFrame();
            locView.MakeCurrent();
            locView.BeginRender(true, 0x203040);
            if (!locSet)
                locSet = locView.MakeLightSet(0, 0, 8, 10.0f, 0xFFFFFFFF);
            locSet->myFlags = 0xFFFFFFFF;
            QR_RenderStates locStates;
            r->SetRenderStates(&locStates, (uint32_t)-5);
            for (int i = 0; i < 4; i++)
                for (int k = i; k < aParts; k += 4)
                {
                    QR_VertexShader::ourWorldMatrix = &locParts[k].myMatrix;
                    QR_VertexShader::ourObjectMatrix = &locParts[k].myMatrix;
                    locMesh->myVertexShader->Begin(locMesh->myCompiledVertexShader);
                    r->SetSurface(locInstances[i], 0xFFFFFFFF, 0.0f);
                    locMesh->myDataBlock.myLightData = locSet;
                    locMesh->myVertexShader->SetDataBlock(&locMesh->myDataBlock);
                    locMesh->myVertexShader->Draw(locMesh, 0.0f, 0.0f);
                }
            locView.EndRender();
            r->EndFrame();
        }
    };
    locViewFrames(2); // programs made and cached
    locStraightFrames(2);
    auto locStart = std::chrono::steady_clock::now();
    locViewFrames(aFrames);
    anOut->myViewSeconds = Seconds(locStart);
    locStart = std::chrono::steady_clock::now();
    locStraightFrames(aFrames);
    anOut->myStraightSeconds = Seconds(locStart);
    for (int i = 0; i < 4; i++)
    {
        delete locInstances[i];
        QR_Texture::Release(locTextures[i]);
    }
    QR_Mesh::DestroyAll();
    QR_View::ourCurrentView = nullptr;
    QR_Render::Destroy();
    return true;
}

int ViewsBench(int aParts, int aFrames)
{
    ViewFigures f[2];
    for (uint8_t locFlag : {0, 1})
        if (!ViewsRun(locFlag, aParts, aFrames, &f[locFlag]))
        {
            fprintf(stderr, "qrender_bench: no renderer (error %u: %s)\n", QR_Error::ourCode, GFX_GetLastErrorDetail());
            return 1;
        }
    printf("qrender_bench --views: %d frames of %d parts (one sphere, four surfaces, two lights) at 640x480\n", aFrames,
           aParts);
    const char* locNames[2] = {"fixed-function", "assembled"};
    for (int k = 0; k < 2; k++)
        printf("%-15s through a view %10.0f parts/s   straight through the kind %10.0f parts/s   view/straight %.3f\n",
               locNames[k], aParts * aFrames / f[k].myViewSeconds, aParts * aFrames / f[k].myStraightSeconds,
               f[k].myViewSeconds / f[k].myStraightSeconds);
    printf("assembled / fixed-function time: %.3f through a view, %.3f straight\n",
           f[1].myViewSeconds / f[0].myViewSeconds, f[1].myStraightSeconds / f[0].myStraightSeconds);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv,
                      "usage: qrender_bench [FRAMES=200] [MESHES=200] [WIDTH=640] [HEIGHT=480]\n"
                      "       qrender_bench --surfaces N [FRAMES=200] [DRAWS=2000]\n"
                      "       qrender_bench --views M [FRAMES=100]\n");
    int locCount = 0;
    if (locArgs.IntOption("--views", &locCount, 0, 100000000))
    {
        const std::vector<const char*> locRest = locArgs.Operands(0, 1);
        return ViewsBench(locCount, locRest.empty() ? 100 : locArgs.Int("FRAMES", locRest[0], 1, 100000000));
    }
    if (locArgs.IntOption("--surfaces", &locCount, 0, 100000000))
    {
        const std::vector<const char*> locRest = locArgs.Operands(0, 2);
        return SurfaceBench(locCount, locRest.size() > 0 ? locArgs.Int("FRAMES", locRest[0], 1, 100000000) : 200,
                            locRest.size() > 1 ? locArgs.Int("DRAWS", locRest[1], 0, 100000000) : 2000);
    }
    const std::vector<const char*> locRest = locArgs.Operands(0, 4);
    int locFrames = locRest.size() > 0 ? locArgs.Int("FRAMES", locRest[0], 1, 100000000) : 200;
    int locMeshes = locRest.size() > 1 ? locArgs.Int("MESHES", locRest[1], 0, 100000000) : 200;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myBitsPerPixel = 32;
    s.myWidth = locRest.size() > 2 ? locArgs.Int("WIDTH", locRest[2], 16, 16384) : 640;
    s.myHeight = locRest.size() > 3 ? locArgs.Int("HEIGHT", locRest[3], 16, 16384) : 480;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "qrender_bench: no renderer (error %u: %s)\n", QR_Error::ourCode, GFX_GetLastErrorDetail());
        return 1;
    }
    QR_Render* r = QR_Render::ourInstance;
    GFX_Device* d = QR_RenderD3D::ourDevice;

    QR_View locView;
    float f = 1.0f / tanf(0.6f);
    locView.myViewProjectionMatrix = Matrix44::Identity();
    locView.myViewProjectionMatrix[0] = f * s.myHeight / s.myWidth;
    locView.myViewProjectionMatrix[5] = f;
    locView.myViewProjectionMatrix[10] = 100.0f / 99.9f;
    locView.myViewProjectionMatrix[11] = 1.0f;
    locView.myViewProjectionMatrix[14] = -0.1f * 100.0f / 99.9f;
    locView.myViewProjectionMatrix[15] = 0.0f;
    QR_View::ourCurrentView = &locView;

    QR_LightSetLight locLights[2] = {{{0, 0, 0}, {0.3f, -0.5f, 0.8f}, 0, {0.8f, 0.8f, 0.7f}, 100.0f},
                                     {{2, 2, 5}, {0, 0, 1}, 1, {0.5f, 0.3f, 0.2f}, 10.0f}};
    QR_LightSet locSet = {0x202020, 2, {&locLights[0], &locLights[1], nullptr}, {{0.8f, 0.8f, 0.7f}, {0.5f, 0.3f, 0.2f}}, 0};

    std::vector<Matrix44> locWorld(locMeshes);
    for (int k = 0; k < locMeshes; k++)
    {
        locWorld[k] = Matrix44::Identity();
        locWorld[k].SetTranslation(-4.5f + (k % 10), -3.0f + (k / 10 % 7), 8.0f + (k / 70) * 2.0f);
    }

    auto locRun = [&](QR_Mesh* aMesh) {
        QR_RenderStates locStates;
        QR_Render::ourStats.ResetFrame();
        uint64_t locTriangles = 0;
        uint32_t locCalls = 0;
        auto locStart = std::chrono::steady_clock::now();
        for (int n = 0; n < locFrames; n++)
        {
            QR_Render::ourStats.ResetFrame();
            r->BeginFrame();
            QR_Rect locAll = {0, 0, s.myWidth, s.myHeight};
            r->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, 0x203040, 1.0f, 0);
            r->SetRenderStates(&locStates, 0xFFFFFFFF & ~QR_RSGROUP_STENCIL);
            r->SetView(&locView);
            for (int k = 0; k < locMeshes; k++)
            {
                QR_VertexShader::ourWorldMatrix = &locWorld[k];
                aMesh->myVertexShader->Begin(aMesh->myCompiledVertexShader);
                r->SetSurface(nullptr, 0xFFFFFFFF, 0.0f);
                aMesh->myDataBlock.myLightData = &locSet;
                aMesh->myVertexShader->SetDataBlock(&aMesh->myDataBlock);
                aMesh->myVertexShader->Draw(aMesh, 0.0f, 0.0f);
            }
            locCalls += QR_Render::ourStats.myDrawCalls;
            locTriangles += QR_Render::ourStats.myPrimitives;
            r->EndFrame();
        }
        return Figures{Seconds(locStart), locCalls, locTriangles};
    };

    QR_Mesh* locStatic = MakeSphere(true);
    QR_Mesh* locDynamic = MakeSphere(false);
    if (!locStatic || !locDynamic)
    {
        fprintf(stderr, "qrender_bench: mesh preparation failed\n");
        return 1;
    }
    locRun(locStatic); // warm-up: programs generated and cached

    // The same buffers and draw calls straight to the device.
    QR_D3DVertexBuffer* vb = locStatic->myVertexBuffer->myDeviceBuffer;
    QR_D3DIndexBuffer* ib = locStatic->myIndexBuffer->myDeviceBuffer;
    uint32_t locStride = locStatic->myVertexBuffer->myVertexSize;
    auto locDeviceStart = std::chrono::steady_clock::now();
    uint64_t locTriangles = 0;
    for (int n = 0; n < locFrames; n++)
    {
        d->BeginScene();
        d->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0x203040, 1.0f, 0);
        d->SetStreamSource(0, vb->myBuffer, 0, locStride);
        d->SetIndices(ib->myBuffer);
        GFX_Matrix locProjection;
        memcpy(locProjection.m, locView.myViewProjectionMatrix.myMatrix, 64);
        d->SetTransform(GFX_TS_PROJECTION, locProjection);
        for (int k = 0; k < locMeshes; k++)
        {
            GFX_Matrix locMatrix;
            memcpy(locMatrix.m, locWorld[k].myMatrix, 64);
            d->SetTransform(GFX_TS_WORLD, locMatrix);
            d->DrawIndexedPrimitive(GFX_PRIM_TRIANGLELIST, 0, 0, locStatic->myNumVertices, 0, locStatic->myNumIndices / 3);
            locTriangles += locStatic->myNumIndices / 3;
        }
        d->EndScene();
        d->Present();
    }
    Figures locDevice = {Seconds(locDeviceStart), (uint32_t)(locFrames * locMeshes), locTriangles};
    Figures locRenderStatic = locRun(locStatic);
    Figures locRenderDynamic = locRun(locDynamic);

    printf("qrender_bench: %d frames of %d meshes (%u triangles each) at %dx%d\n", locFrames, locMeshes,
           locStatic->myNumIndices / 3, s.myWidth, s.myHeight);
    Print("device layer, same calls", locFrames, locDevice);
    Print("renderer, static buffers", locFrames, locRenderStatic);
    Print("renderer, dynamic buffers", locFrames, locRenderDynamic);
    printf("renderer / device time ratio: %.3f (static), %.3f (dynamic)\n",
           locRenderStatic.mySeconds / locDevice.mySeconds, locRenderDynamic.mySeconds / locDevice.mySeconds);

    delete locStatic;
    delete locDynamic;
    QR_View::ourCurrentView = nullptr;
    QR_Render::Destroy();
    return 0;
}
