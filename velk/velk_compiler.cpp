// The instance compiler, the reading of values and member blocks, and the
// ignore policies.
#include "velk/velk_compiler.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "qcommon/qc_cellpool.h"
#include "qcommon/qc_debug.h"
#include "velk/velk_arena.h"
#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
// Member blocks nest through script classes that may hold their own type; the
// depth is bounded (VELK_MAX_BLOCK_DEPTH) so a malformed file cannot exhaust the stack.
int ourBlockDepth = 0;
// Texts from this size on are large: their objects come by the hundred thousand.
constexpr size_t VELK_LARGE_TEXT = 4 * 1024 * 1024;

// The objects one compile has made, counted before each is made, and the root
// they go to, for the message that refuses one past the limit (set for each
// root before anything of it is made).
struct VelkCompileBudget
{
    uint64_t myObjects = 0;
    uint64_t myLimit = 0;
    const char* myRootName = "";
    const char* myRootType = "";
};
VelkCompileBudget* ourBudget = nullptr;
// The value just refused was cut short by the end of the text.
bool ourQuoteCut = false;

// False, with an error line, when anObjects more would pass the compile's limit.
// aMemberType names the script-class member that would hold them, or is null for a root.
bool Priv_TakeObjects(ParseTool& aParseTool, uint64_t anObjects, const char* aMemberType)
{
    if (ourBudget == nullptr)
        return true;
    if (anObjects <= ourBudget->myLimit - ourBudget->myObjects)
    {
        ourBudget->myObjects += anObjects;
        return true;
    }
    const unsigned long long locTotal = (unsigned long long)(ourBudget->myObjects + anObjects);
    if (aMemberType)
        VelkLog::ParseError(aParseTool,
                            "A member of type '%s' in instance '%s' of type '%s' would make %llu objects more, %llu in "
                            "all, more than the %llu this file may make",
                            aMemberType, ourBudget->myRootName, ourBudget->myRootType, (unsigned long long)anObjects,
                            locTotal, (unsigned long long)ourBudget->myLimit);
    else
        VelkLog::ParseError(aParseTool,
                            "Instance '%s' of type '%s' would make %llu objects more, %llu in all, more than the %llu "
                            "this file may make",
                            ourBudget->myRootName, ourBudget->myRootType, (unsigned long long)anObjects, locTotal,
                            (unsigned long long)ourBudget->myLimit);
    return false;
}
}

// ---------------------------------------------------------------------------
// Values and member blocks
// ---------------------------------------------------------------------------

namespace
{
// A NUL-terminated copy of part of a line, on the stack for line-sized text.
class VelkWord
{
public:
    VelkWord(const char* aText, int aLength)
    {
        if (aLength < (int)sizeof(myBuffer))
        {
            memcpy(myBuffer, aText, aLength);
            myBuffer[aLength] = 0;
            myText = myBuffer;
        }
        else
        {
            myLong.assign(aText, aLength);
            myText = myLong.c_str();
        }
    }
    const char* Get() const { return myText; }

private:
    char myBuffer[256];
    std::string myLong;
    const char* myText;
};

// A value in quotes that the text leaves open: aText is the value, or a name
// and the value.
bool Priv_HasOpenQuote(const char* aText, const char* aRest)
{
    const char* locValue = aText[0] == '"' ? aText : aRest;
    return locValue[0] == '"' && (locValue[1] == 0 || locValue[strlen(locValue) - 1] != '"');
}
}

bool VelkType::Assign(ParseTool& aParseTool, const char* aText, VelkTypeManager& aTypeManager,
                      VelkInstanceIgnorer* anIgnorer)
{
    if (aText == nullptr || aText[0] == 0)
        return Priv_AssignBlock(aParseTool, aTypeManager, anIgnorer);

    const int locLength = (int)strlen(aText);
    const char* locRest = "";
    const int locFirstLength = ParseTool::SplitFirst(aText, locLength, locRest);
    // A quote left open by the end of the text: the file was cut inside the value.
    if (aParseTool.IsEOF() && aParseTool.WasLineUnended() && Priv_HasOpenQuote(aText, locRest))
    {
        // With a name before the value, the line names the object.
        const bool locNamed = aText[0] != '"';
        VelkLog::ParseError(aParseTool, "The file ends inside the quoted value of '%s' of type '%s'",
                            locNamed ? VelkWord(aText, locFirstLength).Get() : Velk_Text(myName),
                            Velk_Text(GetTypeName()));
        ourQuoteCut = true;
        return false;
    }
    const char* locValue = aText;
    int locValueLength = locLength;
    if (locRest[0] != 0)
    {
        SetName(VelkWord(aText, locFirstLength).Get());
        locValue = locRest;
        locValueLength = locLength - (int)(locRest - aText);
    }
    if (locValueLength > 0 && locValue[0] == '"')
    {
        locValue++;
        locValueLength--;
    }
    if (locValueLength > 0 && locValue[locValueLength - 1] == '"')
        locValueLength--;

    // While a namespace is compiled, a value goes to its arena, packed: the
    // text read is given back as the compile goes on.
    VelkArenaLocal* locArena = VelkArenaLocal::GetCurrent();
    char* locCopy = locArena ? locArena->CopyText(locValue, (size_t)locValueLength) : nullptr;
    const bool locAssigned = locCopy ? Priv_AssignText(locArena, locCopy, locValueLength)
                                     : AssignValue(VelkWord(locValue, locValueLength).Get());
    if (!locAssigned)
    {
        VelkLog::ParseError(aParseTool, "Invalid value '%s' for instance '%s' of type '%s'", aText, Velk_Text(myName),
                            Velk_Text(GetTypeName()));
        return false;
    }
    return true;
}

bool VelkClass::Assign(ParseTool& aParseTool, const char* aText, VelkTypeManager& aTypeManager,
                       VelkInstanceIgnorer* anIgnorer)
{
    if (aText && aText[0] != 0)
        SetName(aText);
    return Priv_AssignBlock(aParseTool, aTypeManager, anIgnorer);
}

bool VelkType::Priv_AssignBlock(ParseTool& aParseTool, VelkTypeManager& aTypeManager, VelkInstanceIgnorer* anIgnorer)
{
    const char* locLine = nullptr;
    int locLength = 0;
    if (!aParseTool.ReadLineInPlace(locLine, locLength) || strcmp(locLine, "{") != 0)
    {
        VelkLog::ParseError(aParseTool, "Missing block start in instantiation of '%s' of class type '%s'", Velk_Text(myName),
                            Velk_Text(GetTypeName()));
        return false;
    }
    if (ourBlockDepth >= VELK_MAX_BLOCK_DEPTH)
    {
        VelkLog::ParseError(aParseTool, "Blocks nested deeper than %d levels in instantiation of '%s' of class type '%s'",
                            VELK_MAX_BLOCK_DEPTH, Velk_Text(myName), Velk_Text(GetTypeName()));
        return false;
    }
    struct DepthGuard
    {
        DepthGuard() { ourBlockDepth++; }
        ~DepthGuard() { ourBlockDepth--; }
    } locDepthGuard;

    const int locStartLine = aParseTool.GetLineCounter();
    bool locClosed = false;
    while (aParseTool.ReadLineInPlace(locLine, locLength))
    {
        if (locLength == 0)
            continue;
        if (strcmp(locLine, "{") == 0)
        {
            VelkLog::ParseError(aParseTool, "Stray '{' in the block of '%s' of class type '%s'; the line is skipped",
                                Velk_Text(myName), Velk_Text(GetTypeName()));
            continue;
        }
        if (strcmp(locLine, "}") == 0)
        {
            locClosed = true;
            break;
        }
        const char* locRest = "";
        const int locFirstLength = ParseTool::SplitFirst(locLine, locLength, locRest);
        const VelkWord locFirst(locLine, locFirstLength);
        // A script-class member is a clone of its type, made here: counted first.
        if (IsLegalMemberType(locFirst.Get()) &&
            !Priv_TakeObjects(aParseTool, aTypeManager.GetTypeSize(locFirst.Get()).myObjects, locFirst.Get()))
            return false;
        if (VelkType* locMember = AddContent(aTypeManager, locFirst.Get()))
        {
            if (!locMember->Assign(aParseTool, locRest, aTypeManager, anIgnorer))
            {
                // The innermost block a value cut short was in is named too.
                if (ourQuoteCut)
                {
                    ourQuoteCut = false;
                    VelkLog::ParseError(aParseTool,
                                        "The file ends inside the block begun at line %d, of '%s' of class type '%s'",
                                        locStartLine, Velk_Text(myName), Velk_Text(GetTypeName()));
                }
                return false;
            }
            continue;
        }
        if (anIgnorer && anIgnorer->OkToIgnoreMember(locFirst.Get(), Velk_Text(GetTypeName()), Velk_Text(myName)))
        {
            VelkLog::Log("VelkType::Assign(): User indicated that member '%s' of type '%s' should be ignored",
                         locFirst.Get(), Velk_Text(GetTypeName()));
            if (!anIgnorer->SkipBlock(aParseTool))
            {
                VelkLog::ParseError(aParseTool, "Failed to perform user specified ignore of member '%s' of type '%s'",
                                    locFirst.Get(), Velk_Text(GetTypeName()));
                return false;
            }
            continue;
        }
        VelkLog::ParseError(aParseTool, "Unknown member '%s' referenced in instantiation of '%s' of class type '%s'",
                            locFirst.Get(), Velk_Text(myName), Velk_Text(GetTypeName()));
        return false;
    }
    if (locClosed)
        return true;
    // A file cut short ends inside a block: what it holds is not the whole instance.
    if (!aParseTool.HasFailed())
        VelkLog::ParseError(aParseTool, "The file ends inside the block begun at line %d, of '%s' of class type '%s'",
                            locStartLine, Velk_Text(myName), Velk_Text(GetTypeName()));
    return false;
}

// ---------------------------------------------------------------------------
// VelkCompiler
// ---------------------------------------------------------------------------

VelkType* VelkCompiler::CreateInstance(const char* aText, ParseTool& aParseTool, VelkType* aType,
                                       VelkTypeManager& aTypeManager, VelkInstanceIgnorer* anIgnorer)
{
    if (aText == nullptr)
        aText = "";
    const char* locValue = "";
    const int locNameLength = ParseTool::SplitFirst(aText, (int)strlen(aText), locValue);
    const VelkWord locName(aText, locNameLength);
    if (ourBudget)
    {
        ourBudget->myRootName = locName.Get();
        ourBudget->myRootType = Velk_Text(aType->GetTypeName());
        if (!Priv_TakeObjects(aParseTool, aTypeManager.GetTypeSize(ourBudget->myRootType).myObjects, nullptr))
            return nullptr;
    }
    VelkType* locInstance = aType->Clone();
    if (locInstance == nullptr)
    {
        VelkLog::ParseError(aParseTool, "Allocation failure of instance '%s' of type '%s'", locName.Get(),
                            Velk_Text(aType->GetTypeName()));
        return nullptr;
    }
    locInstance->SetName(locName.Get());
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
    if (locParseTool.GetTextSize() >= VELK_LARGE_TEXT)
        QC_CellPool::ExpectMany();
    return Priv_Compile(aNameSpace, locParseTool, aTypeManager, anIgnorer);
}

bool VelkCompiler::CompileText(VelkNameSpace& aNameSpace, const char* aFileName, const char* aText, size_t aLength,
                               VelkTypeManager* aTypeManager, VelkInstanceIgnorer* anIgnorer)
{
    ParseTool locParseTool;
    if (!locParseTool.OpenText(aFileName, aText, aLength))
        return false;
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
    aParseTool.SetRefuseCutLines(true);

    // The instances take their names and values from the namespace's arena.
    VelkArena* locArena = aNameSpace.GetArena();
    VelkArenaLocal::Scope locArenaScope(locArena);

    VelkCompileBudget locBudget;
    locBudget.myLimit = VELK_MAX_COMPILE_OBJECTS + VELK_COMPILE_OBJECTS_PER_BYTE * aParseTool.GetTextSize();
    struct BudgetScope
    {
        explicit BudgetScope(VelkCompileBudget* aBudget) : myOuter(ourBudget) { ourBudget = aBudget; }
        ~BudgetScope() { ourBudget = myOuter; }
        VelkCompileBudget* myOuter;
    } locBudgetScope(&locBudget);
    ourQuoteCut = false;

    const char* locLine = nullptr;
    int locLength = 0;
    // Nothing made so far points into the lines read before: their text goes.
    while ((aParseTool.DiscardRead(), aParseTool.ReadLineInPlace(locLine, locLength)))
    {
        if (locLength == 0)
            continue;
        const char* locRestInLine = "";
        const int locFirstLength = ParseTool::SplitFirst(locLine, locLength, locRestInLine);
        const VelkWord locFirst(locLine, locFirstLength);
        if (strcmp(locFirst.Get(), "INCLUDE") == 0)
        {
            const QC_String locRest(locRestInLine);
            // Types belong to the type manager, not to the namespace.
            VelkArenaLocal::Scope locNoArena(nullptr);
            if (!aTypeManager->Compile(Velk_Text(locRest)))
            {
                VelkLog::ParseError(aParseTool, "Failed to compile '%s'", Velk_Text(locRest));
                return false;
            }
            aNameSpace.AddInclude(Velk_Text(locRest));
        }
        else if (VelkType* locType = aTypeManager->GetType(locFirst.Get()))
        {
            VelkType* locInstance = CreateInstance(locRestInLine, aParseTool, locType, *aTypeManager, anIgnorer);
            if (locInstance == nullptr)
            {
                VelkLog::ParseError(aParseTool, "Failed to init new instance of type '%s'", locFirst.Get());
                return false;
            }
            if (!aNameSpace.AddInstance(locInstance))
            {
                VelkLog::ParseError(aParseTool, "Instance name '%s' already defined", Velk_Text(locInstance->GetName()));
                delete locInstance;
                return false;
            }
            VelkLog::Log("VelkCompiler::Compile(): Instantiated %s %s", locFirst.Get(), Velk_Text(locInstance->GetName()));
        }
        else if (locRestInLine[0] == 0)
        {
            // A brace alone here belongs to no block: one is missing or left over.
            if (strcmp(locFirst.Get(), "{") == 0 || strcmp(locFirst.Get(), "}") == 0)
                VelkLog::ParseError(aParseTool, "Stray '%s' outside any block; the line is skipped", locFirst.Get());
            continue;
        }
        else
        {
            // The line buffer is reused by the skip.
            const QC_String locRest(locRestInLine);
            if (anIgnorer && anIgnorer->OkToIgnoreInstanceOfType(Velk_Text(locRest), locFirst.Get()))
            {
                VelkLog::Log("VelkCompiler::Compile(): User indicated that instance '%s' of unknown type '%s' should be ignored",
                             Velk_Text(locRest), locFirst.Get());
                if (!anIgnorer->SkipBlock(aParseTool))
                {
                    VelkLog::ParseError(aParseTool, "Failed to perform user specified ignore of instance '%s' of type '%s'",
                                        Velk_Text(locRest), locFirst.Get());
                    return false;
                }
            }
            else
            {
                VelkLog::ParseError(aParseTool, "Unknown type '%s'", locFirst.Get());
                return false;
            }
        }
    }

    // A line too long to read whole has been reported where it stands.
    if (aParseTool.HasFailed())
        return false;
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
