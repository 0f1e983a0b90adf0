// The sound layer over OpenAL Soft: the device, the channel pool and the
// service thread that refills streams and finds the end of every sound.
#include "platform/sound/snd_sound.h"
#include "platform/sound/snd_decode_local.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

int SND_ErrorCode = SND_ERROR_NONE;

namespace
{
const uint32_t locStreamBufferCount = 4;
const uint32_t locStreamBufferFrames = 8192;   // about 0.19 s at 44.1 kHz
const auto locServicePeriod = std::chrono::milliseconds(10);

struct SND_Slot
{
    bool myUsedFlag = false;
    uint16_t myGeneration = 0;
    ALuint mySource = 0;
    bool myStreamFlag = false;
    ALuint mySampleBuffer = 0;
    ALuint myStreamBuffers[locStreamBufferCount] = {};
    std::vector<ALuint> myFreeBuffers;   // stream buffers not queued
    std::unique_ptr<SND_Decoder> myDecoder;
    std::vector<int16_t> myScratch;
    ALenum myFormat = AL_FORMAT_MONO16;
    uint32_t myRate = 0;
    uint32_t myLoopCount = 1;            // 0 forever
    uint32_t myLoopsLeft = 0;            // plays (sample) or rewinds (stream) still to queue
    bool myStartedFlag = false;
    bool myPausedFlag = false;
    bool myDrainedFlag = false;          // nothing more will be queued
    std::atomic<bool> myFinishedFlag{false};
};

struct SND_Device
{
    ALCdevice* myDevice = nullptr;
    ALCcontext* myContext = nullptr;
    bool myLoopbackFlag = false;
    bool myStereoAnglesFlag = false;
    std::vector<std::unique_ptr<SND_Slot>> mySlots;
    std::mutex myLock;   // every slot and every AL call after start-up
    std::condition_variable myWake;
    bool myStopFlag = false;
    std::thread myService;
};

SND_Device* ourDevice = nullptr;

const char* const locErrorTexts[] = {
    "no error",
    "the sound device is not started",
    "the sound device cannot be opened",
    "no sound handle is free",
    "the sound data cannot be decoded",
    "unsupported sound format",
    "not an open sound handle",
    "a value out of range",
    "the sound device refused the operation",
    "the sound device is already started",
};

bool locFail(int anError)
{
    SND_ErrorCode = anError;
    return false;
}

SND_Slot* locFind(SND_Handle aHandle)
{
    if (!ourDevice)
    {
        SND_ErrorCode = SND_ERROR_NOT_STARTED;
        return nullptr;
    }
    uint32_t index = (aHandle & 0xffffu);
    if (index == 0 || index > ourDevice->mySlots.size())
    {
        SND_ErrorCode = SND_ERROR_BAD_HANDLE;
        return nullptr;
    }
    SND_Slot* slot = ourDevice->mySlots[index - 1].get();
    if (!slot->myUsedFlag || slot->myGeneration != (aHandle >> 16))
    {
        SND_ErrorCode = SND_ERROR_BAD_HANDLE;
        return nullptr;
    }
    return slot;
}

// Runs anOperation on the handle's slot under the lock; false when the layer
// is not started, the handle is not open, or the operation fails.
template <typename Operation>
bool locWithSlot(SND_Handle aHandle, Operation anOperation)
{
    if (!ourDevice)
        return locFail(SND_ERROR_NOT_STARTED);
    std::lock_guard<std::mutex> lock(ourDevice->myLock);
    SND_Slot* slot = locFind(aHandle);
    return slot && anOperation(slot);
}

// Takes a free slot; 0 when none. Called under the lock.
SND_Handle locTakeSlot(SND_Slot** aSlot)
{
    for (size_t i = 0; i < ourDevice->mySlots.size(); ++i)
    {
        SND_Slot* slot = ourDevice->mySlots[i].get();
        if (slot->myUsedFlag)
            continue;
        slot->myUsedFlag = true;
        slot->myGeneration = static_cast<uint16_t>(slot->myGeneration + 1);
        slot->myStreamFlag = false;
        slot->myLoopCount = 1;
        slot->myLoopsLeft = 0;
        slot->myStartedFlag = false;
        slot->myPausedFlag = false;
        slot->myDrainedFlag = false;
        slot->myFinishedFlag.store(false);
        alSourcef(slot->mySource, AL_GAIN, 1.0f);
        alSourcef(slot->mySource, AL_PITCH, 1.0f);
        alSource3f(slot->mySource, AL_POSITION, 0.0f, 0.0f, -1.0f);
        alSourcei(slot->mySource, AL_LOOPING, AL_FALSE);
        *aSlot = slot;
        return (static_cast<uint32_t>(slot->myGeneration) << 16) | static_cast<uint32_t>(i + 1);
    }
    SND_ErrorCode = SND_ERROR_NO_HANDLE;
    return 0;
}

// Under the lock.
void locReleaseSlot(SND_Slot* aSlot)
{
    alSourceStop(aSlot->mySource);
    alSourcei(aSlot->mySource, AL_BUFFER, 0);
    if (aSlot->mySampleBuffer)
        alDeleteBuffers(1, &aSlot->mySampleBuffer);
    aSlot->mySampleBuffer = 0;
    if (aSlot->myStreamFlag)
        alDeleteBuffers(locStreamBufferCount, aSlot->myStreamBuffers);
    for (ALuint& buffer : aSlot->myStreamBuffers)
        buffer = 0;
    aSlot->myFreeBuffers.clear();
    if (aSlot->myDecoder)
        aSlot->myDecoder->Close();
    aSlot->myDecoder.reset();
    aSlot->myScratch = std::vector<int16_t>();
    aSlot->myUsedFlag = false;
}

// Decodes one buffer's worth into aBuffer and queues it; rewinds at the end
// while loops are left. False when the stream has nothing more.
bool locFillStreamBuffer(SND_Slot* aSlot, ALuint aBuffer)
{
    SND_Decoder* decoder = aSlot->myDecoder.get();
    uint32_t got = decoder->Read(aSlot->myScratch.data(), locStreamBufferFrames);
    if (got == 0 && (aSlot->myLoopCount == 0 || aSlot->myLoopsLeft > 0))
    {
        if (aSlot->myLoopCount != 0)
            --aSlot->myLoopsLeft;
        if (decoder->Rewind())
            got = decoder->Read(aSlot->myScratch.data(), locStreamBufferFrames);
    }
    if (got == 0)
    {
        aSlot->myDrainedFlag = true;
        return false;
    }
    alBufferData(aBuffer, aSlot->myFormat, aSlot->myScratch.data(),
                 static_cast<ALsizei>(got * decoder->myChannels * sizeof(int16_t)),
                 static_cast<ALsizei>(aSlot->myRate));
    alSourceQueueBuffers(aSlot->mySource, 1, &aBuffer);
    return true;
}

// One pass of the service: refills, re-queues looping samples, finds ends. Under the lock.
void locServiceSlot(SND_Slot* aSlot)
{
    if (!aSlot->myUsedFlag || !aSlot->myStartedFlag || aSlot->myFinishedFlag.load())
        return;
    ALint processed = 0;
    alGetSourcei(aSlot->mySource, AL_BUFFERS_PROCESSED, &processed);
    for (ALint i = 0; i < processed; ++i)
    {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(aSlot->mySource, 1, &buffer);
        if (!aSlot->myStreamFlag)
        {
            if (aSlot->myLoopsLeft > 0)
            {
                --aSlot->myLoopsLeft;
                alSourceQueueBuffers(aSlot->mySource, 1, &buffer);
            }
        }
        else
        {
            aSlot->myFreeBuffers.push_back(buffer);
        }
    }
    if (aSlot->myStreamFlag)
    {
        while (!aSlot->myDrainedFlag && !aSlot->myFreeBuffers.empty())
        {
            ALuint buffer = aSlot->myFreeBuffers.back();
            if (!locFillStreamBuffer(aSlot, buffer))
                break;
            aSlot->myFreeBuffers.pop_back();
        }
    }
    else if (aSlot->myLoopsLeft == 0)
    {
        aSlot->myDrainedFlag = true;
    }
    if (aSlot->myPausedFlag)
        return;
    ALint state = AL_STOPPED;
    alGetSourcei(aSlot->mySource, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING)
        return;
    ALint queued = 0;
    alGetSourcei(aSlot->mySource, AL_BUFFERS_QUEUED, &queued);
    ALint left = 0;
    alGetSourcei(aSlot->mySource, AL_BUFFERS_PROCESSED, &left);
    if (queued - left > 0)
        alSourcePlay(aSlot->mySource);   // ran dry before a refill: go on
    else if (aSlot->myDrainedFlag)
        aSlot->myFinishedFlag.store(true);
}

void locServiceAll()
{
    for (auto& slot : ourDevice->mySlots)
        locServiceSlot(slot.get());
}

void locServiceThread(SND_Device* aDevice)
{
    std::unique_lock<std::mutex> lock(aDevice->myLock);
    while (!aDevice->myStopFlag)
    {
        alcMakeContextCurrent(aDevice->myContext);
        locServiceAll();
        aDevice->myWake.wait_for(lock, locServicePeriod);
    }
}

void locCloseDevice(SND_Device* aDevice)
{
    if (aDevice->myContext)
    {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(aDevice->myContext);
    }
    if (aDevice->myDevice)
        alcCloseDevice(aDevice->myDevice);
    delete aDevice;
}
}  // namespace

const char* SND_GetErrorText(int anError)
{
    if (anError < 0 || anError >= static_cast<int>(sizeof(locErrorTexts) / sizeof(locErrorTexts[0])))
        return "unknown sound error";
    return locErrorTexts[anError];
}

bool SND_Startup(const SND_StartDesc& aDesc)
{
    if (ourDevice)
        return locFail(SND_ERROR_ALREADY_STARTED);
    uint32_t frequency = aDesc.myFrequency ? aDesc.myFrequency : 44100;
    uint32_t channels = aDesc.myChannelCount ? aDesc.myChannelCount : 8;
    if (frequency < 8000 || frequency > 192000 || channels > 256)
        return locFail(SND_ERROR_BAD_ARGUMENT);

    SND_Device* device = new SND_Device;
    device->myLoopbackFlag = aDesc.myLoopbackFlag;
    if (aDesc.myLoopbackFlag)
    {
        if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
        {
            delete device;
            return locFail(SND_ERROR_NO_DEVICE);
        }
        device->myDevice = alcLoopbackOpenDeviceSOFT(nullptr);
    }
    else
    {
        device->myDevice = alcOpenDevice(nullptr);
    }
    if (!device->myDevice)
    {
        locCloseDevice(device);
        return locFail(SND_ERROR_NO_DEVICE);
    }
    ALCint attributes[] = {ALC_FREQUENCY, static_cast<ALCint>(frequency),
                           ALC_HRTF_SOFT, ALC_FALSE,
                           ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                           ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                           0};
    if (!aDesc.myLoopbackFlag)
        attributes[4] = 0;   // the format attributes are the loopback device's
    device->myContext = alcCreateContext(device->myDevice, attributes);
    if (!device->myContext || !alcMakeContextCurrent(device->myContext))
    {
        locCloseDevice(device);
        return locFail(SND_ERROR_NO_DEVICE);
    }
    // The caller computes every volume: no attenuation by distance.
    alDistanceModel(AL_NONE);
    device->myStereoAnglesFlag = alIsExtensionPresent("AL_EXT_STEREO_ANGLES");
    for (uint32_t i = 0; i < channels; ++i)
    {
        auto slot = std::make_unique<SND_Slot>();
        alGetError();
        alGenSources(1, &slot->mySource);
        if (alGetError() != AL_NO_ERROR)
        {
            for (auto& made : device->mySlots)
                alDeleteSources(1, &made->mySource);
            locCloseDevice(device);
            return locFail(SND_ERROR_NO_DEVICE);
        }
        alSourcei(slot->mySource, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(slot->mySource, AL_ROLLOFF_FACTOR, 0.0f);
        device->mySlots.push_back(std::move(slot));
    }
    ourDevice = device;
    if (!device->myLoopbackFlag)
        device->myService = std::thread(locServiceThread, device);
    return true;
}

void SND_Shutdown()
{
    if (!ourDevice)
        return;
    SND_Device* device = ourDevice;
    if (device->myService.joinable())
    {
        {
            std::lock_guard<std::mutex> lock(device->myLock);
            device->myStopFlag = true;
        }
        device->myWake.notify_all();
        device->myService.join();
    }
    alcMakeContextCurrent(device->myContext);
    for (auto& slot : device->mySlots)
    {
        if (slot->myUsedFlag)
            locReleaseSlot(slot.get());
        alDeleteSources(1, &slot->mySource);
    }
    ourDevice = nullptr;
    locCloseDevice(device);
}

bool SND_IsStarted()
{
    return ourDevice != nullptr;
}

uint32_t SND_GetChannelCount()
{
    return ourDevice ? static_cast<uint32_t>(ourDevice->mySlots.size()) : 0;
}

uint32_t SND_GetOpenCount()
{
    if (!ourDevice)
        return 0;
    std::lock_guard<std::mutex> lock(ourDevice->myLock);
    uint32_t count = 0;
    for (auto& slot : ourDevice->mySlots)
        count += slot->myUsedFlag ? 1 : 0;
    return count;
}

bool SND_RenderLoopback(int16_t* aFrames, uint32_t aFrameCount)
{
    if (!ourDevice)
        return locFail(SND_ERROR_NOT_STARTED);
    if (!ourDevice->myLoopbackFlag)
        return locFail(SND_ERROR_BAD_ARGUMENT);
    std::lock_guard<std::mutex> lock(ourDevice->myLock);
    // Small steps, so that streams are refilled as a real device would have them.
    const uint32_t step = 1024;
    for (uint32_t done = 0; done < aFrameCount; done += step)
    {
        locServiceAll();
        uint32_t count = std::min(step, aFrameCount - done);
        alcRenderSamplesSOFT(ourDevice->myDevice, aFrames + 2 * static_cast<size_t>(done),
                             static_cast<ALCsizei>(count));
    }
    locServiceAll();
    return true;
}

SND_Handle SND_OpenSample(const void* aBytes, uint32_t aSize)
{
    SND_ErrorDetail[0] = 0;
    if (!ourDevice)
        return locFail(SND_ERROR_NOT_STARTED);
    if (!aBytes || aSize == 0)
        return locFail(SND_ERROR_BAD_ARGUMENT);
    SND_MemoryReader memory;
    memory.myBytes = static_cast<const uint8_t*>(aBytes);
    memory.mySize = aSize;
    SND_Decoder decoder;
    std::vector<int16_t> frames;
    if (!decoder.Open(SND_MakeMemoryReader(&memory), 0, 0) || !SND_DecodeAll(&decoder, &frames))
        return 0;

    std::lock_guard<std::mutex> lock(ourDevice->myLock);
    SND_Slot* slot = nullptr;
    SND_Handle handle = locTakeSlot(&slot);
    if (!handle)
        return 0;
    slot->myFormat = decoder.myChannels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    slot->myRate = decoder.myRate;
    alGetError();
    alGenBuffers(1, &slot->mySampleBuffer);
    if (alGetError() == AL_NO_ERROR)
        alBufferData(slot->mySampleBuffer, slot->myFormat, frames.data(),
                     static_cast<ALsizei>(frames.size() * sizeof(int16_t)), static_cast<ALsizei>(slot->myRate));
    if (alGetError() != AL_NO_ERROR)
    {
        locReleaseSlot(slot);
        return locFail(SND_ERROR_PLAYBACK);
    }
    return handle;
}

SND_Handle SND_OpenStream(const SND_Reader& aReader, uint64_t anOffset, uint64_t aSize)
{
    SND_ErrorDetail[0] = 0;
    if (!ourDevice)
    {
        if (aReader.myClose)
            aReader.myClose(aReader.myUser);
        return locFail(SND_ERROR_NOT_STARTED);
    }
    auto decoder = std::make_unique<SND_Decoder>();
    if (!decoder->Open(aReader, anOffset, aSize))
        return 0;

    std::lock_guard<std::mutex> lock(ourDevice->myLock);
    SND_Slot* slot = nullptr;
    SND_Handle handle = locTakeSlot(&slot);
    if (!handle)
    {
        int error = SND_ErrorCode;
        decoder->Close();
        return locFail(error);
    }
    slot->myStreamFlag = true;
    slot->myFormat = decoder->myChannels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    slot->myRate = decoder->myRate;
    slot->myScratch.resize(static_cast<size_t>(locStreamBufferFrames) * decoder->myChannels);
    slot->myDecoder = std::move(decoder);
    alGetError();
    alGenBuffers(locStreamBufferCount, slot->myStreamBuffers);
    if (alGetError() != AL_NO_ERROR)
    {
        for (ALuint& buffer : slot->myStreamBuffers)
            buffer = 0;
        slot->myStreamFlag = false;
        locReleaseSlot(slot);
        return locFail(SND_ERROR_PLAYBACK);
    }
    slot->myFreeBuffers.assign(slot->myStreamBuffers, slot->myStreamBuffers + locStreamBufferCount);
    return handle;
}

void SND_Close(SND_Handle aHandle)
{
    if (!ourDevice)
        return;
    std::lock_guard<std::mutex> lock(ourDevice->myLock);
    SND_Slot* slot = locFind(aHandle);
    if (slot)
        locReleaseSlot(slot);
}

bool SND_SetLoopCount(SND_Handle aHandle, uint32_t aCount)
{
    return locWithSlot(aHandle, [&](SND_Slot* slot) {
        if (slot->myStartedFlag)
            return locFail(SND_ERROR_ALREADY_STARTED);
        slot->myLoopCount = aCount;
        return true;
    });
}

bool SND_SetVolumePan(SND_Handle aHandle, float aVolume, float aPan)
{
    if (!ourDevice)
        return locFail(SND_ERROR_NOT_STARTED);
    if (!(aVolume >= 0.0f && aVolume <= 1.0f) || !(aPan >= -1.0f && aPan <= 1.0f))
        return locFail(SND_ERROR_BAD_ARGUMENT);
    return locWithSlot(aHandle, [&](SND_Slot* slot) {
    alSourcef(slot->mySource, AL_GAIN, aVolume);
    // The pan is a place on the half circle in front of the listener (who looks along -z).
    const float halfPi = 1.5707964f;
    float angle = aPan * halfPi;
    alSource3f(slot->mySource, AL_POSITION, std::sin(angle), 0.0f, -std::cos(angle));
    if (slot->myFormat == AL_FORMAT_STEREO16 && ourDevice->myStereoAnglesFlag)
    {
        // Angles count counter-clockwise (to the left); the pair turns with the pan.
        const float spread = 0.5235988f;
        ALfloat angles[2] = {std::max(-halfPi, std::min(halfPi, spread - angle)),
                             std::max(-halfPi, std::min(halfPi, -spread - angle))};
        alSourcefv(slot->mySource, AL_STEREO_ANGLES, angles);
    }
    return true;
    });
}

bool SND_SetRate(SND_Handle aHandle, uint32_t aRate)
{
    if (!ourDevice)
        return locFail(SND_ERROR_NOT_STARTED);
    if (aRate == 0)
        return locFail(SND_ERROR_BAD_ARGUMENT);
    return locWithSlot(aHandle, [&](SND_Slot* slot) {
        alSourcef(slot->mySource, AL_PITCH, static_cast<float>(aRate) / static_cast<float>(slot->myRate));
        return true;
    });
}

uint32_t SND_GetFileRate(SND_Handle aHandle)
{
    if (!ourDevice)
        return 0;
    std::lock_guard<std::mutex> lock(ourDevice->myLock);
    SND_Slot* slot = locFind(aHandle);
    return slot ? slot->myRate : 0;
}

bool SND_Start(SND_Handle aHandle)
{
    return locWithSlot(aHandle, [](SND_Slot* slot) {
    if (slot->myStartedFlag)
        return locFail(SND_ERROR_ALREADY_STARTED);
    if (slot->myStreamFlag)
    {
        slot->myLoopsLeft = slot->myLoopCount ? slot->myLoopCount - 1 : 0;
        while (!slot->myFreeBuffers.empty() && locFillStreamBuffer(slot, slot->myFreeBuffers.back()))
            slot->myFreeBuffers.pop_back();
    }
    else if (slot->myLoopCount == 0)
    {
        alSourcei(slot->mySource, AL_LOOPING, AL_TRUE);
        alSourceQueueBuffers(slot->mySource, 1, &slot->mySampleBuffer);
    }
    else
    {
        // n plays: the buffer is queued again as each play ends (two ahead).
        uint32_t first = std::min<uint32_t>(slot->myLoopCount, 2);
        for (uint32_t i = 0; i < first; ++i)
            alSourceQueueBuffers(slot->mySource, 1, &slot->mySampleBuffer);
        slot->myLoopsLeft = slot->myLoopCount - first;
    }
    slot->myStartedFlag = true;
    alSourcePlay(slot->mySource);
    return true;
    });
}

bool SND_Pause(SND_Handle aHandle)
{
    return locWithSlot(aHandle, [](SND_Slot* slot) {
        if (slot->myStartedFlag && !slot->myPausedFlag)
        {
            slot->myPausedFlag = true;
            alSourcePause(slot->mySource);
        }
        return true;
    });
}

bool SND_Resume(SND_Handle aHandle)
{
    return locWithSlot(aHandle, [](SND_Slot* slot) {
        if (slot->myPausedFlag)
        {
            slot->myPausedFlag = false;
            alSourcePlay(slot->mySource);
        }
        return true;
    });
}

bool SND_IsFinished(SND_Handle aHandle)
{
    if (!ourDevice)
        return false;
    uint32_t index = aHandle & 0xffffu;
    if (index == 0 || index > ourDevice->mySlots.size())
        return false;
    // The generation is written only by this thread; the flag by the service thread too.
    SND_Slot* slot = ourDevice->mySlots[index - 1].get();
    return slot->myUsedFlag && slot->myGeneration == (aHandle >> 16) && slot->myFinishedFlag.load();
}
