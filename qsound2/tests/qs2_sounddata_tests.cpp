// Sound data, containers and templates over real files written by the tests.
#include "qsound2/qs2_sounddata.h"
#include "qsound2/tests/qs2_test_qsf.h"
#include "platform/sound/tests/snd_test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{
std::string TmpPath(const std::string& aName)
{
    std::filesystem::create_directories(Q_TEST_TMP_DIR);
    return std::string(Q_TEST_TMP_DIR) + "/" + aName;
}

std::string WriteFile(const std::string& aName, const std::vector<uint8_t>& aBytes)
{
    std::string path = qs2_test::WriteTestFile(aName, aBytes);
    EXPECT_FALSE(path.empty()) << aName;
    return path;
}

int CountSoundData()
{
    int count = 0;
    for (QS2_SoundData* data = QS2_SoundData::GetFirst(); data; data = data->myNext)
        ++count;
    return count;
}

class SoundDataTest : public ::testing::Test
{
protected:
    void SetUp() override { QS2_SoundData::ourPreloadLimit = 307200; }
    void TearDown() override
    {
        EXPECT_EQ(QS2_SoundData::GetFirst(), nullptr) << "sound data left behind";
        EXPECT_EQ(QS2_SoundTemplate::GetFirst(), nullptr) << "template left behind";
        EXPECT_EQ(QS2_SoundData::GetTotalBytes(), 0u);
    }
    QS2_GroupArray myGroups;
    void InitGroups() { myGroups.Init(4, 4, false); }
};
}  // namespace

TEST_F(SoundDataTest, LengthsComeFromTheFileSizes)
{
    size_t header = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 1).size() - 2;
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, int((88200 - header) / 2));
    ASSERT_EQ(wav.size(), 88200u);
    QS2_SoundData* data = QS2_SoundData::Get(WriteFile("second.wav", wav).c_str());
    ASSERT_TRUE(data);
    EXPECT_FLOAT_EQ(data->myLength, 1.0f);
    EXPECT_EQ(data->myKind, QS2_KIND_WAV);
    ASSERT_TRUE(data->myFileData);
    EXPECT_EQ(memcmp(data->myFileData, wav.data(), wav.size()), 0);

    ASSERT_TRUE(snd_test::CanWrite(snd_test::MP3)) << "this libsndfile cannot encode MP3";
    std::vector<uint8_t> mp3 = snd_test::MakeTone(snd_test::MP3, 44100, 1, 4410);
    ASSERT_LT(mp3.size(), 16000u);
    mp3.resize(16000, 0);
    QS2_SoundData* mp3Data = QS2_SoundData::Get(WriteFile("second.MP3", mp3).c_str());
    ASSERT_TRUE(mp3Data);
    EXPECT_FLOAT_EQ(mp3Data->myLength, 1.0f);
    EXPECT_EQ(mp3Data->myKind, QS2_KIND_MP3);
    // Newest first.
    EXPECT_EQ(QS2_SoundData::GetFirst(), mp3Data);
    EXPECT_EQ(mp3Data->myNext, data);
    data->Release();
    mp3Data->Release();
}

TEST_F(SoundDataTest, PreloadLimitSplitsMemoryFromStreaming)
{
    std::vector<uint8_t> bytes(307200, 0x11);
    QS2_SoundData* streamed = QS2_SoundData::Get(WriteFile("big.wav", bytes).c_str());
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->myFileData, nullptr);
    EXPECT_EQ(streamed->mySoundSize, 307200u);
    EXPECT_EQ(QS2_SoundData::GetTotalBytes(), 0u);

    bytes.pop_back();
    QS2_SoundData* held = QS2_SoundData::Get(WriteFile("small.wav", bytes).c_str());
    ASSERT_TRUE(held);
    EXPECT_NE(held->myFileData, nullptr);
    EXPECT_EQ(QS2_SoundData::GetTotalBytes(), 307199u);
    held->Release();
    EXPECT_EQ(QS2_SoundData::GetTotalBytes(), 0u);
    streamed->Release();
}

TEST_F(SoundDataTest, SharedByNameWithoutRegardToCase)
{
    std::string path = WriteFile("Shared.wav", std::vector<uint8_t>(100, 1));
    QS2_SoundData* first = QS2_SoundData::Get(path.c_str());
    std::string upper = path.substr(0, path.size() - 10) + "SHARED.WAV";
    QS2_SoundData* second = QS2_SoundData::Get(upper.c_str());
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->myRefCount, 2);
    EXPECT_EQ(CountSoundData(), 1);
    first->Release();
    EXPECT_EQ(CountSoundData(), 1);
    second->Release();

    EXPECT_EQ(QS2_SoundData::Get(TmpPath("absent.wav").c_str()), nullptr);
    EXPECT_EQ(QS2_ErrorCode, QS2_ERROR_OPEN);
    EXPECT_EQ(QS2_SoundData::Get(WriteFile("tone.ogg", {1, 2, 3}).c_str()), nullptr);
    EXPECT_EQ(QS2_ErrorCode, QS2_ERROR_EXTENSION);
    EXPECT_EQ(CountSoundData(), 0);
}

TEST_F(SoundDataTest, ContainerChunksAreRead)
{
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 441);
    std::vector<uint8_t> qsf = qs2_test::SoundQsf(wav, QS2_KIND_WAV, 0.01f);
    QS2_SoundData* data = QS2_SoundData::Get(WriteFile("held.qsf", qsf).c_str());
    ASSERT_TRUE(data);
    EXPECT_FLOAT_EQ(data->myLength, 0.01f);
    EXPECT_EQ(data->myAmplitudeWord, 7u);
    ASSERT_EQ(data->myAmplitudeSize, 5u);
    EXPECT_EQ(data->myAmplitudeData[4], 5);
    EXPECT_EQ(data->myFileDataOffset, qsf.size() - wav.size());
    ASSERT_EQ(data->myFileDataSize, wav.size());
    EXPECT_EQ(memcmp(data->myFileData, wav.data(), wav.size()), 0);
    EXPECT_EQ(QS2_SoundData::GetTotalBytes(), wav.size() + 5);
    data->Release();

    // Streamed: reading stops at the sound bytes, whatever follows them.
    std::vector<uint8_t> big(400000, 0x22);
    std::vector<uint8_t> streamedFile =
        qs2_test::WriteQsf({{"XTRA", {9, 9, 9}}, {"SND ", qs2_test::Word(QS2_KIND_MP3, big)}, {"LEN ", {1}}});
    QS2_SoundData* streamed = QS2_SoundData::Get(WriteFile("streamed.qsf", streamedFile).c_str());
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->myKind, QS2_KIND_MP3);
    EXPECT_EQ(streamed->myFileData, nullptr);
    EXPECT_EQ(streamed->mySoundSize, big.size());
    EXPECT_EQ(streamed->myFileDataOffset, 8u + 8 + 3 + 8 + 4);
    streamed->Release();
}

TEST_F(SoundDataTest, DamagedContainersAreRefused)
{
    std::vector<uint8_t> sound(64, 0x33);
    std::vector<uint8_t> good = qs2_test::SoundQsf(sound, 0, 1.0f);
    std::vector<uint8_t> badMagic = good;
    badMagic[2] = 2;
    std::vector<uint8_t> cut(good.begin(), good.end() - 1);
    struct Case
    {
        const char* myName;
        std::vector<uint8_t> myBytes;
    } cases[] = {
        {"magic", badMagic},
        {"cut", cut},
        {"header only", {'Q', 'S', 1, 0}},
        {"count beyond the bytes", qs2_test::WriteQsf({{"SND ", qs2_test::Word(0, sound)}}, 1000000)},
        {"chunk beyond the end", qs2_test::WriteQsf({{"SND ", qs2_test::Word(0, sound), 0x7fffffff}})},
        {"skipped chunk beyond the end", qs2_test::WriteQsf({{"ABCD", {1, 2}, 100}, {"SND ", qs2_test::Word(0, sound)}})},
        {"LEN of 8", qs2_test::WriteQsf({{"LEN ", {0, 0, 0, 0, 0, 0, 0, 0}}, {"SND ", qs2_test::Word(0, sound)}})},
        {"LEN not a number", qs2_test::WriteQsf({{"LEN ", {0, 0, 0xC0, 0x7F}}, {"SND ", qs2_test::Word(0, sound)}})},
        {"AMP below 4", qs2_test::WriteQsf({{"AMP ", {1, 2}}, {"SND ", qs2_test::Word(0, sound)}})},
        {"SND below 4", qs2_test::WriteQsf({{"SND ", {1, 2, 3}}})},
        {"SND below 4, more behind", qs2_test::WriteQsf({{"SND ", {1, 2, 3}}, {"SND ", qs2_test::Word(0, sound)}})},
        {"AMP of 3", qs2_test::WriteQsf({{"AMP ", {1, 2, 3}}, {"SND ", qs2_test::Word(0, sound)}})},
        {"empty SND, then another", qs2_test::WriteQsf({{"SND ", qs2_test::Word(0)}, {"SND ", qs2_test::Word(0, sound)}})},
        {"two SND", qs2_test::WriteQsf({{"SND ", qs2_test::Word(0, sound)}, {"SND ", qs2_test::Word(0, sound)}})},
        {"empty SND", qs2_test::WriteQsf({{"SND ", qs2_test::Word(0)}})},
        {"no SND", qs2_test::WriteQsf({{"LEN ", qs2_test::Float(1.0f)}})},
    };
    int index = 0;
    for (const Case& c : cases)
    {
        std::string path = WriteFile("damaged" + std::to_string(index++) + ".qsf", c.myBytes);
        QS2_ErrorCode = QS2_ERROR_NONE;
        EXPECT_EQ(QS2_SoundData::Get(path.c_str()), nullptr) << c.myName;
        EXPECT_NE(QS2_ErrorCode, QS2_ERROR_NONE) << c.myName;
    }
    EXPECT_EQ(CountSoundData(), 0);
    QS2_SoundData* data = QS2_SoundData::Get(WriteFile("good.qsf", good).c_str());
    EXPECT_TRUE(data);
    if (data)
        data->Release();

    // A streamed "SND " chunk is not read, but its size must still fit the file.
    std::vector<uint8_t> longer = qs2_test::WriteQsf({{"SND ", qs2_test::Word(0, sound), int64_t(4 + sound.size() + 10)}});
    QS2_SoundData::ourPreloadLimit = 16;
    EXPECT_EQ(QS2_SoundData::Get(WriteFile("longer.qsf", longer).c_str()), nullptr);
    // A chunk count the bytes cannot hold is refused before a streamed chunk ends the reading.
    std::vector<uint8_t> counted = qs2_test::WriteQsf({{"SND ", qs2_test::Word(0, sound)}}, 10);
    EXPECT_EQ(QS2_SoundData::Get(WriteFile("counted.qsf", counted).c_str()), nullptr);
    QS2_SoundData::ourPreloadLimit = 307200;
}

TEST_F(SoundDataTest, ContainerSoundOfExactlyThePreloadLimitIsStreamed)
{
    QS2_SoundData::ourPreloadLimit = 16;
    std::vector<uint8_t> sixteen(16, 7);
    QS2_SoundData* streamed = QS2_SoundData::Get(WriteFile("sixteen.qsf", qs2_test::SoundQsf(sixteen, 0, 0.0f)).c_str());
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->myFileData, nullptr);
    EXPECT_EQ(streamed->myLength, 0.0f);
    sixteen.pop_back();
    QS2_SoundData* held = QS2_SoundData::Get(WriteFile("fifteen.qsf", qs2_test::SoundQsf(sixteen, 0, 0.0f)).c_str());
    ASSERT_TRUE(held);
    EXPECT_NE(held->myFileData, nullptr);
    streamed->Release();
    held->Release();
}

TEST_F(SoundDataTest, LaterAmplitudeChunkReplacesTheEarlier)
{
    std::vector<uint8_t> qsf = qs2_test::WriteQsf(
        {{"AMP ", qs2_test::Word(1, {1, 2, 3})}, {"AMP ", qs2_test::Word(2, {9})}, {"SND ", qs2_test::Word(0, {1, 2})}});
    QS2_SoundData* data = QS2_SoundData::Get(WriteFile("twoamp.qsf", qsf).c_str());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->myAmplitudeWord, 2u);
    ASSERT_EQ(data->myAmplitudeSize, 1u);
    EXPECT_EQ(data->myAmplitudeData[0], 9);
    EXPECT_EQ(QS2_SoundData::GetTotalBytes(), 1u + 2u);
    data->Release();
}

TEST_F(SoundDataTest, AmplitudeChunkOfOnlyItsWordHoldsNoData)
{
    std::vector<uint8_t> qsf = qs2_test::WriteQsf({{"AMP ", qs2_test::Word(3)}, {"SND ", qs2_test::Word(0, {1, 2})}});
    QS2_SoundData* data = QS2_SoundData::Get(WriteFile("wordonly.qsf", qsf).c_str());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->myAmplitudeWord, 3u);
    EXPECT_EQ(data->myAmplitudeData, nullptr);
    EXPECT_EQ(data->myAmplitudeSize, 0u);
    data->Release();
}

TEST_F(SoundDataTest, TemplatesShareOnlyTheSameFilesInOrderWithTheSamePoints)
{
    InitGroups();
    std::string a = WriteFile("a.wav", std::vector<uint8_t>(100, 1));
    std::string b = WriteFile("b.wav", std::vector<uint8_t>(200, 2));
    QS2_FalloffPoint points[2] = {{0.0f, 1.5f}, {100.0f, -0.5f}};
    QS2_CreateFileEntry ab[2] = {{a.c_str(), points, 2}, {b.c_str(), points, 2}};
    QS2_CreateFileEntry ba[2] = {{b.c_str(), points, 2}, {a.c_str(), points, 2}};
    QS2_CreateSoundData data;
    data.myFiles = ab;
    data.myNumFiles = 2;
    data.myFlags = QS2_FILENAME_VALID | QS2_3D_SOUND;
    QS2_SoundTemplate* first = QS2_SoundTemplate::Create(data, myGroups);
    ASSERT_TRUE(first);
    // The default group is made with the id "QS2 ".
    ASSERT_EQ(myGroups.Count(), 1);
    EXPECT_EQ(myGroups[0].myId, 0x20325351u);
    EXPECT_EQ(first->myMaxNumActiveChannels, 1);
    EXPECT_FLOAT_EQ(first->myFiles[0].myPoints[0].y, 1.0f);
    EXPECT_FLOAT_EQ(first->myFiles[0].myPoints[1].y, 0.0f);
    EXPECT_FLOAT_EQ(first->myRange, 100.0f);

    data.myFlags |= QS2_MAX_CHANNELS_VALID;
    data.myMaxNumActiveChannels = 3;
    QS2_SoundTemplate* same = QS2_SoundTemplate::Create(data, myGroups);
    EXPECT_EQ(same, first);
    EXPECT_EQ(first->myRefCount, 2);
    EXPECT_EQ(first->myMaxNumActiveChannels, 3);

    data.myFiles = ba;
    QS2_SoundTemplate* reordered = QS2_SoundTemplate::Create(data, myGroups);
    EXPECT_NE(reordered, first);

    QS2_FalloffPoint moved[2] = {{0.0f, 1.0f}, {50.0f, 0.0f}};
    QS2_CreateFileEntry abMoved[2] = {{a.c_str(), points, 2}, {b.c_str(), moved, 2}};
    data.myFiles = abMoved;
    QS2_SoundTemplate* otherCurve = QS2_SoundTemplate::Create(data, myGroups);
    EXPECT_NE(otherCurve, first);
    EXPECT_NE(otherCurve, reordered);

    data.myFiles = ab;
    data.myFlags |= QS2_GROUP_VALID;
    data.myGroupId = 77;
    QS2_SoundTemplate* otherGroup = QS2_SoundTemplate::Create(data, myGroups);
    EXPECT_NE(otherGroup, first);
    ASSERT_EQ(myGroups.Count(), 2);
    EXPECT_EQ(otherGroup->myGroupIndex, 1);
    EXPECT_EQ(myGroups[1].myFadeEndTime, -1.0f);

    // The files are shared by every template.
    EXPECT_EQ(CountSoundData(), 2);
    QS2_CreateFileEntry missing[2] = {{a.c_str(), points, 2}, {"absent.wav", points, 2}};
    data.myFiles = missing;
    EXPECT_EQ(QS2_SoundTemplate::Create(data, myGroups), nullptr);
    EXPECT_EQ(CountSoundData(), 2);
    EXPECT_EQ(QS2_SoundData::GetFirst()->myRefCount + QS2_SoundData::GetFirst()->myNext->myRefCount, 8);

    for (QS2_SoundTemplate* made : {first, same, reordered, otherCurve, otherGroup})
        made->Release();
}

TEST_F(SoundDataTest, FalloffHoldsItsEndsAndTakesTheLaterOfTwoPointsAtOneDistance)
{
    InitGroups();
    std::string a = WriteFile("curve.wav", std::vector<uint8_t>(100, 1));
    QS2_FalloffPoint points[4] = {{50.0f, 0.8f}, {100.0f, 0.4f}, {100.0f, 0.2f}, {200.0f, 0.0f}};
    QS2_CreateFileEntry entry = {a.c_str(), points, 4};
    QS2_CreateSoundData data;
    data.myFiles = &entry;
    data.myNumFiles = 1;
    data.myFlags = QS2_FILENAME_VALID | QS2_3D_SOUND;
    QS2_SoundTemplate* made = QS2_SoundTemplate::Create(data, myGroups);
    ASSERT_TRUE(made);
    EXPECT_FLOAT_EQ(made->GetFalloffVolume(0, 10.0f), 0.8f);
    EXPECT_FLOAT_EQ(made->GetFalloffVolume(0, 75.0f), 0.6f);
    EXPECT_FLOAT_EQ(made->GetFalloffVolume(0, 100.0f), 0.2f);
    EXPECT_FLOAT_EQ(made->GetFalloffVolume(0, 150.0f), 0.1f);
    EXPECT_FLOAT_EQ(made->GetFalloffVolume(0, 1000.0f), 0.0f);
    made->Release();
}

// Writes the fuzz seeds when Q_QSF_SEED_DIR names a folder.
TEST_F(SoundDataTest, WritesFuzzSeedsOnRequest)
{
    const char* folder = getenv("Q_QSF_SEED_DIR");
    if (!folder)
        GTEST_SKIP();
    std::vector<uint8_t> wav = snd_test::MakeTone(snd_test::WAV16, 8000, 1, 64);
    std::vector<std::vector<uint8_t>> seeds = {
        qs2_test::SoundQsf(wav, QS2_KIND_WAV, 0.5f),
        qs2_test::WriteQsf({{"SND ", qs2_test::Word(QS2_KIND_MP3, {1, 2, 3, 4, 5, 6, 7, 8})}}),
        qs2_test::WriteQsf({{"XTRA", {1}}, {"AMP ", qs2_test::Word(1)}, {"LEN ", qs2_test::Float(2.0f)},
                            {"SND ", qs2_test::Word(0, {9, 9})}}),
    };
    for (size_t i = 0; i < seeds.size(); ++i)
    {
        std::string path = std::string(folder) + "/seed" + std::to_string(i) + ".qsf";
        FILE* file = fopen(path.c_str(), "wb");
        ASSERT_TRUE(file);
        fwrite(seeds[i].data(), 1, seeds[i].size(), file);
        fclose(file);
    }
}
