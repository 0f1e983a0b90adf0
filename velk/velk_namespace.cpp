// Namespaces and the process-wide list of them.
#include "velk/velk_namespace.h"

#include <cstring>

#include "velk/velk_arena.h"
#include "velk/velk_log.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
// Every namespace alive, in order of construction. Never destroyed: namespaces
// may outlive the static objects of this file.
QC_List<VelkNameSpace*>& Priv_AllNameSpaces()
{
    static QC_List<VelkNameSpace*>* ourList = new QC_List<VelkNameSpace*>();
    return *ourList;
}

std::string_view Priv_View(const QC_String& aString)
{
    return std::string_view(Velk_Text(aString), Velk_Length(aString));
}
}

VelkNameSpace::VelkNameSpace()
{
    Priv_AllNameSpaces().Add(this);
}

VelkNameSpace::~VelkNameSpace()
{
    Clear();
    QC_ListIterator<VelkNameSpace*> locIter(&Priv_AllNameSpaces());
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        if (locIter.GetCurrent() == this)
        {
            locIter.RemoveCurrent();
            break;
        }
    }
}

int VelkNameSpace::GetNumInstances() const
{
    return myInstances.Count();
}

void VelkNameSpace::GetInstances(QC_List<VelkType*>& anOut, bool aClearFirstFlag) const
{
    if (aClearFirstFlag)
        anOut.RemoveAll();
    for (VelkType* locRoot : myInstances)
        anOut.Add(locRoot);
}

VelkType* VelkNameSpace::Priv_FindRoot(std::string_view aName)
{
    VelkType* locRoot = nullptr;
    VelkNameIndex::LookupResult locResult = myRootIndex.Lookup(aName, locRoot);
    if (locResult != VelkNameIndex::LOOKUP_SCAN)
        return locRoot;
    for (VelkType* locCandidate : myInstances)
    {
        if (Priv_View(locCandidate->GetName()) == aName)
        {
            myRootIndex.SetOnly(aName, locCandidate);
            return locCandidate;
        }
    }
    return nullptr;
}

bool VelkNameSpace::Priv_IsRoot(VelkType* anObject)
{
    // Set by AddInstance and cleared whenever a root leaves the namespace.
    return anObject->GetRootNameSpace() == this;
}

void VelkNameSpace::Priv_RootRenamed(VelkType* aRoot, const QC_String& anOldName)
{
    myRootIndex.Remove(Priv_View(anOldName), aRoot);
    myRootIndex.Add(Priv_View(aRoot->GetName()), aRoot);
}

bool VelkNameSpace::AddInstance(VelkType* anInstance)
{
    if (anInstance == nullptr || !myRootIndex.AddIfAbsent(Priv_View(anInstance->GetName()), anInstance))
        return false;
    if (!myInstances.Add(anInstance))
    {
        myRootIndex.Remove(Priv_View(anInstance->GetName()), anInstance);
        return false;
    }
    anInstance->Priv_SetRootNameSpace(this);
    return true;
}

VelkType* VelkNameSpace::GetInstance(const char* aPath, bool aLogFlag)
{
    if (aPath == nullptr)
        aPath = "";
    const char* locDot = strchr(aPath, VELK_PATH_SEPARATOR);
    std::string_view locHead = locDot ? std::string_view(aPath, locDot - aPath) : std::string_view(aPath);
    VelkType* locRoot = Priv_FindRoot(locHead);
    if (locRoot == nullptr)
    {
        if (aLogFlag)
            VelkLog::Error("Failed to find instance for name '%s'", aPath);
        return nullptr;
    }
    return locDot ? locRoot->FindMember(locDot + 1) : locRoot;
}

bool VelkNameSpace::DeleteInstance(VelkType* anInstance)
{
    if (myInstances.Remove(anInstance))
    {
        myRootIndex.Remove(Priv_View(anInstance->GetName()), anInstance);
        anInstance->Priv_ClearRootNameSpace();
        delete anInstance;
        return true;
    }
    for (VelkType* locRoot : myInstances)
        if (locRoot->DeleteMember(anInstance))
            return true;
    return false;
}

VelkType* VelkNameSpace::FindByName(const char* aName)
{
    for (VelkType* locRoot : myInstances)
        if (VelkType* locHit = locRoot->FindByName(aName))
            return locHit;
    return nullptr;
}

bool VelkNameSpace::ContainsInstance(VelkType* anInstance)
{
    for (VelkType* locRoot : myInstances)
        if (locRoot->Contains(anInstance))
            return true;
    return false;
}

bool VelkNameSpace::GetInstancePath(VelkType* anInstance, QC_String& anOut)
{
    for (VelkType* locRoot : myInstances)
        if (locRoot->GetMemberPath("", anInstance, anOut))
            return true;
    return false;
}

void VelkNameSpace::AddInclude(const char* aFileName)
{
    QC_ListIterator<QC_String> locIter(&myIncludes);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent().CompareNoCase(aFileName) == 0)
            return;
    myIncludes.Add(QC_String(aFileName));
}

void VelkNameSpace::GetIncludes(QC_List<QC_String>& anOut, bool aClearFirstFlag) const
{
    if (aClearFirstFlag)
        anOut.RemoveAll();
    QC_ListIterator<QC_String> locIter(const_cast<QC_List<QC_String>*>(&myIncludes));
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        anOut.Add(locIter.GetCurrent());
}

namespace
{
bool Priv_HasLocText(VelkType* anObject)
{
    if (anObject->GetNumMembers() == 0)
        return anObject->GetTypeName() == "LOCTEXT";
    for (VelkType* locMember : anObject->GetMemberView())
        if (Priv_HasLocText(locMember))
            return true;
    return false;
}
}

bool VelkNameSpace::HasLocText()
{
    for (VelkType* locRoot : myInstances)
        if (Priv_HasLocText(locRoot))
            return true;
    return false;
}

bool VelkNameSpace::ResolveReferences(VelkTypeManager& aTypeManager)
{
    for (VelkType* locRoot : myInstances)
        if (!locRoot->ResolveReferences(aTypeManager, *this))
            return false;
    return true;
}

bool VelkNameSpace::Merge(VelkNameSpace& anOther)
{
    QC_ListIterator<QC_String> locIncludes(&anOther.myIncludes);
    for (locIncludes.First(); !locIncludes.IsDone(); locIncludes.Next())
        AddInclude(Velk_Text(locIncludes.GetCurrent()));

    // By position: merging a namespace into itself may add to the array walked.
    for (int locIndex = 0; locIndex < anOther.myInstances.Count(); locIndex++)
        if (!MergeInstance(anOther.myInstances.At(locIndex)))
            return false;
    return true;
}

bool VelkNameSpace::MergeInstance(VelkType* anInstance)
{
    VelkType* locFound = FindByName(Velk_Text(anInstance->GetName()));
    if (locFound == nullptr)
    {
        VelkType* locCopy = anInstance->Clone();
        if (locCopy == nullptr)
            return false;
        if (GetInstance(Velk_Text(locCopy->GetName()), false) != nullptr || !AddInstance(locCopy))
        {
            delete locCopy;
            return false;
        }
        return true;
    }
    if (locFound->GetTypeName() == anInstance->GetTypeName())
        return MergeMembers(locFound, anInstance);
    return true;
}

bool VelkNameSpace::MergeMembers(VelkType* aTarget, VelkType* aSource)
{
    for (VelkType* locMember : aSource->GetMemberView())
    {
        VelkType* locFound = aTarget->FindMember(Velk_Text(locMember->GetName()));
        if (locFound)
        {
            if (locFound->GetTypeName() == locMember->GetTypeName() && !MergeMembers(locFound, locMember))
                return false;
            continue;
        }
        VelkType* locCopy = locMember->Clone();
        if (locCopy == nullptr)
            return false;
        if (!aTarget->AddMember(locCopy))
        {
            delete locCopy;
            return false;
        }
    }
    return true;
}

void VelkNameSpace::Clear()
{
    myInstances.DeleteAll();
    myRootIndex.Clear();
    myIncludes.RemoveAll();
    if (myArena)
    {
        myArena->Release();
        myArena = nullptr;
    }
}

VelkArena* VelkNameSpace::GetArena()
{
    if (myArena == nullptr)
        myArena = VelkArena::Create();
    return myArena;
}

VelkNameSpace* VelkNameSpace::FindNameSpaceOf(VelkType* anObject)
{
    if (anObject == nullptr)
        return nullptr;
    // The owner links lead to the root at once; the search through every
    // namespace is kept for objects placed where the links do not reach.
    VelkType* locTop = anObject;
    while (locTop->GetParent())
        locTop = locTop->GetParent();
    if (locTop->GetRootNameSpace() && locTop->GetRootNameSpace()->Priv_IsRoot(locTop))
        return locTop->GetRootNameSpace();

    QC_ListIterator<VelkNameSpace*> locIter(&Priv_AllNameSpaces());
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->ContainsInstance(anObject))
            return locIter.GetCurrent();
    return nullptr;
}
