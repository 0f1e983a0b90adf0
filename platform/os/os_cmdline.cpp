// Reading the command line: help, unknown options, operands as given.
#include "platform/os/os_cmdline.h"

#include <cstdio>
#include <cstring>

namespace
{
// QApplication takes these out of the line itself; a program that passes its
// line on to the toolkit must not refuse them.
const OS_Option ourToolkitOptions[] = {
    {"-platform", true}, {"-platformpluginpath", true}, {"-platformtheme", true}, {"-plugin", true},
    {"-qwindowgeometry", true}, {"-qwindowtitle", true}, {"-qwindowicon", true}, {"-style", true},
    {"-stylesheet", true}, {"-display", true}, {"-geometry", true}, {"-title", true}, {"-name", true},
    {"-reverse", false}, {"-session", true}, {"-widgetcount", false}, {"-nograb", false}, {"-dograb", false},
    {"-sync", false}};

const OS_Option* locFind(const OS_Option* anOptions, int aCount, const char* aName, size_t aLength)
{
    for (int i = 0; i < aCount; i++)
        if (strlen(anOptions[i].myName) == aLength && strncmp(anOptions[i].myName, aName, aLength) == 0)
            return &anOptions[i];
    return nullptr;
}

void locPrintUsage(const OS_CommandLine& aLine, FILE* aStream)
{
    if (aLine.myUsage)
        fputs(aLine.myUsage, aStream);
    fflush(aStream);
}
}

bool OS_Arguments::Has(const char* aName) const
{
    for (const auto& locOption : myOptions)
        if (locOption.first == aName)
            return true;
    return false;
}

const char* OS_Arguments::Get(const char* aName) const
{
    const char* locValue = nullptr;
    for (const auto& locOption : myOptions)
        if (locOption.first == aName)
            locValue = locOption.second;
    return locValue;
}

int OS_RefuseCommandLine(const OS_CommandLine& aLine, const char* aReason)
{
    fprintf(stderr, "%s: %s\n", aLine.myProgram ? aLine.myProgram : "program", aReason);
    locPrintUsage(aLine, stderr);
    return OS_EXIT_USAGE;
}

int OS_ReadCommandLine(const OS_CommandLine& aLine, int argc, char** argv, OS_Arguments* anArguments)
{
    OS_Arguments locArguments;
    bool locOptionsEnded = false;
    for (int i = 1; i < argc; i++)
    {
        const char* locArgument = argv[i];
        if (locOptionsEnded || locArgument[0] != '-' || locArgument[1] == 0)
        {
            locArguments.myOperands.push_back(locArgument);
            continue;
        }
        if (strcmp(locArgument, "--") == 0)
        {
            locOptionsEnded = true;
            continue;
        }
        if (strcmp(locArgument, "--help") == 0 || strcmp(locArgument, "-h") == 0)
        {
            locPrintUsage(aLine, stdout);
            return 0;
        }
        const char* locEquals = strchr(locArgument, '=');
        const size_t locLength = locEquals ? size_t(locEquals - locArgument) : strlen(locArgument);
        bool locToolkit = false;
        const OS_Option* locOption = locFind(aLine.myOptions, aLine.myNumOptions, locArgument, locLength);
        if (!locOption && aLine.myToolkitOptionsFlag)
        {
            locOption = locFind(ourToolkitOptions, int(sizeof(ourToolkitOptions) / sizeof(ourToolkitOptions[0])),
                                locArgument, locLength);
            locToolkit = locOption != nullptr;
        }
        if (!locOption || (locEquals && !locOption->myValueFlag))
        {
            const std::string locReason = std::string("unknown option ") + locArgument;
            return OS_RefuseCommandLine(aLine, locReason.c_str());
        }
        const char* locValue = nullptr;
        if (locOption->myValueFlag)
        {
            if (locEquals)
                locValue = locEquals + 1;
            else if (i + 1 < argc)
                locValue = argv[++i];
            else
            {
                const std::string locReason = std::string("option ") + locOption->myName + " needs a value";
                return OS_RefuseCommandLine(aLine, locReason.c_str());
            }
        }
        if (!locToolkit)
            locArguments.myOptions.emplace_back(locOption->myName, locValue);
    }
    if (anArguments)
        *anArguments = std::move(locArguments);
    return OS_COMMAND_LINE_GO_ON;
}
