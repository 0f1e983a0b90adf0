// The editors' document/view shell: one main frame with menus, accelerators,
// toolbar, dialog bar, status bar, a 1x2 splitter (a control pane left, the
// view right) and one document. Commands travel by numeric id; handlers are
// asked in the order they were added (view, document, frame, application).
// No Qt type appears here.
#pragma once

#include "platform/ui/ui_dialog.h"
#include "platform/ui/ui_prompt.h"

#include <functional>
#include <string>
#include <vector>

struct UI_Frame;

// The shell's own command ids (the values Windows programs use).
enum UI_StandardCommand
{
    UI_ID_FILE_NEW = 0xE100,
    UI_ID_FILE_OPEN = 0xE101,
    UI_ID_FILE_SAVE = 0xE103,
    UI_ID_FILE_SAVE_AS = 0xE104,
    UI_ID_FILE_PRINT_SETUP = 0xE106,
    UI_ID_FILE_PRINT = 0xE107,
    UI_ID_FILE_PRINT_PREVIEW = 0xE109,
    UI_ID_FILE_MRU_FIRST = 0xE110, // the four recent files, 0xE110 to 0xE113
    UI_ID_APP_ABOUT = 0xE140,
    UI_ID_APP_EXIT = 0xE141,
    UI_ID_VIEW_TOOLBAR = 0xE800,
    UI_ID_VIEW_STATUS_BAR = 0xE801,
    UI_ID_INDICATOR_CAPS = 0xE701,
    UI_ID_INDICATOR_NUM = 0xE702,
    UI_ID_INDICATOR_SCRL = 0xE703,
};
constexpr int UI_RECENT_FILE_COUNT = 4;

enum UI_MenuKind
{
    UI_MENU_POPUP = 0,     // opens a popup; its entries follow up to the matching UI_MENU_END
    UI_MENU_ITEM = 1,
    UI_MENU_SEPARATOR = 2,
    UI_MENU_END = 3,
};

// "&" marks the mnemonic, "\t" starts the shortcut text ("&Open...\tCtrl+O").
// An item with UI_ID_FILE_MRU_FIRST stands for the recent-file list.
struct UI_MenuEntry
{
    int myKind;
    int myId;
    const char* myText;
};

enum UI_KeyModifier
{
    UI_MOD_SHIFT = 1,
    UI_MOD_CONTROL = 2,
    UI_MOD_ALT = 4,
};

// A key (Windows virtual-key code) with modifiers that sends a command.
struct UI_Accelerator
{
    int myVirtualKey;
    int myModifiers; // UI_KeyModifier flags
    int myId;
};

// One toolbar button; id 0 is a separator. Images are 16x15.
struct UI_ToolButton
{
    int myId;
    int myImage;
    const char* myToolTip;
};

// A status-bar pane after the message pane: shows its text while the update
// pass finds its id enabled.
struct UI_Indicator
{
    int myId;
    const char* myText;
};

struct UI_FrameTemplate
{
    const char* myProgramName;   // title "<document> - <program>", message-box caption, settings
    const UI_MenuEntry* myMenu;
    int myNumMenuEntries;
    const UI_Accelerator* myAccelerators;
    int myNumAccelerators;
    const UI_ToolButton* myToolButtons;
    int myNumToolButtons;
    const UI_Image* myToolImages;
    int myNumToolImages;
    const UI_Indicator* myIndicators;
    int myNumIndicators;
    int myLeftPaneWidth;         // pixels
};

struct UI_CommandState
{
    bool myEnabled = true;
    bool myChecked = false;
};

enum UI_ViewMessageKind
{
    UI_VM_LBUTTONDOWN = 0,
    UI_VM_LBUTTONUP,
    UI_VM_LBUTTONDBLCLK,
    UI_VM_RBUTTONDOWN,
    UI_VM_RBUTTONUP,
    UI_VM_MBUTTONDOWN,
    UI_VM_MBUTTONUP,
    UI_VM_MOUSEMOVE,
    UI_VM_MOUSEWHEEL,  // myWheelDelta in 120ths of a notch
    UI_VM_KEYDOWN,     // myVirtualKey
    UI_VM_KEYUP,
    UI_VM_CHAR,        // myChar, a Unicode code point
    UI_VM_SIZE,        // myWidth, myHeight
    UI_VM_PAINT,
};

// The key-state bits of a mouse message, as Windows sends them.
enum UI_MouseKeyState
{
    UI_MK_LBUTTON = 0x01,
    UI_MK_RBUTTON = 0x02,
    UI_MK_SHIFT = 0x04,
    UI_MK_CONTROL = 0x08,
    UI_MK_MBUTTON = 0x10,
};

struct UI_ViewMessage
{
    int myKind = UI_VM_PAINT;
    int myX = 0;             // pointer in view pixels
    int myY = 0;
    unsigned myKeyState = 0; // UI_MK_* flags
    int myVirtualKey = 0;
    unsigned myChar = 0;
    int myWheelDelta = 0;
    int myWidth = 0;
    int myHeight = 0;
};

// A link in the command route. Every member has a default that leaves the
// message to the next handler.
class UI_FrameHandler
{
public:
    virtual ~UI_FrameHandler() = default;
    // True when the command was carried out.
    virtual bool OnCommand(UI_Frame* aFrame, int anId);
    // True when the handler knows the id and filled aState.
    virtual bool OnUpdateCommand(UI_Frame* aFrame, int anId, UI_CommandState* aState);
    // True when the message was taken (a taken key goes no further).
    virtual bool OnViewMessage(UI_Frame* aFrame, const UI_ViewMessage& aMessage);
    virtual void OnTimer(UI_Frame* aFrame, int anId);
    // Runs when the message queue has emptied.
    virtual void OnIdle(UI_Frame* aFrame);
};

// The document's work; the frame keeps path, title and modified flag.
class UI_DocumentHandler
{
public:
    virtual ~UI_DocumentHandler() = default;
    virtual bool OnNewDocument(UI_Frame* aFrame) = 0;
    virtual bool OnOpenDocument(UI_Frame* aFrame, const char* aPath) = 0;
    virtual bool OnSaveDocument(UI_Frame* aFrame, const char* aPath) = 0;
    // The file dialogs' type list (empty: every file).
    virtual std::vector<UI_FileFilter> GetFileFilters() { return {}; }
    // Asked before the document goes (new, open, exit, the close box): true
    // when it may. The shell's own asks "Save changes to %s?" while the
    // frame's modified flag is set.
    virtual bool SaveModified(UI_Frame* aFrame);
};

// Null without a Qt application. The frame is hidden until UI_FrameShow.
UI_Frame* UI_CreateFrame(const UI_FrameTemplate& aTemplate);
void UI_DestroyFrame(UI_Frame* aFrame);
// Maximised. From then on SIGTERM, SIGINT and SIGHUP close the frame as
// the user would, but without the save question (see UI_SetEndHook). With Q_UI_GRAB=<file.png> the frame is written there half a
// second later and the quit message is posted. Q_UI_COMMANDS=<id>,<id>,...
// sends those commands, as the menu would, once the loop runs (tests of the
// programs drive a real process so).
void UI_FrameShow(UI_Frame* aFrame);
// Asks the document (the save question), then closes the frame and posts the
// quit message. False when the user cancelled.
bool UI_FrameClose(UI_Frame* aFrame);

// Handlers are not owned; they are asked in the order added.
void UI_FrameAddHandler(UI_Frame* aFrame, UI_FrameHandler* aHandler);
void UI_FrameRemoveHandler(UI_Frame* aFrame, UI_FrameHandler* aHandler);
void UI_FrameSetDocument(UI_Frame* aFrame, UI_DocumentHandler* aDocument);

// Sends a command as the menu would: disabled commands do nothing. False when
// the command is disabled or nobody carried it out.
bool UI_FrameDoCommand(UI_Frame* aFrame, int anId);
// The update pass over every command of the menus, toolbar and indicators
// (also run before a menu opens and on idle).
void UI_FrameUpdateCommands(UI_Frame* aFrame);
// The state shown for an id after the last update pass; false for an id the
// frame does not show.
bool UI_FrameGetCommandState(UI_Frame* aFrame, int anId, UI_CommandState* aState);
// The shown text of a menu item, without mnemonic or shortcut text.
bool UI_FrameGetMenuText(UI_Frame* aFrame, int anId, std::string* aText);

// Runs the message loop until the quit message, with the idle turn (update
// pass, then every handler's OnIdle). Returns the exit value.
int UI_FrameRun(UI_Frame* aFrame);
// One idle turn, as the loop runs it.
void UI_FrameIdle(UI_Frame* aFrame);

// The document. The title is the file's name, or "Untitled".
std::string UI_FrameGetPath(UI_Frame* aFrame);
std::string UI_FrameGetDocumentTitle(UI_Frame* aFrame);
void UI_FrameSetModified(UI_Frame* aFrame, bool aModifiedFlag);
bool UI_FrameIsModified(UI_Frame* aFrame);
// Opens a file as Open does after its dialog (for the command line); asks the
// save question first. A failed open of a recent file drops it from the list.
bool UI_FrameOpenDocument(UI_Frame* aFrame, const char* aPath);
// Sets path and title after the program saved or renamed the document itself.
void UI_FrameSetPath(UI_Frame* aFrame, const char* aPath);
// Puts a path at the head of the recent files (a program that opened a file itself).
void UI_FrameAddRecentFile(UI_Frame* aFrame, const char* aPath);
// "Save changes to %s?" when modified: true when the document may go.
bool UI_FrameSaveModified(UI_Frame* aFrame);
std::vector<std::string> UI_FrameGetRecentFiles(UI_Frame* aFrame);

// The status bar: pane 0 is the message pane.
bool UI_FrameSetStatusText(UI_Frame* aFrame, int aPane, const char* aText);
std::string UI_FrameGetStatusText(UI_Frame* aFrame, int aPane);

// A row of controls under the toolbar, built from a control table; its
// controls are worked with the dialog operations. Owned by the frame.
UI_Dialog* UI_FrameCreateDialogBar(UI_Frame* aFrame, const UI_DialogTemplate& aTemplate, UI_DialogProc aProc);
// The left splitter pane, built from a control table; the control aFillId
// fills the pane. Owned by the frame.
UI_Dialog* UI_FrameCreatePane(UI_Frame* aFrame, const UI_DialogTemplate& aTemplate, UI_DialogProc aProc,
                              int aFillId);
// The dialog bar and the pane made above, or null.
UI_Dialog* UI_FrameGetDialogBar(UI_Frame* aFrame);
UI_Dialog* UI_FrameGetPane(UI_Frame* aFrame);

// The view pane: the picture the program presents is drawn at its top left.
void UI_FrameSetViewPicture(UI_Frame* aFrame, const UI_Image& anImage);
// The same from a drawing's own buffer: 0xAARRGGBB pixels, rows aStride bytes
// apart, copied once; the pane repaints on its next turn.
void UI_FrameSetViewPixels(UI_Frame* aFrame, const uint32_t* aPixels, int aWidth, int aHeight, int aStride);
// The same without the copy: the pane shows the caller's pixels, which must stay as they
// are until the next picture or until UI_FrameKeepViewPixels takes a copy of them. They
// are painted at UI_FrameUpdateView, which a program drawing picture after picture calls
// while its next one renders, or else some milliseconds after the last picture.
void UI_FrameShowViewPixels(UI_Frame* aFrame, const uint32_t* aPixels, int aWidth, int aHeight, int aStride);
void UI_FrameKeepViewPixels(UI_Frame* aFrame);
// Paints now the shown pixels the pane has not painted yet.
void UI_FrameUpdateView(UI_Frame* aFrame);
void UI_FrameInvalidateView(UI_Frame* aFrame);
void UI_FrameGetViewSize(UI_Frame* aFrame, int* aWidth, int* aHeight);
// The last pointer position seen over the view.
void UI_FrameGetViewCursor(UI_Frame* aFrame, int* anX, int* aY);
void UI_FrameFocusView(UI_Frame* aFrame);
// The pane that had the keyboard focus last: UI_PANE_LEFT (also before any
// had it) or UI_PANE_VIEW. Programs route pane commands to its handler.
enum
{
    UI_PANE_LEFT = 0,
    UI_PANE_VIEW = 1,
};
int UI_FrameGetActivePane(UI_Frame* aFrame);

// Window timers: OnTimer(id) every aMilliseconds; none arrives after the kill.
bool UI_FrameSetTimer(UI_Frame* aFrame, int anId, int aMilliseconds);
bool UI_FrameKillTimer(UI_Frame* aFrame, int anId);

// The Windows virtual-key code of a Qt key (Qt::Key) with its modifiers
// (Qt::KeyboardModifiers as an int); the numeric pad's * + - / are 106, 107,
// 109 and 111. 0 for a key without one.
int UI_VirtualKeyFromQt(int aQtKey, int aQtModifiers);
// GetKeyState for Shift (16), Control (17) and Alt (18): down when the key or
// mouse message of a view being handled (or the last one) said so.
bool UI_IsKeyDown(int aVirtualKey);

bool UI_GrabFrame(UI_Frame* aFrame, const char* aPngPath);

// Printing the view pane as it shows (through Qt Print Support): the shell's
// print items do it with a document. With a path the page goes to that PDF
// file without a dialog; without one the print dialog asks, which needs a
// display (offscreen: noted on standard error, false). False when cancelled.
bool UI_FramePrint(UI_Frame* aFrame, const char* aPdfPath);
bool UI_FramePrintPreview(UI_Frame* aFrame);
bool UI_FramePrintSetup(UI_Frame* aFrame);

// A context menu from a menu table (items, separators, nested popups; the
// first popup's entries when the table starts with one) shown at a screen
// point until the user picks or dismisses it. The picked id goes to aTarget's
// OnCommand (when given) and is returned; 0 when nothing was picked.
int UI_TrackPopupMenu(UI_Frame* aFrame, const UI_MenuEntry* anEntries, int aNumEntries, int aScreenX, int aScreenY,
                      UI_FrameHandler* aTarget);
// Runs in place of showing a popup menu: gets the ids of its items in order
// and returns the one a user would pick (0: dismissed). Tests script menus so;
// on the offscreen platform without a hook a popup is dismissed at once.
typedef std::function<int(const std::vector<int>& anIds)> UI_PopupHook;
UI_PopupHook UI_SetPopupHook(UI_PopupHook aHook);

// The window that has the keyboard focus now: the view, anything inside the
// left pane, or another window (a dialog, the menus) or none.
enum UI_FrameFocus
{
    UI_FOCUS_OTHER = -1,
    UI_FOCUS_PANE = 0,
    UI_FOCUS_VIEW = 1,
};
int UI_FrameGetFocus(UI_Frame* aFrame);
// Hands a message to the view's handlers as if the view had received it
// (other windows pass their mouse moves on so). True when one took it.
bool UI_FrameSendViewMessage(UI_Frame* aFrame, const UI_ViewMessage& aMessage);
