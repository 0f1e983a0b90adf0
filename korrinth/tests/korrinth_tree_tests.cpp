// The language tree made lazily (root items on open, members when first
// needed) against the same tree made whole, as the tree was made before: the
// same texts, objects, order and expansion, on the sample data and on a
// generated set; and the open makes no more than the root items.
#include "bench/velk_generate.h"
#include "korrinth/korrinth.h"
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/appfacade.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_typemanager.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace korrinth_test;

namespace
{
// A control that cannot wait: every item's children are made at once.
class WholeTreeControl : public MFCVelkTreeControl
{
public:
    using MFCVelkTreeControl::MFCVelkTreeControl;
    bool SetChildrenLater(VelkTreeItem) override { return false; }
};

const UI_ControlTemplate ourWholeControls[] = {{1, UI_CONTROL_TREE, nullptr, 0, 0, 200, 200, 0}};
const UI_DialogTemplate ourWholeTemplate = {1, "whole", 200, 200, "MS Shell Dlg", 8, ourWholeControls, 1};

class KorrinthTreeTest : public DataFolderTest
{
protected:
    void TearDown() override
    {
        myWholeTree.reset();
        myWholeControl.reset();
        if (myWhole)
            UI_DestroyDialog(myWhole);
        if (myProgram)
            Korrinth_Stop(myProgram);
        DataFolderTest::TearDown();
    }

    UI_Dialog* Pane() { return static_cast<MFCVelkTreeControl*>(Facade()->GetTree()->GetControl())->GetDialog(); }
    AppFacade* Facade() { return AppFacade::Get(); }

    // The open namespace's tree made whole, in a dialog of its own.
    void BuildWhole()
    {
        myWholeTree.reset();
        myWholeControl.reset();
        if (!myWhole)
            myWhole = UI_CreateDialog(ourWholeTemplate, [](UI_Dialog*, const UI_Message&) -> intptr_t { return 0; },
                                      nullptr);
        ASSERT_NE(myWhole, nullptr);
        myWholeControl = std::make_unique<WholeTreeControl>(myWhole, 1);
        myWholeTree = std::make_unique<VelkTree>(myWholeControl.get(), nullptr, nullptr, Facade());
        myWholeTree->Rebuild(Facade()->GetNameSpace(), Facade()->GetTypeVis());
    }

    // Every item as "indent text object expanded", children after their parent.
    static std::vector<std::string> Lines(UI_Dialog* aDialog, int anId)
    {
        std::vector<std::string> locLines;
        Walk(aDialog, anId, UI_TreeGetRelated(aDialog, anId, UI_TREE_ROOT, UI_TREE_CHILD), "", locLines);
        return locLines;
    }
    static void Walk(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, const std::string& anIndent,
                     std::vector<std::string>& aLines)
    {
        for (; anItem; anItem = UI_TreeGetRelated(aDialog, anId, anItem, UI_TREE_NEXT))
        {
            std::string locText;
            UI_TreeGetText(aDialog, anId, anItem, &locText);
            char locObject[32];
            snprintf(locObject, sizeof(locObject), " @%llx",
                     (unsigned long long) UI_TreeGetData(aDialog, anId, anItem));
            aLines.push_back(anIndent + locText + locObject +
                             (UI_TreeIsExpanded(aDialog, anId, anItem) ? " +" : ""));
            Walk(aDialog, anId, UI_TreeGetRelated(aDialog, anId, anItem, UI_TREE_CHILD), anIndent + "  ", aLines);
        }
    }

    // The item at a path of rows from the top.
    static UI_TreeItem At(UI_Dialog* aDialog, int anId, const std::vector<int>& aRows)
    {
        UI_TreeItem locItem = UI_TREE_ROOT;
        for (int locRow : aRows)
        {
            locItem = UI_TreeGetRelated(aDialog, anId, locItem, UI_TREE_CHILD);
            for (int i = 0; i < locRow && locItem; i++)
                locItem = UI_TreeGetRelated(aDialog, anId, locItem, UI_TREE_NEXT);
            if (!locItem)
                return 0;
        }
        return locItem;
    }

    int ShownRoots()
    {
        int locCount = 0;
        for (VelkType* locRoot : Facade()->GetNameSpace().GetInstanceView())
            locCount += Facade()->GetTypeVis().IsShown(locRoot->GetTypeName()) ? 1 : 0;
        return locCount;
    }

    // The open makes the root items only; expansions made in both trees the
    // same way (by the program, and by the user through the view) leave both
    // alike; then every item of both is compared.
    void ExpectLikeWhole(const std::vector<std::vector<int>>& anExpanded)
    {
        ASSERT_NE(Facade(), nullptr);
        ASSERT_GT(ShownRoots(), 0);
        EXPECT_EQ(UI_TreeGetCount(Pane(), IDC_LEFT_TREE), ShownRoots());
        BuildWhole();
        // A root with members shows an expander before its children are made.
        // The user's expansion goes through the view laid out in the shown window.
        UI_FrameShow(Korrinth_GetFrame(myProgram));
        QCoreApplication::processEvents();
        QTreeView* locView = static_cast<QTreeView*>(UI_GetControlWidget(Pane(), IDC_LEFT_TREE));
        ASSERT_NE(locView, nullptr);
        QAbstractItemModel* locModel = locView->model();
        int locUserRow = -1;
        for (int i = 0; i < locModel->rowCount() && locUserRow < 0; i++)
            if (locModel->hasChildren(locModel->index(i, 0)))
                locUserRow = i;
        ASSERT_GE(locUserRow, 0);
        QModelIndex locUserIndex = locModel->index(locUserRow, 0);
        EXPECT_EQ(locModel->rowCount(locUserIndex), 0);
        locView->expand(locUserIndex);
        EXPECT_GT(locModel->rowCount(locUserIndex), 0);
        EXPECT_TRUE(UI_TreeExpand(myWhole, 1, At(myWhole, 1, {locUserRow}), true));

        for (const std::vector<int>& locPath : anExpanded)
        {
            UI_TreeItem locLazy = At(Pane(), IDC_LEFT_TREE, locPath);
            UI_TreeItem locWhole = At(myWhole, 1, locPath);
            ASSERT_NE(locLazy, 0);
            ASSERT_NE(locWhole, 0);
            EXPECT_TRUE(UI_TreeExpand(Pane(), IDC_LEFT_TREE, locLazy, true));
            EXPECT_TRUE(UI_TreeExpand(myWhole, 1, locWhole, true));
        }
        std::vector<std::string> locLazy = Lines(Pane(), IDC_LEFT_TREE);
        std::vector<std::string> locWhole = Lines(myWhole, 1);
        EXPECT_EQ(locLazy.size(), locWhole.size());
        EXPECT_EQ(locLazy, locWhole);
        EXPECT_EQ(UI_TreeGetCount(Pane(), IDC_LEFT_TREE), UI_TreeGetCount(myWhole, 1));
    }

    KorrinthProgram* myProgram = nullptr;
    UI_Dialog* myWhole = nullptr;
    std::unique_ptr<WholeTreeControl> myWholeControl;
    std::unique_ptr<VelkTree> myWholeTree;
};
} // namespace

TEST_F(KorrinthTreeTest, LazyTreeOfTheSampleDataIsTheWholeTree)
{
#ifndef KORRINTH_SAMPLE_DATA
    GTEST_SKIP() << "the sample data writer is not built";
#else
    fs::create_directories(myDir / "sample" / "velk");
    std::string locCommand = "'" + std::string(KORRINTH_SAMPLE_DATA) + "' '" + (myDir / "sample").string() + "' >/dev/null";
    ASSERT_EQ(std::system(locCommand.c_str()), 0);
    fs::path locVelk = myDir / "sample" / "velk";
    ASSERT_EQ(chdir(locVelk.c_str()), 0);
    myProgram = Korrinth_Start((locVelk / "level.velk").c_str());
    ASSERT_NE(myProgram, nullptr);
    ExpectLikeWhole({{4}, {4, 3}, {3}, {1}});
    // The other files of the sample: a GUI layout and a skin nest deeper.
    ASSERT_TRUE(UI_FrameOpenDocument(Korrinth_GetFrame(myProgram), (locVelk / "menu.velk").c_str()));
    ExpectLikeWhole({{0, 0}, {0, 0, 2}});
    ASSERT_TRUE(UI_FrameOpenDocument(Korrinth_GetFrame(myProgram), (locVelk / "skins/main.velk").c_str()));
    ExpectLikeWhole({{0, 0}, {0, 0, 0}, {0, 0, 0, 2}});
#endif
}

TEST_F(KorrinthTreeTest, LazyTreeOfAGeneratedSetIsTheWholeTree)
{
    std::vector<std::string> locFiles;
    ASSERT_TRUE(BenchGenerateVelk(3000, myDir.string(), locFiles));
    // Roots whose texts differ only in case, and roots with values, among
    // the generated ones: the sort keeps their order of the file.
    {
        std::FILE* locFile = std::fopen((myDir / "bench.velk").c_str(), "ab");
        ASSERT_NE(locFile, nullptr);
        std::fputs("Item Zeta\r\n{\r\n}\r\nItem ALPHA\r\n{\r\n\tcount 4\r\n}\r\nItem alpha\r\n{\r\n}\r\n"
                   "NUMBER item17x 5\r\nTEXT Item2 \"two\"\r\n",
                   locFile);
        std::fclose(locFile);
    }
    myProgram = Korrinth_Start((myDir / "bench.velk").c_str());
    ASSERT_NE(myProgram, nullptr);
    ExpectLikeWhole({{0}, {0, 4}, {7}, {10}, {10, 0}});

    // A rebuild (type visibility changed) starts lazy again and stays alike.
    Facade()->Refresh(true);
    ExpectLikeWhole({{5}});

    // Items found for an object inside a root that was never expanded.
    VelkType* locDeep = Facade()->GetNameSpace().GetInstance("item2500.pos.y", false);
    ASSERT_NE(locDeep, nullptr);
    UI_TreeItem locItem = Facade()->GetTree()->FindItem(locDeep);
    ASSERT_NE(locItem, 0);
    EXPECT_EQ(UI_TreeGetData(Pane(), IDC_LEFT_TREE, locItem), reinterpret_cast<intptr_t>(locDeep));
}

// A merge into a generated set: the namespace as one search per merged root
// gives it, and the tree made lazily again alike the whole one.
TEST_F(KorrinthTreeTest, MergeIntoAGeneratedSetKeepsItsResultAndTree)
{
    std::vector<std::string> locFiles;
    ASSERT_TRUE(BenchGenerateVelk(10, myDir.string(), locFiles));
    // Script members named in the file: the two compiles below name them alike.
    std::string locOpen = "INCLUDE " + (myDir / "bench.fruit").string() + "\r\n";
    for (int i = 0; i < 2000; i++)
    {
        std::string locNumber = std::to_string(i);
        locOpen += i % 100 == 0 ? "Script s" + locNumber + "\r\n{\r\n\tTEXT a " + locNumber + "\r\n}\r\n"
                                : "Item item" + locNumber + "\r\n{\r\n\ttitle \"t " + locNumber +
                                      "\"\r\n\tpos\r\n\t{\r\n\t\tx " + locNumber + "\r\n\t}\r\n}\r\n";
    }
    WriteFile(myDir / "big.velk", locOpen);
    std::string locMerge = "INCLUDE " + (myDir / "bench.fruit").string() + "\r\n";
    for (int i = 0; i < 60; i++)
        locMerge += "Item merged" + std::to_string(i) + "\r\n{\r\n\ttitle \"merged " + std::to_string(i) +
                    "\"\r\n}\r\nItem item" + std::to_string(i * 31 + 1) + "\r\n{\r\n\tcount " +
                    std::to_string(i) + "\r\n}\r\n";
    // A member added to a script, and a root whose name a member has (it
    // merges into that member and adds no root).
    locMerge += "Script s300\r\n{\r\n\tTEXT b more\r\n}\r\nPoint pos\r\n{\r\n\tx 5\r\n}\r\n";
    WriteFile(myDir / "merge.velk", locMerge);
    myProgram = Korrinth_Start((myDir / "big.velk").c_str());
    ASSERT_NE(myProgram, nullptr);
    ASSERT_TRUE(Facade()->MergeFile((myDir / "merge.velk").c_str()));

    VelkNameSpace locSearched;
    VelkTypeManager locTypes;
    ASSERT_TRUE(VelkCompiler::Compile(locSearched, (myDir / "big.velk").c_str(), &locTypes, nullptr));
    VelkNameSpace locSource;
    VelkTypeManager locSourceTypes;
    ASSERT_TRUE(VelkCompiler::Compile(locSource, (myDir / "merge.velk").c_str(), &locSourceTypes, nullptr));
    for (VelkType* locRoot : locSource.GetInstanceView())
        ASSERT_TRUE(locSearched.MergeInstance(locRoot));
    EXPECT_EQ(Facade()->GetNameSpace().GetNumInstances(), 2061); // item900 is a script s900
    EXPECT_NE(Facade()->GetNameSpace().GetInstance("s300.b", false), nullptr);
    ASSERT_TRUE(Facade()->GetNameSpace().Write((myDir / "merged.velk").c_str()));
    ASSERT_TRUE(locSearched.Write((myDir / "searched.velk").c_str()));
    // Compared whole, not line by line: a difference would be a long report.
    EXPECT_TRUE(ReadFile(myDir / "merged.velk") == ReadFile(myDir / "searched.velk"));
    ExpectLikeWhole({{0}, {3}});
}
