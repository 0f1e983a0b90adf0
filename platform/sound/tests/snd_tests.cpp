// The sound layer on OpenAL's loopback device (measured in the rendered mix)
// and on the null device in real time.
#include "platform/sound/snd_sound.h"
#include "platform/sound/snd_decode_local.h"
#include "platform/sound/tests/snd_test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

namespace
{
struct Energy
{
    double myLeft = 0.0;
    double myRight = 0.0;
};

class LoopbackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SND_StartDesc desc;
        desc.myLoopbackFlag = true;
        desc.myChannelCount = 4;
        ASSERT_TRUE(SND_Startup(desc)) << SND_GetErrorText(SND_ErrorCode);
    }
    void TearDown() override { SND_Shutdown(); }

    // Renders aFrames frames and sums the squares of each side.
    Energy Render(uint32_t aFrames)
    {
        std::vector<int16_t> mix(static_cast<size_t>(aFrames) * 2);
        EXPECT_TRUE(SND_RenderLoopback(mix.data(), aFrames));
        Energy energy;
        for (uint32_t i = 0; i < aFrames; ++i)
        {
            energy.myLeft += double(mix[2 * i]) * mix[2 * i];
            energy.myRight += double(mix[2 * i + 1]) * mix[2 * i + 1];
        }
        return energy;
    }

    // Frames rendered until the handle reports its end, in steps of 441 (10 ms); -1 past aLimit.
    int FramesUntilFinished(SND_Handle aHandle, int aLimit)
    {
        int frames = 0;
        while (!SND_IsFinished(aHandle))
        {
            if (frames > aLimit)
                return -1;
            Render(441);
            frames += 441;
        }
        return frames;
    }

    SND_Handle StartTone(const std::vector<uint8_t>& aFile, float aVolume, float aPan)
    {
        SND_Handle handle = SND_OpenSample(aFile.data(), static_cast<uint32_t>(aFile.size()));
        EXPECT_NE(handle, 0u) << SND_GetErrorText(SND_ErrorCode);
        EXPECT_TRUE(SND_SetVolumePan(handle, aVolume, aPan));
        EXPECT_TRUE(SND_Start(handle));
        return handle;
    }
};

// A file embedded between other bytes, as a container holds it.
struct Embedded
{
    std::vector<uint8_t> myBytes;
    size_t myPos = 0;
    int myCloseCount = 0;
    bool mySeekedOutside = false;
    bool myReadOutside = false;
    uint64_t myOffset = 0;
    uint64_t myLength = 0;
};

SND_Reader MakeReader(Embedded* anEmbedded)
{
    SND_Reader reader;
    reader.myUser = anEmbedded;
    reader.myRead = [](void* aUser, void* aDestination, uint32_t aCount) -> uint32_t {
        Embedded* e = static_cast<Embedded*>(aUser);
        uint32_t count = static_cast<uint32_t>(std::min<size_t>(aCount, e->myBytes.size() - e->myPos));
        if (e->myPos < e->myOffset || e->myPos + count > e->myOffset + e->myLength)
            e->myReadOutside = true;
        memcpy(aDestination, e->myBytes.data() + e->myPos, count);
        e->myPos += count;
        return count;
    };
    reader.mySeek = [](void* aUser, uint64_t aPosition) -> bool {
        Embedded* e = static_cast<Embedded*>(aUser);
        if (aPosition < e->myOffset || aPosition > e->myOffset + e->myLength)
            e->mySeekedOutside = true;
        if (aPosition > e->myBytes.size())
            return false;
        e->myPos = aPosition;
        return true;
    };
    reader.mySize = [](void* aUser) -> uint64_t { return static_cast<Embedded*>(aUser)->myBytes.size(); };
    reader.myClose = [](void* aUser) { ++static_cast<Embedded*>(aUser)->myCloseCount; };
    return reader;
}

struct Level
{
    double myPeak = 0.0;
    double myRms = 0.0;
    uint32_t myChannels = 0;
    std::vector<int16_t> myValues;
};

// Decodes a whole file through the layer's decoder, as a sample is decoded.
Level Decode(const std::vector<uint8_t>& aFile)
{
    Level level;
    SND_MemoryReader memory;
    memory.myBytes = aFile.data();
    memory.mySize = aFile.size();
    SND_Decoder decoder;
    if (!decoder.Open(SND_MakeMemoryReader(&memory), 0, 0))
        return level;
    level.myChannels = decoder.myChannels;
    if (!SND_DecodeAll(&decoder, &level.myValues))
        return level;
    double sum = 0.0;
    for (int16_t value : level.myValues)
    {
        level.myPeak = std::max(level.myPeak, std::abs(double(value)));
        sum += double(value) * value;
    }
    level.myRms = std::sqrt(sum / double(level.myValues.size()));
    return level;
}

Embedded Embed(const std::vector<uint8_t>& aFile)
{
    Embedded embedded;
    embedded.myBytes.assign(1000, 0xAB);
    embedded.myOffset = embedded.myBytes.size();
    embedded.myLength = aFile.size();
    embedded.myBytes.insert(embedded.myBytes.end(), aFile.begin(), aFile.end());
    embedded.myBytes.insert(embedded.myBytes.end(), 777, 0xCD);
    return embedded;
}
}  // namespace

TEST_F(LoopbackTest, PanPlacesTheToneLeftCentreAndRight)
{
    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 44100);
    ASSERT_FALSE(tone.empty());
    const float pans[3] = {-1.0f, 0.0f, 1.0f};
    Energy energies[3];
    for (int i = 0; i < 3; ++i)
    {
        SND_Handle handle = StartTone(tone, 1.0f, pans[i]);
        Render(2205);  // let the mixer's gain ramp settle
        energies[i] = Render(8820);
        SND_Close(handle);
    }
    EXPECT_GT(energies[0].myLeft, 10.0 * energies[0].myRight);
    EXPECT_GT(energies[2].myRight, 10.0 * energies[2].myLeft);
    EXPECT_NEAR(energies[1].myLeft / energies[1].myRight, 1.0, 0.05);
    EXPECT_GT(energies[1].myLeft, 0.0);
}

TEST_F(LoopbackTest, VolumeScalesTheAmplitude)
{
    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 44100);
    SND_Handle full = StartTone(tone, 1.0f, 0.0f);
    Render(2205);
    Energy loud = Render(8820);
    SND_Close(full);
    SND_Handle half = StartTone(tone, 0.5f, 0.0f);
    Render(2205);
    Energy quiet = Render(8820);
    SND_Close(half);
    // Energy goes with the square of the gain.
    EXPECT_NEAR(quiet.myLeft / loud.myLeft, 0.25, 0.03);
    SND_Handle silent = StartTone(tone, 0.0f, 0.0f);
    Render(2205);
    // The mixer ramps gains: only a short tail may remain.
    EXPECT_LT(Render(4410).myLeft, loud.myLeft * 1e-4);
    SND_Close(silent);
    EXPECT_FALSE(SND_SetVolumePan(silent, 1.0f, 0.0f));
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_BAD_HANDLE);
}

TEST_F(LoopbackTest, SampleEndsAfterItsLengthTimesTheLoopCountAndRate)
{
    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 22050, 1, 2205);  // 0.1 s
    SND_Handle once = StartTone(tone, 1.0f, 0.0f);
    EXPECT_EQ(SND_GetFileRate(once), 22050u);
    int framesOnce = FramesUntilFinished(once, 44100);
    EXPECT_GE(framesOnce, 4410 - 441);
    EXPECT_LE(framesOnce, 4410 + 2 * 1024 + 441);
    SND_Close(once);

    SND_Handle thrice = SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size()));
    ASSERT_TRUE(SND_SetLoopCount(thrice, 3));
    ASSERT_TRUE(SND_Start(thrice));
    int framesThrice = FramesUntilFinished(thrice, 44100);
    EXPECT_GE(framesThrice, 3 * 4410 - 441);
    EXPECT_LE(framesThrice, 3 * 4410 + 2 * 1024 + 441);
    SND_Close(thrice);

    SND_Handle fast = SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size()));
    ASSERT_TRUE(SND_SetRate(fast, 44100));
    ASSERT_TRUE(SND_Start(fast));
    int framesFast = FramesUntilFinished(fast, 44100);
    EXPECT_LE(framesFast, 2205 + 2 * 1024 + 441);
    SND_Close(fast);

    SND_Handle forever = SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size()));
    ASSERT_TRUE(SND_SetLoopCount(forever, 0));
    ASSERT_TRUE(SND_Start(forever));
    EXPECT_EQ(FramesUntilFinished(forever, 44100), -1);
    EXPECT_GT(Render(4410).myLeft, 0.0);
    SND_Close(forever);
}

TEST_F(LoopbackTest, PausedSoundHoldsUntilResumed)
{
    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 4410);
    SND_Handle handle = StartTone(tone, 1.0f, 0.0f);
    Energy playing = Render(1024);
    ASSERT_TRUE(SND_Pause(handle));
    Render(2048);
    EXPECT_LT(Render(44100).myLeft, playing.myLeft * 1e-3);
    EXPECT_FALSE(SND_IsFinished(handle));
    ASSERT_TRUE(SND_Resume(handle));
    int frames = FramesUntilFinished(handle, 44100);
    EXPECT_GT(frames, 2048);
    EXPECT_LE(frames, 4410);
    SND_Close(handle);
}

TEST_F(LoopbackTest, StreamReadsOnlyItsWindowAndRewindsForEachLoop)
{
    // Long enough to need many refills: 1.5 s of stereo.
    std::vector<uint8_t> file = snd_test::MakeTone(snd_test::WAV16, 44100, 2, 66150);
    Embedded embedded = Embed(file);
    SND_Handle handle = SND_OpenStream(MakeReader(&embedded), embedded.myOffset, embedded.myLength);
    ASSERT_NE(handle, 0u) << SND_GetErrorText(SND_ErrorCode);
    ASSERT_TRUE(SND_SetLoopCount(handle, 2));
    ASSERT_TRUE(SND_SetVolumePan(handle, 1.0f, 0.0f));
    ASSERT_TRUE(SND_Start(handle));
    int frames = FramesUntilFinished(handle, 10 * 44100);
    EXPECT_GE(frames, 2 * 66150 - 441);
    EXPECT_LE(frames, 2 * 66150 + 2 * 1024 + 441);
    EXPECT_FALSE(embedded.mySeekedOutside);
    EXPECT_EQ(embedded.myCloseCount, 0);
    SND_Close(handle);
    EXPECT_EQ(embedded.myCloseCount, 1);
}

TEST_F(LoopbackTest, WindowCutShortEndsTheSoundWithoutReadingBehindIt)
{
    // The header promises 0.5 s; the window holds about half of it.
    std::vector<uint8_t> file = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 22050);
    Embedded embedded = Embed(file);
    embedded.myLength -= 22050;
    SND_Handle handle = SND_OpenStream(MakeReader(&embedded), embedded.myOffset, embedded.myLength);
    ASSERT_NE(handle, 0u) << SND_GetErrorText(SND_ErrorCode);
    ASSERT_TRUE(SND_Start(handle));
    int frames = FramesUntilFinished(handle, 44100);
    EXPECT_GT(frames, 0);
    EXPECT_LE(frames, 11025 + 2 * 1024 + 441);
    EXPECT_FALSE(embedded.myReadOutside);
    EXPECT_FALSE(embedded.mySeekedOutside);
    SND_Close(handle);
}

TEST_F(LoopbackTest, PoolIsBoundedByTheChannelCount)
{
    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 441);
    std::vector<SND_Handle> handles;
    for (int i = 0; i < 4; ++i)
        handles.push_back(SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size())));
    for (SND_Handle handle : handles)
        EXPECT_NE(handle, 0u);
    EXPECT_EQ(SND_GetOpenCount(), 4u);
    EXPECT_EQ(SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size())), 0u);
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_NO_HANDLE);
    Embedded embedded = Embed(tone);
    EXPECT_EQ(SND_OpenStream(MakeReader(&embedded), embedded.myOffset, embedded.myLength), 0u);
    EXPECT_EQ(embedded.myCloseCount, 1);
    SND_Close(handles[1]);
    SND_Handle again = SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size()));
    EXPECT_NE(again, 0u);
    // The old handle of the reused channel stays dead.
    EXPECT_FALSE(SND_Start(handles[1]));
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_BAD_HANDLE);
}

TEST_F(LoopbackTest, BadDataAndBadWindowsAreRefused)
{
    std::vector<uint8_t> junk(5000, 0x5A);
    EXPECT_EQ(SND_OpenSample(junk.data(), static_cast<uint32_t>(junk.size())), 0u);
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_DECODE);

    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 441);
    // A header cut short.
    EXPECT_EQ(SND_OpenSample(tone.data(), 30), 0u);

    Embedded embedded = Embed(tone);
    EXPECT_EQ(SND_OpenStream(MakeReader(&embedded), embedded.myBytes.size() - 10, 11), 0u);
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(embedded.myCloseCount, 1);
    // The window starts at the junk before the file: no sound file there.
    EXPECT_EQ(SND_OpenStream(MakeReader(&embedded), 0, embedded.myLength), 0u);
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_DECODE);

    std::vector<uint8_t> surround = snd_test::MakeTone(snd_test::WAV16, 44100, 6, 441);
    EXPECT_EQ(SND_OpenSample(surround.data(), static_cast<uint32_t>(surround.size())), 0u);
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_FORMAT);

    // An Ogg Vorbis file that ends inside its headers, before the codebooks are complete;
    // the whole file plays.
    std::vector<uint8_t> ogg = snd_test::MakeTone(SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 1, 4410);
    ASSERT_GT(ogg.size(), 1000u) << "this libsndfile cannot encode Ogg Vorbis";
    for (uint32_t cut : {60u, 1000u})
    {
        EXPECT_EQ(SND_OpenSample(ogg.data(), cut), 0u) << cut;
        EXPECT_EQ(SND_ErrorCode, SND_ERROR_DECODE) << cut;
    }
    SND_Handle whole = SND_OpenSample(ogg.data(), static_cast<uint32_t>(ogg.size()));
    EXPECT_NE(whole, 0u) << SND_GetErrorText(SND_ErrorCode);
    EXPECT_EQ(SND_GetOpenCount(), 1u);
    SND_Close(whole);
    EXPECT_EQ(SND_GetOpenCount(), 0u);
}

TEST(SoundNullDevice, Mp3AndWavPlayToTheirEndInRealTime)
{
    ASSERT_TRUE(snd_test::CanWrite(snd_test::MP3))
        << "this libsndfile cannot encode MP3 (libmp3lame missing)";
    SND_StartDesc desc;
    ASSERT_TRUE(SND_Startup(desc)) << SND_GetErrorText(SND_ErrorCode);
    EXPECT_EQ(SND_GetChannelCount(), 8u);
    EXPECT_FALSE(SND_Startup(desc));
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_ALREADY_STARTED);

    std::vector<uint8_t> mp3 = snd_test::MakeTone(snd_test::MP3, 44100, 1, 8820);
    ASSERT_FALSE(mp3.empty());
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 44100);
    Embedded embedded = Embed(wav);

    SND_Handle sample = SND_OpenSample(mp3.data(), static_cast<uint32_t>(mp3.size()));
    ASSERT_NE(sample, 0u) << SND_GetErrorText(SND_ErrorCode);
    SND_Handle stream = SND_OpenStream(MakeReader(&embedded), embedded.myOffset, embedded.myLength);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(SND_Start(sample));
    ASSERT_TRUE(SND_Start(stream));
    auto start = std::chrono::steady_clock::now();
    while (!(SND_IsFinished(sample) && SND_IsFinished(stream)) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(SND_IsFinished(sample));
    EXPECT_TRUE(SND_IsFinished(stream));
    EXPECT_FALSE(embedded.mySeekedOutside);
    SND_Shutdown();
    EXPECT_EQ(embedded.myCloseCount, 1);
    EXPECT_FALSE(SND_IsStarted());
    EXPECT_EQ(SND_OpenSample(wav.data(), 100), 0u);
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_NOT_STARTED);
}

// Float files hold full scale as +-1; read as 16-bit values without scaling
// they would decode to +-1 and play as silence.
TEST(SoundDecoder, EveryFormatDecodesAtTheLevelOfItsSixteenBitTwin)
{
    struct Case
    {
        const char* myName;
        int myFormat;
        double myTolerance;   // of the 16-bit file's peak and RMS
    };
    const Case cases[] = {
        {"WAV 8-bit", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0.02},
        {"WAV 24-bit", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.001},
        {"WAV 32-bit", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0.001},
        {"WAV float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.001},
        {"WAV double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0.001},
        {"WAVE_FORMAT_EXTENSIBLE float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 0.001},
        {"WAV mu-law", SF_FORMAT_WAV | SF_FORMAT_ULAW, 0.03},
        {"WAV IMA ADPCM", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 0.05},
        {"AIFF float", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 0.001},
        {"FLAC 24-bit", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0.001},
        {"Ogg Vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0.1},
        {"MP3", snd_test::MP3, 0.1},
    };
    // Half a second of stereo at half of full scale.
    const Level reference = Decode(snd_test::MakeFloatTone(snd_test::WAV16, 44100, 2, 22050));
    ASSERT_EQ(reference.myChannels, 2u);
    EXPECT_NEAR(reference.myPeak, 16384.0, 2.0);
    EXPECT_NEAR(reference.myRms, 16384.0 / std::sqrt(2.0), 20.0);
    for (const Case& test : cases)
    {
        std::vector<uint8_t> file = snd_test::MakeFloatTone(test.myFormat, 44100, 2, 22050);
        if (file.empty())
        {
            // Only the codecs of an optional library may be missing.
            EXPECT_TRUE((test.myFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG || test.myFormat == snd_test::MP3)
                << test.myName;
            continue;
        }
        Level level = Decode(file);
        ASSERT_EQ(level.myChannels, 2u) << test.myName << ": " << SND_GetErrorText(SND_ErrorCode);
        EXPECT_NEAR(level.myPeak / reference.myPeak, 1.0, test.myTolerance) << test.myName;
        EXPECT_NEAR(level.myRms / reference.myRms, 1.0, test.myTolerance) << test.myName;
    }

    // 16-bit values come back exactly, full scale included.
    std::vector<uint8_t> extremes = snd_test::MakeFloatTone(snd_test::WAV16, 44100, 1, 4410, 440.0, 1.0);
    Level full = Decode(extremes);
    EXPECT_EQ(full.myPeak, 32767.0);

    // Past full scale a float file clips; it never wraps round to the other sign.
    Level loud = Decode(snd_test::MakeFloatTone(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, 4410, 441.0, 3.0));
    ASSERT_EQ(loud.myValues.size(), 4410u);
    for (size_t i = 0; i < loud.myValues.size(); ++i)
    {
        double expected = 3.0 * std::sin(2.0 * 3.14159265358979 * 441.0 * double(i) / 44100.0);
        if (expected > 1.0)
            ASSERT_EQ(loud.myValues[i], 32767) << i;
        else if (expected < -1.0)
            ASSERT_EQ(loud.myValues[i], -32768) << i;
    }
}

TEST_F(LoopbackTest, FloatSoundPlaysAsLoudAsItsSixteenBitTwin)
{
    std::vector<uint8_t> pcm = snd_test::MakeFloatTone(snd_test::WAV16, 44100, 1, 44100);
    std::vector<uint8_t> floats = snd_test::MakeFloatTone(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, 44100);
    Energy energies[2];
    const std::vector<uint8_t>* files[2] = {&pcm, &floats};
    for (int i = 0; i < 2; ++i)
    {
        SND_Handle handle = StartTone(*files[i], 1.0f, 0.0f);
        Render(2205);
        energies[i] = Render(8820);
        SND_Close(handle);
    }
    EXPECT_GT(energies[0].myLeft, 1e9);
    EXPECT_NEAR(energies[1].myLeft / energies[0].myLeft, 1.0, 0.01);
}

TEST_F(LoopbackTest, SurroundFilesAreRefusedNamingTheirChannelCount)
{
    for (int channels : {4, 6})
    {
        std::vector<uint8_t> file = snd_test::MakeTone(snd_test::WAV16, 44100, channels, 4410);
        EXPECT_EQ(SND_OpenSample(file.data(), static_cast<uint32_t>(file.size())), 0u);
        EXPECT_EQ(SND_ErrorCode, SND_ERROR_FORMAT);
        EXPECT_EQ(std::string(SND_ErrorDetail),
                  std::to_string(channels) + " channels: only mono and stereo sounds play");
        Embedded embedded = Embed(file);
        EXPECT_EQ(SND_OpenStream(MakeReader(&embedded), embedded.myOffset, embedded.myLength), 0u);
        EXPECT_EQ(SND_ErrorCode, SND_ERROR_FORMAT);
        EXPECT_EQ(std::string(SND_ErrorDetail),
                  std::to_string(channels) + " channels: only mono and stereo sounds play");
        EXPECT_EQ(embedded.myCloseCount, 1);
    }
    // A later failure for want of a handle carries no stale detail.
    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 441);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size())), 0u);
    EXPECT_EQ(SND_OpenSample(tone.data(), static_cast<uint32_t>(tone.size())), 0u);
    EXPECT_EQ(SND_ErrorCode, SND_ERROR_NO_HANDLE);
    EXPECT_STREQ(SND_ErrorDetail, "");
}
