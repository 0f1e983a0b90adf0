// Makes a bitmap font's two files from a system font: qfontstrip FAMILY PIXELS OUT.
// OUT.tga is a 32-bit strip with alpha, one glyph after another with one fully transparent
// column between them; OUT.txt is the line naming the glyphs in order. Every column inside a
// glyph's advance carries a faint baseline pixel so that glyphs with gaps stay one glyph.
#include "platform/os/os_cmdline.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

static bool locWrite(const std::string& aName, const std::vector<uint8_t>& aBytes)
{
    FILE* f = fopen(aName.c_str(), "wb");
    if (!f)
        return false;
    bool locOk = fwrite(aBytes.data(), 1, aBytes.size(), f) == aBytes.size();
    return fclose(f) == 0 && locOk;
}

static const OS_CommandLine ourLine = {
    "qfontstrip",
    "usage: qfontstrip FAMILY PIXELS OUT\n"
    "Draws printable ASCII in the system font FAMILY, PIXELS high (4 to 200),\n"
    "as a bitmap font's strip OUT.tga and its description OUT.txt.\n"
    "  -h, --help  this text\n",
    nullptr, 0, false};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (argc != 4 || locArguments.myOperands.size() != 3 || atoi(argv[2]) < 4 || atoi(argv[2]) > 200)
        return OS_RefuseCommandLine(ourLine, "a family, a pixel height from 4 to 200 and an output name");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication locApp(argc, argv);
    QFont locFont(QString::fromUtf8(argv[1]));
    locFont.setPixelSize(atoi(argv[2]));
    locFont.setStyleStrategy(QFont::NoAntialias);
    QFontMetrics locMetrics(locFont);
    // Printable ASCII with the space inside, so that the line neither starts nor ends with it.
    std::string locLine;
    for (int c = 33; c < 127; c++)
    {
        locLine += (char)c;
        if (c == '0')
            locLine += ' ';
    }
    const int H = locMetrics.height(), locBase = locMetrics.ascent();
    std::vector<int> locWidths;
    int W = 0;
    for (char c : locLine)
    {
        int w = std::max(1, locMetrics.horizontalAdvance(QChar(c)));
        locWidths.push_back(w);
        W += w + 1;
    }
    QImage locStrip(W, H, QImage::Format_ARGB32);
    locStrip.fill(0);
    int x = 0;
    for (size_t i = 0; i < locLine.size(); i++)
    {
        const int w = locWidths[i];
        QImage locGlyph(w, H, QImage::Format_ARGB32);
        locGlyph.fill(0);
        {
            QPainter p(&locGlyph);
            p.setFont(locFont);
            p.setPen(Qt::white);
            p.drawText(0, locBase, QString(QChar(locLine[i])));
        }
        for (int gx = 0; gx < w; gx++)
        {
            for (int y = 0; y < H; y++)
                locStrip.setPixel(x + gx, y, locGlyph.pixel(gx, y));
            QRgb b = locStrip.pixel(x + gx, H - 1);
            if (qAlpha(b) == 0)
                locStrip.setPixel(x + gx, H - 1, qRgba(255, 255, 255, 1));
        }
        x += w + 1;
    }
    std::vector<uint8_t> locTga(18, 0);
    locTga[2] = 2;
    locTga[12] = (uint8_t)W, locTga[13] = (uint8_t)(W >> 8);
    locTga[14] = (uint8_t)H, locTga[15] = (uint8_t)(H >> 8);
    locTga[16] = 32;
    locTga[17] = 0x28; // eight alpha bits, top row first
    for (int y = 0; y < H; y++)
        for (int sx = 0; sx < W; sx++)
        {
            QRgb p = locStrip.pixel(sx, y);
            locTga.insert(locTga.end(), {(uint8_t)qBlue(p), (uint8_t)qGreen(p), (uint8_t)qRed(p), (uint8_t)qAlpha(p)});
        }
    std::string locOut = argv[3];
    if (!locWrite(locOut + ".tga", locTga) ||
        !locWrite(locOut + ".txt", std::vector<uint8_t>(locLine.begin(), locLine.end())))
    {
        fprintf(stderr, "qfontstrip: cannot write %s.tga/.txt\n", argv[3]);
        return 1;
    }
    return 0;
}
