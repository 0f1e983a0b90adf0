// Name hash of the binary data files: names are looked up by this 32-bit
// value only, never by their text.
#pragma once

#include <cstdint>

uint32_t TezHash(const char* aText);
