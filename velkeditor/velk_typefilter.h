// Type filters: named sets of member names per type, which decide the columns
// of the spreadsheet editor, and their file "korrinth.tfm".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qcommon/qc_itree.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

// A filter with no members lets every member through.
class VelkTypeFilter
{
public:
    explicit VelkTypeFilter(const char* aName);
    ~VelkTypeFilter();
    VelkTypeFilter(const VelkTypeFilter&) = delete;
    VelkTypeFilter& operator=(const VelkTypeFilter&) = delete;

    const QC_String& GetName() const { return myName; }
    bool Contains(const char* aMemberName);
    // False when the name is present already.
    bool AddMember(const char* aMemberName);
    void Clear();
    int GetNumMembers() const { return myMembers.myCount; }
    // The member names in ascending byte order.
    void GetMembers(QC_List<QC_String>& anOut) const;
    // Builds the tree from names in any order, duplicates dropped: inserted
    // middle first so that sorted input does not degenerate the tree.
    void SetMembers(std::vector<QC_String>& aNames);

private:
    QC_String myName;
    QC_ITree<QC_String> myMembers;
};

class VelkTypeFilterManager
{
public:
    // The filters of one type.
    class Type
    {
    public:
        explicit Type(const char* aTypeName);
        ~Type();
        Type(const Type&) = delete;
        Type& operator=(const Type&) = delete;

        const QC_String& GetTypeName() const { return myTypeName; }
        QC_List<VelkTypeFilter*>& GetFilters() { return myFilters; }
        // Never null: the default filter when no listed one is active.
        VelkTypeFilter* GetActiveFilter() const { return myActiveFilter; }
        // The first listed filter of that name becomes active (true); else the
        // default filter does (false).
        bool SetActiveFilter(const char* aName);
        // An existing filter of that name is returned as it is; a new one is
        // appended and becomes active.
        VelkTypeFilter* AddFilter(const char* aName);
        VelkTypeFilter* FindFilter(const char* aName) const;
        VelkTypeFilter* GetDefaultFilter() { return &myDefaultFilter; }

    private:
        friend class VelkTypeFilterManager;

        QC_String myTypeName;
        QC_List<VelkTypeFilter*> myFilters;   // owned
        VelkTypeFilter myDefaultFilter;
        VelkTypeFilter* myActiveFilter;
    };

    // Reads the file. The name is made absolute against the working directory
    // of this moment, so the save at the end goes back to the same folder.
    // A null name keeps the manager in memory only (no load, no save).
    explicit VelkTypeFilterManager(const char* aFileName);
    // Saves, then deletes every record.
    ~VelkTypeFilterManager();
    VelkTypeFilterManager(const VelkTypeFilterManager&) = delete;
    VelkTypeFilterManager& operator=(const VelkTypeFilterManager&) = delete;

    // The first record of that name, appended when there is none.
    Type* GetType(const char* aTypeName);
    Type* FindType(const char* aTypeName) const;
    QC_List<Type*>& GetTypes() { return myTypes; }
    const QC_String& GetFileName() const { return myFileName; }

    // A missing file is no error. A damaged file keeps the records read whole
    // before the damage and answers false.
    bool Load();
    // Through a temporary file renamed over the old one: a failed write keeps it.
    bool Save();

    // The same over memory (tests, fuzzing). LoadFrom appends to the records held.
    bool LoadFrom(const uint8_t* aData, size_t aSize);
    void SaveTo(std::vector<uint8_t>& anOut) const;

    // Longest string the file may hold; longer ones count as damage.
    static constexpr uint32_t MAX_STRING = 1023;

private:
    QC_String myFileName;   // absolute when given relative
    QC_List<Type*> myTypes; // owned
};
