// The instance compiler: reads a .velk file into a namespace, and the ignore
// policies that decide what happens to unknown types and members.
#pragma once

#include <cstdint>

#include "qcommon/qc_keytree.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class ParseTool;

// A few bytes of .velk can make millions of objects (roots of a type near the
// per-instance bound, each in one short line): one compile makes at most
// VELK_MAX_COMPILE_OBJECTS, and VELK_COMPILE_OBJECTS_PER_BYTE more for each
// byte of its text (real data makes far fewer than one object a byte).
constexpr uint64_t VELK_MAX_COMPILE_OBJECTS = 2000000;
constexpr uint64_t VELK_COMPILE_OBJECTS_PER_BYTE = 4;
class VelkNameSpace;
class VelkType;
class VelkTypeManager;

// Type name -> the member names ignored in it.
class VelkMemberIgnorer
{
public:
    ~VelkMemberIgnorer();
    bool Has(const char* aTypeName, const char* aMemberName);
    bool Add(const char* aTypeName, const char* aMemberName);

private:
    QC_KeyTree<QC_List<QC_String>*, QC_String> myTree;
};

class VelkInstanceIgnorer
{
public:
    virtual ~VelkInstanceIgnorer();
    // 0: ignore every instance of the type; 1: ignore this instance; else do not ignore.
    virtual int Sub_OkToIgnoreInstanceOfType(const char* aTypeName, const char* anInstanceText) = 0;
    virtual bool Sub_OkToIgnoreMember(const char* aTypeName, const char* anInstanceName, const char* aMemberName) = 0;

    bool OkToIgnoreInstanceOfType(const char* anInstanceText, const char* aTypeName);
    bool OkToIgnoreMember(const char* aMemberName, const char* aTypeName, const char* anInstanceName);
    bool IsTypeIgnored(const char* aTypeName) const;
    // Skips the block that follows an ignored line, if one follows.
    bool SkipBlock(ParseTool& aParseTool);

private:
    QC_List<QC_String> myIgnoredTypes;
    VelkMemberIgnorer myIgnoredMembers;
};

// Ignores every unknown type and member, noting each on the debug output.
class EverythingIgnorer : public VelkInstanceIgnorer
{
public:
    int Sub_OkToIgnoreInstanceOfType(const char* aTypeName, const char* anInstanceText) override;
    bool Sub_OkToIgnoreMember(const char* aTypeName, const char* anInstanceName, const char* aMemberName) override;
};

class VelkCompiler
{
public:
    // Without a type manager the compile uses one of its own for the call.
    static bool Compile(VelkNameSpace& aNameSpace, const char* aFileName, VelkTypeManager* aTypeManager,
                        VelkInstanceIgnorer* anIgnorer);
    // The same over text in memory; the name is used in messages.
    static bool CompileText(VelkNameSpace& aNameSpace, const char* aFileName, const char* aText, size_t aLength,
                            VelkTypeManager* aTypeManager, VelkInstanceIgnorer* anIgnorer);
    static VelkType* CreateInstance(const char* aText, ParseTool& aParseTool, VelkType* aType,
                                    VelkTypeManager& aTypeManager, VelkInstanceIgnorer* anIgnorer);

private:
    static bool Priv_Compile(VelkNameSpace& aNameSpace, ParseTool& aParseTool, VelkTypeManager* aTypeManager,
                             VelkInstanceIgnorer* anIgnorer);
};
