// The instance compiler, the reading of values and member blocks, and the
// ignore policies.
#include "velk/velk_compiler.h"

#include <memory>

#include "qcommon/qc_debug.h"
#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
// Member blocks nest through script classes that may hold their own type; the
// depth is bounded so a malformed file cannot exhaust the stack.
constexpr int VELK_MAX_BLOCK_DEPTH = 200;
int ourBlockDepth = 0;
}

// ---------------------------------------------------------------------------
// Values and member blocks
// ---------------------------------------------------------------------------

bool VelkType::Assign(ParseTool& aParseTool, const QC_String& aText, VelkTypeManager& aTypeManager,
                      VelkInstanceIgnorer* anIgnorer)
{
    if (Velk_Length(aText) == 0)
        return Priv_AssignBlock(aParseTool, aTypeManager, anIgnorer);

    QC_String locValue;
    QC_String locRest = ParseTool::GetRest(aText);
    if (Velk_Length(locRest) > 0)
    {
        QC_String locFirst = ParseTool::GetFirst(aText);
        SetName(Velk_Text(locFirst));
        locValue = locRest;
    }
    else
        locValue = aText;

    if (Velk_Length(locValue) > 0 && Velk_Text(locValue)[0] == '"')
        locValue = locValue.Right(Velk_Length(locValue) - 1);
    if (Velk_Length(locValue) > 0 && Velk_Text(locValue)[Velk_Length(locValue) - 1] == '"')
        locValue = locValue.Left(Velk_Length(locValue) - 1);

    if (!AssignValue(Velk_Text(locValue)))
    {
        VelkLog::ParseError(aParseTool, "Invalid value '%s' for instance '%s' of type '%s'", Velk_Text(aText),
                            Velk_Text(myName), Velk_Text(myTypeName));
        return false;
    }
    return true;
}

bool VelkClass::Assign(ParseTool& aParseTool, const QC_String& aText, VelkTypeManager& aTypeManager,
                       VelkInstanceIgnorer* anIgnorer)
{
    if (Velk_Length(aText) > 0)
        SetName(Velk_Text(aText));
    return Priv_AssignBlock(aParseTool, aTypeManager, anIgnorer);
}

bool VelkType::Priv_AssignBlock(ParseTool& aParseTool, VelkTypeManager& aTypeManager, VelkInstanceIgnorer* anIgnorer)
{
    QC_String locLine;
    if (!aParseTool.ReadLine(locLine) || locLine != "{")
    {
        VelkLog::ParseError(aParseTool, "Missing block start in instantiation of '%s' of class type '%s'", Velk_Text(myName),
                            Velk_Text(myTypeName));
        return false;
    }
    if (ourBlockDepth >= VELK_MAX_BLOCK_DEPTH)
    {
        VelkLog::ParseError(aParseTool, "Blocks nested deeper than %d levels in instantiation of '%s' of class type '%s'",
                            VELK_MAX_BLOCK_DEPTH, Velk_Text(myName), Velk_Text(myTypeName));
        return false;
    }
    struct DepthGuard
    {
        DepthGuard() { ourBlockDepth++; }
        ~DepthGuard() { ourBlockDepth--; }
    } locDepthGuard;

    while (aParseTool.ReadLine(locLine))
    {
        if (Velk_Length(locLine) == 0 || locLine == "{")
            continue;
        if (locLine == "}")
            break;
        QC_String locFirst = ParseTool::GetFirst(locLine);
        QC_String locRest = ParseTool::GetRest(locLine);
        if (VelkType* locMember = AddContent(aTypeManager, Velk_Text(locFirst)))
        {
            if (!locMember->Assign(aParseTool, locRest, aTypeManager, anIgnorer))
                return false;
            continue;
        }
        if (anIgnorer && anIgnorer->OkToIgnoreMember(Velk_Text(locFirst), Velk_Text(myTypeName), Velk_Text(myName)))
        {
            VelkLog::Log("VelkType::Assign(): User indicated that member '%s' of type '%s' should be ignored",
                         Velk_Text(locFirst), Velk_Text(myTypeName));
            if (!anIgnorer->SkipBlock(aParseTool))
            {
                VelkLog::ParseError(aParseTool, "Failed to perform user specified ignore of member '%s' of type '%s'",
                                    Velk_Text(locFirst), Velk_Text(myTypeName));
                return false;
            }
            continue;
        }
        VelkLog::ParseError(aParseTool, "Unknown member '%s' referenced in instantiation of '%s' of class type '%s'",
                            Velk_Text(locFirst), Velk_Text(myName), Velk_Text(myTypeName));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// VelkCompiler
// ---------------------------------------------------------------------------

VelkType* VelkCompiler::CreateInstance(const QC_String& aText, ParseTool& aParseTool, VelkType* aType,
                                       VelkTypeManager& aTypeManager, VelkInstanceIgnorer* anIgnorer)
{
    QC_String locName = ParseTool::GetFirst(aText);
    QC_String locValue = ParseTool::GetRest(aText);
    VelkType* locInstance = aType->Clone();
    if (locInstance == nullptr)
    {
        VelkLog::ParseError(aParseTool, "Allocation failure of instance '%s' of type '%s'", Velk_Text(locName),
                            Velk_Text(aType->GetTypeName()));
        return nullptr;
    }
    locInstance->SetName(Velk_Text(locName));
    if (!locInstance->Assign(aParseTool, locValue, aTypeManager, anIgnorer))
    {
        delete locInstance;
        return nullptr;
    }
    return locInstance;
}

bool VelkCompiler::Compile(VelkNameSpace& aNameSpace, const char* aFileName, VelkTypeManager* aTypeManager,
                           VelkInstanceIgnorer* anIgnorer)
{
    ParseTool locParseTool;
    if (!locParseTool.Open(aFileName))
        return false;
    return Priv_Compile(aNameSpace, locParseTool, aTypeManager, anIgnorer);
}

bool VelkCompiler::CompileText(VelkNameSpace& aNameSpace, const char* aFileName, const char* aText, size_t aLength,
                               VelkTypeManager* aTypeManager, VelkInstanceIgnorer* anIgnorer)
{
    ParseTool locParseTool;
    locParseTool.OpenText(aFileName, aText, aLength);
    return Priv_Compile(aNameSpace, locParseTool, aTypeManager, anIgnorer);
}

bool VelkCompiler::Priv_Compile(VelkNameSpace& aNameSpace, ParseTool& aParseTool, VelkTypeManager* aTypeManager,
                                VelkInstanceIgnorer* anIgnorer)
{
    const char* locFileName = Velk_Text(aParseTool.GetFileName());
    VelkLog::Log("--------------------------------------");
    VelkLog::Log("VelkCompiler::Compile(): Compiling %s", locFileName);
    VelkLog::Log("--------------------------------------");

    std::unique_ptr<VelkTypeManager> locOwnTypeManager;
    if (aTypeManager == nullptr)
    {
        locOwnTypeManager = std::make_unique<VelkTypeManager>();
        aTypeManager = locOwnTypeManager.get();
    }
    aTypeManager->Reset();

    QC_String locLine;
    while (aParseTool.ReadLine(locLine))
    {
        if (Velk_Length(locLine) == 0)
            continue;
        QC_String locFirst = ParseTool::GetFirst(locLine);
        QC_String locRest = ParseTool::GetRest(locLine);
        if (locFirst == "INCLUDE")
        {
            if (!aTypeManager->Compile(Velk_Text(locRest)))
            {
                VelkLog::ParseError(aParseTool, "Failed to compile '%s'", Velk_Text(locRest));
                return false;
            }
            aNameSpace.AddInclude(Velk_Text(locRest));
        }
        else if (VelkType* locType = aTypeManager->GetType(Velk_Text(locFirst)))
        {
            VelkType* locInstance = CreateInstance(locRest, aParseTool, locType, *aTypeManager, anIgnorer);
            if (locInstance == nullptr)
            {
                VelkLog::ParseError(aParseTool, "Failed to init new instance of type '%s'", Velk_Text(locFirst));
                return false;
            }
            if (!aNameSpace.AddInstance(locInstance))
            {
                VelkLog::ParseError(aParseTool, "Instance name '%s' already defined", Velk_Text(locInstance->GetName()));
                delete locInstance;
                return false;
            }
            VelkLog::Log("VelkCompiler::Compile(): Instantiated %s %s", Velk_Text(locFirst),
                         Velk_Text(locInstance->GetName()));
        }
        else if (Velk_Length(locRest) == 0)
            continue;
        else if (anIgnorer && anIgnorer->OkToIgnoreInstanceOfType(Velk_Text(locRest), Velk_Text(locFirst)))
        {
            VelkLog::Log("VelkCompiler::Compile(): User indicated that instance '%s' of unknown type '%s' should be ignored",
                         Velk_Text(locRest), Velk_Text(locFirst));
            if (!anIgnorer->SkipBlock(aParseTool))
            {
                VelkLog::ParseError(aParseTool, "Failed to perform user specified ignore of instance '%s' of type '%s'",
                                    Velk_Text(locRest), Velk_Text(locFirst));
                return false;
            }
        }
        else
        {
            VelkLog::ParseError(aParseTool, "Unknown type '%s'", Velk_Text(locFirst));
            return false;
        }
    }

    if (!aNameSpace.ResolveReferences(*aTypeManager))
    {
        VelkLog::ParseError(aParseTool, "Failed to resolve references");
        return false;
    }
    VelkLog::Log("VelkCompiler::Compile(): '%s' OK\n", locFileName);
    return true;
}

// ---------------------------------------------------------------------------
// Ignore policies
// ---------------------------------------------------------------------------

VelkMemberIgnorer::~VelkMemberIgnorer()
{
    myTree.DeleteAll();
}

bool VelkMemberIgnorer::Has(const char* aTypeName, const char* aMemberName)
{
    QC_List<QC_String>* locMembers = nullptr;
    if (!myTree.Find(QC_String(aTypeName), &locMembers, nullptr))
        return false;
    QC_ListIterator<QC_String> locIter(locMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent() == aMemberName)
            return true;
    return false;
}

bool VelkMemberIgnorer::Add(const char* aTypeName, const char* aMemberName)
{
    QC_List<QC_String>* locMembers = nullptr;
    if (!myTree.Find(QC_String(aTypeName), &locMembers, nullptr))
    {
        locMembers = new QC_List<QC_String>();
        if (!myTree.Add(locMembers, QC_String(aTypeName)))
        {
            delete locMembers;
            return false;
        }
    }
    return locMembers->Add(QC_String(aMemberName));
}

VelkInstanceIgnorer::~VelkInstanceIgnorer() = default;

bool VelkInstanceIgnorer::IsTypeIgnored(const char* aTypeName) const
{
    QC_ListIterator<QC_String> locIter(const_cast<QC_List<QC_String>*>(&myIgnoredTypes));
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent() == aTypeName)
            return true;
    return false;
}

bool VelkInstanceIgnorer::OkToIgnoreInstanceOfType(const char* anInstanceText, const char* aTypeName)
{
    if (IsTypeIgnored(aTypeName))
        return true;
    switch (Sub_OkToIgnoreInstanceOfType(aTypeName, anInstanceText))
    {
    case 0:
        myIgnoredTypes.Add(QC_String(aTypeName));
        return true;
    case 1:
        return true;
    default:
        return false;
    }
}

bool VelkInstanceIgnorer::OkToIgnoreMember(const char* aMemberName, const char* aTypeName, const char* anInstanceName)
{
    if (myIgnoredMembers.Has(aTypeName, aMemberName))
        return true;
    if (!Sub_OkToIgnoreMember(aTypeName, anInstanceName, aMemberName))
        return false;
    myIgnoredMembers.Add(aTypeName, aMemberName);
    return true;
}

bool VelkInstanceIgnorer::SkipBlock(ParseTool& aParseTool)
{
    // An ignored line that ends the file has no block to skip.
    if (aParseTool.IsEOF())
        return true;
    QC_String locLine;
    if (!aParseTool.PeekLine(locLine) || locLine != "{")
        return true;
    aParseTool.ReadLine(locLine);
    int locDepth = 1;
    while (locDepth > 0)
    {
        if (!aParseTool.ReadLine(locLine))
            return false;
        if (locLine == "{")
            locDepth++;
        else if (locLine == "}")
            locDepth--;
    }
    return true;
}

int EverythingIgnorer::Sub_OkToIgnoreInstanceOfType(const char* aTypeName, const char* anInstanceText)
{
    QC_Debug::Printf("EverythingIgnorer::Sub_OkToIgnoreInstanceOfType(): ignoring all instances of type '%s'", aTypeName);
    return 0;
}

bool EverythingIgnorer::Sub_OkToIgnoreMember(const char* aTypeName, const char* anInstanceName, const char* aMemberName)
{
    QC_Debug::Printf("EverythingIgnorer::Sub_OkToIgnoreMember(): ignoring member '%s' of instance '%s' of type '%s'",
                     aMemberName, anInstanceName, aTypeName);
    return true;
}
