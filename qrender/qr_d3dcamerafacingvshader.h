// "CAMERA_FACING": draws meshes through the "NORMAL_MESH" kind turned to face the camera
// about the vertical axis.
#pragma once

#include "qrender/qr_d3dwrappervshader.h"

class QR_D3DCameraFacingVShader : public QR_D3DWrapperVShader
{
public:
    static bool Create();
    static QR_D3DCameraFacingVShader* ourInstance;

    QR_D3DCameraFacingVShader();
    ~QR_D3DCameraFacingVShader() override;

    void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) override;
    static Matrix44 ourBillboard;
};
