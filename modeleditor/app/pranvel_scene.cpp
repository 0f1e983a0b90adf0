// The window's scene: QRenderEditor, as the render view and the main frame
// use it.
#include "modeleditor/app/pranvel_scene.h"

#include "modeleditor/qrendereditor.h"
#include "qrender/qr_error.h"
#include "qrender/qr_render.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_view.h"

#include <cstdio>
#include <new>

namespace
{
class PranvelEditorScene : public PranvelScene
{
public:
    explicit PranvelEditorScene(QRenderEditor* anEditor) : e(anEditor) {}
    ~PranvelEditorScene() override { QRenderEditor::Destroy(); }

    bool Render() override { return e->Render(); }

    bool SetWindowRect(int anX, int aY, int aWidth, int aHeight) override
    {
        if (!QR_Render::ourInstance->SetWindowRect(anX, aY, aWidth, aHeight))
            return false;
        QR_Camera& c = e->GetView()->myCamera;
        c.SetViewport(0, 0, aWidth, aHeight);
        c.UpdateProjection();
        return true;
    }

    void ResetCamera() override { e->ResetCamera(); }
    void ZoomCamera(float aDelta) override { e->ZoomCamera(aDelta); }
    void RotateCameraHeading(float anAngle) override { e->RotateCameraHeading(anAngle); }
    void RotateCameraPitch(float anAngle) override { e->RotateCameraPitch(anAngle); }
    void PanCameraRight(float anAmount) override { e->PanCameraRight(anAmount); }
    void PanCameraUp(float anAmount) override { e->PanCameraUp(anAmount); }

    bool IsModelLoaded() const override { return e->IsModelLoaded(); }
    bool HasTemplate() const override { return e->GetTemplate() != nullptr; }
    float GetBoundingRadius() const override
    {
        float locCentre[3], locRadius = 0.0f;
        return e->GetBounds(locCentre, &locRadius) ? locRadius : 0.0f;
    }
    void ToggleBoneOverlay() override { e->myBoneOverlay = !e->myBoneOverlay; }

    int GetNumUsedStates() const override { return e->GetUsedStates().Count(); }
    QC_String GetUsedState(int anIndex) const override
    {
        const QC_GrowingArray<QC_String>& locUsed = e->GetUsedStates();
        return anIndex >= 0 && anIndex < locUsed.Count() ? locUsed[anIndex] : QC_String();
    }
    QC_String GetActiveState() const override { return e->GetActiveState(); }
    void SetActiveState(const QC_String& aCode) override { e->SetActiveState(aCode); }
    void SetStateLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames) override
    {
        e->myStateCodes = aCodes;
        e->myStateNames = aNames;
    }

    bool SetDirectionalLight(float aHeading, float anElevation, float aRed, float aGreen,
                             float aBlue) override
    {
        return e->SetDirectionalLight(aHeading, anElevation, aRed, aGreen, aBlue);
    }
    bool TogglePointLight() override { return e->TogglePointLight(); }
    bool IsLightInScene() const override { return e->IsLightInScene(); }
    void SetAmbientColor(uint32_t aColor) override { e->SetAmbientColor(aColor); }

    void ApplySettings(const PranvelSettings& s) override
    {
        if (s.WasFound(SETTINGS_WORKDIR))
            e->SetWorkDir(s.myWorkDir);
        if (s.WasFound(SETTINGS_BGCOLOR))
            e->SetBgColor(s.myBgColor);
        for (uint32_t i = 0; i < 8; i++)
            if (s.WasFound(SETTINGS_OBJECTCOLOR0 + int(i)))
                e->SetObjectColor(i, s.myObjectColors[i]);
        if (s.WasFound(SETTINGS_AMBIENTCOLOR))
            e->SetAmbientColor(s.myAmbientColor);
        if (s.WasFound(SETTINGS_DIRLIGHTDIRECTION))
            e->SetDirLightDirection(s.myDirLightDirection);
        if (s.WasFound(SETTINGS_DIRLIGHTELEVATION))
            e->SetDirLightElevation(s.myDirLightElevation);
        if (s.WasFound(SETTINGS_DIRLIGHTCOLOR))
        {
            // The record holds byte / 255: back to the bytes, rounded.
            uint32_t locColor = 0;
            for (int i = 0; i < 3; i++)
                locColor = locColor << 8 | (uint32_t(s.myDirLightColor[i] * 255.0f + 0.5f) & 0xFF);
            e->SetDirLightColor(locColor);
        }
        if (s.WasFound(SETTINGS_FOGCOLOR))
            e->SetFogColor(s.myFogColor);
        if (s.WasFound(SETTINGS_FOGSTART))
            e->SetFogStart(s.myFogStart);
        if (s.WasFound(SETTINGS_NEARPLANE))
            e->SetNearPlane(s.myNearPlane);
        if (s.WasFound(SETTINGS_FARPLANE))
            e->SetFarPlane(s.myFarPlane);
        if (s.WasFound(SETTINGS_MOUSESENS))
            e->myMouseSens = s.myMouseSens;
        if (s.WasFound(SETTINGS_GRIDENABLE))
            e->myGridEnable = s.myGridEnable;
        if (s.WasFound(SETTINGS_GRIDSIZE))
            e->myGridSize = s.myGridSize;
        if (s.WasFound(SETTINGS_DEFAULTHALOSURFACE))
            e->myDefaultHaloSurface = s.myDefaultHaloSurface;
        if (s.WasFound(SETTINGS_DEFAULTSURFACE))
            e->myDefaultSurface = s.myDefaultSurface;
        if (s.WasFound(SETTINGS_CACHERENDERING))
            e->myCacheRendering = s.myCacheRendering;
        if (s.WasFound(SETTINGS_AUTOCALCFARPLANE))
            e->myAutoCalcFarplane = s.myAutoCalcFarplane;
        if (s.WasFound(SETTINGS_DONTRESETCAMERAONREFRESH))
            e->myDontResetCameraOnRefresh = s.myDontResetCameraOnRefresh;
        // The default level-of-detail distances stay non-decreasing.
        for (int i = 0; i < 4; i++)
            if (s.WasFound(SETTINGS_LOD1DISTANCE + i))
                e->myLodDistances[i] = s.myLodDistances[i];
        for (int i = 1; i < 4; i++)
            if (e->myLodDistances[i] < e->myLodDistances[i - 1])
                e->myLodDistances[i] = e->myLodDistances[i - 1];
    }

    void GatherSettings(PranvelSettings* s) const override
    {
        s->myWorkDir = e->GetWorkDir();
        s->myBgColor = e->GetBgColor();
        for (uint32_t i = 0; i < 8; i++)
            s->myObjectColors[i] = e->GetObjectColor(i);
        s->myAmbientColor = e->GetAmbientColor();
        s->myDirLightDirection = e->GetDirLightDirection();
        s->myDirLightElevation = e->GetDirLightElevation();
        for (int i = 0; i < 3; i++)
            s->myDirLightColor[i] = e->GetDirLightColor()[i];
        s->myFogColor = e->GetFogColor();
        s->myFogStart = e->GetFogStart();
        s->myNearPlane = e->GetNearPlane();
        s->myFarPlane = e->GetFarPlane();
        s->myMouseSens = e->myMouseSens;
        s->myGridEnable = e->myGridEnable;
        s->myGridSize = e->myGridSize;
        s->myDefaultHaloSurface = e->myDefaultHaloSurface;
        s->myDefaultSurface = e->myDefaultSurface;
        s->myCacheRendering = e->myCacheRendering;
        s->myAutoCalcFarplane = e->myAutoCalcFarplane;
        s->myDontResetCameraOnRefresh = e->myDontResetCameraOnRefresh;
        for (int i = 0; i < 4; i++)
            s->myLodDistances[i] = e->myLodDistances[i];
        s->myFoundKeys = 0;
    }

    QC_String GetWorkDir() const override { return e->GetWorkDir(); }
    QC_Publisher<int, QC_String>* GetPublisher() override { return e; }

private:
    QRenderEditor* e;
};
} // namespace

PranvelScene* PranvelScene::Create(QR_HostWindow* aWindow, void* anInputWindow)
{
    if (!QRenderEditor::Create(aWindow, anInputWindow))
    {
        fprintf(stderr, "Pranvel: renderer: %u %s\n", QR_Error::ourCode, QR_Error::ourText);
        return nullptr;
    }
    PranvelScene* locScene = new (std::nothrow) PranvelEditorScene(QRenderEditor::ourInstance);
    if (!locScene)
        QRenderEditor::Destroy();
    return locScene;
}
