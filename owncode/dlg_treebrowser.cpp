#include "owncode/dlg_treebrowser.h"

namespace
{
const UI_ControlTemplate ourControls[] = {
    {CDlgTreeBrowser::IDC_TREE, UI_CONTROL_TREE, nullptr, 7, 7, 200, 180, UI_STYLE_BORDER | UI_STYLE_VSCROLL},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "Open", 215, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 215, 24, 50, 14, 0},
};
// The caption is set once the dialog runs.
const UI_DialogTemplate ourTemplate = {150, "Browse", 272, 194, DLG_FONT, ourControls,
                                       int(sizeof(ourControls) / sizeof(ourControls[0]))};

UI_Image locPicture(uint32_t aFill, uint32_t anEdge, bool aFolderFlag)
{
    UI_Image locImage;
    locImage.myWidth = 16;
    locImage.myHeight = 16;
    locImage.myPixels.assign(16 * 16, 0);
    int locTop = aFolderFlag ? 4 : 1;
    int locLeft = aFolderFlag ? 1 : 3;
    int locRight = aFolderFlag ? 14 : 12;
    for (int y = locTop; y <= 14; y++)
        for (int x = locLeft; x <= locRight; x++)
        {
            bool locEdge = y == locTop || y == 14 || x == locLeft || x == locRight;
            locImage.myPixels[y * 16 + x] = locEdge ? anEdge : aFill;
        }
    if (aFolderFlag)
        for (int x = 1; x <= 6; x++)
            locImage.myPixels[3 * 16 + x] = anEdge;
    return locImage;
}
} // namespace

std::vector<UI_Image> CDlgTreeBrowser::MakeImages()
{
    return {locPicture(0xFFF0D060, 0xFF806000, true), locPicture(0xFFFFFFFF, 0xFF404040, false),
            locPicture(0xFFF08080, 0xFF800000, false)};
}

CDlgTreeBrowser::CDlgTreeBrowser(const char* aBaseDirectory, const char* anExtension)
    : CDlgBase(ourTemplate), myBaseDirectory(aBaseDirectory ? aBaseDirectory : ""),
      myExtension(anExtension ? anExtension : "")
{
}

void CDlgTreeBrowser::OnInitDialog()
{
    myCaption.Format("Browse for '%s' files...", myExtension.GetBuffer());
    UI_SetDialogTitle(myDialog, myCaption);
    UI_TreeSetImageList(myDialog, IDC_TREE, MakeImages());
    UI_TreeBeginUpdate(myDialog, IDC_TREE);
    myScanner.ScanDirectory(nullptr, myDialog, IDC_TREE, UI_TREE_ROOT, myBaseDirectory, myExtension);
    UI_TreeEndUpdate(myDialog, IDC_TREE);
    Priv_UpdateOpen();
}

void CDlgTreeBrowser::OnCommand(int anId, int aNotifyCode)
{
    if (anId == IDC_TREE && aNotifyCode == UI_TVN_SELCHANGED)
        Priv_UpdateOpen();
}

void CDlgTreeBrowser::Priv_UpdateOpen()
{
    UI_TreeItem locItem = UI_TreeGetSelection(myDialog, IDC_TREE);
    Enable(UI_IDOK, locItem && UI_TreeGetData(myDialog, IDC_TREE, locItem) != 0);
}

void CDlgTreeBrowser::OnOK()
{
    UI_TreeItem locItem = UI_TreeGetSelection(myDialog, IDC_TREE);
    const char* locPath = locItem ? reinterpret_cast<const char*>(UI_TreeGetData(myDialog, IDC_TREE, locItem)) : nullptr;
    if (!locPath)
        return;
    myPath = locPath;
    EndDialog(UI_IDOK);
}
