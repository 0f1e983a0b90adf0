// Pictures of the programs' dialogs and main windows with a description of
// every visible control, and the check that each can be read: no two
// controls cover each other and every text fits its control.
//
// Q_UI_GALLERY=<folder> puts a program in gallery mode: it opens its dialogs
// one by one (each program has its own list), and each is written to
// <folder>/<name>.png, its controls appended to <folder>/layout.tsv and the
// faults found to <folder>/faults.txt.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct UI_Dialog;
struct UI_Frame;

// One visible control as drawn. Rectangles in the picture's pixels; for a
// combo box the closed control. The text rectangle is where the text is
// drawn (empty without text).
struct UI_LayoutControl
{
    std::string myImage;
    int myId = 0;
    std::string myClass; // static button check radio edit combo list tree slider spin group other
    int myX = 0, myY = 0, myWidth = 0, myHeight = 0;
    std::string myText;  // tabs and line ends as blanks
    // The text's width and height in the control's font fit its rectangle.
    // Edits, lists and trees scroll their text: for them one line's height must fit.
    bool myFitsFlag = true;
    int myTextX = 0, myTextY = 0, myTextWidth = 0, myTextHeight = 0;
};

// The visible controls of a dialog (its client area is the picture), and of
// a frame's dialog bar and pane (the frame's window is the picture).
std::vector<UI_LayoutControl> UI_DescribeDialog(UI_Dialog* aDialog, const char* anImage);
std::vector<UI_LayoutControl> UI_DescribeFrame(UI_Frame* aFrame, const char* anImage);

// "<image>\t<id>\t<class>\t<x>\t<y>\t<w>\t<h>\t<text>\t<fits>"
std::string UI_LayoutLine(const UI_LayoutControl& aControl);

// One line per fault: two visible controls that overlap (excepted: a group
// box and the controls inside it, clear of its title; a static beside a
// control as long as the control leaves the static's text free, statics
// having no background), or a text that does not fit.
std::vector<std::string> UI_FindLayoutFaults(const std::vector<UI_LayoutControl>& aControls);

// The gallery folder, or null when the program is not in gallery mode.
const char* UI_GalleryFolder();
// Writes the picture, the layout lines and the faults of a shown dialog or
// frame under the name ("<program>-<dialog>"). False when it cannot.
bool UI_GalleryShootDialog(UI_Dialog* aDialog, const char* aName);
bool UI_GalleryShootFrame(UI_Frame* aFrame, const char* aName);
// The next modal dialog is shot under the name once shown, then cancelled.
void UI_GalleryShootNextModal(const char* aName);
// Runs the opener with the next modal dialog shot under the name. False, with
// a line on standard error, when no dialog opened.
bool UI_GalleryShootModal(const char* aName, const std::function<void()>& anOpener);
// Names shot so far in this process, in order.
const std::vector<std::string>& UI_GalleryShots();
