// Type constraints: members whose allowed values are listed from other data
// at the moment they are edited, and the set that finds the one for a member.
#pragma once

#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class VelkNameSpace;
class VelkType;

class VelkTypeConstraint
{
public:
    // The namespace is not owned; it is the open file's, filled later.
    VelkTypeConstraint(VelkNameSpace* aNameSpace, const char* aTypeName, const char* aMemberName);
    virtual ~VelkTypeConstraint();
    VelkTypeConstraint(const VelkTypeConstraint&) = delete;
    VelkTypeConstraint& operator=(const VelkTypeConstraint&) = delete;

    // Exact, case-sensitive.
    virtual bool Matches(const char* aTypeName, const char* aMemberName) const;
    // Fills the values list; false when the source data is missing (the list
    // then holds only its fixed first entry).
    virtual bool FillValues() = 0;
    // Empties the values, then fills them.
    bool Refill();

    const QC_String& GetTypeName() const { return myTypeName; }
    const QC_String& GetMemberName() const { return myMemberName; }
    QC_List<QC_String>& GetValues() { return myValues; }
    VelkType* GetInstance() const { return myInstance; }
    void SetInstance(VelkType* anInstance) { myInstance = anInstance; }

protected:
    VelkNameSpace* myNameSpace;
    QC_String myTypeName;
    QC_String myMemberName;
    QC_List<QC_String> myValues;
    VelkType* myInstance = nullptr;   // the object being edited, not owned
};

class VelkTypeConstraintSet
{
public:
    VelkTypeConstraintSet() = default;
    virtual ~VelkTypeConstraintSet();
    VelkTypeConstraintSet(const VelkTypeConstraintSet&) = delete;
    VelkTypeConstraintSet& operator=(const VelkTypeConstraintSet&) = delete;

    // A new set of the same class; the caller owns it.
    virtual VelkTypeConstraintSet* Create();
    // Deletes every constraint; derived sets register theirs after this.
    virtual bool Load(VelkNameSpace* aNameSpace);

    // The first constraint, in registration order, for the instance's type and
    // the member; its edited instance is set to the instance.
    VelkTypeConstraint* Find(VelkType* anInstance, const char* aMemberName);
    QC_List<VelkTypeConstraint*>& GetConstraints() { return myConstraints; }

protected:
    // Takes ownership; false (and the constraint deleted) when it cannot be kept.
    bool Add(VelkTypeConstraint* aConstraint);

    QC_List<VelkTypeConstraint*> myConstraints;
};
