// The editor's ".pe" parse on arbitrary text; a record that parses is formatted and, when
// the writer takes it, must parse back to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_util.h"
#include "modeleditor/emitterfile.h"
#include "qfile/render/qf_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    FuzzScratch::Write("f.pe", aData, aSize);
    FuzzScratch::Inside locInside;
    EmitterRecord locRecord;
    QF_File locFile;
    if (!locFile.Open("f.pe", QF_READ))
        return 0;
    bool locParsed = EmitterFile_Parse(locFile, locRecord);
    locFile.Close();
    if (!locParsed || locRecord.myPhases.size() > (size_t)EMITTERFILE_MAX_PHASES)
    {
        if (locRecord.myPhases.size() > (size_t)EMITTERFILE_MAX_PHASES)
            abort();
        return 0;
    }
    std::string locText;
    if (!EmitterFile_Format(locRecord, locText))
        return 0;
    FuzzScratch::Write("g.pe", locText.data(), locText.size());
    EmitterRecord locAgain;
    QF_File locBack;
    if (!locBack.Open("g.pe", QF_READ) || !EmitterFile_Parse(locBack, locAgain))
        abort();
    locBack.Close();
    std::string locText2;
    if (!EmitterFile_Format(locAgain, locText2) || locText2 != locText)
        abort();
    return 0;
}
