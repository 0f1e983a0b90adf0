// Helpers shared by the fuzz targets: a private scratch folder for readers
// that only take a path, and a reader of small numbers off the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <unistd.h>

// A folder of its own under /dev/shm (memory) or TMPDIR, removed at exit.
// Readers run inside it (FuzzScratch::Inside), so that relative names in the
// input stay in it; the working directory is given back after each input, as
// libFuzzer resolves its corpus and artifact paths against it.
class FuzzScratch
{
public:
    static const std::string& Get()
    {
        static FuzzScratch ourScratch;
        return ourScratch.myPath;
    }

    // Writes aSize bytes as aName inside the scratch folder; returns the full path.
    static std::string Write(const char* aName, const void* aData, size_t aSize)
    {
        std::string locPath = Get() + "/" + aName;
        FILE* locFile = fopen(locPath.c_str(), "wb");
        if (!locFile)
            abort();
        if (aSize && fwrite(aData, 1, aSize, locFile) != aSize)
            abort();
        fclose(locFile);
        return locPath;
    }

    // The scratch folder is the working directory while this lives.
    class Inside
    {
    public:
        Inside()
        {
            if (!getcwd(myOldPath, sizeof(myOldPath)) || chdir(Get().c_str()) != 0)
                abort();
        }
        ~Inside()
        {
            if (chdir(myOldPath) != 0)
                abort();
        }

    private:
        char myOldPath[4096];
    };

private:
    FuzzScratch()
    {
        const char* locBase = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : getenv("TMPDIR");
        std::string locTemplate = std::string(locBase ? locBase : "/tmp") + "/qfuzz.XXXXXX";
        if (!mkdtemp(locTemplate.data()))
            abort();
        myPath = locTemplate;
    }
    ~FuzzScratch() { RemoveTree(myPath); }
    static void RemoveTree(const std::string& aPath)
    {
        if (DIR* locDir = opendir(aPath.c_str()))
        {
            while (dirent* locEntry = readdir(locDir))
            {
                if (!strcmp(locEntry->d_name, ".") || !strcmp(locEntry->d_name, ".."))
                    continue;
                std::string locChild = aPath + "/" + locEntry->d_name;
                if (unlink(locChild.c_str()) != 0)
                    RemoveTree(locChild);
            }
            closedir(locDir);
        }
        rmdir(aPath.c_str());
    }

    std::string myPath;
};

// Takes little-endian numbers off the front of the input; zeros when it runs out.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* aData, size_t aSize) : myData(aData), mySize(aSize) {}

    uint8_t TakeByte() { return mySize ? (--mySize, *myData++) : 0; }
    uint32_t TakeU32()
    {
        uint32_t locValue = 0;
        for (int i = 0; i < 4; i++)
            locValue |= uint32_t(TakeByte()) << (8 * i);
        return locValue;
    }
    const uint8_t* GetData() const { return myData; }
    size_t GetSize() const { return mySize; }

private:
    const uint8_t* myData;
    size_t mySize;
};
