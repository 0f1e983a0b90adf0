// Command lines of the benches, read one way: --help or -h prints the usage and
// ends with 0; an unknown option, a missing or wrong value, a name that looks
// like an option or a wrong number of operands prints the usage to standard
// error and ends with 2. Nothing that starts with '-' is ever taken as a file
// or folder name.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

class BenchArgs
{
public:
    // aUsage: the whole usage text, ending with a newline.
    BenchArgs(int argc, char** argv, const char* aUsage)
        : myUsage(aUsage)
    {
        myProgram = argc > 0 ? argv[0] : "bench";
        if (const char* locSlash = strrchr(myProgram, '/'))
            myProgram = locSlash + 1;
        for (int i = 1; i < argc; i++)
        {
            if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)
            {
                fputs(myUsage, stdout);
                exit(0);
            }
            myWords.push_back(argv[i]);
        }
    }

    // The option, given alone: taken out of the words left.
    bool Flag(const char* aName)
    {
        for (size_t i = 0; i < myWords.size(); i++)
            if (strcmp(myWords[i], aName) == 0)
            {
                myWords.erase(myWords.begin() + long(i));
                return true;
            }
        return false;
    }

    // The option followed by aCount values (none of them an option): taken
    // out with its values into aValues. A missing value is refused.
    bool Option(const char* aName, int aCount, const char** aValues)
    {
        for (size_t i = 0; i < myWords.size(); i++)
        {
            if (strcmp(myWords[i], aName) != 0)
                continue;
            if (i + size_t(aCount) >= myWords.size())
                Refuse((std::string(aName) + " needs " + std::to_string(aCount) + " value(s)").c_str());
            for (int j = 0; j < aCount; j++)
            {
                const char* locValue = myWords[i + 1 + size_t(j)];
                if (locValue[0] == '-')
                    Refuse((std::string(aName) + " takes no option as its value: " + locValue).c_str());
                aValues[j] = locValue;
            }
            myWords.erase(myWords.begin() + long(i), myWords.begin() + long(i) + 1 + aCount);
            return true;
        }
        return false;
    }

    // "aName N" with aMinimum <= N <= aMaximum; absent: *aValue unchanged.
    bool IntOption(const char* aName, int* aValue, int aMinimum, int aMaximum)
    {
        const char* locText = nullptr;
        if (!Option(aName, 1, &locText))
            return false;
        *aValue = Int(aName, locText, aMinimum, aMaximum);
        return true;
    }

    // A whole decimal number within the bounds, else refused.
    int Int(const char* aWhat, const char* aText, int aMinimum, int aMaximum)
    {
        char* locEnd = nullptr;
        errno = 0;
        const long locValue = strtol(aText, &locEnd, 10);
        if (errno != 0 || locEnd == aText || *locEnd != 0 || locValue < aMinimum || locValue > aMaximum)
            Refuse((std::string(aWhat) + " must be a whole number from " + std::to_string(aMinimum) + " to " +
                    std::to_string(aMaximum) + ": " + aText)
                       .c_str());
        return int(locValue);
    }

    // The words left once every option is taken: none may start with '-', and
    // there must be aMinimum to aMaximum of them.
    std::vector<const char*> Operands(size_t aMinimum, size_t aMaximum)
    {
        for (const char* locWord : myWords)
            if (locWord[0] == '-')
                Refuse((std::string("unknown option ") + locWord).c_str());
        if (myWords.size() < aMinimum || myWords.size() > aMaximum)
            Refuse(myWords.size() < aMinimum ? "too few arguments" : "too many arguments");
        return myWords;
    }

    [[noreturn]] void Refuse(const char* aWhy)
    {
        fprintf(stderr, "%s: %s\n%s", myProgram, aWhy, myUsage);
        exit(2);
    }

private:
    const char* myUsage;
    const char* myProgram;
    std::vector<const char*> myWords;
};
