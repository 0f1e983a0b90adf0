// The common behaviour of every Velk object, the scalars, the enumerated types,
// the references and the metatype prototypes.
//
// [SECTION] VelkType   shared type names, the base behaviour, conversions
// [SECTION] VelkFree   scalars
// [SECTION] VelkEnum   enumerated types
// [SECTION] VelkRef    references and their targets
// [SECTION] Metatypes  the process-wide prototypes
#include "velk/velk_type.h"

#include <charconv>
#include <deque>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <new>

#include "qcommon/qc_assert.h"
#include "qcommon/qc_cellpool.h"
#include "qcommon/qc_keytree.h"
#include "qcommon/qc_mem.h"
#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"

const char* const VELK_NULL = "NULL";
const char* const VELK_EMPTY = "<empty>";
const char* const VELK_INVALID_DEREF = "<INVALID DEREFERENCE>";
const char* const VELK_PROTOTYPE = "PROTOTYPE";
const char VELK_PATH_SEPARATOR = '.';
const char* const VELK_MEMBER_NAME_PATTERN = "%s(%d)";
const char* const VELK_PATH_PATTERN = "%s.%s";

namespace
{
const QC_String& Priv_EmptyString()
{
    static const QC_String* ourEmpty = new QC_String();
    return *ourEmpty;
}

// Numbers in text are read as the C library's atoi and atof read them in the C
// locale, whatever locale the program runs under.
int Priv_TextToInt(const char* aText)
{
    while (*aText == ' ' || (*aText >= '\t' && *aText <= '\r'))
        aText++;
    bool locNegative = false;
    if (*aText == '-' || *aText == '+')
        locNegative = *aText++ == '-';
    long long locValue = 0;
    while (*aText >= '0' && *aText <= '9')
    {
        locValue = locValue * 10 + (*aText++ - '0');
        if (locValue > 0x80000000LL)
            locValue = 0x80000000LL;
    }
    if (locNegative)
        locValue = -locValue;
    if (locValue > 0x7FFFFFFFLL)
        locValue = 0x7FFFFFFFLL;
    return (int)locValue;
}

float Priv_TextToFloat(const char* aText)
{
    while (*aText == ' ' || (*aText >= '\t' && *aText <= '\r'))
        aText++;
    if (*aText == '+')
        aText++;
    float locValue = 0.0f;
    std::from_chars(aText, aText + strlen(aText), locValue);
    return locValue;
}
}

// ---------------------------------------------------------------------------
// [SECTION] VelkType
// ---------------------------------------------------------------------------

namespace
{
struct VelkTypeNameEntry
{
    QC_String myName;
    int myUseCount = 0;
};

// Never destroyed: objects may outlive the static objects of this file.
struct VelkTypeNameTable
{
    std::unordered_map<std::string, uint16_t, VelkStringHash, std::equal_to<>> myNumbers;
    // By number; entry 0 is the empty name and is never counted.
    // A deque: the names handed out stay where they are while it grows.
    std::deque<VelkTypeNameEntry> myEntries = std::deque<VelkTypeNameEntry>(1);
    std::vector<uint16_t> myFree;
};

VelkTypeNameTable& Priv_TypeNames()
{
    static VelkTypeNameTable* ourNames = new VelkTypeNameTable();
    return *ourNames;
}
}

uint16_t VelkTypeName::Acquire(const char* aName)
{
    if (aName == nullptr || aName[0] == 0)
        return 0;
    VelkTypeNameTable& locNames = Priv_TypeNames();
    auto locIt = locNames.myNumbers.find(std::string_view(aName));
    if (locIt != locNames.myNumbers.end())
    {
        locNames.myEntries[locIt->second].myUseCount++;
        return locIt->second;
    }
    uint16_t locNumber;
    if (!locNames.myFree.empty())
    {
        locNumber = locNames.myFree.back();
        locNames.myFree.pop_back();
    }
    else if (locNames.myEntries.size() <= 65535)
    {
        locNumber = uint16_t(locNames.myEntries.size());
        locNames.myEntries.emplace_back();
    }
    else
        return 0;
    locNames.myEntries[locNumber].myName = aName;
    locNames.myEntries[locNumber].myUseCount = 1;
    locNames.myNumbers.emplace(std::string(aName), locNumber);
    return locNumber;
}

void VelkTypeName::AddRef(uint16_t aNumber)
{
    if (aNumber)
        Priv_TypeNames().myEntries[aNumber].myUseCount++;
}

void VelkTypeName::Release(uint16_t aNumber)
{
    if (aNumber == 0)
        return;
    VelkTypeNameTable& locNames = Priv_TypeNames();
    VelkTypeNameEntry& locEntry = locNames.myEntries[aNumber];
    if (--locEntry.myUseCount > 0)
        return;
    auto locIt = locNames.myNumbers.find(std::string_view(locEntry.myName.GetBuffer(), locEntry.myName.GetLength()));
    if (locIt != locNames.myNumbers.end())
        locNames.myNumbers.erase(locIt);
    locEntry.myName = QC_String();
    locNames.myFree.push_back(aNumber);
}

const QC_String& VelkTypeName::Get(uint16_t aNumber)
{
    return Priv_TypeNames().myEntries[aNumber].myName;
}

bool VelkTypeName::NumbersLeft(size_t aCount)
{
    const VelkTypeNameTable& locNames = Priv_TypeNames();
    return locNames.myFree.size() + (65536 - locNames.myEntries.size()) >= aCount;
}

void* VelkType::operator new(size_t aSize)
{
    // As the common library's allocations: no memory ends the program.
    void* locCell = QC_CellPool::Allocate(aSize);
    if (locCell == nullptr)
        QC_Mem::FatalError("Velk: out of memory allocating an object of %zu bytes", aSize);
    return locCell;
}

void* VelkType::operator new(size_t aSize, const std::nothrow_t&) noexcept
{
    return QC_CellPool::Allocate(aSize);
}

void VelkType::operator delete(void* anObject, size_t aSize) noexcept
{
    if (anObject)
        QC_CellPool::Free(anObject, aSize);
}

const QC_String& VelkName::Get() const
{
    return myShared ? myShared->myText : Priv_EmptyString();
}

void VelkName::SetTypeName(const char* aTypeName)
{
    const uint16_t locNumber = VelkTypeName::Acquire(aTypeName);
    if (myShared && myShared->myUseCount == 1)
    {
        // The record is this name's alone: it changes in place.
        VelkTypeName::Release(myShared->myTypeNumber);
        myShared->myTypeNumber = locNumber;
        return;
    }
    Shared* locShared = Priv_Make(Get().GetBuffer(), locNumber);
    Priv_Release(myShared);
    myShared = locShared;
}

VelkName::Shared* VelkName::Priv_Make(const char* aName, uint16_t aTypeNumber)
{
    if (aName == nullptr)
        aName = "";
    if (aName[0] == 0 && aTypeNumber == 0)
        return nullptr;
    // Names made while a namespace is compiled go to its arena.
    VelkArenaLocal* locArena = VelkArenaLocal::GetCurrent();
    if (locArena && locArena->GetNumber())
    {
        // The record and its text in one piece: the length word, the text, the NUL.
        const size_t locLength = strlen(aName);
        char* locCell = locLength < 65535
                            ? static_cast<char*>(locArena->Allocate(sizeof(Shared) + 2 + locLength + 1, alignof(Shared)))
                            : nullptr;
        if (locCell)
        {
            char* locText = locCell + sizeof(Shared) + 2;
            const uint16_t locWord = static_cast<uint16_t>(locLength);
            memcpy(locText - 2, &locWord, 2);
            memcpy(locText, aName, locLength + 1);
            Shared* locShared = new (locCell) Shared{QC_String(), 1, 0, locArena->GetNumber(), aTypeNumber};
            locShared->myText.Borrow(locText);
            locArena->AddRef();
            return locShared;
        }
    }
    Shared* locShared = new (std::nothrow) Shared{QC_String(aName), 1, 0, 0, aTypeNumber};
    if (locShared == nullptr)
        VelkTypeName::Release(aTypeNumber);
    return locShared;
}

void VelkName::Priv_Release(Shared* aShared)
{
    if (aShared == nullptr || --aShared->myUseCount > 0)
        return;
    VelkTypeName::Release(aShared->myTypeNumber);
    if (VelkArenaLocal* locArena = VelkArenaLocal::FromNumber(aShared->myArenaNumber))
    {
        // The cell and the text go with the arena.
        aShared->myText.Unborrow();
        locArena->Release();
        return;
    }
    delete aShared;
}

VelkType::VelkType(const char* aTypeName, const char* aName)
    : myName(aTypeName, aName)
{
}

VelkArenaHold VelkType::Priv_TextHold()
{
    return VelkArenaHold(myOwner);
}

VelkArena* VelkType::Priv_TextArena() const
{
    return VelkArenaLocal::FromNumber(uint16_t(myOwner >> VELK_ARENA_SHIFT));
}

void VelkType::Priv_OwnerOutOfReach(uintptr_t anOwner)
{
    QC_Mem::FatalError("Velk: an object's owner at %p lies above the %u bits an owner may take", (void*)anOwner,
                       VELK_ARENA_SHIFT);
}

VelkType::~VelkType() = default;

const QC_String& VelkType::GetValue() const
{
    return Priv_EmptyString();
}

VelkType* VelkType::GetMemberAt(int anIndex)
{
    return nullptr;
}

VelkType* VelkType::AddContent(VelkTypeManager& aTypeManager, const char* aText)
{
    return FindMember(aText);
}

VelkType* VelkType::FindMember(const char* aName)
{
    return nullptr;
}

QC_List<VelkType*>& VelkType::GetMembers()
{
    static QC_List<VelkType*>* ourEmptyList = new QC_List<VelkType*>();
    return *ourEmptyList;
}

const VelkMembers& VelkType::GetMemberView() const
{
    static const VelkMembers* ourEmpty = new VelkMembers();
    return *ourEmpty;
}

int VelkType::GetNumMembers() const
{
    return 0;
}

bool VelkType::SetMemberOrder(const QC_List<QC_String>& aNames)
{
    return false;
}

void VelkType::DeleteMembers()
{
}

bool VelkType::DeleteMember(VelkType* aMember)
{
    return false;
}

bool VelkType::DeleteMemberNamed(const char* aName)
{
    return false;
}

bool VelkType::DetachMember(VelkType* aMember)
{
    return false;
}

bool VelkType::HasMember(VelkType* aMember)
{
    return false;
}

bool VelkType::IsLegalMemberType(const char* aTypeName) const
{
    return false;
}

bool VelkType::AssignValue(const char* aText)
{
    return false;
}

bool VelkType::Priv_AssignText(VelkArena* anArena, char* aText, int aLength)
{
    return AssignValue(aText);
}

bool VelkType::AddMember(VelkType* aMember)
{
    return true;
}

bool VelkType::ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace)
{
    return true;
}

void VelkType::GetLegalValues(QC_List<QC_String>& anOut) const
{
}

bool VelkType::Contains(VelkType* anObject)
{
    return anObject == this;
}

VelkType* VelkType::FindByName(const char* aName)
{
    return myName == aName ? this : nullptr;
}

bool VelkType::GetMemberPath(const char* aPrefix, VelkType* aTarget, QC_String& anOut)
{
    if (aTarget != this)
        return false;
    if (aPrefix == nullptr || aPrefix[0] == 0)
    {
        anOut = myName;
        return true;
    }
    // A path that would not fit a string is not a path.
    if ((long)strlen(aPrefix) + 1 + Velk_Length(myName) > VELK_MAX_STRING)
        return false;
    anOut.Format(VELK_PATH_PATTERN, aPrefix, Velk_Text(myName));
    return true;
}

void VelkType::SetName(const char* aName)
{
    if (GetParent() == nullptr && GetRootNameSpace() == nullptr)
    {
        myName = aName;
        return;
    }
    QC_String locOldName(myName);
    myName = aName;
    if (VelkClass* locParent = GetParent())
        locParent->Priv_MemberRenamed(this, locOldName);
    else
        GetRootNameSpace()->Priv_RootRenamed(this, locOldName);
}

int VelkType::GetValueAsInt() const
{
    return Priv_TextToInt(Velk_Text(GetValue()));
}

QC_String VelkType::GetMemberValue(const char* aName)
{
    VelkType* locMember = FindMember(aName);
    if (locMember == nullptr)
    {
        VelkLog::Error("VelkType::GetMemberValue(): Failed to find member for name '%s'", aName);
        return QC_String(VELK_INVALID_DEREF);
    }
    return locMember->GetValue();
}

int VelkType::GetMemberValueAsInt(const char* aName)
{
    QC_String locValue = GetMemberValue(aName);
    return Priv_TextToInt(Velk_Text(locValue));
}

float VelkType::GetMemberValueAsFloat(const char* aName)
{
    QC_String locValue = GetMemberValue(aName);
    return Priv_TextToFloat(Velk_Text(locValue));
}

bool VelkType::AssignInt(int aValue)
{
    char locText[16];
    snprintf(locText, sizeof(locText), "%d", aValue);
    return AssignValue(locText);
}

bool VelkType::AssignFloat(float aValue)
{
    // "%f" in the C locale.
    char locText[64];
    auto locResult = std::to_chars(locText, locText + sizeof(locText) - 1, aValue, std::chars_format::fixed, 6);
    *locResult.ptr = 0;
    return AssignValue(locText);
}

VelkType* VelkType::CloneAs(const char* aNewName) const
{
    VelkType* locCopy = Clone();
    if (locCopy)
        locCopy->SetName(aNewName);
    return locCopy;
}

VelkType* VelkType::CreateFromPrototype(const char* aTypeName, const char* aName, const char* aDefault) const
{
    VelkType* locCopy = Clone();
    if (locCopy == nullptr)
        return nullptr;
    // Renamed first: the record made for the new name then takes the type in place.
    locCopy->SetName(aName);
    locCopy->SetTypeName(aTypeName);
    if (!locCopy->SetDefaultValue(aDefault))
    {
        delete locCopy;
        return nullptr;
    }
    return locCopy;
}

// ---------------------------------------------------------------------------
// [SECTION] VelkFree
// ---------------------------------------------------------------------------

VelkFree::VelkFree(const char* aTypeName, const char* aName, bool anIsFileFlag)
    : VelkType(aTypeName, aName)
{
    Priv_SetMark(MARK_A, anIsFileFlag);
}

VelkFree::~VelkFree()
{
    myValue.Drop(Priv_TextHold());
}

const QC_String& VelkFree::GetValue() const
{
    return myValue;
}

bool VelkFree::Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool)
{
    VelkLog::Log("VelkFree::Construct(): Constructed type '%s'", Velk_Text(GetTypeName()));
    return true;
}

VelkType* VelkFree::Clone() const
{
    VelkFree* locCopy = new (std::nothrow) VelkFree(nullptr, nullptr, IsFile());
    if (locCopy)
    {
        locCopy->myName = myName;
        locCopy->myValue.Assign(locCopy->Priv_TextHold(), myValue, Priv_TextArena());
    }
    return locCopy;
}

bool Velk_IsNumberValue(const QC_String& aTypeName, const char* aValue)
{
    const bool locWholeFlag = aTypeName == "NUMBER";
    if (!locWholeFlag && !(aTypeName == "DECIMAL"))
        return true;
    if (aValue == nullptr || aValue[0] == 0 || strcmp(aValue, VELK_EMPTY) == 0)
        return true;
    const char* locAt = aValue;
    if (*locAt == '+' || *locAt == '-')
        locAt++;
    const char* locDigits = locAt;
    long long locMagnitude = 0;
    for (; *locAt >= '0' && *locAt <= '9'; locAt++)
        if (locMagnitude <= 0x80000000LL)
            locMagnitude = locMagnitude * 10 + (*locAt - '0');
    const bool locWholeDigitsFlag = locAt > locDigits;
    if (locWholeFlag)
        return locWholeDigitsFlag && *locAt == 0 && locMagnitude <= (aValue[0] == '-' ? 0x80000000LL : 0x7FFFFFFFLL);
    bool locFractionFlag = false;
    if (*locAt == '.')
        for (locAt++; *locAt >= '0' && *locAt <= '9'; locAt++)
            locFractionFlag = true;
    if (!locWholeDigitsFlag && !locFractionFlag)
        return false;
    if (*locAt == 'e' || *locAt == 'E')
    {
        locAt++;
        if (*locAt == '+' || *locAt == '-')
            locAt++;
        if (!(*locAt >= '0' && *locAt <= '9'))
            return false;
        while (*locAt >= '0' && *locAt <= '9')
            locAt++;
    }
    return *locAt == 0;
}

const char* Velk_NumberHint(const QC_String& aTypeName)
{
    return aTypeName == "NUMBER" ? "a whole number such as 12 or -3"
                                 : "a number such as 12, -0.5 or 1.5e3, with a point and no comma";
}

bool VelkFree::AssignValue(const char* aText)
{
    if (aText == nullptr || aText[0] == 0)
    {
        myValue.SetShared(Priv_TextHold(), VELK_EMPTY);
        return true;
    }
    if (IsFile() && strchr(aText, '\\'))
    {
        QC_String locPath(aText);
        locPath.Replace('\\', '/');
        myValue.Assign(Priv_TextHold(), locPath);
        return true;
    }
    myValue.Assign(Priv_TextHold(), aText);
    return true;
}

bool VelkFree::Priv_AssignText(VelkArena* anArena, char* aText, int aLength)
{
    if (aLength == 0)
        return AssignValue("");
    if (IsFile())
        for (char* locChar = (char*)memchr(aText, '\\', aLength); locChar; locChar = (char*)memchr(locChar, '\\', aText + aLength - locChar))
            *locChar = '/';
    myValue.Borrow(Priv_TextHold(), anArena, aText);
    return true;
}

bool VelkFree::AssignFrom(VelkType* aSource)
{
    if (aSource == nullptr || !aSource->HasTypeNameOf(*this))
        return false;
    QC_String locValue(aSource->GetValue());
    return AssignValue(Velk_Text(locValue));
}

bool VelkFree::SetDefaultValue(const char* aText)
{
    myValue.Assign(Priv_TextHold(), aText);
    return aText != nullptr && aText[0] != 0;
}

void VelkFree::ResetValue()
{
    myValue.SetShared(Priv_TextHold(), VELK_EMPTY);
}

bool VelkFree::IsEqual(VelkType* anOther)
{
    return anOther != nullptr && anOther->HasTypeNameOf(*this) && anOther->GetValue() == myValue.Get();
}

// ---------------------------------------------------------------------------
// [SECTION] VelkEnum
// ---------------------------------------------------------------------------

VelkEnum::VelkEnum(const char* aTypeName, const char* aName)
    : VelkFree(aTypeName, aName, false)
{
}

VelkType* VelkEnum::Clone() const
{
    VelkEnum* locCopy = new (std::nothrow) VelkEnum(nullptr, nullptr);
    if (locCopy == nullptr)
        return nullptr;
    locCopy->myName = myName;
    locCopy->myValue.Assign(locCopy->Priv_TextHold(), myValue, Priv_TextArena());
    locCopy->myLegalValues = myLegalValues;
    if (myValue.GetLength() == 0 && myLegalValues && Velk_Count(myLegalValues->GetNames()) > 0)
        locCopy->myValue.SetShared(locCopy->Priv_TextHold(), myLegalValues->GetNames().GetFirst());
    return locCopy;
}

bool VelkEnum::IsLegalValue(const char* aText) const
{
    return myLegalValues && myLegalValues->Has(aText);
}

bool VelkEnum::AssignValue(const char* aText)
{
    if (aText == nullptr)
        aText = "";
    if (!IsLegalValue(aText))
    {
        VelkLog::Error("VelkEnum::Assign(): Invalid value '%s'", aText);
        return false;
    }
    myValue.Assign(Priv_TextHold(), aText);
    return true;
}

bool VelkEnum::Priv_AssignText(VelkArena* anArena, char* aText, int aLength)
{
    const char* locListed = myLegalValues ? myLegalValues->FindText(aText) : nullptr;
    if (locListed == nullptr)
        return AssignValue(aText);
    // An enum holds one of a few texts: the arena keeps one copy of each.
    VelkArenaLocal::Of(anArena)->GiveBack(aText, (size_t)aLength);
    myValue.SetShared(Priv_TextHold(), locListed);
    return true;
}

bool VelkEnum::SetDefaultValue(const char* aText)
{
    QC_ASSERT(aText == NULL || aText[0] == 0);
    return true;
}

void VelkEnum::GetLegalValues(QC_List<QC_String>& anOut) const
{
    anOut.RemoveAll();
    if (myLegalValues)
        anOut = myLegalValues->GetNames();
}

// ---------------------------------------------------------------------------
// [SECTION] VelkRef
// ---------------------------------------------------------------------------

namespace
{
// References may name paths that go through other references; a cycle of them
// must end, not recurse until the stack is gone.
constexpr int VELK_MAX_DEREF_DEPTH = 64;
int ourDerefDepth = 0;
}

VelkRef::VelkRef(const char* aTypeName, const char* aName)
    : VelkType(aTypeName, aName)
{
    myValue.SetShared(Priv_TextHold(), VELK_NULL);
}

VelkRef::~VelkRef()
{
    myValue.Drop(Priv_TextHold());
}

const QC_String& VelkRef::GetValue() const
{
    return myValue;
}

VelkType* VelkRef::GetTarget(bool aLogFlag)
{
    if (myValue == VELK_NULL || ourDerefDepth >= VELK_MAX_DEREF_DEPTH)
        return nullptr;
    VelkNameSpace* locNameSpace = VelkNameSpace::FindNameSpaceOf(this);
    if (locNameSpace == nullptr)
        return nullptr;
    ourDerefDepth++;
    VelkType* locTarget = locNameSpace->GetInstance(myValue.GetBuffer(), aLogFlag);
    ourDerefDepth--;
    return locTarget;
}

VelkType* VelkRef::FindMember(const char* aName)
{
    VelkType* locTarget = GetTarget(false);
    if (locTarget == nullptr || aName == nullptr || aName[0] == 0)
        return locTarget;
    // The rest of a dotted path goes on from the referenced instance.
    ourDerefDepth++;
    VelkType* locMember = ourDerefDepth < VELK_MAX_DEREF_DEPTH ? locTarget->FindMember(aName) : nullptr;
    ourDerefDepth--;
    return locMember;
}

bool VelkRef::Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool)
{
    return true;
}

VelkType* VelkRef::Clone() const
{
    VelkRef* locCopy = new (std::nothrow) VelkRef(nullptr, nullptr);
    if (locCopy)
    {
        locCopy->myName = myName;
        locCopy->myValue.Assign(locCopy->Priv_TextHold(), myValue, Priv_TextArena());
    }
    return locCopy;
}

bool VelkRef::AssignValue(const char* aText)
{
    myValue.Assign(Priv_TextHold(), aText);
    return true;
}

bool VelkRef::Priv_AssignText(VelkArena* anArena, char* aText, int aLength)
{
    myValue.Borrow(Priv_TextHold(), anArena, aText);
    return true;
}

bool VelkRef::AssignFrom(VelkType* aSource)
{
    if (aSource == nullptr)
    {
        myValue.SetShared(Priv_TextHold(), VELK_NULL);
        return true;
    }
    if (dynamic_cast<VelkRef*>(aSource) && aSource->HasTypeNameOf(*this))
    {
        myValue.Assign(Priv_TextHold(), aSource->GetValue());
        return true;
    }
    const int locLength = Velk_Length(GetTypeName());
    if (locLength < 1 || Velk_Length(aSource->GetTypeName()) != locLength - 1
        || strncmp(Velk_Text(aSource->GetTypeName()), Velk_Text(GetTypeName()), locLength - 1) != 0)
        return false;
    VelkNameSpace* locNameSpace = VelkNameSpace::FindNameSpaceOf(aSource);
    QC_String locPath;
    if (locNameSpace == nullptr || !locNameSpace->GetInstancePath(aSource, locPath))
    {
        myValue.SetShared(Priv_TextHold(), VELK_NULL);
        return false;
    }
    myValue.Assign(Priv_TextHold(), locPath);
    return true;
}

bool VelkRef::SetDefaultValue(const char* aText)
{
    myValue.Assign(Priv_TextHold(), aText);
    return true;
}

void VelkRef::ResetValue()
{
    myValue.SetShared(Priv_TextHold(), VELK_NULL);
}

bool VelkRef::ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace)
{
    if (myValue == VELK_NULL)
        return true;
    if (VelkNameSpace::FindNameSpaceOf(this) == nullptr)
        return false;
    VelkType* locTarget = GetTarget(true);
    if (locTarget == nullptr)
        return false;
    const int locLength = Velk_Length(GetTypeName());
    return locLength >= 1 && Velk_Length(locTarget->GetTypeName()) == locLength - 1
        && strncmp(Velk_Text(locTarget->GetTypeName()), Velk_Text(GetTypeName()), locLength - 1) == 0;
}

bool VelkRef::IsEqual(VelkType* anOther)
{
    return anOther != nullptr && dynamic_cast<VelkRef*>(anOther) != nullptr && anOther->HasTypeNameOf(*this)
        && anOther->GetValue() == myValue.Get();
}

// ---------------------------------------------------------------------------
// [SECTION] Metatypes
// ---------------------------------------------------------------------------

namespace
{
struct VelkMetaTypeRegistry
{
    VelkFree myNumber{"NUMBER", VELK_PROTOTYPE, false};
    VelkFree myDecimal{"DECIMAL", VELK_PROTOTYPE, false};
    VelkFree myText{"TEXT", VELK_PROTOTYPE, false};
    VelkFree myFile{"FILE", VELK_PROTOTYPE, true};
    VelkFree myLocText{"LOCTEXT", VELK_PROTOTYPE, false};
    VelkEnum myType{"TYPE", VELK_PROTOTYPE};
    VelkClass myClass{"CLASS", VELK_PROTOTYPE};
    VelkScriptClass myScriptClass{"SCRIPTCLASS", VELK_PROTOTYPE};
    QC_KeyTree<VelkType*, QC_String> myTree;

    VelkMetaTypeRegistry()
    {
        Priv_Register(&myNumber);
        Priv_Register(&myDecimal);
        Priv_Register(&myText);
        Priv_Register(&myFile);
        Priv_Register(&myLocText);
        Priv_Register(&myType);
        Priv_Register(&myClass);
        Priv_Register(&myScriptClass);
    }

    void Priv_Register(VelkType* aPrototype)
    {
        bool locRegistered = myTree.Add(aPrototype, aPrototype->GetTypeName());
        QC_ASSERT(locRegistered);
    }
};

VelkMetaTypeRegistry& Priv_MetaTypes()
{
    // Never destroyed: the prototypes are static objects, not the tree's to free.
    static VelkMetaTypeRegistry* ourRegistry = new VelkMetaTypeRegistry();
    return *ourRegistry;
}

// The prototypes are registered before main.
[[maybe_unused]] const VelkMetaTypeRegistry& ourMetaTypesAtStart = Priv_MetaTypes();
}

VelkType* VelkMetaTypes::Find(const char* aMetaTypeName)
{
    VelkType* locPrototype = nullptr;
    if (aMetaTypeName == nullptr || !Priv_MetaTypes().myTree.Find(QC_String(aMetaTypeName), &locPrototype, nullptr))
        return nullptr;
    return locPrototype;
}
