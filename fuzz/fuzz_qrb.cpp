// The ".qrb" model reader: the input is the model file "m.qrb"; beside it lie the particle
// definition "fx.pe" and the surface "s.sur", and the memory texture "fz" can be named. A
// model that loads is acquired again (shared), reloaded and released; afterwards no
// template, mesh or particle definition may be left.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz_render.h"
#include "fuzz_util.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_templateobject.h"

static const char locPe[] = "GENERIC\r\nFLAGS ENABLED\r\nRADIUS 1\r\nEMITORIGIN POINT\r\nTYPE CAMERAFACING\r\n"
                            "SURFACE INTERNAL_ALPHA\r\nTEXTURE fz\r\nTEXTUREROTATION NONE\r\nTOTALTIME 1\r\n"
                            "SPAWNTIME 0.1\r\nSPACE WORLD\r\nVELX 0 0\r\nVELY 0 0\r\nVELZ 0 0\r\nSIZE 1 1\r\n"
                            "ALPHA 255 255\r\nNUM_PHASES 1\r\nLENGTH 1\r\nSPACE WORLD\r\nVELX 0 0 SET\r\n"
                            "VELY 0 0 SET\r\nVELZ 0 0 SET\r\nSIZE 1 1 SET\r\nALPHA 0 0 SET\r\n";
static const char locSurface[] =
    "VERSION 1\r\n"
    "NUM_DEFAULT_TEXTURES 3\r\n"
    "BUMPMAP fz\r\n"
    "TEXTURE 2 fz fz 8.0\r\n"
    "TEXTURE fz\r\n"
    "NUM_CONFIGS 1\r\n"
    "CONFIG DEFAULT\r\n"
    "CONFIG_FLAGS\r\n"
    "NUM_PASSES 1\r\n"
    "FRAMEBUFFERBLENDING ONE ONE\r\n"
    "ALPHATEST OFF\r\n"
    "ZWRITE DEFAULT\r\n"
    "FOGCOLOR 0xff808080\r\n"
    "NUM_REMAP_ENTRIES 4\r\n"
    "0\r\n"
    "1\r\n"
    "2\r\n"
    "17 DOT3CALC\r\n"
    "NUM_INSTRUCTIONS 3\r\n"
    "MUL_CLAMP TEMP0.RGB TEXTURE1.RGB VERTEX0.RGB\r\n"
    "MOV_CLAMP TEMP0.A VERTEX0.A\r\n"
    "MAD_CLAMP TEMP1.RGB 1-TEXTURE2.RGB TEMP0.A CONSTANT.RGB\r\n";

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    // Fixed-function stages: the surface's bump map needs no pixel shader.
    FuzzRenderer()->myRenderSettings.myPixelShaderFlag = 0;
    static bool ourFilesWritten = [] {
        FuzzScratch::Write("fx.pe", locPe, sizeof(locPe) - 1);
        FuzzScratch::Write("s.sur", locSurface, sizeof(locSurface) - 1);
        return true;
    }();
    (void)ourFilesWritten;
    FuzzScratch::Write("m.qrb", aData, aSize);
    FuzzScratch::Inside locInside;
    QR_TemplateObject* locTemplate = QR_TemplateObject::Acquire("m.qrb");
    if (getenv("FUZZ_QRB_VERBOSE"))
        fprintf(stderr, "m.qrb: %s, code %u %s\n", locTemplate ? "loaded" : "refused", QR_Error::ourCode,
                QR_Error::ourText);
    if (locTemplate)
    {
        if (QR_TemplateObject::Acquire("M.QRB") != locTemplate)
            abort();
        QR_TemplateObject::ReloadAll();
        locTemplate->Release();
        locTemplate->Release();
    }
    if (QR_TemplateObject::ourNumTemplates || QR_Mesh::ourFirst || QR_SharedParticleData::ourFirst)
        abort();
    return 0;
}
