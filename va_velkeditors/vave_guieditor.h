// The GUI layout editor: a "Gui" instance's widgets drawn as the game shows
// them at 800 x 600, selected, moved and resized on a grid; positions are
// written straight back into the widget instances.
#pragma once

#include "qcommon/qc_list.h"
#include "velkeditor/velk_editor.h"

class QD_Factory;
class QD_Font;
class QD_Line;
class QDGDI_Window;
class VAVE_GuiSkin;

// Layout units across and down; the editor draws them at 800 x 600 pixels.
constexpr int VAVE_LAYOUT_WIDTH = 16000;
constexpr int VAVE_LAYOUT_HEIGHT = 12000;
constexpr int VAVE_SCREEN_WIDTH = 800;
constexpr int VAVE_SCREEN_HEIGHT = 600;

class VAVE_GuiEditor : public VelkEditor
{
  public:
    // What a left-button drag does to the selected widget (the hit test's answer).
    enum DragKind
    {
        DRAG_MOVE = 0,
        DRAG_NONE = 1,
        DRAG_LEFT = 2,
        DRAG_RIGHT = 3,
        DRAG_TOP = 4,
        DRAG_BOTTOM = 5,
    };

    // Null when the drawing objects cannot be made on the window. A skin that
    // cannot be loaded is left out (noted on the debug output); its widgets
    // draw without prefab and text.
    static VAVE_GuiEditor* Create(VelkType* anInstance, QDGDI_Window* aWindow);
    ~VAVE_GuiEditor() override;

    void SelectInstance(VelkType* anInstance) override;
    void Draw(bool aClearFlag) override;
    EditorAction OnLeftButton(int anX, int anY, bool aShiftFlag) override;
    EditorAction OnLeftButtonUp(int anX, int anY) override;
    EditorAction OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag) override;
    EditorAction OnRightButtonUp(int anX, int anY) override { return EditorAction(); }
    EditorAction OnKeyDown(int aVirtualKey) override { return EditorAction(); }
    EditorAction OnKeyUp(int aVirtualKey) override;
    EditorAction OnChar(int aCharacter) override { return EditorAction(); }
    VelkType* GetSelectedInstance() override { return mySelected; }
    void Resize(int aWidth, int aHeight) override {}
    bool OnInstanceRemoved(VelkType* anInstance) override;

    // Shared by every layout editor of the process; never below 100.
    static int GetGridSize() { return ourGridSize; }
    static void SetGridSize(int aSize) { ourGridSize = aSize < 100 ? 100 : aSize; }
    bool IsGridOn() const { return myGridFlag; }
    int GetNumSkins() const { return mySkins.myCount; }

    static bool IsWidgetType(const char* aTypeName);
    // Pixels to layout units and back (800 x 600 against 16,000 x 12,000, rounded).
    static int ToUnitsX(int aPixels);
    static int ToUnitsY(int aPixels);
    static int ToPixelsX(int aUnits);
    static int ToPixelsY(int aUnits);
    // Layout units; a point on an edge is inside.
    static int HitTest(int aPointX, int aPointY, int x, int y, int w, int h);
    // To the nearest multiple, halves away from zero, the same both ways.
    static int RoundToGrid(int aValue, int aGrid);

  private:
    VAVE_GuiEditor(VelkType* anInstance);
    bool Priv_LoadSkins();
    VAVE_GuiSkin* Priv_FindSkin(VelkType* aWidget);
    void Priv_Drag(int anX, int anY);
    void Priv_SizeToPrefab();
    void Priv_DrawGrid();
    void Priv_DrawWidget(VelkType* aWidget);
    void Priv_DrawPrefab(VAVE_GuiSkin* aSkin, VelkType* aWidget, const char* aMember, int x, int y, int w,
                         int h);
    void Priv_DrawText(VAVE_GuiSkin* aSkin, VelkType* aWidget, bool aCentreFlag);
    void Priv_DrawScrollBar(VelkType* aWidget, const char* aHeightMember);
    // Four lines from (x0, y0) to (x1, y1), pixels.
    void Priv_Outline(int x0, int y0, int x1, int y1, bool aSelectedFlag);

    QD_Factory* myFactory = nullptr; // owned, as the three below
    QD_Line* myLine = nullptr;
    QD_Font* myFont = nullptr;
    QC_List<VAVE_GuiSkin*> mySkins;
    VelkType* mySelected = nullptr; // not owned
    int myPressX = 0, myPressY = 0; // layout units
    int myDragKind = DRAG_NONE;
    bool myDraggingFlag = false;
    bool myGridFlag = true;

    static int ourGridSize;
};
