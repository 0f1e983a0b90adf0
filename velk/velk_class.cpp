// Classes and script classes: objects made of members.
#include <climits>
#include <cstring>
#include <new>

#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_typemanager.h"
#include "velk/velk_type.h"

namespace
{
// Below this many members a class searches its list; from it on, it keeps a name index.
constexpr int VELK_MEMBER_INDEX_THRESHOLD = 16;

// Script-class member numbers grow across all script classes while the program runs.
int ourScriptMemberCounter = 0;
}

// ---------------------------------------------------------------------------
// VelkClass
// ---------------------------------------------------------------------------

VelkClass::VelkClass(const char* aTypeName, const char* aName)
    : VelkType(aTypeName, aName)
    , myUniqueNamesFlag(true)
{
}

VelkClass::~VelkClass()
{
    myMembers.DeleteAll();
}

bool VelkClass::Priv_UseIndex()
{
    if (myMemberIndex)
        return true;
    if (Velk_Count(myMembers) < VELK_MEMBER_INDEX_THRESHOLD)
    {
        myMemberIndex.reset();
        return false;
    }
    if (!myMemberIndex)
        myMemberIndex = std::make_unique<VelkNameIndex>();
    myMemberIndex->Clear();
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locMember = locIter.GetCurrent();
        locMember->myParent = this;
        myMemberIndex->Add(std::string_view(Velk_Text(locMember->myName), Velk_Length(locMember->myName)), locMember);
    }
    return true;
}

VelkType* VelkClass::Priv_FindDirectMember(const char* aName, size_t aLength)
{
    std::string_view locName(aName, aLength);
    if (Priv_UseIndex())
    {
        VelkType* locFound = nullptr;
        VelkNameIndex::LookupResult locResult = myMemberIndex->Lookup(locName, locFound);
        if (locResult != VelkNameIndex::LOOKUP_SCAN)
            return locFound;
    }
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locMember = locIter.GetCurrent();
        if ((size_t)Velk_Length(locMember->myName) == aLength && memcmp(Velk_Text(locMember->myName), aName, aLength) == 0)
        {
            if (myMemberIndex)
                myMemberIndex->SetOnly(locName, locMember);
            return locMember;
        }
    }
    return nullptr;
}

bool VelkClass::Priv_HasMemberNamed(const char* aName)
{
    return Priv_FindDirectMember(aName, strlen(aName)) != nullptr;
}

bool VelkClass::Priv_Append(VelkType* aMember)
{
    if (!myMembers.Add(aMember))
        return false;
    aMember->myParent = this;
    if (myMemberIndex)
        myMemberIndex->Add(std::string_view(Velk_Text(aMember->myName), Velk_Length(aMember->myName)), aMember);
    return true;
}

void VelkClass::Priv_Unlinked(VelkType* aMember)
{
    aMember->myParent = nullptr;
    if (myMemberIndex)
        myMemberIndex->Remove(std::string_view(Velk_Text(aMember->myName), Velk_Length(aMember->myName)), aMember);
}

void VelkClass::Priv_MemberRenamed(VelkType* aMember, const QC_String& anOldName)
{
    myDistinctNamesFlag = false;
    if (!myMemberIndex)
        return;
    myMemberIndex->Remove(std::string_view(Velk_Text(anOldName), Velk_Length(anOldName)), aMember);
    myMemberIndex->Add(std::string_view(Velk_Text(aMember->myName), Velk_Length(aMember->myName)), aMember);
}

VelkType* VelkClass::GetMemberAt(int anIndex)
{
    if (anIndex < 0)
        return nullptr;
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (anIndex-- == 0)
            return locIter.GetCurrent();
    return nullptr;
}

VelkType* VelkClass::FindMember(const char* aName)
{
    if (aName == nullptr)
        return nullptr;
    const char* locDot = strchr(aName, VELK_PATH_SEPARATOR);
    if (locDot == nullptr)
        return Priv_FindDirectMember(aName, strlen(aName));
    VelkType* locHead = Priv_FindDirectMember(aName, locDot - aName);
    return locHead ? locHead->FindMember(locDot + 1) : nullptr;
}

QC_List<VelkType*>& VelkClass::GetMembers()
{
    // The caller may change the list in any way, also keeping its count: the
    // index is dropped and built again by the next lookup that wants it.
    myMemberIndex.reset();
    myDistinctNamesFlag = false;
    return myMembers;
}

int VelkClass::GetNumMembers() const
{
    return Velk_Count(myMembers);
}

bool VelkClass::SetMemberOrder(const QC_List<QC_String>& aNames)
{
    if (Velk_Count(aNames) != Velk_Count(myMembers))
        return false;
    QC_List<VelkType*> locOldOrder;
    locOldOrder = myMembers;
    QC_List<VelkType*> locWork;
    locWork = myMembers;
    myMembers.RemoveAll();

    QC_ListIterator<QC_String> locNames(const_cast<QC_List<QC_String>*>(&aNames));
    for (locNames.First(); !locNames.IsDone(); locNames.Next())
    {
        QC_String locName = locNames.GetCurrent();
        bool locFound = false;
        QC_ListIterator<VelkType*> locIter(&locWork);
        for (locIter.First(); !locIter.IsDone(); locIter.Next())
        {
            if (locIter.GetCurrent()->myName == locName)
            {
                myMembers.Add(locIter.GetCurrent());
                locIter.RemoveCurrent();
                locFound = true;
                break;
            }
        }
        if (!locFound)
        {
            // Nothing is lost: the old order comes back.
            myMembers = locOldOrder;
            return false;
        }
    }
    return true;
}

void VelkClass::DeleteMembers()
{
    myMembers.DeleteAll();
    if (myMemberIndex)
        myMemberIndex->Clear();
}

bool VelkClass::DeleteMember(VelkType* aMember)
{
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        if (locIter.GetCurrent() == aMember)
        {
            locIter.RemoveCurrent();
            Priv_Unlinked(aMember);
            delete aMember;
            return true;
        }
    }
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->DeleteMember(aMember))
            return true;
    return false;
}

bool VelkClass::DeleteMemberNamed(const char* aName)
{
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locMember = locIter.GetCurrent();
        if (locMember->myName == aName)
        {
            locIter.RemoveCurrent();
            Priv_Unlinked(locMember);
            delete locMember;
            return true;
        }
    }
    return false;
}

bool VelkClass::DetachMember(VelkType* aMember)
{
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        if (locIter.GetCurrent() == aMember)
        {
            locIter.RemoveCurrent();
            Priv_Unlinked(aMember);
            return true;
        }
    }
    return false;
}

bool VelkClass::HasMember(VelkType* aMember)
{
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent() == aMember)
            return true;
    return false;
}

VelkType* VelkClass::Clone() const
{
    VelkClass* locCopy = new (std::nothrow) VelkClass(nullptr, nullptr);
    if (locCopy == nullptr)
        return nullptr;
    locCopy->myName = myName;
    locCopy->myTypeName = myTypeName;
    locCopy->myDeclaredNames = myDeclaredNames;
    // Members of distinct names stay distinct in the copy: no need to look each up.
    const bool locDistinct = myUniqueNamesFlag && myDistinctNamesFlag;
    QC_ListIterator<VelkType*> locIter(const_cast<QC_List<VelkType*>*>(&myMembers));
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locMember = locIter.GetCurrent()->Clone();
        if (locMember == nullptr)
        {
            delete locCopy;
            return nullptr;
        }
        if (!(locDistinct ? locCopy->Priv_Append(locMember) : locCopy->AddMember(locMember)))
            delete locMember;
    }
    return locCopy;
}

bool VelkClass::AssignFrom(VelkType* aSource)
{
    VelkClass* locSource = dynamic_cast<VelkClass*>(aSource);
    if (locSource == nullptr || locSource->myTypeName != myTypeName
        || Velk_Count(locSource->myMembers) != Velk_Count(myMembers))
        return false;
    QC_ListIterator<VelkType*> locMine(&myMembers);
    QC_ListIterator<VelkType*> locTheirs(&locSource->myMembers);
    for (locMine.First(), locTheirs.First(); !locMine.IsDone() && !locTheirs.IsDone(); locMine.Next(), locTheirs.Next())
        if (!locMine.GetCurrent()->AssignFrom(locTheirs.GetCurrent()))
            return false;
    return true;
}

bool VelkClass::SetDefaultValue(const char* aText)
{
    return true;
}

void VelkClass::ResetValue()
{
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        locIter.GetCurrent()->ResetValue();
}

bool VelkClass::AddMember(VelkType* aMember)
{
    if (aMember == nullptr)
        return false;
    if (myUniqueNamesFlag && Priv_HasMemberNamed(Velk_Text(aMember->GetName())))
    {
        VelkLog::Error("VelkClass::AddMember(): Already had a member named '%s'", Velk_Text(aMember->GetName()));
        return false;
    }
    return Priv_Append(aMember);
}

bool VelkClass::ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace)
{
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (!locIter.GetCurrent()->ResolveReferences(aTypeManager, aNameSpace))
            return false;
    return true;
}

bool VelkClass::Contains(VelkType* anObject)
{
    if (anObject == this)
        return true;
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->Contains(anObject))
            return true;
    return false;
}

VelkType* VelkClass::FindByName(const char* aName)
{
    if (myName == aName)
        return this;
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (VelkType* locHit = locIter.GetCurrent()->FindByName(aName))
            return locHit;
    return nullptr;
}

bool VelkClass::GetMemberPath(const char* aPrefix, VelkType* aTarget, QC_String& anOut)
{
    if (aTarget == this)
        return VelkType::GetMemberPath(aPrefix, aTarget, anOut);
    QC_String locPrefix;
    if (aPrefix == nullptr || aPrefix[0] == 0)
        locPrefix = myName;
    else if ((long)strlen(aPrefix) + 1 + Velk_Length(myName) <= VELK_MAX_STRING)
        locPrefix.Format(VELK_PATH_PATTERN, aPrefix, Velk_Text(myName));
    else
        return false;
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->GetMemberPath(Velk_Text(locPrefix), aTarget, anOut))
            return true;
    return false;
}

bool VelkClass::IsEqual(VelkType* anOther)
{
    VelkClass* locOther = dynamic_cast<VelkClass*>(anOther);
    if (locOther == nullptr || locOther->myTypeName != myTypeName)
        return false;
    QC_ListIterator<VelkType*> locMine(&myMembers);
    QC_ListIterator<VelkType*> locTheirs(&locOther->myMembers);
    for (locMine.First(), locTheirs.First(); !locMine.IsDone() && !locTheirs.IsDone(); locMine.Next(), locTheirs.Next())
        if (!locMine.GetCurrent()->IsEqual(locTheirs.GetCurrent()))
            return false;
    return true;
}

bool VelkClass::IsScriptClass() const
{
    return false;
}

// ---------------------------------------------------------------------------
// VelkScriptClass
// ---------------------------------------------------------------------------

VelkScriptClass::VelkScriptClass(const char* aTypeName, const char* aName)
    : VelkClass(aTypeName, aName)
{
    myUniqueNamesFlag = false;
    myDistinctNamesFlag = false;
}

bool VelkScriptClass::IsLegalMemberType(const char* aTypeName) const
{
    return myLegalTypes && aTypeName && myLegalTypes->Has(aTypeName);
}

VelkType* VelkScriptClass::AddContent(VelkTypeManager& aTypeManager, const char* aText)
{
    if (!IsLegalMemberType(aText))
        return nullptr;
    VelkType* locType = aTypeManager.GetType(aText);
    if (locType == nullptr)
        locType = aTypeManager.GetRefType(aText);
    if (locType == nullptr)
        return nullptr;

    // The type name alone can fill a string; a name that does not fit is never taken.
    if ((long)strlen(aText) + 16 > VELK_MAX_STRING)
        return nullptr;
    QC_String locName;
    do
    {
        locName.Format(VELK_MEMBER_NAME_PATTERN, aText, ourScriptMemberCounter);
        // A run long enough to use every number starts again at 0 rather than overflow.
        ourScriptMemberCounter = ourScriptMemberCounter < INT_MAX ? ourScriptMemberCounter + 1 : 0;
    } while (Priv_HasMemberNamed(Velk_Text(locName)));

    VelkType* locMember = locType->Clone();
    if (locMember == nullptr)
        return nullptr;
    locMember->SetName(Velk_Text(locName));
    if (!AddMember(locMember))
    {
        delete locMember;
        return nullptr;
    }
    return locMember;
}

VelkType* VelkScriptClass::Clone() const
{
    VelkScriptClass* locCopy = new (std::nothrow) VelkScriptClass(nullptr, nullptr);
    if (locCopy == nullptr)
        return nullptr;
    locCopy->myName = myName;
    locCopy->myTypeName = myTypeName;
    locCopy->myLegalTypes = myLegalTypes;
    QC_ListIterator<VelkType*> locIter(const_cast<QC_List<VelkType*>*>(&myMembers));
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locMember = locIter.GetCurrent()->Clone();
        if (locMember == nullptr || !locCopy->Priv_Append(locMember))
        {
            delete locMember;
            delete locCopy;
            return nullptr;
        }
    }
    return locCopy;
}

bool VelkScriptClass::AssignFrom(VelkType* aSource)
{
    VelkClass* locSource = dynamic_cast<VelkClass*>(aSource);
    if (locSource == nullptr || locSource->GetTypeName() != myTypeName)
        return false;
    DeleteMembers();
    QC_ListIterator<VelkType*> locIter(&locSource->GetMembers());
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locMember = locIter.GetCurrent()->Clone();
        if (locMember == nullptr || !Priv_Append(locMember))
        {
            delete locMember;
            return false;
        }
    }
    return true;
}

bool VelkScriptClass::AddMember(VelkType* aMember)
{
    if (aMember == nullptr || !IsLegalMemberType(Velk_Text(aMember->GetTypeName())))
        return false;
    return VelkClass::AddMember(aMember);
}

bool VelkScriptClass::ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace)
{
    if (!myLegalTypes)
        return VelkClass::ResolveReferences(aTypeManager, aNameSpace);
    QC_ListIterator<QC_String> locIter(myLegalTypes->GetNames());
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        QC_String locLegal = locIter.GetCurrent();
        if (aTypeManager.GetType(Velk_Text(locLegal)) == nullptr && aTypeManager.GetRefType(Velk_Text(locLegal)) == nullptr)
        {
            VelkLog::Error("Undefined type '%s' in declaration of scriptclass '%s' of type '%s'", Velk_Text(locLegal),
                           Velk_Text(myName), Velk_Text(myTypeName));
            return false;
        }
    }
    return VelkClass::ResolveReferences(aTypeManager, aNameSpace);
}

void VelkScriptClass::GetLegalValues(QC_List<QC_String>& anOut) const
{
    anOut.RemoveAll();
    if (myLegalTypes)
        anOut = myLegalTypes->GetNames();
}

bool VelkScriptClass::IsScriptClass() const
{
    return true;
}
