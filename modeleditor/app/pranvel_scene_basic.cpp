// The scene Pranvel runs on until the editor scene (QRenderEditor) exists:
// the renderer started on the view, the input library, the camera numbers,
// the light switches and the settings kept; a frame clears to the background
// colour. It loads no model, so it never draws the grid or an instance.
#include "modeleditor/app/pranvel_scene.h"

#include "qinput/qi_input.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"

#include "platform/os/os_file.h"

#include "qrender/qr_error.h"

#include <cmath>
#include <cstdio>

namespace
{
class PranvelBasicScene : public PranvelScene
{
public:
    ~PranvelBasicScene() override
    {
        QI_Input::Shutdown();
        QR_Render::Destroy();
    }

    bool Start(QR_HostWindow* aWindow, void* anInputWindow)
    {
        if (!QR_Render::Create(aWindow, nullptr))
        {
            fprintf(stderr, "Pranvel: renderer: %u %s\n", QR_Error::ourCode, QR_Error::ourText);
            return false;
        }
        // Windowed 800 x 600 at 32 bits with vertex shaders, no vsync.
        QR_RenderSettings locSettings;
        locSettings.myAdapter = -1;
        locSettings.myWidth = 800;
        locSettings.myHeight = 600;
        locSettings.myBitsPerPixel = 32;
        locSettings.myFullScreenFlag = 0;
        locSettings.myVertexShaderFlag = 1;
        locSettings.myPixelShaderFlag = 0;
        locSettings.myVSyncFlag = 1;
        locSettings.myGamma = 1.0f;
        locSettings.myMipMapLodBias = -0.5f;
        locSettings.myTextureFilter = 6;
        if (!QR_Render::ourInstance->Init(&locSettings))
        {
            fprintf(stderr, "Pranvel: renderer: %u %s\n", QR_Error::ourCode, QR_Error::ourText);
            QR_Render::Destroy();
            return false;
        }
        if (!QI_Input::Init(true, anInputWindow))
        {
            fprintf(stderr, "Pranvel: input: %s\n", QI_GetErrorText(QI_GetErrorCode()));
            QR_Render::Destroy();
            return false;
        }
        ResetCamera();
        return true;
    }

    bool Render() override
    {
        if (QI_Input* locInput = QI_Input::GetInstance())
            locInput->Update();
        QR_Render* locRender = QR_Render::ourInstance;
        QR_Render::ourStats.ResetFrame();
        locRender->BeginFrame();
        QR_Rect locAll = {0, 0, locRender->myRenderSettings.myWidth, locRender->myRenderSettings.myHeight};
        locRender->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, mySettings.myBgColor, 1.0f, 0);
        locRender->EndFrame();
        return true;
    }

    bool SetWindowRect(int anX, int aY, int aWidth, int aHeight) override
    {
        return QR_Render::ourInstance->SetWindowRect(anX, aY, aWidth, aHeight);
    }

    void ResetCamera() override
    {
        myHeading = myPitch = 0.0f;
        myTarget[0] = myTarget[1] = myTarget[2] = 0.0f;
        myDistance = 5.0f;
    }
    void ZoomCamera(float aDelta) override { myDistance -= aDelta; }
    void RotateCameraHeading(float anAngle) override { myHeading -= anAngle; }
    void RotateCameraPitch(float anAngle) override { myPitch += anAngle; }
    void PanCameraRight(float anAmount) override { myTarget[0] += anAmount; }
    void PanCameraUp(float anAmount) override { myTarget[1] += anAmount; }

    bool IsModelLoaded() const override { return false; }
    bool HasTemplate() const override { return false; }
    float GetBoundingRadius() const override { return 0.0f; }
    void ToggleBoneOverlay() override { myBoneOverlay = !myBoneOverlay; }

    int GetNumUsedStates() const override { return 0; }
    QC_String GetUsedState(int) const override { return QC_String(); }
    QC_String GetActiveState() const override { return myActiveState; }
    void SetActiveState(const QC_String&) override {} // nothing without an instance
    void SetStateLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames) override
    {
        myCodes = aCodes;
        myNames = aNames;
    }

    bool SetDirectionalLight(float aHeading, float anElevation, float aRed, float aGreen, float aBlue) override
    {
        mySettings.myDirLightDirection = aHeading;
        mySettings.myDirLightElevation = anElevation;
        mySettings.myDirLightColor[0] = aRed;
        mySettings.myDirLightColor[1] = aGreen;
        mySettings.myDirLightColor[2] = aBlue;
        myLightExists = myLightInScene = true;
        return myLightInScene;
    }
    bool TogglePointLight() override
    {
        if (myLightExists)
            myLightInScene = !myLightInScene;
        return myLightInScene;
    }
    bool IsLightInScene() const override { return myLightInScene; }
    void SetAmbientColor(uint32_t aColor) override { mySettings.myAmbientColor = aColor; }

    void ApplySettings(const PranvelSettings& aSettings) override
    {
        const PranvelSettings& s = aSettings;
        PranvelSettings& m = mySettings;
        if (s.WasFound(SETTINGS_WORKDIR))
        {
            m.myWorkDir = PranvelWorkDir(s.myWorkDir);
            if (!m.myWorkDir.IsEmpty())
                OS_SetCurrentDirectory(m.myWorkDir);
        }
        if (s.WasFound(SETTINGS_BGCOLOR))
            m.myBgColor = s.myBgColor;
        for (int i = 0; i < 8; i++)
            if (s.WasFound(SETTINGS_OBJECTCOLOR0 + i))
                m.myObjectColors[i] = s.myObjectColors[i];
        if (s.WasFound(SETTINGS_AMBIENTCOLOR))
            m.myAmbientColor = s.myAmbientColor;
        if (s.WasFound(SETTINGS_DIRLIGHTDIRECTION))
            m.myDirLightDirection = s.myDirLightDirection;
        if (s.WasFound(SETTINGS_DIRLIGHTELEVATION))
            m.myDirLightElevation = s.myDirLightElevation;
        if (s.WasFound(SETTINGS_DIRLIGHTCOLOR))
            for (int i = 0; i < 3; i++)
                m.myDirLightColor[i] = s.myDirLightColor[i];
        if (s.WasFound(SETTINGS_FOGCOLOR))
            m.myFogColor = s.myFogColor;
        if (s.WasFound(SETTINGS_FOGSTART))
            m.myFogStart = s.myFogStart;
        if (s.WasFound(SETTINGS_NEARPLANE))
            m.myNearPlane = s.myNearPlane;
        if (s.WasFound(SETTINGS_FARPLANE))
            m.myFarPlane = s.myFarPlane;
        if (s.WasFound(SETTINGS_MOUSESENS))
            m.myMouseSens = s.myMouseSens;
        if (s.WasFound(SETTINGS_GRIDENABLE))
            m.myGridEnable = s.myGridEnable;
        if (s.WasFound(SETTINGS_GRIDSIZE))
            m.myGridSize = s.myGridSize;
        if (s.WasFound(SETTINGS_DEFAULTHALOSURFACE))
            m.myDefaultHaloSurface = s.myDefaultHaloSurface;
        if (s.WasFound(SETTINGS_DEFAULTSURFACE))
            m.myDefaultSurface = s.myDefaultSurface;
        if (s.WasFound(SETTINGS_CACHERENDERING))
            m.myCacheRendering = s.myCacheRendering;
        if (s.WasFound(SETTINGS_AUTOCALCFARPLANE))
            m.myAutoCalcFarplane = s.myAutoCalcFarplane;
        if (s.WasFound(SETTINGS_DONTRESETCAMERAONREFRESH))
            m.myDontResetCameraOnRefresh = s.myDontResetCameraOnRefresh;
        // The default-LOD-distance rule: each distance at least the one before.
        for (int i = 0; i < 4; i++)
            if (s.WasFound(SETTINGS_LOD1DISTANCE + i))
                m.myLodDistances[i] = s.myLodDistances[i];
        for (int i = 1; i < 4; i++)
            if (m.myLodDistances[i] < m.myLodDistances[i - 1])
                m.myLodDistances[i] = m.myLodDistances[i - 1];
    }

    void GatherSettings(PranvelSettings* aSettings) const override
    {
        QC_String locStateFile = aSettings->myStateFile;
        *aSettings = mySettings;
        aSettings->myStateFile = locStateFile;
        aSettings->myFoundKeys = 0;
    }

    QC_String GetWorkDir() const override { return mySettings.myWorkDir; }

private:
    PranvelSettings mySettings;
    QC_String myActiveState;
    QC_GrowingArray<QC_String>* myCodes = nullptr;
    QC_GrowingArray<QC_String>* myNames = nullptr;
    float myHeading = 0.0f;
    float myPitch = 0.0f;
    float myTarget[3] = {0.0f, 0.0f, 0.0f};
    float myDistance = 5.0f;
    bool myBoneOverlay = false;
    bool myLightExists = false;
    bool myLightInScene = false;
};
} // namespace

PranvelScene* PranvelScene::Create(QR_HostWindow* aWindow, void* anInputWindow)
{
    if (QR_Render::ourInstance)
        return nullptr;
    PranvelBasicScene* locScene = new PranvelBasicScene;
    if (!locScene->Start(aWindow, anInputWindow))
    {
        delete locScene;
        return nullptr;
    }
    return locScene;
}

QC_String PranvelWorkDir(const char* aDirectory)
{
    QC_String locDir = aDirectory ? aDirectory : "";
    int locLength = locDir.GetLength();
    char locLast = locLength > 0 ? locDir.GetBuffer()[locLength - 1] : 0;
    if (locLength > 0 && locLast != '/' && locLast != '\\')
        locDir = locDir + "/";
    locDir.Replace('\\', '/');
    return locDir;
}
