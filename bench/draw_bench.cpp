// Drawing figures: the spreadsheet editor over a script class of many held
// instances in a 1280 x 1024 pane, frames of draw and present while scrolling
// by keys, beside the same texts and lines drawn with QPainter straight into a
// QImage in the same run. A second, smaller sheet shows that rows out of view
// cost nothing.
//   draw_bench [--rows N] [--frames N]
#include "bench/bench_args.h"
#include "bench/draw_bench_gui.h"
#include "bench/draw_bench_pane.h"
#include "qdrawgdi/qdgdi.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/spreadsheeteditor2.h"
#include "velkeditor/velk_editorfactory.h"
#include "velkeditor/velk_typefilter.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <memory>
#include <string>

namespace
{
constexpr int PANE_WIDTH = 1280;
constexpr int PANE_HEIGHT = 1024;
constexpr int VK_DOWN = 40;
constexpr int VK_RIGHT = 39;
constexpr int VK_HOME = 36;

struct Sheet
{
    VelkTypeManager myTypes;
    VelkNameSpace mySpace;
    VelkTypeFilterManager myFilters{nullptr};
    DrawBenchPane myPane{PANE_WIDTH, PANE_HEIGHT};
    std::unique_ptr<VelkEditor> myEditor;
    SpreadSheetEditor2* mySheet = nullptr;
};

// A script class of aRows units, each with a name, two numbers, a nested
// position and a list.
bool MakeSheet(Sheet& aSheet, int aRows)
{
    const std::string locTypes = "CLASS Pos\r\n{\r\nNUMBER x 0\r\nNUMBER y 0\r\n}\r\n"
                                 "SCRIPTCLASS Tags\r\n{\r\nTEXT\r\n}\r\n"
                                 "CLASS Unit\r\n{\r\nTEXT name\r\nNUMBER hp 10\r\nNUMBER armour 2\r\n"
                                 "DECIMAL speed 1.5\r\nPos pos\r\nTags tags\r\n}\r\n"
                                 "SCRIPTCLASS Army\r\n{\r\nUnit\r\n}\r\n";
    const std::string locFruit =
        (std::filesystem::temp_directory_path() / ("draw_bench_" + std::to_string(getpid()) + ".fruit")).string();
    {
        std::ofstream locFile(locFruit, std::ios::binary);
        locFile << locTypes;
        if (!locFile.flush())
            return false;
    }
    std::string locData = "INCLUDE " + locFruit + "\r\nArmy army\r\n{\r\n";
    for (int i = 0; i < aRows; i++)
        locData += "\tUnit Unit(" + std::to_string(i) + ")\r\n\t{\r\n\t\tname unit_" + std::to_string(i) +
                   "\r\n\t\thp " + std::to_string(i % 100) + "\r\n\t}\r\n";
    locData += "}\r\n";
    const bool locCompiled = VelkCompiler::CompileText(aSheet.mySpace, "bench.velk", locData.data(), locData.size(),
                                                       &aSheet.myTypes, nullptr);
    std::filesystem::remove(locFruit);
    if (!locCompiled)
        return false;
    VelkEditorFactory locFactory;
    aSheet.myEditor.reset(locFactory.CreateEditor(aSheet.mySpace.GetInstance("army", false), &aSheet.myFilters,
                                                  &aSheet.myPane, nullptr));
    aSheet.mySheet = dynamic_cast<SpreadSheetEditor2*>(aSheet.myEditor.get());
    return aSheet.mySheet && aSheet.mySheet->GetNumRows() == aRows;
}

// One scroll step by keys, as a user holding Down (and now and then Right, Home) does.
void Scroll(SpreadSheetEditor2* aSheet, int aFrame)
{
    if (aFrame % 50 == 49)
        aSheet->OnKeyDown(VK_HOME);
    else if (aFrame % 10 == 9)
        aSheet->OnKeyDown(VK_RIGHT);
    else
        aSheet->OnKeyDown(VK_DOWN);
}

double EditorFrames(Sheet& aSheet, int aFrames)
{
    aSheet.mySheet->OnKeyDown(VK_HOME);
    aSheet.mySheet->Draw(true);
    const auto locStart = std::chrono::steady_clock::now();
    for (int i = 0; i < aFrames; i++)
    {
        Scroll(aSheet.mySheet, i);
        aSheet.mySheet->Draw(true);
    }
    return DrawBenchSeconds(locStart);
}

// The same grid and texts with QPainter into a QImage: what the editor draws,
// without the drawing layer between.
double BaselineFrames(Sheet& aSheet, int aFrames)
{
    SpreadSheetEditor2* locSheet = aSheet.mySheet;
    QImage locImage(PANE_WIDTH, PANE_HEIGHT, QImage::Format_RGB32);
    QFont locFont(QStringLiteral("verdana"));
    locFont.setStyleHint(QFont::SansSerif);
    locFont.setStyleStrategy(QFont::NoAntialias);
    locFont.setPixelSize(10);
    locSheet->OnKeyDown(VK_HOME);
    const auto locStart = std::chrono::steady_clock::now();
    for (int i = 0; i < aFrames; i++)
    {
        Scroll(locSheet, i);
        const int w = SpreadSheetEditor2::GetCellWidth(), h = SpreadSheetEditor2::GetCellHeight();
        const int locColumnScroll = locSheet->GetColumnScroll(), locRowScroll = locSheet->GetRowScroll();
        QPainter locPainter(&locImage);
        locPainter.setRenderHint(QPainter::Antialiasing, false);
        locPainter.setRenderHint(QPainter::TextAntialiasing, false);
        locPainter.setFont(locFont);
        locPainter.fillRect(0, 0, PANE_WIDTH, PANE_HEIGHT, QColor(255, 255, 255));
        locPainter.setPen(QColor(0, 0, 0));
        for (int x = 0; x < PANE_WIDTH; x += w)
            locPainter.drawLine(x, 0, x, PANE_HEIGHT - 1);
        for (int y = 0; y < PANE_HEIGHT; y += h)
            locPainter.drawLine(0, y, PANE_WIDTH - 1, y);
        locPainter.setPen(QColor(0, 127, 0));
        for (int c = locColumnScroll; c < locSheet->GetNumColumns(); c++)
        {
            const int x = (c - locColumnScroll + 1) * w;
            if (x >= PANE_WIDTH)
                break;
            locPainter.drawText(QRect(x + 4, 1, w - 8, h - 1), Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                                QString::fromLatin1(locSheet->GetColumnTitle(c).GetBuffer()));
        }
        for (int r = locRowScroll; r < locSheet->GetNumRows(); r++)
        {
            const int y = (r - locRowScroll + 1) * h;
            if (y >= PANE_HEIGHT)
                break;
            const SpreadSheetRow& locRow = locSheet->GetRow(r);
            locPainter.setPen(QColor(0, 127, 0));
            locPainter.drawText(QRect(4, y + 1, w - 8, h - 1), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                                QString::fromLatin1(locRow.myInstance->GetName().GetBuffer()));
            for (int c = locColumnScroll; c < (int)locRow.myCells.size(); c++)
            {
                const int x = (c - locColumnScroll + 1) * w;
                if (x >= PANE_WIDTH)
                    break;
                static const QColor ourKinds[3] = {QColor(255, 0, 0), QColor(0, 0, 255), QColor(128, 128, 128)};
                locPainter.setPen(ourKinds[locRow.myCells[c].myKind]);
                locPainter.drawText(QRect(x + 4, y + 1, w - 8, h - 1),
                                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                                    QString::fromLatin1(SpreadSheetEditor2::GetCellText(locRow.myCells[c]).GetBuffer()));
            }
        }
    }
    return DrawBenchSeconds(locStart);
}
} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: draw_bench [--rows N (100 or more)] [--frames N]\n");
    int locRows = 10000;
    int locFrames = 200;
    locArgs.IntOption("--rows", &locRows, 100, 100000000);
    locArgs.IntOption("--frames", &locFrames, 1, 100000000);
    locArgs.Operands(0, 0);
    QGuiApplication locApplication(argc, argv);

    Sheet locBig, locSmall;
    if (!MakeSheet(locBig, locRows) || !MakeSheet(locSmall, locRows / 10))
    {
        fprintf(stderr, "draw_bench: the spreadsheet could not be made\n");
        return 1;
    }
    // A frame each first: fonts and caches warm.
    EditorFrames(locBig, 5);
    BaselineFrames(locBig, 5);

    const double locEditor = EditorFrames(locBig, locFrames);
    const double locBaseline = BaselineFrames(locBig, locFrames);
    const double locSmallEditor = EditorFrames(locSmall, locFrames);
    const double locMs = locEditor * 1000.0 / locFrames;
    const double locBaseMs = locBaseline * 1000.0 / locFrames;
    const double locSmallMs = locSmallEditor * 1000.0 / locFrames;

    printf("spreadsheet %d rows x %d columns, pane %dx%d, %d frames scrolled by keys\n", locRows,
           locBig.mySheet->GetNumColumns(), PANE_WIDTH, PANE_HEIGHT, locFrames);
    printf("  editor draw + present : %8.3f ms/frame  %8.1f frames/s\n", locMs, 1000.0 / locMs);
    printf("  QPainter into QImage  : %8.3f ms/frame  %8.1f frames/s  (baseline)\n", locBaseMs, 1000.0 / locBaseMs);
    printf("  ratio editor/baseline : %8.2f\n", locMs / locBaseMs);
    const std::string locSmallLabel = "editor at " + std::to_string(locRows / 10) + " rows";
    printf("  %-22s: %8.3f ms/frame  (frame time %d/%d rows: %.2f)\n", locSmallLabel.c_str(), locSmallMs,
           locRows, locRows / 10, locMs / locSmallMs);
    return DrawBenchGui(locFrames);
}
