// Template objects: the process-wide list, sharing by name, and the ".qrb" reader. Every
// count, index and name read from a file is checked against what is left before it is used;
// damaged data gives code 24 with the file name.
//
// [SECTION] Records
// [SECTION] The list
// [SECTION] Reading
#include "qrender/qr_templateobject.h"

#include <new>
#include <stdio.h>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qfile/render/qf_file.h"
#include "qrender/qr_error.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_vertexshader.h"

QR_TemplateObject** QR_TemplateObject::ourList = nullptr;
uint32_t QR_TemplateObject::ourNumTemplates = 0;

// [SECTION] Records ----------------------------------------------------------------------------

QR_TemplateState::QR_TemplateState()
    : myId(0)
    , myBlendTime(0.0f)
    , myDuration(0.0f)
    , myNextState(0)
    , myParent(0)
    , myRestarts(false)
    , myIsVisible(false)
    , myIsRemembered(false)
{
}

QR_TemplatePart::QR_TemplatePart()
    : myName(nullptr)
    , myStates(nullptr)
    , myNumStates(0)
    , myMesh(nullptr)
    , myMaxDistanceSquared(1.0e15f)
    , mySkinGroup(-1)
    , myNumTextureNames(0)
    , myTextureWord(0)
    , myTextureNames(nullptr)
{
    myMatrix.SetIdentity();
}

QR_TemplatePart::~QR_TemplatePart()
{
    delete[] myName;
    if (myMesh)
        myMesh->Release();
    delete[] myStates;
    delete[] myTextureNames;
}

QR_ParticleLink::QR_ParticleLink()
    : myDefinition(nullptr)
    , myStateId(0)
    , myPartIndex(0xFFFFFFFF)
{
}

QR_ParticleLink::~QR_ParticleLink()
{
    QR_SharedParticleData::Release(myDefinition);
}

// [SECTION] The list ---------------------------------------------------------------------------

QR_TemplateObject::QR_TemplateObject(const char* aNormalisedName)
    : myRefCount(1)
    , myName(nullptr)
    , myBoundCentre{0.0f, 0.0f, 0.0f}
    , myBoundRadius(1.0f)
    , myParts(nullptr)
    , myNumParts(0)
    , myLinks(nullptr)
    , myNumLinks(0)
    , myLights(nullptr)
    , myNumLights(0)
    , myExpressions(nullptr)
    , myNumExpressions(0)
    , myLoadCount(0)
{
    size_t locLength = strlen(aNormalisedName);
    myName = new (std::nothrow) char[locLength + 1];
    if (myName)
        memcpy(myName, aNormalisedName, locLength + 1);
}

QR_TemplateObject::~QR_TemplateObject()
{
    Empty();
    delete[] myName;
    for (uint32_t i = 0; i < ourNumTemplates; i++)
    {
        if (ourList[i] != this)
            continue;
        memmove(ourList + i, ourList + i + 1, sizeof(*ourList) * (ourNumTemplates - i - 1));
        if (--ourNumTemplates == 0)
        {
            delete[] ourList;
            ourList = nullptr;
        }
        break;
    }
}

void QR_TemplateObject::Empty()
{
    delete[] myParts;
    myParts = nullptr;
    myNumParts = 0;
    delete[] myLinks;
    myLinks = nullptr;
    myNumLinks = 0;
    for (uint32_t i = 0; i < myNumExpressions; i++)
        delete[] myExpressions[i];
    delete[] myExpressions;
    myExpressions = nullptr;
    myNumExpressions = 0;
    delete[] myLights;
    myLights = nullptr;
    myNumLights = 0;
}

bool QR_TemplateObject::NormaliseName(const char* aName, char* aResult)
{
    uint32_t n = 0;
    for (; aName[n]; n++)
    {
        if (n + 1 >= NAME_SIZE)
            return false;
        char c = aName[n];
        aResult[n] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : (c == '\\' ? '/' : c);
    }
    aResult[n] = 0;
    return true;
}

QR_TemplateObject* QR_TemplateObject::Find(const char* aNormalisedName)
{
    for (uint32_t i = 0; i < ourNumTemplates; i++)
        if (ourList[i]->myName && strcmp(ourList[i]->myName, aNormalisedName) == 0)
            return ourList[i];
    return nullptr;
}

// A new template at the end of the list; null when memory runs out.
static QR_TemplateObject* locAdd(QR_TemplateObject* aTemplate)
{
    if (!aTemplate)
        return nullptr;
    QR_TemplateObject** locList = new (std::nothrow) QR_TemplateObject*[QR_TemplateObject::ourNumTemplates + 1];
    if (!locList || !aTemplate->myName)
    {
        delete[] locList;
        return nullptr;
    }
    if (QR_TemplateObject::ourNumTemplates)
        memcpy(locList, QR_TemplateObject::ourList, sizeof(*locList) * QR_TemplateObject::ourNumTemplates);
    delete[] QR_TemplateObject::ourList;
    QR_TemplateObject::ourList = locList;
    locList[QR_TemplateObject::ourNumTemplates++] = aTemplate;
    return aTemplate;
}

QR_TemplateObject* QR_TemplateObject::Acquire(const char* aFileName)
{
    char locName[NAME_SIZE];
    if (!NormaliseName(aFileName, locName))
    {
        QR_Error::SetCode(QR_ERROR_MODEL_OPEN);
        QR_Error::Printf("%s", aFileName);
        return nullptr;
    }
    if (QR_TemplateObject* locFound = Find(locName))
    {
        locFound->myRefCount++;
        return locFound;
    }
    QR_TemplateObject* locNew = new (std::nothrow) QR_TemplateObject(locName);
    if (!locAdd(locNew))
    {
        delete locNew;
        return nullptr;
    }
    if (!locNew->LoadQRB())
    {
        delete locNew;
        return nullptr;
    }
    return locNew;
}

QR_TemplateObject* QR_TemplateObject::Create(const char* aName)
{
    char locName[NAME_SIZE];
    uint32_t n = 0;
    for (; aName[n] && n + 1 < NAME_SIZE; n++)
        locName[n] = (aName[n] >= 'A' && aName[n] <= 'Z') ? (char)(aName[n] - 'A' + 'a') : aName[n];
    locName[n] = 0;
    if (aName[n] || Find(locName))
        return nullptr;
    QR_TemplateObject* locNew = new (std::nothrow) QR_TemplateObject(locName);
    if (!locAdd(locNew))
    {
        delete locNew;
        return nullptr;
    }
    return locNew;
}

void QR_TemplateObject::Release()
{
    QC_ASSERT(myRefCount > 0);
    if (--myRefCount == 0)
        delete this;
}

void QR_TemplateObject::DestroyAll()
{
    while (ourNumTemplates)
        delete ourList[0];
}

bool QR_TemplateObject::ReloadAll()
{
    for (uint32_t i = 0; i < ourNumTemplates; i++)
        ourList[i]->Empty();
    for (uint32_t i = 0; i < ourNumTemplates; i++)
        if (!ourList[i]->LoadQRB())
            return false;
    return true;
}

// [SECTION] Reading ----------------------------------------------------------------------------

namespace
{
// The smallest stored size of each record, to bound counts by the bytes left.
const uint32_t MIN_PART_BYTES = 1 + 4 + 64 + 4 + 4 + 4 + 4 + 4;
const uint32_t MIN_STATE_BYTES = 8 * 4 + 6 * 4;
const uint32_t MIN_TEXTURE_ENTRY_BYTES = 3 * 4;
const uint32_t MIN_LINK_BYTES = 4 + 1 + 4;
const uint32_t MIN_LIGHT_BYTES = 4 + 4 + 12 + 3 * 4 + 4;

// Field reads of one file, each bounded by what is left; a failure sets code 24 with the
// file name (other layers' failures keep their own codes).
class locReader
{
public:
    locReader(QF_File& aFile, const char* aFileName) : myFile(aFile), myFileName(aFileName) {}

    bool Damaged()
    {
        QR_Error::SetCode(QR_ERROR_MODEL_DATA);
        QR_Error::Printf("%s", myFileName);
        return false;
    }
    uint32_t Left() const { return myFile.GetSize() - myFile.GetPos(); }
    bool U32(uint32_t* aValue) { return myFile.ReadU32(aValue) || Damaged(); }
    bool I32(int32_t* aValue) { return U32((uint32_t*)aValue); }
    bool F32(float* aValue)
    {
        uint32_t locBits;
        if (!U32(&locBits))
            return false;
        memcpy(aValue, &locBits, 4);
        return true;
    }
    bool Flag(bool* aValue)
    {
        uint32_t locWord;
        if (!U32(&locWord))
            return false;
        *aValue = locWord != 0;
        return true;
    }
    bool Raw(void* aData, uint32_t aSize) { return myFile.Read(aData, aSize) == aSize || Damaged(); }
    // A count whose records, each at least aMinBytes long, fit in what is left.
    bool Count(uint32_t* aCount, uint32_t aMinBytes)
    {
        return U32(aCount) && ((uint64_t)*aCount * aMinBytes <= Left() || Damaged());
    }
    // A NUL-terminated string of at most aSize - 1 characters.
    bool String(char* aDestination, uint32_t aSize)
    {
        for (uint32_t n = 0; n < aSize; n++)
        {
            if (myFile.GetPos() >= myFile.GetSize())
                return Damaged();
            char c = (char)myFile.ReadChar();
            aDestination[n] = c;
            if (c == 0)
                return true;
        }
        return Damaged(); // no NUL within the limit: the rest would be read astray
    }
    bool Name(char* aDestination) { return String(aDestination, QR_TemplateObject::NAME_SIZE); }
    bool Path(QR_SplinePath* aPath) { return aPath->Read(myFile) || Damaged(); }
    // A presence word and, when it is 1, a path.
    bool OptionalPath(QR_SplinePath** aPath)
    {
        uint32_t locPresence;
        if (!U32(&locPresence))
            return false;
        if (locPresence > 1)
            return Damaged();
        if (locPresence == 0)
            return true;
        *aPath = new (std::nothrow) QR_SplinePath();
        return (*aPath && Path(*aPath)) || Damaged();
    }
    bool Skip(uint32_t aSize)
    {
        return (aSize <= Left() && myFile.Seek(myFile.GetPos() + aSize, 0)) || Damaged();
    }

    QF_File& myFile;
    const char* myFileName;
};

char* locCopy(const char* aText)
{
    size_t n = strlen(aText);
    char* locText = new (std::nothrow) char[n + 1];
    if (locText)
        memcpy(locText, aText, n + 1);
    return locText;
}

// A part's matrix is made from its parent's, computed earlier in the same
// update: a parent must come before the part (aPart is the part's index).
bool locReadState(locReader& r, QR_TemplateState& s, uint32_t aPart, const char* aPartName, uint32_t aNumParts,
                  uint32_t aNumStates)
{
    if (!r.U32(&s.myId) || !r.I32(&s.myParent) || !r.Flag(&s.myIsVisible) || !r.Flag(&s.myIsRemembered) ||
        !r.F32(&s.myBlendTime) || !r.F32(&s.myDuration) || !r.I32(&s.myNextState) || !r.Flag(&s.myRestarts) ||
        !r.Path(&s.myPath))
        return false;
    if (s.myParent < -1 || s.myParent >= (int64_t)aNumParts || s.myNextState < -2 ||
        s.myNextState >= (int64_t)aNumStates)
        return r.Damaged();
    if (s.myParent >= (int64_t)aPart)
    {
        r.Damaged();
        QR_Error::Printf("%s: part '%s': parent %d is not before the part", r.myFileName, aPartName, s.myParent);
        return false;
    }
    return true;
}

bool locReadMesh(locReader& r, QR_TemplatePart& p)
{
    uint32_t locKind;
    if (!r.U32(&locKind))
        return false;
    if (locKind != 1 && locKind != 2)
        return true; // no mesh
    char locName[QR_TemplateObject::NAME_SIZE];
    if (!r.Name(locName))
        return false;
    if (locKind == 1)
    {
        uint32_t locSize;
        if (QR_Mesh* locMesh = QR_Mesh::Create(locName))
        {
            p.myMesh = locMesh;
            return r.U32(&locSize) && locMesh->ReadMeshData(r.myFile, r.myFileName);
        }
        // Met before: its stored block is skipped.
        p.myMesh = QR_Mesh::Find(locName);
        if (!r.U32(&locSize) || !r.Skip(locSize))
            return false;
    }
    else
        p.myMesh = QR_Mesh::Find(locName);
    return p.myMesh != nullptr || r.Damaged();
}

bool locReadTextureNames(locReader& r, QR_TemplatePart& p)
{
    if (!r.Count(&p.myNumTextureNames, MIN_TEXTURE_ENTRY_BYTES) || !r.U32(&p.myTextureWord))
        return false;
    if (p.myNumTextureNames == 0)
        return true;
    p.myTextureNames = new (std::nothrow) QR_TextureNames[p.myNumTextureNames];
    if (!p.myTextureNames)
        return r.Damaged();
    const QR_Surface* locSurface = p.myMesh ? p.myMesh->mySurface : nullptr;
    for (uint32_t j = 0; j < p.myNumTextureNames; j++)
    {
        QR_TextureNames& t = p.myTextureNames[j];
        uint32_t locCount;
        if (!r.U32(&t.myType) || !r.F32(&t.myFramesPerSecond) || !r.Count(&locCount, 1))
            return false;
        // Only texture and bump-map slots carry names.
        if (t.myType > QR_SURFACETEXTURETYPE_BUMPMAP)
            return r.Damaged();
        if (locCount)
        {
            t.myNames = new (std::nothrow) QR_FrameName[locCount];
            if (!t.myNames)
                return r.Damaged();
            t.myNumNames = locCount;
        }
        for (uint32_t k = 0; k < locCount; k++)
        {
            char locName[QR_TemplateObject::NAME_SIZE];
            if (!r.Name(locName))
                return false;
            t.myNames[k] = locName;
        }
        // The entries override the mesh surface's slots one for one.
        if (p.myMesh &&
            (!locSurface || j >= locSurface->myNumTextureNames || locSurface->myTextureNames[j].myType != t.myType))
            return r.Damaged();
    }
    return true;
}

bool locReadPart(locReader& r, QR_TemplatePart& p, uint32_t aPart, uint32_t aNumParts)
{
    char locName[QR_TemplateObject::NAME_SIZE];
    if (!r.Name(locName))
        return false;
    p.myName = locCopy(locName);
    if (!p.myName || !r.F32(&p.myMaxDistanceSquared) || !r.Raw(p.myMatrix.myMatrix, 64) || !r.I32(&p.mySkinGroup) ||
        !r.Count(&p.myNumStates, MIN_STATE_BYTES))
        return false;
    if (p.myNumStates)
    {
        p.myStates = new (std::nothrow) QR_TemplateState[p.myNumStates];
        if (!p.myStates)
            return r.Damaged();
        for (uint32_t k = 0; k < p.myNumStates; k++)
            if (!locReadState(r, p.myStates[k], aPart, p.myName, aNumParts, p.myNumStates))
                return false;
    }
    return locReadMesh(r, p) && locReadTextureNames(r, p);
}

bool locReadHalo(locReader& r, QR_Light& l)
{
    char locSurface[QR_TemplateObject::NAME_SIZE], locTexture[QR_TemplateObject::NAME_SIZE];
    if (!r.Name(locSurface))
        return false;
    if (!locSurface[0])
        return true;
    if (!r.Name(locTexture))
        return false;
    l.myHalo = QR_Surface::CreateInstanceWithTexture(locSurface, locTexture);
    return l.myHalo != nullptr; // the surface or texture layer's code stays
}

bool locReadLight(locReader& r, QR_Light& l, uint32_t aNumParts)
{
    if (!r.U32(&l.myPartIndex) || !r.U32(&l.myType))
        return false;
    if ((l.myPartIndex != 0xFFFFFFFF && l.myPartIndex >= aNumParts) || l.myType > QR_LIGHT_SPOT)
        return r.Damaged();
    l.myLightMask = 2; // model lights form their own group
    if (!r.Raw(l.myColor, 12) || !r.OptionalPath(&l.myMotionPath) || !r.OptionalPath(&l.myColorPath) ||
        !r.OptionalPath(&l.myRangePath))
        return false;
    switch (l.myType)
    {
    case QR_LIGHT_DIRECTIONAL:
        if (!r.Raw(l.myDirection, 12))
            return false;
        break;
    case QR_LIGHT_POINT:
        if (!r.Raw(l.myPosition, 12) || !r.F32(&l.myRange) || !locReadHalo(r, l))
            return false;
        break;
    case QR_LIGHT_SPOT:
        if (!r.Raw(l.myPosition, 12) || !r.Raw(l.myDirection, 12) || !r.F32(&l.myRange) ||
            !r.F32(&l.myConeValues[0]) || !r.F32(&l.myConeValues[1]) || !r.F32(&l.myFallOff) || !locReadHalo(r, l))
            return false;
        break;
    default: // type 2 has no fields, as the editor writes it
        break;
    }
    return r.U32(&l.myStateId);
}

// Consecutive parts of one skin group are drawn as one mesh whose bones fill the palette.
bool locSkinRunsFit(const QR_TemplatePart* aParts, uint32_t aNumParts)
{
    uint32_t locRun = 0;
    for (uint32_t i = 0; i < aNumParts; i++)
    {
        bool locSame = i > 0 && aParts[i].mySkinGroup >= 0 && aParts[i].mySkinGroup == aParts[i - 1].mySkinGroup;
        locRun = locSame ? locRun + 1 : 1;
        if (aParts[i].mySkinGroup >= 0 && locRun > QR_MAXBONEMATRICES)
            return false;
    }
    return true;
}
} // namespace

bool QR_TemplateObject::LoadQRB()
{
    myLoadCount++;
    QF_File locFile;
    if (!locFile.Open(myName, QF_READ))
    {
        QR_Error::SetCode(QR_ERROR_MODEL_OPEN);
        QR_Error::Printf("%s", myName);
        return false;
    }
    locReader r(locFile, myName);
    uint32_t locMagic = 0;
    if (!locFile.ReadU32(&locMagic) || locMagic != ('Q' | 'R' << 8 | 'B' << 16 | 9u << 24))
    {
        QR_Error::SetCode(QR_ERROR_MODEL_VERSION);
        QR_Error::Printf("%s", myName);
        return false;
    }
    if (!r.F32(&myBoundRadius) || !r.Raw(myBoundCentre, 12) || !r.Count(&myNumParts, MIN_PART_BYTES))
        return false;
    if (myNumParts)
    {
        myParts = new (std::nothrow) QR_TemplatePart[myNumParts];
        if (!myParts)
        {
            myNumParts = 0;
            return r.Damaged();
        }
        for (uint32_t i = 0; i < myNumParts; i++)
            if (!locReadPart(r, myParts[i], i, myNumParts))
                return false;
        if (!locSkinRunsFit(myParts, myNumParts))
            return r.Damaged();
    }

    if (!r.Count(&myNumLinks, MIN_LINK_BYTES))
    {
        myNumLinks = 0;
        return false;
    }
    if (myNumLinks)
    {
        myLinks = new (std::nothrow) QR_ParticleLink[myNumLinks];
        if (!myLinks)
        {
            myNumLinks = 0;
            return r.Damaged();
        }
        for (uint32_t i = 0; i < myNumLinks; i++)
        {
            QR_ParticleLink& l = myLinks[i];
            char locName[NAME_SIZE];
            if (!r.U32(&l.myPartIndex) || !r.Name(locName))
                return false;
            if (l.myPartIndex != 0xFFFFFFFF && l.myPartIndex >= myNumParts)
                return r.Damaged();
            l.myDefinition = QR_SharedParticleData::Acquire(locName);
            if (!l.myDefinition || !r.U32(&l.myStateId))
                return false;
        }
    }

    uint32_t locNumStrings;
    if (!r.Count(&locNumStrings, 1))
        return false;
    if (locNumStrings)
    {
        uint32_t locIgnored;
        if (!r.U32(&locIgnored))
            return false;
        if (locNumStrings > r.Left())
            return r.Damaged();
        myExpressions = new (std::nothrow) char*[locNumStrings]();
        if (!myExpressions)
            return r.Damaged();
        for (; myNumExpressions < locNumStrings; myNumExpressions++)
        {
            char locText[EXPRESSION_SIZE];
            if (!r.String(locText, sizeof(locText)))
                return false;
            if (!(myExpressions[myNumExpressions] = locCopy(locText)))
                return r.Damaged();
        }
    }

    if (!r.Count(&myNumLights, MIN_LIGHT_BYTES))
    {
        myNumLights = 0;
        return false;
    }
    if (myNumLights)
    {
        myLights = new (std::nothrow) QR_Light[myNumLights];
        if (!myLights)
        {
            myNumLights = 0;
            return r.Damaged();
        }
        for (uint32_t i = 0; i < myNumLights; i++)
            if (!locReadLight(r, myLights[i], myNumParts))
                return false;
    }
    return true;
}
