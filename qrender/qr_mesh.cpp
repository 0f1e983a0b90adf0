// The mesh record's defaults and the release of what it owns.
#include "qrender/qr_mesh.h"

#include <string.h>

#include "qrender/qr_render.h"

QR_Mesh::QR_Mesh()
    : myName(nullptr)
    , myVertexBuffer(nullptr)
    , myIndexBuffer(nullptr)
    , myCompiledVertexShader(nullptr)
    , mySurface(nullptr)
    , myVertexShader(nullptr)
    , myRadius(1.0f)
    , myVertexSize(32)
    , myVertexData(nullptr)
    , myNumVertices(0)
    , myVertexFormat(0x49)
    , myVertexBufferVertexFormat(0x49)
    , myIndexData(nullptr)
    , myNumIndices(0)
    , myMeshIndexType(0)
    , myLods(nullptr)
    , myNumLods(0)
{
    memset(&mySetupData, 0, sizeof(mySetupData));
    mySetupData.myNumStreams = 1;
    memset(&myDataBlock, 0, sizeof(myDataBlock));
}

QR_Mesh::~QR_Mesh()
{
    if (QR_Render::ourInstance)
    {
        QR_Render::ourInstance->ReleaseIndexBuffer(myIndexBuffer);
        QR_Render::ourInstance->ReleaseVertexBuffer(myVertexBuffer);
    }
    if (myVertexShader)
    {
        if (myCompiledVertexShader)
            myVertexShader->ReleaseCompiled(myCompiledVertexShader);
        myVertexShader->Release();
    }
    delete[] myName;
    delete[] myVertexData;
    delete[] myIndexData;
    for (uint32_t i = 0; i < myNumLods && myLods; i++)
        delete[] myLods[i].myFrames;
    delete[] myLods;
}
