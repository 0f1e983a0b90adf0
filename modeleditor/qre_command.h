// Edit commands, the handler that runs them and keeps the history of those
// that succeeded, and the .qre text form of that history. No window or device:
// the scene's side of each command is reached through QRECommand::ourExecuteHook.
#pragma once

#include <stdint.h>

#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class QF_File;

enum QREParamType : uint32_t
{
    QRE_PARAM_FLOAT = 0,     // float, "%.3f"
    QRE_PARAM_INT = 1,       // int32_t, "%d"
    QRE_PARAM_UINT = 2,      // int32_t, "%d" (handled as 1)
    QRE_PARAM_BOOL = 3,      // bool, 1 or 0
    QRE_PARAM_STRING = 4,    // QC_String between double quotes
    QRE_PARAM_STRINGLIST = 5 // QC_List<QC_String>: the count, then each string
};

struct QREParam
{
    uint32_t myType;
    void* myValue;   // into the command object
};

class QRECommand
{
public:
    static constexpr uint32_t MAX_PARAMS = 256;
    static constexpr uint32_t CURRENT_VERSION = 7;

    explicit QRECommand(const char* aKeyword) : myParams(nullptr), myParamCount(0), myKeyword(aKeyword) {}
    virtual ~QRECommand() { delete[] myParams; }
    QRECommand(const QRECommand&) = delete;
    QRECommand& operator=(const QRECommand&) = delete;

    virtual bool Execute(uint32_t aVersion) = 0;
    // Fills the parameter array with the values a line of aVersion holds, in order.
    virtual bool DescribeParams(uint32_t aVersion) = 0;

    const char* GetKeyword() const { return myKeyword; }
    bool IsKind(const QRECommand& aCommand) const;

    // Allocates or frees the parameter array around DescribeParams.
    bool BeginParams();
    void EndParams();
    uint32_t GetParamCount() const { return myParamCount; }
    const QREParam& GetParam(uint32_t anIndex) const { return myParams[anIndex]; }

    // The scene's side of the commands that reach the editor scene; set by the
    // scene. Without one those commands fail.
    typedef bool (*ExecuteHook)(QRECommand& aCommand, uint32_t aVersion);
    static ExecuteHook ourExecuteHook;

protected:
    void AddParam(QREParamType aType, void* aValue);

    QREParam* myParams;
    uint32_t myParamCount;
    const char* myKeyword;
};

class CommandHandler
{
public:
    virtual ~CommandHandler() { Release(); }

    static bool Create();
    static bool Destroy();
    static CommandHandler* Get() { return ourInstance; }

    bool Init();
    // Executes; on success the handler owns the command, at the history's end.
    bool Run(uint32_t aVersion, QRECommand* aCommand);
    bool RunUnrecorded(uint32_t aVersion, QRECommand* aCommand);
    // True without executing when a command of the same keyword is recorded;
    // the command is then deleted, so on true the caller never frees it.
    bool RunIfAbsent(uint32_t aVersion, QRECommand* aCommand);
    bool IsModified() const { return myModifiedFlag; }
    void SetModified(bool aFlag) { myModifiedFlag = aFlag; }
    void Clear();
    // Puts one WORKDIR command, with the scene's working directory (or the
    // current directory), at the history's head.
    bool PrependWorkDir();
    void Release();
    QC_List<QRECommand*>& GetHistory() { return myHistory; }

    // The editor scene's working directory; set by the scene. Empty or unset:
    // the process's current directory.
    typedef const char* (*WorkDirHook)();
    static WorkDirHook ourWorkDirHook;

private:
    CommandHandler() : myModifiedFlag(false) {}
    static QC_String GetWorkDir();

    QC_List<QRECommand*> myHistory;
    bool myModifiedFlag;
    static CommandHandler* ourInstance;
};

// A new command of that keyword (compared without case in the C locale) with
// its default values; null for a keyword outside the 22.
QRECommand* QRE_CreateCommand(const char* aKeyword, uint32_t aLength);

// One line, without the line end; false (EditorError 33) when the command
// cannot describe its values. *aReadableFlag (optional) answers whether the
// loader can read the line back as written.
bool QRE_FormatCommand(QRECommand& aCommand, QC_String& aLine, bool* aReadableFlag);
bool WriteQRECommand(QRECommand& aCommand, QF_File& aFile);
// Fills the command's values from a line of aVersion; the line is split in
// place. Values the line does not hold keep their defaults.
bool ParseQRECommand(QRECommand& aCommand, char* aLine, uint32_t aVersion);

// Replaces the file whole or not at all. A failure leaves the file name and
// the system's reason in the error detail, and the reason in errno.
bool SaveQRE(CommandHandler& aHandler, const QC_String& aFileName);
bool LoadQRE(CommandHandler& aHandler, const QC_String& aFileName, bool anExecuteOnlyFlag);
// The scene's current default surface name, recorded ahead of a loaded
// model when the file names none; set by the scene.
extern const char* (*QRE_GetDefaultSurfaceName)();

// LoadQRE that also counts the lines it skipped as unknown commands (each
// told to the user; the load goes on without them).
bool LoadQRE(CommandHandler& aHandler, const QC_String& aFileName, bool anExecuteOnlyFlag,
             int* aNumUnknownCommands);

// A hierarchy import: the file's commands executed, nothing recorded.
bool ReloadQREHierarchy(const QC_String& aFileName);
