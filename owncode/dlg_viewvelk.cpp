// The list of further .velk files viewed beside the open one.
#include "owncode/dlg_viewvelk.h"

#include <string>

#include "owncode/dlg_edit.h"
#include "owncode/validatestring.h"
#include "platform/os/os_file.h"
#include "platform/ui/ui_prompt.h"

namespace
{
const UI_ControlTemplate ourViewVelkControls[] = {
    {IDC_LIST_LABEL, UI_CONTROL_STATIC, "Files", 7, 7, 60, 8, 0},
    {IDC_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 18, 240, 120, UI_STYLE_BORDER | UI_STYLE_VSCROLL},
    {CDlgViewVelk::IDC_ADD, UI_CONTROL_PUSHBUTTON, "Add", 257, 52, 50, 14, 0},
    {CDlgViewVelk::IDC_REMOVE, UI_CONTROL_PUSHBUTTON, "Remove", 257, 69, 50, 14, 0},
    {CDlgViewVelk::IDC_CLEAR_ALL, UI_CONTROL_PUSHBUTTON, "Clear All", 257, 86, 50, 14, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 257, 18, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 257, 35, 50, 14, 0},
};
const UI_DialogTemplate ourViewVelkTemplate = {
    170, "View Velk", 314, 145, DLG_FONT, ourViewVelkControls,
    int(sizeof(ourViewVelkControls) / sizeof(ourViewVelkControls[0]))};

// The list holds system paths (UTF-8), not Velk text: kept as they stand.
void locFillPaths(UI_Dialog* aDialog, const QC_List<QC_String>& aPaths)
{
    UI_ListReset(aDialog, IDC_LIST);
    for (const QC_List<QC_String>::Link* locLink = aPaths.myFirstLink; locLink; locLink = locLink->myNext)
        UI_ListAdd(aDialog, IDC_LIST, locLink->myItem);
}

void locGetPaths(UI_Dialog* aDialog, QC_List<QC_String>& anOut)
{
    anOut.RemoveAll();
    for (int i = 0; i < UI_ListGetCount(aDialog, IDC_LIST); i++)
    {
        std::string locPath;
        UI_ListGetText(aDialog, IDC_LIST, i, &locPath);
        anOut.Add(QC_String(locPath.c_str()));
    }
}
} // namespace

CDlgViewVelk::CDlgViewVelk() : CDlgBase(ourViewVelkTemplate)
{
}

void CDlgViewVelk::OnInitDialog()
{
    locFillPaths(myDialog, myFiles);
}

void CDlgViewVelk::OnCommand(int anId, int aNotifyCode)
{
    if (aNotifyCode != UI_BN_CLICKED)
        return;
    if (anId == IDC_ADD)
    {
        UI_FileDialogRequest locRequest;
        locRequest.myKind = UI_FILEDIALOG_OPEN;
        locRequest.myTitle = "View Velk";
        locRequest.myFilters.push_back({"Velk Files (*.velk)", "*.velk"});
        locRequest.myInitialDirectory = myBaseDirectory.GetBuffer();
        locRequest.myFlags = UI_FD_HIDE_READONLY;
        UI_FileDialogResult locResult;
        if (UI_FileDialog(locRequest, &locResult))
            UI_ListAdd(myDialog, IDC_LIST, locResult.GetPath(0).c_str());
        else
            OS_SetCurrentDirectory(myBaseDirectory);
    }
    else if (anId == IDC_REMOVE)
    {
        int locIndex = GetListSelection(IDC_LIST);
        if (locIndex >= 0)
            UI_ListDelete(myDialog, IDC_LIST, locIndex);
    }
    else if (anId == IDC_CLEAR_ALL)
        UI_ListReset(myDialog, IDC_LIST);
}

void CDlgViewVelk::OnOK()
{
    QC_List<QC_String> locFiles;
    locGetPaths(myDialog, locFiles);
    QC_List<QC_String> locRelative;
    for (QC_List<QC_String>::Link* locLink = locFiles.myFirstLink; locLink; locLink = locLink->myNext)
    {
        QC_String locPath;
        if (!ValidateString(myBaseDirectory, locLink->myItem, locPath))
        {
            ShowInvalidPath(locLink->myItem, myBaseDirectory);
            return;
        }
        locRelative.Add(locPath);
    }
    myFiles = locFiles;
    myRelativeFiles = locRelative;
    EndDialog(UI_IDOK);
}
