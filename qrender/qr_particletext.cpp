// The shared ".pe" reading pieces: numbers through from_chars, which ignores the user's
// locale, and the frame layout of an animation strip.
#include "qrender/qr_particletext.h"

#include <string.h>
#include <strings.h>

#include <charconv>

#include "qfile/render/qf_file.h"

QR_ParticleScanner& QR_ParticleScanner::Float(float* aValue)
{
    const char* locStart = Start();
    if (!locStart)
        return *this;
    std::from_chars_result r = std::from_chars(locStart, locStart + strlen(locStart), *aValue);
    if (r.ec == std::errc::result_out_of_range)
    {
        // As strtof: too large or too small becomes the nearest limit.
        double locWide = 0.0;
        r = std::from_chars(locStart, locStart + strlen(locStart), locWide);
        *aValue = (float)locWide;
    }
    if (r.ptr == locStart)
        myStopped = true;
    else
        myText = r.ptr;
    return *this;
}

QR_ParticleScanner& QR_ParticleScanner::Int(int32_t* aValue)
{
    const char* locStart = Start();
    if (!locStart)
        return *this;
    std::from_chars_result r = std::from_chars(locStart, locStart + strlen(locStart), *aValue);
    if (r.ec != std::errc())
        myStopped = true;
    else
        myText = r.ptr;
    return *this;
}

QR_ParticleScanner& QR_ParticleScanner::Word(char* aWord, uint32_t aSize)
{
    while (*myText == ' ' || *myText == '\t')
        myText++;
    if (myStopped || !*myText)
    {
        myStopped = true;
        return *this;
    }
    uint32_t n = 0;
    for (; *myText && *myText != ' ' && *myText != '\t'; myText++)
        if (n + 1 < aSize)
            aWord[n++] = *myText;
    aWord[n] = 0;
    return *this;
}

// The start of the next number without its leading blanks and '+' (which from_chars
// refuses), or null once the scan stopped.
const char* QR_ParticleScanner::Start()
{
    if (myStopped)
        return nullptr;
    while (*myText == ' ' || *myText == '\t')
        myText++;
    if (*myText == '+' && myText[1] != '-')
        myText++;
    return myText;
}

float QR_ParticleScanner::ToFloat(const char* aText)
{
    float locValue = 0.0f;
    QR_ParticleScanner(aText).Float(&locValue);
    return locValue;
}

int32_t QR_ParticleScanner::ToInt(const char* aText)
{
    int32_t locValue = 0;
    QR_ParticleScanner(aText).Int(&locValue);
    return locValue;
}

QR_ParticleLineReader::QR_ParticleLineReader(QF_File& aFile, uint32_t aLineSize)
    : myFile(aFile)
    , myLineSize(aLineSize < MAX_LINE_SIZE ? aLineSize : MAX_LINE_SIZE)
{
    myLine[0] = 0;
}

const char* QR_ParticleLineReader::Next(const char* aKey)
{
    myFile.ReadLine(myLine, myLineSize);
    size_t locKeyLength = strlen(aKey);
    return strncasecmp(myLine, aKey, locKeyLength) == 0 ? myLine + locKeyLength : nullptr;
}

uint32_t QR_ParticleLineReader::BytesLeft() const
{
    return myFile.GetSize() - myFile.GetPos();
}

const char* QR_ParticleAfterWord(const char* aValue, const char* aWord)
{
    size_t n = strlen(aWord);
    return strncasecmp(aValue, aWord, n) == 0 ? aValue + n : nullptr;
}

void QR_SetWholeParticleFrame(QR_ParticleFrame& aFrame)
{
    const float locWhole[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    memcpy(aFrame.myUVs, locWhole, sizeof(locWhole));
}

bool QR_ParticleFramesMayFit(int64_t aTextureWidth, int64_t aTextureHeight, int32_t aWidth, int32_t aHeight,
                             uint32_t aCount)
{
    int64_t locPerRow = aWidth <= aTextureWidth ? aTextureWidth / aWidth : 1;
    return (int64_t)aCount <= locPerRow * (aTextureHeight / aHeight + 1);
}

bool QR_LayoutParticleFrames(int64_t aTextureWidth, int64_t aTextureHeight, int32_t aWidth, int32_t aHeight,
                             uint32_t aCount, QR_ParticleFrame* aFrames)
{
    int64_t W = aTextureWidth, H = aTextureHeight, x = 0, y = 0;
    for (uint32_t k = 0; k < aCount; k++)
    {
        float l = (float)x / (float)W, r = (float)(x + aWidth - 1) / (float)W;
        float tp = (float)y / (float)H, b = (float)(y + aHeight - 1) / (float)H;
        QR_ParticleFrame& f = aFrames[k];
        f.myUVs[0][0] = l, f.myUVs[0][1] = tp;
        f.myUVs[1][0] = r, f.myUVs[1][1] = tp;
        f.myUVs[2][0] = r, f.myUVs[2][1] = b;
        f.myUVs[3][0] = l, f.myUVs[3][1] = b;
        x += aWidth;
        if (x + aWidth > W)
        {
            x = 0;
            y += aHeight;
        }
    }
    return !(y + aHeight > H && (y > H || x != 0));
}
