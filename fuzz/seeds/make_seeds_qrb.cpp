// Writes ".qrb" seeds for fuzz_qrb with the model editor's writer: templates
// built in memory over the fuzz target's files ("s.sur" with a bump-map slot
// and two texture slots, "fx.pe", the texture "fz"), then written.
// Usage: make_seeds_qrb <corpus folder>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "modeleditor/tests/me_qrbmodel.h"
#include "qrender/qr_render.h"
#include "qrender/tests/qr_pe_writer.h"
#include "seed_file.h"

namespace
{
const char locSurface[] = "VERSION 1\r\nNUM_DEFAULT_TEXTURES 3\r\nBUMPMAP fz\r\nTEXTURE 2 fz fz 8.0\r\nTEXTURE fz\r\n"
                          "NUM_CONFIGS 1\r\nCONFIG DEFAULT\r\nCONFIG_FLAGS\r\nNUM_PASSES 1\r\n"
                          "FRAMEBUFFERBLENDING ONE ONE\r\nALPHATEST OFF\r\nZWRITE DEFAULT\r\nFOGCOLOR 0xff808080\r\n"
                          "NUM_REMAP_ENTRIES 4\r\n0\r\n1\r\n2\r\n17 DOT3CALC\r\nNUM_INSTRUCTIONS 3\r\n"
                          "MUL_CLAMP TEMP0.RGB TEXTURE1.RGB VERTEX0.RGB\r\nMOV_CLAMP TEMP0.A VERTEX0.A\r\n"
                          "MAD_CLAMP TEMP1.RGB 1-TEXTURE2.RGB TEMP0.A CONSTANT.RGB\r\n";

QRB_TestModel locModel(bool aSkinnedFlag)
{
    QRB_TestModel m;
    m.myRadius = 2.5f;
    m.myCentre[1] = 0.5f;
    QRB_TestPart p;
    p.myName = "body";
    p.myMeshName = "quad";
    p.myMesh = QRB_TestQuad("s.sur");
    p.myMesh.myStages = {0, 0 | 1u << 16, 0};
    p.myMesh.myStagePathFlags = {false, true, false};
    p.myMesh.myStagePaths = {QRB_LinearPath({{0, {0, 0, 0, 0, 0, 0}}, {1, {1, 0, 0, 0, 0, 0}}}, true)};
    p.myMesh.mySettings[3] = 2;
    p.mySlots = {{1, 1.0f, {"fz"}}, {0, 20.0f, {"fz", "fz"}}};
    p.myTextureWord = 128;
    QRB_TestState s;
    s.myId = 1;
    s.myPath = QRB_LinearPath({{0, {0, 0, 0, 0, 0, 0}}, {1, {0, 1, 0, 0, 3, 0}}}, true, 0.5f);
    QRB_TestState t = s;
    t.myId = 2;
    t.myBlendTime = 0.3f;
    t.myDuration = 1.0f;
    t.myNextState = -2;
    t.myRestarts = 1;
    p.myStates = {s, t};
    m.myParts.push_back(p);
    QRB_TestPart q = p;
    q.myName = "copy";
    q.mySlots.clear();
    for (QRB_TestState& c : q.myStates)
        c.myParent = 0;
    m.myParts.push_back(q);
    if (aSkinnedFlag)
        for (int i = 0; i < 3; i++)
        {
            QRB_TestPart b;
            b.myName = "bone" + std::to_string(i);
            b.mySkinGroup = 2;
            b.myMeshName = "arm";
            b.myMesh = QRT_ArmMesh("");
            b.myMatrix[12] = -(float)i;
            b.myStates = {s};
            b.myStates[0].myParent = i == 0 ? 0 : 1 + i;
            m.myParts.push_back(b);
        }
    m.myLinks = {{0, "fx", 2}};
    m.myStrings = {"ST0=TIME*2"};
    QRB_TestLight l;
    l.myPartIndex = 0;
    l.myType = 1;
    l.myHaloSurface = "internal_alpha";
    l.myHaloTexture = "fz";
    l.myPathFlags[0] = true;
    l.myPaths[0] = QRB_LinearPath({{0, {0, 0, 0}}, {1, {0, 1, 0}}}, true);
    m.myLights.push_back(l);
    l.myType = 3;
    l.myPathFlags[0] = false;
    l.myPathFlags[1] = true;
    l.myPaths[1] = QRB_TestPath::Constant({1, 0.5f, 0.25f});
    l.myCones[0] = 0.5f, l.myCones[1] = 0.9f;
    m.myLights.push_back(l);
    l.myType = 0;
    l.myHaloSurface.clear();
    m.myLights.push_back(l);
    return m;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_seeds_qrb <corpus folder>\n");
        return 2;
    }
    // The templates are built in a scratch folder holding the files they name.
    char locCorpus[4096];
    char locScratch[] = "/tmp/make_seeds_qrb.XXXXXX";
    if (!realpath(argv[1], locCorpus) || !mkdtemp(locScratch) || chdir(locScratch) != 0)
    {
        fprintf(stderr, "make_seeds_qrb: no corpus folder %s or scratch folder\n", argv[1]);
        return 1;
    }
    std::vector<uint32_t> locPixels(16 * 16, 0xFF808080);
    QR_SharedGenericParticleData d;
    d.myTotalTime = 1, d.mySpawnTime = 0.1f, d.mySizeMin = d.mySizeMax = 1;
    d.myNumPhases = 1;
    d.myPhases = new QR_ParticlePhase[1]();
    d.myPhases[0].myLength = 1;
    if (!QRT_WriteText("s.sur", locSurface) || !QRT_WriteFile("fz.tga", QRT_MakeTGA(16, 16, 32, locPixels, false, false)) ||
        !QRT_WriteText("fx.pe", QRT_WritePe(d, "INTERNAL_ALPHA", "fz", nullptr)))
    {
        fprintf(stderr, "make_seeds_qrb: cannot write the scratch files\n");
        return 1;
    }
    d.mySurfaceInstance = nullptr;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 64;
    s.myHeight = 64;
    // Fixed-function stages, as the target runs: the bump map needs no pixel shader.
    s.myPixelShaderFlag = 0;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "make_seeds_qrb: no renderer\n");
        return 1;
    }
    int locResult = 0;
    const char* locNames[2] = {"writer_model.qrb", "writer_skinned.qrb"};
    for (int i = 0; i < 2; i++)
    {
        QR_TemplateObject* t = MET_TemplateFromDescription("seed", locModel(i == 1));
        std::vector<uint8_t> b;
        if (!t || !QRBWriter().WriteToMemory(t, b))
        {
            fprintf(stderr, "make_seeds_qrb: %s not built (editor error %u %s)\n", locNames[i], EditorError::Get(),
                    EditorError::GetDetail());
            locResult = 1;
        }
        else
            WriteSeed(locCorpus, "fuzz_qrb", locNames[i], b.data(), b.size());
        if (t)
            t->Release();
    }
    QR_Render::Destroy();
    return locResult;
}
