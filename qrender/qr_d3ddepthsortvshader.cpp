// The "DEPTH_SORT" kind: forwards to "NORMAL_MESH" and draws without skinning.
#include "qrender/qr_d3ddepthsortvshader.h"

#include "qrender/qr_d3dnormalvshader.h"

QR_D3DDepthSortVShader* QR_D3DDepthSortVShader::ourInstance = nullptr;

bool QR_D3DDepthSortVShader::Create()
{
    return CreateInstance<QR_D3DDepthSortVShader>();
}

QR_D3DDepthSortVShader::QR_D3DDepthSortVShader()
    : QR_D3DWrapperVShader("DEPTH_SORT", 1)
{
}

QR_D3DDepthSortVShader::~QR_D3DDepthSortVShader()
{
    if (ourInstance == this)
        ourInstance = nullptr;
}

void QR_D3DDepthSortVShader::Draw(QR_Mesh* aMesh, float aLodDistance, float aTime)
{
    QR_D3DNormalVShader* locNormal = QR_D3DNormalVShader::ourInstance;
    if (locNormal && myWrappedShader == locNormal)
        locNormal->DrawLevel(aMesh, aLodDistance, aTime, false);
    else
        myWrappedShader->Draw(aMesh, aLodDistance, aTime);
}
