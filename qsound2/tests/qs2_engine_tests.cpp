// The engine on OpenAL's null device in real time, and on the loopback
// device where volumes and pans are measured in the rendered mix.
#include "qsound2/qs2_engine.h"
#include "qsound2/tests/qs2_test_qsf.h"
#include "platform/sound/snd_sound.h"
#include "platform/sound/tests/snd_test_files.h"
#include "qcommon/qc_debug.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace
{
std::vector<std::string> ourDebugLines;

class CaptureListener : public QC_DebugListener
{
public:
    void Print(const char* aText) override { ourDebugLines.push_back(aText); }
    void Close() override {}
};

std::string WriteFile(const std::string& aName, const std::vector<uint8_t>& aBytes)
{
    std::string path = qs2_test::WriteTestFile(aName, aBytes);
    EXPECT_FALSE(path.empty()) << aName;
    return path;
}

class EngineTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!QC_Debug::IsInited())
        {
            QC_Debug::Init("", false, false, false, "");
            QC_Debug::AddListener(new CaptureListener);
        }
    }
    void StartEngine(bool aLoopbackFlag, int aSpeakerType = 0)
    {
        QS2_LayerEngine::ourLoopbackFlag = aLoopbackFlag;
        ASSERT_TRUE(QS2_LayerEngine::Create("miles_redist", aSpeakerType));
        myEngine = QS2_Engine::GetGlobal();
        myEngine->SetListener(0.0f, 0.0f, 0.0f, 0.0f);
        ourDebugLines.clear();
    }
    void TearDown() override
    {
        for (QS2_Sound* sound : mySounds)
            myEngine->ReleaseSound(sound);
        for (QS2_SoundTemplate* made : myTemplates)
            made->Release();
        if (myEngine)
        {
            EXPECT_EQ(myEngine->myNumOpenHandles, 0);
            QS2_Engine::ReleaseGlobal();
        }
        EXPECT_EQ(QS2_SoundData::GetFirst(), nullptr);
        EXPECT_EQ(QS2_SoundTemplate::GetFirst(), nullptr);
    }

    QS2_SoundTemplate* Template(const std::vector<std::string>& aFiles, int aMaxChannels = 1,
                                const std::vector<QS2_FalloffPoint>& aPoints = {})
    {
        std::vector<QS2_CreateFileEntry> entries(aFiles.size());
        for (size_t i = 0; i < aFiles.size(); ++i)
            entries[i] = {aFiles[i].c_str(), aPoints.data(), int(aPoints.size())};
        QS2_CreateSoundData data;
        data.myFiles = entries.data();
        data.myNumFiles = int(entries.size());
        data.myMaxNumActiveChannels = aMaxChannels;
        data.myFlags = QS2_FILENAME_VALID | QS2_MAX_CHANNELS_VALID | (aPoints.empty() ? 0u : uint32_t(QS2_3D_SOUND));
        QS2_SoundTemplate* made = QS2_CreateTemplate(data);
        EXPECT_TRUE(made);
        if (made)
            myTemplates.push_back(made);
        return made;
    }
    QS2_Sound* Sound(QS2_SoundTemplate* aTemplate)
    {
        QS2_Sound* sound = myEngine->CreateSound(aTemplate);
        mySounds.push_back(sound);
        return sound;
    }
    // Updates every 10 ms until the sound stops; false after aSeconds.
    bool UpdateUntilStopped(QS2_Sound* aSound, double aSeconds)
    {
        auto start = std::chrono::steady_clock::now();
        while (aSound->IsPlaying())
        {
            if (std::chrono::steady_clock::now() - start > std::chrono::duration<double>(aSeconds))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            myEngine->Update(QS2_GetTime());
        }
        return true;
    }

    QS2_Engine* myEngine = nullptr;
    std::vector<QS2_Sound*> mySounds;
    std::vector<QS2_SoundTemplate*> myTemplates;
};

double LeftEnergy(const std::vector<int16_t>& aMix, bool aRightFlag = false)
{
    double energy = 0.0;
    for (size_t i = aRightFlag ? 1 : 0; i < aMix.size(); i += 2)
        energy += double(aMix[i]) * aMix[i];
    return energy;
}

std::vector<int16_t> RenderFrames(uint32_t aFrames)
{
    std::vector<int16_t> mix(size_t(aFrames) * 2);
    EXPECT_TRUE(SND_RenderLoopback(mix.data(), aFrames));
    return mix;
}
}  // namespace

TEST_F(EngineTest, SpeakerTypesGiveTheChannelCounts)
{
    EXPECT_EQ(QS2_LayerEngine::GetChannelCountForSpeakerType(0), 8);
    EXPECT_EQ(QS2_LayerEngine::GetChannelCountForSpeakerType(1), 12);
    EXPECT_EQ(QS2_LayerEngine::GetChannelCountForSpeakerType(2), 16);
    EXPECT_EQ(QS2_LayerEngine::GetChannelCountForSpeakerType(3), 24);
    EXPECT_EQ(QS2_LayerEngine::GetChannelCountForSpeakerType(4), 8);
    StartEngine(false, 2);
    EXPECT_EQ(SND_GetChannelCount(), 16u);
    EXPECT_EQ(QS2_SoundData::ourPreloadLimit, 307200u);
}

TEST_F(EngineTest, WavMp3AndContainerSoundsPlayEndAndAreReaped)
{
    ASSERT_TRUE(snd_test::CanWrite(snd_test::MP3)) << "this libsndfile cannot encode MP3";
    StartEngine(false);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 8820);
    std::vector<uint8_t> mp3 = snd_test::MakeTone(snd_test::MP3, 44100, 1, 8820);
    std::vector<std::string> files = {
        WriteFile("tone.wav", wav),
        WriteFile("tone.mp3", mp3),
        WriteFile("wav.qsf", qs2_test::SoundQsf(wav, QS2_KIND_WAV, 0.2f)),
        WriteFile("mp3.qsf", qs2_test::SoundQsf(mp3, QS2_KIND_MP3, 0.2f)),
    };
    for (const std::string& file : files)
    {
        QS2_SoundTemplate* made = Template({file});
        ASSERT_TRUE(made) << file;
        QS2_Sound* sound = Sound(made);
        ASSERT_TRUE(sound->Play(false, 0.0f)) << file;
        EXPECT_EQ(made->myCurrentNumActiveChannels, 1);
        EXPECT_EQ(made->myFiles[0].myDefaultRate, 44100u);
        EXPECT_EQ(myEngine->myGlobalActiveSounds.Count(), 1);
        EXPECT_TRUE(UpdateUntilStopped(sound, 5.0)) << file;
        EXPECT_EQ(made->myCurrentNumActiveChannels, 0);
        EXPECT_EQ(myEngine->myGlobalActiveSounds.Count(), 0);
        EXPECT_EQ(myEngine->myNumOpenHandles, 0);
    }
    EXPECT_TRUE(ourDebugLines.empty());
}

TEST_F(EngineTest, StreamOverThePreloadLimitPlaysToItsEnd)
{
    StartEngine(false);
    // 1.75 s of 44.1 kHz stereo: 308,700 bytes of samples.
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 2, 77175);
    ASSERT_GE(wav.size(), 307200u);
    QS2_SoundTemplate* made = Template({WriteFile("long.wav", wav)});
    QS2_Sound* sound = Sound(made);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sound->Play(false, 0.0f));
    EXPECT_TRUE(sound->myChannelData[0].myIsStreamFlag);
    EXPECT_EQ(made->myFiles[0].mySoundData->myFileData, nullptr);
    EXPECT_TRUE(UpdateUntilStopped(sound, 10.0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

TEST_F(EngineTest, NinthChannelOfSpeakerTypeZeroFailsWithTheDebugText)
{
    StartEngine(false, 0);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 44100);
    QS2_SoundTemplate* made = Template({WriteFile("nine.wav", wav)}, 9);
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(Sound(made)->Play(false, 0.0f));
    QS2_Sound* ninth = Sound(made);
    EXPECT_FALSE(ninth->Play(false, 0.0f));
    EXPECT_FALSE(ninth->IsPlaying());
    EXPECT_EQ(made->myCurrentNumActiveChannels, 8);
    ASSERT_EQ(ourDebugLines.size(), 1u);
    EXPECT_EQ(ourDebugLines[0], "QS2_MilesEngine::PlaySample: failed to allocate new sample");
    for (QS2_Sound* sound : mySounds)
        sound->Stop();
    EXPECT_EQ(made->myCurrentNumActiveChannels, 0);
    EXPECT_EQ(myEngine->myNumOpenHandles, 0);
}

// A surround file is refused as a file, not blamed on the channel pool.
TEST_F(EngineTest, SurroundFileFailsNamingItsChannelCount)
{
    StartEngine(false);
    // 26,000 six-channel frames: 312,000 bytes, over the preload limit, so streamed.
    std::string sample = WriteFile("quad.wav", snd_test::MakeTone(snd_test::WAV16, 44100, 4, 4410));
    std::string stream = WriteFile("surround.wav", snd_test::MakeTone(snd_test::WAV16, 44100, 6, 26000));
    for (const std::string& file : {sample, stream})
    {
        QS2_Sound* sound = Sound(Template({file}));
        EXPECT_FALSE(sound->Play(false, 0.0f)) << file;
        EXPECT_FALSE(sound->IsPlaying());
    }
    EXPECT_EQ(ourDebugLines, (std::vector<std::string>{
                                 "QS2_MilesEngine::PlaySample: cannot play " + sample +
                                     ": 4 channels: only mono and stereo sounds play",
                                 "QS2_MilesEngine::PlaySample: cannot play " + stream +
                                     ": 6 channels: only mono and stereo sounds play",
                             }));
    EXPECT_EQ(myEngine->myNumOpenHandles, 0);
}

TEST_F(EngineTest, PlayAtTheChannelMaximumNeitherPlaysNorCounts)
{
    StartEngine(false);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 44100);
    QS2_SoundTemplate* made = Template({WriteFile("max.wav", wav)}, 1);
    QS2_Sound* first = Sound(made);
    QS2_Sound* second = Sound(made);
    EXPECT_TRUE(first->Play(false, 0.0f));
    EXPECT_FALSE(first->Play(false, 0.0f));   // already playing
    EXPECT_FALSE(second->Play(false, 0.0f));
    EXPECT_FALSE(second->IsPlaying());
    EXPECT_EQ(made->myCurrentNumActiveChannels, 1);
    EXPECT_EQ(myEngine->myNumOpenHandles, 1);
    EXPECT_TRUE(ourDebugLines.empty());
}

TEST_F(EngineTest, PausedSoundsWaitForResume)
{
    StartEngine(false);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 4410);
    QS2_Sound* sound = Sound(Template({WriteFile("pause.wav", wav)}));
    ASSERT_TRUE(sound->Play(false, 0.0f));
    myEngine->PauseAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    myEngine->Update(QS2_GetTime());
    EXPECT_TRUE(sound->IsPlaying());
    EXPECT_FALSE(SND_IsFinished(sound->myChannelData[0].myHandle));
    myEngine->ResumeAll();
    EXPECT_TRUE(UpdateUntilStopped(sound, 5.0));
}

TEST_F(EngineTest, FrequencyOutsideTheRangeKeepsTheDefaultRate)
{
    StartEngine(true);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 10000, 1, 10000);
    QS2_SoundTemplate* made = Template({WriteFile("rate.wav", wav)}, 1, {{0.0f, 1.0f}, {100.0f, 1.0f}});
    QS2_Sound* sound = Sound(made);
    sound->myZ = 10.0f;
    sound->myRateFromVelocityFlag = true;
    ASSERT_TRUE(sound->Play(false, 0.0f));
    // 0.025 * v + 1 = 0.0099: 99 Hz of a 10 kHz file.
    sound->myVelocity = -39.604f;
    myEngine->Update(QS2_GetTime());
    EXPECT_EQ(sound->myChannelStates[0].myFrequency, 10000u);
    sound->myVelocity = 40.0f;   // twice the rate
    myEngine->Update(QS2_GetTime());
    EXPECT_EQ(sound->myChannelStates[0].myFrequency, 20000u);
}

TEST_F(EngineTest, FileRateAboveTheRangeIsClamped)
{
    StartEngine(true);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 192000, 1, 19200);
    QS2_SoundTemplate* made = Template({WriteFile("fast.wav", wav)});
    QS2_Sound* sound = Sound(made);
    ASSERT_TRUE(sound->Play(false, 0.0f));
    EXPECT_EQ(made->myFiles[0].myDefaultRate, 100000u);
    EXPECT_EQ(sound->myChannelStates[0].myFrequency, 100000u);
    myEngine->Update(QS2_GetTime());
    RenderFrames(4410);
    EXPECT_TRUE(sound->IsPlaying());
}

TEST_F(EngineTest, PanFalloffAndFadeInAreHeardOnTheLoopbackDevice)
{
    StartEngine(true);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 441000);
    QS2_SoundTemplate* made = Template({WriteFile("loop.wav", wav)}, 1, {{5.0f, 1.0f}, {105.0f, 0.0f}});
    QS2_Sound* sound = Sound(made);
    sound->myZ = 1.0f;
    ASSERT_TRUE(sound->Play(false, 0.0f));

    // Energy of a settled second block at the sound's place.
    auto measure = [&](float anX, float aZ, float aNow) {
        sound->myX = anX;
        sound->myZ = aZ;
        myEngine->Update(aNow);
        RenderFrames(2205);
        return RenderFrames(4410);
    };
    float now = QS2_GetTime();
    std::vector<int16_t> centre = measure(0.0f, 1.0f, now);
    std::vector<int16_t> left = measure(-1.0f, 0.0f, now);
    std::vector<int16_t> right = measure(1.0f, 0.0f, now);
    EXPECT_NEAR(LeftEnergy(centre) / LeftEnergy(centre, true), 1.0, 0.05);
    EXPECT_GT(LeftEnergy(left), 10.0 * LeftEnergy(left, true));
    EXPECT_GT(LeftEnergy(right, true), 10.0 * LeftEnergy(right));

    // Below the first point the first volume holds; then the curve, squared in energy.
    double full = LeftEnergy(centre);
    EXPECT_NEAR(LeftEnergy(measure(0.0f, 3.0f, now)) / full, 1.0, 0.03);
    EXPECT_NEAR(LeftEnergy(measure(0.0f, 55.0f, now)) / full, 0.25, 0.02);
    EXPECT_NEAR(LeftEnergy(measure(0.0f, 80.0f, now)) / full, 0.0625, 0.01);
    EXPECT_LT(LeftEnergy(measure(0.0f, 200.0f, now)) / full, 1e-4);

    sound->Stop();
    sound->myZ = 1.0f;
    ASSERT_TRUE(sound->Play(false, 2.0f));
    EXPECT_NEAR(LeftEnergy(measure(0.0f, 1.0f, sound->myFadeStartTime + 0.5f)) / full, 0.0625, 0.01);
    EXPECT_NEAR(LeftEnergy(measure(0.0f, 1.0f, sound->myFadeStartTime + 1.0f)) / full, 0.25, 0.02);
    EXPECT_NEAR(LeftEnergy(measure(0.0f, 1.0f, sound->myFadeStartTime + 3.0f)) / full, 1.0, 0.03);
    EXPECT_FALSE(sound->myFadingFlag);

    // A fade of 0 seconds ends at once.
    sound->Fade(-0.0f);
    myEngine->Update(QS2_GetTime());
    EXPECT_EQ(sound->myChannelStates[0].myVolume, 0.0f);
    EXPECT_FALSE(sound->myFadingFlag);

    // A group fade whose end is its start ends at once.
    QS2_Group& group = myEngine->myGroups[made->myGroupIndex];
    group.myFadeStartValue = 1.0f;
    group.myFadeTarget = 0.5f;
    group.myFadeStartTime = group.myFadeEndTime = QS2_GetTime() + 100.0f;
    myEngine->Update(QS2_GetTime());
    EXPECT_EQ(group.myVolume, 0.5f);
    EXPECT_EQ(group.myFadeEndTime, -1.0f);
}

TEST_F(EngineTest, LoopingPositionalSoundsCompeteByDistance)
{
    StartEngine(true);
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 4410);
    QS2_SoundTemplate* made = Template({WriteFile("compete.wav", wav)}, 1, {{0.0f, 1.0f}, {100.0f, 0.0f}});
    QS2_Sound* near = Sound(made);
    QS2_Sound* far = Sound(made);
    near->myZ = 10.0f;
    far->myZ = 50.0f;
    // Looping positional sounds take channels in Update.
    ASSERT_TRUE(near->Play(true, 0.0f));
    ASSERT_TRUE(far->Play(true, 0.0f));
    EXPECT_EQ(myEngine->myNumOpenHandles, 0);
    myEngine->Update(QS2_GetTime());
    EXPECT_TRUE(near->myActiveFlag);
    EXPECT_FALSE(far->myActiveFlag);
    EXPECT_EQ(made->myCurrentNumActiveChannels, 1);
    near->myZ = 80.0f;
    myEngine->Update(QS2_GetTime());
    EXPECT_FALSE(near->myActiveFlag);
    EXPECT_TRUE(far->myActiveFlag);
    EXPECT_EQ(made->myCurrentNumActiveChannels, 1);
    EXPECT_EQ(myEngine->myNumOpenHandles, 1);
    EXPECT_EQ(myEngine->myActive3DSounds.Count(), 1);
    far->Stop();
    near->Stop();
    EXPECT_EQ(made->myCurrentNumActiveChannels, 0);
    EXPECT_EQ(myEngine->my3DSounds.Count(), 0);
}
