// LightWave scene files ("LWSC", version 3) read into items, bones and
// lights: object layers converted through the mesh cache, null objects,
// particle-emitter nulls, bone trees, light settings and their motion paths
// with the scene's timing applied.
#pragma once

#include <stdint.h>

#include <memory>
#include <vector>

#include "modeleditor/lw_mesh.h"
#include "qcommon/qc_string.h"
#include "qrender/matrix44.h"
#include "qrender/qr_splinepath.h"

struct LWSItem;

struct LWSBone
{
    QC_String myName;
    int myShowFlag = 0;
    int myColourIndex = 0; // the display line's colour number - 1
    uint8_t myActive = 0;
    float myRestLength = 0;
    QC_String myWeightMapName;
    const LWVertexMap* myWeightMap = nullptr; // a WGHT map of the item's layer, or null
    uint8_t myWeightMapOnly = 0, myNormalisation = 0;
    float myStrength = 0, myScaleStrength = 0;
    std::unique_ptr<QR_SplinePath> myMotion;
    float myMotionLength = 0; // seconds: the time of the envelope's last key
    int myParentBone = -1;    // -1: the parent is the object
    LWSBone* myParent = nullptr;
    std::vector<LWSBone*> myChildren;
    Matrix44 myRestMatrix = Matrix44::Identity();
    int myNumber = 0; // counted from 0 within the object layer
    uint8_t myPartOffset = 0; // the bone's part minus its item's first part, once built
};

struct LWSItem
{
    // Slot 0 the item's own layer (none for a null), slots 1-7 the same layer
    // of the level-of-detail files; owned by the mesh cache.
    static constexpr int NUM_LEVELS = 8;
    LWLayerMesh* myLevels[NUM_LEVELS] = {};
    // Slot index after the last converted level when that file exists but
    // did not load; -1 when none.
    int myFailedLevel = -1;
    int myIndex = 0; // object number; emitters from 0x10000000
    int myParentIndex = -1, myParentBone = -1;
    LWSItem* myParent = nullptr;
    LWVec3 myPivot = {0, 0, 0};
    std::unique_ptr<QR_SplinePath> myMotion;
    float myMotionLength = 0;
    QC_String myName, myEmitterName;
    LWSBone* myRootBone = nullptr;
    std::vector<std::unique_ptr<LWSBone>> myBones; // scene order
    std::vector<LWSItem*> myChildren;
    LWSItem* myReferences[2] = {}; // bump and reflection reference objects
    bool myConsumed = false;       // serves as a reference; not built
    QC_String myFileName;          // as the scene wrote it, the drive fixed
    int myLayerIndex = 0;          // layer number - 1
    int myFirstPart = -1;          // template part of the item's first part, once built

    bool IsEmitter() const { return myIndex >= EMITTER_BASE; }
    static constexpr int EMITTER_BASE = 0x10000000;
};

struct LWSLight
{
    std::unique_ptr<QR_SplinePath> myMotion, myColourPath, myRangePath;
    float myMotionLength = 0, myColourLength = 0, myRangeLength = 0;
    float myColour[3] = {1, 1, 1};
    float myIntensity = 1.0f;
    int myType = 1;
    float myConeAngle = 3.1415927f, myEdgeAngle = 3.1415927f; // radians
    float myRange = 10.0f;
    QC_String myName;
    int myParentIndex = -1, myParentBone = -1;
    LWSItem* myParent = nullptr;
    QC_String myParentName;
};

// A scene read and resolved, ready to be built into a template.
struct LWScene
{
    int myFramesPerSecond = 25;
    int myFrameCount = 0;
    float myLongestLength = -1.0f;
    std::vector<std::unique_ptr<LWSItem>> myItems;   // committed, in scene order
    std::vector<std::unique_ptr<LWSLight>> myLights; // committed, in scene order
};

// The bind poses of aRoot's bone tree: each bone's rest matrix becomes the
// inverse of its world rest matrix (its rest matrix times its parent's world
// one, row vectors). aParentWorld null for a root bone.
void ComputeBoneBindPose(LWSBone* aRoot, const Matrix44* aParentWorld = nullptr);

// The display colour (ARGB) of a bone's colour index; indices outside the
// table take white.
uint32_t LWBoneColour(int aColourIndex);

// Reads aFileName into aScene: the scene's lines, references, item and bone
// trees, light parents and timing. Clears and fills the object and mesh
// caches, which own the converted layers the items name: the caller clears
// them when done with the scene. False with EditorError set: 4 the file
// cannot be opened, 5 not a version-3 scene or a file index out of range
// or a cycle, the object reader's and envelope reader's codes.
bool ReadLWScene(const char* aFileName, LWScene* aScene);
