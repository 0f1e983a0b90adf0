// The model editor's scene: the renderer, the view with its camera, the
// editor light, the loaded model (its template and the placed instance), the
// grid and bone overlays, the statistics line, and the lists the model tree
// and the state selection use. Exactly one exists (ourInstance), made by
// Create and deleted by Destroy; used from the user-interface thread only.
#pragma once

#include <stdint.h>

#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_publisher.h"
#include "qcommon/qc_string.h"

class QR_Camera;
class QR_Font;
class QR_Light;
class QR_MainObject;
class QR_Mesh;
class QR_Render;
class QR_Scene;
class QR_TemplateObject;
class QR_TemplatePart;
class QR_View;
struct QR_CompiledVertexShader;
struct QR_HostWindow;
struct LWBuildSettings;

// The tree control the model tree fills (the shell's tree control behind it).
// Items are opaque handles, 0 none; the root's parent is 0.
class QRenderEditorTree
{
public:
    virtual ~QRenderEditorTree() {}
    virtual void DeleteAll() = 0;
    // Appended as the last child of aParent (0: the top level).
    virtual intptr_t Append(intptr_t aParent, const char* aText, intptr_t aData) = 0;
    // First child of anItem (0: the first top-level item), or 0.
    virtual intptr_t GetChild(intptr_t anItem) = 0;
    virtual intptr_t GetNext(intptr_t anItem) = 0;
    virtual QC_String GetText(intptr_t anItem) = 0;
    virtual void Expand(intptr_t anItem) = 0;
};

// Kinds of model-tree items; the item datum is (index << 16) | kind.
enum QRenderEditorTreeKind
{
    QRE_TREE_ROOT = 0,
    QRE_TREE_PART = 1,
    QRE_TREE_STATE = 3,
    QRE_TREE_EMITTER = 4,
    QRE_TREE_LIGHT = 5
};

struct QRenderEditorBoneLine
{
    float myLength;
    uint32_t myColor; // 0xAARRGGBB
};

class QRenderEditor : public QC_Publisher<int, QC_String>
{
public:
    // False when the scene exists or start-up fails (nothing left behind).
    // aWindow: the render view's host window, or null (offscreen); anInputWindow:
    // the widget the input library attaches to, or null.
    static bool Create(QR_HostWindow* aWindow = nullptr, void* anInputWindow = nullptr);
    static bool Destroy();
    static QRenderEditor* ourInstance;

    ~QRenderEditor() override;

    // One frame; always true.
    bool Render();
    // The statistics line of the frame counters, the overlay's share left out;
    // false when the frame made no more than one draw call.
    bool FormatStatistics(char* aBuffer, int aSize) const;

    // [Camera]
    void ResetCamera();
    void ZoomCamera(float aDelta);
    void RotateCameraHeading(float anAngle);
    void RotateCameraPitch(float anAngle);
    void PanCameraRight(float anAmount);
    void PanCameraUp(float anAmount);
    void SetNearPlane(float aNear);
    void SetFarPlane(float aFar);
    float GetNearPlane() const { return myNearPlane; }
    float GetFarPlane() const { return myFarPlane; }
    float GetCameraDistance() const { return myCameraDistance; }
    float GetCameraHeading() const { return myCameraHeading; }
    float GetCameraPitch() const { return myCameraPitch; }
    const float* GetCameraTarget() const { return myCameraTarget; }
    QR_View* GetView() const { return myView; }

    // [Light]
    bool SetDirectionalLight(float aHeading, float anElevation, float aRed, float aGreen, float aBlue);
    bool SetPointLight(float anX, float aY, float aZ, float aRed, float aGreen, float aBlue, float aRange);
    void SetDirLightDirection(float aHeading);
    void SetDirLightElevation(float anElevation);
    void SetDirLightColor(uint32_t aColor);
    bool TogglePointLight();
    float GetDirLightDirection() const { return myDirLightDirection; }
    float GetDirLightElevation() const { return myDirLightElevation; }
    const float* GetDirLightColor() const { return myDirLightColor; }
    bool IsLightInScene() const { return myLightInScene; }
    const QR_Light* GetLight() const { return myLight; }
    QR_Scene* GetLightScene() const { return myLightScene; }

    // [Settings]
    uint32_t GetBgColor() const { return myBgColor; }
    void SetBgColor(uint32_t aColor) { myBgColor = aColor & 0xFFFFFF; }
    void SetBgColor(uint8_t r, uint8_t g, uint8_t b) { myBgColor = (uint32_t)r << 16 | g << 8 | b; }
    uint32_t GetObjectColor(uint32_t anIndex) const { return anIndex < 8 ? myObjectColors[anIndex] : 0; }
    void GetObjectColor(uint32_t anIndex, uint8_t* r, uint8_t* g, uint8_t* b) const;
    void SetObjectColor(uint32_t anIndex, uint32_t aColor);
    void SetObjectColor(uint32_t anIndex, uint8_t r, uint8_t g, uint8_t b);
    void SetObjectColorIndex(uint32_t anIndex);
    uint32_t GetObjectColorIndex() const { return myObjectColorIndex; }
    uint32_t GetAmbientColor() const;
    void SetAmbientColor(uint32_t aColor);
    uint32_t GetFogColor() const;
    void SetFogColor(uint32_t aColor);
    float GetFogStart() const;
    void SetFogStart(float aStart);
    bool GetBounds(float aCentreOut[3], float* aRadiusOut) const;
    bool SetBounds(const float aCentre[3], float aRadius);
    QR_TemplatePart* GetPart(uint16_t anIndex) const;
    const QC_String& GetWorkDir() const { return myWorkDir; }
    // '\\' becomes '/', a non-empty directory ends in '/' and becomes the current one.
    void SetWorkDir(const char* aDirectory);
    const QC_GrowingArray<QC_String>& GetUsedStates() const { return myUsedStates; }
    static uint32_t GetQRBVersion() { return 9; }
    static uint32_t GetErrorCode();
    static const char* GetErrorDetail();

    bool myGridEnable;
    float myGridSize;
    QC_String myDefaultHaloSurface;
    QC_String mySecondHaloSurface;
    QC_String myDefaultSurface;
    bool myLightVectorColoring;
    float myLightVectorScale;
    bool myBoneOverlay;
    bool myCacheRendering;
    bool myDontResetCameraOnRefresh;
    bool myAutoCalcFarplane;
    bool myRefreshing;
    float myLodDistances[4];
    float myMouseSens;
    // The state file's codes and names, owned by the render view.
    QC_GrowingArray<QC_String>* myStateCodes;
    QC_GrowingArray<QC_String>* myStateNames;

    // [Model]
    // Takes over one reference of aTemplate as the model and shows it (the
    // LightWave open operations end here). False when a model is loaded.
    bool SetModel(QR_TemplateObject* aTemplate, const char* aStateCode);
    // One entry per template part; copied.
    bool SetBoneLines(const QRenderEditorBoneLine* aLines, uint32_t aCount);
    // Opens a LightWave scene (".lws") or object (".lwo"), the extension
    // compared without case, as the model registered under aModelName in
    // state aStateCode, from the working directory. False when a model is
    // loaded, for another extension, or with EditorError set.
    bool OpenScene(const char* aFileName, const char* aModelName, const char* aStateCode);
    // Adds state aStateCode from a LightWave file to the parts named in
    // aPartNames (every part when null or empty).
    bool OpenModelFile(const char* aFileName, const char* aModelName, const char* aStateCode,
                       const QC_List<QC_String>* aPartNames = nullptr);
    // Loads the model of another ".qre" file (its commands executed, nothing
    // recorded) and merges it below the part named aPartName. A failed load
    // leaves this model as it was; a failed merge leaves no model.
    bool AddQREHierarchy(const char* aPartName, const char* aFileName);
    // The default surface, halo surface and level-of-detail distances the
    // LightWave builders use.
    void GetBuildSettings(LWBuildSettings* aSettingsOut) const;
    bool IsModelLoaded() const { return myModelLoaded; }
    QR_TemplateObject* GetTemplate() const { return myTemplate; }
    QR_MainObject* GetInstance() const { return myInstance; }

    bool AddParticleEmitter(const char* anEmitterName, const char* aPartName, const char* aStateCode);
    bool RemoveParticleEmitter(uint32_t anIndex);
    bool ReloadParticleEmitters();
    bool AddNullObject(const char* aName, const char* aParentName, const char* aStateCode);
    void CreateInstance();
    void RecreateInstance();
    void SetActiveState(const QC_String& aCode);
    QC_String GetActiveState() const { return myActiveState; }
    void AddUsedName(const QC_String& aCode);
    void SetMeshVertexShader(QR_Mesh* aMesh, const char* aName);
    const char* GetMeshVertexShaderName(const QR_Mesh* aMesh) const;
    // Writes the model as a ".qrb" file (the meshes' vertex-shader overrides
    // included); true without a model. False with EditorError 13.
    bool ExportQRB(const char* aFileName) const;
    bool RebuildTree(QRenderEditorTree* aTree);
    void ToggleExpandedItem(const char* aText);
    const QC_GrowingArray<QC_String>& GetExpandedItems() const { return myExpandedItems; }
    void ClearExpandedItems() { myExpandedItems.RemoveAll(); }
    bool ClearModel();

private:
    QRenderEditor();
    bool InitRenderer(QR_HostWindow* aWindow, void* anInputWindow);
    void PlaceCamera();
    void UpdateClipPlanes(float aNear, float aFar);
    bool PutLight(QR_Light* aLight);
    void BeginOverlay(uint32_t aNumVertices, void** aVerticesOut);
    void DrawGrid();
    void DrawBones();
    uint32_t LightVectorColor() const;
    void RestoreExpandedItems(QRenderEditorTree* aTree);
    // The common frame of a template edit: the instance goes, the change runs,
    // and on success the instance comes back in the active state.
    template <class Change> bool EditTemplate(Change aChange);

    struct ShaderOverride
    {
        QR_Mesh* myMesh;
        QC_String myName;
    };

    QRenderEditorBoneLine* myBoneLines; // owned
    uint32_t myNumBoneLines;
    QR_View* myView;
    QR_Scene* myLightScene;
    QR_Render* myRender;
    QR_TemplateObject* myTemplate; // one reference
    QR_MainObject* myInstance;
    bool myCreated;
    bool myModelLoaded;
    bool myInputStarted;
    uint32_t myBgColor;
    uint32_t myObjectColors[8]; // tints, white at start: a part without a surface draws lit colour x tint
    uint32_t myObjectColorIndex;
    QC_String myWorkDir;
    QC_GrowingArray<ShaderOverride> myShaderOverrides;
    QC_GrowingArray<QC_String> myUsedStates;
    QC_String myActiveState;
    float myNearPlane;
    float myFarPlane;
    QC_GrowingArray<QC_String> myExpandedItems;
    bool myTreeRebuilding;
    QR_CompiledVertexShader* myLineSetup;
    bool myLightInScene;
    QR_Light* myLight; // owned
    float myDirLightDirection; // radians
    float myDirLightElevation;
    float myDirLightColor[3];
    float myCameraTarget[3];
    float myCameraDistance;
    float myCameraPitch;
    float myCameraHeading;
    QR_Font* myStatsFont; // one reference
};
