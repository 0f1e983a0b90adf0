// The prompt-service registry, wildcard matching and the scripted service.
#include "platform/ui/ui_prompt.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_app.h"

#include <cctype>

static UI_PromptService* ourPromptService = nullptr;

std::string UI_FileDialogResult::GetPath(size_t anIndex) const
{
    if (anIndex >= myNames.size())
        return std::string();
    if (myDirectory.empty())
        return myNames[anIndex];
    if (myDirectory.back() == '/')
        return myDirectory + myNames[anIndex];
    return myDirectory + "/" + myNames[anIndex];
}

UI_PromptService* UI_SetPromptService(UI_PromptService* aService)
{
    UI_PromptService* locOld = ourPromptService;
    ourPromptService = aService;
    return locOld;
}

UI_PromptService* UI_GetPromptService()
{
    return ourPromptService ? ourPromptService : UI_GetDefaultPromptService();
}

int UI_MessageBox(const char* aCaption, const char* aText, int aFlags)
{
    // A worker's question waits for its answer on the user-interface thread.
    if (!UI_IsUIThread())
    {
        int locResult = 0;
        std::string locCaption = aCaption ? aCaption : "";
        std::string locText = aText ? aText : "";
        UI_CallOnUIThread([&]() { locResult = UI_MessageBox(locCaption.c_str(), locText.c_str(), aFlags); });
        return locResult;
    }
    return UI_GetPromptService()->MessageBox(aCaption ? aCaption : "", aText ? aText : "", aFlags);
}

bool UI_FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult)
{
    if (!UI_IsUIThread())
    {
        bool locChosen = false;
        UI_CallOnUIThread([&]() { locChosen = UI_FileDialog(aRequest, aResult); });
        return locChosen;
    }
    aResult->myDirectory.clear();
    aResult->myNames.clear();
    return UI_GetPromptService()->FileDialog(aRequest, aResult);
}

bool UI_PromptService::ChooseColor(const char*, uint32_t*)
{
    return false;
}

bool UI_PromptService::ChooseFolder(const char*, const char*, std::string*, const UI_FolderStatusFn&)
{
    return false;
}

bool UI_ChooseColor(const char* aTitle, uint32_t* aColor)
{
    if (!UI_IsUIThread())
    {
        bool locChosen = false;
        UI_CallOnUIThread([&]() { locChosen = UI_ChooseColor(aTitle, aColor); });
        return locChosen;
    }
    return UI_GetPromptService()->ChooseColor(aTitle ? aTitle : "", aColor);
}

bool UI_ChooseFolder(const char* aTitle, const char* aStatus, std::string* aFolder,
                     const UI_FolderStatusFn& aStatusFn)
{
    // A worker's status function runs on the user-interface thread while the worker waits.
    if (!UI_IsUIThread())
    {
        bool locChosen = false;
        UI_CallOnUIThread([&]() { locChosen = UI_ChooseFolder(aTitle, aStatus, aFolder, aStatusFn); });
        return locChosen;
    }
    return UI_GetPromptService()->ChooseFolder(aTitle ? aTitle : "", aStatus ? aStatus : "", aFolder, aStatusFn);
}

std::vector<UI_FileFilter> UI_ParseFilterString(const char* aFilterString)
{
    std::vector<UI_FileFilter> locFilters;
    std::string locText = aFilterString ? aFilterString : "";
    size_t locStart = 0;
    while (locStart < locText.size())
    {
        size_t locBar = locText.find('|', locStart);
        if (locBar == std::string::npos || locBar == locStart)
            break;
        size_t locEnd = locText.find('|', locBar + 1);
        if (locEnd == std::string::npos)
            locEnd = locText.size();
        UI_FileFilter locFilter;
        locFilter.myText = locText.substr(locStart, locBar - locStart);
        locFilter.myPattern = locText.substr(locBar + 1, locEnd - locBar - 1);
        if (!locFilter.myPattern.empty())
            locFilters.push_back(locFilter);
        locStart = locEnd + 1;
    }
    return locFilters;
}

static bool locMatchWild(const char* aPattern, const char* aName)
{
    // Iterative '*' backtracking: remember the last star and where it matched.
    const char* locStar = nullptr;
    const char* locResume = nullptr;
    while (*aName)
    {
        if (*aPattern == '*')
        {
            locStar = aPattern++;
            locResume = aName;
        }
        else if (*aPattern == '?' ||
                 (*aPattern && std::tolower((unsigned char) *aPattern) == std::tolower((unsigned char) *aName)))
        {
            aPattern++;
            aName++;
        }
        else if (locStar)
        {
            aPattern = locStar + 1;
            aName = ++locResume;
        }
        else
            return false;
    }
    while (*aPattern == '*')
        aPattern++;
    return *aPattern == 0;
}

bool UI_MatchFilePattern(const char* aPatternList, const char* aName)
{
    std::string locList = aPatternList ? aPatternList : "";
    size_t locStart = 0;
    while (locStart <= locList.size())
    {
        size_t locEnd = locList.find(';', locStart);
        if (locEnd == std::string::npos)
            locEnd = locList.size();
        std::string locPattern = locList.substr(locStart, locEnd - locStart);
        while (!locPattern.empty() && locPattern.front() == ' ')
            locPattern.erase(0, 1);
        // "*.*" also takes names without a dot, as on Windows.
        if (locPattern == "*.*" || locPattern == "*")
            return true;
        if (!locPattern.empty() && locMatchWild(locPattern.c_str(), aName))
            return true;
        locStart = locEnd + 1;
    }
    return false;
}

// --- scripted service ---

void UI_ScriptedPrompts::AnswerBox(int aResult)
{
    Answer locAnswer;
    locAnswer.myKind = MESSAGE_BOX;
    locAnswer.myResult = aResult;
    myAnswers.push_back(locAnswer);
}

void UI_ScriptedPrompts::AnswerFile(const std::string& aPath)
{
    Answer locAnswer;
    locAnswer.myKind = FILE_DIALOG;
    size_t locSlash = aPath.rfind('/');
    if (locSlash == std::string::npos)
        locAnswer.myFiles.myNames.push_back(aPath);
    else
    {
        locAnswer.myFiles.myDirectory = locSlash == 0 ? std::string("/") : aPath.substr(0, locSlash);
        locAnswer.myFiles.myNames.push_back(aPath.substr(locSlash + 1));
    }
    myAnswers.push_back(locAnswer);
}

void UI_ScriptedPrompts::AnswerFiles(const std::string& aDirectory, const std::vector<std::string>& aNames)
{
    Answer locAnswer;
    locAnswer.myKind = FILE_DIALOG;
    locAnswer.myFiles.myDirectory = aDirectory;
    locAnswer.myFiles.myNames = aNames;
    myAnswers.push_back(locAnswer);
}

void UI_ScriptedPrompts::AnswerColor(uint32_t aColor)
{
    Answer locAnswer;
    locAnswer.myKind = COLOR_DIALOG;
    locAnswer.myColor = aColor;
    myAnswers.push_back(locAnswer);
}

void UI_ScriptedPrompts::AnswerFolder(const std::string& aFolder)
{
    Answer locAnswer;
    locAnswer.myKind = FOLDER_DIALOG;
    locAnswer.myFolder = aFolder;
    myAnswers.push_back(locAnswer);
}

void UI_ScriptedPrompts::AnswerChooserCancel(Kind aKind)
{
    Answer locAnswer;
    locAnswer.myKind = aKind;
    locAnswer.myCancel = true;
    myAnswers.push_back(locAnswer);
}

bool UI_ScriptedPrompts::TakeAnswer(Kind aKind, Answer* anAnswer)
{
    if (myAnswers.empty() || myAnswers.front().myKind != aKind)
    {
        myNumUnscripted++;
        return false;
    }
    *anAnswer = myAnswers.front();
    myAnswers.pop_front();
    return true;
}

bool UI_ScriptedPrompts::ChooseColor(const char* aTitle, uint32_t* aColor)
{
    Question locQuestion;
    locQuestion.myKind = COLOR_DIALOG;
    locQuestion.myCaption = aTitle;
    locQuestion.myColor = *aColor;
    myQuestions.push_back(locQuestion);
    Answer locAnswer;
    if (!TakeAnswer(COLOR_DIALOG, &locAnswer) || locAnswer.myCancel)
        return false;
    *aColor = locAnswer.myColor;
    return true;
}

bool UI_ScriptedPrompts::ChooseFolder(const char* aTitle, const char* aStatus, std::string* aFolder,
                                      const UI_FolderStatusFn&)
{
    Question locQuestion;
    locQuestion.myKind = FOLDER_DIALOG;
    locQuestion.myCaption = aTitle;
    locQuestion.myText = aStatus;
    locQuestion.myFolder = *aFolder;
    myQuestions.push_back(locQuestion);
    Answer locAnswer;
    if (!TakeAnswer(FOLDER_DIALOG, &locAnswer) || locAnswer.myCancel)
        return false;
    *aFolder = locAnswer.myFolder;
    return true;
}

void UI_ScriptedPrompts::AnswerCancel()
{
    Answer locAnswer;
    locAnswer.myKind = FILE_DIALOG;
    locAnswer.myCancel = true;
    myAnswers.push_back(locAnswer);
}

int UI_ScriptedPrompts::MessageBox(const char* aCaption, const char* aText, int aFlags)
{
    Question locQuestion;
    locQuestion.myKind = MESSAGE_BOX;
    locQuestion.myCaption = aCaption;
    locQuestion.myText = aText;
    locQuestion.myFlags = aFlags;
    myQuestions.push_back(locQuestion);
    if (myAnswers.empty() || myAnswers.front().myKind != MESSAGE_BOX)
    {
        myNumUnscripted++;
        return OS_DefaultMessageBoxResult(aFlags);
    }
    int locResult = myAnswers.front().myResult;
    myAnswers.pop_front();
    return locResult;
}

bool UI_ScriptedPrompts::FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult)
{
    Question locQuestion;
    locQuestion.myKind = FILE_DIALOG;
    locQuestion.myFlags = aRequest.myFlags;
    locQuestion.myRequest = aRequest;
    myQuestions.push_back(locQuestion);
    if (myAnswers.empty() || myAnswers.front().myKind != FILE_DIALOG)
    {
        myNumUnscripted++;
        return false;
    }
    Answer locAnswer = myAnswers.front();
    myAnswers.pop_front();
    if (locAnswer.myCancel)
        return false;
    *aResult = locAnswer.myFiles;
    return true;
}

std::vector<std::string> UI_ScriptedPrompts::GetBoxes() const
{
    std::vector<std::string> locBoxes;
    for (const Question& locQuestion : myQuestions)
        if (locQuestion.myKind == MESSAGE_BOX)
            locBoxes.push_back(locQuestion.myCaption + "|" + locQuestion.myText);
    return locBoxes;
}

void UI_ScriptedPrompts::Clear()
{
    myQuestions.clear();
    myAnswers.clear();
    myNumUnscripted = 0;
}
