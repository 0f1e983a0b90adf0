// The instance compiler: the input is a .velk text, optionally preceded by a
// .fruit file and a NUL (written as types.fruit for the text to include).
// Each text is compiled without an ignore policy and with one that ignores
// everything, and what was compiled is written out as .velk text again; text
// that is written must compile back to a namespace that writes the same text,
// also with every blank between its words widened to a run of spaces and TABs.
// Text that is no 8-bit text (a UTF-16 mark, a NUL) must compile to nothing.
// A compile never holds more objects than its limit, and the written text cut
// inside a block (at a place the input picks) must be refused.
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
#include "velk/velk_type.h"
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

// The objects of anObject and its members.
uint64_t CountObjects(VelkType* anObject)
{
    uint64_t locCount = 1;
    for (VelkType* locMember : anObject->GetMemberView())
        locCount += CountObjects(locMember);
    return locCount;
}

uint64_t CountObjects(VelkNameSpace& aNameSpace)
{
    QC_List<VelkType*> locRoots;
    aNameSpace.GetInstances(locRoots, true);
    uint64_t locCount = 0;
    for (QC_ListLink<VelkType*>* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
        locCount += CountObjects(locLink->myItem);
    return locCount;
}

// Types whose instances are many objects: roots of them reach the compile's limit
// in a few lines.
bool HasLargeType(const VelkTypeManager& aTypeManager)
{
    QC_List<VelkType*> locTypes;
    aTypeManager.GetTypes(locTypes);
    for (QC_ListLink<VelkType*>* locLink = locTypes.myFirstLink; locLink; locLink = locLink->myNext)
        if (aTypeManager.GetTypeSize(locLink->myItem->GetTypeName().GetBuffer()).myObjects >= 10000)
            return true;
    return false;
}

// The lines of aText before aCut leave a block open ("{" and "}" alone on their lines).
bool InsideBlock(const std::string& aText, size_t aCut)
{
    int locDepth = 0;
    for (size_t locStart = 0; locStart < aCut;)
    {
        size_t locEnd = aText.find('\n', locStart);
        if (locEnd == std::string::npos || locEnd > aCut)
            locEnd = aCut;
        const size_t locFirst = aText.find_first_not_of(" \t\r", locStart);
        if (locFirst < locEnd)
        {
            size_t locLast = locEnd;
            while (locLast > locFirst && strchr(" \t\r", aText[locLast - 1]))
                locLast--;
            if (locLast - locFirst == 1 && aText[locFirst] == '{')
                locDepth++;
            else if (locLast - locFirst == 1 && aText[locFirst] == '}' && locDepth > 0)
                locDepth--;
        }
        locStart = locEnd + 1;
    }
    return locDepth > 0;
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
    int locPasses = 2;
    for (int locPass = 0; locPass < locPasses; locPass++)
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
        const uint64_t locObjects = CountObjects(locNameSpace);
        if (locObjects > VELK_MAX_COMPILE_OBJECTS + VELK_COMPILE_OBJECTS_PER_BYTE * locLength)
        {
            fprintf(stderr, "a compile of %zu bytes made %llu objects\n", locLength, (unsigned long long)locObjects);
            abort();
        }
        // Millions of objects written and read again, or compiled once more,
        // would make the run crawl.
        if (locObjects > 100000)
            break;
        if (locPass == 0 && HasLargeType(locTypeManager))
            locPasses = 1;
        VelkOutput locOutput;
        if (!locNameSpace.WriteTo(locOutput, "fuzz.velk"))
            continue;
        const std::string& locWritten = locOutput.GetText();
        if (!locWritten.empty())
        {
            const size_t locCut = (locLength * 2654435761u + locPass) % locWritten.size();
            VelkTypeManager locCutTypes;
            VelkNameSpace locCutSpace;
            if (InsideBlock(locWritten, locCut) &&
                VelkCompiler::CompileText(locCutSpace, "cut.velk", locWritten.data(), locCut, &locCutTypes, nullptr))
            {
                fprintf(stderr, "text cut inside a block at %zu was read:\n---\n%s\n", locCut,
                        locWritten.substr(0, locCut).c_str());
                abort();
            }
        }
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
