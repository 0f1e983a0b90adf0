// The editor's error codes, their texts and the detail text.
#include "modeleditor/editorerror.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

uint32_t EditorError::ourCode = EDITOR_ERROR_NONE;
char EditorError::ourDetail[EditorError::DETAIL_SIZE] = "";

namespace
{
// Indexed by code; null where a code has no text.
const char* const ourTexts[] = {
    nullptr,
    "could not load model",
    "not a valid LW6 file",
    "Layer in LW6 file not found",
    "file not found",
    "not a valid LW6 scene",
    "unsupported LW feature (talk to Kol)",
    "object not trippled",
    "surface missing texture",
    "surface not UV mapped",
    "texture without uv maps",
    "texture 2 but no texture 1",
    "scene contains several parents",
    "failed to write qrb",
    "spline file not found",
    "not a valid spline file",
    "unsupported spline version",
    "error in spline syntax",
    "not all channels are specified",
    "spline has too few keys",
    "channel has incorrect number of keys",
    "unsupported spline type",
    "all channels must have keys at the same times",
    "all channels must be of the same type",
    "continuity isn't supported",
    nullptr,
    "Can't delete last state",
    "State to delete wasn't found",
    "Skinned mesh has more than one surface",
    "Bone not found",
    "Failed to add state",
    "Failed to add NULL object",
    "Failed to add PE",
    "failed to create QRE param list",
    "Failed to remove PE",
    "Light not found",
    "Mesh not found",
    "Failed to remove state",
    "Couldn't load surface",
    "mesh has too many vertices for 16-bit indices",
};
} // namespace

const char* GetEditorErrorText(uint32_t aCode)
{
    if (aCode >= sizeof(ourTexts) / sizeof(ourTexts[0]))
        return nullptr;
    return ourTexts[aCode];
}

const char* GetEditorErrorText()
{
    return GetEditorErrorText(EditorError::ourCode);
}

void SetErrorDetail(const char* aFormat, ...)
{
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(EditorError::ourDetail, sizeof(EditorError::ourDetail), aFormat, locArgs);
    va_end(locArgs);
}

void AppendErrorDetail(const char* aFormat, ...)
{
    char locText[EditorError::DETAIL_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat, locArgs);
    va_end(locArgs);
    // A blank and the text, as much as fits.
    size_t locUsed = strlen(EditorError::ourDetail);
    const size_t locLimit = sizeof(EditorError::ourDetail) - 1;
    if (locUsed < locLimit)
        EditorError::ourDetail[locUsed++] = ' ';
    size_t locCopy = strlen(locText);
    if (locCopy > locLimit - locUsed)
        locCopy = locLimit - locUsed;
    memcpy(EditorError::ourDetail + locUsed, locText, locCopy);
    EditorError::ourDetail[locUsed + locCopy] = 0;
}
