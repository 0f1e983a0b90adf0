// The sound engine over the sound layer: start-up, the file readers, Play,
// Stop and the once-a-frame Update.
#include "qsound2/qs2_engine.h"

#include "platform/sound/snd_sound.h"
#include "qcommon/qc_assert.h"
#include "qcommon/qc_debug.h"
#include "qfile/qf_file.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

QS2_Engine* QS2_Engine::ourGlobal = nullptr;
bool QS2_LayerEngine::ourLoopbackFlag = false;

namespace
{
const float locPi = 3.1415927f;
const uint32_t locPreloadLimit = 307200;

// A file of the engine's file table, read by the layer's service thread
// between open and close; the used flag is the user-interface thread's.
struct QS2_FileSlot
{
    QF_File myFile;
    bool myUsedFlag = false;
};

// The file table; freed once the layer (which closes its readers) is shut down.
QC_GrowingArray<QS2_FileSlot*> ourFileSlots;
bool ourFileSlotsInitFlag = false;

uint32_t locRead(void* aUser, void* aDestination, uint32_t aCount)
{
    return static_cast<QS2_FileSlot*>(aUser)->myFile.Read(aDestination, aCount);
}

bool locSeek(void* aUser, uint64_t aPosition)
{
    return aPosition <= 0xffffffffu && static_cast<QS2_FileSlot*>(aUser)->myFile.Seek(uint32_t(aPosition), 0);
}

uint64_t locSize(void* aUser)
{
    return static_cast<QS2_FileSlot*>(aUser)->myFile.GetSize();
}

void locClose(void* aUser)
{
    QS2_FileSlot* slot = static_cast<QS2_FileSlot*>(aUser);
    slot->myFile.Close();
    slot->myUsedFlag = false;
}

// Opens the file into the first free slot, streaming; false with the debug text.
bool locOpenFile(const char* aPath, SND_Reader* aReader)
{
    if (!ourFileSlotsInitFlag)
    {
        if (!ourFileSlots.Init(16, 16, false))
            return false;
        ourFileSlotsInitFlag = true;
    }
    QS2_FileSlot* slot = nullptr;
    for (int i = 0; i < ourFileSlots.Count() && !slot; ++i)
        if (!ourFileSlots[i]->myUsedFlag)
            slot = ourFileSlots[i];
    if (!slot)
    {
        slot = new QS2_FileSlot;
        ourFileSlots.Add(slot);
    }
    if (!slot->myFile.Open(aPath, OPEN_READ | OPEN_STREAMING))
    {
        QC_Debug::Printf("QS2_MilesEngine::MilesFileOpenCallback failed to open '%s'", aPath);
        return false;
    }
    slot->myUsedFlag = true;
    aReader->myUser = slot;
    aReader->myRead = locRead;
    aReader->mySeek = locSeek;
    aReader->mySize = locSize;
    aReader->myClose = locClose;
    return true;
}

void locShutdownLayer()
{
    SND_Shutdown();
    for (int i = 0; i < ourFileSlots.Count(); ++i)
        delete ourFileSlots[i];
    ourFileSlots.RemoveAll();
}

void locRemove(QC_GrowingArray<QS2_Sound*>& anArray, QS2_Sound* aSound)
{
    for (int i = 0; i < anArray.Count(); ++i)
        if (anArray[i] == aSound)
        {
            anArray.RemoveAt(i);
            return;
        }
}

// A rate kept within what the layer and the assertions accept.
uint32_t locClampRate(uint32_t aRate)
{
    return aRate < 100 ? 100 : aRate > 100000 ? 100000 : aRate;
}

// The sound layer refused the file itself, not for want of a handle.
bool locRefusedFile()
{
    return SND_ErrorCode == SND_ERROR_FORMAT || SND_ErrorCode == SND_ERROR_DECODE;
}

// Why, as the layer tells it: the detail (the channel count) before the code's text.
const char* locRefusal()
{
    return SND_ErrorDetail[0] ? SND_ErrorDetail : SND_GetErrorText(SND_ErrorCode);
}
}  // namespace

float QS2_GetTime()
{
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<float>(std::chrono::steady_clock::now() - start).count();
}

QS2_SoundTemplate* QS2_CreateTemplate(const QS2_CreateSoundData& aData)
{
    QS2_Engine* engine = QS2_Engine::GetGlobal();
    if (!engine)
    {
        QS2_ErrorCode = QS2_ERROR_NO_ENGINE;
        return nullptr;
    }
    return QS2_SoundTemplate::Create(aData, engine->myGroups);
}

QS2_Engine::QS2_Engine()
{
    myGroups.Init(4, 4, false);
    myGlobalActiveSounds.Init(64, 64, false);
    my3DSounds.Init(64, 64, false);
    myActive3DSounds.Init(64, 64, false);
}

QS2_Engine::~QS2_Engine() = default;

void QS2_Engine::SetListener(float anX, float aY, float aZ, float aHeading)
{
    myListenerX = anX;
    myListenerY = aY;
    myListenerZ = aZ;
    myListenerHeading = aHeading;
}

void QS2_Engine::ReleaseGlobal()
{
    delete ourGlobal;
    ourGlobal = nullptr;
}

// [SECTION] Sounds

QS2_Sound::~QS2_Sound()
{
    delete[] myChannelData;
    delete[] myChannelStates;
}

bool QS2_Sound::Play(bool aLoopingFlag, float aFadeInSeconds)
{
    QS2_Engine* engine = QS2_Engine::GetGlobal();
    if (IsPlaying() || !engine)
        return false;
    myLoopingFlag = aLoopingFlag;
    float dx = myX - engine->myListenerX;
    float dy = myY - engine->myListenerY;
    float dz = myZ - engine->myListenerZ;
    myStartDistance = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (myTemplate->myCurrentNumActiveChannels >= myTemplate->myMaxNumActiveChannels)
        return false;
    for (int i = 0; i < myTemplate->myFileCount; ++i)
    {
        myChannelStates[i].myVolume = 1.0f;
        myChannelStates[i].myFrequency = myTemplate->myFiles[i].myDefaultRate;
    }
    myPan = 0.0f;
    myFadingFlag = false;
    float now = QS2_GetTime();
    if (!engine->Play(this))
        return false;
    myStartPlayingTime = now;
    if (aFadeInSeconds > 0.0f)
    {
        myFadingFlag = true;
        myFadeSpeed = 1.0f / aFadeInSeconds;
        myFadeStartTime = now;
    }
    return true;
}

void QS2_Sound::Stop()
{
    QS2_Engine* engine = QS2_Engine::GetGlobal();
    if (!IsPlaying() || !engine)
        return;
    myStartPlayingTime = -1.0f;
    engine->Stop(this);
}

void QS2_Sound::Fade(float aSeconds)
{
    if (!IsPlaying())
        return;
    myFadingFlag = true;
    myFadeStartTime = QS2_GetTime();
    // 1 / 0 is infinite: Update ends such a fade at once.
    myFadeSpeed = 1.0f / aSeconds;
}

// [SECTION] Start-up and shutdown

int QS2_LayerEngine::GetChannelCountForSpeakerType(int aSpeakerType)
{
    switch (aSpeakerType)
    {
    case 1: return 12;
    case 2: return 16;
    case 3: return 24;
    default: return 8;
    }
}

bool QS2_LayerEngine::Create(const char* aRedistDirectory, int aSpeakerType)
{
    QC_ASSERT(ourGlobal == nullptr);
    QS2_LayerEngine* engine = new QS2_LayerEngine;
    if (!engine->Startup(aRedistDirectory, aSpeakerType))
    {
        delete engine;
        return false;
    }
    ourGlobal = engine;
    return true;
}

bool QS2_LayerEngine::Startup(const char* aRedistDirectory, int aSpeakerType)
{
    myPreference = 256;
    QS2_SoundData::ourPreloadLimit = locPreloadLimit;
    myRedistDirectory = aRedistDirectory;
    static bool locAtExitFlag = false;
    if (!locAtExitFlag)
    {
        locAtExitFlag = true;
        atexit(locShutdownLayer);
    }
    myChannelPreference = GetChannelCountForSpeakerType(aSpeakerType);
    SND_StartDesc desc;
    desc.myFrequency = 44100;
    desc.myChannelCount = uint32_t(myChannelPreference);
    desc.myLoopbackFlag = ourLoopbackFlag;
    if (!SND_Startup(desc))
    {
        QS2_ErrorCode = QS2_ERROR_NOT_STARTED;
        return false;
    }
    return true;
}

QS2_LayerEngine::~QS2_LayerEngine()
{
    locShutdownLayer();
    if (ourGlobal == this)
        ourGlobal = nullptr;
}

// [SECTION] Sounds of the engine

QS2_Sound* QS2_LayerEngine::CreateSound(QS2_SoundTemplate* aTemplate)
{
    QS2_Sound* sound = new QS2_Sound;
    sound->myTemplate = aTemplate;
    aTemplate->AddRef();
    sound->myChannelData = new QS2_ChannelData[aTemplate->myFileCount];
    sound->myChannelStates = new QS2_ChannelState[aTemplate->myFileCount];
    for (int i = 0; i < aTemplate->myFileCount; ++i)
        sound->myChannelStates[i].myFrequency = aTemplate->myFiles[i].myDefaultRate;
    return sound;
}

void QS2_LayerEngine::SoundOn()
{
    myMasterVolume = 1.0f;
}

void QS2_LayerEngine::SoundOff()
{
    myMasterVolume = 0.0f;
}

void QS2_LayerEngine::ReleaseSound(QS2_Sound* aSound)
{
    aSound->Stop();
    // A sound that finished or was never started may still be listed or hold channels.
    CloseChannels(aSound);
    locRemove(myGlobalActiveSounds, aSound);
    locRemove(my3DSounds, aSound);
    locRemove(myActive3DSounds, aSound);
    aSound->myTemplate->Release();
    delete aSound;
}

void QS2_LayerEngine::PauseChannels(bool aPauseFlag)
{
    for (QC_GrowingArray<QS2_Sound*>* list : {&myGlobalActiveSounds, &myActive3DSounds})
        for (int i = 0; i < list->Count(); ++i)
            for (int j = 0; j < (*list)[i]->myTemplate->myFileCount; ++j)
                if (uint32_t handle = (*list)[i]->myChannelData[j].myHandle)
                    aPauseFlag ? SND_Pause(handle) : SND_Resume(handle);
}

void QS2_LayerEngine::PauseAll()
{
    if (myPausedFlag)
        return;
    myPausedFlag = true;
    PauseChannels(true);
}

void QS2_LayerEngine::ResumeAll()
{
    if (!myPausedFlag)
        return;
    myPausedFlag = false;
    PauseChannels(false);
}

bool QS2_LayerEngine::PlaySample(QS2_Sound* aSound, int aFile)
{
    QS2_ChannelData& channel = aSound->myChannelData[aFile];
    QS2_TemplateFile& file = aSound->myTemplate->myFiles[aFile];
    QS2_SoundData* data = file.mySoundData;
    channel.myFinishedFlag = false;
    if (!data->myFileData && data->mySoundSize < QS2_SoundData::ourPreloadLimit)
    {
        QF_File source;
        if (source.Open(data->myFileName, OPEN_READ | OPEN_STREAMING))
            data->ReadIntoMemory(source);
    }
    uint32_t handle = 0;
    if (!data->myFileData)
    {
        SND_Reader reader;
        if (locOpenFile(data->myFileName, &reader))
            handle = SND_OpenStream(reader, data->myFileDataOffset, data->mySoundSize);
        if (!handle)
        {
            if (locRefusedFile())
                QC_Debug::Printf("QS2_MilesEngine::PlaySample: cannot play %s: %s", data->myFileName.GetBuffer(),
                                 locRefusal());
            else
                QC_Debug::Printf("QS2_MilesEngine::PlaySample: failed to allocate new stream for %s",
                                 data->myFileName.GetBuffer());
            channel.myFinishedFlag = true;
            return false;
        }
        channel.myIsStreamFlag = true;
    }
    else
    {
        handle = SND_OpenSample(data->myFileData, data->myFileDataSize);
        if (!handle)
        {
            if (locRefusedFile())
                QC_Debug::Printf("QS2_MilesEngine::PlaySample: cannot play %s: %s", data->myFileName.GetBuffer(),
                                 locRefusal());
            else
                QC_Debug::Printf("QS2_MilesEngine::PlaySample: failed to allocate new sample");
            channel.myFinishedFlag = true;
            return false;
        }
        channel.myIsStreamFlag = false;
    }
    if (file.myDefaultRate == 0)
        file.myDefaultRate = locClampRate(SND_GetFileRate(handle));
    if (aSound->myChannelStates[aFile].myFrequency == 0)
        aSound->myChannelStates[aFile].myFrequency = file.myDefaultRate;
    SND_SetVolumePan(handle, 0.0f, 0.0f);
    SND_SetLoopCount(handle, aSound->myLoopingFlag ? 0 : 1);
    SND_Start(handle);
    channel.myHandle = handle;
    ++myNumOpenHandles;
    return true;
}

void QS2_LayerEngine::CloseChannels(QS2_Sound* aSound)
{
    for (int j = 0; j < aSound->myTemplate->myFileCount; ++j)
    {
        QS2_ChannelData& channel = aSound->myChannelData[j];
        if (!channel.myHandle)
            continue;
        SND_Close(channel.myHandle);
        channel.myHandle = 0;
        --myNumOpenHandles;
    }
}

bool QS2_LayerEngine::Play(QS2_Sound* aSound)
{
    QS2_SoundTemplate* tmpl = aSound->myTemplate;
    bool wasPlaying = aSound->IsPlaying();
    bool deferredFlag = tmpl->my3DFlag && aSound->myLoopingFlag;
    if (!deferredFlag)
    {
        int started = 0;
        for (int j = 0; j < tmpl->myFileCount; ++j)
            started += PlaySample(aSound, j) ? 1 : 0;
        if (started == 0)
            return false;
        ++tmpl->myCurrentNumActiveChannels;
        QC_ASSERT(tmpl->myCurrentNumActiveChannels <= tmpl->myMaxNumActiveChannels);
    }
    if (!wasPlaying)
    {
        if (tmpl->my3DFlag)
        {
            my3DSounds.Add(aSound);
            if (!aSound->myLoopingFlag)
            {
                aSound->myActiveFlag = true;
                myActive3DSounds.Add(aSound);
            }
        }
        else
        {
            myGlobalActiveSounds.Add(aSound);
        }
    }
    return true;
}

void QS2_LayerEngine::Stop(QS2_Sound* aSound)
{
    QS2_SoundTemplate* tmpl = aSound->myTemplate;
    if (!tmpl->my3DFlag || aSound->myActiveFlag)
    {
        --tmpl->myCurrentNumActiveChannels;
        QC_ASSERT(tmpl->myCurrentNumActiveChannels >= 0 &&
                  tmpl->myCurrentNumActiveChannels < tmpl->myMaxNumActiveChannels);
    }
    CloseChannels(aSound);
    if (tmpl->my3DFlag)
    {
        if (aSound->myActiveFlag)
        {
            aSound->myActiveFlag = false;
            locRemove(myActive3DSounds, aSound);
        }
        if (!aSound->IsPlaying())
            locRemove(my3DSounds, aSound);
    }
    else if (!aSound->IsPlaying())
    {
        locRemove(myGlobalActiveSounds, aSound);
    }
}

void QS2_LayerEngine::Activate(QS2_Sound* aSound, float aDistance)
{
    QS2_SoundTemplate* tmpl = aSound->myTemplate;
    if (tmpl->myCurrentNumActiveChannels >= tmpl->myMaxNumActiveChannels)
    {
        // The farthest active sound of the template gives way, if farther than this one.
        QS2_Sound* farthest = nullptr;
        float farthestDistance = aDistance;
        for (int i = 0; i < myActive3DSounds.Count(); ++i)
        {
            QS2_Sound* other = myActive3DSounds[i];
            if (other->myTemplate != tmpl)
                continue;
            float dx = other->myX - myListenerX;
            float dy = other->myY - myListenerY;
            float dz = other->myZ - myListenerZ;
            float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (distance > farthestDistance)
            {
                farthest = other;
                farthestDistance = distance;
            }
        }
        if (!farthest)
            return;
        Deactivate(farthest);
    }
    int started = 0;
    for (int j = 0; j < tmpl->myFileCount; ++j)
        started += PlaySample(aSound, j) ? 1 : 0;
    if (started == 0)
        return;
    ++tmpl->myCurrentNumActiveChannels;
    aSound->myActiveFlag = true;
    myActive3DSounds.Add(aSound);
}

void QS2_LayerEngine::Deactivate(QS2_Sound* aSound)
{
    CloseChannels(aSound);
    --aSound->myTemplate->myCurrentNumActiveChannels;
    aSound->myActiveFlag = false;
    locRemove(myActive3DSounds, aSound);
}

// [SECTION] Update

bool QS2_LayerEngine::ComputeFade(QS2_Sound* aSound, float aNow, float* aFactor)
{
    *aFactor = 1.0f;
    if (!aSound->myFadingFlag)
        return false;
    float t = std::isfinite(aSound->myFadeSpeed) ? (aNow - aSound->myFadeStartTime) * aSound->myFadeSpeed
                                                 : (std::signbit(aSound->myFadeSpeed) ? -1.0f : 1.0f);
    bool fadeOutFlag = aSound->myFadeSpeed < 0.0f;
    if (t >= 1.0f || t <= -1.0f)
    {
        aSound->myFadingFlag = false;
        if (aSound->myStopAfterFadeFlag)
        {
            ReleaseSound(aSound);
            return true;
        }
        *aFactor = fadeOutFlag ? 0.0f : 1.0f;
        return false;
    }
    *aFactor = fadeOutFlag ? t + 1.0f : t;
    if (*aFactor <= 0.0f && aSound->myStopAfterFadeFlag)
    {
        ReleaseSound(aSound);
        return true;
    }
    return false;
}

void QS2_LayerEngine::ApplyChannels(QS2_Sound* aSound)
{
    QS2_SoundTemplate* tmpl = aSound->myTemplate;
    for (int j = 0; j < tmpl->myFileCount; ++j)
    {
        QS2_ChannelData& channel = aSound->myChannelData[j];
        if (!channel.myHandle)
            continue;
        if (SND_IsFinished(channel.myHandle))
        {
            channel.myFinishedFlag = true;
            SND_Close(channel.myHandle);
            channel.myHandle = 0;
            --myNumOpenHandles;
            continue;
        }
        QS2_ChannelState& state = aSound->myChannelStates[j];
        QC_ASSERT(state.myVolume >= 0.0f && state.myVolume <= 1.0f);
        QC_ASSERT(aSound->myPan >= -1.0f && aSound->myPan <= 1.0f);
        QC_ASSERT(state.myFrequency >= 100 && state.myFrequency <= 100000);
        float pan = state.myVolume < 0.01f ? 0.0f : aSound->myPan;
        SND_SetVolumePan(channel.myHandle, state.myVolume * myMasterVolume, pan);
        SND_SetRate(channel.myHandle, state.myFrequency);
    }
}

void QS2_LayerEngine::Update(float aNow)
{
    if (myPausedFlag)
        return;
    for (int g = 0; g < myGroups.Count(); ++g)
    {
        QS2_Group& group = myGroups[g];
        if (group.myFadeEndTime < 0.0f)
            continue;
        if (aNow >= group.myFadeEndTime || group.myFadeEndTime <= group.myFadeStartTime)
        {
            group.myVolume = group.myFadeTarget;
            group.myFadeEndTime = -1.0f;
        }
        else
        {
            group.myVolume = (group.myFadeTarget - group.myFadeStartValue) * (aNow - group.myFadeStartTime) /
                                 (group.myFadeEndTime - group.myFadeStartTime) +
                             group.myFadeStartValue;
        }
    }

    // Copies: a sound may leave its list while it is updated.
    std::vector<QS2_Sound*> sounds(myGlobalActiveSounds.Count());
    for (int i = 0; i < myGlobalActiveSounds.Count(); ++i)
        sounds[size_t(i)] = myGlobalActiveSounds[i];
    for (QS2_Sound* sound : sounds)
    {
        float factor;
        if (ComputeFade(sound, aNow, &factor))
            continue;
        float volume = factor * myGroups[sound->myTemplate->myGroupIndex].myVolume;
        volume = volume > 0.0f ? std::fmin(volume, 1.0f) : 0.0f;
        for (int j = 0; j < sound->myTemplate->myFileCount; ++j)
            sound->myChannelStates[j].myVolume = volume;
    }

    sounds.resize(size_t(my3DSounds.Count()));
    for (int i = 0; i < my3DSounds.Count(); ++i)
        sounds[size_t(i)] = my3DSounds[i];
    for (QS2_Sound* sound : sounds)
    {
        float factor;
        if (ComputeFade(sound, aNow, &factor))
            continue;
        QS2_SoundTemplate* tmpl = sound->myTemplate;
        float dx = sound->myX - myListenerX;
        float dy = sound->myY - myListenerY;
        float dz = sound->myZ - myListenerZ;
        float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        float volume = factor * myGroups[tmpl->myGroupIndex].myVolume;
        if (!(volume > 0.0f && distance < tmpl->myRange))
        {
            for (int j = 0; j < tmpl->myFileCount; ++j)
                sound->myChannelStates[j].myVolume = 0.0f;
            continue;
        }
        float rate = 1.0f;
        if (sound->myRateFromVelocityFlag)
            rate = myVelocityFactor * sound->myVelocity + 1.0f;
        if (sound->myRateDropFlag && distance > sound->myStartDistance)
        {
            float drop = (distance - sound->myStartDistance) * myDistanceFactor;
            if (drop < rate)
                rate -= drop;
        }
        for (int j = 0; j < tmpl->myFileCount; ++j)
        {
            QS2_ChannelState& state = sound->myChannelStates[j];
            state.myVolume = std::fmin(1.0f, std::fmax(0.0f, tmpl->GetFalloffVolume(j, distance) * volume));
            uint32_t defaultRate = tmpl->myFiles[j].myDefaultRate;
            double frequency = std::round(double(defaultRate) * rate);
            state.myFrequency = (frequency < 100.0 || frequency > 100000.0) ? defaultRate : uint32_t(frequency);
        }
        float cosine = std::cos(myListenerHeading);
        float sine = std::sin(myListenerHeading);
        float angle = std::atan2(dx * cosine + dz * sine, dz * cosine - dx * sine);
        const float half = locPi / 2.0f;
        if (angle > half)
            angle = locPi - angle;
        else if (angle < -half)
            angle = -locPi - angle;
        sound->myPan = std::fmin(1.0f, std::fmax(-1.0f, angle / half));
        if (!sound->myActiveFlag)
            Activate(sound, distance);
    }

    // Channels of every sound: ends are reaped, the rest get this frame's values.
    sounds.clear();
    for (int i = 0; i < myGlobalActiveSounds.Count(); ++i)
        sounds.push_back(myGlobalActiveSounds[i]);
    for (int i = 0; i < my3DSounds.Count(); ++i)
        sounds.push_back(my3DSounds[i]);
    for (QS2_Sound* sound : sounds)
    {
        ApplyChannels(sound);
        if (sound->myLoopingFlag)
            continue;
        bool allFinished = true;
        for (int j = 0; j < sound->myTemplate->myFileCount; ++j)
            allFinished = allFinished && sound->myChannelData[j].myFinishedFlag && !sound->myChannelData[j].myHandle;
        if (!allFinished)
            continue;
        if (sound->myReleaseWhenDoneFlag)
            ReleaseSound(sound);
        else if (sound->IsPlaying())
            sound->Stop();
    }
}
