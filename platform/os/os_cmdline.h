// The command line as every program and tool reads it before it makes a
// window or a file: --help and -h print the usage on standard output, an
// unknown option is refused with the usage on standard error.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct OS_Option
{
    const char* myName = nullptr; // "--check", "-v"
    bool myValueFlag = false;     // takes the next argument (or "=value") as its value
};

struct OS_CommandLine
{
    const char* myProgram = nullptr;      // the name messages start with
    const char* myUsage = nullptr;        // whole lines, "usage: ..." first
    const OS_Option* myOptions = nullptr; // the program's own
    int myNumOptions = 0;
    bool myToolkitOptionsFlag = false;    // also Qt's ("-platform NAME", "-style NAME", "-reverse", ...)
};

// What a line holds once read: options in their order, operands as given.
struct OS_Arguments
{
    std::vector<std::pair<std::string, const char*>> myOptions; // name, value (null without one)
    std::vector<const char*> myOperands;

    bool Has(const char* aName) const;
    // The value of the last aName given, or null.
    const char* Get(const char* aName) const;
};

enum
{
    OS_COMMAND_LINE_GO_ON = -1,
    OS_EXIT_USAGE = 2,
};

// OS_COMMAND_LINE_GO_ON when the program may start, with anArguments filled;
// otherwise the exit code to return at once: 0 after the usage was asked for
// (on standard output), OS_EXIT_USAGE after an unknown option or a missing
// value (the usage on standard error). After "--" nothing is an option, nor
// is a lone "-". Toolkit options are accepted and left out of anArguments.
int OS_ReadCommandLine(const OS_CommandLine& aLine, int argc, char** argv, OS_Arguments* anArguments);

// For a line that reads but does not fit (a wrong number of operands): the
// reason and the usage on standard error; returns OS_EXIT_USAGE.
int OS_RefuseCommandLine(const OS_CommandLine& aLine, const char* aReason);
