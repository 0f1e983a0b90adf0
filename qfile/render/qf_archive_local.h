// Helpers shared by the renderer build's file object and its archive reader.
#pragma once

#include <stdint.h>

#include "platform/os/os_file.h"

// The scrambling routine with an explicit starting key.
void QF_ScrambleWithKey(void* aData, uint32_t aSize, uint32_t aKey);
// Inflates "u32 unpacked size + zlib stream" into a new[] block; false for
// contents under 4 bytes, an impossible size or a stream of another size.
bool QF_InflateStored(const uint8_t* aStored, uint32_t aStoredSize, uint8_t** anOut, uint32_t* anOutSize);
// A second descriptor of the same open file.
OS_FileHandle QF_DuplicateHandle(OS_FileHandle aHandle);
