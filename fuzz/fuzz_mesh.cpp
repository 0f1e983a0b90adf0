// The mesh-block reader: the input is a flag byte (bit 0: the file is read byte-swapped)
// and a mesh block. A mesh that reads is drawn at a few distances and times, its levels
// reordered and its face normals built, then released.
#include <cstdint>
#include <vector>

#include "fuzz_render.h"
#include "fuzz_util.h"
#include "platform/gfx/gfx_recording.h"
#include "qfile/render/qf_file.h"
#include "qrender/qr_d3dnormalvshader.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_vertex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QR_Render* locRender = FuzzRenderer();
    FuzzInput locInput(aData, aSize);
    const uint8_t locFlags = locInput.TakeByte();
    std::string locPath = FuzzScratch::Write("m.bin", locInput.GetData(), locInput.GetSize());

    QF_File locFile;
    if (!locFile.Open(locPath.c_str(), QF_READ | ((locFlags & 1) ? QF_SWAP_BYTES : 0)))
        abort();
    QR_Mesh* locMesh = QR_Mesh::Create("fuzz");
    if (!locMesh)
        abort();
    if (locMesh->ReadMeshData(locFile, "m.bin"))
    {
        locRender->BeginFrame();
        QR_VertexShader* locKind = locMesh->myVertexShader;
        locKind->Begin(locMesh->myCompiledVertexShader);
        locKind->SetDataBlock(nullptr);
        for (float locDistance : {0.0f, 50.0f, 1.0e12f})
            for (float locTime : {0.0f, 0.37f, 1000.0f})
                locKind->Draw(locMesh, locDistance, locTime);
        locRender->EndFrame();
        const float locDirection[3] = {0.3f, -1.0f, 0.2f};
        for (uint32_t i = 0; i < locMesh->myNumLods && i < 4; i++)
        {
            locMesh->SortLodTriangles(i, locDirection);
            locMesh->SortLodTriangles(i, (i & 1) ? QR_MESHSORT_OPAQUE_FIRST : QR_MESHSORT_ALL);
        }
        locMesh->BuildFaceNormals();
        // The fixed-function kind's buffer filling over the same mesh.
        uint32_t locFormat = QR_D3DNormalVShader::BufferFormat(locMesh);
        std::vector<uint8_t> locBuffer((size_t)QR_GetVertexSize(locFormat) * locMesh->myNumVertices + 1);
        uint32_t locKept = locMesh->myVertexBufferVertexFormat;
        locMesh->myVertexBufferVertexFormat = locFormat;
        QR_D3DNormalVShader::FillVertices(locMesh, locBuffer.data());
        locMesh->myVertexBufferVertexFormat = locKept;
    }
    locFile.Close();
    locMesh->Release();
    GFX_RecordedCalls(QR_RenderD3D::ourDevice).clear();
    return 0;
}
