// The LightWave object reader: the input is an LWO2 file, read through a
// byte-swapping file object over the input in memory; an object that loads
// has every layer converted into batches.
#include <cstdint>

#include "fuzz_memfile.h"
#include "modeleditor/lw_mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    FuzzMemoryFile locFile(aData, aSize, true);
    LWObject* locObject = LoadLWO2(locFile.myFile, "fuzz.lwo");
    if (locObject)
    {
        for (const std::unique_ptr<LWLayer>& locLayer : locObject->myLayers)
        {
            LWLayerMesh locMesh;
            ConvertLWLayer(locLayer->myNumber, locObject, &locMesh);
        }
        delete locObject;
    }
    return 0;
}
