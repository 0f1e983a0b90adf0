// The registry of the types one compile may use: the built-in scalar types and
// the types declared by .fruit files, each with its reference type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class ParseTool;
class VelkNameIndex;
class VelkType;

// Member blocks nest at most this deep in a .velk file.
constexpr int VELK_MAX_BLOCK_DEPTH = 200;
// A few lines of .fruit can declare a type of billions of objects (each class
// holding two of the one before): an instance holds at most this many objects,
// and the types of one manager together at most VELK_MAX_TYPE_OBJECTS.
constexpr uint64_t VELK_MAX_INSTANCE_OBJECTS = 100000;
constexpr uint64_t VELK_MAX_TYPE_OBJECTS = 1000000;

// The size of a type's instances: their objects, the instance itself included,
// and how deep member blocks nest when one is written (0 for a scalar).
struct VelkTypeSize
{
    uint64_t myObjects = 1;
    int myDepth = 0;
};

class VelkTypeManager
{
public:
    VelkTypeManager();
    ~VelkTypeManager();

    // Compiles a .fruit file (once per reset) and the files it includes.
    bool Compile(const char* aFileName);
    VelkType* CreateType(ParseTool& aParseTool, const char* aMetaTypeName, const char* aTypeName, const char* aDefault);
    void RegisterBuiltins();
    // Forgets every type and compiled file, then registers the built-in types again.
    void Reset();

    // Exact, case-sensitive lookups; null when absent.
    VelkType* GetType(const char* aTypeName) const;
    VelkType* GetRefType(const char* aTypeName) const;
    void GetTypes(QC_List<VelkType*>& anOut) const;
    int GetNumTypes() const;
    // The editor's request to create a type: not supported, always false.
    bool AddType(int aMetaTypeIndex, const char* aTypeName, const char* aDefault);

    // The size of instances of a type of that name: as noted by its
    // declaration block, else one object nesting no block.
    VelkTypeSize GetTypeSize(const char* aTypeName) const;
    // Whether a type of that size may be declared: an instance within the
    // bounds above, nested no deeper than a .velk file may be, and room left
    // among the types' objects.
    bool IsSizeAllowed(const VelkTypeSize& aSize) const;
    // The error line for a type IsSizeAllowed refused.
    void ReportSize(ParseTool& aParseTool, const char* aTypeName, const VelkTypeSize& aSize) const;
    // Notes the size of a type just declared, counted among the types' objects;
    // a name already noted keeps its size.
    void SetTypeSize(const char* aTypeName, const VelkTypeSize& aSize);

    const QC_List<QC_String>& GetCompiledFiles() const { return myCompiledFiles; }
    const QC_List<QC_String>& GetIncludedFiles() const { return myIncludedFiles; }

private:
    void Priv_DeleteTypes();

    QC_List<QC_String> myTypeNames;
    QC_List<VelkType*> myTypes;
    QC_List<VelkType*> myRefTypes;
    QC_List<QC_String> myCompiledFiles;
    QC_List<QC_String> myIncludedFiles;

    // Made with the manager; their type stays inside velk/.
    std::unique_ptr<VelkNameIndex> myTypeNameIndex;
    std::unique_ptr<VelkNameIndex> myTypeIndex;
    std::unique_ptr<VelkNameIndex> myRefTypeIndex;

    // Sizes of the types whose instances hold members, by type name.
    std::unordered_map<std::string, VelkTypeSize> mySizes;
    uint64_t myTypeObjects = 0;
};
