// Our assembler of shader texts (vs_1_1, ps_1_1 .. ps_1_4) into an instruction list.
// Case does not matter; "//" and ";" start comments; "+" marks a co-issued instruction.
#include "platform/gfx/gfx_local.h"
#include "platform/gfx/gfx_shader_local.h"

#include <cctype>
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
};

struct Parser
{
    GFX_ShaderProgram* myProgram;
    uint32_t myLine = 0;
    std::string myError;

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
            myProgram->myInsts.push_back(locInst);
            return true;
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
                if (locEnd == locOperands[1 + i].c_str() || *locEnd)
                    return Fail("bad number", locOperands[1 + i]);
            }
            myProgram->myInsts.push_back(locInst);
            return true;
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
            myProgram->myInsts.push_back(locInst);
            return true;
        }
        if (locOperands.size() != size_t(locInfo->mySources) + 1)
            return Fail("wrong number of operands", locOpcode);
        if (!Destination(locOperands[0], &locInst.myDst))
            return false;
        for (int i = 0; i < locInfo->mySources; ++i)
            if (!Source(locOperands[1 + i], &locInst.mySrc[i]))
                return false;
        locInst.mySrcCount = uint8_t(locInfo->mySources);

        const bool locTexOp = locInst.myOp >= GFX_SOP_TEX && locInst.myOp <= GFX_SOP_TEXCRD;
        if (myProgram->myPixelFlag && locTexOp)
        {
            const bool loc14 = myProgram->myMinor == 4;
            const bool loc14Op = locInst.myOp == GFX_SOP_TEXLD || locInst.myOp == GFX_SOP_TEXCRD;
            if (loc14 != loc14Op && locInst.myOp != GFX_SOP_TEXKILL)
                return Fail(loc14 ? "ps_1_4 reads textures with texld and texcrd" : "texld and texcrd need ps_1_4",
                            locOpcode);
            const GFX_ShaderRegFile locWanted = loc14 && locInst.myOp != GFX_SOP_TEXKILL ? GFX_REG_TEMP : GFX_REG_TEXTURE;
            if (locInst.myDst.myFile != locWanted && !(loc14 && locInst.myOp == GFX_SOP_TEXKILL))
                return Fail("texture instructions write texture registers (ps_1_4: temporaries)", locOperands[0]);
            if ((locInst.myOp == GFX_SOP_TEXBEM || locInst.myOp == GFX_SOP_TEXBEML || locInst.myOp == GFX_SOP_TEXDP3 ||
                 locInst.myOp == GFX_SOP_TEXDP3TEX) &&
                (locInst.mySrc[0].myFile != GFX_REG_TEXTURE || locInst.mySrc[0].myIndex >= locInst.myDst.myIndex))
                return Fail("the source must be an earlier texture register", locOperands[1]);
        }
        myProgram->myInsts.push_back(locInst);
        return true;
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
    return true;
}
