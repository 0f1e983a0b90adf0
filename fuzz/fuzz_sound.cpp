// The sound layer's decoder: libsndfile's virtual I/O over a window of a
// reader, as the sound library streams WAV and MP3 files. The first input
// byte picks the reader (the file object over a file, streaming, or bytes in
// memory) and whether a window inside the file is decoded; the rest is the
// file. A WAV file that decodes must rewind and decode to the same frames again;
// a refused one must say why.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_util.h"
#include "platform/sound/snd_decode_local.h"
#include "qfile/qf_file.h"

// The layer's error code lives with its OpenAL half, which is not built here.
int SND_ErrorCode = SND_ERROR_NONE;

namespace
{
uint32_t locFileRead(void* aUser, void* aDestination, uint32_t aCount)
{
    return static_cast<QF_File*>(aUser)->Read(aDestination, aCount);
}

bool locFileSeek(void* aUser, uint64_t aPosition)
{
    return aPosition <= 0xffffffffu && static_cast<QF_File*>(aUser)->Seek(uint32_t(aPosition), 0);
}

uint64_t locFileSize(void* aUser)
{
    return static_cast<QF_File*>(aUser)->GetSize();
}

void locFileClose(void* aUser)
{
    static_cast<QF_File*>(aUser)->Close();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize > (1u << 20))
        return 0;
    FuzzInput locInput(aData, aSize);
    const uint8_t locMode = locInput.TakeByte();
    uint64_t locOffset = 0, locWindow = 0;
    if (locMode & 2)
    {
        locOffset = locInput.TakeByte() | (uint32_t(locInput.TakeByte()) << 8);
        locWindow = locInput.TakeByte() | (uint32_t(locInput.TakeByte()) << 8);
    }
    const uint8_t* locBytes = locInput.GetData();
    const size_t locSize = locInput.GetSize();

    QF_File locFile;
    SND_MemoryReader locMemory;
    SND_Reader locReader;
    if (locMode & 1)
    {
        const std::string locPath = FuzzScratch::Write("sound.bin", locBytes, locSize);
        if (!locFile.Open(locPath.c_str(), OPEN_READ | OPEN_STREAMING))
            abort();
        locReader.myUser = &locFile;
        locReader.myRead = locFileRead;
        locReader.mySeek = locFileSeek;
        locReader.mySize = locFileSize;
        locReader.myClose = locFileClose;
    }
    else
    {
        locMemory.myBytes = locBytes;
        locMemory.mySize = locSize;
        locReader = SND_MakeMemoryReader(&locMemory);
    }

    SND_Decoder locDecoder;
    if (!locDecoder.Open(locReader, locOffset, locWindow))
    {
        if (locOffset <= locSize && locWindow <= locSize - locOffset && SND_ErrorCode == SND_ERROR_BAD_ARGUMENT)
            abort(); // a window inside the file is never a bad argument
        if (SND_ErrorCode == SND_ERROR_FORMAT && !SND_ErrorDetail[0])
            abort(); // a refused format says why (the channel count)
        return 0;
    }
    if (SND_ErrorDetail[0])
        abort(); // no stale reason after a good open
    if (locDecoder.myChannels < 1 || locDecoder.myChannels > 2 || locDecoder.myRate == 0)
        abort();
    std::vector<int16_t> locFirst, locSecond;
    if (!SND_DecodeAll(&locDecoder, &locFirst))
        return 0;
    if (locFirst.size() % locDecoder.myChannels != 0)
        abort();
    // MP3 frames after a damaged one decode from the decoder's state, so only
    // a WAV file must read the same after the rewind.
    const bool locWave = locWindow == 0 || locWindow >= 4 ? locOffset + 4 <= locSize &&
                                                                 memcmp(locBytes + locOffset, "RIFF", 4) == 0
                                                           : false;
    if (locDecoder.Rewind() && locWave)
    {
        // The first frames again, in one read longer than the decoder's own
        // steps: a rewind starts where the first read did.
        const uint32_t locFrames = uint32_t(std::min<size_t>(locFirst.size() / locDecoder.myChannels, 10000));
        locSecond.resize(size_t(locFrames) * locDecoder.myChannels);
        uint32_t locGot = 0;
        while (locGot < locFrames)
        {
            const uint32_t locStep = locDecoder.Read(locSecond.data() + size_t(locGot) * locDecoder.myChannels,
                                                     locFrames - locGot);
            if (locStep == 0)
                break;
            locGot += locStep;
        }
        if (locGot != locFrames || memcmp(locSecond.data(), locFirst.data(), locSecond.size() * sizeof(int16_t)) != 0)
            abort();
    }
    locDecoder.Close();
    return 0;
}
