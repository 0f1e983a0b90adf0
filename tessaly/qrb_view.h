// One cell of the model browser's grid: a scene and a view of its own, showing a placed
// object or a bitmap borrowed from an entry, and a label below the view.
#pragma once

#include <string>
#include <vector>

#include "qcommon/qc_string.h"

class QR_Bitmap;
class QR_Font;
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
    // The label broken into lines that fit the view's width (ViewerWrapLabel), the last one
    // below the view and the others above it, over the empty view: for a failure's text.
    void WrapLabel(QR_Font* aFont);
    // The label's lines (at most VIEWER_LABEL_LINES) in the colour of the cell's kind, cut to
    // the view's width and the strip below it (aClip, which the texts point to); 0 without one.
    int GetLabel(QR_FontText* someTexts, QR_Rect* aClip) const;

    QR_Scene* myScene;          // owned
    QR_View* myView;            // owned
    QR_MainObject* myObject;    // borrowed
    QR_Bitmap* myBitmap;        // borrowed
    QC_String myLabel;
    std::vector<std::string> myLabelLines; // empty: myLabel on one line
    int myLineHeight;
};

constexpr int VIEWER_LABEL_LINES = 3;

// The file part of a path with a four-character extension (".xyz") removed.
QC_String ViewerLabelFromPath(const char* aPath);

// aText broken at blanks into the fewest lines of at most aWidth pixels in aFont, as even
// as they go; a word wider than a line gives way in its middle ("..."). Past aMaxLines the
// first lines go together on the first, shortened the same way.
std::vector<std::string> ViewerWrapLabel(QR_Font* aFont, const char* aText, int aWidth, int aMaxLines);
