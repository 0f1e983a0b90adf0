// Writes one seed file into <corpus>/<target>/, making the target's folder;
// the seed generators exit with 1 when a seed cannot be written.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline void WriteSeed(const std::string& aCorpus, const char* aTarget, const char* aName, const void* aData,
                      size_t aSize)
{
    std::string locFolder = aCorpus + "/" + aTarget;
    mkdir(locFolder.c_str(), 0755);
    std::string locPath = locFolder + "/" + aName;
    FILE* locFile = fopen(locPath.c_str(), "wb");
    if (!locFile || (aSize && fwrite(aData, 1, aSize, locFile) != aSize) || fclose(locFile) != 0)
        exit(1);
}
