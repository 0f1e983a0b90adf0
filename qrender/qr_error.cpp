// The renderer's error record and the descriptions of its codes.
#include "qrender/qr_error.h"

#include <stdarg.h>
#include <stdio.h>

uint32_t QR_Error::ourCode = 0;
char QR_Error::ourText[QR_Error::TEXT_SIZE] = "";

void QR_Error::Printf(const char* aFormat, ...)
{
    va_list locArgs;
    va_start(locArgs, aFormat);
    if (vsnprintf(ourText, TEXT_SIZE, aFormat, locArgs) < 0)
        ourText[0] = 0;
    va_end(locArgs);
}

namespace
{
struct CodeText
{
    uint32_t myCode;
    const char* myText;
};

const CodeText locCodeTexts[] = {
    {QR_ERROR_NONE, "No error"},
    {QR_ERROR_IMAGE_FORMAT, "Unsupported image format or surface template file cannot be opened"},
    {QR_ERROR_TEXTURE_FILE, "Texture file missing or of the wrong size"},
    {QR_ERROR_DEVICE_TEXTURE, "Device texture or pixel shader cannot be created"},
    {QR_ERROR_SURFACE_SYNTAX, "Surface template syntax error"},
    {QR_ERROR_MODEL_OPEN, "Model file cannot be opened"},
    {QR_ERROR_MODEL_VERSION, "Model file has a wrong magic or version"},
    {QR_ERROR_PARTICLE_OPEN, "Particle definition file cannot be opened"},
    {QR_ERROR_PARTICLE_SYNTAX, "Particle definition syntax error"},
    {QR_ERROR_NO_DIRECT3D, "Graphics interface cannot be created"},
    {QR_ERROR_RENDER_WINDOW, "Render window cannot be created"},
    {QR_ERROR_DEVICE_CREATE, "Device query or creation failed"},
    {QR_ERROR_DESKTOP_FORMAT, "Desktop pixel format is neither 16- nor 32-bit"},
    {QR_ERROR_DEVICE_MEMORY, "Not enough memory to create the device"},
    {QR_ERROR_VERTEX_BUFFER, "Vertex buffer cannot be created or locked"},
    {QR_ERROR_INDEX_BUFFER, "Index buffer cannot be created"},
    {QR_ERROR_ADAPTER, "Adapter cannot be queried"},
    {QR_ERROR_NO_D3D9_LIBRARY, "Graphics library cannot be loaded"},
    {QR_ERROR_NO_D3D9_ENTRY, "Graphics library has no entry point"},
    {QR_ERROR_NO_DISPLAY_MODE, "No display mode or surface format meets the requirements"},
    {QR_ERROR_VERTEX_SHADER_NAME, "Vertex shader is not registered"},
    {QR_ERROR_MODEL_DATA, "Model data damaged"},
};
} // namespace

const char* QR_Error::GetCodeText(uint32_t aCode)
{
    for (const CodeText& locEntry : locCodeTexts)
        if (locEntry.myCode == aCode)
            return locEntry.myText;
    return "Unknown error";
}
