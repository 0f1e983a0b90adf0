// The ".qsf" sound container reader: the input is a container, read from a
// file object in memory in either byte order, with the sound bytes held in
// memory or streamed.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "qfile/qf_file.h"
#include "qsound2/qs2_sounddata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize > (1u << 20))
        return 0;
    for (int pass = 0; pass < 2; ++pass)
    {
        QF_File file;
        file.myBuffer = static_cast<uint8_t*>(malloc(aSize ? aSize : 1));
        if (aSize)
            memcpy(file.myBuffer, aData, aSize);
        file.myFileSize = file.myCapacity = uint32_t(aSize);
        file.myFilePos = 0;
        file.myFlags = OPEN_READ | (pass ? (uint32_t)OPEN_SWAP_BYTES : 0u);
        QS2_SoundData::ourPreloadLimit = (aSize & 1) ? 16 : 307200;
        QS2_SoundData* data = new QS2_SoundData;
        if (data->Load(file, "qsf"))
        {
            if (data->myFileData && data->myFileDataOffset + data->myFileDataSize > aSize)
                abort();
            if (data->myFileDataOffset > aSize || data->mySoundSize > aSize - data->myFileDataOffset)
                abort();
        }
        delete data;
        if (QS2_SoundData::GetTotalBytes() != 0)
            abort();
    }
    return 0;
}
