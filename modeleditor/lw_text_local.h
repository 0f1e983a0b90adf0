// Reading the lines of LightWave scene and motion text: keywords without
// regard to case and numbers in the C locale, whatever the user's locale.
#pragma once

#include <math.h>
#include <strings.h>

#include <charconv>

// Reads numbers off a text one after the other, as "%f %d" would.
class LWNumberScanner
{
public:
    explicit LWNumberScanner(const char* aText) : myText(aText) {}

    bool Float(float* aValue)
    {
        const char *locStart, *locEnd;
        NextToken(&locStart, &locEnd);
        std::from_chars_result locResult = std::from_chars(locStart, locEnd, *aValue);
        if (locResult.ec == std::errc::result_out_of_range)
        {
            // Too large or too small for a float: as strtof, the nearest limit.
            double locWide = 0;
            std::from_chars(locStart, locEnd, locWide);
            *aValue = (float)locWide;
        }
        else if (locResult.ec != std::errc())
            return false;
        myText = locResult.ptr;
        return true;
    }
    bool Int(int* aValue)
    {
        const char *locStart, *locEnd;
        NextToken(&locStart, &locEnd);
        std::from_chars_result locResult = std::from_chars(locStart, locEnd, *aValue);
        if (locResult.ec != std::errc())
            return false;
        myText = locResult.ptr;
        return true;
    }

private:
    // The next blank-separated word, without a leading '+' (which from_chars refuses).
    void NextToken(const char** aStart, const char** anEnd)
    {
        while (*myText == ' ' || *myText == '\t')
            myText++;
        *aStart = myText + (*myText == '+');
        *anEnd = *aStart;
        while (**anEnd && **anEnd != ' ' && **anEnd != '\t')
            (*anEnd)++;
    }
    const char* myText;
};

// The text after aKeyword when aLine starts with it (without regard to case), else null.
inline const char* LWAfterKeyword(const char* aLine, const char* aKeyword)
{
    size_t locLength = strlen(aKeyword);
    return strncasecmp(aLine, aKeyword, locLength) == 0 ? aLine + locLength : nullptr;
}
