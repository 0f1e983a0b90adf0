// What Pranvel's window asks of the editor scene (QRenderEditor): the frame,
// the camera, the states, the light and the settings. The render view creates
// the one scene through PranvelScene::Create and deletes it; the active-state
// dialog subscribes to the scene's publisher under key 0, which the open
// operations publish once another model is shown. Everything else (the model
// tree, commands, dialogs) reaches QRenderEditor::ourInstance itself.
#pragma once

#include <cstdint>

#include "modeleditor/settingsfile.h"
#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_publisher.h"
#include "qcommon/qc_string.h"

struct QR_HostWindow;

class PranvelScene
{
public:
    // QRenderEditor::Create: the renderer on aWindow (frames are presented to
    // it) and the input library on anInputWindow (the view's QWidget*). Null on
    // failure, with nothing left behind.
    static PranvelScene* Create(QR_HostWindow* aWindow, void* anInputWindow);
    virtual ~PranvelScene() = default;
    // The one scene, while the render view holds it.
    static PranvelScene* ourInstance;

    // One frame: input update, lights, draw, present. Always true.
    virtual bool Render() = 0;
    // The renderer's window rectangle; on success the camera's viewport
    // becomes (0, 0, w, h) and the projection is updated.
    virtual bool SetWindowRect(int anX, int aY, int aWidth, int aHeight) = 0;

    virtual void ResetCamera() = 0;
    virtual void ZoomCamera(float aDelta) = 0;
    virtual void RotateCameraHeading(float anAngle) = 0; // subtracted from the heading
    virtual void RotateCameraPitch(float anAngle) = 0;   // added to the pitch
    virtual void PanCameraRight(float anAmount) = 0;
    virtual void PanCameraUp(float anAmount) = 0;

    virtual bool IsModelLoaded() const = 0;
    virtual bool HasTemplate() const = 0;
    // The template's bounding radius; 0 without one.
    virtual float GetBoundingRadius() const = 0;
    virtual void ToggleBoneOverlay() = 0;

    // The 4-character codes of the states the model uses, in first-use order.
    virtual int GetNumUsedStates() const = 0;
    virtual QC_String GetUsedState(int anIndex) const = 0;
    virtual QC_String GetActiveState() const = 0;
    // An empty code re-applies the active state.
    virtual void SetActiveState(const QC_String& aCode) = 0;
    // The state file's two arrays (owned by the render view).
    virtual void SetStateLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames) = 0;

    // The editor light: directional from heading and elevation (radians) and
    // colour (0..1); the result is whether the light is in the scene.
    virtual bool SetDirectionalLight(float aHeading, float anElevation, float aRed, float aGreen, float aBlue) = 0;
    virtual bool TogglePointLight() = 0;
    virtual bool IsLightInScene() const = 0;
    // The view's ambient colour, 0xRRGGBB.
    virtual void SetAmbientColor(uint32_t aColor) = 0;

    // Every setting whose key aSettings found (the working directory through
    // the scene's set-working-directory rule); the view's own key, stateFile,
    // is not the scene's.
    virtual void ApplySettings(const PranvelSettings& aSettings) = 0;
    // The scene's current values of every setting.
    virtual void GatherSettings(PranvelSettings* aSettings) const = 0;
    virtual QC_String GetWorkDir() const = 0;
    // The editor scene itself as publisher (QRenderEditor derives from it).
    virtual QC_Publisher<int, QC_String>* GetPublisher() = 0;
    // After an open: subscribers of key 0 (the active-state dialog) refresh.
    void PublishModelShown() { GetPublisher()->CallbackSubscribers(0, QC_String()); }
};
