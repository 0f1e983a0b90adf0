// The fixed-function pipeline as generated GLSL: the key of the states that shape a
// program, and the vertex and fragment texts built from it (transform, lighting, fog,
// texture coordinates, the texture-stage combiner, alpha test).
//
// [SECTION] Key
// [SECTION] Vertex program
// [SECTION] Fragment program: arguments and operations
// [SECTION] Fragment program
// [SECTION] Shader programs
// [SECTION] Build and link
#include "platform/gfx/gfx_gl_local.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// [SECTION] Key -----------------------------------------------------------------------------

uint32_t GFX_GLAttribLocation(const GFX_VertexElement& e)
{
    switch (e.myUsage)
    {
        case GFX_DECLUSAGE_POSITION:
        case GFX_DECLUSAGE_POSITIONT: return e.myUsageIndex == 0 ? GFX_GL_ATTRIB_POSITION : GFX_GL_ATTRIB_NONE;
        case GFX_DECLUSAGE_NORMAL: return e.myUsageIndex == 0 ? GFX_GL_ATTRIB_NORMAL : GFX_GL_ATTRIB_NONE;
        case GFX_DECLUSAGE_COLOR:
            return e.myUsageIndex < 2 ? GFX_GL_ATTRIB_COLOR0 + e.myUsageIndex : GFX_GL_ATTRIB_NONE;
        case GFX_DECLUSAGE_TEXCOORD:
            return e.myUsageIndex < 8 ? GFX_GL_ATTRIB_TEXCOORD0 + e.myUsageIndex : GFX_GL_ATTRIB_NONE;
        case GFX_DECLUSAGE_BLENDWEIGHT: return GFX_GL_ATTRIB_BLENDWEIGHT;
        case GFX_DECLUSAGE_BLENDINDICES: return GFX_GL_ATTRIB_BLENDINDICES;
        case GFX_DECLUSAGE_TANGENT: return GFX_GL_ATTRIB_TANGENT;
        case GFX_DECLUSAGE_BINORMAL: return GFX_GL_ATTRIB_BINORMAL;
        default: return GFX_GL_ATTRIB_NONE;
    }
}

static uint32_t locComponents(GFX_DeclType aType)
{
    switch (aType)
    {
        case GFX_DECLTYPE_FLOAT1: return 1;
        case GFX_DECLTYPE_FLOAT2:
        case GFX_DECLTYPE_SHORT2:
        case GFX_DECLTYPE_SHORT2N:
        case GFX_DECLTYPE_USHORT2N: return 2;
        case GFX_DECLTYPE_FLOAT3: return 3;
        default: return 4;
    }
}

void GFX_GLActiveLights(const GFX_State& aState, const GFX_LightSlot** aLightsOut, uint32_t* aCountOut)
{
    uint32_t n = 0;
    for (const GFX_LightSlot& locSlot : aState.myLights)
        if (locSlot.myEnabledFlag && n < GFX_MAX_ACTIVE_LIGHTS)
            aLightsOut[n++] = &locSlot;
    *aCountOut = n;
}

static bool locReadsTexture(uint32_t anOp, const uint8_t* anArgs)
{
    if (anOp == GFX_TOP_BLENDTEXTUREALPHA || anOp == GFX_TOP_BLENDTEXTUREALPHAPM || anOp == GFX_TOP_BUMPENVMAP ||
        anOp == GFX_TOP_BUMPENVMAPLUMINANCE)
        return true;
    for (int i = 0; i < 3; ++i)
        if ((anArgs[i] & GFX_TA_SELECTMASK) == GFX_TA_TEXTURE)
            return true;
    return false;
}

// Arguments an operation does not read are zeroed so that equal programs share one key.
static void locTrimArgs(uint8_t anOp, uint8_t* anArgs)
{
    const bool locThree = anOp == GFX_TOP_MULTIPLYADD || anOp == GFX_TOP_LERP;
    if (!locThree)
        anArgs[2] = 0;
    if (anOp == GFX_TOP_SELECTARG1 || anOp == GFX_TOP_DISABLE || anOp == GFX_TOP_BUMPENVMAP ||
        anOp == GFX_TOP_BUMPENVMAPLUMINANCE)
        anArgs[1] = 0;
    if (anOp == GFX_TOP_SELECTARG2 || anOp == GFX_TOP_DISABLE || anOp == GFX_TOP_BUMPENVMAP ||
        anOp == GFX_TOP_BUMPENVMAPLUMINANCE)
        anArgs[0] = 0;
}

void GFX_GLBuildKey(const GFX_State& s, GFX_GLProgramKey* k)
{
    memset(k, 0, sizeof(*k));
    uint8_t locCoordSize[8] = {};
    bool locHasPosition = false;
    if (s.myDecl)
        for (const GFX_VertexElement& e : s.myDecl->myElements)
        {
            const uint32_t locLoc = GFX_GLAttribLocation(e);
            if (locLoc == GFX_GL_ATTRIB_POSITION)
            {
                locHasPosition = true;
                k->myPretransformedFlag = e.myUsage == GFX_DECLUSAGE_POSITIONT;
            }
            else if (locLoc == GFX_GL_ATTRIB_NORMAL)
                k->myHasNormal = 1;
            else if (locLoc == GFX_GL_ATTRIB_COLOR0)
                k->myHasColor0 = 1;
            else if (locLoc == GFX_GL_ATTRIB_COLOR1)
                k->myHasColor1 = 1;
            else if (locLoc >= GFX_GL_ATTRIB_TEXCOORD0 && locLoc < GFX_GL_ATTRIB_TEXCOORD0 + 8)
                locCoordSize[locLoc - GFX_GL_ATTRIB_TEXCOORD0] = uint8_t(locComponents(e.myType));
        }
    (void)locHasPosition;
    const uint32_t* rs = s.myRS;
    k->myLightingFlag = rs[GFX_RS_LIGHTING] && !k->myPretransformedFlag;
    k->mySpecularFlag = rs[GFX_RS_SPECULARENABLE] != 0;
    if (k->myLightingFlag)
    {
        const GFX_LightSlot* locLights[GFX_MAX_ACTIVE_LIGHTS];
        uint32_t locCount = 0;
        GFX_GLActiveLights(s, locLights, &locCount);
        k->myNumLights = uint8_t(locCount);
        for (uint32_t i = 0; i < locCount; ++i)
            k->myLightTypes[i] = uint8_t(locLights[i]->myLight.myType);
        k->myLocalViewerFlag = rs[GFX_RS_LOCALVIEWER] != 0;
        k->myNormalizeFlag = rs[GFX_RS_NORMALIZENORMALS] != 0;
        auto locSource = [&](GFX_RenderState aState) -> uint8_t {
            if (!rs[GFX_RS_COLORVERTEX])
                return GFX_MCS_MATERIAL;
            if (rs[aState] == GFX_MCS_COLOR1 && k->myHasColor0)
                return GFX_MCS_COLOR1;
            if (rs[aState] == GFX_MCS_COLOR2 && k->myHasColor1)
                return GFX_MCS_COLOR2;
            return GFX_MCS_MATERIAL;
        };
        k->myDiffuseSource = locSource(GFX_RS_DIFFUSEMATERIALSOURCE);
        k->myAmbientSource = locSource(GFX_RS_AMBIENTMATERIALSOURCE);
        k->mySpecularSource = locSource(GFX_RS_SPECULARMATERIALSOURCE);
        k->myEmissiveSource = locSource(GFX_RS_EMISSIVEMATERIALSOURCE);
    }
    if (rs[GFX_RS_FOGENABLE])
    {
        if (rs[GFX_RS_FOGTABLEMODE] != GFX_FOG_NONE)
        {
            k->myFogKind = 2;
            k->myFogFormula = uint8_t(rs[GFX_RS_FOGTABLEMODE]);
        }
        else if (rs[GFX_RS_FOGVERTEXMODE] != GFX_FOG_NONE && !k->myPretransformedFlag)
        {
            k->myFogKind = 1;
            k->myFogFormula = uint8_t(rs[GFX_RS_FOGVERTEXMODE]);
            k->myRangeFogFlag = rs[GFX_RS_RANGEFOGENABLE] != 0;
        }
        else
            k->myFogKind = 3;
        if (k->myFogKind != 3 && k->myFogFormula > GFX_FOG_LINEAR)
            k->myFogFormula = GFX_FOG_LINEAR;
        // A projection whose fourth column is (0, 0, 0, 1) gives no eye distance in w: the
        // per-pixel formula then reads the depth in device units.
        const GFX_Matrix& p = s.myTransforms[GFX_TS_PROJECTION];
        if (k->myFogKind == 2 && p.m[0][3] == 0.0f && p.m[1][3] == 0.0f && p.m[2][3] == 0.0f && p.m[3][3] == 1.0f)
            k->myFogDeviceDepthFlag = 1;
    }
    k->myFlatFlag = rs[GFX_RS_SHADEMODE] == GFX_SHADE_FLAT;
    if (rs[GFX_RS_ALPHATESTENABLE] && rs[GFX_RS_ALPHAFUNC] != GFX_CMP_ALWAYS)
        k->myAlphaFunc = uint8_t(rs[GFX_RS_ALPHAFUNC] >= GFX_CMP_NEVER && rs[GFX_RS_ALPHAFUNC] <= GFX_CMP_ALWAYS
                                     ? rs[GFX_RS_ALPHAFUNC]
                                     : GFX_CMP_ALWAYS);
    if (k->myAlphaFunc == GFX_CMP_ALWAYS)
        k->myAlphaFunc = 0;

    for (uint32_t i = 0; i < GFX_MAX_STAGES; ++i)
    {
        const uint32_t* t = s.myTSS[i];
        if (t[GFX_TSS_COLOROP] == GFX_TOP_DISABLE || t[GFX_TSS_COLOROP] > GFX_TOP_LERP ||
            t[GFX_TSS_COLOROP] < GFX_TOP_DISABLE)
            break;
        GFX_GLStageKey& g = k->myStages[i];
        g.myColorOp = uint8_t(t[GFX_TSS_COLOROP]);
        g.myAlphaOp = uint8_t(t[GFX_TSS_ALPHAOP] >= GFX_TOP_DISABLE && t[GFX_TSS_ALPHAOP] <= GFX_TOP_LERP
                                  ? t[GFX_TSS_ALPHAOP]
                                  : GFX_TOP_DISABLE);
        g.myColorArgs[0] = uint8_t(t[GFX_TSS_COLORARG1]);
        g.myColorArgs[1] = uint8_t(t[GFX_TSS_COLORARG2]);
        g.myColorArgs[2] = uint8_t(t[GFX_TSS_COLORARG0]);
        g.myAlphaArgs[0] = uint8_t(t[GFX_TSS_ALPHAARG1]);
        g.myAlphaArgs[1] = uint8_t(t[GFX_TSS_ALPHAARG2]);
        g.myAlphaArgs[2] = uint8_t(t[GFX_TSS_ALPHAARG0]);
        locTrimArgs(g.myColorOp, g.myColorArgs);
        locTrimArgs(g.myAlphaOp, g.myAlphaArgs);
        g.myResultTemp = (t[GFX_TSS_RESULTARG] & GFX_TA_SELECTMASK) == GFX_TA_TEMP;
        const bool locAlphaUsed = g.myColorOp != GFX_TOP_DOTPRODUCT3 && g.myAlphaOp != GFX_TOP_DISABLE;
        const bool locPrevBump = i > 0 && (k->myStages[i - 1].myColorOp == GFX_TOP_BUMPENVMAP ||
                                           k->myStages[i - 1].myColorOp == GFX_TOP_BUMPENVMAPLUMINANCE);
        const bool locReads = locReadsTexture(g.myColorOp, g.myColorArgs) ||
                              (locAlphaUsed && locReadsTexture(g.myAlphaOp, g.myAlphaArgs)) || locPrevBump;
        const GFX_Texture* locTexture = s.myTextures[i];
        if (locReads && locTexture)
        {
            g.myTexKind = locTexture->myDesc.myCubeFlag ? 2 : 1;
            const uint32_t locIndex = t[GFX_TSS_TEXCOORDINDEX];
            g.myCoordSet = uint8_t(locIndex & 7);
            g.myCoordGen = uint8_t((locIndex >> 16) & 3);
            g.myCoordSize = g.myCoordGen ? 3 : locCoordSize[g.myCoordSet];
            const uint32_t locFlags = t[GFX_TSS_TEXTURETRANSFORMFLAGS];
            g.myTransformCount = uint8_t(locFlags & 7) > 4 ? 4 : uint8_t(locFlags & 7);
            g.myProjectedFlag = (locFlags & GFX_TTF_PROJECTED) != 0;
        }
        else if (locReads)
            g.myTexKind = 0;
        g.myCoordsFlag = g.myTexKind != 0;
        k->myNumStages = uint8_t(i + 1);
    }

    if (s.myPixelShader)
    {
        // The shader reads coordinates of its stages whatever is bound; no combiner.
        k->myPixelShader = s.myPixelShader->myId;
        k->myNumStages = uint8_t(std::min(s.myPixelShader->myStageCount, GFX_MAX_STAGES));
        for (uint32_t i = 0; i < GFX_MAX_STAGES; ++i)
        {
            GFX_GLStageKey& g = k->myStages[i];
            memset(&g, 0, sizeof(g));
            if (i >= k->myNumStages)
                continue;
            const uint32_t* t = s.myTSS[i];
            const GFX_Texture* locTexture = s.myTextures[i];
            g.myTexKind = locTexture ? (locTexture->myDesc.myCubeFlag ? 2 : 1) : 0;
            g.myCoordsFlag = 1;
            g.myCoordSet = uint8_t(t[GFX_TSS_TEXCOORDINDEX] & 7);
            g.myCoordGen = uint8_t((t[GFX_TSS_TEXCOORDINDEX] >> 16) & 3);
            g.myCoordSize = g.myCoordGen ? 3 : locCoordSize[g.myCoordSet];
            g.myTransformCount = uint8_t(t[GFX_TSS_TEXTURETRANSFORMFLAGS] & 7) > 4 ? 4 : uint8_t(t[GFX_TSS_TEXTURETRANSFORMFLAGS] & 7);
            g.myProjectedFlag = (t[GFX_TSS_TEXTURETRANSFORMFLAGS] & GFX_TTF_PROJECTED) != 0;
        }
    }
    if (s.myVertexShader)
    {
        // The program does transform, lighting and coordinates; it writes the fog factor.
        k->myVertexShader = s.myVertexShader->myId;
        k->myPretransformedFlag = k->myHasNormal = k->myHasColor0 = k->myHasColor1 = 0;
        k->myLightingFlag = k->myNumLights = k->myLocalViewerFlag = k->myNormalizeFlag = 0;
        k->myDiffuseSource = k->myAmbientSource = k->mySpecularSource = k->myEmissiveSource = 0;
        memset(k->myLightTypes, 0, sizeof(k->myLightTypes));
        if (k->myFogKind == 1 || k->myFogKind == 3)
            k->myFogKind = 1, k->myFogFormula = 0, k->myRangeFogFlag = 0;
        for (uint32_t i = 0; i < k->myNumStages; ++i)
        {
            GFX_GLStageKey& g = k->myStages[i];
            if (!g.myCoordsFlag)
                continue;
            g.myCoordGen = 0;
            g.myCoordSize = 4;
        }
    }
}

// [SECTION] Vertex program ------------------------------------------------------------------

static void locAppend(std::string* aText, const char* aFormat, ...) __attribute__((format(printf, 2, 3)));
static void locAppend(std::string* aText, const char* aFormat, ...)
{
    char locLine[1024];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locLine, sizeof(locLine), aFormat, locArgs);
    va_end(locArgs);
    aText->append(locLine);
}

static const char* locMaterialSource(uint8_t aSource, const char* aMaterial)
{
    return aSource == GFX_MCS_COLOR1 ? "aColor0" : aSource == GFX_MCS_COLOR2 ? "aColor1" : aMaterial;
}

// Coordinates that only address a 2-D texture travel as two components: fewer varyings
// make llvmpipe's vertex stage cheaper.
static bool locNarrowCoords(const GFX_GLProgramKey& k, uint32_t aStage)
{
    const GFX_GLStageKey& g = k.myStages[aStage];
    const bool locPrevBump = aStage > 0 && (k.myStages[aStage - 1].myColorOp == GFX_TOP_BUMPENVMAP ||
                                            k.myStages[aStage - 1].myColorOp == GFX_TOP_BUMPENVMAPLUMINANCE);
    return !k.myPixelShader && g.myTexKind == 1 && !g.myProjectedFlag && !locPrevBump;
}

// The colour and fog varyings cross only when the fragment stage reads them; otherwise
// they are locals of each stage.
static bool locSpecularCrosses(const GFX_GLProgramKey& k)
{
    if (k.myPixelShader || k.mySpecularFlag)
        return true;
    for (uint32_t i = 0; i < k.myNumStages; ++i)
        for (int a = 0; a < 3; ++a)
            if ((k.myStages[i].myColorArgs[a] & GFX_TA_SELECTMASK) == GFX_TA_SPECULAR ||
                (k.myStages[i].myAlphaArgs[a] & GFX_TA_SELECTMASK) == GFX_TA_SPECULAR)
                return true;
    return false;
}

static void locInterface(const GFX_GLProgramKey& k, bool aVertexFlag, std::string* aText, std::string* aLocals)
{
    const char* locInterp = k.myFlatFlag ? "flat " : "";
    const char* locDir = aVertexFlag ? "out" : "in";
    locAppend(aText, "%s%s vec4 vDiffuse;\n", locInterp, locDir);
    if (locSpecularCrosses(k))
        locAppend(aText, "%s%s vec4 vSpecular;\n", locInterp, locDir);
    else
        aLocals->append("    vec4 vSpecular = vec4(0.0, 0.0, 0.0, 1.0);\n");
    if (k.myFogKind)
        locAppend(aText, "%s float vFog;\n", locDir);
    else
        aLocals->append("    float vFog = 1.0;\n");
}

// The vertex stage's outputs, then the opening of main with the locals so far.
static void locOpenVertexMain(const GFX_GLProgramKey& k, std::string* v, std::string* aLocals)
{
    locInterface(k, true, v, aLocals);
    for (uint32_t i = 0; i < k.myNumStages; ++i)
        if (k.myStages[i].myCoordsFlag)
            locAppend(v, "out %s vTex%u;\n", locNarrowCoords(k, i) ? "vec2" : "vec4", i);
    v->append("void main()\n{\n");
    v->append(*aLocals);
}

static void locVertexProgram(const GFX_GLProgramKey& k, std::string* v)
{
    v->append("#version 330 core\n");
    v->append("layout(location = 0) in vec4 aPosition;\n");
    if (k.myHasNormal)
        v->append("layout(location = 1) in vec3 aNormal;\n");
    if (k.myHasColor0)
        v->append("layout(location = 2) in vec4 aColor0;\n");
    if (k.myHasColor1)
        v->append("layout(location = 3) in vec4 aColor1;\n");
    bool locSetUsed[8] = {};
    for (uint32_t i = 0; i < k.myNumStages; ++i)
        if (k.myStages[i].myCoordsFlag && !k.myStages[i].myCoordGen && k.myStages[i].myCoordSize)
            locSetUsed[k.myStages[i].myCoordSet] = true;
    for (uint32_t i = 0; i < 8; ++i)
        if (locSetUsed[i])
            locAppend(v, "layout(location = %u) in vec4 aTexCoord%u;\n", GFX_GL_ATTRIB_TEXCOORD0 + i, i);
    v->append("uniform mat4 uWorldView;\nuniform mat4 uProj;\nuniform mat3 uNormalMatrix;\n"
              "uniform vec2 uHalfPixel;\nuniform vec4 uViewport;\n"
              "uniform vec4 uMatDiffuse;\nuniform vec4 uMatAmbient;\nuniform vec4 uMatSpecular;\n"
              "uniform vec4 uMatEmissive;\nuniform float uMatPower;\nuniform vec4 uGlobalAmbient;\n"
              "uniform vec3 uFog;\n");
    if (k.myNumLights)
        locAppend(v,
                  "uniform vec4 uLightDiffuse[%u];\nuniform vec4 uLightSpecular[%u];\nuniform vec4 uLightAmbient[%u];\n"
                  "uniform vec3 uLightPos[%u];\nuniform vec3 uLightDir[%u];\nuniform vec4 uLightAtt[%u];\n"
                  "uniform vec3 uLightSpot[%u];\n",
                  k.myNumLights, k.myNumLights, k.myNumLights, k.myNumLights, k.myNumLights, k.myNumLights,
                  k.myNumLights);
    for (uint32_t i = 0; i < k.myNumStages; ++i)
        if (k.myStages[i].myCoordsFlag && k.myStages[i].myTransformCount)
            locAppend(v, "uniform mat4 uTexMatrix%u;\n", i);
    std::string locLocals;
    locOpenVertexMain(k, v, &locLocals);
    if (k.myPretransformedFlag)
    {
        // Pixel coordinates with centres on integers; z is the depth itself; w = 1 / rhw.
        v->append("    float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;\n"
                  "    vec3 ndc = vec3((aPosition.x + 0.5 - uViewport.x) * uViewport.z - 1.0,\n"
                  "                    (aPosition.y + 0.5 - uViewport.y) * uViewport.w - 1.0,\n"
                  "                    aPosition.z * 2.0 - 1.0);\n"
                  "    gl_Position = vec4(ndc * w, w);\n"
                  "    vec3 P = vec3(0.0, 0.0, w);\n"
                  "    vec3 N = vec3(0.0, 0.0, 1.0);\n");
    }
    else
    {
        // Depth 0..1 becomes -w..w; y flips so that row 0 of the target is the top;
        // the half-pixel shift puts pixel centres where the conventions of the callers expect them.
        v->append("    vec4 pc = uWorldView * vec4(aPosition.xyz, 1.0);\n"
                  "    vec4 clip = uProj * pc;\n"
                  "    gl_Position = vec4(clip.x + uHalfPixel.x * clip.w, -clip.y + uHalfPixel.y * clip.w,\n"
                  "                       2.0 * clip.z - clip.w, clip.w);\n"
                  "    vec3 P = pc.xyz;\n");
        if (k.myHasNormal)
        {
            v->append("    vec3 N = uNormalMatrix * aNormal;\n");
            if (k.myNormalizeFlag)
                v->append("    if (dot(N, N) > 0.0) N = normalize(N);\n");
        }
        else
            v->append("    vec3 N = vec3(0.0);\n");
    }

    if (k.myLightingFlag)
    {
        locAppend(v, "    vec4 md = %s;\n    vec4 ma = %s;\n    vec4 ms = %s;\n    vec4 me = %s;\n",
                  locMaterialSource(k.myDiffuseSource, "uMatDiffuse"),
                  locMaterialSource(k.myAmbientSource, "uMatAmbient"),
                  locMaterialSource(k.mySpecularSource, "uMatSpecular"),
                  locMaterialSource(k.myEmissiveSource, "uMatEmissive"));
        v->append("    vec3 amb = uGlobalAmbient.rgb;\n    vec3 dif = vec3(0.0);\n    vec3 spe = vec3(0.0);\n"
                  "    vec3 L; float att; float d; float rho; vec3 H; float ndl;\n");
        for (uint32_t i = 0; i < k.myNumLights; ++i)
        {
            if (k.myLightTypes[i] == GFX_LIGHT_DIRECTIONAL)
                locAppend(v, "    L = -uLightDir[%u];\n    att = 1.0;\n", i);
            else
            {
                // uLightAtt: a0, a1, a2, range. Beyond the range a light gives nothing.
                locAppend(v,
                          "    L = uLightPos[%u] - P;\n    d = length(L);\n    L = d > 0.0 ? L / d : vec3(0.0);\n"
                          "    att = d > uLightAtt[%u].w ? 0.0 : 1.0 / max(uLightAtt[%u].x + uLightAtt[%u].y * d"
                          " + uLightAtt[%u].z * d * d, 1e-6);\n",
                          i, i, i, i, i);
                if (k.myLightTypes[i] == GFX_LIGHT_SPOT)
                    // uLightSpot: cos(theta / 2), cos(phi / 2), falloff.
                    locAppend(v,
                              "    rho = dot(-L, uLightDir[%u]);\n"
                              "    att *= rho > uLightSpot[%u].x ? 1.0 : rho <= uLightSpot[%u].y ? 0.0 :\n"
                              "        pow((rho - uLightSpot[%u].y) / max(uLightSpot[%u].x - uLightSpot[%u].y, 1e-6),"
                              " uLightSpot[%u].z);\n",
                              i, i, i, i, i, i, i);
            }
            locAppend(v, "    amb += uLightAmbient[%u].rgb * att;\n    ndl = dot(N, L);\n"
                         "    if (ndl > 0.0)\n    {\n        dif += uLightDiffuse[%u].rgb * ndl * att;\n",
                      i, i);
            if (k.mySpecularFlag)
            {
                // The viewer looks along +z (left-handed view space): without a local viewer the
                // vector from the vertex to it is (0, 0, -1).
                locAppend(v, "        H = %s + L;\n        H = dot(H, H) > 0.0 ? normalize(H) : vec3(0.0);\n",
                          k.myLocalViewerFlag ? "(dot(P, P) > 0.0 ? normalize(-P) : vec3(0.0, 0.0, -1.0))"
                                              : "vec3(0.0, 0.0, -1.0)");
                locAppend(v,
                          "        float ndh = dot(N, H);\n"
                          "        if (ndh > 0.0) spe += uLightSpecular[%u].rgb * (uMatPower > 0.0 ? pow(ndh, "
                          "uMatPower) : 1.0) * att;\n",
                          i);
            }
            v->append("    }\n");
        }
        v->append("    vDiffuse = vec4(clamp(me.rgb + ma.rgb * amb + md.rgb * dif, 0.0, 1.0), md.a);\n");
        locAppend(v, "    vSpecular = vec4(clamp(ms.rgb * spe, 0.0, 1.0), %s);\n",
                  k.myHasColor1 ? "aColor1.a" : "1.0");
    }
    else
    {
        locAppend(v, "    vDiffuse = %s;\n", k.myHasColor0 ? "aColor0" : "vec4(1.0)");
        locAppend(v, "    vSpecular = %s;\n", k.myHasColor1 ? "aColor1" : "vec4(0.0, 0.0, 0.0, 1.0)");
    }

    // Fog: uFog = start, end, density.
    if (k.myFogKind == 1)
    {
        locAppend(v, "    float fd = %s;\n", k.myRangeFogFlag ? "length(P)" : "abs(P.z)");
        if (k.myFogFormula == GFX_FOG_LINEAR)
            v->append("    vFog = uFog.y != uFog.x ? clamp((uFog.y - fd) / (uFog.y - uFog.x), 0.0, 1.0) : 1.0;\n");
        else if (k.myFogFormula == GFX_FOG_EXP)
            v->append("    vFog = clamp(exp(-uFog.z * fd), 0.0, 1.0);\n");
        else
            v->append("    vFog = clamp(exp(-(uFog.z * fd) * (uFog.z * fd)), 0.0, 1.0);\n");
    }
    else if (k.myFogKind == 2)
        v->append("    vFog = abs(P.z);\n");
    else if (k.myFogKind == 3)
        v->append("    vFog = vSpecular.a;\n");
    else
        v->append("    vFog = 1.0;\n");

    // Texture coordinates: missing components read 1 for the first, 0 for the rest.
    for (uint32_t i = 0; i < k.myNumStages; ++i)
    {
        const GFX_GLStageKey& g = k.myStages[i];
        if (!g.myCoordsFlag)
            continue;
        if (g.myCoordGen == 1)
            locAppend(v, "    vec4 tc%u = vec4(N, 1.0);\n", i);
        else if (g.myCoordGen == 2)
            locAppend(v, "    vec4 tc%u = vec4(P, 1.0);\n", i);
        else if (g.myCoordGen == 3)
            locAppend(v, "    vec4 tc%u = vec4(dot(P, P) > 0.0 ? reflect(normalize(P), N) : N, 1.0);\n", i);
        else if (g.myCoordSize == 0)
            locAppend(v, "    vec4 tc%u = vec4(0.0, 0.0, 1.0, 0.0);\n", i);
        else if (g.myCoordSize == 1)
            locAppend(v, "    vec4 tc%u = vec4(aTexCoord%u.x, 1.0, 0.0, 0.0);\n", i, g.myCoordSet);
        else if (g.myCoordSize == 2)
            locAppend(v, "    vec4 tc%u = vec4(aTexCoord%u.xy, 1.0, 0.0);\n", i, g.myCoordSet);
        else if (g.myCoordSize == 3)
            locAppend(v, "    vec4 tc%u = vec4(aTexCoord%u.xyz, 1.0);\n", i, g.myCoordSet);
        else
            locAppend(v, "    vec4 tc%u = aTexCoord%u;\n", i, g.myCoordSet);
        if (g.myTransformCount)
            locAppend(v, "    tc%u = uTexMatrix%u * tc%u;\n", i, i, i);
        locAppend(v, "    vTex%u = tc%u%s;\n", i, i, locNarrowCoords(k, i) ? ".xy" : "");
    }
    v->append("}\n");
}

// [SECTION] Fragment program: arguments and operations --------------------------------------

static std::string locSource(uint32_t anArg, uint32_t aStage)
{
    char locText[32];
    switch (anArg & GFX_TA_SELECTMASK)
    {
        case GFX_TA_DIFFUSE: return "diffuse";
        case GFX_TA_CURRENT: return "cur";
        case GFX_TA_TEXTURE: return "tex";
        case GFX_TA_TFACTOR: return "uTFactor";
        case GFX_TA_SPECULAR: return "specular";
        case GFX_TA_TEMP: return "temp";
        case GFX_TA_CONSTANT: snprintf(locText, sizeof(locText), "uConst%u", aStage); return locText;
        default: return "cur";
    }
}

static std::string locColorArg(uint32_t anArg, uint32_t aStage)
{
    const std::string locBase = locSource(anArg, aStage);
    std::string locValue = (anArg & GFX_TA_ALPHAREPLICATE) ? "vec3(" + locBase + ".a)" : locBase + ".rgb";
    if (anArg & GFX_TA_COMPLEMENT)
        locValue = "(1.0 - " + locValue + ")";
    return locValue;
}

static std::string locAlphaArg(uint32_t anArg, uint32_t aStage)
{
    const std::string locValue = locSource(anArg, aStage) + ".a";
    return (anArg & GFX_TA_COMPLEMENT) ? "(1.0 - " + locValue + ")" : locValue;
}

// One operation over colour (T = vec3) or alpha (T = float) arguments.
static std::string locOperation(uint32_t anOp, bool aColorFlag, const std::string& a1, const std::string& a2,
                                const std::string& a0, const std::string& a1Alpha, const std::string& aCurrent)
{
    const std::string T = aColorFlag ? "vec3" : "float";
    switch (anOp)
    {
        case GFX_TOP_SELECTARG1: return a1;
        case GFX_TOP_SELECTARG2: return a2;
        case GFX_TOP_MODULATE: return a1 + " * " + a2;
        case GFX_TOP_MODULATE2X: return "2.0 * " + a1 + " * " + a2;
        case GFX_TOP_MODULATE4X: return "4.0 * " + a1 + " * " + a2;
        case GFX_TOP_ADD: return a1 + " + " + a2;
        case GFX_TOP_ADDSIGNED: return a1 + " + " + a2 + " - 0.5";
        case GFX_TOP_ADDSIGNED2X: return "2.0 * (" + a1 + " + " + a2 + " - 0.5)";
        case GFX_TOP_SUBTRACT: return a1 + " - " + a2;
        case GFX_TOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
        case GFX_TOP_BLENDDIFFUSEALPHA: return "mix(" + a2 + ", " + a1 + ", diffuse.a)";
        case GFX_TOP_BLENDTEXTUREALPHA: return "mix(" + a2 + ", " + a1 + ", tex.a)";
        case GFX_TOP_BLENDFACTORALPHA: return "mix(" + a2 + ", " + a1 + ", uTFactor.a)";
        case GFX_TOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - tex.a)";
        case GFX_TOP_BLENDCURRENTALPHA: return "mix(" + a2 + ", " + a1 + ", cur.a)";
        case GFX_TOP_PREMODULATE: return a1;
        case GFX_TOP_MODULATEALPHA_ADDCOLOR: return aColorFlag ? a1 + " + " + a1Alpha + " * " + a2 : a1;
        case GFX_TOP_MODULATECOLOR_ADDALPHA: return aColorFlag ? a1 + " * " + a2 + " + " + a1Alpha : a1;
        case GFX_TOP_MODULATEINVALPHA_ADDCOLOR:
            return aColorFlag ? "(1.0 - " + a1Alpha + ") * " + a2 + " + " + a1 : a1;
        case GFX_TOP_MODULATEINVCOLOR_ADDALPHA:
            return aColorFlag ? "(1.0 - " + a1 + ") * " + a2 + " + " + a1Alpha : a1;
        case GFX_TOP_BUMPENVMAP:
        case GFX_TOP_BUMPENVMAPLUMINANCE: return aCurrent;
        case GFX_TOP_DOTPRODUCT3:
            return aColorFlag ? "vec3(4.0 * dot(" + a1 + " - 0.5, " + a2 + " - 0.5))"
                              : "4.0 * (" + a1 + " - 0.5) * (" + a2 + " - 0.5)";
        case GFX_TOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
        case GFX_TOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
        default: return aCurrent;
    }
}

static const char* locCompare(uint32_t aFunc)
{
    switch (aFunc)
    {
        case GFX_CMP_LESS: return "<";
        case GFX_CMP_EQUAL: return "==";
        case GFX_CMP_LESSEQUAL: return "<=";
        case GFX_CMP_GREATER: return ">";
        case GFX_CMP_NOTEQUAL: return "!=";
        case GFX_CMP_GREATEREQUAL: return ">=";
        default: return "";
    }
}

// [SECTION] Fragment program ----------------------------------------------------------------

// Fog and alpha test on "color", then the output.
static void locFragmentEnd(const GFX_GLProgramKey& k, std::string* f)
{
    // Per-pixel fog reads the eye depth: the fixed-function vertex stage passes it, a vertex
    // program has only its fog factor, so the depth comes from w.
    const char* d = k.myFogDeviceDepthFlag ? "gl_FragCoord.z" : k.myVertexShader ? "(1.0 / gl_FragCoord.w)" : "vFog";
    if (k.myFogKind == 2)
    {
        if (k.myFogFormula == GFX_FOG_LINEAR)
            locAppend(f, "    float fogf = uFog.y != uFog.x ? clamp((uFog.y - %s) / (uFog.y - uFog.x), 0.0, 1.0) : 1.0;\n", d);
        else if (k.myFogFormula == GFX_FOG_EXP)
            locAppend(f, "    float fogf = clamp(exp(-uFog.z * %s), 0.0, 1.0);\n", d);
        else
            locAppend(f, "    float fogf = clamp(exp(-(uFog.z * %s) * (uFog.z * %s)), 0.0, 1.0);\n", d, d);
        f->append("    color.rgb = mix(uFogColor.rgb, color.rgb, fogf);\n");
    }
    else if (k.myFogKind)
        f->append("    color.rgb = mix(uFogColor.rgb, color.rgb, clamp(vFog, 0.0, 1.0));\n");
    if (k.myAlphaFunc == GFX_CMP_NEVER)
        f->append("    discard;\n");
    else if (k.myAlphaFunc)
        // The reference is compared with the alpha rounded to 0..255.
        locAppend(f, "    if (!(int(floor(color.a * 255.0 + 0.5)) %s uAlphaRef)) discard;\n",
                  locCompare(k.myAlphaFunc));
    f->append("    oColor = color;\n}\n");
}

// A pixel shader's program: colours and coordinates in, r0 out, then fog and alpha test.
static void locShaderFragmentProgram(const GFX_GLProgramKey& k, const GFX_Shader& aShader, std::string* f)
{
    f->append("#version 330 core\n");
    std::string locLocals;
    locInterface(k, false, f, &locLocals);
    locAppend(f, "out vec4 oColor;\nuniform vec4 uFogColor;\nuniform vec3 uFog;\nuniform int uAlphaRef;\n"
                 "uniform vec4 uPSConst[%u];\n", GFX_PS_CONSTANTS);
    GFX_ShaderContext locContext;
    for (uint32_t i = 0; i < k.myNumStages; ++i)
    {
        const GFX_GLStageKey& g = k.myStages[i];
        locAppend(f, "in vec4 vTex%u;\nuniform vec4 uBumpMat%u;\nuniform vec2 uBumpLum%u;\n", i, i, i);
        if (g.myTexKind)
            locAppend(f, "uniform %s uTex%u;\n", g.myTexKind == 2 ? "samplerCube" : "sampler2D", i);
        locContext.myTexKinds[i] = g.myTexKind;
        if (g.myProjectedFlag)
            locContext.myProjectCounts[i] = g.myTransformCount ? g.myTransformCount : uint8_t(4);
    }
    f->append("void main()\n{\n");
    f->append(locLocals);
    f->append("    vec4 v0 = clamp(vDiffuse, 0.0, 1.0);\n    vec4 v1 = clamp(vSpecular, 0.0, 1.0);\n");
    for (uint32_t i = 0; i < 6; ++i)
        locAppend(f, "    vec4 r%u = vec4(0.0);\n    vec4 t%u = vec4(0.0);\n", i, i);
    f->append(GFX_ShaderToGLSL(aShader.myProgram, locContext, "uPSConst"));
    f->append("    vec4 color = clamp(r0, 0.0, 1.0);\n");
    locFragmentEnd(k, f);
}

// A vertex shader's program: declared inputs in, its oPos, oD#, oT# and oFog mapped to our varyings.
static void locShaderVertexProgram(const GFX_GLProgramKey& k, const GFX_Shader& aShader, std::string* v)
{
    v->append("#version 330 core\n");
    std::string locLocals;
    bool locDeclared[16] = {};
    uint32_t locUsed = 0;
    for (const GFX_ShaderInst& i : aShader.myProgram.myInsts)
    {
        if (i.myOp != GFX_SOP_DCL || locDeclared[i.myDst.myIndex])
            continue;
        locDeclared[i.myDst.myIndex] = true;
        GFX_VertexElement e;
        e.myUsage = i.myUsage;
        e.myUsageIndex = i.myUsageIndex;
        const uint32_t locLoc = GFX_GLAttribLocation(e);
        if (locLoc != GFX_GL_ATTRIB_NONE && !(locUsed & (1u << locLoc)))
        {
            locUsed |= 1u << locLoc;
            locAppend(v, "layout(location = %u) in vec4 v%u;\n", locLoc, i.myDst.myIndex);
        }
        else
            locAppend(&locLocals, "    vec4 v%u = vec4(0.0, 0.0, 0.0, 1.0);\n", i.myDst.myIndex);
    }
    for (uint32_t i = 0; i < 16; ++i)
        if (!locDeclared[i])
            locAppend(&locLocals, "    vec4 v%u = vec4(0.0, 0.0, 0.0, 1.0);\n", i);
    locAppend(v, "uniform vec4 uVSConst[%u];\nuniform vec2 uHalfPixel;\n", GFX_VS_CONSTANTS);
    locOpenVertexMain(k, v, &locLocals);
    for (uint32_t i = 0; i < 12; ++i)
        locAppend(v, "    vec4 r%u = vec4(0.0);\n", i);
    v->append("    int a0x = 0;\n    vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0);\n    vec4 oD0 = vec4(0.0);\n"
              "    vec4 oD1 = vec4(0.0);\n    float oFog = 1.0;\n");
    for (uint32_t i = 0; i < 8; ++i)
        locAppend(v, "    vec4 oT%u = vec4(0.0, 0.0, 0.0, 1.0);\n", i);
    v->append(GFX_ShaderToGLSL(aShader.myProgram, GFX_ShaderContext(), "uVSConst"));
    v->append("    gl_Position = vec4(oPos.x + uHalfPixel.x * oPos.w, -oPos.y + uHalfPixel.y * oPos.w,\n"
              "                       2.0 * oPos.z - oPos.w, oPos.w);\n"
              "    vDiffuse = clamp(oD0, 0.0, 1.0);\n    vSpecular = clamp(oD1, 0.0, 1.0);\n    vFog = oFog;\n");
    for (uint32_t i = 0; i < k.myNumStages; ++i)
        if (k.myStages[i].myCoordsFlag)
            locAppend(v, "    vTex%u = oT%u%s;\n", i, k.myStages[i].myCoordSet, locNarrowCoords(k, i) ? ".xy" : "");
    v->append("}\n");
}

static void locFragmentProgram(const GFX_GLProgramKey& k, std::string* f)
{
    f->append("#version 330 core\n");
    std::string locLocals;
    locInterface(k, false, f, &locLocals);
    f->append("out vec4 oColor;\nuniform vec4 uTFactor;\nuniform vec4 uFogColor;\nuniform vec3 uFog;\n"
              "uniform int uAlphaRef;\n");
    for (uint32_t i = 0; i < k.myNumStages; ++i)
    {
        const GFX_GLStageKey& g = k.myStages[i];
        if (g.myTexKind)
            locAppend(f, "in %s vTex%u;\nuniform %s uTex%u;\n", locNarrowCoords(k, i) ? "vec2" : "vec4", i,
                      g.myTexKind == 2 ? "samplerCube" : "sampler2D", i);
        if (g.myColorOp == GFX_TOP_BUMPENVMAP || g.myColorOp == GFX_TOP_BUMPENVMAPLUMINANCE)
            locAppend(f, "uniform vec4 uBumpMat%u;\nuniform vec2 uBumpLum%u;\n", i, i);
        locAppend(f, "uniform vec4 uConst%u;\n", i);
    }
    f->append("void main()\n{\n");
    f->append(locLocals);
    f->append("    vec4 diffuse = vDiffuse;\n    vec4 specular = vSpecular;\n"
              "    vec4 cur = diffuse;\n    vec4 temp = vec4(0.0);\n    vec4 tex;\n    vec3 rc;\n    float ra;\n"
              "    vec2 bumpOffset = vec2(0.0);\n    float bumpLum = 1.0;\n");
    for (uint32_t i = 0; i < k.myNumStages; ++i)
    {
        const GFX_GLStageKey& g = k.myStages[i];
        const bool locPrevBump = i > 0 && (k.myStages[i - 1].myColorOp == GFX_TOP_BUMPENVMAP ||
                                           k.myStages[i - 1].myColorOp == GFX_TOP_BUMPENVMAPLUMINANCE);
        locAppend(f, "    // stage %u\n", i);
        if (g.myTexKind)
        {
            if (locNarrowCoords(k, i))
                locAppend(f, "    vec4 tc%u = vec4(vTex%u, 0.0, 1.0);\n", i, i);
            else
                locAppend(f, "    vec4 tc%u = vTex%u;\n", i, i);
            const uint32_t locCount = g.myTransformCount ? g.myTransformCount : (g.myCoordSize ? g.myCoordSize : 2);
            if (g.myProjectedFlag && locCount >= 2)
                locAppend(f, "    tc%u /= tc%u[%u];\n", i, i, locCount - 1);
            if (locPrevBump)
                locAppend(f, "    tc%u.xy += bumpOffset;\n", i);
            locAppend(f, "    tex = texture(uTex%u, tc%u.%s);\n", i, i, g.myTexKind == 2 ? "xyz" : "xy");
            if (locPrevBump && k.myStages[i - 1].myColorOp == GFX_TOP_BUMPENVMAPLUMINANCE)
                f->append("    tex.rgb *= bumpLum;\n");
        }
        else
            f->append("    tex = vec4(1.0);\n");
        if (g.myColorOp == GFX_TOP_BUMPENVMAP || g.myColorOp == GFX_TOP_BUMPENVMAPLUMINANCE)
        {
            // uBumpMat: m00, m01, m10, m11 applied to (du, dv).
            locAppend(f, "    bumpOffset = vec2(tex.r * uBumpMat%u.x + tex.g * uBumpMat%u.z, "
                         "tex.r * uBumpMat%u.y + tex.g * uBumpMat%u.w);\n",
                      i, i, i, i);
            if (g.myColorOp == GFX_TOP_BUMPENVMAPLUMINANCE)
                locAppend(f, "    bumpLum = clamp(tex.b * uBumpLum%u.x + uBumpLum%u.y, 0.0, 1.0);\n", i, i);
        }
        const std::string c1 = locColorArg(g.myColorArgs[0], i), c2 = locColorArg(g.myColorArgs[1], i),
                          c0 = locColorArg(g.myColorArgs[2], i), c1a = locAlphaArg(g.myColorArgs[0], i);
        const char* locDest = g.myResultTemp ? "temp" : "cur";
        locAppend(f, "    rc = clamp(%s, 0.0, 1.0);\n",
                  locOperation(g.myColorOp, true, c1, c2, c0, c1a, std::string(locDest) + ".rgb").c_str());
        if (g.myColorOp == GFX_TOP_DOTPRODUCT3)
            f->append("    ra = rc.r;\n"); // the dot product goes to alpha as well
        else if (g.myAlphaOp == GFX_TOP_DISABLE)
            locAppend(f, "    ra = %s.a;\n", locDest);
        else
        {
            const std::string a1 = locAlphaArg(g.myAlphaArgs[0], i), a2 = locAlphaArg(g.myAlphaArgs[1], i),
                              a0 = locAlphaArg(g.myAlphaArgs[2], i);
            locAppend(f, "    ra = clamp(%s, 0.0, 1.0);\n",
                      locOperation(g.myAlphaOp, false, a1, a2, a0, a1, std::string(locDest) + ".a").c_str());
        }
        locAppend(f, "    %s = vec4(rc, ra);\n", locDest);
    }
    f->append("    vec4 color = cur;\n");
    if (k.mySpecularFlag)
        f->append("    color.rgb = min(color.rgb + specular.rgb, vec3(1.0));\n");
    locFragmentEnd(k, f);
}

void GFX_GLBuildSource(const GFX_GLProgramKey& aKey, const GFX_State& aState, std::string* aVertexOut,
                       std::string* aFragmentOut)
{
    aVertexOut->clear();
    aFragmentOut->clear();
    if (aKey.myVertexShader && aState.myVertexShader)
        locShaderVertexProgram(aKey, *aState.myVertexShader, aVertexOut);
    else
        locVertexProgram(aKey, aVertexOut);
    if (aKey.myPixelShader && aState.myPixelShader)
        locShaderFragmentProgram(aKey, *aState.myPixelShader, aFragmentOut);
    else
        locFragmentProgram(aKey, aFragmentOut);
}

// [SECTION] Build and link ------------------------------------------------------------------

static GLuint locCompile(GLenum aKind, const std::string& aText)
{
    GLuint locShader = glCreateShader(aKind);
    const char* locText = aText.c_str();
    glShaderSource(locShader, 1, &locText, nullptr);
    glCompileShader(locShader);
    GLint locOk = 0;
    glGetShaderiv(locShader, GL_COMPILE_STATUS, &locOk);
    if (!locOk)
    {
        char locLog[400] = "";
        glGetShaderInfoLog(locShader, sizeof(locLog), nullptr, locLog);
        GFX_SetError(GFX_ERROR_PROGRAM, "%s program: %s", aKind == GL_VERTEX_SHADER ? "vertex" : "fragment", locLog);
        glDeleteShader(locShader);
        return 0;
    }
    return locShader;
}

bool GFX_GLBuildProgram(const GFX_GLProgramKey& aKey, const GFX_State& aState, GFX_GLProgram* p)
{
    std::string locVertex, locFragment;
    GFX_GLBuildSource(aKey, aState, &locVertex, &locFragment);
    GLuint locVS = locCompile(GL_VERTEX_SHADER, locVertex);
    if (!locVS)
        return false;
    GLuint locFS = locCompile(GL_FRAGMENT_SHADER, locFragment);
    if (!locFS)
    {
        glDeleteShader(locVS);
        return false;
    }
    p->myProgram = glCreateProgram();
    glAttachShader(p->myProgram, locVS);
    glAttachShader(p->myProgram, locFS);
    glLinkProgram(p->myProgram);
    glDeleteShader(locVS);
    glDeleteShader(locFS);
    GLint locOk = 0;
    glGetProgramiv(p->myProgram, GL_LINK_STATUS, &locOk);
    if (!locOk)
    {
        char locLog[400] = "";
        glGetProgramInfoLog(p->myProgram, sizeof(locLog), nullptr, locLog);
        GFX_SetError(GFX_ERROR_PROGRAM, "link: %s", locLog);
        glDeleteProgram(p->myProgram);
        p->myProgram = 0;
        return false;
    }
    const GLuint g = p->myProgram;
    p->myWorldView = glGetUniformLocation(g, "uWorldView");
    p->myProj = glGetUniformLocation(g, "uProj");
    p->myNormalMatrix = glGetUniformLocation(g, "uNormalMatrix");
    p->myHalfPixel = glGetUniformLocation(g, "uHalfPixel");
    p->myViewport = glGetUniformLocation(g, "uViewport");
    p->myMatDiffuse = glGetUniformLocation(g, "uMatDiffuse");
    p->myMatAmbient = glGetUniformLocation(g, "uMatAmbient");
    p->myMatSpecular = glGetUniformLocation(g, "uMatSpecular");
    p->myMatEmissive = glGetUniformLocation(g, "uMatEmissive");
    p->myMatPower = glGetUniformLocation(g, "uMatPower");
    p->myGlobalAmbient = glGetUniformLocation(g, "uGlobalAmbient");
    p->myLightDiffuse = glGetUniformLocation(g, "uLightDiffuse");
    p->myLightSpecular = glGetUniformLocation(g, "uLightSpecular");
    p->myLightAmbient = glGetUniformLocation(g, "uLightAmbient");
    p->myLightPos = glGetUniformLocation(g, "uLightPos");
    p->myLightDir = glGetUniformLocation(g, "uLightDir");
    p->myLightAtt = glGetUniformLocation(g, "uLightAtt");
    p->myLightSpot = glGetUniformLocation(g, "uLightSpot");
    p->myFog = glGetUniformLocation(g, "uFog");
    p->myFogColor = glGetUniformLocation(g, "uFogColor");
    p->myTFactor = glGetUniformLocation(g, "uTFactor");
    p->myAlphaRef = glGetUniformLocation(g, "uAlphaRef");
    p->myVSConstants = glGetUniformLocation(g, "uVSConst");
    p->myPSConstants = glGetUniformLocation(g, "uPSConst");
    glUseProgram(g);
    for (uint32_t i = 0; i < GFX_MAX_STAGES; ++i)
    {
        char locName[32];
        snprintf(locName, sizeof(locName), "uTexMatrix%u", i);
        p->myTexMatrix[i] = glGetUniformLocation(g, locName);
        snprintf(locName, sizeof(locName), "uBumpMat%u", i);
        p->myBumpMat[i] = glGetUniformLocation(g, locName);
        snprintf(locName, sizeof(locName), "uBumpLum%u", i);
        p->myBumpLum[i] = glGetUniformLocation(g, locName);
        snprintf(locName, sizeof(locName), "uConst%u", i);
        p->myConst[i] = glGetUniformLocation(g, locName);
        snprintf(locName, sizeof(locName), "uTex%u", i);
        const GLint locSampler = glGetUniformLocation(g, locName);
        if (locSampler >= 0)
            glUniform1i(locSampler, GLint(i));
    }
    return true;
}
