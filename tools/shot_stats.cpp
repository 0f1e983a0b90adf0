// Pixel statistics of a screenshot: shot_stats PNG [X0 Y0 X1 Y1], the region in
// per cent of the width and height (the whole picture by default). Prints the
// share of the region's pixels, in per cent, that differ from its most common
// colour ("ink"), and the number of distinct colours. Exit 1 if unreadable.
#include "platform/os/os_cmdline.h"

#include <QImage>

#include <stdio.h>
#include <stdlib.h>

#include <unordered_map>

static const OS_CommandLine ourLine = {
    "shot_stats",
    "usage: shot_stats PNG [X0 Y0 X1 Y1]\n"
    "Prints the per cent of the pixels of the region (in per cent of the\n"
    "picture's size) that differ from its most common colour, and the number\n"
    "of distinct colours.\n"
    "  -h, --help  this text\n",
    nullptr, 0, false};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if ((argc != 2 && argc != 6) || locArguments.myOperands.size() != size_t(argc - 1))
        return OS_RefuseCommandLine(ourLine, "a picture and at most one region");
    QImage locImage(QString::fromLocal8Bit(argv[1]));
    if (locImage.isNull())
    {
        fprintf(stderr, "shot_stats: cannot read %s\n", argv[1]);
        return 1;
    }
    locImage = locImage.convertToFormat(QImage::Format_RGB32);
    int locBox[4] = {0, 0, 100, 100};
    if (argc == 6)
        for (int i = 0; i < 4; i++)
            locBox[i] = atoi(argv[2 + i]);
    int x0 = locImage.width() * locBox[0] / 100, y0 = locImage.height() * locBox[1] / 100;
    int x1 = locImage.width() * locBox[2] / 100, y1 = locImage.height() * locBox[3] / 100;
    std::unordered_map<uint32_t, long> locCounts;
    long locTotal = 0;
    for (int y = y0; y < y1; y++)
    {
        const QRgb* locLine = reinterpret_cast<const QRgb*>(locImage.constScanLine(y));
        for (int x = x0; x < x1; x++, locTotal++)
            locCounts[locLine[x]]++;
    }
    long locMost = 0;
    for (const auto& c : locCounts)
        if (c.second > locMost)
            locMost = c.second;
    double locInk = locTotal ? 100.0 * (double)(locTotal - locMost) / (double)locTotal : 0.0;
    printf("%.2f %zu\n", locInk, locCounts.size());
    return 0;
}
