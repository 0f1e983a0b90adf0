// The constraints of the GUI widgets and the sound sources, and their table.
#include "va_velkeditors/vave_typeconstraints.h"

#include <new>

#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const VAVE_NOT_A_GUI = "QG_NOTAGUI";
const char* const VAVE_SOUND_FILE = "sound/agentsounds.velk";
}

// ---------------------------------------------------------------------------
// Skin-file constraints
// ---------------------------------------------------------------------------

bool VAVE_SkinFileConstraint::Priv_GetSkinFileName(QC_String& aFileName) const
{
    QC_String locValue = myInstance->GetMemberValue("mySkinFile");
    int locDot = locValue.ReverseFind('.');
    if (locDot <= 0)
        return false;
    aFileName = locValue.Left(locDot) + ".velk";
    return true;
}

VelkType* VAVE_SkinFileConstraint::Priv_LoadSkins(VelkNameSpace& aSpace, VelkTypeManager& aTypes) const
{
    QC_String locFileName;
    if (!myInstance || !Priv_GetSkinFileName(locFileName))
        return nullptr;
    if (!VelkCompiler::Compile(aSpace, locFileName, &aTypes, nullptr))
        return nullptr;
    VelkType* locSkinFile = aSpace.GetInstance("mySkinFile", true);
    return locSkinFile ? locSkinFile->FindMember("mySkins") : nullptr;
}

VelkType* VAVE_SkinFileConstraint::Priv_LoadSkin(VelkNameSpace& aSpace, VelkTypeManager& aTypes) const
{
    VelkType* locSkins = Priv_LoadSkins(aSpace, aTypes);
    if (!locSkins)
        return nullptr;
    QC_String locSkinName = myInstance->GetMemberValue("mySkin");
    if (locSkinName.IsEmpty())
        return nullptr;
    return locSkins->FindMember(locSkinName);
}

bool VAVE_SkinFileConstraint::Priv_AddMemberNames(VelkType* anObject, const char* aMemberName)
{
    VelkType* locList = anObject ? (aMemberName ? anObject->FindMember(aMemberName) : anObject) : nullptr;
    if (!locList)
        return false;
    QC_List<VelkType*>& locMembers = locList->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
        myValues.Add(locLink->myItem->GetName());
    return true;
}

VAVE_WidgetSkinConstraint::VAVE_WidgetSkinConstraint(VelkNameSpace* aNameSpace, const char* aTypeName)
    : VAVE_SkinFileConstraint(aNameSpace, aTypeName, "mySkin")
{
}

bool VAVE_WidgetSkinConstraint::FillValues()
{
    myValues.Add(VELK_EMPTY);
    VelkTypeManager locTypes;
    VelkNameSpace locSpace;
    return Priv_AddMemberNames(Priv_LoadSkins(locSpace, locTypes), nullptr);
}

bool VAVE_WidgetFontConstraint::FillValues()
{
    myValues.Add(VELK_EMPTY);
    VelkTypeManager locTypes;
    VelkNameSpace locSpace;
    return Priv_AddMemberNames(Priv_LoadSkin(locSpace, locTypes), "myFonts");
}

bool VAVE_WidgetPrefabConstraint::FillValues()
{
    myValues.Add(VELK_EMPTY);
    VelkTypeManager locTypes;
    VelkNameSpace locSpace;
    return Priv_AddMemberNames(Priv_LoadSkin(locSpace, locTypes), "myPrefabs");
}

// ---------------------------------------------------------------------------
// Target GUIs and sound ids
// ---------------------------------------------------------------------------

VAVE_WidgetTargetGuiConstraint::VAVE_WidgetTargetGuiConstraint(VelkNameSpace* aNameSpace, const char* aTypeName)
    : VelkTypeConstraint(aNameSpace, aTypeName, "myTargetGui")
{
}

bool VAVE_WidgetTargetGuiConstraint::FillValues()
{
    myValues.Add(VAVE_NOT_A_GUI);
    if (!myInstance || !myNameSpace)
        return false;
    VelkType* locGuiFile = myNameSpace->GetInstance("myGuiFile", true);
    VelkType* locGuis = locGuiFile ? locGuiFile->FindMember("myGuis") : nullptr;
    if (!locGuis)
        return false;
    QC_List<VelkType*>& locMembers = locGuis->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
        myValues.Add(locLink->myItem->GetName());
    return true;
}

void VAVE_SoundIdConstraint::Priv_AddSounds(QC_List<VelkType*>& anObjects)
{
    for (QC_List<VelkType*>::Link* locLink = anObjects.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkType* locObject = locLink->myItem;
        if (locObject->GetTypeName() == "QS_Sound")
            myValues.Add(locObject->GetName());
        else if (locObject->GetTypeName() == "QS_SoundGroup")
            Priv_AddSounds(locObject->GetMembers());
    }
}

bool VAVE_SoundIdConstraint::FillValues()
{
    myValues.Add(VELK_EMPTY);
    if (!myInstance)
        return false;
    VelkTypeManager locTypes;
    VelkNameSpace locSpace;
    if (!VelkCompiler::Compile(locSpace, VAVE_SOUND_FILE, &locTypes, nullptr))
        return false;
    QC_List<VelkType*> locRoots;
    locSpace.GetInstances(locRoots, true);
    Priv_AddSounds(locRoots);
    return true;
}

// ---------------------------------------------------------------------------
// The set
// ---------------------------------------------------------------------------

namespace
{
struct MemberRow
{
    const char* myTypeName;
    const char* myMemberName;
};

const char* const ourSkinTypes[] = {"VAP_Plate",    "VAP_Button",   "VAP_ProgressBar",
                                    "VAP_CheckBox", "VAP_TextLabel", "VAP_TextList",
                                    "VAP_ComboBox", "VAP_MultiColumnTextList", "VAP_Model",
                                    "VAP_TextInput"};

const MemberRow ourFontRows[] = {
    {"VAP_Button", "myFont"},   {"VAP_CheckBox", "myFont"}, {"VAP_TextLabel", "myFont"},
    {"VAP_TextInput", "myFont"}, {"VAP_TextList", "myFont"}, {"VAP_ComboBox", "myFont"},
    {"VAP_MultiColumnTextList", "myFont"}, {"VAP_MultiColumnTextList", "myTitleBarFont"}, {"VAP_Model", "myFont"},
};

// The eleven prefabs of a list with scroll buttons.
const char* const ourListPrefabs[] = {
    "myPrefab", "mySelectionPrefab", "myUpButtonUpPrefab", "myUpButtonInsidePrefab", "myUpButtonDownPrefab",
    "myDownButtonUpPrefab", "myDownButtonInsidePrefab", "myDownButtonDownPrefab", "myScrollBarUpPrefab",
    "myScrollBarInsidePrefab", "myScrollBarDownPrefab",
};

const MemberRow ourPrefabRowsBeforeLists[] = {
    {"VAP_Plate", "myPrefab"},
    {"VAP_Button", "myUpPrefab"},        {"VAP_Button", "myInsidePrefab"},    {"VAP_Button", "myDownPrefab"},
    {"VAP_ProgressBar", "myPrefab"},     {"VAP_ProgressBar", "myBarPrefab"},
    {"VAP_CheckBox", "myCheckedPrefab"}, {"VAP_CheckBox", "myUncheckedPrefab"},
    {"VAP_TextInput", "myPrefab"},
};

const char* const ourListTypes[] = {"VAP_TextList", "VAP_ComboBox", "VAP_MultiColumnTextList"};

const MemberRow ourPrefabRowsAfterLists[] = {
    {"VAP_MultiColumnTextList", "myTitleBarUpPrefab"},
    {"VAP_MultiColumnTextList", "myTitleBarInsidePrefab"},
    {"VAP_MultiColumnTextList", "myTitleBarDownPrefab"},
    {"VAP_Model", "myUpPrefab"},
    {"VAP_Model", "myInsidePrefab"},
    {"VAP_Model", "myDownPrefab"},
};

const char* const ourTargetGuiTypes[] = {"VAP_Button", "VAP_Model"};

const MemberRow ourSoundRows[] = {
    {"StraightShooter", "myFireSound1"},  {"StraightShooter", "myFireSound2"},  {"StraightShooter", "myFireSound3"},
    {"BallisticShooter", "myFireSound1"}, {"BallisticShooter", "myFireSound2"}, {"BallisticShooter", "myFireSound3"},
    {"HomingShooter", "myFireSound1"},    {"HomingShooter", "myFireSound2"},    {"HomingShooter", "myFireSound3"},
    {"SoundSource", "mySound"},
    {"EngineSoundSource", "myStartMovingSound"}, {"EngineSoundSource", "myStopMovingSound"},
    {"UnitType::DeathEffect", "mySound1"}, {"UnitType::DeathEffect", "mySound2"},
    {"UnitType::DeathEffect", "mySound3"}, {"UnitType::DeathEffect", "mySound4"},
    {"UnitType::DeathEffect", "mySound5"}, {"UnitType::DeathEffect", "mySound6"},
    {"UnitType::DeathEffect", "mySound7"}, {"UnitType::DeathEffect", "mySound8"},
};
} // namespace

VelkTypeConstraintSet* VAVE_TypeConstraintSet::Create()
{
    return new (std::nothrow) VAVE_TypeConstraintSet;
}

bool VAVE_TypeConstraintSet::Load(VelkNameSpace* aNameSpace)
{
    if (!VelkTypeConstraintSet::Load(aNameSpace))
        return false;
    for (const char* locType : ourSkinTypes)
        if (!Add(new (std::nothrow) VAVE_WidgetSkinConstraint(aNameSpace, locType)))
            return false;
    for (const MemberRow& locRow : ourFontRows)
        if (!Add(new (std::nothrow) VAVE_WidgetFontConstraint(aNameSpace, locRow.myTypeName, locRow.myMemberName)))
            return false;
    for (const MemberRow& locRow : ourPrefabRowsBeforeLists)
        if (!Add(new (std::nothrow) VAVE_WidgetPrefabConstraint(aNameSpace, locRow.myTypeName, locRow.myMemberName)))
            return false;
    for (const char* locType : ourListTypes)
        for (const char* locMember : ourListPrefabs)
            if (!Add(new (std::nothrow) VAVE_WidgetPrefabConstraint(aNameSpace, locType, locMember)))
                return false;
    for (const MemberRow& locRow : ourPrefabRowsAfterLists)
        if (!Add(new (std::nothrow) VAVE_WidgetPrefabConstraint(aNameSpace, locRow.myTypeName, locRow.myMemberName)))
            return false;
    for (const char* locType : ourTargetGuiTypes)
        if (!Add(new (std::nothrow) VAVE_WidgetTargetGuiConstraint(aNameSpace, locType)))
            return false;
    for (const MemberRow& locRow : ourSoundRows)
        if (!Add(new (std::nothrow) VAVE_SoundIdConstraint(aNameSpace, locRow.myTypeName, locRow.myMemberName)))
            return false;
    return true;
}
