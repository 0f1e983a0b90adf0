// The registry of the types one compile may use: the built-in scalar types and
// the types declared by .fruit files, each with its reference type.
#pragma once

#include <memory>

#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class ParseTool;
class VelkNameIndex;
class VelkType;

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
};
