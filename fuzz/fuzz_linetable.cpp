// The line-number table loader over a program image in memory (the table is
// read from the end of the image), then lookups and frame lines.
#include <cstdint>
#include <cstring>

#include "qcommon/qc_stacktrace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (QC_StackTrace::LoadImage(aData, aSize))
    {
        // Addresses around the table's range, and words of the image itself.
        const uintptr_t locBase = QC_StackTrace::GetImageBase();
        uint32_t locAddresses[8] = {0, 1, 0x1000, 0x7FFFFFFF, 0xFFFFFFFF, 0, 0, 0};
        for (size_t i = 0; i < 3 && (i + 1) * 4 <= aSize; i++)
            memcpy(&locAddresses[5 + i], aData + i * 4, 4);
        for (uint32_t locAddress : locAddresses)
        {
            QC_StackTrace::LookupRecord locRecord;
            locRecord.myAddress = locBase + locAddress;
            if (QC_StackTrace::Lookup(&locRecord) && strnlen(locRecord.myName, sizeof(locRecord.myName)) == sizeof(locRecord.myName))
                __builtin_trap();  // the name must be terminated
            char locLine[300];
            QC_StackTrace::FormatFrame(locBase + locAddress, locLine, sizeof(locLine), locAddress & 1);
        }
    }
    QC_StackTrace::Free();
    return 0;
}
