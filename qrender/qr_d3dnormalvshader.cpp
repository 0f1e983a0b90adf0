// The fixed-function "NORMAL_MESH" kind.
//
// [SECTION] Creation and compiled set-ups
// [SECTION] Begin and per-draw data
// [SECTION] Mesh preparation
// [SECTION] Drawing and software skinning
#include "qrender/qr_d3dnormalvshader.h"

#include <math.h>
#include <new>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_splinepath.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_view.h"

// The names the consistency checks are written with.
static const uint32_t VU_MAXACTIVELIGHTS = QR_MAXACTIVELIGHTS;
static const uint32_t VU_VERTEXFLAG_XYZ = QR_VERTEXFLAG_XYZ;
static const uint32_t VU_VERTEXFLAG_WEIGHT3 = QR_VERTEXFLAG_WEIGHT3;
static const uint32_t VU_VERTEXFLAG_NORMAL = QR_VERTEXFLAG_NORMAL;
static const uint32_t VU_VERTEXFLAG_UV1 = QR_VERTEXFLAG_UV1;
static const uint32_t VU_VERTEXFLAG_BONEINDICES = QR_VERTEXFLAG_BONEINDICES;
static const uint32_t VU_VERTEXFLAG_UV2 = QR_VERTEXFLAG_UV2;

static const uint32_t locUnknown = 0xFFFFFFFF;
static const uint32_t locNoSpecularColor = 0x1EFFFFFF;

QR_D3DNormalVShader* QR_D3DNormalVShader::ourInstance = nullptr;

static GFX_Matrix locToGfx(const Matrix44& aMatrix)
{
    GFX_Matrix locResult;
    memcpy(locResult.m, aMatrix.myMatrix, sizeof(locResult.m));
    return locResult;
}

// [SECTION] Creation and compiled set-ups ---------------------------------------------------

bool QR_D3DNormalVShader::Create()
{
    if (ourInstance)
        return true;
    ourInstance = new (std::nothrow) QR_D3DNormalVShader();
    return ourInstance != nullptr;
}

QR_D3DNormalVShader::QR_D3DNormalVShader()
    : QR_VertexShader("NORMAL_MESH", 0)
{
    myCompiledShaderList.Init(16, 16, false);
    ResetCaches();
    myCachedLighting = locUnknown;
    myCachedAmbient = locUnknown;
    myCachedFogEnable = locUnknown;
    myCachedWords[0] = myCachedWords[1] = locUnknown;
    for (uint32_t i = 0; i < QR_MAXSETUPUVS; i++)
        myTextureMatrixActiveFlag[i] = 0;
}

QR_D3DNormalVShader::~QR_D3DNormalVShader()
{
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DNormalCompiled* locRecord = (QR_D3DNormalCompiled*)myCompiledShaderList[i]->myRecord;
        if (locRecord->myVertexDeclaration && QR_RenderD3D::ourDevice)
            QR_RenderD3D::ourDevice->ReleaseVertexDecl(locRecord->myVertexDeclaration);
        delete locRecord;
        delete myCompiledShaderList[i];
    }
    if (ourInstance == this)
        ourInstance = nullptr;
}

void QR_D3DNormalVShader::ResetCaches()
{
    myCurrentRecord = nullptr;
    myCurrentDeclaration = nullptr;
    myCachedLightSet = nullptr;
    myNumEnabledLights = 0;
    myCachedFogStart = -10000.0f;
    myCachedFogEnd = -10000.0f;
    myCachedSpecularColor = locNoSpecularColor;
    myCachedSpecularPower = 1000.0f;
}

bool QR_D3DNormalVShader::SameSetup(const QR_D3DNormalCompiled& aRecordRef, const QR_VertexShaderSetupData& aSetup)
{
    const QR_D3DNormalCompiled* aRecord = &aRecordRef;
    if (aRecord->myNumStreams != aSetup.myNumStreams || aRecord->mySkinning != aSetup.mySkinning ||
        aRecord->myLighting != aSetup.myLighting || aRecord->myWord7 != aSetup.myWord7 ||
        aRecord->mySpecular != aSetup.mySpecular || aRecord->myWord9 != aSetup.myWord9 ||
        aRecord->myNumUVs != aSetup.myNumUVs || aRecord->myFogFlag != aSetup.myFogFlag)
        return false;
    for (uint32_t i = 0; i < aSetup.myNumUVs && i < QR_MAXSETUPUVS; i++)
        if (aRecord->myUVs[i] != aSetup.myUVs[i])
            return false;
    for (uint32_t i = 0; i < QR_MAXSETUPSTREAMS; i++)
        if (aRecord->myVertexFormatList[i] != (aSetup.myVertexFormatList[i] & 0xFFFFF7F9))
            return false;
    return true;
}

void QR_D3DNormalVShader::CopySetup(QR_D3DNormalCompiled& r, const QR_VertexShaderSetupData& aSetup)
{
    r.myNumStreams = aSetup.myNumStreams;
    for (uint32_t i = 0; i < QR_MAXSETUPSTREAMS; i++)
        r.myVertexFormatList[i] = aSetup.myVertexFormatList[i] & 0xFFFFF7F9;
    r.mySkinning = aSetup.mySkinning;
    r.myLighting = aSetup.myLighting;
    r.myWord7 = aSetup.myWord7;
    r.mySpecular = aSetup.mySpecular;
    r.myWord9 = aSetup.myWord9;
    r.myNumUVs = aSetup.myNumUVs > QR_MAXSETUPUVS ? QR_MAXSETUPUVS : aSetup.myNumUVs;
    for (uint32_t i = 0; i < QR_MAXSETUPUVS; i++)
        r.myUVs[i] = aSetup.myUVs[i];
    r.myFogFlag = aSetup.myFogFlag;
}

QR_CompiledVertexShader* QR_D3DNormalVShader::Compile(const QR_VertexShaderSetupData& aSetup)
{
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_CompiledVertexShader* locHandle = myCompiledShaderList[i];
        if (SameSetup(*(QR_D3DNormalCompiled*)locHandle->myRecord, aSetup))
        {
            locHandle->myRefCount++;
            return locHandle;
        }
    }
    QR_D3DNormalCompiled* locRecord = new (std::nothrow) QR_D3DNormalCompiled();
    if (!locRecord)
        return nullptr;
    CopySetup(*locRecord, aSetup);
    uint32_t locStreams = aSetup.myNumStreams > QR_MAXSETUPSTREAMS ? QR_MAXSETUPSTREAMS : aSetup.myNumStreams;
    locRecord->myVertexDeclaration =
        QR_CreateVertexDeclaration(QR_RenderD3D::ourDevice, locStreams, locRecord->myVertexFormatList);
    QR_CompiledVertexShader* locHandle =
        locRecord->myVertexDeclaration ? AddCompiled(myCompiledShaderList, locRecord) : nullptr;
    if (!locHandle)
    {
        if (locRecord->myVertexDeclaration)
            QR_RenderD3D::ourDevice->ReleaseVertexDecl(locRecord->myVertexDeclaration);
        delete locRecord;
    }
    return locHandle;
}

void QR_D3DNormalVShader::ReleaseCompiled(QR_CompiledVertexShader* aCompiled)
{
    if (!DropCompiled(myCompiledShaderList, aCompiled))
        return;
    QR_D3DNormalCompiled* locRecord = (QR_D3DNormalCompiled*)aCompiled->myRecord;
    if (myCurrentRecord == locRecord)
        myCurrentRecord = nullptr;
    if (locRecord->myVertexDeclaration)
    {
        if (myCurrentDeclaration == locRecord->myVertexDeclaration)
            myCurrentDeclaration = nullptr;
        if (QR_RenderD3D::ourDevice)
            QR_RenderD3D::ourDevice->ReleaseVertexDecl(locRecord->myVertexDeclaration);
    }
    delete locRecord;
    delete aCompiled;
}

void QR_D3DNormalVShader::ReleaseDeviceObjects()
{
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DNormalCompiled* locRecord = (QR_D3DNormalCompiled*)myCompiledShaderList[i]->myRecord;
        if (locRecord->myVertexDeclaration && QR_RenderD3D::ourDevice)
            QR_RenderD3D::ourDevice->ReleaseVertexDecl(locRecord->myVertexDeclaration);
        locRecord->myVertexDeclaration = nullptr;
    }
    myCurrentDeclaration = nullptr;
    myCurrentRecord = nullptr;
}

bool QR_D3DNormalVShader::RestoreDeviceObjects()
{
    ResetCaches();
    myCachedLighting = locUnknown;
    myCachedAmbient = locUnknown;
    myCachedFogEnable = locUnknown;
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DNormalCompiled* locRecord = (QR_D3DNormalCompiled*)myCompiledShaderList[i]->myRecord;
        GFX_VertexDecl* myVertexDeclaration = locRecord->myVertexDeclaration;
        QC_ASSERT(!myVertexDeclaration);
        uint32_t locStreams = locRecord->myNumStreams > QR_MAXSETUPSTREAMS ? QR_MAXSETUPSTREAMS : locRecord->myNumStreams;
        locRecord->myVertexDeclaration =
            QR_CreateVertexDeclaration(QR_RenderD3D::ourDevice, locStreams, locRecord->myVertexFormatList);
        if (!locRecord->myVertexDeclaration)
            return false;
    }
    return true;
}

// [SECTION] Begin and per-draw data ---------------------------------------------------------

void QR_D3DNormalVShader::Begin(QR_CompiledVertexShader* aCompiled)
{
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    // No device after a failed re-creation: its restore resets these caches.
    if (!locDevice)
        return;
    if (ourCurrent != this)
    {
        ourCurrent = this;
        myCachedLightSet = nullptr;
        myCachedFogEnable = locUnknown;
        myCurrentRecord = nullptr;
        myCurrentDeclaration = nullptr;
    }
    QR_D3DNormalCompiled* locRecord = (QR_D3DNormalCompiled*)aCompiled->myRecord;
    if (locRecord == myCurrentRecord)
        return;
    ourNumStreams = locRecord->myNumStreams;
    if (locRecord->myVertexDeclaration != myCurrentDeclaration)
    {
        myCurrentDeclaration = locRecord->myVertexDeclaration;
        locDevice->SetVertexDecl(locRecord->myVertexDeclaration);
    }
    uint32_t locLighting = (locRecord->myLighting == 1 || locRecord->myLighting == 2) ? 1 : 0;
    if (myCachedLighting != locLighting)
    {
        myCachedLighting = locLighting;
        locDevice->SetRenderState(GFX_RS_LIGHTING, locLighting);
    }
    if (myCachedFogEnable != locRecord->myFogFlag)
    {
        myCachedFogEnable = locRecord->myFogFlag;
        locDevice->SetRenderState(GFX_RS_FOGENABLE, locRecord->myFogFlag);
    }
    for (uint32_t i = 0; i < locRecord->myNumUVs; i++)
    {
        uint32_t locUV = locRecord->myUVs[i];
        uint32_t locIndex = 0;
        switch (locUV & UV_MASK)
        {
        case UV_VERTEX_UVSET_0:
        case UV_VERTEX_UVSET_1:
        case UV_VERTEX_UVSET_2:
        case UV_VERTEX_UVSET_3:
            locIndex = locUV & UV_MASK;
            break;
        case UV_CAMERASPACE_POSITION:
            locIndex = GFX_TCI_CAMERASPACEPOSITION;
            break;
        case UV_CAMERASPACE_NORMAL:
            locIndex = GFX_TCI_CAMERASPACENORMAL;
            break;
        case UV_CAMERASPACE_REFLECTION:
            locIndex = GFX_TCI_CAMERASPACEREFLECTIONVECTOR;
            break;
        default:
            QC_ASSERT(0);
            break;
        }
        locDevice->SetTextureStageState(i, GFX_TSS_TEXCOORDINDEX, locIndex);
        uint32_t locFlags;
        if (locUV & UV_THREECOMPONENTS)
            locFlags = GFX_TTF_COUNT3 | ((locUV & UV_PROJECTED) ? (uint32_t)GFX_TTF_PROJECTED : 0u);
        else
            locFlags = (locUV & UV_TEXTUREMATRIX) ? GFX_TTF_COUNT2 : GFX_TTF_DISABLE;
        locDevice->SetTextureStageState(i, GFX_TSS_TEXTURETRANSFORMFLAGS, locFlags);
        myTextureMatrixActiveFlag[i] = (locUV & UV_TEXTUREMATRIX) ? 1 : 0;
    }
    uint32_t locPrevious = myCurrentRecord ? myCurrentRecord->myNumUVs : 8;
    for (uint32_t i = locRecord->myNumUVs; i < locPrevious; i++)
    {
        locDevice->SetTextureStageState(i, GFX_TSS_TEXCOORDINDEX, i);
        locDevice->SetTextureStageState(i, GFX_TSS_TEXTURETRANSFORMFLAGS, GFX_TTF_DISABLE);
    }
    myCurrentRecord = locRecord;
}

static GFX_ColorValue locColor(float r, float g, float b, float a)
{
    GFX_ColorValue locValue;
    locValue.r = r;
    locValue.g = g;
    locValue.b = b;
    locValue.a = a;
    return locValue;
}

void QR_D3DNormalVShader::SetDataBlock(QR_VertexShaderDataBlock* aDataBlock)
{
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    if (!locDevice)
        return;
    QR_View* locView = QR_View::ourCurrentView;
    // The device's view transform is the view matrix and its projection the rest of the
    // view-projection, so that lights given in camera space, range fog and the viewer of
    // specular light are where the camera is.
    if (locView)
    {
        Matrix44 locPlacement;
        Matrix44::InvertRigid(locView->myViewMatrix, locPlacement);
        locDevice->SetTransform(GFX_TS_VIEW, locToGfx(locView->myViewMatrix));
        locDevice->SetTransform(GFX_TS_PROJECTION, locToGfx(locPlacement * locView->myViewProjectionMatrix));
    }
    else
    {
        locDevice->SetTransform(GFX_TS_VIEW, GFX_MatrixIdentity());
        locDevice->SetTransform(GFX_TS_PROJECTION, GFX_MatrixIdentity());
    }
    locDevice->SetTransform(GFX_TS_WORLD, ourWorldMatrix ? locToGfx(*ourWorldMatrix) : GFX_MatrixIdentity());

    if ((myCachedFogEnable == 1 || myCachedFogEnable == locUnknown) && locView)
    {
        if (myCachedFogStart != locView->GetFogStart())
        {
            myCachedFogStart = locView->GetFogStart();
            locDevice->SetRenderState(GFX_RS_FOGSTART, GFX_FloatBits(myCachedFogStart));
        }
        if (myCachedFogEnd != locView->GetFogEnd())
        {
            myCachedFogEnd = locView->GetFogEnd();
            locDevice->SetRenderState(GFX_RS_FOGEND, GFX_FloatBits(myCachedFogEnd));
        }
    }
    if (!aDataBlock)
        return;
    QR_D3DNormalCompiled* locRecord = myCurrentRecord;
    if (!locRecord)
        return;

    if (locRecord->myLighting == 1 || locRecord->myLighting == 2)
    {
        QC_ASSERT(aDataBlock->myLightData);
        QR_LightSet* locSet = aDataBlock->myLightData;
        if (locSet &&
            (locSet != myCachedLightSet || (locSet->myFlags & 1) ||
             (locRecord->mySpecular == 2 && aDataBlock->myColor != myCachedSpecularColor)))
        {
            myCachedLightSet = locSet;
            locSet->myFlags &= ~1u;
            if (myCachedAmbient != locSet->myAmbientColor)
            {
                myCachedAmbient = locSet->myAmbientColor;
                locDevice->SetRenderState(GFX_RS_AMBIENT, locSet->myAmbientColor);
            }
            QC_ASSERT(aDataBlock->myLightData->myNumLights <= VU_MAXACTIVELIGHTS);
            uint32_t locCount = locSet->myNumLights > QR_MAXACTIVELIGHTS ? QR_MAXACTIVELIGHTS : locSet->myNumLights;
            if (locRecord->mySpecular == 2)
                myCachedSpecularColor = aDataBlock->myColor;
            for (uint32_t k = 0; k < locCount; k++)
            {
                const QR_LightSetLight* locLight = locSet->myLights[k];
                const float* c = locSet->myLightColors[k];
                GFX_Light locOut;
                locOut.myDiffuse = locColor(c[0], c[1], c[2], 1.0f);
                if (locRecord->mySpecular == 2)
                {
                    uint32_t locC = aDataBlock->myColor;
                    locOut.mySpecular = locColor(((locC & 0xFF0000) >> 16) / 255.0f, ((locC & 0xFF00) >> 8) / 255.0f,
                                                 (locC & 0xFF) / 255.0f, 1.0f);
                }
                else if (locRecord->mySpecular == 1)
                    locOut.mySpecular = locColor(2.0f * c[0], 2.0f * c[1], 2.0f * c[2], 2.0f);
                else
                    locOut.mySpecular = locColor(0.0f, 0.0f, 0.0f, 0.0f);
                locOut.myAmbient = locColor(0.0f, 0.0f, 0.0f, 0.0f);
                locOut.myRange = locLight->myRange;
                locOut.myFalloff = 1.0f;
                // In world space: the device carries lights by its view transform, which is
                // the view's (see the transforms above).
                if (locLight->myType == 0)
                {
                    const float* d = locLight->myDirection;
                    locOut.myType = GFX_LIGHT_DIRECTIONAL;
                    locOut.myDirection.x = d[0];
                    locOut.myDirection.y = d[1];
                    locOut.myDirection.z = d[2];
                }
                else if (locLight->myType == 1)
                {
                    const float* p = locLight->myPosition;
                    locOut.myType = GFX_LIGHT_POINT;
                    locOut.myPosition.x = p[0];
                    locOut.myPosition.y = p[1];
                    locOut.myPosition.z = p[2];
                    locOut.myAttenuation0 = 0.0f;
                    locOut.myAttenuation1 = locLight->myRange > 0.0f ? 1.0f / locLight->myRange : 0.0f;
                    locOut.myAttenuation2 = 0.0f;
                }
                else
                    QC_ASSERT(0);
                locDevice->SetLight(k, locOut);
                locDevice->LightEnable(k, true);
            }
            for (uint32_t k = locCount; k < myNumEnabledLights; k++)
                locDevice->LightEnable(k, false);
            myNumEnabledLights = locCount;
        }
        if ((locRecord->mySpecular == 1 || locRecord->mySpecular == 2) &&
            aDataBlock->mySpecularPower != myCachedSpecularPower)
        {
            myCachedSpecularPower = aDataBlock->mySpecularPower;
            GFX_Material locMaterial;
            locMaterial.myDiffuse = locColor(1.0f, 1.0f, 1.0f, 1.0f);
            locMaterial.myAmbient = locColor(1.0f, 1.0f, 1.0f, 1.0f);
            locMaterial.mySpecular = locColor(1.0f, 1.0f, 1.0f, 1.0f);
            locMaterial.myEmissive = locColor(0.0f, 0.0f, 0.0f, 0.0f);
            locMaterial.myPower = aDataBlock->mySpecularPower;
            locDevice->SetMaterial(locMaterial);
        }
        else if (locRecord->mySpecular == 0 && myCachedSpecularPower > 0.0f)
        {
            myCachedSpecularPower = 0.0f;
            GFX_Material locMaterial;
            locMaterial.myDiffuse = locColor(1.0f, 1.0f, 1.0f, 1.0f);
            locMaterial.myAmbient = locColor(1.0f, 1.0f, 1.0f, 1.0f);
            locMaterial.myPower = 0.0f;
            locDevice->SetMaterial(locMaterial);
        }
    }

    for (uint32_t i = 0; i < locRecord->myNumUVs; i++)
    {
        uint32_t locUV = locRecord->myUVs[i];
        if (!(locUV & UV_TEXTUREMATRIX))
        {
            QC_ASSERT(!aDataBlock->myTextureMatrix[i] && !aDataBlock->myTextureMatrixSpline[i]);
            QC_ASSERT(myTextureMatrixActiveFlag[i] == (unsigned int) false);
            continue;
        }
        Matrix44 locMatrix;
        if (aDataBlock->myTextureMatrix[i])
            locMatrix = *aDataBlock->myTextureMatrix[i];
        else if (aDataBlock->myTextureMatrixSpline[i])
        {
            const QR_SplinePath* locPath = aDataBlock->myTextureMatrixSpline[i];
            float v[16] = {};
            float* locValues = locPath->myNumChannels <= 16 ? v : new float[locPath->myNumChannels];
            locPath->GetValue(aDataBlock->myTime, locValues);
            Matrix44 locScale = Matrix44::Identity();
            if (locPath->myNumChannels > 6)
            {
                locScale[0] *= locValues[6];
                locScale[5] *= locValues[8];
            }
            Matrix44 locRotation = Matrix44::Identity();
            if (locValues[3] != 0.0f)
            {
                float s = sinf(locValues[3]), c = cosf(locValues[3]);
                locRotation[0] = c;
                locRotation[1] = s;
                locRotation[4] = -s;
                locRotation[5] = c;
            }
            locMatrix = locScale * locRotation;
            locMatrix[8] += locValues[0];
            locMatrix[9] += locValues[2];
            if (locValues != v)
                delete[] locValues;
        }
        else if ((locUV & UV_MASK) == UV_CAMERASPACE_POSITION)
        {
            locMatrix = Matrix44::Identity();
            locMatrix[0] = 0.5f;
            locMatrix[5] = 0.5f;
            locMatrix[8] = 0.5f;
            locMatrix[9] = 0.5f;
            locMatrix[10] = 1.0f;
        }
        else
        {
            QC_ASSERT(0);
            continue;
        }
        locDevice->SetTransform((GFX_TransformState)(GFX_TS_TEXTURE0 + i), locToGfx(locMatrix));
        QC_ASSERT(myTextureMatrixActiveFlag[i] == (unsigned int) true);
    }
}

// [SECTION] Mesh preparation ----------------------------------------------------------------

uint32_t QR_D3DNormalVShader::BufferFormat(const QR_Mesh* aMesh)
{
    const QR_VertexShaderSetupData& s = aMesh->mySetupData;
    uint32_t locFormat = QR_VERTEXFLAG_XYZ;
    if (!aMesh->mySurface)
    {
        if (aMesh->myVertexFormat & QR_VERTEXFLAG_NORMAL)
            locFormat |= QR_VERTEXFLAG_NORMAL;
        return locFormat;
    }
    QR_SurfaceShading locShading;
    GetSurfaceShading(aMesh, &locShading);
    uint32_t locStages = locShading.myNumStages < s.myNumUVs ? locShading.myNumStages : s.myNumUVs;
    // Sets up to the highest one a stage reads, so a mesh reading only set 1 keeps set 1.
    uint32_t locSets = 0;
    bool locNormalFlag = (locShading.myLightingFlag && s.myLighting == 1) ||
                         (locShading.mySpecularFlag && s.mySpecular == 1);
    for (uint32_t i = 0; i < locStages; i++)
    {
        uint32_t locSource = s.myUVs[i] & UV_MASK;
        if (locSource <= UV_VERTEX_UVSET_3 && locSource + 1 > locSets)
            locSets = locSource + 1;
        if (locSource == UV_CAMERASPACE_NORMAL || s.myUVs[i] == UV_CAMERASPACE_REFLECTION)
            locNormalFlag = true;
    }
    uint32_t locMeshSets = QR_GetVertexUVCount(aMesh->myVertexFormat);
    if (locSets > locMeshSets)
        locSets = locMeshSets;
    locFormat |= locSets * QR_VERTEXFLAG_UV1;
    if (aMesh->myVertexFormat & QR_VERTEXFLAG_DIFFUSE)
        locFormat |= QR_VERTEXFLAG_DIFFUSE;
    if (locNormalFlag)
        locFormat |= QR_VERTEXFLAG_NORMAL;
    return locFormat;
}

void QR_D3DNormalVShader::FillVertices(const QR_Mesh* aMesh, uint8_t* aDest)
{
    const QR_Mesh* mes = aMesh;
    uint32_t locSrcFormat = aMesh->myVertexFormat;
    uint32_t locDstFormat = aMesh->myVertexBufferVertexFormat;
    if (locSrcFormat == locDstFormat)
    {
        memcpy(aDest, aMesh->myVertexData, (size_t)aMesh->myNumVertices * aMesh->myVertexSize);
        return;
    }
    QC_ASSERT(mes->myVertexBufferVertexFormat & VU_VERTEXFLAG_XYZ);
    uint32_t locDstSize = QR_GetVertexSize(locDstFormat);
    int32_t locSrcNormal = QR_GetVertexComponentOffset(QR_VERTEXFLAG_NORMAL, locSrcFormat);
    int32_t locDstNormal = QR_GetVertexComponentOffset(QR_VERTEXFLAG_NORMAL, locDstFormat);
    int32_t locSrcDiffuse = QR_GetVertexComponentOffset(QR_VERTEXFLAG_DIFFUSE, locSrcFormat);
    int32_t locDstDiffuse = QR_GetVertexComponentOffset(QR_VERTEXFLAG_DIFFUSE, locDstFormat);
    int32_t locSrcSpecular = QR_GetVertexComponentOffset(QR_VERTEXFLAG_SPECULAR, locSrcFormat);
    int32_t locDstSpecular = QR_GetVertexComponentOffset(QR_VERTEXFLAG_SPECULAR, locDstFormat);
    uint32_t locSrcSets = QR_GetVertexUVCount(locSrcFormat);
    uint32_t locDstSets = QR_GetVertexUVCount(locDstFormat);
    if (locDstSets > 8)
        locDstSets = 8;
    int32_t locSrcUV = locSrcSets ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_UV1, locSrcFormat) : -1;
    int32_t locDstUV = locDstSets ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_UV1, locDstFormat) : -1;
    static const float locDefaultNormal[3] = {0.0f, 0.0f, 1.0f};
    static const uint32_t locWhite = 0xFFFFFFFF;
    static const float locZeroUV[2] = {0.0f, 0.0f};
    for (uint32_t v = 0; v < aMesh->myNumVertices; v++)
    {
        const uint8_t* locSrc = aMesh->myVertexData + (size_t)v * aMesh->myVertexSize;
        uint8_t* locDst = aDest + (size_t)v * locDstSize;
        // A source without a position of its own (the format allows it) gives the origin.
        if (locSrcFormat & (QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_XYZRHW))
            memcpy(locDst, locSrc, 12);
        else
            memset(locDst, 0, 12);
        if (locDstNormal >= 0)
            memcpy(locDst + locDstNormal, locSrcNormal >= 0 ? locSrc + locSrcNormal : (const uint8_t*)locDefaultNormal,
                   12);
        if (locDstDiffuse >= 0)
            memcpy(locDst + locDstDiffuse, locSrcDiffuse >= 0 ? locSrc + locSrcDiffuse : (const uint8_t*)&locWhite, 4);
        if (locDstSpecular >= 0)
            memcpy(locDst + locDstSpecular, locSrcSpecular >= 0 ? locSrc + locSrcSpecular : (const uint8_t*)&locWhite,
                   4);
        for (uint32_t k = 0; k < locDstSets; k++)
            memcpy(locDst + locDstUV + 8 * k, k < locSrcSets ? locSrc + locSrcUV + 8 * k : (const uint8_t*)locZeroUV, 8);
    }
}

static bool locRefillVertices(void* anArgument)
{
    QR_Mesh* locMesh = (QR_Mesh*)anArgument;
    void* locData = nullptr;
    if (!QR_Render::ourInstance->LockVertexBuffer(locMesh->myVertexBuffer, &locData, 0, -1))
        return false;
    QR_D3DNormalVShader::FillVertices(locMesh, (uint8_t*)locData);
    QR_Render::ourInstance->UnlockVertexBuffer(locMesh->myVertexBuffer);
    return true;
}

// Software skinning reads the palette by these bytes: they must stay inside it.
static bool locBoneIndicesValid(const QR_Mesh* aMesh, uint32_t aFirstVertex, uint32_t aNumVertices)
{
    // The one-set skinned format, and the editor's two-set one whose set 0 is kept.
    if (aMesh->myVertexFormat != 0x84F && aMesh->myVertexFormat != 0x88F)
        return false;
    if ((uint64_t)aFirstVertex + aNumVertices > aMesh->myNumVertices)
        return false;
    for (uint32_t v = aFirstVertex; v < aFirstVertex + aNumVertices; v++)
    {
        const uint8_t* locBones = aMesh->myVertexData + (size_t)v * aMesh->myVertexSize + 24;
        for (int k = 0; k < 4; k++)
            if (locBones[k] >= QR_MAXBONEMATRICES)
                return false;
    }
    return true;
}

bool QR_D3DNormalVShader::PrepareMesh(QR_Mesh* aMesh)
{
    // Buffers and copies are sized from the format: a mesh whose vertex size says otherwise
    // would be read and written past them.
    if (aMesh->myVertexSize != QR_GetVertexSize(aMesh->myVertexFormat))
    {
        QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
        QR_Error::Printf("mesh vertex size %u differs from its format 0x%X (%u bytes)", aMesh->myVertexSize,
                         aMesh->myVertexFormat, QR_GetVertexSize(aMesh->myVertexFormat));
        return false;
    }
    if (aMesh->mySetupData.mySkinning != 0)
        return locBoneIndicesValid(aMesh, 0, aMesh->myNumVertices);

    QR_Render* locRender = QR_Render::ourInstance;
    uint32_t locFormat = BufferFormat(aMesh);
    QC_ASSERT(!aMesh->myIndexBuffer && !aMesh->myVertexBuffer);
    aMesh->myIndexBuffer = locRender->CreateIndexBuffer(aMesh->myNumIndices, true, RefillIndices, aMesh);
    aMesh->myVertexBuffer =
        locRender->CreateVertexBuffer(QR_GetVertexSize(locFormat), aMesh->myNumVertices, true, locRefillVertices, aMesh);
    aMesh->myVertexBufferVertexFormat = locFormat;
    if (!aMesh->myIndexBuffer || !aMesh->myVertexBuffer || !RefillIndices(aMesh) || !locRefillVertices(aMesh))
    {
        locRender->ReleaseIndexBuffer(aMesh->myIndexBuffer);
        locRender->ReleaseVertexBuffer(aMesh->myVertexBuffer);
        aMesh->myIndexBuffer = nullptr;
        aMesh->myVertexBuffer = nullptr;
        return false;
    }
    return true;
}

// [SECTION] Drawing and software skinning ---------------------------------------------------

uint32_t QR_FrameOfTime(float aTime, float aFramesPerSecond, uint32_t aNumFrames)
{
    // Frames counted in double: a rate from a file can put the count beyond 32 bits.
    double locFrames = floor((double)aTime * (double)aFramesPerSecond);
    if (!(locFrames >= 0.0) || aNumFrames == 0)
        return 0;
    if (locFrames < 4294967296.0)
        return (uint32_t)locFrames % aNumFrames;
    double locIndex = fmod(locFrames, (double)aNumFrames);
    return locIndex >= 0.0 && locIndex < aNumFrames ? (uint32_t)locIndex : 0;
}

static void locSkinVertices(const QR_Mesh* aMesh, uint32_t aFirstVertex, uint32_t aNumVertices, uint8_t* aDest)
{
    const Matrix44* locPalette = QR_VertexShader::ourBoneMatrices;
    for (uint32_t v = 0; v < aNumVertices; v++)
    {
        const uint8_t* locSrc = aMesh->myVertexData + (size_t)(aFirstVertex + v) * aMesh->myVertexSize;
        float locPosition[3], locWeights[3], locNormal[3], locUV[2];
        memcpy(locPosition, locSrc, 12);
        memcpy(locWeights, locSrc + 12, 12);
        const uint8_t* locBones = locSrc + 24;
        memcpy(locNormal, locSrc + 28, 12);
        memcpy(locUV, locSrc + 40, 8);

        float locOut[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (aMesh->mySetupData.mySkinning == 1)
            locPalette[locBones[0]].Transform(locPosition[0], locPosition[1], locPosition[2], locOut);
        else
        {
            float w[4] = {locWeights[0], locWeights[1], locWeights[2],
                          1.0f - locWeights[0] - locWeights[1] - locWeights[2]};
            for (int k = 0; k < 4; k++)
            {
                float t[4];
                locPalette[locBones[k]].Transform(locPosition[0], locPosition[1], locPosition[2], t);
                locOut[0] += w[k] * t[0];
                locOut[1] += w[k] * t[1];
                locOut[2] += w[k] * t[2];
            }
        }
        const float* m = locPalette[locBones[0]].myMatrix;
        float n[3] = {locNormal[0] * m[0] + locNormal[1] * m[4] + locNormal[2] * m[8],
                      locNormal[0] * m[1] + locNormal[1] * m[5] + locNormal[2] * m[9],
                      locNormal[0] * m[2] + locNormal[1] * m[6] + locNormal[2] * m[10]};
        uint8_t* locDst = aDest + (size_t)v * 32;
        memcpy(locDst, locOut, 12);
        memcpy(locDst + 12, n, 12);
        memcpy(locDst + 24, locUV, 8);
    }
}

void QR_D3DNormalVShader::Draw(QR_Mesh* aMesh, float aLodDistance, float aTime)
{
    DrawLevel(aMesh, aLodDistance, aTime, true);
}

void QR_D3DNormalVShader::DrawLevel(QR_Mesh* aMesh, float aLodDistance, float aTime, bool aSkinningFlag)
{
    if (aMesh->myNumLods == 0)
        return;
    // A distance past the last level draws the last level.
    uint32_t locLevel = aMesh->myNumLods - 1;
    for (uint32_t i = 0; i < aMesh->myNumLods; i++)
        if (aMesh->myLods[i].myLodDistance >= aLodDistance)
        {
            locLevel = i;
            break;
        }
    const QR_MeshLod& locLod = aMesh->myLods[locLevel];
    uint32_t locFirstVertex, locNumVertices, locFirstIndex, locNumIndices;
    if (locLod.myIsAnimated == 1 && locLod.myNumFrames > 0)
    {
        const QR_MeshFrame& locFrame = locLod.myFrames[QR_FrameOfTime(aTime, locLod.myFramesPerSecond, locLod.myNumFrames)];
        locFirstVertex = locFrame.myFirstVertex;
        locNumVertices = locFrame.myNumVertices;
        locFirstIndex = locFrame.myStartIndex;
        locNumIndices = locFrame.myNumIndices;
    }
    else
    {
        locFirstVertex = locLod.myFirstVertex;
        locNumVertices = locLod.myNumVertices;
        locFirstIndex = locLod.myStartIndex;
        locNumIndices = locLod.myNumIndices;
    }
    uint32_t locPrimitives;
    if (aMesh->myMeshIndexType == QR_DRAWTYPES_TRIANGLELIST)
        locPrimitives = locNumIndices / 3;
    else if (aMesh->myMeshIndexType == QR_DRAWTYPES_TRIANGLESTRIP)
        locPrimitives = locNumIndices >= 2 ? locNumIndices - 2 : 0;
    else
        return;

    QR_Render* locRender = QR_Render::ourInstance;
    if (aMesh->myVertexBuffer)
    {
        QR_VertexBuffer* locList[1] = {aMesh->myVertexBuffer};
        locRender->DrawIndexed(locList, aMesh->myIndexBuffer, aMesh->myMeshIndexType, locFirstVertex, locNumVertices,
                               locFirstIndex, locPrimitives);
        return;
    }

    // Vertices and indices of the range go through the dynamic buffers.
    if (aMesh->myVertexSize != QR_GetVertexSize(aMesh->myVertexFormat) ||
        (uint64_t)locFirstVertex + locNumVertices > aMesh->myNumVertices ||
        (uint64_t)locFirstIndex + locNumIndices > aMesh->myNumIndices)
        return;
    bool locSkinFlag = aSkinningFlag && aMesh->mySetupData.mySkinning != 0;
    if (locSkinFlag)
    {
        QC_ASSERT(aMesh->myVertexFormat == (VU_VERTEXFLAG_XYZ | VU_VERTEXFLAG_WEIGHT3 | VU_VERTEXFLAG_NORMAL | VU_VERTEXFLAG_UV1 | VU_VERTEXFLAG_BONEINDICES) || aMesh->myVertexFormat == (VU_VERTEXFLAG_XYZ | VU_VERTEXFLAG_WEIGHT3 | VU_VERTEXFLAG_NORMAL | VU_VERTEXFLAG_UV2 | VU_VERTEXFLAG_BONEINDICES));
        if (!locBoneIndicesValid(aMesh, locFirstVertex, locNumVertices))
            return;
    }
    QR_VertexBuffer* locVB = locRender->myDynamicVertexBuffer;
    QR_IndexBuffer* locIB = locRender->myDynamicIndexBuffer;
    locVB->myVertexSize = locSkinFlag ? 32 : aMesh->myVertexSize;
    void* locVertices = nullptr;
    uint16_t* locIndices = nullptr;
    uint32_t locBase = 0;
    if (!locRender->AppendIndexedVertices(locVB, locIB, &locVertices, locNumVertices, &locIndices, locNumIndices,
                                          &locBase))
        return;
    if (locSkinFlag)
        locSkinVertices(aMesh, locFirstVertex, locNumVertices, (uint8_t*)locVertices);
    else
        memcpy(locVertices, aMesh->myVertexData + (size_t)locFirstVertex * aMesh->myVertexSize,
               (size_t)locNumVertices * aMesh->myVertexSize);
    const uint16_t* locSource = aMesh->myIndexData + locFirstIndex;
    uint16_t locDelta = (uint16_t)(locBase - locFirstVertex);
    if (locDelta == 0)
        memcpy(locIndices, locSource, sizeof(uint16_t) * locNumIndices);
    else
        for (uint32_t i = 0; i < locNumIndices; i++)
            locIndices[i] = (uint16_t)(locSource[i] + locDelta);
    QR_VertexBuffer* locList[1] = {locVB};
    locRender->DrawIndexedDynamic(locList, locIB, aMesh->myMeshIndexType, locNumVertices, locPrimitives);
}
