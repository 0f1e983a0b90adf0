// The "CAMERA_FACING" kind: turns the world matrix towards the camera about the vertical
// axis and draws through "NORMAL_MESH".
#include "qrender/qr_d3dcamerafacingvshader.h"

#include <math.h>
#include <string.h>

#include "qrender/qr_view.h"

QR_D3DCameraFacingVShader* QR_D3DCameraFacingVShader::ourInstance = nullptr;
Matrix44 QR_D3DCameraFacingVShader::ourBillboard = Matrix44::Identity();

bool QR_D3DCameraFacingVShader::Create()
{
    return CreateInstance<QR_D3DCameraFacingVShader>();
}

QR_D3DCameraFacingVShader::QR_D3DCameraFacingVShader()
    : QR_D3DWrapperVShader("CAMERA_FACING", 2)
{
}

QR_D3DCameraFacingVShader::~QR_D3DCameraFacingVShader()
{
    if (ourInstance == this)
        ourInstance = nullptr;
}

void QR_D3DCameraFacingVShader::Draw(QR_Mesh* aMesh, float aLodDistance, float aTime)
{
    if (ourWorldMatrix)
    {
        ourBillboard[12] = (*ourWorldMatrix)[12];
        ourBillboard[13] = (*ourWorldMatrix)[13];
        ourBillboard[14] = (*ourWorldMatrix)[14];
    }
    QR_View* locView = QR_View::ourCurrentView;
    Matrix33 locViewRotation = locView ? locView->myViewMatrix.GetMatrix33() : Matrix33::Identity();
    float f[3] = {0.0f, 0.0f, 1.0f};
    if (locView)
        memcpy(f, locView->myCamera.GetForward(), sizeof(f));
    float locYaw = atan2f(f[0], f[2]);
    float s = sinf(locYaw), c = cosf(locYaw);
    Matrix33 locRy = {{c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c}};
    ourBillboard.SetMatrix33(locRy * locViewRotation);
    ourWorldMatrix = &ourBillboard;
    myWrappedShader->SetDataBlock(nullptr);
    myWrappedShader->Draw(aMesh, aLodDistance, aTime);
}
