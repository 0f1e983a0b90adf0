// Meshes: the list, sharing by name, the mesh-block reader, preparation through the
// vertex-shader kind, device-data release and the in-place triangle reordering.
//
// [SECTION] List and lifetime
// [SECTION] Mesh block reader
// [SECTION] Preparation and device data
// [SECTION] Triangle reordering and face normals
#include "qrender/qr_mesh.h"

#include <algorithm>
#include <functional>
#include <ctype.h>
#include <math.h>
#include <new>
#include <string.h>
#include <vector>

#include "qcommon/qc_assert.h"
#include "qfile/render/qf_file.h"
#include "qrender/qr_error.h"
#include "qrender/qr_render.h"
#include "qrender/qr_splinepath.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_vertex.h"

QR_Mesh* QR_Mesh::ourFirst = nullptr;

// [SECTION] List and lifetime ---------------------------------------------------------------

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
    , myFaceNormals(nullptr)
    , myNumFaceNormals(0)
    , myRefCount(1)
    , myPrev(nullptr)
    , myNext(nullptr)
{
    memset(&mySetupData, 0, sizeof(mySetupData));
    mySetupData.myNumStreams = 1;
    memset(&myDataBlock, 0, sizeof(myDataBlock));
    Link();
}

void QR_Mesh::Link()
{
    myNext = ourFirst;
    if (ourFirst)
        ourFirst->myPrev = this;
    ourFirst = this;
}

QR_Mesh::~QR_Mesh()
{
    if (QR_Render::ourInstance)
    {
        QR_Render::ourInstance->ReleaseIndexBuffer(myIndexBuffer);
        QR_Render::ourInstance->ReleaseVertexBuffer(myVertexBuffer);
    }
    for (uint32_t i = 0; i < mySetupData.myNumUVs && i < QR_MAXSETUPUVS; i++)
    {
        delete myDataBlock.myTextureMatrixSpline[i];
        myDataBlock.myTextureMatrixSpline[i] = nullptr;
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
    delete[] myFaceNormals;
    for (uint32_t i = 0; i < myNumLods && myLods; i++)
        delete[] myLods[i].myFrames;
    delete[] myLods;
    QR_Surface::Release(mySurface);
    if (myPrev)
        myPrev->myNext = myNext;
    else if (ourFirst == this)
        ourFirst = myNext;
    if (myNext)
        myNext->myPrev = myPrev;
}

static void locLowerName(const char* aName, char* aResult)
{
    size_t i = 0;
    for (; aName && aName[i] && i < 255; i++)
        aResult[i] = (char)tolower((unsigned char)aName[i]);
    aResult[i] = 0;
}

QR_Mesh* QR_Mesh::Find(const char* aName)
{
    char locName[256];
    locLowerName(aName, locName);
    for (QR_Mesh* locMesh = ourFirst; locMesh; locMesh = locMesh->myNext)
        if (locMesh->myName && strcmp(locMesh->myName, locName) == 0)
        {
            locMesh->myRefCount++;
            return locMesh;
        }
    return nullptr;
}

QR_Mesh* QR_Mesh::Create(const char* aName)
{
    char locName[256];
    locLowerName(aName, locName);
    for (QR_Mesh* locMesh = ourFirst; locMesh; locMesh = locMesh->myNext)
        if (locMesh->myName && strcmp(locMesh->myName, locName) == 0)
            return nullptr;
    QR_Mesh* locMesh = new (std::nothrow) QR_Mesh();
    if (!locMesh)
        return nullptr;
    size_t locLength = strlen(locName);
    locMesh->myName = new (std::nothrow) char[locLength + 1];
    if (!locMesh->myName)
    {
        delete locMesh;
        return nullptr;
    }
    memcpy(locMesh->myName, locName, locLength + 1);
    return locMesh;
}

void QR_Mesh::Release()
{
    QC_ASSERT(myRefCount > 0);
    if (--myRefCount <= 0)
        delete this;
}

void QR_Mesh::DestroyAll()
{
    while (ourFirst)
        delete ourFirst;
}

void QR_Mesh::ForgetVertexShader(const QR_VertexShader* aKind)
{
    for (QR_Mesh* locMesh = ourFirst; locMesh; locMesh = locMesh->myNext)
        if (locMesh->myVertexShader == aKind)
        {
            // The kind frees its own compiled records.
            locMesh->myCompiledVertexShader = nullptr;
            locMesh->myVertexShader = nullptr;
        }
}

// [SECTION] Mesh block reader ---------------------------------------------------------------

namespace
{
// Field-by-field reads that remember the first failure; every count is checked against
// the bytes left before anything is allocated from it.
class MeshBlockReader
{
public:
    explicit MeshBlockReader(QF_File& aFile)
        : myFile(aFile)
    {
    }

    uint64_t Left() const { return myFile.myFilePos < myFile.myFileSize ? myFile.myFileSize - myFile.myFilePos : 0; }

    bool U32(uint32_t* aValue) { return myFile.ReadU32(aValue); }
    bool Float(float* aValue)
    {
        uint32_t locBits;
        if (!myFile.ReadU32(&locBits))
            return false;
        memcpy(aValue, &locBits, 4);
        return true;
    }
    bool Raw(void* aDestination, uint64_t aSize)
    {
        return aSize <= Left() && myFile.Read(aDestination, (uint32_t)aSize) == aSize;
    }
    // A name of at most 255 characters that ends in its NUL.
    bool Name(char* aDestination)
    {
        for (uint32_t i = 0; i < 256; i++)
        {
            if (Left() == 0)
                return false;
            aDestination[i] = (char)myFile.ReadChar();
            if (aDestination[i] == 0)
                return true;
        }
        aDestination[255] = 0;
        return false;
    }

private:
    QF_File& myFile;
};

bool locRangeInside(uint64_t aStart, uint64_t aCount, uint64_t aSize)
{
    return aStart + aCount <= aSize;
}

// Drawing hands a range's vertices on by themselves, so each index of the
// range must name one of them; the ranges lie inside the data already.
bool locIndicesInside(const uint16_t* anIndices, uint32_t aStart, uint32_t aCount, uint32_t aFirstVertex,
                      uint32_t aNumVertices)
{
    for (uint32_t i = aStart; i < aStart + aCount; i++)
        if (anIndices[i] < aFirstVertex || anIndices[i] - aFirstVertex >= aNumVertices)
            return false;
    return true;
}
} // namespace

bool QR_Mesh::ReadMeshData(QF_File& aFile, const char* aFileName)
{
    MeshBlockReader r(aFile);
    const char* locText = aFileName ? aFileName : (myName ? myName : "");
    auto locDamaged = [locText]()
    {
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
        QR_Error::Printf("%s", locText);
        return false;
    };
    // The level rules name the mesh and the level.
    auto locLevelDamaged = [this, locText](uint32_t aLevel, const char* aWhat)
    {
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
        QR_Error::Printf("%s: mesh '%s', level %u: %s", locText, myName ? myName : "", aLevel, aWhat);
        return false;
    };

    char locName[256];
    if (!r.Name(locName))
        return locDamaged();
    if (locName[0])
    {
        mySurface = QR_Surface::Acquire(locName);
        if (!mySurface)
            return false;
    }
    if (!r.Name(locName))
        return locDamaged();
    myVertexShader = QR_VertexShader::Find(locName);
    if (!myVertexShader)
    {
        QR_Error::SetCode(QR_ERROR_VERTEX_SHADER_NAME);
        QR_Error::Printf("%s", locName);
        return false;
    }

    QR_VertexShaderSetupData& s = mySetupData;
    uint32_t locNumUVs = 0, locFog = 0;
    if (!r.U32(&s.mySkinning) || !r.U32(&s.myLighting) || !r.U32(&s.myWord7) || !r.U32(&s.mySpecular) ||
        !r.U32(&s.myWord9) || !r.U32(&locNumUVs))
        return locDamaged();
    // The set-up holds four stages.
    if (locNumUVs > QR_MAXSETUPUVS)
        return locDamaged();
    for (uint32_t i = 0; i < locNumUVs; i++)
        if (!r.U32(&s.myUVs[i]))
            return locDamaged();
    if (!r.U32(&locFog))
        return locDamaged();
    s.myFogFlag = locFog != 0;
    s.myNumUVs = locNumUVs;
    for (uint32_t i = 0; i < locNumUVs; i++)
    {
        uint32_t locPresence = 0;
        if (!r.U32(&locPresence) || locPresence > 1)
            return locDamaged();
        if (locPresence == 1)
        {
            QR_SplinePath* locPath = new (std::nothrow) QR_SplinePath();
            if (!locPath)
                return locDamaged();
            myDataBlock.myTextureMatrixSpline[i] = locPath;
            if (!locPath->Read(aFile))
                return locDamaged();
        }
    }
    if (s.mySpecular == 1 || s.mySpecular == 2)
    {
        if (!r.Float(&myDataBlock.mySpecularPower))
            return locDamaged();
        if (s.mySpecular == 2 && !r.U32(&myDataBlock.myColor))
            return locDamaged();
    }
    if (!r.Float(&myRadius) || !r.U32(&myVertexFormat))
        return locDamaged();
    // Bits 12 and above name no component; more than 8 sets have no declaration.
    if ((myVertexFormat & 0xFFFFF000u) != 0 || QR_GetVertexUVCount(myVertexFormat) > 8)
        return locDamaged();
    myVertexSize = QR_GetVertexSize(myVertexFormat);
    myVertexBufferVertexFormat = myVertexFormat;

    uint32_t locNumVertices = 0;
    if (!r.U32(&locNumVertices) || (uint64_t)locNumVertices * myVertexSize > r.Left())
        return locDamaged();
    myVertexData = new (std::nothrow) uint8_t[(size_t)locNumVertices * myVertexSize + 1];
    if (!myVertexData || !r.Raw(myVertexData, (uint64_t)locNumVertices * myVertexSize))
        return locDamaged();
    myNumVertices = locNumVertices;

    uint32_t locNumIndices = 0;
    if (!r.U32(&myMeshIndexType) || myMeshIndexType > 1)
        return locDamaged();
    if (!r.U32(&locNumIndices) || (uint64_t)locNumIndices * 2 > r.Left())
        return locDamaged();
    myIndexData = new (std::nothrow) uint16_t[(size_t)locNumIndices + 1];
    if (!myIndexData || !r.Raw(myIndexData, (uint64_t)locNumIndices * 2))
        return locDamaged();
    myNumIndices = locNumIndices;
    for (uint32_t i = 0; i < myNumIndices; i++)
        if (myIndexData[i] >= myNumVertices)
            return locDamaged();

    // A level takes at least 24 bytes.
    uint32_t locNumLods = 0;
    if (!r.U32(&locNumLods) || locNumLods == 0 || (uint64_t)locNumLods * 24 > r.Left())
        return locDamaged();
    myLods = new (std::nothrow) QR_MeshLod[locNumLods]();
    if (!myLods)
        return locDamaged();
    myNumLods = locNumLods;
    for (uint32_t k = 0; k < locNumLods; k++)
    {
        QR_MeshLod& l = myLods[k];
        if (!r.U32(&l.myIsAnimated) || !r.U32(&l.myNumVertices) || !r.U32(&l.myStartIndex) ||
            !r.U32(&l.myNumIndices) || !r.U32(&l.myFirstVertex) || !r.Float(&l.myLodDistance))
            return locDamaged();
        // The first level at least as far as the drawing distance is drawn:
        // behind a farther one a level would never be reached.
        if (k > 0 && !(l.myLodDistance >= myLods[k - 1].myLodDistance))
            return locLevelDamaged(k, "distance below the previous level's");
        if (l.myIsAnimated != 1)
        {
            if (!locRangeInside(l.myStartIndex, l.myNumIndices, myNumIndices) ||
                !locRangeInside(l.myFirstVertex, l.myNumVertices, myNumVertices))
                return locDamaged();
            if (!locIndicesInside(myIndexData, l.myStartIndex, l.myNumIndices, l.myFirstVertex, l.myNumVertices))
                return locLevelDamaged(k, "an index outside the level's vertices");
            continue;
        }
        float locFrameTime = 0.0f;
        uint32_t locNumFrames = 0;
        if (!r.Float(&locFrameTime) || !r.U32(&locNumFrames))
            return locDamaged();
        if (!(locFrameTime > 0.0f) || !isfinite(locFrameTime) || locNumFrames == 0 ||
            (uint64_t)locNumFrames * 16 > r.Left())
            return locDamaged();
        l.myFramesPerSecond = 1.0f / locFrameTime;
        l.myFrames = new (std::nothrow) QR_MeshFrame[locNumFrames];
        if (!l.myFrames)
            return locDamaged();
        l.myNumFrames = locNumFrames;
        for (uint32_t f = 0; f < locNumFrames; f++)
        {
            QR_MeshFrame& m = l.myFrames[f];
            if (!r.U32(&m.myFirstVertex) || !r.U32(&m.myNumVertices) || !r.U32(&m.myStartIndex) ||
                !r.U32(&m.myNumIndices))
                return locDamaged();
            if (!locRangeInside(m.myStartIndex, m.myNumIndices, myNumIndices) ||
                !locRangeInside(m.myFirstVertex, m.myNumVertices, myNumVertices))
                return locDamaged();
            if (!locIndicesInside(myIndexData, m.myStartIndex, m.myNumIndices, m.myFirstVertex, m.myNumVertices))
                return locLevelDamaged(k, "an index outside its frame's vertices");
        }
    }
    if (!CompileVertexShader())
    {
        // The kinds' own refusals keep their code; the mesh's checks are damage.
        if (QR_Error::ourCode == QR_ERROR_MODEL_DATA)
            QR_Error::Printf("%s", locText);
        return false;
    }
    return true;
}

// [SECTION] Preparation and device data -----------------------------------------------------

bool QR_Mesh::CompileVertexShader()
{
    if (!myVertexShader)
        return false;
    myVertexBufferVertexFormat = myVertexFormat;
    // What the set-up asks of the vertex data is checked before any device data is made:
    // a source no kind knows, a stage reading a set the format lacks, or a matrix stage
    // without its path.
    uint32_t locSets = QR_GetVertexUVCount(myVertexFormat);
    for (uint32_t i = 0; i < mySetupData.myNumUVs && i < QR_MAXSETUPUVS; i++)
    {
        uint32_t locUV = mySetupData.myUVs[i];
        if ((locUV & UV_MASK) > UV_CAMERASPACE_REFLECTION ||
            ((locUV & UV_MASK) < UV_CAMERASPACE_POSITION && (locUV & UV_MASK) >= locSets) ||
            ((locUV & UV_TEXTUREMATRIX) && !myDataBlock.myTextureMatrixSpline[i] && !myDataBlock.myTextureMatrix[i]))
        {
            QR_Error::SetCode(QR_ERROR_MODEL_DATA);
            QR_Error::Printf("%s", myName ? myName : "");
            return false;
        }
    }
    if (myCompiledVertexShader)
        return false;
    if (!myVertexShader->PrepareMesh(this))
        return false;
    mySetupData.myVertexFormatList[0] = myIndexBuffer ? myVertexBufferVertexFormat : myVertexFormat;
    myCompiledVertexShader = myVertexShader->Compile(mySetupData);
    return myCompiledVertexShader != nullptr;
}

bool QR_Mesh::CompileAllVertexShaders()
{
    for (QR_Mesh* locMesh = ourFirst; locMesh; locMesh = locMesh->myNext)
    {
        // A mesh that lost its kind with an earlier renderer cannot be drawn; it is left.
        if (!locMesh->myVertexShader || locMesh->myCompiledVertexShader)
            continue;
        if (!locMesh->CompileVertexShader())
            return false;
    }
    return true;
}

void QR_Mesh::ReleaseDeviceData()
{
    if (myCompiledVertexShader && myVertexShader)
        myVertexShader->ReleaseCompiled(myCompiledVertexShader);
    myCompiledVertexShader = nullptr;
    if (QR_Render::ourInstance)
    {
        QR_Render::ourInstance->ReleaseIndexBuffer(myIndexBuffer);
        QR_Render::ourInstance->ReleaseVertexBuffer(myVertexBuffer);
    }
    myIndexBuffer = nullptr;
    myVertexBuffer = nullptr;
}

void QR_Mesh::ReleaseAllDeviceData()
{
    for (QR_Mesh* locMesh = ourFirst; locMesh; locMesh = locMesh->myNext)
        locMesh->ReleaseDeviceData();
}

// [SECTION] Triangle reordering and face normals --------------------------------------------

namespace
{
struct TriangleKey
{
    uint32_t myTriangle;
    float myKey;
    bool myOutwardFlag;
};

void locPosition(const QR_Mesh* aMesh, uint16_t anIndex, float* anOut)
{
    memcpy(anOut, aMesh->myVertexData + (size_t)anIndex * aMesh->myVertexSize, 12);
}

float locDistanceSquared(const float* a, const float* b)
{
    float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

void locCross(const float* a, const float* b, float* anOut)
{
    anOut[0] = a[1] * b[2] - a[2] * b[1];
    anOut[1] = a[2] * b[0] - a[0] * b[2];
    anOut[2] = a[0] * b[1] - a[1] * b[0];
}
} // namespace

// The range Draw draws: the level's own, or each frame's.
static bool locForEachRange(QR_Mesh* aMesh, uint32_t aLevel, const std::function<bool(uint32_t, uint32_t)>& aSort)
{
    if (aLevel >= aMesh->myNumLods || aMesh->myMeshIndexType != QR_DRAWTYPES_TRIANGLELIST ||
        !aMesh->myVertexData || (aMesh->myVertexFormat & QR_VERTEXFLAG_XYZ) == 0)
        return false;
    const QR_MeshLod& l = aMesh->myLods[aLevel];
    if (l.myIsAnimated == 1)
    {
        for (uint32_t f = 0; f < l.myNumFrames; f++)
            if (!aSort(l.myFrames[f].myStartIndex, l.myFrames[f].myNumIndices))
                return false;
        return true;
    }
    return aSort(l.myStartIndex, l.myNumIndices);
}

bool QR_Mesh::SortLodTriangles(uint32_t aLevel, const float* aViewDirection)
{
    return locForEachRange(this, aLevel, [&](uint32_t aStart, uint32_t aCount)
                           { return SortRange(aStart, aCount, aViewDirection, QR_MESHSORT_ALL); });
}

bool QR_Mesh::SortLodTriangles(uint32_t aLevel, QR_MeshSortMode aMode)
{
    return locForEachRange(this, aLevel, [&](uint32_t aStart, uint32_t aCount)
                           { return SortRange(aStart, aCount, nullptr, aMode); });
}

bool QR_Mesh::SortRange(uint32_t aStart, uint32_t aCount, const float* aViewDirection, QR_MeshSortMode aMode)
{
    if (!locRangeInside(aStart, aCount, myNumIndices))
        return false;
    uint16_t* locIndices = myIndexData + aStart;
    uint32_t locNumTriangles = aCount / 3;
    for (uint32_t i = 0; i < locNumTriangles * 3; i++)
        if (locIndices[i] >= myNumVertices)
            return false;
    if (locNumTriangles == 0)
        return true;
    std::vector<uint16_t> locCopy(locIndices, locIndices + locNumTriangles * 3);

    float locEye[3] = {0.0f, 0.0f, 0.0f};
    if (aViewDirection)
    {
        float d[3] = {aViewDirection[0], aViewDirection[1], aViewDirection[2]};
        float locLength = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        if (locLength > 0.0f)
        {
            locLength = sqrtf(locLength);
            for (float& c : d)
                c /= locLength;
        }
        for (int k = 0; k < 3; k++)
            locEye[k] = d[k] * (-2.0f * myRadius);
        // Farthest vertex first; ties broken by the nearest vertex, farther first.
        struct Far
        {
            uint32_t myTriangle;
            float myFar;
            float myNear;
        };
        std::vector<Far> locOrder(locNumTriangles);
        for (uint32_t t = 0; t < locNumTriangles; t++)
        {
            float locFar = 0.0f, locNear = 0.0f;
            for (int k = 0; k < 3; k++)
            {
                float p[3];
                locPosition(this, locCopy[t * 3 + k], p);
                float locD = locDistanceSquared(p, locEye);
                locFar = k == 0 || locD > locFar ? locD : locFar;
                locNear = k == 0 || locD < locNear ? locD : locNear;
            }
            locOrder[t] = {t, locFar, locNear};
        }
        std::sort(locOrder.begin(), locOrder.end(), [](const Far& a, const Far& b)
                  { return a.myFar != b.myFar ? a.myFar > b.myFar : a.myNear > b.myNear; });
        for (uint32_t t = 0; t < locNumTriangles; t++)
            memcpy(locIndices + t * 3, &locCopy[locOrder[t].myTriangle * 3], 6);
        return true;
    }

    // The eye at the average of every index's position, repeats counted.
    for (uint32_t i = 0; i < locNumTriangles * 3; i++)
    {
        float p[3];
        locPosition(this, locCopy[i], p);
        for (int k = 0; k < 3; k++)
            locEye[k] += p[k];
    }
    for (float& c : locEye)
        c /= (float)(locNumTriangles * 3);

    std::vector<uint32_t> locFront, locBack;
    int32_t locDiffuse = QR_GetVertexComponentOffset(QR_VERTEXFLAG_DIFFUSE, myVertexFormat);
    for (uint32_t t = 0; t < locNumTriangles; t++)
    {
        // Without a diffuse colour every triangle counts as opaque.
        bool locOpaqueFlag = locDiffuse >= 0;
        for (int k = 0; k < 3 && locOpaqueFlag && aMode == QR_MESHSORT_OPAQUE_FIRST; k++)
        {
            uint32_t locColor;
            memcpy(&locColor, myVertexData + (size_t)locCopy[t * 3 + k] * myVertexSize + locDiffuse, 4);
            locOpaqueFlag = (locColor >> 24) == 255;
        }
        if (aMode == QR_MESHSORT_OPAQUE_FIRST && (locOpaqueFlag || locDiffuse < 0))
            locFront.push_back(t);
        else
            locBack.push_back(t);
    }
    std::vector<TriangleKey> locKeys;
    locKeys.reserve(locBack.size());
    for (uint32_t t : locBack)
    {
        float p[3][3];
        for (int k = 0; k < 3; k++)
            locPosition(this, locCopy[t * 3 + k], p[k]);
        float c[3], e1[3], e2[3], n[3];
        for (int k = 0; k < 3; k++)
        {
            c[k] = (p[0][k] + p[1][k] + p[2][k]) * 0.33333334f;
            e1[k] = p[1][k] - p[0][k];
            e2[k] = p[2][k] - p[1][k];
        }
        locCross(e1, e2, n);
        float locOutward = n[0] * (c[0] - locEye[0]) + n[1] * (c[1] - locEye[1]) + n[2] * (c[2] - locEye[2]);
        locKeys.push_back({t, locDistanceSquared(c, locEye), !(locOutward < 0.0f)});
    }
    std::sort(locKeys.begin(), locKeys.end(), [](const TriangleKey& a, const TriangleKey& b)
              {
                  if (a.myOutwardFlag != b.myOutwardFlag)
                      return a.myOutwardFlag;
                  return a.myOutwardFlag ? a.myKey > b.myKey : a.myKey < b.myKey;
              });
    uint32_t locOut = 0;
    for (uint32_t t : locFront)
        memcpy(locIndices + 3 * locOut++, &locCopy[t * 3], 6);
    for (const TriangleKey& k : locKeys)
        memcpy(locIndices + 3 * locOut++, &locCopy[k.myTriangle * 3], 6);
    return true;
}

bool QR_Mesh::BuildFaceNormals()
{
    if (myMeshIndexType != QR_DRAWTYPES_TRIANGLELIST || !(myVertexFormat & QR_VERTEXFLAG_XYZ))
        return false;
    uint32_t locNumTriangles = myNumIndices / 3;
    for (uint32_t i = 0; i < locNumTriangles * 3; i++)
        if (myIndexData[i] >= myNumVertices)
            return false;
    float* locNormals = new (std::nothrow) float[(size_t)locNumTriangles * 3 + 1];
    if (!locNormals)
        return false;
    for (uint32_t t = 0; t < locNumTriangles; t++)
    {
        float p[3][3], e1[3], e2[3], n[3];
        for (int k = 0; k < 3; k++)
            locPosition(this, myIndexData[t * 3 + k], p[k]);
        for (int k = 0; k < 3; k++)
        {
            e1[k] = p[1][k] - p[0][k];
            e2[k] = p[2][k] - p[1][k];
        }
        locCross(e1, e2, n);
        float locLength = sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int k = 0; k < 3; k++)
            locNormals[t * 3 + k] = locLength > 0.0f ? n[k] / locLength : 0.0f;
    }
    delete[] myFaceNormals;
    myFaceNormals = locNormals;
    myNumFaceNormals = locNumTriangles;
    return true;
}
