// The vertex-shader kinds' registry and the globals the views set before each draw.
#include "qrender/qr_vertexshader.h"

#include <ctype.h>
#include <new>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"

QR_VertexShader* QR_VertexShader::ourFirst = nullptr;
QR_VertexShader* QR_VertexShader::ourDefault = nullptr;
QR_VertexShader* QR_VertexShader::ourCurrent = nullptr;
uint32_t QR_VertexShader::ourNumStreams = 0;
uint32_t QR_VertexShader::ourNumBoneMatrices = 0;
const Matrix44* QR_VertexShader::ourWorldMatrix = nullptr;
const Matrix44* QR_VertexShader::ourObjectMatrix = nullptr;
QR_SurfaceShadingFunc QR_VertexShader::ourSurfaceShadingFunc = QR_Surface::GetShading;

static Matrix44 locIdentityPalette()
{
    return Matrix44::Identity();
}
Matrix44 QR_VertexShader::ourBoneMatrices[QR_MAXBONEMATRICES] = {
    locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(),
    locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(),
    locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(),
    locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(),
    locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(),
    locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(), locIdentityPalette(),
    locIdentityPalette(), locIdentityPalette()};

QR_VertexShader::QR_VertexShader(const char* aName, uint32_t aSortGroup)
{
    size_t locLength = strlen(aName);
    myName = new char[locLength + 1];
    memcpy(myName, aName, locLength + 1);
    myRefCount = 1;
    mySortGroup = aSortGroup;
    myPrev = nullptr;
    myNext = ourFirst;
    if (ourFirst)
        ourFirst->myPrev = this;
    ourFirst = this;
    if (strcmp(aName, "NORMAL_MESH") == 0)
        ourDefault = this;
}

QR_VertexShader::~QR_VertexShader()
{
    delete[] myName;
    if (myPrev)
        myPrev->myNext = myNext;
    else
        ourFirst = myNext;
    if (myNext)
        myNext->myPrev = myPrev;
    if (ourDefault == this)
        ourDefault = nullptr;
    if (ourCurrent == this)
        ourCurrent = nullptr;
    QR_Mesh::ForgetVertexShader(this);
}

QR_VertexShader* QR_VertexShader::Find(const char* aName)
{
    char locName[256];
    size_t i = 0;
    for (; aName[i] && i < sizeof(locName) - 1; i++)
        locName[i] = (char)toupper((unsigned char)aName[i]);
    locName[i] = 0;
    for (QR_VertexShader* locKind = ourFirst; locKind; locKind = locKind->myNext)
    {
        if (strcmp(locKind->myName, locName) == 0)
        {
            locKind->myRefCount++;
            return locKind;
        }
    }
    return nullptr;
}

void QR_VertexShader::Release()
{
    if (--myRefCount == 0)
        delete this;
}

bool QR_VertexShader::RestoreAll()
{
    for (QR_VertexShader* locKind = ourFirst; locKind; locKind = locKind->myNext)
        if (!locKind->RestoreDeviceObjects())
            return false;
    return true;
}

void QR_VertexShader::ReleaseAll()
{
    for (QR_VertexShader* locKind = ourFirst; locKind; locKind = locKind->myNext)
        locKind->ReleaseDeviceObjects();
}

bool QR_VertexShader::ReserveDynamicBuffers(QR_Mesh* aMesh)
{
    QR_Render* locRender = QR_Render::ourInstance;
    if (!locRender || !locRender->ReserveDynamicIndices(aMesh->myNumIndices))
        return false;
    uint32_t locVertices = aMesh->myNumVertices < 65536 ? aMesh->myNumVertices : 65536;
    return locRender->ReserveDynamicVertices(aMesh->myVertexSize * locVertices);
}

uint32_t QR_VertexShader::FreeCompiledId(const QC_GrowingArray<QR_CompiledVertexShader*>& aList)
{
    uint32_t j = 0;
    for (;;)
    {
        bool locUsedFlag = false;
        for (int i = 0; i < aList.Count(); i++)
            if (aList[i]->myId == j)
            {
                locUsedFlag = true;
                break;
            }
        if (!locUsedFlag)
            break;
        j++;
    }
    QC_ASSERT(j <= (unsigned int) aList.Count());
    return j;
}

QR_CompiledVertexShader* QR_VertexShader::AddCompiled(QC_GrowingArray<QR_CompiledVertexShader*>& aList,
                                                     void* aRecord)
{
    QR_CompiledVertexShader* locHandle = new (std::nothrow) QR_CompiledVertexShader();
    if (!locHandle)
        return nullptr;
    locHandle->myRefCount = 1;
    locHandle->myRecord = aRecord;
    locHandle->myId = FreeCompiledId(aList);
    if (!aList.Add(locHandle))
    {
        delete locHandle;
        return nullptr;
    }
    return locHandle;
}

bool QR_VertexShader::DropCompiled(QC_GrowingArray<QR_CompiledVertexShader*>& aList,
                                   QR_CompiledVertexShader* aCompiled)
{
    if (!aCompiled || --aCompiled->myRefCount > 0)
        return false;
    for (int i = 0; i < aList.Count(); i++)
        if (aList[i] == aCompiled)
        {
            aList.RemoveAt(i);
            break;
        }
    return true;
}

bool QR_VertexShader::RefillIndices(void* aMesh)
{
    QR_Mesh* locMesh = (QR_Mesh*)aMesh;
    uint16_t* locData = nullptr;
    if (!QR_Render::ourInstance->LockIndexBuffer(locMesh->myIndexBuffer, &locData, 0, -1))
        return false;
    memcpy(locData, locMesh->myIndexData, sizeof(uint16_t) * locMesh->myNumIndices);
    QR_Render::ourInstance->UnlockIndexBuffer(locMesh->myIndexBuffer);
    return true;
}

void QR_VertexShader::GetSurfaceShading(const QR_Mesh* aMesh, QR_SurfaceShading* aShadingOut)
{
    aShadingOut->myNumStages = aMesh->mySetupData.myNumUVs;
    aShadingOut->myLightingFlag = aMesh->mySetupData.myLighting != 0;
    aShadingOut->mySpecularFlag = aMesh->mySetupData.mySpecular != 0;
    aShadingOut->myVertexColorFlag = true;
    if (ourSurfaceShadingFunc && aMesh->mySurface)
        ourSurfaceShadingFunc(aMesh->mySurface, aShadingOut);
    if (aShadingOut->myNumStages > QR_MAXSETUPUVS)
        aShadingOut->myNumStages = QR_MAXSETUPUVS;
}
