// The instance compiler: the input is a .velk text, optionally preceded by a
// .fruit file and a NUL (written as types.fruit for the text to include).
// Each text is compiled without an ignore policy and with one that ignores
// everything, and what was compiled is written out as .velk text again; text
// that is written must compile back to a namespace that writes the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_typemanager.h"

static const char ourDefaultTypes[] =
    "TYPE Colour\r\n{\r\nRED\r\nGREEN\r\n}\r\n"
    "CLASS Item\r\n{\r\nNUMBER Count 1\r\nDECIMAL Weight\r\nTEXT Name \"none\"\r\nColour Tint RED\r\nItem* Next\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nNUMBER\r\nItem\r\n}\r\n";

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
        VelkCompiler::CompileText(locNameSpace, "fuzz.velk", locText, locLength, &locTypeManager,
                                  locPass ? &locIgnorer : nullptr);
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
    }
    return 0;
}
