// The 22 edit commands: keyword, values with their defaults and the layout of
// their line in each file version. WORKDIR executes here; the others reach the
// editor scene through QRECommand::ourExecuteHook.
#pragma once

#include "modeleditor/qre_command.h"

#define QRE_COMMAND_CLASS(Class, Keyword)               \
    static constexpr const char* KEYWORD = Keyword;     \
    Class() : QRECommand(Keyword) {}                    \
    bool Execute(uint32_t aVersion) override;           \
    bool DescribeParams(uint32_t aVersion) override;

class WorkDirCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(WorkDirCommand, "WORKDIR")
    explicit WorkDirCommand(const char* aDirectory) : QRECommand(KEYWORD), myDirectory(aDirectory) {}
    QC_String myDirectory;
};

class DefaultSurfaceCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(DefaultSurfaceCommand, "DEFAULTSURFACE")
    explicit DefaultSurfaceCommand(const char* aName) : QRECommand(KEYWORD), mySurfaceName(aName) {}
    QC_String mySurfaceName;
};

class HaloFileCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(HaloFileCommand, "HALOFILE")
    explicit HaloFileCommand(const char* aName) : QRECommand(KEYWORD), mySurfaceName(aName) {}
    QC_String mySurfaceName;
};

class OpenModelCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(OpenModelCommand, "OPENMODEL")
    QC_String myFileName;
    QC_String myModelName;
    QC_String myStateCode;
};

class AddStateCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(AddStateCommand, "ADDSTATE")
    int32_t myIgnored = 0;
    QC_String myFileName;
    QC_String myModelName;
    QC_String myStateCode;
    QC_List<QC_String> myPartNames;
};

class AddJointStateCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(AddJointStateCommand, "ADDJOINTSTATE")
    int32_t myIgnored = 0;
    int32_t myPartIndex = 0;
    int32_t myStateNumber = 0;   // version 0's code
    QC_String myStateCode;
};

class RemoveBoneStateCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(RemoveBoneStateCommand, "REMOVEBONESTATE")
    int32_t myIgnored = 0;
    int32_t myPartIndex = 0;
    int32_t myJointStateIndex = 0;
};

class EditJointStateCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(EditJointStateCommand, "EDITJOINTSTATE")
protected:
    EditJointStateCommand(const char* aKeyword) : QRECommand(aKeyword) {}
public:
    int32_t myIgnored = 0;
    int32_t myPartIndex = 0;
    int32_t myJointStateIndex = 0;
    int32_t myStateNumber = 0;   // version 0: read, not used
    QC_String myStateCode;
    int32_t myNextState = 0;     // -1 none, -2 "LAST"
    float myInterpolationTime = 0.0f;
    float myTimeToNext = 0.0f;
    bool myLoopFlag = false;
    bool myActiveFlag = false;
    bool myForceStartFlag = false;
    bool mySolidFlag = true;
};

class EditAllJointStateCommand : public EditJointStateCommand
{
public:
    static constexpr const char* KEYWORD = "EDITALLJOINTSTATE";
    EditAllJointStateCommand() : EditJointStateCommand(KEYWORD) {}
    bool Execute(uint32_t aVersion) override;
};

class EditBoneCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(EditBoneCommand, "EDITBONE")
    int32_t myIgnored = 0;
    int32_t myPartIndex = 0;
    float myRemoveDistance = 0.0f;   // squared; 1.0e15 never removed
    bool myAllChildrenFlag = false;
};

class EditPositionOrientationCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(EditPositionOrientationCommand, "EDITPOSITIONORIENTATION")
    int32_t myIgnored = 0;
    QC_String myPartName;
    QC_String myStateCode;
    float myPosition[3] = {0.0f, 0.0f, 0.0f};
    float myHeadingPitchBank[3] = {0.0f, 0.0f, 0.0f};   // radians in memory
};

class EditObjectCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(EditObjectCommand, "EDITOBJECT")
    float myRadius = 0.0f;
    float myCentre[3] = {0.0f, 0.0f, 0.0f};
};

class EditMeshCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(EditMeshCommand, "EDITMESH")
    QC_String myMeshName;
    int32_t myLodIndex = 0;
    QC_String myVertexShaderName;
    int32_t myPresortMode = 0;
    int32_t mySettings[5] = {0, 0, 0, 0, 0};   // transform, lighting, third, colour mode, fifth
    int32_t mySpecularColour = 0;
    bool myFogFlag = false;
    int32_t myUVSetWords[2] = {0, 0};
    float myLodDistances[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float mySpecularPower = 0.0f;
};

class EditLightSourceCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(EditLightSourceCommand, "EDITLIGHTSOURCE")
    int32_t myLightIndex = 0;
    QC_String myHaloTexture;
    float myDepthFudge = 0.0f;
};

class SelectSurfaceCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(SelectSurfaceCommand, "SELECTSURFACE")
    QC_String mySurfaceName;
    int32_t myPartIndex = 0;
    int32_t myAlphaRef = 0;
};

class ChangeTextureCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(ChangeTextureCommand, "CHANGETEXTURE")
    QC_String myTextureName;
    int32_t myPartIndex = 0;
    int32_t mySlot = 0;
};

class AddParticleEmittorCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(AddParticleEmittorCommand, "ADDPARTICLEEMITTOR")
    int32_t myIgnored = 0;
    QC_String myEmitterName;
    QC_String myStateCode;
    QC_String myPartName;
};

class RemoveParticleEmittorCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(RemoveParticleEmittorCommand, "REMOVEPARTICLEEMITTOR")
    int32_t myIgnored = 0;
    int32_t myEmitterIndex = 0;
};

class AddNullObjectCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(AddNullObjectCommand, "ADDNULLOBJECT")
    int32_t myIgnored = 0;
    QC_String myName;
    QC_String myStateCode;
    QC_String myParentName;
};

class AddQREHierarchyCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(AddQREHierarchyCommand, "ADDQREHIERARCHY")
    int32_t myIgnored = 0;
    QC_String myPartName;
    QC_String myFileName;
};

class AddModelHierarchyCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(AddModelHierarchyCommand, "ADDMODELHIERARCHY")
    int32_t myIgnored = 0;
    QC_String myValues[3];
};

class DefaultLodDistanceCommand : public QRECommand
{
public:
    QRE_COMMAND_CLASS(DefaultLodDistanceCommand, "DEFAULTLODDISTANCE")
    float myDistances[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

#undef QRE_COMMAND_CLASS
