// "CAMERA_FACING": draws meshes through the "NORMAL_MESH" kind turned to face the camera
// about the vertical axis.
#pragma once

#include "qrender/qr_vertexshader.h"

class QR_D3DCameraFacingVShader : public QR_VertexShader
{
public:
    static bool Create();
    static QR_D3DCameraFacingVShader* ourInstance;

    QR_D3DCameraFacingVShader();
    ~QR_D3DCameraFacingVShader() override;

    QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData& aSetup) override;
    void ReleaseCompiled(QR_CompiledVertexShader* aCompiled) override;
    void Begin(QR_CompiledVertexShader* aCompiled) override;
    void SetDataBlock(QR_VertexShaderDataBlock* aDataBlock) override;
    bool PrepareMesh(QR_Mesh* aMesh) override;
    void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) override;

    QR_VertexShader* myWrappedShader; // not released
    static Matrix44 ourBillboard;
};
