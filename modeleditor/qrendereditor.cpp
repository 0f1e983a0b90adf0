// The editor scene.
//
// Sections:
//   [SECTION] Creation and tear-down
//   [SECTION] Frame and overlays
//   [SECTION] Camera
//   [SECTION] Light
//   [SECTION] Settings
//   [SECTION] Model operations
//   [SECTION] Model tree
#include "modeleditor/qrendereditor.h"

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/qrbwriter.h"
#include "modeleditor/qre_command.h"
#include "modeleditor/qre_execute.h"
#include "modeleditor/templateedit.h"
#include "platform/os/os_file.h"
#include "platform/os/os_ui.h"
#include "qcommon/qc_listiterator.h"
#include "qinput/qi_input.h"
#include "qrender/qr_font.h"
#include "qrender/qr_genericparticleemittor.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"
#include "qrender/qr_view.h"

#include <math.h>
#include <new>
#include <stdio.h>
#include <string.h>

#include <climits>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

QRenderEditor* QRenderEditor::ourInstance = nullptr;

namespace
{

// The overlay's line vertex: position, colour, two unused texture floats.
struct locLineVertex
{
    float x, y, z;
    uint32_t myColor;
    float u, v;
};
static_assert(sizeof(locLineVertex) == 24, "the overlay's vertex size");

const uint32_t GRID_COLOR = 0xFF9F9F9F;
const uint32_t GRID_AXIS_COLOR = 0xFF7F7F7F;
const uint32_t GRID_VERTICES = 94;

void locNormalise(float v[3])
{
    float l = sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0.0f)
        for (int i = 0; i < 3; i++)
            v[i] /= l;
}

void locCross(const float a[3], const float b[3], float r[3])
{
    r[0] = a[1] * b[2] - a[2] * b[1];
    r[1] = a[2] * b[0] - a[0] * b[2];
    r[2] = a[0] * b[1] - a[1] * b[0];
}

// Direction of the directional light from heading and elevation (radians).
void locLightDirection(float aHeading, float anElevation, float aDirection[3])
{
    aDirection[0] = sinf(aHeading) * cosf(anElevation);
    aDirection[1] = -sinf(anElevation);
    aDirection[2] = cosf(aHeading) * cosf(anElevation);
}

} // namespace

// [SECTION] Creation and tear-down ---------------------------------------------------------

QRenderEditor::QRenderEditor()
    : myGridEnable(true)
    , myGridSize(1.0f)
    , myDefaultHaloSurface("")
    , mySecondHaloSurface("surfaces/halo.sur")
    , myDefaultSurface("INTERNAL_SOLID")
    , myLightVectorColoring(false)
    , myLightVectorScale(1.0f)
    , myBoneOverlay(false)
    , myCacheRendering(true)
    , myDontResetCameraOnRefresh(false)
    , myAutoCalcFarplane(true)
    , myRefreshing(false)
    , myLodDistances{50.0f, 100.0f, 200.0f, 400.0f}
    , myMouseSens(0.005f)
    , myStateCodes(nullptr)
    , myStateNames(nullptr)
    , myBoneLines(nullptr)
    , myNumBoneLines(0)
    , myView(nullptr)
    , myLightScene(nullptr)
    , myRender(nullptr)
    , myTemplate(nullptr)
    , myInstance(nullptr)
    , myCreated(false)
    , myModelLoaded(false)
    , myInputStarted(false)
    , myBgColor(0)
    , myObjectColors{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}
    , myObjectColorIndex(0)
    , myNearPlane(0.1f)
    , myFarPlane(200.0f)
    , myTreeRebuilding(false)
    , myLineSetup(nullptr)
    , myLightInScene(false)
    , myLight(nullptr)
    , myDirLightDirection(0.0f)
    , myDirLightElevation(0.0f)
    , myDirLightColor{0.0f, 0.0f, 0.0f}
    , myCameraTarget{0.0f, 0.0f, 0.0f}
    , myCameraDistance(5.0f)
    , myCameraPitch(0.0f)
    , myCameraHeading(0.0f)
    , myStatsFont(nullptr)
{
    myShaderOverrides.Init(8, 8, true);
    myUsedStates.Init(8, 8, true);
    myExpandedItems.Init(16, 16, true);
    ResetCamera();
}

bool QRenderEditor::Create(QR_HostWindow* aWindow, void* anInputWindow)
{
    if (ourInstance)
        return false;
    ourInstance = new (std::nothrow) QRenderEditor;
    if (!ourInstance)
        return false;
    if (!ourInstance->InitRenderer(aWindow, anInputWindow))
    {
        delete ourInstance;
        ourInstance = nullptr;
        return false;
    }
    QRE_InstallSceneHooks();
    return true;
}

bool QRenderEditor::Destroy()
{
    if (!ourInstance)
        return false;
    QRE_RemoveSceneHooks();
    delete ourInstance;
    ourInstance = nullptr;
    return true;
}

bool QRenderEditor::InitRenderer(QR_HostWindow* aWindow, void* anInputWindow)
{
    if (!QR_Render::Create(aWindow, nullptr))
        return false;
    QR_GenericParticleEmitter::ourAppVelocity[0] = 5.0f;
    QR_GenericParticleEmitter::ourAppVelocity[1] = 0.0f;
    QR_GenericParticleEmitter::ourAppVelocity[2] = 5.0f;
    myRender = QR_Render::ourInstance;
    QR_RenderSettings s;
    s.myAdapter = -1;
    s.myPosX = 0;
    s.myPosY = 0;
    s.myWidth = 800;
    s.myHeight = 600;
    s.myBitsPerPixel = 32;
    s.myFullScreenFlag = 0;
    s.myVertexShaderFlag = 1;
    s.myPixelShaderFlag = 0;
    s.myVSyncFlag = 1;
    s.myRefreshRate = 0;
    s.myGamma = 1.0f;
    s.myStencilBufferFlag = 0;
    s.myAlphaBufferFlag = 0;
    s.myMultiSampleType = 0;
    s.myTextureReduction = 0;
    s.myMipMapLodBias = -0.5f;
    s.myTextureFilter = 6;
    if (!myRender->Init(&s))
        return false;
    // The input library attaches to the render view's widget: headless there is none
    // to have the focus, and the scene must start anyway.
    if (!QI_Input::Init(true, anInputWindow))
        return false;
    myInputStarted = true;

    myLightScene = new (std::nothrow) QR_Scene;
    myView = myLightScene ? new (std::nothrow) QR_View(500, myLightScene, 2048) : nullptr;
    if (!myView)
        return false;
    QR_Camera& c = myView->myCamera;
    c.SetClipPlanes(0.1f, 200.0f);
    c.SetViewport(0, 0, myRender->myRenderSettings.myWidth, myRender->myRenderSettings.myHeight);
    c.UpdateProjection();
    PlaceCamera();
    myView->myFogColor = 0x808080;
    myView->myFogDistance = c.myFar * 0.25f;
    myCreated = true;

    // The original read it from a fixed place on the studio's drive; it is machine-local data.
    char locDataFolder[PATH_MAX];
    if (OS_GetUserDataFolder("pranvel", locDataFolder, sizeof(locDataFolder)))
    {
        const std::string locFont = std::string(locDataFolder) + "/stats_font";
        myStatsFont = QR_Font::Acquire(locFont.c_str(), (locFont + ".txt").c_str());
    }
    if (myStatsFont)
        myStatsFont->myTabWidth = 50;

    if (QR_VertexShader* locKind = QR_VertexShader::ourDefault)
    {
        QR_VertexShaderSetupData locSetup;
        memset(&locSetup, 0, sizeof(locSetup));
        locSetup.myNumStreams = 1;
        locSetup.myVertexFormatList[0] = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_DIFFUSE | QR_VERTEXFLAG_UV1;
        myLineSetup = locKind->Compile(locSetup);
    }
    return true;
}

QRenderEditor::~QRenderEditor()
{
    ClearModel();
    if (myLineSetup && QR_VertexShader::ourDefault)
        QR_VertexShader::ourDefault->ReleaseCompiled(myLineSetup);
    myLineSetup = nullptr;
    if (myStatsFont)
        QR_Font::Release(myStatsFont);
    if (myLight)
    {
        if (myLightInScene && myLightScene)
            myLightScene->RemoveLight(myLight);
        delete myLight;
    }
    delete myView;
    delete myLightScene;
    if (myInputStarted)
        QI_Input::Shutdown();
    if (myRender)
        QR_Render::Destroy();
    delete[] myBoneLines;
}

// [SECTION] Frame and overlays -------------------------------------------------------------

bool QRenderEditor::Render()
{
    static bool ourRendering = false;
    if (ourRendering || !myCreated)
        return true;
    ourRendering = true;
    if (QI_Input* locInput = QI_Input::GetInstance())
        locInput->Update();
    myLightScene->Update();
    QR_Render::ourStats.ResetFrame();
    QR_Render::ourStats.myFrameCounter++;
    myRender->BeginFrame();

    float locNear = myNearPlane, locFar = myFarPlane;
    if (myAutoCalcFarplane)
    {
        float r = myModelLoaded && myTemplate ? myTemplate->GetBoundRadius() : 5.0f;
        if (r < 1.0f)
            r = 1.0f;
        locNear = r * 0.01f;
        locFar = r * 8.0f;
    }
    UpdateClipPlanes(locNear, locFar);
    if (locFar * 0.99f <= myView->myFogDistance)
        myView->myFogDistance = locFar * 0.99f;

    myView->BeginRender(true, myBgColor);
    myView->MakeCurrent();
    myRender->SetView(myView);
    if (myModelLoaded && myInstance)
    {
        if (myGridEnable)
            DrawGrid();
        if (myInstance->myColor & 0xFF000000)
            myInstance->Update(myInstance->myMatrix);
        uint32_t locTint = myLightVectorColoring ? LightVectorColor() : myObjectColors[myObjectColorIndex];
        myInstance->myColor = (myInstance->myColor & 0xFF000000) | (locTint & 0xFFFFFF);
        myInstance->myDrawImmediately = !myCacheRendering;
        if (myInstance->IsVisible())
            myInstance->Render();
        myView->Flush();
        if (myBoneOverlay)
            DrawBones();
    }
    myView->EndRender();

    char locText[128];
    if (myStatsFont && FormatStatistics(locText, sizeof(locText)))
        QR_Font::DrawTextUnscaled(myStatsFont, 0, 0, locText);
    myRender->EndFrame();
    ourRendering = false;
    return true;
}

bool QRenderEditor::FormatStatistics(char* aBuffer, int aSize) const
{
    const QR_RenderStats& st = QR_Render::ourStats;
    if (st.myDrawCalls <= 1)
        return false;
    // The overlay's own share as the counters see it.
    uint32_t locTris = myGridEnable ? 49 : 2, locVerts = myGridEnable ? 98 : 4, locCalls = myGridEnable ? 2 : 1;
    snprintf(aBuffer, (size_t)aSize, "Tri: %d\tVert: %d\tDraw calls: %d\tTex mem: %dmb",
             (int)(st.myPrimitives - locTris), (int)(st.myVertices - locVerts), (int)(st.myDrawCalls - locCalls),
             (int)(st.myTextureMemory / 1048576));
    return true;
}

// The view's line set-up with identity world matrix, lines in vertex colours without
// texture, and space for aNumVertices in the dynamic buffer (null when there is none).
void QRenderEditor::BeginOverlay(uint32_t aNumVertices, void** aVerticesOut)
{
    *aVerticesOut = nullptr;
    QR_VertexShader* locKind = QR_VertexShader::ourDefault;
    QR_VertexShader::ourWorldMatrix = nullptr;
    if (locKind && myLineSetup)
    {
        locKind->Begin(myLineSetup);
        locKind->SetDataBlock(nullptr);
    }
    QR_RenderStates locStates;
    locStates.myCullMode = 0;
    locStates.myDepthWriteFlag = 1;
    locStates.myTextureFilter = 3;
    myRender->SetRenderStates(&locStates, (uint32_t)-1);
    myRender->SetSurface(nullptr, 0xFFFFFFFF, -1.0f);
    QR_VertexBuffer* locBuffer = myRender->myDynamicVertexBuffer;
    if (!locBuffer)
        return;
    locBuffer->myVertexSize = sizeof(locLineVertex);
    if (!myRender->AppendVertices(locBuffer, aVerticesOut, aNumVertices))
        *aVerticesOut = nullptr;
}

void QRenderEditor::DrawGrid()
{
    void* locOut;
    BeginOverlay(GRID_VERTICES, &locOut);
    if (!locOut)
        return;
    locLineVertex* v = (locLineVertex*)locOut;
    const float s = myGridSize, e = 10.0f * s;
    for (int i = -10; i <= 10; i++)
    {
        uint32_t c = i == 0 ? GRID_AXIS_COLOR : GRID_COLOR;
        *v++ = {i * s, 0.0f, -e, c, 0.0f, 0.0f};
        *v++ = {i * s, 0.0f, e, c, 0.0f, 0.0f};
        *v++ = {-e, 0.0f, i * s, c, 0.0f, 0.0f};
        *v++ = {e, 0.0f, i * s, c, 0.0f, 0.0f};
    }
    // The letters X and Z near the ends of the axes, in units of 10 x spacing.
    static const float locLetters[5][4] = {
        {0.99f, 0.01f, 0.95f, 0.05f}, {0.95f, 0.01f, 0.99f, 0.05f}, // X
        {0.01f, 0.99f, 0.05f, 0.99f}, {0.01f, 0.95f, 0.05f, 0.95f}, {0.05f, 0.99f, 0.01f, 0.95f}}; // Z
    for (const auto& l : locLetters)
    {
        *v++ = {l[0] * e, 0.0f, l[1] * e, GRID_AXIS_COLOR, 0.0f, 0.0f};
        *v++ = {l[2] * e, 0.0f, l[3] * e, GRID_AXIS_COLOR, 0.0f, 0.0f};
    }
    QR_VertexBuffer* locList[1] = {myRender->myDynamicVertexBuffer};
    myRender->DrawPrimitives(locList, QR_DRAWTYPES_LINELIST, GRID_VERTICES);
}

void QRenderEditor::DrawBones()
{
    if (!myTemplate || !myInstance || !myBoneLines)
        return;
    uint32_t locCount = 0;
    uint32_t locParts = myTemplate->myNumParts < myInstance->myNumPartInstances ? myTemplate->myNumParts
                                                                                : myInstance->myNumPartInstances;
    for (uint32_t i = 0; i < locParts && i < myNumBoneLines; i++)
    {
        const QR_TemplatePart& p = myTemplate->myParts[i];
        if (p.myNumStates && p.myStates[0].myParent >= 0)
            locCount++;
    }
    if (!locCount)
        return;
    void* locOut;
    BeginOverlay(locCount * 2, &locOut);
    if (!locOut)
        return;
    locLineVertex* v = (locLineVertex*)locOut;
    for (uint32_t i = 0; i < locParts && i < myNumBoneLines; i++)
    {
        const QR_TemplatePart& p = myTemplate->myParts[i];
        if (!p.myNumStates || p.myStates[0].myParent < 0)
            continue;
        const Matrix44& m = myInstance->myPartInstances[i].myMatrix;
        float l = myBoneLines[i].myLength;
        uint32_t c = myBoneLines[i].myColor;
        *v++ = {m[12], m[13], m[14], c, 0.0f, 0.0f};
        *v++ = {m[12] + l * m[8], m[13] + l * m[9], m[14] + l * m[10], c, 0.0f, 0.0f};
    }
    QR_VertexBuffer* locList[1] = {myRender->myDynamicVertexBuffer};
    myRender->DrawPrimitives(locList, QR_DRAWTYPES_LINELIST, locCount * 2);
}

uint32_t QRenderEditor::LightVectorColor() const
{
    float v[3] = {0.0f, 0.0f, 0.0f};
    uint32_t n = (uint32_t)myView->myLights.Count();
    if (n > 0)
    {
        const QR_Light* l = myView->myLights[(int)n - 1];
        const float* r = myView->myViewMatrix.myMatrix;
        if (n < 2)
        {
            // Into view space: the view's rotation applied to the direction.
            for (int i = 0; i < 3; i++)
                v[i] = l->myDirection[0] * r[i] + l->myDirection[1] * r[4 + i] + l->myDirection[2] * r[8 + i];
        }
        else
        {
            const float* m = myInstance->myMatrix.myMatrix;
            float d[3] = {l->myPosition[0] - m[12], l->myPosition[1] - m[13], l->myPosition[2] - m[14]};
            locNormalise(d);
            for (int i = 0; i < 3; i++)
                v[i] = d[0] * m[4 * i] + d[1] * m[4 * i + 1] + d[2] * m[4 * i + 2];
        }
    }
    uint32_t locColor = 0;
    for (int i = 0; i < 3; i++)
    {
        int c = (int)(v[i] * myLightVectorScale * 127.0f + 128.0f);
        c = c < 0 ? 0 : (c > 255 ? 255 : c);
        locColor = locColor << 8 | (uint32_t)c;
    }
    return locColor;
}

// [SECTION] Camera -------------------------------------------------------------------------

void QRenderEditor::PlaceCamera()
{
    if (!myView)
        return;
    const float h = myCameraHeading, p = myCameraPitch;
    float f[3] = {-sinf(h) * cosf(p), -sinf(p), cosf(h) * cosf(p)};
    float up[3] = {-sinf(p) * sinf(h), cosf(p), sinf(p) * cosf(h)};
    float side[3], up2[3];
    locCross(up, f, side);
    locNormalise(side);
    locCross(f, side, up2);
    locNormalise(up2);
    locNormalise(f);
    float* m = myView->myCamera.myMatrix.myMatrix;
    for (int i = 0; i < 3; i++)
    {
        m[i] = side[i];
        m[4 + i] = up2[i];
        m[8 + i] = f[i];
        m[12 + i] = myCameraTarget[i] - myCameraDistance * f[i];
    }
    m[3] = m[7] = m[11] = 0.0f;
    m[15] = 1.0f;
}

void QRenderEditor::ResetCamera()
{
    if (myInstance && myTemplate)
    {
        float r = myTemplate->GetBoundRadius();
        myCameraTarget[0] = 0.0f;
        myCameraTarget[1] = r * 0.3f;
        myCameraTarget[2] = 0.0f;
        myCameraDistance = r;
    }
    else
    {
        myCameraTarget[0] = myCameraTarget[1] = myCameraTarget[2] = 0.0f;
        myCameraDistance = 5.0f;
    }
    PlaceCamera();
}

void QRenderEditor::ZoomCamera(float aDelta)
{
    myCameraDistance += aDelta;
    if (myCameraDistance > -0.01f && myCameraDistance < 0.01f)
        myCameraDistance = aDelta > 0.0f ? 0.01f : -0.01f;
    PlaceCamera();
}

void QRenderEditor::RotateCameraHeading(float anAngle)
{
    myCameraHeading -= anAngle;
    PlaceCamera();
}

void QRenderEditor::RotateCameraPitch(float anAngle)
{
    myCameraPitch += anAngle;
    PlaceCamera();
}

void QRenderEditor::PanCameraRight(float anAmount)
{
    if (!myView)
        return;
    const float* m = myView->myCamera.myMatrix.myMatrix;
    for (int i = 0; i < 3; i++)
        myCameraTarget[i] += anAmount * m[i];
    PlaceCamera();
}

void QRenderEditor::PanCameraUp(float anAmount)
{
    if (!myView)
        return;
    const float* m = myView->myCamera.myMatrix.myMatrix;
    for (int i = 0; i < 3; i++)
        myCameraTarget[i] += anAmount * m[4 + i];
    PlaceCamera();
}

void QRenderEditor::UpdateClipPlanes(float aNear, float aFar)
{
    QR_Camera& c = myView->myCamera;
    c.myNear = aNear;
    c.myFar = aFar;
    c.myNearSquared = aNear * aNear;
    c.myFarSquared = aFar * aFar;
    c.UpdateProjection();
}

void QRenderEditor::SetNearPlane(float aNear)
{
    myNearPlane = aNear;
    if (myView)
        UpdateClipPlanes(myNearPlane, myFarPlane);
}

void QRenderEditor::SetFarPlane(float aFar)
{
    myFarPlane = aFar;
    if (myView)
        UpdateClipPlanes(myNearPlane, myFarPlane);
}

// [SECTION] Light --------------------------------------------------------------------------

bool QRenderEditor::PutLight(QR_Light* aLight)
{
    if (myLight)
    {
        if (myLightInScene)
            myLightScene->RemoveLight(myLight);
        delete myLight;
    }
    myLight = aLight;
    myLightInScene = myLight && myLightScene && myLightScene->AddLight(myLight);
    return myLightInScene;
}

bool QRenderEditor::SetDirectionalLight(float aHeading, float anElevation, float aRed, float aGreen, float aBlue)
{
    myDirLightDirection = aHeading;
    myDirLightElevation = anElevation;
    myDirLightColor[0] = aRed;
    myDirLightColor[1] = aGreen;
    myDirLightColor[2] = aBlue;
    QR_Light* l = new (std::nothrow) QR_Light;
    if (!l)
        return PutLight(nullptr);
    l->myPosition[0] = l->myPosition[1] = l->myPosition[2] = 0.0f;
    locLightDirection(aHeading, anElevation, l->myDirection);
    l->myType = QR_LIGHT_DIRECTIONAL;
    l->myColor[0] = aRed;
    l->myColor[1] = aGreen;
    l->myColor[2] = aBlue;
    l->myRange = 0.0f;
    return PutLight(l);
}

bool QRenderEditor::SetPointLight(float anX, float aY, float aZ, float aRed, float aGreen, float aBlue, float aRange)
{
    QR_Light* l = new (std::nothrow) QR_Light;
    if (!l)
        return PutLight(nullptr);
    l->myPosition[0] = anX;
    l->myPosition[1] = aY;
    l->myPosition[2] = aZ;
    l->myType = QR_LIGHT_POINT;
    l->myColor[0] = aRed;
    l->myColor[1] = aGreen;
    l->myColor[2] = aBlue;
    l->myRange = aRange;
    return PutLight(l);
}

void QRenderEditor::SetDirLightDirection(float aHeading)
{
    myDirLightDirection = aHeading;
    if (myLight)
        locLightDirection(myDirLightDirection, myDirLightElevation, myLight->myDirection);
}

void QRenderEditor::SetDirLightElevation(float anElevation)
{
    myDirLightElevation = anElevation;
    if (myLight)
        locLightDirection(myDirLightDirection, myDirLightElevation, myLight->myDirection);
}

void QRenderEditor::SetDirLightColor(uint32_t aColor)
{
    myDirLightColor[0] = (float)((aColor >> 16) & 0xFF) / 255.0f;
    myDirLightColor[1] = (float)((aColor >> 8) & 0xFF) / 255.0f;
    myDirLightColor[2] = (float)(aColor & 0xFF) / 255.0f;
}

bool QRenderEditor::TogglePointLight()
{
    if (!myLight || !myLightScene)
        return myLightInScene;
    if (myLightInScene)
    {
        if (myLightScene->RemoveLight(myLight))
            myLightInScene = false;
    }
    else
        myLightInScene = myLightScene->AddLight(myLight);
    return myLightInScene;
}

// [SECTION] Settings -----------------------------------------------------------------------

void QRenderEditor::GetObjectColor(uint32_t anIndex, uint8_t* r, uint8_t* g, uint8_t* b) const
{
    uint32_t c = GetObjectColor(anIndex);
    *r = (uint8_t)(c >> 16);
    *g = (uint8_t)(c >> 8);
    *b = (uint8_t)c;
}

void QRenderEditor::SetObjectColor(uint32_t anIndex, uint32_t aColor)
{
    if (anIndex < 8)
        myObjectColors[anIndex] = aColor & 0xFFFFFF;
}

void QRenderEditor::SetObjectColor(uint32_t anIndex, uint8_t r, uint8_t g, uint8_t b)
{
    SetObjectColor(anIndex, (uint32_t)r << 16 | (uint32_t)g << 8 | b);
}

void QRenderEditor::SetObjectColorIndex(uint32_t anIndex)
{
    if (anIndex >= 8)
        return;
    myObjectColorIndex = anIndex;
    if (myInstance)
        myInstance->SetColor(myObjectColors[anIndex]);
}

uint32_t QRenderEditor::GetAmbientColor() const
{
    return myView ? myView->myAmbientColor : 0;
}

void QRenderEditor::SetAmbientColor(uint32_t aColor)
{
    if (myView)
        myView->myAmbientColor = aColor & 0xFFFFFF;
}

uint32_t QRenderEditor::GetFogColor() const
{
    return myView ? myView->myFogColor : 0;
}

void QRenderEditor::SetFogColor(uint32_t aColor)
{
    if (myView)
        myView->myFogColor = aColor & 0xFFFFFF;
}

float QRenderEditor::GetFogStart() const
{
    return myView ? myView->myFogDistance : 0.0f;
}

void QRenderEditor::SetFogStart(float aStart)
{
    if (myView)
        myView->myFogDistance = aStart;
}

bool QRenderEditor::GetBounds(float aCentreOut[3], float* aRadiusOut) const
{
    if (!myTemplate)
        return false;
    memcpy(aCentreOut, myTemplate->myBoundCentre, 3 * sizeof(float));
    *aRadiusOut = myTemplate->myBoundRadius;
    return true;
}

bool QRenderEditor::SetBounds(const float aCentre[3], float aRadius)
{
    if (!myTemplate)
        return false;
    memcpy(myTemplate->myBoundCentre, aCentre, 3 * sizeof(float));
    myTemplate->myBoundRadius = aRadius;
    return true;
}

QR_TemplatePart* QRenderEditor::GetPart(uint16_t anIndex) const
{
    if (!myModelLoaded || !myTemplate || anIndex >= myTemplate->myNumParts)
        return nullptr;
    return &myTemplate->myParts[anIndex];
}

void QRenderEditor::SetWorkDir(const char* aDirectory)
{
    QC_String locDir = aDirectory ? aDirectory : "";
    locDir.Replace("\\", "/");
    int n = locDir.GetLength();
    if (n > 0 && locDir.GetBuffer()[n - 1] != '/')
        locDir += "/";
    myWorkDir = locDir;
    if (n > 0)
        OS_SetCurrentDirectory(myWorkDir);
}

uint32_t QRenderEditor::GetErrorCode()
{
    return EditorError::ourCode;
}

const char* QRenderEditor::GetErrorDetail()
{
    return EditorError::ourDetail;
}

// [SECTION] Model operations ---------------------------------------------------------------

bool QRenderEditor::SetModel(QR_TemplateObject* aTemplate, const char* aStateCode)
{
    if (myModelLoaded || !aTemplate)
        return false;
    if (myTemplate && myTemplate != aTemplate)
        myTemplate->Release();
    myTemplate = aTemplate;
    QC_String locCode = aStateCode ? aStateCode : "";
    AddUsedName(locCode);
    CreateInstance();
    if (!(myRefreshing && myDontResetCameraOnRefresh))
        ResetCamera();
    SetActiveState(locCode);
    myModelLoaded = true;
    if (!myLight)
        SetDirectionalLight(myDirLightDirection, myDirLightElevation, myDirLightColor[0], myDirLightColor[1],
                            myDirLightColor[2]);
    return true;
}

bool QRenderEditor::SetBoneLines(const QRenderEditorBoneLine* aLines, uint32_t aCount)
{
    QRenderEditorBoneLine* locLines = nullptr;
    if (aCount)
    {
        locLines = new (std::nothrow) QRenderEditorBoneLine[aCount];
        if (!locLines)
            return false;
        memcpy(locLines, aLines, aCount * sizeof(*locLines));
    }
    delete[] myBoneLines;
    myBoneLines = locLines;
    myNumBoneLines = aCount;
    return true;
}

void QRenderEditor::GetBuildSettings(LWBuildSettings* aSettingsOut) const
{
    aSettingsOut->myDefaultSurface = myDefaultSurface;
    aSettingsOut->myHaloSurface = myDefaultHaloSurface;
    memcpy(aSettingsOut->myLodDistances, myLodDistances, sizeof(myLodDistances));
}

namespace
{
// 1 for ".lws", 2 for ".lwo", 0 for anything else.
int locLightWaveKind(const char* aFileName)
{
    size_t n = aFileName ? strlen(aFileName) : 0;
    if (n < 4)
        return 0;
    if (strcasecmp(aFileName + n - 4, ".lws") == 0)
        return 1;
    return strcasecmp(aFileName + n - 4, ".lwo") == 0 ? 2 : 0;
}
} // namespace

bool QRenderEditor::OpenScene(const char* aFileName, const char* aModelName, const char* aStateCode)
{
    if (myModelLoaded)
        return false;
    if (!myWorkDir.IsEmpty() && chdir(myWorkDir) != 0)
        return false;
    int locKind = locLightWaveKind(aFileName);
    if (!locKind)
        return false;
    LWBuildSettings locSettings;
    GetBuildSettings(&locSettings);
    const uint32_t locState = StateCodeToId(aStateCode);
    QR_TemplateObject* locTemplate = nullptr;
    if (locKind == 1)
    {
        std::vector<QRenderEditorBoneLine> locLines;
        locTemplate = LoadLWSTemplate(aFileName, aModelName, locState, &locLines, locSettings);
        if (locTemplate)
            SetBoneLines(locLines.data(), (uint32_t)locLines.size());
    }
    else if (!BuildTemplateFromLWO(aFileName, aModelName, &locTemplate, locState, locSettings))
        locTemplate = nullptr;
    if (!locTemplate)
        return false;
    return SetModel(locTemplate, aStateCode);
}

bool QRenderEditor::OpenModelFile(const char* aFileName, const char* aModelName, const char* aStateCode,
                                  const QC_List<QC_String>* aPartNames)
{
    int locKind = locLightWaveKind(aFileName);
    if (!myTemplate || !locKind)
        return false;
    std::vector<QC_String> locNames;
    if (aPartNames)
    {
        QC_ListIterator<QC_String> i(*aPartNames);
        for (i.First(); !i.IsDone(); i.Next())
            locNames.push_back(i.GetCurrent());
    }
    LWBuildSettings locSettings;
    GetBuildSettings(&locSettings);
    const uint32_t locState = StateCodeToId(aStateCode);
    delete myInstance;
    myInstance = nullptr;
    bool locResult = locKind == 1 ? AddLWSState(myTemplate, aFileName, locState, &locNames, locSettings)
                                  : AddLWOState(myTemplate, aFileName, aModelName, locState, &locNames, locSettings);
    if (!locResult)
        return false;
    AddUsedName(aStateCode ? aStateCode : "");
    CreateInstance();
    if (myInstance)
        myInstance->myMatrix.SetRotation(0.0f, 0.0f, 0.0f);
    SetActiveState(QC_String(aStateCode ? aStateCode : ""));
    return true;
}

bool QRenderEditor::AddQREHierarchy(const char* aPartName, const char* aFileName)
{
    if (!myTemplate)
        return false;
    QR_TemplateObject* locKept = myTemplate;
    myTemplate = nullptr;
    myModelLoaded = false;
    delete myInstance;
    myInstance = nullptr;
    // The other file may open a model of the same name (every lone object has one): the
    // kept template leaves its name free meanwhile.
    char* locKeptName = locKept->myName;
    std::string locAside = std::string(locKeptName ? locKeptName : "") + "#kept";
    locKept->myName = (char*)locAside.c_str();
    QC_String locActive = myActiveState;
    std::vector<QRenderEditorBoneLine> locLines(myBoneLines, myBoneLines + myNumBoneLines);

    bool locLoaded = ReloadQREHierarchy(aFileName);
    QR_TemplateObject* locNew = myTemplate;
    delete myInstance;
    myInstance = nullptr;
    locKept->myName = locKeptName;
    myTemplate = locKept;
    myActiveState = locActive;
    SetBoneLines(locLines.data(), (uint32_t)locLines.size());
    bool locResult = locLoaded && locNew && MergeTemplate(locKept, locNew, nullptr, aPartName);
    if (locNew)
        locNew->Release();
    if (!locResult && locLoaded && locNew)
    {
        // The merge failed part-way: neither model is whole.
        locKept->Release();
        myTemplate = nullptr;
        return false;
    }
    myModelLoaded = true;
    if (locResult)
        ComputeTemplateBounds(locKept);
    CreateInstance();
    if (myInstance)
        myInstance->myMatrix.SetRotation(0.0f, 0.0f, 0.0f);
    SetActiveState(QC_String());
    return locResult;
}

template <class Change> bool QRenderEditor::EditTemplate(Change aChange)
{
    if (!myTemplate)
        return false;
    delete myInstance;
    myInstance = nullptr;
    bool locResult = aChange();
    if (locResult)
    {
        CreateInstance();
        if (myInstance)
            myInstance->myMatrix.SetRotation(0.0f, 0.0f, 0.0f);
        SetActiveState(QC_String());
    }
    return locResult;
}

bool QRenderEditor::AddParticleEmitter(const char* anEmitterName, const char* aPartName, const char* aStateCode)
{
    return EditTemplate(
        [&] { return AddEmitterLink(myTemplate, anEmitterName, aPartName, StateCodeToId(aStateCode)); });
}

bool QRenderEditor::RemoveParticleEmitter(uint32_t anIndex)
{
    if (!myTemplate || anIndex >= myTemplate->myNumLinks)
        return false;
    return EditTemplate([&] { return RemoveEmitterLink(myTemplate, anIndex); });
}

bool QRenderEditor::ReloadParticleEmitters()
{
    return EditTemplate([&] { return ReloadEmitterLinks(myTemplate); });
}

bool QRenderEditor::AddNullObject(const char* aName, const char* aParentName, const char* aStateCode)
{
    bool locResult =
        EditTemplate([&] { return AddNullPart(myTemplate, aName, StateCodeToId(aStateCode), aParentName); });
    if (locResult)
        AddUsedName(aStateCode);
    return locResult;
}

void QRenderEditor::CreateInstance()
{
    delete myInstance;
    myInstance = nullptr;
    if (!myTemplate)
        return;
    myInstance = new (std::nothrow) QR_MainObject(myTemplate); // holds its own reference
    if (!myInstance)
        return;
    myInstance->SetColor(myObjectColors[myObjectColorIndex]);
    for (uint32_t i = 0; i < myTemplate->myNumParts; i++)
    {
        QR_TemplatePart& p = myTemplate->myParts[i];
        if (!p.myMesh || !p.myMesh->myLods || !p.myMesh->myNumLods || p.myMaxDistanceSquared >= 1.0e9f)
            continue;
        float locLast = p.myMesh->myLods[p.myMesh->myNumLods - 1].myLodDistance;
        if (p.myMaxDistanceSquared >= locLast)
        {
            OS_MessageBox("Lods wrong, forcing closer no lod distance.", "Pranvel", OS_MB_OK | OS_MB_ICONWARNING);
            p.myMaxDistanceSquared = locLast * 0.99f;
        }
    }
}

void QRenderEditor::RecreateInstance()
{
    CreateInstance();
    if (myInstance)
        myInstance->myMatrix.SetRotation(0.0f, 0.0f, 0.0f);
}

void QRenderEditor::SetActiveState(const QC_String& aCode)
{
    if (!myInstance)
        return;
    if (!aCode.IsEmpty())
        myActiveState = aCode;
    if (myActiveState.IsEmpty())
        return;
    myInstance->SetState(StateCodeToId(myActiveState));
}

void QRenderEditor::AddUsedName(const QC_String& aCode)
{
    for (int i = 0; i < myUsedStates.Count(); i++)
        if (myUsedStates[i].CompareNoCase(aCode) == 0)
            return;
    myUsedStates.Add(aCode);
}

void QRenderEditor::SetMeshVertexShader(QR_Mesh* aMesh, const char* aName)
{
    if (!aMesh || !aName)
        return;
    int locAt = -1;
    for (int i = 0; i < myShaderOverrides.Count(); i++)
        if (myShaderOverrides[i].myMesh == aMesh)
            locAt = i;
    if (aMesh->myVertexShader && aMesh->myVertexShader->myName && strcasecmp(aMesh->myVertexShader->myName, aName) == 0)
    {
        // Back to the kind it has: an override asked for earlier would still be exported.
        if (locAt >= 0)
            myShaderOverrides.RemoveAt(locAt);
        return;
    }
    QR_VertexShader* locKind = QR_VertexShader::Find(aName);
    if (!locKind)
    {
        if (locAt >= 0)
            myShaderOverrides[locAt].myName = aName;
        else
            myShaderOverrides.Add(ShaderOverride{aMesh, QC_String(aName)});
        return;
    }
    if (aMesh->myVertexShader)
        aMesh->myVertexShader->Release();
    aMesh->myVertexShader = locKind;
    if (locAt >= 0)
        myShaderOverrides.RemoveAt(locAt);
}

const char* QRenderEditor::GetMeshVertexShaderName(const QR_Mesh* aMesh) const
{
    for (int i = 0; i < myShaderOverrides.Count(); i++)
        if (myShaderOverrides[i].myMesh == aMesh)
            return myShaderOverrides[i].myName;
    return aMesh && aMesh->myVertexShader ? aMesh->myVertexShader->myName : "";
}

bool QRenderEditor::ExportQRB(const char* aFileName) const
{
    if (!myTemplate)
        return true;
    QRBWriter locWriter(
        [](const QR_Mesh* aMesh, void* aScene) { return ((const QRenderEditor*)aScene)->GetMeshVertexShaderName(aMesh); },
        (void*)this);
    return locWriter.Write(myTemplate, aFileName);
}

bool QRenderEditor::ClearModel()
{
    myModelLoaded = false;
    delete myInstance;
    myInstance = nullptr;
    if (myTemplate)
        myTemplate->Release();
    myTemplate = nullptr;
    myShaderOverrides.RemoveAll();
    myUsedStates.RemoveAll();
    LWCache::Clear();
    QR_TemplateObject::DestroyAll();
    QR_Mesh::DestroyAll();
    return true;
}

// [SECTION] Model tree ---------------------------------------------------------------------

bool QRenderEditor::RebuildTree(QRenderEditorTree* aTree)
{
    QC_String locActive = myActiveState;
    RecreateInstance();
    SetActiveState(locActive);
    aTree->DeleteAll();
    if (!myTemplate)
        return true;
    intptr_t locRoot = aTree->Append(0, myTemplate->myName ? myTemplate->myName : "", QRE_TREE_ROOT);
    QC_String locText;
    for (uint32_t p = 0; p < myTemplate->myNumParts; p++)
    {
        const QR_TemplatePart& part = myTemplate->myParts[p];
        intptr_t locPart = aTree->Append(locRoot, part.myName ? part.myName : "", (intptr_t)p << 16 | QRE_TREE_PART);
        for (uint32_t s = 0; s < part.myNumStates; s++)
        {
            uint32_t locId = part.myStates[s].myId;
            char locCode[5];
            StateIdToCode(locId, locCode);
            int k = -1;
            if (myStateCodes && myStateNames)
                for (int i = 0; i < myStateCodes->Count() && i < myStateNames->Count(); i++)
                    if ((*myStateCodes)[i] == locCode)
                    {
                        k = i;
                        break;
                    }
            if (k >= 0)
            {
                const char* locName = (*myStateNames)[k];
                for (uint32_t e = 0; e < myTemplate->myNumLinks; e++)
                {
                    const QR_ParticleLink& l = myTemplate->myLinks[e];
                    if (l.myPartIndex != p || l.myStateId != locId)
                        continue;
                    const char* n = l.myDefinition && l.myDefinition->myName ? l.myDefinition->myName : "";
                    locText.Format("PE %u: %s:%s", e, n, locName);
                    aTree->Append(locPart, locText, (intptr_t)e << 16 | QRE_TREE_EMITTER);
                }
                for (uint32_t i = 0; i < myTemplate->myNumLights; i++)
                {
                    const QR_Light& l = myTemplate->myLights[i];
                    if (l.myPartIndex != p || l.myStateId != locId)
                        continue;
                    locText.Format("Light %u: %s", i, locName);
                    aTree->Append(locPart, locText, (intptr_t)i << 16 | QRE_TREE_LIGHT);
                }
                locText.Format("State %u (%s)", s, locName);
            }
            else
                locText.Format("State %u (%s)", s, locCode); // not in the state file: its code
            aTree->Append(locPart, locText, (intptr_t)s << 16 | QRE_TREE_STATE);
        }
    }
    RestoreExpandedItems(aTree);
    return true;
}

void QRenderEditor::RestoreExpandedItems(QRenderEditorTree* aTree)
{
    myTreeRebuilding = true;
    auto locExpand = [&](intptr_t anItem) {
        QC_String t = aTree->GetText(anItem);
        for (int i = 0; i < myExpandedItems.Count(); i++)
            if (myExpandedItems[i] == t)
            {
                aTree->Expand(anItem);
                break;
            }
    };
    // The model item too: left closed, the whole tree shows as one line.
    intptr_t locRoot = aTree->GetChild(0);
    if (locRoot)
        locExpand(locRoot);
    for (intptr_t a = locRoot ? aTree->GetChild(locRoot) : 0; a; a = aTree->GetNext(a))
    {
        locExpand(a);
        for (intptr_t b = aTree->GetChild(a); b; b = aTree->GetNext(b))
        {
            locExpand(b);
            for (intptr_t c = aTree->GetChild(b); c; c = aTree->GetNext(c))
                locExpand(c);
        }
    }
    myTreeRebuilding = false;
}

void QRenderEditor::ToggleExpandedItem(const char* aText)
{
    if (myTreeRebuilding || !aText)
        return;
    for (int i = 0; i < myExpandedItems.Count(); i++)
        if (myExpandedItems[i] == aText)
        {
            myExpandedItems.RemoveAt(i);
            return;
        }
    myExpandedItems.Add(QC_String(aText));
}
