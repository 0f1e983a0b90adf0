// Changes made in place to a loaded model's template: states of a part, a
// state's pose, particle-emitter links and null parts. The editor scene calls
// these between deleting its instance and making it again.
#pragma once

#include <stdint.h>

class QR_SplinePath;
class QR_TemplateObject;
class QR_TemplatePart;

// The first part of that name (without regard to case); -1 when none.
int32_t FindPartByName(const QR_TemplateObject* aTemplate, const char* aName, int32_t* anIndexOut = nullptr);

// Position (channels 0-2) and orientation (3-5) at the first key of the
// part's state aState. False when the part or the state is missing.
bool GetPartChannelValues(const QR_TemplateObject* aTemplate, uint32_t aState, const char* aPartName,
                          float aPositionOut[3], float anOrientationOut[3]);
// Moves the state's whole path so that its first key has the given pose.
// False (nothing changed) when the part or the state is missing.
bool SetPartStatePose(QR_TemplateObject* aTemplate, uint32_t aState, const float aPosition[3],
                      const float anOrientation[3], const char* aPartName);

// Appends a still state aState posed as the first state at time 0. False
// (part unchanged) without a first state or memory.
bool AddPartState(QR_TemplatePart* aPart, uint32_t aState);
// EditorError 26 with fewer than two states, 27 when aState is not there.
bool RemovePartState(QR_TemplatePart* aPart, uint32_t aState);

// Links the emitter definition of that name to the part in state aState.
// False (nothing added) when the definition or the part is missing.
bool AddEmitterLink(QR_TemplateObject* aTemplate, const char* anEmitterName, const char* aPartName, uint32_t aState);
// False (nothing changed) for an index out of range.
bool RemoveEmitterLink(QR_TemplateObject* aTemplate, uint32_t anIndex);
// Releases and acquires every linked definition again, so edited ".pe" files
// take effect. False when one could not be acquired again (that link is
// dropped).
bool ReloadEmitterLinks(QR_TemplateObject* aTemplate);

// Appends a part without mesh, with one still state aState at the origin,
// parented to the part named aParentName (none when not found).
bool AddNullPart(QR_TemplateObject* aTemplate, const char* aName, uint32_t aState, const char* aParentName);

// A still path of six channels: one key, every channel constant (rate 1,
// not looping). False when memory runs out.
bool SetStillPath(QR_SplinePath& aPath, const float aValues[6]);
// Adds aDelta to every key of a keyed channel, or once to a constant one.
void ShiftPathChannel(QR_SplinePath& aPath, uint32_t aChannel, float aDelta);
// aFrom's arrays and settings move to aTo; aFrom is left empty.
void MovePath(QR_SplinePath& aTo, QR_SplinePath& aFrom);
// The owned fields move to aTo (a fresh part); aFrom keeps none.
void MoveTemplatePart(QR_TemplatePart& aTo, QR_TemplatePart& aFrom);
// aCount default parts appended, the existing ones moved over. False (the
// template unchanged) when memory runs out.
bool GrowTemplateParts(QR_TemplateObject* aTemplate, uint32_t aCount);

// "STND" as the state word 'S' << 24 | 'T' << 16 | 'N' << 8 | 'D', and back.
uint32_t StateCodeToId(const char* aCode);
void StateIdToCode(uint32_t anId, char aCodeOut[5]);
