// LightWave envelope groups of scene and motion files turned into renderer
// spline paths.
#pragma once

#include "qrender/qr_splinepath.h"

class QF_File;

// A key of an envelope group: time, the value of each of 9 channels, the
// fourth shape parameter of each channel, and the key's shape.
typedef QR_SplineKey EnvelopeKey;

// Reads one envelope group from aFile, positioned after the line that names
// it, into aPath. aNumChannels below 0: the group starts with NumChannels and
// each channel with its Channel line (motions); otherwise the group has that
// many bare channels (3 for colours, 1 for ranges). Returns the time of the
// last key in seconds, or -1 with EditorError set (17 to 25).
float ReadEnvelope(QR_SplinePath* aPath, QF_File& aFile, float aFramesPerSecond, int aNumChannels);

// Normalises the key times to 0..1 and loads the keys into aPath. A
// 9-channel group whose scale is 1 throughout becomes a 6-channel path.
bool BuildSplineFromKeys(QR_SplinePath* aPath, EnvelopeKey* aKeys, int aNumKeys, int aNumChannels);

// Reads a motion file ("LWMO", version 3, one motion group). As ReadEnvelope;
// also 14 when the file cannot be opened, 15 and 16 for a bad header.
float LoadMotionFile(const char* aFileName, QR_SplinePath* aPath, float aFramesPerSecond);
