// The fixed-function vertex-shader kind registered as "NORMAL_MESH" when programmable vertex
// shaders are not used: vertex declarations, transform, lights, fog and texture-coordinate
// states through the device's fixed-function pipeline, and software skinning.
#pragma once

#include "qrender/qr_vertexshader.h"

struct GFX_VertexDecl;

// The frame an animated level shows at a time: (unsigned)(time x rate) modulo the count;
// times before 0 or counts past 32 bits stay inside the frames.
uint32_t QR_FrameOfTime(float aTime, float aFramesPerSecond, uint32_t aNumFrames);

struct QR_D3DNormalCompiled
{
    uint32_t myNumStreams;
    uint32_t myVertexFormatList[QR_MAXSETUPSTREAMS]; // without weight and bone-index bits
    uint32_t mySkinning;
    uint32_t myLighting;
    uint32_t myWord7;
    uint32_t mySpecular;
    uint32_t myWord9;
    uint32_t myNumUVs;
    uint32_t myUVs[QR_MAXSETUPUVS];
    uint8_t myFogFlag;
    GFX_VertexDecl* myVertexDeclaration;
};

class QR_D3DNormalVShader : public QR_VertexShader
{
public:
    // False when the kind cannot be allocated; true when it exists already.
    static bool Create();
    static QR_D3DNormalVShader* ourInstance;

    QR_D3DNormalVShader();
    ~QR_D3DNormalVShader() override;

    void ReleaseDeviceObjects() override;
    bool RestoreDeviceObjects() override;
    QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData& aSetup) override;
    void ReleaseCompiled(QR_CompiledVertexShader* aCompiled) override;
    void Begin(QR_CompiledVertexShader* aCompiled) override;
    void SetDataBlock(QR_VertexShaderDataBlock* aDataBlock) override;
    bool PrepareMesh(QR_Mesh* aMesh) override;
    void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) override;

    // Draws the level of detail aLodDistance selects; skinned meshes are skinned only when
    // aSkinningFlag is set.
    static void DrawLevel(QR_Mesh* aMesh, float aLodDistance, float aTime, bool aSkinningFlag);
    // The device buffer's format for the mesh (what PrepareMesh would store).
    static uint32_t BufferFormat(const QR_Mesh* aMesh);
    // Set-ups that share a record: equal words, stages and masked formats.
    static bool SameSetup(const QR_D3DNormalCompiled& aRecord, const QR_VertexShaderSetupData& aSetup);
    // The record's set-up words from aSetup (formats masked, stages capped at 4).
    static void CopySetup(QR_D3DNormalCompiled& aRecord, const QR_VertexShaderSetupData& aSetup);
    // Writes the mesh's vertices into the buffer format, aDest sized for them.
    static void FillVertices(const QR_Mesh* aMesh, uint8_t* aDest);

    QR_D3DNormalCompiled* myCurrentRecord;
    GFX_VertexDecl* myCurrentDeclaration;
    const QR_LightSet* myCachedLightSet;
    uint32_t myCachedLighting;
    uint32_t myCachedAmbient;
    uint32_t myNumEnabledLights;
    uint32_t myCachedSpecularColor;
    float myCachedSpecularPower;
    uint32_t myTextureMatrixActiveFlag[QR_MAXSETUPUVS];
    float myCachedFogStart;
    float myCachedFogEnd;
    uint32_t myCachedFogEnable;
    uint32_t myCachedWords[2];
    QC_GrowingArray<QR_CompiledVertexShader*> myCompiledShaderList;

private:
    void ResetCaches();
};
