// Internals shared by the sources of the data-language core: thin helpers over
// the common library's string and list, and the name index kept beside lists
// that are searched by name.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "qcommon/qc_list.h"
#include "qcommon/qc_listiterator.h"
#include "qcommon/qc_string.h"

class VelkType;

inline const char* Velk_Text(const QC_String& aString)
{
    return aString.GetBuffer();
}

inline int Velk_Length(const QC_String& aString)
{
    return aString.GetLength();
}

template <class T>
inline int Velk_Count(const QC_List<T>& aList)
{
    return aList.myCount;
}

// Longest text a QC_String can hold.
constexpr int VELK_MAX_STRING = 65534;

struct VelkStringHash
{
    using is_transparent = void;
    size_t operator()(std::string_view aText) const { return std::hash<std::string_view>()(aText); }
};

// Name -> object index beside an ordered list. Names may repeat: an entry counts
// the objects of one name and remembers the object only while it is the only one,
// so a repeated name sends the caller back to its list for the first in order.
class VelkNameIndex
{
public:
    enum LookupResult
    {
        LOOKUP_ABSENT = 0,
        LOOKUP_UNIQUE = 1,
        LOOKUP_SCAN = 2,
    };

    void Clear()
    {
        myEntries.clear();
        myTotal = 0;
    }
    size_t GetNumNames() const { return myEntries.size(); }
    // The number of objects the index accounts for.
    int GetTotal() const { return myTotal; }

    void Add(std::string_view aName, VelkType* anObject)
    {
        myTotal++;
        auto locIt = myEntries.find(aName);
        if (locIt == myEntries.end())
        {
            myEntries.emplace(std::string(aName), Entry{1, anObject});
            return;
        }
        locIt->second.myCount++;
        locIt->second.myOnly = nullptr;
    }

    // Adds unless the name is present; false then.
    bool AddIfAbsent(std::string_view aName, VelkType* anObject)
    {
        if (!myEntries.try_emplace(std::string(aName), Entry{1, anObject}).second)
            return false;
        myTotal++;
        return true;
    }

    void Remove(std::string_view aName, VelkType* anObject)
    {
        auto locIt = myEntries.find(aName);
        if (locIt == myEntries.end())
            return;
        myTotal--;
        if (--locIt->second.myCount <= 0)
            myEntries.erase(locIt);
        else
            locIt->second.myOnly = nullptr;
    }

    LookupResult Lookup(std::string_view aName, VelkType*& anObject) const
    {
        anObject = nullptr;
        auto locIt = myEntries.find(aName);
        if (locIt == myEntries.end())
            return LOOKUP_ABSENT;
        if (locIt->second.myCount == 1 && locIt->second.myOnly)
        {
            anObject = locIt->second.myOnly;
            return LOOKUP_UNIQUE;
        }
        return LOOKUP_SCAN;
    }

    // After a scan found the only object of a name, the entry keeps it.
    void SetOnly(std::string_view aName, VelkType* anObject)
    {
        auto locIt = myEntries.find(aName);
        if (locIt != myEntries.end() && locIt->second.myCount == 1)
            locIt->second.myOnly = anObject;
    }

private:
    struct Entry
    {
        int myCount;
        VelkType* myOnly; // null while the name repeats or after a removal
    };
    std::unordered_map<std::string, Entry, VelkStringHash, std::equal_to<>> myEntries;
    int myTotal = 0;
};

// An ordered list of names with a set beside it. A declared type builds it once;
// the type's clones share it, so an instance costs no copy of it.
class VelkNameList
{
public:
    // False when the name is already listed.
    bool Add(const QC_String& aName)
    {
        std::string_view locName(aName.GetBuffer(), aName.GetLength());
        if (mySet.find(locName) != mySet.end())
            return false;
        mySet.emplace(locName);
        return myNames.Add(aName);
    }
    // Listed again when already present.
    bool Append(const QC_String& aName)
    {
        mySet.emplace(aName.GetBuffer(), aName.GetLength());
        return myNames.Add(aName);
    }
    bool Has(std::string_view aName) const { return mySet.find(aName) != mySet.end(); }
    const QC_List<QC_String>& GetNames() const { return myNames; }

private:
    QC_List<QC_String> myNames;
    std::unordered_set<std::string, VelkStringHash, std::equal_to<>> mySet;
};
