// LightWave envelope groups: the first byte chooses a motion file (read from
// disk) or a group of -1 (motions), 1 (ranges) or 3 (colours) channels read
// through a file object over the rest of the input. A path that reads is
// evaluated over a range of times, which checks that the renderer accepts it.
#include <cmath>
#include <cstdint>

#include "fuzz_memfile.h"
#include "fuzz_util.h"
#include "modeleditor/lw_envelope.h"
#include "qrender/matrix44.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    FuzzInput locInput(aData, aSize);
    const int locMode = locInput.TakeByte() % 4;
    QR_SplinePath locPath;
    float locLength;
    if (locMode == 0)
    {
        const std::string locName = FuzzScratch::Write("fuzz.mot", locInput.GetData(), locInput.GetSize());
        locLength = LoadMotionFile(locName.c_str(), &locPath, 30.0f);
    }
    else
    {
        FuzzMemoryFile locFile(locInput.GetData(), locInput.GetSize(), false);
        static const int ourChannels[] = {0, -1, 1, 3};
        locLength = ReadEnvelope(&locPath, locFile.myFile, 30.0f, ourChannels[locMode]);
    }
    if (locLength < 0.0f)
        return 0;
    locPath.SetLength(locLength);
    static const float ourTimes[] = {0.0f, 0.1f, 0.5f, 0.999f, 1.0f, 1.5f, 3.0f, 1e6f};
    float locValues[QR_SplinePath::MAX_CHANNELS];
    for (float locTime : ourTimes)
    {
        locPath.GetValue(locTime, locValues);
        if (locPath.myNumChannels >= 6)
        {
            Matrix44 locMatrix;
            locMatrix.SetIdentity();
            locPath.GetMatrix(locTime, locMatrix);
        }
    }
    return 0;
}
