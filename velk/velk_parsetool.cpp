// The line reader: the line and word rules of the data language's text.
#include "velk/velk_parsetool.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "qfile/qf_file.h"
#include "velk/velk_local.h"
#include "velk/velk_log.h"

ParseTool::ParseTool() : myData(std::make_unique<VelkTextBuffer>())
{
    myLine[0] = 0;
}

ParseTool::~ParseTool()
{
    Close();
}

size_t ParseTool::GetTextSize() const
{
    return myData->size();
}

bool ParseTool::Open(const char* aFileName)
{
    Close();
    // Streaming reads a file on disk straight into the buffer.
    QF_File locFile;
    if (aFileName == nullptr || !locFile.Open(aFileName, OPEN_READ | OPEN_STREAMING))
    {
        VelkLog::Error("ParseTool::Open(): Failed to open '%s'", aFileName ? aFileName : "");
        return false;
    }
    if (!myData->Allocate(locFile.GetSize()))
    {
        VelkLog::Error("ParseTool::Open(): No memory to read '%s'", aFileName);
        return false;
    }
    myData->SetSize(myData->empty() ? 0 : locFile.Read(myData->data(), (uint32_t)myData->size()));
    locFile.Close();
    if (!Priv_CheckText("ParseTool::Open()", aFileName))
        return false;
    myFileName = aFileName;
    myOpenFlag = true;
    Priv_SkipByteOrderMark();
    return true;
}

// Files saved by Windows editors may start with the UTF-8 byte-order mark.
void ParseTool::Priv_SkipByteOrderMark()
{
    if (myData->size() >= 3 && (unsigned char)(*myData)[0] == 0xEF && (unsigned char)(*myData)[1] == 0xBB &&
        (unsigned char)(*myData)[2] == 0xBF)
        myPos = 3;
}

// The language is 8-bit text: a file in UTF-16 or UTF-32, or holding a NUL,
// would be read as something else (empty, or cut at the NUL) and could then be
// saved over as such. It is refused whole, the buffer emptied.
bool ParseTool::Priv_CheckText(const char* aCaller, const char* aFileName)
{
    const unsigned char* locData = (const unsigned char*)myData->data();
    const size_t locSize = myData->size();
    const char* locReason = nullptr;
    if (locSize >= 2 && ((locData[0] == 0xFF && locData[1] == 0xFE) || (locData[0] == 0xFE && locData[1] == 0xFF)))
        locReason = "it starts with a UTF-16 byte-order mark";
    else if (locSize > 0 && memchr(locData, 0, locSize) != nullptr)
        locReason = "it holds NUL bytes";
    if (locReason == nullptr)
        return true;
    VelkLog::Error("%s: '%s' is not 8-bit text (%s); it was not read", aCaller, aFileName, locReason);
    myData->Free();
    return false;
}

bool ParseTool::OpenText(const char* aFileName, const char* aText, size_t aLength)
{
    Close();
    if (!myData->Allocate(aLength))
    {
        VelkLog::Error("ParseTool::OpenText(): No memory for '%s'", aFileName);
        return false;
    }
    if (aLength)
        memcpy(myData->data(), aText, aLength);
    if (!Priv_CheckText("ParseTool::OpenText()", aFileName))
        return false;
    myFileName = aFileName;
    myOpenFlag = true;
    Priv_SkipByteOrderMark();
    return true;
}

void ParseTool::Close()
{
    myData->Free();
    myPos = 0;
    myLineStart = 0;
    myOpenFlag = false;
    myInsideLineFlag = false;
    myLineCutFlag = false;
    myLineUnendedFlag = false;
    myFailedFlag = false;
    myFileName = "";
    myLineCounter = 0;
    myLineEnds = 0;
}

bool ParseTool::IsEOF() const
{
    return !myOpenFlag || myPos >= myData->size();
}

namespace
{
// The first of '\n', '\r' and '/' in aData[aFrom, anEnd), or anEnd: sixteen
// bytes a step, then byte by byte; nothing past anEnd is read.
size_t Priv_FindStop(const unsigned char* aData, size_t aFrom, size_t anEnd)
{
    size_t locAt = aFrom;
#if defined(__SSE2__)
    const __m128i locNewLine = _mm_set1_epi8('\n');
    const __m128i locReturn = _mm_set1_epi8('\r');
    const __m128i locSlash = _mm_set1_epi8('/');
    for (; locAt + 16 <= anEnd; locAt += 16)
    {
        const __m128i locChunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aData + locAt));
        const __m128i locHits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(locChunk, locNewLine), _mm_cmpeq_epi8(locChunk, locReturn)),
            _mm_cmpeq_epi8(locChunk, locSlash));
        const unsigned locMask = (unsigned)_mm_movemask_epi8(locHits);
        if (locMask)
            return locAt + (size_t)__builtin_ctz(locMask);
    }
#endif
    while (locAt < anEnd && aData[locAt] != '\n' && aData[locAt] != '\r' && aData[locAt] != '/')
        locAt++;
    return locAt;
}
} // namespace

// A line ends at CR LF or at a lone LF; a lone CR is an ordinary character.
// Characters below 33 are skipped at the start of a line and cut at its end;
// "//" starts a comment that runs to the line end, quotes or not; blank lines
// are skipped; a line is cut after VELK_LINE_BUFFER_SIZE - 1 characters. At the
// end of the data the line is returned as it stands. What is kept of a line is
// always one run of the data: its start goes to myLineStart.
int ParseTool::Priv_NextLine()
{
    const unsigned char* locData = (const unsigned char*)myData->data();
    const size_t locSize = myData->size();
    int locLength = 0;
    size_t locStart = myPos;
    bool locAtStart = !myInsideLineFlag;
    bool locInComment = false;
    myInsideLineFlag = false;
    myLineCutFlag = false;
    myLineUnendedFlag = false;

    while (myPos < locSize)
    {
        if (locInComment)
        {
            // The rest of the line goes unread, up to its end ("\n" or "\r\n").
            const void* locNewLine = memchr(locData + myPos, '\n', locSize - myPos);
            if (locNewLine == nullptr)
            {
                myPos = locSize;
                break;
            }
            size_t locStop = (size_t)((const unsigned char*)locNewLine - locData);
            if (locStop > myPos && locData[locStop - 1] == '\r')
                locStop--;
            myPos = locStop;
        }
        else if (!locAtStart)
        {
            // Characters that end nothing and start nothing go in as one run,
            // as far as the line has room.
            const size_t locRoom = (size_t)(VELK_LINE_BUFFER_SIZE - 1 - locLength);
            const size_t locEnd = locSize - myPos < locRoom ? locSize : myPos + locRoom;
            size_t locRun = Priv_FindStop(locData, myPos, locEnd);
            if (locRun > myPos)
            {
                if (locLength == 0)
                {
                    myLineCounter = myLineEnds + 1;
                    locStart = myPos;
                }
                locLength += (int)(locRun - myPos);
                myPos = locRun;
                continue;
            }
        }
        else
        {
            // The indent: blanks that neither end the line nor start it.
            while (myPos < locSize && locData[myPos] < 33 && locData[myPos] != '\n' && locData[myPos] != '\r')
                myPos++;
            if (myPos == locSize)
                break;
        }
        const unsigned char locChar = locData[myPos];
        if (locChar == '\n' || (locChar == '\r' && myPos + 1 < locSize && locData[myPos + 1] == '\n'))
        {
            myPos += locChar == '\r' ? 2 : 1;
            myLineEnds++;
            while (locLength > 0 && locData[locStart + locLength - 1] < 33)
                locLength--;
            if (locLength > 0)
            {
                myLineStart = locStart;
                return locLength;
            }
            locAtStart = true;
            locInComment = false;
            continue;
        }
        if (locInComment || (locAtStart && locChar < 33))
        {
            myPos++;
            continue;
        }
        locAtStart = false;
        if (locChar == '/' && locLength > 0 && locData[locStart + locLength - 1] == '/')
        {
            locLength--;
            while (locLength > 0 && locData[locStart + locLength - 1] < 33)
                locLength--;
            locInComment = true;
            myPos++;
            continue;
        }
        if (locLength == VELK_LINE_BUFFER_SIZE - 1)
        {
            myInsideLineFlag = true;
            myLineCutFlag = true;
            myLineStart = locStart;
            return locLength;
        }
        if (locLength == 0)
        {
            myLineCounter = myLineEnds + 1;
            locStart = myPos;
        }
        locLength++;
        myPos++;
    }
    if (locLength == 0)
        myLineCounter = myLineEnds + 1;
    myInsideLineFlag = locLength > 0;
    myLineUnendedFlag = locLength > 0 && !locInComment;
    myLineStart = locStart;
    return locLength;
}

void ParseTool::Priv_CopyLine(int aLength)
{
    if (aLength > 0)
        memcpy(myLine, myData->data() + myLineStart, (size_t)aLength);
    myLine[aLength] = 0;
}

bool ParseTool::Priv_Accept()
{
    if (!myLineCutFlag || !myRefuseCutLinesFlag)
        return true;
    VelkLog::ParseError(*this, "Line longer than %d characters", VELK_LINE_BUFFER_SIZE - 1);
    myFailedFlag = true;
    myPos = myData->size();
    return false;
}

bool ParseTool::ReadLine(QC_String& anOut)
{
    if (IsEOF())
        return false;
    const int locLength = Priv_NextLine();
    if (!Priv_Accept())
        return false;
    Priv_CopyLine(locLength);
    anOut = myLine;
    return true;
}

bool ParseTool::ReadLineInPlace(const char*& aLine, int& aLength)
{
    if (IsEOF())
        return false;
    aLength = Priv_NextLine();
    if (!Priv_Accept())
        return false;
    // The line stays where it is read when its end can take the NUL; the end
    // of a cut line is the start of the next.
    const size_t locEnd = myLineStart + (size_t)aLength;
    if (!myLineCutFlag && locEnd < myData->size())
    {
        (*myData)[locEnd] = 0;
        aLine = myData->data() + myLineStart;
        return true;
    }
    Priv_CopyLine(aLength);
    aLine = myLine;
    return true;
}

bool ParseTool::PeekLine(QC_String& anOut)
{
    const size_t locPos = myPos;
    const bool locInside = myInsideLineFlag;
    const int locCounter = myLineCounter;
    const int locLineEnds = myLineEnds;
    const bool locCut = myLineCutFlag;
    const bool locUnended = myLineUnendedFlag;
    // A refused line is reported when it is read, not when it is peeked at.
    const bool locRefuse = myRefuseCutLinesFlag;
    myRefuseCutLinesFlag = false;
    const size_t locLineStart = myLineStart;
    const bool locResult = ReadLine(anOut);
    myRefuseCutLinesFlag = locRefuse;
    myLineStart = locLineStart;
    myPos = locPos;
    myInsideLineFlag = locInside;
    myLineCutFlag = locCut;
    myLineUnendedFlag = locUnended;
    myLineCounter = locCounter;
    myLineEnds = locLineEnds;
    return locResult;
}

void ParseTool::DiscardRead()
{
    myData->Passed(myPos);
}

namespace
{
bool Priv_IsQuotedWord(const char* aText, int aLength)
{
    return aLength >= 2 && aText[0] == '"' && aText[aLength - 1] == '"';
}

bool Priv_IsBlank(char aChar)
{
    return aChar == ' ' || aChar == '\t';
}

// The first blank (space or TAB), or null. Lines are short, and the first word
// ends within a few characters: one pass byte by byte beats a library call.
const char* Priv_FindSeparator(const char* aText)
{
    for (const char* locAt = aText; *locAt; locAt++)
        if (Priv_IsBlank(*locAt))
            return locAt;
    return nullptr;
}

// The rest after a separator: a run of blanks is one separator, so values
// lined up by hand keep their names.
const char* Priv_SkipBlanks(const char* aText)
{
    while (Priv_IsBlank(*aText))
        aText++;
    return aText;
}
}

int ParseTool::SplitFirst(const char* aLine, int aLength, const char*& aRest)
{
    aRest = "";
    if (Priv_IsQuotedWord(aLine, aLength))
        return aLength;
    const char* locSeparator = Priv_FindSeparator(aLine);
    if (locSeparator == nullptr)
        return aLength;
    aRest = Priv_SkipBlanks(locSeparator);
    return (int)(locSeparator - aLine);
}

QC_String ParseTool::GetFirst(const QC_String& aLine)
{
    const char* locText = Velk_Text(aLine);
    if (Priv_IsQuotedWord(locText, Velk_Length(aLine)))
        return aLine;
    const char* locSeparator = Priv_FindSeparator(locText);
    if (locSeparator == nullptr)
        return aLine;
    return aLine.Left((int)(locSeparator - locText));
}

QC_String ParseTool::GetRest(const QC_String& aLine)
{
    const char* locText = Velk_Text(aLine);
    if (Priv_IsQuotedWord(locText, Velk_Length(aLine)))
        return QC_String();
    const char* locSeparator = Priv_FindSeparator(locText);
    if (locSeparator == nullptr)
        return QC_String();
    return QC_String(Priv_SkipBlanks(locSeparator));
}
