// Writing namespaces and their objects as .velk text.
#include <cstring>

#include "platform/os/os_savefile.h"

#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_type.h"

bool VelkOutput::Put(const char* aText)
{
    return Put(aText, strlen(aText));
}

bool VelkOutput::Priv_Put(const char* aText, size_t aLength)
{
    Priv_Gather();
    myText.append(aText, aLength);
    if (mySink && myText.size() >= myPieceSize)
        FlushToSink();
    return true;
}

void VelkOutput::Priv_Spill()
{
    Priv_Gather();
    if (mySink && myText.size() >= myPieceSize)
        FlushToSink();
}

void VelkOutput::SetSink(Sink* aSink, size_t aPieceSize)
{
    mySink = aSink;
    myPieceSize = aPieceSize;
    if (mySink)
        myText.reserve(aPieceSize + aPieceSize / 4);
}

bool VelkOutput::FlushToSink()
{
    if (mySink == nullptr)
        return false;
    Priv_Gather();
    if (!mySink->Take(myText.data(), myText.size()))
    {
        mySink = nullptr;
        return false;
    }
    myHandedOn += myText.size();
    myText.clear();
    return true;
}

namespace
{
bool Priv_Put(VelkOutput& anOutput, const QC_String& aString)
{
    return anOutput.Put(Velk_Text(aString), Velk_Length(aString));
}

// What the line reader would turn into something else: a line break ends the
// line and "//" starts a comment, quotes or not.
bool Priv_IsReadable(const char* aText, int aLength)
{
    // A CR LF holds an LF: looking for LF finds both.
    if (aLength <= 0 || memchr(aText, '\n', aLength))
        return aLength <= 0;
    const char* const locEnd = aText + aLength;
    for (const char* locSlash = (const char*)memchr(aText, '/', aLength); locSlash;
         locSlash = (const char*)memchr(locSlash + 1, '/', locEnd - locSlash - 1))
        if (locSlash + 1 < locEnd && locSlash[1] == '/')
            return false;
    return true;
}

// A name is one word: not empty, no blank or control character (the reader
// splits and trims there), no leading quote, not a lone brace.
bool Priv_IsWritableName(const QC_String& aName)
{
    const char* locText = Velk_Text(aName);
    const int locLength = Velk_Length(aName);
    if (locLength == 0 || locText[0] == '"' || strcmp(locText, "{") == 0 || strcmp(locText, "}") == 0)
        return false;
    for (int locIndex = 0; locIndex < locLength; locIndex++)
        if ((unsigned char)locText[locIndex] < 33)
            return false;
    return Priv_IsReadable(locText, locLength);
}

bool Priv_CheckName(const VelkType& anObject)
{
    const VelkName& locName = anObject.GetNameObject();
    const int locKnown = locName.GetWritable();
    if (locKnown > 0)
        return true;
    const bool locWritable = locKnown == 0 && Priv_IsWritableName(anObject.GetName());
    if (locKnown == 0)
        locName.SetWritable(locWritable);
    if (locWritable)
        return true;
    VelkLog::Error("Cannot write '%s' of type '%s': a name must be one word without blanks, control characters, "
                   "\"//\", a leading quote or a lone brace",
                   Velk_Text(anObject.GetName()), Velk_Text(anObject.GetTypeName()));
    return false;
}

// A line the reader would cut is refused: its rest would be read as a line of its own.
bool Priv_CheckLineLength(const VelkOutput& anOutput, size_t aLineStart, const VelkType& anObject)
{
    const size_t locLength = anOutput.GetSize() - aLineStart;
    if (locLength <= (size_t)(VELK_LINE_BUFFER_SIZE - 1))
        return true;
    VelkLog::Error("Cannot write '%s' of type '%s': its line would be %zu characters long, more than the %d a line holds",
                   Velk_Text(anObject.GetName()), Velk_Text(anObject.GetTypeName()), locLength,
                   VELK_LINE_BUFFER_SIZE - 1);
    return false;
}

// The indent of a class's members: one TAB more than the class's own. Indents
// of TABs alone are made once, as every class of a namespace asks for one.
const QC_String& Priv_Deeper(const QC_String& anIndent, QC_String& anOwn)
{
    static const int locDepths = 32;
    static const QC_String* const locTabs = [] {
        QC_String* locMade = new QC_String[locDepths];
        for (int locDepth = 1; locDepth < locDepths; locDepth++)
            locMade[locDepth] = locMade[locDepth - 1] + "\t";
        return locMade;
    }();
    const int locLength = Velk_Length(anIndent);
    if (locLength + 1 < locDepths &&
        (Velk_Text(anIndent) == Velk_Text(locTabs[locLength]) ||
         memcmp(Velk_Text(anIndent), Velk_Text(locTabs[locLength]), locLength) == 0))
        return locTabs[locLength + 1];
    anOwn = anIndent + "\t";
    return anOwn;
}

bool Priv_PutScalar(VelkOutput& anOutput, const QC_String& anIndent, const VelkType& anObject, const QC_String& aValue,
                    bool aWriteTypeNameFlag, bool aQuoteFlag)
{
    if (!Priv_CheckName(anObject))
        return false;
    // One pass over the value: what the reader would turn into something else
    // (Priv_IsReadable), and what would not come back whole unquoted: an empty
    // value, one holding a blank or a control character (the reader splits at
    // blanks and TABs and trims characters below 33), and one that starts or
    // ends with a quote (the reader drops one at each end).
    const char* locValue = Velk_Text(aValue);
    const size_t locValueLength = Velk_Length(aValue);
    bool locBlank = false;
    bool locReadable = true;
    for (size_t locIndex = 0; locIndex < locValueLength; locIndex++)
    {
        const unsigned char locChar = (unsigned char)locValue[locIndex];
        if (locChar < 33)
        {
            locBlank = true;
            locReadable = locReadable && locChar != '\n';
        }
        else if (locChar == '/' && locIndex + 1 < locValueLength && locValue[locIndex + 1] == '/')
            locReadable = false;
    }
    if (!locReadable)
    {
        VelkLog::Error("Cannot write '%s' of type '%s': its value holds a line break or \"//\", which a line cannot hold",
                       Velk_Text(anObject.GetName()), Velk_Text(anObject.GetTypeName()));
        return false;
    }
    const bool locQuote = aQuoteFlag && (locValueLength == 0 || locBlank || locValue[0] == '"' ||
                                         locValue[locValueLength - 1] == '"');
    // The type name is asked only where it is written.
    const QC_String* locTypeName = aWriteTypeNameFlag ? &anObject.GetTypeName() : nullptr;
    const QC_String& locName = anObject.GetName();
    const size_t locIndentLength = Velk_Length(anIndent);
    const size_t locTypeLength = locTypeName ? Velk_Length(*locTypeName) + 1 : 0;
    const size_t locNameLength = Velk_Length(locName);
    // The reader skips the indent before it counts.
    const size_t locLineLength = locTypeLength + locNameLength + 1 + locValueLength + (locQuote ? 2 : 0);
    if (locLineLength > (size_t)(VELK_LINE_BUFFER_SIZE - 1))
    {
        VelkLog::Error("Cannot write '%s' of type '%s': its line would be %zu characters long, more than the %d a line holds",
                       Velk_Text(locName), Velk_Text(anObject.GetTypeName()), locLineLength, VELK_LINE_BUFFER_SIZE - 1);
        return false;
    }
    const size_t locEndLength = aWriteTypeNameFlag ? 4 : 2;
    char* locOut = anOutput.Claim(locIndentLength + locLineLength + locEndLength);
    if (locOut == nullptr)
    {
        // A line longer than the small buffer goes in pieces.
        bool locOk = Priv_Put(anOutput, anIndent);
        if (aWriteTypeNameFlag)
            locOk = locOk && Priv_Put(anOutput, *locTypeName) && anOutput.Put(" ", 1);
        locOk = locOk && Priv_Put(anOutput, locName) && anOutput.Put(" ", 1);
        locOk = locOk && (!locQuote || anOutput.Put("\"", 1)) && anOutput.Put(locValue, locValueLength) &&
                (!locQuote || anOutput.Put("\"", 1));
        return locOk && anOutput.Put("\r\n\r\n", locEndLength);
    }
    memcpy(locOut, Velk_Text(anIndent), locIndentLength);
    locOut += locIndentLength;
    if (aWriteTypeNameFlag)
    {
        memcpy(locOut, Velk_Text(*locTypeName), locTypeLength - 1);
        locOut += locTypeLength;
        locOut[-1] = ' ';
    }
    memcpy(locOut, Velk_Text(locName), locNameLength);
    locOut += locNameLength;
    *locOut++ = ' ';
    if (locQuote)
        *locOut++ = '"';
    memcpy(locOut, locValue, locValueLength);
    locOut += locValueLength;
    if (locQuote)
        *locOut++ = '"';
    memcpy(locOut, "\r\n\r\n", locEndLength);
    return true;
}
}

bool VelkFree::Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag)
{
    return Priv_PutScalar(aFile, anIndent, *this, myValue, aWriteTypeNameFlag, true);
}

bool VelkEnum::Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag)
{
    // The reader assigns the value again, which only a legal value survives.
    if (!IsLegalValue(Velk_Text(myValue)))
    {
        VelkLog::Error("Cannot write '%s' of type '%s': its value '%s' is not one of the type's values",
                       Velk_Text(myName), Velk_Text(GetTypeName()), Velk_Text(myValue));
        return false;
    }
    return VelkFree::Write(aFile, anIndent, aWriteTypeNameFlag);
}

bool VelkRef::Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag)
{
    // A reference whose target is gone is written, and from now on held, as "NULL".
    if (myValue != VELK_NULL)
    {
        VelkNameSpace* locNameSpace = VelkNameSpace::FindNameSpaceOf(this);
        if (locNameSpace == nullptr || locNameSpace->GetInstance(Velk_Text(myValue), true) == nullptr)
            myValue.SetShared(Priv_TextHold(), VELK_NULL);
    }
    return Priv_PutScalar(aFile, anIndent, *this, myValue, aWriteTypeNameFlag, false);
}

bool VelkClass::Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag)
{
    if (!Priv_CheckName(*this))
        return false;
    bool locOk = Priv_Put(aFile, anIndent);
    const size_t locLineStart = aFile.GetSize();
    if (aWriteTypeNameFlag)
        locOk = locOk && Priv_Put(aFile, GetTypeName()) && aFile.Put(" ", 1);
    locOk = locOk && Priv_Put(aFile, myName) && Priv_CheckLineLength(aFile, locLineStart, *this);
    locOk = locOk && aFile.PutLineEnd() && Priv_Put(aFile, anIndent) && aFile.Put("{\r\n", 3);
    if (!locOk)
        return false;

    QC_String locOwnIndent;
    const QC_String& locIndent = Priv_Deeper(anIndent, locOwnIndent);
    const bool locMembersCarryType = IsScriptClass();
    int locPlace = 0;
    for (VelkType* locMember : myMembers)
    {
        const std::string_view locName(Velk_Text(locMember->GetName()), Velk_Length(locMember->GetName()));
        const int locIndex = locPlace++;
        // A class member line is found by its name among the declared ones.
        if (!locMembersCarryType && myDeclaredNames && !myDeclaredNames->IsAt(locIndex, locName) &&
            !myDeclaredNames->Has(locName))
        {
            VelkLog::Error("Cannot write member '%s' of '%s': class type '%s' declares no member of that name",
                           Velk_Text(locMember->GetName()), Velk_Text(myName), Velk_Text(GetTypeName()));
            return false;
        }
        // A line is given to the first member of its name.
        if (!locMembersCarryType && !Priv_DistinctNames() &&
            Priv_FindDirectMember(Velk_Text(locMember->GetName()), Velk_Length(locMember->GetName())) != locMember)
        {
            VelkLog::Error("Cannot write member '%s' of '%s': an earlier member has that name",
                           Velk_Text(locMember->GetName()), Velk_Text(myName));
            return false;
        }
        // The reader looks a member line up as a dotted path.
        if (!locMembersCarryType && memchr(locName.data(), VELK_PATH_SEPARATOR, locName.size()))
        {
            VelkLog::Error("Cannot write member '%s' of '%s': a member name holding '%c' is read as a path",
                           Velk_Text(locMember->GetName()), Velk_Text(myName), VELK_PATH_SEPARATOR);
            return false;
        }
        if (!locMember->Write(aFile, locIndent, locMembersCarryType))
            return false;
    }
    return Priv_Put(aFile, anIndent) && aFile.Put("}\r\n\r\n", 5);
}

bool VelkNameSpace::WriteTo(VelkOutput& anOutput, const char* aFileName)
{
    QC_ListIterator<QC_String> locIncludes(&myIncludes);
    for (locIncludes.First(); !locIncludes.IsDone(); locIncludes.Next())
    {
        if (!anOutput.Put("INCLUDE ", 8) || !Priv_Put(anOutput, locIncludes.GetCurrent()) || !anOutput.PutLineEnd())
        {
            VelkLog::Log("Failed to write inclusion of file '%s' during namespace write to '%s'",
                         Velk_Text(locIncludes.GetCurrent()), aFileName);
            return false;
        }
    }
    if (!anOutput.PutLineEnd())
    {
        VelkLog::Log("Failed to write namespace to '%s'", aFileName);
        return false;
    }
    QC_String locNoIndent;
    for (VelkType* locRoot : myInstances)
    {
        if (!locRoot->Write(anOutput, locNoIndent, true))
        {
            VelkLog::Log("Failed to write member '%s' of type '%s' during namespace to '%s'", Velk_Text(locRoot->GetName()),
                         Velk_Text(locRoot->GetTypeName()), aFileName);
            return false;
        }
    }
    return true;
}

namespace
{
// Hands the text to the temporary file as it grows. The file is created at the
// first piece; a failure to create or write it stops the handing on, and the
// save then reports it once the whole text is made, as it would with the text
// held in memory.
class VelkSaveSink : public VelkOutput::Sink
{
public:
    explicit VelkSaveSink(const char* aFileName) : myFileName(aFileName) {}

    bool Take(const char* aText, size_t aLength) override
    {
        if (!myBegunFlag && !Begin())
            return false;
        return mySaveFile.Write(aText, aLength);
    }
    bool Begin()
    {
        myBegunFlag = true;
        myOpenFlag = mySaveFile.Begin(myFileName);
        return myOpenFlag;
    }
    bool IsBegun() const { return myBegunFlag; }
    bool IsOpen() const { return myOpenFlag; }
    OS_SaveFile& GetFile() { return mySaveFile; }

private:
    const char* myFileName;
    OS_SaveFile mySaveFile;
    bool myBegunFlag = false;
    bool myOpenFlag = false;
};

// Pieces of this many bytes go to the file while a namespace is written: large
// enough that writing costs few calls, small beside the namespace in memory.
constexpr size_t VELK_SAVE_PIECE = 256 * 1024;
}

bool VelkNameSpace::Write(const char* aFileName)
{
    VelkSaveSink locSink(aFileName);
    VelkOutput locOutput;
    locOutput.SetSink(&locSink, VELK_SAVE_PIECE);
    if (!WriteTo(locOutput, aFileName))
        return false;
    if (!locSink.IsBegun())
        locSink.Begin();
    // The message names the system's reason after the file.
    OS_SaveFile& locSaveFile = locSink.GetFile();
    if (!locSink.IsOpen())
    {
        VelkLog::Log("Failed to open output file '%s': %s", aFileName, strerror(locSaveFile.GetError()));
        return false;
    }
    const std::string& locText = locOutput.GetText();
    if (!locSaveFile.Write(locText.data(), locText.size()) || !locSaveFile.Commit())
    {
        const int locError = locSaveFile.GetError();
        locSaveFile.Abandon();
        if (const char* locKept = locSaveFile.GetKeptPath())
            VelkLog::Log("Failed to write namespace to '%s': %s; its old content is kept in '%s'", aFileName,
                         strerror(locError), locKept);
        else
            VelkLog::Log("Failed to write namespace to '%s': %s", aFileName, strerror(locError));
        return false;
    }
    VelkLog::Log("Successfully wrote namespace to '%s'", aFileName);
    return true;
}
