// Sound data loaded from WAV, MP3 and ".qsf" container files, and the templates made of it.
#include "qsound2/qs2_sounddata.h"

#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

int QS2_ErrorCode = QS2_ERROR_NONE;

QS2_SoundData* QS2_SoundData::ourFirst = nullptr;
uint32_t QS2_SoundData::ourTotalBytes = 0;
uint32_t QS2_SoundData::ourPreloadLimit = 0;
QS2_SoundTemplate* QS2_SoundTemplate::ourFirst = nullptr;

namespace
{
// Chunk ids as read little-endian from their four characters.
constexpr uint32_t locId(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
const uint32_t locMagic = locId('Q', 'S', 0x01, 0x00);
const uint32_t locLenId = locId('L', 'E', 'N', ' ');
const uint32_t locAmpId = locId('A', 'M', 'P', ' ');
const uint32_t locSndId = locId('S', 'N', 'D', ' ');

const uint32_t locOpenMode = 0x01 | 0x10;   // read, streaming

bool locFail(int anError)
{
    QS2_ErrorCode = anError;
    return false;
}

// The global lists are doubly linked, newest first.
template <typename T>
void locLinkFirst(T* anItem, T*& aFirst)
{
    anItem->myNext = aFirst;
    anItem->myPrevious = nullptr;
    if (aFirst)
        aFirst->myPrevious = anItem;
    aFirst = anItem;
}

template <typename T>
void locUnlink(T* anItem, T*& aFirst)
{
    if (anItem->myPrevious)
        anItem->myPrevious->myNext = anItem->myNext;
    else
        aFirst = anItem->myNext;
    if (anItem->myNext)
        anItem->myNext->myPrevious = anItem->myPrevious;
    anItem->myNext = anItem->myPrevious = nullptr;
}
}  // namespace

QS2_SoundData::QS2_SoundData() = default;

QS2_SoundData::~QS2_SoundData()
{
    Unlink();
    ourTotalBytes -= myFileDataSize + myAmplitudeSize;
    free(myFileData);
    free(myAmplitudeData);
}

void QS2_SoundData::Link()
{
    locLinkFirst(this, ourFirst);
    myLinkedFlag = true;
}

void QS2_SoundData::Unlink()
{
    if (!myLinkedFlag)
        return;
    locUnlink(this, ourFirst);
    myLinkedFlag = false;
}

QS2_SoundData* QS2_SoundData::Get(const char* aFileName)
{
    for (QS2_SoundData* data = ourFirst; data; data = data->myNext)
        if (data->myFileName.CompareNoCase(aFileName) == 0)
        {
            ++data->myRefCount;
            return data;
        }
    QS2_SoundData* data = new QS2_SoundData;
    data->myFileName = aFileName;
    data->myRefCount = 1;
    data->Link();
    const char* dot = strrchr(aFileName, '.');
    QF_File file;
    bool loaded = false;
    if (!dot)
        QS2_ErrorCode = QS2_ERROR_EXTENSION;
    else if (!file.Open(aFileName, locOpenMode))
        QS2_ErrorCode = QS2_ERROR_OPEN;
    else
        loaded = data->Load(file, dot + 1);
    if (!loaded)
    {
        delete data;
        return nullptr;
    }
    return data;
}

void QS2_SoundData::Release()
{
    QC_ASSERT(myRefCount > 0);
    if (--myRefCount == 0)
        delete this;
}

bool QS2_SoundData::Load(QF_File& aFile, const char* anExtension)
{
    uint32_t size = aFile.GetSize();
    if (strcasecmp(anExtension, "qsf") == 0)
        return LoadContainer(aFile);
    if (strcasecmp(anExtension, "wav") == 0)
    {
        myLength = float(size) / 88200.0f;
        myKind = QS2_KIND_WAV;
    }
    else if (strcasecmp(anExtension, "mp3") == 0)
    {
        myLength = float(size) / 16000.0f;
        myKind = QS2_KIND_MP3;
    }
    else
    {
        return locFail(QS2_ERROR_EXTENSION);
    }
    myFileDataOffset = 0;
    mySoundSize = size;
    if (size < ourPreloadLimit)
        return ReadIntoMemory(aFile);
    return true;
}

bool QS2_SoundData::LoadContainer(QF_File& aFile)
{
    uint32_t magic = 0;
    uint32_t count = 0;
    if (!aFile.Seek(0, 0) || !aFile.ReadU32(&magic) || magic != locMagic || !aFile.ReadU32(&count))
        return locFail(QS2_ERROR_CONTAINER);
    // Every chunk has at least its 8-byte header.
    if (count > (aFile.GetSize() - aFile.GetPos()) / 8)
        return locFail(QS2_ERROR_CONTAINER);
    bool soundFlag = false;
    bool soundChunkFlag = false;
    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t id = 0;
        uint32_t size = 0;
        if (!aFile.ReadU32(&id) || !aFile.ReadU32(&size))
            return locFail(QS2_ERROR_CONTAINER);
        if (size > aFile.GetSize() - aFile.GetPos())
            return locFail(QS2_ERROR_CONTAINER);
        if (id == locLenId)
        {
            uint32_t word = 0;
            if (size != 4 || !aFile.ReadU32(&word))
                return locFail(QS2_ERROR_CONTAINER);
            float length;
            memcpy(&length, &word, 4);
            if (!std::isfinite(length) || length < 0.0f)
                return locFail(QS2_ERROR_CONTAINER);
            myLength = length;
        }
        else if (id == locAmpId)
        {
            if (size < 4 || !aFile.ReadU32(&myAmplitudeWord))
                return locFail(QS2_ERROR_CONTAINER);
            // A later chunk replaces an earlier one.
            ourTotalBytes -= myAmplitudeSize;
            free(myAmplitudeData);
            myAmplitudeData = nullptr;
            myAmplitudeSize = 0;
            if (size > 4)
            {
                myAmplitudeData = static_cast<uint8_t*>(malloc(size - 4));
                if (!myAmplitudeData)
                    return locFail(QS2_ERROR_READ);
                if (aFile.Read(myAmplitudeData, size - 4) != size - 4)
                {
                    free(myAmplitudeData);
                    myAmplitudeData = nullptr;
                    return locFail(QS2_ERROR_READ);
                }
                myAmplitudeSize = size - 4;
                ourTotalBytes += myAmplitudeSize;
            }
        }
        else if (id == locSndId)
        {
            if (size < 4 || soundChunkFlag || !aFile.ReadU32(&myKind))
                return locFail(QS2_ERROR_CONTAINER);
            soundChunkFlag = true;
            mySoundSize = size - 4;
            myFileDataOffset = aFile.GetPos();
            soundFlag = mySoundSize != 0;
            if (mySoundSize >= ourPreloadLimit)
                break;   // streamed: the sound bytes end the container
            if (!ReadIntoMemory(aFile))
                return false;
        }
        else if (size && !aFile.Seek(size, 1))
        {
            return locFail(QS2_ERROR_CONTAINER);
        }
    }
    if (!soundFlag)
        return locFail(QS2_ERROR_CONTAINER);
    return true;
}

bool QS2_SoundData::ReadIntoMemory(QF_File& aFile)
{
    if (myFileData || mySoundSize == 0)
        return true;
    if (!aFile.Seek(myFileDataOffset, 0))
        return locFail(QS2_ERROR_READ);
    uint8_t* bytes = static_cast<uint8_t*>(malloc(mySoundSize));
    if (!bytes)
        return locFail(QS2_ERROR_READ);
    if (aFile.Read(bytes, mySoundSize) != mySoundSize)
    {
        free(bytes);
        return locFail(QS2_ERROR_READ);
    }
    myFileData = bytes;
    myFileDataSize = mySoundSize;
    ourTotalBytes += myFileDataSize;
    return true;
}

int QS2_FindOrAddGroup(QS2_GroupArray& aGroups, uint32_t anId)
{
    for (int i = 0; i < aGroups.Count(); ++i)
        if (aGroups[i].myId == anId)
            return i;
    QS2_Group group;
    group.myId = anId;
    aGroups.Add(group);
    return aGroups.Count() - 1;
}

int QS2_DefaultGroup(QS2_GroupArray& aGroups)
{
    if (aGroups.Count() == 0)
        QS2_FindOrAddGroup(aGroups, locId('Q', 'S', '2', ' '));
    return 0;
}

QS2_SoundTemplate::~QS2_SoundTemplate()
{
    for (int i = 0; i < myFileCount; ++i)
    {
        if (myFiles[i].mySoundData)
            myFiles[i].mySoundData->Release();
        delete[] myFiles[i].myPoints;
    }
    delete[] myFiles;
}

bool QS2_SoundTemplate::Matches(const QS2_CreateSoundData& aData, int aGroupIndex) const
{
    bool flag3D = (aData.myFlags & QS2_3D_SOUND) != 0;
    if (myGroupIndex != aGroupIndex || myFileCount != aData.myNumFiles || my3DFlag != flag3D)
        return false;
    for (int i = 0; i < myFileCount; ++i)
    {
        const QS2_CreateFileEntry& entry = aData.myFiles[i];
        if (myFiles[i].mySoundData->myFileName.CompareNoCase(entry.myFileName) != 0)
            return false;
        if (!flag3D)
            continue;
        // Points are compared as the template holds them (volumes clamped).
        if (myFiles[i].myNumPoints != entry.myNumPoints)
            return false;
        for (int p = 0; p < entry.myNumPoints; ++p)
        {
            float volume = std::fmin(1.0f, std::fmax(0.0f, entry.myPoints[p].y));
            if (myFiles[i].myPoints[p].x != entry.myPoints[p].x || myFiles[i].myPoints[p].y != volume)
                return false;
        }
    }
    return true;
}

QS2_SoundTemplate* QS2_SoundTemplate::Create(const QS2_CreateSoundData& aData, QS2_GroupArray& aGroups)
{
    QC_ASSERT(aData.myFlags & QS2_FILENAME_VALID);
    QC_ASSERT(aData.myNumFiles > 0 && aData.myFiles);
    int maxChannels = (aData.myFlags & QS2_MAX_CHANNELS_VALID) ? aData.myMaxNumActiveChannels : 1;
    if (maxChannels < 1)
        maxChannels = 1;
    int groupIndex = (aData.myFlags & QS2_GROUP_VALID) ? QS2_FindOrAddGroup(aGroups, aData.myGroupId)
                                                       : QS2_DefaultGroup(aGroups);
    for (QS2_SoundTemplate* existing = ourFirst; existing; existing = existing->myNext)
        if (existing->Matches(aData, groupIndex))
        {
            ++existing->myRefCount;
            if (existing->myMaxNumActiveChannels < maxChannels)
                existing->myMaxNumActiveChannels = maxChannels;
            return existing;
        }

    QS2_SoundTemplate* made = new QS2_SoundTemplate;
    made->myFileCount = aData.myNumFiles;
    made->myFiles = new QS2_TemplateFile[aData.myNumFiles];
    made->myMaxNumActiveChannels = maxChannels;
    made->myGroupIndex = groupIndex;
    made->my3DFlag = (aData.myFlags & QS2_3D_SOUND) != 0;
    for (int i = 0; i < aData.myNumFiles; ++i)
    {
        const QS2_CreateFileEntry& entry = aData.myFiles[i];
        QS2_TemplateFile& file = made->myFiles[i];
        file.mySoundData = QS2_SoundData::Get(entry.myFileName);
        if (!file.mySoundData)
        {
            delete made;
            return nullptr;
        }
        if (made->my3DFlag && entry.myNumPoints > 0)
        {
            file.myNumPoints = entry.myNumPoints;
            file.myPoints = new QS2_FalloffPoint[entry.myNumPoints];
            for (int p = 0; p < entry.myNumPoints; ++p)
            {
                file.myPoints[p].x = entry.myPoints[p].x;
                file.myPoints[p].y = std::fmin(1.0f, std::fmax(0.0f, entry.myPoints[p].y));
            }
            made->myRange = std::fmax(made->myRange, file.myPoints[entry.myNumPoints - 1].x);
        }
        made->myLongestLength = std::fmax(made->myLongestLength, file.mySoundData->myLength);
        if (made->myAmplitudeFileIndex < 0 && file.mySoundData->myAmplitudeData)
            made->myAmplitudeFileIndex = i;
    }
    if (made->myAmplitudeFileIndex >= 0)
    {
        float length = made->myFiles[made->myAmplitudeFileIndex].mySoundData->myLength;
        if (length > 0.0f)
            made->myLengthRatio = made->myLongestLength / length;
    }
    made->myRefCount = 1;
    locLinkFirst(made, ourFirst);
    return made;
}

void QS2_SoundTemplate::Release()
{
    QC_ASSERT(myRefCount > 0);
    if (--myRefCount > 0)
        return;
    locUnlink(this, ourFirst);
    delete this;
}

float QS2_SoundTemplate::GetFalloffVolume(int anIndex, float aDistance) const
{
    const QS2_TemplateFile& file = myFiles[anIndex];
    if (file.myNumPoints == 0)
        return 0.0f;
    const QS2_FalloffPoint* points = file.myPoints;
    if (!(aDistance >= points[0].x))
        return points[0].y;
    // The last point at or before the distance; of points at one distance, the later one.
    int i = 0;
    while (i + 1 < file.myNumPoints && points[i + 1].x <= aDistance)
        ++i;
    if (i + 1 == file.myNumPoints)
        return points[i].y;
    float t = (aDistance - points[i].x) / (points[i + 1].x - points[i].x);
    return points[i].y + (points[i + 1].y - points[i].y) * t;
}
