// The pieces of the ".pe" text that the renderer's reader and the model editor's reader
// share: a scanf-like number scanner in the C locale, the keyed line reader, and the layout
// of an animation strip's frames over a texture. No device.
#pragma once

#include <stdint.h>

class QF_File;

// Corners top-left, top-right, bottom-right, bottom-left as (u, v).
struct QR_ParticleFrame
{
    float myUVs[4][2];
};

// Reads values off a line as scanf's "%f", "%d" and "%s" do: a value that does not
// convert stops the scan and leaves it and every later one unchanged.
class QR_ParticleScanner
{
public:
    explicit QR_ParticleScanner(const char* aText) : myText(aText), myStopped(false) {}

    QR_ParticleScanner& Float(float* aValue);
    QR_ParticleScanner& Int(int32_t* aValue);
    // One blank-delimited word, cut to aSize - 1 characters; none stops the scan.
    QR_ParticleScanner& Word(char* aWord, uint32_t aSize);
    bool IsStopped() const { return myStopped; }

    // atof and atoi: the leading number, or 0.
    static float ToFloat(const char* aText);
    static int32_t ToInt(const char* aText);

private:
    const char* Start();
    const char* myText;
    bool myStopped;
};

// The lines of one definition, each required to begin with its key.
class QR_ParticleLineReader
{
public:
    static constexpr uint32_t MAX_LINE_SIZE = 257;

    // aLineSize (at most MAX_LINE_SIZE) includes the NUL: longer lines are cut there.
    QR_ParticleLineReader(QF_File& aFile, uint32_t aLineSize);
    // The value after aKey (compared without regard to case, its trailing blank
    // included), or null when the next line does not begin with it.
    const char* Next(const char* aKey);
    uint32_t BytesLeft() const;

private:
    QF_File& myFile;
    uint32_t myLineSize;
    char myLine[MAX_LINE_SIZE];
};

// aValue's rest after aWord (compared without regard to case), or null.
const char* QR_ParticleAfterWord(const char* aValue, const char* aWord);

// The one frame of a texture without a strip: the whole texture.
void QR_SetWholeParticleFrame(QR_ParticleFrame& aFrame);

// False when aCount frames of aWidth x aHeight texels cannot fit a texture of
// aTextureWidth x aTextureHeight even in principle (one more row than it holds): a bound
// to check before allocating them.
bool QR_ParticleFramesMayFit(int64_t aTextureWidth, int64_t aTextureHeight, int32_t aWidth, int32_t aHeight,
                             uint32_t aCount);

// Lays aCount frames over the texture: left to right, a new row when the next frame
// would pass the right edge; each frame runs from (x / W, y / H) to
// ((x + w - 1) / W, (y + h - 1) / H). Sizes must be positive. False when the frames run
// past the texture's bottom edge (every frame is filled all the same).
bool QR_LayoutParticleFrames(int64_t aTextureWidth, int64_t aTextureHeight, int32_t aWidth, int32_t aHeight,
                             uint32_t aCount, QR_ParticleFrame* aFrames);
