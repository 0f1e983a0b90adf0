// Type constraints and their set.
#include "velkeditor/velk_typeconstraint.h"

#include <new>

#include "velk/velk_type.h"

VelkTypeConstraint::VelkTypeConstraint(VelkNameSpace* aNameSpace, const char* aTypeName, const char* aMemberName)
    : myNameSpace(aNameSpace), myTypeName(aTypeName), myMemberName(aMemberName)
{
}

VelkTypeConstraint::~VelkTypeConstraint() = default;

bool VelkTypeConstraint::Matches(const char* aTypeName, const char* aMemberName) const
{
    return myTypeName == aTypeName && myMemberName == aMemberName;
}

bool VelkTypeConstraint::Refill()
{
    myValues.RemoveAll();
    return FillValues();
}

VelkTypeConstraintSet::~VelkTypeConstraintSet()
{
    myConstraints.DeleteAll();
}

VelkTypeConstraintSet* VelkTypeConstraintSet::Create()
{
    return new (std::nothrow) VelkTypeConstraintSet;
}

bool VelkTypeConstraintSet::Load(VelkNameSpace* aNameSpace)
{
    myConstraints.DeleteAll();
    return true;
}

bool VelkTypeConstraintSet::Add(VelkTypeConstraint* aConstraint)
{
    if (!aConstraint)
        return false;
    if (!myConstraints.Add(aConstraint))
    {
        delete aConstraint;
        return false;
    }
    return true;
}

VelkTypeConstraint* VelkTypeConstraintSet::Find(VelkType* anInstance, const char* aMemberName)
{
    if (!anInstance)
        return nullptr;
    for (QC_List<VelkTypeConstraint*>::Link* locLink = myConstraints.myFirstLink; locLink; locLink = locLink->myNext)
    {
        if (locLink->myItem->Matches(anInstance->GetTypeName(), aMemberName))
        {
            locLink->myItem->SetInstance(anInstance);
            return locLink->myItem;
        }
    }
    return nullptr;
}
