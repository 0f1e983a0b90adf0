// The process-wide drawing state and the clipped blit of the drawing interface.
#include "qdrawgdi/qd_draw.h"

#include <algorithm>

QD_Colour QD_Draw::ourColour = {0, 0, 0};
uint8_t QD_Draw::ourAlpha = 255;
bool QD_Draw::ourTransparentFlag = false;
QD_Colour QD_Draw::ourKeyColour = {0, 0, 0};
QD_Colour QD_Draw::ourSecondColour = {0, 0, 0};
uint8_t QD_Draw::ourSecondAlpha = 255;

uint8_t QD_Draw::ToByte(float aValue)
{
    if (!(aValue > 0.0f))
        return 0;
    if (aValue >= 1.0f)
        return 255;
    return (uint8_t)(aValue * 255.0f);
}

void QD_Draw::SetColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue)
{
    ourColour = {aRed, aGreen, aBlue};
}

void QD_Draw::SetColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue, uint8_t anAlpha)
{
    ourColour = {aRed, aGreen, aBlue};
    ourAlpha = anAlpha;
}

void QD_Draw::SetColour(const QD_Colour& aColour)
{
    ourColour = aColour;
}

void QD_Draw::SetColour(float aRed, float aGreen, float aBlue)
{
    SetColour(ToByte(aRed), ToByte(aGreen), ToByte(aBlue));
}

void QD_Draw::SetColour(float aRed, float aGreen, float aBlue, float anAlpha)
{
    SetColour(ToByte(aRed), ToByte(aGreen), ToByte(aBlue), ToByte(anAlpha));
}

void QD_Draw::SetKeyColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue)
{
    ourKeyColour = {aRed, aGreen, aBlue};
}

void QD_Draw::SetKeyColour(float aRed, float aGreen, float aBlue)
{
    SetKeyColour(ToByte(aRed), ToByte(aGreen), ToByte(aBlue));
}

void QD_Draw::SetSecondColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue)
{
    ourSecondColour = {aRed, aGreen, aBlue};
}

void QD_Draw::SetSecondColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue, uint8_t anAlpha)
{
    ourSecondColour = {aRed, aGreen, aBlue};
    ourSecondAlpha = anAlpha;
}

void QD_Draw::SetSecondColour(float aRed, float aGreen, float aBlue)
{
    SetSecondColour(ToByte(aRed), ToByte(aGreen), ToByte(aBlue));
}

void QD_Draw::SetSecondColour(float aRed, float aGreen, float aBlue, float anAlpha)
{
    SetSecondColour(ToByte(aRed), ToByte(aGreen), ToByte(aBlue), ToByte(anAlpha));
}

bool QD_Bitmap::BlitClipped(int x, int y, const QD_Rect& aClip)
{
    int64_t locX = x, locY = y, locW = GetWidth(), locH = GetHeight();
    int64_t locSrcX = 0, locSrcY = 0;
    if (locX < aClip.myLeft)
    {
        const int64_t locCut = aClip.myLeft - locX;
        locSrcX += locCut, locW -= locCut, locX = aClip.myLeft;
    }
    if (locY < aClip.myTop)
    {
        const int64_t locCut = aClip.myTop - locY;
        locSrcY += locCut, locH -= locCut, locY = aClip.myTop;
    }
    locW = std::min<int64_t>(locW, aClip.myRight - locX);
    locH = std::min<int64_t>(locH, aClip.myBottom - locY);
    if (locW <= 0 || locH <= 0)
        return false;
    return Blit((int)locX, (int)locY, (int)locW, (int)locH, (int)locSrcX, (int)locSrcY);
}
