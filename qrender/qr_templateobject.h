// Template objects: one model as stored in a ".qrb" file (parts with their animation states
// and meshes, particle-emitter links, expression texts, lights), shared by normalised name
// through a process-wide list and reference-counted. Placed objects (qr_mainobject) use them.
#pragma once

#include <stdint.h>

#include "qrender/matrix44.h"
#include "qrender/qr_splinepath.h"

class QF_File;
class QR_Light;
class QR_Mesh;
class QR_SharedParticleData;
struct QR_TextureNames;

// One animation state of a part.
struct QR_TemplateState
{
    QR_TemplateState();

    uint32_t myId;
    float myBlendTime; // seconds; changes from a state of the same parent blend over it
    QR_SplinePath myPath; // the part's motion; its rate and loop flag are the state's
    float myDuration;     // seconds until myNextState
    int32_t myNextState;  // -1: never ends; -2: back to the remembered previous state
    int32_t myParent;     // part index, or -1: the placed object's matrix
    bool myRestarts;      // a return through -2 starts the path again
    bool myIsVisible;
    bool myIsRemembered;
};

class QR_TemplatePart
{
public:
    QR_TemplatePart();
    // Frees the name, releases the mesh, destroys the states and texture-name entries.
    ~QR_TemplatePart();
    QR_TemplatePart(const QR_TemplatePart&) = delete;
    QR_TemplatePart& operator=(const QR_TemplatePart&) = delete;

    char* myName; // owned
    QR_TemplateState* myStates; // owned
    uint32_t myNumStates;
    QR_Mesh* myMesh; // one reference, or null
    float myMaxDistanceSquared; // drawn below it, fading beyond 0.4 of it
    int32_t mySkinGroup;        // consecutive parts of one group >= 0 draw as one skinned mesh
    Matrix44 myMatrix;          // rest transform
    uint32_t myNumTextureNames;
    uint32_t myTextureWord;
    QR_TextureNames* myTextureNames; // owned, overrides of the mesh surface's slots
};

struct QR_ParticleLink
{
    QR_ParticleLink();
    ~QR_ParticleLink();
    QR_ParticleLink(const QR_ParticleLink&) = delete;
    QR_ParticleLink& operator=(const QR_ParticleLink&) = delete;

    QR_SharedParticleData* myDefinition; // one reference
    uint32_t myStateId;   // the emitter runs while its part is in this state
    uint32_t myPartIndex; // -1: the object itself
};

class QR_TemplateObject
{
public:
    static constexpr uint32_t NAME_SIZE = 256;
    static constexpr uint32_t EXPRESSION_SIZE = 1024;

    // The listed template of that normalised name with its count raised, or one read from
    // the file of that name. Null on failure, with the error code and text set: 7 the file
    // does not open, 8 not a version-9 model, 24 damaged data, or the code of the mesh,
    // surface or particle layer that failed.
    static QR_TemplateObject* Acquire(const char* aFileName);
    // A new, empty template (nothing read); null when the name is listed.
    static QR_TemplateObject* Create(const char* aName);
    static void DestroyAll();
    // Empties every template and reads it again, in list order; false at the first failure,
    // the later templates left empty.
    static bool ReloadAll();
    // Lower case, '/' for '\\'; false when the name does not fit NAME_SIZE.
    static bool NormaliseName(const char* aName, char* aResult);

    bool LoadQRB();
    void Release();
    float GetBoundRadius() const { return myBoundRadius; }

    int32_t myRefCount;
    char* myName; // owned, normalised
    float myBoundCentre[3];
    float myBoundRadius;
    QR_TemplatePart* myParts; // owned
    uint32_t myNumParts;
    QR_ParticleLink* myLinks; // owned, or null
    uint32_t myNumLinks;
    QR_Light* myLights; // owned, or null
    uint32_t myNumLights;
    char** myExpressions; // owned texts, or null
    uint32_t myNumExpressions;
    // Raised by every load, so that placed objects built on an earlier reading rebuild
    // their part instances.
    uint32_t myLoadCount;

    static QR_TemplateObject** ourList;
    static uint32_t ourNumTemplates;

private:
    explicit QR_TemplateObject(const char* aNormalisedName);
    ~QR_TemplateObject();
    QR_TemplateObject(const QR_TemplateObject&) = delete;
    QR_TemplateObject& operator=(const QR_TemplateObject&) = delete;
    void Empty();
    static QR_TemplateObject* Find(const char* aNormalisedName);
};
