// The spreadsheet editor.
//
// [SECTION] shared state and helpers
// [SECTION] life cycle, rows and columns
// [SECTION] hit test and column operations
// [SECTION] input
// [SECTION] drawing
#include "velkeditor/spreadsheeteditor2.h"

#include "platform/ui/ui_frame.h"
#include "qdrawgdi/qdgdi.h"
#include "velk/velk_type.h"
#include "velkeditor/velk_typefilter.h"

#include <climits>
#include <new>

// ---------------------------------------------------------------------------
// [SECTION] shared state and helpers
// ---------------------------------------------------------------------------

int SpreadSheetEditor2::ourCellWidth = 256;
int SpreadSheetEditor2::ourCellHeight = 16;
bool SpreadSheetEditor2::ourExpandNestedFlag = false;

namespace
{
enum
{
    VK_RETURN = 13,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_SHIFT = 16,
    VK_MULTIPLY = 106,
    VK_ADD = 107,
    VK_SUBTRACT = 109,
    VK_DIVIDE = 111,
};

constexpr int CELL_STEP = 16;
// Far beyond any screen; keeps the sums below from overflowing.
constexpr int MAX_CELL_SIZE = 1 << 16;
constexpr int MAX_SCROLL = INT_MAX / 4;
constexpr int TEXT_INSET = 4;   // pixels between a cell's edge and its text

constexpr QD_Colour BACKGROUND_COLOUR = {255, 255, 255};
constexpr QD_Colour TITLE_COLOUR = {0, 127, 0};
constexpr QD_Colour MESSAGE_COLOUR = {255, 0, 0};
constexpr QD_Colour GRID_COLOUR = {0, 0, 0};
constexpr QD_Colour CELL_COLOURS[3] = {{255, 0, 0}, {0, 0, 255}, {128, 128, 128}};

const char* const CONFIRM_LINES[3] = {
    "Warning! Are you sure you want to copy the selected instance (see the tree view)",
    "recursively to all other instances of the same type and name?",
    "Press <ENTER> to accept, or <ESCAPE> to cancel...",
};

bool locIsScriptClass(VelkType* anInstance)
{
    VelkClass* locClass = dynamic_cast<VelkClass*>(anInstance);
    return locClass && locClass->IsScriptClass();
}

int locKind(VelkType* anInstance)
{
    if (locIsScriptClass(anInstance))
        return SPREADSHEET_CELL_LIST;
    return anInstance->GetNumMembers() > 0 ? SPREADSHEET_CELL_STRUCTURE : SPREADSHEET_CELL_VALUE;
}

// True when anObject is aContainer or lies inside it. By the parent links: the
// container's own subtree may be far larger than the object's depth.
bool locLiesIn(VelkType* anObject, VelkType* aContainer)
{
    for (VelkType* locObject = anObject; locObject; locObject = locObject->GetParent())
        if (locObject == aContainer)
            return true;
    return false;
}

int locScroll(int aScroll, int aDelta)
{
    const int locScroll = aScroll + aDelta;
    return locScroll < 0 ? 0 : locScroll > MAX_SCROLL ? MAX_SCROLL : locScroll;
}
} // namespace

void SpreadSheetEditor2::ResetSharedState()
{
    ourCellWidth = 256;
    ourCellHeight = 16;
    ourExpandNestedFlag = false;
}

QC_String SpreadSheetEditor2::GetCellText(const SpreadSheetCell& aCell)
{
    switch (aCell.myKind)
    {
    case SPREADSHEET_CELL_LIST:
        return "LIST";
    case SPREADSHEET_CELL_STRUCTURE:
        return "STRUCTURE";
    default:
        return aCell.myInstance->GetValue();
    }
}

// ---------------------------------------------------------------------------
// [SECTION] life cycle, rows and columns
// ---------------------------------------------------------------------------

SpreadSheetEditor2::SpreadSheetEditor2(VelkType* anInstance, VelkTypeFilter* aFilter, QDGDI_Window* aWindow)
    : VelkEditor(anInstance), myFilter(aFilter), myWindow(aWindow)
{
}

SpreadSheetEditor2::~SpreadSheetEditor2()
{
    // The factory's objects go before the factory.
    delete myLine;
    delete myLargeFont;
    delete mySmallFont;
    delete myFactory;
}

bool SpreadSheetEditor2::Init()
{
    if (!myInstance || myInstance->GetNumMembers() == 0)
        return false;
    if (locIsScriptClass(myInstance->GetMembers().GetFirst()))
        return false;
    myFactory = QDGDI_Factory::Create(myWindow);
    if (!myFactory)
        return false;
    mySmallFont = myFactory->CreateFont("verdana", 12);
    myLargeFont = myFactory->CreateFont("verdana", 32);
    myLine = myFactory->CreateLine();
    if (!mySmallFont || !myLargeFont || !myLine)
        return false;
    BuildRowsAndColumns();
    return true;
}

void SpreadSheetEditor2::BuildRowsAndColumns()
{
    myRows.clear();
    myColumnTitles.clear();
    QC_List<VelkType*>& locMembers = myInstance->GetMembers();
    myRows.reserve(locMembers.Count());
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
    {
        SpreadSheetRow& locRow = myRows.emplace_back();
        locRow.myInstance = locLink->myItem;
        // The titles come from the first row; every row keeps its own cells.
        AddCells(locRow.myInstance, nullptr, &locRow.myCells, myRows.size() == 1 ? &myColumnTitles : nullptr);
    }
}

void SpreadSheetEditor2::AddCells(VelkType* anInstance, const char* aPrefix, std::vector<SpreadSheetCell>* aCells,
                                  std::vector<QC_String>* aTitles)
{
    if (anInstance->GetNumMembers() == 0)
    {
        aCells->push_back({anInstance, locKind(anInstance)});
        if (aTitles)
            aTitles->push_back("VALUE");
        return;
    }
    QC_List<VelkType*>& locMembers = anInstance->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkType* locMember = locLink->myItem;
        QC_String locName;
        if (aPrefix)
            locName.Format("%s.%s", aPrefix, locMember->GetName().GetBuffer());
        else
            locName = locMember->GetName();
        if (myFilter && !myFilter->Contains(locName))
            continue;
        if (ourExpandNestedFlag && !locIsScriptClass(locMember) && locMember->GetNumMembers() > 0)
        {
            AddCells(locMember, locName, aCells, aTitles);
            continue;
        }
        aCells->push_back({locMember, locKind(locMember)});
        if (aTitles)
            aTitles->push_back(locName);
    }
}

// ---------------------------------------------------------------------------
// [SECTION] hit test and column operations
// ---------------------------------------------------------------------------

int SpreadSheetEditor2::ColumnAt(int anX) const
{
    if (anX < 0)
        return -2;
    if (anX < ourCellWidth)
        return -1;
    return anX / ourCellWidth + myColumnScroll - 1;
}

bool SpreadSheetEditor2::HitTest(int anX, int anY, int* aRow, int* aColumn) const
{
    // The title row shows no instance, whatever the row scroll.
    if (anX < 0 || anY < ourCellHeight)
        return false;
    *aColumn = ColumnAt(anX);
    *aRow = anY / ourCellHeight + myRowScroll - 1;
    return *aRow >= 0 && *aRow < (int)myRows.size();
}

VelkType* SpreadSheetEditor2::GetInstanceAt(int anX, int anY) const
{
    int locRow, locColumn;
    if (!HitTest(anX, anY, &locRow, &locColumn))
        return nullptr;
    const SpreadSheetRow& locCells = myRows[locRow];
    if (locColumn == -1)
        return locCells.myInstance;
    if (locColumn >= 0 && locColumn < (int)locCells.myCells.size())
        return locCells.myCells[locColumn].myInstance;
    return nullptr;
}

void SpreadSheetEditor2::AssignInto(VelkType* aTarget, VelkType* aSource)
{
    // Assigning a class replaces the contents of the lists inside it.
    if (mySelection && mySelection != aTarget && locLiesIn(mySelection, aTarget))
        mySelection = nullptr;
    if (aTarget->AssignFrom(aSource))
        MarkChanged();
}

void SpreadSheetEditor2::CopyColumn(int aSource, int aTarget)
{
    if (aSource < 0 || aTarget < 0)
        return;
    for (SpreadSheetRow& locRow : myRows)
    {
        const int locCount = (int)locRow.myCells.size();
        if (aSource >= locCount || aTarget >= locCount)
            continue;
        VelkType* locSource = locRow.myCells[aSource].myInstance;
        VelkType* locTarget = locRow.myCells[aTarget].myInstance;
        // A list assigned from itself would empty itself first.
        if (locSource != locTarget)
            AssignInto(locTarget, locSource);
    }
}

void SpreadSheetEditor2::ResetColumn(int aColumn)
{
    for (SpreadSheetRow& locRow : myRows)
    {
        if (aColumn == -1 && locRow.myInstance)
            locRow.myInstance->ResetValue();
        else if (aColumn >= 0 && aColumn < (int)locRow.myCells.size())
            locRow.myCells[aColumn].myInstance->ResetValue();
        else
            continue;
        MarkChanged();
    }
}

void SpreadSheetEditor2::CopyToAll(VelkType* anInstance)
{
    QC_List<VelkType*>& locMembers = anInstance->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkType* locMember = locLink->myItem;
        // The source's own inside is not overwritten from itself.
        if (locMember == mySelection)
            continue;
        if (locMember->GetTypeName() == mySelection->GetTypeName() && locMember->GetName() == mySelection->GetName() &&
            !locLiesIn(mySelection, locMember))
        {
            if (locMember->AssignFrom(mySelection))
                MarkChanged();
            continue;
        }
        CopyToAll(locMember);
    }
}

// ---------------------------------------------------------------------------
// [SECTION] input
// ---------------------------------------------------------------------------

void SpreadSheetEditor2::SelectInstance(VelkType* anInstance)
{
    mySelection = anInstance;
}

EditorAction SpreadSheetEditor2::OnLeftButton(int anX, int anY, bool aShiftFlag)
{
    if (aShiftFlag)
    {
        const int locColumn = anX < 0 ? -1 : anX / ourCellWidth + myColumnScroll - 1;
        mySourceColumn = locColumn < 0 ? -1 : locColumn;
    }
    return EditorAction();
}

EditorAction SpreadSheetEditor2::OnLeftButtonUp(int anX, int anY)
{
    return EditorAction(GetInstanceAt(anX, anY), EditorAction::SELECT_IN_TREE);
}

EditorAction SpreadSheetEditor2::OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag)
{
    if (aShiftFlag)
    {
        if (mySourceColumn >= 0)
            CopyColumn(mySourceColumn, ColumnAt(anX));
    }
    else if (aControlFlag)
        ResetColumn(ColumnAt(anX));
    return EditorAction();
}

EditorAction SpreadSheetEditor2::OnRightButtonUp(int anX, int anY)
{
    VelkType* locInstance = GetInstanceAt(anX, anY);
    if (!locInstance)
        return EditorAction();
    return EditorAction(locInstance, EditorAction::EDIT_IN_TREE);
}

EditorAction SpreadSheetEditor2::OnKeyDown(int aVirtualKey)
{
    const int locStep = UI_IsKeyDown(VK_SHIFT) ? 10 : 1;
    switch (aVirtualKey)
    {
    case VK_RETURN:
        if (!mySelection)
            break;
        if (myConfirmFlag)
            CopyToAll(myInstance);
        else if (UI_IsKeyDown(VK_SHIFT))
        {
            myConfirmFlag = true;
            return EditorAction(mySelection, EditorAction::SELECT_IN_TREE);
        }
        break;
    case VK_ESCAPE:
        myConfirmFlag = false;
        break;
    case VK_HOME:
        myColumnScroll = 0;
        myRowScroll = 0;
        break;
    case VK_LEFT:
        myColumnScroll = locScroll(myColumnScroll, -locStep);
        break;
    case VK_UP:
        myRowScroll = locScroll(myRowScroll, -locStep);
        break;
    case VK_RIGHT:
        myColumnScroll = locScroll(myColumnScroll, locStep);
        break;
    case VK_DOWN:
        myRowScroll = locScroll(myRowScroll, locStep);
        break;
    case VK_MULTIPLY:
        if (ourCellHeight < MAX_CELL_SIZE)
            ourCellHeight += CELL_STEP;
        break;
    case VK_ADD:
        if (ourCellWidth < MAX_CELL_SIZE)
            ourCellWidth += CELL_STEP;
        break;
    case VK_SUBTRACT:
        if (ourCellWidth > CELL_STEP)
            ourCellWidth -= CELL_STEP;
        break;
    case VK_DIVIDE:
        if (ourCellHeight > CELL_STEP)
            ourCellHeight -= CELL_STEP;
        break;
    default:
        break;
    }
    return EditorAction();
}

EditorAction SpreadSheetEditor2::OnKeyUp(int aVirtualKey)
{
    if (aVirtualKey == VK_SPACE)
    {
        ourExpandNestedFlag = !ourExpandNestedFlag;
        BuildRowsAndColumns();
    }
    return EditorAction();
}

EditorAction SpreadSheetEditor2::OnChar(int aCharacter)
{
    return EditorAction();
}

VelkType* SpreadSheetEditor2::GetSelectedInstance()
{
    return nullptr;
}

void SpreadSheetEditor2::Resize(int aWidth, int aHeight) {}

void SpreadSheetEditor2::OnTreeRefreshed()
{
    BuildRowsAndColumns();
}

bool SpreadSheetEditor2::OnInstanceRemoved(VelkType* anInstance)
{
    if (mySelection && locLiesIn(mySelection, anInstance))
        mySelection = nullptr;
    for (SpreadSheetRow& locRow : myRows)
    {
        if (locRow.myInstance && locLiesIn(locRow.myInstance, anInstance))
        {
            locRow.myInstance = nullptr;
            std::vector<SpreadSheetCell>().swap(locRow.myCells);
            continue;
        }
        // A member of the row going: its cells would point at freed objects.
        for (const SpreadSheetCell& locCell : locRow.myCells)
            if (locLiesIn(locCell.myInstance, anInstance))
            {
                std::vector<SpreadSheetCell>().swap(locRow.myCells);
                break;
            }
    }
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] drawing
// ---------------------------------------------------------------------------

void SpreadSheetEditor2::DrawCellText(const char* aText, int aCellX, int aCellY, int anAlignment)
{
    QD_Rect locRect = {aCellX, aCellY, aCellX + ourCellWidth, aCellY + ourCellHeight};
    if (anAlignment != 1)
    {
        locRect.myLeft += TEXT_INSET;
        locRect.myRight -= TEXT_INSET;
    }
    // Below the grid line at the cell's top.
    locRect.myTop += 1;
    mySmallFont->DrawTextInRect(aText, locRect, anAlignment);
}

void SpreadSheetEditor2::Draw(bool aClearFlag)
{
    myFactory->Begin();
    const int locWidth = myFactory->GetWidth();
    const int locHeight = myFactory->GetHeight();
    if (aClearFlag)
        myFactory->Clear(BACKGROUND_COLOUR);

    if (myConfirmFlag)
    {
        QD_Draw::SetColour(MESSAGE_COLOUR);
        int y = 0;
        for (const char* locLine : CONFIRM_LINES)
        {
            myLargeFont->DrawText(0, y, locLine);
            y += myLargeFont->GetHeight();
        }
    }
    else
    {
        const int locCellWidth = ourCellWidth;
        const int locCellHeight = ourCellHeight;

        QC_String locCorner;
        if (myColumnScroll != 0)
            locCorner.Format("< %d", myColumnScroll);
        if (myRowScroll != 0)
        {
            QC_String locText(locCorner);
            locCorner.Format("%s ^ %d", locText.GetBuffer(), myRowScroll);
        }
        QD_Draw::SetColour(TITLE_COLOUR);
        if (!locCorner.IsEmpty())
            DrawCellText(locCorner, 0, 0, 1);

        for (int x = 0; x < locWidth; x += locCellWidth)
            myLine->VLine(x, 0, locHeight - 1, GRID_COLOUR);
        for (int y = 0; y < locHeight; y += locCellHeight)
            myLine->HLine(0, locWidth - 1, y, GRID_COLOUR);

        // Only what is in view is visited: the frame costs the same for any row count.
        QD_Draw::SetColour(TITLE_COLOUR);
        for (int c = myColumnScroll; c < (int)myColumnTitles.size(); c++)
        {
            const int x = (c - myColumnScroll + 1) * locCellWidth;
            if (x >= locWidth)
                break;
            DrawCellText(myColumnTitles[c], x, 0, 2);
        }
        for (int r = myRowScroll; r < (int)myRows.size(); r++)
        {
            const int y = (r - myRowScroll + 1) * locCellHeight;
            if (y >= locHeight)
                break;
            const SpreadSheetRow& locRow = myRows[r];
            if (locRow.myInstance)
            {
                QD_Draw::SetColour(TITLE_COLOUR);
                DrawCellText(locRow.myInstance->GetName(), 0, y, 0);
            }
            for (int c = myColumnScroll; c < (int)locRow.myCells.size(); c++)
            {
                const int x = (c - myColumnScroll + 1) * locCellWidth;
                if (x >= locWidth)
                    break;
                const SpreadSheetCell& locCell = locRow.myCells[c];
                QD_Draw::SetColour(CELL_COLOURS[locCell.myKind]);
                DrawCellText(GetCellText(locCell), x, y, 0);
            }
        }
    }
    myFactory->End();
    myFactory->Present();
}
