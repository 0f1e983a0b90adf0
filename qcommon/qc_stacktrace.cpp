// The line-number table reader, the address lookup and the frame-pointer walk.
#include "qcommon/qc_stacktrace.h"

#include "platform/os/os_file.h"
#include "platform/os/os_ui.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/uio.h>
#include <unistd.h>
#include <zlib.h>

namespace
{
// Tables beyond this are taken as damage rather than allocated.
const uint32_t MAX_TABLE_SIZE = 256u << 20;

uint8_t* ourTable = nullptr;  // the inflated table plus a closing NUL (heap)
int ourNumRecords = 0;
const QC_StackTrace::MapLineNumber* ourRecords = nullptr;
const char* ourNames = nullptr;
uint32_t ourNamesSize = 0;
int ourLoadCount = 0;
QC_StackTrace::LoadResult ourLoadResult = QC_StackTrace::LOAD_NO_FILE;
uintptr_t ourImageBase = 0;
uintptr_t ourProgramStart = 0;  // where the program is mapped, whatever the table's base
bool ourHaveProgramStart = false;
char ourExePath[256] = "";

// Reads aSize bytes at anOffset of the file or memory image behind aContext.
typedef bool (*ReadAtFunction)(void* aContext, uint64_t anOffset, void* aDestination, size_t aSize);

struct MemoryImage
{
    const uint8_t* myData;
    size_t mySize;
};

bool locReadMemory(void* aContext, uint64_t anOffset, void* aDestination, size_t aSize)
{
    const MemoryImage* locImage = static_cast<const MemoryImage*>(aContext);
    if (anOffset > locImage->mySize || aSize > locImage->mySize - anOffset)
        return false;
    memcpy(aDestination, locImage->myData + anOffset, aSize);
    return true;
}

bool locLoadTable(ReadAtFunction aRead, void* aContext, uint64_t aFileSize);

bool locReadFile(void* aContext, uint64_t anOffset, void* aDestination, size_t aSize)
{
    OS_FileHandle locFile = *static_cast<OS_FileHandle*>(aContext);
    return OS_ReadFileAt(locFile, aDestination, aSize, anOffset) == static_cast<int64_t>(aSize);
}

// The file through the platform layer, read from its end (the table trails it).
bool locLoadTableFile(const char* aPath, bool* anOpened)
{
    OS_FileHandle locFile = OS_OpenFile(aPath, OS_OPEN_READ);
    *anOpened = locFile != OS_INVALID_HANDLE;
    if (!*anOpened)
    {
        QC_StackTrace::Free();
        ourLoadResult = QC_StackTrace::LOAD_NO_FILE;
        return false;
    }
    OS_FileInfo locInfo;
    bool locOk = OS_GetHandleInfo(locFile, &locInfo) && locLoadTable(locReadFile, &locFile, locInfo.mySize);
    OS_CloseFile(locFile);
    return locOk;
}

uint32_t locGetU32(const uint8_t* aBytes)
{
    return static_cast<uint32_t>(aBytes[0]) | (static_cast<uint32_t>(aBytes[1]) << 8) |
           (static_cast<uint32_t>(aBytes[2]) << 16) | (static_cast<uint32_t>(aBytes[3]) << 24);
}

// Checks an inflated table of aSize bytes (the buffer holds one more, a NUL).
bool locTableIsSound(const uint8_t* aTable, uint32_t aSize)
{
    if (aSize < 4)
        return false;
    uint32_t locNumMapLineNumbers = locGetU32(aTable);
    if (locNumMapLineNumbers > (aSize - 4) / sizeof(QC_StackTrace::MapLineNumber))
        return false;
    uint32_t locNamesStart = 4 + locNumMapLineNumbers * sizeof(QC_StackTrace::MapLineNumber);
    uint32_t locNamesSize = aSize - locNamesStart;
    uint32_t locPrevious = 0;
    for (uint32_t i = 0; i < locNumMapLineNumbers; i++)
    {
        const uint8_t* locRecord = aTable + 4 + i * sizeof(QC_StackTrace::MapLineNumber);
        uint32_t locAddress = locGetU32(locRecord);
        uint32_t locNameOffset = locGetU32(locRecord + 4) >> QC_StackTrace::LINE_BITS;
        if (locAddress < locPrevious || locNameOffset >= locNamesSize)
            return false;
        locPrevious = locAddress;
    }
    return true;
}

// Walks the trailer chain back from the end and inflates the newest version-0
// block. Every length read is checked against what is left of the file.
bool locLoadTableChain(ReadAtFunction aRead, void* aContext, uint64_t aFileSize);

bool locLoadTable(ReadAtFunction aRead, void* aContext, uint64_t aFileSize)
{
    QC_StackTrace::Free();
    ourLoadResult = QC_StackTrace::LOAD_NO_TABLE;
    bool locOk = locLoadTableChain(aRead, aContext, aFileSize);
    if (locOk)
        ourLoadResult = QC_StackTrace::LOAD_OK;
    return locOk;
}

bool locLoadTableChain(ReadAtFunction aRead, void* aContext, uint64_t aFileSize)
{
    uint64_t locPos = aFileSize;
    for (;;)
    {
        uint8_t locTrailer[QC_StackTrace::TRAILER_SIZE];
        if (locPos < sizeof(locTrailer) || !aRead(aContext, locPos - sizeof(locTrailer), locTrailer, sizeof(locTrailer)))
            return false;
        uint32_t locBlockLength = locGetU32(locTrailer);
        uint32_t locMarker = locGetU32(locTrailer + 4);
        if ((locMarker & 0xFFFFFF) != QC_StackTrace::TRAILER_MARKER)
            return false;
        ourLoadResult = QC_StackTrace::LOAD_BAD_TABLE;
        if (locBlockLength > locPos - sizeof(locTrailer))
            return false;
        uint64_t locBlockStart = locPos - sizeof(locTrailer) - locBlockLength;
        if ((locMarker >> 24) != 0)
        {
            locPos = locBlockStart;
            continue;
        }
        if (locBlockLength < 4)
            return false;
        uint8_t locSizeBytes[4];
        if (!aRead(aContext, locBlockStart, locSizeBytes, 4))
            return false;
        uint32_t locUnpackedSize = locGetU32(locSizeBytes);
        uint32_t locPackedSize = locBlockLength - 4;
        if (locUnpackedSize < 4 || locUnpackedSize > MAX_TABLE_SIZE || locPackedSize > MAX_TABLE_SIZE)
            return false;
        uint8_t* locPacked = static_cast<uint8_t*>(malloc(locPackedSize ? locPackedSize : 1));
        uint8_t* locTable = static_cast<uint8_t*>(malloc(locUnpackedSize + 1));
        bool locOk = locPacked && locTable && aRead(aContext, locBlockStart + 4, locPacked, locPackedSize);
        if (locOk)
        {
            uLongf locDestLength = locUnpackedSize;
            locOk = uncompress(locTable, &locDestLength, locPacked, locPackedSize) == Z_OK &&
                    locDestLength == locUnpackedSize;
        }
        free(locPacked);
        if (locOk)
        {
            locTable[locUnpackedSize] = 0;
            locOk = locTableIsSound(locTable, locUnpackedSize);
        }
        if (!locOk)
        {
            free(locTable);
            return false;
        }
        ourTable = locTable;
        ourNumRecords = static_cast<int>(locGetU32(locTable));
        ourRecords = reinterpret_cast<const QC_StackTrace::MapLineNumber*>(locTable + 4);
        ourNames = reinterpret_cast<const char*>(locTable + 4 + ourNumRecords * sizeof(QC_StackTrace::MapLineNumber));
        ourNamesSize = locUnpackedSize - static_cast<uint32_t>(4 + ourNumRecords * sizeof(QC_StackTrace::MapLineNumber));
        return true;
    }
}

int locFindMainProgram(struct dl_phdr_info* anInfo, size_t aSize, void* aData)
{
    // The first object listed is the program itself.
    uintptr_t locLowest = UINTPTR_MAX;
    for (int i = 0; i < anInfo->dlpi_phnum; i++)
    {
        if (anInfo->dlpi_phdr[i].p_type == PT_LOAD && anInfo->dlpi_phdr[i].p_vaddr < locLowest)
            locLowest = anInfo->dlpi_phdr[i].p_vaddr;
    }
    if (locLowest == UINTPTR_MAX)
        locLowest = 0;
    ourProgramStart = anInfo->dlpi_addr + (locLowest & ~static_cast<uintptr_t>(0xFFF));
    ourImageBase = ourProgramStart;
    ourHaveProgramStart = true;
    return 1;
}

void locFindProgram()
{
    if (!ourHaveProgramStart)
        dl_iterate_phdr(locFindMainProgram, nullptr);
    if (!ourExePath[0] && !OS_GetProgramPath(ourExePath, sizeof(ourExePath)))
        ourExePath[0] = 0;
}

void locCopyName(char* aDestination, const char* aSource)
{
    size_t locLength = strnlen(aSource, 255);
    memcpy(aDestination, aSource, locLength);
    aDestination[locLength] = 0;
}

// Reads through the kernel so that an unmapped address fails instead of faulting.
bool locReadThroughKernel(uintptr_t anAddress, void* aDestination, size_t aSize, bool* aKernelRefused)
{
    struct iovec locLocal = {aDestination, aSize};
    struct iovec locRemote = {reinterpret_cast<void*>(anAddress), aSize};
    ssize_t locRead = process_vm_readv(getpid(), &locLocal, 1, &locRemote, 1, 0);
    *aKernelRefused = locRead < 0 && (errno == ENOSYS || errno == EPERM);
    return locRead == static_cast<ssize_t>(aSize);
}

// Where process_vm_readv is forbidden: a write into a pipe fails with EFAULT
// on unreadable memory.
bool locReadThroughPipe(uintptr_t anAddress, void* aDestination, size_t aSize)
{
    static int ourPipe[2] = {-1, -1};
    if (ourPipe[0] < 0 && pipe2(ourPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    if (write(ourPipe[1], reinterpret_cast<const void*>(anAddress), aSize) != static_cast<ssize_t>(aSize))
        return false;
    return read(ourPipe[0], aDestination, aSize) == static_cast<ssize_t>(aSize);
}

// The compiler makes no frame in a function that needs no stack, so the frame
// pointer there is still the caller's and the return address sits at the stack
// pointer. It is taken only when it follows a direct call into the function
// holding the instruction pointer.
bool locIsReturnIntoCall(uintptr_t aReturn, uintptr_t anInstructionPointer)
{
#if defined(__x86_64__)
    uint8_t locCall[5];
    if (aReturn < sizeof(locCall) || !QC_StackTrace::SafeRead(aReturn - sizeof(locCall), locCall, sizeof(locCall)) ||
        locCall[0] != 0xE8)
        return false;
    int32_t locDisplacement;
    memcpy(&locDisplacement, locCall + 1, sizeof(locDisplacement));
    uintptr_t locTarget = aReturn + static_cast<uintptr_t>(static_cast<intptr_t>(locDisplacement));
    return locTarget <= anInstructionPointer && anInstructionPointer - locTarget < 4096;
#else
    return false;
#endif
}
}

void QC_StackTrace::Load()
{
    if (ourLoadCount++ > 0)
        return;
    locFindProgram();
    bool locOpened = false;
    locLoadTableFile(ourExePath[0] ? ourExePath : "/proc/self/exe", &locOpened);
    if (!locOpened)
        OS_MessageBox("Failed to open exe file.", "Warning", OS_MB_OK | OS_MB_ICONWARNING);
#ifdef QC_RENDER_BUILD
    // The renderer build says so when the program carries no table at all.
    else if (ourLoadResult == LOAD_NO_TABLE)
        OS_MessageBox(".map file not found. Stack trace can't do name lookup.", "Warning",
                      OS_MB_OK | OS_MB_ICONWARNING);
#endif
}

void QC_StackTrace::Release()
{
    if (ourLoadCount <= 0)
        return;
    if (--ourLoadCount == 0)
        Free();
}

bool QC_StackTrace::LoadFile(const char* aPath)
{
    locFindProgram();
    bool locOpened = false;
    return locLoadTableFile(aPath, &locOpened);
}

bool QC_StackTrace::LoadImage(const void* aData, size_t aSize)
{
    locFindProgram();
    MemoryImage locImage = {static_cast<const uint8_t*>(aData), aSize};
    return locLoadTable(locReadMemory, &locImage, aSize);
}

void QC_StackTrace::Free()
{
    free(ourTable);
    ourTable = nullptr;
    ourNumRecords = 0;
    ourRecords = nullptr;
    ourNames = nullptr;
    ourNamesSize = 0;
}

QC_StackTrace::LoadResult QC_StackTrace::GetLoadResult()
{
    return ourLoadResult;
}

int QC_StackTrace::GetNumRecords()
{
    return ourNumRecords;
}

uintptr_t QC_StackTrace::GetImageBase()
{
    locFindProgram();
    return ourImageBase;
}

void QC_StackTrace::SetImageBase(uintptr_t aBase)
{
    locFindProgram();
    ourImageBase = aBase;
}

bool QC_StackTrace::Lookup(LookupRecord* aRecord)
{
    aRecord->myLine = 0;
    aRecord->myOffset = 0;
    aRecord->myNameOffset = -1;
    aRecord->myName[0] = 0;
    if (ourNumRecords == 0)
        return false;

    uintptr_t locAddress = aRecord->myAddress;
    bool locInside = locAddress >= ourImageBase && locAddress - ourImageBase <= UINT32_MAX;
    uint32_t locRelative = static_cast<uint32_t>(locAddress - ourImageBase);
    if (locInside)
        locInside = locRelative >= ourRecords[0].myAddress && locRelative <= ourRecords[ourNumRecords - 1].myAddress;
    if (locInside)
    {
        int locLo = 0;
        int locHi = ourNumRecords;
        int locMid = 0;
        for (;;)
        {
            locMid = (locLo + locHi) / 2;
            if (locRelative < ourRecords[locMid].myAddress)
                locHi = locMid;
            else if (locMid == ourNumRecords - 1 || locRelative < ourRecords[locMid + 1].myAddress)
                break;
            else
                locLo = locMid;
        }
        uint32_t locPacked = ourRecords[locMid].myPacked;
        int locNameOffset = static_cast<int>(locPacked >> LINE_BITS);
        // A record with no name marks code the table does not cover (the end
        // record, and gaps between covered ranges).
        if (ourNames[locNameOffset] != 0)
        {
            aRecord->myLine = static_cast<int>(locPacked & LINE_MASK);
            aRecord->myOffset = locRelative - ourRecords[locMid].myAddress;
            aRecord->myNameOffset = locNameOffset;
            locCopyName(aRecord->myName, ourNames + locNameOffset);
            return true;
        }
    }

    Dl_info locInfo;
    if (dladdr(reinterpret_cast<void*>(locAddress), &locInfo) && locInfo.dli_fbase)
    {
        uintptr_t locBase = reinterpret_cast<uintptr_t>(locInfo.dli_fbase);
        const char* locName = locInfo.dli_fname ? locInfo.dli_fname : "";
        if (!locName[0] || locBase == ourProgramStart)
            locName = ourExePath;
        aRecord->myOffset = locAddress - locBase;
        locCopyName(aRecord->myName, locName);
    }
    else
        aRecord->myOffset = locAddress;
    return true;
}

bool QC_StackTrace::SafeRead(uintptr_t anAddress, void* aDestination, size_t aSize)
{
    if (anAddress == 0)
        return false;
    bool locKernelRefused = false;
    if (locReadThroughKernel(anAddress, aDestination, aSize, &locKernelRefused))
        return true;
    return locKernelRefused && locReadThroughPipe(anAddress, aDestination, aSize);
}

int QC_StackTrace::WalkStack(uintptr_t anInstructionPointer, uintptr_t aFramePointer, uintptr_t* anAddressList, int aMaxCount,
                             uintptr_t aStackPointer)
{
    if (aMaxCount <= 0)
        return 0;
    int locCount = 0;
    anAddressList[locCount++] = anInstructionPointer;
    uintptr_t locReturn = 0;
    if (aStackPointer && locCount < aMaxCount && SafeRead(aStackPointer, &locReturn, sizeof(locReturn)) &&
        locIsReturnIntoCall(locReturn, anInstructionPointer))
        anAddressList[locCount++] = locReturn;
    // A frame: the caller's frame pointer, then the return address.
    uintptr_t locFrame[2];
    if (!SafeRead(aFramePointer, locFrame, sizeof(locFrame)))
        return locCount;
    while (locCount < aMaxCount)
    {
        if (locFrame[1] != 0)
            anAddressList[locCount++] = locFrame[1];
        uintptr_t locNext = locFrame[0];
        if (locNext % sizeof(uintptr_t) != 0 || locNext <= aFramePointer || !SafeRead(locNext, locFrame, sizeof(locFrame)))
            break;
        aFramePointer = locNext;
    }
    return locCount;
}

int QC_StackTrace::FormatFrame(uintptr_t anAddress, char* aBuffer, int aSize, bool aReturnAddressFlag)
{
    if (aSize <= 0)
        return 0;
    LookupRecord locRecord;
    uintptr_t locBack = aReturnAddressFlag && anAddress > 0 ? 1 : 0;
    locRecord.myAddress = anAddress - locBack;
    bool locFound = Lookup(&locRecord);
    locRecord.myOffset += locBack;
    int locLength;
    if (!locFound)
        locLength = snprintf(aBuffer, static_cast<size_t>(aSize), "0x%08llx\r\n", static_cast<unsigned long long>(anAddress));
    else if (locRecord.myNameOffset < 0)
        locLength = snprintf(aBuffer, static_cast<size_t>(aSize), "%s+0x%llx\r\n", locRecord.myName,
                             static_cast<unsigned long long>(locRecord.myOffset));
    else
        locLength = snprintf(aBuffer, static_cast<size_t>(aSize), "%s:%d+0x%llx\r\n", locRecord.myName, locRecord.myLine,
                             static_cast<unsigned long long>(locRecord.myOffset));
    if (locLength < 0)
        locLength = 0;
    return locLength < aSize ? locLength : aSize - 1;
}
