// The instruction list of an assembled shader as a GLSL body. Vertex shaders compute into
// the locals oPos, oD0, oD1, oT0..7 and oFog; pixel shaders leave their colour in r0.
#include "platform/gfx/gfx_shader_local.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

std::string Format(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* aFormat, ...)
{
    // Expressions nest: sized to the text, never cut.
    va_list locArgs;
    va_start(locArgs, aFormat);
    va_list locCopy;
    va_copy(locCopy, locArgs);
    const int n = vsnprintf(nullptr, 0, aFormat, locCopy);
    va_end(locCopy);
    std::string locText(size_t(n > 0 ? n : 0), '\0');
    vsnprintf(locText.data(), locText.size() + 1, aFormat, locArgs);
    va_end(locArgs);
    return locText;
}

struct Writer
{
    const GFX_ShaderProgram& myProgram;
    const GFX_ShaderContext& myContext;
    const char* myConstName;
    bool myDefined[96] = {};
    std::string myText;

    std::string Register(const GFX_ShaderSrc& s, uint32_t anOffset) const
    {
        const uint32_t i = s.myIndex + anOffset;
        switch (s.myFile)
        {
            case GFX_REG_TEMP: return Format("r%u", i);
            case GFX_REG_INPUT: return Format("v%u", i);
            case GFX_REG_TEXTURE: return Format("t%u", i);
            case GFX_REG_ADDRESS: return "vec4(float(a0x))";
            case GFX_REG_CONST:
            {
                const uint32_t locCount = GFX_GetShaderLimits(myProgram).myConsts;
                if (s.myRelativeFlag)
                    // Out of range reads give 0.
                    return Format("(uint(a0x + %u) < %uu ? %s[a0x + %u] : vec4(0.0))", i, locCount, myConstName, i);
                if (i < 96 && myDefined[i])
                    return Format("d%u", i);
                // Pixel shaders of these versions hold their constants to -1 .. 1.
                return myProgram.myPixelFlag ? Format("clamp(%s[%u], -1.0, 1.0)", myConstName, i)
                                             : Format("%s[%u]", myConstName, i);
            }
            default: return "vec4(0.0)";
        }
    }

    std::string Source(const GFX_ShaderSrc& s, uint32_t anOffset = 0) const
    {
        std::string x = Register(s, anOffset);
        switch (s.myMod)
        {
            case GFX_SRCMOD_BIAS: x = "(" + x + " - 0.5)"; break;
            case GFX_SRCMOD_BX2: x = "(2.0 * " + x + " - 1.0)"; break;
            case GFX_SRCMOD_COMPLEMENT: x = "(1.0 - " + x + ")"; break;
            case GFX_SRCMOD_X2: x = "(2.0 * " + x + ")"; break;
            default: break;
        }
        if (memcmp(s.mySwizzle, "\0\1\2\3", 4) != 0)
        {
            x += ".";
            for (int k = 0; k < 4; ++k)
                x += "xyzw"[s.mySwizzle[k]];
        }
        return s.myNegateFlag ? "(-" + x + ")" : x;
    }

    // Scalar instructions read the last component of the swizzle (.x of "r1.x").
    std::string Scalar(const GFX_ShaderSrc& s) const { return "(" + Source(s) + ").w"; }

    std::string Sample(uint32_t aStage, const std::string& aCoords) const
    {
        const uint8_t k = aStage < 8 ? myContext.myTexKinds[aStage] : 0;
        // A stage without a texture reads opaque white, as in the fixed-function path.
        if (k == 0)
            return "vec4(1.0)";
        return Format("texture(uTex%u, (%s).%s)", aStage, aCoords.c_str(), k == 2 ? "xyz" : "xy");
    }

    std::string Coords(uint32_t aStage) const
    {
        const uint8_t n = aStage < 8 ? myContext.myProjectCounts[aStage] : 0;
        return n >= 2 ? Format("(vTex%u / vTex%u[%u])", aStage, aStage, n - 1u) : Format("vTex%u", aStage);
    }

    std::string Destination(const GFX_ShaderDst& d) const
    {
        switch (d.myFile)
        {
            case GFX_REG_TEMP: return Format("r%u", d.myIndex);
            case GFX_REG_TEXTURE: return Format("t%u", d.myIndex);
            case GFX_REG_POSITION: return "oPos";
            case GFX_REG_COLOROUT: return Format("oD%u", d.myIndex);
            case GFX_REG_TEXOUT: return Format("oT%u", d.myIndex);
            default: return "";
        }
    }

    std::string Rows(const GFX_ShaderInst& anInst, int aRows, bool aFourFlag) const
    {
        std::string x = "vec4(";
        for (int k = 0; k < 4; ++k)
        {
            if (k)
                x += ", ";
            if (k >= aRows)
                x += "0.0";
            else if (aFourFlag)
                x += "dot(" + Source(anInst.mySrc[0]) + ", " + Source(anInst.mySrc[1], uint32_t(k)) + ")";
            else
                x += "dot((" + Source(anInst.mySrc[0]) + ").xyz, (" + Source(anInst.mySrc[1], uint32_t(k)) + ").xyz)";
        }
        return x + ")";
    }

    // One row of a texm3x2 / texm3x3 matrix: the stage's coordinates dotted with the source.
    std::string Row(const GFX_ShaderInst& i) const
    {
        return Format("dot(vTex%u.xyz, (%s).xyz)", i.myDst.myIndex, Source(i.mySrc[0]).c_str());
    }

    // The three rows of a texm3x3 matrix: two pads before this instruction, and its own.
    std::string Normal(const GFX_ShaderInst& i) const
    {
        const uint32_t d = i.myDst.myIndex;
        return Format("vec3(t%u.x, t%u.x, %s)", d - 2, d - 1, Row(i).c_str());
    }

    std::string Expression(const GFX_ShaderInst& i) const
    {
        const GFX_ShaderSrc* s = i.mySrc;
        const uint32_t d = i.myDst.myIndex;
        switch (i.myOp)
        {
            case GFX_SOP_MOV: return Source(s[0]);
            case GFX_SOP_ADD: return Source(s[0]) + " + " + Source(s[1]);
            case GFX_SOP_SUB: return Source(s[0]) + " - " + Source(s[1]);
            case GFX_SOP_MUL: return Source(s[0]) + " * " + Source(s[1]);
            case GFX_SOP_MAD: return Source(s[0]) + " * " + Source(s[1]) + " + " + Source(s[2]);
            case GFX_SOP_DP3: return "vec4(dot((" + Source(s[0]) + ").xyz, (" + Source(s[1]) + ").xyz))";
            case GFX_SOP_DP4: return "vec4(dot(" + Source(s[0]) + ", " + Source(s[1]) + "))";
            case GFX_SOP_RCP: return "vec4(1.0 / " + Scalar(s[0]) + ")";
            case GFX_SOP_RSQ: return "vec4(inversesqrt(abs(" + Scalar(s[0]) + ")))";
            case GFX_SOP_MIN: return "min(" + Source(s[0]) + ", " + Source(s[1]) + ")";
            case GFX_SOP_MAX: return "max(" + Source(s[0]) + ", " + Source(s[1]) + ")";
            case GFX_SOP_SLT: return "vec4(lessThan(" + Source(s[0]) + ", " + Source(s[1]) + "))";
            case GFX_SOP_SGE: return "vec4(greaterThanEqual(" + Source(s[0]) + ", " + Source(s[1]) + "))";
            case GFX_SOP_EXP: return "vec4(exp2(" + Scalar(s[0]) + "))";
            case GFX_SOP_EXPP:
                return "vec4(exp2(floor(" + Scalar(s[0]) + ")), fract(" + Scalar(s[0]) + "), exp2(" + Scalar(s[0]) +
                       "), 1.0)";
            case GFX_SOP_LOG:
            case GFX_SOP_LOGP:
                return "vec4(" + Scalar(s[0]) + " == 0.0 ? -3.4e38 : log2(abs(" + Scalar(s[0]) + ")))";
            case GFX_SOP_LIT:
            {
                const std::string x = "(" + Source(s[0]) + ")";
                // z is 0 unless both N.L and N.H are above 0, whatever the power.
                return "vec4(1.0, max(" + x + ".x, 0.0), " + x + ".x > 0.0 && " + x + ".y > 0.0 ? pow(" + x +
                       ".y, clamp(" + x + ".w, -127.9961, 127.9961)) : 0.0, 1.0)";
            }
            case GFX_SOP_DST:
                return "vec4(1.0, (" + Source(s[0]) + ").y * (" + Source(s[1]) + ").y, (" + Source(s[0]) + ").z, (" +
                       Source(s[1]) + ").w)";
            case GFX_SOP_FRC: return "fract(" + Source(s[0]) + ")";
            case GFX_SOP_M4X4: return Rows(i, 4, true);
            case GFX_SOP_M4X3: return Rows(i, 3, true);
            case GFX_SOP_M3X4: return Rows(i, 4, false);
            case GFX_SOP_M3X3: return Rows(i, 3, false);
            case GFX_SOP_M3X2: return Rows(i, 2, false);
            case GFX_SOP_LRP: return "mix(" + Source(s[2]) + ", " + Source(s[1]) + ", " + Source(s[0]) + ")";
            case GFX_SOP_CND:
                return "mix(" + Source(s[2]) + ", " + Source(s[1]) + ", vec4(greaterThan(" + Source(s[0]) +
                       ", vec4(0.5))))";
            case GFX_SOP_CMP:
                return "mix(" + Source(s[2]) + ", " + Source(s[1]) + ", vec4(greaterThanEqual(" + Source(s[0]) +
                       ", vec4(0.0))))";
            case GFX_SOP_BEM:
                return Format("vec4((%s).xy + vec2((%s).x * uBumpMat%u.x + (%s).y * uBumpMat%u.z, (%s).x * "
                              "uBumpMat%u.y + (%s).y * uBumpMat%u.w), 0.0, 0.0)",
                              Source(s[0]).c_str(), Source(s[1]).c_str(), d, Source(s[1]).c_str(), d,
                              Source(s[1]).c_str(), d, Source(s[1]).c_str(), d);
            case GFX_SOP_TEX: return Sample(d, Coords(d));
            case GFX_SOP_TEXCOORD: return Format("vec4(clamp(vTex%u.xyz, 0.0, 1.0), 1.0)", d);
            case GFX_SOP_TEXBEM:
            case GFX_SOP_TEXBEML:
            {
                // The matrix of the destination's stage turns (du, dv) into an offset.
                const std::string b = "(" + Source(s[0]) + ")";
                std::string x = Sample(d, Format("vTex%u.xy + vec2(%s.x * uBumpMat%u.x + %s.y * uBumpMat%u.z, %s.x * "
                                                 "uBumpMat%u.y + %s.y * uBumpMat%u.w)",
                                                 d, b.c_str(), d, b.c_str(), d, b.c_str(), d, b.c_str(), d));
                if (i.myOp == GFX_SOP_TEXBEML)
                    x = Format("(%s * vec4(vec3(clamp(%s.z * uBumpLum%u.x + uBumpLum%u.y, 0.0, 1.0)), 1.0))", x.c_str(),
                               b.c_str(), d, d);
                return x;
            }
            case GFX_SOP_TEXDP3: return Format("vec4(dot(vTex%u.xyz, (%s).xyz))", d, Source(s[0]).c_str());
            case GFX_SOP_TEXDP3TEX:
                return Sample(d, Format("vec2(dot(vTex%u.xyz, (%s).xyz), 0.0)", d, Source(s[0]).c_str()));
            // Dependent reads: the coordinates come from an earlier texture register.
            case GFX_SOP_TEXREG2AR: return Sample(d, "vec2((" + Source(s[0]) + ").w, (" + Source(s[0]) + ").x)");
            case GFX_SOP_TEXREG2GB: return Sample(d, "vec2((" + Source(s[0]) + ").y, (" + Source(s[0]) + ").z)");
            case GFX_SOP_TEXREG2RGB: return Sample(d, "(" + Source(s[0]) + ").xyz");
            // Matrix rows: each row is the stage's coordinates dotted with the source; the pad
            // rows leave their dot in their register's x for the last row to read.
            case GFX_SOP_TEXM3X2PAD:
            case GFX_SOP_TEXM3X3PAD: return "vec4(" + Row(i) + ")";
            case GFX_SOP_TEXM3X2TEX: return Sample(d, Format("vec2(t%u.x, %s)", d - 1, Row(i).c_str()));
            case GFX_SOP_TEXM3X3: return "vec4(" + Normal(i) + ", 1.0)";
            case GFX_SOP_TEXM3X3TEX: return Sample(d, Normal(i));
            case GFX_SOP_TEXM3X3SPEC:
            case GFX_SOP_TEXM3X3VSPEC:
            {
                // The eye vector E reflected about N: 2 N (N.E) / (N.N) - E.
                const std::string e = i.myOp == GFX_SOP_TEXM3X3SPEC
                                          ? "(" + Source(s[1]) + ").xyz"
                                          : Format("vec3(vTex%u.w, vTex%u.w, vTex%u.w)", d - 2, d - 1, d);
                const std::string n = Normal(i);
                return Sample(d, Format("(dot(%s, %s) != 0.0 ? 2.0 * %s * dot(%s, %s) / dot(%s, %s) - %s : -%s)",
                                        n.c_str(), n.c_str(), n.c_str(), n.c_str(), e.c_str(), n.c_str(), n.c_str(),
                                        e.c_str(), e.c_str()));
            }
            case GFX_SOP_TEXLD:
            case GFX_SOP_TEXCRD:
            {
                std::string c = s[0].myFile == GFX_REG_TEXTURE ? Format("vTex%u", s[0].myIndex) : Register(s[0], 0);
                if (s[0].myMod == GFX_SRCMOD_DZ)
                    c = "(" + c + " / " + c + ".z)";
                else if (s[0].myMod == GFX_SRCMOD_DW)
                    c = "(" + c + " / " + c + ".w)";
                if (i.myOp == GFX_SOP_TEXCRD)
                    return "vec4((" + c + ").xyz, 1.0)";
                if (s[0].myFile == GFX_REG_TEXTURE && s[0].myMod == GFX_SRCMOD_NONE)
                    c = Coords(s[0].myIndex);
                return Sample(d, c);
            }
            default: return "vec4(0.0)";
        }
    }

    // Instructions that compute a value into aTemp (false: nothing to compute or write).
    bool Compute(const GFX_ShaderInst& i, const char* aTemp)
    {
        switch (i.myOp)
        {
            case GFX_SOP_NOP:
            case GFX_SOP_DEF:
            case GFX_SOP_DCL:
            case GFX_SOP_PHASE: return false;
            case GFX_SOP_TEXKILL:
            {
                const std::string c = myProgram.myMinor == 4 && i.myDst.myFile == GFX_REG_TEMP
                                          ? Format("r%u", i.myDst.myIndex)
                                          : Format("vTex%u", i.myDst.myIndex);
                myText += "    if (any(lessThan(" + c + ".xyz, vec3(0.0)))) discard;\n";
                return false;
            }
            case GFX_SOP_TEXDEPTH:
                // r5.r / r5.g becomes the pixel's depth; 1 when r5.g is 0.
                myText += "    gl_FragDepth = r5.y == 0.0 ? 1.0 : clamp(r5.x / r5.y, 0.0, 1.0);\n";
                return false;
            default: break;
        }
        myText += Format("    %s = %s;\n", aTemp, Expression(i).c_str());
        if (i.myShift > 0)
            myText += Format("    %s *= %.1f;\n", aTemp, double(1 << i.myShift));
        else if (i.myShift < 0)
            myText += Format("    %s *= %.4f;\n", aTemp, 1.0 / double(1 << -i.myShift));
        if (i.mySatFlag)
            myText += Format("    %s = clamp(%s, 0.0, 1.0);\n", aTemp, aTemp);
        return true;
    }

    void Write(const GFX_ShaderInst& i, const std::string& aTemp)
    {
        if (i.myDst.myFile == GFX_REG_ADDRESS)
        {
            myText += "    a0x = int(floor(" + aTemp + ".x + 0.5));\n";
            return;
        }
        if (i.myDst.myFile == GFX_REG_FOG)
        {
            myText += "    oFog = " + aTemp + ".x;\n";
            return;
        }
        if (i.myDst.myFile == GFX_REG_POINTSIZE)
            return;
        std::string locMask;
        for (int k = 0; k < 4; ++k)
            if (i.myDst.myMask & (1 << k))
                locMask += "xyzw"[k];
        const std::string d = Destination(i.myDst);
        if (locMask == "xyzw")
            myText += "    " + d + " = " + aTemp + ";\n";
        else
            myText += "    " + d + "." + locMask + " = " + aTemp + "." + locMask + ";\n";
    }

    // An instruction and the one co-issued with it read their sources before either writes.
    void Instructions()
    {
        const std::vector<GFX_ShaderInst>& v = myProgram.myInsts;
        for (size_t n = 0; n < v.size(); ++n)
        {
            const bool locPairFlag = n + 1 < v.size() && v[n + 1].myCoissueFlag;
            const bool locFirst = Compute(v[n], "tmp");
            const bool locSecond = locPairFlag && Compute(v[n + 1], "tmp2");
            if (locFirst)
                Write(v[n], "tmp");
            if (locSecond)
                Write(v[n + 1], "tmp2");
            if (locPairFlag)
                ++n;
        }
    }
};

} // namespace

std::string GFX_ShaderToGLSL(const GFX_ShaderProgram& aProgram, const GFX_ShaderContext& aContext,
                             const char* aConstName)
{
    Writer w{aProgram, aContext, aConstName, {}, std::string()};
    for (const GFX_ShaderInst& i : aProgram.myInsts)
        if (i.myOp == GFX_SOP_DEF && i.myDst.myIndex < 96)
        {
            w.myDefined[i.myDst.myIndex] = true;
            // Pixel shaders of these versions hold their constants to -1 .. 1.
            double v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = aProgram.myPixelFlag ? std::clamp(double(i.myValues[k]), -1.0, 1.0) : double(i.myValues[k]);
            w.myText += Format("    const vec4 d%u = vec4(%.9g, %.9g, %.9g, %.9g);\n", i.myDst.myIndex, v[0], v[1],
                               v[2], v[3]);
        }
    w.myText += "    vec4 tmp;\n    vec4 tmp2;\n";
    w.Instructions();
    return w.myText;
}

uint32_t GFX_ShaderStageCount(const GFX_ShaderProgram& aProgram)
{
    uint32_t n = 0;
    for (const GFX_ShaderInst& i : aProgram.myInsts)
    {
        // bem reads the bump matrix of its destination's stage.
        if ((i.myOp < GFX_SOP_TEX || i.myOp > GFX_SOP_TEXCRD) && i.myOp != GFX_SOP_BEM)
            continue;
        if ((i.myOp == GFX_SOP_TEXKILL || i.myOp == GFX_SOP_TEXDEPTH) && i.myDst.myFile != GFX_REG_TEXTURE)
            continue;
        n = std::max<uint32_t>(n, i.myDst.myIndex + 1u);
        if (i.mySrcCount && i.mySrc[0].myFile == GFX_REG_TEXTURE)
            n = std::max<uint32_t>(n, i.mySrc[0].myIndex + 1u);
    }
    return n;
}
