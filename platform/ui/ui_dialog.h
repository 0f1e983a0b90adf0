// Dialogs built from a control table in dialog units, controls found by their
// numeric id, and the control operations with the behaviour of the Windows
// controls they stand for. No Qt type appears here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct UI_Dialog;

enum UI_ControlKind
{
    UI_CONTROL_PUSHBUTTON = 0,
    UI_CONTROL_LISTBOX = 1,
    UI_CONTROL_STATIC = 2,
    UI_CONTROL_EDIT = 3,
    UI_CONTROL_CHECKBOX = 4,
    UI_CONTROL_GROUPBOX = 5,
    UI_CONTROL_RADIOBUTTON = 6,  // one group: consecutive radio buttons, a new one at UI_STYLE_GROUP
    UI_CONTROL_COMBOBOX = 7,     // a drop-down list
    UI_CONTROL_TREE = 8,
    UI_CONTROL_SLIDER = 9,       // a horizontal track bar
    UI_CONTROL_SPIN = 10,        // an up-down control
};

enum UI_ControlStyle
{
    UI_STYLE_DISABLED = 1 << 0,
    UI_STYLE_HIDDEN = 1 << 1,
    UI_STYLE_DEFAULT_BUTTON = 1 << 2,
    UI_STYLE_MULTILINE = 1 << 3,
    UI_STYLE_BORDER = 1 << 4,
    UI_STYLE_VSCROLL = 1 << 5,
    UI_STYLE_LB_SORT = 1 << 6,        // sorted without regard to case
    UI_STYLE_LB_EXTENDEDSEL = 1 << 7, // shift and control extend the selection
    UI_STYLE_LB_MULTIPLESEL = 1 << 8, // a click toggles an entry
    UI_STYLE_LB_NOTIFY = 1 << 9,
    UI_STYLE_LB_NOINTEGRALHEIGHT = 1 << 10,
    UI_STYLE_ACCEPTFILES = 1 << 11,   // files dropped on it reach the dialog procedure
    UI_STYLE_GROUP = 1 << 12,         // a radio button that starts a new group
    UI_STYLE_READONLY = 1 << 13,      // an edit the user cannot change
    UI_STYLE_TV_CHECKBOXES = 1 << 14, // a tree with a check box before every item
    UI_STYLE_OWNERDRAW = 1 << 15,     // a push button the dialog procedure draws (UI_MSG_DRAWITEM)
    UI_STYLE_TV_NOKEYS = 1 << 16,     // a tree that ignores keys (UI_TVN_KEYDOWN is still sent)
};

// One row of a dialog's control table; positions and sizes in dialog units.
struct UI_ControlTemplate
{
    int myId;
    int myKind;          // UI_ControlKind
    const char* myText;  // null: none
    int myX, myY, myWidth, myHeight;
    unsigned myStyle;    // UI_ControlStyle flags
};

struct UI_DialogTemplate
{
    int myId;
    const char* myCaption;
    int myWidth, myHeight;   // client area in dialog units
    const char* myFontName;  // Windows font names get a local substitute
    int myFontPointSize;
    const UI_ControlTemplate* myControls;
    int myNumControls;
};

// A 32-bit RGBA image (rows top to bottom) for window icons.
struct UI_Image
{
    int myWidth = 0;
    int myHeight = 0;
    std::vector<uint32_t> myPixels; // 0xAARRGGBB
};

enum UI_MessageKind
{
    UI_MSG_INITDIALOG = 0,
    UI_MSG_COMMAND = 1,   // a control's notification: myControlId, myNotifyCode
    UI_MSG_CLOSE = 2,     // the user closes the window; the procedure decides
    UI_MSG_DROPFILES = 3, // myDroppedFiles holds absolute paths
    UI_MSG_DESTROY = 4,
    UI_MSG_SIZE = 5,       // the client area's new size: myWidth, myHeight (pixels)
    UI_MSG_SHOWWINDOW = 6, // myNotifyCode 1 when shown, 0 when hidden
    UI_MSG_DRAWITEM = 7,   // an owner-drawn button wants painting: myControlId, myDrawItem
    UI_MSG_MOUSEMOVE = 8,  // the mouse moved over the dialog itself: myX, myY (client pixels), myKeyState
};

enum UI_NotifyCode
{
    UI_BN_CLICKED = 0,
    UI_LBN_SELCHANGE = 1,
    UI_LBN_DBLCLK = 2,
    UI_EN_CHANGE = 3,        // an edit's text changed, also when set by the program
    UI_CBN_SELCHANGE = 4,    // the user picked another combo box entry
    UI_TVN_SELCHANGED = 5,   // the user selected another tree item
    UI_TVN_KEYDOWN = 6,      // a key pressed in a tree: myVirtualKey (the tree still handles it)
    UI_NM_CLICK = 7,         // a left button press in a tree: myX, myY in client pixels
    UI_NM_RCLICK = 8,        // a right button press in a tree: myX, myY
};

// The ids Windows sends for Enter and Escape in a dialog.
enum
{
    UI_IDOK = 1,
    UI_IDCANCEL = 2,
};

struct UI_Message
{
    int myKind = UI_MSG_COMMAND;
    int myControlId = 0;
    int myNotifyCode = 0;
    int myWidth = 0;
    int myHeight = 0;
    struct UI_DrawItem* myDrawItem = nullptr; // UI_MSG_DRAWITEM only
    intptr_t myItem = 0;                       // UI_TVN_ITEMEXPANDED: the tree item
    const std::vector<std::string>* myDroppedFiles = nullptr;
    int myVirtualKey = 0;
    int myX = 0;
    int myY = 0;
    unsigned myKeyState = 0; // UI_MSG_MOUSEMOVE: the UI_MK_* flags of ui_frame.h
};

typedef intptr_t (*UI_DialogProc)(UI_Dialog* aDialog, const UI_Message& aMessage);

// Creates a modeless dialog (hidden) and sends it UI_MSG_INITDIALOG. Null on failure.
UI_Dialog* UI_CreateDialog(const UI_DialogTemplate& aTemplate, UI_DialogProc aProc, UI_Dialog* aParent);

// Runs a dialog modally: created with the user data set before
// UI_MSG_INITDIALOG, shown, and its loop run until UI_EndDialog; then
// destroyed. Returns the value given to UI_EndDialog, -1 when it cannot be made.
// Enter and Escape reach the procedure as commands UI_IDOK and UI_IDCANCEL.
// Modal dialogs nest. On the offscreen platform without a modal hook nobody
// could answer: the dialog is cancelled at once (UI_IDCANCEL), noted on
// standard error, as message boxes are answered there.
intptr_t UI_DoModal(const UI_DialogTemplate& aTemplate, UI_DialogProc aProc, UI_Dialog* aParent, void* aUserData);
// Ends a modal dialog's loop with that result; false for a modeless dialog.
bool UI_EndDialog(UI_Dialog* aDialog, intptr_t aResult);

// Runs inside every modal dialog's loop once the dialog is shown, so tests can
// set its controls and press its buttons as a user would. A dialog the hook
// leaves open is cancelled on the offscreen platform. Returns the previous hook.
typedef std::function<void(UI_Dialog* aDialog)> UI_ModalHook;
UI_ModalHook UI_SetModalHook(UI_ModalHook aHook);
// Sends UI_MSG_DESTROY and frees the dialog.
void UI_DestroyDialog(UI_Dialog* aDialog);
void UI_ShowDialog(UI_Dialog* aDialog, bool aShowFlag);
bool UI_IsDialogVisible(UI_Dialog* aDialog);
// Sets the image as the window's big and small icon.
void UI_SetDialogIcon(UI_Dialog* aDialog, const UI_Image& anImage);
void UI_SetDialogUserData(UI_Dialog* aDialog, void* aUserData);
void* UI_GetDialogUserData(UI_Dialog* aDialog);

// Titles are one line: a trailing line end is dropped. The new title reaches
// the window system at once, also in the middle of a long operation.
void UI_SetDialogTitle(UI_Dialog* aDialog, const char* aTitle);
std::string UI_GetDialogTitle(UI_Dialog* aDialog);

// A dialog is made at its template's size and cannot be resized by the user
// unless allowed here. Sizes in pixels of the client area; UI_MSG_SIZE follows.
void UI_SetDialogResizable(UI_Dialog* aDialog, bool aResizableFlag);
bool UI_SetDialogSize(UI_Dialog* aDialog, int aWidth, int aHeight);
// Moves and sizes a control (MoveWindow), in the dialog's client pixels.
bool UI_SetControlRect(UI_Dialog* aDialog, int anId, int anX, int aY, int aWidth, int aHeight);

// Dialog units to pixels with the dialog font's average character width and
// height, rounded as Windows does.
void UI_GetDialogBaseUnits(UI_Dialog* aDialog, int* aBaseX, int* aBaseY);
// Client rectangle of a control (or of the dialog for id 0) in pixels.
bool UI_GetControlRect(UI_Dialog* aDialog, int anId, int* anX, int* anY, int* aWidth, int* aHeight);
// A point of a control's client area (a list's or tree's items area) in
// screen pixels, as context menus want it.
bool UI_ControlToScreen(UI_Dialog* aDialog, int anId, int* anX, int* aY);

// Control operations. A missing control gives false (or -1).
bool UI_HasControl(UI_Dialog* aDialog, int anId);
bool UI_EnableControl(UI_Dialog* aDialog, int anId, bool anEnableFlag);
bool UI_IsControlEnabled(UI_Dialog* aDialog, int anId);
bool UI_SetControlText(UI_Dialog* aDialog, int anId, const char* aText);
bool UI_GetControlText(UI_Dialog* aDialog, int anId, std::string* aText);
// Presses a button as a user would: nothing happens when it is disabled.
bool UI_ClickButton(UI_Dialog* aDialog, int anId);
// Check boxes and radio buttons. Checking a radio button unchecks the others
// of its group.
bool UI_IsButtonChecked(UI_Dialog* aDialog, int anId);
bool UI_SetButtonCheck(UI_Dialog* aDialog, int anId, bool aCheckFlag);
// Checks anId and unchecks the other buttons with ids from aFirstId to aLastId.
bool UI_CheckRadioButton(UI_Dialog* aDialog, int aFirstId, int aLastId, int anId);
// Delivers files as a drop from a file manager would.
bool UI_DropFiles(UI_Dialog* aDialog, int anId, const std::vector<std::string>& aPaths);

// List box operations. Indices count from 0.
bool UI_ListReset(UI_Dialog* aDialog, int anId);
// Adds the text, at its sorted place in a sorted
// list; returns its index or -1.
int UI_ListAdd(UI_Dialog* aDialog, int anId, const char* aText);
bool UI_ListDelete(UI_Dialog* aDialog, int anId, int anIndex);
int UI_ListGetCount(UI_Dialog* aDialog, int anId);
// Index of the first entry equal to the text without regard to case, or -1.
int UI_ListFindExact(UI_Dialog* aDialog, int anId, const char* aText);
// False when the index does not exist.
bool UI_ListGetText(UI_Dialog* aDialog, int anId, int anIndex, std::string* aText);
// The selected entry, or -1; in a multiple-selection list the focused entry.
int UI_ListGetCurSel(UI_Dialog* aDialog, int anId);
// Up to aMax selected indices, ascending; returns their number (-1 without
// the control). A single-selection list gives its current selection.
int UI_ListGetSelItems(UI_Dialog* aDialog, int anId, int* anIndices, int aMax);
bool UI_ListSetSel(UI_Dialog* aDialog, int anId, int anIndex, bool aSelectFlag);
// LB_SELECTSTRING: the first entry after anAfter (-1: from the top, wrapping
// round) that begins with the text, without regard to case, is selected
// (not notified); its index, or -1 when none begins so.
int UI_ListSelectString(UI_Dialog* aDialog, int anId, int anAfter, const char* aPrefix);
// A pointer-sized value kept with each entry (0 for a new one).
bool UI_ListSetItemData(UI_Dialog* aDialog, int anId, int anIndex, intptr_t aData);
intptr_t UI_ListGetItemData(UI_Dialog* aDialog, int anId, int anIndex);
// A user's click on an entry (the selection is notified) and a user's double
// click on it (then also UI_LBN_DBLCLK with UI_STYLE_LB_NOTIFY).
bool UI_ListClick(UI_Dialog* aDialog, int anId, int anIndex);
bool UI_ListDoubleClick(UI_Dialog* aDialog, int anId, int anIndex);

// Drop-down combo boxes. Entries are added at the end; -1 selects nothing.
bool UI_ComboReset(UI_Dialog* aDialog, int anId);
int UI_ComboAdd(UI_Dialog* aDialog, int anId, const char* aText);
// Appends the texts in order as UI_ComboAdd does one by one; the index of the first.
int UI_ComboAddMany(UI_Dialog* aDialog, int anId, const std::vector<std::string>& aTexts);
int UI_ComboGetCount(UI_Dialog* aDialog, int anId);
bool UI_ComboSetCurSel(UI_Dialog* aDialog, int anId, int anIndex);
int UI_ComboGetCurSel(UI_Dialog* aDialog, int anId);
bool UI_ComboGetText(UI_Dialog* aDialog, int anId, int anIndex, std::string* aText);
// A user's pick of an entry: UI_CBN_SELCHANGE follows.
bool UI_ComboPick(UI_Dialog* aDialog, int anId, int anIndex);

// Tree controls over an item store of the layer's own. Items are opaque
// handles, 0 = none; UI_TREE_ROOT as a parent inserts at the top level.
typedef intptr_t UI_TreeItem;
constexpr UI_TreeItem UI_TREE_ROOT = -1;
enum UI_TreeRelation
{
    UI_TREE_CHILD = 0,    // first child; of UI_TREE_ROOT: the first top-level item
    UI_TREE_NEXT = 1,     // next sibling
    UI_TREE_PARENT = 2,   // parent; 0 for a top-level item
};
// Appended under the parent, or at its place in case-insensitive order when
// sorted. An image index of -1 shows none. Returns 0 on failure.
UI_TreeItem UI_TreeInsert(UI_Dialog* aDialog, int anId, UI_TreeItem aParent, const char* aText, int anImage,
                          bool aSortedFlag);
bool UI_TreeDelete(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
bool UI_TreeReset(UI_Dialog* aDialog, int anId);
int UI_TreeGetCount(UI_Dialog* aDialog, int anId);
UI_TreeItem UI_TreeGetRelated(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, int aRelation);
bool UI_TreeGetText(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, std::string* aText);
bool UI_TreeSetText(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, const char* aText);
bool UI_TreeSetData(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, intptr_t aData);
intptr_t UI_TreeGetData(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
bool UI_TreeSetCheck(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, bool aCheckFlag);
bool UI_TreeGetCheck(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
// Selects the item (0: none); a changed selection is notified with
// UI_TVN_SELCHANGED, as the Windows control notifies a program's selection too.
bool UI_TreeSelect(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
UI_TreeItem UI_TreeGetSelection(UI_Dialog* aDialog, int anId);
bool UI_TreeExpand(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, bool anExpandFlag);
bool UI_TreeIsExpanded(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
// Children made when first needed: an item marked so shows an expander while
// it has no children, and the first time they are needed (the user or the
// program expands it, UI_TREE_CHILD of it) the tree's fill procedure is called
// once to insert them. A tree of many items then makes only what is shown.
typedef void (*UI_TreeFillProc)(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, void* aContext);
bool UI_TreeSetFillProc(UI_Dialog* aDialog, int anId, UI_TreeFillProc aProc, void* aContext);
bool UI_TreeSetChildrenLater(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
// The images items show, by index.
bool UI_TreeSetImageList(UI_Dialog* aDialog, int anId, const std::vector<UI_Image>& anImages);
bool UI_TreeSetImage(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, int anImage);
int UI_TreeGetImage(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
// A user's click on an item's check box (toggles it) and on its label (selects it).
bool UI_TreeClickCheck(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
bool UI_TreeClick(UI_Dialog* aDialog, int anId, UI_TreeItem anItem);
// While an update runs the tree is not redrawn and a sorted insert only
// appends; the end sorts each touched sibling list once, stably (so equal
// texts keep their insertion order, as one-by-one sorted inserts give), which
// keeps a rebuild of a million items near linear. A selection made meanwhile
// is applied at the end. Updates do not nest.
bool UI_TreeBeginUpdate(UI_Dialog* aDialog, int anId);
bool UI_TreeEndUpdate(UI_Dialog* aDialog, int anId);
// A user's left or right button press at a point of the tree's client area
// (UI_NM_CLICK or UI_NM_RCLICK); a left press on an icon or label selects it.
bool UI_TreeMouseDown(UI_Dialog* aDialog, int anId, int anX, int aY, bool aRightFlag);
// The item whose icon or label lies under the point (the tree's client
// pixels); 0 beside the label, on the indentation or below the last item.
UI_TreeItem UI_TreeHitTest(UI_Dialog* aDialog, int anId, int anX, int aY);
// The label's rectangle in client pixels; false when the item is not shown.
bool UI_TreeGetLabelRect(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, int* anX, int* aY, int* aWidth,
                         int* aHeight);

// Writes the dialog as the user sees it to a PNG file.
bool UI_GrabDialog(UI_Dialog* aDialog, const char* aPngPath);

// --- Further controls ---

// Notifications of the further controls (UI_MSG_COMMAND's myNotifyCode).
enum UI_ControlNotifyCode
{
    UI_TB_POSCHANGED = 20, // the user moved a slider; its position is read with UI_SliderGetPos
    UI_TB_ENDTRACK = 21,   // the user let go of a slider
    UI_UDN_DELTAPOS = 22,  // the user pressed an up-down arrow: myWidth holds +1 or -1
    UI_EN_KILLFOCUS = 23,  // an edit lost the keyboard focus
    // The user expanded (myWidth 1) or collapsed (0) the tree item myItem;
    // expansions the program makes are not notified.
    UI_TVN_ITEMEXPANDED = 24,
};

// Sliders: a range and a position (clamped into it).
bool UI_SliderSetRange(UI_Dialog* aDialog, int anId, int aMin, int aMax);
bool UI_SliderSetPos(UI_Dialog* aDialog, int anId, int aPos);
int UI_SliderGetPos(UI_Dialog* aDialog, int anId);
// A user's drag to a position: UI_TB_POSCHANGED, then UI_TB_ENDTRACK.
bool UI_SliderDrag(UI_Dialog* aDialog, int anId, int aPos);

// Up-down controls: a range and a position; a press moves the position by one
// within the range and notifies UI_UDN_DELTAPOS.
bool UI_SpinSetRange(UI_Dialog* aDialog, int anId, int aMin, int aMax);
bool UI_SpinSetPos(UI_Dialog* aDialog, int anId, int aPos);
int UI_SpinGetPos(UI_Dialog* aDialog, int anId);
bool UI_SpinPress(UI_Dialog* aDialog, int anId, bool anUpFlag);

// Owner-drawn buttons: during UI_MSG_DRAWITEM the procedure draws through
// these, in the button's client pixels; colours 0x00RRGGBB.
struct UI_DrawItem
{
    int myWidth = 0;
    int myHeight = 0;
    bool mySelectedFlag = false; // pressed
    bool myFocusFlag = false;
    void* myPainter = nullptr;   // the layer's own
};
void UI_DrawFillRect(UI_DrawItem* anItem, int anX, int aY, int aWidth, int aHeight, uint32_t aColor);
void UI_DrawFrameRect(UI_DrawItem* anItem, int anX, int aY, int aWidth, int aHeight, uint32_t aColor);
// Asks for a new UI_MSG_DRAWITEM.
bool UI_InvalidateControl(UI_Dialog* aDialog, int anId);

// A tooltip shown over a control.
bool UI_SetControlToolTip(UI_Dialog* aDialog, int anId, const char* aText);
// At most aMaxChars characters may be typed into an edit (0: no limit).
bool UI_SetEditLimit(UI_Dialog* aDialog, int anId, int aMaxChars);

// Numeric fields, read as MFC's data exchange reads them: blanks around the
// number are allowed, anything else is refused with a message box (caption
// aCaption) that names the range, and the edit gets the focus back. True with
// the value when it parses and lies within [aMin, aMax].
bool UI_GetControlInt(UI_Dialog* aDialog, int anId, int aMin, int aMax, const char* aCaption, int* aValue);
bool UI_GetControlFloat(UI_Dialog* aDialog, int anId, double aMin, double aMax, const char* aCaption, double* aValue);

// A user's mouse move to a point of the dialog's client area (not over a control) with
// the UI_MK_* buttons and keys of ui_frame.h held: UI_MSG_MOUSEMOVE follows.
bool UI_DialogMouseMove(UI_Dialog* aDialog, int anX, int aY, unsigned aKeyState);

// Moves the dialog to the left edge of its screen, keeping its top (before it shows,
// the top it gets centred on its owner) and its height on it.
bool UI_MoveDialogToLeftEdge(UI_Dialog* aDialog);
