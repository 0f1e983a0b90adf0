// One cell of the model browser's grid: a scene and a view of its own, showing a placed
// object or a bitmap borrowed from an entry, and a label below the view.
#pragma once

#include "qcommon/qc_string.h"

class QR_Bitmap;
class QR_MainObject;
class QR_Scene;
class QR_View;
struct QR_FontText;
struct QR_Rect;

class ViewerCell
{
public:
    ViewerCell();
    ~ViewerCell();
    ViewerCell(const ViewerCell&) = delete;
    ViewerCell& operator=(const ViewerCell&) = delete;

    bool CreateView();
    bool SetModel(QR_MainObject* anObject);
    // aName: the texture's file name, for the label.
    void SetBitmap(QR_Bitmap* aBitmap, const char* aName);
    void Clear();
    void SetRect(int anX, int aY, int aWidth, int aHeight);
    void Render(float aZoom, float anAngle1, float anAngle2);
    // The label line below the view, in the colour of the cell's kind, cut to the strip below
    // the view (aClip, which the text points to); false without one.
    bool GetLabel(QR_FontText* aText, QR_Rect* aClip) const;

    QR_Scene* myScene;          // owned
    QR_View* myView;            // owned
    QR_MainObject* myObject;    // borrowed
    QR_Bitmap* myBitmap;        // borrowed
    QC_String myLabel;
};

// The file part of a path with a four-character extension (".xyz") removed.
QC_String ViewerLabelFromPath(const char* aPath);
