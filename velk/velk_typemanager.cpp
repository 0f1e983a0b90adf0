// The type manager, the .fruit compiler and the declaration blocks of the
// class, script-class and enumerated metatypes.
#include "velk/velk_typemanager.h"

#include <cstring>

#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_names.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_type.h"

namespace
{
std::string_view Priv_View(const QC_String& aString)
{
    return std::string_view(Velk_Text(aString), Velk_Length(aString));
}

QC_String Priv_Lower(const char* aText)
{
    QC_String locLower(aText);
    locLower.MakeLower();
    return locLower;
}

bool Priv_ListHas(const QC_List<QC_String>& aList, const QC_String& aText)
{
    QC_ListIterator<QC_String> locIter(const_cast<QC_List<QC_String>*>(&aList));
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent() == aText)
            return true;
    return false;
}

// Reads the "{" that opens the declaration block of aTypeName, a type of aKind.
bool Priv_ReadBlockStart(ParseTool& aParseTool, const char* aKind, const QC_String& aTypeName)
{
    QC_String locLine;
    if (aParseTool.ReadLine(locLine) && locLine == "{")
        return true;
    VelkLog::ParseError(aParseTool, "Missing block start in declaration of %s '%s'", aKind, Velk_Text(aTypeName));
    return false;
}

// The next non-empty line of a declaration block; false at its "}" or at the end of the text.
bool Priv_ReadBlockLine(ParseTool& aParseTool, QC_String& aLine)
{
    while (aParseTool.ReadLine(aLine))
        if (Velk_Length(aLine) > 0)
            return aLine != "}";
    return false;
}
}

VelkTypeManager::VelkTypeManager()
    : myTypeNameIndex(std::make_unique<VelkNameIndex>()), myTypeIndex(std::make_unique<VelkNameIndex>()),
      myRefTypeIndex(std::make_unique<VelkNameIndex>())
{
    RegisterBuiltins();
}

VelkTypeManager::~VelkTypeManager()
{
    Priv_DeleteTypes();
}

void VelkTypeManager::Priv_DeleteTypes()
{
    myTypes.DeleteAll();
    myRefTypes.DeleteAll();
    myTypeIndex->Clear();
    myRefTypeIndex->Clear();
    mySizes.clear();
    myTypeObjects = 0;
}

void VelkTypeManager::Reset()
{
    Priv_DeleteTypes();
    myTypeNames.RemoveAll();
    myTypeNameIndex->Clear();
    myCompiledFiles.RemoveAll();
    RegisterBuiltins();
}

void VelkTypeManager::RegisterBuiltins()
{
    ParseTool locNoFile;
    CreateType(locNoFile, "NUMBER", "NUMBER", "0");
    CreateType(locNoFile, "DECIMAL", "DECIMAL", "0.0");
    CreateType(locNoFile, "TEXT", "TEXT", VELK_EMPTY);
    CreateType(locNoFile, "FILE", "FILE", VELK_EMPTY);
    CreateType(locNoFile, "LOCTEXT", "LOCTEXT", VELK_EMPTY);
}

bool VelkTypeManager::Compile(const char* aFileName)
{
    QC_String locLower = Priv_Lower(aFileName);
    if (Priv_ListHas(myCompiledFiles, locLower))
    {
        VelkLog::Log("'%s' already compiled, skipping...", aFileName);
        return true;
    }
    myCompiledFiles.Add(locLower);

    ParseTool locParseTool;
    if (!locParseTool.Open(aFileName))
        return false;
    locParseTool.SetRefuseCutLines(true);
    VelkLog::Log("VelkTypeManager::Compile(): Compiling %s", aFileName);

    QC_String locLine;
    while (locParseTool.ReadLine(locLine))
    {
        if (Velk_Length(locLine) == 0)
            continue;
        QC_String locFirst = ParseTool::GetFirst(locLine);
        QC_String locRest = ParseTool::GetRest(locLine);
        if (locFirst == "INCLUDE")
        {
            if (!Compile(Velk_Text(locRest)))
            {
                VelkLog::ParseError(locParseTool, "Failed to compile '%s'", Velk_Text(locRest));
                return false;
            }
            QC_String locIncluded = Priv_Lower(Velk_Text(locRest));
            myIncludedFiles.Add(locIncluded);
        }
        else if (CreateType(locParseTool, Velk_Text(locFirst), Velk_Text(locRest), "") == nullptr)
        {
            VelkLog::ParseError(locParseTool, "Syntax error '%s'", Velk_Text(locRest));
            return false;
        }
    }
    return !locParseTool.HasFailed();
}

VelkType* VelkTypeManager::CreateType(ParseTool& aParseTool, const char* aMetaTypeName, const char* aTypeName,
                                      const char* aDefault)
{
    VelkType* locUnused = nullptr;
    if (myTypeNameIndex->Lookup(aTypeName, locUnused) != VelkNameIndex::LOOKUP_ABSENT)
    {
        VelkLog::ParseError(aParseTool, "Typename '%s' already defined", aTypeName);
        return nullptr;
    }
    // A type and its reference type each take a type name's number.
    if (!VelkTypeName::NumbersLeft(2))
    {
        VelkLog::ParseError(aParseTool, "Too many type names: '%s' is one more than the 65535 a process holds", aTypeName);
        return nullptr;
    }
    myTypeNames.Add(QC_String(aTypeName));
    myTypeNameIndex->Add(aTypeName, nullptr);

    VelkType* locMetaType = VelkMetaTypes::Find(aMetaTypeName);
    if (locMetaType == nullptr)
        return nullptr;

    // Made before the type itself, so a class may refer to its own type.
    if (strlen(aTypeName) + 1 <= (size_t)VELK_MAX_STRING)
    {
        QC_String locRefTypeName;
        locRefTypeName.Format("%s*", aTypeName);
        VelkRef* locRefType = new VelkRef(Velk_Text(locRefTypeName), VELK_PROTOTYPE);
        myRefTypes.Add(locRefType);
        myRefTypeIndex->Add(Priv_View(locRefTypeName), locRefType);
    }

    VelkType* locType = locMetaType->CreateFromPrototype(aTypeName, VELK_PROTOTYPE, aDefault);
    if (locType == nullptr)
        return nullptr;
    if (!locType->Construct(*this, aParseTool))
    {
        delete locType;
        return nullptr;
    }
    myTypes.Add(locType);
    myTypeIndex->Add(Priv_View(locType->GetTypeName()), locType);
    return locType;
}

VelkType* VelkTypeManager::GetType(const char* aTypeName) const
{
    VelkType* locType = nullptr;
    myTypeIndex->Lookup(aTypeName ? aTypeName : "", locType);
    return locType;
}

VelkType* VelkTypeManager::GetRefType(const char* aTypeName) const
{
    VelkType* locType = nullptr;
    myRefTypeIndex->Lookup(aTypeName ? aTypeName : "", locType);
    return locType;
}

void VelkTypeManager::GetTypes(QC_List<VelkType*>& anOut) const
{
    anOut = myTypes;
}

int VelkTypeManager::GetNumTypes() const
{
    return Velk_Count(myTypes);
}

VelkTypeSize VelkTypeManager::GetTypeSize(const char* aTypeName) const
{
    auto locFound = mySizes.find(aTypeName ? aTypeName : "");
    return locFound == mySizes.end() ? VelkTypeSize() : locFound->second;
}

bool VelkTypeManager::IsSizeAllowed(const VelkTypeSize& aSize) const
{
    return aSize.myObjects <= VELK_MAX_INSTANCE_OBJECTS && aSize.myDepth <= VELK_MAX_BLOCK_DEPTH &&
           myTypeObjects <= VELK_MAX_TYPE_OBJECTS && aSize.myObjects <= VELK_MAX_TYPE_OBJECTS - myTypeObjects;
}

void VelkTypeManager::ReportSize(ParseTool& aParseTool, const char* aTypeName, const VelkTypeSize& aSize) const
{
    if (aSize.myDepth > VELK_MAX_BLOCK_DEPTH)
        VelkLog::ParseError(aParseTool,
                            "Type '%s' nests %d levels of member blocks, more than the %d a .velk file may hold",
                            aTypeName, aSize.myDepth, VELK_MAX_BLOCK_DEPTH);
    else if (aSize.myObjects > VELK_MAX_INSTANCE_OBJECTS)
        VelkLog::ParseError(aParseTool, "Type '%s' is too large: an instance would hold %llu objects, more than %llu",
                            aTypeName, (unsigned long long)aSize.myObjects,
                            (unsigned long long)VELK_MAX_INSTANCE_OBJECTS);
    else
        VelkLog::ParseError(aParseTool,
                            "Type '%s' is too large: with its %llu objects the types would hold %llu, more than %llu",
                            aTypeName, (unsigned long long)aSize.myObjects,
                            (unsigned long long)(myTypeObjects + aSize.myObjects),
                            (unsigned long long)VELK_MAX_TYPE_OBJECTS);
}

void VelkTypeManager::SetTypeSize(const char* aTypeName, const VelkTypeSize& aSize)
{
    // A type name is declared once: nothing noted before is replaced.
    if (mySizes.try_emplace(aTypeName, aSize).second)
        myTypeObjects += aSize.myObjects;
}

bool VelkTypeManager::AddType(int aMetaTypeIndex, const char* aTypeName, const char* aDefault)
{
    return false;
}

// ---------------------------------------------------------------------------
// Declaration blocks
// ---------------------------------------------------------------------------

bool VelkEnum::Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool)
{
    if (!myLegalValues.MakeNew())
        return false;
    QC_String locLine;
    if (!Priv_ReadBlockStart(aParseTool, "enumerated type", GetTypeName()))
        return false;
    while (Priv_ReadBlockLine(aParseTool, locLine))
    {
        if (!myLegalValues->Add(locLine))
        {
            VelkLog::Log("VelkEnum::Construct(): Failed to add new value '%s' to range of type '%s', was it doubly defined?",
                         Velk_Text(locLine), Velk_Text(GetTypeName()));
            return false;
        }
    }
    VelkLog::Log("VelkEnum::Construct(): Constructed type '%s'", Velk_Text(GetTypeName()));
    return true;
}

bool VelkClass::Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool)
{
    if (!myDeclaredNames.MakeNew())
        return false;
    QC_String locLine;
    if (!Priv_ReadBlockStart(aParseTool, "class type", GetTypeName()))
        return false;
    // Counted before each member is cloned: a type too large is refused
    // before it is made, its size counted to the block's end for the message.
    VelkTypeSize locSize;
    locSize.myDepth = 1;
    bool locTooLarge = false;
    while (Priv_ReadBlockLine(aParseTool, locLine))
    {
        QC_String locMemberType = ParseTool::GetFirst(locLine);
        QC_String locRest = ParseTool::GetRest(locLine);
        QC_String locMemberName = ParseTool::GetFirst(locRest);
        QC_String locDefault = ParseTool::GetRest(locRest);

        const bool locIsRef = Velk_Length(locMemberType) > 0 && Velk_Text(locMemberType)[Velk_Length(locMemberType) - 1] == '*';
        VelkType* locType = locIsRef ? aTypeManager.GetRefType(Velk_Text(locMemberType))
                                     : aTypeManager.GetType(Velk_Text(locMemberType));
        if (locType == nullptr)
        {
            VelkLog::ParseError(aParseTool,
                                locIsRef ? "Undefined reference type '%s' for member '%s' in declaration of class type '%s'"
                                         : "Undefined type '%s' for member '%s' in declaration of class type '%s'",
                                Velk_Text(locMemberType), Velk_Text(locMemberName), Velk_Text(GetTypeName()));
            return false;
        }
        const VelkTypeSize locMemberSize = locIsRef ? VelkTypeSize() : aTypeManager.GetTypeSize(Velk_Text(locMemberType));
        locSize.myObjects += locMemberSize.myObjects;
        if (locMemberSize.myDepth + 1 > locSize.myDepth)
            locSize.myDepth = locMemberSize.myDepth + 1;
        locTooLarge = locTooLarge || !aTypeManager.IsSizeAllowed(locSize);
        if (locTooLarge)
            continue;
        VelkType* locMember = locType->Clone();
        if (locMember == nullptr)
        {
            VelkLog::ParseError(aParseTool, "Failed to clone type prototype '%s'", Velk_Text(locMemberType));
            return false;
        }
        locMember->SetName(Velk_Text(locMemberName));
        if (Velk_Length(locDefault) > 0)
            locMember->AssignValue(Velk_Text(locDefault));
        if (!AddMember(locMember))
        {
            delete locMember;
            VelkLog::ParseError(aParseTool,
                                locIsRef ? "Failed to add reference member '%s' in declaration of class type '%s'"
                                         : "Failed to add member '%s' in declaration of class type '%s'",
                                Velk_Text(locMemberName), Velk_Text(GetTypeName()));
            return false;
        }
        myDeclaredNames->Add(locMemberName);
    }
    if (locTooLarge)
    {
        aTypeManager.ReportSize(aParseTool, Velk_Text(GetTypeName()), locSize);
        return false;
    }
    aTypeManager.SetTypeSize(Velk_Text(GetTypeName()), locSize);
    VelkLog::Log("VelkClass::Construct(): Constructed type '%s'", Velk_Text(GetTypeName()));
    return true;
}

bool VelkScriptClass::Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool)
{
    if (!myLegalTypes.MakeNew())
        return false;
    QC_String locLine;
    if (!Priv_ReadBlockStart(aParseTool, "scriptclass type", GetTypeName()))
        return false;
    while (Priv_ReadBlockLine(aParseTool, locLine))
    {
        myLegalTypes->Append(locLine);
    }
    // Members come with the instances; the block itself nests one level.
    VelkTypeSize locSize;
    locSize.myDepth = 1;
    aTypeManager.SetTypeSize(Velk_Text(GetTypeName()), locSize);
    VelkLog::Log("VelkScriptClass::Construct(): Constructed type '%s'", Velk_Text(GetTypeName()));
    return true;
}
