// Envelope groups of LightWave scene and motion text read into spline paths:
// every channel keyed at the same times with the same shapes, no continuity,
// times that never go back.
#include "modeleditor/lw_envelope.h"

#include <math.h>
#include <string.h>

#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_text_local.h"
#include "qfile/render/qf_file.h"

namespace
{
constexpr int MAX_CHANNELS = 9;
constexpr int MAX_SHAPE = 4; // TCB, Hermite, Bezier, linear, stepped
constexpr uint32_t LINE_SIZE = 256;
// The shortest key line with its line end ("Key 0 0 0 0 0 0 0 0").
constexpr uint32_t MIN_KEY_LINE = 20;

const char* const ourChannelNames[MAX_CHANNELS] = {"X", "Y", "Z", "H", "P", "B", "zX", "zY", "zZ"};

float locFail(uint32_t aCode)
{
    EditorError::Set(aCode);
    return -1.0f;
}

float locFailAtKey(uint32_t aCode, int aChannel, int aKey)
{
    SetErrorDetail("channel: %s, key: %d", ourChannelNames[aChannel], aKey);
    return locFail(aCode);
}

struct Line
{
    char myText[LINE_SIZE];
    explicit Line(QF_File& aFile) { aFile.ReadLine(myText, LINE_SIZE); }
};
} // namespace

float ReadEnvelope(QR_SplinePath* aPath, QF_File& aFile, float aFramesPerSecond, int aNumChannels)
{
    int locNumChannels = aNumChannels;
    if (aNumChannels < 0)
    {
        Line locLine(aFile);
        const char* locRest = LWAfterKeyword(locLine.myText, "NumChannels ");
        if (!locRest || !LWNumberScanner(locRest).Int(&locNumChannels))
            return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
    }
    // Keys hold 9 channels.
    if (locNumChannels < 1 || locNumChannels > MAX_CHANNELS)
        return locFail(EDITOR_ERROR_SPLINE_SYNTAX);

    bool locLooping = false;
    std::vector<EnvelopeKey> locKeys;
    int K = 0;
    for (int c = 0; c < locNumChannels; c++)
    {
        if (aNumChannels < 0)
        {
            Line locLine(aFile);
            const char* locRest = LWAfterKeyword(locLine.myText, "Channel ");
            int locChannel;
            if (!locRest || !LWNumberScanner(locRest).Int(&locChannel))
                return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
            if (locChannel != c)
            {
                SetErrorDetail("channel missing: %d", c);
                return locFail(EDITOR_ERROR_SPLINE_CHANNEL_MISSING);
            }
        }
        if (strcasecmp(Line(aFile).myText, "{ Envelope") != 0)
            return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
        int n;
        if (!LWNumberScanner(Line(aFile).myText).Int(&n))
            return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
        if (n < 1)
            return locFail(EDITOR_ERROR_SPLINE_FEW_KEYS);
        // No more keys than the rest of the file can hold lines for.
        if ((uint32_t)n > (aFile.GetSize() - aFile.GetPos()) / MIN_KEY_LINE + 1)
            return locFail(EDITOR_ERROR_SPLINE_SYNTAX);

        bool locWritesTimes = false;
        if (c == 0)
        {
            locKeys.assign(n + 1, EnvelopeKey{});
            K = n;
            locWritesTimes = true;
        }
        else if (n != K && n != 1)
        {
            if (K != 1)
            {
                SetErrorDetail("channel: %s, expected # keys: %d, has %d keys.", ourChannelNames[c], K, n);
                return locFail(EDITOR_ERROR_SPLINE_KEY_COUNT);
            }
            // The single key so far becomes n copies.
            EnvelopeKey locSingle = locKeys[0];
            locKeys.assign(n + 1, locSingle);
            locKeys[n] = EnvelopeKey{};
            K = n;
            locWritesTimes = true;
        }

        for (int k = 0; k < n; k++)
        {
            Line locLine(aFile);
            const char* locRest = LWAfterKeyword(locLine.myText, "Key ");
            float locValue, locTime, p[5];
            int locShape;
            LWNumberScanner locScanner(locRest ? locRest : "");
            if (!locRest || !locScanner.Float(&locValue) || !locScanner.Float(&locTime) || !locScanner.Int(&locShape))
                return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
            for (float& locParameter : p)
                if (!locScanner.Float(&locParameter))
                    return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
            if (!isfinite(locValue) || !isfinite(locTime) || !isfinite(p[1]) || !isfinite(p[3]))
                return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
            // Shapes the renderer's paths cannot play (Bezier2 is 5).
            if (locShape < 0 || locShape > MAX_SHAPE)
                return locFailAtKey(EDITOR_ERROR_SPLINE_TYPE, c, k);
            if (p[1] != 0.0f)
                return locFailAtKey(EDITOR_ERROR_SPLINE_CONTINUITY, c, k);
            if (locTime < 0.0f)
                locTime = 0.0f;
            if (locWritesTimes)
            {
                locKeys[k].myTime = locTime;
                locKeys[k].myType = (uint32_t)locShape;
            }
            else if (n > 1)
            {
                if ((uint32_t)locShape != locKeys[k].myType)
                    return locFailAtKey(EDITOR_ERROR_SPLINE_KEY_SHAPE, c, k);
                if (locTime != locKeys[k].myTime)
                    return locFailAtKey(EDITOR_ERROR_SPLINE_KEY_TIME, c, k);
            }
            if (k > 0 && locKeys[k - 1].myTime > 0.0f && locKeys[k - 1].myTime > locKeys[k].myTime)
                return locFailAtKey(EDITOR_ERROR_SPLINE_KEY_ORDER, c, k);
            if (n == 1)
                for (int i = 0; i < K; i++)
                {
                    locKeys[i].myValues[c] = locValue;
                    locKeys[i].myTangents[c] = p[3];
                }
            else
            {
                locKeys[k].myValues[c] = locValue;
                locKeys[k].myTangents[c] = p[3];
            }
        }

        Line locBehaviours(aFile);
        const char* locRest = LWAfterKeyword(locBehaviours.myText, "Behaviors ");
        int locPre, locPost;
        LWNumberScanner locScanner(locRest ? locRest : "");
        if (!locRest || !locScanner.Int(&locPre) || !locScanner.Int(&locPost))
            return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
        if (locPost == 2) // repeat
            locLooping = true;
        if (strcmp(Line(aFile).myText, "}") != 0)
            return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
    }

    // Keys that all sit at time 0 cannot be normalised: the last one stands.
    if (K >= 2 && locKeys[K - 1].myTime == 0.0f)
    {
        locKeys[0] = locKeys[K - 1];
        K = 1;
    }
    if (K < 2)
        locLooping = false;
    float locLength = locKeys[K - 1].myTime;
    if (!BuildSplineFromKeys(aPath, locKeys.data(), K, locNumChannels))
        return locFail(EDITOR_ERROR_SPLINE_SYNTAX);
    aPath->myIsLooping = locLooping;
    return locLength;
}

bool BuildSplineFromKeys(QR_SplinePath* aPath, EnvelopeKey* aKeys, int aNumKeys, int aNumChannels)
{
    float locLast = aKeys[aNumKeys - 1].myTime;
    if (locLast > 0.0f)
    {
        float locScale = 1.0f / locLast;
        for (int k = 0; k + 1 < aNumKeys; k++)
            aKeys[k].myTime = fminf(aKeys[k].myTime * locScale, 1.0f);
        aKeys[aNumKeys - 1].myTime = 1.0f;
    }
    // Position and rotation only when the scale is 1 throughout.
    int locType = aNumChannels;
    if (aNumChannels == 9)
    {
        bool locUnitScale = true;
        for (int k = 0; k < aNumKeys; k++)
            for (int c = 6; c < 9; c++)
                locUnitScale &= aKeys[k].myValues[c] == 1.0f;
        if (locUnitScale)
            locType = 6;
    }
    return aPath->BuildFromKeys(aKeys, aNumKeys, locType);
}

float LoadMotionFile(const char* aFileName, QR_SplinePath* aPath, float aFramesPerSecond)
{
    QF_File locFile;
    if (!locFile.Open(aFileName, QF_READ))
    {
        SetErrorDetail("File: '%s'", aFileName);
        return locFail(EDITOR_ERROR_SPLINE_NOT_FOUND);
    }
    float locResult;
    int locVersion;
    if (strcasecmp(Line(locFile).myText, "LWMO") != 0)
    {
        SetErrorDetail("File: '%s'", aFileName);
        locResult = locFail(EDITOR_ERROR_SPLINE_INVALID);
    }
    else if (!LWNumberScanner(Line(locFile).myText).Int(&locVersion) || locVersion != 3)
    {
        SetErrorDetail("File: '%s'", aFileName);
        locResult = locFail(EDITOR_ERROR_SPLINE_VERSION);
    }
    else
        locResult = ReadEnvelope(aPath, locFile, aFramesPerSecond, -1);
    locFile.Close();
    return locResult;
}
