// The Velk type model: one class family whose objects are both types (the type
// manager's prototypes) and instances (the objects of a namespace). A new
// instance is always a deep copy of its type's prototype.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"
#include "velk/velk_arena.h"

class ParseTool;
class VelkClass;
class VelkInstanceIgnorer;
class VelkNameIndex;
class VelkNameList;
class VelkNameSpace;
class VelkOutput;
class VelkTypeManager;
class VelkType;

// Strings of the model.
extern const char* const VELK_NULL;            // "NULL": a reference to nothing
extern const char* const VELK_EMPTY;           // "<empty>": a scalar without a value
extern const char* const VELK_INVALID_DEREF;   // "<INVALID DEREFERENCE>"
extern const char* const VELK_PROTOTYPE;       // "PROTOTYPE": the name of a type
extern const char VELK_PATH_SEPARATOR;         // '.'
extern const char* const VELK_MEMBER_NAME_PATTERN; // "%s(%d)"
extern const char* const VELK_PATH_PATTERN;    // "%s.%s"

// The table of type names. Every object of a type holds the same name, so the
// text is kept once, counted by the name records that use it, and an object's
// name record holds its number (1 to 65535; 0 is the empty name).
namespace VelkTypeName
{
// The number of that name, counted once more; 0 for the empty name, and for
// any name while every number is taken (NumbersLeft tells).
uint16_t Acquire(const char* aName);
void AddRef(uint16_t aNumber);
void Release(uint16_t aNumber);
const QC_String& Get(uint16_t aNumber);
// False when fewer numbers than aCount are left for new names.
bool NumbersLeft(size_t aCount);
}

// An object's name and its type's name, in one counted record that the
// clones of a prototype share with its members: a rename, or a change of
// type while others share the record, gives the object a record of its own
// and leaves the others as they were.
class VelkName
{
public:
    // Clones are made nameless and then share their prototype's record: no call then.
    VelkName(const char* aTypeName, const char* aName)
        : myShared(aTypeName || aName ? Priv_Make(aName, VelkTypeName::Acquire(aTypeName)) : nullptr)
    {
    }
    VelkName(const VelkName&) = delete;
    ~VelkName() { Priv_Release(myShared); }
    // Both names: the object's and its type's.
    VelkName& operator=(const VelkName& anOther)
    {
        if (anOther.myShared)
            anOther.myShared->myUseCount++;
        Priv_Release(myShared);
        myShared = anOther.myShared;
        return *this;
    }
    // The object's name only.
    VelkName& operator=(const char* aName)
    {
        VelkTypeName::AddRef(GetTypeNumber());
        Shared* locShared = Priv_Make(aName, GetTypeNumber());
        Priv_Release(myShared);
        myShared = locShared;
        return *this;
    }
    void SetTypeName(const char* aTypeName);
    const QC_String& GetTypeName() const { return VelkTypeName::Get(GetTypeNumber()); }
    // Equal numbers, equal type names: the table keeps one number per text.
    uint16_t GetTypeNumber() const { return myShared ? myShared->myTypeNumber : 0; }
    operator const QC_String&() const { return Get(); }
    const QC_String& Get() const;
    bool operator==(const char* aName) const { return Get() == aName; }
    bool operator==(const QC_String& aName) const { return Get() == aName; }
    // The writer's check of the text, made once per text: 0 when not made yet.
    int GetWritable() const { return myShared ? myShared->myWritable : 0; }
    void SetWritable(bool aWritable) const
    {
        if (myShared)
            myShared->myWritable = aWritable ? 1 : -1;
    }

private:
    struct Shared
    {
        QC_String myText;
        int myUseCount;
        // The writer's verdict on the text, kept since the text never changes:
        // 0 not yet checked, 1 writable, -1 not.
        signed char myWritable;
        // The number of the arena the name and its text lie in, which it
        // holds; 0 for a name of the heap.
        uint16_t myArenaNumber;
        // Counted in the table of type names while the record lives.
        uint16_t myTypeNumber;
    };
    // Null stands for the empty name of no type. Takes over the count of aTypeNumber.
    static Shared* Priv_Make(const char* aName, uint16_t aTypeNumber);
    static void Priv_Release(Shared* aShared);

    Shared* myShared;
};

// A counted hold on a name list that a prototype shares with its clones: one
// word per object, where a std::shared_ptr takes two.
class VelkNameListRef
{
public:
    VelkNameListRef() = default;
    VelkNameListRef(const VelkNameListRef& anOther) : myList(anOther.myList) { Priv_AddRef(myList); }
    ~VelkNameListRef() { Priv_Release(myList); }
    VelkNameListRef& operator=(const VelkNameListRef& anOther)
    {
        Priv_AddRef(anOther.myList);
        Priv_Release(myList);
        myList = anOther.myList;
        return *this;
    }
    // Holds a new empty list instead; false when no memory is left.
    bool MakeNew();
    VelkNameList* operator->() const { return myList; }
    explicit operator bool() const { return myList != nullptr; }

private:
    static void Priv_AddRef(VelkNameList* aList);
    static void Priv_Release(VelkNameList* aList);

    VelkNameList* myList = nullptr;
};

// The members of a class in order: an array sized to fit, until a caller asks
// for them as a list (VelkType::GetMembers), which the class then keeps for good.
class VelkMembers
{
public:
    VelkMembers() : myItems(nullptr) {}
    VelkMembers(const VelkMembers&) = delete;
    VelkMembers& operator=(const VelkMembers&) = delete;
    // Frees the array or the list, never the members.
    ~VelkMembers();

    class Iterator
    {
    public:
        Iterator(VelkType* const* aSlot, const QC_ListLink<VelkType*>* aLink) : mySlot(aSlot), myLink(aLink) {}
        VelkType* operator*() const { return myLink ? myLink->myItem : *mySlot; }
        Iterator& operator++()
        {
            if (myLink)
                myLink = myLink->myNext;
            else
                ++mySlot;
            return *this;
        }
        bool operator!=(const Iterator& anOther) const { return mySlot != anOther.mySlot || myLink != anOther.myLink; }

    private:
        VelkType* const* mySlot;
        const QC_ListLink<VelkType*>* myLink;
    };
    Iterator begin() const;
    Iterator end() const;

    int Count() const { return Priv_IsList() ? myList->myCount : int(myCount); }
    // Null when out of range.
    VelkType* At(int anIndex) const;
    // Room for aCount members in all; false when no memory is left.
    bool Reserve(int aCount);
    bool Add(VelkType* aMember);
    // Takes out the first entry of aMember; false when it is not there.
    bool Remove(VelkType* aMember);
    // The members become these, in this order.
    bool Assign(VelkType* const* aMembers, int aCount);
    void RemoveAll();
    // Deletes the members and empties the list.
    void DeleteAll();
    QC_List<VelkType*>& GetList();

private:
    static constexpr uint32_t LIST_MODE = 0xFFFFFFFFu;
    bool Priv_IsList() const { return myCapacity == LIST_MODE; }
    bool Priv_Grow(uint32_t aCapacity);

    union
    {
        VelkType** myItems;
        QC_List<VelkType*>* myList;
    };
    uint32_t myCount = 0;
    uint32_t myCapacity = 0;
};

// Base of every type and instance. Objects are owned by their type manager,
// their namespace or the class that holds them as members.
class VelkType
{
public:
    VelkType(const char* aTypeName, const char* aName);

    // Objects come from a pool of equal-sized cells shared by the whole model:
    // a compile makes and a teardown frees them by the hundred thousand.
    static void* operator new(size_t aSize);
    static void* operator new(size_t aSize, const std::nothrow_t&) noexcept;
    static void operator delete(void* anObject, size_t aSize) noexcept;

    virtual const QC_String& GetValue() const;
    virtual VelkType* GetMemberAt(int anIndex);
    virtual VelkType* AddContent(VelkTypeManager& aTypeManager, const char* aText);
    virtual VelkType* FindMember(const char* aName);
    // The list itself; callers that change it must keep to AddMember and
    // DetachMember where they can, so the parent links stay true.
    virtual QC_List<VelkType*>& GetMembers();
    // The members to read, without handing out the list: for walks over many objects.
    virtual const VelkMembers& GetMemberView() const;
    virtual int GetNumMembers() const;
    virtual bool SetMemberOrder(const QC_List<QC_String>& aNames);
    virtual void DeleteMembers();
    virtual bool DeleteMember(VelkType* aMember);
    virtual bool DeleteMemberNamed(const char* aName);
    virtual bool DetachMember(VelkType* aMember);
    virtual bool HasMember(VelkType* aMember);
    virtual bool IsLegalMemberType(const char* aTypeName) const;
    virtual bool Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool) = 0;
    virtual bool Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag) = 0;
    virtual ~VelkType();
    virtual VelkType* Clone() const = 0;
    virtual bool AssignValue(const char* aText);
    virtual bool AssignFrom(VelkType* aSource) = 0;
    // aText may lie in the tool's line buffer: it is used before the next line is read.
    virtual bool Assign(ParseTool& aParseTool, const char* aText, VelkTypeManager& aTypeManager,
                        VelkInstanceIgnorer* anIgnorer);
    virtual bool SetDefaultValue(const char* aText) = 0;
    virtual void ResetValue() = 0;
    virtual bool AddMember(VelkType* aMember);
    virtual bool ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace);
    virtual void GetLegalValues(QC_List<QC_String>& anOut) const;
    virtual bool Contains(VelkType* anObject);
    virtual VelkType* FindByName(const char* aName);
    virtual bool GetMemberPath(const char* aPrefix, VelkType* aTarget, QC_String& anOut);
    virtual bool IsEqual(VelkType* anOther) = 0;
    // A reference (VelkRef): cheaper to ask than a cast, for walks over many objects.
    virtual bool IsReference() const { return false; }

    const QC_String& GetTypeName() const { return myName.GetTypeName(); }
    const QC_String& GetName() const { return myName.Get(); }
    const VelkName& GetNameObject() const { return myName; }
    void SetTypeName(const char* aTypeName) { myName.SetTypeName(aTypeName); }
    bool HasTypeNameOf(const VelkType& anOther) const { return myName.GetTypeNumber() == anOther.myName.GetTypeNumber(); }
    // Renaming tells the owning class or namespace, which index their objects by name.
    void SetName(const char* aName);

    int GetValueAsInt() const;
    QC_String GetMemberValue(const char* aName);
    int GetMemberValueAsInt(const char* aName);
    float GetMemberValueAsFloat(const char* aName);
    bool AssignInt(int aValue);
    bool AssignFloat(float aValue);
    VelkType* CloneAs(const char* aNewName) const;
    VelkType* CreateFromPrototype(const char* aTypeName, const char* aName, const char* aDefault) const;

    // The class that holds this object as a member, or null.
    VelkClass* GetParent() const
    {
        return (myOwner & OWNER_IS_NAMESPACE) ? nullptr : reinterpret_cast<VelkClass*>(myOwner & OWNER_POINTER);
    }
    // The namespace that holds this object as a root, or null.
    VelkNameSpace* GetRootNameSpace() const
    {
        return (myOwner & OWNER_IS_NAMESPACE) ? reinterpret_cast<VelkNameSpace*>(myOwner & OWNER_POINTER) : nullptr;
    }

protected:
    // Takes a value read from a compiled file: aText, NUL-terminated, lies in
    // anArena's keeping and is laid out as a string's own, so it may be kept
    // without a copy. As AssignValue otherwise.
    virtual bool Priv_AssignText(VelkArena* anArena, char* aText, int aLength);
    // Reads a member block: "{", then member lines up to "}".
    bool Priv_AssignBlock(ParseTool& aParseTool, VelkTypeManager& aTypeManager, VelkInstanceIgnorer* anIgnorer);

    // Two flag bits a subclass may keep in the owner word, to save a word.
    static constexpr uintptr_t MARK_A = 2;
    static constexpr uintptr_t MARK_B = 4;
    bool Priv_GetMark(uintptr_t aMark) const { return (myOwner & aMark) != 0; }
    void Priv_SetMark(uintptr_t aMark, bool aFlag) { myOwner = aFlag ? (myOwner | aMark) : (myOwner & ~aMark); }
    // The arena a subclass's one text (its value) borrows from, kept in the owner word.
    VelkArenaHold Priv_TextHold();
    VelkArena* Priv_TextArena() const;

    // With the type's name.
    VelkName myName;

private:
    friend class VelkClass;
    friend class VelkNameSpace;

    static constexpr uintptr_t OWNER_IS_NAMESPACE = 1;
    static constexpr uintptr_t OWNER_BITS = OWNER_IS_NAMESPACE | MARK_A | MARK_B;
    static constexpr uintptr_t OWNER_ARENA = ~uintptr_t(0) << VELK_ARENA_SHIFT;
    static constexpr uintptr_t OWNER_POINTER = ~(OWNER_BITS | OWNER_ARENA);
    void Priv_SetOwner(uintptr_t anOwner)
    {
        if (anOwner & OWNER_ARENA)
            Priv_OwnerOutOfReach(anOwner);
        myOwner = anOwner | (myOwner & (MARK_A | MARK_B | OWNER_ARENA));
    }
    // A fatal error naming the owner's address, which would overlap the arena's number.
    [[noreturn]] static void Priv_OwnerOutOfReach(uintptr_t anOwner);
    void Priv_SetParent(VelkClass* aParent) { Priv_SetOwner(reinterpret_cast<uintptr_t>(aParent)); }
    void Priv_ClearParent()
    {
        if (!(myOwner & OWNER_IS_NAMESPACE))
            Priv_SetOwner(0);
    }
    void Priv_SetRootNameSpace(VelkNameSpace* aNameSpace)
    {
        Priv_SetOwner(reinterpret_cast<uintptr_t>(aNameSpace) | OWNER_IS_NAMESPACE);
    }
    void Priv_ClearRootNameSpace()
    {
        if (myOwner & OWNER_IS_NAMESPACE)
            Priv_SetOwner(0);
    }

    // An object has one owner: the class holding it as a member, or (bit 0
    // set) the namespace holding it as a root; 0 for none. Bits 1 and 2 are
    // the subclass's marks (owners are aligned to 8 bytes), the bits from
    // VELK_ARENA_SHIFT on its text's arena. The owner is no pointer the leak
    // checker needs: objects are held by their owners' member lists.
    uintptr_t myOwner = 0;
};

// NUMBER and DECIMAL values are numbers as the C locale writes them: a NUMBER a
// 32-bit whole number ("-12"), a DECIMAL one with an optional fraction and
// exponent ("1.5e3", no comma). True for every value of the other types, and for
// a value left empty. The hint says which numbers a type takes, for messages.
bool Velk_IsNumberValue(const QC_String& aTypeName, const char* aValue);
const char* Velk_NumberHint(const QC_String& aTypeName);

// A scalar: NUMBER, DECIMAL, TEXT, LOCTEXT, and FILE with the is-file flag.
class VelkFree : public VelkType
{
public:
    VelkFree(const char* aTypeName, const char* aName, bool anIsFileFlag);
    ~VelkFree() override;

    const QC_String& GetValue() const override;
    bool Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool) override;
    bool Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag) override;
    VelkType* Clone() const override;
    bool AssignValue(const char* aText) override;
    bool AssignFrom(VelkType* aSource) override;
    bool SetDefaultValue(const char* aText) override;
    void ResetValue() override;
    bool IsEqual(VelkType* anOther) override;

    bool IsFile() const { return Priv_GetMark(MARK_A); }

protected:
    bool Priv_AssignText(VelkArena* anArena, char* aText, int aLength) override;
    VelkText myValue;
};

// An enumerated type (metatype TYPE): a scalar restricted to its legal values.
class VelkEnum : public VelkFree
{
public:
    VelkEnum(const char* aTypeName, const char* aName);

    bool Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool) override;
    bool Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag) override;
    VelkType* Clone() const override;
    bool AssignValue(const char* aText) override;
    bool SetDefaultValue(const char* aText) override;
    void GetLegalValues(QC_List<QC_String>& anOut) const override;

    bool IsLegalValue(const char* aText) const;

protected:
    bool Priv_AssignText(VelkArena* anArena, char* aText, int aLength) override;

private:
    // Shared with the clones; a declaration block gives the prototype its own.
    VelkNameListRef myLegalValues;
};

// A reference: the name or dotted path of an instance of the referenced type,
// "NULL" when unset. The type name is the referenced type's name and '*'.
class VelkRef : public VelkType
{
public:
    VelkRef(const char* aTypeName, const char* aName);
    ~VelkRef() override;

    const QC_String& GetValue() const override;
    VelkType* FindMember(const char* aName) override;
    bool Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool) override;
    bool Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag) override;
    VelkType* Clone() const override;
    bool AssignValue(const char* aText) override;
    bool AssignFrom(VelkType* aSource) override;
    bool SetDefaultValue(const char* aText) override;
    void ResetValue() override;
    bool ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace) override;
    bool IsEqual(VelkType* anOther) override;
    bool IsReference() const override { return true; }

    // The referenced instance, looked up in the namespace that holds this
    // reference; null for "NULL", outside any namespace or when missing.
    VelkType* GetTarget(bool aLogFlag);

protected:
    bool Priv_AssignText(VelkArena* anArena, char* aText, int aLength) override;

private:
    VelkText myValue;
};

// A class: named members in declaration order.
class VelkClass : public VelkType
{
public:
    VelkClass(const char* aTypeName, const char* aName);
    ~VelkClass() override;

    VelkType* GetMemberAt(int anIndex) override;
    VelkType* FindMember(const char* aName) override;
    QC_List<VelkType*>& GetMembers() override;
    const VelkMembers& GetMemberView() const override;
    int GetNumMembers() const override;
    bool SetMemberOrder(const QC_List<QC_String>& aNames) override;
    void DeleteMembers() override;
    bool DeleteMember(VelkType* aMember) override;
    bool DeleteMemberNamed(const char* aName) override;
    bool DetachMember(VelkType* aMember) override;
    bool HasMember(VelkType* aMember) override;
    bool Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool) override;
    bool Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag) override;
    VelkType* Clone() const override;
    bool AssignFrom(VelkType* aSource) override;
    bool Assign(ParseTool& aParseTool, const char* aText, VelkTypeManager& aTypeManager,
                VelkInstanceIgnorer* anIgnorer) override;
    bool SetDefaultValue(const char* aText) override;
    void ResetValue() override;
    bool AddMember(VelkType* aMember) override;
    bool ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace) override;
    bool Contains(VelkType* anObject) override;
    VelkType* FindByName(const char* aName) override;
    bool GetMemberPath(const char* aPrefix, VelkType* aTarget, QC_String& anOut) override;
    bool IsEqual(VelkType* anOther) override;
    virtual bool IsScriptClass() const;

protected:
    // The first direct member of that name, or null.
    VelkType* Priv_FindDirectMember(const char* aName, size_t aLength);
    bool Priv_HasMemberNamed(const char* aName);
    // Appends without the uniqueness rule.
    bool Priv_Append(VelkType* aMember);
    void Priv_Unlinked(VelkType* aMember);

    VelkMembers myMembers;
    // Members must have distinct names (not so in a script class).
    bool Priv_UniqueNames() const { return Priv_GetMark(MARK_A); }
    // No two members have one name, as far as the class can tell: cleared by
    // a member's rename and by handing the list out.
    bool Priv_DistinctNames() const { return Priv_GetMark(MARK_B); }
    void Priv_SetDistinctNames(bool aFlag) { Priv_SetMark(MARK_B, aFlag); }

private:
    friend class VelkType;
    void Priv_MemberRenamed(VelkType* aMember, const QC_String& anOldName);
    bool Priv_UseIndex();

    // Built once a class holds many members.
    std::unique_ptr<VelkNameIndex> myMemberIndex;
    // The member names its declaration block gave, shared with the clones; a
    // member of another name (renamed by its value line) cannot be read back.
    VelkNameListRef myDeclaredNames;
};

// A script class: members of any legal type, repeated freely, named "%s(%d)".
class VelkScriptClass : public VelkClass
{
public:
    VelkScriptClass(const char* aTypeName, const char* aName);

    VelkType* AddContent(VelkTypeManager& aTypeManager, const char* aText) override;
    bool IsLegalMemberType(const char* aTypeName) const override;
    bool Construct(VelkTypeManager& aTypeManager, ParseTool& aParseTool) override;
    VelkType* Clone() const override;
    bool AssignFrom(VelkType* aSource) override;
    bool AddMember(VelkType* aMember) override;
    bool ResolveReferences(VelkTypeManager& aTypeManager, VelkNameSpace& aNameSpace) override;
    void GetLegalValues(QC_List<QC_String>& anOut) const override;
    bool IsScriptClass() const override;

private:
    // Shared with the clones; a declaration block gives the prototype its own.
    VelkNameListRef myLegalTypes;
};

// The process-wide metatype prototypes: "NUMBER", "DECIMAL", "TEXT", "FILE",
// "LOCTEXT", "TYPE", "CLASS", "SCRIPTCLASS".
namespace VelkMetaTypes
{
// The prototype of that metatype, or null.
VelkType* Find(const char* aMetaTypeName);
}
