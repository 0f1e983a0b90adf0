// The renderer build's file object: the input is a file on disk, opened in
// each reading mode (plain, scrambled, compressed, both, mapped, byte-swapped)
// and read through every reader of the object, and opened for writing.
#include <cstdint>

#include "fuzz_util.h"
#include "qfile/render/qf_file.h"

static void locReadAll(QF_File& aFile)
{
    char locText[64];
    uint16_t locWide[64];
    uint32_t locWord;
    const uint32_t locSize = aFile.GetSize();
    // Each reader in turn from the start, until it reaches the end (bounded, as
    // a reader that makes no progress must not hang the target).
    for (int locReader = 0; locReader < 6; locReader++)
    {
        aFile.Seek(0, 0);
        for (int i = 0; i < 4096 && aFile.GetPos() < locSize; i++)
        {
            switch (locReader)
            {
            case 0: aFile.ReadLine(locText, sizeof(locText)); break;
            case 1: aFile.ReadRawLine(locText, sizeof(locText)); break;
            case 2: aFile.ReadWord(locText, sizeof(locText)); break;
            case 3: aFile.ReadWideLine(locWide, 64); break;
            case 4: aFile.ReadString(locText, sizeof(locText)); break;
            default:
                if (!aFile.ReadU32(&locWord))
                    aFile.ReadChar();
                break;
            }
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const std::string locPath = FuzzScratch::Write("fuzz.bin", aData, aSize);
    FuzzScratch::Inside locInside;
    static const uint32_t ourModes[] = {
        QF_READ,
        QF_READ | QF_SCRAMBLED,
        QF_READ | QF_COMPRESSED,
        QF_READ | QF_SCRAMBLED | QF_COMPRESSED,
        QF_READ | QF_MAPPED,
        QF_READ | QF_MAPPED | QF_COMPRESSED,
        QF_READ | QF_SWAP_BYTES,
        // Write mode loads the stored contents too; Close writes them back unchanged.
        QF_WRITE | QF_SCRAMBLED | QF_COMPRESSED,
    };
    for (uint32_t locMode : ourModes)
    {
        QF_File locFile;
        if (locFile.Open(locPath.c_str(), locMode))
        {
            if (locMode & QF_READ)
                locReadAll(locFile);
            locFile.Close();
        }
    }
    return 0;
}
