// Pranvel's colour swatch and its mesh, animation, light, colour and option
// dialogs: real dialogs offscreen over the real editor scene on llvmpipe,
// fixture models written as .qrb files, scripted file and colour choosers.
#include <gtest/gtest.h>

#include "modeleditor/app/pranvel_colorbutton.h"
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_meshdlg.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_scenedlgs.h"
#include "modeleditor/app/pranvel_surfacedlg.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/input/in_script.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"
#include "qrender/qr_render.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
class DialogEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "pranvel_dialog_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new DialogEnvironment);

// The commands that reach the scene, as they arrive; then the scene's own
// side runs them.
std::vector<std::string> ourExecuted;
QRECommand::ExecuteHook ourSceneHook = nullptr;
bool locRecordExecute(QRECommand& aCommand, uint32_t aVersion)
{
    ourExecuted.push_back(aCommand.GetKeyword());
    return ourSceneHook && ourSceneHook(aCommand, aVersion);
}

// A cube mesh of aLevels levels of detail at 50, 100, ... (squared distances stored).
QRB_TestMesh locCube(int aLevels, uint32_t aLighting = 0)
{
    QRB_TestMesh m = QRT_CubeMesh("", 0.5f);
    m.mySettings[1] = aLighting;
    m.myLevels.clear();
    for (int i = 0; i < aLevels; i++)
    {
        QRB_TestLevel l;
        l.myNumVertices = m.myNumVertices;
        l.myNumIndices = uint32_t(m.myIndices.size());
        l.myDistance = i + 1 < aLevels ? float((i + 1) * 50 * (i + 1) * 50) : 1.0e10f;
        m.myLevels.push_back(l);
    }
    return m;
}

// aFrames copies of the cube, one animation frame each, every frame a
// little larger than the one before.
QRB_TestMesh locAnimatedCube(int aFrames, int aGapFrame = -1)
{
    QRB_TestMesh c = QRT_CubeMesh("", 0.5f);
    QRB_TestMesh m = c;
    m.mySettings[1] = 0;
    m.myVertices.clear();
    m.myIndices.clear();
    size_t locSize = c.myVertices.size() / c.myNumVertices;
    QRB_TestLevel l;
    l.myKind = 1;
    for (int f = 0; f < aFrames; f++)
    {
        uint32_t locFirst = uint32_t(m.myVertices.size() / locSize);
        uint32_t locStart = uint32_t(m.myIndices.size());
        m.myVertices.insert(m.myVertices.end(), c.myVertices.begin(), c.myVertices.end());
        for (uint16_t i : c.myIndices)
            m.myIndices.push_back(uint16_t(i + locFirst));
        if (f != aGapFrame)
            l.myFrames.insert(l.myFrames.end(), {locFirst, c.myNumVertices, locStart, uint32_t(c.myIndices.size())});
    }
    m.myNumVertices = uint32_t(m.myVertices.size() / locSize);
    l.myNumVertices = m.myNumVertices;
    l.myNumIndices = uint32_t(m.myIndices.size());
    l.myFrameTime = 0.5f;
    m.myLevels = {l};
    return m;
}

// The cube on the sample folder's stone surface, one texture stage.
QRB_TestMesh locStoneCube()
{
    QRB_TestMesh m = locCube(1);
    m.mySurface = "surfaces/stone.sur";
    m.myStages = {0};
    m.myStagePathFlags = {false};
    return m;
}

QRB_TestModel locModel(const std::vector<std::pair<std::string, QRB_TestMesh>>& aParts)
{
    QRB_TestModel m;
    m.myRadius = 6.0f;
    for (const auto& p : aParts)
    {
        QRB_TestPart part;
        part.myName = "part" + std::to_string(m.myParts.size());
        part.myMeshName = p.first;
        part.myMesh = p.second;
        part.myStates = {QRT_State(StateCodeToId("STND"), QRB_TestPath::Constant({0, 0.5f, 0, 0, 0, 0}))};
        m.myParts.push_back(part);
    }
    return m;
}

const PranvelTemplateLoader ourDefaultLoader = ourPranvelTemplateLoader;

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir / "_pranvel");
        fs::current_path(myDir);
        setenv("Q_DRIVE_T", myDir.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (myDir / "config").c_str(), 1);
        UI_SetPromptService(&myPrompts);
        ourExecuted.clear();
    }
    void TearDown() override
    {
        UI_SetModalHook(nullptr);
        if (myApp)
        {
            myApp->ExitInstance();
            delete myApp;
            myApp = nullptr;
        }
        QRenderEditor::Destroy();
        myScript.reset();
        CommandHandler::Destroy();
        QRECommand::ourExecuteHook = nullptr;
        ourPranvelTemplateLoader = ourDefaultLoader;
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        UI_SetPromptService(nullptr);
        unsetenv("Q_DRIVE_T");
        fs::current_path(Q_TEST_TMP_DIR);
    }
    // The scene without a window: input from a script.
    void StartScene()
    {
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        myScript->SetFocusWindow(true);
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
        ourSceneHook = QRECommand::ourExecuteHook;
        QRECommand::ourExecuteHook = locRecordExecute;
        ASSERT_TRUE(CommandHandler::Create());
        CommandHandler::Get()->Init();
    }
    void Open(const QRB_TestModel& aModel, const char* aName = "model.qrb")
    {
        QR_TemplateObject* t = MET_LoadModel(aModel, aName);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(e->SetModel(t, "STND"));
    }
    std::vector<uint32_t> Frame()
    {
        e->Render();
        QR_Render* r = QR_Render::ourInstance;
        myWidth = r->myRenderSettings.myWidth;
        myHeight = r->myRenderSettings.myHeight;
        std::vector<uint32_t> p(size_t(myWidth) * size_t(myHeight));
        EXPECT_TRUE(r->GrabFrontBuffer(p.data()));
        return p;
    }
    // The pixel a world point projects to.
    uint32_t PixelAt(const std::vector<uint32_t>& aFrame, float x, float y, float z) const
    {
        const float* m = e->GetView()->myViewProjectionMatrix.myMatrix;
        float cx = x * m[0] + y * m[4] + z * m[8] + m[12];
        float cy = x * m[1] + y * m[5] + z * m[9] + m[13];
        float cw = x * m[3] + y * m[7] + z * m[11] + m[15];
        int px = int(lroundf((cx / cw * 0.5f + 0.5f) * float(myWidth) - 0.5f));
        int py = int(lroundf((0.5f - cy / cw * 0.5f) * float(myHeight) - 0.5f));
        return aFrame[size_t(py) * size_t(myWidth) + size_t(px)];
    }
    std::vector<std::string> SavedLines()
    {
        EXPECT_TRUE(SaveQRE(*CommandHandler::Get(), QC_String("saved.qre")));
        std::ifstream locIn(myDir / "saved.qre");
        std::vector<std::string> locLines;
        for (std::string locLine; std::getline(locIn, locLine);)
        {
            if (!locLine.empty() && locLine.back() == '\r')
                locLine.pop_back();
            locLines.push_back(locLine);
        }
        return locLines;
    }
    // The EDITMESH lines of the history saved as a .qre file.
    std::vector<std::string> EditMeshLines()
    {
        std::vector<std::string> locLines;
        for (const std::string& locLine : SavedLines())
            if (locLine.rfind("EDITMESH ", 0) == 0)
                locLines.push_back(locLine);
        return locLines;
    }
    static void FocusOut(UI_Dialog* aDialog, int anId)
    {
        QFocusEvent locEvent(QEvent::FocusOut);
        QApplication::sendEvent(UI_GetControlWidget(aDialog, anId), &locEvent);
    }
    static std::string Text(UI_Dialog* aDialog, int anId)
    {
        std::string locText;
        UI_GetControlText(aDialog, anId, &locText);
        return locText;
    }

    fs::path myDir;
    UI_ScriptedPrompts myPrompts;
    std::unique_ptr<IN_Script> myScript;
    QRenderEditor* e = nullptr;
    CPranvelApp* myApp = nullptr;
    int myWidth = 0;
    int myHeight = 0;
};

// The swatch grabbed as it is drawn: pixel (x, y) as 0x00RRGGBB.
uint32_t locGrabPixel(const QImage& anImage, int x, int y)
{
    return anImage.pixel(x, y) & 0xFFFFFF;
}
} // namespace

// --- colour swatch ---

TEST_F(DialogTest, SwatchDrawsFrameAndColourTwoPixelsInside)
{
    static const UI_ControlTemplate locControls[] = {
        {100, UI_CONTROL_PUSHBUTTON, nullptr, 7, 7, 40, 20, UI_STYLE_OWNERDRAW},
        {101, UI_CONTROL_PUSHBUTTON, nullptr, 60, 7, 40, 20, UI_STYLE_OWNERDRAW},
    };
    static const UI_DialogTemplate locTemplate = {1, "Swatches", 110, 34, "MS Shell Dlg", 8, locControls, 2};
    static CColorButton ourBlack;
    static CColorButton ourRed(0x000000FF); // COLORREF red
    UI_Dialog* d = UI_CreateDialog(
        locTemplate,
        [](UI_Dialog*, const UI_Message& aMessage) -> intptr_t {
            if (aMessage.myKind == UI_MSG_DRAWITEM)
                (aMessage.myControlId == 100 ? ourBlack : ourRed).DrawItem(aMessage.myDrawItem);
            return 0;
        },
        nullptr);
    ASSERT_NE(d, nullptr);
    ourBlack.Attach(d, 100);
    ourRed.Attach(d, 101);
    UI_ShowDialog(d, true);
    QAbstractButton* locButton = static_cast<QAbstractButton*>(UI_GetControlWidget(d, 101));
    QImage locUp = locButton->grab().toImage();
    int w = locUp.width(), h = locUp.height();
    EXPECT_EQ(locGrabPixel(locUp, 0, 0), PRANVEL_BUTTON_FRAME);
    EXPECT_EQ(locGrabPixel(locUp, w - 1, h - 1), PRANVEL_BUTTON_FRAME);
    EXPECT_EQ(locGrabPixel(locUp, 1, 1), PRANVEL_BUTTON_FACE);
    EXPECT_EQ(locGrabPixel(locUp, 2, 2), 0xFF0000u); // red and blue exchanged for drawing
    EXPECT_EQ(locGrabPixel(locUp, w - 3, h - 3), 0xFF0000u);
    EXPECT_EQ(locGrabPixel(locUp, w - 2, h / 2), PRANVEL_BUTTON_FACE);

    locButton->setDown(true);
    QImage locDown = locButton->grab().toImage();
    EXPECT_EQ(locGrabPixel(locDown, 1, 1), PRANVEL_BUTTON_PUSHED);
    EXPECT_EQ(locGrabPixel(locDown, 2, 2), 0xFF0000u);
    EXPECT_EQ(locGrabPixel(locDown, 1, 2), PRANVEL_BUTTON_PUSHED);

    QImage locBlack = UI_GetControlWidget(d, 100)->grab().toImage();
    EXPECT_EQ(locGrabPixel(locBlack, locBlack.width() / 2, locBlack.height() / 2), 0u);
    UI_DestroyDialog(d);
}

// --- object colours ---

TEST_F(DialogTest, ColorSwatchClickTintsTheModelAndDoubleClickEdits)
{
    StartScene();
    CColorsDlg locColors;
    e->SetObjectColor(2, 0xFF0000); // red in the scene's order
    UI_Dialog* d = locColors.Create(nullptr);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(locColors.GetSwatch(2).myColor, 0x0000FFu); // shown as the chooser holds it
    // Without a model only the index moves.
    UI_ClickButton(d, IDC_OBJECT_COLOR_FIRST + 2);
    EXPECT_EQ(e->GetObjectColorIndex(), 2u);

    Open(MET_BoxModel());
    e->myGridEnable = false;
    e->SetObjectColor(3, 0x0000FF);
    UI_ClickButton(d, IDC_OBJECT_COLOR_FIRST + 3);
    EXPECT_EQ(e->GetInstance()->myColor & 0xFFFFFF, 0x0000FFu);
    std::vector<uint32_t> f = Frame();
    uint32_t p = PixelAt(f, 0.0f, 0.5f, 0.0f);
    EXPECT_GT(p & 0xFF, 0xC0u) << std::hex << p;
    EXPECT_LT((p >> 16) & 0xFF, 0x40u) << std::hex << p;

    // A double click opens the chooser on the swatch's colour; the choice is
    // stored in the scene's order.
    myPrompts.AnswerColor(0x0000FF00 | 0x20); // green with a little red, as COLORREF
    QWidget* locSwatch = UI_GetControlWidget(d, IDC_OBJECT_COLOR_FIRST + 5);
    UI_ShowDialog(d, true);
    QTest::mouseDClick(locSwatch, Qt::LeftButton);
    ASSERT_EQ(myPrompts.myQuestions.size(), 1u);
    EXPECT_EQ(myPrompts.myQuestions[0].myKind, UI_ScriptedPrompts::COLOR_DIALOG);
    EXPECT_EQ(e->GetObjectColor(5), 0x20FF00u);
    EXPECT_EQ(locColors.GetSwatch(5).myColor, 0x00FF20u);
    UI_DestroyDialog(d);
}

// --- mesh properties ---

TEST_F(DialogTest, MeshDialogListsSharedMeshOnceAndRecordsEditMesh)
{
    StartScene();
    Open(locModel({{"box", locCube(3)}, {"box", locCube(3)}, {"ball", locCube(1)}}));
    CMeshDlg locDialog;
    locDialog.SetTemplate(e->GetTemplate());
    bool locRan = false;
    UI_SetModalHook([&](UI_Dialog* d) {
        locRan = true;
        ASSERT_EQ(UI_ComboGetCount(d, IDC_MESH_NAME), 2);
        EXPECT_TRUE(UI_IsControlEnabled(d, IDC_MESH_LOD_FIRST + 1));
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_MESH_LOD_FIRST + 2));
        EXPECT_EQ(Text(d, IDC_MESH_LOD_FIRST + 0), "50.0");
        EXPECT_EQ(Text(d, IDC_MESH_LOD_FIRST + 1), "100.0");
        // LOD distances 50 and 30: the second is raised to the first.
        UI_SetControlText(d, IDC_MESH_LOD_FIRST + 1, "30");
        FocusOut(d, IDC_MESH_LOD_FIRST + 1);
        EXPECT_EQ(Text(d, IDC_MESH_LOD_FIRST + 1), "50.0");
        // The swatch only for the fourth colour choice.
        EXPECT_FALSE(PranvelIsControlShown(d, IDC_MESH_SPECULAR));
        UI_ComboPick(d, IDC_MESH_COLOR, 3);
        EXPECT_TRUE(PranvelIsControlShown(d, IDC_MESH_SPECULAR));
        myPrompts.AnswerColor(0x00336699);
        UI_ClickButton(d, IDC_MESH_SPECULAR);
        EXPECT_EQ(locDialog.GetSpecularSwatch().myColor, 0x336699u);
        UI_ComboPick(d, IDC_MESH_COLOR, 2);
        EXPECT_FALSE(PranvelIsControlShown(d, IDC_MESH_SPECULAR));
        UI_ComboPick(d, IDC_MESH_TRANSFORM, 2);
        UI_ClickButton(d, IDC_MESH_FOG);
        // The second mesh: one level, no distances to edit.
        UI_ComboPick(d, IDC_MESH_NAME, 1);
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_MESH_LOD_FIRST));
        EXPECT_EQ(Text(d, IDC_MESH_LOD_FIRST), "");
        UI_EndDialog(d, UI_IDOK);
    });
    locDialog.DoModal(nullptr);
    ASSERT_TRUE(locRan);
    EXPECT_TRUE(CommandHandler::Get()->IsModified());
    std::vector<std::string> locLines = EditMeshLines();
    ASSERT_EQ(locLines.size(), 6u);
    // Name, level, shader, presort, transform, lighting, 0, colour mode, 0,
    // specular colour (0xRRGGBB), fog, two UV words, four distances, power.
    const char* locBox = "EDITMESH \"box\" 0 \"NORMAL_MESH\" 0 ";
    EXPECT_EQ(locLines[0], std::string(locBox) + "0 0 0 0 0 0 0 0 0 50.000 50.000 200.000 400.000 40.000");
    EXPECT_EQ(locLines[1], std::string(locBox) + "0 1 0 2 0 0 0 0 0 50.000 50.000 200.000 400.000 40.000");
    EXPECT_EQ(locLines[2], std::string(locBox) + "0 1 0 2 0 10053171 0 0 0 50.000 50.000 200.000 400.000 40.000");
    EXPECT_EQ(locLines[3], std::string(locBox) + "0 1 0 1 0 10053171 0 0 0 50.000 50.000 200.000 400.000 40.000");
    EXPECT_EQ(locLines[4], std::string(locBox) + "2 1 0 1 0 10053171 0 0 0 50.000 50.000 200.000 400.000 40.000");
    EXPECT_EQ(locLines[5], std::string(locBox) + "2 1 0 1 0 10053171 1 0 0 50.000 50.000 200.000 400.000 40.000");
}

TEST_F(DialogTest, MeshDialogUVChoiceUnknownShaderAndAnimatedSwitch)
{
    ASSERT_TRUE(QRT_WriteSampleFolder(myDir.string()));
    StartScene();
    QRB_TestMesh locStone = locStoneCube();
    Open(locModel({{"stonebox", locStone}}));
    QR_Mesh* locMesh = e->GetTemplate()->myParts[0].myMesh;
    // A kind the editor lacks, kept as an override for export.
    e->SetMeshVertexShader(locMesh, "TREE_SWAY");
    CMeshDlg locDialog;
    locDialog.SetTemplate(e->GetTemplate());
    UI_SetModalHook([&](UI_Dialog* d) {
        ASSERT_EQ(UI_ComboGetCount(d, IDC_MESH_SHADER), 7);
        std::string locShader;
        UI_ComboGetText(d, IDC_MESH_SHADER, UI_ComboGetCurSel(d, IDC_MESH_SHADER), &locShader);
        EXPECT_EQ(locShader, "TREE_SWAY");
        EXPECT_TRUE(UI_IsControlEnabled(d, IDC_MESH_UV1));
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_MESH_UV2));
        UI_ComboPick(d, IDC_MESH_UV1, 3); // "Camera space normal"
        EXPECT_EQ(locMesh->mySetupData.myUVs[0] & 0xFFFF, 5u);
        EXPECT_EQ(UI_ComboGetCurSel(d, IDC_MESH_UV1), 3);

        // The animated switch, both ways, straight on the first level.
        QR_MeshLod& l = locMesh->myLods[0];
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_MESH_EDIT_ANIMATION));
        UI_ClickButton(d, IDC_MESH_ANIMATED);
        EXPECT_EQ(l.myIsAnimated, 1u);
        ASSERT_EQ(l.myNumFrames, 1u);
        EXPECT_EQ(l.myFrames[0].myNumVertices, l.myNumVertices);
        EXPECT_EQ(l.myFrames[0].myNumIndices, l.myNumIndices);
        EXPECT_EQ(l.myFramesPerSecond, 1.0f);
        EXPECT_TRUE(UI_IsControlEnabled(d, IDC_MESH_EDIT_ANIMATION));
        UI_ClickButton(d, IDC_MESH_ANIMATED);
        EXPECT_EQ(l.myIsAnimated, 0u);
        EXPECT_EQ(l.myNumFrames, 0u);
        EXPECT_EQ(l.myFrames, nullptr);
        EXPECT_EQ(l.myNumVertices, 24u);
        UI_EndDialog(d, UI_IDOK);
    });
    locDialog.DoModal(nullptr);
    std::vector<std::string> locLines = EditMeshLines();
    ASSERT_EQ(locLines.size(), 1u);
    EXPECT_EQ(locLines[0].rfind("EDITMESH \"stonebox\" 0 \"TREE_SWAY\" 0 ", 0), 0u) << locLines[0];
    EXPECT_STREQ(e->GetMeshVertexShaderName(locMesh), "TREE_SWAY");
    // The model still draws with the dialog's changes, and the export keeps the kind.
    Frame();
    ASSERT_TRUE(e->ExportQRB("exported.qrb"));
    std::ifstream locIn(myDir / "exported.qrb", std::ios::binary);
    std::string locBytes((std::istreambuf_iterator<char>(locIn)), std::istreambuf_iterator<char>());
    EXPECT_NE(locBytes.find(std::string("TREE_SWAY\0", 10)), std::string::npos);
}

TEST_F(DialogTest, MeshDialogWithoutMeshesDisablesItsControls)
{
    StartScene();
    Open(MET_BoxModel());
    QR_TemplateObject* t = e->GetTemplate();
    // Only the part without a mesh is offered.
    CMeshDlg locDialog;
    QRB_TestModel m = MET_BoxModel();
    m.myParts.erase(m.myParts.begin());
    QR_TemplateObject* locBare = MET_LoadModel(m, "bare.qrb");
    ASSERT_NE(locBare, nullptr);
    locDialog.SetTemplate(locBare);
    UI_SetModalHook([&](UI_Dialog* d) {
        EXPECT_EQ(UI_ComboGetCount(d, IDC_MESH_NAME), 0);
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_MESH_SHADER));
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_MESH_ANIMATED));
        UI_ClickButton(d, IDC_MESH_ANIMATED);
        UI_EndDialog(d, UI_IDOK);
    });
    locDialog.DoModal(nullptr);
    EXPECT_TRUE(ourExecuted.empty());
    locBare->Release();
    EXPECT_EQ(e->GetTemplate(), t);
}

// Each closed drop-down list of Mesh properties shows its current entry: its
// text drawn whole inside the closed box, and none of the list's rows below
// it (the label and field of the next row stay in view).
TEST_F(DialogTest, MeshDialogClosedListsShowTheirValues)
{
    StartScene();
    Open(locModel({{"box", locCube(2)}}));
    CMeshDlg locDialog;
    locDialog.SetTemplate(e->GetTemplate());
    bool locRan = false;
    UI_SetModalHook([&](UI_Dialog* d) {
        locRan = true;
        QApplication::processEvents();
        QWidget* locWindow = UI_GetDialogWidget(d);
        QImage locShot = locWindow->grab().toImage();
        auto locInk = [&locShot](const QRect& aRect, QRect* aBounds) {
            int locCount = 0;
            QRect locRect = aRect & locShot.rect();
            for (int y = locRect.top(); y <= locRect.bottom(); y++)
                for (int x = locRect.left(); x <= locRect.right(); x++)
                    if (qGray(locShot.pixel(x, y)) < 100)
                    {
                        locCount++;
                        if (aBounds)
                            *aBounds |= QRect(x, y, 1, 1);
                    }
            return locCount;
        };
        const int locCombos[] = {IDC_MESH_NAME, IDC_MESH_SHADER, IDC_MESH_TRANSFORM, IDC_MESH_COLOR,
                                 IDC_MESH_PRESORT};
        for (int locId : locCombos)
        {
            QWidget* locCombo = UI_GetControlWidget(d, locId);
            ASSERT_NE(locCombo, nullptr);
            std::string locValue;
            ASSERT_TRUE(UI_ComboGetText(d, locId, UI_ComboGetCurSel(d, locId), &locValue));
            EXPECT_FALSE(locValue.empty()) << locId;
            QRect locClosed = locCombo->geometry();
            int locLine = locCombo->fontMetrics().height();
            EXPECT_LT(locClosed.height(), 2 * locLine) << locId;
            QRect locText;
            EXPECT_GT(locInk(locClosed.adjusted(1, 1, -locClosed.height() - 4, -1), &locText), 15) << locValue;
            EXPECT_GE(locText.top(), locClosed.top() + 3) << locValue;
            EXPECT_LE(locText.bottom(), locClosed.bottom() - 3) << locValue;
            // The strip right below the box down to the next row holds no ink.
            EXPECT_EQ(locInk(QRect(locClosed.left(), locClosed.bottom() + 1, locClosed.width(), 2), nullptr), 0)
                << locValue;
        }
        // The row below the first list: its label is drawn, not hidden under a list.
        QRect locShaderRow = UI_GetControlWidget(d, IDC_MESH_SHADER)->geometry();
        QRect locLabel;
        EXPECT_GT(locInk(QRect(0, locShaderRow.top(), locShaderRow.left(), locShaderRow.height()), &locLabel), 20);
        UI_EndDialog(d, UI_IDCANCEL);
    });
    locDialog.DoModal(nullptr);
    EXPECT_TRUE(locRan);
}

// --- edit animation ---

namespace
{
std::vector<std::string> locListTexts(UI_Dialog* d)
{
    std::vector<std::string> locTexts;
    for (int i = 0; i < UI_ListGetCount(d, IDC_ANIM_LIST); i++)
    {
        std::string t;
        UI_ListGetText(d, IDC_ANIM_LIST, i, &t);
        locTexts.push_back(t);
    }
    return locTexts;
}

void locSelect(UI_Dialog* d, const std::vector<int>& aLines)
{
    for (int i = 0; i < UI_ListGetCount(d, IDC_ANIM_LIST); i++)
        UI_ListSetSel(d, IDC_ANIM_LIST, i, false);
    for (int i : aLines)
        UI_ListSetSel(d, IDC_ANIM_LIST, i, true);
}

std::vector<int> locSelected(UI_Dialog* d)
{
    int locItems[300];
    int n = UI_ListGetSelItems(d, IDC_ANIM_LIST, locItems, 300);
    return std::vector<int>(locItems, locItems + std::max(0, n));
}

// The frames the level plays, as their first vertices divided by 24 (the cube's size).
std::vector<uint32_t> locPlayed(const QR_MeshLod& aLod)
{
    std::vector<uint32_t> locFrames;
    for (uint32_t i = 0; i < aLod.myNumFrames; i++)
        locFrames.push_back(aLod.myFrames[i].myFirstVertex / 24);
    return locFrames;
}
} // namespace

TEST_F(DialogTest, AnimationListOperationsReorderTheFrames)
{
    StartScene();
    Open(locModel({{"anim", locAnimatedCube(12)}}));
    QR_Mesh* locMesh = e->GetTemplate()->myParts[0].myMesh;
    QR_MeshLod& l = locMesh->myLods[0];
    CEditAnimationDlg locDialog;
    locDialog.SetMesh(0, locMesh);
    UI_SetModalHook([&](UI_Dialog* d) {
        ASSERT_EQ(UI_ListGetCount(d, IDC_ANIM_LIST), 12);
        EXPECT_EQ(Text(d, IDC_ANIM_SECONDS), "0.500");
        // {1, 2} up: both one place up, the former first line third.
        locSelect(d, {1, 2});
        UI_ClickButton(d, IDC_ANIM_UP);
        EXPECT_EQ(locPlayed(l), (std::vector<uint32_t>{1, 2, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
        EXPECT_EQ(locSelected(d), (std::vector<int>{0, 1}));
        EXPECT_EQ(locListTexts(d)[0], "2");
        // Up by 10 from position 4 moves up by 4.
        locSelect(d, {4, 6});
        UI_ClickButton(d, IDC_ANIM_UP10);
        EXPECT_EQ(locPlayed(l), (std::vector<uint32_t>{4, 1, 6, 2, 0, 3, 5, 7, 8, 9, 10, 11}));
        EXPECT_EQ(locSelected(d), (std::vector<int>{0, 2}));
        // Down by 10 from position 9: to the bottom.
        locSelect(d, {9});
        UI_ClickButton(d, IDC_ANIM_DOWN10);
        EXPECT_EQ(locPlayed(l), (std::vector<uint32_t>{4, 1, 6, 2, 0, 3, 5, 7, 8, 10, 11, 9}));
        locSelect(d, {10, 11});
        UI_ClickButton(d, IDC_ANIM_DOWN);
        EXPECT_EQ(locPlayed(l), (std::vector<uint32_t>{4, 1, 6, 2, 0, 3, 5, 7, 8, 10, 9, 11}));
        // Flip reverses the selected lines among their places.
        locSelect(d, {0, 1, 3, 11});
        UI_ClickButton(d, IDC_ANIM_FLIP);
        EXPECT_EQ(locPlayed(l), (std::vector<uint32_t>{11, 2, 6, 1, 0, 3, 5, 7, 8, 10, 9, 4}));
        EXPECT_EQ(locSelected(d), (std::vector<int>{0, 1, 3, 11}));
        // Copy: the same number again, the same vertex range played.
        locSelect(d, {2});
        UI_ClickButton(d, IDC_ANIM_COPY);
        ASSERT_EQ(l.myNumFrames, 13u);
        EXPECT_EQ(locListTexts(d)[12], locListTexts(d)[2]);
        EXPECT_EQ(l.myFrames[12].myFirstVertex, l.myFrames[2].myFirstVertex);
        EXPECT_EQ(l.myFrames[12].myNumIndices, l.myFrames[2].myNumIndices);
        // Removing every line is refused: an animation keeps a frame.
        std::vector<int> locAll;
        for (int i = 0; i < 13; i++)
            locAll.push_back(i);
        locSelect(d, locAll);
        UI_ClickButton(d, IDC_ANIM_REMOVE);
        EXPECT_EQ(l.myNumFrames, 13u);
        EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);
        locSelect(d, {0, 12});
        UI_ClickButton(d, IDC_ANIM_REMOVE);
        EXPECT_EQ(l.myNumFrames, 11u);
        EXPECT_EQ(locPlayed(l)[0], 2u);
        UI_SetControlText(d, IDC_ANIM_SECONDS, "0,25");
        UI_ClickButton(d, UI_IDOK);
    });
    EXPECT_EQ(locDialog.DoModal(nullptr), UI_IDOK);
    EXPECT_EQ(l.myFramesPerSecond, 4.0f);
    EXPECT_EQ(l.myNumFrames, 11u);
    Frame();
}

TEST_F(DialogTest, AnimationWithGapsKeepsEveryFrame)
{
    StartScene();
    // Frame 1's vertices are there, but no frame starts at them; a frame of no
    // vertices and a frame past the level's total follow.
    QRB_TestMesh m = locAnimatedCube(4, 1);
    m.myLevels[0].myFrames.insert(m.myLevels[0].myFrames.end(), {96, 0, 0, 0});
    Open(locModel({{"gappy", m}}));
    QR_Mesh* locMesh = e->GetTemplate()->myParts[0].myMesh;
    QR_MeshLod& l = locMesh->myLods[0];
    l.myNumVertices = 48; // the walk's end falls inside the frames
    std::vector<uint32_t> locBefore = locPlayed(l);
    CEditAnimationDlg locDialog;
    locDialog.SetMesh(0, locMesh);
    UI_SetModalHook([&](UI_Dialog* d) {
        EXPECT_EQ(UI_ListGetCount(d, IDC_ANIM_LIST), 4);
        UI_ClickButton(d, UI_IDOK);
    });
    EXPECT_EQ(locDialog.DoModal(nullptr), UI_IDOK);
    EXPECT_EQ(locPlayed(l), locBefore);
    ASSERT_EQ(l.myNumFrames, 4u);
    EXPECT_EQ(l.myFrames[3].myNumVertices, 0u);
    EXPECT_EQ(locDialog.GetDistinctFrames().size(), 4u);
}

namespace
{
// Loads "<name>.qrb" for the LightWave object "<name>.lwo".
bool locLoadFixture(const char* aFileName, const char*, const char*, QR_TemplateObject** aTemplate)
{
    std::string locName = aFileName;
    locName = locName.substr(0, locName.size() - 4) + ".qrb";
    *aTemplate = QR_TemplateObject::Acquire(locName.c_str());
    return *aTemplate != nullptr;
}

QRB_TestMesh locBigCube(uint32_t aCopies, uint32_t aFormat = 0x49)
{
    QRB_TestMesh c = locAnimatedCube(1);
    QRB_TestMesh m = c;
    for (uint32_t i = 1; i < aCopies; i++)
        m.myVertices.insert(m.myVertices.end(), c.myVertices.begin(), c.myVertices.end());
    m.myNumVertices = c.myNumVertices * aCopies;
    m.myLevels[0].myNumVertices = m.myNumVertices;
    m.myLevels[0].myFrames[1] = m.myNumVertices;
    if (aFormat == 0x09)
    {
        // Without the texture coordinates: 24 of every 32 bytes.
        std::vector<uint8_t> locShort;
        for (size_t i = 0; i < m.myVertices.size(); i += 32)
            locShort.insert(locShort.end(), m.myVertices.begin() + long(i), m.myVertices.begin() + long(i) + 24);
        m.myVertices = locShort;
    }
    m.myVertexFormat = aFormat;
    return m;
}
} // namespace

TEST_F(DialogTest, AddMeshAppendsAFrameOrRefuses)
{
    StartScene();
    Open(locModel({{"anim", locAnimatedCube(2)}}));
    ASSERT_NE(MET_LoadModel(locModel({{"frame", locAnimatedCube(1)}}), "frame.qrb"), nullptr);
    ASSERT_NE(MET_LoadModel(locModel({{"huge", locBigCube(2730)}}), "huge.qrb"), nullptr);
    QR_Mesh* locMesh = e->GetTemplate()->myParts[0].myMesh;
    QR_MeshLod& l = locMesh->myLods[0];
    ourPranvelTemplateLoader = locLoadFixture;
    CEditAnimationDlg locDialog;
    locDialog.SetMesh(0, locMesh);
    UI_SetModalHook([&](UI_Dialog* d) {
        myPrompts.AnswerFile((myDir / "frame.lwo").string());
        UI_ClickButton(d, IDC_ANIM_ADD_MESH);
        EXPECT_EQ(locListTexts(d), (std::vector<std::string>{"1", "2", "3"}));
        EXPECT_EQ(UI_ListGetItemData(d, IDC_ANIM_LIST, 2), 2);
        // 48 + 65520 vertices are too many.
        myPrompts.AnswerFile((myDir / "huge.lwo").string());
        UI_ClickButton(d, IDC_ANIM_ADD_MESH);
        myPrompts.AnswerFile((myDir / "nothing.lwo").string());
        UI_ClickButton(d, IDC_ANIM_ADD_MESH);
        EXPECT_EQ(UI_ListGetCount(d, IDC_ANIM_LIST), 3);
        UI_ClickButton(d, UI_IDOK);
    });
    EXPECT_EQ(locDialog.DoModal(nullptr), UI_IDOK);
    std::vector<std::string> locBoxes = myPrompts.GetBoxes();
    ASSERT_EQ(locBoxes.size(), 2u);
    EXPECT_EQ(locBoxes[0], "Error|Failed to add mesh because of too many vertices");
    EXPECT_EQ(locBoxes[1], "Error|Failed to load mesh");
    EXPECT_EQ(locMesh->myNumVertices, 72u);
    EXPECT_EQ(l.myNumVertices, 72u);
    ASSERT_EQ(l.myNumFrames, 3u);
    EXPECT_EQ(l.myFrames[2].myFirstVertex, 48u);
    EXPECT_EQ(l.myFrames[2].myStartIndex, 2 * l.myFrames[1].myNumIndices);
    // The appended indices point into the appended vertices.
    for (uint32_t i = l.myFrames[2].myStartIndex; i < locMesh->myNumIndices; i++)
        EXPECT_GE(locMesh->myIndexData[i], 48u);
    // Drawn again after the append: the mesh's device data came back.
    EXPECT_NE(locMesh->myCompiledVertexShader, nullptr);
    Frame();
}

TEST_F(DialogTest, AddMeshRefusesOtherVertexFormats)
{
    StartScene();
    Open(locModel({{"anim", locBigCube(1667)}}));
    ASSERT_NE(MET_LoadModel(locModel({{"other", locBigCube(1, 0x09)}}), "other.qrb"), nullptr);
    ASSERT_NE(MET_LoadModel(locModel({{"many", locBigCube(1250)}}), "many.qrb"), nullptr);
    ourPranvelTemplateLoader = locLoadFixture;
    CEditAnimationDlg locDialog;
    locDialog.SetMesh(0, e->GetTemplate()->myParts[0].myMesh);
    UI_SetModalHook([&](UI_Dialog* d) {
        myPrompts.AnswerFile((myDir / "other.lwo").string());
        UI_ClickButton(d, IDC_ANIM_ADD_MESH);
        // 40008 + 30000 vertices.
        myPrompts.AnswerFile((myDir / "many.lwo").string());
        UI_ClickButton(d, IDC_ANIM_ADD_MESH);
        UI_ClickButton(d, UI_IDCANCEL);
    });
    locDialog.DoModal(nullptr);
    std::vector<std::string> locBoxes = myPrompts.GetBoxes();
    ASSERT_EQ(locBoxes.size(), 2u);
    EXPECT_EQ(locBoxes[0], "Error|Failed to add mesh because of different vertex formats");
    EXPECT_EQ(locBoxes[1], "Error|Failed to add mesh because of too many vertices");
    EXPECT_EQ(e->GetTemplate()->myParts[0].myMesh->myNumVertices, 40008u);
}

// --- light set-up ---

TEST_F(DialogTest, LightDialogSetsAmbientAndLightInTheScene)
{
    StartScene();
    QRB_TestModel m = MET_BoxModel();
    m.myParts[0].myMesh.mySettings[1] = 1; // lit: ambient and light show
    Open(m);
    e->myGridEnable = false;
    e->SetObjectColor(0, 0xFFFFFF);
    e->SetAmbientColor(0x000000);
    e->SetDirectionalLight(0.5f, 0.25f, 0.0f, 0.0f, 0.0f);
    uint32_t locDark = PixelAt(Frame(), 0.0f, 0.5f, 0.0f);
    PranvelInstallDialogs();
    UI_SetModalHook([&](UI_Dialog* d) {
        EXPECT_EQ(Text(d, IDC_LIGHT_DIRECTION), "28.6479");
        EXPECT_EQ(Text(d, IDC_LIGHT_ZPOS), "0");
        // A component past 255 stays in its own byte.
        UI_SetControlText(d, IDC_LIGHT_AMBIENT_RED, "300");
        UI_SetControlText(d, IDC_LIGHT_AMBIENT_GREEN, "0");
        UI_SetControlText(d, IDC_LIGHT_AMBIENT_BLUE, "64");
        FocusOut(d, IDC_LIGHT_AMBIENT_RED);
        EXPECT_EQ(e->GetAmbientColor(), 0xFF0040u);
        UI_SetControlText(d, IDC_LIGHT_DIR_GREEN, "255");
        FocusOut(d, IDC_LIGHT_DIR_GREEN);
        EXPECT_FLOAT_EQ(e->GetDirLightColor()[1], 1.0f);
        UI_SetControlText(d, IDC_LIGHT_DIRECTION, "90");
        UI_SetButtonCheck(d, IDC_LIGHT_DOT3, true);
        UI_ClickButton(d, UI_IDOK);
    });
    PranvelLightSetup locValues;
    ASSERT_TRUE(ourPranvelDialogs.myRunLightSetup(&locValues));
    EXPECT_EQ(locValues.myDirection, 90.0f);
    EXPECT_EQ(locValues.myGreen, 255);
    EXPECT_EQ(locValues.myAmbientBGR, 0x4000FFu); // as the swatch holds it
    EXPECT_TRUE(e->myLightVectorColoring);
    e->myLightVectorColoring = false;
    uint32_t locLit = PixelAt(Frame(), 0.0f, 0.5f, 0.0f);
    EXPECT_NE(locLit, locDark);
    EXPECT_GT((locLit >> 16) & 0xFF, (locDark >> 16) & 0xFF) << std::hex << locLit << " " << locDark;

    // The swatch opens the chooser and fills the fields.
    UI_SetModalHook([&](UI_Dialog* d) {
        myPrompts.AnswerColor(0x00102030);
        UI_ClickButton(d, IDC_LIGHT_AMBIENT_SWATCH);
        EXPECT_EQ(Text(d, IDC_LIGHT_AMBIENT_RED), "48");
        EXPECT_EQ(e->GetAmbientColor(), 0x302010u);
        UI_ClickButton(d, UI_IDCANCEL);
    });
    EXPECT_FALSE(ourPranvelDialogs.myRunLightSetup(&locValues));
}

// --- options ---

TEST_F(DialogTest, OptionsApplyRefuseAndRunHaloCommands)
{
    StartScene();
    e->myDefaultHaloSurface = "surfaces/Halo";
    fs::create_directories(myDir / "work");
    COptionsDlg locDialog;
    UI_SetModalHook([&](UI_Dialog* d) {
        EXPECT_TRUE(UI_IsButtonChecked(d, IDC_OPT_FOG_ACTIVE));
        EXPECT_EQ(Text(d, IDC_OPT_NEARPLANE), "0.10");
        UI_SetControlText(d, IDC_OPT_WORKDIR, (myDir / "missing").c_str());
        UI_ClickButton(d, UI_IDOK);
        UI_SetControlText(d, IDC_OPT_WORKDIR, (myDir / "work").c_str());
        UI_SetControlText(d, IDC_OPT_NEARPLANE, "0");
        UI_ClickButton(d, UI_IDOK);
        UI_SetControlText(d, IDC_OPT_NEARPLANE, "5");
        UI_SetControlText(d, IDC_OPT_FARPLANE, "5");
        UI_ClickButton(d, UI_IDOK);
        EXPECT_EQ(myPrompts.GetBoxes().size(), 3u);
        UI_SetControlText(d, IDC_OPT_NEARPLANE, "0,5");
        UI_SetControlText(d, IDC_OPT_FARPLANE, "300");
        UI_SetControlText(d, IDC_OPT_FOG_START, "0,5");
        UI_SetControlText(d, IDC_OPT_GRID_SIZE, "2,5");
        UI_SetButtonCheck(d, IDC_OPT_GRID, false);
        UI_SetButtonCheck(d, IDC_OPT_AUTO_FAR, false);
        UI_SetControlText(d, IDC_OPT_HALO, "SURFACES/HALO");
        UI_SetControlText(d, IDC_OPT_SURFACE, "surfaces/stone.sur");
        myPrompts.AnswerColor(0x000080FF);
        UI_ClickButton(d, IDC_OPT_BG_SWATCH);
        UI_ClickButton(d, UI_IDOK);
    });
    EXPECT_EQ(locDialog.DoModal(nullptr), UI_IDOK);
    EXPECT_FLOAT_EQ(e->GetFogStart(), 0.5f);
    EXPECT_FLOAT_EQ(e->GetNearPlane(), 0.5f);
    EXPECT_FLOAT_EQ(e->GetFarPlane(), 300.0f);
    EXPECT_FLOAT_EQ(e->GetView()->myCamera.myFarSquared, 90000.0f);
    EXPECT_FLOAT_EQ(e->myGridSize, 2.5f);
    EXPECT_FALSE(e->myGridEnable);
    EXPECT_EQ(e->GetBgColor(), 0xFF8000u);
    EXPECT_EQ(std::string(e->GetWorkDir()), (myDir / "work").string() + "/");
    EXPECT_EQ(fs::current_path(), myDir / "work");
    // The halo differs only in case: no command; the surface does.
    EXPECT_EQ(ourExecuted, (std::vector<std::string>{"DEFAULTSURFACE"}));
}

// --- the frame's Colors entry ---

TEST_F(DialogTest, ColorsCommandTogglesTheModelessDialogAndItsCheckMark)
{
    PranvelInstallDialogs();
    myApp = new CPranvelApp;
    static char ourName[] = "Pranvel";
    static char* ourArgv[] = {ourName, nullptr};
    ASSERT_TRUE(myApp->InitInstance(1, ourArgv));
    UI_Frame* locFrame = myApp->GetMainFrame()->GetFrame();
    UI_Dialog* locColors = PranvelGetColorsDialog()->GetDialog();
    ASSERT_NE(locColors, nullptr);
    EXPECT_FALSE(UI_IsDialogVisible(locColors));
    UI_CommandState locState;
    UI_FrameUpdateCommands(locFrame);
    ASSERT_TRUE(UI_FrameGetCommandState(locFrame, ID_TOOLS_COLORS, &locState));
    EXPECT_TRUE(locState.myEnabled);
    EXPECT_FALSE(locState.myChecked);
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_COLORS));
    EXPECT_TRUE(UI_IsDialogVisible(locColors));
    UI_FrameUpdateCommands(locFrame);
    UI_FrameGetCommandState(locFrame, ID_TOOLS_COLORS, &locState);
    EXPECT_TRUE(locState.myChecked);
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_COLORS));
    EXPECT_FALSE(UI_IsDialogVisible(locColors));
    UI_FrameUpdateCommands(locFrame);
    UI_FrameGetCommandState(locFrame, ID_TOOLS_COLORS, &locState);
    EXPECT_FALSE(locState.myChecked);
    // Closed by its window: the check mark goes with it, and the entry shows it again.
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_COLORS));
    UI_GetDialogWidget(locColors)->close();
    EXPECT_FALSE(UI_IsDialogVisible(locColors));
    UI_FrameUpdateCommands(locFrame);
    UI_FrameGetCommandState(locFrame, ID_TOOLS_COLORS, &locState);
    EXPECT_FALSE(locState.myChecked);
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_COLORS));
    EXPECT_TRUE(UI_IsDialogVisible(locColors));
    // Ctrl+M without a model shows nothing.
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_MESH_EDITOR));
    myApp->ExitInstance();
    delete myApp;
    myApp = nullptr;
    EXPECT_EQ(PranvelGetColorsDialog()->GetDialog(), nullptr);
}

// --- setup surface ---

TEST_F(DialogTest, SurfaceDialogListsFilesAndRecordsItsCommands)
{
    ASSERT_TRUE(QRT_WriteSampleFolder(myDir.string()));
    fs::copy_file(myDir / "surfaces/stone.sur", myDir / "surfaces/EXTRA.SUR");
    std::ofstream(myDir / "surfaces/notes.txt") << "not a surface";
    StartScene();
    QRB_TestMesh locStone = locStoneCube();
    QRB_TestModel m = locModel({{"stonebox", locStone}});
    m.myParts[0].mySlots = {{0, 1.0f, {"textures/wood"}}};
    Open(m);
    // A slot past the model's parts shows nothing.
    UI_SetModalHook([&](UI_Dialog*) { ADD_FAILURE() << "no dialog expected"; });
    EXPECT_FALSE(PranvelEditSurface(7, nullptr));
    UI_SetModalHook([&](UI_Dialog* d) {
        int n = UI_ComboGetCount(d, IDC_SURF_FILE);
        std::vector<std::string> locEntries;
        for (int i = 0; i < n; i++)
        {
            std::string t;
            UI_ComboGetText(d, IDC_SURF_FILE, i, &t);
            locEntries.push_back(t);
        }
        ASSERT_GE(n, 4);
        EXPECT_EQ(locEntries[0], "Default solid");
        EXPECT_EQ(locEntries[1], "Default alpha");
        EXPECT_NE(std::find(locEntries.begin(), locEntries.end(), "EXTRA.SUR"), locEntries.end());
        EXPECT_EQ(std::find(locEntries.begin(), locEntries.end(), "notes.txt"), locEntries.end());
        std::string locChosen;
        UI_ComboGetText(d, IDC_SURF_FILE, UI_ComboGetCurSel(d, IDC_SURF_FILE), &locChosen);
        EXPECT_EQ(locChosen, "stone.sur");
        ASSERT_EQ(UI_ListGetCount(d, IDC_SURF_TEXTURES), 1);
        std::string locTexture;
        UI_ListGetText(d, IDC_SURF_TEXTURES, 0, &locTexture);
        EXPECT_EQ(locTexture, "textures/wood");
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_SURF_EDIT));
        // The alpha reference stays within 0..255.
        UI_SetControlText(d, IDC_SURF_ALPHA_REF, "-5");
        EXPECT_EQ(Text(d, IDC_SURF_ALPHA_REF), "0");
        UI_SetControlText(d, IDC_SURF_ALPHA_REF, "300");
        EXPECT_EQ(Text(d, IDC_SURF_ALPHA_REF), "255");
        UI_SetControlText(d, IDC_SURF_ALPHA_REF, "128");
        // A texture: its three-letter extension goes, a longer one stays.
        UI_ListClick(d, IDC_SURF_TEXTURES, 0);
        myPrompts.AnswerFile((myDir / "textures/new.tga").string());
        UI_ClickButton(d, IDC_SURF_CHANGE_TEXTURE);
        // The list was filled again: a line is chosen anew.
        UI_ListClick(d, IDC_SURF_TEXTURES, 0);
        myPrompts.AnswerFile((myDir / "textures/new.tiff").string());
        UI_ClickButton(d, IDC_SURF_CHANGE_TEXTURE);
        int locExtra = int(std::find(locEntries.begin(), locEntries.end(), "EXTRA.SUR") - locEntries.begin());
        UI_ComboPick(d, IDC_SURF_FILE, locExtra);
        UI_ClickButton(d, UI_IDOK);
    });
    EXPECT_TRUE(PranvelEditSurface(0, nullptr));
    std::vector<std::string> locLines;
    for (const std::string& l : SavedLines())
        if (l.rfind("CHANGETEXTURE", 0) == 0 || l.rfind("SELECTSURFACE", 0) == 0)
            locLines.push_back(l);
    ASSERT_EQ(locLines.size(), 3u);
    // The path as the file dialog gives it back.
    EXPECT_NE(locLines[0].find("textures/new\" 0 0"), std::string::npos) << locLines[0];
    EXPECT_NE(locLines[1].find("textures/new.tiff\" 0 0"), std::string::npos) << locLines[1];
    EXPECT_EQ(locLines[2], "SELECTSURFACE \"surfaces/EXTRA.SUR\" 0 128");
}

TEST_F(DialogTest, TreeEditSurfaceRebuildsOnOKOnlyAndNeedsASurface)
{
    ASSERT_TRUE(QRT_WriteSampleFolder(myDir.string()));
    StartScene();
    QRB_TestMesh locStone = locStoneCube();
    QRB_TestModel m = locModel({{"stonebox", locStone}});
    QRB_TestPart locNull;
    locNull.myName = "empty";
    locNull.myStates = m.myParts[0].myStates;
    m.myParts.push_back(locNull);
    Open(m);
    struct CountingTree : QRenderEditorTree
    {
        void DeleteAll() override { myRebuilds++; }
        intptr_t Append(intptr_t, const char*, intptr_t) override { return ++myItems; }
        intptr_t GetChild(intptr_t) override { return 0; }
        intptr_t GetNext(intptr_t) override { return 0; }
        QC_String GetText(intptr_t) override { return QC_String(); }
        void Expand(intptr_t) override {}
        int myRebuilds = 0;
        intptr_t myItems = 0;
    } locTree;
    int locDialogs = 0;
    UI_SetModalHook([&](UI_Dialog* d) {
        locDialogs++;
        UI_ClickButton(d, locDialogs == 1 ? UI_IDCANCEL : UI_IDOK);
    });
    // The part without a mesh has no surface: no dialog.
    PranvelTreeEditSurface(nullptr, &locTree, 1, nullptr);
    EXPECT_EQ(locDialogs, 0);
    PranvelTreeEditSurface(nullptr, &locTree, 0, nullptr);
    EXPECT_EQ(locDialogs, 1);
    EXPECT_EQ(locTree.myRebuilds, 0);
    PranvelTreeEditSurface(nullptr, &locTree, 0, nullptr);
    EXPECT_EQ(locDialogs, 2);
    EXPECT_EQ(locTree.myRebuilds, 1);
    EXPECT_GT(locTree.myItems, 0);
}

// --- the program: settings kept, Ctrl+L, mouse moves over a dialog ---

namespace
{
void locProcess()
{
    for (int i = 0; i < 5; i++)
        QCoreApplication::processEvents();
}
} // namespace

TEST_F(DialogTest, ProgramKeepsDialogSettingsAndAppliesTheLight)
{
    PranvelInstallDialogs();
    std::ofstream(myDir / "states.txt") << "STND Standing\r\n";
    std::ofstream(myDir / "pranvel.cfg") << "stateFile states.txt\r\n";
    static char ourName[] = "Pranvel";
    static char* ourArgv[] = {ourName, nullptr};
    myApp = new CPranvelApp;
    ASSERT_TRUE(myApp->InitInstance(1, ourArgv));
    UI_Frame* locFrame = myApp->GetMainFrame()->GetFrame();
    e = QRenderEditor::ourInstance;
    ASSERT_NE(e, nullptr);
    QRB_TestModel m = MET_BoxModel();
    m.myParts[0].myMesh.mySettings[1] = 1; // lit
    Open(m);
    e->myGridEnable = false;
    e->SetObjectColor(0, 0xFFFFFF);
    e->SetAmbientColor(0);
    e->SetDirectionalLight(0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    myApp->GetMainFrame()->GetView()->Tick(666);
    uint32_t locBefore = PixelAt(Frame(), 0.0f, 0.5f, 0.0f);

    // Ctrl+L: the dialog's ambient colour reaches the view in the scene's byte order.
    UI_SetModalHook([&](UI_Dialog* d) {
        UI_SetControlText(d, IDC_LIGHT_AMBIENT_RED, "200");
        UI_SetControlText(d, IDC_LIGHT_AMBIENT_GREEN, "10");
        UI_SetControlText(d, IDC_LIGHT_AMBIENT_BLUE, "0");
        UI_ClickButton(d, UI_IDOK);
    });
    QWidget* locWindow = UI_GetFrameWidget(locFrame);
    locWindow->activateWindow();
    locProcess();
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_SETUP_LIGHT));
    EXPECT_EQ(e->GetAmbientColor(), 0xC80A00u);
    uint32_t locAfter = PixelAt(Frame(), 0.0f, 0.5f, 0.0f);
    EXPECT_GT((locAfter >> 16) & 0xFF, ((locBefore >> 16) & 0xFF) + 0x40) << std::hex << locBefore << " " << locAfter;

    // Options and a tint, kept in pranvel.cfg at exit.
    UI_SetModalHook([&](UI_Dialog* d) {
        UI_SetControlText(d, IDC_OPT_GRID_SIZE, "2,5");
        UI_SetControlText(d, IDC_OPT_FOG_START, "0,5");
        UI_SetButtonCheck(d, IDC_OPT_AUTO_FAR, false);
        UI_SetControlText(d, IDC_OPT_FARPLANE, "123");
        UI_ClickButton(d, UI_IDOK);
    });
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_OPTIONS));
    EXPECT_FLOAT_EQ(e->myGridSize, 2.5f);
    UI_Dialog* locColors = PranvelGetColorsDialog()->GetDialog();
    ASSERT_NE(locColors, nullptr);
    EXPECT_TRUE(UI_FrameDoCommand(locFrame, ID_TOOLS_COLORS));
    myPrompts.AnswerColor(0x00563412);
    QTest::mouseDClick(UI_GetControlWidget(locColors, IDC_OBJECT_COLOR_FIRST + 6), Qt::LeftButton);
    EXPECT_EQ(e->GetObjectColor(6), 0x123456u);

    // Mouse moves over the dialog turn the camera as over the view.
    float locHeading = e->GetCameraHeading();
    QWidget* locDialog = UI_GetDialogWidget(locColors);
    for (int x : {10, 30})
    {
        QMouseEvent locMove(QEvent::MouseMove, QPointF(x, 5), QPointF(x, 5), Qt::NoButton, Qt::LeftButton,
                            Qt::NoModifier);
        QApplication::sendEvent(locDialog, &locMove);
    }
    EXPECT_NE(e->GetCameraHeading(), locHeading);

    myApp->ExitInstance();
    delete myApp;
    myApp = nullptr;
    PranvelSettings locSaved;
    ASSERT_TRUE(ReadSettingsFile((myDir / "pranvel.cfg").c_str(), &locSaved));
    EXPECT_FLOAT_EQ(locSaved.myGridSize, 2.5f);
    EXPECT_FLOAT_EQ(locSaved.myFogStart, 0.5f);
    EXPECT_FLOAT_EQ(locSaved.myFarPlane, 123.0f);
    EXPECT_FALSE(locSaved.myAutoCalcFarplane);
    EXPECT_EQ(locSaved.myObjectColors[6], 0x123456u);
    EXPECT_EQ(locSaved.myAmbientColor, 0xC80A00u);

    // The next start reads them back.
    myApp = new CPranvelApp;
    ASSERT_TRUE(myApp->InitInstance(1, ourArgv));
    e = QRenderEditor::ourInstance;
    EXPECT_FLOAT_EQ(e->myGridSize, 2.5f);
    EXPECT_FLOAT_EQ(e->GetFarPlane(), 123.0f);
    EXPECT_EQ(e->GetObjectColor(6), 0x123456u);
    EXPECT_EQ(PranvelGetColorsDialog()->GetSwatch(6).myColor, 0x563412u);
}

TEST_F(DialogTest, SurfaceFolderFoundWhateverItsCase)
{
    ASSERT_TRUE(QRT_WriteSampleFolder(myDir.string()));
    StartScene();
    QRB_TestMesh locStone = locStoneCube();
    Open(locModel({{"stonebox", locStone}}));
    fs::rename(myDir / "surfaces", myDir / "SurFaces");
    int locCount = 0;
    UI_SetModalHook([&](UI_Dialog* d) {
        locCount = UI_ComboGetCount(d, IDC_SURF_FILE);
        UI_ClickButton(d, UI_IDCANCEL);
    });
    EXPECT_FALSE(PranvelEditSurface(0, nullptr));
    // The two defaults and the sample's surface files.
    EXPECT_GT(locCount, 3);
    EXPECT_TRUE(ourExecuted.empty());
}
