// Internals shared by the converter, the reader and the localisation files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Every message of the binary form goes to the debug output, none to the language log.
void Tez_Print(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));

// The name cut before the '.' of its extension. False when the file part of the
// name has no '.' after its first character.
bool Tez_CutExtension(const char* aFileName, std::string& aBase);

// TezHash over a text that need not end in a NUL.
uint32_t Tez_HashRange(const char* aText, size_t aLength);
