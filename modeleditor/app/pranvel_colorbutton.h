// The colour swatch of the editor's dialogs (an owner-drawn push button that
// shows one colour inside a flat button frame), and what the dialogs around
// it share: red/blue exchange, numbers typed with commas, mouse moves handed
// to the render view, double clicks on a swatch.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/ui/ui_dialog.h"

struct UI_Frame;

// Swatches and the colour chooser hold 0x00BBGGRR, the scene 0x00RRGGBB.
inline uint32_t PranvelSwapRedBlue(uint32_t aColor)
{
    return ((aColor & 0xFF) << 16) | (aColor & 0xFF00) | ((aColor >> 16) & 0xFF);
}

class CColorButton
{
public:
    CColorButton() = default;
    explicit CColorButton(uint32_t aColor) : myColor(aColor) {}

    // The owner-drawn button anId of aDialog this swatch paints.
    void Attach(UI_Dialog* aDialog, int anId);
    // The flat push-button frame (pushed while selected) and the colour
    // filled 2 pixels inside.
    void DrawItem(UI_DrawItem* anItem) const;
    // Sets the colour and asks for a repaint.
    void SetColor(uint32_t aColor);
    void Redraw() const;
    int GetId() const { return myId; }

    uint32_t myColor = 0; // COLORREF, 0x00BBGGRR

private:
    UI_Dialog* myDialog = nullptr;
    int myId = 0;
};

// The frame colours of the flat button (0x00RRGGBB): its face, the outer
// frame line and the inner line drawn while pushed.
constexpr uint32_t PRANVEL_BUTTON_FACE = 0xF0F0F0;
constexpr uint32_t PRANVEL_BUTTON_FRAME = 0x000000;
constexpr uint32_t PRANVEL_BUTTON_PUSHED = 0xA0A0A0;

// The render view that dialogs hand their mouse moves to (the main frame's).
void PranvelSetDialogFrame(UI_Frame* aFrame);
UI_Frame* PranvelGetDialogFrame();
// Mouse moves over the dialog's own surface go to the render view's mouse
// handler, as the view would have received them.
void PranvelForwardMouseMoves(UI_Dialog* aDialog);
// A double click on the button anId calls aHandler (after the click itself).
void PranvelWatchDoubleClick(UI_Dialog* aDialog, int anId, std::function<void()> aHandler);

// The control's text with every comma turned into a point, read as a float;
// false (aValue kept) when it does not start with a number.
bool PranvelReadFloat(UI_Dialog* aDialog, int anId, float* aValue);
// The control's text read as an integer (0 when it holds none, as the
// original's atoi).
int PranvelReadInt(UI_Dialog* aDialog, int anId);
void PranvelSetFloatText(UI_Dialog* aDialog, int anId, const char* aFormat, float aValue);
void PranvelSetIntText(UI_Dialog* aDialog, int anId, int aValue);
class QRECommand;
class QC_String;
// Runs the command with version 7 through the command handler, which owns it
// on success; on failure (or without a handler) it is deleted. Nothing shown.
bool PranvelRunCommand(QRECommand* aCommand);
// A three-letter extension (a point four characters from the end) cut off.
void PranvelCutExtension(QC_String* aPath);

// Shows or hides a control (ShowWindow).
void PranvelShowControl(UI_Dialog* aDialog, int anId, bool aShowFlag);
bool PranvelIsControlShown(UI_Dialog* aDialog, int anId);
