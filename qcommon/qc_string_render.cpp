// The renderer build's further string operations: the full set of relational
// operators, trimming, appending, Mid, Delete and text replacement.
#include "qcommon/qc_string.h"

#include <string.h>

#include "qcommon/qc_assert.h"

namespace
{
const char* locNonNull(const char* aString)
{
    return aString ? aString : "";
}

int locCompare(const char* a, const char* b)
{
    return strcmp(locNonNull(a), locNonNull(b));
}

constexpr int locMaxLength = 65534;
} // namespace

bool QC_String::operator<(const char* aString) const { return locCompare(myText, aString) < 0; }
bool QC_String::operator<=(const char* aString) const { return locCompare(myText, aString) <= 0; }
bool QC_String::operator>(const char* aString) const { return locCompare(myText, aString) > 0; }
bool QC_String::operator>=(const char* aString) const { return locCompare(myText, aString) >= 0; }
bool QC_String::operator<=(const QC_String& aString) const { return locCompare(myText, aString.myText) <= 0; }
bool QC_String::operator>=(const QC_String& aString) const { return locCompare(myText, aString.myText) >= 0; }

bool operator==(const char* aText, const QC_String& aString) { return locCompare(aText, aString) == 0; }
bool operator!=(const char* aText, const QC_String& aString) { return locCompare(aText, aString) != 0; }
bool operator<(const char* aText, const QC_String& aString) { return locCompare(aText, aString) < 0; }
bool operator<=(const char* aText, const QC_String& aString) { return locCompare(aText, aString) <= 0; }
bool operator>(const char* aText, const QC_String& aString) { return locCompare(aText, aString) > 0; }
bool operator>=(const char* aText, const QC_String& aString) { return locCompare(aText, aString) >= 0; }

int QC_String::Compare(const char* aString) const
{
    return locCompare(myText, aString);
}

void QC_String::TrimLeft()
{
    int locLength = GetLength();
    int locStart = 0;
    while (locStart < locLength && (unsigned char)myText[locStart] <= 32)
        locStart++;
    if (locStart > 0)
        CopyFrom(myText + locStart, locLength - locStart);
}

int QC_String::TrimRight()
{
    int locLength = GetLength();
    int locNewLength = locLength;
    while (locNewLength > 0 && (unsigned char)myText[locNewLength - 1] <= 32)
        locNewLength--;
    // The shared empty buffer is never written; it has nothing to trim anyway.
    if (locNewLength != locLength)
    {
        SetLengthWord(myText, locNewLength);
        myText[locNewLength] = 0;
    }
    return locNewLength;
}

QC_String& QC_String::operator+=(const char* aString)
{
    if (!aString)
        return *this;
    int locLength = GetLength();
    int locAdded = (int)strlen(aString);
    char* locText = AllocateBuffer(locLength + locAdded);
    memcpy(locText, myText, (size_t)locLength);
    memcpy(locText + locLength, aString, (size_t)locAdded);
    FreeBuffer(myText);
    myText = locText;
    return *this;
}

QC_String& QC_String::AppendString(const QC_String& anOther)
{
    int locLength = GetLength();
    int locAdded = anOther.GetLength();
    // Lengths are 16-bit words: the sum is cut at the longest string there can be.
    if (locAdded > 65534 - locLength)
        locAdded = 65534 - locLength;
    char* locText = AllocateBuffer(locLength + locAdded);
    memcpy(locText, myText, (size_t)locLength);
    memcpy(locText + locLength, anOther.myText, (size_t)locAdded);
    FreeBuffer(myText);
    myText = locText;
    return *this;
}

QC_String& QC_String::operator+=(char aChar)
{
    char locText[2] = {aChar, 0};
    if (!aChar)
    {
        // A NUL is carried by length like the other copies by length.
        int locLength = GetLength();
        char* locNew = AllocateBuffer(locLength + 1);
        memcpy(locNew, myText, (size_t)locLength);
        FreeBuffer(myText);
        myText = locNew;
        return *this;
    }
    return *this += locText;
}

QC_String QC_String::operator+(const QC_String& aString) const
{
    QC_String locResult;
    int locLength = GetLength();
    int locOther = aString.GetLength();
    char* locText = AllocateBuffer(locLength + locOther);
    memcpy(locText, myText, (size_t)locLength);
    memcpy(locText + locLength, aString.myText, (size_t)locOther);
    FreeBuffer(locResult.myText);
    locResult.myText = locText;
    return locResult;
}

QC_String operator+(const char* aText, const QC_String& aString)
{
    QC_String locResult(aText);
    locResult += aString.GetBuffer();
    return locResult;
}

QC_String QC_String::Mid(int aStart, int aCount) const
{
    int locLength = GetLength();
    QC_String locResult;
    if (aStart < 0 || aCount < 0 || aStart > locLength)
    {
        locResult.Set("");
        return locResult;
    }
    if (aCount > locLength - aStart)
        aCount = locLength - aStart;
    locResult.CopyFrom(myText + aStart, aCount);
    return locResult;
}

int QC_String::Delete(int aStart, int aCount)
{
    int locLength = GetLength();
    if (locLength == 0 || aStart < 0 || aStart >= locLength || aCount <= 0)
        return locLength;
    if (aCount > locLength - aStart)
        aCount = locLength - aStart;
    char* locText = AllocateBuffer(locLength - aCount);
    memcpy(locText, myText, (size_t)aStart);
    memcpy(locText + aStart, myText + aStart + aCount, (size_t)(locLength - aStart - aCount));
    FreeBuffer(myText);
    myText = locText;
    return locLength;
}

int QC_String::Replace(const char* aFind, const char* aReplacement)
{
    if (!aFind || !aFind[0])
        return 0;
    aReplacement = locNonNull(aReplacement);
    // Such a replacement would be found again at once, for ever.
    if (strstr(aReplacement, aFind))
        return 0;
    int locFindLength = (int)strlen(aFind);
    int locReplacementLength = (int)strlen(aReplacement);
    int locCount = 0;
    for (;;)
    {
        const char* locHit = strstr(myText, aFind);
        if (!locHit)
            break;
        int locPosition = (int)(locHit - myText);
        int locLength = GetLength();
        int locNewLength = locLength - locFindLength + locReplacementLength;
        // Bounded by the longest string there can be.
        if (locNewLength > locMaxLength || locCount == locMaxLength)
            break;
        char* locText = AllocateBuffer(locNewLength);
        memcpy(locText, myText, (size_t)locPosition);
        memcpy(locText + locPosition, aReplacement, (size_t)locReplacementLength);
        memcpy(locText + locPosition + locReplacementLength, locHit + locFindLength,
               (size_t)(locLength - locPosition - locFindLength));
        FreeBuffer(myText);
        myText = locText;
        locCount++;
    }
    return locCount;
}
