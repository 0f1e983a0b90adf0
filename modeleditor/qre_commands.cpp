#include "modeleditor/qre_commands.h"

#include "platform/os/os_file.h"

namespace
{
constexpr QREParamType F = QRE_PARAM_FLOAT;
constexpr QREParamType I = QRE_PARAM_INT;
constexpr QREParamType U = QRE_PARAM_UINT;
constexpr QREParamType B = QRE_PARAM_BOOL;
constexpr QREParamType S = QRE_PARAM_STRING;
constexpr QREParamType L = QRE_PARAM_STRINGLIST;

bool locToScene(QRECommand& aCommand, uint32_t aVersion)
{
    return QRECommand::ourExecuteHook && QRECommand::ourExecuteHook(aCommand, aVersion);
}
}

#define QRE_SCENE_EXECUTE(Class) \
    bool Class::Execute(uint32_t aVersion) { return locToScene(*this, aVersion); }

QRE_SCENE_EXECUTE(DefaultSurfaceCommand)
QRE_SCENE_EXECUTE(HaloFileCommand)
QRE_SCENE_EXECUTE(OpenModelCommand)
QRE_SCENE_EXECUTE(AddStateCommand)
QRE_SCENE_EXECUTE(AddJointStateCommand)
QRE_SCENE_EXECUTE(RemoveBoneStateCommand)
QRE_SCENE_EXECUTE(EditJointStateCommand)
QRE_SCENE_EXECUTE(EditAllJointStateCommand)
QRE_SCENE_EXECUTE(EditBoneCommand)
QRE_SCENE_EXECUTE(EditPositionOrientationCommand)
QRE_SCENE_EXECUTE(EditObjectCommand)
QRE_SCENE_EXECUTE(EditMeshCommand)
QRE_SCENE_EXECUTE(EditLightSourceCommand)
QRE_SCENE_EXECUTE(SelectSurfaceCommand)
QRE_SCENE_EXECUTE(ChangeTextureCommand)
QRE_SCENE_EXECUTE(AddParticleEmittorCommand)
QRE_SCENE_EXECUTE(RemoveParticleEmittorCommand)
QRE_SCENE_EXECUTE(AddNullObjectCommand)
QRE_SCENE_EXECUTE(AddQREHierarchyCommand)
QRE_SCENE_EXECUTE(DefaultLodDistanceCommand)

bool WorkDirCommand::Execute(uint32_t)
{
    return OS_SetCurrentDirectory(myDirectory);
}

// Recognised and read, but attaching a LightWave model as a sub-hierarchy is
// not defined: a file holding such a line fails to load there.
bool AddModelHierarchyCommand::Execute(uint32_t)
{
    return false;
}

bool WorkDirCommand::DescribeParams(uint32_t)
{
    AddParam(S, &myDirectory);
    return true;
}

bool DefaultSurfaceCommand::DescribeParams(uint32_t)
{
    AddParam(S, &mySurfaceName);
    return true;
}

bool HaloFileCommand::DescribeParams(uint32_t)
{
    AddParam(S, &mySurfaceName);
    return true;
}

bool OpenModelCommand::DescribeParams(uint32_t)
{
    AddParam(S, &myFileName);
    AddParam(S, &myModelName);
    AddParam(S, &myStateCode);
    return true;
}

bool AddStateCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(S, &myFileName);
    AddParam(S, &myModelName);
    AddParam(S, &myStateCode);
    AddParam(L, &myPartNames);
    return true;
}

bool AddJointStateCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(I, &myPartIndex);
    if (aVersion == 0)
        AddParam(I, &myStateNumber);
    else
        AddParam(S, &myStateCode);
    return true;
}

bool RemoveBoneStateCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(I, &myPartIndex);
    AddParam(I, &myJointStateIndex);
    return true;
}

bool EditJointStateCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(I, &myPartIndex);
    AddParam(I, &myJointStateIndex);
    if (aVersion == 0)
        AddParam(I, &myStateNumber);
    else
        AddParam(S, &myStateCode);
    AddParam(U, &myNextState);
    AddParam(F, &myInterpolationTime);
    AddParam(F, &myTimeToNext);
    AddParam(B, &myLoopFlag);
    AddParam(B, &myActiveFlag);
    AddParam(B, &myForceStartFlag);
    if (aVersion >= 3)
        AddParam(B, &mySolidFlag);
    return true;
}

bool EditBoneCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(I, &myPartIndex);
    AddParam(F, &myRemoveDistance);
    if (aVersion >= 5)
        AddParam(B, &myAllChildrenFlag);
    return true;
}

bool EditPositionOrientationCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(S, &myPartName);
    AddParam(S, &myStateCode);
    for (float& locValue : myPosition)
        AddParam(F, &locValue);
    for (float& locValue : myHeadingPitchBank)
        AddParam(F, &locValue);
    return true;
}

bool EditObjectCommand::DescribeParams(uint32_t aVersion)
{
    AddParam(F, &myRadius);
    if (aVersion >= 6)
        for (float& locValue : myCentre)
            AddParam(F, &locValue);
    return true;
}

bool EditMeshCommand::DescribeParams(uint32_t aVersion)
{
    AddParam(S, &myMeshName);
    if (aVersion >= 4)
        AddParam(I, &myLodIndex);
    AddParam(S, &myVertexShaderName);
    AddParam(U, &myPresortMode);
    if (aVersion >= 6)
    {
        for (int32_t& locValue : mySettings)
            AddParam(I, &locValue);
        AddParam(I, &mySpecularColour);
        AddParam(B, &myFogFlag);
        AddParam(I, &myUVSetWords[0]);
        AddParam(I, &myUVSetWords[1]);
        for (float& locValue : myLodDistances)
            AddParam(F, &locValue);
    }
    if (aVersion >= 7)
        AddParam(F, &mySpecularPower);
    return true;
}

bool EditLightSourceCommand::DescribeParams(uint32_t)
{
    AddParam(I, &myLightIndex);
    AddParam(S, &myHaloTexture);
    AddParam(F, &myDepthFudge);
    return true;
}

bool SelectSurfaceCommand::DescribeParams(uint32_t)
{
    AddParam(S, &mySurfaceName);
    AddParam(U, &myPartIndex);
    AddParam(I, &myAlphaRef);
    return true;
}

bool ChangeTextureCommand::DescribeParams(uint32_t)
{
    AddParam(S, &myTextureName);
    AddParam(I, &myPartIndex);
    AddParam(I, &mySlot);
    return true;
}

bool AddParticleEmittorCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(S, &myEmitterName);
    AddParam(S, &myStateCode);
    AddParam(S, &myPartName);
    return true;
}

bool RemoveParticleEmittorCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(I, &myEmitterIndex);
    return true;
}

bool AddNullObjectCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(S, &myName);
    AddParam(S, &myStateCode);
    AddParam(S, &myParentName);
    return true;
}

bool AddQREHierarchyCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    AddParam(S, &myPartName);
    AddParam(S, &myFileName);
    return true;
}

bool AddModelHierarchyCommand::DescribeParams(uint32_t aVersion)
{
    if (aVersion < 4)
        AddParam(I, &myIgnored);
    for (QC_String& locValue : myValues)
        AddParam(S, &locValue);
    return true;
}

bool DefaultLodDistanceCommand::DescribeParams(uint32_t)
{
    for (float& locValue : myDistances)
        AddParam(F, &locValue);
    return true;
}
