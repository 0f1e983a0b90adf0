// The base-directory rule of the editor's paths: every file the editor stores
// is named relative to the base directory (the working directory at start).
#pragma once

#include "qcommon/qc_string.h"

// A relative path is answered unchanged. An absolute path (starting with '/',
// or in the Windows forms "x:\", "x:/", "\\server") must lie below the base
// directory, matched without regard to case: the part after the base
// directory and its separator is answered with '/' separators and its own
// spelling. Otherwise, or for a path that climbs out with "..", the answer is
// empty and false (noted on the debug output).
bool ValidateString(const char* aBaseDirectory, const char* aPath, QC_String& aRelativePath);
