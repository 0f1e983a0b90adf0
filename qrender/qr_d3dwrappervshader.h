// The base of the kinds that draw through whichever kind is registered as "NORMAL_MESH":
// every operation but Draw goes to it unchanged.
#pragma once

#include <new>

#include "qrender/qr_vertexshader.h"

class QR_D3DWrapperVShader : public QR_VertexShader
{
public:
    QR_D3DWrapperVShader(const char* aName, uint32_t aSortGroup)
        : QR_VertexShader(aName, aSortGroup)
        , myWrappedShader(QR_VertexShader::Find("NORMAL_MESH"))
    {
    }

    QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData& aSetup) override
    {
        return myWrappedShader->Compile(aSetup);
    }
    void ReleaseCompiled(QR_CompiledVertexShader* aCompiled) override
    {
        myWrappedShader->ReleaseCompiled(aCompiled);
    }
    void Begin(QR_CompiledVertexShader* aCompiled) override
    {
        myWrappedShader->Begin(aCompiled);
        ourCurrent = this;
    }
    void SetDataBlock(QR_VertexShaderDataBlock* aDataBlock) override
    {
        myWrappedShader->SetDataBlock(aDataBlock);
    }
    bool PrepareMesh(QR_Mesh* aMesh) override { return myWrappedShader->PrepareMesh(aMesh); }

    QR_VertexShader* myWrappedShader; // not released

protected:
    // Makes Kind's singleton, kept only when there is a kind to wrap; true when it exists.
    template <class Kind> static bool CreateInstance()
    {
        if (Kind::ourInstance)
            return true;
        Kind::ourInstance = new (std::nothrow) Kind();
        if (Kind::ourInstance && !Kind::ourInstance->myWrappedShader)
        {
            delete Kind::ourInstance;
            Kind::ourInstance = nullptr;
        }
        return Kind::ourInstance != nullptr;
    }
};
