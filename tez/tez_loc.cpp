// The .loc encoder and decoder.
#include "tez/tez_loc.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/os/os_savefile.h"
#include "qcommon/qc_listiterator.h"
#include "qfile/qf_file.h"
#include "tez/tez_local.h"
#include "velk/velk_arena.h"
#include "velk/velk_log.h"
#include "velk/velk_type.h"

namespace
{
const char locByteOrderMark[] = "\xEF\xBB\xBF";
const char* const locEmptyValue = "<empty>";

// Bytes of a Latin-1 text once written as UTF-8.
size_t locEncodedLength(const char* aValue, size_t aLength)
{
    size_t locLength = aLength;
    const unsigned char* locText = reinterpret_cast<const unsigned char*>(aValue);
    for (size_t locIndex = 0; locIndex < aLength; ++locIndex)
        locLength += locText[locIndex] >> 7;
    return locLength;
}

// A value of blanks only would lose its TAB to the reader's trimming of the
// line end and break the whole file; it is written as the empty text.
bool locIsBlank(const char* aValue, size_t aLength)
{
    const unsigned char* locText = reinterpret_cast<const unsigned char*>(aValue);
    for (size_t locIndex = 0; locIndex < aLength; ++locIndex)
        if (locText[locIndex] >= 33)
            return false;
    return true;
}

// The decoder skips blanks at the start of a line, takes the key up to the
// first TAB, ends the line at a line feed and cuts it at "//": a key must not
// meet any of these. The offset of the byte at fault, or aLength.
size_t locUnreadableAt(const char* aKey, size_t aLength)
{
    const unsigned char* locText = reinterpret_cast<const unsigned char*>(aKey);
    if (aLength == 0 || locText[0] < 33)
        return 0;
    for (size_t locIndex = 0; locIndex < aLength; ++locIndex)
    {
        if (locText[locIndex] < 32)
            return locIndex;
        if (locText[locIndex] == '/' && locIndex + 1 < aLength && locText[locIndex + 1] == '/')
            return locIndex;
    }
    return aLength;
}

// The name on the key's path that holds the byte at anAt.
std::string locNameAt(const char* aKey, size_t aLength, size_t anAt)
{
    size_t locStart = anAt;
    while (locStart > 0 && aKey[locStart - 1] != '.')
        --locStart;
    size_t locEnd = anAt;
    while (locEnd < aLength && aKey[locEnd] != '.')
        ++locEnd;
    return std::string(aKey + locStart, locEnd - locStart);
}

// The language log's line for a key the conversion refuses: the key, the
// rule, and the name to change.
void locTellRefusedKey(const char* aKey, size_t aLength, TezLocKeyFault aFault, size_t anAt)
{
    if (aFault == TEZ_LOC_KEY_TOO_LONG)
        VelkLog::Error("VelkToTez: the LOCTEXT text '%.255s...' cannot be converted: its key (the names of its "
                       "instance and members, joined by '.') is %zu characters long, and keys hold at most %d; "
                       "shorten the names on its path",
                       aKey, aLength, TEZ_LOC_MAX_KEY);
    else if (aFault == TEZ_LOC_KEY_NOT_ASCII)
        VelkLog::Error("VelkToTez: the LOCTEXT text '%s' cannot be converted: its key (the names of its instance "
                       "and members, joined by '.') holds '%c', and keys hold only ASCII characters (below 128); "
                       "rename '%s'",
                       aKey, aKey[anAt], locNameAt(aKey, aLength, anAt).c_str());
    else if (aLength > anAt + 1 && aKey[anAt] == '/' && aKey[anAt + 1] == '/')
        VelkLog::Error("VelkToTez: the LOCTEXT text '%s' cannot be converted: its key (the names of its instance "
                       "and members, joined by '.') holds \"//\", which would begin a comment in the .loc file; "
                       "rename '%s'",
                       aKey, locNameAt(aKey, aLength, anAt).c_str());
    else
        VelkLog::Error("VelkToTez: the LOCTEXT text '%s' cannot be converted: its key (the names of its instance "
                       "and members, joined by '.') is empty, starts with a blank or holds a control character",
                       aKey);
}

// The value as written: UTF-8 of its Latin-1 bytes into anOut, which has room
// for twice its length; returns the end.
char* locPutEncoded(const char* aValue, size_t aLength, char* anOut)
{
    if (locIsBlank(aValue, aLength))
    {
        memcpy(anOut, locEmptyValue, strlen(locEmptyValue));
        return anOut + strlen(locEmptyValue);
    }
    const unsigned char* locText = reinterpret_cast<const unsigned char*>(aValue);
    for (size_t locIndex = 0; locIndex < aLength; ++locIndex)
    {
        const unsigned char locByte = locText[locIndex];
        if (locByte < 128)
            *anOut++ = static_cast<char>(locByte);
        else
        {
            *anOut++ = static_cast<char>(0xC0 | (locByte >> 6));
            *anOut++ = static_cast<char>(0x80 | (locByte & 0x3F));
        }
    }
    return anOut;
}

// UTF-8 of one, two or three bytes into 16-bit units, with "\n" read as a line
// feed. Four-byte forms cannot be held in one unit; they, over-long forms,
// surrogates and broken sequences are refused.
// Decodes to anOut, which has room for a unit per byte; the end of what was
// written, or null when the text is not valid.
char16_t* locDecodeUtf8(const unsigned char* aText, size_t aLength, char16_t* anOut)
{
    // The "\n" rule looks no further back than the text's start.
    char16_t* const locStart = anOut;
    size_t locIndex = 0;
    while (locIndex < aLength)
    {
        const unsigned char locLead = aText[locIndex];
        char16_t locUnit;
        if (locLead < 0x80)
        {
            locUnit = locLead;
            locIndex += 1;
        }
        else if ((locLead & 0xE0) == 0xC0)
        {
            if (locIndex + 1 >= aLength || (aText[locIndex + 1] & 0xC0) != 0x80)
                return nullptr;
            locUnit = static_cast<char16_t>(((locLead & 0x1F) << 6) | (aText[locIndex + 1] & 0x3F));
            if (locUnit < 0x80)
                return nullptr;
            locIndex += 2;
        }
        else if ((locLead & 0xF0) == 0xE0)
        {
            if (locIndex + 2 >= aLength || (aText[locIndex + 1] & 0xC0) != 0x80 ||
                (aText[locIndex + 2] & 0xC0) != 0x80)
                return nullptr;
            locUnit = static_cast<char16_t>(((locLead & 0x0F) << 12) | ((aText[locIndex + 1] & 0x3F) << 6) |
                                            (aText[locIndex + 2] & 0x3F));
            if (locUnit < 0x800 || (locUnit >= 0xD800 && locUnit <= 0xDFFF))
                return nullptr;
            locIndex += 3;
        }
        else
            return nullptr;

        if (locUnit == u'n' && anOut > locStart && anOut[-1] == u'\\')
            anOut[-1] = u'\n';
        else
            *anOut++ = locUnit;
    }
    return anOut;
}

// After a line that filled the reader's buffer: true when nothing but blanks or
// a comment is left of the physical line, so that no text was cut off.
bool locLineEndsHere(const QF_File& aFile)
{
    for (uint32_t locPos = aFile.myFilePos; locPos < aFile.myFileSize; ++locPos)
    {
        const uint8_t locChar = aFile.myBuffer[locPos];
        if (locChar == '\n')
            return true;
        if (locChar == '/' && locPos + 1 < aFile.myFileSize && aFile.myBuffer[locPos + 1] == '/')
            return true;
        if (locChar >= 33)
            return false;
    }
    return true;
}
}

TezLocKeyFault Tez_CheckLocKey(const char* aKey, size_t aLength, size_t* anAt)
{
    size_t locAt = 0;
    TezLocKeyFault locFault = TEZ_LOC_KEY_OK;
    if (aLength > static_cast<size_t>(TEZ_LOC_MAX_KEY))
        locFault = TEZ_LOC_KEY_TOO_LONG;
    else
    {
        while (locAt < aLength && static_cast<unsigned char>(aKey[locAt]) < 128)
            ++locAt;
        if (locAt < aLength)
            locFault = TEZ_LOC_KEY_NOT_ASCII;
        else if ((locAt = locUnreadableAt(aKey, aLength)) < aLength || aLength == 0)
            locFault = TEZ_LOC_KEY_UNREADABLE;
        else
            locAt = 0;
    }
    if (anAt)
        *anAt = locAt;
    return locFault;
}

bool Tez_LocFileName(const char* aTezFileName, std::string& aLocFileName)
{
    if (!Tez_CutExtension(aTezFileName, aLocFileName))
        return false;
    aLocFileName += ".loc";
    return true;
}

// [SECTION] TezLocEncoder

TezLocEncoder::~TezLocEncoder()
{
    Clear();
}

char* TezLocEncoder::Priv_Take(size_t aCount)
{
    if (!myTexts && !(myTexts = VelkArena::Create()))
        throw std::bad_alloc();
    if (myTextBytes < LARGE_TEXTS && myTextBytes + aCount >= LARGE_TEXTS)
        myTexts->ExpectLarge();
    myTextBytes += aCount;
    char* const locTaken = static_cast<char*>(myTexts->Allocate(aCount, 1));
    if (!locTaken)
        throw std::bad_alloc();
    return locTaken;
}

const char* TezLocEncoder::Priv_Append(const char* aText, size_t aLength)
{
    char* const locCopy = Priv_Take(aLength + 1);
    memcpy(locCopy, aText, aLength);
    locCopy[aLength] = 0;
    return locCopy;
}

int TezLocEncoder::AddKeyValue(VelkType* anInstance, const char* aPrefix)
{
    const int locIndex = GetNumKeyValues();
    Pair locPair;
    const size_t locPrefixLength = aPrefix && aPrefix[0] ? strlen(aPrefix) + 1 : 0;
    const char* const locName = anInstance->GetName().GetBuffer();
    const size_t locNameLength = strlen(locName);
    // A path of deep, long names may pass what a string holds; cut, it is
    // still refused as too long a key.
    locPair.myKeyLength = std::min<size_t>(locPrefixLength + locNameLength, 4096);
    char* const locKey = Priv_Take(locPair.myKeyLength + 1);
    char* locAt = locKey;
    const auto locPut = [&locAt, locKey, &locPair](const char* aText, size_t aLength) {
        aLength = std::min(aLength, locPair.myKeyLength - static_cast<size_t>(locAt - locKey));
        memcpy(locAt, aText, aLength);
        locAt += aLength;
    };
    if (locPrefixLength)
    {
        locPut(aPrefix, locPrefixLength - 1);
        locPut(".", 1);
    }
    locPut(locName, locNameLength);
    *locAt = 0;
    locPair.myKey = locKey;
    const QC_String& locValue = anInstance->GetValue();
    locPair.myValueLength = strlen(locValue.GetBuffer());
    locPair.myValue = Priv_Append(locValue.GetBuffer(), locPair.myValueLength);
    myPairs.push_back(locPair);
    return locIndex;
}

int TezLocEncoder::AddKeyValue(const char* aKey, const char* aValue)
{
    const int locIndex = GetNumKeyValues();
    Pair locPair;
    locPair.myKeyLength = strlen(aKey);
    locPair.myKey = Priv_Append(aKey, locPair.myKeyLength);
    locPair.myValueLength = strlen(aValue);
    locPair.myValue = Priv_Append(aValue, locPair.myValueLength);
    myPairs.push_back(locPair);
    return locIndex;
}

void TezLocEncoder::Clear()
{
    if (myTexts)
        myTexts->Release();
    myTexts = nullptr;
    myTextBytes = 0;
    myPairs.clear();
}

bool TezLocEncoder::ValidateKeyValues()
{
    // Every key the conversion refuses is told, so that one save names all
    // the names to change; the debug output has the first.
    constexpr int locMaxTold = 20;
    int locRefused = 0;
    for (const Pair& locPair : myPairs)
    {
        const char* const locKey = locPair.myKey;
        size_t locAt = 0;
        const TezLocKeyFault locFault = Tez_CheckLocKey(locKey, locPair.myKeyLength, &locAt);
        if (locFault != TEZ_LOC_KEY_OK)
        {
            if (locRefused == 0 && locFault == TEZ_LOC_KEY_TOO_LONG)
                Tez_Print("TezLocEncoder::ValidateKeyValues(): key '%s' was longer than 255 characters", locKey);
            else if (locRefused == 0 && locFault == TEZ_LOC_KEY_NOT_ASCII)
                Tez_Print("TezLocEncoder::ValidateKeyValues(): key '%s' contained invalid characters (> 127 ASCII)",
                          locKey);
            else if (locRefused == 0)
                Tez_Print("TezLocEncoder::ValidateKeyValues(): key '%s' of a LOCTEXT instance cannot be read back: "
                          "it is empty, starts with a blank, or holds a TAB, a control character or \"//\"",
                          locKey);
            if (locRefused++ < locMaxTold)
                locTellRefusedKey(locKey, locPair.myKeyLength, locFault, locAt);
            continue;
        }
        // The decoder reads at most this many characters a line.
        const size_t locLineLength =
            locPair.myKeyLength + 1 + locEncodedLength(locPair.myValue, locPair.myValueLength);
        if (locLineLength <= static_cast<size_t>(TEZ_LOC_MAX_LINE))
            continue;
        if (locRefused == 0)
            Tez_Print("TezLocEncoder::ValidateKeyValues(): value of key '%s' is longer than %d characters when encoded",
                      locKey, TEZ_LOC_MAX_LINE);
        if (locRefused++ < locMaxTold)
            VelkLog::Error("VelkToTez: the LOCTEXT text '%s' cannot be converted: with its key its line in the .loc "
                           "file would be %zu characters long, and lines hold at most %d",
                           locKey, locLineLength, TEZ_LOC_MAX_LINE);
    }
    if (locRefused > locMaxTold)
        VelkLog::Error("VelkToTez: %d more LOCTEXT texts cannot be converted", locRefused - locMaxTold);
    return locRefused == 0;
}

// The file in pieces handed to aPut(text, length) as they fill; false as
// soon as aPut fails.
template <class Put>
bool TezLocEncoder::Priv_Encode(Put aPut)
{
    constexpr size_t locPiece = 256 * 1024;
    std::unique_ptr<char[]> locBuffer(new char[locPiece]);
    char* locAt = locBuffer.get();
    memcpy(locAt, locByteOrderMark, 3);
    locAt += 3;
    for (const Pair& locPair : myPairs)
    {
        // Key, TAB, the value at twice its length at most (or "<empty>"), CR LF.
        const size_t locRoom = locPair.myKeyLength + 1 + std::max<size_t>(2 * locPair.myValueLength, 7) + 2;
        if (static_cast<size_t>(locBuffer.get() + locPiece - locAt) < locRoom)
        {
            if (!aPut(locBuffer.get(), static_cast<size_t>(locAt - locBuffer.get())))
                return false;
            if (locRoom > locPiece)
                locBuffer.reset(new char[locRoom]);
            locAt = locBuffer.get();
        }
        memcpy(locAt, locPair.myKey, locPair.myKeyLength);
        locAt += locPair.myKeyLength;
        *locAt++ = '\t';
        locAt = locPutEncoded(locPair.myValue, locPair.myValueLength, locAt);
        *locAt++ = '\r';
        *locAt++ = '\n';
        if (locRoom > locPiece)
        {
            // A line longer than a piece went out alone.
            if (!aPut(locBuffer.get(), static_cast<size_t>(locAt - locBuffer.get())))
                return false;
            locBuffer.reset(new char[locPiece]);
            locAt = locBuffer.get();
        }
    }
    return locAt == locBuffer.get() || aPut(locBuffer.get(), static_cast<size_t>(locAt - locBuffer.get()));
}

bool TezLocEncoder::Encode(std::string& anOut)
{
    anOut.clear();
    if (!ValidateKeyValues())
        return false;
    return Priv_Encode([&anOut](const char* aText, size_t aLength) {
        anOut.append(aText, aLength);
        return true;
    });
}

bool TezLocEncoder::WriteTo(OS_SaveFile& aFile)
{
    return Priv_Encode([&aFile](const char* aText, size_t aLength) { return aFile.Write(aText, aLength); });
}

bool TezLocEncoder::Prepare(const char* aTezFileName, OS_SaveFile& aFile)
{
    if (!ValidateKeyValues())
        return false;
    std::string locLocName;
    if (!Tez_LocFileName(aTezFileName, locLocName))
        return false;
    if (!aFile.Begin(locLocName.c_str()) || !WriteTo(aFile))
    {
        aFile.Abandon();
        return false;
    }
    return true;
}

bool TezLocEncoder::Save(const char* aTezFileName)
{
    OS_SaveFile locFile;
    return Prepare(aTezFileName, locFile) && locFile.Commit();
}

// [SECTION] TezLocDecoder

TezLocDecoder::~TezLocDecoder()
{
    Priv_Free();
}

void TezLocDecoder::Priv_Free()
{
    // The strings point into the pool, which goes on its own.
    for (uint32_t locIndex = 0; myTexts && locIndex < myNumTexts; ++locIndex)
        myTexts[locIndex].myText = nullptr;
    delete[] myTexts;
    myTexts = nullptr;
    myNumTexts = 0;
    OS_FreeLarge(myPool, myPoolSize);
    myPool = nullptr;
    myPoolSize = 0;
}

const QC_LocString* TezLocDecoder::GetText(uint32_t anIndex) const
{
    return anIndex < myNumTexts ? &myTexts[anIndex] : nullptr;
}

bool TezLocDecoder::Load(const char* aTezFileName)
{
    std::string locLocName;
    if (!Tez_LocFileName(aTezFileName, locLocName))
    {
        Priv_Free();
        return false;
    }
    return LoadFile(locLocName.c_str());
}

bool TezLocDecoder::LoadFile(const char* aLocFileName)
{
    Priv_Free();
    QF_File locFile;
    // Read through at once and closed: mapped when large.
    if (!locFile.Open(aLocFileName, OPEN_READ | OPEN_MAPPED))
        return false;
    char locMark[3];
    if (locFile.Read(locMark, 3) != 3 || memcmp(locMark, locByteOrderMark, 3) != 0)
        return false;

    // Every text lies in one pool, followed by its NUL, and the strings point
    // into it. A line's value decodes to at most a unit per byte, and its tab
    // leaves room for the NUL: the file's size bounds the pool. There are no
    // more texts than lines.
    uint32_t locMaxTexts = 1;
    for (const uint8_t* locAt = locFile.myBuffer; locAt && locAt < locFile.myBuffer + locFile.myFileSize; ++locAt)
    {
        locAt = static_cast<const uint8_t*>(memchr(locAt, '\n', locFile.myBuffer + locFile.myFileSize - locAt));
        if (!locAt)
            break;
        locMaxTexts++;
    }
    myPoolSize = sizeof(char16_t) * (size_t(locFile.myFileSize) + 1);
    myPool = static_cast<char16_t*>(OS_AllocLarge(myPoolSize));
    myTexts = new (std::nothrow) QC_LocString[locMaxTexts];
    if (!myPool || !myTexts)
    {
        Priv_Free();
        return false;
    }
    char16_t* locPoolEnd = myPool;
    char locLine[TEZ_LOC_MAX_LINE + 1];
    for (;;)
    {
        const uint32_t locLength = locFile.ReadLine(locLine, sizeof(locLine));
        if (locLength == 0)
            break;
        const int locNumber = static_cast<int>(myNumTexts);
        if (locLength >= static_cast<uint32_t>(TEZ_LOC_MAX_LINE) && !locLineEndsHere(locFile))
        {
            Tez_Print("TezLocDecoder::Load(): error in '%s', line %d is longer than %d characters", aLocFileName,
                      locNumber, TEZ_LOC_MAX_LINE);
            Priv_Free();
            return false;
        }
        const char* locTab = static_cast<const char*>(memchr(locLine, '\t', locLength));
        if (!locTab)
        {
            Tez_Print("TezLocDecoder::Load(): error in '%s', found line without a tab delimiter", aLocFileName);
            Priv_Free();
            return false;
        }
        const char* locValue = locTab + 1;
        const size_t locValueLength = locLength - static_cast<size_t>(locValue - locLine);
        // Never met, by the bounds above; checked all the same.
        if (myNumTexts == locMaxTexts || locValueLength + 1 > size_t(myPool + locFile.myFileSize + 1 - locPoolEnd))
        {
            Priv_Free();
            return false;
        }
        char16_t* const locText = locPoolEnd;
        if (locValueLength != strlen(locEmptyValue) || memcmp(locValue, locEmptyValue, locValueLength) != 0)
        {
            locPoolEnd = locDecodeUtf8(reinterpret_cast<const unsigned char*>(locValue), locValueLength, locText);
            if (!locPoolEnd)
            {
                Tez_Print("TezLocDecoder::Load(): error in '%s', line %d holds invalid or unsupported UTF-8",
                          aLocFileName, locNumber);
                Priv_Free();
                return false;
            }
        }
        *locPoolEnd++ = 0;
        myTexts[myNumTexts].myText = locText;
        myTexts[myNumTexts].myLength = static_cast<int>(locPoolEnd - 1 - locText);
        myNumTexts++;
    }
    return true;
}
