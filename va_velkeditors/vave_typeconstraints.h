// The constraints of the GUI widgets and the sound sources: skins, fonts and
// prefabs from the widget's skin file, target GUIs from the open file, and
// sound ids from "sound/agentsounds.velk".
#pragma once

#include "velkeditor/velk_typeconstraint.h"

class VelkNameSpace;
class VelkType;
class VelkTypeManager;

// Reads the skin file named by the edited widget's "mySkinFile".
class VAVE_SkinFileConstraint : public VelkTypeConstraint
{
public:
    using VelkTypeConstraint::VelkTypeConstraint;

protected:
    // "mySkinFile" with its extension replaced by ".velk"; false when the
    // value has no '.' after its first character.
    bool Priv_GetSkinFileName(QC_String& aFileName) const;
    // Compiles the skin file into the given namespace and answers the
    // member "mySkins" of its instance "mySkinFile", or null.
    VelkType* Priv_LoadSkins(VelkNameSpace& aSpace, VelkTypeManager& aTypes) const;
    // The skin the edited widget's "mySkin" names, or null.
    VelkType* Priv_LoadSkin(VelkNameSpace& aSpace, VelkTypeManager& aTypes) const;
    // Appends the names of the members of anObject's member aMemberName (of
    // anObject itself when null); false when either is missing.
    bool Priv_AddMemberNames(VelkType* anObject, const char* aMemberName);
};

class VAVE_WidgetSkinConstraint : public VAVE_SkinFileConstraint
{
public:
    VAVE_WidgetSkinConstraint(VelkNameSpace* aNameSpace, const char* aTypeName);
    bool FillValues() override;
};

class VAVE_WidgetFontConstraint : public VAVE_SkinFileConstraint
{
public:
    using VAVE_SkinFileConstraint::VAVE_SkinFileConstraint;
    bool FillValues() override;
};

class VAVE_WidgetPrefabConstraint : public VAVE_SkinFileConstraint
{
public:
    using VAVE_SkinFileConstraint::VAVE_SkinFileConstraint;
    bool FillValues() override;
};

class VAVE_WidgetTargetGuiConstraint : public VelkTypeConstraint
{
public:
    VAVE_WidgetTargetGuiConstraint(VelkNameSpace* aNameSpace, const char* aTypeName);
    bool FillValues() override;
};

class VAVE_SoundIdConstraint : public VelkTypeConstraint
{
public:
    using VelkTypeConstraint::VelkTypeConstraint;
    bool FillValues() override;

private:
    void Priv_AddSounds(QC_List<VelkType*>& anObjects);
};

class VAVE_TypeConstraintSet : public VelkTypeConstraintSet
{
public:
    VelkTypeConstraintSet* Create() override;
    // The base load, then the widgets' and sound sources' constraints in
    // their fixed order; false at the first that cannot be kept.
    bool Load(VelkNameSpace* aNameSpace) override;
};
