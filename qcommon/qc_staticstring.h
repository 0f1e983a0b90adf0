// Fixed-capacity string of the renderer build: the text lives inline.
#pragma once

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "qcommon/qc_assert.h"

template <int StringLength> class QC_StaticString
{
public:
    char myData[StringLength];
    int myLength;

    QC_StaticString()
    {
        myData[0] = 0;
        myLength = 0;
    }

    ~QC_StaticString() { QC_ASSERT(myLength == (int) _tcslen(myData)); }

    QC_StaticString& operator=(const char* aText)
    {
        if (!aText)
        {
            myData[0] = 0;
            myLength = 0;
            return *this;
        }
        int i = (int)strlen(aText);
        QC_ASSERT(i < StringLength);
        memmove(myData, aText, i + 1);
        myLength = i;
        return *this;
    }

    QC_StaticString& operator+=(char aChar)
    {
        QC_ASSERT(myLength + 1 < StringLength);
        myData[myLength] = aChar;
        myData[myLength + 1] = 0;
        myLength++;
        return *this;
    }

    // An over-long result is cut to StringLength - 1 characters.
    void Format(const char* aFormat, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list locArgs;
        va_start(locArgs, aFormat);
        int locResult = vsnprintf(myData, StringLength, aFormat, locArgs);
        va_end(locArgs);
        if (locResult < 0)
            myData[0] = 0;
        myLength = (int)strlen(myData);
    }

    const char* GetBuffer() const { return myData; }
    int GetLength() const { return myLength; }
    operator const char*() const { return myData; }

private:
    // Named after the text of the invariant check it serves.
    static size_t _tcslen(const char* aText) { return strlen(aText); }
};
