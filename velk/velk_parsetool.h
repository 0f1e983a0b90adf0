// The line reader of the data language's text forms (.fruit and .velk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "qcommon/qc_string.h"

// Longest line handed out; the rest of a longer physical line comes as the next line.
constexpr int VELK_LINE_BUFFER_SIZE = 4096;

class VelkTextBuffer;

class ParseTool
{
public:
    ParseTool();
    ~ParseTool();

    // An open file is closed first. Failure -> error line, false; so for a
    // file that is no 8-bit text (UTF-16, UTF-32, NUL bytes).
    bool Open(const char* aFileName);
    // Reads the text from memory instead of a file; the name is used in messages.
    bool OpenText(const char* aFileName, const char* aText, size_t aLength);
    void Close();
    bool IsEOF() const;

    // The next logical line: false when no file is open or it is at its end.
    bool ReadLine(QC_String& anOut);
    // The same line in the tool's own buffer, valid until the tool is closed:
    // mostly in place in the text read, its end overwritten by the NUL.
    bool ReadLineInPlace(const char*& aLine, int& aLength);
    // The lines read so far are done with: the memory of the text they came
    // from may go back to the system (a large text read whole need not stay
    // whole while it is compiled). Lines handed out before become invalid.
    void DiscardRead();
    // The next line, without moving on.
    bool PeekLine(QC_String& anOut);

    static QC_String GetFirst(const QC_String& aLine);
    static QC_String GetRest(const QC_String& aLine);
    // Both at once without copies: the length of the first word, and the rest
    // (the end of the line itself, "" when there is none).
    static int SplitFirst(const char* aLine, int aLength, const char*& aRest);

    const QC_String& GetFileName() const { return myFileName; }
    // The size of the text read, in bytes.
    size_t GetTextSize() const;
    // The physical line (from 1, blank and comment lines counted) where the
    // line last read starts; 0 before the first.
    int GetLineCounter() const { return myLineCounter; }
    // The line last read was cut at the buffer size.
    bool WasLineCut() const { return myLineCutFlag; }
    // The line last read ran into the end of the text: no line end closed it
    // and no comment cut it (so a text cut short may end inside its value).
    bool WasLineUnended() const { return myLineUnendedFlag; }
    // With this set, a line longer than the buffer is an error: it is reported
    // with its line, and the tool then reads as if at the end (HasFailed tells).
    void SetRefuseCutLines(bool aFlag) { myRefuseCutLinesFlag = aFlag; }
    bool HasFailed() const { return myFailedFlag; }

private:
    // Finds the next line by the line rules (its start in myLineStart); returns its length.
    int Priv_NextLine();
    // Copies the line found into myLine.
    void Priv_CopyLine(int aLength);
    // After a line was read: false when it must be refused.
    bool Priv_Accept();
    void Priv_SkipByteOrderMark();
    // After the text is in the buffer: false, with an error line, when it is no 8-bit text.
    bool Priv_CheckText(const char* aCaller, const char* aFileName);

    std::unique_ptr<VelkTextBuffer> myData;
    size_t myPos = 0;
    size_t myLineStart = 0;
    bool myOpenFlag = false;
    // The last line was cut at the buffer size: the next one goes on without skipping blanks.
    bool myInsideLineFlag = false;
    bool myLineCutFlag = false;
    bool myLineUnendedFlag = false;
    char myLine[VELK_LINE_BUFFER_SIZE];
    QC_String myFileName;
    int myLineCounter = 0;
    // Line ends passed so far.
    int myLineEnds = 0;
    bool myRefuseCutLinesFlag = false;
    bool myFailedFlag = false;
};
