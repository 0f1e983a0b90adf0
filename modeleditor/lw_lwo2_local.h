// The LWO2 reading primitives over a file opened with byte swapping, bounded
// by the end of the chunk or sub-chunk being read, shared by the chunk walk
// and the surface, clip and envelope readers.
#pragma once

#include <stdint.h>
#include <string.h>

#include <vector>

#include "modeleditor/lw_object.h"
#include "qfile/render/qf_file.h"

class LWReader
{
public:
    explicit LWReader(QF_File& aFile)
        : myFile(aFile), mySwapped((aFile.myFlags & QF_FLAG_SWAP_BYTES) != 0), myEnd(aFile.myFileSize)
    {
    }

    uint32_t GetPos() const { return myFile.myFilePos; }
    uint32_t GetEnd() const { return myEnd; }
    // Bytes left before the end of the current chunk.
    uint32_t Left() const { return myFile.myFilePos < myEnd ? myEnd - myFile.myFilePos : 0; }

    // Every read fails, reading nothing, when its field would cross the end.
    bool ID4(uint32_t* anId)
    {
        uint8_t locBytes[4];
        if (!Fetch(locBytes, 4))
            return false;
        *anId = ((uint32_t)locBytes[0] << 24) | ((uint32_t)locBytes[1] << 16) | ((uint32_t)locBytes[2] << 8) |
                locBytes[3];
        return true;
    }
    bool U1(uint8_t* aValue) { return Fetch(aValue, 1); }
    // 16- and 32-bit values in the byte order of the file object's swap mode.
    bool U2(uint16_t* aValue)
    {
        uint8_t b[2];
        if (!Fetch(b, 2))
            return false;
        *aValue = mySwapped ? (uint16_t)((b[0] << 8) | b[1]) : (uint16_t)(b[0] | (b[1] << 8));
        return true;
    }
    bool U4(uint32_t* aValue)
    {
        uint8_t b[4];
        if (!Fetch(b, 4))
            return false;
        *aValue = mySwapped ? ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3]
                            : ((uint32_t)b[3] << 24) | ((uint32_t)b[2] << 16) | ((uint32_t)b[1] << 8) | b[0];
        return true;
    }
    bool F4(float* aValue)
    {
        uint32_t locBits;
        if (!U4(&locBits))
            return false;
        memcpy(aValue, &locBits, 4);
        return true;
    }
    bool VEC12(LWVec3* aValue) { return F4(&aValue->x) && F4(&aValue->y) && F4(&aValue->z); }
    // An index: two bytes, or four when the first two read 0xFF00 or more
    // (then the low 24 bits of the four).
    bool VX(uint32_t* aValue)
    {
        uint16_t locHigh;
        if (!U2(&locHigh))
            return false;
        if (locHigh < 0xFF00)
        {
            *aValue = locHigh;
            return true;
        }
        uint16_t locLow;
        if (!U2(&locLow))
            return false;
        *aValue = ((uint32_t)(locHigh & 0xFF) << 16) | locLow;
        return true;
    }
    // A string with its NUL, padded to an even count. The whole string is
    // consumed whatever its length; the first 65534 characters are kept.
    // A missing pad at the very end of the chunk is tolerated.
    bool S0(QC_String* aString);
    // aCount raw bytes.
    bool Bytes(std::vector<uint8_t>* aData, uint32_t aCount)
    {
        if (Left() < aCount)
            return false;
        aData->resize(aCount);
        if (aCount)
            myFile.Read(aData->data(), aCount);
        return true;
    }
    void SkipTo(uint32_t aPos) { myFile.Seek(aPos < myEnd ? aPos : myEnd, 0); }

    // Makes [pos, pos + aSize) the current chunk; false when it runs past the
    // enclosing one. Leave() goes to the chunk's end plus its pad byte (when
    // the size is odd and the enclosing chunk has room) and restores the
    // enclosing end.
    struct Scope
    {
        uint32_t myOuterEnd;
        uint32_t myEnd;
    };
    bool Enter(uint32_t aSize, Scope* aScope)
    {
        if (aSize > Left())
        {
            myOverrun = true;
            return false;
        }
        aScope->myOuterEnd = myEnd;
        aScope->myEnd = myFile.myFilePos + aSize + (aSize & 1);
        myEnd = myFile.myFilePos + aSize;
        return true;
    }
    void Leave(const Scope& aScope)
    {
        myEnd = aScope.myOuterEnd;
        myFile.Seek(aScope.myEnd < myEnd ? aScope.myEnd : myEnd, 0);
    }

    // A declared size ran past its enclosing chunk: the file is damaged,
    // whereas a field crossing the end of its sub-chunk only cuts it short.
    bool HasOverrun() const { return myOverrun; }

    // Records an unknown chunk ID that was skipped, once per ID.
    void NoteSkipped(uint32_t anId) { NoteOnce(&mySkipped, anId); }
    const std::vector<uint32_t>& GetSkipped() const { return mySkipped; }
    // Records a known sub-chunk that was shorter than its fields, once per ID.
    void NoteShort(uint32_t anId) { NoteOnce(&myShort, anId); }
    const std::vector<uint32_t>& GetShort() const { return myShort; }

    QF_File& myFile;

private:
    // Copies the next bytes: straight from a whole-file buffer, else through Read.
    bool Fetch(void* aDestination, uint32_t aCount)
    {
        if (Left() < aCount)
            return false;
        if (myFile.myBuffer && !(myFile.myFlags & QF_FLAG_STREAMING))
        {
            memcpy(aDestination, myFile.myBuffer + myFile.myFilePos, aCount);
            myFile.myFilePos += aCount;
        }
        else
            myFile.Read(aDestination, aCount);
        return true;
    }

    static void NoteOnce(std::vector<uint32_t>* aList, uint32_t anId)
    {
        for (uint32_t locId : *aList)
            if (locId == anId)
                return;
        if (aList->size() < 32)
            aList->push_back(anId);
    }

    bool mySwapped;
    bool myOverrun = false;
    uint32_t myEnd;
    std::vector<uint32_t> mySkipped;
    std::vector<uint32_t> myShort;
};

// The readers of the chunks that hold sub-chunks; each reads the body of
// the current chunk. False when a field crosses the end of its chunk.
bool LWReadSurface(LWReader& aReader, LWSurface* aSurface);
bool LWReadClip(LWReader& aReader, LWClip* aClip);
bool LWReadEnvelope(LWReader& aReader, LWEnvelope* anEnvelope);
