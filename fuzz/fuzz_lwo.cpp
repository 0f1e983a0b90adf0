// The LightWave object reader: the input is an LWO2 file, read through a
// byte-swapping file object over the input in memory; an object that loads
// has every layer converted into batches.
#include <cstdint>

#include "modeleditor/lw_mesh.h"
#include "qfile/render/qf_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QF_File locFile;
    locFile.myBuffer = const_cast<uint8_t*>(aData);
    locFile.myFileSize = locFile.myCapacity = uint32_t(aSize);
    locFile.myFilePos = 0;
    locFile.myStatus = QF_READ | QF_SWAP_BYTES;
    locFile.myFlags = QF_FLAG_NOT_OWNED | QF_FLAG_SWAP_BYTES;
    LWObject* locObject = LoadLWO2(locFile, "fuzz.lwo");
    if (locObject)
    {
        for (const std::unique_ptr<LWLayer>& locLayer : locObject->myLayers)
        {
            LWLayerMesh locMesh;
            ConvertLWLayer(locLayer->myNumber, locObject, &locMesh);
        }
        delete locObject;
    }
    locFile.myBuffer = nullptr;
    locFile.myStatus = QF_FILE_NOT_OPEN;
    return 0;
}
