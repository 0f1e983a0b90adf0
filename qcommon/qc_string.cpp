// The value string of the common library.
#include "qcommon/qc_string.h"

#include "qcommon/qc_assert.h"

#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>

// A zero length word, then the NUL. Never freed, never written.
alignas(2) static char ourEmptyBuffer[3] = {0, 0, 0};
static char* const ourEmptyText = ourEmptyBuffer + 2;

static const char* locNonNull(const char* aString)
{
    return aString ? aString : "";
}

const char* QC_String::GetSharedEmptyText()
{
    return ourEmptyText;
}

void QC_String::SetLengthWord(char* aText, int aSize)
{
    uint16_t locLength = (uint16_t)aSize;
    memcpy(aText - 2, &locLength, 2);
}

int QC_String::GetLengthWord(const char* aText)
{
    uint16_t locLength;
    memcpy(&locLength, aText - 2, 2);
    return locLength;
}

// A new buffer of aSize characters: the length word, the text, the NUL.
char* QC_String::AllocateBuffer(int aSize)
{
    QC_ASSERT(aSize >= 0 && aSize < 65535);
    char* locBlock = (char*)malloc((size_t)aSize + 3);
    if (!locBlock)
        QC_Mem::FatalError("QC_String: out of memory allocating %d characters", aSize);
    char* locText = locBlock + 2;
    SetLengthWord(locText, aSize);
    locText[aSize] = 0;
    return locText;
}

void QC_String::FreeBuffer(char* aText)
{
    if (aText != ourEmptyText)
        free(aText - 2);
}

// Builds the new buffer before the old one goes, so aSource may lie inside it.
void QC_String::CopyFrom(const char* aSource, int aLength)
{
    char* locText = AllocateBuffer(aLength);
    if (aLength > 0)
        memcpy(locText, aSource, (size_t)aLength);
    FreeBuffer(myText);
    myText = locText;
}

QC_String::QC_String()
    : myText(ourEmptyText)
{
}

QC_String::QC_String(const char* aString)
    : myText(ourEmptyText)
{
    Set(aString);
}

QC_String::QC_String(const QC_String& aString)
    : myText(ourEmptyText)
{
    CopyFrom(aString.myText, aString.GetLength());
}

QC_String::QC_String(QC_String&& aString) noexcept
    : myText(aString.myText)
{
    aString.myText = ourEmptyText;
}

QC_String::~QC_String()
{
    FreeBuffer(myText);
    myText = ourEmptyText;
}

QC_String& QC_String::operator=(const char* aString)
{
    Set(aString);
    return *this;
}

QC_String& QC_String::operator=(const QC_String& aString)
{
    if (&aString != this)
        CopyFrom(aString.myText, aString.GetLength());
    return *this;
}

QC_String& QC_String::operator=(QC_String&& aString) noexcept
{
    if (&aString != this)
    {
        FreeBuffer(myText);
        myText = aString.myText;
        aString.myText = ourEmptyText;
    }
    return *this;
}

QC_String& QC_String::operator=(char aChar)
{
    SetChar(aChar);
    return *this;
}

void QC_String::Set(const char* aString)
{
    if (aString == myText)
        return;
    if (!aString)
    {
        FreeBuffer(myText);
        myText = ourEmptyText;
        return;
    }
    size_t locLength = strlen(aString);
    QC_ASSERT(locLength < 65535);
    CopyFrom(aString, (int)locLength);
}

void QC_String::SetChar(char aChar)
{
    CopyFrom(&aChar, 1);
}

char* QC_String::Allocate(int aSize)
{
    char* locText = AllocateBuffer(aSize);
    memset(locText, 0, (size_t)aSize);
    FreeBuffer(myText);
    myText = locText;
    return myText;
}

void QC_String::Borrow(char* aText)
{
    FreeBuffer(myText);
    myText = aText ? aText : ourEmptyText;
}

void QC_String::Unborrow()
{
    myText = ourEmptyText;
}

int QC_String::GetLength() const
{
    return GetLengthWord(myText);
}

bool QC_String::operator==(const char* aString) const
{
    return strcmp(myText, locNonNull(aString)) == 0;
}

bool QC_String::operator==(const QC_String& aString) const
{
    return strcmp(myText, aString.myText) == 0;
}

bool QC_String::operator!=(const char* aString) const
{
    return strcmp(myText, locNonNull(aString)) != 0;
}

bool QC_String::operator!=(const QC_String& aString) const
{
    return strcmp(myText, aString.myText) != 0;
}

bool QC_String::operator<(const QC_String& aString) const
{
    return strcmp(myText, aString.myText) < 0;
}

bool QC_String::operator>(const QC_String& aString) const
{
    return strcmp(myText, aString.myText) > 0;
}

int QC_String::CompareNoCase(const char* aString) const
{
    return strcasecmp(myText, locNonNull(aString));
}

int QC_String::CompareNoCase(const QC_String& aString) const
{
    return strcasecmp(myText, aString.myText);
}

int QC_String::Find(char aChar) const
{
    const char* locFound = (const char*)memchr(myText, aChar, (size_t)GetLength());
    return locFound ? (int)(locFound - myText) : -1;
}

int QC_String::Find(const char* aSubString) const
{
    const char* locFound = strstr(myText, locNonNull(aSubString));
    return locFound ? (int)(locFound - myText) : -1;
}

int QC_String::ReverseFind(char aChar) const
{
    for (int locIndex = GetLength(); locIndex >= 0; --locIndex)
    {
        if (myText[locIndex] == aChar)
            return locIndex;
    }
    return -1;
}

int QC_String::Replace(char aFrom, char aTo)
{
    if (aFrom == aTo)
        return 0;
    int locCount = 0;
    int locLength = GetLength();
    for (int locIndex = 0; locIndex < locLength; ++locIndex)
    {
        if (myText[locIndex] == aFrom)
        {
            myText[locIndex] = aTo;
            ++locCount;
        }
    }
    return locCount;
}

// The shared empty buffer holds only the NUL, so these never write to it.
void QC_String::MakeLower()
{
    for (char* locChar = myText; *locChar; ++locChar)
        *locChar = (char)tolower((unsigned char)*locChar);
}

void QC_String::MakeUpper()
{
    for (char* locChar = myText; *locChar; ++locChar)
        *locChar = (char)toupper((unsigned char)*locChar);
}

QC_String QC_String::operator+(const char* aString) const
{
    const char* locAppend = locNonNull(aString);
    int locLength = GetLength();
    size_t locAppendLength = strlen(locAppend);
    QC_ASSERT(locAppendLength < 65535);
    QC_String locResult;
    char* locText = AllocateBuffer(locLength + (int)locAppendLength);
    memcpy(locText, myText, (size_t)locLength);
    memcpy(locText + locLength, locAppend, locAppendLength);
    locResult.myText = locText;
    return locResult;
}

QC_String QC_String::Left(int aCount) const
{
    int locLength = GetLength();
    if (aCount > locLength)
        aCount = locLength;
    QC_String locResult;
    locResult.myText = AllocateBuffer(aCount);
    memcpy(locResult.myText, myText, (size_t)aCount);
    return locResult;
}

QC_String QC_String::Right(int aCount) const
{
    int locLength = GetLength();
    if (aCount > locLength)
        aCount = locLength;
    QC_String locResult;
    locResult.myText = AllocateBuffer(aCount);
    memcpy(locResult.myText, myText + locLength - aCount, (size_t)aCount);
    return locResult;
}

void QC_String::Format(const char* aFormat, ...)
{
    va_list locArgs;
    va_start(locArgs, aFormat);
    FormatV(aFormat, locArgs);
    va_end(locArgs);
}

void QC_String::FormatV(const char* aFormat, va_list anArgs)
{
    va_list locMeasureArgs;
    va_copy(locMeasureArgs, anArgs);
    int locLength = vsnprintf(nullptr, 0, locNonNull(aFormat), locMeasureArgs);
    va_end(locMeasureArgs);
    if (locLength < 0)
        locLength = 0;
    // The buffer is left untouched until the text is complete: the arguments
    // may be this string's own text.
    char* locText = AllocateBuffer(locLength);
    if (locLength > 0)
        vsnprintf(locText, (size_t)locLength + 1, aFormat, anArgs);
    FreeBuffer(myText);
    myText = locText;
}
