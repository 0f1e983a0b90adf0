// The spreadsheet editor: the instances held by a script-class instance as a
// grid, one row per held instance, one column per member the type's active
// filter lets through.
#pragma once

#include "qcommon/qc_string.h"
#include "velkeditor/velk_editor.h"

#include <vector>

class QD_Factory;
class QD_Font;
class QD_Line;
class QDGDI_Window;
class VelkTypeFilter;

// What a cell shows.
enum SpreadSheetCellKind
{
    SPREADSHEET_CELL_LIST = 0,      // a script class: "LIST"
    SPREADSHEET_CELL_STRUCTURE = 1, // an instance with members: "STRUCTURE"
    SPREADSHEET_CELL_VALUE = 2,     // an instance without members: its value
};

struct SpreadSheetCell
{
    VelkType* myInstance; // not owned
    int myKind;           // SpreadSheetCellKind
};

// A row emptied by OnInstanceRemoved has no cells (and no instance when its
// own instance went).
struct SpreadSheetRow
{
    VelkType* myInstance = nullptr; // not owned
    std::vector<SpreadSheetCell> myCells;
};

class SpreadSheetEditor2 : public VelkEditor
{
public:
    // The filter and the window are not owned; the window must outlive the editor.
    SpreadSheetEditor2(VelkType* anInstance, VelkTypeFilter* aFilter, QDGDI_Window* aWindow);
    ~SpreadSheetEditor2() override;

    // False when the instance holds nothing, its first held instance is a
    // script class, or the drawing objects cannot be made: the editor is then
    // of no use and the factory drops it.
    bool Init();

    void SelectInstance(VelkType* anInstance) override;
    void Draw(bool aClearFlag) override;
    EditorAction OnLeftButton(int anX, int anY, bool aShiftFlag) override;
    EditorAction OnLeftButtonUp(int anX, int anY) override;
    EditorAction OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag) override;
    EditorAction OnRightButtonUp(int anX, int anY) override;
    EditorAction OnKeyDown(int aVirtualKey) override;
    EditorAction OnKeyUp(int aVirtualKey) override;
    EditorAction OnChar(int aCharacter) override;
    VelkType* GetSelectedInstance() override;
    void Resize(int aWidth, int aHeight) override;
    void OnTreeRefreshed() override;
    bool OnInstanceRemoved(VelkType* anInstance) override;

    // Process-wide, kept from one spreadsheet to the next. Pixels.
    static int GetCellWidth() { return ourCellWidth; }
    static int GetCellHeight() { return ourCellHeight; }
    static bool GetExpandNestedMembers() { return ourExpandNestedFlag; }
    // Back to the start values (256 x 16, nesting off).
    static void ResetSharedState();

    // The state the slots work on.
    int GetNumRows() const { return (int)myRows.size(); }
    const SpreadSheetRow& GetRow(int anIndex) const { return myRows[anIndex]; }
    int GetNumColumns() const { return (int)myColumnTitles.size(); }
    const QC_String& GetColumnTitle(int anIndex) const { return myColumnTitles[anIndex]; }
    int GetColumnScroll() const { return myColumnScroll; }
    int GetRowScroll() const { return myRowScroll; }
    int GetSourceColumn() const { return mySourceColumn; }
    bool IsConfirming() const { return myConfirmFlag; }
    VelkType* GetSelection() const { return mySelection; }
    // The instance under a point of the pane, or null.
    VelkType* GetInstanceAt(int anX, int anY) const;
    // The text a cell shows.
    static QC_String GetCellText(const SpreadSheetCell& aCell);

private:
    void BuildRowsAndColumns();
    void AddCells(VelkType* anInstance, const char* aPrefix, std::vector<SpreadSheetCell>* aCells,
                  std::vector<QC_String>* aTitles);
    // Row and column under a point: column -1 is the row-title column. False
    // over the title row, outside the rows or left of the pane.
    bool HitTest(int anX, int anY, int* aRow, int* aColumn) const;
    int ColumnAt(int anX) const;
    void CopyColumn(int aSource, int aTarget);
    void ResetColumn(int aColumn);
    void CopyToAll(VelkType* anInstance);
    // Assigns with the source, forgetting the selection first when the
    // assignment may delete it.
    void AssignInto(VelkType* aTarget, VelkType* aSource);
    void DrawCellText(const char* aText, int aCellX, int aCellY, int anAlignment);

    VelkTypeFilter* myFilter;
    QDGDI_Window* myWindow;
    QD_Factory* myFactory = nullptr;
    QD_Font* mySmallFont = nullptr;
    QD_Font* myLargeFont = nullptr;
    QD_Line* myLine = nullptr;
    int myColumnScroll = 0;
    int myRowScroll = 0;
    std::vector<SpreadSheetRow> myRows;
    std::vector<QC_String> myColumnTitles;
    VelkType* mySelection = nullptr;
    bool myConfirmFlag = false;
    int mySourceColumn = -1;

    static int ourCellWidth;
    static int ourCellHeight;
    static bool ourExpandNestedFlag;
};
