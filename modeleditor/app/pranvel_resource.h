// Command, dialog and control ids of Pranvel's window.
#pragma once

#include "platform/ui/ui_frame.h"

enum PranvelCommand
{
    ID_FILE_QRB_EXPORT = 32771,
    ID_TOOLS_OPTIONS = 32774,
    ID_MODEL_SET_ACTIVE_STATE = 32782,
    ID_REAPPLY_ACTIVE_STATE = 32783,     // key R
    ID_MODEL_REFRESH = 32786,
    ID_TOOLS_BATCH_CONVERSION = 32791,
    ID_TOOLS_SETUP_LIGHT = 32796,
    ID_TOOLS_TOGGLE_POINT_LIGHT = 32797,
    ID_RESET_CAMERA = 32860,             // Shift+A
    ID_TOOLS_CHECK_LWS = 184,
    ID_TOOLS_COLORS = 186,
    ID_TOOLS_MESH_EDITOR = 193,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
};

enum PranvelDialogId
{
    IDD_ABOUTBOX = 100,
    IDD_STATE_NAME = 134,
    IDD_SET_ACTIVE_STATE = 135,
    IDC_ABOUT_VERSION = 1027,
    IDC_STATE_NAME_LIST = 1086,
    IDC_ACTIVE_STATE_LIST = 1009,
    // The left pane's tree control (the splitter's first pane).
    IDC_MODEL_TREE = 59648,
};

constexpr int PRANVEL_RENDER_TIMER = 666;
constexpr int PRANVEL_RENDER_PERIOD = 20; // milliseconds
constexpr int PRANVEL_QRB_VERSION = 9;
// Every message box of the program carries this caption.
constexpr const char* PRANVEL_CAPTION = "Pranvel";
