// Type filters and the reader and writer of "korrinth.tfm": little-endian, no
// header; strings are a u32 length and that many bytes.
#include "velkeditor/velk_typefilter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"
#include "qcommon/qc_assert.h"
#include "qcommon/qc_listiterator.h"
#include "qfile/qf_file.h"

// ---------------------------------------------------------------------------
// VelkTypeFilter
// ---------------------------------------------------------------------------

VelkTypeFilter::VelkTypeFilter(const char* aName) : myName(aName)
{
}

VelkTypeFilter::~VelkTypeFilter()
{
    myMembers.RemoveAll();
}

bool VelkTypeFilter::Contains(const char* aMemberName)
{
    return myMembers.myCount == 0 || myMembers.Find(QC_String(aMemberName));
}

bool VelkTypeFilter::AddMember(const char* aMemberName)
{
    return myMembers.Add(QC_String(aMemberName));
}

void VelkTypeFilter::Clear()
{
    myMembers.RemoveAll();
}

void VelkTypeFilter::GetMembers(QC_List<QC_String>& anOut) const
{
    anOut.RemoveAll();
    QC_ITreeInorderIterator<QC_String> locIter(myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        anOut.Add(locIter.GetCurrent());
}

namespace
{
void locAddBalanced(QC_ITree<QC_String>& aTree, const std::vector<QC_String>& aNames, size_t aBegin, size_t anEnd)
{
    if (aBegin >= anEnd)
        return;
    size_t locMiddle = aBegin + (anEnd - aBegin) / 2;
    aTree.Add(aNames[locMiddle]);
    locAddBalanced(aTree, aNames, aBegin, locMiddle);
    locAddBalanced(aTree, aNames, locMiddle + 1, anEnd);
}
} // namespace

void VelkTypeFilter::SetMembers(std::vector<QC_String>& aNames)
{
    myMembers.RemoveAll();
    std::sort(aNames.begin(), aNames.end());
    aNames.erase(std::unique(aNames.begin(), aNames.end()), aNames.end());
    locAddBalanced(myMembers, aNames, 0, aNames.size());
}

// ---------------------------------------------------------------------------
// VelkTypeFilterManager::Type
// ---------------------------------------------------------------------------

VelkTypeFilterManager::Type::Type(const char* aTypeName)
    : myTypeName(aTypeName), myDefaultFilter(""), myActiveFilter(&myDefaultFilter)
{
}

VelkTypeFilterManager::Type::~Type()
{
    myActiveFilter = &myDefaultFilter;
    myFilters.DeleteAll();
}

VelkTypeFilter* VelkTypeFilterManager::Type::FindFilter(const char* aName) const
{
    for (QC_List<VelkTypeFilter*>::Link* locLink = myFilters.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->GetName() == aName)
            return locLink->myItem;
    return nullptr;
}

bool VelkTypeFilterManager::Type::SetActiveFilter(const char* aName)
{
    VelkTypeFilter* locFilter = FindFilter(aName);
    myActiveFilter = locFilter ? locFilter : &myDefaultFilter;
    return locFilter != nullptr;
}

VelkTypeFilter* VelkTypeFilterManager::Type::AddFilter(const char* aName)
{
    if (VelkTypeFilter* locExisting = FindFilter(aName))
        return locExisting;
    VelkTypeFilter* locFilter = new (std::nothrow) VelkTypeFilter(aName);
    QC_ASSERT(locFilter);
    bool locAdded = myFilters.Add(locFilter);
    QC_ASSERT(locAdded);
    myActiveFilter = locFilter;
    return locFilter;
}

// ---------------------------------------------------------------------------
// VelkTypeFilterManager
// ---------------------------------------------------------------------------

VelkTypeFilterManager::VelkTypeFilterManager(const char* aFileName)
{
    if (!aFileName || !aFileName[0])
        return;
    myFileName = aFileName;
    if (aFileName[0] != '/')
    {
        char locDirectory[4096];
        if (OS_GetCurrentDirectory(locDirectory, sizeof(locDirectory)))
        {
            std::string locPath = std::string(locDirectory) + "/" + aFileName;
            myFileName = locPath.c_str();
        }
    }
    Load();
}

VelkTypeFilterManager::~VelkTypeFilterManager()
{
    if (!myFileName.IsEmpty())
        Save();
    myTypes.DeleteAll();
}

VelkTypeFilterManager::Type* VelkTypeFilterManager::FindType(const char* aTypeName) const
{
    for (QC_List<Type*>::Link* locLink = myTypes.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->GetTypeName() == aTypeName)
            return locLink->myItem;
    return nullptr;
}

VelkTypeFilterManager::Type* VelkTypeFilterManager::GetType(const char* aTypeName)
{
    if (Type* locType = FindType(aTypeName))
        return locType;
    Type* locType = new (std::nothrow) Type(aTypeName);
    QC_ASSERT(locType);
    bool locAdded = myTypes.Add(locType);
    QC_ASSERT(locAdded);
    return locType;
}

namespace
{
// Reads off a buffer; every length is checked against what is left, so a
// damaged count ends the read instead of looping on empty strings.
class TfmReader
{
public:
    TfmReader(const uint8_t* aData, size_t aSize) : myData(aData), myLeft(aSize) {}

    bool ReadU32(uint32_t& aValue)
    {
        if (myLeft < 4)
            return false;
        aValue = uint32_t(myData[0]) | uint32_t(myData[1]) << 8 | uint32_t(myData[2]) << 16 |
                 uint32_t(myData[3]) << 24;
        Skip(4);
        return true;
    }

    bool ReadString(QC_String& aValue)
    {
        uint32_t locLength = 0;
        if (!ReadU32(locLength) || locLength > VelkTypeFilterManager::MAX_STRING || locLength > myLeft)
            return false;
        // A NUL inside the text ends the name, as it always did.
        size_t locTextLength = strnlen(reinterpret_cast<const char*>(myData), locLength);
        char* locText = aValue.Allocate(int(locTextLength));
        if (!locText)
            return false;
        memcpy(locText, myData, locTextLength);
        Skip(locLength);
        return true;
    }

    // A count of records of at least aMinimumSize bytes each must fit in what is left.
    bool ReadCount(uint32_t& aCount, size_t aMinimumSize)
    {
        return ReadU32(aCount) && uint64_t(aCount) * aMinimumSize <= myLeft;
    }

private:
    void Skip(size_t aCount)
    {
        myData += aCount;
        myLeft -= aCount;
    }

    const uint8_t* myData;
    size_t myLeft;
};

bool locReadType(TfmReader& aReader, VelkTypeFilterManager::Type*& aType)
{
    QC_String locName;
    uint32_t locNumFilters = 0;
    if (!aReader.ReadString(locName) || !aReader.ReadCount(locNumFilters, 8))
        return false;
    aType = new (std::nothrow) VelkTypeFilterManager::Type(locName);
    if (!aType)
        return false;
    std::vector<QC_String> locNames;
    for (uint32_t i = 0; i < locNumFilters; i++)
    {
        QC_String locFilterName;
        uint32_t locNumMembers = 0;
        if (!aReader.ReadString(locFilterName) || !aReader.ReadCount(locNumMembers, 4))
            return false;
        locNames.clear();
        locNames.reserve(locNumMembers);
        for (uint32_t j = 0; j < locNumMembers; j++)
        {
            QC_String locMember;
            if (!aReader.ReadString(locMember))
                return false;
            locNames.push_back(locMember);
        }
        VelkTypeFilter* locFilter = new (std::nothrow) VelkTypeFilter(locFilterName);
        if (!locFilter || !aType->GetFilters().Add(locFilter))
        {
            delete locFilter;
            return false;
        }
        locFilter->SetMembers(locNames);
    }
    QC_String locActive;
    if (!aReader.ReadString(locActive))
        return false;
    aType->SetActiveFilter(locActive);
    return true;
}

void locPutU32(std::vector<uint8_t>& anOut, uint32_t aValue)
{
    for (int i = 0; i < 4; i++)
        anOut.push_back(uint8_t(aValue >> (8 * i)));
}

// Cut where the reader would refuse it.
void locPutString(std::vector<uint8_t>& anOut, const QC_String& aText)
{
    uint32_t locLength = std::min(uint32_t(strlen(aText.GetBuffer())), VelkTypeFilterManager::MAX_STRING);
    locPutU32(anOut, locLength);
    anOut.insert(anOut.end(), aText.GetBuffer(), aText.GetBuffer() + locLength);
}
} // namespace

bool VelkTypeFilterManager::LoadFrom(const uint8_t* aData, size_t aSize)
{
    TfmReader locReader(aData, aSize);
    uint32_t locNumTypes = 0;
    if (aSize == 0)
        return true;
    if (!locReader.ReadU32(locNumTypes))
        return false;
    // Each record takes at least 12 bytes or fails, so a false count ends here soon.
    for (uint32_t i = 0; i < locNumTypes; i++)
    {
        Type* locType = nullptr;
        if (!locReadType(locReader, locType) || !myTypes.Add(locType))
        {
            // Only whole records are kept: a half-read one would be written
            // back at exit as if it were complete.
            delete locType;
            return false;
        }
    }
    return true;
}

bool VelkTypeFilterManager::Load()
{
    if (myFileName.IsEmpty() || !QF_File::Exists(myFileName))
        return true;
    QF_File locFile;
    if (!locFile.Open(myFileName, OPEN_READ))
        return false;
    return LoadFrom(locFile.myBuffer, locFile.GetSize());
}

void VelkTypeFilterManager::SaveTo(std::vector<uint8_t>& anOut) const
{
    anOut.clear();
    locPutU32(anOut, uint32_t(myTypes.myCount));
    for (QC_List<Type*>::Link* locLink = myTypes.myFirstLink; locLink; locLink = locLink->myNext)
    {
        Type* locType = locLink->myItem;
        locPutString(anOut, locType->myTypeName);
        locPutU32(anOut, uint32_t(locType->myFilters.myCount));
        QC_List<QC_String> locMembers;
        for (QC_List<VelkTypeFilter*>::Link* locFilter = locType->myFilters.myFirstLink; locFilter;
             locFilter = locFilter->myNext)
        {
            locPutString(anOut, locFilter->myItem->GetName());
            locFilter->myItem->GetMembers(locMembers);
            locPutU32(anOut, uint32_t(locMembers.myCount));
            for (QC_List<QC_String>::Link* locMember = locMembers.myFirstLink; locMember; locMember = locMember->myNext)
                locPutString(anOut, locMember->myItem);
        }
        locPutString(anOut, locType->myActiveFilter->GetName());
    }
}

bool VelkTypeFilterManager::Save()
{
    if (myFileName.IsEmpty())
        return false;
    std::vector<uint8_t> locBytes;
    SaveTo(locBytes);
    OS_SaveFile locSave;
    if (!locSave.Begin(myFileName))
        return false;
    locSave.Write(locBytes.data(), locBytes.size());
    return locSave.Commit();
}
