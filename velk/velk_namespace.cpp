// Namespaces and the process-wide list of them.
#include "velk/velk_namespace.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "velk/velk_arena.h"
#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_names.h"
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

VelkNameSpace::VelkNameSpace() : myRootIndex(std::make_unique<VelkNameIndex>())
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
    VelkNameIndex::LookupResult locResult = myRootIndex->Lookup(aName, locRoot);
    if (locResult != VelkNameIndex::LOOKUP_SCAN)
        return locRoot;
    for (VelkType* locCandidate : myInstances)
    {
        if (Priv_View(locCandidate->GetName()) == aName)
        {
            myRootIndex->SetOnly(aName, locCandidate);
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
    myRootIndex->Remove(Priv_View(anOldName), aRoot);
    myRootIndex->Add(Priv_View(aRoot->GetName()), aRoot);
}

bool VelkNameSpace::AddInstance(VelkType* anInstance)
{
    if (anInstance == nullptr || !myRootIndex->AddIfAbsent(Priv_View(anInstance->GetName()), anInstance))
        return false;
    if (!myInstances.Add(anInstance))
    {
        myRootIndex->Remove(Priv_View(anInstance->GetName()), anInstance);
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
        myRootIndex->Remove(Priv_View(anInstance->GetName()), anInstance);
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

// The first object of each wanted name in FindByName's order (roots in order,
// each depth first), found in one walk, so that a merge does not walk the
// whole namespace for every root it merges. Objects the merge adds are entered
// as they are added.
struct VelkNameSpace::MergeNames
{
    explicit MergeNames(VelkNameSpace& aNameSpace) : mySpace(aNameSpace) {}

    // Calls aVisit(object) in FindByName's order over the object and what it
    // holds (recursive, as FindByName is).
    template <class Visit> static void Walk(VelkType* anObject, Visit& aVisit)
    {
        aVisit(anObject);
        for (VelkType* locMember : anObject->GetMemberView())
            Walk(locMember, aVisit);
    }

    // A cheap first test of a name: its length, first and last character.
    static size_t Sketch(std::string_view aName)
    {
        if (aName.empty())
            return 0;
        return (aName.size() * 131 + (unsigned char) aName.front() * 31 + (unsigned char) aName.back()) % SKETCH_BITS;
    }

    void Want(const QC_String& aName)
    {
        std::string_view locName = Priv_View(aName);
        myFirst.emplace(locName, nullptr);
        mySketch[Sketch(locName)] = true;
    }

    // The entry of a name, or null when none is wanted.
    VelkType** Entry(const QC_String& aName)
    {
        std::string_view locName = Priv_View(aName);
        if (!mySketch[Sketch(locName)])
            return nullptr;
        auto locEntry = myFirst.find(locName);
        return locEntry != myFirst.end() ? &locEntry->second : nullptr;
    }

    void FindAll()
    {
        auto locVisit = [this](VelkType* anObject) {
            VelkType** locEntry = Entry(anObject->GetName());
            if (locEntry && *locEntry == nullptr)
                *locEntry = anObject;
        };
        for (VelkType* locRoot : mySpace.myInstances)
            Walk(locRoot, locVisit);
    }

    VelkType* Find(const QC_String& aName)
    {
        VelkType** locEntry = Entry(aName);
        return locEntry ? *locEntry : nullptr;
    }

    // An object just added, a root at the end or a member at the end of its
    // class: what it holds may come before the entries found so far (not
    // when it is the last root).
    void Added(VelkType* anObject, bool aLastRootFlag)
    {
        auto locVisit = [this, aLastRootFlag](VelkType* anAdded) {
            VelkType** locEntry = Entry(anAdded->GetName());
            if (locEntry && (*locEntry == nullptr || (!aLastRootFlag && Before(anAdded, *locEntry))))
                *locEntry = anAdded;
        };
        Walk(anObject, locVisit);
    }

    // True when aLeft comes before aRight in FindByName's order.
    bool Before(VelkType* aLeft, VelkType* aRight)
    {
        std::vector<VelkType*> locLeft;
        std::vector<VelkType*> locRight;
        for (VelkType* locObject = aLeft; locObject; locObject = locObject->GetParent())
            locLeft.push_back(locObject);
        for (VelkType* locObject = aRight; locObject; locObject = locObject->GetParent())
            locRight.push_back(locObject);
        std::reverse(locLeft.begin(), locLeft.end());
        std::reverse(locRight.begin(), locRight.end());
        size_t locSame = 0;
        while (locSame < locLeft.size() && locSame < locRight.size() && locLeft[locSame] == locRight[locSame])
            locSame++;
        if (locSame == locLeft.size() || locSame == locRight.size())
            return locSame == locLeft.size() && locSame < locRight.size();
        const VelkMembers& locSiblings =
            locSame == 0 ? mySpace.myInstances : locLeft[locSame - 1]->GetMemberView();
        for (VelkType* locSibling : locSiblings)
        {
            if (locSibling == locLeft[locSame])
                return true;
            if (locSibling == locRight[locSame])
                return false;
        }
        return false;
    }

    static constexpr size_t SKETCH_BITS = 1 << 14;
    VelkNameSpace& mySpace;
    std::unordered_map<std::string_view, VelkType*> myFirst;
    std::vector<bool> mySketch = std::vector<bool>(SKETCH_BITS);
};

bool VelkNameSpace::Merge(VelkNameSpace& anOther)
{
    QC_ListIterator<QC_String> locIncludes(&anOther.myIncludes);
    for (locIncludes.First(); !locIncludes.IsDone(); locIncludes.Next())
        AddInclude(Velk_Text(locIncludes.GetCurrent()));

    // By position: merging a namespace into itself may add to the array walked.
    if (&anOther == this)
    {
        for (int locIndex = 0; locIndex < anOther.myInstances.Count(); locIndex++)
            if (!MergeInstance(anOther.myInstances.At(locIndex)))
                return false;
        return true;
    }
    MergeNames locNames(*this);
    for (VelkType* locRoot : anOther.myInstances)
        locNames.Want(locRoot->GetName());
    locNames.FindAll();
    for (VelkType* locRoot : anOther.myInstances)
        if (!Priv_MergeInstance(locRoot, &locNames))
            return false;
    return true;
}

bool VelkNameSpace::MergeInstance(VelkType* anInstance)
{
    return Priv_MergeInstance(anInstance, nullptr);
}

bool VelkNameSpace::MergeMembers(VelkType* aTarget, VelkType* aSource)
{
    return Priv_MergeMembers(aTarget, aSource, nullptr);
}

bool VelkNameSpace::Priv_MergeInstance(VelkType* anInstance, MergeNames* aNames)
{
    VelkType* locFound =
        aNames ? aNames->Find(anInstance->GetName()) : FindByName(Velk_Text(anInstance->GetName()));
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
        if (aNames)
            aNames->Added(locCopy, true);
        return true;
    }
    if (locFound->GetTypeName() == anInstance->GetTypeName())
        return Priv_MergeMembers(locFound, anInstance, aNames);
    return true;
}

bool VelkNameSpace::Priv_MergeMembers(VelkType* aTarget, VelkType* aSource, MergeNames* aNames)
{
    for (VelkType* locMember : aSource->GetMemberView())
    {
        VelkType* locFound = aTarget->FindMember(Velk_Text(locMember->GetName()));
        if (locFound)
        {
            if (locFound->GetTypeName() == locMember->GetTypeName() && !Priv_MergeMembers(locFound, locMember, aNames))
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
        if (aNames)
            aNames->Added(locCopy, false);
    }
    return true;
}

void VelkNameSpace::Clear()
{
    myInstances.DeleteAll();
    myRootIndex->Clear();
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
