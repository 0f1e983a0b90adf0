// The spline block reader: the input is a flag byte (bit 0: byte-swapped
// file) and a spline block, read through a file object over the input in
// memory. A path that reads is evaluated over a range of times.
#include <cmath>
#include <cstdint>

#include "fuzz_memfile.h"
#include "fuzz_util.h"
#include "qrender/matrix44.h"
#include "qrender/qr_splinepath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    FuzzInput locInput(aData, aSize);
    const bool locSwap = locInput.TakeByte() & 1;

    FuzzMemoryFile locFile(locInput.GetData(), locInput.GetSize(), locSwap);
    QR_SplinePath locPath;
    if (locPath.Read(locFile.myFile))
    {
        QR_SplinePath locCopy(locPath);
        static const float ourTimes[] = {0.0f, 0.1f, 0.25f, 0.5f, 0.75f, 0.999f, 1.0f, 1.5f, 3.0f, -0.5f, 1e20f,
                                         -1e20f, INFINITY, -INFINITY, NAN};
        float locValues[QR_SplinePath::MAX_CHANNELS];
        for (float locTime : ourTimes)
        {
            locCopy.GetValue(locTime, locValues);
            Matrix44 locMatrix;
            locMatrix.SetIdentity();
            locCopy.GetMatrix(locTime, locMatrix);
        }
    }
    return 0;
}
