// Views: per-frame records and light sets, the opaque pass sorted by key, the transparent
// pass far to near, and the light halos.
//
// [SECTION] Construction
// [SECTION] Frame start and lights
// [SECTION] Records and light sets
// [SECTION] Passes
// [SECTION] Halos
#include "qrender/qr_view.h"

#include <algorithm>
#include <math.h>
#include <new>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qinput/qi_time.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_texture.h"

QR_View* QR_View::ourCurrentView = nullptr;
uint32_t QR_View::ourSkippedDraws = 0;

// Game time of the last BeginRender of any view: procedural textures advance once per
// elapsed second whatever the number of views.
static float ourLastBeginTime = 0.0f;

// [SECTION] Construction --------------------------------------------------------------------

QR_View::QR_View(uint32_t aMaxNumTransparentObjects, QR_Scene* aScene, uint32_t aMaxNumObjects)
    : myMaxNumTransparentObjects(aMaxNumTransparentObjects)
    , myNumTransparentObjects(0)
    , myMaxNumObjects(aMaxNumObjects)
    , myNumOpaqueObjects(0)
    , myNumLightSets(0)
    , myScene(aScene)
    , myViewMatrix(Matrix44::Identity())
    , myViewProjectionMatrix(Matrix44::Identity())
    , myLightsFlag(1)
    , myHaloLightsFlag(1)
    , myAmbientColor(0xFFFFFF)
    , myFogColor(0)
    , myFogDistance(0.0f)
{
    QC_ASSERT(aMaxNumTransparentObjects > 1);
    if (myMaxNumObjects < 1)
        myMaxNumObjects = 1;
    if (myMaxNumTransparentObjects < 1)
        myMaxNumTransparentObjects = 1;
    myTransparentRecords = new QR_TransparentRecord[myMaxNumTransparentObjects]();
    myOpaqueRecords = new QR_OpaqueRecord[myMaxNumObjects]();
    myOpaqueList = new QR_OpaqueRecord*[myMaxNumObjects]();
    myLightSets = new QR_LightSet[myMaxNumObjects]();
    myLights.Init(16, 16, false);
    myHaloLights.Init(16, 16, false);
}

QR_View::~QR_View()
{
    delete[] myTransparentRecords;
    delete[] myOpaqueRecords;
    delete[] myOpaqueList;
    delete[] myLightSets;
    if (ourCurrentView == this)
        ourCurrentView = nullptr;
    if (QR_RenderD3D::ourProjectionMatrix == &myViewProjectionMatrix)
        QR_RenderD3D::ourProjectionMatrix = nullptr;
    if (QR_VertexShader::ourWorldMatrix == &myViewMatrix)
        QR_VertexShader::ourWorldMatrix = nullptr;
}

void QR_View::MakeCurrent()
{
    ourCurrentView = this;
    if (QR_Render::ourInstance)
        QR_Render::ourInstance->SetView(this);
}

// [SECTION] Frame start and lights ----------------------------------------------------------

bool QR_View::IsSphereVisible(const float* aPosition, float aRadius) const
{
    float p[4];
    myViewProjectionMatrix.Transform(aPosition[0], aPosition[1], aPosition[2], p);
    return !myCamera.IsSphereOutside(p, aRadius);
}

void QR_View::AddLight(QR_Light* aLight)
{
    switch (aLight->myType)
    {
    case QR_LIGHT_DIRECTIONAL:
        myLights.Add(aLight);
        break;
    case QR_LIGHT_POINT:
        if (IsSphereVisible(aLight->myPosition, aLight->myRange))
            myLights.Add(aLight);
        if (aLight->myHalo)
            myHaloLights.Add(aLight);
        break;
    case QR_LIGHT_SPOT:
        // Spot lights only show their halo, and only when they have one.
        if (aLight->myHalo && IsSphereVisible(aLight->myPosition, aLight->myRange))
            myHaloLights.Add(aLight);
        break;
    default:
        break;
    }
}

void QR_View::BeginRender(bool aClearFlag, uint32_t aColor)
{
    if (myScene)
        myScene->mySceneInUsageCounter++;
    Matrix44::InvertRigid(myCamera.myMatrix, myViewMatrix);
    myViewProjectionMatrix = myViewMatrix * myCamera.myProjectionMatrix;

    myLights.RemoveAll();
    myHaloLights.RemoveAll();
    if (myScene)
        for (uint32_t i = 0; i < myScene->myNumLights; i++)
            AddLight(myScene->myLights[i]);
    myNumTransparentObjects = 0;
    myNumOpaqueObjects = 0;
    myNumLightSets = 0;

    if (aClearFlag && QR_Render::ourInstance)
    {
        QR_Rect locRect = {myCamera.myViewportX, myCamera.myViewportY,
                           myCamera.myViewportX + myCamera.myViewportWidth,
                           myCamera.myViewportY + myCamera.myViewportHeight};
        QR_Render::ourInstance->Clear(&locRect, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER | QR_CLEAR_STENCIL, aColor, 1.0f,
                                      127);
    }
    float locNow = QI_Time::ourTime;
    QR_Texture::UpdateProcedural(locNow - ourLastBeginTime);
    ourLastBeginTime = locNow;
}

// [SECTION] Records and light sets ----------------------------------------------------------

QR_OpaqueRecord* QR_View::NewOpaqueRecord()
{
    if (myNumOpaqueObjects >= myMaxNumObjects)
        return &myOpaqueRecords[0];
    QR_OpaqueRecord* locRecord = &myOpaqueRecords[myNumOpaqueObjects];
    myOpaqueList[myNumOpaqueObjects++] = locRecord;
    return locRecord;
}

QR_TransparentRecord* QR_View::NewTransparentRecord()
{
    if (myNumTransparentObjects >= myMaxNumTransparentObjects)
        return &myTransparentRecords[0];
    return &myTransparentRecords[myNumTransparentObjects++];
}

QR_LightSet* QR_View::MakeLightSet(float anX, float aY, float aZ, float aRadius, uint32_t aLightMask)
{
    int32_t locAmbient[3] = {(int32_t)((myAmbientColor >> 16) & 0xFF), (int32_t)((myAmbientColor >> 8) & 0xFF),
                             (int32_t)(myAmbientColor & 0xFF)};
    const QR_Light* locTaken[QR_MAXACTIVELIGHTS];
    float locDistance[QR_MAXACTIVELIGHTS] = {0.0f, 0.0f, 0.0f}; // squared, point lights only
    uint32_t locCount = 0;

    // Drops the farthest point light taken, folding what it would have given at the
    // submission's centre into the ambient colour; -1 when none is farther than aLimit.
    auto locDropFarthest = [&](float aLimit) -> int
    {
        int locFarthest = -1;
        for (uint32_t k = 0; k < locCount; k++)
            if (locTaken[k]->myType == QR_LIGHT_POINT && (locFarthest < 0 || locDistance[k] > locDistance[locFarthest]))
                locFarthest = (int)k;
        if (locFarthest < 0 || !(aLimit < locDistance[locFarthest]))
            return -1;
        const QR_Light* locDropped = locTaken[locFarthest];
        float f = locDropped->myRange > 0.0f ? 1.0f - sqrtf(locDistance[locFarthest]) / locDropped->myRange : 0.0f;
        if (f > 0.0f)
            for (int c = 0; c < 3; c++)
                locAmbient[c] += (int32_t)(f * locDropped->myColor[c] * 255.0f);
        return locFarthest;
    };

    for (int i = 0; i < myLights.Count(); i++)
    {
        const QR_Light* l = myLights[i];
        if (!(l->myLightMask & aLightMask))
            continue;
        if (l->myType == QR_LIGHT_DIRECTIONAL)
        {
            // More than three: a directional light takes a point light's place, never
            // another directional light's.
            if (locCount < QR_MAXACTIVELIGHTS)
            {
                locDistance[locCount] = 0.0f;
                locTaken[locCount++] = l;
            }
            else
            {
                int k = locDropFarthest(-1.0f);
                if (k >= 0)
                {
                    locTaken[k] = l;
                    locDistance[k] = 0.0f;
                }
            }
            continue;
        }
        if (l->myType != QR_LIGHT_POINT)
            continue;
        float dx = l->myPosition[0] - anX, dy = l->myPosition[1] - aY, dz = l->myPosition[2] - aZ;
        float d2 = dx * dx + dy * dy + dz * dz;
        float locReach = aRadius + l->myRange;
        if (!(d2 < locReach * locReach))
            continue;
        if (locCount < QR_MAXACTIVELIGHTS)
        {
            locDistance[locCount] = d2;
            locTaken[locCount++] = l;
            continue;
        }
        int k = locDropFarthest(d2);
        if (k >= 0)
        {
            locTaken[k] = l;
            locDistance[k] = d2;
        }
    }

    QR_LightSet* s;
    if (myNumLightSets < myMaxNumObjects)
        s = &myLightSets[myNumLightSets++];
    else
        s = &myLightSets[0];
    for (int32_t& c : locAmbient)
        c = c > 255 ? 255 : c;
    s->myAmbientColor = (uint32_t)(locAmbient[0] << 16 | locAmbient[1] << 8 | locAmbient[2]);
    s->myNumLights = locCount;
    for (uint32_t k = 0; k < QR_MAXACTIVELIGHTS; k++)
    {
        s->myLights[k] = k < locCount ? locTaken[k] : nullptr;
        for (int c = 0; c < 3; c++)
            s->myLightColors[k][c] = k < locCount ? locTaken[k]->myColor[c] : 0.0f;
    }
    s->myFlags = 0xFFFFFFFF; // the end marker: every kind sees the set as changed
    return s;
}

// [SECTION] Passes --------------------------------------------------------------------------

void QR_View::DrawPart(QR_ViewPart* aPart, uint32_t aNumBones, uint32_t aColor, QR_LightSet* aLightSet,
                       float aLodDistance)
{
    QR_Mesh* locMesh = aPart->myMesh;
    if (!locMesh || !locMesh->myVertexShader || !locMesh->myCompiledVertexShader)
        return;
    QR_VertexShader* locKind = locMesh->myVertexShader;
    if (aNumBones == 0)
    {
        QR_VertexShader::ourWorldMatrix = &aPart->myMatrix;
        QR_VertexShader::ourNumBoneMatrices = 0;
    }
    else
    {
        // The palette holds 32 bones; a longer run would write past it.
        if (aNumBones > QR_MAXBONEMATRICES)
        {
            ourSkippedDraws++;
            return;
        }
        QR_ViewPart* p = aPart;
        for (uint32_t i = 0; i < aNumBones; i++, p = p->myNextBone)
        {
            if (!p)
            {
                ourSkippedDraws++;
                return;
            }
            QR_VertexShader::ourBoneMatrices[i] = p->myRestMatrix ? *p->myRestMatrix * p->myMatrix : p->myMatrix;
        }
        // The palette places the vertices in the world already.
        QR_VertexShader::ourWorldMatrix = nullptr;
        QR_VertexShader::ourNumBoneMatrices = aNumBones;
    }
    QR_VertexShader::ourObjectMatrix = &aPart->myMatrix;
    locKind->Begin(locMesh->myCompiledVertexShader);
    float locTime = QI_Time::ourTime - aPart->myStateStartTime;
    QR_Render::ourInstance->SetSurface(aPart->mySurfaceInstance, aColor, locTime);
    locMesh->myDataBlock.myLightData = aLightSet;
    locMesh->myDataBlock.myTime = locTime;
    locKind->SetDataBlock(&locMesh->myDataBlock);
    locKind->Draw(locMesh, aLodDistance, locTime);
}

void QR_View::Flush()
{
    QR_Render* locRender = QR_Render::ourInstance;
    if (!locRender)
        return;
    QR_RenderStates locDefault;
    if (myNumOpaqueObjects > 0)
    {
        locRender->SetRenderStates(&locDefault, (uint32_t)-5);
        std::sort(myOpaqueList, myOpaqueList + myNumOpaqueObjects,
                  [](const QR_OpaqueRecord* a, const QR_OpaqueRecord* b) { return *a->mySortKey < *b->mySortKey; });
        for (uint32_t i = 0; i < myNumOpaqueObjects; i++)
        {
            QR_OpaqueRecord* r = myOpaqueList[i];
            if (r->myPart)
                DrawPart(r->myPart, r->myNumBoneMatrices, r->mySurfaceColor, r->myLightSet, r->myLodDistance);
        }
        QR_VertexShader::ourNumBoneMatrices = 0;
        myNumOpaqueObjects = 0;
    }

    QR_Render::ourStats.myTransparentObjects += myNumTransparentObjects;
    std::sort(myTransparentRecords, myTransparentRecords + myNumTransparentObjects,
              [](const QR_TransparentRecord& a, const QR_TransparentRecord& b) { return a.myDistance > b.myDistance; });
    for (uint32_t i = 0; i < myNumTransparentObjects; i++)
    {
        QR_TransparentRecord& r = myTransparentRecords[i];
        if (!r.myPart)
        {
            QR_VertexShader::ourWorldMatrix = nullptr;
            QR_VertexShader::ourNumBoneMatrices = 0;
            locRender->BeginSolid2D();
            if (r.myDrawable)
                r.myDrawable->Draw();
            continue;
        }
        locRender->SetRenderStates(&locDefault, (uint32_t)-5);
        DrawPart(r.myPart, r.myNumBoneMatrices, r.mySurfaceColor, r.myLightSet, r.myDistance);
    }
    QR_VertexShader::ourNumBoneMatrices = 0;
    myNumTransparentObjects = 0;
    // The parts' matrices belong to their objects, which may go before the next draw.
    QR_VertexShader::ourWorldMatrix = nullptr;
    QR_VertexShader::ourObjectMatrix = nullptr;
}

void QR_View::EndRender()
{
    myLights.RemoveAll();
    Flush();
    DrawHalos();
    if (myScene)
    {
        myScene->mySceneInUsageCounter--;
        QC_ASSERT(myScene->mySceneInUsageCounter >= 0);
    }
}

// [SECTION] Halos ---------------------------------------------------------------------------

void QR_View::DrawHalos()
{
    QR_Render* locRender = QR_Render::ourInstance;
    if (myHaloLights.Count() == 0 || !locRender)
        return;
    QR_VertexShader::ourWorldMatrix = nullptr;
    locRender->BeginSolid2D();
    const float* locForward = myCamera.GetForward();
    const float* locEye = myCamera.GetPosition();
    const float* locSide = &myCamera.myMatrix.myMatrix[0];
    const float* locUp = &myCamera.myMatrix.myMatrix[4];
    for (int i = 0; i < myHaloLights.Count(); i++)
    {
        const QR_Light* l = myHaloLights[i];
        if (!l->myHalo)
            continue;
        const float* d = l->myDirection;
        float c = -(d[0] * locForward[0] + d[1] * locForward[1] + d[2] * locForward[2]);
        if (!(c >= l->myConeValues[0]) || !IsSphereVisible(l->myPosition, l->myRange * 0.125f))
            continue;
        float f = 255.0f;
        if (c < l->myConeValues[1])
            f = 255.0f - (c - l->myConeValues[1]) / (l->myConeValues[0] - l->myConeValues[1]) * 255.0f;
        uint32_t locChannels[3];
        for (int k = 0; k < 3; k++)
        {
            float v = f * l->myColor[k];
            locChannels[k] = v >= 255.0f ? 255u : (v > 0.0f ? (uint32_t)v : 0u);
        }
        uint32_t locColor = 0xFF000000u | locChannels[0] << 16 | locChannels[1] << 8 | locChannels[2];

        // The centre moved towards the eye by the halo size; the quad faces the camera, its
        // corners in the camera's side and up directions.
        float s = l->myFallOff;
        float e[3] = {locEye[0] - l->myPosition[0], locEye[1] - l->myPosition[1], locEye[2] - l->myPosition[2]};
        float locLength = sqrtf(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        float locCentre[3];
        for (int k = 0; k < 3; k++)
            locCentre[k] = l->myPosition[k] + (locLength > 0.0f ? e[k] / locLength * s : 0.0f);
        struct HaloVertex
        {
            float myPosition[3];
            uint32_t myColor;
            float myUV[2];
        };
        static const float locCorners[4][4] = {{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}};
        HaloVertex locQuad[4];
        for (int v = 0; v < 4; v++)
        {
            for (int k = 0; k < 3; k++)
                locQuad[v].myPosition[k] =
                    locCentre[k] + locCorners[v][0] * s * locSide[k] + locCorners[v][1] * s * locUp[k];
            locQuad[v].myColor = locColor;
            locQuad[v].myUV[0] = locCorners[v][2];
            locQuad[v].myUV[1] = locCorners[v][3];
        }
        locRender->SetSurface(l->myHalo, 0xFF000000, -1.0f);
        QR_VertexBuffer* locVB = locRender->myDynamicVertexBuffer;
        if (!locVB)
            continue;
        locVB->myVertexSize = sizeof(HaloVertex);
        void* locData = nullptr;
        if (!locRender->AppendVertices(locVB, &locData, 4))
            continue;
        memcpy(locData, locQuad, sizeof(locQuad));
        QR_VertexBuffer* locList[1] = {locVB};
        locRender->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLESTRIP, 4);
    }
    myHaloLights.RemoveAll();
}
