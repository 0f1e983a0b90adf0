// Classes and script classes: objects made of members.
#include <charconv>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_typemanager.h"
#include "velk/velk_type.h"

#include "qcommon/qc_cellpool.h"

namespace
{
// Below this many members a class searches its list; from it on, it keeps a name index.
constexpr int VELK_MEMBER_INDEX_THRESHOLD = 16;

// Script-class member numbers grow across all script classes while the program runs.
int ourScriptMemberCounter = 0;
}

// ---------------------------------------------------------------------------
// VelkNameListRef
// ---------------------------------------------------------------------------

bool VelkNameListRef::MakeNew()
{
    VelkNameList* locList = new (std::nothrow) VelkNameList();
    if (locList == nullptr)
        return false;
    Priv_Release(myList);
    myList = locList;
    return true;
}

void VelkNameListRef::Priv_AddRef(VelkNameList* aList)
{
    if (aList)
        aList->myUseCount++;
}

void VelkNameListRef::Priv_Release(VelkNameList* aList)
{
    if (aList && --aList->myUseCount == 0)
        delete aList;
}

// ---------------------------------------------------------------------------
// VelkMembers
// ---------------------------------------------------------------------------

VelkMembers::~VelkMembers()
{
    if (Priv_IsList())
        delete myList;
    else if (myItems)
        QC_CellPool::Free(myItems, size_t(myCapacity) * sizeof(VelkType*));
}

VelkMembers::Iterator VelkMembers::begin() const
{
    if (Priv_IsList())
        return Iterator(nullptr, myList->myFirstLink);
    return Iterator(myItems, nullptr);
}

VelkMembers::Iterator VelkMembers::end() const
{
    if (Priv_IsList())
        return Iterator(nullptr, nullptr);
    return Iterator(myItems + myCount, nullptr);
}

VelkType* VelkMembers::At(int anIndex) const
{
    if (anIndex < 0 || anIndex >= Count())
        return nullptr;
    if (!Priv_IsList())
        return myItems[anIndex];
    for (VelkType* locMember : *this)
        if (anIndex-- == 0)
            return locMember;
    return nullptr;
}

bool VelkMembers::Priv_Grow(uint32_t aCapacity)
{
    VelkType** locItems = static_cast<VelkType**>(QC_CellPool::Allocate(size_t(aCapacity) * sizeof(VelkType*)));
    if (locItems == nullptr)
        return false;
    if (myCount)
        memcpy(locItems, myItems, size_t(myCount) * sizeof(VelkType*));
    if (myItems)
        QC_CellPool::Free(myItems, size_t(myCapacity) * sizeof(VelkType*));
    myItems = locItems;
    myCapacity = aCapacity;
    return true;
}

bool VelkMembers::Reserve(int aCount)
{
    if (Priv_IsList() || aCount <= int(myCapacity))
        return true;
    return aCount < INT_MAX / 2 && Priv_Grow(uint32_t(aCount));
}

bool VelkMembers::Add(VelkType* aMember)
{
    if (Priv_IsList())
        return myList->Add(aMember);
    if (myCount == myCapacity && (myCount >= uint32_t(INT_MAX / 2) || !Priv_Grow(myCapacity ? myCapacity * 2 : 4)))
        return false;
    myItems[myCount++] = aMember;
    return true;
}

bool VelkMembers::Remove(VelkType* aMember)
{
    if (Priv_IsList())
    {
        for (QC_ListLink<VelkType*>* locLink = myList->myFirstLink; locLink; locLink = locLink->myNext)
            if (locLink->myItem == aMember)
            {
                myList->RemoveLink(locLink);
                return true;
            }
        return false;
    }
    for (uint32_t i = 0; i < myCount; i++)
        if (myItems[i] == aMember)
        {
            memmove(myItems + i, myItems + i + 1, size_t(myCount - i - 1) * sizeof(VelkType*));
            myCount--;
            return true;
        }
    return false;
}

bool VelkMembers::Assign(VelkType* const* aMembers, int aCount)
{
    if (Priv_IsList())
    {
        QC_List<VelkType*> locNew;
        for (int i = 0; i < aCount; i++)
            if (!locNew.Add(aMembers[i]))
                return false;
        *myList = locNew;
        return myList->myCount == aCount;
    }
    if (aCount > int(myCapacity) && !Reserve(aCount))
        return false;
    if (aCount)
        memmove(myItems, aMembers, size_t(aCount) * sizeof(VelkType*));
    myCount = uint32_t(aCount);
    return true;
}

void VelkMembers::RemoveAll()
{
    if (Priv_IsList())
        myList->RemoveAll();
    else
        myCount = 0;
}

void VelkMembers::DeleteAll()
{
    if (Priv_IsList())
    {
        myList->DeleteAll();
        return;
    }
    // A member's destructor may not look back into this array.
    const uint32_t locCount = myCount;
    myCount = 0;
    for (uint32_t i = 0; i < locCount; i++)
        delete myItems[i];
}

QC_List<VelkType*>& VelkMembers::GetList()
{
    if (!Priv_IsList())
    {
        QC_List<VelkType*>* locList = new QC_List<VelkType*>();
        for (uint32_t i = 0; i < myCount; i++)
            locList->Add(myItems[i]);
        if (myItems)
            QC_CellPool::Free(myItems, size_t(myCapacity) * sizeof(VelkType*));
        myList = locList;
        myCount = 0;
        myCapacity = LIST_MODE;
    }
    return *myList;
}

// ---------------------------------------------------------------------------
// VelkClass
// ---------------------------------------------------------------------------

VelkClass::VelkClass(const char* aTypeName, const char* aName)
    : VelkType(aTypeName, aName)
{
    Priv_SetMark(MARK_A, true);
    Priv_SetDistinctNames(true);
}

VelkClass::~VelkClass()
{
    myMembers.DeleteAll();
}

bool VelkClass::Priv_UseIndex()
{
    if (myMemberIndex)
        return true;
    if (myMembers.Count() < VELK_MEMBER_INDEX_THRESHOLD)
    {
        myMemberIndex.reset();
        return false;
    }
    if (!myMemberIndex)
        myMemberIndex = std::make_unique<VelkNameIndex>();
    myMemberIndex->Clear();
    for (VelkType* locMember : myMembers)
    {
        locMember->Priv_SetParent(this);
        myMemberIndex->Add(std::string_view(Velk_Text(locMember->myName), Velk_Length(locMember->myName)), locMember);
    }
    return true;
}

VelkType* VelkClass::Priv_FindDirectMember(const char* aName, size_t aLength)
{
    std::string_view locName(aName, aLength);
    // A clone whose members still carry distinct names finds a declared
    // member where the declaration put it, without an index of its own.
    if (!myMemberIndex && myDeclaredNames && Priv_DistinctNames() && myMembers.Count() >= VELK_MEMBER_INDEX_THRESHOLD)
    {
        VelkType* locMember = myMembers.At(myDeclaredNames->Find(locName));
        if (locMember && (size_t)Velk_Length(locMember->myName) == aLength &&
            memcmp(Velk_Text(locMember->myName), aName, aLength) == 0)
            return locMember;
    }
    if (Priv_UseIndex())
    {
        VelkType* locFound = nullptr;
        VelkNameIndex::LookupResult locResult = myMemberIndex->Lookup(locName, locFound);
        if (locResult != VelkNameIndex::LOOKUP_SCAN)
            return locFound;
    }
    for (VelkType* locMember : myMembers)
    {
        // The first character first: names of one length are common among members.
        const char* locText = Velk_Text(locMember->myName);
        if ((size_t)Velk_Length(locMember->myName) == aLength && (aLength == 0 || locText[0] == aName[0]) &&
            memcmp(locText, aName, aLength) == 0)
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
    aMember->Priv_SetParent(this);
    if (myMemberIndex)
        myMemberIndex->Add(std::string_view(Velk_Text(aMember->myName), Velk_Length(aMember->myName)), aMember);
    return true;
}

void VelkClass::Priv_Unlinked(VelkType* aMember)
{
    aMember->Priv_ClearParent();
    if (myMemberIndex)
        myMemberIndex->Remove(std::string_view(Velk_Text(aMember->myName), Velk_Length(aMember->myName)), aMember);
}

void VelkClass::Priv_MemberRenamed(VelkType* aMember, const QC_String& anOldName)
{
    Priv_SetDistinctNames(false);
    if (!myMemberIndex)
        return;
    myMemberIndex->Remove(std::string_view(Velk_Text(anOldName), Velk_Length(anOldName)), aMember);
    myMemberIndex->Add(std::string_view(Velk_Text(aMember->myName), Velk_Length(aMember->myName)), aMember);
}

VelkType* VelkClass::GetMemberAt(int anIndex)
{
    return myMembers.At(anIndex);
}

VelkType* VelkClass::FindMember(const char* aName)
{
    if (aName == nullptr)
        return nullptr;
    // Names are short: one walk finds the dot or the end.
    const char* locDot = aName;
    while (*locDot && *locDot != VELK_PATH_SEPARATOR)
        locDot++;
    if (*locDot == 0)
        return Priv_FindDirectMember(aName, locDot - aName);
    VelkType* locHead = Priv_FindDirectMember(aName, locDot - aName);
    return locHead ? locHead->FindMember(locDot + 1) : nullptr;
}

QC_List<VelkType*>& VelkClass::GetMembers()
{
    // The caller may change the list in any way, also keeping its count: the
    // index is dropped and built again by the next lookup that wants it.
    myMemberIndex.reset();
    Priv_SetDistinctNames(false);
    return myMembers.GetList();
}

const VelkMembers& VelkClass::GetMemberView() const
{
    return myMembers;
}

int VelkClass::GetNumMembers() const
{
    return myMembers.Count();
}

bool VelkClass::SetMemberOrder(const QC_List<QC_String>& aNames)
{
    if (Velk_Count(aNames) != myMembers.Count())
        return false;
    std::vector<VelkType*> locWork;
    locWork.reserve(size_t(myMembers.Count()));
    for (VelkType* locMember : myMembers)
        locWork.push_back(locMember);
    std::vector<VelkType*> locOrder;
    locOrder.reserve(locWork.size());
    QC_ListIterator<QC_String> locNames(const_cast<QC_List<QC_String>*>(&aNames));
    for (locNames.First(); !locNames.IsDone(); locNames.Next())
    {
        const QC_String& locName = locNames.GetCurrent();
        bool locFound = false;
        for (VelkType*& locMember : locWork)
        {
            if (locMember && locMember->myName == locName)
            {
                locOrder.push_back(locMember);
                locMember = nullptr;
                locFound = true;
                break;
            }
        }
        // Nothing is lost: the order stays as it was.
        if (!locFound)
            return false;
    }
    return myMembers.Assign(locOrder.data(), int(locOrder.size()));
}

void VelkClass::DeleteMembers()
{
    myMembers.DeleteAll();
    if (myMemberIndex)
        myMemberIndex->Clear();
}

bool VelkClass::DeleteMember(VelkType* aMember)
{
    if (myMembers.Remove(aMember))
    {
        Priv_Unlinked(aMember);
        delete aMember;
        return true;
    }
    for (VelkType* locMember : myMembers)
        if (locMember->DeleteMember(aMember))
            return true;
    return false;
}

bool VelkClass::DeleteMemberNamed(const char* aName)
{
    for (VelkType* locMember : myMembers)
    {
        if (locMember->myName == aName)
        {
            myMembers.Remove(locMember);
            Priv_Unlinked(locMember);
            delete locMember;
            return true;
        }
    }
    return false;
}

bool VelkClass::DetachMember(VelkType* aMember)
{
    if (!myMembers.Remove(aMember))
        return false;
    Priv_Unlinked(aMember);
    return true;
}

bool VelkClass::HasMember(VelkType* aMember)
{
    for (VelkType* locMember : myMembers)
        if (locMember == aMember)
            return true;
    return false;
}

VelkType* VelkClass::Clone() const
{
    VelkClass* locCopy = new (std::nothrow) VelkClass(nullptr, nullptr);
    if (locCopy == nullptr)
        return nullptr;
    locCopy->myName = myName;
    locCopy->myDeclaredNames = myDeclaredNames;
    // Members of distinct names stay distinct in the copy: no need to look each up.
    const bool locDistinct = Priv_UniqueNames() && Priv_DistinctNames();
    if (!locCopy->myMembers.Reserve(myMembers.Count()))
    {
        delete locCopy;
        return nullptr;
    }
    for (VelkType* locSourceMember : myMembers)
    {
        VelkType* locMember = locSourceMember->Clone();
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
    if (locSource == nullptr || !locSource->HasTypeNameOf(*this)
        || locSource->myMembers.Count() != myMembers.Count())
        return false;
    VelkMembers::Iterator locMine = myMembers.begin(), locTheirs = locSource->myMembers.begin();
    for (; locMine != myMembers.end() && locTheirs != locSource->myMembers.end(); ++locMine, ++locTheirs)
        if (!(*locMine)->AssignFrom(*locTheirs))
            return false;
    return true;
}

bool VelkClass::SetDefaultValue(const char* aText)
{
    return true;
}

void VelkClass::ResetValue()
{
    for (VelkType* locMember : myMembers)
        locMember->ResetValue();
}

bool VelkClass::AddMember(VelkType* aMember)
{
    if (aMember == nullptr)
        return false;
    if (Priv_UniqueNames() && Priv_HasMemberNamed(Velk_Text(aMember->GetName())))
    {
        VelkLog::Error("VelkClass::AddMember(): Already had a member named '%s'", Velk_Text(aMember->GetName()));
        return false;
    }
    return Priv_Append(aMember);
}

bool VelkClass::ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace)
{
    for (VelkType* locMember : myMembers)
        if (!locMember->ResolveReferences(aTypeManager, aNameSpace))
            return false;
    return true;
}

bool VelkClass::Contains(VelkType* anObject)
{
    if (anObject == this)
        return true;
    for (VelkType* locMember : myMembers)
        if (locMember->Contains(anObject))
            return true;
    return false;
}

VelkType* VelkClass::FindByName(const char* aName)
{
    if (myName == aName)
        return this;
    for (VelkType* locMember : myMembers)
        if (VelkType* locHit = locMember->FindByName(aName))
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
    for (VelkType* locMember : myMembers)
        if (locMember->GetMemberPath(Velk_Text(locPrefix), aTarget, anOut))
            return true;
    return false;
}

bool VelkClass::IsEqual(VelkType* anOther)
{
    VelkClass* locOther = dynamic_cast<VelkClass*>(anOther);
    if (locOther == nullptr || !locOther->HasTypeNameOf(*this))
        return false;
    VelkMembers::Iterator locMine = myMembers.begin(), locTheirs = locOther->myMembers.begin();
    for (; locMine != myMembers.end() && locTheirs != locOther->myMembers.end(); ++locMine, ++locTheirs)
        if (!(*locMine)->IsEqual(*locTheirs))
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
    Priv_SetMark(MARK_A, false);
    Priv_SetDistinctNames(false);
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
    const size_t locTypeLength = strlen(aText);
    if ((long)locTypeLength + 16 > VELK_MAX_STRING)
        return nullptr;
    std::string locName;
    do
    {
        // VELK_MEMBER_NAME_PATTERN, put together by hand: a script makes one
        // for each of its lines, and a format costs more than the rest of the line.
        char locNumber[16];
        const char* locNumberEnd =
            std::to_chars(locNumber, locNumber + sizeof(locNumber), ourScriptMemberCounter).ptr;
        locName.assign(aText, locTypeLength);
        locName += '(';
        locName.append(locNumber, size_t(locNumberEnd - locNumber));
        locName += ')';
        // A run long enough to use every number starts again at 0 rather than overflow.
        ourScriptMemberCounter = ourScriptMemberCounter < INT_MAX ? ourScriptMemberCounter + 1 : 0;
    } while (Priv_HasMemberNamed(locName.c_str()));

    VelkType* locMember = locType->Clone();
    if (locMember == nullptr)
        return nullptr;
    locMember->SetName(locName.c_str());
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
    locCopy->myLegalTypes = myLegalTypes;
    if (!locCopy->myMembers.Reserve(myMembers.Count()))
    {
        delete locCopy;
        return nullptr;
    }
    for (VelkType* locSourceMember : myMembers)
    {
        VelkType* locMember = locSourceMember->Clone();
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
    if (locSource == nullptr || !locSource->HasTypeNameOf(*this))
        return false;
    DeleteMembers();
    for (VelkType* locSourceMember : locSource->GetMemberView())
    {
        VelkType* locMember = locSourceMember->Clone();
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
                           Velk_Text(myName), Velk_Text(GetTypeName()));
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
