// Sound files made by the tests: sine tones written with libsndfile into memory.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace snd_test
{
struct MemoryFile
{
    std::vector<uint8_t> myBytes;
    sf_count_t myPos = 0;
};

inline sf_count_t Length(void* aUser)
{
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(aUser)->myBytes.size());
}
inline sf_count_t Seek(sf_count_t anOffset, int aWhence, void* aUser)
{
    MemoryFile* file = static_cast<MemoryFile*>(aUser);
    sf_count_t base = aWhence == SEEK_CUR ? file->myPos : aWhence == SEEK_END ? Length(aUser) : 0;
    file->myPos = base + anOffset;
    return file->myPos;
}
inline sf_count_t Read(void* aDestination, sf_count_t aCount, void* aUser)
{
    MemoryFile* file = static_cast<MemoryFile*>(aUser);
    sf_count_t left = Length(aUser) - file->myPos;
    sf_count_t count = left < aCount ? (left > 0 ? left : 0) : aCount;
    memcpy(aDestination, file->myBytes.data() + file->myPos, static_cast<size_t>(count));
    file->myPos += count;
    return count;
}
inline sf_count_t Write(const void* aSource, sf_count_t aCount, void* aUser)
{
    MemoryFile* file = static_cast<MemoryFile*>(aUser);
    if (file->myPos + aCount > Length(aUser))
        file->myBytes.resize(static_cast<size_t>(file->myPos + aCount));
    memcpy(file->myBytes.data() + file->myPos, aSource, static_cast<size_t>(aCount));
    file->myPos += aCount;
    return aCount;
}
inline sf_count_t Tell(void* aUser)
{
    return static_cast<MemoryFile*>(aUser)->myPos;
}

const int WAV16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
const int MP3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;

// True when this libsndfile can write the format (MP3 needs its LAME support).
inline bool CanWrite(int aFormat, int aRate = 44100, int aChannels = 1)
{
    SF_INFO info = {};
    info.format = aFormat;
    info.samplerate = aRate;
    info.channels = aChannels;
    return sf_format_check(&info) != 0;
}

// A sine of aHertz at anAmplitude (0..1) for aFrames frames, each sample made
// by aSample from the sine's value and handed to aWrite; empty when libsndfile
// refuses the format.
template <typename Sample, typename MakeSample, typename WriteFrames>
std::vector<uint8_t> WriteTone(int aFormat, int aRate, int aChannels, int aFrames, double aHertz,
                               double anAmplitude, MakeSample aSample, WriteFrames aWrite)
{
    MemoryFile file;
    SF_VIRTUAL_IO io = {Length, Seek, Read, Write, Tell};
    SF_INFO info = {};
    info.format = aFormat;
    info.samplerate = aRate;
    info.channels = aChannels;
    SNDFILE* sound = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (!sound)
        return {};
    std::vector<Sample> frames(static_cast<size_t>(aFrames) * aChannels);
    for (int i = 0; i < aFrames; ++i)
        for (int c = 0; c < aChannels; ++c)
            frames[static_cast<size_t>(i) * aChannels + c] =
                aSample(anAmplitude * std::sin(2.0 * 3.14159265358979 * aHertz * i / aRate));
    aWrite(sound, frames.data(), static_cast<sf_count_t>(aFrames));
    sf_close(sound);
    return file.myBytes;
}

// Written as doubles: float formats get the values themselves, as sox and
// ffmpeg write them.
inline std::vector<uint8_t> MakeFloatTone(int aFormat, int aRate, int aChannels, int aFrames,
                                          double aHertz = 440.0, double anAmplitude = 0.5)
{
    return WriteTone<double>(aFormat, aRate, aChannels, aFrames, aHertz, anAmplitude,
                             [](double aValue) { return aValue; }, sf_writef_double);
}

// Written as 16-bit samples.
inline std::vector<uint8_t> MakeTone(int aFormat, int aRate, int aChannels, int aFrames,
                                     double aHertz = 440.0, double anAmplitude = 0.5)
{
    return WriteTone<short>(aFormat, aRate, aChannels, aFrames, aHertz, anAmplitude,
                            [](double aValue) { return static_cast<short>(32767.0 * aValue); }, sf_writef_short);
}
}  // namespace snd_test
