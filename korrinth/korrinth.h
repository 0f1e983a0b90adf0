// Korrinth, the data-language editor: a single-document program over the
// shell of platform/ui. The left pane shows the open .velk file as a tree,
// the right pane is the list view the specialised editors draw in, the
// console sits in the dialog bar. Every command ends in AppFacade.
#pragma once

struct UI_Frame;
class VelkEditorFactory;
class KorrinthProgram;

// Command ids of the program's own menu items.
enum KorrinthCommand
{
    ID_FILE_MERGE = 156,
    ID_EDIT_RENAME = 147,
    ID_VIEW_CLEAR_ON_REDRAW = 32775,
    ID_VIEW_VELK = 32779,
    ID_INSTANCE_NEW = 32772,
    ID_TYPE_INCLUDE = 32773,
    ID_TYPE_NEW = 32771,
    ID_TYPE_VIEW = 32774,
    ID_EDIT_UNDO = 57643,
    ID_EDIT_CUT = 57635,
    ID_EDIT_COPY = 57634,
    ID_EDIT_PASTE = 57637,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_PRINT_SETUP = 57606,
    ID_VIEW_SMALLICON = 59408,
    ID_VIEW_LARGEICON = 59409,
    ID_VIEW_LIST = 59410,
    ID_VIEW_DETAILS = 59411,
    ID_VIEW_LINEUP = 59412,
    IDC_LEFT_TREE = 1000,
    IDC_CONSOLE = 1003,
};

// Starts the program in the working directory (the data folder holding
// "korrinth.velk"): frame, panes, facade, then the file (or a new document).
// A start failure is shown in a message box and gives null. Null factory: the
// program's own (the GUI editors' factory).
KorrinthProgram* Korrinth_Start(const char* aFileName, VelkEditorFactory* aFactoryPrototype = nullptr);
UI_Frame* Korrinth_GetFrame(KorrinthProgram* aProgram);
// The list-view style (LVS_TYPEMASK value) the style commands set.
int Korrinth_GetViewStyle(KorrinthProgram* aProgram);
// Destroys the facade, then the frame.
void Korrinth_Stop(KorrinthProgram* aProgram);

// Gallery mode: shoots the shown frame and every dialog of the program
// (platform/ui/ui_gallery.h); 0 when each one opened.
int Korrinth_Gallery(UI_Frame* aFrame);

// The whole program: argv[1] is a file to open. Returns the exit value.
int KorrinthMain(int argc, char** argv);
