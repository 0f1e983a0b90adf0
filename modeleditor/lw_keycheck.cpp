// The LWS key check: names and key times of every object layer, bone, light
// and camera, and the keys that one channel has and another lacks.
#include "modeleditor/lw_keycheck.h"

#include <math.h>
#include <string.h>

#include <charconv>
#include <string>
#include <vector>

#include "modeleditor/lw_text_local.h"
#include "qcommon/qc_string.h"
#include "qfile/render/qf_file.h"

namespace
{
constexpr int NUM_CHANNELS = 9;
constexpr uint32_t LINE_SIZE = 256;

const char* const ourChannelNames[NUM_CHANNELS] = {"X", "Y", "Z", "H", "P", "B", "sX", "sY", "sZ"};
const char* const ourItemKeywords[] = {"LoadObjectLayer ", "BoneName ", "LightName ", "CameraName "};

struct SceneKey
{
    float myTime; // seconds
    int myShape;
};

struct SceneKeyRecord
{
    QC_String myName;
    std::vector<SceneKey> myChannels[NUM_CHANNELS];
};

class Reporter
{
public:
    Reporter(const LWKeyCheckSink& aSink, int aFramesPerSecond) : mySink(aSink), myFramesPerSecond(aFramesPerSecond) {}

    void Missing(const SceneKeyRecord& aRecord, int aChannel, size_t aKey, int aMissingIn)
    {
        float locTime = aRecord.myChannels[aChannel][aKey].myTime;
        double locFrame = floor((double)locTime * myFramesPerSecond + 0.5);
        if (!(locFrame > -2147483648.0))
            locFrame = -2147483648.0;
        if (locFrame > 2147483647.0)
            locFrame = 2147483647.0;
        char locTimeText[64];
        std::to_chars_result locEnd =
            std::to_chars(locTimeText, locTimeText + sizeof(locTimeText) - 1, (double)locTime, std::chars_format::fixed, 3);
        *locEnd.ptr = 0;
        std::string locLine = std::string("Obj: ") + aRecord.myName.GetBuffer() + ", channel: " + ourChannelNames[aChannel] +
                              ", key: " + std::to_string(aKey + 1) + " (time: " + locTimeText +
                              ", frame: " + std::to_string((int)locFrame) + ") doesn't exist in channel " +
                              ourChannelNames[aMissingIn];
        mySink(locLine.c_str());
    }

private:
    const LWKeyCheckSink& mySink;
    int myFramesPerSecond;
};

// Walks two channels' keys in time order and reports the keys each lacks.
void locCompare(Reporter& aReporter, const SceneKeyRecord& aRecord, int aReference, int aCompared)
{
    const std::vector<SceneKey>& r = aRecord.myChannels[aReference];
    const std::vector<SceneKey>& c = aRecord.myChannels[aCompared];
    size_t i = 0, j = 0;
    while (i < r.size() && j < c.size())
    {
        if (c[j].myTime < r[i].myTime)
            aReporter.Missing(aRecord, aCompared, j++, aReference);
        else if (r[i].myTime < c[j].myTime)
            aReporter.Missing(aRecord, aReference, i++, aCompared);
        else
            i++, j++;
    }
    for (; j < c.size(); j++)
        aReporter.Missing(aRecord, aCompared, j, aReference);
    for (; i < r.size(); i++)
        aReporter.Missing(aRecord, aReference, i, aCompared);
}
} // namespace

void CheckLwsKeys(const char* aFileName, const LWKeyCheckSink& aSink)
{
    QF_File locFile;
    if (!locFile.Open(aFileName, QF_READ))
        return;
    std::vector<SceneKeyRecord> locRecords;
    locRecords.reserve(128);
    int locFramesPerSecond = 20;
    char locLine[LINE_SIZE];
    for (;;)
    {
        locFile.ReadLine(locLine, LINE_SIZE);
        if (!locLine[0])
            break; // the end of the text: ReadLine skips empty lines
        const char* locRest = nullptr;
        bool locIsItem = false;
        for (const char* locKeyword : ourItemKeywords)
            if ((locRest = LWAfterKeyword(locLine, locKeyword)) != nullptr)
            {
                locRecords.emplace_back();
                locRecords.back().myName.Set(locRest);
                locIsItem = true;
                break;
            }
        if (locIsItem)
            continue;
        if ((locRest = LWAfterKeyword(locLine, "FramesPerSecond ")) != nullptr)
        {
            LWNumberScanner(locRest).Int(&locFramesPerSecond);
            continue;
        }
        // A Channel line outside any item is ignored.
        if ((locRest = LWAfterKeyword(locLine, "Channel ")) == nullptr || locRecords.empty())
            continue;
        int locChannel = -1;
        LWNumberScanner(locRest).Int(&locChannel);
        locFile.ReadLine(locLine, LINE_SIZE); // "{ Envelope"
        locFile.ReadLine(locLine, LINE_SIZE);
        int locCount = 0;
        LWNumberScanner(locLine).Int(&locCount);
        // The count is taken on trust, but never past the end of the text;
        // lines too short to hold a key are skipped.
        std::vector<SceneKey> locKeys;
        for (int k = 0; k < locCount; k++)
        {
            locFile.ReadLine(locLine, LINE_SIZE);
            if (!locLine[0])
                break;
            if (strlen(locLine) <= 4)
                continue;
            LWNumberScanner locScanner(locLine + 4);
            float locValue, locTime;
            int locShape;
            if (locScanner.Float(&locValue) && locScanner.Float(&locTime) && locScanner.Int(&locShape) &&
                isfinite(locTime))
                locKeys.push_back({locTime, locShape});
        }
        if (locChannel >= 0 && locChannel < NUM_CHANNELS)
            locRecords.back().myChannels[locChannel].swap(locKeys);
    }
    locFile.Close();

    Reporter locReporter(aSink, locFramesPerSecond);
    for (const SceneKeyRecord& locRecord : locRecords)
    {
        int locReference = -1;
        for (int c = 0; c < NUM_CHANNELS; c++)
        {
            if (locRecord.myChannels[c].size() <= 1)
                continue;
            if (locReference < 0)
                locReference = c;
            else
                locCompare(locReporter, locRecord, locReference, c);
        }
    }
}
