// The "NORMAL_MAP" kind: its program, the tangent frames of its vertices, its records.
#include "qrender/qr_d3dnormalmap_vshader.h"

#include <math.h>
#include <new>
#include <string.h>
#include <string>
#include <vector>

#include "qrender/qr_d3dnormalvshader.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_view.h"

QR_D3DNormalMapVShader* QR_D3DNormalMapVShader::ourInstance = nullptr;

static const uint32_t locVertexSize = 76;

static GFX_VertexElement locElement(uint16_t anOffset, GFX_DeclType aType, GFX_DeclUsage aUsage, uint8_t anIndex = 0)
{
    GFX_VertexElement e;
    e.myOffset = anOffset;
    e.myType = aType;
    e.myUsage = aUsage;
    e.myUsageIndex = anIndex;
    return e;
}

static const GFX_VertexElement locElements[] = {
    locElement(0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION),
    locElement(12, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_BLENDWEIGHT),
    locElement(28, GFX_DECLTYPE_SHORT4, GFX_DECLUSAGE_BLENDINDICES),
    locElement(36, GFX_DECLTYPE_SHORT2, GFX_DECLUSAGE_TEXCOORD, 0),
    locElement(40, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_TANGENT, 1),
    locElement(52, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_BINORMAL, 2),
    locElement(64, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_NORMAL)};

const char* QR_D3DNormalMapVShader::Program()
{
    static const std::string ourText = []
    {
        std::string t = "vs_1_1\r\n"
                        "dcl_position v0\r\n"
                        "dcl_blendweight v1\r\n"
                        "dcl_blendindices v2\r\n"
                        "dcl_normal v3\r\n"
                        "dcl_tangent v4\r\n"
                        "dcl_binormal v5\r\n"
                        "dcl_texcoord0 v7\r\n";
        // Four bones carry the position and the tangent frame.
        const char* locComponents = "xyzw";
        for (int k = 0; k < 4; k++)
        {
            char c = locComponents[k];
            t += std::string("mov a0.x, v2.") + c + "\r\n";
            if (k == 0)
                t += "m4x3 r0.xyz, v0, c[a0.x + 4]\r\nmul r0.xyz, r0.xyz, v1.x\r\n"
                     "m3x3 r1.xyz, v3, c[a0.x + 4]\r\nmul r1.xyz, r1.xyz, v1.x\r\n"
                     "m3x3 r6.xyz, v4, c[a0.x + 4]\r\nmul r6.xyz, r6.xyz, v1.x\r\n"
                     "m3x3 r7.xyz, v5, c[a0.x + 4]\r\nmul r7.xyz, r7.xyz, v1.x\r\n";
            else
            {
                std::string w = std::string("v1.") + c;
                t += "m4x3 r2.xyz, v0, c[a0.x + 4]\r\nmad r0.xyz, r2.xyz, " + w + ", r0.xyz\r\n";
                t += "m3x3 r2.xyz, v3, c[a0.x + 4]\r\nmad r1.xyz, r2.xyz, " + w + ", r1.xyz\r\n";
                t += "m3x3 r2.xyz, v4, c[a0.x + 4]\r\nmad r6.xyz, r2.xyz, " + w + ", r6.xyz\r\n";
                t += "m3x3 r2.xyz, v5, c[a0.x + 4]\r\nmad r7.xyz, r2.xyz, " + w + ", r7.xyz\r\n";
            }
        }
        t += "mov r0.w, c93.w\r\n"
             "m4x4 r2, r0, c0\r\n"
             "mov oPos, r2\r\n"
             "mad oFog, r2.z, c94.z, c94.w\r\n"
             // The light direction into tangent space: output for texdp3.
             "dp3 r8.x, c82, r6\r\n"
             "dp3 r8.y, c82, r7\r\n"
             "dp3 r8.z, c82, r1\r\n"
             "mov oT3.xyz, r8\r\n"
             // The half vector: output for texdp3tex.
             "dp3 r9.x, c81, r6\r\n"
             "dp3 r9.y, c81, r7\r\n"
             "dp3 r9.z, c81, r1\r\n"
             "mov oT2.xyz, r9\r\n"
             "mul oT0.xy, v7.xy, c95.y\r\n"
             "mul oT1.xy, v7.xy, c95.y\r\n"
             "mov oD0, c93\r\n"
             "mov oD1, c93\r\n";
        return t;
    }();
    return ourText.c_str();
}

bool QR_D3DNormalMapVShader::Create()
{
    if (ourInstance)
        return true;
    ourInstance = new (std::nothrow) QR_D3DNormalMapVShader();
    if (ourInstance && !BuildProgram(Program(), locElements, 7, &ourInstance->myShader, &ourInstance->myDeclaration))
    {
        delete ourInstance;
        ourInstance = nullptr;
    }
    return ourInstance != nullptr;
}

void QR_D3DNormalMapVShader::Destroy()
{
    delete ourInstance;
}

QR_D3DNormalMapVShader::QR_D3DNormalMapVShader()
    : QR_D3DAssembledVShader("NORMAL_MAP")
    , myDeclaration(nullptr)
    , myShader(nullptr)
    , myCurrentRecord(nullptr)
    , myCachedFogEnable(0xFFFFFFFF)
    , mySkipDrawFlag(false)
{
    myCompiledShaderList.Init(16, 16, false);
}

QR_D3DNormalMapVShader::~QR_D3DNormalMapVShader()
{
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        delete (QR_D3DVsCompiled*)myCompiledShaderList[i]->myRecord;
        delete myCompiledShaderList[i];
    }
    ReleaseDeviceObjects();
    if (ourInstance == this)
        ourInstance = nullptr;
}

void QR_D3DNormalMapVShader::ReleaseDeviceObjects()
{
    GFX_Device* d = QR_RenderD3D::ourDevice;
    if (d && myShader)
        d->ReleaseShader(myShader);
    if (d && myDeclaration)
        d->ReleaseVertexDecl(myDeclaration);
    myShader = nullptr;
    myDeclaration = nullptr;
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DVsCompiled* r = (QR_D3DVsCompiled*)myCompiledShaderList[i]->myRecord;
        r->myVertexShader = nullptr;
        r->myVertexDeclaration = nullptr;
    }
    myCurrentRecord = nullptr;
}

bool QR_D3DNormalMapVShader::RestoreDeviceObjects()
{
    myCurrentRecord = nullptr;
    myCachedFogEnable = 0xFFFFFFFF;
    if (!myShader && !BuildProgram(Program(), locElements, 7, &myShader, &myDeclaration))
        return false;
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DVsCompiled* r = (QR_D3DVsCompiled*)myCompiledShaderList[i]->myRecord;
        r->myVertexShader = myShader;
        r->myVertexDeclaration = myDeclaration;
    }
    return true;
}

QR_CompiledVertexShader* QR_D3DNormalMapVShader::Compile(const QR_VertexShaderSetupData& aSetup)
{
    // Every set-up draws with the one program; records differ only in what the constants read.
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DVsCompiled* r = (QR_D3DVsCompiled*)myCompiledShaderList[i]->myRecord;
        if (r->mySpecular == aSetup.mySpecular && r->myLighting == aSetup.myLighting &&
            r->myFogFlag == aSetup.myFogFlag && r->mySkinning == aSetup.mySkinning)
        {
            myCompiledShaderList[i]->myRefCount++;
            return myCompiledShaderList[i];
        }
    }
    QR_D3DVsCompiled* r = myShader ? new (std::nothrow) QR_D3DVsCompiled() : nullptr;
    if (!r)
        return nullptr;
    *r = QR_D3DVsCompiled();
    r->myNumStreams = 1;
    r->mySkinning = aSetup.mySkinning;
    r->myLighting = aSetup.myLighting;
    r->mySpecular = aSetup.mySpecular;
    r->myFogFlag = aSetup.myFogFlag;
    r->myVertexShader = myShader;
    r->myVertexDeclaration = myDeclaration;
    QR_CompiledVertexShader* h = AddCompiled(myCompiledShaderList, r);
    if (!h)
        delete r;
    return h;
}

void QR_D3DNormalMapVShader::ReleaseCompiled(QR_CompiledVertexShader* aCompiled)
{
    if (!DropCompiled(myCompiledShaderList, aCompiled))
        return;
    if (myCurrentRecord == aCompiled->myRecord)
        myCurrentRecord = nullptr;
    delete (QR_D3DVsCompiled*)aCompiled->myRecord;
    delete aCompiled;
}

void QR_D3DNormalMapVShader::Begin(QR_CompiledVertexShader* aCompiled)
{
    GFX_Device* d = QR_RenderD3D::ourDevice;
    if (!d)
        return;
    if (ourCurrent != this)
    {
        ourCurrent = this;
        myCurrentRecord = nullptr;
        myCachedFogEnable = 0xFFFFFFFF;
        d->SetRenderState(GFX_RS_FOGVERTEXMODE, GFX_FOG_NONE);
        for (uint32_t i = 0; i < 8; i++)
        {
            d->SetTextureStageState(i, GFX_TSS_TEXCOORDINDEX, i);
            d->SetTextureStageState(i, GFX_TSS_TEXTURETRANSFORMFLAGS, GFX_TTF_DISABLE);
        }
    }
    QR_D3DVsCompiled* r = (QR_D3DVsCompiled*)aCompiled->myRecord;
    if (r == myCurrentRecord)
        return;
    if (!myCurrentRecord)
    {
        d->SetVertexDecl(myDeclaration);
        d->SetVertexShader(myShader);
    }
    ourNumStreams = 1;
    if (myCachedFogEnable != r->myFogFlag)
    {
        myCachedFogEnable = r->myFogFlag;
        d->SetRenderState(GFX_RS_FOGENABLE, r->myFogFlag);
    }
    myCurrentRecord = r;
}

void QR_D3DNormalMapVShader::SetDataBlock(QR_VertexShaderDataBlock* aDataBlock)
{
    if (!QR_RenderD3D::ourDevice || !myCurrentRecord)
        return;
    // The program always skins: an unskinned part is its own single bone.
    QR_D3DVsCompiled locRecord = *myCurrentRecord;
    locRecord.mySkinning = 2;
    uint32_t locBones = ourNumBoneMatrices;
    if (locBones == 0)
    {
        ourBoneMatrices[0] = ourWorldMatrix ? *ourWorldMatrix : Matrix44::Identity();
        ourNumBoneMatrices = 1;
    }
    const Matrix44* locWorld = ourWorldMatrix;
    ourWorldMatrix = nullptr;
    mySkipDrawFlag = !SetConstants(&locRecord, aDataBlock, QR_VSREG_LIGHTS, true);
    ourWorldMatrix = locWorld;
    ourNumBoneMatrices = locBones;
    if (mySkipDrawFlag)
        QR_View::ourSkippedDraws++;
    if (aDataBlock && aDataBlock->myLightData)
        aDataBlock->myLightData->myFlags &= ~2u;
}

bool QR_D3DNormalMapVShader::PackVertices(const QR_Mesh* aMesh, uint8_t* aDest)
{
    const uint32_t f = aMesh->myVertexFormat;
    const uint32_t n = aMesh->myNumVertices;
    int32_t locNormal = QR_GetVertexComponentOffset(QR_VERTEXFLAG_NORMAL, f);
    int32_t locUV = QR_GetVertexUVCount(f) ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_UV1, f) : -1;
    uint32_t locNumWeights = QR_GetVertexWeightCount(f);
    int32_t locWeights = locNumWeights ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_WEIGHT1, f) : -1;
    int32_t locBones = (locNumWeights || (f & QR_VERTEXFLAG_BONEINDICES))
                           ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_BONEINDICES, f | QR_VERTEXFLAG_BONEINDICES)
                           : -1;
    auto locPos = [&](uint32_t v, float* p) { memcpy(p, aMesh->myVertexData + (size_t)v * aMesh->myVertexSize, 12); };
    auto locTex = [&](uint32_t v, float* t)
    {
        t[0] = t[1] = 0.0f;
        if (locUV >= 0)
            memcpy(t, aMesh->myVertexData + (size_t)v * aMesh->myVertexSize + locUV, 8);
    };
    // Tangents and binormals summed over the triangles of a list, from the coordinates' directions.
    std::vector<float> locFrames((size_t)n * 6, 0.0f);
    for (uint32_t i = 0; aMesh->myMeshIndexType == 0 && i + 2 < aMesh->myNumIndices; i += 3)
    {
        uint16_t k[3] = {aMesh->myIndexData[i], aMesh->myIndexData[i + 1], aMesh->myIndexData[i + 2]};
        if (k[0] >= n || k[1] >= n || k[2] >= n)
            return false;
        float p[3][3], t[3][2];
        for (int j = 0; j < 3; j++)
        {
            locPos(k[j], p[j]);
            locTex(k[j], t[j]);
        }
        float e1[3], e2[3];
        for (int j = 0; j < 3; j++)
            e1[j] = p[1][j] - p[0][j], e2[j] = p[2][j] - p[0][j];
        float du1 = t[1][0] - t[0][0], dv1 = t[1][1] - t[0][1], du2 = t[2][0] - t[0][0], dv2 = t[2][1] - t[0][1];
        float d = du1 * dv2 - du2 * dv1;
        if (fabsf(d) < 1e-12f)
            continue;
        float r = 1.0f / d;
        for (int j = 0; j < 3; j++)
        {
            float tj = (e1[j] * dv2 - e2[j] * dv1) * r, bj = (e2[j] * du1 - e1[j] * du2) * r;
            for (int m = 0; m < 3; m++)
            {
                locFrames[(size_t)k[m] * 6 + j] += tj;
                locFrames[(size_t)k[m] * 6 + 3 + j] += bj;
            }
        }
    }
    for (uint32_t v = 0; v < n; v++)
    {
        const uint8_t* s = aMesh->myVertexData + (size_t)v * aMesh->myVertexSize;
        uint8_t* d = aDest + (size_t)v * locVertexSize;
        float p[3], w[4] = {1, 0, 0, 0}, nrm[3] = {0, 0, 1}, uv[2];
        uint8_t b[4] = {0, 0, 0, 0};
        locPos(v, p);
        locTex(v, uv);
        if (locWeights >= 0)
        {
            memcpy(w, s + locWeights, 4 * locNumWeights);
            float locSum = 0.0f;
            for (uint32_t k = 0; k < locNumWeights; k++)
                locSum += w[k];
            w[locNumWeights] = 1.0f - locSum;
        }
        if (locBones >= 0)
            memcpy(b, s + locBones, 4);
        if (locNormal >= 0)
            memcpy(nrm, s + locNormal, 12);
        for (int k = 0; k < 4; k++)
            if (b[k] >= QR_MAXBONEMATRICES)
                return false;
        if (fabsf(uv[0] * 1024.0f) > 32767.0f || fabsf(uv[1] * 1024.0f) > 32767.0f)
            return false;
        // The frame made orthonormal around the normal.
        float* t = &locFrames[(size_t)v * 6];
        float* bn = t + 3;
        float locDot = t[0] * nrm[0] + t[1] * nrm[1] + t[2] * nrm[2];
        for (int k = 0; k < 3; k++)
            t[k] -= nrm[k] * locDot;
        float lt = sqrtf(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        if (lt < 1e-12f)
        {
            // No coordinates to follow: any tangent across the normal.
            float a[3] = {fabsf(nrm[0]) < 0.9f ? 1.0f : 0.0f, fabsf(nrm[0]) < 0.9f ? 0.0f : 1.0f, 0.0f};
            locDot = a[0] * nrm[0] + a[1] * nrm[1];
            for (int k = 0; k < 3; k++)
                t[k] = a[k] - nrm[k] * locDot;
            lt = sqrtf(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        }
        for (int k = 0; k < 3; k++)
            t[k] /= lt;
        float c[3] = {nrm[1] * t[2] - nrm[2] * t[1], nrm[2] * t[0] - nrm[0] * t[2], nrm[0] * t[1] - nrm[1] * t[0]};
        // The binormal keeps the side the coordinates give it.
        float locSide = c[0] * bn[0] + c[1] * bn[1] + c[2] * bn[2];
        for (int k = 0; k < 3; k++)
            bn[k] = locSide < 0.0f ? -c[k] : c[k];
        int16_t i4[4] = {(int16_t)(3 * b[0]), (int16_t)(3 * b[1]), (int16_t)(3 * b[2]), (int16_t)(3 * b[3])};
        int16_t t2[2] = {(int16_t)lrintf(uv[0] * 1024.0f), (int16_t)lrintf(uv[1] * 1024.0f)};
        memcpy(d, p, 12);
        memcpy(d + 12, w, 16);
        memcpy(d + 28, i4, 8);
        memcpy(d + 36, t2, 4);
        memcpy(d + 40, t, 12);
        memcpy(d + 52, bn, 12);
        memcpy(d + 64, nrm, 12);
    }
    return true;
}

static bool locRefillVertices(void* anArgument)
{
    QR_Mesh* m = (QR_Mesh*)anArgument;
    void* locData = nullptr;
    if (!QR_Render::ourInstance->LockVertexBuffer(m->myVertexBuffer, &locData, 0, -1))
        return false;
    bool locOk = QR_D3DNormalMapVShader::PackVertices(m, (uint8_t*)locData);
    QR_Render::ourInstance->UnlockVertexBuffer(m->myVertexBuffer);
    return locOk;
}

bool QR_D3DNormalMapVShader::PrepareMesh(QR_Mesh* aMesh)
{
    if (aMesh->myVertexSize != QR_GetVertexSize(aMesh->myVertexFormat) ||
        !(aMesh->myVertexFormat & QR_VERTEXFLAG_XYZ) || aMesh->mySetupData.myNumUVs > 4)
    {
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
        return false;
    }
    for (uint32_t i = 0; i < aMesh->mySetupData.myNumUVs; i++)
        if ((aMesh->mySetupData.myUVs[i] & 0xFFFF0000u) != 0 || (aMesh->mySetupData.myUVs[i] & UV_MASK) > 3)
        {
            // The program hands out its own coordinates; matrices and generated ones have no place.
            QR_Error::SetCode(QR_ERROR_MODEL_DATA);
            return false;
        }
    if (aMesh->myIndexBuffer || aMesh->myVertexBuffer)
        return false;
    QR_Render* r = QR_Render::ourInstance;
    aMesh->myVertexBufferVertexFormat = aMesh->myVertexFormat;
    aMesh->myIndexBuffer = r->CreateIndexBuffer(aMesh->myNumIndices, true, RefillIndices, aMesh);
    aMesh->myVertexBuffer = r->CreateVertexBuffer(locVertexSize, aMesh->myNumVertices, true, locRefillVertices, aMesh);
    if (aMesh->myIndexBuffer && aMesh->myVertexBuffer && RefillIndices(aMesh) && locRefillVertices(aMesh))
        return true;
    if (aMesh->myVertexBuffer)
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
    r->ReleaseIndexBuffer(aMesh->myIndexBuffer);
    r->ReleaseVertexBuffer(aMesh->myVertexBuffer);
    aMesh->myIndexBuffer = nullptr;
    aMesh->myVertexBuffer = nullptr;
    return false;
}

void QR_D3DNormalMapVShader::Draw(QR_Mesh* aMesh, float aLodDistance, float aTime)
{
    if (mySkipDrawFlag)
        return;
    QR_D3DNormalVShader::DrawLevel(aMesh, aLodDistance, aTime, false);
}
