// The model editor core's process-wide error state: the code of the last
// failure and a detail text naming the file and item that failed.
#pragma once

#include <stdint.h>

enum EditorErrorCode : uint32_t
{
    EDITOR_ERROR_NONE = 0,
    EDITOR_ERROR_LOAD_MODEL = 1,
    EDITOR_ERROR_INVALID_LWO = 2,
    EDITOR_ERROR_LAYER_NOT_FOUND = 3,
    EDITOR_ERROR_FILE_NOT_FOUND = 4,
    EDITOR_ERROR_INVALID_SCENE = 5,
    EDITOR_ERROR_UNSUPPORTED_FEATURE = 6,
    EDITOR_ERROR_NOT_TRIANGULATED = 7,
    EDITOR_ERROR_MISSING_TEXTURE = 8,
    EDITOR_ERROR_NOT_UV_MAPPED = 9,
    EDITOR_ERROR_TEXTURE_WITHOUT_UV = 10,
    EDITOR_ERROR_TEXTURE2_WITHOUT_TEXTURE1 = 11,
    EDITOR_ERROR_SEVERAL_PARENTS = 12,
    EDITOR_ERROR_WRITE_QRB = 13,
    EDITOR_ERROR_SPLINE_NOT_FOUND = 14,
    EDITOR_ERROR_SPLINE_INVALID = 15,
    EDITOR_ERROR_SPLINE_VERSION = 16,
    EDITOR_ERROR_SPLINE_SYNTAX = 17,
    EDITOR_ERROR_SPLINE_CHANNEL_MISSING = 18,
    EDITOR_ERROR_SPLINE_FEW_KEYS = 19,
    EDITOR_ERROR_SPLINE_KEY_COUNT = 20,
    EDITOR_ERROR_SPLINE_TYPE = 21,
    EDITOR_ERROR_SPLINE_KEY_TIME = 22,
    EDITOR_ERROR_SPLINE_KEY_SHAPE = 23,
    EDITOR_ERROR_SPLINE_CONTINUITY = 24,
    EDITOR_ERROR_SPLINE_KEY_ORDER = 25,
    EDITOR_ERROR_DELETE_LAST_STATE = 26,
    EDITOR_ERROR_STATE_NOT_FOUND = 27,
    EDITOR_ERROR_SKINNED_SURFACES = 28,
    EDITOR_ERROR_BONE_NOT_FOUND = 29,
    EDITOR_ERROR_ADD_STATE = 30,
    EDITOR_ERROR_ADD_NULL_OBJECT = 31,
    EDITOR_ERROR_ADD_PE = 32,
    EDITOR_ERROR_PARAM_LIST = 33,
    EDITOR_ERROR_REMOVE_PE = 34,
    EDITOR_ERROR_LIGHT_NOT_FOUND = 35,
    EDITOR_ERROR_MESH_NOT_FOUND = 36,
    EDITOR_ERROR_REMOVE_STATE = 37,
    EDITOR_ERROR_LOAD_SURFACE = 38,
    // A batch that welds to more vertices than 16-bit indices can address.
    EDITOR_ERROR_TOO_MANY_VERTICES = 39,
};

class EditorError
{
public:
    static constexpr int DETAIL_SIZE = 256;

    // Set just before a failing operation returns false; nothing clears it.
    static uint32_t ourCode;
    static char ourDetail[DETAIL_SIZE];

    static void Set(uint32_t aCode) { ourCode = aCode; }
    static uint32_t Get() { return ourCode; }
    static const char* GetDetail() { return ourDetail; }
};

// The text of the current code; null for 0, 25 and codes without a text.
const char* GetEditorErrorText();
const char* GetEditorErrorText(uint32_t aCode);
// Replaces the detail text; cut at 255 characters.
void SetErrorDetail(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
// Appends a blank and the formatted text; the whole stays within 255 characters.
void AppendErrorDetail(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
