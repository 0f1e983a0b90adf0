// The list of particle definitions and their sharing by normalised name.
#include "qrender/qr_sharedparticledata.h"

#include <new>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "qcommon/qc_assert.h"
#include "qfile/render/qf_file.h"
#include "qrender/qr_error.h"
#include "qrender/qr_sharedgenericparticledata.h"

QR_SharedParticleData* QR_SharedParticleData::ourFirst = nullptr;

QR_SharedParticleData::QR_SharedParticleData()
    : myName(nullptr)
    , myPrev(nullptr)
    , myNext(ourFirst)
    , myRefCount(1)
{
    if (ourFirst)
        ourFirst->myPrev = this;
    ourFirst = this;
}

QR_SharedParticleData::~QR_SharedParticleData()
{
    delete[] myName;
    if (myPrev)
        myPrev->myNext = myNext;
    else
        ourFirst = myNext;
    if (myNext)
        myNext->myPrev = myPrev;
}

bool QR_SharedParticleData::SetName(const char* aNormalisedName)
{
    size_t locLength = strlen(aNormalisedName);
    char* locName = new (std::nothrow) char[locLength + 1];
    if (!locName)
        return false;
    memcpy(locName, aNormalisedName, locLength + 1);
    delete[] myName;
    myName = locName;
    return true;
}

void QR_SharedParticleData::NormaliseName(const char* aName, char* aResult, uint32_t aSize)
{
    if (aSize == 0)
        return;
    uint32_t n = 0;
    uint32_t locDot = UINT32_MAX;
    for (; aName[n] && n + 1 < aSize; n++)
    {
        char c = aName[n];
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        else if (c == '\\')
            c = '/';
        if (c == '/')
            locDot = UINT32_MAX;
        else if (c == '.')
            locDot = n;
        aResult[n] = c;
    }
    aResult[locDot != UINT32_MAX ? locDot : n] = 0;
}

QR_SharedParticleData* QR_SharedParticleData::Find(const char* aNormalisedName)
{
    for (QR_SharedParticleData* d = ourFirst; d; d = d->myNext)
        if (d->myName && strcmp(d->myName, aNormalisedName) == 0)
            return d;
    return nullptr;
}

QR_SharedParticleData* QR_SharedParticleData::Acquire(const char* aName)
{
    char locName[NAME_SIZE];
    NormaliseName(aName, locName, sizeof(locName));
    if (QR_SharedParticleData* locFound = Find(locName))
    {
        locFound->myRefCount++;
        return locFound;
    }
    char locFileName[NAME_SIZE + 3];
    snprintf(locFileName, sizeof(locFileName), "%s.pe", locName);
    QR_Error::Printf("%s", locFileName);
    QF_File locFile;
    if (!locFile.Open(locFileName, QF_READ))
    {
        QR_Error::SetCode(QR_ERROR_PARTICLE_OPEN);
        return nullptr;
    }
    char locLine[256];
    locFile.ReadLine(locLine, sizeof(locLine));
    // Generic emitters are the only kind a file can hold.
    if (strcasecmp(locLine, "GENERIC") != 0)
    {
        QR_Error::SetCode(QR_ERROR_PARTICLE_SYNTAX);
        return nullptr;
    }
    QR_SharedGenericParticleData* locData = new (std::nothrow) QR_SharedGenericParticleData();
    if (!locData)
        return nullptr;
    if (!locData->Load(locFile) || !locData->SetName(locName))
    {
        delete locData;
        return nullptr;
    }
    return locData;
}

QR_SharedParticleData* QR_SharedParticleData::Create(const char* aName, uint32_t aKind)
{
    char locName[NAME_SIZE];
    NormaliseName(aName, locName, sizeof(locName));
    if (aKind != 0 || Find(locName))
        return nullptr;
    QR_SharedGenericParticleData* locData = new (std::nothrow) QR_SharedGenericParticleData();
    if (!locData)
        return nullptr;
    if (!locData->SetName(locName))
    {
        delete locData;
        return nullptr;
    }
    return locData;
}

void QR_SharedParticleData::Release(QR_SharedParticleData* aDefinition)
{
    if (!aDefinition)
        return;
    QC_ASSERT(aDefinition->myRefCount > 0);
    if (--aDefinition->myRefCount == 0)
        delete aDefinition;
}
