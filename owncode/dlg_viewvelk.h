// The list of further .velk files viewed beside the open one.
#pragma once

#include "owncode/dlg_instance.h"

class CDlgViewVelk : public CDlgBase
{
public:
    enum
    {
        IDC_ADD = 1090,
        IDC_REMOVE = 1091,
        IDC_CLEAR_ALL = 1092,
    };

    CDlgViewVelk();

    QC_List<QC_String> myFiles;           // in and out, as listed
    QC_String myBaseDirectory;
    // Out: the files relative to the base directory. OK is refused, with a
    // message, while any listed file lies outside it.
    QC_List<QC_String> myRelativeFiles;

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;
};
