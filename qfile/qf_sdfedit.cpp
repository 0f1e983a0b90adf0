// The SDF writer: scans the named files, builds the directory tree, sorts both
// by path hash, writes each file's data (compressed by its extension's method),
// then the FAT, and patches the header.
//
// [SECTION] Set-up and rules
// [SECTION] Scan and layout
// [SECTION] Data blocks
// [SECTION] FAT
// [SECTION] Write
#include "qfile/qf_sdfedit.h"

#include "platform/os/os_savefile.h"
#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"
#include "qfile/qf_sdf.h"
#include "qfile/qf_sdf_local.h"
#include "qpack/qp_pack.h"

#include <algorithm>
#include <condition_variable>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

int QF_SDFEditError = 0;
char QF_SDFEditErrorText[1024];

namespace
{
const uint32_t locWritePieceSize = 1000000;

unsigned char locUpper(unsigned char aChar)
{
    return (aChar >= 'a' && aChar <= 'z') ? (unsigned char)(aChar - 'a' + 'A') : aChar;
}

// aFirst's first aLength characters equal aSecond without regard to case, and
// aFirst ends there.
bool locEqualNoCase(const char* aFirst, const char* aSecond, int aLength)
{
    for (int i = 0; i < aLength; ++i)
    {
        if (locUpper((unsigned char)aFirst[i]) != locUpper((unsigned char)aSecond[i]))
            return false;
    }
    return aFirst[aLength] == 0;
}

uint32_t locAlign4(uint64_t aValue)
{
    return (uint32_t)((aValue + 3) & ~(uint64_t)3);
}

// The buffer a block is compressed into: size x 1.05 (single precision,
// truncated) + 17 bytes.
uint64_t locBlockCapacity(uint32_t aSize)
{
    return (uint64_t)((float)aSize * 1.05f) + 17;
}
}

//-----------------------------------------------------------------------------
// [SECTION] Set-up and rules
//-----------------------------------------------------------------------------

QF_SDFEdit::QF_SDFEdit()
    : myFileStats(NULL)
    , myNumFileStats(0)
    , myProgressCallback(NULL)
    , myProgress()
    , myDefaultMethod(QF_SDF_LZMA)
    , myFatMethod(QF_SDF_LZMA)
    , myThreadCount(0)
    , myArchivePath(NULL)
{
    myDirs.Init(64, 64, false);
    myExtensionRules.Init(8, 8, false);
    myNames.Init(4096, 4096, false);
}

QF_SDFEdit::~QF_SDFEdit()
{
    free(myFileStats);
    for (int i = 0; i < myNames.Count(); ++i)
        free(myNames[i]);
    myDirs.DeleteAll();
}

bool QF_SDFEdit::Fail(int aCode, const char* aFormat, ...)
{
    QF_SDFEditError = aCode;
    if (aFormat)
    {
        va_list locArgs;
        va_start(locArgs, aFormat);
        vsnprintf(QF_SDFEditErrorText, sizeof(QF_SDFEditErrorText), aFormat, locArgs);
        va_end(locArgs);
    }
    return false;
}

bool QF_SDFEdit::FailOutput(int aCode, int anErrno)
{
    return Fail(aCode, "%s: %s", myArchivePath, strerror(anErrno ? anErrno : EIO));
}

bool QF_SDFEdit::AddFile(const char* aName)
{
    if (aName[0] == '"')
        ++aName;
    char* locCopy = strdup(aName);
    if (!locCopy)
        return false;
    for (char* locChar = locCopy; *locChar; ++locChar)
    {
        if (*locChar == '\\')
            *locChar = '/';
    }
    if (!myNames.Add(locCopy))
    {
        free(locCopy);
        return false;
    }
    if (!QF_SDFIsEntryPath(locCopy))
        return Fail(QF_SDFEDIT_BAD_NAME, "%s", locCopy);
    return true;
}

bool QF_SDFEdit::SetCompression(const char* anExtension, uint32_t aMethod)
{
    ExtensionRule locRule;
    memset(&locRule, 0, sizeof(locRule));
    strncpy(locRule.myExtension, anExtension, sizeof(locRule.myExtension) - 1);
    locRule.myMethod = aMethod;
    for (int i = 0; i < myExtensionRules.Count(); ++i)
    {
        if (locEqualNoCase(myExtensionRules[i].myExtension, locRule.myExtension, (int)strlen(locRule.myExtension)))
            return Fail(QF_SDFEDIT_RULE_EXISTS);
    }
    return myExtensionRules.Add(locRule);
}

void QF_SDFEdit::SetDefaultCompression(uint32_t aMethod)
{
    myDefaultMethod = aMethod;
    myFatMethod = aMethod;
}

void QF_SDFEdit::SetThreadCount(int aCount)
{
    myThreadCount = aCount;
}

bool QF_SDFEdit::SetProgressCallback(QF_SDFEditProgressCallback aCallback)
{
    if (myProgressCallback)
        return Fail(QF_SDFEDIT_CALLBACK_SET);
    myProgressCallback = aCallback;
    return true;
}

uint32_t QF_SDFEdit::GetCompression(const char* aLeafName)
{
    const char* locDot = strrchr(aLeafName, '.');
    const char* locExtension = locDot ? locDot + 1 : aLeafName;
    int locLength = (int)strlen(locExtension);
    if (locLength == 3 && locEqualNoCase("sdf", locExtension, locLength))
    {
        Fail(QF_SDFEDIT_SDF_IN_SDF);
        return (uint32_t)-1;
    }
    for (int i = 0; i < myExtensionRules.Count(); ++i)
    {
        if (locEqualNoCase(myExtensionRules[i].myExtension, locExtension, locLength))
            return myExtensionRules[i].myMethod;
    }
    return myDefaultMethod;
}

//-----------------------------------------------------------------------------
// [SECTION] Scan and layout
//-----------------------------------------------------------------------------

// The directory of that path (compared without case), created when missing.
// -1 when memory runs out.
int QF_SDFEdit::FindOrAddDirectory(const char* aPath, int aLength)
{
    char locPath[QF_SDF_MAX_PATH + 1];
    memcpy(locPath, aPath, (size_t)aLength);
    locPath[aLength] = 0;
    char locNormalized[QF_SDF_MAX_PATH + 1];
    uint32_t locHash = QF_SDF::HashName(locPath, locNormalized);

    auto locRange = myDirIndex.equal_range(locHash);
    for (auto locIt = locRange.first; locIt != locRange.second; ++locIt)
    {
        const QC_String& locDirPath = myDirs[locIt->second]->myPath;
        if (locDirPath.GetLength() == aLength && locEqualNoCase(locDirPath.GetBuffer(), locPath, aLength))
            return locIt->second;
    }

    Directory* locDir = new Directory;
    locDir->myPath = locPath;
    locDir->myHash = locHash;
    locDir->myFileIndices.Init(16, 16, false);
    locDir->mySubDirIndices.Init(8, 8, false);
    locDir->myParent = NULL;
    locDir->myDirectoryOffset = 0;
    locDir->myLeafNameOffset = 0;
    if (!myDirs.Add(locDir))
    {
        delete locDir;
        return -1;
    }
    myDirIndex.emplace(locHash, myDirs.Count() - 1);
    return myDirs.Count() - 1;
}

bool QF_SDFEdit::ScanFiles(uint64_t* aTotalBytes)
{
    myNumFileStats = myNames.Count();
    myFileStats = (FileStats*)calloc((size_t)myNumFileStats, sizeof(FileStats));
    if (!myFileStats)
        return Fail(QF_SDFEDIT_NO_MEMORY, "%d bytes", (int)(myNumFileStats * sizeof(FileStats)));

    *aTotalBytes = 0;
    // Names by the key every reader finds them by: of two with one key, the
    // second could never be read back.
    std::unordered_map<std::string, int> locKeys;
    locKeys.reserve((size_t)myNumFileStats);
    for (int i = 0; i < myNumFileStats; ++i)
    {
        char* locName = myNames[i];
        FileStats& locStats = myFileStats[i];
        if (!QF_SDFIsEntryPath(locName))
            return Fail(QF_SDFEDIT_BAD_NAME, "%s", locName);
        size_t locLength = strlen(locName);
        if (locLength > QF_SDF_MAX_PATH)
            return Fail(QF_SDFEDIT_NOT_FOUND, "%s", locName);
        auto locKey = locKeys.emplace(QF_SDFNameKey(locName), i);
        if (!locKey.second)
            return Fail(QF_SDFEDIT_SAME_NAME, "%s and %s are one name in an archive",
                        QF_SDFNameForMessage(myNames[locKey.first->second]).c_str(),
                        QF_SDFNameForMessage(locName).c_str());
        const char* locSlash = strrchr(locName, '/');
        int locLast = locSlash ? (int)(locSlash - locName) : 0;

        char locNormalized[QF_SDF_MAX_PATH + 1];
        locStats.myHash = QF_SDF::HashName(locName, locNormalized);
        // Priority 1 archives, the disk, then priority 0 archives.
        if (!QF_File::GetFileInfo(locName, &locStats.myTime, &locStats.mySize, NULL))
            return Fail(QF_SDFEDIT_NOT_FOUND, "%s", locName);
        if (locStats.mySize == 0)
            return Fail(QF_SDFEDIT_EMPTY_FILE, "%s", locName);
        locStats.myLeaf = locLast > 0 ? locName + locLast + 1 : locName;
        *aTotalBytes += locStats.mySize;

        // The name stays whole: on a disk that minds case, the file is read
        // by the name it was added under, while the archive keeps the
        // directory's first spelling.
        locStats.myName = locName;
        int locDir = FindOrAddDirectory(locName, locLast);
        if (locDir < 0)
            return Fail(QF_SDFEDIT_NO_MEMORY, "%d bytes", (int)sizeof(Directory));
        locStats.myDirectoryIndex = locDir;
    }
    return true;
}

bool QF_SDFEdit::LayOut(uint64_t* aFatSize)
{
    std::stable_sort(myFileStats, myFileStats + myNumFileStats,
                     [](const FileStats& aFirst, const FileStats& aSecond) { return aFirst.myHash < aSecond.myHash; });

    // Every ancestor gets a record; directories added here are walked too.
    for (int i = 0; i < myDirs.Count(); ++i)
    {
        Directory* locDir = myDirs[i];
        if (locDir->myPath.IsEmpty())
            continue;
        int locSlash = locDir->myPath.ReverseFind('/');
        int locParent;
        if (locSlash >= 1)
        {
            locDir->myLeafNameOffset = (uint32_t)locSlash + 1;
            locParent = FindOrAddDirectory(locDir->myPath.GetBuffer(), locSlash);
        }
        else
        {
            locDir->myLeafNameOffset = 0;
            locParent = FindOrAddDirectory("", 0);
        }
        if (locParent < 0)
            return Fail(QF_SDFEDIT_NO_MEMORY, "%d bytes", (int)sizeof(Directory));
        myDirs[i]->myParent = myDirs[locParent];
    }

    uint64_t fileInfoOffset = 8 + 8 * ((uint64_t)myNumFileStats + (uint64_t)myDirs.Count());
    for (int i = 0; i < myNumFileStats; ++i)
    {
        FileStats& locStats = myFileStats[i];
        locStats.myFileInfoOffset = (uint32_t)fileInfoOffset;
        fileInfoOffset += QF_SDF_FILE_RECORD_SIZE + locAlign4(strlen(locStats.myLeaf) + 1);
        if (!myDirs[locStats.myDirectoryIndex]->myFileIndices.Add(i))
            return Fail(QF_SDFEDIT_NO_MEMORY, "%d bytes", (int)sizeof(int));
    }

    std::stable_sort(myDirs.myItemList, myDirs.myItemList + myDirs.Count(),
                     [](const Directory* aFirst, const Directory* aSecond) { return aFirst->myHash < aSecond->myHash; });
    myDirIndex.clear();
    for (int i = 0; i < myDirs.Count(); ++i)
    {
        Directory* locParent = myDirs[i]->myParent;
        if (locParent && !locParent->mySubDirIndices.Add(i))
            return Fail(QF_SDFEDIT_NO_MEMORY, "%d bytes", (int)sizeof(int));
    }

    for (int i = 0; i < myDirs.Count(); ++i)
    {
        Directory* locDir = myDirs[i];
        QC_ASSERT((fileInfoOffset & 3) == 0);
        locDir->myDirectoryOffset = (uint32_t)fileInfoOffset;
        uint64_t locNames = fileInfoOffset + 8 + 4 * ((uint64_t)locDir->mySubDirIndices.Count() + locDir->myFileIndices.Count());
        locDir->myLeafNameOffset = (uint32_t)(locNames + locDir->myLeafNameOffset);
        fileInfoOffset = locNames + locAlign4((uint64_t)locDir->myPath.GetLength() + 1);
        for (int j = 0; j < locDir->myFileIndices.Count(); ++j)
            myFileStats[locDir->myFileIndices[j]].myDirectoryIndex = i;
        if (fileInfoOffset > 0xFFFFFFFFu)
            return Fail(QF_SDFEDIT_TOO_LARGE, "FAT");
    }
    *aFatSize = fileInfoOffset;
    return true;
}

//-----------------------------------------------------------------------------
// [SECTION] Data blocks
//-----------------------------------------------------------------------------

namespace
{
// Compresses one block by its method: 0 or an error code. *aBlock is a new
// buffer, or null when the data goes out as it is (stored). The method may
// fall back to stored. Touches no shared state but aPacker, the calling
// thread's own (null: a coder of its own for this block): runs on the workers.
int locCompressBlock(const uint8_t* aData, uint32_t aSize, uint32_t aMethod, QP_LZMAPacker* aPacker, uint8_t** aBlock,
                     uint32_t* aStoredSize, uint32_t* aStoredMethod)
{
    *aBlock = NULL;
    *aStoredSize = aSize;
    *aStoredMethod = QF_SDF_STORED;
    if (aMethod == QF_SDF_STORED)
        return QF_SDFEDIT_OK;
    if (aMethod != QF_SDF_ZLIB && aMethod != QF_SDF_LZMA)
        return QF_SDFEDIT_NOT_COMPRESSED;

    uint8_t* locBlock = (uint8_t*)malloc((size_t)locBlockCapacity(aSize));
    if (!locBlock)
        return QF_SDFEDIT_NO_MEMORY;
    if (aMethod == QF_SDF_ZLIB)
    {
        int locPacked = QP_Pack::CompressZlib(aData, locBlock, aSize);
        if (locPacked < 0)
        {
            // A failed compression is never written.
            free(locBlock);
            return QF_SDFEDIT_NOT_COMPRESSED;
        }
        *aStoredSize = (uint32_t)locPacked;
    }
    else
    {
        uint32_t locPacked =
            aPacker ? aPacker->Compress(aData, locBlock, aSize) : QP_Pack::CompressLZMA(aData, locBlock, aSize);
        if (locPacked == 0)
        {
            // Not smaller than the data: stored as it is.
            free(locBlock);
            return QF_SDFEDIT_OK;
        }
        *aStoredSize = locPacked;
    }
    *aBlock = locBlock;
    *aStoredMethod = aMethod;
    return QF_SDFEDIT_OK;
}

bool locWritePieces(OS_SaveFile* anOutput, const uint8_t* aData, uint32_t aSize)
{
    while (aSize)
    {
        uint32_t locPiece = std::min(locWritePieceSize, aSize);
        if (!anOutput->Write(aData, locPiece))
            return false;
        aData += locPiece;
        aSize -= locPiece;
    }
    return true;
}

// One file on its way into the archive: read by the calling thread,
// compressed by a worker, written by the calling thread.
struct PackJob
{
    const char* myPath = NULL;
    uint32_t mySize = 0;
    uint32_t myMethod = 0;
    QF_File myFile;                 // owns the contents while the job lives
    int myError = QF_SDFEDIT_OK;    // found while reading or compressing
    int myErrno = 0;                // the system's reason for a failed read
    uint8_t* myBlock = NULL;        // malloc; null when stored
    uint32_t myStoredSize = 0;
    uint32_t myStoredMethod = 0;
    bool myDone = false;            // guarded by the pool's mutex once queued

    ~PackJob() { free(myBlock); }

    void Compress(QP_LZMAPacker* aPacker)
    {
        if (QF_SDFEditCompressionFault && QF_SDFEditCompressionFault(myPath))
            myError = QF_SDFEDIT_NOT_COMPRESSED;
        else
            myError =
                locCompressBlock(myFile.myBuffer, mySize, myMethod, aPacker, &myBlock, &myStoredSize, &myStoredMethod);
    }
};

// Compressing threads. A worker takes the job the writer waits for when it is
// queued, else the largest job queued, so that a big file read late does not
// leave the others waiting for it at the end; the writer is woken only for the
// job it waits for. The destructor drops what is still queued and joins every
// worker, so jobs must outlive it.
class PackPool
{
public:
    explicit PackPool(int aThreadCount)
    {
        for (int i = 0; i < aThreadCount; ++i)
        {
            // A thread that cannot be started leaves fewer workers; with
            // none, the calling thread compresses.
            try
            {
                myThreads.emplace_back([this] { Work(); });
            }
            catch (...)
            {
                break;
            }
        }
    }

    ~PackPool()
    {
        {
            std::lock_guard<std::mutex> locLock(myMutex);
            myStopping = true;
        }
        myWorkReady.notify_all();
        for (std::thread& locThread : myThreads)
            locThread.join();
    }

    int GetWorkerCount() const { return (int)myThreads.size(); }

    void Submit(PackJob* aJob)
    {
        if (myThreads.empty())
        {
            aJob->Compress(&myOwnPacker);
            aJob->myDone = true;
            return;
        }
        {
            std::lock_guard<std::mutex> locLock(myMutex);
            myQueue.push_back(aJob);
        }
        myWorkReady.notify_one();
    }

    void WaitFor(PackJob* aJob)
    {
        std::unique_lock<std::mutex> locLock(myMutex);
        if (aJob->myDone)
            return;
        myWaitedJob = aJob;
        myJobDone.wait(locLock, [aJob] { return aJob->myDone; });
        myWaitedJob = NULL;
    }

private:
    void Work()
    {
        QP_LZMAPacker locPacker;
        std::unique_lock<std::mutex> locLock(myMutex);
        for (;;)
        {
            myWorkReady.wait(locLock, [this] { return myStopping || !myQueue.empty(); });
            if (myStopping)
                return;
            auto locNext = std::find(myQueue.begin(), myQueue.end(), myWaitedJob);
            if (locNext == myQueue.end())
                locNext = std::max_element(myQueue.begin(), myQueue.end(), [](PackJob* aFirst, PackJob* aSecond) {
                    return aFirst->mySize < aSecond->mySize;
                });
            PackJob* locJob = *locNext;
            *locNext = myQueue.back();
            myQueue.pop_back();
            locLock.unlock();
            locJob->Compress(&locPacker);
            locLock.lock();
            locJob->myDone = true;
            if (locJob == myWaitedJob)
                myJobDone.notify_one();
        }
    }

    std::mutex myMutex;
    std::condition_variable myWorkReady;
    std::condition_variable myJobDone;
    std::vector<PackJob*> myQueue;
    PackJob* myWaitedJob = NULL;   // by the writer, queued or being compressed
    bool myStopping = false;
    std::vector<std::thread> myThreads;
    QP_LZMAPacker myOwnPacker;   // the calling thread's, when there are no workers
};

// Read-ahead bounds: entries and unpacked bytes between reading and writing.
// The largest files, read first, count too and take at most half the bytes.
// Reading stops once the bytes reach the bound, so at most the bound plus one
// file is held unpacked, and each file's packed copy is at most 1.05 times it.
const int locJobsPerWorker = 64;
const uint64_t locMaxBytesInFlight = 128u << 20;
const int locEarlyPerWorker = 4;
}

bool (*QF_SDFEditCompressionFault)(const char* aPath) = NULL;

bool QF_SDFEdit::ReportProgress(int aFileIndex, uint64_t aBytesDone, uint64_t aTotalBytes)
{
    if (!myProgressCallback)
        return true;
    bool locClosing = aFileIndex == myNumFileStats;
    myProgress.myKind = 1;
    myProgress.myNumFiles = myNumFileStats;
    myProgress.myFileIndex = aFileIndex;
    if (locClosing)
    {
        myProgress.myFraction = 1.0f;
        myProgress.myTotalBytes = 1;
        myProgress.myUpdateBytes = 1;
        myProgress.myReserved = 1.0f;
        myProgress.myName = "";
    }
    else
    {
        myProgress.myFraction = aTotalBytes ? (float)((double)aBytesDone / (double)aTotalBytes) : 0.0f;
        myProgress.myTotalBytes = (uint32_t)aTotalBytes;
        myProgress.myUpdateBytes = 0;
        myProgress.myReserved = 0.0f;
        myProgress.myName = myFileStats[aFileIndex].myLeaf;
    }
    if (!myProgressCallback(&myProgress))
        return Fail(QF_SDFEDIT_CANCELLED, "%s: stopped", myArchivePath);
    return true;
}

bool QF_SDFEdit::WriteFiles(OS_SaveFile* anOutput, uint64_t aTotalBytes, uint32_t* aDataOffset)
{
    int locThreads = myThreadCount > 0 ? myThreadCount : (int)std::thread::hardware_concurrency();
    // Jobs are declared before the pool so that the pool is gone (its workers
    // joined) before any job is freed, whichever way this returns.
    std::deque<std::unique_ptr<PackJob>> locJobs;
    // The largest files, handed out first whatever their place; they are
    // written in order.
    std::vector<std::unique_ptr<PackJob>> locEarly(myNumFileStats);
    PackPool locPool(locThreads > 1 ? locThreads : 0);
    const size_t locMaxJobs = (size_t)std::max(1, locPool.GetWorkerCount() * locJobsPerWorker);

    uint64_t locDataOffset = QF_SDF_HEADER_SIZE;
    uint64_t locBytesDone = 0;
    uint64_t locBytesInFlight = 0;
    int locNextToRead = 0;
    // A failure found while reading is kept in the job and reported when its
    // turn comes, as a write in order would.
    auto locStartJob = [&](int anIndex) {
        const FileStats& locStats = myFileStats[anIndex];
        auto locJob = std::make_unique<PackJob>();
        locJob->myPath = locStats.myName;
        locJob->mySize = locStats.mySize;
        locJob->myMethod = GetCompression(locStats.myLeaf);
        if (locJob->myMethod == (uint32_t)-1)
            locJob->myError = QF_SDFEDIT_SDF_IN_SDF;
        else if (errno = 0, !locJob->myFile.Open(locJob->myPath, OPEN_READ))
        {
            locJob->myError = QF_SDFEDIT_CANNOT_READ;
            locJob->myErrno = errno;
        }
        else if (locJob->myFile.GetSize() != locStats.mySize)
            locJob->myError = QF_SDFEDIT_SIZE_CHANGED;
        // The whole contents are in the file's buffer; read them in place.
        else if (!locJob->myFile.myBuffer)
            locJob->myError = QF_SDFEDIT_CANNOT_READ;
        if (locJob->myError != QF_SDFEDIT_OK)
            locJob->myDone = true;
        else
        {
            locBytesInFlight += locStats.mySize;
            locPool.Submit(locJob.get());
        }
        return locJob;
    };
    if (locPool.GetWorkerCount() > 1)
    {
        // The largest files are read first, a few per worker, so that the
        // workers, taking the largest queued, start them at once: the last
        // file to finish is then a small one, not a big one read late.
        const int locEarlyCount = std::min(myNumFileStats, locEarlyPerWorker * locPool.GetWorkerCount());
        std::vector<int> locOrder(myNumFileStats);
        std::iota(locOrder.begin(), locOrder.end(), 0);
        std::partial_sort(locOrder.begin(), locOrder.begin() + locEarlyCount, locOrder.end(),
                          [this](int a, int b) { return myFileStats[a].mySize > myFileStats[b].mySize; });
        for (int i = 0; i < locEarlyCount; ++i)
        {
            const FileStats& locStats = myFileStats[locOrder[i]];
            if (locBytesInFlight + locStats.mySize <= locMaxBytesInFlight / 2)
                locEarly[locOrder[i]] = locStartJob(locOrder[i]);
        }
    }
    for (int i = 0; i < myNumFileStats; ++i)
    {
        while (locNextToRead < myNumFileStats && locJobs.size() < locMaxJobs &&
               (locJobs.empty() || locBytesInFlight < locMaxBytesInFlight))
        {
            const int locIndex = locNextToRead++;
            locJobs.push_back(locEarly[locIndex] ? std::move(locEarly[locIndex]) : locStartJob(locIndex));
        }

        FileStats& locStats = myFileStats[i];
        if (!ReportProgress(i, locBytesDone, aTotalBytes))
            return false;
        locBytesDone += locStats.mySize;

        PackJob* locJob = locJobs.front().get();
        locPool.WaitFor(locJob);
        const char* locPath = locStats.myName;
        switch (locJob->myError)
        {
        case QF_SDFEDIT_OK:
            break;
        case QF_SDFEDIT_NO_MEMORY:
            return Fail(QF_SDFEDIT_NO_MEMORY, "%s: %d bytes", locPath, (int)locStats.mySize);
        case QF_SDFEDIT_CANNOT_READ:
            return Fail(QF_SDFEDIT_CANNOT_READ, "%s: %s", locPath,
                        locJob->myErrno ? strerror(locJob->myErrno) : "cannot be read");
        default:
            return Fail(locJob->myError, "%s", locPath);
        }
        uint32_t locStoredSize = locJob->myStoredSize;
        if (locStoredSize > QF_SDF_STORED_SIZE_MASK || locDataOffset + locStoredSize > 0xFFFFFFFFu)
            return Fail(QF_SDFEDIT_TOO_LARGE, "%s", locPath);
        if (!locWritePieces(anOutput, locJob->myBlock ? locJob->myBlock : locJob->myFile.myBuffer, locStoredSize))
            return FailOutput(QF_SDFEDIT_WRITE_FAILED, anOutput->GetError());

        locStats.myDataOffset = (uint32_t)locDataOffset;
        locStats.myPackedWord = QF_SDFPackWord(locStoredSize, locJob->myStoredMethod);
        locDataOffset += locStoredSize;
        locBytesInFlight -= locStats.mySize;
        locJobs.pop_front();
    }
    *aDataOffset = (uint32_t)locDataOffset;
    return ReportProgress(myNumFileStats, locBytesDone, aTotalBytes);
}

//-----------------------------------------------------------------------------
// [SECTION] FAT
//-----------------------------------------------------------------------------

bool QF_SDFEdit::WriteFat(OS_SaveFile* anOutput, uint32_t aFatSize)
{
    // Filler bytes stay zero.
    uint8_t* locFat = (uint8_t*)calloc(aFatSize, 1);
    if (!locFat)
        return Fail(QF_SDFEDIT_NO_MEMORY, "%d bytes", (int)aFatSize);

    uint8_t* fat = locFat;
    uint8_t* fatDat = fat;
    QF_SDFPutU32(fatDat, (uint32_t)myNumFileStats);
    fatDat += 4;
    for (int i = 0; i < myNumFileStats; ++i, fatDat += 8)
    {
        QF_SDFPutU32(fatDat, myFileStats[i].myHash);
        QF_SDFPutU32(fatDat + 4, myFileStats[i].myFileInfoOffset);
    }
    QF_SDFPutU32(fatDat, (uint32_t)myDirs.Count());
    fatDat += 4;
    for (int i = 0; i < myDirs.Count(); ++i, fatDat += 8)
    {
        QF_SDFPutU32(fatDat, myDirs[i]->myHash);
        QF_SDFPutU32(fatDat + 4, myDirs[i]->myDirectoryOffset);
    }
    for (int i = 0; i < myNumFileStats; ++i)
    {
        const FileStats& locStats = myFileStats[i];
        const Directory* locDir = myDirs[locStats.myDirectoryIndex];
        QC_ASSERT(((unsigned char*) fatDat) - fat == myFileStats[i].myFileInfoOffset);
        QC_ASSERT((((uintptr_t) fatDat) & 3) == 0);
        QF_SDFPutU32(fatDat + QF_SDF_FR_TIME, locStats.myTime);
        QF_SDFPutU32(fatDat + QF_SDF_FR_SIZE, locStats.mySize);
        QF_SDFPutU32(fatDat + QF_SDF_FR_PACKED, locStats.myPackedWord);
        QF_SDFPutU32(fatDat + QF_SDF_FR_DATA_OFFSET, locStats.myDataOffset);
        QF_SDFPutU32(fatDat + QF_SDF_FR_DIR_PATH,
                     locDir->myDirectoryOffset + 8 + 4 * (locDir->mySubDirIndices.Count() + locDir->myFileIndices.Count()));
        size_t locLeafLength = strlen(locStats.myLeaf);
        memcpy(fatDat + QF_SDF_FR_NAME, locStats.myLeaf, locLeafLength + 1);
        fatDat += QF_SDF_FILE_RECORD_SIZE + locAlign4(locLeafLength + 1);
    }
    for (int i = 0; i < myDirs.Count(); ++i)
    {
        const Directory* locDir = myDirs[i];
        QC_ASSERT(((unsigned char*) fatDat) - fat == myDirs[i]->myDirectoryOffset);
        QC_ASSERT((myDirs[i]->myDirectoryOffset & 3) == 0);
        QF_SDFPutU32(fatDat, (uint32_t)locDir->mySubDirIndices.Count());
        fatDat += 4;
        for (int j = 0; j < locDir->mySubDirIndices.Count(); ++j, fatDat += 4)
            QF_SDFPutU32(fatDat, myDirs[locDir->mySubDirIndices[j]]->myLeafNameOffset);
        QF_SDFPutU32(fatDat, (uint32_t)locDir->myFileIndices.Count());
        fatDat += 4;
        for (int j = 0; j < locDir->myFileIndices.Count(); ++j, fatDat += 4)
            QF_SDFPutU32(fatDat, myFileStats[locDir->myFileIndices[j]].myFileInfoOffset);
        uint32_t locPathLength = (uint32_t)locDir->myPath.GetLength();
        memcpy(fatDat, locDir->myPath.GetBuffer(), locPathLength + 1);
        fatDat += locAlign4(locPathLength + 1);
    }
    uint32_t fileInfoOffset = aFatSize;
    QC_ASSERT(((unsigned char*) fatDat) - fat == fileInfoOffset);

    uint8_t* locBlock = NULL;
    uint32_t locStoredSize = 0;
    uint32_t locStoredMethod = 0;
    int locError = locCompressBlock(locFat, aFatSize, myFatMethod, NULL, &locBlock, &locStoredSize, &locStoredMethod);
    bool locOk = locError == QF_SDFEDIT_OK;
    if (locError == QF_SDFEDIT_NO_MEMORY)
        Fail(locError, "%d bytes", (int)aFatSize);
    else if (!locOk)
        Fail(locError, "FAT");
    if (locOk && locStoredSize > QF_SDF_STORED_SIZE_MASK)
        locOk = Fail(QF_SDFEDIT_TOO_LARGE, "FAT");
    if (locOk)
    {
        uint8_t locHeader[QF_SDF_FAT_HEADER_SIZE];
        QF_SDFPutU32(locHeader, aFatSize);
        QF_SDFPutU32(locHeader + 4, QF_SDFPackWord(locStoredSize, locStoredMethod));
        if (!anOutput->Write(locHeader, sizeof(locHeader))
            || !locWritePieces(anOutput, locBlock ? locBlock : locFat, locStoredSize))
            locOk = FailOutput(QF_SDFEDIT_WRITE_FAILED, anOutput->GetError());
    }
    free(locBlock);
    free(locFat);
    return locOk;
}

//-----------------------------------------------------------------------------
// [SECTION] Write
//-----------------------------------------------------------------------------

bool QF_SDFEdit::Write(const char* anArchivePath)
{
    QC_ASSERT(myFileStats == NULL);
    QF_SDFEditError = QF_SDFEDIT_OK;
    QF_SDFEditErrorText[0] = 0;
    myArchivePath = anArchivePath;
    if (myNames.Count() == 0)
        return Fail(QF_SDFEDIT_NO_FILES, "%s: no files to write", anArchivePath);

    uint64_t locTotalBytes = 0;
    uint64_t locFatSize = 0;
    if (!ScanFiles(&locTotalBytes) || !LayOut(&locFatSize))
        return false;

    OS_SaveFile locOutput;
    if (!locOutput.Begin(anArchivePath))
        return FailOutput(QF_SDFEDIT_CANNOT_CREATE, locOutput.GetError());
    uint8_t locHeader[QF_SDF_HEADER_SIZE];
    QF_SDFPutU32(locHeader, QF_SDF_MAGIC);
    QF_SDFPutU32(locHeader + 4, 0);
    if (!locOutput.Write(locHeader, sizeof(locHeader)))
        return FailOutput(QF_SDFEDIT_WRITE_FAILED, locOutput.GetError());

    uint32_t locFatOffset = 0;
    if (!WriteFiles(&locOutput, locTotalBytes, &locFatOffset) || !WriteFat(&locOutput, (uint32_t)locFatSize))
        return false;

    // The FAT offset goes into the header last, before the file replaces the target.
    QF_SDFPutU32(locHeader + 4, locFatOffset);
    if (!locOutput.WriteAt(locHeader + 4, 4, 4) || !locOutput.Commit())
    {
        // Rewritten in place, the old archive may lie in a backup until the next open.
        if (const char* locKept = locOutput.GetKeptPath())
            return Fail(QF_SDFEDIT_WRITE_FAILED, "%s: %s; its old content is kept in '%s'", myArchivePath,
                        strerror(locOutput.GetError() ? locOutput.GetError() : EIO), locKept);
        return FailOutput(QF_SDFEDIT_WRITE_FAILED, locOutput.GetError());
    }
    return true;
}
