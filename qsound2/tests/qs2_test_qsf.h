// A small ".qsf" container writer for the tests and the fuzz seeds, and test files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace qs2_test
{
struct Chunk
{
    std::string myId;             // four characters
    std::vector<uint8_t> myBody;  // written after the size
    int64_t mySize = -1;          // -1: the body's size; else written as given (damaged files)
};

inline void PutU32(std::vector<uint8_t>* aBytes, uint32_t aValue)
{
    for (int i = 0; i < 4; ++i)
        aBytes->push_back(uint8_t(aValue >> (8 * i)));
}

inline std::vector<uint8_t> Word(uint32_t aValue, const std::vector<uint8_t>& aRest = {})
{
    std::vector<uint8_t> bytes;
    PutU32(&bytes, aValue);
    bytes.insert(bytes.end(), aRest.begin(), aRest.end());
    return bytes;
}

inline std::vector<uint8_t> Float(float aValue)
{
    uint32_t word;
    memcpy(&word, &aValue, 4);
    return Word(word);
}

// aCount -1: the number of chunks.
inline std::vector<uint8_t> WriteQsf(const std::vector<Chunk>& aChunks, int64_t aCount = -1)
{
    std::vector<uint8_t> bytes = {'Q', 'S', 0x01, 0x00};
    PutU32(&bytes, uint32_t(aCount < 0 ? aChunks.size() : aCount));
    for (const Chunk& chunk : aChunks)
    {
        bytes.insert(bytes.end(), chunk.myId.begin(), chunk.myId.end());
        PutU32(&bytes, uint32_t(chunk.mySize < 0 ? chunk.myBody.size() : chunk.mySize));
        bytes.insert(bytes.end(), chunk.myBody.begin(), chunk.myBody.end());
    }
    return bytes;
}

// A container of a sound: "LEN ", "AMP " and "SND " with the format word.
inline std::vector<uint8_t> SoundQsf(const std::vector<uint8_t>& aSound, uint32_t aKind, float aLength,
                                     const std::vector<uint8_t>& anAmplitude = {1, 2, 3, 4, 5})
{
    return WriteQsf({{"LEN ", Float(aLength)}, {"AMP ", Word(7, anAmplitude)}, {"SND ", Word(aKind, aSound)}});
}
#ifdef Q_TEST_TMP_DIR
// Writes the bytes to a file of the test's folder and answers its path ("" on failure).
inline std::string WriteTestFile(const std::string& aName, const std::vector<uint8_t>& aBytes)
{
    std::filesystem::create_directories(Q_TEST_TMP_DIR);
    std::string path = std::string(Q_TEST_TMP_DIR) + "/" + aName;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return "";
    bool written = fwrite(aBytes.data(), 1, aBytes.size(), file) == aBytes.size();
    return fclose(file) == 0 && written ? path : "";
}
#endif
}  // namespace qs2_test
