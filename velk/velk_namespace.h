// A namespace: the root instances of one compiled .velk file and the type
// files it included. It is also the scope in which references are resolved.
#pragma once

#include <memory>
#include <string_view>

#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"
#include "velk/velk_type.h"

class VelkArena;
class VelkNameIndex;
class VelkOutput;
class VelkType;
class VelkTypeManager;

class VelkNameSpace
{
public:
    VelkNameSpace();
    ~VelkNameSpace();
    VelkNameSpace(const VelkNameSpace&) = delete;
    VelkNameSpace& operator=(const VelkNameSpace&) = delete;

    int GetNumInstances() const;
    void GetInstances(QC_List<VelkType*>& anOut, bool aClearFirstFlag) const;
    // The same in place, for a walk that changes nothing.
    const VelkMembers& GetInstanceView() const { return myInstances; }
    // Appended unless a root of that name exists. The namespace owns it then.
    bool AddInstance(VelkType* anInstance);
    // A root name, or a root name followed by '.' and a member path.
    VelkType* GetInstance(const char* aPath, bool aLogFlag);
    bool DeleteInstance(VelkType* anInstance);
    VelkType* FindByName(const char* aName);
    bool ContainsInstance(VelkType* anInstance);
    bool GetInstancePath(VelkType* anInstance, QC_String& anOut);

    void AddInclude(const char* aFileName);
    void GetIncludes(QC_List<QC_String>& anOut, bool aClearFirstFlag) const;

    bool HasLocText();
    bool ResolveReferences(VelkTypeManager& aTypeManager);

    bool Merge(VelkNameSpace& anOther);
    bool MergeInstance(VelkType* anInstance);
    bool MergeMembers(VelkType* aTarget, VelkType* aSource);

    void Clear();

    // The memory the namespace's compiled objects take their texts from, made
    // at the first call; null when no memory is left.
    VelkArena* GetArena();

    // Writes the namespace as .velk text; the old file is replaced only when
    // the whole text is written.
    bool Write(const char* aFileName);
    // The same text into memory; the name is used in messages.
    bool WriteTo(VelkOutput& anOutput, const char* aFileName);

    // The namespace that holds the object, or null.
    static VelkNameSpace* FindNameSpaceOf(VelkType* anObject);

private:
    friend class VelkType;
    struct MergeNames;
    bool Priv_MergeInstance(VelkType* anInstance, MergeNames* aNames);
    bool Priv_MergeMembers(VelkType* aTarget, VelkType* aSource, MergeNames* aNames);
    void Priv_RootRenamed(VelkType* aRoot, const QC_String& anOldName);
    VelkType* Priv_FindRoot(std::string_view aName);
    bool Priv_IsRoot(VelkType* anObject);

    VelkMembers myInstances;
    QC_List<QC_String> myIncludes;
    // Made with the namespace; its type stays inside velk/.
    std::unique_ptr<VelkNameIndex> myRootIndex;
    // Held while the namespace lives; its objects hold it too.
    VelkArena* myArena = nullptr;
};
