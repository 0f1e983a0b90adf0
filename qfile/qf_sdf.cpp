// SDF archives: the registry of open archives, the opener with its FAT checks,
// and the lookup, loading and listing of entries.
//
// [SECTION] Names and the FAT
// [SECTION] FAT checks
// [SECTION] Registry and opener
// [SECTION] Lookup and loading
// [SECTION] Listing
#include "qfile/qf_sdf.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"
#include "qfile/qf_sdf_local.h"
#include "qpack/qp_pack.h"

namespace
{
constexpr OS_FileHandle INVALID_HANDLE_VALUE = OS_INVALID_HANDLE;

// The shared handle failed under us: later searches skip the archive until it is reopened.
bool locArchiveReadFailed(QF_SDFArchive* anArchive)
{
    anArchive->myOpenFlag = 0;
    QF_ErrorCode = QF_ERROR_READ;
    return false;
}

inline uint8_t locUpper(uint8_t aChar)
{
    return (aChar >= 'a' && aChar <= 'z') ? uint8_t(aChar - 'a' + 'A') : aChar;
}

// Archive paths compare by ASCII case only, whatever the locale, as they hash.
bool locEqualNoCase(const char* aFirst, const char* aSecond)
{
    for (;; ++aFirst, ++aSecond)
    {
        uint8_t locA = locUpper(uint8_t(*aFirst));
        if (locA != locUpper(uint8_t(*aSecond)))
            return false;
        if (!locA)
            return true;
    }
}

bool locStartsWithNoCase(const char* aText, const char* aPrefix, size_t aLength)
{
    for (size_t i = 0; i < aLength; ++i)
    {
        if (locUpper(uint8_t(aText[i])) != locUpper(uint8_t(aPrefix[i])) || !aText[i])
            return false;
    }
    return true;
}

// Copies a path with '\\' turned into '/'; false when it is longer than an archive path may be.
bool locNormalize(const char* aPath, char* aResult)
{
    size_t locLength = aPath ? strlen(aPath) : 0;
    if (locLength > QF_SDF_MAX_PATH)
        return false;
    for (size_t i = 0; i < locLength; ++i)
        aResult[i] = aPath[i] == '\\' ? '/' : aPath[i];
    aResult[locLength] = 0;
    return true;
}

// An archive's own path on disk: the system's limit, not the names' inside.
bool locNormalizeArchivePath(const char* aPath, std::string* aResult)
{
    const size_t locLength = aPath ? strlen(aPath) : 0;
    if (locLength == 0 || locLength >= PATH_MAX)
        return false;
    aResult->assign(aPath, locLength);
    std::replace(aResult->begin(), aResult->end(), '\\', '/');
    return true;
}
}

QF_SDFArchive* QF_SDF::ourFirstArchive = nullptr;
char QF_SDFErrorText[256];

//-----------------------------------------------------------------------------
// [SECTION] Names and the FAT
//-----------------------------------------------------------------------------

uint32_t QF_SDF::HashName(const char* aPath, char* aNormalized)
{
    size_t locLength = 0;
    if (aPath)
        while (aPath[locLength] && locLength < QF_SDF_MAX_PATH)
        {
            aNormalized[locLength] = aPath[locLength] == '\\' ? '/' : aPath[locLength];
            ++locLength;
        }
    aNormalized[locLength] = 0;
    uint32_t locA = 1;
    uint32_t locB = 0;
    for (size_t locIndex = 0; locIndex < locLength; ++locIndex)
    {
        locA = (locA + locUpper(uint8_t(aNormalized[locIndex]))) % 65521;
        locB = (locB + locA) % 65521;
    }
    return locA | (locB << 16);
}

uint32_t QF_SDF::GetFATWord(const QF_SDFArchive* anArchive, uint32_t anOffset)
{
    if (!anArchive->myFAT || uint64_t(anOffset) + 4 > anArchive->myFATSize)
        return 0;
    return QF_SDFGetU32(anArchive->myFAT + anOffset);
}

const char* QF_SDF::GetFATText(const QF_SDFArchive* anArchive, uint32_t anOffset)
{
    if (!anArchive->myFAT || anOffset >= anArchive->myFATSize)
        return nullptr;
    const char* locText = reinterpret_cast<const char*>(anArchive->myFAT + anOffset);
    return memchr(locText, 0, anArchive->myFATSize - anOffset) ? locText : nullptr;
}

bool QF_SDF::GetFileRecord(const QF_SDFArchive* anArchive, uint32_t aRecordOffset, QF_SDFFileRecord* aRecord)
{
    if (uint64_t(aRecordOffset) + QF_SDF_FILE_RECORD_SIZE > anArchive->myFATSize)
        return false;
    aRecord->myTime = GetFATWord(anArchive, aRecordOffset);
    aRecord->mySize = GetFATWord(anArchive, aRecordOffset + 4);
    aRecord->myPackedWord = GetFATWord(anArchive, aRecordOffset + 8);
    aRecord->myDataOffset = GetFATWord(anArchive, aRecordOffset + 12);
    aRecord->myDirectory = GetFATText(anArchive, GetFATWord(anArchive, aRecordOffset + 16));
    aRecord->myName = GetFATText(anArchive, aRecordOffset + 20);
    return aRecord->myDirectory && aRecord->myName;
}

bool QF_SDF::IsSearched(const QF_SDFArchive* anArchive, uint8_t aPriority)
{
    return anArchive->myOpenFlag && anArchive->myPriority == aPriority && anArchive->myFileHand != INVALID_HANDLE_VALUE &&
           anArchive->myFAT;
}

namespace
{
// Code page 1252 from 0x80 to 0x9F; the five bytes it leaves undefined map to
// the control characters of the same value, as Windows maps them.
const uint16_t locCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool locIsUtf8(const uint8_t* aText, size_t aLength)
{
    for (size_t i = 0; i < aLength;)
    {
        const uint8_t locLead = aText[i];
        size_t locMore;
        uint32_t locMin;
        uint32_t locCode;
        if (locLead < 0x80)
        {
            ++i;
            continue;
        }
        if ((locLead & 0xE0) == 0xC0)
            locMore = 1, locMin = 0x80, locCode = locLead & 0x1F;
        else if ((locLead & 0xF0) == 0xE0)
            locMore = 2, locMin = 0x800, locCode = locLead & 0x0F;
        else if ((locLead & 0xF8) == 0xF0)
            locMore = 3, locMin = 0x10000, locCode = locLead & 0x07;
        else
            return false;
        if (locMore >= aLength - i)
            return false;
        for (size_t j = 1; j <= locMore; ++j)
        {
            if ((aText[i + j] & 0xC0) != 0x80)
                return false;
            locCode = (locCode << 6) | (aText[i + j] & 0x3F);
        }
        if (locCode < locMin || locCode > 0x10FFFF || (locCode >= 0xD800 && locCode <= 0xDFFF))
            return false;
        i += locMore + 1;
    }
    return true;
}

void locAppendUtf8(std::string* aResult, uint32_t aCode)
{
    if (aCode < 0x80)
        *aResult += char(aCode);
    else if (aCode < 0x800)
    {
        *aResult += char(0xC0 | (aCode >> 6));
        *aResult += char(0x80 | (aCode & 0x3F));
    }
    else
    {
        *aResult += char(0xE0 | (aCode >> 12));
        *aResult += char(0x80 | ((aCode >> 6) & 0x3F));
        *aResult += char(0x80 | (aCode & 0x3F));
    }
}
}

std::string QF_SDFNameToUtf8(const char* aName)
{
    std::string locResult;
    const uint8_t* locPart = reinterpret_cast<const uint8_t*>(aName);
    for (;;)
    {
        const size_t locLength = strcspn(reinterpret_cast<const char*>(locPart), "/\\");
        if (locIsUtf8(locPart, locLength))
            locResult.append(reinterpret_cast<const char*>(locPart), locLength);
        else
            for (size_t i = 0; i < locLength; ++i)
                locAppendUtf8(&locResult, locPart[i] >= 0x80 && locPart[i] < 0xA0 ? locCp1252High[locPart[i] - 0x80]
                                                                                   : locPart[i]);
        if (!locPart[locLength])
            return locResult;
        locResult += char(locPart[locLength]);
        locPart += locLength + 1;
    }
}

std::string QF_SDFNameKey(const char* aPath)
{
    std::string locKey = QF_SDFNameToUtf8(aPath);
    for (char& locChar : locKey)
        locChar = locChar == '\\' ? '/' : char(locUpper(uint8_t(locChar)));
    return locKey;
}

std::string QF_SDFNameForMessage(const char* aPath)
{
    std::string locShown = QF_SDFNameToUtf8(aPath);
    return locShown == aPath ? locShown : locShown + " (code page 1252)";
}

//-----------------------------------------------------------------------------
// [SECTION] FAT checks
//-----------------------------------------------------------------------------

namespace
{
bool locFault(char* aFault, const char* aFormat, ...) __attribute__((format(printf, 2, 3)));
bool locFault(char* aFault, const char* aFormat, ...)
{
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(aFault, QF_SDF_FAULT_SIZE, aFormat, locArgs);
    va_end(locArgs);
    return false;
}

struct locFatCheck
{
    const uint8_t* myData;
    uint64_t mySize;
    int64_t myLastNul;   // index of the last NUL byte; -1 when none
    char* myFault;

    uint32_t Word(uint64_t anOffset) const { return QF_SDFGetU32(myData + anOffset); }

    // A string that starts at or before the FAT's last NUL ends inside the FAT.
    bool TextOk(uint64_t anOffset) const { return int64_t(anOffset) <= myLastNul; }

    bool FileRecordOk(uint32_t aRecord) const
    {
        if ((aRecord & 3) || !TextOk(uint64_t(aRecord) + QF_SDF_FILE_RECORD_SIZE))
            return locFault(myFault, "a file record at %u lies outside the table or off a multiple of 4", aRecord);
        const char* locName = reinterpret_cast<const char*>(myData) + aRecord + QF_SDF_FILE_RECORD_SIZE;
        if (!QF_SDFIsLeafName(locName))
            return locFault(myFault, "the file name \"%s\" is empty, \".\", \"..\" or holds a separator", locName);
        uint32_t locPath = Word(uint64_t(aRecord) + 16);
        if ((locPath & 3) || !TextOk(locPath))
            return locFault(myFault, "the directory path of the file \"%s\" lies outside the table or off a multiple of 4",
                            locName);
        return true;
    }
};
}

bool QF_SDFIsLeafName(const char* aName)
{
    if (!aName[0] || !strcmp(aName, ".") || !strcmp(aName, ".."))
        return false;
    return !strpbrk(aName, "/\\");
}

bool QF_SDFIsEntryPath(const char* aPath)
{
    for (const char* locPart = aPath;; )
    {
        const size_t locLength = strcspn(locPart, "/\\");
        if (locLength == 0 || (locPart[0] == '.' && (locLength == 1 || (locLength == 2 && locPart[1] == '.'))))
            return false;
        if (!locPart[locLength])
            return true;
        locPart += locLength + 1;
    }
}

bool QF_SDFCheckFat(const uint8_t* aData, uint32_t aSize, uint32_t* aDirTable, char* aFault)
{
    if (aSize < 8)
        return locFault(aFault, "the table of %u bytes cannot hold its two counts", aSize);
    locFatCheck locCheck = {aData, aSize, -1, aFault};
    if (const void* locNul = memrchr(aData, 0, aSize))
        locCheck.myLastNul = static_cast<const uint8_t*>(locNul) - aData;

    uint64_t locFileCount = locCheck.Word(0);
    uint64_t locDirTable = 4 + 8 * locFileCount;
    if (locDirTable + 4 > aSize)
        return locFault(aFault, "%llu files do not fit in a table of %u bytes", (unsigned long long) locFileCount, aSize);
    uint64_t locDirCount = locCheck.Word(locDirTable);
    if (locDirTable + 4 + 8 * locDirCount > aSize)
        return locFault(aFault, "%llu directories do not fit in a table of %u bytes", (unsigned long long) locDirCount,
                        aSize);

    for (uint64_t i = 0; i < locFileCount; ++i)
    {
        if (!locCheck.FileRecordOk(locCheck.Word(8 + 8 * i)))
            return false;
    }

    // Directory records never overlap in a sound FAT, so their words together
    // cannot exceed it; this also bounds the work done on a hostile one.
    uint64_t locWords = 0;
    for (uint64_t i = 0; i < locDirCount; ++i)
    {
        uint64_t locRecord = locCheck.Word(locDirTable + 8 + 8 * i);
        if ((locRecord & 3) || locRecord + 4 > aSize)
            return locFault(aFault, "a directory record at %llu lies outside the table or off a multiple of 4",
                            (unsigned long long) locRecord);
        uint64_t locSubDirs = locCheck.Word(locRecord);
        if (locRecord + 8 + 4 * locSubDirs > aSize)
            return locFault(aFault, "the directory record at %llu runs past the table", (unsigned long long) locRecord);
        uint64_t locFiles = locCheck.Word(locRecord + 4 + 4 * locSubDirs);
        if (!locCheck.TextOk(locRecord + 8 + 4 * locSubDirs + 4 * locFiles))
            return locFault(aFault, "the directory record at %llu runs past the table", (unsigned long long) locRecord);
        locWords += 2 + locSubDirs + locFiles;
        if (locWords * 4 > aSize)
            return locFault(aFault, "the directory records overlap");
        for (uint64_t j = 0; j < locSubDirs; ++j)
        {
            if (!locCheck.TextOk(locCheck.Word(locRecord + 4 + 4 * j)))
                return locFault(aFault, "a sub-directory name of the directory record at %llu lies outside the table",
                                (unsigned long long) locRecord);
        }
        for (uint64_t j = 0; j < locFiles; ++j)
        {
            if (!locCheck.FileRecordOk(locCheck.Word(locRecord + 8 + 4 * locSubDirs + 4 * j)))
                return false;
        }
    }
    *aDirTable = uint32_t(locDirTable);
    return true;
}

// Runs after QF_SDFCheckFat, so every record and string lies inside the FAT.
bool QF_SDFCheckTree(const uint8_t* aData, uint32_t aSize, uint32_t aDirTable, char* aFault)
{
    struct locDir
    {
        uint32_t myPath;     // FAT offset of the path string
        uint32_t myLength;   // its length
        uint32_t myRecord;
    };
    const char* locText = reinterpret_cast<const char*>(aData);
    const uint32_t locCount = QF_SDFGetU32(aData + aDirTable);
    std::vector<locDir> locDirs;
    locDirs.reserve(locCount);
    for (uint32_t i = 0; i < locCount; ++i)
    {
        uint32_t locRecord = QF_SDFGetU32(aData + aDirTable + 8 + 8 * uint64_t(i));
        uint64_t locSubs = QF_SDFGetU32(aData + locRecord);
        uint64_t locFiles = QF_SDFGetU32(aData + locRecord + 4 + 4 * locSubs);
        uint32_t locPath = uint32_t(locRecord + 8 + 4 * locSubs + 4 * locFiles);
        // A path no writer may store is looked up by none either, listed or not.
        if (locText[locPath] && !QF_SDFIsEntryPath(locText + locPath))
            return locFault(aFault, "the directory path \"%s\" has an empty, \".\" or \"..\" part", locText + locPath);
        locDirs.push_back({locPath, uint32_t(strlen(locText + locPath)), locRecord});
    }
    std::sort(locDirs.begin(), locDirs.end(), [](const locDir& aLeft, const locDir& aRight) {
        return aLeft.myPath < aRight.myPath;
    });
    for (size_t i = 1; i < locDirs.size(); ++i)
    {
        if (locDirs[i].myPath == locDirs[i - 1].myPath)
            return locFault(aFault, "two directory records share the path \"%s\"", locText + locDirs[i].myPath);
    }

    // Each sub-directory offset must point at the leaf of a directory's own path,
    // that path being the parent's path, '/', and a proper name. A child's path is
    // then longer than its parent's, so following children can never come back,
    // and no directory may be listed twice.
    std::vector<uint8_t> locListed(locDirs.size(), 0);
    for (const locDir& locParent : locDirs)
    {
        const char* locParentPath = locText + locParent.myPath;
        uint64_t locSubs = QF_SDFGetU32(aData + locParent.myRecord);
        for (uint64_t j = 0; j < locSubs; ++j)
        {
            uint32_t locLeaf = QF_SDFGetU32(aData + locParent.myRecord + 4 + 4 * j);
            if (locLeaf >= aSize || !QF_SDFIsLeafName(locText + locLeaf))
                return locFault(aFault, "the directory \"%s\" lists a sub-directory whose name is empty, \".\", \"..\" or holds a separator",
                                locParentPath);
            auto locAfter = std::upper_bound(locDirs.begin(), locDirs.end(), locLeaf,
                                             [](uint32_t anOffset, const locDir& aDir) { return anOffset < aDir.myPath; });
            const char* const locNoRecord = "the directory \"%s\" lists the sub-directory \"%s\", which has no record";
            if (locAfter == locDirs.begin())
                return locFault(aFault, locNoRecord, locParentPath, locText + locLeaf);
            const locDir& locChild = *(locAfter - 1);
            if (locLeaf >= uint64_t(locChild.myPath) + locChild.myLength)
                return locFault(aFault, locNoRecord, locParentPath, locText + locLeaf);
            const uint32_t locPrefix = locLeaf - locChild.myPath;
            if (locParent.myLength == 0 ? locPrefix != 0
                                        : (locPrefix != locParent.myLength + 1 || locText[locLeaf - 1] != '/' ||
                                           !locStartsWithNoCase(locText + locChild.myPath, locParentPath,
                                                               locParent.myLength)))
                return locFault(aFault, "the directory \"%s\" lists \"%s\", which is not directly inside it",
                                locParentPath, locText + locChild.myPath);
            uint8_t& locMark = locListed[size_t(&locChild - locDirs.data())];
            if (locMark)
                return locFault(aFault, "the directory \"%s\" is listed as a sub-directory twice",
                                locText + locChild.myPath);
            locMark = 1;
        }
    }
    return true;
}

//-----------------------------------------------------------------------------
// [SECTION] Registry and opener
//-----------------------------------------------------------------------------

QF_SDFArchive* QF_SDF::CreateEntry()
{
    QF_SDFArchive* locArchive = static_cast<QF_SDFArchive*>(calloc(1, sizeof(QF_SDFArchive)));
    if (!locArchive)
        return nullptr;
    locArchive->myRefCount = 1;
    locArchive->myFileHand = INVALID_HANDLE_VALUE;
    locArchive->myNext = ourFirstArchive;
    if (ourFirstArchive)
        ourFirstArchive->myPrevious = locArchive;
    ourFirstArchive = locArchive;
    return locArchive;
}

void QF_SDF::CloseArchive(QF_SDFArchive* anArchive)
{
    if (anArchive->myFileHand != INVALID_HANDLE_VALUE)
        OS_CloseFile(anArchive->myFileHand);
    anArchive->myFileHand = INVALID_HANDLE_VALUE;
    free(anArchive->myFAT);
    anArchive->myFAT = nullptr;
    anArchive->myFATSize = 0;
    anArchive->myFileTable = 0;
    anArchive->myDirTable = 0;
    anArchive->myTablesSorted = 0;
    free(anArchive->myName);
    anArchive->myName = nullptr;
    anArchive->myOpenFlag = 0;
}

void QF_SDF::DestroyEntry(QF_SDFArchive* anArchive)
{
    CloseArchive(anArchive);
    if (anArchive->myPrevious)
        anArchive->myPrevious->myNext = anArchive->myNext;
    else if (ourFirstArchive == anArchive)
        ourFirstArchive = anArchive->myNext;
    if (anArchive->myNext)
        anArchive->myNext->myPrevious = anArchive->myPrevious;
    anArchive->myNext = anArchive->myPrevious = nullptr;
}

static bool locIsSorted(const QF_SDFArchive* anArchive, uint32_t aTable)
{
    uint32_t locCount = QF_SDF::GetFATWord(anArchive, aTable);
    for (uint32_t i = 1; i < locCount; ++i)
    {
        if (QF_SDF::GetFATWord(anArchive, aTable + 8 * i - 4) > QF_SDF::GetFATWord(anArchive, aTable + 8 * i + 4))
            return false;
    }
    return true;
}

// A compressed block cannot unpack to more than its coder's best ratio allows
// (deflate stays under 1032:1, LZMA under about 7100:1): a size beyond that is
// damage, refused before a buffer of that size is allocated.
static bool locUnpackedSizeFits(uint32_t aMethod, uint32_t aStoredSize, uint32_t anUnpackedSize)
{
    const uint64_t locRatio = aMethod == QF_SDF_ZLIB ? 1032 : 8192;
    return anUnpackedSize <= uint64_t(aStoredSize) * locRatio + 1024;
}

// aText says what is wrong; null when QF_SDFErrorText already does.
static bool locOpenFailed(int aCode, const char* aText)
{
    QF_ErrorCode = aCode;
    if (aText)
        snprintf(QF_SDFErrorText, sizeof(QF_SDFErrorText), "%s", aText);
    return false;
}

bool QF_SDF::Open(QF_SDFArchive* anArchive, const char* aPath, uint8_t aPriority)
{
    CloseArchive(anArchive);
    anArchive->myPriority = aPriority;
    QF_SDFErrorText[0] = 0;

    std::string locName;
    if (!locNormalizeArchivePath(aPath, &locName))
        return locOpenFailed(QF_ERROR_NOT_FOUND, "the path is empty or longer than the system allows");
    anArchive->myFileHand = OS_OpenFile(locName.c_str(), OS_OPEN_READ);
    if (anArchive->myFileHand == INVALID_HANDLE_VALUE)
        return locOpenFailed(QF_ERROR_NOT_FOUND, strerror(errno));

    uint8_t locHeader[QF_SDF_HEADER_SIZE];
    if (OS_ReadFileAt(anArchive->myFileHand, locHeader, sizeof(locHeader), 0) != int64_t(sizeof(locHeader)))
        return locOpenFailed(QF_ERROR_READ, "the header is cut short");
    if (QF_SDFGetU32(locHeader) != QF_SDF_MAGIC)
        return locOpenFailed(QF_ERROR_NOT_SDF, "not an SDF archive");
    OS_FileInfo locInfo;
    if (!OS_GetHandleInfo(anArchive->myFileHand, &locInfo))
        return locOpenFailed(QF_ERROR_READ, strerror(errno));

    // The FAT block header, then the stored FAT, both inside the file.
    const uint32_t locFatBlock = QF_SDFGetU32(locHeader + 4);
    uint8_t locBlockHeader[QF_SDF_FAT_HEADER_SIZE];
    if (locFatBlock < QF_SDF_HEADER_SIZE || uint64_t(locFatBlock) + QF_SDF_FAT_HEADER_SIZE > locInfo.mySize ||
        OS_ReadFileAt(anArchive->myFileHand, locBlockHeader, sizeof(locBlockHeader), locFatBlock) !=
            int64_t(sizeof(locBlockHeader)))
        return locOpenFailed(QF_ERROR_READ, "the table's block lies outside the file");
    const uint32_t locUnpackedSize = QF_SDFGetU32(locBlockHeader);
    const uint32_t locPackedWord = QF_SDFGetU32(locBlockHeader + 4);
    const uint32_t locStoredSize = QF_SDFStoredSize(locPackedWord);
    const uint32_t locMethod = QF_SDFMethodOf(locPackedWord);
    const uint64_t locStoredAt = uint64_t(locFatBlock) + QF_SDF_FAT_HEADER_SIZE;
    if (locMethod == QF_SDF_INVALID || locStoredSize > locInfo.mySize - locStoredAt ||
        (locMethod == QF_SDF_STORED && locStoredSize != locUnpackedSize) ||
        !locUnpackedSizeFits(locMethod, locStoredSize, locUnpackedSize))
        return locOpenFailed(QF_ERROR_READ, "the table's sizes or method are damaged");

    uint8_t* locStored = static_cast<uint8_t*>(malloc(locStoredSize ? locStoredSize : 1));
    if (!locStored)
        return locOpenFailed(QF_ERROR_READ, "no memory for the table");
    if (OS_ReadFileAt(anArchive->myFileHand, locStored, locStoredSize, locStoredAt) != int64_t(locStoredSize))
    {
        free(locStored);
        return locOpenFailed(QF_ERROR_READ, "the table cannot be read");
    }
    uint8_t* locFat = locStored;
    if (locMethod != QF_SDF_STORED)
    {
        locFat = static_cast<uint8_t*>(malloc(locUnpackedSize ? locUnpackedSize : 1));
        bool locUnpacked = false;
        if (locFat && locMethod == QF_SDF_ZLIB)
            locUnpacked = QP_Pack::DecompressZlib(locUnpackedSize, locFat, locStoredSize, locStored) == locUnpackedSize;
        else if (locFat)
            locUnpacked = QP_Pack::DecompressLZMA(locStored, locStoredSize, locFat, locUnpackedSize);
        free(locStored);
        if (!locUnpacked)
        {
            free(locFat);
            return locOpenFailed(QF_ERROR_READ, "the table cannot be unpacked");
        }
    }
    anArchive->myFAT = locFat;
    anArchive->myFATSize = locUnpackedSize;

    uint32_t locDirTable = 0;
    if (!QF_SDFCheckFat(locFat, locUnpackedSize, &locDirTable, QF_SDFErrorText))
        return locOpenFailed(QF_ERROR_CORRUPT_SDF, nullptr);
    // Names that are no names, or directories that list themselves or each
    // other, would send a listing round in circles.
    if (!QF_SDFCheckTree(locFat, locUnpackedSize, locDirTable, QF_SDFErrorText))
        return locOpenFailed(QF_ERROR_CORRUPT_SDF, nullptr);
    anArchive->myFileTable = 0;
    anArchive->myDirTable = locDirTable;
    // Every entry's data lies between the header and the FAT block.
    const uint32_t locFileCount = GetFATWord(anArchive, 0);
    for (uint32_t i = 0; i < locFileCount; ++i)
    {
        uint32_t locRecord = GetFATWord(anArchive, 8 + 8 * i);
        uint64_t locData = GetFATWord(anArchive, locRecord + 12);
        uint64_t locStoredEntry = QF_SDFStoredSize(GetFATWord(anArchive, locRecord + 8));
        if (locData < QF_SDF_HEADER_SIZE || locData + locStoredEntry > locFatBlock)
            return locOpenFailed(QF_ERROR_CORRUPT_SDF, "an entry's data lies outside the data area");
    }
    anArchive->myTablesSorted = locIsSorted(anArchive, 0) && locIsSorted(anArchive, locDirTable);

    anArchive->myName = strdup(locName.c_str());
    if (!anArchive->myName)
        return locOpenFailed(QF_ERROR_READ, "no memory");
    anArchive->myOpenFlag = 1;
    return true;
}

static QF_SDFArchive* locFindArchive(const char* aName)
{
    for (QF_SDFArchive* locArchive = QF_SDF::ourFirstArchive; locArchive; locArchive = locArchive->myNext)
    {
        if (locArchive->myName && locEqualNoCase(locArchive->myName, aName))
            return locArchive;
    }
    return nullptr;
}

QF_SDFArchive* QF_SDF::OpenByName(const char* aPath, uint8_t aPriority)
{
    std::string locName;
    if (!locNormalizeArchivePath(aPath, &locName))
    {
        locOpenFailed(QF_ERROR_NOT_FOUND, "the path is empty or longer than the system allows");
        return nullptr;
    }
    QF_SDFArchive* locArchive = locFindArchive(locName.c_str());
    if (locArchive)
    {
        // A failed entry read closed it for lookups: load it again before sharing it.
        if (!locArchive->myOpenFlag && !Open(locArchive, locName.c_str(), locArchive->myPriority))
        {
            // The holders' Close must still find it by name.
            CloseArchive(locArchive);
            locArchive->myName = strdup(locName.c_str());
            return nullptr;
        }
        ++locArchive->myRefCount;
        return locArchive;
    }

    locArchive = CreateEntry();
    if (!locArchive)
    {
        locOpenFailed(QF_ERROR_READ, "out of memory");
        return nullptr;
    }
    if (!Open(locArchive, locName.c_str(), aPriority))
    {
        DestroyEntry(locArchive);
        free(locArchive);
        return nullptr;
    }
    return locArchive;
}

bool QF_SDF::Close(const char* aName)
{
    if (!aName)
    {
        while (ourFirstArchive)
        {
            QF_SDFArchive* locArchive = ourFirstArchive;
            DestroyEntry(locArchive);
            free(locArchive);
        }
        return true;
    }
    QF_SDFArchive* locArchive = locFindArchive(aName);
    if (!locArchive)
        return false;
    if (--locArchive->myRefCount == 0)
    {
        DestroyEntry(locArchive);
        free(locArchive);
    }
    return true;
}

//-----------------------------------------------------------------------------
// [SECTION] Lookup and loading
//-----------------------------------------------------------------------------

// The pairs of a hash table (a count, then pairs of hash and record offset) that carry
// one hash, in table order. A sorted table is entered by halving and left at the
// first greater hash.
class locHashMatches
{
public:
    locHashMatches(const QF_SDFArchive* anArchive, uint32_t aTable, uint32_t aHash)
        : myArchive(anArchive), myTable(aTable), myHash(aHash), myCount(QF_SDF::GetFATWord(anArchive, aTable)),
          myIndex(0)
    {
        if (!anArchive->myTablesSorted)
            return;
        uint32_t locHigh = myCount;
        while (myIndex < locHigh)
        {
            uint32_t locMiddle = myIndex + (locHigh - myIndex) / 2;
            if (QF_SDF::GetFATWord(anArchive, aTable + 4 + 8 * locMiddle) < aHash)
                myIndex = locMiddle + 1;
            else
                locHigh = locMiddle;
        }
    }

    // The record offset of the next pair with the hash; false when there is none.
    bool Next(uint32_t* aRecordOut)
    {
        for (; myIndex < myCount; ++myIndex)
        {
            uint64_t locPair = uint64_t(myTable) + 4 + uint64_t(myIndex) * 8;
            if (locPair + 8 > myArchive->myFATSize)
                return false;
            uint32_t locHash = QF_SDF::GetFATWord(myArchive, uint32_t(locPair));
            if (locHash == myHash)
            {
                *aRecordOut = QF_SDF::GetFATWord(myArchive, uint32_t(locPair + 4));
                ++myIndex;
                return true;
            }
            if (myArchive->myTablesSorted && locHash > myHash)
                return false;
        }
        return false;
    }

private:
    const QF_SDFArchive* myArchive;
    uint32_t myTable;
    uint32_t myHash;
    uint32_t myCount;
    uint32_t myIndex;
};

bool QF_SDF::FindEntry(QF_SDFArchive* anArchive, uint32_t aHash, const char* aNormalizedPath,
                       QF_SDFFileRecord* aRecord, QF_File* aFile)
{
    locHashMatches locMatches(anArchive, anArchive->myFileTable, aHash);
    uint32_t locRecordAt;
    while (locMatches.Next(&locRecordAt))
    {
        QF_SDFFileRecord locRecord;
        if (!GetFileRecord(anArchive, locRecordAt, &locRecord))
            continue;
        const char* locLeaf = aNormalizedPath;
        size_t locDirLength = strlen(locRecord.myDirectory);
        if (locDirLength)
        {
            if (!locStartsWithNoCase(aNormalizedPath, locRecord.myDirectory, locDirLength) ||
                aNormalizedPath[locDirLength] != '/')
                continue;
            locLeaf = aNormalizedPath + locDirLength + 1;
        }
        if (!locEqualNoCase(locLeaf, locRecord.myName))
            continue;
        if (aRecord)
            *aRecord = locRecord;
        return aFile ? LoadEntry(anArchive, locRecord, aFile) : true;
    }
    return false;
}

bool QF_SDF::LoadEntry(QF_SDFArchive* anArchive, const QF_SDFFileRecord& aRecord, QF_File* aFile)
{
    const uint32_t locMethod = QF_SDFMethodOf(aRecord.myPackedWord);
    const uint32_t locStored = QF_SDFStoredSize(aRecord.myPackedWord);
    aFile->myFileSize = aFile->myCapacity = aRecord.mySize;
    aFile->myTime = aRecord.myTime;
    if (locMethod != QF_SDF_STORED)
        aFile->myFlags &= ~uint32_t(OPEN_STREAMING);
    if (!CheckEntry(anArchive, aRecord))
        return false;

    if (aFile->myFlags & OPEN_STREAMING)
    {
        QC_ASSERT(aFile->myFileHand == INVALID_HANDLE_VALUE);
        OS_FileHandle locHandle = OS_OpenFile(anArchive->myName, OS_OPEN_READ);
        if (locHandle == INVALID_HANDLE_VALUE)
            aFile->myFlags &= ~uint32_t(OPEN_STREAMING);
        else
        {
            uint64_t locPos = 0;
            if (!OS_SeekFile(locHandle, aRecord.myDataOffset, 0, &locPos) || locPos != aRecord.myDataOffset)
            {
                OS_CloseFile(locHandle);
                return locArchiveReadFailed(anArchive);
            }
            aFile->myFileHand = locHandle;
            return true;
        }
    }

    aFile->myBuffer = static_cast<uint8_t*>(malloc(aRecord.mySize ? aRecord.mySize : 1));
    if (!aFile->myBuffer)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    if (locMethod == QF_SDF_STORED)
    {
        if (OS_ReadFileAt(anArchive->myFileHand, aFile->myBuffer, aRecord.mySize, aRecord.myDataOffset) !=
            int64_t(aRecord.mySize))
            return locArchiveReadFailed(anArchive);
        return true;
    }
    uint8_t* locPacked = static_cast<uint8_t*>(malloc(locStored ? locStored : 1));
    if (!locPacked)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    if (OS_ReadFileAt(anArchive->myFileHand, locPacked, locStored, aRecord.myDataOffset) != int64_t(locStored))
    {
        free(locPacked);
        return locArchiveReadFailed(anArchive);
    }
    // Both decoders must produce exactly the recorded size.
    bool locUnpacked = locMethod == QF_SDF_ZLIB
                           ? QP_Pack::DecompressZlib(aRecord.mySize, aFile->myBuffer, locStored, locPacked) == aRecord.mySize
                           : QP_Pack::DecompressLZMA(locPacked, locStored, aFile->myBuffer, aRecord.mySize);
    free(locPacked);
    // A bad entry leaves the archive usable.
    if (!locUnpacked)
        QF_ErrorCode = QF_ERROR_READ;
    return locUnpacked;
}

QF_SDFArchive* QF_SDF::FindArchiveEntry(const char* aPath, QF_SDFFileRecord* aRecord, uint8_t aPriority)
{
    char locPath[QF_SDF_MAX_PATH + 1];
    if (!ourFirstArchive || !locNormalize(aPath, locPath))
        return nullptr;
    uint32_t locHash = HashName(locPath, locPath);
    for (QF_SDFArchive* locArchive = ourFirstArchive; locArchive; locArchive = locArchive->myNext)
        if (IsSearched(locArchive, aPriority) && FindEntry(locArchive, locHash, locPath, aRecord, nullptr))
            return locArchive;
    return nullptr;
}

const char* QF_SDF::FindFile(const char* aPath, QF_SDFFileRecord* aRecord, uint8_t aPriority)
{
    QF_SDFArchive* locArchive = FindArchiveEntry(aPath, aRecord, aPriority);
    return locArchive ? locArchive->myName : nullptr;
}

bool QF_SDF::CheckEntry(QF_SDFArchive* anArchive, const QF_SDFFileRecord& aRecord)
{
    const uint32_t locMethod = QF_SDFMethodOf(aRecord.myPackedWord);
    const uint32_t locStored = QF_SDFStoredSize(aRecord.myPackedWord);
    if (locMethod == QF_SDF_INVALID)
    {
        QF_ErrorCode = QF_ERROR_INVALID_METHOD;
        return false;
    }
    // A stored entry is its contents: any other length is damage.
    if ((locMethod == QF_SDF_STORED && locStored != aRecord.mySize) ||
        !locUnpackedSizeFits(locMethod, locStored, aRecord.mySize))
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    // The record's extent is checked against the archive before anything is allocated.
    OS_FileInfo locInfo;
    if (!OS_GetHandleInfo(anArchive->myFileHand, &locInfo) || uint64_t(aRecord.myDataOffset) + locStored > locInfo.mySize)
        return locArchiveReadFailed(anArchive);
    return true;
}

bool QF_SDF::OpenFile(const char* aPath, QF_File* aFile, uint8_t aPriority)
{
    char locPath[QF_SDF_MAX_PATH + 1];
    if (!ourFirstArchive || !locNormalize(aPath, locPath))
        return false;
    uint32_t locHash = HashName(locPath, locPath);
    const uint32_t locFlags = aFile->myFlags;
    for (QF_SDFArchive* locArchive = ourFirstArchive; locArchive; locArchive = locArchive->myNext)
    {
        if (!IsSearched(locArchive, aPriority))
            continue;
        QF_SDFFileRecord locRecord;
        if (FindEntry(locArchive, locHash, locPath, &locRecord, aFile))
            return true;
        // A failed load leaves no buffer or handle for the next archive to trip over.
        free(aFile->myBuffer);
        aFile->myBuffer = nullptr;
        if (aFile->myFileHand != INVALID_HANDLE_VALUE)
            OS_CloseFile(aFile->myFileHand);
        aFile->myFileHand = INVALID_HANDLE_VALUE;
        aFile->myFileSize = aFile->myCapacity = aFile->myTime = 0;
        aFile->myFlags = locFlags;
    }
    return false;
}

//-----------------------------------------------------------------------------
// [SECTION] Listing
//-----------------------------------------------------------------------------

bool QF_SDF::ListArchiveDirectory(const char* aDirectory, QF_SDFArchive* anArchive, QF_FileList* aList)
{
    if (anArchive->myFileHand == INVALID_HANDLE_VALUE || !anArchive->myFAT)
        return false;
    char locPath[QF_SDF_MAX_PATH + 1];
    if (!locNormalize(aDirectory, locPath))
        return true;
    // Archive paths carry no trailing separator.
    size_t locLength = strlen(locPath);
    while (locLength > 0 && locPath[locLength - 1] == '/')
        locPath[--locLength] = 0;
    const uint32_t locHash = HashName(locPath, locPath);

    locHashMatches locMatches(anArchive, anArchive->myDirTable, locHash);
    uint32_t locRecord;
    while (locMatches.Next(&locRecord))
    {
        uint64_t locSubCount = GetFATWord(anArchive, locRecord);
        uint64_t locFileCountAt = uint64_t(locRecord) + 4 + locSubCount * 4;
        if (locFileCountAt + 4 > anArchive->myFATSize)
            continue;
        uint64_t locFileCount = GetFATWord(anArchive, uint32_t(locFileCountAt));
        uint64_t locPathAt = locFileCountAt + 4 + locFileCount * 4;
        if (locPathAt >= anArchive->myFATSize)
            continue;
        const char* locDirPath = GetFATText(anArchive, uint32_t(locPathAt));
        if (!locDirPath || !locEqualNoCase(locDirPath, locPath))
            continue;
        for (uint64_t locSub = 0; locSub < locSubCount; ++locSub)
        {
            const char* locName = GetFATText(anArchive, GetFATWord(anArchive, uint32_t(locRecord + 4 + locSub * 4)));
            if (locName)
                aList->Add(locName, 0, 0, true);
        }
        for (uint64_t locFile = 0; locFile < locFileCount; ++locFile)
        {
            QF_SDFFileRecord locEntry;
            if (GetFileRecord(anArchive, GetFATWord(anArchive, uint32_t(locFileCountAt + 4 + locFile * 4)), &locEntry))
                aList->Add(locEntry.myName, locEntry.mySize, locEntry.myTime, false);
        }
        return true;
    }
    return true;
}

bool QF_SDF::ListDirectory(const char* aDirectory, QF_FileList* aList, uint8_t aPriority)
{
    for (QF_SDFArchive* locArchive = ourFirstArchive; locArchive; locArchive = locArchive->myNext)
        if (IsSearched(locArchive, aPriority))
            ListArchiveDirectory(aDirectory, locArchive, aList);
    return true;
}
