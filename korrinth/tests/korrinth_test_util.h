// A scratch data folder with "korrinth.velk", the types and a level file, the
// scripted prompts, and a recording editor for the program's tests.
#pragma once

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt_script.h"
#include "velk/velk_type.h"
#include "velkeditor/velk_editor.h"
#include "velkeditor/velk_editorfactory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korrinth_test
{
namespace fs = std::filesystem;

inline const char* const GAME_FRUIT =
    "CLASS BrowseFilter\r\n{\r\nTEXT myTypeName\r\nTEXT myMemberName\r\nTEXT myExtension\r\n}\r\n"
    "SCRIPTCLASS BrowseFilters\r\n{\r\nBrowseFilter\r\n}\r\n"
    "TYPE Colour\r\n{\r\nRed\r\nGreen\r\nBlue\r\n}\r\n"
    "CLASS Point\r\n{\r\nNUMBER x 1\r\nNUMBER y 2\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nNUMBER\r\nPoint\r\n}\r\n"
    "CLASS Unit\r\n{\r\nTEXT title\r\nColour colour Green\r\nPoint pos\r\nFILE sound\r\nUnit* next\r\n"
    "Script script\r\n}\r\n";

inline const char* const SETTINGS_VELK =
    "INCLUDE game.fruit\r\n"
    "TEXT DebugFile korrinth_debug.txt\r\n"
    "BrowseFilters myBrowseFilters\r\n{\r\n"
    "\tBrowseFilter BrowseFilter(0)\r\n\t{\r\n\t\tmyTypeName Unit\r\n\t\tmyMemberName sound\r\n"
    "\t\tmyExtension wav\r\n\t}\r\n}\r\n"
    "Point Unit\r\n{\r\n\tx 77\r\n}\r\n";

inline const char* const LEVEL_VELK =
    "INCLUDE game.fruit\r\n"
    "Unit tank\r\n{\r\n\ttitle \"big tank\"\r\n\tcolour Blue\r\n\tpos\r\n\t{\r\n\t\tx 10\r\n\t}\r\n"
    "\tnext jeep\r\n\tscript\r\n\t{\r\n\t\tTEXT TEXT(1) hello\r\n\t\tNUMBER NUMBER(2) 5\r\n\t}\r\n}\r\n"
    "Unit jeep\r\n{\r\n}\r\n"
    "Point spot\r\n{\r\n}\r\n"
    "NUMBER count 7\r\n";

inline void WriteFile(const fs::path& aPath, const std::string& aText)
{
    std::ofstream locFile(aPath, std::ios::binary);
    locFile << aText;
}

inline std::string ReadFile(const fs::path& aPath)
{
    std::ifstream locFile(aPath, std::ios::binary);
    std::stringstream locText;
    locText << locFile.rdbuf();
    return locText.str();
}

// Every call recorded as "name args".
class RecordingEditor : public VelkEditor
{
public:
    RecordingEditor(VelkType* anInstance, std::vector<std::string>* aLog) : VelkEditor(anInstance), myLog(aLog) {}
    ~RecordingEditor() override { myLog->push_back("destroyed"); }

    void SelectInstance(VelkType* anInstance) override
    {
        myLog->push_back("select");
        mySelected = anInstance;
    }
    void Draw(bool aDrawFlag) override { myLog->push_back(aDrawFlag ? "draw 1" : "draw 0"); }
    EditorAction OnLeftButton(int anX, int aY, bool aShiftFlag) override
    {
        return Record("left " + std::to_string(anX) + " " + std::to_string(aY) + (aShiftFlag ? " shift" : ""));
    }
    EditorAction OnLeftButtonUp(int anX, int aY) override
    {
        return Record("leftup " + std::to_string(anX) + " " + std::to_string(aY));
    }
    EditorAction OnRightButton(int anX, int aY, bool aShiftFlag, bool aControlFlag) override
    {
        return Record("right " + std::to_string(anX) + " " + std::to_string(aY) + (aShiftFlag ? " shift" : "") +
                      (aControlFlag ? " control" : ""));
    }
    EditorAction OnRightButtonUp(int anX, int aY) override
    {
        return Record("rightup " + std::to_string(anX) + " " + std::to_string(aY));
    }
    EditorAction OnKeyDown(int aKey) override { return Record("keydown " + std::to_string(aKey)); }
    EditorAction OnKeyUp(int aKey) override { return Record("keyup " + std::to_string(aKey)); }
    EditorAction OnChar(int aChar) override { return Record("char " + std::to_string(aChar)); }
    VelkType* GetSelectedInstance() override { return mySelected; }
    void Resize(int aWidth, int aHeight) override
    {
        myLog->push_back("resize " + std::to_string(aWidth) + " " + std::to_string(aHeight));
    }
    void OnTreeRefreshed() override { myLog->push_back("refreshed"); }
    void OnIdle() override { myLog->push_back("idle"); }
    bool OnInstanceRemoved(VelkType* anInstance) override
    {
        myLog->push_back("removed");
        if (IsRemovedBy(mySelected, anInstance))
            mySelected = nullptr;
        return true;
    }

    EditorAction Record(const std::string& aText)
    {
        myLog->push_back(aText);
        if (myChangesFlag)
            MarkChanged();
        EditorAction locAction = myNextAction;
        myNextAction = EditorAction();
        return locAction;
    }

    std::vector<std::string>* myLog;
    VelkType* mySelected = nullptr;
    EditorAction myNextAction;
    bool myChangesFlag = false;   // every handler changes a value
};

// Makes a recording editor for every instance of the type "Unit".
class RecordingFactory : public VelkEditorFactory
{
public:
    VelkEditorFactory* Create() override
    {
        RecordingFactory* locCopy = new RecordingFactory;
        locCopy->myLog = myLog;
        locCopy->myConfigs = myConfigs;
        locCopy->myLastEditor = myLastEditor;
        return locCopy;
    }
    VelkEditor* CreateEditor(VelkType* anInstance, VelkTypeFilterManager*, void* aWindow,
                             VelkType* aConfig) override
    {
        myConfigs->push_back(aConfig);
        if (!anInstance || anInstance->GetTypeName() != "Unit" || !aWindow)
            return nullptr;
        RecordingEditor* locEditor = new RecordingEditor(anInstance, myLog);
        *myLastEditor = locEditor;
        return locEditor;
    }

    std::vector<std::string>* myLog = nullptr;
    std::vector<VelkType*>* myConfigs = nullptr;
    RecordingEditor** myLastEditor = nullptr;
};

// A data folder of its own, the working directory while the test runs.
class DataFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char locOld[4096];
        ASSERT_NE(getcwd(locOld, sizeof(locOld)), nullptr);
        myOldDir = locOld;
        myDir = fs::temp_directory_path() / ("korrinth_" + std::to_string(getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(myDir);
        fs::create_directories(myDir / "config");
        setenv("XDG_CONFIG_HOME", (myDir / "config").c_str(), 1);
        WriteFile(myDir / "game.fruit", GAME_FRUIT);
        WriteFile(myDir / "korrinth.velk", SETTINGS_VELK);
        WriteFile(myDir / "level.velk", LEVEL_VELK);
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        myOldPrompts = UI_SetPromptService(&myPrompts);
        UI_ClearQuitMessage();
    }
    void TearDown() override
    {
        UI_SetPromptService(myOldPrompts);
        UI_ClearQuitMessage();
        if (chdir(myOldDir.c_str()) != 0)
            ADD_FAILURE() << "chdir back";
        fs::remove_all(myDir);
    }

    fs::path myDir;
    std::string myOldDir;
    UI_ScriptedPrompts myPrompts;
    UI_PromptService* myOldPrompts = nullptr;
};
} // namespace korrinth_test
