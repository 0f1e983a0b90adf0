// The decoder: libsndfile over a window of a caller's reader, 16-bit frames out.
#pragma once

#include "platform/sound/snd_sound.h"

#include <sndfile.h>

#include <cstdint>
#include <vector>

// Presents the window [myOffset, myOffset + mySize) of the reader as a whole file.
struct SND_Window
{
    SND_Reader myReader;
    uint64_t myOffset = 0;
    uint64_t mySize = 0;
    uint64_t myPos = 0;          // within the window
    uint64_t myReaderPos = ~0ull; // where the reader stands, ~0 when unknown
};

class SND_Decoder
{
public:
    SND_Decoder() = default;
    ~SND_Decoder();
    SND_Decoder(const SND_Decoder&) = delete;
    SND_Decoder& operator=(const SND_Decoder&) = delete;

    // False with SND_ErrorCode set. The window's size 0 means to the reader's end.
    bool Open(const SND_Reader& aReader, uint64_t anOffset, uint64_t aSize);
    // Frames read (each myChannels 16-bit values), 0 at the end.
    uint32_t Read(int16_t* aFrames, uint32_t aFrameCount);
    bool Rewind();
    // Closes the reader too.
    void Close();

    uint32_t myChannels = 0;
    uint32_t myRate = 0;

private:
    SND_Window myWindow;
    SNDFILE* myFile = nullptr;
    std::vector<float> myFloats;   // one read's frames before conversion
    bool myReaderOwnedFlag = false;
};

// A normalised sample (full scale +-1) as a 16-bit value, rounded and clipped.
int16_t SND_FloatToSample(float aValue);

// A reader over bytes in memory (not owned).
struct SND_MemoryReader
{
    const uint8_t* myBytes = nullptr;
    uint64_t mySize = 0;
    uint64_t myPos = 0;
};
SND_Reader SND_MakeMemoryReader(SND_MemoryReader* aMemory);

// Decodes a whole file; false with SND_ErrorCode set.
bool SND_DecodeAll(SND_Decoder* aDecoder, std::vector<int16_t>* aFrames);
