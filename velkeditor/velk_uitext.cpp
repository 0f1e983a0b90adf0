// Velk text (Latin-1) to and from the UI layer's UTF-8.
#include "velkeditor/velk_uitext.h"

#include <cstdio>

namespace
{
// The longest text a QC_String holds.
const size_t locMaxLength = 65534;

// The length of the UTF-8 sequence that starts at anAt; 1 for a byte that starts none.
size_t locSequenceLength(const std::string& aText, size_t anAt)
{
    const unsigned char locLead = static_cast<unsigned char>(aText[anAt]);
    size_t locLength = locLead >= 0xF5 ? 1 : locLead >= 0xF0 ? 4 : locLead >= 0xE0 ? 3 : locLead >= 0xC2 ? 2 : 1;
    for (size_t i = 1; i < locLength; i++)
        if (anAt + i >= aText.size() || (static_cast<unsigned char>(aText[anAt + i]) & 0xC0) != 0x80)
            return 1;
    return locLength;
}
} // namespace

std::string VelkText_ToUI(const char* aText)
{
    std::string locText;
    for (const unsigned char* locChar = reinterpret_cast<const unsigned char*>(aText ? aText : ""); *locChar;
         locChar++)
    {
        if (*locChar < 0x80)
            locText += char(*locChar);
        else
        {
            locText += char(0xC0 | (*locChar >> 6));
            locText += char(0x80 | (*locChar & 0x3F));
        }
    }
    return locText;
}

std::string VelkText_LineToUI(const char* aLine)
{
    const std::string locLine = aLine ? aLine : "";
    for (size_t i = 0; i < locLine.size();)
    {
        const size_t locLength = locSequenceLength(locLine, i);
        if (locLength == 1 && static_cast<unsigned char>(locLine[i]) >= 0x80)
            return VelkText_ToUI(aLine);
        i += locLength;
    }
    return locLine;
}

bool VelkText_FromUI(const std::string& aText, QC_String& anOut, std::string* aWhy)
{
    std::string locText;
    locText.reserve(aText.size());
    for (size_t i = 0; i < aText.size();)
    {
        const unsigned char locLead = static_cast<unsigned char>(aText[i]);
        if (locLead < 0x80)
        {
            locText += char(locLead);
            i++;
            continue;
        }
        // U+0080..U+00FF: C2 or C3 and one continuation byte.
        size_t locLength = locSequenceLength(aText, i);
        if (locLength == 2 && (locLead == 0xC2 || locLead == 0xC3))
        {
            locText += char(((locLead & 0x03) << 6) | (static_cast<unsigned char>(aText[i + 1]) & 0x3F));
            i += 2;
            continue;
        }
        if (aWhy)
        {
            if (locLength > 1)
                *aWhy = "'" + aText.substr(i, locLength) +
                        "' is not a character of ISO 8859-1 (Latin-1), the only characters Velk text holds.";
            else
            {
                char locByte[64];
                std::snprintf(locByte, sizeof(locByte), "The byte 0x%02X is not UTF-8 text.", locLead);
                *aWhy = locByte;
            }
        }
        return false;
    }
    if (locText.size() > locMaxLength)
    {
        if (aWhy)
            *aWhy = "The text is " + std::to_string(locText.size()) + " characters long; Velk text holds at most " +
                    std::to_string(locMaxLength) + ".";
        return false;
    }
    anOut = locText.c_str();
    return true;
}
