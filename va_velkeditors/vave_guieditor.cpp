// The GUI layout editor.
//
// [SECTION] Creation and skins
// [SECTION] Geometry
// [SECTION] Input
// [SECTION] Drawing
#include "va_velkeditors/vave_guieditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "qcommon/qc_debug.h"
#include "qdrawgdi/qdgdi.h"
#include "va_velkeditors/vave_guiskin.h"
#include "velk/velk_type.h"

int VAVE_GuiEditor::ourGridSize = 100;

namespace
{
const char* const WIDGET_TYPES[] = {
    "VAP_Plate",    "VAP_Button",    "VAP_ProgressBar",
    "VAP_CheckBox", "VAP_TextLabel", "VAP_TextList",
    "VAP_Slider",   "VAP_ComboBox",  "VAP_MultiColumnTextList",
    "VAP_Special",  "VAP_Model",     "VAP_TextInput",
    "VAP_MiniMap",
};

const QD_Colour BACKGROUND_COLOUR = {0, 0, 0};
const QD_Colour OUTLINE_COLOUR = {255, 0, 0};
const QD_Colour SELECTED_COLOUR = {0, 255, 0};
const QD_Colour GRID_COLOUR = {48, 48, 48};

// Virtual keys the editor answers on key-up.
enum
{
    KEY_SPACE = 32,
    KEY_MULTIPLY = 106,
    KEY_ADD = 107,
    KEY_SUBTRACT = 109,
};

VelkType* locMember(VelkType* aWidget, const char* aName)
{
    return aWidget ? aWidget->FindMember(aName) : nullptr;
}

// A number member, 0 when missing; held within +-2^24 layout units so that
// sums of positions and sizes cannot overflow.
int locInt(VelkType* aWidget, const char* aName)
{
    const int locLimit = 1 << 24;
    VelkType* locFound = locMember(aWidget, aName);
    const int locValue = locFound ? locFound->GetValueAsInt() : 0;
    return locValue < -locLimit ? -locLimit : locValue > locLimit ? locLimit : locValue;
}

// A text member, null when missing.
const char* locText(VelkType* aWidget, const char* aName)
{
    VelkType* locFound = locMember(aWidget, aName);
    return locFound ? locFound->GetValue().GetBuffer() : nullptr;
}

struct WidgetRect
{
    int x, y, w, h; // layout units
};

WidgetRect locRect(VelkType* aWidget)
{
    return {locInt(aWidget, "myXPos"), locInt(aWidget, "myYPos"), locInt(aWidget, "myWidth"),
            locInt(aWidget, "myHeight")};
}

// The widget list of the "Gui" instance, or null.
QC_List<VelkType*>* locWidgets(VelkType* aGui)
{
    VelkType* locList = locMember(aGui, "myWidgets");
    return locList ? &locList->GetMembers() : nullptr;
}

// The prefab member that "size to prefab" uses, by widget type; null for the others.
const char* locSizePrefabMember(const QC_String& aType)
{
    static const char* const TABLE[][2] = {
        {"VAP_Plate", "myPrefab"},       {"VAP_Button", "myUpPrefab"},
        {"VAP_ProgressBar", "myPrefab"}, {"VAP_CheckBox", "myCheckedPrefab"},
        {"VAP_TextList", "myPrefab"},    {"VAP_Slider", "myPrefab"},
        {"VAP_ComboBox", "myPrefab"},    {"VAP_MultiColumnTextList", "myPrefab"},
        {"VAP_Model", "myUpPrefab"},     {"VAP_TextInput", "myPrefab"},
    };
    for (const auto& locRow : TABLE)
        if (aType == locRow[0])
            return locRow[1];
    return nullptr;
}
} // namespace

// [SECTION] Creation and skins

VAVE_GuiEditor::VAVE_GuiEditor(VelkType* anInstance) : VelkEditor(anInstance) {}

VAVE_GuiEditor* VAVE_GuiEditor::Create(VelkType* anInstance, QDGDI_Window* aWindow)
{
    if (!anInstance || !aWindow)
        return nullptr;
    VAVE_GuiEditor* locEditor = new (std::nothrow) VAVE_GuiEditor(anInstance);
    if (!locEditor)
        return nullptr;
    locEditor->myFactory = QDGDI_Factory::Create(aWindow);
    if (locEditor->myFactory)
    {
        locEditor->myLine = locEditor->myFactory->CreateLine();
        locEditor->myFont = locEditor->myFactory->CreateFont("arial", 20);
    }
    if (!locEditor->myLine || !locEditor->myFont || !locEditor->Priv_LoadSkins())
    {
        QC_Debug::Printf("VAVE_GuiEditor::Create(): failed to make the drawing objects");
        delete locEditor;
        return nullptr;
    }
    QD_Draw::SetColour(QD_Colour{255, 255, 255});
    return locEditor;
}

VAVE_GuiEditor::~VAVE_GuiEditor()
{
    mySkins.DeleteAll();
    delete myFont;
    delete myLine;
    delete myFactory;
}

bool VAVE_GuiEditor::Priv_LoadSkins()
{
    QC_List<VelkType*>* locList = locWidgets(myInstance);
    if (!locList)
        return true;
    // Pairs that failed once are not read again for the next widget.
    std::vector<std::pair<std::string, std::string>> locFailed;
    for (auto* locLink = locList->myFirstLink; locLink; locLink = locLink->myNext)
    {
        const char* locFile = locText(locLink->myItem, "mySkinFile");
        const char* locName = locText(locLink->myItem, "mySkin");
        if (!locFile || !locName || Priv_FindSkin(locLink->myItem))
            continue;
        std::pair<std::string, std::string> locPair(locFile, locName);
        bool locTriedFlag = false;
        for (const auto& locOld : locFailed)
            locTriedFlag |= locOld == locPair;
        if (locTriedFlag)
            continue;
        VAVE_GuiSkin* locSkin = VAVE_GuiSkin::Load(myFactory, locFile, locName);
        if (!locSkin)
        {
            QC_Debug::Printf("VAVE_GuiEditor: skin '%s' of '%s' not loaded; its widgets draw as outlines",
                             locName, locFile);
            locFailed.push_back(locPair);
            continue;
        }
        if (!mySkins.Add(locSkin))
        {
            delete locSkin;
            return false;
        }
    }
    return true;
}

VAVE_GuiSkin* VAVE_GuiEditor::Priv_FindSkin(VelkType* aWidget)
{
    const char* locFile = locText(aWidget, "mySkinFile");
    const char* locName = locText(aWidget, "mySkin");
    if (!locFile || !locName)
        return nullptr;
    for (auto* locLink = mySkins.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->Is(locFile, locName))
            return locLink->myItem;
    return nullptr;
}

// [SECTION] Geometry

bool VAVE_GuiEditor::IsWidgetType(const char* aTypeName)
{
    for (const char* locType : WIDGET_TYPES)
        if (strcmp(locType, aTypeName) == 0)
            return true;
    return false;
}

int VAVE_GuiEditor::ToUnitsX(int aPixels)
{
    return (int)std::lround((double)aPixels * VAVE_LAYOUT_WIDTH / VAVE_SCREEN_WIDTH);
}

int VAVE_GuiEditor::ToUnitsY(int aPixels)
{
    return (int)std::lround((double)aPixels * VAVE_LAYOUT_HEIGHT / VAVE_SCREEN_HEIGHT);
}

int VAVE_GuiEditor::ToPixelsX(int aUnits)
{
    return (int)std::lround((double)aUnits * VAVE_SCREEN_WIDTH / VAVE_LAYOUT_WIDTH);
}

int VAVE_GuiEditor::ToPixelsY(int aUnits)
{
    return (int)std::lround((double)aUnits * VAVE_SCREEN_HEIGHT / VAVE_LAYOUT_HEIGHT);
}

int VAVE_GuiEditor::HitTest(int aPointX, int aPointY, int x, int y, int w, int h)
{
    if (aPointY >= y && aPointY <= y + h)
    {
        if (aPointX < x)
            return DRAG_LEFT;
        if (aPointX > x + w)
            return DRAG_RIGHT;
        return DRAG_MOVE;
    }
    if (aPointX >= x && aPointX <= x + w)
        return aPointY < y ? DRAG_TOP : DRAG_BOTTOM;
    return DRAG_NONE;
}

int VAVE_GuiEditor::RoundToGrid(int aValue, int aGrid)
{
    if (aGrid <= 0)
        return aValue;
    const int64_t locMagnitude = aValue < 0 ? -(int64_t)aValue : aValue;
    const int64_t locRounded = (locMagnitude + aGrid / 2) / aGrid * aGrid;
    return (int)(aValue < 0 ? -locRounded : locRounded);
}

// [SECTION] Input

void VAVE_GuiEditor::SelectInstance(VelkType* anInstance)
{
    if (anInstance && IsWidgetType(anInstance->GetTypeName().GetBuffer()))
        mySelected = anInstance;
}

EditorAction VAVE_GuiEditor::OnLeftButton(int anX, int anY, bool aShiftFlag)
{
    // Without a selected widget there is nothing to drag.
    if (!mySelected)
        return EditorAction();
    if (!myDraggingFlag)
    {
        myPressX = ToUnitsX(anX);
        myPressY = ToUnitsY(anY);
        const WidgetRect locR = locRect(mySelected);
        myDragKind = HitTest(myPressX, myPressY, locR.x, locR.y, locR.w, locR.h);
        myDraggingFlag = true;
    }
    Priv_Drag(anX, anY);
    return EditorAction();
}

EditorAction VAVE_GuiEditor::OnLeftButtonUp(int anX, int anY)
{
    myDraggingFlag = false;
    return EditorAction();
}

void VAVE_GuiEditor::Priv_Drag(int anX, int anY)
{
    int locDX = ToUnitsX(anX) - myPressX;
    int locDY = ToUnitsY(anY) - myPressY;
    const int locGrid = ourGridSize;
    if (myGridFlag)
    {
        locDX = RoundToGrid(locDX, locGrid);
        locDY = RoundToGrid(locDY, locGrid);
    }
    if (locDX == 0 && locDY == 0)
        return;
    const WidgetRect locOld = locRect(mySelected);
    WidgetRect locR = locOld;
    int locAppliedX = 0, locAppliedY = 0;
    switch (myDragKind)
    {
        case DRAG_MOVE:
        {
            int locX = locR.x + locDX, locY = locR.y + locDY;
            if (locX + locR.w > VAVE_LAYOUT_WIDTH)
                locX = VAVE_LAYOUT_WIDTH - locR.w;
            if (locY + locR.h > VAVE_LAYOUT_HEIGHT)
                locY = VAVE_LAYOUT_HEIGHT - locR.h;
            locAppliedX = locX - locR.x, locAppliedY = locY - locR.y;
            locR.x = locX, locR.y = locY;
            break;
        }
        case DRAG_LEFT:
        case DRAG_TOP:
        {
            const bool locXFlag = myDragKind == DRAG_LEFT;
            int& locPos = locXFlag ? locR.x : locR.y;
            int& locSize = locXFlag ? locR.w : locR.h;
            int locNew = locPos + (locXFlag ? locDX : locDY);
            if (myGridFlag)
                locNew = RoundToGrid(locNew, locGrid);
            const int locNewSize = locPos + locSize - locNew;
            if (locNewSize >= locGrid)
            {
                (locXFlag ? locAppliedX : locAppliedY) = locNew - locPos;
                locPos = locNew;
                locSize = locNewSize;
            }
            break;
        }
        case DRAG_RIGHT:
        case DRAG_BOTTOM:
        {
            const bool locXFlag = myDragKind == DRAG_RIGHT;
            const int locPos = locXFlag ? locR.x : locR.y;
            int& locSize = locXFlag ? locR.w : locR.h;
            int locNewEnd = locPos + locSize + (locXFlag ? locDX : locDY);
            if (myGridFlag)
                locNewEnd = RoundToGrid(locNewEnd, locGrid);
            if (locNewEnd - locPos >= locGrid)
            {
                (locXFlag ? locAppliedX : locAppliedY) = locNewEnd - (locPos + locSize);
                locSize = locNewEnd - locPos;
            }
            break;
        }
        default:
            return;
    }
    myPressX += locAppliedX;
    myPressY += locAppliedY;
    // Only what the drag moved: a member it did not touch keeps its text.
    if (locR.x != locOld.x)
        StoreInt(mySelected, "myXPos", locR.x);
    if (locR.y != locOld.y)
        StoreInt(mySelected, "myYPos", locR.y);
    if (locR.w != locOld.w)
        StoreInt(mySelected, "myWidth", locR.w);
    if (locR.h != locOld.h)
        StoreInt(mySelected, "myHeight", locR.h);
}

EditorAction VAVE_GuiEditor::OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag)
{
    const int locX = ToUnitsX(anX), locY = ToUnitsY(anY);
    QC_List<VelkType*>* locList = locWidgets(myInstance);
    VelkType* locHit = nullptr;
    for (auto* locLink = locList ? locList->myFirstLink : nullptr; locLink; locLink = locLink->myNext)
    {
        if (!IsWidgetType(locLink->myItem->GetTypeName().GetBuffer()))
            continue;
        const WidgetRect locR = locRect(locLink->myItem);
        if (locX >= locR.x && locX <= locR.x + locR.w && locY >= locR.y && locY <= locR.y + locR.h)
            locHit = locLink->myItem;
    }
    if (locHit)
        mySelected = locHit;
    return EditorAction(mySelected, EditorAction::SELECT_IN_TREE);
}

EditorAction VAVE_GuiEditor::OnKeyUp(int aVirtualKey)
{
    switch (aVirtualKey)
    {
        case KEY_SPACE:
            myGridFlag = !myGridFlag;
            break;
        case KEY_MULTIPLY:
            Priv_SizeToPrefab();
            break;
        case KEY_ADD:
            ourGridSize += 100;
            break;
        case KEY_SUBTRACT:
            if (ourGridSize > 100)
                ourGridSize -= 100;
            break;
        default:
            break;
    }
    return EditorAction();
}

void VAVE_GuiEditor::Priv_SizeToPrefab()
{
    if (!mySelected)
        return;
    const char* locMemberName = locSizePrefabMember(mySelected->GetTypeName());
    VAVE_GuiSkin* locSkin = Priv_FindSkin(mySelected);
    const char* locPrefabName = locMemberName ? locText(mySelected, locMemberName) : nullptr;
    const VAVE_GuiPrefab* locPrefab = locSkin && locPrefabName ? locSkin->FindPrefab(locPrefabName) : nullptr;
    if (!locPrefab)
        return;
    // Texture pixels at the screen's own scale: the widget shows its prefab unstretched.
    StoreInt(mySelected, "myWidth", ToUnitsX(locPrefab->GetWidth()));
    StoreInt(mySelected, "myHeight", ToUnitsY(locPrefab->GetHeight()));
}

bool VAVE_GuiEditor::OnInstanceRemoved(VelkType* anInstance)
{
    if (mySelected == anInstance || IsRemovedBy(mySelected, anInstance))
    {
        mySelected = nullptr;
        myDraggingFlag = false;
    }
    return true;
}

// [SECTION] Drawing

void VAVE_GuiEditor::Draw(bool aClearFlag)
{
    myFactory->Begin();
    if (aClearFlag)
        myFactory->Clear(BACKGROUND_COLOUR);
    if (myGridFlag)
        Priv_DrawGrid();
    Priv_Outline(0, 0, VAVE_SCREEN_WIDTH, VAVE_SCREEN_HEIGHT, false);
    if (QC_List<VelkType*>* locList = locWidgets(myInstance))
        for (auto* locLink = locList->myFirstLink; locLink; locLink = locLink->myNext)
            if (IsWidgetType(locLink->myItem->GetTypeName().GetBuffer()))
                Priv_DrawWidget(locLink->myItem);
    if (mySelected)
    {
        const WidgetRect locR = locRect(mySelected);
        Priv_Outline(ToPixelsX(locR.x), ToPixelsY(locR.y), ToPixelsX(locR.x + locR.w),
                     ToPixelsY(locR.y + locR.h), true);
    }

    char locText[64];
    const int locLineHeight = myFont->GetHeight() + 2;
    // Six lines of text below the screen frame; a view too short for them
    // (a window 768 pixels high) gets them at its bottom over a cleared band,
    // so that they stay in view.
    const int locTextHeight = 6 * locLineHeight;
    int locY = VAVE_SCREEN_HEIGHT + 4;
    const int locViewHeight = myFactory->GetHeight();
    if (locViewHeight > 0 && locY + locTextHeight > locViewHeight)
    {
        locY = std::max(0, locViewHeight - locTextHeight);
        const int locWidth = std::max(VAVE_SCREEN_WIDTH + 1, myFactory->GetWidth());
        for (int y = locY - 2; y < locViewHeight; y++)
            myLine->HLine(0, locWidth, y, BACKGROUND_COLOUR);
    }
    if (myGridFlag)
        snprintf(locText, sizeof(locText), "Grid: %d", ourGridSize);
    else
        snprintf(locText, sizeof(locText), "Grid: off");
    myFont->DrawText(0, locY, locText);
    locY += locLineHeight;
    if (mySelected)
    {
        const WidgetRect locR = locRect(mySelected);
        const char* const locFormats[] = {"x: %d", "y: %d", "w: %d", "h: %d"};
        const int locValues[] = {locR.x, locR.y, locR.w, locR.h};
        for (int i = 0; i < 4; i++)
        {
            snprintf(locText, sizeof(locText), locFormats[i], locValues[i]);
            myFont->DrawText(i * 120, locY, locText);
        }
    }
    locY += locLineHeight;
    const char* const locHelp[] = {"SPACE = toggle grid", "NUMPAD + = increase grid size",
                                   "NUMPAD - = decrease grid size",
                                   "NUMPAD X = autosize selection to prefab size"};
    for (const char* locLine : locHelp)
    {
        myFont->DrawText(0, locY, locLine);
        locY += locLineHeight;
    }
    myFactory->End();
    myFactory->Present();
}

void VAVE_GuiEditor::Priv_DrawGrid()
{
    for (int x = ourGridSize; x < VAVE_LAYOUT_WIDTH; x += ourGridSize)
        myLine->VLine(ToPixelsX(x), 0, VAVE_SCREEN_HEIGHT, GRID_COLOUR);
    for (int y = ourGridSize; y < VAVE_LAYOUT_HEIGHT; y += ourGridSize)
        myLine->HLine(0, VAVE_SCREEN_WIDTH, ToPixelsY(y), GRID_COLOUR);
}

void VAVE_GuiEditor::Priv_Outline(int x0, int y0, int x1, int y1, bool aSelectedFlag)
{
    const QD_Colour& locColour = aSelectedFlag ? SELECTED_COLOUR : OUTLINE_COLOUR;
    myLine->Line(x0, y0, x1, y0, locColour);
    myLine->Line(x1, y0, x1, y1, locColour);
    myLine->Line(x1, y1, x0, y1, locColour);
    myLine->Line(x0, y1, x0, y0, locColour);
}

void VAVE_GuiEditor::Priv_DrawPrefab(VAVE_GuiSkin* aSkin, VelkType* aWidget, const char* aMember, int x,
                                     int y, int w, int h)
{
    const char* locName = locText(aWidget, aMember);
    const VAVE_GuiPrefab* locPrefab = aSkin && locName ? aSkin->FindPrefab(locName) : nullptr;
    if (locPrefab)
        locPrefab->Draw(aSkin->GetTexture(), x, y, w, h);
}

void VAVE_GuiEditor::Priv_DrawText(VAVE_GuiSkin* aSkin, VelkType* aWidget, bool aCentreFlag)
{
    const char* locFontName = locText(aWidget, "myFont");
    const char* locString = locText(aWidget, "myText");
    QD_Font* locFont = aSkin && locFontName ? aSkin->FindFont(locFontName) : nullptr;
    if (!locFont || !locString)
        return;
    const WidgetRect locR = locRect(aWidget);
    int locX = locR.x;
    if (aCentreFlag)
    {
        // Text widths in pixels, turned into layout units.
        const int locWidth = (int)(locFont->GetTextWidth(locString) * 0.00125 * VAVE_LAYOUT_WIDTH);
        locX = locR.x + (locR.w - locWidth) / 2;
    }
    const int locY = ToPixelsY(locR.y) + (ToPixelsY(locR.h) - locFont->GetHeight()) / 2;
    locFont->DrawText(ToPixelsX(locX), locY, locString);
}

void VAVE_GuiEditor::Priv_DrawScrollBar(VelkType* aWidget, const char* aHeightMember)
{
    const WidgetRect locR = locRect(aWidget);
    const int locSide = locInt(aWidget, "myScrollBarWidth");
    const int locHeight = locInt(aWidget, aHeightMember);
    const int locX0 = ToPixelsX(locR.x + locR.w - locSide), locX1 = ToPixelsX(locR.x + locR.w);
    const int locTops[] = {locR.y, locR.y + locHeight - locSide, locR.y + locSide};
    for (int locTop : locTops)
        Priv_Outline(locX0, ToPixelsY(locTop), locX1, ToPixelsY(locTop + locSide), false);
}

void VAVE_GuiEditor::Priv_DrawWidget(VelkType* aWidget)
{
    const QC_String& locType = aWidget->GetTypeName();
    VAVE_GuiSkin* locSkin = Priv_FindSkin(aWidget);
    const WidgetRect locR = locRect(aWidget);
    const int x = ToPixelsX(locR.x), y = ToPixelsY(locR.y);
    const int w = ToPixelsX(locR.w), h = ToPixelsY(locR.h);

    if (locType == "VAP_TextLabel")
    {
        Priv_Outline(x, y, x + w, y + h, false);
        Priv_DrawText(locSkin, aWidget, false);
    }
    else if (locType == "VAP_Special" || locType == "VAP_MiniMap" || !locSkin)
        // Without its skin a widget still shows where it is.
        Priv_Outline(x, y, x + w, y + h, false);
    else if (locType == "VAP_Button")
    {
        Priv_DrawPrefab(locSkin, aWidget, "myUpPrefab", x, y, w, h);
        Priv_DrawText(locSkin, aWidget, true);
    }
    else if (locType == "VAP_CheckBox")
    {
        Priv_DrawPrefab(locSkin, aWidget, "myCheckedPrefab", x, y, w, h);
        Priv_DrawText(locSkin, aWidget, true);
    }
    else if (locType == "VAP_Model")
        Priv_DrawPrefab(locSkin, aWidget, "myUpPrefab", x, y, w, h);
    else
    {
        Priv_DrawPrefab(locSkin, aWidget, "myPrefab", x, y, w, h);
        if (locType == "VAP_TextList")
            Priv_DrawScrollBar(aWidget, "myHeight");
        else if (locType == "VAP_ComboBox")
            Priv_DrawScrollBar(aWidget, "myListHeight");
        else if (locType == "VAP_MultiColumnTextList")
        {
            Priv_DrawScrollBar(aWidget, "myHeight");
            Priv_DrawPrefab(locSkin, aWidget, "myTitleBarUpPrefab", x, y, w,
                            ToPixelsY(locInt(aWidget, "myTitleBarHeight")));
        }
    }
}
