// Velk text where it meets the UI layer. Velk text is 8-bit and taken as
// ISO 8859-1 (Latin-1), as the .loc files encode it; the UI layer's texts are
// UTF-8. Every Velk text shown goes through VelkText_ToUI, every text typed
// and kept goes back through VelkText_FromUI.
#pragma once

#include "qcommon/qc_string.h"

#include <string>

// Each byte one character: bytes of 128 and over become two UTF-8 bytes.
std::string VelkText_ToUI(const char* aText);
// A log line mixes Velk text with the system's paths, which are UTF-8: a line
// that is valid UTF-8 is shown as it is, any other as Latin-1 (a Latin-1 text
// with accented letters is never valid UTF-8 unless it holds pairs like "Ã©").
std::string VelkText_LineToUI(const char* aLine);
// False when the text cannot be Velk text: a character outside Latin-1 (none
// is ever replaced) or more than a QC_String holds. aWhy (UTF-8, for a
// message) then says why, naming the first such character, and anOut is left
// as it was.
bool VelkText_FromUI(const std::string& aText, QC_String& anOut, std::string* aWhy = nullptr);
