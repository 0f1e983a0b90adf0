// LightWave data built into renderer template objects: scene items and bones
// into parts with their states, converted layers into static and skinned
// meshes with levels of detail, emitter links and lights, a second file merged
// in as a new state, and the template's bounds.
#pragma once

#include <stdint.h>

#include <vector>

#include "qcommon/qc_string.h"

class QR_Mesh;
class QR_Surface;
class QR_TemplateObject;
struct LWSItem;
struct QRenderEditorBoneLine;

// What the builders take from the editor scene.
struct LWBuildSettings
{
    QC_String myDefaultSurface = "INTERNAL_SOLID"; // the surface of textured meshes
    QC_String myHaloSurface;                       // point and spot light halos; empty: none
    float myLodDistances[4] = {50.0f, 100.0f, 200.0f, 400.0f};
};

// The name of a template made from a lone object.
extern const char* const LW_OBJECT_TEMPLATE_NAME;

// The lighting and colour-mode switches a mesh takes from its surface.
void GetSurfaceRenderFlags(const QR_Surface* aSurface, bool* aLightingOut, bool* aColourModeOut);

// [Meshes]
// Fills aMesh (new and empty) from batch aBatch of anItem's levels: vertices,
// levels of detail, indices, surface, render settings and texture stages, then
// prepares it for drawing. aSkinned: weights and bone bytes from the item's
// bones. False with EditorError set: 28 a skinned layer with several
// batches, 39 a level's index past 65535, 1 the renderer refused the mesh
// (its text in the detail) or the default surface did not load.
bool FillLWMesh(QR_Mesh* aMesh, LWSItem* anItem, uint32_t aBatch, bool aSkinned, const LWBuildSettings& aSettings);
// The meshes of an item without bones: batch 0 into aFirstMesh, then for each
// further batch b its part aFirstPart + b (name "%s:%d", one state, texture
// slots) and its mesh "%s:%d" (an existing one is shared, not refilled).
bool BuildStaticMeshes(QR_Mesh* aFirstMesh, LWSItem* anItem, QR_TemplateObject* aTemplate, uint32_t aFirstPart,
                       const LWBuildSettings& aSettings);
bool BuildSkinnedMesh(QR_Mesh* aMesh, LWSItem* anItem, const LWBuildSettings& aSettings);

// [Templates]
// Appends the parts of anItem and its subtree in state aState. False with
// EditorError set when a mesh cannot be built or an item has more than 256 bones.
bool BuildItemTree(LWSItem* anItem, QR_TemplateObject* aTemplate, uint32_t aState, const LWBuildSettings& aSettings);
// The number of parts BuildItemTree appends for anItem and its subtree.
uint32_t CountItemTreeParts(const LWSItem& anItem);
// The same into parts aFirst onwards, which the caller has made room for.
bool BuildItemTreeAt(LWSItem* anItem, QR_TemplateObject* aTemplate, uint32_t aFirst, uint32_t aState,
                     const LWBuildSettings& aSettings);
// A template named LW_OBJECT_TEMPLATE_NAME from the first layer of an object,
// its one part named anItemName (the file's base name when empty).
bool BuildTemplateFromLWO(const char* aFileName, const char* anItemName, QR_TemplateObject** aTemplateOut,
                          uint32_t aState, const LWBuildSettings& aSettings);
// The same merged into aTemplate as state aState; aPartNames null or empty: every part.
bool AddLWOState(QR_TemplateObject* aTemplate, const char* aFileName, const char* anItemName, uint32_t aState,
                 const std::vector<QC_String>* aPartNames, const LWBuildSettings& aSettings);
// Moves aNew's parts (those named in aPartNames, without case, when given),
// their states, emitter links, lights and names into aTemplate; the caller
// releases aNew. A root part of aNew hangs below the part named anAttachName.
bool MergeTemplate(QR_TemplateObject* aTemplate, QR_TemplateObject* aNew, const std::vector<QC_String>* aPartNames,
                   const char* anAttachName);
// The template's centre and radius, and every mesh's radius, at time 0.
void ComputeTemplateBounds(QR_TemplateObject* aTemplate);

// [Scenes]
// Reads a scene into aTemplate (empty): parts, emitter links and lights in
// state aState; aBoneLines, when given, receives one record per part. False
// with EditorError set.
bool LoadLWS(QR_TemplateObject* aTemplate, const char* aFileName, uint32_t aState,
             std::vector<QRenderEditorBoneLine>* aBoneLines, const LWBuildSettings& aSettings);
// A new template registered under aModelName with the scene loaded into it
// and its bounds computed. Null with EditorError set (1 when the name is taken).
QR_TemplateObject* LoadLWSTemplate(const char* aFileName, const char* aModelName, uint32_t aState,
                                   std::vector<QRenderEditorBoneLine>* aBoneLines, const LWBuildSettings& aSettings);
// A scene merged into aTemplate as state aState, into the named parts only
// when aPartNames holds names.
bool AddLWSState(QR_TemplateObject* aTemplate, const char* aFileName, uint32_t aState,
                 const std::vector<QC_String>* aPartNames, const LWBuildSettings& aSettings);
// A scene merged into aTemplate, its roots hung below the part anAttachName.
bool AttachLWS(QR_TemplateObject* aTemplate, const char* aFileName, uint32_t aState, const char* anAttachName,
               const LWBuildSettings& aSettings);
