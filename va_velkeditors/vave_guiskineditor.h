// The GUI skin editor: a "VAP_Skin" texture shown enlarged with every
// prefab's outer and inner rectangles, which the user defines and drags with
// the mouse; values go straight into the prefab instances.
#pragma once

#include "velkeditor/velk_editor.h"

class QD_Bitmap;
class QD_Factory;
class QD_Font;
class QD_Line;
class QDGDI_Window;

class VAVE_GuiSkinEditor : public VelkEditor
{
  public:
    enum Mode
    {
        MODE_DEFINE = 0,
        MODE_DRAG_OUTER = 1,
        MODE_DRAG_INNER = 2,
    };

    // Null when the drawing objects or the texture cannot be made. Every
    // prefab is normalised here and again when the editor goes.
    static VAVE_GuiSkinEditor* Create(VelkType* anInstance, QDGDI_Window* aWindow);
    ~VAVE_GuiSkinEditor() override;

    void SelectInstance(VelkType* anInstance) override;
    void Draw(bool aClearFlag) override;
    EditorAction OnLeftButton(int anX, int anY, bool aShiftFlag) override;
    EditorAction OnLeftButtonUp(int anX, int anY) override;
    EditorAction OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag) override
    {
        return EditorAction();
    }
    EditorAction OnRightButtonUp(int anX, int anY) override { return EditorAction(); }
    EditorAction OnKeyDown(int aVirtualKey) override;
    EditorAction OnKeyUp(int aVirtualKey) override { return EditorAction(); }
    EditorAction OnChar(int aCharacter) override { return EditorAction(); }
    VelkType* GetSelectedInstance() override { return nullptr; }
    void Resize(int aWidth, int aHeight) override {}
    bool OnInstanceRemoved(VelkType* anInstance) override;

    VelkType* GetSelectedPrefab() const { return mySelected; }
    int GetMode() const { return myMode; }

    // Process-wide view: zoom at least 1, offsets (pixels) never above 0.
    static int GetZoom() { return ourZoom; }
    static int GetOffsetX() { return ourOffsetX; }
    static int GetOffsetY() { return ourOffsetY; }
    static void SetView(int aZoom, int anOffsetX, int anOffsetY);
    // Screen point to texture pixel, truncated.
    static void ToTexture(int anX, int anY, int* aTexX, int* aTexZ);

    // Starts swapped with ends, outer rectangle within the texture, inner
    // within the outer.
    // True when it wrote a value.
    static bool Normalise(VelkType* aPrefab, int aTextureWidth, int aTextureHeight);

  private:
    explicit VAVE_GuiSkinEditor(VelkType* anInstance) : VelkEditor(anInstance) {}
    void Priv_NormaliseAll();
    void Priv_Normalise(VelkType* aPrefab);
    void Priv_Resize(int aDelta);
    void Priv_DrawPrefab(VelkType* aPrefab);

    QD_Factory* myFactory = nullptr; // owned, as the three below
    QD_Bitmap* myTexture = nullptr;
    QD_Line* myLine = nullptr;
    QD_Font* myFont = nullptr;
    VelkType* mySelected = nullptr; // not owned
    int myMode = MODE_DRAG_OUTER;
    bool myDefiningFlag = false;

    static int ourZoom;
    static int ourOffsetX;
    static int ourOffsetY;
};
