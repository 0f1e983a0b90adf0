// "DEPTH_SORT": the "NORMAL_MESH" kind's drawing without skinning, in the views' depth-sorted
// group.
#pragma once

#include "qrender/qr_vertexshader.h"

class QR_D3DNormalVShader;

class QR_D3DDepthSortVShader : public QR_VertexShader
{
public:
    static bool Create();
    static QR_D3DDepthSortVShader* ourInstance;

    QR_D3DDepthSortVShader();
    ~QR_D3DDepthSortVShader() override;

    QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData& aSetup) override;
    void ReleaseCompiled(QR_CompiledVertexShader* aCompiled) override;
    void Begin(QR_CompiledVertexShader* aCompiled) override;
    void SetDataBlock(QR_VertexShaderDataBlock* aDataBlock) override;
    bool PrepareMesh(QR_Mesh* aMesh) override;
    void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) override;

    QR_VertexShader* myWrappedShader; // not released
};
