// Bitmap fonts: the input is a byte n, n bytes of description file, then the glyph image
// (TGA). A font that loads draws its description as text, clipped and not, alone and as
// lines drawn together, measures it and copies it into an image wide and high enough for it.
#include <cstdint>
#include <vector>

#include "fuzz_render.h"
#include "fuzz_util.h"
#include "qrender/qr_font.h"
#include "qrender/qr_render.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QR_Render* locRender = FuzzRenderer();
    if (aSize < 1)
        return 0;
    size_t n = aData[0] < aSize - 1 ? aData[0] : aSize - 1;
    FuzzScratch::Write("g.txt", aData + 1, n);
    FuzzScratch::Write("g.tga", aData + 1 + n, aSize - 1 - n);
    FuzzScratch::Inside locInside;
    QR_Font* locFont = QR_Font::Acquire("g", "g");
    if (!locFont)
        return 0;
    std::string locText((const char*)aData + 1, n);
    locText = locText.substr(0, locText.find('\0'));
    locRender->BeginFrame();
    QR_Font::DrawText(locFont, 3, 4, 1.5f, 0.5f, locText.c_str());
    QR_Rect locClip = {2, 1, 40, 30};
    QR_Font::DrawTextClipped(locFont, -5, 0, 2.0f, 1.0f, &locClip, locText.c_str());
    const QR_FontText locLines[] = {{0, 0, 0xFFFFFFFF, locText.c_str(), &locClip},
                                    {-7, 9, 0xFFFFFF00, locText.c_str()}};
    QR_Font::DrawTexts(locFont, locLines, 2);
    locRender->EndFrame();
    int32_t w = QR_Font::GetTextWidth(locFont, locText.c_str()) + 1;
    if (w > 0 && w < 100000 && locFont->myHeight > 0)
    {
        std::vector<uint32_t> locImage((size_t)w * locFont->myHeight);
        QR_Font::RenderToImage32(locText.c_str(), locFont, 0, 0, locImage.data(), w);
    }
    QR_Font::Release(locFont);
    return 0;
}
