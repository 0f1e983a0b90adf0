// The sound engine: sounds made from templates, played through the sound
// layer, with volume, pan and rate set once a frame from fades, groups and
// the listener. One global engine; every call from the user-interface thread.
#pragma once

#include "qsound2/qs2_sounddata.h"

#include <cstdint>

class QS2_Sound;

// Per file of a sound: the layer's channel.
struct QS2_ChannelData
{
    uint32_t myHandle = 0;     // the layer's handle, 0 when none
    bool myIsStreamFlag = false;
    bool myFinishedFlag = false;
};

// Per file of a sound: what Update computed.
struct QS2_ChannelState
{
    float myVolume = 1.0f;     // 0..1
    uint32_t myFrequency = 0;  // Hz
};

class QS2_Engine
{
public:
    virtual QS2_Sound* CreateSound(QS2_SoundTemplate* aTemplate) = 0;
    virtual void SoundOn() = 0;
    virtual void SoundOff() = 0;
    virtual void ReleaseSound(QS2_Sound* aSound) = 0;
    virtual void PauseAll() = 0;
    virtual void ResumeAll() = 0;
    virtual ~QS2_Engine();
    // False when no channel started (nothing is then counted or listed).
    virtual bool Play(QS2_Sound* aSound) = 0;
    virtual void Stop(QS2_Sound* aSound) = 0;
    // Once a frame; aNow in seconds of QS2_GetTime.
    virtual void Update(float aNow) = 0;

    void SetListener(float anX, float aY, float aZ, float aHeading);

    static QS2_Engine* GetGlobal() { return ourGlobal; }
    // Destroys the global engine.
    static void ReleaseGlobal();

    QS2_GroupArray myGroups;
    QC_GrowingArray<QS2_Sound*> myGlobalActiveSounds;
    QC_GrowingArray<QS2_Sound*> my3DSounds;
    QC_GrowingArray<QS2_Sound*> myActive3DSounds;
    float myVelocityFactor = 0.025f;
    float myDistanceFactor = 0.005f;
    int myNumOpenHandles = 0;
    bool myPausedFlag = false;
    float myListenerX = 0.0f;
    float myListenerY = 0.0f;
    float myListenerZ = 0.0f;
    float myListenerHeading = 0.0f;   // radians
    float myMasterVolume = 1.0f;      // 1 on, 0 off

protected:
    QS2_Engine();
    static QS2_Engine* ourGlobal;
};

// The engine over the sound layer (platform/sound).
class QS2_LayerEngine : public QS2_Engine
{
public:
    // Starts the layer with 8, 12, 16 or 24 channels for speaker types 0..3 (else 8)
    // and makes the engine global; false (no engine) when the device cannot be opened.
    static bool Create(const char* aRedistDirectory, int aSpeakerType);
    static int GetChannelCountForSpeakerType(int aSpeakerType);

    QS2_Sound* CreateSound(QS2_SoundTemplate* aTemplate) override;
    void SoundOn() override;
    void SoundOff() override;
    void ReleaseSound(QS2_Sound* aSound) override;
    void PauseAll() override;
    void ResumeAll() override;
    ~QS2_LayerEngine() override;
    bool Play(QS2_Sound* aSound) override;
    void Stop(QS2_Sound* aSound) override;
    void Update(float aNow) override;

    // Tests: the layer renders into memory (SND_RenderLoopback) instead of a device.
    static bool ourLoopbackFlag;

    QC_String myRedistDirectory;
    int myPreference = 256;
    int myChannelPreference = 8;
    uint32_t myStoredSize = 25165824;

private:
    QS2_LayerEngine() = default;
    bool Startup(const char* aRedistDirectory, int aSpeakerType);
    bool PlaySample(QS2_Sound* aSound, int aFile);
    void CloseChannels(QS2_Sound* aSound);
    // Pauses or resumes the channels of the sounds that hold them.
    void PauseChannels(bool aPauseFlag);
    // A 3D sound at aDistance takes its channels; at the channel maximum the
    // farthest active sound of its template gives way if it is farther.
    void Activate(QS2_Sound* aSound, float aDistance);
    void Deactivate(QS2_Sound* aSound);
    // The fade factor; true when the sound was released.
    bool ComputeFade(QS2_Sound* aSound, float aNow, float* aFactor);
    void ApplyChannels(QS2_Sound* aSound);
};

class QS2_Sound
{
public:
    // False when nothing started: already playing, the template at its channel
    // maximum, or no channel could be opened.
    bool Play(bool aLoopingFlag, float aFadeInSeconds);
    void Stop();
    // Negative seconds fade out; 0 ends the fade at once.
    void Fade(float aSeconds);
    bool IsPlaying() const { return myStartPlayingTime >= 0.0f; }

    QS2_ChannelData* myChannelData = nullptr;   // one per file, owned
    QS2_SoundTemplate* myTemplate = nullptr;    // a reference is held
    float myX = 0.0f;
    float myY = 0.0f;
    float myZ = 0.0f;
    float myVelocity = 0.0f;                    // along the listener axis
    QS2_ChannelState* myChannelStates = nullptr;   // one per file, owned
    float myPan = 0.0f;                         // -1..1
    float myStartPlayingTime = -1.0f;           // seconds, -1 when not playing
    float myFadeSpeed = 0.0f;                   // per second, negative fading out
    float myFadeStartTime = 0.0f;
    float myStartDistance = 0.0f;
    bool myLoopingFlag = false;
    bool myReleaseWhenDoneFlag = false;
    bool myFadingFlag = false;
    bool myStopAfterFadeFlag = false;
    bool myRateFromVelocityFlag = false;
    bool myRateDropFlag = false;
    float myRateDropDistance = 0.0f;
    bool myActiveFlag = false;

    QS2_Sound() = default;
    ~QS2_Sound();
    QS2_Sound(const QS2_Sound&) = delete;
    QS2_Sound& operator=(const QS2_Sound&) = delete;
};

// Seconds of a monotonic clock, from the first call on.
float QS2_GetTime();
// A template over the global engine's groups; null without an engine.
QS2_SoundTemplate* QS2_CreateTemplate(const QS2_CreateSoundData& aData);
