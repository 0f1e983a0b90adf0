// The recording back end: no GPU, every accepted call written down as a line of text.
#include "platform/gfx/gfx_recording.h"
#include "platform/gfx/gfx_local.h"

#include <algorithm>
#include <cstdio>

static std::vector<std::string> ourNoCalls;

namespace
{

class GFX_RecordingDevice : public GFX_DeviceCommon
{
public:
    GFX_RecordingDevice(const GFX_DeviceDesc& aDesc, const GFX_Caps& aCaps) : GFX_DeviceCommon(aDesc, aCaps)
    {
        myTraceFlag = true;
    }
    std::vector<std::string> myCalls;
    void SetMaxBufferSize(uint32_t aSize) { myMaxBufferSize = aSize; }

protected:
    void TraceLine(const std::string& aLine) override { myCalls.push_back(aLine); }
    bool BackInit() override
    {
        myPixels.assign(size_t(myDesc.myWidth) * myDesc.myHeight, 0xFF000000u);
        return true;
    }
    bool BackCreateBuffer(GFX_Buffer*) override { return true; }
    void BackReleaseBuffer(GFX_Buffer*) override {}
    void BackUploadBuffer(GFX_Buffer*, uint32_t, uint32_t, bool) override {}
    bool BackCreateTexture(GFX_Texture*) override { return true; }
    void BackReleaseTexture(GFX_Texture*) override {}
    void BackUploadTexture(GFX_Texture*, uint32_t, uint32_t) override {}
    bool BackCreateDepthSurface(GFX_Surface*) override { return true; }
    void BackReleaseDepthSurface(GFX_Surface*) override {}
    void BackClear(const GFX_Rect& r, uint32_t aFlags, uint32_t aColor, float, uint32_t) override
    {
        if (!(aFlags & GFX_CLEAR_TARGET) || myRenderTarget != &myBackBuffer)
            return;
        for (int32_t y = r.myTop; y < r.myBottom; ++y)
            std::fill(&myPixels[size_t(y) * myDesc.myWidth + r.myLeft], &myPixels[size_t(y) * myDesc.myWidth + r.myRight],
                      aColor);
    }
    bool BackDraw(const DrawCall&) override { return true; }
    bool BackReadSurface(GFX_Surface* aSurface, uint32_t* aPixels, uint32_t aPitch) override
    {
        for (uint32_t y = 0; y < aSurface->myHeight; ++y)
        {
            uint32_t* locRow = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(aPixels) + size_t(y) * aPitch);
            for (uint32_t x = 0; x < aSurface->myWidth; ++x)
                locRow[x] = aSurface == &myBackBuffer ? myPixels[size_t(y) * myDesc.myWidth + x] : 0;
        }
        return true;
    }
    void BackPresent() override { myFrontPixels.assign(myPixels.begin(), myPixels.end()); }
    bool BackReset() override
    {
        myPixels.assign(size_t(myDesc.myWidth) * myDesc.myHeight, 0xFF000000u);
        return true;
    }

private:
    std::vector<uint32_t> myPixels; // the back buffer, as far as clears made it
};

class GFX_RecordingSystem : public GFX_System
{
public:
    explicit GFX_RecordingSystem(const GFX_RecordingConfig& aConfig) : myConfig(aConfig) {}
    std::vector<std::string> myCalls;

    uint32_t GetAdapterCount() override
    {
        Log("GetAdapterCount");
        return uint32_t(myConfig.myAdapters.size());
    }
    bool GetAdapterInfo(uint32_t anAdapter, GFX_AdapterInfo* anInfoOut) override
    {
        Log("GetAdapterInfo %u", anAdapter);
        if (!Adapter(anAdapter))
            return false;
        *anInfoOut = myConfig.myAdapters[anAdapter].myInfo;
        return true;
    }
    bool GetCaps(uint32_t anAdapter, GFX_Caps* aCapsOut) override
    {
        Log("GetCaps %u", anAdapter);
        if (!Adapter(anAdapter))
            return false;
        *aCapsOut = myConfig.myAdapters[anAdapter].myCaps;
        return true;
    }
    uint32_t GetModeCount(uint32_t anAdapter, GFX_Format aFormat) override
    {
        Log("GetModeCount %u %s", anAdapter, GFX_FormatName(aFormat));
        if (anAdapter >= myConfig.myAdapters.size())
            return 0;
        const auto& m = myConfig.myAdapters[anAdapter].myModes;
        return uint32_t(std::count_if(m.begin(), m.end(), [aFormat](const GFX_DisplayMode& d) { return d.myFormat == aFormat; }));
    }
    bool GetMode(uint32_t anAdapter, GFX_Format aFormat, uint32_t anIndex, GFX_DisplayMode* aModeOut) override
    {
        Log("GetMode %u %s %u", anAdapter, GFX_FormatName(aFormat), anIndex);
        if (!Adapter(anAdapter))
            return false;
        for (const GFX_DisplayMode& d : myConfig.myAdapters[anAdapter].myModes)
            if (d.myFormat == aFormat && anIndex-- == 0)
            {
                *aModeOut = d;
                return true;
            }
        GFX_SetError(GFX_ERROR_INVALID_CALL, "no such mode");
        return false;
    }
    bool GetDesktopMode(uint32_t anAdapter, GFX_DisplayMode* aModeOut) override
    {
        Log("GetDesktopMode %u", anAdapter);
        if (!Adapter(anAdapter))
            return false;
        *aModeOut = myConfig.myAdapters[anAdapter].myDesktop;
        return true;
    }
    bool GetDesktopGammaRamp(uint16_t aRed[256], uint16_t aGreen[256], uint16_t aBlue[256]) override
    {
        Log("GetDesktopGammaRamp");
        for (int i = 0; i < 256; ++i)
            aRed[i] = aGreen[i] = aBlue[i] = uint16_t(i * 257);
        return true;
    }
    bool CheckDeviceType(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aBackBufferFormat,
                         bool aWindowedFlag) override
    {
        Log("CheckDeviceType %u %s %s %d", anAdapter, GFX_FormatName(aDisplayFormat), GFX_FormatName(aBackBufferFormat),
            aWindowedFlag ? 1 : 0);
        if (anAdapter >= myConfig.myAdapters.size())
            return false;
        const GFX_RecordingAdapter& a = myConfig.myAdapters[anAdapter];
        if (aWindowedFlag && aDisplayFormat != a.myDesktop.myFormat)
            return false;
        if (GFX_FormatBytesPerPixel(aDisplayFormat) != GFX_FormatBytesPerPixel(aBackBufferFormat))
            return false;
        return Has(a.myBackBufferFormats, aBackBufferFormat);
    }
    bool CheckDeviceFormat(uint32_t anAdapter, GFX_Format aDisplayFormat, uint32_t aUsage, GFX_ResourceType aType,
                           GFX_Format aFormat) override
    {
        Log("CheckDeviceFormat %u %s %u %u %s", anAdapter, GFX_FormatName(aDisplayFormat), aUsage, aType,
            GFX_FormatName(aFormat));
        if (anAdapter >= myConfig.myAdapters.size())
            return false;
        const GFX_RecordingAdapter& a = myConfig.myAdapters[anAdapter];
        if (aUsage & GFX_USAGE_DEPTHSTENCIL)
            return Has(a.myDepthFormats, aFormat);
        if (aUsage & GFX_USAGE_RENDERTARGET)
            return Has(a.myRenderTargetFormats, aFormat);
        return Has(a.myTextureFormats, aFormat);
    }
    bool CheckDepthStencilMatch(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aTargetFormat,
                                GFX_Format aDepthFormat) override
    {
        Log("CheckDepthStencilMatch %u %s %s %s", anAdapter, GFX_FormatName(aDisplayFormat),
            GFX_FormatName(aTargetFormat), GFX_FormatName(aDepthFormat));
        return anAdapter < myConfig.myAdapters.size() && Has(myConfig.myAdapters[anAdapter].myDepthFormats, aDepthFormat);
    }
    bool CheckMultiSampleType(uint32_t anAdapter, GFX_Format aFormat, bool aWindowedFlag, uint32_t aType) override
    {
        Log("CheckMultiSampleType %u %s %d %u", anAdapter, GFX_FormatName(aFormat), aWindowedFlag ? 1 : 0, aType);
        return anAdapter < myConfig.myAdapters.size() &&
               (aType == 0 || (aType >= 2 && aType <= myConfig.myAdapters[anAdapter].myMaxMultiSampleType));
    }
    GFX_Device* CreateDevice(const GFX_DeviceDesc& aDesc) override
    {
        Log("CreateDevice %d %ux%u %s %s windowed %d depth %d %s multisample %u interval %u", aDesc.myAdapter,
            aDesc.myWidth, aDesc.myHeight, GFX_FormatName(aDesc.myBackBufferFormat), "", aDesc.myWindowedFlag ? 1 : 0,
            aDesc.myAutoDepthStencilFlag ? 1 : 0, GFX_FormatName(aDesc.myDepthStencilFormat), aDesc.myMultiSampleType,
            aDesc.myPresentInterval);
        if (!myConfig.myCreateFailures.empty())
        {
            const GFX_ErrorCode locCode = myConfig.myCreateFailures.front();
            myConfig.myCreateFailures.erase(myConfig.myCreateFailures.begin());
            GFX_SetError(locCode, "scripted failure");
            return nullptr;
        }
        if (aDesc.myAdapter < 0 || !Adapter(uint32_t(aDesc.myAdapter)))
            return nullptr;
        const GFX_RecordingAdapter& a = myConfig.myAdapters[aDesc.myAdapter];
        if (aDesc.myWidth == 0 || aDesc.myHeight == 0 || !Has(a.myBackBufferFormats, aDesc.myBackBufferFormat) ||
            (aDesc.myAutoDepthStencilFlag && !Has(a.myDepthFormats, aDesc.myDepthStencilFormat)) ||
            (aDesc.myMultiSampleType != 0 &&
             (aDesc.myMultiSampleType < 2 || aDesc.myMultiSampleType > a.myMaxMultiSampleType)) ||
            !(aDesc.myPresentInterval & a.myCaps.myPresentIntervals))
        {
            GFX_SetError(GFX_ERROR_NOT_AVAILABLE, "device not offered");
            return nullptr;
        }
        GFX_RecordingDevice* locDevice = new GFX_RecordingDevice(aDesc, a.myCaps);
        if (myConfig.myMaxBufferSize)
            locDevice->SetMaxBufferSize(myConfig.myMaxBufferSize);
        if (!locDevice->Init())
        {
            delete locDevice;
            return nullptr;
        }
        return locDevice;
    }
    void DestroyDevice(GFX_Device* aDevice) override
    {
        Log("DestroyDevice live %u", aDevice ? aDevice->GetLiveObjectCount() : 0);
        delete aDevice;
    }

private:
    void Log(const char* aFormat, ...) __attribute__((format(printf, 2, 3)))
    {
        char locLine[256];
        va_list locArgs;
        va_start(locArgs, aFormat);
        vsnprintf(locLine, sizeof(locLine), aFormat, locArgs);
        va_end(locArgs);
        myCalls.push_back(locLine);
    }
    bool Adapter(uint32_t anAdapter)
    {
        if (anAdapter < myConfig.myAdapters.size())
            return true;
        GFX_SetError(GFX_ERROR_NOT_AVAILABLE, "adapter %u", anAdapter);
        return false;
    }
    static bool Has(const std::vector<GFX_Format>& aList, GFX_Format aFormat)
    {
        return std::find(aList.begin(), aList.end(), aFormat) != aList.end();
    }

    GFX_RecordingConfig myConfig;
};

} // namespace

GFX_RecordingAdapter GFX_DefaultRecordingAdapter()
{
    GFX_RecordingAdapter a;
    snprintf(a.myInfo.myDescription, sizeof(a.myInfo.myDescription), "Recording adapter");
    GFX_Caps& c = a.myCaps;
    c.myMaxTextureWidth = c.myMaxTextureHeight = 4096;
    c.myMaxSimultaneousTextures = 8;
    c.myMaxTextureBlendStages = 8;
    c.myMaxActiveLights = 8;
    c.myMaxAnisotropy = 16;
    c.myVertexShaderVersion = 0x101;
    c.myPixelShaderVersion = 0x104;
    c.myPresentIntervals = GFX_PRESENT_INTERVAL_ONE | GFX_PRESENT_INTERVAL_IMMEDIATE;
    c.myStencilOps = 0xFF;
    c.myZCompareFuncs = 0xFF;
    c.myHardwareTransformFlag = c.myDynamicTexturesFlag = c.myNonPow2ConditionalFlag = true;
    c.myDrawTransformedFlag = c.myCullModesFlag = c.myColorWriteMaskFlag = true;
    c.myRangeFogFlag = c.myMipLodBiasFlag = true;
    a.myDesktop = {1024, 768, 60, GFX_FORMAT_X8R8G8B8};
    for (GFX_Format f : {GFX_FORMAT_X8R8G8B8, GFX_FORMAT_R5G6B5})
        for (uint32_t s : {640u, 800u, 1024u})
            a.myModes.push_back({s, s * 3 / 4, 60, f});
    a.myBackBufferFormats = {GFX_FORMAT_X8R8G8B8, GFX_FORMAT_A8R8G8B8, GFX_FORMAT_R5G6B5, GFX_FORMAT_X1R5G5B5,
                             GFX_FORMAT_A1R5G5B5};
    for (uint32_t f = GFX_FORMAT_R8G8B8; f <= GFX_FORMAT_DXT5; ++f)
        a.myTextureFormats.push_back(GFX_Format(f));
    a.myRenderTargetFormats = {GFX_FORMAT_A8R8G8B8, GFX_FORMAT_X8R8G8B8, GFX_FORMAT_R5G6B5};
    a.myDepthFormats = {GFX_FORMAT_D16, GFX_FORMAT_D24S8, GFX_FORMAT_D24X8, GFX_FORMAT_D32};
    return a;
}

GFX_System* GFX_CreateRecordingSystem(const GFX_RecordingConfig& aConfig)
{
    return new GFX_RecordingSystem(aConfig);
}

std::vector<std::string>& GFX_RecordedCalls(GFX_System* aSystem)
{
    GFX_RecordingSystem* locSystem = dynamic_cast<GFX_RecordingSystem*>(aSystem);
    return locSystem ? locSystem->myCalls : (ourNoCalls.clear(), ourNoCalls);
}

std::vector<std::string>& GFX_RecordedCalls(GFX_Device* aDevice)
{
    GFX_RecordingDevice* locDevice = dynamic_cast<GFX_RecordingDevice*>(aDevice);
    return locDevice ? locDevice->myCalls : (ourNoCalls.clear(), ourNoCalls);
}
