// Our assembler of shader texts (vs_1_1, ps_1_1 .. ps_1_4) into an instruction list.
// Case does not matter; "//" and ";" start comments; "+" marks a co-issued instruction.
#include "platform/gfx/gfx_local.h"
#include "platform/gfx/gfx_shader_local.h"

#include <cctype>
#include <cmath>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

namespace
{

struct OpInfo
{
    const char* myName;
    GFX_ShaderOp myOp;
    int mySources;  // -1: not an arithmetic form (handled apart)
    bool myVertex;  // allowed in vertex shaders
    bool myPixel;   // allowed in pixel shaders
};

const OpInfo ourOps[] = {
    {"nop", GFX_SOP_NOP, 0, true, true},       {"mov", GFX_SOP_MOV, 1, true, true},
    {"add", GFX_SOP_ADD, 2, true, true},       {"sub", GFX_SOP_SUB, 2, true, true},
    {"mul", GFX_SOP_MUL, 2, true, true},       {"mad", GFX_SOP_MAD, 3, true, true},
    {"dp3", GFX_SOP_DP3, 2, true, true},       {"dp4", GFX_SOP_DP4, 2, true, true},
    {"rcp", GFX_SOP_RCP, 1, true, false},      {"rsq", GFX_SOP_RSQ, 1, true, false},
    {"min", GFX_SOP_MIN, 2, true, false},      {"max", GFX_SOP_MAX, 2, true, false},
    {"slt", GFX_SOP_SLT, 2, true, false},      {"sge", GFX_SOP_SGE, 2, true, false},
    {"exp", GFX_SOP_EXP, 1, true, false},      {"expp", GFX_SOP_EXPP, 1, true, false},
    {"log", GFX_SOP_LOG, 1, true, false},      {"logp", GFX_SOP_LOGP, 1, true, false},
    {"lit", GFX_SOP_LIT, 1, true, false},      {"dst", GFX_SOP_DST, 2, true, false},
    {"frc", GFX_SOP_FRC, 1, true, false},      {"m4x4", GFX_SOP_M4X4, 2, true, false},
    {"m4x3", GFX_SOP_M4X3, 2, true, false},    {"m3x4", GFX_SOP_M3X4, 2, true, false},
    {"m3x3", GFX_SOP_M3X3, 2, true, false},    {"m3x2", GFX_SOP_M3X2, 2, true, false},
    {"lrp", GFX_SOP_LRP, 3, false, true},      {"cnd", GFX_SOP_CND, 3, false, true},
    {"cmp", GFX_SOP_CMP, 3, false, true},      {"bem", GFX_SOP_BEM, 2, false, true},
    {"tex", GFX_SOP_TEX, 0, false, true},      {"texcoord", GFX_SOP_TEXCOORD, 0, false, true},
    {"texkill", GFX_SOP_TEXKILL, 0, false, true}, {"texbem", GFX_SOP_TEXBEM, 1, false, true},
    {"texbeml", GFX_SOP_TEXBEML, 1, false, true}, {"texdp3", GFX_SOP_TEXDP3, 1, false, true},
    {"texdp3tex", GFX_SOP_TEXDP3TEX, 1, false, true}, {"texld", GFX_SOP_TEXLD, 1, false, true},
    {"texcrd", GFX_SOP_TEXCRD, 1, false, true}, {"phase", GFX_SOP_PHASE, 0, false, true},
    {"texreg2ar", GFX_SOP_TEXREG2AR, 1, false, true}, {"texreg2gb", GFX_SOP_TEXREG2GB, 1, false, true},
    {"texreg2rgb", GFX_SOP_TEXREG2RGB, 1, false, true}, {"texm3x2pad", GFX_SOP_TEXM3X2PAD, 1, false, true},
    {"texm3x2tex", GFX_SOP_TEXM3X2TEX, 1, false, true}, {"texm3x3pad", GFX_SOP_TEXM3X3PAD, 1, false, true},
    {"texm3x3tex", GFX_SOP_TEXM3X3TEX, 1, false, true}, {"texm3x3spec", GFX_SOP_TEXM3X3SPEC, 2, false, true},
    {"texm3x3vspec", GFX_SOP_TEXM3X3VSPEC, 1, false, true}, {"texm3x3", GFX_SOP_TEXM3X3, 1, false, true},
    {"texdepth", GFX_SOP_TEXDEPTH, 0, false, true},
};

bool IsTextureOp(GFX_ShaderOp anOp)
{
    return anOp >= GFX_SOP_TEX && anOp <= GFX_SOP_TEXCRD;
}

bool IsArithmetic(GFX_ShaderOp anOp)
{
    return anOp != GFX_SOP_NOP && anOp != GFX_SOP_DEF && anOp != GFX_SOP_DCL && anOp != GFX_SOP_PHASE &&
           !IsTextureOp(anOp);
}

// The texm3x2 / texm3x3 rows before the instruction that finishes the matrix.
int PadRows(GFX_ShaderOp anOp)
{
    switch (anOp)
    {
        case GFX_SOP_TEXM3X2TEX: return 1;
        case GFX_SOP_TEXM3X3TEX:
        case GFX_SOP_TEXM3X3SPEC:
        case GFX_SOP_TEXM3X3VSPEC:
        case GFX_SOP_TEXM3X3: return 2;
        default: return 0;
    }
}

// Components (bit 0 x .. bit 3 w) of the register behind source aSource that an instruction reads.
uint8_t ReadComponents(const GFX_ShaderInst& i, int aSource)
{
    const GFX_ShaderSrc& s = i.mySrc[aSource];
    const auto locPick = [&s](std::initializer_list<int> aSlots) {
        uint8_t m = 0;
        for (int k : aSlots)
            m |= uint8_t(1u << s.mySwizzle[k]);
        return m;
    };
    switch (i.myOp)
    {
        case GFX_SOP_DP3:
        case GFX_SOP_M3X4:
        case GFX_SOP_M3X3:
        case GFX_SOP_M3X2: return locPick({0, 1, 2});
        case GFX_SOP_DP4:
        case GFX_SOP_M4X4:
        case GFX_SOP_M4X3: return locPick({0, 1, 2, 3});
        case GFX_SOP_RCP:
        case GFX_SOP_RSQ:
        case GFX_SOP_EXP:
        case GFX_SOP_EXPP:
        case GFX_SOP_LOG:
        case GFX_SOP_LOGP: return locPick({3});
        case GFX_SOP_LIT: return locPick({0, 1, 3});
        case GFX_SOP_DST: return aSource == 0 ? locPick({1, 2}) : locPick({1, 3});
        case GFX_SOP_BEM: return locPick({0, 1});
        case GFX_SOP_TEXLD:
        case GFX_SOP_TEXCRD: return s.myMod == GFX_SRCMOD_DW ? locPick({0, 1, 3}) : locPick({0, 1, 2});
        default:
        {
            uint8_t m = 0;
            for (int k = 0; k < 4; ++k)
                if (i.myDst.myMask & (1 << k))
                    m |= uint8_t(1u << s.mySwizzle[k]);
            return m;
        }
    }
}

struct Parser
{
    GFX_ShaderProgram* myProgram;
    uint32_t myLine = 0;
    std::string myError;
    // What the text has written so far, for the read-before-write rules; a co-issued
    // instruction reads what was there before the one it pairs with.
    uint8_t myWritten[12] = {};
    uint8_t myWrittenBefore[12] = {};
    bool myAddressWritten = false;
    uint32_t myDeclaredInputs = 0;
    // texm3x2pad / texm3x3pad rows waiting for the instruction that finishes their matrix.
    uint32_t myPadRows = 0;
    uint32_t myPadNeeded = 0; // 1: texm3x2, 2: texm3x3
    uint32_t myPadNextIndex = 0;
    uint16_t myPadSource = 0;
    uint32_t myPadLine = 0;

    bool Fail(const char* aWhat, const std::string& aToken = std::string())
    {
        char locText[200];
        snprintf(locText, sizeof(locText), "line %u: %s%s%s", myLine, aWhat, aToken.empty() ? "" : ": ",
                 aToken.c_str());
        myError = locText;
        return false;
    }

    static std::string Trim(const std::string& aText)
    {
        size_t b = 0, e = aText.size();
        while (b < e && isspace(static_cast<unsigned char>(aText[b])))
            ++b;
        while (e > b && isspace(static_cast<unsigned char>(aText[e - 1])))
            --e;
        return aText.substr(b, e - b);
    }

    static int Component(char c)
    {
        switch (c)
        {
            case 'x': case 'r': return 0;
            case 'y': case 'g': return 1;
            case 'z': case 'b': return 2;
            case 'w': case 'a': return 3;
            default: return -1;
        }
    }

    static bool Number(const std::string& aText, size_t* aPos, uint32_t* aValue)
    {
        size_t p = *aPos;
        if (p >= aText.size() || !isdigit(static_cast<unsigned char>(aText[p])))
            return false;
        uint32_t v = 0;
        while (p < aText.size() && isdigit(static_cast<unsigned char>(aText[p])) && v < 100000)
            v = v * 10 + uint32_t(aText[p++] - '0');
        *aPos = p;
        *aValue = v;
        return true;
    }

    // A register name at the start of aText; *aPos moves behind it.
    bool Register(const std::string& aText, size_t* aPos, GFX_ShaderRegFile* aFile, uint32_t* anIndex,
                  bool* aRelativeFlag)
    {
        *aRelativeFlag = false;
        size_t p = *aPos;
        auto locStarts = [&](const char* aPrefix) {
            return aText.compare(p, strlen(aPrefix), aPrefix) == 0;
        };
        if (locStarts("opos"))
            return *aFile = GFX_REG_POSITION, *anIndex = 0, *aPos = p + 4, true;
        if (locStarts("ofog"))
            return *aFile = GFX_REG_FOG, *anIndex = 0, *aPos = p + 4, true;
        if (locStarts("opts"))
            return *aFile = GFX_REG_POINTSIZE, *anIndex = 0, *aPos = p + 4, true;
        if (locStarts("od") || locStarts("ot"))
        {
            *aFile = aText[p + 1] == 'd' ? GFX_REG_COLOROUT : GFX_REG_TEXOUT;
            p += 2;
        }
        else if (locStarts("a0"))
            return *aFile = GFX_REG_ADDRESS, *anIndex = 0, *aPos = p + 2, true;
        else if (p < aText.size() && aText[p] == 'c' && p + 1 < aText.size() && aText[p + 1] == '[')
        {
            // c[a0.x + n], c[n + a0.x] or c[a0.x]
            const size_t e = aText.find(']', p);
            if (e == std::string::npos)
                return false;
            std::string locInside;
            for (size_t i = p + 2; i < e; ++i)
                if (!isspace(static_cast<unsigned char>(aText[i])))
                    locInside += aText[i];
            uint32_t n = 0;
            if (locInside == "a0.x")
                n = 0;
            else if (locInside.rfind("a0.x+", 0) == 0)
                n = uint32_t(atoi(locInside.c_str() + 5));
            else if (locInside.size() > 5 && locInside.compare(locInside.size() - 5, 5, "+a0.x") == 0)
                n = uint32_t(atoi(locInside.c_str()));
            else
            {
                size_t q = 0;
                if (!Number(locInside, &q, &n) || q != locInside.size())
                    return false;
                *aFile = GFX_REG_CONST, *anIndex = n, *aPos = e + 1;
                return true;
            }
            *aFile = GFX_REG_CONST, *anIndex = n, *aRelativeFlag = true, *aPos = e + 1;
            return true;
        }
        else if (p < aText.size())
        {
            switch (aText[p])
            {
                case 'r': *aFile = GFX_REG_TEMP; break;
                case 'v': *aFile = GFX_REG_INPUT; break;
                case 'c': *aFile = GFX_REG_CONST; break;
                case 't': *aFile = GFX_REG_TEXTURE; break;
                default: return false;
            }
            ++p;
        }
        if (!Number(aText, &p, anIndex))
            return false;
        *aPos = p;
        return true;
    }

    bool CheckIndex(GFX_ShaderRegFile aFile, uint32_t anIndex, bool aRelativeFlag, const std::string& aToken)
    {
        const GFX_ShaderLimits l = GFX_GetShaderLimits(*myProgram);
        uint32_t locLimit = 1;
        switch (aFile)
        {
            case GFX_REG_TEMP: locLimit = l.myTemps; break;
            case GFX_REG_INPUT: locLimit = l.myInputs; break;
            case GFX_REG_CONST: locLimit = aRelativeFlag ? 100000 : l.myConsts; break;
            case GFX_REG_TEXTURE: locLimit = l.myTextures; break;
            case GFX_REG_COLOROUT: locLimit = 2; break;
            case GFX_REG_TEXOUT: locLimit = 8; break;
            default: break;
        }
        const bool locVertexOnly = aFile == GFX_REG_ADDRESS || aFile >= GFX_REG_POSITION;
        if (myProgram->myPixelFlag ? locVertexOnly : aFile == GFX_REG_TEXTURE)
            return Fail("register not offered in this shader type", aToken);
        if (anIndex >= locLimit)
            return Fail("register index out of range", aToken);
        return true;
    }

    bool Destination(const std::string& aToken, GFX_ShaderDst* aDst)
    {
        size_t p = 0;
        GFX_ShaderRegFile locFile;
        uint32_t locIndex;
        bool locRelative;
        if (!Register(aToken, &p, &locFile, &locIndex, &locRelative) || locRelative)
            return Fail("bad destination register", aToken);
        if (locFile == GFX_REG_INPUT || locFile == GFX_REG_CONST)
            return Fail("inputs and constants cannot be written", aToken);
        if (!CheckIndex(locFile, locIndex, false, aToken))
            return false;
        aDst->myFile = locFile;
        aDst->myIndex = uint8_t(locIndex);
        aDst->myMask = 0xF;
        if (p < aToken.size())
        {
            if (aToken[p] != '.' || p + 1 == aToken.size())
                return Fail("bad write mask", aToken);
            aDst->myMask = 0;
            int locLast = -1;
            for (size_t i = p + 1; i < aToken.size(); ++i)
            {
                const int c = Component(aToken[i]);
                if (c <= locLast)
                    return Fail("bad write mask", aToken);
                aDst->myMask |= uint8_t(1 << c);
                locLast = c;
            }
        }
        return true;
    }

    bool Source(std::string aToken, GFX_ShaderSrc* aSrc)
    {
        *aSrc = GFX_ShaderSrc();
        if (!aToken.empty() && aToken[0] == '-')
        {
            aSrc->myNegateFlag = true;
            aToken = Trim(aToken.substr(1));
        }
        if (aToken.rfind("1-", 0) == 0)
        {
            aSrc->myMod = GFX_SRCMOD_COMPLEMENT;
            aToken = Trim(aToken.substr(2));
        }
        size_t p = 0;
        GFX_ShaderRegFile locFile;
        uint32_t locIndex;
        if (!Register(aToken, &p, &locFile, &locIndex, &aSrc->myRelativeFlag))
            return Fail("bad source register", aToken);
        if (locFile >= GFX_REG_POSITION)
            return Fail("outputs cannot be read", aToken);
        if (!CheckIndex(locFile, locIndex, aSrc->myRelativeFlag, aToken))
            return false;
        aSrc->myFile = locFile;
        aSrc->myIndex = uint16_t(locIndex);
        if (p < aToken.size() && aToken[p] == '_')
        {
            static const struct { const char* myName; GFX_ShaderSrcMod myMod; } ourMods[] = {
                {"_bx2", GFX_SRCMOD_BX2}, {"_bias", GFX_SRCMOD_BIAS}, {"_x2", GFX_SRCMOD_X2},
                {"_dz", GFX_SRCMOD_DZ},   {"_db", GFX_SRCMOD_DZ},     {"_dw", GFX_SRCMOD_DW},
                {"_da", GFX_SRCMOD_DW}};
            bool locFound = false;
            for (const auto& m : ourMods)
                if (aToken.compare(p, strlen(m.myName), m.myName) == 0 && aSrc->myMod == GFX_SRCMOD_NONE)
                {
                    aSrc->myMod = m.myMod;
                    p += strlen(m.myName);
                    locFound = true;
                    break;
                }
            if (!locFound)
                return Fail("unknown source modifier", aToken);
        }
        if (p < aToken.size())
        {
            if (aToken[p] != '.' || aToken.size() - p - 1 == 0 || aToken.size() - p - 1 > 4)
                return Fail("bad swizzle", aToken);
            const size_t n = aToken.size() - p - 1;
            for (size_t i = 0; i < 4; ++i)
            {
                const int c = Component(aToken[p + 1 + (i < n ? i : n - 1)]);
                if (c < 0)
                    return Fail("bad swizzle", aToken);
                aSrc->mySwizzle[i] = uint8_t(c);
            }
        }
        return true;
    }

    static bool Usage(const std::string& aName, GFX_DeclUsage* aUsage, uint8_t* anIndex)
    {
        static const struct { const char* myName; GFX_DeclUsage myUsage; } ourUsages[] = {
            {"positiont", GFX_DECLUSAGE_POSITIONT}, {"position", GFX_DECLUSAGE_POSITION},
            {"blendweight", GFX_DECLUSAGE_BLENDWEIGHT}, {"blendindices", GFX_DECLUSAGE_BLENDINDICES},
            {"normal", GFX_DECLUSAGE_NORMAL},     {"psize", GFX_DECLUSAGE_PSIZE},
            {"texcoord", GFX_DECLUSAGE_TEXCOORD}, {"tangent", GFX_DECLUSAGE_TANGENT},
            {"binormal", GFX_DECLUSAGE_BINORMAL}, {"tessfactor", GFX_DECLUSAGE_TESSFACTOR},
            {"color", GFX_DECLUSAGE_COLOR},       {"fog", GFX_DECLUSAGE_FOG},
            {"depth", GFX_DECLUSAGE_DEPTH}};
        for (const auto& u : ourUsages)
        {
            const size_t n = strlen(u.myName);
            if (aName.compare(0, n, u.myName) != 0)
                continue;
            size_t p = n;
            uint32_t locIndex = 0;
            if (p < aName.size() && (!Number(aName, &p, &locIndex) || p != aName.size() || locIndex > 15))
                return false;
            *aUsage = u.myUsage;
            *anIndex = uint8_t(locIndex);
            return true;
        }
        return false;
    }

    bool Version(const std::string& aLine)
    {
        std::string v;
        for (char c : aLine)
            v += c == '.' ? '_' : c;
        if (v == "vs_1_1" || v == "vs_1_0")
            myProgram->myPixelFlag = false, myProgram->myMinor = 1;
        else if (v.size() == 6 && v.compare(0, 5, "ps_1_") == 0 && v[5] >= '0' && v[5] <= '4')
            myProgram->myPixelFlag = true, myProgram->myMinor = uint32_t(v[5] - '0');
        else
            return Fail("the first line must be vs_1_1 or ps_1_0 .. ps_1_4", aLine);
        myProgram->myMajor = 1;
        return true;
    }

    bool Line(std::string aLine)
    {
        GFX_ShaderInst locInst;
        locInst.myLine = myLine;
        if (!aLine.empty() && aLine[0] == '+')
        {
            locInst.myCoissueFlag = true;
            aLine = Trim(aLine.substr(1));
            if (!myProgram->myPixelFlag)
                return Fail("co-issue in a vertex shader");
        }
        size_t locSpace = 0;
        while (locSpace < aLine.size() && !isspace(static_cast<unsigned char>(aLine[locSpace])))
            ++locSpace;
        const std::string locOpcode = aLine.substr(0, locSpace);
        std::vector<std::string> locOperands;
        std::string locRest = Trim(aLine.substr(locSpace));
        if (!locRest.empty())
        {
            // Split at commas outside brackets.
            int locDepth = 0;
            std::string locCurrent;
            for (char c : locRest)
            {
                if (c == '[')
                    ++locDepth;
                else if (c == ']')
                    --locDepth;
                if (c == ',' && locDepth == 0)
                {
                    locOperands.push_back(Trim(locCurrent));
                    locCurrent.clear();
                }
                else
                    locCurrent += c;
            }
            locOperands.push_back(Trim(locCurrent));
        }

        if (locOpcode.rfind("dcl_", 0) == 0)
        {
            if (myProgram->myPixelFlag)
                return Fail("dcl in a pixel shader");
            locInst.myOp = GFX_SOP_DCL;
            if (!Usage(locOpcode.substr(4), &locInst.myUsage, &locInst.myUsageIndex))
                return Fail("unknown usage", locOpcode);
            if (locOperands.size() != 1)
                return Fail("dcl takes one register");
            size_t p = 0;
            GFX_ShaderRegFile locFile;
            uint32_t locIndex;
            bool locRelative;
            if (!Register(locOperands[0], &p, &locFile, &locIndex, &locRelative) || locFile != GFX_REG_INPUT ||
                p != locOperands[0].size() || !CheckIndex(locFile, locIndex, false, locOperands[0]))
                return Fail("dcl needs an input register", locOperands[0]);
            locInst.myDst.myFile = GFX_REG_INPUT;
            locInst.myDst.myIndex = uint8_t(locIndex);
            return Add(locInst, locOpcode, locOperands);
        }
        if (locOpcode == "def")
        {
            if (locOperands.size() != 5)
                return Fail("def takes a constant and four values");
            size_t p = 0;
            GFX_ShaderRegFile locFile;
            uint32_t locIndex;
            bool locRelative;
            if (!Register(locOperands[0], &p, &locFile, &locIndex, &locRelative) || locFile != GFX_REG_CONST ||
                locRelative || p != locOperands[0].size() || !CheckIndex(locFile, locIndex, false, locOperands[0]))
                return Fail("def needs a constant register", locOperands[0]);
            locInst.myOp = GFX_SOP_DEF;
            locInst.myDst.myFile = GFX_REG_CONST;
            locInst.myDst.myIndex = uint8_t(locIndex);
            for (int i = 0; i < 4; ++i)
            {
                char* locEnd = nullptr;
                locInst.myValues[i] = strtof(locOperands[1 + i].c_str(), &locEnd);
                if (locEnd == locOperands[1 + i].c_str() || *locEnd || !std::isfinite(locInst.myValues[i]))
                    return Fail("bad number", locOperands[1 + i]);
            }
            return Add(locInst, locOpcode, locOperands);
        }

        // opcode[_modifier...]
        std::string locBase = locOpcode;
        std::vector<std::string> locMods;
        const size_t locUnderscore = locOpcode.find('_');
        if (locUnderscore != std::string::npos)
        {
            locBase = locOpcode.substr(0, locUnderscore);
            size_t p = locUnderscore;
            while (p != std::string::npos)
            {
                const size_t q = locOpcode.find('_', p + 1);
                locMods.push_back(locOpcode.substr(p + 1, q == std::string::npos ? std::string::npos : q - p - 1));
                p = q;
            }
        }
        const OpInfo* locInfo = nullptr;
        for (const OpInfo& o : ourOps)
            if (locBase == o.myName)
                locInfo = &o;
        if (!locInfo)
            return Fail("unknown instruction", locOpcode);
        if (!(myProgram->myPixelFlag ? locInfo->myPixel : locInfo->myVertex))
            return Fail("instruction not offered in this shader type", locOpcode);
        for (const std::string& m : locMods)
        {
            if (m == "sat" && myProgram->myPixelFlag)
                locInst.mySatFlag = true;
            else if (m == "x2" && myProgram->myPixelFlag)
                locInst.myShift = 1;
            else if (m == "x4" && myProgram->myPixelFlag)
                locInst.myShift = 2;
            else if (m == "x8" && myProgram->myPixelFlag && myProgram->myMinor == 4)
                locInst.myShift = 3;
            else if (m == "d2" && myProgram->myPixelFlag)
                locInst.myShift = -1;
            else if ((m == "d4" || m == "d8") && myProgram->myPixelFlag && myProgram->myMinor == 4)
                locInst.myShift = m == "d4" ? -2 : -3;
            else if (m == "pp")
                continue;
            else
                return Fail("unknown instruction modifier", locOpcode);
        }
        locInst.myOp = locInfo->myOp;
        if (locInst.myOp == GFX_SOP_NOP || locInst.myOp == GFX_SOP_PHASE)
        {
            if (!locOperands.empty())
                return Fail("no operands expected", locOpcode);
            if (locInst.myOp == GFX_SOP_PHASE && myProgram->myMinor != 4)
                return Fail("phase needs ps_1_4");
            return Add(locInst, locOpcode, locOperands);
        }
        if (locOperands.size() != size_t(locInfo->mySources) + 1)
            return Fail("wrong number of operands", locOpcode);
        if (!Destination(locOperands[0], &locInst.myDst))
            return false;
        for (int i = 0; i < locInfo->mySources; ++i)
            if (!Source(locOperands[1 + i], &locInst.mySrc[i]))
                return false;
        locInst.mySrcCount = uint8_t(locInfo->mySources);

        if (myProgram->myPixelFlag && IsTextureOp(locInst.myOp) && !TextureRules(locInst, locOpcode, locOperands))
            return false;
        return Add(locInst, locOpcode, locOperands);
    }

    // Which versions offer a texture instruction, what it writes and what it reads.
    bool TextureRules(const GFX_ShaderInst& i, const std::string& anOpcode, const std::vector<std::string>& anOperands)
    {
        const bool loc14 = myProgram->myMinor == 4;
        const GFX_ShaderOp op = i.myOp;
        if (op == GFX_SOP_TEXLD || op == GFX_SOP_TEXCRD || op == GFX_SOP_TEXDEPTH)
        {
            if (!loc14)
                return Fail("texld, texcrd and texdepth need ps_1_4", anOpcode);
        }
        else if (op != GFX_SOP_TEXKILL && loc14)
            return Fail("ps_1_4 reads textures with texld and texcrd", anOpcode);
        else if ((op == GFX_SOP_TEXREG2RGB || op == GFX_SOP_TEXM3X3) && myProgram->myMinor < 2)
            return Fail("texreg2rgb and texm3x3 need ps_1_2 or ps_1_3", anOpcode);
        const GFX_ShaderRegFile locWanted = loc14 ? GFX_REG_TEMP : GFX_REG_TEXTURE;
        if (i.myDst.myFile != locWanted && !(loc14 && op == GFX_SOP_TEXKILL))
            return Fail("texture instructions write texture registers (ps_1_4: temporaries)", anOperands[0]);
        if (op == GFX_SOP_TEXDEPTH && i.myDst.myIndex != 5)
            return Fail("texdepth works on r5", anOperands[0]);
        const bool locReadsEarlier = op == GFX_SOP_TEXBEM || op == GFX_SOP_TEXBEML || op == GFX_SOP_TEXDP3 ||
                                     op == GFX_SOP_TEXDP3TEX || (op >= GFX_SOP_TEXREG2AR && op <= GFX_SOP_TEXM3X3);
        if (locReadsEarlier &&
            (i.mySrc[0].myFile != GFX_REG_TEXTURE || i.mySrc[0].myIndex >= i.myDst.myIndex))
            return Fail("the source must be an earlier texture register", anOperands[1]);
        if (op == GFX_SOP_TEXM3X3SPEC && (i.mySrc[1].myFile != GFX_REG_CONST || i.mySrc[1].myRelativeFlag))
            return Fail("texm3x3spec takes the eye vector from a constant", anOperands[2]);
        return true;
    }

    // A swizzle a pixel-shader version offers: none or a replicate (ps_1_0 .. ps_1_3 only of
    // blue or alpha); texld and texcrd of ps_1_4 also .xyz and .xyw; texture instructions of
    // the earlier versions none.
    bool SwizzleOffered(const GFX_ShaderInst& i, const GFX_ShaderSrc& s) const
    {
        const uint8_t* w = s.mySwizzle;
        const bool locIdentity = w[0] == 0 && w[1] == 1 && w[2] == 2 && w[3] == 3;
        if (!myProgram->myPixelFlag || locIdentity)
            return true;
        if (i.myOp == GFX_SOP_TEXLD || i.myOp == GFX_SOP_TEXCRD)
            return w[0] == 0 && w[1] == 1 && (w[2] == 2 || w[2] == 3) && w[3] == w[2];
        if (IsTextureOp(i.myOp))
            return false;
        const bool locReplicate = w[1] == w[0] && w[2] == w[0] && w[3] == w[0];
        return locReplicate && (myProgram->myMinor == 4 || w[0] >= 2);
    }

    static std::string Name(const char* aPrefix, uint32_t anIndex)
    {
        return aPrefix + std::to_string(anIndex);
    }

    // The rules every instruction meets before it joins the program; then its writes count.
    bool Add(const GFX_ShaderInst& i, const std::string& anOpcode, const std::vector<std::string>& anOperands)
    {
        const bool locPixel = myProgram->myPixelFlag;
        if (i.myCoissueFlag)
        {
            const GFX_ShaderInst* locPrevious = myProgram->myInsts.empty() ? nullptr : &myProgram->myInsts.back();
            if (!locPrevious || locPrevious->myCoissueFlag || !IsArithmetic(locPrevious->myOp) || !IsArithmetic(i.myOp))
                return Fail("a co-issued instruction pairs with the arithmetic instruction before it", anOpcode);
        }
        const int locRows = PadRows(i.myOp);
        if (myPadNeeded && i.myOp != GFX_SOP_TEXM3X3PAD && locRows == 0)
            return Fail(myPadNeeded == 1 ? "texm3x2pad must be followed by texm3x2tex"
                                         : "texm3x3pad must be followed by its second row and texm3x3tex, texm3x3spec, "
                                           "texm3x3vspec or texm3x3",
                        anOpcode);
        if (i.myOp == GFX_SOP_TEXM3X2PAD || i.myOp == GFX_SOP_TEXM3X3PAD || locRows)
        {
            const uint32_t locNeeded = i.myOp == GFX_SOP_TEXM3X2PAD || i.myOp == GFX_SOP_TEXM3X2TEX ? 1 : 2;
            const bool locFirstRow = (i.myOp == GFX_SOP_TEXM3X2PAD || i.myOp == GFX_SOP_TEXM3X3PAD) && myPadRows == 0;
            if (!locFirstRow &&
                (myPadNeeded != locNeeded || myPadNextIndex != i.myDst.myIndex || myPadSource != i.mySrc[0].myIndex ||
                 (locRows ? myPadRows != uint32_t(locRows) : myPadRows >= locNeeded)))
                return Fail("the rows of a texm3x2 or texm3x3 matrix go to consecutive registers from one source",
                            anOpcode);
            if (locRows)
                myPadRows = myPadNeeded = 0;
            else
            {
                myPadNeeded = locNeeded;
                myPadRows += 1;
                myPadNextIndex = i.myDst.myIndex + 1u;
                myPadSource = i.mySrc[0].myIndex;
                myPadLine = myLine;
            }
        }
        if (!locPixel && i.myOp != GFX_SOP_DCL)
            for (uint32_t k = 0; k < i.mySrcCount; ++k)
                if (i.mySrc[k].myFile == GFX_REG_INPUT && !(myDeclaredInputs & (1u << i.mySrc[k].myIndex)))
                    return Fail("input read without a dcl", Name("v", i.mySrc[k].myIndex));

        const uint8_t* locState = i.myCoissueFlag ? myWrittenBefore : myWritten;
        const bool locPs14Arithmetic = locPixel && myProgram->myMinor == 4 && IsArithmetic(i.myOp);
        if (locPs14Arithmetic && i.myDst.myFile == GFX_REG_TEXTURE)
            return Fail("ps_1_4 arithmetic cannot use texture registers", anOperands[0]);
        for (uint32_t k = 0; k < i.mySrcCount; ++k)
        {
            const GFX_ShaderSrc& s = i.mySrc[k];
            if (locPs14Arithmetic && s.myFile == GFX_REG_TEXTURE)
                return Fail("ps_1_4 arithmetic cannot use texture registers", anOperands[1 + k]);
            if (!SwizzleOffered(i, s))
                return Fail("swizzle not offered in this shader version", anOperands[1 + k]);
            if ((s.myRelativeFlag || s.myFile == GFX_REG_ADDRESS) && !myAddressWritten)
                return Fail("a0 read before it is written", anOperands[1 + k]);
            if (s.myFile != GFX_REG_TEMP)
                continue;
            // Matrix instructions read one register per row from the second source.
            const uint32_t locCount = k == 1 && i.myOp >= GFX_SOP_M4X4 && i.myOp <= GFX_SOP_M3X2
                                          ? (i.myOp == GFX_SOP_M4X4 || i.myOp == GFX_SOP_M3X4 ? 4u
                                             : i.myOp == GFX_SOP_M3X2                    ? 2u
                                                                                         : 3u)
                                          : 1u;
            const uint8_t locRead = ReadComponents(i, int(k));
            for (uint32_t r = s.myIndex; r < s.myIndex + locCount; ++r)
                if (r >= 12 || (locState[r] & locRead) != locRead)
                    return Fail("temporary read before it is written", Name("r", r));
        }
        // texkill of ps_1_4 and texdepth read their own register.
        if (i.myDst.myFile == GFX_REG_TEMP && (i.myOp == GFX_SOP_TEXKILL || i.myOp == GFX_SOP_TEXDEPTH))
        {
            const uint8_t locRead = i.myOp == GFX_SOP_TEXKILL ? 0x7 : 0x3;
            if ((locState[i.myDst.myIndex] & locRead) != locRead)
                return Fail("temporary read before it is written", Name("r", i.myDst.myIndex));
        }

        if (!i.myCoissueFlag)
            memcpy(myWrittenBefore, myWritten, sizeof(myWritten));
        if (i.myOp == GFX_SOP_DCL)
            myDeclaredInputs |= 1u << i.myDst.myIndex;
        else if (i.myDst.myFile == GFX_REG_ADDRESS)
            myAddressWritten = true;
        else if (i.myDst.myFile == GFX_REG_TEMP && i.myOp != GFX_SOP_TEXKILL && i.myOp != GFX_SOP_TEXDEPTH &&
                 i.myOp != GFX_SOP_NOP && i.myOp != GFX_SOP_PHASE && i.myDst.myIndex < 12)
            myWritten[i.myDst.myIndex] |= i.myDst.myMask;
        myProgram->myInsts.push_back(i);
        return true;
    }

    // At the end of the text: no matrix left unfinished.
    bool Finish()
    {
        if (!myPadNeeded)
            return true;
        myLine = myPadLine;
        return Fail(myPadNeeded == 1 ? "texm3x2pad must be followed by texm3x2tex"
                                     : "texm3x3pad must be followed by its second row and texm3x3tex, texm3x3spec, "
                                       "texm3x3vspec or texm3x3");
    }
};

} // namespace

GFX_ShaderLimits GFX_GetShaderLimits(const GFX_ShaderProgram& aProgram)
{
    if (!aProgram.myPixelFlag)
        return {12, 16, 96, 0};
    if (aProgram.myMinor == 4)
        return {6, 2, 8, 6};
    return {2, 2, 8, 4};
}

bool GFX_AssembleShader(const char* aText, size_t aLength, GFX_ShaderProgram* aProgramOut)
{
    *aProgramOut = GFX_ShaderProgram();
    Parser locParser;
    locParser.myProgram = aProgramOut;
    bool locVersionFlag = false;
    size_t p = 0;
    while (p < aLength)
    {
        size_t e = p;
        while (e < aLength && aText[e] != '\n')
            ++e;
        std::string locLine(aText + p, e - p);
        p = e + 1;
        ++locParser.myLine;
        const size_t locComment = std::min(locLine.find("//"), locLine.find(';'));
        if (locComment != std::string::npos)
            locLine.resize(locComment);
        for (char& c : locLine)
            c = char(tolower(static_cast<unsigned char>(c)));
        locLine = Parser::Trim(locLine);
        if (locLine.empty())
            continue;
        const bool locOk = locVersionFlag ? locParser.Line(locLine) : locParser.Version(locLine);
        locVersionFlag = true;
        if (!locOk)
        {
            GFX_SetError(GFX_ERROR_INVALID_CALL, "%s", locParser.myError.c_str());
            return false;
        }
    }
    if (!locVersionFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "empty shader text");
        return false;
    }
    if (!locParser.Finish())
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "%s", locParser.myError.c_str());
        return false;
    }
    return true;
}
