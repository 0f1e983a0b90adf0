// "DEPTH_SORT": the "NORMAL_MESH" kind's drawing without skinning, in the views' depth-sorted
// group.
#pragma once

#include "qrender/qr_d3dwrappervshader.h"

class QR_D3DNormalVShader;

class QR_D3DDepthSortVShader : public QR_D3DWrapperVShader
{
public:
    static bool Create();
    static QR_D3DDepthSortVShader* ourInstance;

    QR_D3DDepthSortVShader();
    ~QR_D3DDepthSortVShader() override;

    void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) override;
};
