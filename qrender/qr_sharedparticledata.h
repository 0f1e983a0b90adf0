// Particle definitions shared by name: the abstract, reference-counted definition and the
// process-wide list that Acquire reads ".pe" files into. The one kind is "GENERIC"
// (qr_sharedgenericparticledata).
#pragma once

#include <stdint.h>

class QF_File;

class QR_SharedParticleData
{
public:
    static constexpr uint32_t NAME_SIZE = 256;

    // The listed definition of that name with its count raised, or one read from "%s.pe":
    // null with code 9 when the file does not open, code 10 when its text does not parse,
    // and no new code when the first line is not "GENERIC" or the surface cannot be made.
    static QR_SharedParticleData* Acquire(const char* aName);
    // A new, empty generic definition (kind 0 only); null when the name is taken.
    static QR_SharedParticleData* Create(const char* aName, uint32_t aKind);
    static void Release(QR_SharedParticleData* aDefinition);
    static QR_SharedParticleData* Find(const char* aNormalisedName);
    // Lower case, '/' for '\\', the extension after the last '/' cut; aSize includes the NUL.
    static void NormaliseName(const char* aName, char* aResult, uint32_t aSize);

    virtual ~QR_SharedParticleData();
    // Reads the text after the first line of an open file.
    virtual bool Load(QF_File& aFile) = 0;

    char* myName; // owned, normalised
    QR_SharedParticleData* myPrev;
    QR_SharedParticleData* myNext;
    int32_t myRefCount;

    static QR_SharedParticleData* ourFirst;

protected:
    QR_SharedParticleData();
    bool SetName(const char* aNormalisedName);
};
