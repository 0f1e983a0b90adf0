// The assembled "NORMAL_MESH" kind: program texts, the shared skinning programs, the
// constant registers, packed skinned vertices.
//
// The programs light like the fixed-function kind: a lit record adds the light set's ambient
// colour (c79) to the lights' diffuse sum and modulates by the vertex colour when it has one;
// a directional light shines along its direction made unit length;
// a point light's colour is scaled by range / distance and is dark beyond its range; the half
// vector is that of a viewer at infinity behind the camera. Unlit records keep the vertex
// colour or white.
//
// [SECTION] Creation and shared programs
// [SECTION] Program text
// [SECTION] Compiled set-ups
// [SECTION] Begin and constants
// [SECTION] Mesh preparation and drawing
#include "qrender/qr_d3dvs_vshader.h"

#include <math.h>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_d3dnormalvshader.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_splinepath.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_view.h"

QR_D3DVsVShader* QR_D3DVsVShader::ourInstance = nullptr;

static const uint32_t locUnknown = 0xFFFFFFFF;

// [SECTION] Creation and shared programs ----------------------------------------------------

static const char* const locTwoBoneText =
    "vs_1_1\r\n"
    "dcl_position v0\r\n"
    "dcl_blendweight v1\r\n"
    "dcl_blendindices v2\r\n"
    "dcl_normal v3\r\n"
    "dcl_texcoord0 v7\r\n"
    "dcl_texcoord1 v8\r\n"
    "mad r10, v3, c94.y, c94.x\r\n"
    "mul r11, v0, c95.x\r\n"
    "mov a0.x, v2.x\r\n"
    "m4x3 r0.xyz, r11, c[a0.x + 4]\r\n"
    "m3x3 r1.xyz, r10, c[a0.x + 4]\r\n"
    "mul r0.xyz, r0.xyz, v1.x\r\n"
    "mul r1.xyz, r1.xyz, v1.x\r\n"
    "mov a0.x, v2.y\r\n"
    "m4x3 r2.xyz, r11, c[a0.x + 4]\r\n"
    "m3x3 r3.xyz, r10, c[a0.x + 4]\r\n"
    "mad r0.xyz, r2.xyz, v1.y, r0.xyz\r\n"
    "mad r1.xyz, r3.xyz, v1.y, r1.xyz\r\n";

static const char* const locFourBoneText =
    "vs_1_1\r\n"
    "dcl_position v0\r\n"
    "dcl_blendweight v1\r\n"
    "dcl_blendindices v2\r\n"
    "dcl_normal v3\r\n"
    "dcl_texcoord0 v7\r\n"
    "dcl_texcoord1 v8\r\n"
    "mad r10, v3, c94.y, c94.x\r\n"
    "mov r11, v0\r\n"
    "mov a0.x, v2.x\r\n"
    "m4x3 r0.xyz, r11, c[a0.x + 4]\r\n"
    "m3x3 r1.xyz, r10, c[a0.x + 4]\r\n"
    "mul r0.xyz, r0.xyz, v1.x\r\n"
    "mul r1.xyz, r1.xyz, v1.x\r\n"
    "mov a0.x, v2.y\r\n"
    "m4x3 r2.xyz, r11, c[a0.x + 4]\r\n"
    "m3x3 r3.xyz, r10, c[a0.x + 4]\r\n"
    "mad r0.xyz, r2.xyz, v1.y, r0.xyz\r\n"
    "mad r1.xyz, r3.xyz, v1.y, r1.xyz\r\n"
    "mov a0.x, v2.z\r\n"
    "m4x3 r2.xyz, r11, c[a0.x + 4]\r\n"
    "m3x3 r3.xyz, r10, c[a0.x + 4]\r\n"
    "mad r0.xyz, r2.xyz, v1.z, r0.xyz\r\n"
    "mad r1.xyz, r3.xyz, v1.z, r1.xyz\r\n"
    "mov a0.x, v2.w\r\n"
    "m4x3 r2.xyz, r11, c[a0.x + 4]\r\n"
    "m3x3 r3.xyz, r10, c[a0.x + 4]\r\n"
    "mad r0.xyz, r2.xyz, v1.w, r0.xyz\r\n"
    "mad r1.xyz, r3.xyz, v1.w, r1.xyz\r\n";

// The three-light block on the normal in aNormal: diffuse sum in r0 (before the ambient),
// specular in oD1.
static std::string locLightBlock(const char* aNormal)
{
    std::string t;
    char locLine[96];
    for (int l = 0; l < 3; l++)
    {
        int b = QR_VSREG_LIGHTS + 4 * l;
        snprintf(locLine, sizeof(locLine), "dp3 r0.x, %s, c%d\r\ndp3 r0.y, %s, c%d\r\nmov r0.w, c%d.w\r\nlit r0, r0\r\n",
                 aNormal, b + 1, aNormal, b, b);
        t += locLine;
        if (l == 0)
            snprintf(locLine, sizeof(locLine), "mul r2, r0.z, c%d\r\nmul r1, r0.y, c%d\r\n", b + 3, b + 2);
        else if (l == 1)
            snprintf(locLine, sizeof(locLine), "mad r2, r0.z, c%d, r2\r\nmad r1, r0.y, c%d, r1\r\n", b + 3, b + 2);
        else
            snprintf(locLine, sizeof(locLine), "mad oD1, r0.z, c%d, r2\r\nmad r0, r0.y, c%d, r1\r\n", b + 3, b + 2);
        t += locLine;
    }
    return t;
}

// What follows the skinning: w, position, range fog from the world position, lights on the
// skinned normal, both coordinate sets.
static std::string locSkinnedTail()
{
    std::string t = "mov r0.w, c93.w\r\n"
                    "m4x4 r2, r0, c0\r\n"
                    "mov oPos, r2\r\n"
                    "sub r4.xyz, r0.xyz, c80.xyz\r\n"
                    "dp3 r4.x, r4.xyz, r4.xyz\r\n"
                    "rsq r4.x, r4.x\r\n"
                    "rcp r4.x, r4.x\r\n"
                    "mad oFog, r4.x, c94.z, c94.w\r\n";
    // The block sums into r1 and r2: the normal moves out of their way.
    t += "mov r5.xyz, r1.xyz\r\n";
    t += locLightBlock("r5");
    t += "add oD0, r0, c79\r\n"
         "mul oT0.xy, v7.xy, c95.y\r\n"
         "mul oT1.xy, v8.xy, c95.y\r\n";
    return t;
}

const char* QR_D3DVsVShader::TwoBoneProgram()
{
    static const std::string ourText = std::string(locTwoBoneText) + locSkinnedTail();
    return ourText.c_str();
}

const char* QR_D3DVsVShader::FourBoneProgram()
{
    static const std::string ourText = std::string(locFourBoneText) + locSkinnedTail();
    return ourText.c_str();
}

static GFX_VertexElement locElement(uint16_t anOffset, GFX_DeclType aType, GFX_DeclUsage aUsage, uint8_t anIndex = 0)
{
    GFX_VertexElement e;
    e.myStream = 0;
    e.myOffset = anOffset;
    e.myType = aType;
    e.myUsage = aUsage;
    e.myUsageIndex = anIndex;
    return e;
}

static const GFX_VertexElement locTwoBoneElements[] = {
    locElement(0, GFX_DECLTYPE_SHORT4, GFX_DECLUSAGE_POSITION),
    locElement(8, GFX_DECLTYPE_FLOAT2, GFX_DECLUSAGE_BLENDWEIGHT),
    locElement(16, GFX_DECLTYPE_SHORT2, GFX_DECLUSAGE_BLENDINDICES),
    locElement(20, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_NORMAL),
    locElement(24, GFX_DECLTYPE_SHORT2, GFX_DECLUSAGE_TEXCOORD, 0),
    locElement(28, GFX_DECLTYPE_SHORT2, GFX_DECLUSAGE_TEXCOORD, 1)};

static const GFX_VertexElement locFourBoneElements[] = {
    locElement(0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION),
    locElement(12, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_BLENDWEIGHT),
    locElement(28, GFX_DECLTYPE_SHORT4, GFX_DECLUSAGE_BLENDINDICES),
    locElement(36, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_NORMAL),
    locElement(40, GFX_DECLTYPE_SHORT2, GFX_DECLUSAGE_TEXCOORD, 0),
    locElement(44, GFX_DECLTYPE_SHORT2, GFX_DECLUSAGE_TEXCOORD, 1)};

bool QR_D3DAssembledVShader::BuildProgram(const char* aText, const GFX_VertexElement* anElements, uint32_t aCount,
                                          GFX_Shader** aShaderOut, GFX_VertexDecl** aDeclarationOut)
{
    *aShaderOut = nullptr;
    *aDeclarationOut = nullptr;
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    if (!locDevice)
        return false;
    GFX_Shader* locShader = aText ? locDevice->CreateShader(aText, (uint32_t)strlen(aText)) : nullptr;
    if (aText && !locShader)
    {
        QR_Error::Printf("vertex program: %s", GFX_GetLastErrorDetail());
        return false;
    }
    GFX_VertexDecl* locDeclaration = locDevice->CreateVertexDecl(anElements, aCount);
    if (!locDeclaration)
    {
        if (locShader)
            locDevice->ReleaseShader(locShader);
        return false;
    }
    *aShaderOut = locShader;
    *aDeclarationOut = locDeclaration;
    return true;
}

bool QR_D3DVsVShader::Create()
{
    if (ourInstance)
        return true;
    ourInstance = new (std::nothrow) QR_D3DVsVShader();
    if (ourInstance && !ourInstance->BuildSharedPrograms())
    {
        delete ourInstance;
        ourInstance = nullptr;
    }
    return ourInstance != nullptr;
}

void QR_D3DVsVShader::Destroy()
{
    delete ourInstance;
}

QR_D3DVsVShader::QR_D3DVsVShader()
    : QR_D3DAssembledVShader("NORMAL_MESH")
    , myTwoBoneDeclaration(nullptr)
    , myTwoBoneShader(nullptr)
    , myFourBoneDeclaration(nullptr)
    , myFourBoneShader(nullptr)
{
    myCompiledShaderList.Init(16, 16, false);
    ResetCaches();
}

QR_D3DVsVShader::~QR_D3DVsVShader()
{
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DVsCompiled* locRecord = (QR_D3DVsCompiled*)myCompiledShaderList[i]->myRecord;
        ReleaseRecord(locRecord);
        delete locRecord;
        delete myCompiledShaderList[i];
    }
    ReleaseSharedPrograms();
    if (ourInstance == this)
        ourInstance = nullptr;
}

void QR_D3DVsVShader::ResetCaches()
{
    myCurrentRecord = nullptr;
    myCurrentDeclaration = nullptr;
    myCurrentShader = nullptr;
    myCachedFogEnable = locUnknown;
    mySkipDrawFlag = false;
}

bool QR_D3DVsVShader::BuildSharedPrograms()
{
    return BuildProgram(TwoBoneProgram(), locTwoBoneElements, 6, &myTwoBoneShader, &myTwoBoneDeclaration) &&
           BuildProgram(FourBoneProgram(), locFourBoneElements, 6, &myFourBoneShader, &myFourBoneDeclaration);
}

void QR_D3DVsVShader::ReleaseSharedPrograms()
{
    GFX_Device* d = QR_RenderD3D::ourDevice;
    if (d)
    {
        if (myTwoBoneShader)
            d->ReleaseShader(myTwoBoneShader);
        if (myFourBoneShader)
            d->ReleaseShader(myFourBoneShader);
        if (myTwoBoneDeclaration)
            d->ReleaseVertexDecl(myTwoBoneDeclaration);
        if (myFourBoneDeclaration)
            d->ReleaseVertexDecl(myFourBoneDeclaration);
    }
    myTwoBoneShader = myFourBoneShader = nullptr;
    myTwoBoneDeclaration = myFourBoneDeclaration = nullptr;
}

// [SECTION] Program text --------------------------------------------------------------------

std::string QR_D3DVsVShader::WriteProgram(const QR_D3DVsCompiled& r)
{
    const uint32_t f = r.myVertexFormatList[0];
    const bool locXYZ = (f & QR_VERTEXFLAG_XYZ) != 0;
    const bool locNormal = (f & QR_VERTEXFLAG_NORMAL) != 0;
    const bool locDiffuse = (f & QR_VERTEXFLAG_DIFFUSE) != 0;
    const bool locLit = r.myLighting == 1 || r.myLighting == 2;
    std::string t = "vs_1_1\r\n";
    char locLine[96];
    if (locXYZ)
        t += "dcl_position v0\r\n";
    else
        t += "dcl_position v9\r\n";
    if (locNormal)
        t += "dcl_normal v3\r\n";
    if (locDiffuse)
        t += "dcl_color v10\r\n";
    // Sets beyond the fourth would take the registers of the colour and the pre-transformed
    // position; no stage reads them.
    uint32_t locSets = QR_GetVertexUVCount(f);
    for (uint32_t k = 0; k < locSets && k < 4; k++)
    {
        snprintf(locLine, sizeof(locLine), "dcl_texcoord%u v%u\r\n", k, k + 5);
        t += locLine;
    }
    if (locXYZ)
    {
        t += "m4x4 r0, v0, c0\r\nmov oPos, r0\r\n";
        if (r.myFogFlag)
            t += "m4x3 r1.xyz, v0, c76\r\n"
                 "sub r1.xyz, r1.xyz, c80.xyz\r\n"
                 "dp3 r1.x, r1.xyz, r1.xyz\r\n"
                 "rsq r1.x, r1.x\r\n"
                 "rcp r1.x, r1.x\r\n"
                 "mad oFog, r1.x, c94.z, c94.w\r\n";
    }
    else
    {
        t += "mov oPos, v9\r\n";
        if (r.myFogFlag)
            t += "mad oFog, v9.z, c94.z, c94.w\r\n";
    }
    for (uint32_t i = 0; i < r.myNumUVs && i < QR_MAXSETUPUVS; i++)
    {
        uint32_t s = r.myUVs[i] & UV_MASK;
        if (r.myUVs[i] & UV_THREECOMPONENTS)
        {
            snprintf(locLine, sizeof(locLine), "m4x4 r2, v0, c%u\r\n", QR_VSREG_TEXTURE + 4 * i);
            t += locLine;
            t += "mov r1, r2.xyww\r\nmul r1.w, r1.w, c94.y\r\nadd r1.xy, r1, r2.w\r\n";
            snprintf(locLine, sizeof(locLine), "mov oT%u, r1\r\n", i);
        }
        else if (r.myUVs[i] & UV_TEXTUREMATRIX)
            snprintf(locLine, sizeof(locLine), "m3x2 oT%u, v%u.xyw, c%u\r\n", i, s + 5, QR_VSREG_TEXTURE + 4 * i);
        else
            snprintf(locLine, sizeof(locLine), "mov oT%u.xy, v%u.xy\r\n", i, s + 5);
        t += locLine;
    }
    if (locNormal && locLit)
    {
        t += locLightBlock("v3");
        if (locDiffuse)
            t += "add r0, r0, c79\r\nmul r0, r0, v10\r\nmov r0.w, v10.w\r\nmov oD0, r0\r\n";
        else
            t += "add oD0, r0, c79\r\n";
    }
    else if (locLit)
    {
        // Without a normal only the ambient light reaches the vertex.
        if (locDiffuse)
            t += "mul r0, c79, v10\r\nmov r0.w, v10.w\r\nmov oD0, r0\r\n";
        else
            t += "mov oD0, c79\r\n";
        t += "mov oD1, c95.w\r\n";
    }
    else if (locDiffuse)
        t += "mov oD0, v10\r\nmov oD1, c93\r\n";
    else
        t += "mov oD0, c93\r\nmov oD1, c93\r\n";
    return t;
}

// [SECTION] Compiled set-ups ----------------------------------------------------------------

bool QR_D3DVsVShader::BuildRecord(QR_D3DVsCompiled* aRecord)
{
    if (aRecord->mySkinning == 1 || aRecord->mySkinning == 2)
    {
        aRecord->myVertexDeclaration = aRecord->mySkinning == 1 ? myTwoBoneDeclaration : myFourBoneDeclaration;
        aRecord->myVertexShader = aRecord->mySkinning == 1 ? myTwoBoneShader : myFourBoneShader;
        return aRecord->myVertexDeclaration && aRecord->myVertexShader;
    }
    if (aRecord->mySkinning != 0 || aRecord->myNumStreams != 1)
        return false;
    GFX_VertexElement locElements[QR_MAX_DECLARATION_ELEMENTS];
    uint32_t locCount = QR_BuildVertexElements(1, aRecord->myVertexFormatList, locElements);
    if (!locCount)
        return false;
    // Pre-transformed vertices pass the vertex stage, as the device does for them.
    bool locTransformed = (aRecord->myVertexFormatList[0] & QR_VERTEXFLAG_XYZ) != 0;
    std::string locText = locTransformed ? WriteProgram(*aRecord) : std::string();
    return BuildProgram(locTransformed ? locText.c_str() : nullptr, locElements, locCount, &aRecord->myVertexShader,
                        &aRecord->myVertexDeclaration);
}

void QR_D3DVsVShader::ReleaseRecord(QR_D3DVsCompiled* aRecord)
{
    GFX_Device* d = QR_RenderD3D::ourDevice;
    if (aRecord->mySkinning == 0 && d)
    {
        if (aRecord->myVertexShader)
            d->ReleaseShader(aRecord->myVertexShader);
        if (aRecord->myVertexDeclaration)
            d->ReleaseVertexDecl(aRecord->myVertexDeclaration);
    }
    if (myCurrentDeclaration == aRecord->myVertexDeclaration)
        myCurrentDeclaration = nullptr;
    if (myCurrentShader == aRecord->myVertexShader)
        myCurrentShader = nullptr;
    aRecord->myVertexShader = nullptr;
    aRecord->myVertexDeclaration = nullptr;
}

QR_CompiledVertexShader* QR_D3DVsVShader::Compile(const QR_VertexShaderSetupData& aSetup)
{
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_CompiledVertexShader* locHandle = myCompiledShaderList[i];
        if (QR_D3DNormalVShader::SameSetup(*(QR_D3DVsCompiled*)locHandle->myRecord, aSetup))
        {
            locHandle->myRefCount++;
            return locHandle;
        }
    }
    QR_D3DVsCompiled* locRecord = new (std::nothrow) QR_D3DVsCompiled();
    if (!locRecord)
        return nullptr;
    QR_D3DNormalVShader::CopySetup(*locRecord, aSetup);
    locRecord->myVertexDeclaration = nullptr;
    locRecord->myVertexShader = nullptr;
    QR_CompiledVertexShader* locHandle = BuildRecord(locRecord) ? AddCompiled(myCompiledShaderList, locRecord) : nullptr;
    if (!locHandle)
    {
        ReleaseRecord(locRecord);
        delete locRecord;
    }
    return locHandle;
}

void QR_D3DVsVShader::ReleaseCompiled(QR_CompiledVertexShader* aCompiled)
{
    if (!DropCompiled(myCompiledShaderList, aCompiled))
        return;
    QR_D3DVsCompiled* locRecord = (QR_D3DVsCompiled*)aCompiled->myRecord;
    if (myCurrentRecord == locRecord)
        myCurrentRecord = nullptr;
    ReleaseRecord(locRecord);
    delete locRecord;
    delete aCompiled;
}

void QR_D3DVsVShader::ReleaseDeviceObjects()
{
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
        ReleaseRecord((QR_D3DVsCompiled*)myCompiledShaderList[i]->myRecord);
    ReleaseSharedPrograms();
    ResetCaches();
}

bool QR_D3DVsVShader::RestoreDeviceObjects()
{
    ResetCaches();
    if (!myTwoBoneShader && !BuildSharedPrograms())
        return false;
    for (int i = 0; i < myCompiledShaderList.Count(); i++)
    {
        QR_D3DVsCompiled* locRecord = (QR_D3DVsCompiled*)myCompiledShaderList[i]->myRecord;
        if (locRecord->mySkinning == 0 && locRecord->myVertexDeclaration)
            continue;
        if (!BuildRecord(locRecord))
            return false;
    }
    return true;
}

// [SECTION] Begin and constants -------------------------------------------------------------

void QR_D3DVsVShader::Begin(QR_CompiledVertexShader* aCompiled)
{
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    if (!locDevice)
        return;
    if (ourCurrent != this)
    {
        ourCurrent = this;
        ResetCaches();
        // The programs write the fog factor and read the coordinate sets by stage.
        locDevice->SetRenderState(GFX_RS_FOGVERTEXMODE, GFX_FOG_NONE);
        for (uint32_t i = 0; i < 8; i++)
            locDevice->SetTextureStageState(i, GFX_TSS_TEXCOORDINDEX, i);
    }
    QR_D3DVsCompiled* locRecord = (QR_D3DVsCompiled*)aCompiled->myRecord;
    if (locRecord == myCurrentRecord)
        return;
    ourNumStreams = locRecord->myNumStreams;
    if (locRecord->myVertexDeclaration != myCurrentDeclaration)
    {
        myCurrentDeclaration = locRecord->myVertexDeclaration;
        locDevice->SetVertexDecl(locRecord->myVertexDeclaration);
    }
    if (locRecord->myVertexShader != myCurrentShader || !myCurrentRecord)
    {
        myCurrentShader = locRecord->myVertexShader;
        locDevice->SetVertexShader(locRecord->myVertexShader);
    }
    for (uint32_t i = 0; i < locRecord->myNumUVs; i++)
        locDevice->SetTextureStageState(i, GFX_TSS_TEXTURETRANSFORMFLAGS,
                                        (locRecord->myUVs[i] & UV_PROJECTED) ? GFX_TTF_PROJECTED : GFX_TTF_DISABLE);
    uint32_t locPrevious = myCurrentRecord ? myCurrentRecord->myNumUVs : 8;
    for (uint32_t i = locRecord->myNumUVs; i < locPrevious; i++)
        locDevice->SetTextureStageState(i, GFX_TSS_TEXTURETRANSFORMFLAGS, GFX_TTF_DISABLE);
    if (myCachedFogEnable != locRecord->myFogFlag)
    {
        myCachedFogEnable = locRecord->myFogFlag;
        locDevice->SetRenderState(GFX_RS_FOGENABLE, locRecord->myFogFlag);
    }
    myCurrentRecord = locRecord;
}

static void locStore(float* r, float x, float y, float z, float w)
{
    r[0] = x;
    r[1] = y;
    r[2] = z;
    r[3] = w;
}

// The texture matrix of a stage as the fixed-function kind would set it.
static Matrix44 locTextureMatrix(const QR_VertexShaderDataBlock* b, uint32_t i)
{
    if (b->myTextureMatrix[i])
        return *b->myTextureMatrix[i];
    Matrix44 locMatrix = Matrix44::Identity();
    const QR_SplinePath* p = b->myTextureMatrixSpline[i];
    if (!p || p->myNumChannels > QR_SplinePath::MAX_CHANNELS)
        return locMatrix;
    float v[QR_SplinePath::MAX_CHANNELS] = {};
    p->GetValue(b->myTime, v);
    Matrix44 locScale = Matrix44::Identity();
    if (p->myNumChannels > 6)
    {
        locScale[0] *= v[6];
        locScale[5] *= v[8];
    }
    Matrix44 locRotation = Matrix44::Identity();
    if (v[3] != 0.0f)
    {
        float s = sinf(v[3]), c = cosf(v[3]);
        locRotation[0] = c;
        locRotation[1] = s;
        locRotation[4] = -s;
        locRotation[5] = c;
    }
    locMatrix = locScale * locRotation;
    locMatrix[8] += v[0];
    locMatrix[9] += v[2];
    return locMatrix;
}

bool QR_D3DAssembledVShader::SetConstants(const QR_D3DVsCompiled* aRecord, const QR_VertexShaderDataBlock* aDataBlock,
                                          uint32_t aFirstBlockRegister, bool aSkinnedFrameFlag)
{
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    const QR_View* locView = QR_View::ourCurrentView;
    bool locMatrixStages = false;
    for (uint32_t i = 0; i < aRecord->myNumUVs; i++)
        locMatrixStages |= (aRecord->myUVs[i] & UV_TEXTUREMATRIX) != 0;
    // Bones end below the texture matrices or the world matrix.
    uint32_t locBones = aRecord->mySkinning ? ourNumBoneMatrices : 0;
    uint32_t locBoneLimit = ((locMatrixStages ? QR_VSREG_TEXTURE : QR_VSREG_WORLD) - QR_VSREG_BONES) / 3;
    if (locBones > locBoneLimit || locBones > QR_MAXBONEMATRICES)
        return false;

    float c[QR_VSREG_COUNT][4];
    const Matrix44 locWorld = ourWorldMatrix ? *ourWorldMatrix : Matrix44::Identity();
    const Matrix44 locViewProjection = locView ? locView->myViewProjectionMatrix : Matrix44::Identity();
    Matrix44 locTransform = (locWorld * locViewProjection).Transpose();
    memcpy(c[0], locTransform.myMatrix, 64);
    for (uint32_t k = 0; k < locBones; k++)
    {
        Matrix44 t = ourBoneMatrices[k].Transpose();
        memcpy(c[QR_VSREG_BONES + 3 * k], t.myMatrix, 48);
    }
    locDevice->SetVertexShaderConstantF(0, c[0], 4 + 3 * locBones);

    Matrix44 locViewMatrix = locView ? locView->myViewMatrix : Matrix44::Identity();
    if (aFirstBlockRegister <= QR_VSREG_WORLD)
    {
        for (uint32_t i = 0; i < aRecord->myNumUVs && aDataBlock; i++)
        {
            uint32_t locUV = aRecord->myUVs[i];
            if (!(locUV & UV_TEXTUREMATRIX))
                continue;
            Matrix44 m;
            if (locUV & UV_THREECOMPONENTS)
            {
                // Camera-space position with its depth in w: the program then divides as the
                // fixed-function projective mapping does.
                Matrix44 p = Matrix44::Identity();
                p[11] = 1.0f;
                p[15] = 0.0f;
                m = locWorld * locViewMatrix * p;
            }
            else
                m = locTextureMatrix(aDataBlock, i);
            Matrix44 t = m.Transpose();
            locDevice->SetVertexShaderConstantF(QR_VSREG_TEXTURE + 4 * i, t.myMatrix, 4);
        }
        Matrix44 t = locWorld.Transpose();
        memcpy(c[QR_VSREG_WORLD], t.myMatrix, 48);
        Matrix44 locPlacement;
        Matrix44::InvertRigid(locViewMatrix, locPlacement);
        locStore(c[QR_VSREG_EYE], locPlacement[12], locPlacement[13], locPlacement[14], 1.0f);
    }

    // Lights: world frame for skinned programs, the object's own frame otherwise.
    const QR_LightSet* locSet = aDataBlock ? aDataBlock->myLightData : nullptr;
    const bool locLit = aRecord->myLighting == 1 || aRecord->myLighting == 2;
    for (uint32_t r = QR_VSREG_LIGHTS; r < QR_VSREG_ONE; r++)
        locStore(c[r], 0, 0, 0, 0);
    if (locLit)
        locStore(c[QR_VSREG_AMBIENT], 0, 0, 0, 1);
    else
        locStore(c[QR_VSREG_AMBIENT], 1, 1, 1, 1);
    if (locLit && locSet)
    {
        uint32_t a = locSet->myAmbientColor;
        locStore(c[QR_VSREG_AMBIENT], ((a >> 16) & 0xFF) / 255.0f, ((a >> 8) & 0xFF) / 255.0f, (a & 0xFF) / 255.0f, 1);
        const Matrix44 locObject = ourObjectMatrix ? *ourObjectMatrix : locWorld;
        const float* o = locObject.myMatrix;
        // The viewer at infinity behind the camera.
        float locToViewer[3] = {-locViewMatrix[2], -locViewMatrix[6], -locViewMatrix[10]};
        uint32_t locCount = locSet->myNumLights < QR_MAXACTIVELIGHTS ? locSet->myNumLights : QR_MAXACTIVELIGHTS;
        for (uint32_t k = 0; k < locCount; k++)
        {
            const QR_LightSetLight* l = locSet->myLights[k];
            if (!l)
                continue;
            float L[3], locIntensity;
            if (l->myType == 0)
            {
                // Unit length, as the device makes a directional light's direction: the
                // diffuse sum would otherwise scale with the stored vector's length.
                float d = sqrtf(l->myDirection[0] * l->myDirection[0] + l->myDirection[1] * l->myDirection[1] +
                                l->myDirection[2] * l->myDirection[2]);
                for (int j = 0; j < 3; j++)
                    L[j] = d > 0.0f ? -l->myDirection[j] / d : 0.0f;
                locIntensity = 1.0f;
            }
            else if (l->myType == 1)
            {
                for (int j = 0; j < 3; j++)
                    L[j] = l->myPosition[j] - o[12 + j];
                float d = sqrtf(L[0] * L[0] + L[1] * L[1] + L[2] * L[2]);
                locIntensity = d > l->myRange ? 0.0f : 1.0f / fmaxf(d / l->myRange, 1e-6f);
                for (float& x : L)
                    x = d > 0.0f ? x / d : 0.0f;
            }
            else
                continue;
            float H[3] = {L[0] + locToViewer[0], L[1] + locToViewer[1], L[2] + locToViewer[2]};
            float h = sqrtf(H[0] * H[0] + H[1] * H[1] + H[2] * H[2]);
            for (float& x : H)
                x = h > 0.0f ? x / h : 0.0f;
            if (!aSkinnedFrameFlag)
            {
                float LO[3], HO[3];
                for (int j = 0; j < 3; j++)
                {
                    LO[j] = L[0] * o[4 * j] + L[1] * o[4 * j + 1] + L[2] * o[4 * j + 2];
                    HO[j] = H[0] * o[4 * j] + H[1] * o[4 * j + 1] + H[2] * o[4 * j + 2];
                }
                memcpy(L, LO, 12);
                memcpy(H, HO, 12);
            }
            const float* lc = locSet->myLightColors[k];
            float s[3] = {0, 0, 0};
            if (aRecord->mySpecular == 2 && aDataBlock)
            {
                uint32_t cc = aDataBlock->myColor;
                s[0] = ((cc >> 16) & 0xFF) / 255.0f, s[1] = ((cc >> 8) & 0xFF) / 255.0f, s[2] = (cc & 0xFF) / 255.0f;
            }
            else if (aRecord->mySpecular == 1)
                s[0] = 2 * lc[0], s[1] = 2 * lc[1], s[2] = 2 * lc[2];
            float* b = c[QR_VSREG_LIGHTS + 4 * k];
            float locPower = (aRecord->mySpecular == 1 || aRecord->mySpecular == 2) && aDataBlock
                                 ? aDataBlock->mySpecularPower
                                 : 0.0f;
            locStore(b, H[0], H[1], H[2], locPower);
            locStore(b + 4, L[0], L[1], L[2], 0);
            locStore(b + 8, lc[0] * locIntensity, lc[1] * locIntensity, lc[2] * locIntensity, 0);
            locStore(b + 12, s[0] * locIntensity, s[1] * locIntensity, s[2] * locIntensity, 0);
        }
    }
    locStore(c[QR_VSREG_ONE], 1, 1, 1, 1);
    float locStart = locView ? locView->GetFogStart() : 0.0f;
    float locEnd = locView ? locView->GetFogEnd() : 0.0f;
    if (aRecord->myFogFlag && locStart < locEnd)
        locStore(c[QR_VSREG_FOG], -1.0f, 2.0f, -1.0f / (locEnd - locStart), locEnd / (locEnd - locStart));
    else
        locStore(c[QR_VSREG_FOG], -1.0f, 2.0f, 0.0f, 1.0f);
    locStore(c[QR_VSREG_SCALES], 0.001f, 1.0f / 1024.0f, 0.5f, 0.0f);
    locDevice->SetVertexShaderConstantF(aFirstBlockRegister, c[aFirstBlockRegister],
                                        QR_VSREG_COUNT - aFirstBlockRegister);
    return true;
}

void QR_D3DVsVShader::SetDataBlock(QR_VertexShaderDataBlock* aDataBlock)
{
    if (!QR_RenderD3D::ourDevice || !myCurrentRecord)
        return;
    mySkipDrawFlag = !SetConstants(myCurrentRecord, aDataBlock, QR_VSREG_WORLD, myCurrentRecord->mySkinning != 0);
    if (mySkipDrawFlag)
        QR_View::ourSkippedDraws++;
    if (aDataBlock && aDataBlock->myLightData)
        aDataBlock->myLightData->myFlags &= ~2u;
}

// [SECTION] Mesh preparation and drawing ----------------------------------------------------

bool QR_D3DAssembledVShader::CheckStages(const QR_Mesh* aMesh, bool aMatrixAllowedFlag)
{
    const QR_VertexShaderSetupData& s = aMesh->mySetupData;
    for (uint32_t i = 0; i < s.myNumUVs && i < QR_MAXSETUPUVS; i++)
    {
        uint32_t locUV = s.myUVs[i], locSource = locUV & UV_MASK;
        bool locOk = (locUV & UV_THREECOMPONENTS)
                         ? locSource == UV_CAMERASPACE_POSITION && (locUV & UV_TEXTUREMATRIX) && aMatrixAllowedFlag
                         : locSource < UV_CAMERASPACE_POSITION && (aMatrixAllowedFlag || !(locUV & UV_TEXTUREMATRIX));
        if (!locOk)
        {
            QR_Error::SetCode(QR_ERROR_MODEL_DATA);
            QR_Error::Printf("%s: stage %u asks for coordinates the programs cannot make (0x%X)",
                             aMesh->myName ? aMesh->myName : "mesh", i, locUV);
            return false;
        }
    }
    return true;
}

static int16_t locShort(float aValue)
{
    return (int16_t)lrintf(aValue);
}

static bool locFitsShort(float aValue)
{
    return fabsf(aValue) <= 32767.0f;
}

bool QR_D3DVsVShader::PackSkinned(const QR_Mesh* aMesh, uint8_t* aDest)
{
    const uint32_t f = aMesh->myVertexFormat;
    const bool locTwo = aMesh->mySetupData.mySkinning == 1;
    const uint32_t locSize = locTwo ? 32 : 48;
    int32_t locWeights = QR_GetVertexWeightCount(f) ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_WEIGHT1, f) : -1;
    uint32_t locNumWeights = QR_GetVertexWeightCount(f);
    int32_t locBones = (locNumWeights || (f & QR_VERTEXFLAG_BONEINDICES))
                           ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_BONEINDICES, f | QR_VERTEXFLAG_BONEINDICES)
                           : -1;
    int32_t locNormal = QR_GetVertexComponentOffset(QR_VERTEXFLAG_NORMAL, f);
    uint32_t locSets = QR_GetVertexUVCount(f);
    int32_t locUV = locSets ? QR_GetVertexComponentOffset(QR_VERTEXFLAG_UV1, f) : -1;
    for (uint32_t v = 0; v < aMesh->myNumVertices; v++)
    {
        const uint8_t* s = aMesh->myVertexData + (size_t)v * aMesh->myVertexSize;
        uint8_t* d = aDest + (size_t)v * locSize;
        memset(d, 0, locSize);
        float p[3], w[3] = {1, 0, 0}, n[3] = {0, 0, 1}, uv[4] = {0, 0, 0, 0};
        uint8_t b[4] = {0, 0, 0, 0};
        memcpy(p, s, 12);
        if (locWeights >= 0)
            memcpy(w, s + locWeights, 4 * locNumWeights);
        if (locBones >= 0)
            memcpy(b, s + locBones, 4);
        if (locNormal >= 0)
            memcpy(n, s + locNormal, 12);
        if (locUV >= 0)
            memcpy(uv, s + locUV, locSets > 1 ? 16 : 8);
        if (locSets < 2)
            uv[2] = uv[0], uv[3] = uv[1];
        for (int k = 0; k < 4; k++)
            if (b[k] >= QR_MAXBONEMATRICES || !locFitsShort(uv[k] * 1024.0f))
                return false;
        uint32_t locColor = 0;
        for (int k = 0; k < 3; k++)
        {
            float x = (fminf(fmaxf(n[k], -1.0f), 1.0f) + 1.0f) * 127.5f;
            locColor |= (uint32_t)lrintf(x) << (16 - 8 * k);
        }
        int16_t t[4] = {locShort(uv[0] * 1024.0f), locShort(uv[1] * 1024.0f), locShort(uv[2] * 1024.0f),
                        locShort(uv[3] * 1024.0f)};
        if (locTwo)
        {
            for (int k = 0; k < 3; k++)
                if (!locFitsShort(p[k] * 1000.0f))
                    return false;
            int16_t q[4] = {locShort(p[0] * 1000.0f), locShort(p[1] * 1000.0f), locShort(p[2] * 1000.0f), 1000};
            int16_t i2[2] = {(int16_t)(3 * b[0]), (int16_t)(3 * b[1])};
            float w2[2] = {w[0], locNumWeights > 1 ? w[1] : 1.0f - w[0]};
            memcpy(d, q, 8);
            memcpy(d + 8, w2, 8);
            memcpy(d + 16, i2, 4);
            memcpy(d + 20, &locColor, 4);
            memcpy(d + 24, t, 8);
        }
        else
        {
            float w4[4] = {w[0], w[1], w[2], 1.0f - w[0] - w[1] - w[2]};
            if (locNumWeights < 3)
            {
                // Fewer stored weights: the last one is what the others leave.
                float locSum = 0.0f;
                for (uint32_t k = 0; k < 4; k++)
                {
                    if (k < locNumWeights)
                        locSum += w4[k];
                    else
                        w4[k] = k == locNumWeights ? 1.0f - locSum : 0.0f;
                }
            }
            int16_t i4[4] = {(int16_t)(3 * b[0]), (int16_t)(3 * b[1]), (int16_t)(3 * b[2]), (int16_t)(3 * b[3])};
            memcpy(d, p, 12);
            memcpy(d + 12, w4, 16);
            memcpy(d + 28, i4, 8);
            memcpy(d + 36, &locColor, 4);
            memcpy(d + 40, t, 8);
        }
    }
    return true;
}

static bool locRefillVertices(void* anArgument)
{
    QR_Mesh* m = (QR_Mesh*)anArgument;
    void* locData = nullptr;
    if (!QR_Render::ourInstance->LockVertexBuffer(m->myVertexBuffer, &locData, 0, -1))
        return false;
    bool locOk = true;
    if (m->mySetupData.mySkinning)
        locOk = QR_D3DVsVShader::PackSkinned(m, (uint8_t*)locData);
    else
        memcpy(locData, m->myVertexData, (size_t)m->myNumVertices * m->myVertexSize);
    QR_Render::ourInstance->UnlockVertexBuffer(m->myVertexBuffer);
    return locOk;
}

bool QR_D3DVsVShader::PrepareMesh(QR_Mesh* aMesh)
{
    if (aMesh->myVertexSize != QR_GetVertexSize(aMesh->myVertexFormat))
    {
        QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
        QR_Error::Printf("mesh vertex size %u differs from its format 0x%X (%u bytes)", aMesh->myVertexSize,
                         aMesh->myVertexFormat, QR_GetVertexSize(aMesh->myVertexFormat));
        return false;
    }
    uint32_t locSkinning = aMesh->mySetupData.mySkinning;
    if (locSkinning > 2 || !CheckStages(aMesh, locSkinning == 0))
    {
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
        return false;
    }
    if (locSkinning && (!(aMesh->myVertexFormat & QR_VERTEXFLAG_XYZ) || !aMesh->myVertexData))
    {
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
        return false;
    }
    if (aMesh->myIndexBuffer || aMesh->myVertexBuffer)
        return false;
    QR_Render* r = QR_Render::ourInstance;
    uint32_t locVertexSize = locSkinning == 0 ? aMesh->myVertexSize : (locSkinning == 1 ? 32 : 48);
    aMesh->myVertexBufferVertexFormat = aMesh->myVertexFormat;
    aMesh->myIndexBuffer = r->CreateIndexBuffer(aMesh->myNumIndices, true, RefillIndices, aMesh);
    aMesh->myVertexBuffer = r->CreateVertexBuffer(locVertexSize, aMesh->myNumVertices, true, locRefillVertices, aMesh);
    if (aMesh->myIndexBuffer && aMesh->myVertexBuffer && RefillIndices(aMesh) && locRefillVertices(aMesh))
        return true;
    if (locSkinning && aMesh->myVertexBuffer)
    {
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
        QR_Error::Printf("%s: a skinned vertex does not fit the packed fields", aMesh->myName ? aMesh->myName : "mesh");
    }
    r->ReleaseIndexBuffer(aMesh->myIndexBuffer);
    r->ReleaseVertexBuffer(aMesh->myVertexBuffer);
    aMesh->myIndexBuffer = nullptr;
    aMesh->myVertexBuffer = nullptr;
    return false;
}

void QR_D3DVsVShader::Draw(QR_Mesh* aMesh, float aLodDistance, float aTime)
{
    if (mySkipDrawFlag)
        return;
    QR_D3DNormalVShader::DrawLevel(aMesh, aLodDistance, aTime, false);
}
