// A localised text: 16-bit characters, NUL-terminated, with its length.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>

class QC_LocString
{
public:
    QC_LocString()
        : myText(NULL)
        , myLength(0)
    {
    }

    QC_LocString(const QC_LocString& aString)
        : myText(NULL)
        , myLength(0)
    {
        Set(aString.myText, aString.myLength);
    }

    ~QC_LocString() { delete[] myText; }

    QC_LocString& operator=(const QC_LocString& aString)
    {
        if (&aString != this)
            Set(aString.myText, aString.myLength);
        return *this;
    }

    // Copies a NUL-terminated text; a null text empties the string.
    QC_LocString& operator=(const char16_t* aText)
    {
        if (aText == myText)
            return *this;
        int locLength = 0;
        if (aText)
            while (aText[locLength])
                ++locLength;
        Set(aText, locLength);
        return *this;
    }

    // Copies aLength characters and adds the NUL. False when out of memory
    // (the string is then empty).
    bool Set(const char16_t* aText, int aLength)
    {
        char16_t* locText = NULL;
        if (aText && aLength >= 0)
        {
            locText = new (std::nothrow) char16_t[(size_t)aLength + 1];
            if (locText)
            {
                memcpy(locText, aText, sizeof(char16_t) * (size_t)aLength);
                locText[aLength] = 0;
            }
        }
        delete[] myText;
        myText = locText;
        myLength = locText ? aLength : 0;
        return locText != NULL || !aText;
    }

    const char16_t* GetText() const { return myText ? myText : u""; }
    int GetLength() const { return myLength; }

    char16_t* myText;
    int myLength;
};
