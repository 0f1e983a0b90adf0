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

// A value that would not come back whole unquoted is written in double quotes:
// an empty one, one holding a blank or a control character (the reader splits
// at blanks and TABs and trims characters below 33), and one that starts or ends
// with a quote (the reader drops one at each end).
bool Priv_PutQuoted(VelkOutput& anOutput, const QC_String& aValue)
{
    const char* locText = Velk_Text(aValue);
    const size_t locLength = Velk_Length(aValue);
    bool locQuote = locLength == 0 || locText[0] == '"' || locText[locLength - 1] == '"';
    for (size_t locIndex = 0; locIndex < locLength && !locQuote; locIndex++)
        locQuote = (unsigned char)locText[locIndex] < 33;
    if (!locQuote)
        return anOutput.Put(locText, locLength);
    return anOutput.Put("\"", 1) && anOutput.Put(locText, locLength) && anOutput.Put("\"", 1);
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

bool Priv_PutScalar(VelkOutput& anOutput, const QC_String& anIndent, const VelkType& anObject, const QC_String& aValue,
                    bool aWriteTypeNameFlag, bool aQuoteFlag)
{
    if (!Priv_CheckName(anObject))
        return false;
    if (!Priv_IsReadable(Velk_Text(aValue), Velk_Length(aValue)))
    {
        VelkLog::Error("Cannot write '%s' of type '%s': its value holds a line break or \"//\", which a line cannot hold",
                       Velk_Text(anObject.GetName()), Velk_Text(anObject.GetTypeName()));
        return false;
    }
    bool locOk = Priv_Put(anOutput, anIndent);
    // The reader skips the indent before it counts.
    const size_t locLineStart = anOutput.GetSize();
    if (aWriteTypeNameFlag)
        locOk = locOk && Priv_Put(anOutput, anObject.GetTypeName()) && anOutput.Put(" ", 1);
    locOk = locOk && Priv_Put(anOutput, anObject.GetName()) && anOutput.Put(" ", 1);
    locOk = locOk && (aQuoteFlag ? Priv_PutQuoted(anOutput, aValue) : Priv_Put(anOutput, aValue));
    locOk = locOk && Priv_CheckLineLength(anOutput, locLineStart, anObject);
    locOk = locOk && anOutput.PutLineEnd();
    if (aWriteTypeNameFlag)
        locOk = locOk && anOutput.PutLineEnd();
    return locOk;
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

    QC_String locIndent = anIndent + "\t";
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
        if (!locMembersCarryType && strchr(Velk_Text(locMember->GetName()), VELK_PATH_SEPARATOR))
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
