// The assembled "NORMAL_MESH" kind used when programmable vertex shaders are on: a vs_1_1
// program written as text for every distinct set-up, two fixed skinning programs over packed
// vertices, and the constant registers they share with the normal-map kind.
#pragma once

#include <string>

#include "qrender/qr_d3dnormalvshader.h"

struct GFX_VertexElement;
struct GFX_Shader;

// Constant registers of the assembled programs.
enum QR_VsRegisters : uint32_t
{
    QR_VSREG_TRANSFORM = 0, // c0-c3: world x view-projection, transposed
    QR_VSREG_BONES = 4,     // bone k at c(4 + 3k) .. c(6 + 3k)
    QR_VSREG_TEXTURE = 60,  // stage i at c(60 + 4i)
    QR_VSREG_WORLD = 76,    // c76-c78: the world matrix's first three columns
    QR_VSREG_AMBIENT = 79,  // the light set's ambient colour (the world's unused fourth row)
    QR_VSREG_EYE = 80,
    QR_VSREG_LIGHTS = 81, // per light: half vector and power, direction, colour, specular colour
    QR_VSREG_ONE = 93,
    QR_VSREG_FOG = 94,
    QR_VSREG_SCALES = 95,
    QR_VSREG_COUNT = 96
};

// The fixed-function kind's record and the record's own program.
struct QR_D3DVsCompiled : QR_D3DNormalCompiled
{
    GFX_Shader* myVertexShader; // null for pre-transformed vertices (fixed pipeline)
};

// What the assembled kinds share: the register block of a draw.
class QR_D3DAssembledVShader : public QR_VertexShader
{
public:
    QR_D3DAssembledVShader(const char* aName)
        : QR_VertexShader(aName, 0)
    {
    }

    // Writes c0 .. c(3 + 3 x bones) and, from aFirstBlockRegister, the block up to c95 for
    // one draw. False (nothing written) when the bones do not fit below aBoneLimit registers.
    static bool SetConstants(const QR_D3DVsCompiled* aRecord, const QR_VertexShaderDataBlock* aDataBlock,
                             uint32_t aFirstBlockRegister, bool aSkinnedFrameFlag);
    // Builds a program and its declaration from a text; false leaves both null.
    static bool BuildProgram(const char* aText, const GFX_VertexElement* anElements, uint32_t aCount,
                             GFX_Shader** aShaderOut, GFX_VertexDecl** aDeclarationOut);
    // Texture-stage words this kind can make coordinates for; false names the offending stage
    // in the error text.
    static bool CheckStages(const QR_Mesh* aMesh, bool aMatrixAllowedFlag);
};

class QR_D3DVsVShader : public QR_D3DAssembledVShader
{
public:
    // False when the kind or its skinning programs cannot be made.
    static bool Create();
    static void Destroy();
    static QR_D3DVsVShader* ourInstance;

    QR_D3DVsVShader();
    ~QR_D3DVsVShader() override;

    void ReleaseDeviceObjects() override;
    bool RestoreDeviceObjects() override;
    QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData& aSetup) override;
    void ReleaseCompiled(QR_CompiledVertexShader* aCompiled) override;
    void Begin(QR_CompiledVertexShader* aCompiled) override;
    void SetDataBlock(QR_VertexShaderDataBlock* aDataBlock) override;
    bool PrepareMesh(QR_Mesh* aMesh) override;
    void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) override;

    // The program text of an unskinned record (lines end in CR LF).
    static std::string WriteProgram(const QR_D3DVsCompiled& aRecord);
    static const char* TwoBoneProgram();
    static const char* FourBoneProgram();
    // Packs a skinned mesh's vertices into the layout of its program (32 or 48 bytes each).
    static bool PackSkinned(const QR_Mesh* aMesh, uint8_t* aDest);

    QR_D3DVsCompiled* myCurrentRecord;
    GFX_VertexDecl* myCurrentDeclaration;
    GFX_Shader* myCurrentShader;
    uint32_t myCachedFogEnable;
    bool mySkipDrawFlag; // the last data block had more bones than the registers hold
    GFX_VertexDecl* myTwoBoneDeclaration;
    GFX_Shader* myTwoBoneShader;
    GFX_VertexDecl* myFourBoneDeclaration;
    GFX_Shader* myFourBoneShader;
    QC_GrowingArray<QR_CompiledVertexShader*> myCompiledShaderList;

private:
    bool BuildSharedPrograms();
    void ReleaseSharedPrograms();
    bool BuildRecord(QR_D3DVsCompiled* aRecord);
    void ReleaseRecord(QR_D3DVsCompiled* aRecord);
    void ResetCaches();
};
