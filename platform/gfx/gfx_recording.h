// The recording back end: a system whose adapters, modes and formats a test describes, and
// devices that keep every call that passed validation as a line of text. Nothing is drawn;
// clears of the back buffer are kept so that read-backs and presents carry their colour.
#pragma once

#include "platform/gfx/gfx_device.h"

#include <string>
#include <vector>

struct GFX_RecordingAdapter
{
    GFX_AdapterInfo myInfo;
    GFX_Caps myCaps;
    GFX_DisplayMode myDesktop;
    std::vector<GFX_DisplayMode> myModes;          // all display formats, in enumeration order
    std::vector<GFX_Format> myBackBufferFormats;   // accepted for any display format of the same depth
    std::vector<GFX_Format> myTextureFormats;      // textures and cube textures
    std::vector<GFX_Format> myRenderTargetFormats;
    std::vector<GFX_Format> myDepthFormats;
    uint32_t myMaxMultiSampleType = 0;             // types 2..max are accepted, with 0
};

// An adapter like the OpenGL one: 1024 x 768 X8R8G8B8 desktop, every format, all caps.
GFX_RecordingAdapter GFX_DefaultRecordingAdapter();

struct GFX_RecordingConfig
{
    std::vector<GFX_RecordingAdapter> myAdapters = {GFX_DefaultRecordingAdapter()};
    // The next CreateDevice calls fail with these codes, first one first.
    std::vector<GFX_ErrorCode> myCreateFailures;
    // Vertex and index buffers larger than this fail as out of video memory (0: the layer's limit).
    uint32_t myMaxBufferSize = 0;
};

GFX_System* GFX_CreateRecordingSystem(const GFX_RecordingConfig& aConfig = GFX_RecordingConfig());

// The calls a recording system or device received, one line each ("SetRenderState ZENABLE 1").
// Empty for objects of other back ends.
std::vector<std::string>& GFX_RecordedCalls(GFX_System* aSystem);
std::vector<std::string>& GFX_RecordedCalls(GFX_Device* aDevice);
