// Sound figures: decoding WAV and MP3 through the sound layer's windowed
// virtual I/O against libsndfile's own sf_open on the same files, and the
// cost of one engine Update with 256 positional sounds on the loopback device.
#include "bench/bench_args.h"
#include "platform/sound/snd_decode_local.h"
#include "platform/sound/tests/snd_test_files.h"
#include "qsound2/qs2_engine.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
double Seconds(std::chrono::steady_clock::time_point aStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

uint32_t FileRead(void* aUser, void* aDestination, uint32_t aCount)
{
    return uint32_t(fread(aDestination, 1, aCount, static_cast<FILE*>(aUser)));
}
bool FileSeek(void* aUser, uint64_t aPosition)
{
    return fseek(static_cast<FILE*>(aUser), long(aPosition), SEEK_SET) == 0;
}
uint64_t FileSize(void* aUser)
{
    FILE* file = static_cast<FILE*>(aUser);
    long position = ftell(file);
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, position, SEEK_SET);
    return uint64_t(size);
}
void FileClose(void* aUser)
{
    fclose(static_cast<FILE*>(aUser));
}

uint64_t DecodeLayer(const std::string& aPath)
{
    SND_Reader reader;
    reader.myUser = fopen(aPath.c_str(), "rb");
    reader.myRead = FileRead;
    reader.mySeek = FileSeek;
    reader.mySize = FileSize;
    reader.myClose = FileClose;
    SND_Decoder decoder;
    if (!reader.myUser || !decoder.Open(reader, 0, 0))
        return 0;
    std::vector<int16_t> frames(8192 * 2);
    uint64_t total = 0;
    while (uint32_t got = decoder.Read(frames.data(), 8192))
        total += got;
    return total;
}

uint64_t DecodeBaseline(const std::string& aPath)
{
    SF_INFO info = {};
    SNDFILE* file = sf_open(aPath.c_str(), SFM_READ, &info);
    if (!file)
        return 0;
    std::vector<short> frames(8192 * 2);
    uint64_t total = 0;
    while (sf_count_t got = sf_readf_short(file, frames.data(), 8192))
        total += uint64_t(got);
    sf_close(file);
    return total;
}

void BenchDecode(const char* aName, const std::vector<uint8_t>& aBytes, int aRounds)
{
    std::string path = "/tmp/sound_bench_" + std::string(aName);
    FILE* file = fopen(path.c_str(), "wb");
    fwrite(aBytes.data(), 1, aBytes.size(), file);
    fclose(file);
    double megabytes = double(aBytes.size()) * aRounds / 1e6;
    auto start = std::chrono::steady_clock::now();
    uint64_t baselineFrames = 0;
    for (int i = 0; i < aRounds; ++i)
        baselineFrames += DecodeBaseline(path);
    double baseline = Seconds(start);
    start = std::chrono::steady_clock::now();
    uint64_t layerFrames = 0;
    for (int i = 0; i < aRounds; ++i)
        layerFrames += DecodeLayer(path);
    double layer = Seconds(start);
    printf("decode %-4s %8.1f MB/s windowed virtual I/O, baseline sf_open %8.1f MB/s, ratio %.2f%s\n", aName,
           megabytes / layer, megabytes / baseline, baseline / layer,
           layerFrames == baselineFrames ? "" : " (frame counts differ!)");
    remove(path.c_str());
}
}  // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: sound_bench\n");
    locArgs.Operands(0, 0);
    // 10 s of 44.1 kHz stereo WAV; 10 s of mono MP3.
    BenchDecode("wav", snd_test::MakeTone(snd_test::WAV16, 44100, 2, 441000), 20);
    if (snd_test::CanWrite(snd_test::MP3))
        BenchDecode("mp3", snd_test::MakeTone(snd_test::MP3, 44100, 1, 441000), 3);
    else
        printf("decode mp3: this libsndfile cannot encode MP3\n");

    QS2_LayerEngine::ourLoopbackFlag = true;
    if (!QS2_LayerEngine::Create("miles_redist", 3))
    {
        printf("update: no loopback device\n");
        return 1;
    }
    QS2_Engine* engine = QS2_Engine::GetGlobal();
    std::string path = "/tmp/sound_bench_update.wav";
    std::vector<uint8_t> tone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 4410);
    FILE* file = fopen(path.c_str(), "wb");
    fwrite(tone.data(), 1, tone.size(), file);
    fclose(file);
    QS2_FalloffPoint points[3] = {{0.0f, 1.0f}, {50.0f, 0.5f}, {200.0f, 0.0f}};
    QS2_CreateFileEntry entry = {path.c_str(), points, 3};
    QS2_CreateSoundData data;
    data.myFiles = &entry;
    data.myNumFiles = 1;
    data.myMaxNumActiveChannels = 24;
    data.myFlags = QS2_FILENAME_VALID | QS2_MAX_CHANNELS_VALID | QS2_3D_SOUND;
    QS2_SoundTemplate* made = QS2_CreateTemplate(data);
    std::vector<QS2_Sound*> sounds;
    for (int i = 0; i < 256; ++i)
    {
        QS2_Sound* sound = engine->CreateSound(made);
        sound->myX = float(i % 16) * 12.0f - 90.0f;
        sound->myZ = float(i / 16) * 12.0f - 90.0f;
        sound->Play(true, 0.0f);
        sounds.push_back(sound);
    }
    const int updates = 2000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < updates; ++i)
    {
        engine->SetListener(float(i % 100) - 50.0f, 0.0f, 0.0f, float(i) * 0.01f);
        engine->Update(QS2_GetTime());
    }
    double seconds = Seconds(start);
    printf("update with 256 positional sounds (24 channels): %.1f us per Update\n", seconds / updates * 1e6);
    for (QS2_Sound* sound : sounds)
        engine->ReleaseSound(sound);
    made->Release();
    QS2_Engine::ReleaseGlobal();
    remove(path.c_str());
    return 0;
}
