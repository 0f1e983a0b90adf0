// Writing namespaces and their objects as .velk text.
#include <cstring>

#include "platform/os/os_savefile.h"

#include "velk/velk_local.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_type.h"

bool VelkOutput::Put(const char* aText)
{
    return Put(aText, strlen(aText));
}

bool VelkOutput::Put(const char* aText, size_t aLength)
{
    if (myText.size() + aLength > myLimit)
        return false;
    myText.append(aText, aLength);
    return true;
}

namespace
{
bool Priv_Put(VelkOutput& anOutput, const QC_String& aString)
{
    return anOutput.Put(Velk_Text(aString), Velk_Length(aString));
}

// Quotes a scalar value so that the reader gives it back whole where it can.
bool Priv_PutQuoted(VelkOutput& anOutput, const QC_String& aValue)
{
    const char* locText = Velk_Text(aValue);
    const size_t locLength = Velk_Length(aValue);
    const bool locStarts = locLength > 0 && locText[0] == '"';
    const bool locEnds = locLength > 0 && locText[locLength - 1] == '"';
    if (locStarts && locEnds)
        return anOutput.Put(locText, locLength);
    if (locStarts)
        return anOutput.Put(locText, locLength) && anOutput.Put("\"", 1);
    if (memchr(locText, ' ', locLength))
    {
        if (locEnds)
            return anOutput.Put("\"", 1) && anOutput.Put(locText, locLength);
        return anOutput.Put("\"", 1) && anOutput.Put(locText, locLength) && anOutput.Put("\"", 1);
    }
    if (locEnds)
        return anOutput.Put(locText, locLength - 1);
    return anOutput.Put(locText, locLength);
}

bool Priv_PutScalar(VelkOutput& anOutput, const QC_String& anIndent, const QC_String& aTypeName, const QC_String& aName,
                    const QC_String& aValue, bool aWriteTypeNameFlag, bool aQuoteFlag)
{
    bool locOk = Priv_Put(anOutput, anIndent);
    if (aWriteTypeNameFlag)
        locOk = locOk && Priv_Put(anOutput, aTypeName) && anOutput.Put(" ", 1);
    locOk = locOk && Priv_Put(anOutput, aName) && anOutput.Put(" ", 1);
    locOk = locOk && (aQuoteFlag ? Priv_PutQuoted(anOutput, aValue) : Priv_Put(anOutput, aValue));
    locOk = locOk && anOutput.PutLineEnd();
    if (aWriteTypeNameFlag)
        locOk = locOk && anOutput.PutLineEnd();
    return locOk;
}
}

bool VelkFree::Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag)
{
    return Priv_PutScalar(aFile, anIndent, myTypeName, myName, myValue, aWriteTypeNameFlag, true);
}

bool VelkRef::Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag)
{
    // A reference whose target is gone is written, and from now on held, as "NULL".
    if (myValue != VELK_NULL)
    {
        VelkNameSpace* locNameSpace = VelkNameSpace::FindNameSpaceOf(this);
        if (locNameSpace == nullptr || locNameSpace->GetInstance(Velk_Text(myValue), true) == nullptr)
            myValue = VELK_NULL;
    }
    return Priv_PutScalar(aFile, anIndent, myTypeName, myName, myValue, aWriteTypeNameFlag, false);
}

bool VelkClass::Write(VelkOutput& aFile, const QC_String& anIndent, bool aWriteTypeNameFlag)
{
    bool locOk = Priv_Put(aFile, anIndent);
    if (aWriteTypeNameFlag)
        locOk = locOk && Priv_Put(aFile, myTypeName) && aFile.Put(" ", 1);
    locOk = locOk && Priv_Put(aFile, myName) && aFile.PutLineEnd() && Priv_Put(aFile, anIndent) && aFile.Put("{\r\n", 3);
    if (!locOk)
        return false;

    QC_String locIndent = anIndent + "\t";
    const bool locMembersCarryType = IsScriptClass();
    QC_ListIterator<VelkType*> locIter(&myMembers);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (!locIter.GetCurrent()->Write(aFile, locIndent, locMembersCarryType))
            return false;
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
    QC_ListIterator<VelkType*> locIter(&myInstances);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
    {
        VelkType* locRoot = locIter.GetCurrent();
        if (!locRoot->Write(anOutput, locNoIndent, true))
        {
            VelkLog::Log("Failed to write member '%s' of type '%s' during namespace to '%s'", Velk_Text(locRoot->GetName()),
                         Velk_Text(locRoot->GetTypeName()), aFileName);
            return false;
        }
    }
    return true;
}

bool VelkNameSpace::Write(const char* aFileName)
{
    VelkOutput locOutput;
    if (!WriteTo(locOutput, aFileName))
        return false;
    OS_SaveFile locSaveFile;
    if (!locSaveFile.Begin(aFileName))
    {
        VelkLog::Log("Failed to open output file '%s'", aFileName);
        return false;
    }
    const std::string& locText = locOutput.GetText();
    if (!locSaveFile.Write(locText.data(), locText.size()) || !locSaveFile.Commit())
    {
        locSaveFile.Abandon();
        VelkLog::Log("Failed to write namespace to '%s'", aFileName);
        return false;
    }
    VelkLog::Log("Successfully wrote namespace to '%s'", aFileName);
    return true;
}
