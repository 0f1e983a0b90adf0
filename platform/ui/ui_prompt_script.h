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
    };

    // One question as it was asked.
    struct Question
    {
        Kind myKind = MESSAGE_BOX;
        std::string myCaption;
        std::string myText;
        int myFlags = 0;
        UI_FileDialogRequest myRequest;
    };

    // Answers are used in order. A box without a scripted answer gets its
    // default button, a file dialog without one is cancelled; both are counted
    // in myNumUnscripted.
    void AnswerBox(int aResult);
    void AnswerFile(const std::string& aPath);
    void AnswerFiles(const std::string& aDirectory, const std::vector<std::string>& aNames);
    void AnswerCancel();

    int MessageBox(const char* aCaption, const char* aText, int aFlags) override;
    bool FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult) override;

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
    };
    std::deque<Answer> myAnswers;
};
