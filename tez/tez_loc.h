// Localisation files (.loc): the LOCTEXT texts of a converted namespace, one
// UTF-8 line per text after a byte-order mark, "key TAB value CR LF". The line
// number, from 0, is the index the .tez file stores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/os_memory.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_locstring.h"
#include "qcommon/qc_string.h"

class OS_SaveFile;
class VelkArena;
class VelkType;

// Longest key, in characters; keys are ASCII.
constexpr int TEZ_LOC_MAX_KEY = 255;
// Longest line the decoder reads, in characters (its line buffer holds one more).
constexpr int TEZ_LOC_MAX_LINE = 4095;

// Why a key cannot go into a .loc file, in the order the encoder checks.
enum TezLocKeyFault
{
    TEZ_LOC_KEY_OK,
    TEZ_LOC_KEY_TOO_LONG,   // over TEZ_LOC_MAX_KEY characters
    TEZ_LOC_KEY_NOT_ASCII,  // a byte of 128 or more
    TEZ_LOC_KEY_UNREADABLE, // empty, a blank first, a control character or "//": the decoder would misread it
};
// The first fault of a key; anAt (may be null) gets the offset of the byte
// at fault (of the first '/' of "//"; 0 for a key too long or empty).
TezLocKeyFault Tez_CheckLocKey(const char* aKey, size_t aLength, size_t* anAt = nullptr);

// The .loc name beside a .tez name; false when the name has no extension.
bool Tez_LocFileName(const char* aTezFileName, std::string& aLocFileName);

class TezLocEncoder
{
public:
    TezLocEncoder() = default;
    ~TezLocEncoder();
    TezLocEncoder(const TezLocEncoder&) = delete;
    TezLocEncoder& operator=(const TezLocEncoder&) = delete;

    // Appends the instance's value under "prefix.name" (the name alone without a
    // prefix); returns the pair's index, from 0.
    int AddKeyValue(VelkType* anInstance, const char* aPrefix);
    // The same with the key and the value given.
    int AddKeyValue(const char* aKey, const char* aValue);

    // Keys of at most 255 ASCII characters, and lines the decoder can read whole.
    bool ValidateKeyValues();
    // Writes the .loc file beside the .tez file at once.
    bool Save(const char* aTezFileName);
    // Validates and writes the whole file into a save file begun on the .loc
    // name; the caller commits it (together with its .tez) or abandons it.
    bool Prepare(const char* aTezFileName, OS_SaveFile& aFile);
    // The bytes of the file; false when a pair does not validate.
    bool Encode(std::string& anOut);
    // Writes the bytes of the file, validated before, into a save file in
    // pieces; false when a write fails.
    bool WriteTo(OS_SaveFile& aFile);

    int GetNumKeyValues() const { return static_cast<int>(myPairs.size()); }
    void Clear();

private:
    // A pair's key and value, each followed by a NUL.
    struct Pair
    {
        const char* myKey;
        size_t myKeyLength;
        const char* myValue;
        size_t myValueLength;
    };
    // Large blocks: a namespace may hold texts by the ten thousand.
    std::vector<Pair, OS_LargeAllocator<Pair>> myPairs;
    // The texts, in an arena of their own: in large blocks once they pass
    // LARGE_TEXTS bytes.
    static constexpr size_t LARGE_TEXTS = 64 * 1024;
    VelkArena* myTexts = nullptr;
    size_t myTextBytes = 0;

    template <class Put>
    bool Priv_Encode(Put aPut);

    // Room for aCount bytes in the blocks, taken.
    char* Priv_Take(size_t aCount);
    // A copy of the text with its NUL.
    const char* Priv_Append(const char* aText, size_t aLength);
};

class TezLocDecoder
{
public:
    TezLocDecoder() = default;
    ~TezLocDecoder();
    TezLocDecoder(const TezLocDecoder&) = delete;
    TezLocDecoder& operator=(const TezLocDecoder&) = delete;

    // Reads the .loc file beside the .tez file. On failure nothing is kept.
    bool Load(const char* aTezFileName);
    // Reads the .loc file of that name; the name is used in messages.
    bool LoadFile(const char* aLocFileName);

    uint32_t GetNumTexts() const { return myNumTexts; }
    // The text at that index, or null past the end.
    const QC_LocString* GetText(uint32_t anIndex) const;

private:
    void Priv_Free();

    uint32_t myNumTexts = 0;
    // Strings that point into the pool.
    QC_LocString* myTexts = nullptr;
    char16_t* myPool = nullptr;
    size_t myPoolSize = 0;
};
