// Skins, prefabs and fonts of the GUI layout editor.
#include "va_velkeditors/vave_guiskin.h"

#include <cstring>
#include <memory>
#include <new>

#include "qcommon/qc_debug.h"
#include "qdrawgdi/qd_draw.h"
#include "tez/tez.h"
#include "tez/tez_hash.h"

namespace
{
// One part of a prefab: the source rectangle (texture pixels) cut to the
// texture, the destination shrunk in proportion; nothing for an empty part.
void locDrawPart(QD_Bitmap* aTexture, int aTexW, int aTexH, int dx, int dy, int dw, int dh, int sx, int sy,
                 int sw, int sh)
{
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    const int locLeft = sx < 0 ? 0 : sx;
    const int locTop = sy < 0 ? 0 : sy;
    const int locRight = sx + sw > aTexW ? aTexW : sx + sw;
    const int locBottom = sy + sh > aTexH ? aTexH : sy + sh;
    if (locRight <= locLeft || locBottom <= locTop)
        return;
    // Map the cut source edges back onto the destination (64-bit: sizes come from the data).
    const int locX0 = dx + (int)((int64_t)(locLeft - sx) * dw / sw);
    const int locX1 = dx + (int)((int64_t)(locRight - sx) * dw / sw);
    const int locY0 = dy + (int)((int64_t)(locTop - sy) * dh / sh);
    const int locY1 = dy + (int)((int64_t)(locBottom - sy) * dh / sh);
    if (locX1 <= locX0 || locY1 <= locY0)
        return;
    const int locSrcW = locRight - locLeft, locSrcH = locBottom - locTop;
    if (locX1 - locX0 == locSrcW && locY1 - locY0 == locSrcH)
        aTexture->Blit(locX0, locY0, locSrcW, locSrcH, locLeft, locTop);
    else
        aTexture->BlitStretch(locX0, locY0, locX1 - locX0, locY1 - locY0, locLeft, locTop, locSrcW, locSrcH);
}

// A member of a prefab as a number; false when it is missing.
bool locReadInt(Tez* aNode, const char* aPath, int* aValue)
{
    Tez* locMember = aNode->GetMember(aPath);
    if (!locMember || !locMember->GetValue())
        return false;
    // Texture pixels; held far from the int range so the nine parts' sums cannot overflow.
    const int locValue = locMember->GetValueAsInt();
    *aValue = locValue < -VAVE_MAX_PIXELS ? -VAVE_MAX_PIXELS : locValue > VAVE_MAX_PIXELS ? VAVE_MAX_PIXELS : locValue;
    return true;
}
} // namespace

void VAVE_GuiPrefab::Draw(QD_Bitmap* aTexture, int x, int y, int w, int h) const
{
    if (!aTexture)
        return;
    const int locTexW = aTexture->GetWidth(), locTexH = aTexture->GetHeight();
    const int L = myInnerStartX - myStartX, T = myInnerStartZ - myStartZ;
    const int R = myEndX - myInnerEndX, B = myEndZ - myInnerEndZ;
    const int locInnerW = myInnerEndX - myInnerStartX, locInnerH = myInnerEndZ - myInnerStartZ;
    const int locMidW = w - L - R, locMidH = h - T - B;
    const int locRightX = x + w - R, locBottomY = y + h - B;
    // Corners at their own size.
    locDrawPart(aTexture, locTexW, locTexH, x, y, L, T, myStartX, myStartZ, L, T);
    locDrawPart(aTexture, locTexW, locTexH, locRightX, y, R, T, myInnerEndX, myStartZ, R, T);
    locDrawPart(aTexture, locTexW, locTexH, x, locBottomY, L, B, myStartX, myInnerEndZ, L, B);
    locDrawPart(aTexture, locTexW, locTexH, locRightX, locBottomY, R, B, myInnerEndX, myInnerEndZ, R, B);
    // Edges stretched along, centre both ways.
    locDrawPart(aTexture, locTexW, locTexH, x + L, y, locMidW, T, myInnerStartX, myStartZ, locInnerW, T);
    locDrawPart(aTexture, locTexW, locTexH, x + L, locBottomY, locMidW, B, myInnerStartX, myInnerEndZ,
                locInnerW, B);
    locDrawPart(aTexture, locTexW, locTexH, x, y + T, L, locMidH, myStartX, myInnerStartZ, L, locInnerH);
    locDrawPart(aTexture, locTexW, locTexH, locRightX, y + T, R, locMidH, myInnerEndX, myInnerStartZ, R,
                locInnerH);
    locDrawPart(aTexture, locTexW, locTexH, x + L, y + T, locMidW, locMidH, myInnerStartX, myInnerStartZ,
                locInnerW, locInnerH);
}

VAVE_GuiFont::~VAVE_GuiFont()
{
    delete myFont;
}

VAVE_GuiSkin::~VAVE_GuiSkin()
{
    delete myTexture;
    myPrefabs.DeleteAll();
    myFonts.DeleteAll();
}

int VAVE_GuiSkin::FontHeight(int aSize)
{
    return (int)(aSize * 0.00008333333);
}

VAVE_GuiSkin* VAVE_GuiSkin::Load(QD_Factory* aFactory, const char* aFileName, const char* aSkinName)
{
    std::unique_ptr<Tez> locRoot(Tez::Load(aFileName, true));
    if (!locRoot)
    {
        QC_Debug::Printf("VAVE_GuiSkin::Load(): failed to read skin file '%s'", aFileName);
        return nullptr;
    }
    Tez* locFile = locRoot->GetMember("mySkinFile");
    Tez* locSkins = locFile ? locFile->GetMember("mySkins") : nullptr;
    Tez* locSkin = locSkins ? locSkins->GetMember(aSkinName) : nullptr;
    if (!locSkin)
    {
        QC_Debug::Printf("VAVE_GuiSkin::Load(): no skin '%s' in '%s'", aSkinName, aFileName);
        return nullptr;
    }
    std::unique_ptr<VAVE_GuiSkin> locResult(new (std::nothrow) VAVE_GuiSkin);
    if (!locResult)
        return nullptr;
    locResult->myFileName = aFileName;
    locResult->mySkinName = aSkinName;
    if (!locResult->Priv_Read(aFactory, locSkin))
    {
        QC_Debug::Printf("VAVE_GuiSkin::Load(): failed to load skin '%s' of '%s'", aSkinName, aFileName);
        return nullptr;
    }
    QD_Draw::SetColour(QD_Colour{255, 255, 255});
    return locResult.release();
}

bool VAVE_GuiSkin::Priv_Read(QD_Factory* aFactory, Tez* aSkin)
{
    const char* locEditorFile = aSkin->GetMemberValue("myEditorFileName");
    if (locEditorFile)
        myTexture = aFactory->CreateBitmap(locEditorFile);
    if (!myTexture)
    {
        const char* locFile = aSkin->GetMemberValue("myFileName");
        if (locFile)
            myTexture = aFactory->CreateBitmap(locFile);
    }
    if (!myTexture)
        return false;

    Tez* locPrefabs = aSkin->GetMember("myPrefabs");
    if (!locPrefabs)
        return false;
    for (int i = 0; i < locPrefabs->GetNumMembers(); i++)
    {
        Tez* locNode = locPrefabs->GetMemberByIndex(i);
        VAVE_GuiPrefab* locPrefab = new (std::nothrow) VAVE_GuiPrefab;
        if (!locPrefab || !myPrefabs.Add(locPrefab))
        {
            delete locPrefab;
            return false;
        }
        locPrefab->myId = locNode->GetNameHash();
        if (!locReadInt(locNode, "myStart.x", &locPrefab->myStartX) ||
            !locReadInt(locNode, "myStart.z", &locPrefab->myStartZ) ||
            !locReadInt(locNode, "myEnd.x", &locPrefab->myEndX) ||
            !locReadInt(locNode, "myEnd.z", &locPrefab->myEndZ) ||
            !locReadInt(locNode, "myInnerStart.x", &locPrefab->myInnerStartX) ||
            !locReadInt(locNode, "myInnerStart.z", &locPrefab->myInnerStartZ) ||
            !locReadInt(locNode, "myInnerEnd.x", &locPrefab->myInnerEndX) ||
            !locReadInt(locNode, "myInnerEnd.z", &locPrefab->myInnerEndZ))
            return false;
    }

    Tez* locFonts = aSkin->GetMember("myFonts");
    if (!locFonts)
        return false;
    for (int i = 0; i < locFonts->GetNumMembers(); i++)
    {
        Tez* locNode = locFonts->GetMemberByIndex(i);
        VAVE_GuiFont* locFont = new (std::nothrow) VAVE_GuiFont;
        if (!locFont || !myFonts.Add(locFont))
        {
            delete locFont;
            return false;
        }
        locFont->myId = locNode->GetNameHash();
        const char* locFace = locNode->GetMemberValue("myFont");
        if (!locFace || !locReadInt(locNode, "mySize", &locFont->mySize))
            return false;
        locFont->myFont = aFactory->CreateFont(locFace, FontHeight(locFont->mySize));
        if (!locFont->myFont)
            return false;
    }
    return true;
}

bool VAVE_GuiSkin::Is(const char* aFileName, const char* aSkinName) const
{
    return myFileName == aFileName && mySkinName == aSkinName;
}

const VAVE_GuiPrefab* VAVE_GuiSkin::FindPrefab(const char* aName) const
{
    const uint32_t locId = TezHash(aName);
    for (auto* locLink = myPrefabs.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->myId == locId)
            return locLink->myItem;
    return nullptr;
}

QD_Font* VAVE_GuiSkin::FindFont(const char* aName) const
{
    const uint32_t locId = TezHash(aName);
    for (auto* locLink = myFonts.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->myId == locId)
            return locLink->myItem->myFont;
    return nullptr;
}
