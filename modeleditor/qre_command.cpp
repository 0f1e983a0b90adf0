// Section index: base command; handler; keywords; line format and parse;
// save and load.
#include "modeleditor/qre_command.h"

#include <clocale>
#include <errno.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/qre_commands.h"
#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"
#include "platform/os/os_ui.h"
#include "qfile/render/qf_file.h"

QRECommand::ExecuteHook QRECommand::ourExecuteHook = nullptr;
CommandHandler::WorkDirHook CommandHandler::ourWorkDirHook = nullptr;
CommandHandler* CommandHandler::ourInstance = nullptr;

namespace
{
const char locCaption[] = "Pranvel";

// Numbers are written and read in the C locale whatever the program set.
locale_t locCLocale()
{
    static locale_t ourLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return ourLocale;
}

int32_t locToInt(const char* aText)
{
    long long locValue = strtoll(aText, nullptr, 10);
    if (locValue > INT32_MAX)
        return INT32_MAX;
    if (locValue < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(locValue);
}

float locToFloat(const char* aText)
{
    return static_cast<float>(strtod_l(aText, nullptr, locCLocale()));
}

void locAppendFloat(std::string& aLine, float aValue)
{
    char locText[64];
    locale_t locOld = uselocale(locCLocale());
    snprintf(locText, sizeof(locText), "%.3f", static_cast<double>(aValue));
    uselocale(locOld);
    aLine += locText;
}

// A string the loader would cut or split.
bool locStringReadable(const char* aText)
{
    return !strchr(aText, '"') && !strstr(aText, "//") && !strchr(aText, '\r') && !strchr(aText, '\n');
}
}

// ---------------------------------------------------------------------------
// Base command
// ---------------------------------------------------------------------------

bool QRECommand::IsKind(const QRECommand& aCommand) const
{
    return strcmp(myKeyword, aCommand.myKeyword) == 0;
}

bool QRECommand::BeginParams()
{
    EndParams();
    myParams = new (std::nothrow) QREParam[MAX_PARAMS];
    return myParams != nullptr;
}

void QRECommand::EndParams()
{
    delete[] myParams;
    myParams = nullptr;
    myParamCount = 0;
}

void QRECommand::AddParam(QREParamType aType, void* aValue)
{
    QC_ASSERT(myParams && myParamCount < MAX_PARAMS);
    myParams[myParamCount].myType = aType;
    myParams[myParamCount].myValue = aValue;
    ++myParamCount;
}

// ---------------------------------------------------------------------------
// Handler
// ---------------------------------------------------------------------------

bool CommandHandler::Create()
{
    if (ourInstance)
        return false;
    ourInstance = new (std::nothrow) CommandHandler();
    if (!ourInstance)
        return false;
    if (!ourInstance->Init())
    {
        delete ourInstance;
        ourInstance = nullptr;
        return false;
    }
    return true;
}

bool CommandHandler::Destroy()
{
    if (!ourInstance)
        return false;
    delete ourInstance;
    ourInstance = nullptr;
    return true;
}

QC_String CommandHandler::GetWorkDir()
{
    const char* locDirectory = ourWorkDirHook ? ourWorkDirHook() : nullptr;
    if (locDirectory && locDirectory[0])
        return QC_String(locDirectory);
    // No cap on the directory's length.
    std::vector<char> locBuffer(4096);
    while (!OS_GetCurrentDirectory(locBuffer.data(), locBuffer.size()))
    {
        if (errno != ERANGE || locBuffer.size() >= (1u << 20))
            return QC_String();
        locBuffer.resize(locBuffer.size() * 2);
    }
    return QC_String(locBuffer.data());
}

bool CommandHandler::Init()
{
    const char* locDirectory = ourWorkDirHook ? ourWorkDirHook() : "";
    QRECommand* locCommand = new (std::nothrow) WorkDirCommand(locDirectory ? locDirectory : "");
    return locCommand && myHistory.AddFirst(locCommand);
}

bool CommandHandler::Run(uint32_t aVersion, QRECommand* aCommand)
{
    if (!aCommand || !aCommand->Execute(aVersion))
        return false;
    if (!myHistory.Add(aCommand))
        return false;
    myModifiedFlag = true;
    return true;
}

bool CommandHandler::RunUnrecorded(uint32_t aVersion, QRECommand* aCommand)
{
    return aCommand && aCommand->Execute(aVersion);
}

bool CommandHandler::RunIfAbsent(uint32_t aVersion, QRECommand* aCommand)
{
    if (!aCommand)
        return false;
    for (auto* locLink = myHistory.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->IsKind(*aCommand))
        {
            // True means the handler has the command: one it need not run is freed here.
            delete aCommand;
            return true;
        }
    return Run(aVersion, aCommand);
}

void CommandHandler::Clear()
{
    myHistory.DeleteAll();
    myModifiedFlag = false;
}

bool CommandHandler::PrependWorkDir()
{
    if (!myHistory.IsEmpty() && strcmp(myHistory.GetFirst()->GetKeyword(), WorkDirCommand::KEYWORD) == 0)
    {
        delete myHistory.GetFirst();
        myHistory.RemoveLink(myHistory.myFirstLink);
    }
    QRECommand* locCommand = new (std::nothrow) WorkDirCommand(GetWorkDir());
    if (!locCommand)
        return false;
    if (!myHistory.AddFirst(locCommand))
    {
        delete locCommand;
        return false;
    }
    return true;
}

void CommandHandler::Release()
{
    myHistory.DeleteAll();
    myModifiedFlag = false;
}

// ---------------------------------------------------------------------------
// Keywords
// ---------------------------------------------------------------------------

namespace
{
template <class T>
QRECommand* locMake()
{
    return new (std::nothrow) T();
}

struct QREKeyword
{
    const char* myKeyword;
    QRECommand* (*myMake)();
};

// The loader's order.
const QREKeyword locKeywords[] = {
    {OpenModelCommand::KEYWORD, locMake<OpenModelCommand>},
    {AddStateCommand::KEYWORD, locMake<AddStateCommand>},
    {AddParticleEmittorCommand::KEYWORD, locMake<AddParticleEmittorCommand>},
    {RemoveParticleEmittorCommand::KEYWORD, locMake<RemoveParticleEmittorCommand>},
    {AddNullObjectCommand::KEYWORD, locMake<AddNullObjectCommand>},
    {EditObjectCommand::KEYWORD, locMake<EditObjectCommand>},
    {WorkDirCommand::KEYWORD, locMake<WorkDirCommand>},
    {HaloFileCommand::KEYWORD, locMake<HaloFileCommand>},
    {DefaultSurfaceCommand::KEYWORD, locMake<DefaultSurfaceCommand>},
    {EditJointStateCommand::KEYWORD, locMake<EditJointStateCommand>},
    {EditAllJointStateCommand::KEYWORD, locMake<EditAllJointStateCommand>},
    {AddJointStateCommand::KEYWORD, locMake<AddJointStateCommand>},
    {RemoveBoneStateCommand::KEYWORD, locMake<RemoveBoneStateCommand>},
    {AddQREHierarchyCommand::KEYWORD, locMake<AddQREHierarchyCommand>},
    {EditBoneCommand::KEYWORD, locMake<EditBoneCommand>},
    {EditPositionOrientationCommand::KEYWORD, locMake<EditPositionOrientationCommand>},
    {AddModelHierarchyCommand::KEYWORD, locMake<AddModelHierarchyCommand>},
    {EditLightSourceCommand::KEYWORD, locMake<EditLightSourceCommand>},
    {EditMeshCommand::KEYWORD, locMake<EditMeshCommand>},
    {SelectSurfaceCommand::KEYWORD, locMake<SelectSurfaceCommand>},
    {ChangeTextureCommand::KEYWORD, locMake<ChangeTextureCommand>},
    {DefaultLodDistanceCommand::KEYWORD, locMake<DefaultLodDistanceCommand>},
};

// ASCII only: the C locale's case-insensitive compare.
bool locSameNoCase(const char* aText, uint32_t aLength, const char* aKeyword)
{
    return strlen(aKeyword) == aLength && strncasecmp_l(aText, aKeyword, aLength, locCLocale()) == 0;
}

bool locIsSkipped(const char* aText, uint32_t aLength)
{
    static const char* const ourSkipped[] = {"VERSION_NUMBER", "EDITLOD", "ADDLOD", "EDITANIM", "EDITANIMFULL"};
    for (const char* locKeyword : ourSkipped)
        if (locSameNoCase(aText, aLength, locKeyword))
            return true;
    return false;
}
}

QRECommand* QRE_CreateCommand(const char* aKeyword, uint32_t aLength)
{
    for (const QREKeyword& locEntry : locKeywords)
        if (locSameNoCase(aKeyword, aLength, locEntry.myKeyword))
            return locEntry.myMake();
    return nullptr;
}

// ---------------------------------------------------------------------------
// Line format and parse
// ---------------------------------------------------------------------------

bool QRE_FormatCommand(QRECommand& aCommand, QC_String& aLine, bool* aReadableFlag)
{
    if (aReadableFlag)
        *aReadableFlag = true;
    if (!aCommand.BeginParams() || !aCommand.DescribeParams(QRECommand::CURRENT_VERSION))
    {
        aCommand.EndParams();
        EditorError::Set(EDITOR_ERROR_PARAM_LIST);
        return false;
    }
    bool locReadable = true;
    std::string locLine = aCommand.GetKeyword();
    locLine += ' ';
    auto locAppendString = [&](const QC_String& aText) {
        locLine += '"';
        locLine += aText.GetBuffer();
        locLine += '"';
        locReadable = locReadable && locStringReadable(aText);
    };
    const uint32_t locCount = aCommand.GetParamCount();
    for (uint32_t locIndex = 0; locIndex < locCount; ++locIndex)
    {
        const QREParam& locParam = aCommand.GetParam(locIndex);
        switch (locParam.myType)
        {
        case QRE_PARAM_FLOAT:
            locAppendFloat(locLine, *static_cast<float*>(locParam.myValue));
            break;
        case QRE_PARAM_INT:
        case QRE_PARAM_UINT:
            locLine += std::to_string(*static_cast<int32_t*>(locParam.myValue));
            break;
        case QRE_PARAM_BOOL:
            locLine += *static_cast<bool*>(locParam.myValue) ? '1' : '0';
            break;
        case QRE_PARAM_STRING:
            locAppendString(*static_cast<QC_String*>(locParam.myValue));
            break;
        case QRE_PARAM_STRINGLIST:
        {
            const auto* locList = static_cast<QC_List<QC_String>*>(locParam.myValue);
            locLine += std::to_string(locList->Count());
            for (auto* locLink = locList->myFirstLink; locLink; locLink = locLink->myNext)
            {
                locLine += ' ';
                locAppendString(locLink->myItem);
            }
            break;
        }
        default:
            break;
        }
        if (locIndex + 1 < locCount)
            locLine += ' ';
    }
    aCommand.EndParams();
    // QC_String holds at most 65535 characters; the loader reads lines whole.
    if (locLine.size() > 65535)
    {
        EditorError::Set(EDITOR_ERROR_PARAM_LIST);
        SetErrorDetail("%s", aCommand.GetKeyword());
        return false;
    }
    aLine = locLine.c_str();
    if (aReadableFlag)
        *aReadableFlag = locReadable;
    return true;
}

namespace
{
// The line of a command, the loader's warning shown when it cannot read the
// line back; false when the line cannot be built (left out).
bool locLineOf(QRECommand& aCommand, QC_String& aLine)
{
    bool locReadable = true;
    if (!QRE_FormatCommand(aCommand, aLine, &locReadable))
        return false;
    if (!locReadable)
    {
        QC_String locText;
        locText.Format("SaveQRE: command %s holds a string with a double quote, \"//\", CR or LF. The QRE will "
                       "save, but it will not load correctly.",
                       aCommand.GetKeyword());
        OS_MessageBox(locText, locCaption, OS_MB_OK | OS_MB_ICONWARNING);
    }
    return true;
}

// False with *aWriteFailed clear when the line cannot be built (left out).
bool locWriteCommand(QRECommand& aCommand, QF_File& aFile, bool* aWriteFailed)
{
    *aWriteFailed = false;
    QC_String locLine;
    if (!locLineOf(aCommand, locLine))
        return false;
    *aWriteFailed = !aFile.Write(locLine.GetBuffer(), locLine.GetLength()) || !aFile.Write("\r\n", 2);
    return !*aWriteFailed;
}

// Lines go to the file in pieces of about this size.
constexpr size_t locSavePiece = 256 * 1024;
}

bool WriteQRECommand(QRECommand& aCommand, QF_File& aFile)
{
    bool locWriteFailed = false;
    return locWriteCommand(aCommand, aFile, &locWriteFailed);
}

bool ParseQRECommand(QRECommand& aCommand, char* aLine, uint32_t aVersion)
{
    if (!aLine || !aCommand.BeginParams() || !aCommand.DescribeParams(aVersion))
    {
        aCommand.EndParams();
        return false;
    }
    // Tokens split in place; a quoted token runs to the next quote.
    std::vector<const char*> locTokens;
    char* locCursor = aLine;
    while (*locCursor)
    {
        while (*locCursor == ' ')
            ++locCursor;
        if (!*locCursor)
            break;
        if (*locCursor == '"')
        {
            // A quote inside a string cannot be written back: the closing
            // quote must end the token.
            char* locEnd = strchr(locCursor + 1, '"');
            if (!locEnd || (locEnd[1] != 0 && locEnd[1] != ' '))
            {
                aCommand.EndParams();
                return false;
            }
            *locEnd = 0;
            locTokens.push_back(locCursor + 1);
            locCursor = locEnd + 1;
            continue;
        }
        char* locEnd = strchr(locCursor, ' ');
        if (memchr(locCursor, '"', locEnd ? static_cast<size_t>(locEnd - locCursor) : strlen(locCursor)))
        {
            aCommand.EndParams();
            return false;
        }
        locTokens.push_back(locCursor);
        if (!locEnd)
            break;
        *locEnd = 0;
        locCursor = locEnd + 1;
    }
    if (locTokens.empty() || strcmp(locTokens[0], aCommand.GetKeyword()) != 0)
    {
        aCommand.EndParams();
        return false;
    }
    size_t locNext = 1;
    bool locResult = true;
    const uint32_t locCount = aCommand.GetParamCount();
    // Values the line does not hold keep their defaults.
    for (uint32_t locIndex = 0; locIndex < locCount && locNext < locTokens.size() && locResult; ++locIndex)
    {
        const QREParam& locParam = aCommand.GetParam(locIndex);
        const char* locToken = locTokens[locNext++];
        switch (locParam.myType)
        {
        case QRE_PARAM_FLOAT:
            *static_cast<float*>(locParam.myValue) = locToFloat(locToken);
            break;
        case QRE_PARAM_INT:
        case QRE_PARAM_UINT:
            *static_cast<int32_t*>(locParam.myValue) = locToInt(locToken);
            break;
        case QRE_PARAM_BOOL:
            *static_cast<bool*>(locParam.myValue) = locToInt(locToken) != 0;
            break;
        case QRE_PARAM_STRING:
            if (strlen(locToken) > 65535)
                locResult = false;
            else
                *static_cast<QC_String*>(locParam.myValue) = locToken;
            break;
        case QRE_PARAM_STRINGLIST:
        {
            const int32_t locListCount = locToInt(locToken);
            if (locListCount < 0 || static_cast<size_t>(locListCount) > locTokens.size() - locNext)
            {
                locResult = false;
                break;
            }
            auto* locList = static_cast<QC_List<QC_String>*>(locParam.myValue);
            for (int32_t locItem = 0; locItem < locListCount && locResult; ++locItem)
            {
                const char* locText = locTokens[locNext++];
                locResult = strlen(locText) <= 65535 && locList->Add(QC_String(locText));
            }
            break;
        }
        default:
            locResult = false;
            break;
        }
    }
    aCommand.EndParams();
    return locResult;
}

// ---------------------------------------------------------------------------
// Save and load
// ---------------------------------------------------------------------------

bool SaveQRE(CommandHandler& aHandler, const QC_String& aFileName)
{
    // The old file stays whole under its name until the new one is complete
    // and on the disk; links, the mode and the spelling of the existing name
    // are kept.
    OS_SaveFile locSave;
    const auto locFail = [&](int anError) {
        locSave.Abandon();
        if (const char* locKept = locSave.GetKeptPath())
            SetErrorDetail("%s: %s; its old content is kept in '%s'", aFileName.GetBuffer(), strerror(anError), locKept);
        else
            SetErrorDetail("%s: %s", aFileName.GetBuffer(), strerror(anError));
        errno = anError;
        return false;
    };
    // A folder standing at the name is not a file to replace.
    if (OS_IsDirectory(aFileName))
        return locFail(EISDIR);
    if (!locSave.Begin(aFileName))
        return locFail(locSave.GetError());
    char locVersion[32];
    snprintf(locVersion, sizeof(locVersion), "VERSION_NUMBER %u\r\n", QRECommand::CURRENT_VERSION);
    std::string locText = locVersion;
    aHandler.PrependWorkDir();
    for (auto* locLink = aHandler.GetHistory().myFirstLink; locLink; locLink = locLink->myNext)
    {
        // A line that cannot be built is left out (error 33); the rest are written.
        QC_String locLine;
        if (!locLineOf(*locLink->myItem, locLine))
            continue;
        locText.append(locLine.GetBuffer(), locLine.GetLength());
        locText += "\r\n";
        if (locText.size() >= locSavePiece)
        {
            if (!locSave.Write(locText.data(), locText.size()))
                return locFail(locSave.GetError());
            locText.clear();
        }
    }
    if (!locSave.Write(locText.data(), locText.size()) || !locSave.Commit())
        return locFail(locSave.GetError());
    aHandler.SetModified(false);
    return true;
}

namespace
{
// Files being loaded, outermost first: a hierarchy import of one of them is refused.
std::vector<std::string> ourLoading;

struct LoadingMark
{
    explicit LoadingMark(const char* aName) { ourLoading.emplace_back(aName); }
    ~LoadingMark() { ourLoading.pop_back(); }
};

bool locIsLoading(const char* aName)
{
    for (const std::string& locName : ourLoading)
    {
        if (strcasecmp(locName.c_str(), aName) == 0)
            return true;
        OS_FileInfo locA, locB;
        if (OS_GetFileInfo(locName.c_str(), &locA) && OS_GetFileInfo(aName, &locB) && locA.myDevice == locB.myDevice &&
            locA.myInode == locB.myInode)
            return true;
    }
    return false;
}

bool locLoad(CommandHandler& aHandler, const QC_String& aFileName, bool anExecuteOnlyFlag, int* aNumUnknown)
{
    if (aNumUnknown)
        *aNumUnknown = 0;
    if (!anExecuteOnlyFlag)
        aHandler.Clear();
    if (locIsLoading(aFileName))
    {
        EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
        SetErrorDetail("%s is already being loaded", aFileName.GetBuffer());
        return false;
    }
    std::vector<char> locDirectory(4096);
    bool locHaveDirectory;
    while (!(locHaveDirectory = OS_GetCurrentDirectory(locDirectory.data(), locDirectory.size())) && errno == ERANGE &&
           locDirectory.size() < (1u << 20))
        locDirectory.resize(locDirectory.size() * 2);

    QF_File locFile;
    if (!locFile.Open(aFileName, QF_READ))
        return false;
    LoadingMark locMark(aFileName);
    auto locFail = [&](bool aRestoreDirectory) {
        locFile.Close();
        if (aRestoreDirectory && locHaveDirectory)
            OS_SetCurrentDirectory(locDirectory.data());
        if (!anExecuteOnlyFlag)
            aHandler.SetModified(false);
        return false;
    };

    // Lines are read whole.
    std::vector<char> locLine(static_cast<size_t>(locFile.GetSize()) + 1);
    uint32_t locVersion = 0;
    bool locFirst = true;
    while (locFile.GetPos() < locFile.GetSize())
    {
        locFile.ReadLine(locLine.data(), static_cast<uint32_t>(locLine.size()));
        const uint32_t locLength = static_cast<uint32_t>(strlen(locLine.data()));
        if (locLength == 0)
            break;
        if (locFirst)
        {
            locFirst = false;
            if (locLength >= 15 && strncasecmp_l(locLine.data(), "VERSION_NUMBER ", 15, locCLocale()) == 0)
                locVersion = static_cast<uint32_t>(locToInt(locLine.data() + 15));
        }
        const char* locSpace = strchr(locLine.data(), ' ');
        const uint32_t locKeywordLength =
            locSpace ? static_cast<uint32_t>(locSpace - locLine.data()) : locLength;
        if (locIsSkipped(locLine.data(), locKeywordLength))
            continue;
        QRECommand* locCommand = QRE_CreateCommand(locLine.data(), locKeywordLength);
        if (!locCommand)
        {
            OS_MessageBox("ERROR: unknown command in QRE file", locCaption, OS_MB_OK | OS_MB_ICONERROR);
            if (aNumUnknown)
                (*aNumUnknown)++;
            continue;
        }
        const bool locIsWorkDir = strcmp(locCommand->GetKeyword(), WorkDirCommand::KEYWORD) == 0;
        if (locIsWorkDir && anExecuteOnlyFlag)
        {
            delete locCommand;
            continue;
        }
        if (!anExecuteOnlyFlag && strcmp(locCommand->GetKeyword(), OpenModelCommand::KEYWORD) == 0)
        {
            bool locHasDefault = false;
            for (auto* locLink = aHandler.GetHistory().myFirstLink; locLink && !locHasDefault; locLink = locLink->myNext)
                locHasDefault = strcmp(locLink->myItem->GetKeyword(), DefaultSurfaceCommand::KEYWORD) == 0;
            if (!locHasDefault)
            {
                const char* locName = QRE_GetDefaultSurfaceName ? QRE_GetDefaultSurfaceName() : "";
                QRECommand* locDefault = new (std::nothrow) DefaultSurfaceCommand(locName ? locName : "");
                if (!locDefault || !aHandler.Run(QRECommand::CURRENT_VERSION, locDefault))
                {
                    delete locDefault;
                    delete locCommand;
                    return locFail(true);
                }
            }
        }
        if (!ParseQRECommand(*locCommand, locLine.data(), locVersion))
        {
            delete locCommand;
            // A hierarchy import leaves the user's history alone.
            if (!anExecuteOnlyFlag)
                aHandler.Clear();
            return locFail(false);
        }
        if (anExecuteOnlyFlag || locIsWorkDir)
        {
            const bool locResult = locCommand->Execute(locVersion);
            delete locCommand;
            if (!locResult)
                return locFail(true);
        }
        else if (!aHandler.Run(locVersion, locCommand))
        {
            delete locCommand;
            return locFail(true);
        }
    }
    locFile.Close();
    if (!anExecuteOnlyFlag)
        aHandler.SetModified(false);
    return true;
}
}

const char* (*QRE_GetDefaultSurfaceName)() = nullptr;

bool LoadQRE(CommandHandler& aHandler, const QC_String& aFileName, bool anExecuteOnlyFlag)
{
    return locLoad(aHandler, aFileName, anExecuteOnlyFlag, nullptr);
}

bool LoadQRE(CommandHandler& aHandler, const QC_String& aFileName, bool anExecuteOnlyFlag, int* aNumUnknownCommands)
{
    return locLoad(aHandler, aFileName, anExecuteOnlyFlag, aNumUnknownCommands);
}

bool ReloadQREHierarchy(const QC_String& aFileName)
{
    CommandHandler* locHandler = CommandHandler::Get();
    return locHandler && LoadQRE(*locHandler, aFileName, true);
}
