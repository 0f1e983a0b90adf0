// The decoder: libsndfile's virtual I/O over a window of the caller's reader.
#include "platform/sound/snd_decode_local.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

char SND_ErrorDetail[128];

namespace
{
// A decoded sample larger than this (in 16-bit values) is refused: 64 M values, 128 MB.
const size_t locMaxSampleValues = 64u * 1024 * 1024;

sf_count_t locGetLength(void* aUser)
{
    return static_cast<sf_count_t>(static_cast<SND_Window*>(aUser)->mySize);
}

sf_count_t locSeek(sf_count_t anOffset, int aWhence, void* aUser)
{
    SND_Window* window = static_cast<SND_Window*>(aUser);
    int64_t base = 0;
    if (aWhence == SEEK_CUR)
        base = static_cast<int64_t>(window->myPos);
    else if (aWhence == SEEK_END)
        base = static_cast<int64_t>(window->mySize);
    else if (aWhence != SEEK_SET)
        return -1;
    int64_t target = base + anOffset;
    if (target < 0)
        return -1;
    // Past the end is allowed (as for a file); reads there return nothing.
    window->myPos = static_cast<uint64_t>(target);
    return target;
}

sf_count_t locRead(void* aDestination, sf_count_t aCount, void* aUser)
{
    SND_Window* window = static_cast<SND_Window*>(aUser);
    if (aCount <= 0 || window->myPos >= window->mySize)
        return 0;
    uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(aCount), window->mySize - window->myPos);
    uint64_t filePos = window->myOffset + window->myPos;
    if (window->myReaderPos != filePos)
    {
        if (!window->myReader.mySeek(window->myReader.myUser, filePos))
        {
            window->myReaderPos = ~0ull;
            return 0;
        }
        window->myReaderPos = filePos;
    }
    uint64_t done = 0;
    uint8_t* destination = static_cast<uint8_t*>(aDestination);
    while (done < count)
    {
        uint32_t step = static_cast<uint32_t>(std::min<uint64_t>(count - done, 1u << 30));
        uint32_t got = window->myReader.myRead(window->myReader.myUser, destination + done, step);
        if (got > step)
            got = 0;  // a reader answering more than asked is broken: treat as the end
        done += got;
        if (got < step)
            break;
    }
    window->myPos += done;
    window->myReaderPos += done;
    return static_cast<sf_count_t>(done);
}

sf_count_t locWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t locTell(void* aUser)
{
    return static_cast<sf_count_t>(static_cast<SND_Window*>(aUser)->myPos);
}

uint32_t locMemoryRead(void* aUser, void* aDestination, uint32_t aCount)
{
    SND_MemoryReader* memory = static_cast<SND_MemoryReader*>(aUser);
    if (memory->myPos >= memory->mySize)
        return 0;
    uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(aCount, memory->mySize - memory->myPos));
    memcpy(aDestination, memory->myBytes + memory->myPos, count);
    memory->myPos += count;
    return count;
}

bool locMemorySeek(void* aUser, uint64_t aPosition)
{
    SND_MemoryReader* memory = static_cast<SND_MemoryReader*>(aUser);
    if (aPosition > memory->mySize)
        return false;
    memory->myPos = aPosition;
    return true;
}

uint64_t locMemorySize(void* aUser)
{
    return static_cast<SND_MemoryReader*>(aUser)->mySize;
}
}  // namespace

int16_t SND_FloatToSample(float aValue)
{
    // 16-bit values read as floats come back exactly; beyond full scale clips; NaN is silence.
    float scaled = aValue * 32768.0f;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    if (!(scaled == scaled))
        return 0;
    return static_cast<int16_t>(std::floor(scaled + 0.5f));
}

SND_Reader SND_MakeMemoryReader(SND_MemoryReader* aMemory)
{
    SND_Reader reader;
    reader.myUser = aMemory;
    reader.myRead = locMemoryRead;
    reader.mySeek = locMemorySeek;
    reader.mySize = locMemorySize;
    return reader;
}

SND_Decoder::~SND_Decoder()
{
    Close();
}

bool SND_Decoder::Open(const SND_Reader& aReader, uint64_t anOffset, uint64_t aSize)
{
    Close();
    SND_ErrorDetail[0] = 0;
    myWindow = SND_Window();
    myWindow.myReader = aReader;
    myReaderOwnedFlag = true;
    if (!aReader.myRead || !aReader.mySeek || !aReader.mySize)
    {
        SND_ErrorCode = SND_ERROR_BAD_ARGUMENT;
        Close();
        return false;
    }
    uint64_t fileSize = aReader.mySize(aReader.myUser);
    if (anOffset > fileSize || aSize > fileSize - anOffset)
    {
        SND_ErrorCode = SND_ERROR_BAD_ARGUMENT;
        Close();
        return false;
    }
    myWindow.myOffset = anOffset;
    myWindow.mySize = aSize ? aSize : fileSize - anOffset;

    SF_VIRTUAL_IO io = {locGetLength, locSeek, locRead, locWrite, locTell};
    SF_INFO info;
    memset(&info, 0, sizeof(info));
    myFile = sf_open_virtual(&io, SFM_READ, &info, &myWindow);
    if (!myFile)
    {
        SND_ErrorCode = SND_ERROR_DECODE;
        Close();
        return false;
    }
    if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0)
    {
        SND_ErrorCode = SND_ERROR_FORMAT;
        if (info.channels > 2)
            snprintf(SND_ErrorDetail, sizeof(SND_ErrorDetail), "%d channels: only mono and stereo sounds play",
                     info.channels);
        else
            snprintf(SND_ErrorDetail, sizeof(SND_ErrorDetail), "%d channels at %d Hz", info.channels,
                     info.samplerate);
        Close();
        return false;
    }
    myChannels = static_cast<uint32_t>(info.channels);
    myRate = static_cast<uint32_t>(info.samplerate);
    return true;
}

// Every format is read as libsndfile's normalised floats (full scale +-1, an
// integer sample v of n bits being v / 2^(n-1)), so that float files come out
// at their level: reading float data as 16-bit values would give +-1 at most.
uint32_t SND_Decoder::Read(int16_t* aFrames, uint32_t aFrameCount)
{
    if (!myFile || aFrameCount == 0)
        return 0;
    const uint32_t locStepFrames = 4096;
    uint32_t done = 0;
    myFloats.resize(static_cast<size_t>(locStepFrames) * myChannels);
    while (done < aFrameCount)
    {
        uint32_t step = std::min(aFrameCount - done, locStepFrames);
        sf_count_t got = sf_readf_float(myFile, myFloats.data(), step);
        if (got <= 0)
            break;
        int16_t* out = aFrames + static_cast<size_t>(done) * myChannels;
        for (size_t i = 0; i < static_cast<size_t>(got) * myChannels; ++i)
            out[i] = SND_FloatToSample(myFloats[i]);
        done += static_cast<uint32_t>(got);
        if (got < step)
            break;
    }
    return done;
}

bool SND_Decoder::Rewind()
{
    return myFile && sf_seek(myFile, 0, SEEK_SET) == 0;
}

void SND_Decoder::Close()
{
    if (myFile)
        sf_close(myFile);
    myFile = nullptr;
    if (myReaderOwnedFlag && myWindow.myReader.myClose)
        myWindow.myReader.myClose(myWindow.myReader.myUser);
    myReaderOwnedFlag = false;
    myChannels = 0;
    myRate = 0;
    myFloats.clear();
    myFloats.shrink_to_fit();
}

bool SND_DecodeAll(SND_Decoder* aDecoder, std::vector<int16_t>* aFrames)
{
    aFrames->clear();
    const uint32_t chunkFrames = 16384;
    for (;;)
    {
        size_t used = aFrames->size();
        if (used + chunkFrames * aDecoder->myChannels > locMaxSampleValues)
        {
            SND_ErrorCode = SND_ERROR_FORMAT;
            snprintf(SND_ErrorDetail, sizeof(SND_ErrorDetail), "longer than %zu values", locMaxSampleValues);
            return false;
        }
        aFrames->resize(used + chunkFrames * aDecoder->myChannels);
        uint32_t got = aDecoder->Read(aFrames->data() + used, chunkFrames);
        aFrames->resize(used + static_cast<size_t>(got) * aDecoder->myChannels);
        if (got == 0)
            break;
    }
    if (aFrames->empty())
    {
        SND_ErrorCode = SND_ERROR_DECODE;
        return false;
    }
    return true;
}
