// Files for the renderer build's file tests, written and read byte by byte.
#pragma once

#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <vector>

inline std::string QF_TestPath(const char* aName)
{
    mkdir(Q_TEST_TMP_DIR, 0755);
    return std::string(Q_TEST_TMP_DIR) + "/" + aName;
}

inline void QF_TestWriteFile(const std::string& aPath, const std::vector<uint8_t>& aBytes)
{
    FILE* locFile = fopen(aPath.c_str(), "wb");
    if (!aBytes.empty())
        fwrite(aBytes.data(), 1, aBytes.size(), locFile);
    fclose(locFile);
}

inline std::vector<uint8_t> QF_TestReadFile(const std::string& aPath)
{
    std::vector<uint8_t> locBytes;
    FILE* locFile = fopen(aPath.c_str(), "rb");
    if (!locFile)
        return locBytes;
    int c;
    while ((c = fgetc(locFile)) != EOF)
        locBytes.push_back((uint8_t)c);
    fclose(locFile);
    return locBytes;
}

inline std::vector<uint8_t> QF_TestBytes(const std::string& aText)
{
    return std::vector<uint8_t>(aText.begin(), aText.end());
}
