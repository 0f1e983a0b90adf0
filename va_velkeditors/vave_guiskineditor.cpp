// The GUI skin editor.
#include "va_velkeditors/vave_guiskineditor.h"

#include <new>

#include "qcommon/qc_debug.h"
#include "qdrawgdi/qdgdi.h"
#include "va_velkeditors/vave_guiskin.h"
#include "velk/velk_type.h"

int VAVE_GuiSkinEditor::ourZoom = 1;
int VAVE_GuiSkinEditor::ourOffsetX = 0;
int VAVE_GuiSkinEditor::ourOffsetY = 0;

namespace
{
const QD_Colour BACKGROUND_COLOUR = {64, 64, 64};
const QD_Colour SELECTED_COLOUR = {0, 255, 0};
const QD_Colour OTHER_COLOUR = {255, 255, 255};
const QD_Colour START_COLOUR = {0, 255, 0};
const QD_Colour END_COLOUR = {255, 0, 0};
const char* const MODE_NAMES[] = {"Define", "Drag Outer", "Drag Inner"};

enum
{
    KEY_SPACE = 32,
    KEY_LEFT = 37,
    KEY_UP = 38,
    KEY_RIGHT = 39,
    KEY_DOWN = 40,
    KEY_MULTIPLY = 106,
    KEY_ADD = 107,
    KEY_SUBTRACT = 109,
    KEY_DIVIDE = 111,
};

// The eight members of a prefab, in texture pixels.
enum
{
    START_X,
    START_Z,
    END_X,
    END_Z,
    INNER_START_X,
    INNER_START_Z,
    INNER_END_X,
    INNER_END_Z,
    NUM_VALUES
};
const char* const MEMBER_NAMES[NUM_VALUES] = {"myStart.x",    "myStart.z",      "myEnd.x",
                                              "myEnd.z",      "myInnerStart.x", "myInnerStart.z",
                                              "myInnerEnd.x", "myInnerEnd.z"};

struct PrefabValues
{
    int myValues[NUM_VALUES];
    int& operator[](int anIndex) { return myValues[anIndex]; }
};

PrefabValues locRead(VelkType* aPrefab)
{
    PrefabValues locResult;
    for (int i = 0; i < NUM_VALUES; i++)
    {
        VelkType* locMember = aPrefab->FindMember(MEMBER_NAMES[i]);
        const int locValue = locMember ? locMember->GetValueAsInt() : 0;
        // Held far from the int range: screen positions multiply by the zoom.
        locResult[i] = locValue < -VAVE_MAX_PIXELS ? -VAVE_MAX_PIXELS
                       : locValue > VAVE_MAX_PIXELS ? VAVE_MAX_PIXELS
                                                    : locValue;
    }
    return locResult;
}

// Only values that changed are written; true when one was.
bool locWrite(VelkType* aPrefab, PrefabValues& aValues)
{
    bool locWritten = false;
    for (int i = 0; i < NUM_VALUES; i++)
    {
        VelkType* locMember = aPrefab->FindMember(MEMBER_NAMES[i]);
        if (locMember && locMember->GetValueAsInt() != aValues[i] && locMember->AssignInt(aValues[i]))
            locWritten = true;
    }
    return locWritten;
}

void locOrder(int& aStart, int& anEnd)
{
    if (aStart > anEnd)
    {
        const int locTemp = aStart;
        aStart = anEnd;
        anEnd = locTemp;
    }
}

void locNormalise(PrefabValues& v, int aWidth, int aHeight)
{
    locOrder(v[START_X], v[END_X]);
    locOrder(v[START_Z], v[END_Z]);
    locOrder(v[INNER_START_X], v[INNER_END_X]);
    locOrder(v[INNER_START_Z], v[INNER_END_Z]);
    if (v[START_X] < 0 || v[START_X] > aWidth)
        v[START_X] = 0;
    if (v[END_X] < 0 || v[END_X] > aWidth)
        v[END_X] = aWidth;
    if (v[START_Z] < 0 || v[START_Z] > aHeight)
        v[START_Z] = 0;
    if (v[END_Z] < 0 || v[END_Z] > aHeight)
        v[END_Z] = aHeight;
    if (v[INNER_START_X] < v[START_X] || v[INNER_START_X] > v[END_X])
        v[INNER_START_X] = v[START_X];
    if (v[INNER_END_X] < v[START_X] || v[INNER_END_X] > v[END_X])
        v[INNER_END_X] = v[END_X];
    if (v[INNER_START_Z] < v[START_Z] || v[INNER_START_Z] > v[END_Z])
        v[INNER_START_Z] = v[START_Z];
    if (v[INNER_END_Z] < v[START_Z] || v[INNER_END_Z] > v[END_Z])
        v[INNER_END_Z] = v[END_Z];
}

// Of a start and an end, the one nearer to aValue takes it (the start on a tie).
void locDragNearer(int& aStart, int& anEnd, int aValue)
{
    const int locToStart = aValue > aStart ? aValue - aStart : aStart - aValue;
    const int locToEnd = aValue > anEnd ? aValue - anEnd : anEnd - aValue;
    (locToStart <= locToEnd ? aStart : anEnd) = aValue;
}

// Moved by aDelta, kept within aLow..aHigh.
int locWithin(int aValue, int aDelta, int aLow, int aHigh)
{
    const int locValue = aValue + aDelta;
    return locValue < aLow ? aLow : locValue > aHigh ? aHigh : locValue;
}

QC_List<VelkType*>* locPrefabs(VelkType* aSkin)
{
    VelkType* locList = aSkin->FindMember("myPrefabs");
    return locList ? &locList->GetMembers() : nullptr;
}
} // namespace

VAVE_GuiSkinEditor* VAVE_GuiSkinEditor::Create(VelkType* anInstance, QDGDI_Window* aWindow)
{
    if (!anInstance || !aWindow)
        return nullptr;
    VAVE_GuiSkinEditor* locEditor = new (std::nothrow) VAVE_GuiSkinEditor(anInstance);
    if (!locEditor)
        return nullptr;
    QD_Factory* locFactory = locEditor->myFactory = QDGDI_Factory::Create(aWindow);
    if (locFactory)
    {
        VelkType* locEditorFile = anInstance->FindMember("myEditorFileName");
        if (locEditorFile)
            locEditor->myTexture = locFactory->CreateBitmap(locEditorFile->GetValue().GetBuffer());
        VelkType* locFile = anInstance->FindMember("myFileName");
        if (!locEditor->myTexture && locFile)
            locEditor->myTexture = locFactory->CreateBitmap(locFile->GetValue().GetBuffer());
        locEditor->myLine = locFactory->CreateLine();
        locEditor->myFont = locFactory->CreateFont("verdana", 12);
    }
    if (!locEditor->myTexture || !locEditor->myLine || !locEditor->myFont)
    {
        QC_Debug::Printf("VAVE_GuiSkinEditor::Create(): failed to make the texture or the drawing objects");
        delete locEditor;
        return nullptr;
    }
    QD_Draw::SetColour(QD_Colour{255, 255, 255});
    locEditor->Priv_NormaliseAll();
    return locEditor;
}

VAVE_GuiSkinEditor::~VAVE_GuiSkinEditor()
{
    if (myTexture)
        Priv_NormaliseAll();
    delete myFont;
    delete myLine;
    delete myTexture;
    delete myFactory;
}

void VAVE_GuiSkinEditor::SetView(int aZoom, int anOffsetX, int anOffsetY)
{
    ourZoom = aZoom < 1 ? 1 : aZoom;
    ourOffsetX = anOffsetX > 0 ? 0 : anOffsetX;
    ourOffsetY = anOffsetY > 0 ? 0 : anOffsetY;
}

void VAVE_GuiSkinEditor::ToTexture(int anX, int anY, int* aTexX, int* aTexZ)
{
    *aTexX = (anX - ourOffsetX) / ourZoom;
    *aTexZ = (anY - ourOffsetY) / ourZoom;
}

bool VAVE_GuiSkinEditor::Normalise(VelkType* aPrefab, int aTextureWidth, int aTextureHeight)
{
    PrefabValues locValues = locRead(aPrefab);
    locNormalise(locValues, aTextureWidth, aTextureHeight);
    return locWrite(aPrefab, locValues);
}

void VAVE_GuiSkinEditor::Priv_Normalise(VelkType* aPrefab)
{
    if (Normalise(aPrefab, myTexture->GetWidth(), myTexture->GetHeight()))
        MarkChanged();
}

void VAVE_GuiSkinEditor::Priv_NormaliseAll()
{
    if (QC_List<VelkType*>* locList = locPrefabs(myInstance))
        for (auto* locLink = locList->myFirstLink; locLink; locLink = locLink->myNext)
            if (locLink->myItem->GetTypeName() == "VAP_Prefab")
                Priv_Normalise(locLink->myItem);
}

void VAVE_GuiSkinEditor::SelectInstance(VelkType* anInstance)
{
    if (!anInstance)
        return;
    if (anInstance->GetTypeName() == "VAP_Prefab")
    {
        QC_Debug::Printf("VAVE_GuiSkinEditor::SelectInstance(): selecting current prefab");
        mySelected = anInstance;
        myDefiningFlag = false;
    }
    else
        QC_Debug::Printf("VAVE_GuiSkinEditor::SelectInstance(): ignoring instance of type '%s'",
                         anInstance->GetTypeName().GetBuffer());
}

EditorAction VAVE_GuiSkinEditor::OnLeftButton(int anX, int anY, bool aShiftFlag)
{
    if (!mySelected)
        return EditorAction();
    int locX, locZ;
    ToTexture(anX, anY, &locX, &locZ);
    PrefabValues v = locRead(mySelected);
    switch (myMode)
    {
        case MODE_DEFINE:
            if (!myDefiningFlag)
            {
                v[START_X] = locX;
                v[START_Z] = locZ;
                myDefiningFlag = true;
            }
            v[END_X] = locX;
            v[END_Z] = locZ;
            break;
        case MODE_DRAG_OUTER:
            locDragNearer(v[START_X], v[END_X], locX);
            locDragNearer(v[START_Z], v[END_Z], locZ);
            break;
        default:
            locDragNearer(v[INNER_START_X], v[INNER_END_X], locX);
            locDragNearer(v[INNER_START_Z], v[INNER_END_Z], locZ);
            break;
    }
    locNormalise(v, myTexture->GetWidth(), myTexture->GetHeight());
    if (locWrite(mySelected, v))
        MarkChanged();
    return EditorAction();
}

EditorAction VAVE_GuiSkinEditor::OnLeftButtonUp(int anX, int anY)
{
    myDefiningFlag = false;
    return EditorAction();
}

void VAVE_GuiSkinEditor::Priv_Resize(int aDelta)
{
    if (!mySelected)
        return;
    PrefabValues v = locRead(mySelected);
    v[INNER_START_X] = locWithin(v[INNER_START_X], -aDelta, v[START_X], v[END_X]);
    v[INNER_START_Z] = locWithin(v[INNER_START_Z], -aDelta, v[START_Z], v[END_Z]);
    v[INNER_END_X] = locWithin(v[INNER_END_X], aDelta, v[START_X], v[END_X]);
    v[INNER_END_Z] = locWithin(v[INNER_END_Z], aDelta, v[START_Z], v[END_Z]);
    locNormalise(v, myTexture->GetWidth(), myTexture->GetHeight());
    if (locWrite(mySelected, v))
        MarkChanged();
}

EditorAction VAVE_GuiSkinEditor::OnKeyDown(int aVirtualKey)
{
    const int locStep = ourZoom * 16;
    switch (aVirtualKey)
    {
        case KEY_SPACE:
            myMode = (myMode + 1) % 3;
            myDefiningFlag = false;
            break;
        case KEY_LEFT:
            SetView(ourZoom, ourOffsetX + locStep, ourOffsetY);
            break;
        case KEY_UP:
            SetView(ourZoom, ourOffsetX, ourOffsetY + locStep);
            break;
        case KEY_RIGHT:
            SetView(ourZoom, ourOffsetX - locStep, ourOffsetY);
            break;
        case KEY_DOWN:
            SetView(ourZoom, ourOffsetX, ourOffsetY - locStep);
            break;
        case KEY_ADD:
            ourZoom++;
            break;
        case KEY_SUBTRACT:
            if (ourZoom >= 2)
                ourZoom--;
            break;
        case KEY_DIVIDE:
            Priv_Resize(1);
            break;
        case KEY_MULTIPLY:
            Priv_Resize(-1);
            break;
        default:
            break;
    }
    return EditorAction();
}

bool VAVE_GuiSkinEditor::OnInstanceRemoved(VelkType* anInstance)
{
    if (mySelected == anInstance || IsRemovedBy(mySelected, anInstance))
    {
        mySelected = nullptr;
        myDefiningFlag = false;
    }
    return true;
}

void VAVE_GuiSkinEditor::Priv_DrawPrefab(VelkType* aPrefab)
{
    PrefabValues v = locRead(aPrefab);
    const QD_Colour& locColour = aPrefab == mySelected ? SELECTED_COLOUR : OTHER_COLOUR;
    auto locX = [](int aTexX) { return ourOffsetX + aTexX * ourZoom; };
    auto locY = [](int aTexZ) { return ourOffsetY + aTexZ * ourZoom; };
    for (int locFirst : {START_X, INNER_START_X})
    {
        const int x0 = locX(v[locFirst]), y0 = locY(v[locFirst + 1]);
        const int x1 = locX(v[locFirst + 2]), y1 = locY(v[locFirst + 3]);
        myLine->Line(x0, y0, x1, y0, locColour);
        myLine->Line(x1, y0, x1, y1, locColour);
        myLine->Line(x1, y1, x0, y1, locColour);
        myLine->Line(x0, y1, x0, y0, locColour);
        myLine->Circle({x0, y0}, 4, START_COLOUR);
        myLine->Circle({x1, y1}, 4, END_COLOUR);
    }
    myFont->DrawText(locX(v[START_X]), locY(v[START_Z]), aPrefab->GetName().GetBuffer());
}

void VAVE_GuiSkinEditor::Draw(bool aClearFlag)
{
    myFactory->Begin();
    const int locWidth = myTexture->GetWidth() * ourZoom, locHeight = myTexture->GetHeight() * ourZoom;
    if (aClearFlag &&
        (ourOffsetX + locWidth < myFactory->GetWidth() || ourOffsetY + locHeight < myFactory->GetHeight()))
        myFactory->Clear(BACKGROUND_COLOUR);
    if (ourZoom == 1)
        myTexture->Blit(ourOffsetX, ourOffsetY, 0, 0, 0, 0);
    else
        myTexture->BlitStretch(ourOffsetX, ourOffsetY, locWidth, locHeight, 0, 0, 0, 0);
    if (QC_List<VelkType*>* locList = locPrefabs(myInstance))
        for (auto* locLink = locList->myFirstLink; locLink; locLink = locLink->myNext)
            if (locLink->myItem->GetTypeName() == "VAP_Prefab")
                Priv_DrawPrefab(locLink->myItem);
    myFont->DrawText(0, 0, MODE_NAMES[myMode]);
    myFactory->End();
    myFactory->Present();
}
