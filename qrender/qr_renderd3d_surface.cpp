// Surface templates compiled for the device: the two built-in surfaces, the template file
// read line by line in its fixed order, instructions placed into texture stages, and pixel
// shaders (template text translated to ps_1_2, or ps_1_1 written from a stage block).
//
// [SECTION] Lines, words and names
// [SECTION] Pixel shaders
// [SECTION] Stage instructions
// [SECTION] Template files
// [SECTION] Compile and release
#include <charconv>
#include <ctype.h>
#include <stdarg.h>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qfile/render/qf_file.h"
#include "qrender/qr_error.h"
#include "qrender/qr_renderd3d_local.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"

// [SECTION] Lines, words and names ---------------------------------------------------------

static const uint32_t locTokenLimit = 31;
static const uint32_t locShaderLimit = 1023;

// The value after a key at the start of the line (compared without regard to case), past
// the blanks that follow it; null when the line does not start with the key.
static const char* locAfterKey(const char* aLine, const char* aKey)
{
    size_t n = strlen(aKey);
    if (strncasecmp(aLine, aKey, n) != 0)
        return nullptr;
    const char* p = aLine + n;
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

static bool locParseUInt(const char* aText, uint32_t aMax, uint32_t* aValueOut)
{
    uint32_t locValue = 0;
    auto r = std::from_chars(aText, aText + strlen(aText), locValue);
    if (r.ec != std::errc() || r.ptr == aText || locValue > aMax)
        return false;
    while (*r.ptr == ' ' || *r.ptr == '\t')
        r.ptr++;
    if (*r.ptr)
        return false;
    *aValueOut = locValue;
    return true;
}

static int locFindName(const char* aName, const char* const* aNames, int aCount)
{
    for (int i = 0; i < aCount; i++)
        if (strcasecmp(aName, aNames[i]) == 0)
            return i;
    return -1;
}

static const char* const locBlendNames[] = {"ZERO",        "ONE",      "SRCCOLOR",    "INVSRCCOLOR",
                                            "SRCALPHA",    "INVSRCALPHA", "DSTALPHA", "INVDSTALPHA",
                                            "DSTCOLOR",    "INVDSTCOLOR", "SRCALPHASAT"};
static const char* const locCompareNames[] = {"NEVER",   "LESS",     "EQUAL",        "LESSEQUAL",
                                              "GREATER", "NOTEQUAL", "GREATEREQUAL", "ALWAYS"};

// Splits at blanks, tabs and commas into at most aMax words of at most 31 characters.
static bool locSplit(const char* aLine, char aWords[][locTokenLimit + 1], uint32_t aMax, uint32_t* aCountOut)
{
    uint32_t n = 0;
    const char* p = aLine;
    for (;;)
    {
        while (*p == ' ' || *p == '\t' || *p == ',')
            p++;
        if (!*p)
            break;
        const char* locStart = p;
        while (*p && *p != ' ' && *p != '\t' && *p != ',')
            p++;
        size_t locLength = (size_t)(p - locStart);
        if (n == aMax || locLength > locTokenLimit)
            return false;
        memcpy(aWords[n], locStart, locLength);
        aWords[n][locLength] = 0;
        n++;
    }
    *aCountOut = n;
    return true;
}

static void locUpper(char* aText)
{
    for (; *aText; aText++)
        *aText = (char)toupper((unsigned char)*aText);
}

// [SECTION] Pixel shaders ------------------------------------------------------------------

// Appends to a shader text of at most 1023 characters; false when it would not fit.
struct QR_ShaderText
{
    char myText[locShaderLimit + 1] = {};
    uint32_t myLength = 0;
    bool myOverflowFlag = false;

    void Add(const char* aFormat, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list locArgs;
        va_start(locArgs, aFormat);
        int n = vsnprintf(myText + myLength, sizeof(myText) - myLength, aFormat, locArgs);
        va_end(locArgs);
        if (n < 0 || myLength + (uint32_t)n > locShaderLimit)
            myOverflowFlag = true;
        else
            myLength += (uint32_t)n;
    }
};

static char ourLastShaderText[locShaderLimit + 1];

const char* QR_RenderD3D::LastPixelShaderText()
{
    return ourLastShaderText;
}

static GFX_Shader* locCreatePixelShader(const QR_ShaderText& aText)
{
    memcpy(ourLastShaderText, aText.myText, sizeof(ourLastShaderText));
    if (aText.myOverflowFlag || !QR_RenderD3D::ourDevice)
        return nullptr;
    return QR_RenderD3D::ourDevice->CreateShader(aText.myText, aText.myLength);
}

static bool locPixelShadersInUse()
{
    return QR_Render::ourInstance && QR_Render::ourInstance->myRenderSettings.myPixelShaderFlag;
}

// The register of one stage argument in generated ps_1_1 text.
static bool locSourceRegister(uint32_t anArg, uint32_t aStage, bool aDot3Flag, char* anOut, size_t aSize)
{
    char locBase[8];
    uint32_t locSource = anArg & GFX_TA_SELECTMASK;
    switch (locSource)
    {
    case GFX_TA_DIFFUSE: strcpy(locBase, "v0"); break;
    case GFX_TA_SPECULAR: strcpy(locBase, "v1"); break;
    case GFX_TA_CURRENT: strcpy(locBase, "r0"); break;
    case GFX_TA_TEMP: strcpy(locBase, "r1"); break;
    case GFX_TA_TEXTURE: snprintf(locBase, sizeof(locBase), "t%u", aStage); break;
    case GFX_TA_TFACTOR: strcpy(locBase, aDot3Flag ? "c1" : "c0"); break;
    default: return false;
    }
    bool locInvertFlag = (anArg & GFX_TA_COMPLEMENT) != 0;
    if (locInvertFlag && locSource == GFX_TA_TFACTOR)
        return false;
    // One minus the value is the "1-" modifier; "-" would negate it.
    snprintf(anOut, aSize, "%s%s%s%s", locInvertFlag ? "1-" : "", locBase,
             (aDot3Flag && locSource != GFX_TA_TFACTOR) ? "_bx2" : "",
             (anArg & GFX_TA_ALPHAREPLICATE) ? ".a" : "");
    return true;
}

// One instruction of generated ps_1_1 text from a stage operation and its three arguments
// (ARG1, ARG2, ARG0).
static bool locWriteOperation(QR_ShaderText* aText, bool aCoIssueFlag, uint32_t anOp, const uint32_t* anArgs,
                              uint32_t aStage, const char* aDest)
{
    const char* locName;
    int locCount;
    switch (anOp)
    {
    case GFX_TOP_SELECTARG1: locName = "mov_sat", locCount = 1; break;
    case GFX_TOP_MODULATE: locName = "mul_sat", locCount = 2; break;
    case GFX_TOP_MODULATE2X: locName = "mul_x2_sat", locCount = 2; break;
    case GFX_TOP_ADD: locName = "add_sat", locCount = 2; break;
    case GFX_TOP_DOTPRODUCT3: locName = "dp3_sat", locCount = 2; break;
    case GFX_TOP_MULTIPLYADD: locName = "mad_sat", locCount = 3; break;
    default: return false;
    }
    bool locDot3Flag = anOp == GFX_TOP_DOTPRODUCT3;
    char r[3][24];
    for (int i = 0; i < locCount; i++)
        if (!locSourceRegister(anArgs[i], aStage, locDot3Flag, r[i], sizeof(r[i])))
            return false;
    const char* locPlus = aCoIssueFlag ? "+" : "";
    if (locCount == 1)
        aText->Add("%s%s %s, %s\r\n", locPlus, locName, aDest, r[0]);
    else if (locCount == 2)
        aText->Add("%s%s %s, %s, %s\r\n", locPlus, locName, aDest, r[0], r[1]);
    else
        aText->Add("%s%s %s, %s, %s, %s\r\n", locPlus, locName, aDest, r[0], r[1], r[2]);
    return true;
}

enum
{
    locColorOp = 0, locColorArg1 = 1, locColorArg2 = 2, locResult = 3, locAlphaOp = 4, locAlphaArg1 = 5,
    locAlphaArg2 = 6, locColorArg0 = 7, locAlphaArg0 = 8
};

bool QR_RenderD3D::WritePixelShader(QR_CompiledStageBlock* aBlock)
{
    if (!locPixelShadersInUse())
        return true;
    QR_ShaderText locText;
    locText.Add("ps_1_1\r\n");
    for (uint32_t i = 0; i < aBlock->myNumTextures && i < 8; i++)
    {
        if (i > 0 && aBlock->myStages[i - 1].myWords[locColorOp] == GFX_TOP_BUMPENVMAP)
            locText.Add("texbem t%u, t%u\r\n", i, i - 1);
        else
            locText.Add("tex t%u\r\n", i);
    }
    for (uint32_t i = 0; i < aBlock->myNumStages && i < 8; i++)
    {
        const uint32_t* w = aBlock->myStages[i].myWords;
        if (w[locColorOp] == GFX_TOP_BUMPENVMAP)
            continue;
        bool locTempFlag = w[locResult] != GFX_TA_CURRENT;
        uint32_t locColorArgs[3] = {w[locColorArg1], w[locColorArg2], w[locColorArg0]};
        uint32_t locAlphaArgs[3] = {w[locAlphaArg1], w[locAlphaArg2], w[locAlphaArg0]};
        bool locSameFlag = w[locColorOp] == w[locAlphaOp];
        const char* locDest = locSameFlag ? (locTempFlag ? "r1.rgba" : "r0.rgba") : (locTempFlag ? "r1.rgb" : "r0.rgb");
        if (!locWriteOperation(&locText, false, w[locColorOp], locColorArgs, i, locDest))
            return false;
        if (!locSameFlag &&
            !locWriteOperation(&locText, true, w[locAlphaOp], locAlphaArgs, i, locTempFlag ? "r1.a" : "r0.a"))
            return false;
    }
    GFX_Shader* locShader = locCreatePixelShader(locText);
    if (!locShader)
        return false;
    aBlock->myPixelShader = locShader;
    return true;
}

// The register word of template text at p, written to anOut; the characters read, or 0.
static size_t locTranslateWord(const char* p, QR_ShaderText* anOut)
{
    static const struct
    {
        const char* myWord;
        const char* myRegister;
        const char* myDigits; // digits that may follow, or null
    } locTable[] = {{"texture", "t", "0123456789"}, {"vertex", "v", "01"}, {"temp", "r", "01"},
                    {"constant0_bx2", "c1", nullptr}, {"constant", "c", "0123456789"},
                    {"clamp", "sat", nullptr},       {"dot3", "dp3", nullptr},
                    {"lerp", "lrp", nullptr}};
    for (const auto& e : locTable)
    {
        size_t n = strlen(e.myWord);
        if (strncmp(p, e.myWord, n) != 0)
            continue;
        if (!e.myDigits)
        {
            anOut->Add("%s", e.myRegister);
            return n;
        }
        if (p[n] && strchr(e.myDigits, p[n]))
        {
            anOut->Add("%s%c", e.myRegister, p[n]);
            return n + 1;
        }
    }
    return 0;
}

// One instruction line of template text as ps_1_2: words become registers, operands are
// separated by commas, source masks .rgba and .rgb are dropped. *aWritesAlphaOut is set
// when the destination mask writes alpha.
static bool locTranslateLine(const char* aLine, QR_ShaderText* anOut, bool* aWritesAlphaOut)
{
    char locLine[300];
    size_t n = strlen(aLine);
    if (n >= sizeof(locLine))
        return false;
    for (size_t i = 0; i <= n; i++)
        locLine[i] = (char)tolower((unsigned char)aLine[i]);
    char w[6][locTokenLimit + 1];
    uint32_t locCount;
    if (!locSplit(locLine, w, 6, &locCount) || locCount < 2)
        return false;
    for (uint32_t k = 0; k < locCount; k++)
    {
        if (k == 1)
            anOut->Add(" ");
        else if (k > 1)
            anOut->Add(", ");
        const char* p = w[k];
        while (*p)
        {
            if (*p == '.')
            {
                const char* locMask = p;
                size_t m = 1;
                while (isalpha((unsigned char)p[m]))
                    m++;
                bool locRGBA = m == 5 && strncmp(locMask, ".rgba", 5) == 0;
                bool locRGB = m == 4 && strncmp(locMask, ".rgb", 4) == 0;
                if (k == 1)
                {
                    *aWritesAlphaOut = *aWritesAlphaOut || locRGBA || (m == 2 && locMask[1] == 'a');
                    anOut->Add("%.*s", (int)m, locMask);
                }
                else if (!locRGBA && !locRGB)
                    anOut->Add("%.*s", (int)m, locMask);
                p += m;
                continue;
            }
            size_t locRead = locTranslateWord(p, anOut);
            if (locRead)
                p += locRead;
            else
                anOut->Add("%c", *p++);
        }
    }
    anOut->Add("\r\n");
    return true;
}

// [SECTION] Stage instructions --------------------------------------------------------------

// What the template compiler knows while it reads one pass.
struct QR_TemplatePass
{
    QR_SurfacePass* myPass;
    QR_CompiledStageBlock* myBlock;
    uint32_t myAlphaFunc;
    uint32_t myAlphaRef;
    uint32_t myCurColorStage;
    uint32_t myCurAlphaStage;
};

struct QR_TemplateReader
{
    QF_File myFile;
    QR_Surface* mySurface;
    uint32_t myNumDefaults;
    uint32_t myDefaultTypes[64];
    bool myPixelShaderFlag;
    bool myReadLineFailed;

    // One line of at most aLimit characters; a longer one fails (never cut).
    bool Line(char* aBuffer, uint32_t aLimit)
    {
        myFile.ReadLine(aBuffer, aLimit + 2);
        if (strlen(aBuffer) > aLimit)
            return false;
        return true;
    }
};

static uint32_t locStageSource(const char* anArg, bool* aTextureFlag, uint32_t* aUnitOut, QR_Surface* aSurface,
                               uint32_t aChannels, bool* anOkOut)
{
    *anOkOut = true;
    *aTextureFlag = false;
    if (strncmp(anArg, "TEMP", 4) == 0 && isdigit((unsigned char)anArg[4]) && !anArg[5])
        return anArg[4] == '0' ? GFX_TA_CURRENT : GFX_TA_TEMP;
    if (strncmp(anArg, "VERTEX", 6) == 0 && isdigit((unsigned char)anArg[6]) && !anArg[7])
    {
        bool locDiffuseFlag = anArg[6] == '0';
        uint8_t& locColor = locDiffuseFlag ? aSurface->myUsesDiffuseColor : aSurface->myUsesSpecularColor;
        uint8_t& locAlpha = locDiffuseFlag ? aSurface->myUsesDiffuseAlpha : aSurface->myUsesSpecularAlpha;
        if (aChannels & 1)
            locColor = 1;
        if (aChannels & 2)
            locAlpha = 1;
        return locDiffuseFlag ? GFX_TA_DIFFUSE : GFX_TA_SPECULAR;
    }
    // "CONSTANT0" too: the draw colour's name in pixel-shader text (c0), so one template
    // reads the same with pixel shaders on and off.
    if (strcmp(anArg, "CONSTANT") == 0 || strcmp(anArg, "CONSTANT0") == 0)
    {
        aSurface->myUsesConstant = 1;
        return GFX_TA_TFACTOR;
    }
    if (strncmp(anArg, "TEXTURE", 7) == 0 && isdigit((unsigned char)anArg[7]) && !anArg[8])
    {
        *aTextureFlag = true;
        *aUnitOut = (uint32_t)(anArg[7] - '0');
        return GFX_TA_TEXTURE;
    }
    *anOkOut = false;
    return 0;
}

// One fixed-function instruction line placed into the stages (pixel shaders off).
static bool locPlaceInstruction(QR_TemplateReader& aReader, QR_TemplatePass& aPass, const char* aLine)
{
    char locLine[300];
    if (strlen(aLine) >= sizeof(locLine))
        return false;
    strcpy(locLine, aLine);
    locUpper(locLine);
    char w[5][locTokenLimit + 1];
    uint32_t locCount;
    if (!locSplit(locLine, w, 5, &locCount) || locCount < 3)
        return false;

    // Operation: NAME[_MODIFIER]_CLAMP.
    char* locClamp = strstr(w[0], "_CLAMP");
    if (!locClamp)
        return false;
    *locClamp = 0;
    char* locModifier = strchr(w[0], '_');
    if (locModifier)
        *locModifier++ = 0;
    uint32_t locOp;
    uint32_t locNumArgs;
    if (strcmp(w[0], "MUL") == 0)
    {
        locNumArgs = 2;
        if (!locModifier)
            locOp = GFX_TOP_MODULATE;
        else if (strcmp(locModifier, "X2") == 0)
            locOp = GFX_TOP_MODULATE2X;
        else if (strcmp(locModifier, "X4") == 0)
            locOp = GFX_TOP_MODULATE4X;
        else
            return false;
    }
    else
    {
        static const struct
        {
            const char* myName;
            uint32_t myOp;
            uint32_t myArgs;
        } locOps[] = {{"MOV", GFX_TOP_SELECTARG1, 1}, {"ADD", GFX_TOP_ADD, 2},       {"SUB", GFX_TOP_SUBTRACT, 2},
                      {"MAD", GFX_TOP_MULTIPLYADD, 3}, {"LERP", GFX_TOP_LERP, 3},   {"DOT3", GFX_TOP_DOTPRODUCT3, 2}};
        int k = -1;
        for (int i = 0; i < 6 && k < 0; i++)
            if (strcmp(w[0], locOps[i].myName) == 0)
                k = i;
        if (k < 0 || locModifier) // "CND" has no texture-stage form
            return false;
        locOp = locOps[k].myOp;
        locNumArgs = locOps[k].myArgs;
    }
    if (locCount != 2 + locNumArgs)
        return false;

    // Destination.
    uint32_t locOutput;
    if (strncmp(w[1], "TEMP0.", 6) == 0)
        locOutput = GFX_TA_CURRENT;
    else if (strncmp(w[1], "TEMP1.", 6) == 0)
        locOutput = GFX_TA_TEMP;
    else
        return false;
    const char* locMask = w[1] + 5;
    bool locColorFlag, locAlphaFlag;
    if (strcmp(locMask, ".RGBA") == 0)
        locColorFlag = locAlphaFlag = true;
    else if (strcmp(locMask, ".RGB") == 0)
        locColorFlag = true, locAlphaFlag = false;
    else if (strcmp(locMask, ".A") == 0)
        locColorFlag = false, locAlphaFlag = true;
    else
        return false;

    // Arguments: [1-]SOURCE.CHANNELS, filling ARG1, ARG2, ARG0.
    uint32_t locArgs[3] = {GFX_TA_CURRENT, GFX_TA_CURRENT, GFX_TA_CURRENT};
    bool locTextureArg[3] = {};
    uint32_t locUnits[3] = {};
    for (uint32_t a = 0; a < locNumArgs; a++)
    {
        char* p = w[2 + a];
        uint32_t locFlags = 0;
        if (strncmp(p, "1-", 2) == 0)
        {
            locFlags |= GFX_TA_COMPLEMENT;
            p += 2;
        }
        char* locDot = strchr(p, '.');
        if (!locDot)
            return false;
        *locDot = 0;
        const char* locChannels = locDot + 1;
        uint32_t locChannelBits;
        if (strcmp(locChannels, "RGBA") == 0 && locColorFlag && locAlphaFlag)
            locChannelBits = 3;
        else if (strcmp(locChannels, "RGB") == 0 && !locAlphaFlag)
            locChannelBits = 1;
        else if (strcmp(locChannels, "A") == 0)
        {
            locChannelBits = 2;
            locFlags |= GFX_TA_ALPHAREPLICATE;
        }
        else
            return false;
        bool locOk;
        uint32_t locSource = locStageSource(p, &locTextureArg[a], &locUnits[a], aReader.mySurface, locChannelBits, &locOk);
        if (!locOk)
            return false;
        // ARG1, ARG2, ARG0 in the order the arguments come.
        locArgs[a] = locSource | locFlags;
    }

    // Texture units: a stage reads only its own texture; a bump map is read through the
    // stage that follows it.
    QR_SurfacePass* p = aPass.myPass;
    bool locAddBumpFlag = false;
    for (uint32_t a = 0; a < locNumArgs; a++)
    {
        if (!locTextureArg[a])
            continue;
        uint32_t d = locUnits[a];
        if (d >= p->myNumRemapEntries)
            return false; // no texture on that unit
        if (aReader.myDefaultTypes[p->myTextureIndexRemapList[d]] == QR_SURFACETEXTURETYPE_BUMPMAP)
            return false;
        if (d > 0 && aReader.myDefaultTypes[p->myTextureIndexRemapList[d - 1]] == QR_SURFACETEXTURETYPE_BUMPMAP)
            locAddBumpFlag = true;
    }
    for (uint32_t a = 0; a < locNumArgs; a++)
    {
        if (!locTextureArg[a])
            continue;
        uint32_t locShift = locAddBumpFlag ? 1 : 0;
        if (locColorFlag && locUnits[a] != aPass.myCurColorStage + locShift)
            return false;
        if (locAlphaFlag && locUnits[a] != aPass.myCurAlphaStage + locShift)
            return false;
    }
    if (locColorFlag && locAlphaFlag && aPass.myCurColorStage != aPass.myCurAlphaStage)
        return false;

    QR_CompiledStageBlock* b = aPass.myBlock;
    if (locAddBumpFlag)
    {
        if (!locColorFlag)
            return false; // an alpha-only instruction after a bump map
        if (aPass.myCurColorStage >= 8)
            return false;
        b->myStages[aPass.myCurColorStage].myWords[locColorOp] = GFX_TOP_BUMPENVMAP;
        aPass.myCurColorStage++;
        if (locAlphaFlag)
        {
            if (aPass.myCurAlphaStage >= 8)
                return false;
            b->myStages[aPass.myCurAlphaStage].myWords[locAlphaOp] = GFX_TOP_SELECTARG1;
            aPass.myCurAlphaStage++;
        }
        else if (aPass.myCurAlphaStage >= aPass.myCurColorStage)
            return false;
    }
    if (locColorFlag)
    {
        if (aPass.myCurColorStage >= 8)
            return false;
        uint32_t* s = b->myStages[aPass.myCurColorStage].myWords;
        s[locColorOp] = locOp;
        s[locColorArg1] = locArgs[0];
        s[locColorArg2] = locArgs[1];
        s[locColorArg0] = locArgs[2];
        if (aPass.myCurAlphaStage > aPass.myCurColorStage && s[locResult] != locOutput)
            return false;
        s[locResult] = locOutput;
        aPass.myCurColorStage++;
    }
    if (locAlphaFlag)
    {
        if (aPass.myCurAlphaStage >= 8)
            return false;
        uint32_t* s = b->myStages[aPass.myCurAlphaStage].myWords;
        s[locAlphaOp] = locOp;
        s[locAlphaArg1] = locArgs[0] & ~(uint32_t)GFX_TA_ALPHAREPLICATE;
        s[locAlphaArg2] = locArgs[1] & ~(uint32_t)GFX_TA_ALPHAREPLICATE;
        s[locAlphaArg0] = locArgs[2] & ~(uint32_t)GFX_TA_ALPHAREPLICATE;
        if (aPass.myCurColorStage > aPass.myCurAlphaStage && s[locResult] != locOutput)
            return false;
        s[locResult] = locOutput;
        aPass.myCurAlphaStage++;
    }
    return true;
}

static bool locReadsTexture(const uint32_t* aWords, int anArg1, int anArg2, int anArg0)
{
    return (aWords[anArg1] & GFX_TA_SELECTMASK) == GFX_TA_TEXTURE ||
           (aWords[anArg2] & GFX_TA_SELECTMASK) == GFX_TA_TEXTURE ||
           (aWords[anArg0] & GFX_TA_SELECTMASK) == GFX_TA_TEXTURE;
}

// Evens out the colour and alpha chains so both run through every stage.
static void locEvenChains(QR_CompiledStageBlock* aBlock, uint32_t nc, uint32_t na)
{
    for (int locPass = 0; locPass < 2; locPass++)
    {
        // First the shorter colour chain, then the shorter alpha chain.
        bool locColorFlag = locPass == 0;
        uint32_t locShort = locColorFlag ? nc : na, locLong = locColorFlag ? na : nc;
        if (locShort >= locLong)
            continue;
        int o = locColorFlag ? locColorOp : locAlphaOp;
        int a1 = locColorFlag ? locColorArg1 : locAlphaArg1;
        int a2 = locColorFlag ? locColorArg2 : locAlphaArg2;
        int a0 = locColorFlag ? locColorArg0 : locAlphaArg0;
        auto locSelect = [&](uint32_t aStage, uint32_t anArg)
        {
            uint32_t* s = aBlock->myStages[aStage].myWords;
            s[o] = GFX_TOP_SELECTARG1;
            s[a1] = anArg;
        };
        if (locShort < 2)
        {
            uint32_t* s0 = aBlock->myStages[0].myWords;
            if (locShort == 0 || !locReadsTexture(s0, a1, a2, a0))
            {
                // The operation moves to the last stage (none written: every stage passes
                // the vertex colour on, the last one included, so no stage is switched off).
                if (locShort == 1)
                {
                    uint32_t* d = aBlock->myStages[locLong - 1].myWords;
                    d[o] = s0[o], d[a1] = s0[a1], d[a2] = s0[a2], d[a0] = s0[a0];
                }
                uint32_t locEnd = locShort == 1 ? locLong - 1 : locLong;
                for (uint32_t i = 0; i < locEnd; i++)
                    locSelect(i, GFX_TA_DIFFUSE);
            }
            else
                for (uint32_t i = 1; i < locLong; i++)
                    locSelect(i, aBlock->myStages[i - 1].myWords[locResult]);
        }
        else
            for (uint32_t i = locShort; i < locLong; i++)
                locSelect(i, aBlock->myStages[locShort - 1].myWords[locResult]);
    }
    aBlock->myNumStages = nc > na ? nc : na;
}

// [SECTION] Template files ------------------------------------------------------------------

static QR_CompiledStageBlock* locNewBlock()
{
    QR_CompiledStageBlock* b = new (std::nothrow) QR_CompiledStageBlock();
    if (!b)
        return nullptr;
    b->mySrcBlend = GFX_BLEND_ONE;
    b->myDestBlend = GFX_BLEND_ZERO;
    b->myAlphaFunc = GFX_CMP_ALWAYS;
    for (int i = 0; i < 8; i++)
    {
        uint32_t* s = b->myStages[i].myWords;
        s[locColorOp] = s[locAlphaOp] = GFX_TOP_DISABLE;
        s[locColorArg1] = s[locColorArg2] = s[locColorArg0] = GFX_TA_CURRENT;
        s[locAlphaArg1] = s[locAlphaArg2] = s[locAlphaArg0] = GFX_TA_CURRENT;
        s[locResult] = GFX_TA_CURRENT;
    }
    return b;
}

static void locFreePass(QR_SurfacePass* aPass)
{
    if (!aPass)
        return;
    if (aPass->myBlock)
    {
        QR_RenderD3D::ReleaseStageBlock(aPass->myBlock);
        if (ourD3DStateCache.myLastBlock == aPass->myBlock)
            ourD3DStateCache.myLastBlock = nullptr;
        delete aPass->myBlock;
    }
    delete aPass;
}

static bool locSyntax()
{
    QR_Error::SetCode(QR_ERROR_SURFACE_SYNTAX);
    return false;
}

static bool locHexColor(const char* aText, uint32_t* aColorOut)
{
    if (strncasecmp(aText, "0x", 2) == 0)
        aText += 2;
    uint32_t locValue = 0;
    auto r = std::from_chars(aText, aText + strlen(aText), locValue, 16);
    if (r.ec != std::errc() || r.ptr == aText || *r.ptr)
        return false;
    *aColorOut = locValue;
    return true;
}

// One pass section; the pass and its block are the caller's to free on failure.
static bool locReadPass(QR_TemplateReader& aReader, QR_SurfacePass* aPass)
{
    char locLine[300];
    const char* v;
    uint32_t n;
    QR_CompiledStageBlock* b = locNewBlock();
    if (!b)
        return locSyntax();
    aPass->myBlock = b;
    QR_TemplatePass t = {aPass, b, GFX_CMP_ALWAYS, 0, 0, 0};

    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "NUM_PASSES")) || !locParseUInt(v, 1, &n) || n != 1)
        return locSyntax();

    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "FRAMEBUFFERBLENDING")))
        return locSyntax();
    if (strcasecmp(v, "OFF") != 0)
    {
        char w[3][locTokenLimit + 1];
        if (!locSplit(v, w, 3, &n) || n != 2)
            return locSyntax();
        int s = locFindName(w[0], locBlendNames, 11), d = locFindName(w[1], locBlendNames, 11);
        if (s < 0 || d < 0)
            return locSyntax();
        b->mySrcBlend = (uint32_t)s + 1;
        b->myDestBlend = (uint32_t)d + 1;
    }

    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "ALPHATEST")))
        return locSyntax();
    if (strcasecmp(v, "OFF") != 0 && strcasecmp(v, "ALWAYS") != 0)
    {
        char w[3][locTokenLimit + 1];
        uint32_t locRef;
        if (!locSplit(v, w, 3, &n) || n != 2 || !locParseUInt(w[1], 255, &locRef))
            return locSyntax();
        int f = locFindName(w[0], locCompareNames, 8);
        if (f <= 0) // unknown, or NEVER
            return locSyntax();
        t.myAlphaFunc = (uint32_t)f + 1;
        t.myAlphaRef = locRef;
    }

    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "ZWRITE")))
        return locSyntax();
    static const char* const locZWrite[] = {"DEFAULT", "ON", "OFF"};
    int z = locFindName(v, locZWrite, 3);
    if (z < 0)
        return locSyntax();
    aPass->myZWriteMode = (uint32_t)z;

    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "FOGCOLOR")))
        return locSyntax();
    if (strcasecmp(v, "DEFAULT") != 0)
    {
        if (!locHexColor(v, &aPass->myFogColor))
            return locSyntax();
        aPass->myFogColorFlag = 1;
    }

    uint32_t locNumRemap;
    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "NUM_REMAP_ENTRIES")) ||
        !locParseUInt(v, QR_MAX_REMAP_ENTRIES, &locNumRemap))
        return locSyntax();
    bool locCoordinatesFlag = false;
    for (uint32_t j = 0; j < locNumRemap; j++)
    {
        if (!aReader.Line(locLine, 256))
            return locSyntax();
        locUpper(locLine);
        char* locEnd;
        unsigned long locValue = strtoul(locLine, &locEnd, 10);
        if (locEnd == locLine || locValue > 0xFFFF)
            return locSyntax();
        aPass->myTextureIndexRemapList[j] = (uint32_t)locValue;
        aPass->myRemapMarks[j] = strstr(locLine, "DOT3CALC") ? QR_REMAP_DOT3CALC
                                 : strstr(locLine, "DOT3TEX") ? QR_REMAP_DOT3TEX
                                                              : QR_REMAP_PLAIN;
        if (locValue <= 15)
        {
            // Texture entries come first, and name a slot with a default texture.
            if (locCoordinatesFlag || locValue >= aReader.myNumDefaults)
                return locSyntax();
            aPass->myNumRemapEntries++;
        }
        else
            locCoordinatesFlag = true;
    }
    aPass->myNumRemapLines = locNumRemap;
    // A bump map needs the unit after it.
    if (aPass->myNumRemapEntries > 0 &&
        aReader.myDefaultTypes[aPass->myTextureIndexRemapList[aPass->myNumRemapEntries - 1]] ==
            QR_SURFACETEXTURETYPE_BUMPMAP)
        return locSyntax();

    uint32_t locNumInstructions;
    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "NUM_INSTRUCTIONS")) ||
        !locParseUInt(v, 64, &locNumInstructions))
        return locSyntax();

    if (aReader.myPixelShaderFlag)
    {
        QR_ShaderText locText;
        locText.Add("ps_1_2\r\n");
        for (uint32_t j = 0; j < locNumRemap; j++)
        {
            uint32_t locSlot = aPass->myTextureIndexRemapList[j];
            uint8_t locMark = aPass->myRemapMarks[j];
            bool locPlainTexture = locSlot <= 15 && locMark == QR_REMAP_PLAIN;
            bool locPreviousPlain = j > 0 && aPass->myTextureIndexRemapList[j - 1] <= 15 &&
                                    aPass->myRemapMarks[j - 1] == QR_REMAP_PLAIN;
            bool locAfterBump = locPreviousPlain &&
                                aReader.myDefaultTypes[aPass->myTextureIndexRemapList[j - 1]] ==
                                    QR_SURFACETEXTURETYPE_BUMPMAP;
            int locNormal = locPreviousPlain ? (int)j - 1 : (int)j - 2;
            if (locAfterBump)
            {
                if (!locPlainTexture)
                {
                    QR_Error::SetCode(QR_ERROR_DEVICE_TEXTURE);
                    return false;
                }
                locText.Add("texbem t%u, t%u\r\n", j, j - 1);
            }
            else if (locMark == QR_REMAP_DOT3TEX || locMark == QR_REMAP_DOT3CALC)
            {
                if (locNormal < 0)
                {
                    QR_Error::SetCode(QR_ERROR_DEVICE_TEXTURE);
                    return false;
                }
                locText.Add(locMark == QR_REMAP_DOT3TEX ? "texdp3tex t%u, t%d_bx2\r\n" : "texdp3 t%u, t%d_bx2\r\n", j,
                            locNormal);
            }
            else if (locSlot > 15)
                locText.Add("texcoord t%u\r\n", j);
            else
                locText.Add("tex t%u\r\n", j);
        }
        bool locWritesAlpha = false;
        for (uint32_t i = 0; i < locNumInstructions; i++)
        {
            if (!aReader.Line(locLine, 256))
                return locSyntax();
            if (!locTranslateLine(locLine, &locText, &locWritesAlpha))
                return locSyntax();
        }
        if (!locWritesAlpha)
            locText.Add("+mov r0.a, c0.a\r\n");
        aReader.mySurface->myUsesDiffuseColor = aReader.mySurface->myUsesDiffuseAlpha = 1;
        aReader.mySurface->myUsesSpecularColor = 1;
        b->myNumStages = aPass->myNumRemapEntries;
        b->myPixelShader = locCreatePixelShader(locText);
        if (!b->myPixelShader)
        {
            QR_Error::SetCode(QR_ERROR_DEVICE_TEXTURE);
            return false;
        }
    }
    else
    {
        for (uint32_t i = 0; i < locNumInstructions; i++)
        {
            if (!aReader.Line(locLine, 256) || !locPlaceInstruction(aReader, t, locLine))
                return locSyntax();
        }
        locEvenChains(b, t.myCurColorStage, t.myCurAlphaStage);
    }

    b->myAlphaFunc = t.myAlphaFunc;
    b->myNumTextures = aPass->myNumRemapEntries;
    aPass->myAlphaTestFlag = t.myAlphaFunc != GFX_CMP_ALWAYS;
    aReader.mySurface->myDefaultInstance.myAlphaRef = aPass->myAlphaTestFlag ? t.myAlphaRef : 0;
    if (!aReader.myPixelShaderFlag)
        QR_RenderD3D::WritePixelShader(b); // nothing while pixel shaders are off
    return true;
}

// A default-texture description: one name, or "n name1 ... namen rate".
static bool locReadDescription(const char* aText, QR_TextureNames* aRecord)
{
    if (!strchr(aText, ' '))
    {
        if (!*aText || strlen(aText) > 255)
            return false;
        aRecord->SetNames(1);
        aRecord->myNames[0] = aText;
        return true;
    }
    const char* p = aText;
    char* locEnd;
    unsigned long locCount = strtoul(p, &locEnd, 10);
    if (locEnd == p || *locEnd != ' ' || locCount == 0 || locCount > 256)
        return false;
    p = locEnd + 1;
    aRecord->SetNames((uint32_t)locCount);
    for (unsigned long i = 0; i < locCount; i++)
    {
        const char* locBlank = strchr(p, ' ');
        // Every name ends with one blank: fewer names than the count is an error.
        if (!locBlank || locBlank == p || locBlank - p > 255)
            return false;
        char locName[256];
        memcpy(locName, p, (size_t)(locBlank - p));
        locName[locBlank - p] = 0;
        aRecord->myNames[i] = locName;
        p = locBlank + 1;
    }
    float locRate = 0.0f;
    auto r = std::from_chars(p, p + strlen(p), locRate); // C locale whatever the user's
    if (r.ec != std::errc() || r.ptr == p || *r.ptr)
        return false;
    aRecord->myFramesPerSecond = locRate;
    return true;
}

static bool locReadTemplate(QR_TemplateReader& aReader)
{
    QR_Surface* s = aReader.mySurface;
    char locLine[1100];
    const char* v;
    uint32_t n;
    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "VERSION")) || !locParseUInt(v, 0xFFFF, &n) ||
        n != 1)
        return locSyntax();
    uint32_t locNumDefaults;
    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "NUM_DEFAULT_TEXTURES")) ||
        !locParseUInt(v, 64, &locNumDefaults))
        return locSyntax();
    s->myTextureNames = locNumDefaults ? new QR_TextureNames[locNumDefaults] : nullptr;
    s->myNumTextureNames = locNumDefaults;
    aReader.myNumDefaults = locNumDefaults;
    for (uint32_t i = 0; i < locNumDefaults; i++)
    {
        if (!aReader.Line(locLine, 1023))
            return locSyntax();
        uint32_t locType;
        if ((v = locAfterKey(locLine, "TEXTURE")))
            locType = QR_SURFACETEXTURETYPE_TEXTURE;
        else if ((v = locAfterKey(locLine, "BUMPMAP")))
            locType = QR_SURFACETEXTURETYPE_BUMPMAP;
        else
            return locSyntax(); // "CUBEMAP" included
        s->myTextureNames[i].myType = locType;
        aReader.myDefaultTypes[i] = locType;
        if (!locReadDescription(v, &s->myTextureNames[i]))
            return locSyntax();
    }
    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "NUM_CONFIGS")) || !locParseUInt(v, 0xFFFF, &n) ||
        n < 1)
        return locSyntax();
    if (!aReader.Line(locLine, 256) || !locAfterKey(locLine, "CONFIG") || locLine[6] == '_')
        return locSyntax();
    if (!aReader.Line(locLine, 256) || !(v = locAfterKey(locLine, "CONFIG_FLAGS")))
        return locSyntax();
    char locFlags[300];
    strcpy(locFlags, v);
    locUpper(locFlags);
    s->mySortFlag = strstr(locFlags, "SORT") ? 1 : 0;
    bool locFadeFlag = strstr(locFlags, "FADE") != nullptr;

    s->myPass = new (std::nothrow) QR_SurfacePass();
    if (!s->myPass || !locReadPass(aReader, s->myPass))
        return false;
    if (locFadeFlag)
    {
        s->myFadePass = new (std::nothrow) QR_SurfacePass();
        if (!s->myFadePass || !locReadPass(aReader, s->myFadePass))
            return false;
    }
    else
        s->myFadePass = s->myPass;

    // Slots from the default textures, as many as the normal pass binds: a pass binding more
    // units than there are default textures would make slots from past their end.
    uint32_t locSlots = s->myPass->myNumRemapEntries;
    if (locSlots > s->myNumTextureNames)
        return locSyntax();
    s->myNumTextures = locSlots;
    s->myDefaultInstance.myTextures = locSlots ? new QR_SurfaceTexture[locSlots]() : nullptr;
    s->myDefaultInstance.myNumTextures = locSlots;
    for (uint32_t i = 0; i < locSlots; i++)
    {
        const QR_TextureNames& r = s->myTextureNames[i];
        QR_SurfaceTexture& e = s->myDefaultInstance.myTextures[i];
        e.myFrames = new QR_Texture*[r.myNumNames]();
        e.myFramesPerSecond = r.myFramesPerSecond;
        for (uint32_t k = 0; k < r.myNumNames; k++)
        {
            QR_Texture* t = QR_Texture::Acquire(r.myNames[k].myData, QR_TEXTUREFLAG_STRETCH, 0, nullptr);
            if (!t)
                return false; // the texture's error code stays
            e.myFrames[e.myNumFrames++] = t;
        }
    }
    return true;
}

// [SECTION] Compile and release ---------------------------------------------------------------

// The one default slot of the built-in surfaces: one empty frame, no name.
static void locBuiltInSlot(QR_Surface* s)
{
    s->myNumTextures = 1;
    s->myDefaultInstance.myTextures = new QR_SurfaceTexture[1]();
    s->myDefaultInstance.myTextures[0].myFrames = new QR_Texture*[1]();
    s->myDefaultInstance.myTextures[0].myNumFrames = 1;
    s->myDefaultInstance.myTextures[0].myFramesPerSecond = 1.0f;
    s->myDefaultInstance.myNumTextures = 1;
    s->myTextureNames = new QR_TextureNames[1];
    s->myNumTextureNames = 1;
}

static QR_SurfacePass* locBuiltInPass(uint32_t aSrcBlend, uint32_t aDestBlend, uint32_t aNumStages)
{
    QR_SurfacePass* p = new QR_SurfacePass();
    p->myNumRemapEntries = p->myNumRemapLines = 1;
    p->myBlock = locNewBlock();
    p->myBlock->mySrcBlend = aSrcBlend;
    p->myBlock->myDestBlend = aDestBlend;
    p->myBlock->myNumTextures = 1;
    p->myBlock->myNumStages = aNumStages;
    return p;
}

static void locSetStage(QR_CompiledStageBlock* b, uint32_t i, uint32_t aColorOp, uint32_t aColor1, uint32_t aColor2,
                        uint32_t anAlphaOp, uint32_t anAlpha1, uint32_t anAlpha2)
{
    uint32_t* s = b->myStages[i].myWords;
    s[locColorOp] = aColorOp, s[locColorArg1] = aColor1, s[locColorArg2] = aColor2;
    s[locAlphaOp] = anAlphaOp, s[locAlphaArg1] = anAlpha1, s[locAlphaArg2] = anAlpha2;
}

bool QR_RenderD3D::CompileSurfaceTemplate(QR_Surface* aSurface)
{
    QR_Error::Printf("%s", aSurface->myName);
    if (aSurface->myPass)
        ReleaseSurfaceTemplate(aSurface); // compiled before: start again
    QR_Surface* s = aSurface;
    // The built-ins by their normalised names.
    if (strcmp(s->myName, "internal_solid") == 0)
    {
        locBuiltInSlot(s);
        s->myPass = locBuiltInPass(GFX_BLEND_ONE, GFX_BLEND_ZERO, 1);
        locSetStage(s->myPass->myBlock, 0, GFX_TOP_MODULATE, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1,
                    GFX_TA_DIFFUSE, GFX_TA_CURRENT);
        s->myFadePass = locBuiltInPass(GFX_BLEND_SRCALPHA, GFX_BLEND_INVSRCALPHA, 1);
        locSetStage(s->myFadePass->myBlock, 0, GFX_TOP_MODULATE, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_MODULATE,
                    GFX_TA_DIFFUSE, GFX_TA_TFACTOR);
        WritePixelShader(s->myPass->myBlock);
        WritePixelShader(s->myFadePass->myBlock);
        s->myUsesDiffuseColor = s->myUsesDiffuseAlpha = 1;
        s->myUsesConstant = 1;
        return true;
    }
    if (strcmp(s->myName, "internal_alpha") == 0)
    {
        locBuiltInSlot(s);
        s->myPass = locBuiltInPass(GFX_BLEND_SRCALPHA, GFX_BLEND_INVSRCALPHA, 2);
        locSetStage(s->myPass->myBlock, 0, GFX_TOP_MODULATE, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_MODULATE,
                    GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
        locSetStage(s->myPass->myBlock, 1, GFX_TOP_SELECTARG1, GFX_TA_CURRENT, GFX_TA_CURRENT, GFX_TOP_MODULATE,
                    GFX_TA_CURRENT, GFX_TA_TFACTOR);
        s->myFadePass = s->myPass;
        WritePixelShader(s->myPass->myBlock);
        s->myUsesDiffuseColor = 1;
        s->myUsesConstant = 1;
        return true;
    }

    QR_TemplateReader* locReader = new (std::nothrow) QR_TemplateReader();
    if (!locReader)
        return locSyntax();
    locReader->mySurface = s;
    locReader->myPixelShaderFlag = myRenderSettings.myPixelShaderFlag != 0;
    if (!locReader->myFile.Open(s->myName, QF_READ))
    {
        delete locReader;
        QR_Error::SetCode(QR_ERROR_IMAGE_FORMAT);
        return false;
    }
    bool locOk = locReadTemplate(*locReader);
    locReader->myFile.Close();
    delete locReader;
    if (!locOk)
        ReleaseSurfaceTemplate(s); // nothing of a failed compilation stays
    return locOk;
}

void QR_RenderD3D::ReleaseSurfaceTemplate(QR_Surface* aSurface)
{
    QR_Surface* s = aSurface;
    if (s->myFadePass != s->myPass)
        locFreePass(s->myFadePass);
    locFreePass(s->myPass);
    s->myPass = s->myFadePass = nullptr;
    s->myDefaultInstance.ReleaseTextures();
    delete[] s->myTextureNames;
    s->myTextureNames = nullptr;
    s->myNumTextureNames = 0;
    s->myNumTextures = 0;
    s->mySortFlag = 0;
    s->myDefaultInstance.myAlphaRef = 0;
    s->myUsesDiffuseColor = s->myUsesDiffuseAlpha = s->myUsesSpecularColor = s->myUsesSpecularAlpha = 0;
    s->myUsesConstant = 0;
}
