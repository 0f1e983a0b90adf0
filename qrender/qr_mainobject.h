// Placed objects: one animated instance of a template object with its own matrix, colour,
// per-part state machine (blends, overrides), emitters, expressions and light copies.
// Each frame the owner updates it and renders it into the current view.
#pragma once

#include <stdint.h>

#include "qrender/matrix44.h"
#include "qrender/qr_view.h"

class QR_Expression;
class QR_Light;
class QR_ParticleEmitter;
class QR_PoseBlend;
class QR_TemplateObject;

// What a placed object keeps of one template part; the view draws it as a QR_ViewPart.
class QR_PartInstance : public QR_ViewPart
{
public:
    QR_PartInstance();
    ~QR_PartInstance();
    QR_PartInstance(const QR_PartInstance&) = delete;
    QR_PartInstance& operator=(const QR_PartInstance&) = delete;

    float* myStateRates; // owned, one per state of the part
    QR_PoseBlend* myBlend; // owned, or null
    float* myRotationOverride; // owned 3 x 3, or null
    float* myPositionOverride; // owned 3 floats, or null
    uint32_t mySortKey; // negative (as signed) for transparent surfaces
    uint32_t myCurrentState;
    uint32_t myPreviousState;
    float myPreviousElapsed;
    uint32_t myColor; // 0xAARRGGBB; its alpha multiplies the object's
    bool myColorOverride; // the part's RGB replaces the object's
};

class QR_MainObject
{
public:
    explicit QR_MainObject(QR_TemplateObject* aTemplate = nullptr);
    virtual ~QR_MainObject();
    QR_MainObject(const QR_MainObject&) = delete;
    QR_MainObject& operator=(const QR_MainObject&) = delete;

    // Acquires the template of that file and places it; null when either fails.
    static QR_MainObject* Create(const char* aFileName);
    // Only on an object without a template.
    bool SetTemplate(QR_TemplateObject* aTemplate);
    // State aStateId (0: the first state) on every part of that name (all parts for null).
    bool SetState(uint32_t aStateId, const char* aPartName = nullptr);
    // Parts once per renderer frame, lights on every call.
    void Update(const Matrix44& aParentMatrix);
    void UpdateIfShown();
    void UpdateScaled(float anX, float aY, float aZ);
    bool IsVisible() const;
    // Into the current view; the object must have been updated in this frame.
    void Render();
    void SetAlpha(uint8_t anAlpha, const char* aPartName = nullptr);
    // The model editor's tint, 0xRRGGBB, alpha kept: the object's colour, or with a part
    // name the colour of every part of that name (without regard to case), which then
    // overrides the object's.
    void SetColor(uint32_t aColor, const char* aPartName = nullptr);
    // Seconds of the first state aStateId of the matching parts at their slowest rate; -1.0
    // when no part matched.
    float GetStateLength(uint32_t aStateId, const char* aPartName = nullptr) const;
    void SetStateLength(float aLength, uint32_t aStateId, const char* aPartName = nullptr);
    bool SetPartPosition(float anX, float aY, float aZ, const char* aPartName);
    // A rotation (9 floats, rows) for the first part of that name, blended over aBlendTime.
    bool SetPartRotation(const float* aRotation, const char* aPartName, float aBlendTime);
    bool GetPartRotation(const char* aPartName, float* aRotationOut) const;

    Matrix44 myMatrix;
    int32_t myLastUpdateFrame;
    QR_PartInstance* myPartInstances; // owned, one per template part
    uint32_t myNumPartInstances;
    QR_ParticleEmitter** myEmitters; // owned, one per link (null where none)
    uint32_t myNumEmitters;
    QR_Expression** myExpressions; // owned, one per text (null where it did not parse)
    char** myExpressionTexts;      // owned copies the expressions were parsed from
    uint32_t myNumExpressions;
    QR_Light* myLights; // owned copies; their halo is the template light's
    float* myLightStartTimes; // renderer time each light was switched on; -1.0 off
    uint32_t myNumLights;
    QR_TemplateObject* myTemplate; // one reference
    uint32_t myColor; // 0xAARRGGBB; alpha 0 hides the object
    uint32_t myLightMask;
    bool myDrawImmediately;
    uint32_t myTemplateLoadCount; // of the template reading the instances were built from

private:
    // Builds everything again when the template was read again since (other parts, states,
    // lights); the const operations answer as for no part meanwhile.
    void Refresh();
    bool IsStale() const;
    void Build();
    void Clear();
    void SwitchState(uint32_t aPart, uint32_t aNewState, bool anIdGivenFlag, bool aSetStateFlag, float anOffset);
    bool LocalPose(uint32_t aPart, Matrix44& aPose) const;
    void StartBlend(uint32_t aPart, uint32_t aNewState, float anOffset);
    void DrawImmediately(uint32_t aFirst, uint32_t aNumBones, uint32_t aColor, float aDistanceSquared);
    int32_t FindPart(const char* aPartName) const;
};
