// The editor's ".pe" writer and reader: the text of modeleditor/emitterfile through the file
// library, and a read record turned into the renderer's generic particle definition.
#pragma once

#include "modeleditor/emitterfile.h"

class QR_SharedGenericParticleData;

// Writes "%s.pe" (or the name as typed when it ends in ".pe") create-always: a temporary
// file renamed over the old one at Close. False when the record cannot be read back (see
// EmitterFile_Format), the file does not open, or the write-back fails; the old file stays.
bool WriteEmitterFile(const char* anEmitterName, const EmitterRecord& aRecord);

// Reads the file of anEmitterName into aRecord; with aDefinition, also gives it the record's
// values, a surface instance with the texture and its frames (one whole-texture frame when
// the strip is off). False when the file does not open or parse or the surface cannot be
// instanced; aDefinition is then left as it was.
bool ReadEmitterFile(const char* anEmitterName, EmitterRecord& aRecord, QR_SharedGenericParticleData* aDefinition);

// Gives aDefinition the record's values and a new surface instance (the old one released).
bool ApplyEmitterRecord(const EmitterRecord& aRecord, QR_SharedGenericParticleData* aDefinition);

// The definition's values as a record to write: flags (GLOBAL dropped), radius, origin,
// particle kind, the surface's name, rotation, times, base values and phases. The texture
// and the strip stay as aRecord had them (the definition holds only their instance and
// frames).
void EmitterRecordFromDefinition(const QR_SharedGenericParticleData& aDefinition, EmitterRecord& aRecord);
