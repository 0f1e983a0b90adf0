// The instance compiler: the input is a .velk text, optionally preceded by a
// .fruit file and a NUL (written as types.fruit for the text to include).
// Each text is compiled without an ignore policy and with one that ignores
// everything, and what was compiled is written out as .velk text again; text
// that is written must compile back to a namespace that writes the same text,
// also with every blank between its words widened to a run of spaces and TABs.
// Text that is no 8-bit text (a UTF-16 mark, a NUL) must compile to nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_typemanager.h"

static const char ourDefaultTypes[] =
    "TYPE Colour\r\n{\r\nRED\r\nGREEN\r\n}\r\n"
    "CLASS Item\r\n{\r\nNUMBER Count 1\r\nDECIMAL Weight\r\nTEXT Name \"none\"\r\nColour Tint RED\r\nItem* Next\r\nFILE Picture\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nNUMBER\r\nItem\r\n}\r\n";

namespace
{
// The blanks before a line's first quote part words (a value holding a blank
// is written in quotes): each becomes a run of blanks.
std::string Widen(const std::string& aText)
{
    std::string locWide;
    bool locQuoted = false;
    for (char locChar : aText)
    {
        if (locChar == '\n')
            locQuoted = false;
        else if (locChar == '"')
            locQuoted = true;
        locWide += locChar == ' ' && !locQuoted ? std::string(" \t ") : std::string(1, locChar);
    }
    return locWide;
}

size_t LongestLine(const std::string& aText)
{
    size_t locLongest = 0;
    for (size_t locStart = 0; locStart < aText.size();)
    {
        size_t locEnd = aText.find('\n', locStart);
        if (locEnd == std::string::npos)
            locEnd = aText.size();
        if (locEnd - locStart > locLongest)
            locLongest = locEnd - locStart;
        locStart = locEnd + 1;
    }
    return locLongest;
}

bool IsEightBitText(const char* aText, size_t aLength)
{
    if (aLength >= 2 && ((aText[0] == '\xFF' && aText[1] == '\xFE') || (aText[0] == '\xFE' && aText[1] == '\xFF')))
        return false;
    return memchr(aText, 0, aLength) == nullptr;
}

// Compiles aText, whether or not its references resolve, and writes what was
// compiled; "" when that cannot be written.
std::string CompileAndWrite(const std::string& aText, const char* aName)
{
    VelkTypeManager locTypeManager;
    VelkNameSpace locNameSpace;
    VelkOutput locOutput;
    VelkCompiler::CompileText(locNameSpace, aName, aText.data(), aText.size(), &locTypeManager, nullptr);
    if (!locNameSpace.WriteTo(locOutput, aName))
        return std::string();
    return locOutput.GetText();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    VelkLog::SetErrorSwitch(false);
    const uint8_t* locSplit = static_cast<const uint8_t*>(memchr(aData, 0, aSize));
    if (locSplit)
        FuzzScratch::Write("types.fruit", aData, locSplit - aData);
    else
        FuzzScratch::Write("types.fruit", ourDefaultTypes, sizeof(ourDefaultTypes) - 1);
    const char* locText = reinterpret_cast<const char*>(locSplit ? locSplit + 1 : aData);
    const size_t locLength = locSplit ? aSize - (locSplit + 1 - aData) : aSize;

    FuzzScratch::Inside locInside;
    for (int locPass = 0; locPass < 2; locPass++)
    {
        VelkTypeManager locTypeManager;
        VelkNameSpace locNameSpace;
        EverythingIgnorer locIgnorer;
        const bool locCompiled = VelkCompiler::CompileText(locNameSpace, "fuzz.velk", locText, locLength,
                                                           &locTypeManager, locPass ? &locIgnorer : nullptr);
        if (!IsEightBitText(locText, locLength) && (locCompiled || locNameSpace.GetNumInstances() != 0))
        {
            fprintf(stderr, "text that is no 8-bit text was read\n");
            abort();
        }
        VelkOutput locOutput;
        if (!locNameSpace.WriteTo(locOutput, "fuzz.velk"))
            continue;
        const std::string& locWritten = locOutput.GetText();
        VelkTypeManager locAgainTypes;
        VelkNameSpace locAgain;
        VelkCompiler::CompileText(locAgain, "again.velk", locWritten.data(), locWritten.size(), &locAgainTypes, nullptr);
        VelkOutput locAgainOutput;
        if (!locAgain.WriteTo(locAgainOutput, "again.velk") || locAgainOutput.GetText() != locWritten)
        {
            fprintf(stderr, "written text did not read back:\n---\n%s\n---\n%s\n", locWritten.c_str(),
                    locAgainOutput.GetText().c_str());
            abort();
        }
        const std::string locWide = Widen(locWritten);
        if (LongestLine(locWide) >= VELK_LINE_BUFFER_SIZE)
            continue;
        const std::string locWideWritten = CompileAndWrite(locWide, "wide.velk");
        if (locWideWritten != locWritten)
        {
            fprintf(stderr, "text widened with blanks did not read back:\n---\n%s\n---\n%s\n", locWide.c_str(),
                    locWideWritten.c_str());
            abort();
        }
    }
    return 0;
}
