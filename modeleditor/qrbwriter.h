// The ".qrb" model writer: one template with its parts, states, meshes, emitter
// links, name list and lights, laid out little-endian as the renderer's reader
// (QR_TemplateObject::LoadQRB) takes it. The whole file is built in memory and
// committed through the save-file helper only when complete.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

class QR_Light;
class QR_Mesh;
class QR_SplinePath;
class QR_TemplateObject;
class QR_TemplatePart;

class QRBWriter
{
public:
    // The vertex-shader name to store for a mesh (the editor scene's override);
    // null or an empty answer: the name of the mesh's own kind.
    typedef const char* (*ShaderNameFunc)(const QR_Mesh* aMesh, void* aContext);

    QRBWriter() = default;
    QRBWriter(ShaderNameFunc aShaderName, void* aContext) : myShaderName(aShaderName), myContext(aContext) {}

    // False with EditorError 13 (the detail names the file, or the record that
    // cannot be stored); the file on disk is then as it was.
    bool Write(const QR_TemplateObject* aTemplate, const char* aFileName);
    // The same into memory.
    bool WriteToMemory(const QR_TemplateObject* aTemplate, std::vector<uint8_t>& aBytesOut);

    bool WritePart(const QR_TemplatePart& aPart);
    bool WriteMesh(const QR_Mesh& aMesh);
    bool WriteSplinePath(const QR_SplinePath& aPath);

    // Longest names the reader takes, without the terminator.
    static constexpr uint32_t MAX_NAME_LENGTH = 255;
    static constexpr uint32_t MAX_LIST_NAME_LENGTH = 1023;

private:
    bool WriteLight(const QR_Light& aLight);
    bool WriteObjectBlock(const QR_Mesh* aMesh);
    void U32(uint32_t aValue);
    void F32(float aValue);
    void Raw(const void* aData, size_t aSize);
    // False (code 13, the detail naming aWhat) when aText is longer than aLimit.
    bool Name(const char* aText, uint32_t aLimit, const char* aWhat);

    ShaderNameFunc myShaderName = nullptr;
    void* myContext = nullptr;
    std::vector<uint8_t> myBytes;
    std::vector<std::string> myWrittenMeshes; // names stored in full in this file
};
