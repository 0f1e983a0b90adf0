// The archive tool's dialog table and icon.
#include "ostrane/resource.h"

#include <cstdlib>

namespace
{
const UI_ControlTemplate ourMainControls[] = {
    {IDC_OPEN_SDF, UI_CONTROL_PUSHBUTTON, "Open SDF", 301, 24, 57, 14, 0},
    {IDC_SAVE_SDF, UI_CONTROL_PUSHBUTTON, "Save SDF", 301, 41, 57, 14, 0},
    {IDC_FILE_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 291, 304,
     UI_STYLE_LB_SORT | UI_STYLE_LB_EXTENDEDSEL | UI_STYLE_VSCROLL | UI_STYLE_BORDER | UI_STYLE_LB_NOTIFY |
         UI_STYLE_LB_NOINTEGRALHEIGHT | UI_STYLE_ACCEPTFILES},
    {IDC_ADD_FILES, UI_CONTROL_PUSHBUTTON, "Add files", 301, 279, 57, 14, 0},
    {IDC_REMOVE_FILES, UI_CONTROL_PUSHBUTTON, "Remove files", 301, 297, 57, 14, 0},
    {IDC_EXTRACT_FILES, UI_CONTROL_PUSHBUTTON, "Extract files", 301, 58, 57, 14, 0},
    {IDC_NEW_SDF, UI_CONTROL_PUSHBUTTON, "New SDF", 301, 7, 57, 14, UI_STYLE_MULTILINE},
};

const UI_DialogTemplate ourMainDialog = {
    IDD_OSTRANE_DIALOG, "Ostrane", 365, 318, "MS Shell Dlg", 8,
    ourMainControls, (int) (sizeof(ourMainControls) / sizeof(ourMainControls[0])),
};
} // namespace

const UI_DialogTemplate* OstraneFindDialogTemplate(int aTemplateId)
{
    return aTemplateId == IDD_OSTRANE_DIALOG ? &ourMainDialog : nullptr;
}

// A closed crate seen from the front: brown planks, darker bands, a clasp.
UI_Image OstraneLoadIcon(int anIconId)
{
    UI_Image locImage;
    if (anIconId != IDI_OSTRANE_ICON)
        return locImage;
    const int locSize = 32;
    locImage.myWidth = locSize;
    locImage.myHeight = locSize;
    locImage.myPixels.assign(locSize * locSize, 0x00000000);
    for (int y = 4; y < 28; y++)
        for (int x = 2; x < 30; x++)
        {
            uint32_t locColour = 0xFFB07A3C;
            if (x == 2 || x == 29 || y == 4 || y == 27)
                locColour = 0xFF4A2E12;
            else if (y == 11 || y == 12)
                locColour = 0xFF6B4420;
            else if ((y - 5) % 6 == 5)
                locColour = 0xFF8A5A2A;
            if (x >= 14 && x <= 17 && y >= 9 && y <= 14)
                locColour = 0xFFD8D8D8;
            locImage.myPixels[y * locSize + x] = locColour;
        }
    return locImage;
}
