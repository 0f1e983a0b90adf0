// A view: a camera, a rectangle of the target, a scene whose lights light it, and per
// frame what was submitted to it. Between BeginRender and EndRender placed objects and
// emitters submit their parts; the view gives each up to three lights, draws the opaque
// ones sorted by key, then the transparent ones far to near, then the light halos.
#pragma once

#include <stdint.h>

#include "qcommon/qc_growingarray.h"
#include "qrender/matrix44.h"
#include "qrender/qr_camera.h"
#include "qrender/qr_vertexshader.h"

class QR_Light;
class QR_Mesh;
class QR_Scene;
class QR_SurfaceInstance;

// What a view draws of one submitted part. A placed object's part instances carry one each.
struct QR_ViewPart
{
    QR_Mesh* myMesh;
    QR_SurfaceInstance* mySurfaceInstance;
    float myStateStartTime;       // renderer time; the part's animation time is now minus this
    Matrix44 myMatrix;            // the part's world matrix
    const Matrix44* myRestMatrix; // a bone's rest matrix (skinned runs), or null for identity
    QR_ViewPart* myNextBone;      // the next part of a skinned run
};

// Something drawn in the transparent pass by itself (particle emitters).
class QR_ViewDrawable
{
public:
    virtual ~QR_ViewDrawable() {}
    virtual void Draw() = 0;
};

struct QR_OpaqueRecord
{
    const uint32_t* mySortKey; // the submitter points it at myKey
    QR_ViewPart* myPart;
    uint32_t myKey;
    float myLodDistance;
    uint32_t myNumBoneMatrices;
    uint32_t mySurfaceColor; // ARGB, handed to SetSurface
    QR_LightSet* myLightSet;
};

struct QR_TransparentRecord
{
    float myDistance; // sort key and level-of-detail distance
    QR_ViewPart* myPart; // or null: myDrawable draws itself
    QR_ViewDrawable* myDrawable;
    uint32_t myNumBoneMatrices;
    uint32_t mySurfaceColor;
    QR_LightSet* myLightSet;
};

class QR_View
{
public:
    // aMaxNumTransparentObjects above 1; the opaque records and light sets number aMaxNumObjects.
    QR_View(uint32_t aMaxNumTransparentObjects = 256, QR_Scene* aScene = nullptr, uint32_t aMaxNumObjects = 256);
    ~QR_View();
    QR_View(const QR_View&) = delete;
    QR_View& operator=(const QR_View&) = delete;

    void MakeCurrent();
    // Colour 0xRRGGBB; with aClearFlag the view's rectangle is cleared (colour, depth, stencil).
    void BeginRender(bool aClearFlag, uint32_t aColor);
    // When every record is in use the first one is handed out again.
    QR_OpaqueRecord* NewOpaqueRecord();
    QR_TransparentRecord* NewTransparentRecord();
    // Up to three of the gathered lights whose mask shares a bit with aLightMask.
    QR_LightSet* MakeLightSet(float anX, float aY, float aZ, float aRadius, uint32_t aLightMask);
    // A light of this frame handed over by a placed object, under the scene's rules.
    void AddLight(QR_Light* aLight);
    void Flush();
    void EndRender();

    // Fog from the view's distance to the camera's far plane.
    float GetFogStart() const { return myFogDistance; }
    float GetFogEnd() const { return myCamera.myFar; }

    QR_TransparentRecord* myTransparentRecords; // owned
    uint32_t myMaxNumTransparentObjects;
    uint32_t myNumTransparentObjects;
    QR_OpaqueRecord* myOpaqueRecords; // owned pool
    QR_OpaqueRecord** myOpaqueList;   // owned; sorted at Flush
    uint32_t myMaxNumObjects;
    uint32_t myNumOpaqueObjects;
    QR_LightSet* myLightSets; // owned, myMaxNumObjects
    uint32_t myNumLightSets;
    QR_Scene* myScene;
    Matrix44 myViewMatrix;           // world to camera space
    Matrix44 myViewProjectionMatrix; // view x projection
    QR_Camera myCamera;
    QC_GrowingArray<QR_Light*> myLights; // gathered this frame
    uint8_t myLightsFlag;
    QC_GrowingArray<QR_Light*> myHaloLights;
    uint8_t myHaloLightsFlag;
    uint32_t myAmbientColor; // 0xRRGGBB
    uint32_t myFogColor;
    float myFogDistance; // where fog starts

    static QR_View* ourCurrentView;
    // Skinned draws skipped for having more bones than the palette holds.
    static uint32_t ourSkippedDraws;

private:
    void DrawPart(QR_ViewPart* aPart, uint32_t aNumBones, uint32_t aColor, QR_LightSet* aLightSet, float aLodDistance);
    void DrawHalos();
    bool IsSphereVisible(const float* aPosition, float aRadius) const;
};
