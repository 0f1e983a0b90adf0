// A prompt service that answers from a script and records every question;
// tests install it with UI_SetPromptService.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/ui_prompt.h"

class UI_ScriptedPrompts : public UI_PromptService
{
public:
    enum Kind
    {
        MESSAGE_BOX,
        FILE_DIALOG,
        COLOR_DIALOG,
        FOLDER_DIALOG,
    };

    // One question as it was asked.
    struct Question
    {
        Kind myKind = MESSAGE_BOX;
        std::string myCaption;
        std::string myText;
        int myFlags = 0;
        UI_FileDialogRequest myRequest;
        uint32_t myColor = 0;      // the colour a colour dialog started with
        std::string myFolder;      // the folder a folder dialog started in
    };

    // Answers are used in order. A box without a scripted answer gets its
    // default button, a file dialog without one is cancelled; both are counted
    // in myNumUnscripted.
    void AnswerBox(int aResult);
    void AnswerFile(const std::string& aPath);
    void AnswerFiles(const std::string& aDirectory, const std::vector<std::string>& aNames);
    void AnswerCancel();
    // The colour (0x00BBGGRR) and folder choosers; a chooser without its
    // answer next is cancelled and counted as unscripted.
    void AnswerColor(uint32_t aColor);
    void AnswerFolder(const std::string& aFolder);
    void AnswerChooserCancel(Kind aKind);

    int MessageBox(const char* aCaption, const char* aText, int aFlags) override;
    bool FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult) override;
    bool ChooseColor(const char* aTitle, uint32_t* aColor) override;
    // Records aStatus as the question's text; nobody selects, so aStatusFn is not asked.
    bool ChooseFolder(const char* aTitle, const char* aStatus, std::string* aFolder,
                      const UI_FolderStatusFn& aStatusFn) override;

    // "caption|text" of every message box asked, in order.
    std::vector<std::string> GetBoxes() const;
    void Clear();

    std::vector<Question> myQuestions;
    int myNumUnscripted = 0;

private:
    struct Answer
    {
        Kind myKind = MESSAGE_BOX;
        int myResult = 0;
        bool myCancel = false;
        UI_FileDialogResult myFiles;
        uint32_t myColor = 0;
        std::string myFolder;
    };
    // The next answer when it is of aKind (taken off), else null.
    bool TakeAnswer(Kind aKind, Answer* anAnswer);
    std::deque<Answer> myAnswers;
};
