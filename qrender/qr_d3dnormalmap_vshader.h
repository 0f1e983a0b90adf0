// The assembled "NORMAL_MAP" kind used with pixel shaders: one four-bone skinning program
// that also hands the pixel shader the light vector (t3) and the half vector (t2) in each
// vertex's tangent space, over 76-byte vertices with tangent and binormal.
#pragma once

#include "qrender/qr_d3dvs_vshader.h"

class QR_D3DNormalMapVShader : public QR_D3DAssembledVShader
{
public:
    static bool Create();
    static void Destroy();
    static QR_D3DNormalMapVShader* ourInstance;

    QR_D3DNormalMapVShader();
    ~QR_D3DNormalMapVShader() override;

    void ReleaseDeviceObjects() override;
    bool RestoreDeviceObjects() override;
    QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData& aSetup) override;
    void ReleaseCompiled(QR_CompiledVertexShader* aCompiled) override;
    void Begin(QR_CompiledVertexShader* aCompiled) override;
    void SetDataBlock(QR_VertexShaderDataBlock* aDataBlock) override;
    bool PrepareMesh(QR_Mesh* aMesh) override;
    void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) override;

    static const char* Program();
    // The 76-byte vertices: position, four weights, bones, coordinates, and a tangent frame
    // made from the triangles' coordinates.
    static bool PackVertices(const QR_Mesh* aMesh, uint8_t* aDest);

    GFX_VertexDecl* myDeclaration;
    GFX_Shader* myShader;
    QR_D3DVsCompiled* myCurrentRecord;
    uint32_t myCachedFogEnable;
    bool mySkipDrawFlag;
    QC_GrowingArray<QR_CompiledVertexShader*> myCompiledShaderList;
};
