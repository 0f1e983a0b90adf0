// CParticleEdDlg, the modal "Particle Editor": creates or edits one particle emitter in the
// renderer's generic particle definition it owns ("_internal_pranvel_pe"), saves it as a
// ".pe" file, and hands additions and changes back to the model tree through
// ParticleEditorOwner. Phase 0 on display stands for the emitter's base values, 1..N for
// its phase records.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/ui_dialog.h"

class QR_SharedGenericParticleData;
struct EmitterRecord;

// What the editor asks of the tree view that opened it.
class ParticleEditorOwner
{
public:
    virtual ~ParticleEditorOwner() = default;
    // A new emitter was saved as anEmitterName: the tree adds it to the model, on the two
    // names it gave at opening. False when the model did not take it.
    virtual bool AddEmitter(const char* anEmitterName, const char* aPartName, const char* aStateCode) = 0;
    // An emitter file was saved again: the scene reloads its emitters.
    virtual void EmitterChanged() = 0;
    // A mouse move over the editor, for the 3D view's camera (UI_MK_* flags, client pixels).
    virtual void EditorMouseMove(unsigned aKeyState, int anX, int aY) = 0;
};

class CParticleEdDlg
{
public:
    static constexpr int MAX_PHASES = 250;
    static constexpr const char* DEFINITION_NAME = "_internal_pranvel_pe";
    static constexpr const char* SURFACE_NAME = "surfaces/particle_additive.sur";

    explicit CParticleEdDlg(ParticleEditorOwner* anOwner);
    ~CParticleEdDlg();
    CParticleEdDlg(const CParticleEdDlg&) = delete;
    CParticleEdDlg& operator=(const CParticleEdDlg&) = delete;

    // A new emitter, added on the part and state the tree names.
    void SetNewEmitterNames(const char* aPartName, const char* aStateCode);
    // An existing emitter, by its name (".pe" appended unless it ends so).
    void SetEmitterToEdit(const char* anEmitterName);
    // UI_IDOK when closed with Close.
    intptr_t DoModal(UI_Dialog* aParent);

    // The definition under edit (one reference held by the dialog) and the phase shown.
    QR_SharedGenericParticleData* GetDefinition() const { return myDefinition; }
    int GetCurrentPhase() const { return myCurrentPhase; }
    const std::string& GetEmitterName() const { return myEmitterName; }

    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnInitDialog();
    void OnCommand(int anId, int aNotifyCode);

    // Controls to members (false, with the range message shown, at the first field out
    // of its range) and members to controls.
    bool UpdateData(bool aSaveFlag);
    // The plain text fields only, without range checks.
    void ReadTextFields();
    void NewEmitter();
    bool ReadEmitter(const char* anEmitterName);
    void ResetEmitterFields();
    void UpdateBaseControls();
    void UpdatePhaseControls();
    void StorePhaseControls(int aPhase);
    void SetPhaseRanges();
    void EnableAnimationFields();
    void UpdateTotalLength();
    bool SaveEmitter();
    bool BuildRecord(EmitterRecord& aRecord);

    void OnHScroll();
    void OnPhaseFieldKillFocus();
    void OnValueKillFocus();
    void OnInsertPhase();
    void OnDeletePhase();
    void OnAnimatedTexture();
    void OnBrowseTexture();
    void OnBrowseEmitter();
    void OnApply();
    void OnAdd();
    void OnClose();

    ParticleEditorOwner* myOwner;
    UI_Dialog* myDialog = nullptr;
    QR_SharedGenericParticleData* myDefinition = nullptr;
    int myCurrentPhase = 0;
    bool myPhaseValid = true;
    bool myEditingFlag = false;
    std::string myEmitterName; // the file field's text of the last save
    std::string myPartName;
    std::string myStateCode;
    int myFrameWidth = 32;
    int myFrameHeight = 32;

    // The values the controls exchange.
    std::string myFileText;
    std::string myLifetimeText;
    std::string mySpawnTimeText;
    std::string myTextureText;
    std::string myNumTexturesText;
    std::string myFrameTimeText;
    std::string myPhaseTimeText;
    std::string myWidthText;
    std::string myHeightText;
    int myType = 0;
    int myOrigin = 0;
    int myRotation = 0;
    int mySpace = 0;
    int myVelocityOp[3] = {0, 0, 0};
    int mySizeOp = 0;
    int myAlphaOp = 0;
    bool myConnectedFlag = false;
    bool myAnimatedFlag = false;
    double myOriginSize[3] = {0, 0, 0};
    double myRotationSpeed[2] = {0, 0};
    double myVelocityMin[3] = {0, 0, 0};
    double myVelocityMax[3] = {0, 0, 0};
    double mySizeMin = 0;
    double mySizeMax = 0;
    int myAlphaMin = 0;
    int myAlphaMax = 0;
};
