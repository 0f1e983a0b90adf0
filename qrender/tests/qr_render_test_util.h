// A renderer started on the recording device layer, for the logic tests.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/gfx/gfx_recording.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_vertexshader.h"

class RecordingRender : public testing::Test
{
protected:
    static GFX_RecordingConfig ourConfig;
    static GFX_System* MakeSystem() { return GFX_CreateRecordingSystem(ourConfig); }

    void SetUp() override
    {
        ourConfig = GFX_RecordingConfig();
        QR_RenderD3D::ourSystemFactory = MakeSystem;
        mySettings.myFullScreenFlag = 0;
        mySettings.myBitsPerPixel = 32;
        mySettings.myWidth = 64;
        mySettings.myHeight = 48;
        QR_VertexShader::ourWorldMatrix = nullptr;
        QR_VertexShader::ourObjectMatrix = nullptr;
        QR_VertexShader::ourNumBoneMatrices = 0;
    }
    void TearDown() override
    {
        QR_Render::Destroy();
        QR_Render::ourHooks = QR_RenderHooks();
    }

    bool Start(const QR_RenderStartupOptions* anOptions = nullptr)
    {
        return QR_Render::Create(nullptr, anOptions) && QR_Render::ourInstance->Init(&mySettings);
    }
    static QR_Render* R() { return QR_Render::ourInstance; }
    static std::vector<std::string>& Calls() { return GFX_RecordedCalls(QR_RenderD3D::ourDevice); }
    static int Count(const std::string& aPrefix)
    {
        int n = 0;
        for (const std::string& s : Calls())
            n += s.compare(0, aPrefix.size(), aPrefix) == 0;
        return n;
    }
    // The vertices of the last indexed draw, read back from the dynamic vertex buffer.
    template <class Vertex> static std::vector<Vertex> LastDrawnVertices()
    {
        std::istringstream locLine(Last("DrawIndexedPrimitive"));
        std::string locName;
        uint32_t locType = 0, locBase = 0, locMin = 0, locCount = 0;
        locLine >> locName >> locType >> locBase >> locMin >> locCount;
        void* p = nullptr;
        GFX_Buffer* b = R()->myDynamicVertexBuffer->myDeviceBuffer->myBuffer;
        if (!QR_RenderD3D::ourDevice->LockBuffer(b, locMin * sizeof(Vertex), locCount * sizeof(Vertex),
                                                 GFX_LOCK_READONLY, &p))
            return {};
        std::vector<Vertex> v((Vertex*)p, (Vertex*)p + locCount);
        QR_RenderD3D::ourDevice->UnlockBuffer(b);
        return v;
    }
    static std::string Last(const std::string& aPrefix)
    {
        std::vector<std::string>& c = Calls();
        for (size_t i = c.size(); i-- > 0;)
            if (c[i].compare(0, aPrefix.size(), aPrefix) == 0)
                return c[i];
        return "";
    }

    QR_RenderSettings mySettings;
};
