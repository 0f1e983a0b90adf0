// "Browse for '<ext>' files...": the files of one extension below the base
// directory as a tree (locked ones marked), one picked with "Open".
#pragma once

#include "owncode/directoryscanner.h"
#include "owncode/dlg_base.h"

#include <vector>

class CDlgTreeBrowser : public CDlgBase
{
public:
    enum
    {
        IDC_TREE = 1100,
    };

    CDlgTreeBrowser(const char* aBaseDirectory, const char* anExtension);

    QC_String myBaseDirectory;
    QC_String myExtension;
    QC_String myPath;   // out: the picked file, "<base directory>/<relative path>"

    // The directory, file and locked-file pictures, 16x16.
    static std::vector<UI_Image> MakeImages();

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;

private:
    void Priv_UpdateOpen();

    DirectoryScanner myScanner;
    QC_String myCaption;
};
