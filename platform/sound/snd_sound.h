// The sound layer: one output device at 44.1 kHz, a bounded pool of channels
// (so "no handle free" can happen), samples decoded from memory, streams
// decoded from a caller's reader and refilled by the layer's service thread.
// Every call except the reader callbacks is made from one thread (the user
// interface); the end of a sound is found by polling SND_IsFinished.
#pragma once

#include <cstdint>

enum SND_Error
{
    SND_ERROR_NONE = 0,
    SND_ERROR_NOT_STARTED = 1,     // no device: SND_Startup was not called or failed
    SND_ERROR_NO_DEVICE = 2,       // the device or its context cannot be opened
    SND_ERROR_NO_HANDLE = 3,       // every channel of the pool is in use
    SND_ERROR_DECODE = 4,          // the bytes are no sound file the decoder knows
    SND_ERROR_FORMAT = 5,          // more than two channels, a rate of 0, or too long
    SND_ERROR_BAD_HANDLE = 6,      // a handle that is not open
    SND_ERROR_BAD_ARGUMENT = 7,    // a value outside its range
    SND_ERROR_PLAYBACK = 8,        // the device refused a buffer or a source operation
    SND_ERROR_ALREADY_STARTED = 9,
};

// Set by every failing call (user-interface thread only).
extern int SND_ErrorCode;
const char* SND_GetErrorText(int anError);
// What a refused file's error code leaves out, for a debug line ("6 channels:
// only mono and stereo sounds play"); set by SND_OpenSample and
// SND_OpenStream, empty when there is nothing to add.
extern char SND_ErrorDetail[128];

struct SND_StartDesc
{
    uint32_t myFrequency = 0;      // output rate in Hz; 0: 44,100
    uint32_t myChannelCount = 0;   // size of the channel pool; 0: 8
    bool myLoopbackFlag = false;   // render into memory with SND_RenderLoopback (tests); no service thread
};

// Opens the default device (OpenAL's null device when ALSOFT_DRIVERS=null),
// 16-bit stereo, HRTF and distance attenuation off.
bool SND_Startup(const SND_StartDesc& aDesc);
// Closes every channel, stops the service thread, closes the device. Safe when not started.
void SND_Shutdown();
bool SND_IsStarted();
uint32_t SND_GetChannelCount();
uint32_t SND_GetOpenCount();

// Loopback only: runs the service step and mixes aFrameCount stereo frames
// (interleaved 16-bit, left first) into aFrames.
bool SND_RenderLoopback(int16_t* aFrames, uint32_t aFrameCount);

// A reader over a whole file; the layer sees only the window given at open.
// The stream owns the reader from a successful open on: the service thread
// calls it, and myClose (may be null) runs when the stream is closed.
struct SND_Reader
{
    void* myUser = nullptr;
    // Bytes read, 0 at the end or on error.
    uint32_t (*myRead)(void* aUser, void* aDestination, uint32_t aCount) = nullptr;
    // To an absolute position of the file; false when it cannot.
    bool (*mySeek)(void* aUser, uint64_t aPosition) = nullptr;
    uint64_t (*mySize)(void* aUser) = nullptr;
    void (*myClose)(void* aUser) = nullptr;
};

// 0 is no handle.
typedef uint32_t SND_Handle;

// Decodes the bytes (WAV, MP3, anything the decoder knows) into one buffer and
// takes a channel. The bytes are not kept.
SND_Handle SND_OpenSample(const void* aBytes, uint32_t aSize);
// Streams the window [anOffset, anOffset + aSize) of the reader's file (aSize 0:
// to the end). On failure the reader is closed too.
SND_Handle SND_OpenStream(const SND_Reader& aReader, uint64_t anOffset, uint64_t aSize);
// Stops and frees the channel; the handle is invalid after.
void SND_Close(SND_Handle aHandle);

// 0 loops forever, 1 plays once, n plays n times (streams rewind). Set before SND_Start.
bool SND_SetLoopCount(SND_Handle aHandle, uint32_t aCount);
// aVolume 0..1; aPan -1 (left) .. 1 (right), the place on the half circle in front.
bool SND_SetVolumePan(SND_Handle aHandle, float aVolume, float aPan);
// Playback rate in Hz, against the file's own rate.
bool SND_SetRate(SND_Handle aHandle, uint32_t aRate);
// The file's own rate in Hz, 0 for a bad handle.
uint32_t SND_GetFileRate(SND_Handle aHandle);
bool SND_Start(SND_Handle aHandle);
bool SND_Pause(SND_Handle aHandle);
bool SND_Resume(SND_Handle aHandle);
// True once a started sound has played its last loop (the service thread sets it).
bool SND_IsFinished(SND_Handle aHandle);
