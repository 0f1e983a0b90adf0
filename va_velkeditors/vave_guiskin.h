// A GUI skin as the layout editor draws it: one texture cut into nine-part
// prefabs, and the skin's fonts, read from the compiled skin file.
#pragma once

#include <cstdint>

#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

// Largest texture coordinate taken from a skin, either way; larger values are held there.
constexpr int VAVE_MAX_PIXELS = 1 << 20;

class QD_Bitmap;
class QD_Factory;
class QD_Font;
class Tez;

// Texture pixels; outer start/end and inner start/end, x across and z down.
class VAVE_GuiPrefab
{
  public:
    uint32_t myId = 0; // TezHash of the prefab's name
    int myStartX = 0, myStartZ = 0, myEndX = 0, myEndZ = 0;
    int myInnerStartX = 0, myInnerStartZ = 0, myInnerEndX = 0, myInnerEndZ = 0;

    int GetWidth() const { return myEndX - myStartX; }
    int GetHeight() const { return myEndZ - myStartZ; }

    // The nine parts into the screen rectangle (pixels): corners at their own
    // size, edges and centre stretched. Parts of no positive size are skipped
    // and every source rectangle is cut to the texture, so a widget smaller
    // than the borders or an inner rectangle outside the outer one never
    // draws mirrored or reads beside the picture.
    void Draw(QD_Bitmap* aTexture, int x, int y, int w, int h) const;
};

class VAVE_GuiFont
{
  public:
    VAVE_GuiFont() = default;
    ~VAVE_GuiFont();
    VAVE_GuiFont(const VAVE_GuiFont&) = delete;
    VAVE_GuiFont& operator=(const VAVE_GuiFont&) = delete;

    uint32_t myId = 0;         // TezHash of the font's name
    int mySize = 0;            // "mySize" as stored
    QD_Font* myFont = nullptr; // owned
};

class VAVE_GuiSkin
{
  public:
    // Reads skin aSkinName of the compiled skin file aFileName (a ".tez" name,
    // converted from its ".velk" first when that is missing or stale). Null,
    // with a debug text, when a member, the texture or a font is missing.
    static VAVE_GuiSkin* Load(QD_Factory* aFactory, const char* aFileName, const char* aSkinName);
    ~VAVE_GuiSkin();
    VAVE_GuiSkin(const VAVE_GuiSkin&) = delete;
    VAVE_GuiSkin& operator=(const VAVE_GuiSkin&) = delete;

    bool Is(const char* aFileName, const char* aSkinName) const;
    // By the hash of the name asked for; null when the skin has none.
    const VAVE_GuiPrefab* FindPrefab(const char* aName) const;
    QD_Font* FindFont(const char* aName) const;
    QD_Bitmap* GetTexture() const { return myTexture; }

    // "mySize" to the drawing height (truncated); 0 is the drawing layer's default.
    static int FontHeight(int aSize);

  private:
    VAVE_GuiSkin() = default;
    bool Priv_Read(QD_Factory* aFactory, Tez* aSkin);

    QC_String myFileName;
    QC_String mySkinName;
    QD_Bitmap* myTexture = nullptr; // owned
    QC_List<VAVE_GuiPrefab*> myPrefabs;
    QC_List<VAVE_GuiFont*> myFonts;
};
