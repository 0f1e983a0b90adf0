// The renderer's last error: a code and, for failures tied to a file, a text.
// A code stays until the next failure; nothing resets it on success.
#pragma once

#include <stdint.h>

enum QR_ErrorCode
{
    QR_ERROR_NONE = 0,
    QR_ERROR_IMAGE_FORMAT = 1,          // refused image form; surface-template file cannot be opened
    QR_ERROR_TEXTURE_FILE = 2,          // texture missing, or would be resized against its wish
    QR_ERROR_DEVICE_TEXTURE = 3,        // device texture or pixel shader cannot be created
    QR_ERROR_SURFACE_SYNTAX = 5,
    QR_ERROR_MODEL_OPEN = 7,
    QR_ERROR_MODEL_VERSION = 8,
    QR_ERROR_PARTICLE_OPEN = 9,
    QR_ERROR_PARTICLE_SYNTAX = 10,
    QR_ERROR_NO_DIRECT3D = 12,
    QR_ERROR_RENDER_WINDOW = 13,
    QR_ERROR_DEVICE_CREATE = 14,
    QR_ERROR_DESKTOP_FORMAT = 15,
    QR_ERROR_DEVICE_MEMORY = 16,
    QR_ERROR_VERTEX_BUFFER = 17,
    QR_ERROR_INDEX_BUFFER = 18,
    QR_ERROR_ADAPTER = 19,
    QR_ERROR_NO_D3D9_LIBRARY = 20,
    QR_ERROR_NO_D3D9_ENTRY = 21,
    QR_ERROR_NO_DISPLAY_MODE = 22,
    QR_ERROR_VERTEX_SHADER_NAME = 23,
    QR_ERROR_MODEL_DATA = 24,           // a model file's data is damaged (counts, ranges, indices)
};

class QR_Error
{
public:
    static constexpr int TEXT_SIZE = 256;

    static uint32_t ourCode;
    static char ourText[TEXT_SIZE];

    static void SetCode(uint32_t aCode) { ourCode = aCode; }
    // Replaces the text; a longer one is cut to TEXT_SIZE - 1 characters.
    static void Printf(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
    // A short English description of a code, for callers that show more than
    // the number; "Unknown error" for codes that are never set.
    static const char* GetCodeText(uint32_t aCode);
};
