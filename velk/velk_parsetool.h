// The line reader of the data language's text forms (.fruit and .velk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qcommon/qc_string.h"

// Longest line handed out; the rest of a longer physical line comes as the next line.
constexpr int VELK_LINE_BUFFER_SIZE = 4096;

class ParseTool
{
public:
    ParseTool();
    ~ParseTool();

    // An open file is closed first. Failure -> error line, false.
    bool Open(const char* aFileName);
    // Reads the text from memory instead of a file; the name is used in messages.
    bool OpenText(const char* aFileName, const char* aText, size_t aLength);
    void Close();
    bool IsEOF() const;

    // The next logical line: false when no file is open or it is at its end.
    bool ReadLine(QC_String& anOut);
    // The same line in the tool's own buffer, valid until the next read.
    bool ReadLineInPlace(const char*& aLine, int& aLength);
    // The next line, without moving on.
    bool PeekLine(QC_String& anOut);

    static QC_String GetFirst(const QC_String& aLine);
    static QC_String GetRest(const QC_String& aLine);
    // Both at once without copies: the length of the first word, and the rest
    // (the end of the line itself, "" when there is none).
    static int SplitFirst(const char* aLine, int aLength, const char*& aRest);

    const QC_String& GetFileName() const { return myFileName; }
    // The number of the line last read, from 0; -1 before the first.
    int GetLineCounter() const { return myLineCounter; }
    // The line last read was cut at the buffer size.
    bool WasLineCut() const { return myLineCutFlag; }

private:
    // Fills myLine by the line rules; returns its length.
    int Priv_NextLine();

    std::vector<char> myData;
    size_t myPos = 0;
    bool myOpenFlag = false;
    // The last line was cut at the buffer size: the next one goes on without skipping blanks.
    bool myInsideLineFlag = false;
    bool myLineCutFlag = false;
    char myLine[VELK_LINE_BUFFER_SIZE];
    QC_String myFileName;
    int myLineCounter = -1;
};
