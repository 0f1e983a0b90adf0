// zlib and LZMA (through liblzma's raw LZMA1 coder) from memory to memory.
#include "qpack/qp_pack.h"

#include "qpack/qp_memstream.h"

#include "platform/os/os_memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <lzma.h>
#include <zlib.h>

namespace
{
const uint32_t locLZMADictionarySize = 0x800000;
const uint32_t locLZMAMinDictionarySize = 4096;

// Runs the coder until the stream ends (true) or it fails. liblzma reports
// LZMA_BUF_ERROR when a call can make no progress, which ends the loop.
bool locRunCoder(lzma_stream* aStream, QP_MemInStream* anIn, QP_MemOutStream* anOut)
{
    for (;;)
    {
        uint64_t locAvailable = 0;
        uint64_t locRoom = 0;
        const uint8_t* locIn = anIn->GetReadPointer(&locAvailable);
        uint8_t* locOut = anOut->GetWritePointer(&locRoom);
        aStream->next_in = locIn;
        aStream->avail_in = (size_t)locAvailable;
        aStream->next_out = locOut;
        aStream->avail_out = (size_t)locRoom;
        lzma_ret locResult = lzma_code(aStream, LZMA_FINISH);
        anIn->Skip(locAvailable - aStream->avail_in);
        anOut->Commit(locRoom - aStream->avail_out);
        if (locResult == LZMA_STREAM_END)
            return true;
        if (locResult != LZMA_OK)
            return false;
    }
}

// The properties, then the stream, through aStream: new, or set up before
// (liblzma then sets it up again); the caller ends it.
uint32_t locEncodeLZMA(lzma_stream* aStream, const void* aSource, void* aDestination, uint32_t aLength)
{
    QP_MemInStream locIn(aSource, aLength);
    // The output must come out smaller than the input.
    QP_MemOutStream locOut(aDestination, aLength ? aLength - 1 : 0);

    lzma_options_lzma locOptions;
    if (lzma_lzma_preset(&locOptions, 6))
        return 0;
    locOptions.dict_size = locLZMADictionarySize;
    locOptions.lc = 3;
    locOptions.lp = 0;
    locOptions.pb = 2;
    locOptions.mode = LZMA_MODE_NORMAL;
    locOptions.nice_len = 128;
    locOptions.mf = LZMA_MF_BT4;
    locOptions.depth = 0;
    locOptions.ext_flags = 0; // no end marker
    locOptions.ext_size_low = 0;
    locOptions.ext_size_high = 0;
    lzma_filter locFilters[2] = {{LZMA_FILTER_LZMA1EXT, &locOptions}, {LZMA_VLI_UNKNOWN, NULL}};

    uint8_t locProperties[5];
    if (lzma_properties_encode(locFilters, locProperties) != LZMA_OK)
        return 0;
    if (locOut.Write(locProperties, 5, NULL) != QP_S_OK)
        return 0;

    // The properties announce 8 MiB; a smaller input cannot use more than its
    // own length, and the match finder's tables shrink with the dictionary.
    if (aLength < locOptions.dict_size)
        locOptions.dict_size = aLength < locLZMAMinDictionarySize ? locLZMAMinDictionarySize : aLength;

    if (lzma_raw_encoder(aStream, locFilters) != LZMA_OK || !locRunCoder(aStream, &locIn, &locOut))
        return 0;
    return (uint32_t)locOut.GetWrittenSize();
}
}

uint64_t QP_Pack::GetZlibCapacity(uint32_t aLength)
{
    return (uint64_t)((float)aLength * 1.05f) + 16;
}

int QP_Pack::CompressZlib(const void* aSource, void* aDestination, uint32_t aLength)
{
    uLongf locDestinationLength = (uLongf)GetZlibCapacity(aLength);
    if (compress2((Bytef*)aDestination, &locDestinationLength, (const Bytef*)aSource, aLength, 9) != Z_OK)
        return -1;
    return (int)locDestinationLength;
}

uint32_t QP_Pack::CompressLZMA(const void* aSource, void* aDestination, uint32_t aLength)
{
    lzma_stream locStream = LZMA_STREAM_INIT;
    uint32_t locPacked = locEncodeLZMA(&locStream, aSource, aDestination, aLength);
    lzma_end(&locStream);
    return locPacked;
}

// --- the packer that keeps its coder ---

namespace
{
// Coder memory kept between calls: enough for buffers up to about 256 KB.
const uint64_t locPackerKeepBytes = 4u << 20;
// Freed blocks held for the allocations of the same set-up; the coder frees
// and allocates at most three blocks when a buffer's size changes its tables.
const int locPackerIdleSlots = 8;

// Ahead of every block: its usable size. 16 bytes keep malloc's alignment.
struct alignas(16) locPackerBlock
{
    size_t myCapacity;
};

// Blocks of a megabyte and more (the match finder's hash and tree tables and
// the window of a large buffer) come straight from the system and go back to
// it when freed.
locPackerBlock* locAllocateBlock(size_t aCapacity)
{
    locPackerBlock* locBlock = static_cast<locPackerBlock*>(OS_AllocLarge(sizeof(locPackerBlock) + aCapacity));
    if (locBlock)
        locBlock->myCapacity = aCapacity;
    return locBlock;
}

void locFreeBlock(locPackerBlock* aBlock)
{
    OS_FreeLarge(aBlock, sizeof(locPackerBlock) + aBlock->myCapacity);
}

// Sizes rounded up to an eighth of their power of two, so that a table for a
// slightly larger buffer still fits a block freed by the last one.
size_t locPackerCapacity(size_t aSize)
{
    if (aSize <= 4096)
        return (aSize + 63) & ~(size_t)63;
    size_t locStep = 512;
    while (locStep * 16 <= aSize)
        locStep *= 2;
    return (aSize + locStep - 1) / locStep * locStep;
}
}

struct QP_LZMAPacker::Coder
{
    lzma_stream myStream = LZMA_STREAM_INIT;
    lzma_allocator myAllocator = {};
    locPackerBlock* myIdle[locPackerIdleSlots] = {};
    int myIdleCount = 0;
    uint64_t myUsedBytes = 0;   // handed to the coder and not yet freed
    uint64_t myIdleBytes = 0;

    // The smallest idle block that fits, else a new one. Contents are left
    // as they are: liblzma clears what it needs cleared.
    static void* Allocate(void* anOpaque, size_t aCount, size_t aSize)
    {
        Coder* locCoder = static_cast<Coder*>(anOpaque);
        if (aSize && aCount > (SIZE_MAX - 4096 - sizeof(locPackerBlock)) / aSize)
            return NULL;
        const size_t locSize = aCount * aSize;
        int locBest = -1;
        for (int i = 0; i < locCoder->myIdleCount; ++i)
        {
            const size_t locCapacity = locCoder->myIdle[i]->myCapacity;
            if (locCapacity >= locSize && (locBest < 0 || locCapacity < locCoder->myIdle[locBest]->myCapacity))
                locBest = i;
        }
        locPackerBlock* locBlock;
        if (locBest >= 0)
        {
            locBlock = locCoder->myIdle[locBest];
            locCoder->myIdle[locBest] = locCoder->myIdle[--locCoder->myIdleCount];
            locCoder->myIdleBytes -= locBlock->myCapacity;
        }
        else
        {
            locBlock = locAllocateBlock(locPackerCapacity(locSize));
            if (!locBlock)
                return NULL;
        }
        locCoder->myUsedBytes += locBlock->myCapacity;
        return locBlock + 1;
    }

    static void Free(void* anOpaque, void* aPointer)
    {
        if (!aPointer)
            return;
        Coder* locCoder = static_cast<Coder*>(anOpaque);
        locPackerBlock* locBlock = static_cast<locPackerBlock*>(aPointer) - 1;
        locCoder->myUsedBytes -= locBlock->myCapacity;
        if (locCoder->myIdleCount == locPackerIdleSlots)
        {
            locFreeBlock(locBlock);
            return;
        }
        locCoder->myIdle[locCoder->myIdleCount++] = locBlock;
        locCoder->myIdleBytes += locBlock->myCapacity;
    }

    void ReleaseIdle()
    {
        for (int i = 0; i < myIdleCount; ++i)
            locFreeBlock(myIdle[i]);
        myIdleCount = 0;
        myIdleBytes = 0;
    }
};

QP_LZMAPacker::QP_LZMAPacker()
    : myCoder(new (std::nothrow) Coder)
{
    if (!myCoder)
        return;
    myCoder->myAllocator.alloc = &Coder::Allocate;
    myCoder->myAllocator.free = &Coder::Free;
    myCoder->myAllocator.opaque = myCoder;
    myCoder->myStream.allocator = &myCoder->myAllocator;
}

QP_LZMAPacker::~QP_LZMAPacker()
{
    if (!myCoder)
        return;
    lzma_end(&myCoder->myStream);
    myCoder->ReleaseIdle();
    delete myCoder;
}

uint32_t QP_LZMAPacker::Compress(const void* aSource, void* aDestination, uint32_t aLength)
{
    if (!myCoder)
        return QP_Pack::CompressLZMA(aSource, aDestination, aLength);
    // liblzma sets up a stream used before anew, reusing the coder and every
    // table whose size the new options leave as it was.
    uint32_t locPacked = locEncodeLZMA(&myCoder->myStream, aSource, aDestination, aLength);
    if (myCoder->myUsedBytes > locPackerKeepBytes)
        lzma_end(&myCoder->myStream);
    myCoder->ReleaseIdle();
    return locPacked;
}

uint64_t QP_LZMAPacker::GetKeptBytes() const
{
    return myCoder ? myCoder->myUsedBytes + myCoder->myIdleBytes : 0;
}

uint32_t QP_Pack::DecompressZlib(uint32_t anUnpackedSize, void* aDestination, uint32_t aPackedSize, const void* aSource)
{
    uLongf locLength = anUnpackedSize;
    if (uncompress((Bytef*)aDestination, &locLength, (const Bytef*)aSource, aPackedSize) != Z_OK)
        return 0;
    return (uint32_t)locLength;
}

bool QP_Pack::DecompressLZMA(const void* aSource, uint32_t aPackedSize, void* aDestination, uint32_t anUnpackedSize)
{
    QP_MemInStream locIn(aSource, aPackedSize);
    uint8_t locProperties[5];
    uint32_t locRead = 0;
    locIn.Read(locProperties, 5, &locRead);
    if (locRead != 5)
        return false;

    lzma_filter locFilters[2] = {{LZMA_FILTER_LZMA1EXT, NULL}, {LZMA_VLI_UNKNOWN, NULL}};
    if (lzma_properties_decode(&locFilters[0], NULL, locProperties, 5) != LZMA_OK)
        return false;
    lzma_options_lzma* locOptions = (lzma_options_lzma*)locFilters[0].options;
    locOptions->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(*locOptions, anUnpackedSize);
    // No distance can reach before the start of the output, so a dictionary
    // larger than the output is never used.
    if (locOptions->dict_size > anUnpackedSize)
        locOptions->dict_size = anUnpackedSize < locLZMAMinDictionarySize ? locLZMAMinDictionarySize : anUnpackedSize;

    lzma_stream locStream = LZMA_STREAM_INIT;
    lzma_ret locInit = lzma_raw_decoder(&locStream, locFilters);
    free(locOptions);
    if (locInit != LZMA_OK)
    {
        lzma_end(&locStream);
        return false;
    }

    QP_MemOutStream locOut(aDestination, anUnpackedSize);
    locIn.Seek(5, QP_SEEK_SET, NULL);
    bool locOk = locRunCoder(&locStream, &locIn, &locOut);
    lzma_end(&locStream);
    return locOk && locOut.GetWrittenSize() == anUnpackedSize;
}

// --- the unpacker in pieces ---

void QP_Unpacker::End()
{
    if (myZlib)
    {
        inflateEnd(static_cast<z_stream*>(myZlib));
        delete static_cast<z_stream*>(myZlib);
        myZlib = nullptr;
    }
    if (myLzma)
    {
        lzma_end(static_cast<lzma_stream*>(myLzma));
        delete static_cast<lzma_stream*>(myLzma);
        myLzma = nullptr;
    }
    myMethod = 0;
    myDoneFlag = false;
}

bool QP_Unpacker::Begin(uint32_t aMethod, uint32_t anUnpackedSize)
{
    End();
    myMethod = aMethod;
    mySize = anUnpackedSize;
    myProduced = 0;
    myPropertyCount = 0;
    if (aMethod == 1)
    {
        z_stream* locStream = new z_stream();
        if (inflateInit(locStream) != Z_OK)
        {
            delete locStream;
            myMethod = 0;
            return false;
        }
        myZlib = locStream;
        return true;
    }
    return aMethod == 2;   // the LZMA coder starts once its properties have come
}

bool QP_Unpacker::Run(const uint8_t** anInput, uint32_t* anInputSize, uint8_t** anOutput, uint32_t* anOutputSize,
                      bool aLastInput)
{
    if (myDoneFlag)
        return *anInputSize == 0;
    // Never more output than the size left: what would follow is damage.
    uint32_t locRoom = *anOutputSize < mySize - myProduced ? *anOutputSize : mySize - myProduced;
    if (myMethod == 1 && myZlib)
    {
        z_stream* locStream = static_cast<z_stream*>(myZlib);
        locStream->next_in = const_cast<Bytef*>(*anInput);
        locStream->avail_in = *anInputSize;
        locStream->next_out = *anOutput;
        locStream->avail_out = locRoom;
        int locResult = inflate(locStream, Z_NO_FLUSH);
        uint32_t locUsed = *anInputSize - locStream->avail_in;
        uint32_t locMade = locRoom - locStream->avail_out;
        *anInput += locUsed;
        *anInputSize -= locUsed;
        *anOutput += locMade;
        *anOutputSize -= locMade;
        myProduced += locMade;
        if (locResult == Z_STREAM_END)
        {
            myDoneFlag = myProduced == mySize;
            return myDoneFlag;
        }
        // No progress: waiting for input is fine until the last of it; input
        // left with no room means more output than announced.
        if (locResult == Z_BUF_ERROR)
            return *anInputSize == 0 && !aLastInput;
        return locResult == Z_OK;
    }
    if (myMethod != 2)
        return false;

    while (myPropertyCount < 5 && *anInputSize > 0)
    {
        myProperties[myPropertyCount++] = **anInput;
        ++*anInput;
        --*anInputSize;
    }
    if (myPropertyCount < 5)
        return !aLastInput;
    if (!myLzma)
    {
        lzma_filter locFilters[2] = {{LZMA_FILTER_LZMA1EXT, NULL}, {LZMA_VLI_UNKNOWN, NULL}};
        if (lzma_properties_decode(&locFilters[0], NULL, myProperties, 5) != LZMA_OK)
            return false;
        lzma_options_lzma* locOptions = (lzma_options_lzma*)locFilters[0].options;
        locOptions->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        lzma_set_ext_size(*locOptions, mySize);
        if (locOptions->dict_size > mySize)
            locOptions->dict_size = mySize < locLZMAMinDictionarySize ? locLZMAMinDictionarySize : mySize;
        lzma_stream* locStream = new lzma_stream;
        *locStream = LZMA_STREAM_INIT;
        lzma_ret locInit = lzma_raw_decoder(locStream, locFilters);
        free(locOptions);
        myLzma = locStream;
        if (locInit != LZMA_OK)
            return false;
    }
    lzma_stream* locStream = static_cast<lzma_stream*>(myLzma);
    locStream->next_in = *anInput;
    locStream->avail_in = *anInputSize;
    locStream->next_out = *anOutput;
    locStream->avail_out = locRoom;
    lzma_ret locResult = lzma_code(locStream, aLastInput ? LZMA_FINISH : LZMA_RUN);
    uint32_t locUsed = *anInputSize - uint32_t(locStream->avail_in);
    uint32_t locMade = locRoom - uint32_t(locStream->avail_out);
    *anInput += locUsed;
    *anInputSize -= locUsed;
    *anOutput += locMade;
    *anOutputSize -= locMade;
    myProduced += locMade;
    if (locResult == LZMA_STREAM_END)
    {
        myDoneFlag = myProduced == mySize;
        return myDoneFlag;
    }
    if (locResult == LZMA_BUF_ERROR)
        return *anInputSize == 0 && !aLastInput;
    return locResult == LZMA_OK;
}
