// The "DEPTH_SORT" kind: forwards to "NORMAL_MESH" and draws without skinning.
#include "qrender/qr_d3ddepthsortvshader.h"

#include <new>

#include "qrender/qr_d3dnormalvshader.h"

QR_D3DDepthSortVShader* QR_D3DDepthSortVShader::ourInstance = nullptr;

bool QR_D3DDepthSortVShader::Create()
{
    if (ourInstance)
        return true;
    ourInstance = new (std::nothrow) QR_D3DDepthSortVShader();
    if (ourInstance && !ourInstance->myWrappedShader)
    {
        delete ourInstance;
        ourInstance = nullptr;
    }
    return ourInstance != nullptr;
}

QR_D3DDepthSortVShader::QR_D3DDepthSortVShader()
    : QR_VertexShader("DEPTH_SORT", 1)
    , myWrappedShader(QR_VertexShader::Find("NORMAL_MESH"))
{
}

QR_D3DDepthSortVShader::~QR_D3DDepthSortVShader()
{
    if (ourInstance == this)
        ourInstance = nullptr;
}

QR_CompiledVertexShader* QR_D3DDepthSortVShader::Compile(const QR_VertexShaderSetupData& aSetup)
{
    return myWrappedShader->Compile(aSetup);
}

void QR_D3DDepthSortVShader::ReleaseCompiled(QR_CompiledVertexShader* aCompiled)
{
    myWrappedShader->ReleaseCompiled(aCompiled);
}

void QR_D3DDepthSortVShader::Begin(QR_CompiledVertexShader* aCompiled)
{
    myWrappedShader->Begin(aCompiled);
    ourCurrent = this;
}

void QR_D3DDepthSortVShader::SetDataBlock(QR_VertexShaderDataBlock* aDataBlock)
{
    myWrappedShader->SetDataBlock(aDataBlock);
}

bool QR_D3DDepthSortVShader::PrepareMesh(QR_Mesh* aMesh)
{
    return myWrappedShader->PrepareMesh(aMesh);
}

void QR_D3DDepthSortVShader::Draw(QR_Mesh* aMesh, float aLodDistance, float aTime)
{
    QR_D3DNormalVShader* locNormal = QR_D3DNormalVShader::ourInstance;
    if (locNormal && myWrappedShader == locNormal)
        locNormal->DrawLevel(aMesh, aLodDistance, aTime, false);
    else
        myWrappedShader->Draw(aMesh, aLodDistance, aTime);
}
