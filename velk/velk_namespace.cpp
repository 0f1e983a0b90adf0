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
    return Velk_Count(myInstances);
}

void VelkNameSpace::GetInstances(QC_List<VelkType*>& anOut, bool aClearFirstFlag) const
{
    if (aClearFirstFlag)
        anOut.RemoveAll();
    QC_ListIterator<VelkType*> locIter(const_cast<QC_List<VelkType*>*>(&myInstances));
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        anOut.Add(locIter.GetCurrent());
}

VelkType* VelkNameSpace::Priv_FindRoot(std::string_view aName)
{
    VelkType* locRoot = nullptr;
    VelkNameIndex::LookupResult locResult = myRootIndex.Lookup(aName, locRoot);
    if (locResult != VelkNameIndex::LOOKUP_SCAN)
        return locRoot;
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        if (Priv_View(locIter.GetCurrent()->GetName()) == aName)
        {
            myRootIndex.SetOnly(aName, locIter.GetCurrent());
            return locIter.GetCurrent();
        }
    }
    return nullptr;
}

bool VelkNameSpace::Priv_IsRoot(VelkType* anObject)
{
    // Set by AddInstance and cleared whenever a root leaves the namespace.
    return anObject->myRootNameSpace == this;
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
    anInstance->myRootNameSpace = this;
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
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        if (locIter.GetCurrent() == anInstance)
        {
            locIter.RemoveCurrent();
            myRootIndex.Remove(Priv_View(anInstance->GetName()), anInstance);
            anInstance->myRootNameSpace = nullptr;
            delete anInstance;
            return true;
        }
    }
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->DeleteMember(anInstance))
            return true;
    return false;
}

VelkType* VelkNameSpace::FindByName(const char* aName)
{
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (VelkType* locHit = locIter.GetCurrent()->FindByName(aName))
            return locHit;
    return nullptr;
}

bool VelkNameSpace::ContainsInstance(VelkType* anInstance)
{
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->Contains(anInstance))
            return true;
    return false;
}

bool VelkNameSpace::GetInstancePath(VelkType* anInstance, QC_String& anOut)
{
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->GetMemberPath("", anInstance, anOut))
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
    QC_ListIterator<VelkType*> locIter(&anObject->GetMembers());
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (Priv_HasLocText(locIter.GetCurrent()))
            return true;
    return false;
}
}

bool VelkNameSpace::HasLocText()
{
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (Priv_HasLocText(locIter.GetCurrent()))
            return true;
    return false;
}

bool VelkNameSpace::ResolveReferences(VelkTypeManager& aTypeManager)
{
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (!locIter.GetCurrent()->ResolveReferences(aTypeManager, *this))
            return false;
    return true;
}

bool VelkNameSpace::Merge(VelkNameSpace& anOther)
{
    QC_ListIterator<QC_String> locIncludes(&anOther.myIncludes);
    for (locIncludes.First(); !locIncludes.IsDone(); locIncludes.Next())
        AddInclude(Velk_Text(locIncludes.GetCurrent()));

    QC_ListIterator<VelkType*> locIter(&anOther.myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (!MergeInstance(locIter.GetCurrent()))
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
    QC_ListIterator<VelkType*> locIter(&aSource->GetMembers());
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locMember = locIter.GetCurrent();
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
    if (locTop->myRootNameSpace && locTop->myRootNameSpace->Priv_IsRoot(locTop))
        return locTop->myRootNameSpace;

    QC_ListIterator<VelkNameSpace*> locIter(&Priv_AllNameSpaces());
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent()->ContainsInstance(anObject))
            return locIter.GetCurrent();
    return nullptr;
}
