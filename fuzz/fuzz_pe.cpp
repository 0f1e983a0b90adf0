// The ".pe" particle-definition reader: the input is the file; it may name the surface
// "INTERNAL_ALPHA" and the memory texture "fz" (4 x 4). A definition that loads is
// acquired a second time (shared) and released twice.
#include <cstdint>

#include "fuzz_render.h"
#include "fuzz_util.h"
#include "qrender/qr_sharedparticledata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    FuzzRenderer();
    FuzzScratch::Write("f.pe", aData, aSize);
    FuzzScratch::Inside locInside;
    QR_SharedParticleData* locData = QR_SharedParticleData::Acquire("f");
    if (locData)
    {
        if (QR_SharedParticleData::Acquire("F.pe") != locData)
            abort();
        QR_SharedParticleData::Release(locData);
        QR_SharedParticleData::Release(locData);
    }
    if (QR_SharedParticleData::ourFirst)
        abort();
    return 0;
}
