// Resource ids of the archive tool: its dialog, icon and controls.
#pragma once

#include "platform/ui/ui_dialog.h"

enum
{
    IDD_OSTRANE_DIALOG = 101,
    IDI_OSTRANE_ICON = 102,

    IDC_OPEN_SDF = 1001,
    IDC_SAVE_SDF = 1002,
    IDC_FILE_LIST = 1003,
    IDC_ADD_FILES = 1004,
    IDC_REMOVE_FILES = 1005,
    IDC_EXTRACT_FILES = 1006,
    IDC_NEW_SDF = 1007,
};

// The program's own resources: null / an empty image for an unknown id.
const UI_DialogTemplate* OstraneFindDialogTemplate(int aTemplateId);
UI_Image OstraneLoadIcon(int anIconId);
