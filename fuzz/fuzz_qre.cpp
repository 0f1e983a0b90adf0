// The .qre command file: every line parsed as its keyword's command in every
// file version, written back and parsed again (the written line must read back
// to the same line when the saver called it readable), then the whole file
// loaded in execute-only mode through a scene that accepts every command.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "modeleditor/qre_commands.h"
#include "platform/os/os_ui.h"

namespace
{
bool AcceptAll(QRECommand&, uint32_t)
{
    return true;
}

void CheckLine(const char* aLine, size_t aLength)
{
    const char* locSpace = static_cast<const char*>(memchr(aLine, ' ', aLength));
    const uint32_t locKeywordLength = static_cast<uint32_t>(locSpace ? locSpace - aLine : aLength);
    for (uint32_t locVersion = 0; locVersion <= QRECommand::CURRENT_VERSION; ++locVersion)
    {
        QRECommand* locCommand = QRE_CreateCommand(aLine, locKeywordLength);
        if (!locCommand)
            return;
        std::string locText(aLine, aLength);
        if (ParseQRECommand(*locCommand, locText.data(), locVersion))
        {
            QC_String locWritten;
            bool locReadable = false;
            if (QRE_FormatCommand(*locCommand, locWritten, &locReadable) && locReadable)
            {
                QRECommand* locAgain = QRE_CreateCommand(aLine, locKeywordLength);
                std::string locCopy = locWritten.GetBuffer();
                if (!ParseQRECommand(*locAgain, locCopy.data(), QRECommand::CURRENT_VERSION))
                    abort();
                QC_String locSecond;
                if (!QRE_FormatCommand(*locAgain, locSecond, nullptr) || locSecond != locWritten)
                    abort();
                delete locAgain;
            }
        }
        delete locCommand;
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize > 1 << 16)
        return 0;
    const char* locText = reinterpret_cast<const char*>(aData);
    size_t locStart = 0;
    while (locStart < aSize)
    {
        const char* locEnd = static_cast<const char*>(memchr(locText + locStart, '\n', aSize - locStart));
        size_t locLength = locEnd ? static_cast<size_t>(locEnd - (locText + locStart)) : aSize - locStart;
        std::string locLine(locText + locStart, locLength);
        locLine = locLine.c_str();   // up to a NUL, as the file reader hands lines over
        while (!locLine.empty() && static_cast<unsigned char>(locLine.back()) < 33)
            locLine.pop_back();
        CheckLine(locLine.data(), locLine.size());
        locStart += locLength + 1;
    }

    const std::string locName = FuzzScratch::Write("fuzz.qre", aData, aSize);
    FuzzScratch::Inside locInside;
    QRECommand::ourExecuteHook = AcceptAll;
    OS_SetMessageBoxHook([](const char*, const char*, int) { return static_cast<int>(OS_ID_OK); });
    if (!CommandHandler::Get())
        CommandHandler::Create();
    LoadQRE(*CommandHandler::Get(), QC_String(locName.c_str()), true);
    return 0;
}
