// Vertex and index buffers of the renderer's back end: the two registries, the shared
// dynamic buffers and their append rules, stream binding, the draw calls and their
// statistics, buffer re-creation after a device reset, and the vertex-cache optimisers.
//
// [SECTION] Device buffers
// [SECTION] Create, release, lock
// [SECTION] Appends
// [SECTION] Draws
// [SECTION] Reserve and pools
// [SECTION] Optimisers
#include <new>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_error.h"
#include "qrender/qr_renderd3d_local.h"
#include "qrender/qr_vertexshader.h"

QR_StreamCache ourD3DStreamCache = {};

void QR_InvalidateStreamCache()
{
    memset(&ourD3DStreamCache, 0, sizeof(ourD3DStreamCache));
}

// Without a device (a re-creation failed) no buffer has device data: locks and appends
// fail, unlocks and draws do nothing.
static bool locNoDevice()
{
    QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
    return false;
}

// Buffers whose device data could not be made (a failed reserve or restore) are not drawn.
static bool locHaveDeviceData(QR_VertexBuffer** aVertexBufferList, uint32_t aNumStreams)
{
    for (uint32_t i = 0; i < aNumStreams && i < 8; i++)
        if (!aVertexBufferList[i] || !aVertexBufferList[i]->myDeviceBuffer)
            return false;
    return true;
}

// Unlocks a device buffer that a lock or an append left locked.
static void locUnlock(GFX_Buffer* aBuffer, uint8_t* aLockedFlag)
{
    if (!*aLockedFlag)
        return;
    QR_RenderD3D::ourDevice->UnlockBuffer(aBuffer);
    *aLockedFlag = 0;
}

// [SECTION] Device buffers ------------------------------------------------------------------

static GFX_Buffer* locCreateGfxBuffer(GFX_ResourceType aType, uint32_t aSize, bool aStaticFlag)
{
    GFX_BufferDesc locDesc;
    locDesc.myType = aType;
    locDesc.mySize = aSize;
    locDesc.myUsage = GFX_USAGE_WRITEONLY;
    if (!aStaticFlag)
        locDesc.myUsage |= GFX_USAGE_DYNAMIC;
    if (!QR_RenderD3D::ourHardwareTransformFlag)
        locDesc.myUsage |= GFX_USAGE_SOFTWAREPROCESSING;
    locDesc.myPool = aStaticFlag ? GFX_POOL_MANAGED : GFX_POOL_DEFAULT;
    locDesc.myFormat = GFX_FORMAT_INDEX16;
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    if (!locDevice)
        return nullptr;
    GFX_Buffer* locBuffer = locDevice->CreateBuffer(locDesc);
    if (!locBuffer)
    {
        GFX_ErrorCode locError = GFX_GetLastError();
        if (locError == GFX_ERROR_OUT_OF_VIDEO_MEMORY || locError == GFX_ERROR_OUT_OF_MEMORY)
        {
            locDevice->EvictManagedResources();
            locBuffer = locDevice->CreateBuffer(locDesc);
        }
    }
    return locBuffer;
}

bool QR_RenderD3D::CreateDeviceBuffer(QR_VertexBuffer* aBuffer)
{
    QR_D3DVertexBuffer* locRecord = new (std::nothrow) QR_D3DVertexBuffer();
    if (!locRecord)
        return false;
    locRecord->myOwner = aBuffer;
    locRecord->myMemIndex = QR_BUFFER_UNUSED;
    locRecord->myPendingSize = 0;
    locRecord->myVBLockedFlag = 0;
    locRecord->mySharedDynamicFlag = aBuffer == myDynamicVertexBuffer;
    locRecord->myBuffer = locCreateGfxBuffer(GFX_RESOURCE_VERTEXBUFFER, aBuffer->mySize, aBuffer->myIsStaticBufferFlag);
    if (!locRecord->myBuffer)
    {
        delete locRecord;
        QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
        return false;
    }
    aBuffer->myDeviceBuffer = locRecord;
    ourStats.myVertexBufferMemory += aBuffer->mySize;
    return true;
}

bool QR_RenderD3D::CreateDeviceBuffer(QR_IndexBuffer* aBuffer)
{
    QR_D3DIndexBuffer* locRecord = new (std::nothrow) QR_D3DIndexBuffer();
    if (!locRecord)
        return false;
    locRecord->myOwner = aBuffer;
    locRecord->myIBIndex = QR_BUFFER_UNUSED;
    locRecord->myPendingCount = 0;
    locRecord->myIBLockedFlag = 0;
    locRecord->myBuffer = locCreateGfxBuffer(GFX_RESOURCE_INDEXBUFFER, 2 * aBuffer->myLength, aBuffer->myIsStaticBufferFlag);
    if (!locRecord->myBuffer)
    {
        delete locRecord;
        QR_Error::SetCode(QR_ERROR_INDEX_BUFFER);
        return false;
    }
    aBuffer->myDeviceBuffer = locRecord;
    ourStats.myIndexBufferMemory += 2 * aBuffer->myLength;
    return true;
}

void QR_RenderD3D::ReleaseDeviceBuffer(QR_VertexBuffer* aBuffer)
{
    QR_D3DVertexBuffer* locRecord = aBuffer->myDeviceBuffer;
    if (!locRecord)
        return;
    if (ourDevice)
    {
        if (locRecord->myVBLockedFlag)
            ourDevice->UnlockBuffer(locRecord->myBuffer);
        for (uint32_t i = 0; i < 8; i++)
            if (ourD3DStreamCache.myBuffers[i] == locRecord->myBuffer)
            {
                ourDevice->SetStreamSource(i, nullptr, 0, 0);
                ourD3DStreamCache.myBuffers[i] = nullptr;
            }
        ourDevice->ReleaseBuffer(locRecord->myBuffer);
    }
    ourStats.myVertexBufferMemory -= aBuffer->mySize;
    delete locRecord;
    aBuffer->myDeviceBuffer = nullptr;
}

void QR_RenderD3D::ReleaseDeviceBuffer(QR_IndexBuffer* aBuffer)
{
    QR_D3DIndexBuffer* locRecord = aBuffer->myDeviceBuffer;
    if (!locRecord)
        return;
    if (ourDevice)
    {
        if (locRecord->myIBLockedFlag)
            ourDevice->UnlockBuffer(locRecord->myBuffer);
        if (ourD3DStreamCache.myIndexBuffer == locRecord->myBuffer)
        {
            ourDevice->SetIndices(nullptr);
            ourD3DStreamCache.myIndexBuffer = nullptr;
        }
        ourDevice->ReleaseBuffer(locRecord->myBuffer);
    }
    ourStats.myIndexBufferMemory -= 2 * aBuffer->myLength;
    delete locRecord;
    aBuffer->myDeviceBuffer = nullptr;
}

// [SECTION] Create, release, lock -----------------------------------------------------------

// A new registry record without device data; null when memory runs out.
template <class Buffer>
static Buffer* locNewBuffer(bool aStaticFlag, QR_BufferRefillFunc aRefillFunc, void* aRefillArgument)
{
    Buffer* locBuffer = new (std::nothrow) Buffer();
    if (!locBuffer)
        return nullptr;
    locBuffer->myNext = nullptr;
    locBuffer->myDeviceBuffer = nullptr;
    locBuffer->myRefillFunc = aRefillFunc;
    locBuffer->myRefillArgument = aRefillArgument;
    locBuffer->myIsStaticBufferFlag = aStaticFlag;
    return locBuffer;
}

// Puts aBuffer at the head of its registry when its device buffer was made; frees it otherwise.
template <class Buffer> static Buffer* locRegister(Buffer** aList, Buffer* aBuffer, bool aCreatedFlag)
{
    if (!aCreatedFlag)
    {
        delete aBuffer;
        return nullptr;
    }
    aBuffer->myNext = *aList;
    *aList = aBuffer;
    return aBuffer;
}

template <class Buffer> static void locUnregister(Buffer** aList, Buffer* aBuffer)
{
    for (Buffer** locLink = aList; *locLink; locLink = &(*locLink)->myNext)
        if (*locLink == aBuffer)
        {
            *locLink = aBuffer->myNext;
            return;
        }
}

QR_VertexBuffer* QR_RenderD3D::CreateVertexBuffer(uint32_t aVertexSize, uint32_t aNumVertices, bool aStaticFlag,
                                                  QR_BufferRefillFunc aRefillFunc, void* aRefillArgument)
{
    QR_VertexBuffer* locBuffer = locNewBuffer<QR_VertexBuffer>(aStaticFlag, aRefillFunc, aRefillArgument);
    if (!locBuffer)
        return nullptr;
    locBuffer->myNumVertices = aNumVertices;
    locBuffer->mySize = aNumVertices * aVertexSize;
    locBuffer->myVertexSize = aVertexSize;
    return locRegister(&myVertexBufferList, locBuffer, CreateDeviceBuffer(locBuffer));
}

QR_IndexBuffer* QR_RenderD3D::CreateIndexBuffer(uint32_t aNumIndices, bool aStaticFlag,
                                                QR_BufferRefillFunc aRefillFunc, void* aRefillArgument)
{
    QR_IndexBuffer* locBuffer = locNewBuffer<QR_IndexBuffer>(aStaticFlag, aRefillFunc, aRefillArgument);
    if (!locBuffer)
        return nullptr;
    locBuffer->myLength = aNumIndices;
    return locRegister(&myIndexBufferList, locBuffer, CreateDeviceBuffer(locBuffer));
}

void QR_RenderD3D::ReleaseVertexBuffer(QR_VertexBuffer* aVertexBuffer)
{
    if (!aVertexBuffer)
        return;
    locUnregister(&myVertexBufferList, aVertexBuffer);
    ReleaseDeviceBuffer(aVertexBuffer);
    delete aVertexBuffer;
}

void QR_RenderD3D::ReleaseIndexBuffer(QR_IndexBuffer* anIndexBuffer)
{
    if (!anIndexBuffer)
        return;
    locUnregister(&myIndexBufferList, anIndexBuffer);
    ReleaseDeviceBuffer(anIndexBuffer);
    delete anIndexBuffer;
}

bool QR_RenderD3D::LockVertexBuffer(QR_VertexBuffer* aVertexBuffer, void** anOut, int32_t aStartVertex,
                                    int32_t aNumVertices)
{
    QR_D3DVertexBuffer* curVB = aVertexBuffer->myDeviceBuffer;
    if (aNumVertices == -1)
        aNumVertices = (int32_t)aVertexBuffer->myNumVertices - aStartVertex;
    QC_ASSERT(aStartVertex + aNumVertices <= (int) aVertexBuffer->myNumVertices);
    if (!ourDevice)
        return locNoDevice();
    QC_ASSERT(!curVB->myVBLockedFlag);
    uint32_t locFlags = aVertexBuffer->myIsStaticBufferFlag ? 0u : (uint32_t)GFX_LOCK_DISCARD;
    uint32_t locSize = (uint32_t)aNumVertices * aVertexBuffer->myVertexSize;
    if (locSize == 0 || !ourDevice->LockBuffer(curVB->myBuffer, (uint32_t)aStartVertex * aVertexBuffer->myVertexSize,
                                               locSize, locFlags, anOut))
    {
        QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
        return false;
    }
    curVB->myVBLockedFlag = 1;
    return true;
}

void QR_RenderD3D::UnlockVertexBuffer(QR_VertexBuffer* aVertexBuffer)
{
    QR_D3DVertexBuffer* curVB = aVertexBuffer->myDeviceBuffer;
    if (!ourDevice)
        return;
    QC_ASSERT(curVB->myVBLockedFlag);
    ourDevice->UnlockBuffer(curVB->myBuffer);
    curVB->myVBLockedFlag = 0;
}

bool QR_RenderD3D::LockIndexBuffer(QR_IndexBuffer* anIndexBuffer, uint16_t** anOut, int32_t aStartIndex,
                                   int32_t aNumIndices)
{
    QR_D3DIndexBuffer* curIB = anIndexBuffer->myDeviceBuffer;
    if (aNumIndices == -1)
        aNumIndices = (int32_t)anIndexBuffer->myLength - aStartIndex;
    QC_ASSERT(aStartIndex + aNumIndices <= (int) anIndexBuffer->myLength);
    if (!ourDevice)
        return locNoDevice();
    QC_ASSERT(!curIB->myIBLockedFlag);
    uint32_t locFlags = anIndexBuffer->myIsStaticBufferFlag ? 0u : (uint32_t)GFX_LOCK_DISCARD;
    void* locData = nullptr;
    if (aNumIndices == 0 ||
        !ourDevice->LockBuffer(curIB->myBuffer, 2 * (uint32_t)aStartIndex, 2 * (uint32_t)aNumIndices, locFlags,
                               &locData))
    {
        QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
        return false;
    }
    *anOut = (uint16_t*)locData;
    curIB->myIBLockedFlag = 1;
    return true;
}

void QR_RenderD3D::UnlockIndexBuffer(QR_IndexBuffer* anIndexBuffer)
{
    QR_D3DIndexBuffer* curIB = anIndexBuffer->myDeviceBuffer;
    if (!ourDevice)
        return;
    QC_ASSERT(curIB->myIBLockedFlag);
    QC_ASSERT(anIndexBuffer->myIsStaticBufferFlag);
    ourDevice->UnlockBuffer(curIB->myBuffer);
    curIB->myIBLockedFlag = 0;
}

// [SECTION] Appends -------------------------------------------------------------------------

// Advances, aligns and chooses the next vertex range; locks it.
static bool locAppendVertexRange(QR_VertexBuffer* aVertexBuffer, uint32_t aNumVertices, void** anOut)
{
    QR_D3DVertexBuffer* curVB = aVertexBuffer->myDeviceBuffer;
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    locUnlock(curVB->myBuffer, &curVB->myVBLockedFlag);
    curVB->myMemIndex += curVB->myPendingSize;
    curVB->myPendingSize = 0;
    QC_ASSERT(curVB->myMemIndex == QR_BUFFER_UNUSED || curVB->myMemIndex <= aVertexBuffer->mySize);
    uint32_t locVertexSize = aVertexBuffer->myVertexSize;
    curVB->myMemIndex = (curVB->myMemIndex + locVertexSize - 1) / locVertexSize * locVertexSize;
    QC_ASSERT(curVB->myMemIndex % aVertexBuffer->myVertexSize == 0);

    uint32_t locFlags = GFX_LOCK_NOOVERWRITE;
    if ((uint64_t)curVB->myMemIndex + (uint64_t)aNumVertices * locVertexSize > aVertexBuffer->mySize ||
        curVB->myMemIndex / locVertexSize + aNumVertices > 65535)
    {
        curVB->myMemIndex = 0;
        locFlags = GFX_LOCK_DISCARD;
    }
    if (aNumVertices == 0 ||
        !locDevice->LockBuffer(curVB->myBuffer, curVB->myMemIndex, aNumVertices * locVertexSize, locFlags, anOut))
    {
        QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
        return false;
    }
    curVB->myVBLockedFlag = 1;
    return true;
}

bool QR_RenderD3D::AppendVertices(QR_VertexBuffer* aVertexBuffer, void** anOut, uint32_t aNumVertices)
{
    QC_ASSERT(!aVertexBuffer->myIsStaticBufferFlag);
    QC_ASSERT(aNumVertices <= aVertexBuffer->myNumVertices);
    if (!ourDevice || !aVertexBuffer->myDeviceBuffer)
        return locNoDevice();
    return locAppendVertexRange(aVertexBuffer, aNumVertices, anOut);
}

bool QR_RenderD3D::AppendIndexedVertices(QR_VertexBuffer* aVertexBuffer, QR_IndexBuffer* anIndexBuffer,
                                         void** aVerticesOut, uint32_t aNumVertices, uint16_t** anIndicesOut,
                                         uint32_t aNumIndices, uint32_t* aFirstVertexOut)
{
    QC_ASSERT(!aVertexBuffer->myIsStaticBufferFlag);
    QC_ASSERT(!anIndexBuffer->myIsStaticBufferFlag);
    QC_ASSERT(aNumIndices <= anIndexBuffer->myLength);
    QC_ASSERT(aNumVertices <= aVertexBuffer->myNumVertices);
    if (!ourDevice || !aVertexBuffer->myDeviceBuffer || !anIndexBuffer->myDeviceBuffer)
        return locNoDevice();
    QR_D3DIndexBuffer* curIB = anIndexBuffer->myDeviceBuffer;
    locUnlock(curIB->myBuffer, &curIB->myIBLockedFlag);
    if (!locAppendVertexRange(aVertexBuffer, aNumVertices, aVerticesOut))
        return false;
    QR_D3DVertexBuffer* curVB = aVertexBuffer->myDeviceBuffer;

    curIB->myIBIndex += curIB->myPendingCount;
    curIB->myPendingCount = 0;
    QC_ASSERT(curIB->myIBIndex == QR_BUFFER_UNUSED || curIB->myIBIndex <= anIndexBuffer->myLength);
    uint32_t locFlags = GFX_LOCK_NOOVERWRITE;
    if ((uint64_t)curIB->myIBIndex + aNumIndices > anIndexBuffer->myLength)
    {
        curIB->myIBIndex = 0;
        locFlags = GFX_LOCK_DISCARD;
    }
    void* locData = nullptr;
    if (aNumIndices == 0 ||
        !ourDevice->LockBuffer(curIB->myBuffer, 2 * curIB->myIBIndex, 2 * aNumIndices, locFlags, &locData))
    {
        QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
        ourDevice->UnlockBuffer(curVB->myBuffer);
        curVB->myVBLockedFlag = 0;
        return false;
    }
    *anIndicesOut = (uint16_t*)locData;
    *aFirstVertexOut = curVB->myMemIndex / aVertexBuffer->myVertexSize;
    curIB->myIBLockedFlag = 1;
    return true;
}

// [SECTION] Draws ---------------------------------------------------------------------------

uint32_t QR_RenderD3D::BindStreams(QR_VertexBuffer** aVertexBufferList, uint32_t aNumVerts, bool aCheckStaticLockFlag)
{
    uint32_t locNumStreams = QR_VertexShader::ourNumStreams;
    if (locNumStreams > 8)
        locNumStreams = 8;
    for (uint32_t i = 0; i < locNumStreams; i++)
    {
        QR_VertexBuffer* locVB = aVertexBufferList[i];
        QR_D3DVertexBuffer* curVB = locVB->myDeviceBuffer;
        if (aCheckStaticLockFlag)
            QC_ASSERT(!curVB->myVBLockedFlag);
        locUnlock(curVB->myBuffer, &curVB->myVBLockedFlag);
        if (aNumVerts)
        {
            QC_ASSERT(aNumVerts <= aVertexBufferList[i]->myNumVertices);
            if (ourD3DStreamCache.myBuffers[i] != curVB->myBuffer || ourD3DStreamCache.myStrides[i] != locVB->myVertexSize)
            {
                ourDevice->SetStreamSource(i, curVB->myBuffer, 0, locVB->myVertexSize);
                ourD3DStreamCache.myBuffers[i] = curVB->myBuffer;
                ourD3DStreamCache.myStrides[i] = locVB->myVertexSize;
            }
            if (!locVB->myIsStaticBufferFlag)
            {
                uint32_t locBytes = aNumVerts * locVB->myVertexSize;
                ourStats.myDynamicBytes += locBytes;
                if (locBytes > curVB->myPendingSize)
                    curVB->myPendingSize = locBytes;
            }
        }
    }
    for (uint32_t i = locNumStreams; i < ourD3DStreamCache.myNumStreams; i++)
    {
        ourDevice->SetStreamSource(i, nullptr, 0, 0);
        ourD3DStreamCache.myBuffers[i] = nullptr;
        ourD3DStreamCache.myStrides[i] = 0;
    }
    ourD3DStreamCache.myNumStreams = locNumStreams;
    return locNumStreams;
}

static void locCount(uint32_t aPrimitives, uint32_t aVertices)
{
    QR_Render::ourStats.myPrimitives += aPrimitives;
    QR_Render::ourStats.myVertices += aVertices;
    QR_Render::ourStats.myWeightedVertices += aVertices > 50 ? aVertices : 50;
    QR_Render::ourStats.myDrawCalls += 1;
}

void QR_RenderD3D::DrawPrimitives(QR_VertexBuffer** aVertexBufferList, uint32_t aType, uint32_t aNumVerts)
{
    if (!ourDevice || ourEmptyViewFlag || !locHaveDeviceData(aVertexBufferList, QR_VertexShader::ourNumStreams))
        return;
    BindStreams(aVertexBufferList, aNumVerts, false);
    if (aNumVerts == 0)
        return;
    QR_VertexBuffer* locFirst = aVertexBufferList[0];
    uint32_t locStart = locFirst->myDeviceBuffer->myMemIndex / locFirst->myVertexSize;
    uint32_t locPrimitives = 0;
    switch (aType)
    {
    case QR_DRAWTYPES_TRIANGLELIST:
        locPrimitives = aNumVerts / 3;
        ourDevice->DrawPrimitive(GFX_PRIM_TRIANGLELIST, locStart, locPrimitives);
        break;
    case QR_DRAWTYPES_TRIANGLESTRIP:
        locPrimitives = aNumVerts >= 2 ? aNumVerts - 2 : 0;
        ourDevice->DrawPrimitive(GFX_PRIM_TRIANGLESTRIP, locStart, locPrimitives);
        break;
    case QR_DRAWTYPES_TRIANGLEFAN:
        locPrimitives = aNumVerts >= 2 ? aNumVerts - 2 : 0;
        ourDevice->DrawPrimitive(GFX_PRIM_TRIANGLEFAN, locStart, locPrimitives);
        break;
    case QR_DRAWTYPES_LINELIST:
        locPrimitives = aNumVerts / 2;
        ourDevice->DrawPrimitive(GFX_PRIM_LINELIST, locStart, locPrimitives);
        break;
    default:
        break;
    }
    locCount(locPrimitives, aNumVerts);
}

static void locBindIndices(QR_IndexBuffer* anIndexBuffer)
{
    QR_D3DIndexBuffer* curIB = anIndexBuffer->myDeviceBuffer;
    locUnlock(curIB->myBuffer, &curIB->myIBLockedFlag);
    if (ourD3DStreamCache.myIndexBuffer != curIB->myBuffer)
    {
        QR_RenderD3D::ourDevice->SetIndices(curIB->myBuffer);
        ourD3DStreamCache.myIndexBuffer = curIB->myBuffer;
    }
}

void QR_RenderD3D::DrawIndexedDynamic(QR_VertexBuffer** aVertexBufferList, QR_IndexBuffer* anIndexBuffer,
                                      uint32_t aType, uint32_t aNumVerts, uint32_t aNumPrimitives)
{
    if (aNumVerts == 0 || !ourDevice || ourEmptyViewFlag || !anIndexBuffer->myDeviceBuffer ||
        !locHaveDeviceData(aVertexBufferList, QR_VertexShader::ourNumStreams))
        return;
    uint32_t locNumStreams = BindStreams(aVertexBufferList, aNumVerts, false);
    if (!anIndexBuffer->myIsStaticBufferFlag)
        ourStats.myDynamicBytes += 6 * aNumPrimitives;
    locBindIndices(anIndexBuffer);
    QC_ASSERT(aType < QR_DRAWTYPES_LINELIST);
    if (aType >= QR_DRAWTYPES_LINELIST)
        return;
    QR_VertexBuffer* locLast = aVertexBufferList[locNumStreams ? locNumStreams - 1 : 0];
    uint32_t locMinIndex = locLast->myDeviceBuffer->myMemIndex / locLast->myVertexSize;
    QR_D3DIndexBuffer* curIB = anIndexBuffer->myDeviceBuffer;
    ourDevice->DrawIndexedPrimitive((GFX_PrimitiveType)(aType + 4), 0, locMinIndex, aNumVerts, curIB->myIBIndex,
                                    aNumPrimitives);
    locCount(aNumPrimitives, aNumVerts);
    uint32_t locUsed = aType == QR_DRAWTYPES_TRIANGLELIST ? 3 * aNumPrimitives : aNumPrimitives + 2;
    if (locUsed > curIB->myPendingCount)
        curIB->myPendingCount = locUsed;
}

void QR_RenderD3D::DrawIndexed(QR_VertexBuffer** aVertexBufferList, QR_IndexBuffer* anIndexBuffer, uint32_t aType,
                               uint32_t aFirstVertex, uint32_t aNumVerts, uint32_t aFirstIndex, uint32_t aNumPrimitives)
{
    if (aNumVerts == 0 || !ourDevice || ourEmptyViewFlag || !anIndexBuffer->myDeviceBuffer ||
        !locHaveDeviceData(aVertexBufferList, QR_VertexShader::ourNumStreams))
        return;
    QR_D3DIndexBuffer* curIB = anIndexBuffer->myDeviceBuffer;
    QC_ASSERT(!curIB->myIBLockedFlag);
    BindStreams(aVertexBufferList, aNumVerts, true);
    if (!anIndexBuffer->myIsStaticBufferFlag)
        ourStats.myDynamicBytes += 6 * aNumPrimitives;
    locBindIndices(anIndexBuffer);
    QC_ASSERT(aType < QR_DRAWTYPES_LINELIST);
    if (aType >= QR_DRAWTYPES_LINELIST)
        return;
    ourDevice->DrawIndexedPrimitive((GFX_PrimitiveType)(aType + 4), 0, aFirstVertex, aNumVerts, aFirstIndex,
                                    aNumPrimitives);
    locCount(aNumPrimitives, aNumVerts);
}

// [SECTION] Reserve and pools ---------------------------------------------------------------

bool QR_RenderD3D::ReserveDynamicVertices(uint32_t aNumBytes)
{
    if (myDynamicVertexBuffer && myDynamicVertexBuffer->mySize >= aNumBytes)
        return true;
    if (!myDynamicVertexBuffer)
    {
        myDynamicVertexBuffer = new (std::nothrow) QR_VertexBuffer();
        if (!myDynamicVertexBuffer)
            return false;
        memset(myDynamicVertexBuffer, 0, sizeof(QR_VertexBuffer));
    }
    // A failed re-creation gets the buffer back at its old size, so later appends find one;
    // if even that fails, appends and draws through it fail cleanly until a restore.
    QR_VertexBuffer* b = myDynamicVertexBuffer;
    const bool locHadFlag = b->myDeviceBuffer != nullptr;
    const uint32_t locOldVertices = b->myNumVertices, locOldSize = b->mySize;
    ReleaseDeviceBuffer(b);
    b->myNumVertices = aNumBytes / 32;
    b->mySize = aNumBytes;
    b->myVertexSize = 1;
    b->myIsStaticBufferFlag = 0;
    if (CreateDeviceBuffer(b))
        return true;
    if (locHadFlag)
    {
        b->myNumVertices = locOldVertices;
        b->mySize = locOldSize;
        CreateDeviceBuffer(b);
    }
    QR_Error::SetCode(QR_ERROR_VERTEX_BUFFER);
    return false;
}

bool QR_RenderD3D::ReserveDynamicIndices(uint32_t aNumIndices)
{
    if (myDynamicIndexBuffer && myDynamicIndexBuffer->myLength >= aNumIndices)
        return true;
    if (!myDynamicIndexBuffer)
    {
        myDynamicIndexBuffer = new (std::nothrow) QR_IndexBuffer();
        if (!myDynamicIndexBuffer)
            return false;
        memset(myDynamicIndexBuffer, 0, sizeof(QR_IndexBuffer));
    }
    QR_IndexBuffer* b = myDynamicIndexBuffer;
    const bool locHadFlag = b->myDeviceBuffer != nullptr;
    const uint32_t locOldLength = b->myLength;
    ReleaseDeviceBuffer(b);
    b->myLength = aNumIndices;
    b->myIsStaticBufferFlag = 0;
    if (CreateDeviceBuffer(b))
        return true;
    if (locHadFlag)
    {
        b->myLength = locOldLength;
        CreateDeviceBuffer(b);
    }
    QR_Error::SetCode(QR_ERROR_INDEX_BUFFER);
    return false;
}

void QR_RenderD3D::FreeBufferPools()
{
    if (myDynamicVertexBuffer)
        ReleaseDeviceBuffer(myDynamicVertexBuffer);
    if (myDynamicIndexBuffer)
        ReleaseDeviceBuffer(myDynamicIndexBuffer);
    for (QR_VertexBuffer* locVB = myVertexBufferList; locVB; locVB = locVB->myNext)
        ReleaseDeviceBuffer(locVB);
    for (QR_IndexBuffer* locIB = myIndexBufferList; locIB; locIB = locIB->myNext)
        ReleaseDeviceBuffer(locIB);
}

bool QR_RenderD3D::CreateBufferPools()
{
    if (myDynamicVertexBuffer && !myDynamicVertexBuffer->myDeviceBuffer && !CreateDeviceBuffer(myDynamicVertexBuffer))
        return false;
    if (myDynamicIndexBuffer && !myDynamicIndexBuffer->myDeviceBuffer && !CreateDeviceBuffer(myDynamicIndexBuffer))
        return false;
    // Each re-made buffer is refilled by its creator: index buffers first.
    auto locRecreate = [this](auto* aList) {
        for (auto* locBuffer = aList; locBuffer; locBuffer = locBuffer->myNext)
        {
            if (locBuffer->myDeviceBuffer)
                continue;
            if (!CreateDeviceBuffer(locBuffer))
                return false;
            if (locBuffer->myRefillFunc && !locBuffer->myRefillFunc(locBuffer->myRefillArgument))
                return false;
        }
        return true;
    };
    return locRecreate(myIndexBufferList) && locRecreate(myVertexBufferList);
}

// [SECTION] Optimisers ----------------------------------------------------------------------

bool QR_RenderD3D::OptimizeFaceOrder(uint16_t* anIndices, uint32_t aNumIndices, uint32_t aNumVertices)
{
    uint32_t locNumFaces = aNumIndices / 3;
    if (QR_HasDuplicateTriangle(anIndices, locNumFaces))
        return true;
    uint32_t* locRemap = new (std::nothrow) uint32_t[locNumFaces ? locNumFaces : 1];
    uint16_t* locCopy = new (std::nothrow) uint16_t[aNumIndices ? aNumIndices : 1];
    bool locOk = locRemap && locCopy && QR_OptimizeFaces(anIndices, locNumFaces, aNumVertices, locRemap);
    if (locOk)
    {
        memcpy(locCopy, anIndices, sizeof(uint16_t) * locNumFaces * 3);
        for (uint32_t i = 0; i < locNumFaces; i++)
            memcpy(&anIndices[3 * i], &locCopy[3 * locRemap[i]], 3 * sizeof(uint16_t));
    }
    delete[] locRemap;
    delete[] locCopy;
    return locOk;
}

bool QR_RenderD3D::OptimizeVertexOrder(uint8_t* aVertices, uint32_t aNumVertices, uint32_t aVertexSize,
                                       uint16_t* anIndices, uint32_t aNumIndices)
{
    uint32_t locNumFaces = aNumIndices / 3;
    if (QR_HasDuplicateTriangle(anIndices, locNumFaces))
        return true;
    if (!OptimizeFaceOrder(anIndices, aNumIndices, aNumVertices))
        return false;
    uint32_t* remapList = new (std::nothrow) uint32_t[aNumVertices ? aNumVertices : 1];
    uint32_t* locNewIndex = new (std::nothrow) uint32_t[aNumVertices ? aNumVertices : 1];
    uint8_t* locCopy = new (std::nothrow) uint8_t[(size_t)aNumVertices * aVertexSize + 1];
    bool locOk = remapList && locNewIndex && locCopy &&
                 QR_OptimizeVertices(anIndices, locNumFaces, aNumVertices, remapList);
    if (locOk)
    {
        memcpy(locCopy, aVertices, (size_t)aNumVertices * aVertexSize);
        for (uint32_t i = 0; i < aNumVertices; i++)
        {
            QC_ASSERT(remapList[i] < aNumVertices);
            memcpy(aVertices + (size_t)i * aVertexSize, locCopy + (size_t)remapList[i] * aVertexSize, aVertexSize);
            locNewIndex[remapList[i]] = i;
        }
        for (uint32_t i = 0; i < locNumFaces * 3; i++)
            anIndices[i] = (uint16_t)locNewIndex[anIndices[i]];
    }
    delete[] remapList;
    delete[] locNewIndex;
    delete[] locCopy;
    return locOk;
}
