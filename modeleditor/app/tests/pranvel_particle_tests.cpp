// The particle editor offscreen with real widgets, scripted prompts and real files on
// llvmpipe: new and existing emitters, phases and their limits, the range checks, Browse,
// Add and Apply; and the tree's two emitter commands over the editor scene.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "modeleditor/app/pranvel_emittercmds.h"
#include "modeleditor/app/pranvel_emitterfile.h"
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_leftview.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_view.h"
#include "modeleditor/app/pranvel_particleeddlg.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/app/tests/pranvel_particle_fixture.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/input/in_script.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"

namespace fs = std::filesystem;

namespace
{
class UiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "pranvel_particle_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);

// Control ids of the editor (dialog 164).
enum
{
    P_FILE_FIELD = 1135, P_FILE_BROWSE = 1136, P_TYPE = 1041, P_ORIGIN = 1042, P_ORIGIN_X = 1167, P_LIFETIME = 1034,
    P_SPAWNTIME = 1035, P_TEXTURE = 1118, P_ROTATION = 1043, P_ANIMATED = 1051, P_WIDTH = 1170, P_HEIGHT = 1171,
    P_NUM_TEXTURES = 1119, P_FRAME_TIME = 1120, P_SPACE = 1044, P_VELX_MIN = 1108, P_VELX_OP = 1045, P_PHASE_TIME = 1107,
    P_SIZE_MIN = 1098, P_SIZE_MAX = 1099, P_ALPHA_MIN = 1116, P_ALPHA_MAX = 1117, P_ALPHA_OP = 1049, P_PHASE = 1130,
    P_PHASE_COUNT = 1132, P_SLIDER_END = 1133, P_SLIDER = 1129, P_INSERT = 1134, P_DELETE = 1131, P_APPLY = 1155, P_ADD = 1156,
    P_CLOSE = 1
};

class RecordingOwner : public ParticleEditorOwner
{
public:
    bool AddEmitter(const char* anEmitterName, const char* aPartName, const char* aStateCode) override
    {
        myAdded.push_back(std::string(anEmitterName) + "|" + aPartName + "|" + aStateCode);
        return true;
    }
    void EmitterChanged() override { myChanges++; }
    void EditorMouseMove(unsigned aKeyState, int anX, int aY) override
    {
        myMoves.push_back(std::to_string(aKeyState) + "@" + std::to_string(anX) + "," + std::to_string(aY));
    }
    std::vector<std::string> myAdded;
    std::vector<std::string> myMoves;
    int myChanges = 0;
};

std::string Text(UI_Dialog* d, int anId)
{
    std::string s;
    UI_GetControlText(d, anId, &s);
    return s;
}

// The edit loses the focus as when the user tabs away.
void LeaveField(UI_Dialog* d, int anId)
{
    QFocusEvent locEvent(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(UI_GetControlWidget(d, anId), &locEvent);
}

void Type(UI_Dialog* d, int anId, const char* aText, bool aLeaveFlag = true)
{
    UI_SetControlText(d, anId, aText);
    if (aLeaveFlag)
        LeaveField(d, anId);
}

// A folder of the test's own as the working directory, with the editor's particle surface
// and two textures in it; the renderer on llvmpipe.
class ParticleFolder
{
public:
    bool Enter(const std::string& aPrefix)
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / (aPrefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        myOld = fs::current_path();
        fs::current_path(myDir);
        return PET_WriteParticleFiles(64, 32);
    }
    void Leave()
    {
        if (!myOld.empty())
            fs::current_path(myOld);
        myOld.clear();
    }
    fs::path myDir, myOld;
};

class ParticleEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(myFolder.Enter("ped_"));
        ASSERT_TRUE(PET_StartRenderer()) << GFX_GetLastErrorDetail();
        UI_SetPromptService(&myPrompts);
    }
    void TearDown() override
    {
        UI_SetModalHook(nullptr);
        UI_SetPromptService(nullptr);
        EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr); // the editor released its definition
        PET_StopRenderer();
        myFolder.Leave();
    }
    // Runs the editor; aScript acts in it as the user would, then Close is pressed.
    intptr_t Run(CParticleEdDlg& anEditor, const std::function<void(UI_Dialog*)>& aScript)
    {
        UI_SetModalHook([&](UI_Dialog* d) {
            myEditor = &anEditor;
            aScript(d);
            UI_ClickButton(d, P_CLOSE);
        });
        intptr_t r = anEditor.DoModal(nullptr);
        UI_SetModalHook(nullptr);
        return r;
    }
    // The definition under edit; a new emitter replaces it.
    static const QR_SharedGenericParticleData& Def(CParticleEdDlg& anEditor) { return *anEditor.GetDefinition(); }

    ParticleFolder myFolder;
    UI_ScriptedPrompts myPrompts;
    RecordingOwner myOwner;
    CParticleEdDlg* myEditor = nullptr;
};

// A file of three phases written by the editor's writer.
void WriteThreePhases(const char* aName)
{
    EmitterRecord e;
    e.myFlags = 4 | 2 | 1;
    e.myOrigin = 1;
    e.myOriginExtents[0] = 2, e.myOriginExtents[1] = 1;
    e.mySurface = "surfaces/particle_additive.sur";
    e.myTexture = "fx/strip";
    e.myNumFrames = 4, e.myFrameWidth = 16, e.myFrameHeight = 16, e.myFrameTime = 0.25f;
    e.myRotation = 2, e.myRotationSpeedMin = 1, e.myRotationSpeedMax = 3;
    e.myTotalTime = 30, e.mySpawnTime = 0.05f;
    e.myVelocitySpace = 1;
    e.myVelocityMax[0] = 1, e.myVelocityMax[1] = 2, e.myVelocityMax[2] = 3;
    e.myAlphaMin = 100, e.myAlphaMax = 200;
    for (int i = 0; i < 3; i++)
    {
        EmitterPhaseRecord p;
        p.myLength = 1.0f + (float)i;
        p.myVelocityMin[0] = (float)(10 * (i + 1));
        p.mySizeMax = 0.5f * (float)(i + 1);
        p.myAlphaOp = (uint32_t)i;
        e.myPhases.push_back(p);
    }
    ASSERT_TRUE(WriteEmitterFile(aName, e));
}
} // namespace

TEST_F(ParticleEditorTest, NewEmitterIsAddedOnceThenApplied)
{
    CParticleEdDlg locEditor(&myOwner);
    locEditor.SetNewEmitterNames("arm", "WALK");
    int locLeft = -1;
    intptr_t r = Run(locEditor, [&](UI_Dialog* d) {
        EXPECT_EQ(UI_GetDialogTitle(d), "Particle Editor");
        locLeft = UI_GetControlWidget(d, P_FILE_FIELD)->window()->frameGeometry().left();
        EXPECT_EQ(UI_GetControlWidget(d, P_FILE_FIELD)->toolTip().toStdString(),
                  "Filename of emitter. Load existing or create new. Modify filename to save a new modified emitter.");
        EXPECT_EQ(UI_GetControlWidget(d, P_ADD)->toolTip().toStdString(), "Save emitter to file and add to scene.");
        // A new emitter: one phase, the documented starting fields, Apply off until Add.
        EXPECT_FALSE(UI_IsControlEnabled(d, P_APPLY));
        EXPECT_TRUE(UI_IsControlEnabled(d, P_ADD));
        EXPECT_EQ(Text(d, P_LIFETIME), "9999999");
        EXPECT_EQ(Text(d, P_SPAWNTIME), "0.1");
        EXPECT_EQ(Text(d, P_PHASE), "0");
        EXPECT_EQ(Text(d, P_PHASE_COUNT), "1");
        EXPECT_EQ(Text(d, P_SLIDER_END), "0"); // N - 1, as the original shows it
        EXPECT_EQ(Text(d, P_PHASE_TIME), "0");
        EXPECT_EQ(Text(d, P_ALPHA_MIN), "255");
        EXPECT_EQ(UI_ComboGetCurSel(d, P_SPACE), 1); // world
        const QR_SharedGenericParticleData& def = Def(locEditor);
        EXPECT_STREQ(def.myName, CParticleEdDlg::DEFINITION_NAME);
        ASSERT_EQ(def.myNumPhases, 1u);
        EXPECT_EQ(def.myPhases[0].myVelocityMax[1], 1.0f);
        EXPECT_EQ(def.myPhases[0].mySizeMin, 0.1f);
        EXPECT_EQ(def.myVelocitySpace, 0);
        EXPECT_FALSE(UI_IsControlEnabled(d, P_NUM_TEXTURES)); // strip off

        Type(d, P_FILE_FIELD, "fx/smoke");
        Type(d, P_TEXTURE, "fx/dummy");
        UI_ComboPick(d, P_ORIGIN, 3);
        Type(d, P_ORIGIN_X, "1.5");
        Type(d, P_ORIGIN_X + 2, "0.25");
        UI_ClickButton(d, P_ADD);
        EXPECT_FALSE(UI_IsControlEnabled(d, P_ADD));
        EXPECT_TRUE(UI_IsControlEnabled(d, P_APPLY));
        Type(d, P_SPAWNTIME, "0.5");
        UI_ClickButton(d, P_APPLY);
    });
    EXPECT_EQ(r, UI_IDOK);
    EXPECT_EQ(locLeft, 0); // moved to the screen's left edge
    EXPECT_EQ(myOwner.myAdded, std::vector<std::string>{"fx/smoke|arm|WALK"});
    EXPECT_EQ(myOwner.myChanges, 1);
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
    // Saved as name.pe, read back by the renderer with the last Apply's values.
    ASSERT_TRUE(fs::exists("fx/smoke.pe"));
    auto* locRead = static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Acquire("fx/smoke"));
    ASSERT_NE(locRead, nullptr);
    EXPECT_EQ(locRead->myOrigin, 3u);
    EXPECT_EQ(locRead->myOriginExtents[0], 1.5f);
    EXPECT_EQ(locRead->myOriginExtents[2], 0.25f);
    EXPECT_EQ(locRead->mySpawnTime, 0.5f);
    EXPECT_EQ(locRead->myTotalTime, 1e7f); // "%g" of 9999999
    ASSERT_EQ(locRead->myNumPhases, 1u);
    EXPECT_EQ(locRead->myPhases[0].myVelocityMin[1], 1.0f);
    EXPECT_EQ(locRead->myVelocitySpace, 0);
    QR_SharedParticleData::Release(locRead);
}

TEST_F(ParticleEditorTest, PhaseLimitsInsertAndDelete)
{
    CParticleEdDlg locEditor(&myOwner);
    Run(locEditor, [&](UI_Dialog* d) {
        const QR_SharedGenericParticleData& def = Def(locEditor);
        // One phase: Delete refuses.
        UI_ClickButton(d, P_DELETE);
        EXPECT_EQ(def.myNumPhases, 1u);
        // Insert on phase 0: phase 1 from the base values, every operation Set.
        Type(d, P_VELX_MIN, "2");
        Type(d, P_ALPHA_MIN, "-100");
        UI_ClickButton(d, P_INSERT);
        ASSERT_EQ(def.myNumPhases, 2u);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 0);
        EXPECT_EQ(def.myPhases[0].myVelocityMin[0], 2.0f);
        EXPECT_EQ(def.myPhases[0].myAlphaMin, -100.0f);
        EXPECT_EQ(def.myPhases[0].myVelocityBlend[0], 0u);
        EXPECT_EQ(def.myPhases[0].myAlphaBlend, 0u);
        EXPECT_EQ(def.myPhases[1].mySizeMin, 0.1f); // the old phase moved up
        EXPECT_EQ(Text(d, P_PHASE_COUNT), "2");
        EXPECT_EQ(Text(d, P_SLIDER_END), "1");
        // Two phases, phase 0 shown: Delete does nothing.
        UI_ClickButton(d, P_DELETE);
        EXPECT_EQ(def.myNumPhases, 2u);
        // Up to 250, then the limit.
        while (def.myNumPhases < 250)
            UI_ClickButton(d, P_INSERT);
        EXPECT_EQ(Text(d, P_PHASE_COUNT), "250");
        UI_ClickButton(d, P_INSERT);
        EXPECT_EQ(def.myNumPhases, 250u);
        // A phase typed past N is clamped before Delete uses it.
        Type(d, P_PHASE, "400", false);
        UI_ClickButton(d, P_DELETE);
        EXPECT_EQ(def.myNumPhases, 249u);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 249);
        Type(d, P_PHASE, "-3", false);
        UI_ClickButton(d, P_INSERT);
        EXPECT_EQ(def.myNumPhases, 250u);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 0);
    });
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"Pranvel|Cannot delete, must have at least two phases.",
                                                               "Pranvel|Cannot add, max is 250 phases."}));
}

TEST_F(ParticleEditorTest, PhaseFieldSliderAndPhaseTime)
{
    WriteThreePhases("fx/three");
    CParticleEdDlg locEditor(&myOwner);
    locEditor.SetEmitterToEdit("fx/three");
    Run(locEditor, [&](UI_Dialog* d) {
        const QR_SharedGenericParticleData& def = Def(locEditor);
        ASSERT_EQ(def.myNumPhases, 3u);
        // Existing emitter: name fixed, Add off, Apply on; base values shown first.
        EXPECT_FALSE(UI_IsControlEnabled(d, P_FILE_FIELD));
        EXPECT_FALSE(UI_IsControlEnabled(d, P_FILE_BROWSE));
        EXPECT_FALSE(UI_IsControlEnabled(d, P_ADD));
        EXPECT_TRUE(UI_IsControlEnabled(d, P_APPLY));
        EXPECT_FALSE(UI_IsControlEnabled(d, P_PHASE_TIME));
        EXPECT_EQ(Text(d, P_FILE_FIELD), "fx/three");
        EXPECT_EQ(Text(d, P_TEXTURE), "fx/strip");
        EXPECT_EQ(Text(d, P_NUM_TEXTURES), "4");
        EXPECT_EQ(Text(d, P_FRAME_TIME), "0.25");
        EXPECT_EQ(Text(d, P_WIDTH), "16");
        EXPECT_EQ(Text(d, P_LIFETIME), "30");
        EXPECT_EQ(Text(d, P_ALPHA_MAX), "200");
        EXPECT_EQ(UI_ComboGetCurSel(d, P_ORIGIN), 1);
        EXPECT_EQ(Text(d, P_ORIGIN_X), "2"); // rectangle 4 x 2 in the file, half-extents here
        EXPECT_TRUE(UI_IsButtonChecked(d, P_ANIMATED));
        EXPECT_TRUE(UI_IsControlEnabled(d, P_NUM_TEXTURES));
        EXPECT_EQ(UI_ComboGetCurSel(d, P_SPACE), 0); // emitter space
        EXPECT_TRUE(UI_IsButtonChecked(d, 1050));
        EXPECT_EQ(Text(d, 1172), "1");
        EXPECT_EQ(Text(d, 1173), "3");
        EXPECT_EQ(Text(d, P_VELX_MIN + 1), "1");
        EXPECT_EQ(Text(d, P_VELX_MIN + 3), "2");
        EXPECT_EQ(Text(d, P_VELX_MIN + 5), "3");

        // The slider to phase 2; a phase time typed with a comma.
        UI_SliderDrag(d, P_SLIDER, 2);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 2);
        EXPECT_TRUE(UI_IsControlEnabled(d, P_PHASE_TIME));
        EXPECT_EQ(Text(d, P_PHASE_TIME), "2");
        EXPECT_EQ(Text(d, P_VELX_MIN), "20");
        EXPECT_EQ(UI_ComboGetCurSel(d, P_ALPHA_OP), 1);
        Type(d, P_PHASE_TIME, "1,5");
        Type(d, P_VELX_MIN, "-7");
        // Typing 3 stores what phase 2 shows, then shows phase 3.
        Type(d, P_PHASE, "3");
        EXPECT_EQ(def.myPhases[1].myLength, 1.5f);
        EXPECT_EQ(def.myPhases[1].myVelocityMin[0], -7.0f);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 3);
        EXPECT_EQ(Text(d, P_VELX_MIN), "30");
        EXPECT_EQ(Text(d, P_PHASE_TIME), "3");
        // A phase past N shows phase N.
        UI_ClickButton(d, P_INSERT); // 4 phases
        UI_SliderDrag(d, P_SLIDER, 2);
        Type(d, P_PHASE, "7");
        EXPECT_EQ(locEditor.GetCurrentPhase(), 4);
        EXPECT_EQ(Text(d, P_VELX_MIN), "30");
        UI_ClickButton(d, P_APPLY);
    });
    EXPECT_EQ(myOwner.myChanges, 1);
    EmitterRecord b;
    ASSERT_TRUE(ReadEmitterFile("fx/three", b, nullptr));
    ASSERT_EQ(b.myPhases.size(), 4u);
    EXPECT_EQ(b.myPhases[1].myLength, 1.5f);
    EXPECT_EQ(b.myPhases[3].myVelocityMin[0], 30.0f);
    EXPECT_EQ(b.myFrameWidth, 16);
    EXPECT_EQ(b.myNumFrames, 4);
    EXPECT_EQ(b.myRotation, 2u);
    EXPECT_EQ(b.myOriginExtents[0], 2.0f);
}

TEST_F(ParticleEditorTest, RangeChecksAndSaveFailures)
{
    CParticleEdDlg locEditor(&myOwner);
    intptr_t r = Run(locEditor, [&](UI_Dialog* d) {
        Type(d, P_FILE_FIELD, "fx/bad");
        Type(d, P_TEXTURE, "fx/dummy");
        Type(d, P_ALPHA_MAX, "300", false);
        UI_ClickButton(d, P_ADD); // refused by the range check
        Type(d, P_ALPHA_MAX, "255", false);
        Type(d, P_SIZE_MIN, "-1", false);
        UI_ClickButton(d, P_ADD);
        Type(d, P_SIZE_MIN, "0.1", false);
        Type(d, P_ORIGIN_X, "70000", false);
        UI_ClickButton(d, P_CLOSE); // stays open
        Type(d, P_ORIGIN_X, "0", false);
        // No texture: what no reader could take back is refused.
        Type(d, P_TEXTURE, "");
        UI_ClickButton(d, P_ADD);
        // A spawn time of 0 would be divided by.
        Type(d, P_TEXTURE, "fx/dummy");
        Type(d, P_SPAWNTIME, "0");
        UI_ClickButton(d, P_ADD);
        // Animated with a frame count of 0.
        Type(d, P_SPAWNTIME, "0.1");
        UI_ClickButton(d, P_ANIMATED);
        EXPECT_TRUE(UI_IsButtonChecked(d, P_ANIMATED));
        EXPECT_TRUE(UI_IsControlEnabled(d, P_NUM_TEXTURES));
        Type(d, P_NUM_TEXTURES, "0");
        UI_ClickButton(d, P_ADD);
        EXPECT_TRUE(UI_IsControlEnabled(d, P_ADD));
    });
    EXPECT_EQ(r, UI_IDOK);
    EXPECT_TRUE(myOwner.myAdded.empty());
    EXPECT_FALSE(fs::exists("fx/bad.pe"));
    const std::string locFailed = "Pranvel|Save failed. Check emitter and texture filenames and validate input fields.";
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"Pranvel|Please enter an integer between -255 and 255.",
                                        "Pranvel|Please enter a number between 0 and 65535.",
                                        "Pranvel|Please enter a number between -65535 and 65535.", locFailed, locFailed,
                                        locFailed}));
}

TEST_F(ParticleEditorTest, BrowsingAndUnreadableFilesStartNewEmitters)
{
    WriteThreePhases("fx/three");
    std::ofstream("fx/damaged.pe", std::ios::binary) << "GENERIC\r\nFLAGS\r\nRADIUS 1\r\nBOGUS\r\n";
    {
    CParticleEdDlg locEditor(&myOwner);
    Run(locEditor, [&](UI_Dialog* d) {
        Type(d, P_LIFETIME, "12");
        myPrompts.AnswerFile((myFolder.myDir / "fx/three.pe").string());
        UI_ClickButton(d, P_FILE_BROWSE);
        EXPECT_EQ(Def(locEditor).myNumPhases, 3u);
        EXPECT_EQ(Text(d, P_LIFETIME), "30");
        EXPECT_EQ(Text(d, P_PHASE_COUNT), "3");
        EXPECT_TRUE(UI_IsButtonChecked(d, P_ANIMATED));
        // A damaged file: a new emitter, the typed fields kept.
        UI_SliderDrag(d, P_SLIDER, 2);
        Type(d, P_LIFETIME, "44");
        myPrompts.AnswerFile((myFolder.myDir / "fx/damaged.pe").string());
        UI_ClickButton(d, P_FILE_BROWSE);
        EXPECT_EQ(Def(locEditor).myNumPhases, 1u);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 0);
        EXPECT_EQ(Text(d, P_LIFETIME), "44");
        EXPECT_FALSE(UI_IsButtonChecked(d, P_ANIMATED));
        EXPECT_FALSE(UI_IsControlEnabled(d, P_PHASE_TIME));
        // The texture chooser: slashes, no extension.
        myPrompts.AnswerFile((myFolder.myDir / "fx/strip.tga").string());
        UI_ClickButton(d, 1053);
    });
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_NE(myPrompts.GetBoxes()[0].find("Could not read emitter file"), std::string::npos);
    } // the editor goes, as the tree deletes it after DoModal

    // Editing an emitter whose file went away: the failure shown, a new emitter under that name.
    myPrompts.Clear();
    CParticleEdDlg locEdit(&myOwner);
    locEdit.SetEmitterToEdit("fx/gone");
    Run(locEdit, [&](UI_Dialog* d) {
        EXPECT_EQ(Text(d, P_FILE_FIELD), "fx/gone");
        EXPECT_EQ(Def(locEdit).myNumPhases, 1u);
        Type(d, P_TEXTURE, "fx/dummy");
        UI_ClickButton(d, P_APPLY);
    });
    EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_TRUE(fs::exists("fx/gone.pe"));
    EXPECT_EQ(myOwner.myChanges, 1);
}

TEST_F(ParticleEditorTest, TextureBrowseAndMouseMoves)
{
    CParticleEdDlg locEditor(&myOwner);
    std::string locTexture;
    Run(locEditor, [&](UI_Dialog* d) {
        myPrompts.AnswerFile((myFolder.myDir / "fx/strip.tga").string());
        UI_ClickButton(d, 1053);
        locTexture = Text(d, P_TEXTURE);
        // Every modifier combo offers the four operations.
        for (int locId : {int(P_VELX_OP), P_VELX_OP + 1, P_VELX_OP + 2, 1048, int(P_ALPHA_OP)})
            EXPECT_EQ(UI_ComboGetCount(d, locId), 4) << locId;
        UI_DialogMouseMove(d, 10, 400, UI_MK_LBUTTON | UI_MK_SHIFT);
        UI_DialogMouseMove(d, 14, 402, UI_MK_LBUTTON);
    });
    EXPECT_EQ(locTexture, (myFolder.myDir / "fx/strip").string()); // full: no scene working directory here
    ASSERT_EQ(myPrompts.myQuestions.size(), 1u);
    ASSERT_FALSE(myPrompts.myQuestions[0].myRequest.myFilters.empty());
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myFilters[0].myPattern, "*.tga;*.dds");
    EXPECT_EQ(myOwner.myMoves, (std::vector<std::string>{"5@10,400", "1@14,402"}));
}

// --- the tree's commands over the editor scene ---

namespace
{
class FakeTree : public QRenderEditorTree
{
public:
    void DeleteAll() override { myItems.clear(); }
    intptr_t Append(intptr_t aParent, const char* aText, intptr_t aData) override
    {
        myItems.push_back({aParent, aText, aData});
        return (intptr_t)myItems.size();
    }
    intptr_t GetChild(intptr_t anItem) override { return Following(anItem, 0); }
    intptr_t GetNext(intptr_t anItem) override { return Following(myItems[anItem - 1].myParent, anItem); }
    QC_String GetText(intptr_t anItem) override { return QC_String(myItems[anItem - 1].myText.c_str()); }
    void Expand(intptr_t) override {}
    bool Has(const std::string& aText) const
    {
        for (const Item& i : myItems)
            if (i.myText == aText)
                return true;
        return false;
    }

    struct Item
    {
        intptr_t myParent;
        std::string myText;
        intptr_t myData;
    };
    std::vector<Item> myItems;

private:
    intptr_t Following(intptr_t aParent, intptr_t anAfter)
    {
        for (size_t i = (size_t)anAfter; i < myItems.size(); i++)
            if (myItems[i].myParent == aParent)
                return (intptr_t)i + 1;
        return 0;
    }
};

class EmitterCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(myFolder.Enter("pec_"));
        UI_SetPromptService(&myPrompts);
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        myScript->SetFocusWindow(true);
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
        myCodes.Init(4, 4, true);
        myNames.Init(4, 4, true);
        myCodes.Add(QC_String("STND"));
        myNames.Add(QC_String("Standing"));
        myCodes.Add(QC_String("WALK"));
        myNames.Add(QC_String("Walking"));
        e->myStateCodes = &myCodes;
        e->myStateNames = &myNames;
        QRB_TestModel m = MET_BoxModel();
        m.myRadius = 4.0f;
        QR_TemplateObject* t = MET_LoadModel(m);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(e->SetModel(t, "WALK"));
        ASSERT_TRUE(CommandHandler::Create());
        e->RebuildTree(&myTree);
    }
    void TearDown() override
    {
        CommandHandler::Destroy();
        UI_SetModalHook(nullptr);
        QRenderEditor::Destroy();
        myScript.reset();
        UI_SetPromptService(nullptr);
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        myFolder.Leave();
    }
    std::vector<uint32_t> Frame()
    {
        e->Render();
        QR_Render* r = QR_Render::ourInstance;
        std::vector<uint32_t> p((size_t)r->myRenderSettings.myWidth * r->myRenderSettings.myHeight);
        EXPECT_TRUE(r->GrabFrontBuffer(p.data()));
        return p;
    }

    ParticleFolder myFolder;
    UI_ScriptedPrompts myPrompts;
    std::unique_ptr<IN_Script> myScript;
    QRenderEditor* e = nullptr;
    QC_GrowingArray<QC_String> myCodes, myNames;
    FakeTree myTree;
};
} // namespace

TEST_F(EmitterCommandTest, AddRunsTheCommandAndEditReloads)
{
    // No render view: the state file's codes come through the scene, which holds its list.
    PranvelEmitterCommands locCommands(nullptr, &myTree, nullptr);

    // 102 on state 1 ("WALK") of part 1 ("arm").
    UI_SetModalHook([&](UI_Dialog* d) {
        Type(d, P_FILE_FIELD, "fx/sparks");
        Type(d, P_TEXTURE, "fx/dummy");
        Type(d, P_SPAWNTIME, "0.01");
        Type(d, P_SIZE_MIN, "0.5");
        Type(d, P_SIZE_MAX, "0.5");
        UI_ClickButton(d, P_ADD);
        UI_ClickButton(d, P_CLOSE);
    });
    locCommands.OnAddParticleEmitter(1 << 16 | QRE_TREE_PART, 1 << 16 | QRE_TREE_STATE);
    // After the handler's leading WORKDIR.
    CommandHandler* h = CommandHandler::Get();
    ASSERT_EQ(h->GetHistory().Count(), 2);
    EXPECT_STREQ(h->GetHistory().GetLast()->GetKeyword(), "ADDPARTICLEEMITTOR");
    auto* c = static_cast<AddParticleEmittorCommand*>(h->GetHistory().GetLast());
    EXPECT_STREQ(c->myEmitterName, "fx/sparks");
    EXPECT_STREQ(c->myPartName, "arm");
    EXPECT_STREQ(c->myStateCode, "WALK");
    ASSERT_EQ(e->GetTemplate()->myNumLinks, 1u);
    EXPECT_TRUE(myTree.Has("PE 0: fx/sparks:Walking"));

    // The saved commands bring the emitter back onto the model.
    ASSERT_TRUE(SaveQRE(*h, "edits.qre"));
    ASSERT_TRUE(e->ClearModel());
    QR_TemplateObject* t = MET_LoadModel(MET_BoxModel());
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(e->SetModel(t, "WALK"));
    ASSERT_EQ(e->GetTemplate()->myNumLinks, 0u);
    ASSERT_TRUE(LoadQRE(*h, "edits.qre", true));
    ASSERT_EQ(e->GetTemplate()->myNumLinks, 1u);
    EXPECT_STREQ(e->GetTemplate()->myLinks[0].myDefinition->myName, "fx/sparks");
    EXPECT_EQ(e->GetTemplate()->myLinks[0].myPartIndex, 1u);
    EXPECT_EQ(e->GetTemplate()->myLinks[0].myStateId, StateCodeToId("WALK"));
    EXPECT_TRUE(myPrompts.GetBoxes().empty());

    // A part that does not exist: the command fails with its message, nothing recorded.
    UI_SetModalHook([&](UI_Dialog* d) {
        Type(d, P_FILE_FIELD, "fx/other");
        Type(d, P_TEXTURE, "fx/dummy");
        UI_ClickButton(d, P_ADD);
        UI_ClickButton(d, P_CLOSE);
    });
    locCommands.OnAddParticleEmitter(9 << 16 | QRE_TREE_PART, 0 << 16 | QRE_TREE_STATE);
    EXPECT_EQ(h->GetHistory().Count(), 2);
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Pranvel|Could not add new particle emittor."});

    // 172: Apply rewrites the file and the scene reloads the emitter from it.
    UI_SetModalHook([&](UI_Dialog* d) {
        EXPECT_EQ(Text(d, P_FILE_FIELD), "fx/sparks");
        EXPECT_EQ(Text(d, P_SPAWNTIME), "0.01");
        Type(d, P_SPAWNTIME, "0.02");
        UI_ClickButton(d, P_APPLY);
        EXPECT_FLOAT_EQ(static_cast<QR_SharedGenericParticleData*>(e->GetTemplate()->myLinks[0].myDefinition)->mySpawnTime,
                        0.02f);
        Type(d, P_SPAWNTIME, "0.04");
        UI_ClickButton(d, P_APPLY);
        UI_ClickButton(d, P_CLOSE);
    });
    locCommands.OnEditParticleEmitter(0 << 16 | QRE_TREE_EMITTER);
    EXPECT_EQ(h->GetHistory().Count(), 2); // an edit records nothing
    EXPECT_FLOAT_EQ(static_cast<QR_SharedGenericParticleData*>(e->GetTemplate()->myLinks[0].myDefinition)->mySpawnTime,
                    0.04f);
}

TEST_F(EmitterCommandTest, AddedEmitterShowsInTheTreeAndTheFrame)
{
    PranvelEmitterCommands locCommands(nullptr, &myTree, nullptr);
    std::vector<uint32_t> locWithout = Frame();
    for (int i = 0; i < 3; i++)
        locWithout = Frame();
    UI_SetModalHook([&](UI_Dialog* d) {
        Type(d, P_FILE_FIELD, "fx/glow");
        Type(d, P_TEXTURE, "fx/dummy");
        Type(d, P_SPAWNTIME, "0.01");
        Type(d, P_SIZE_MIN, "1");
        Type(d, P_SIZE_MAX, "1");
        UI_ClickButton(d, P_ADD);
        UI_ClickButton(d, P_CLOSE);
    });
    locCommands.OnAddParticleEmitter(0 << 16 | QRE_TREE_PART, 1 << 16 | QRE_TREE_STATE);
    ASSERT_EQ(e->GetTemplate()->myNumLinks, 1u);
    bool locDiffers = false;
    for (int i = 0; i < 20 && !locDiffers; i++)
        locDiffers = Frame() != locWithout;
    EXPECT_TRUE(locDiffers);
}

// --- the whole program: the render view's camera behind the editor ---

namespace
{
class ParticleProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(myFolder.Enter("pep_"));
        setenv("XDG_CONFIG_HOME", (myFolder.myDir / "config").c_str(), 1);
        std::ofstream("pranvel.cfg", std::ios::binary) << "stateFile states.txt\r\n";
        std::ofstream("states.txt", std::ios::binary) << "STND Standing\r\nWALK Walking\r\n";
        UI_SetPromptService(&myPrompts);
        CPranvelView::ourSceneFactory = PranvelScene::Create;
        myApp = new CPranvelApp;
        static char ourName[] = "Pranvel";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(myApp->InitInstance(1, ourArgv));
        ASSERT_NE(QRenderEditor::ourInstance, nullptr);
        QRB_TestModel m = MET_BoxModel();
        m.myRadius = 6.0f;
        QR_TemplateObject* t = MET_LoadModel(m);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(QRenderEditor::ourInstance->SetModel(t, "WALK"));
    }
    void TearDown() override
    {
        UI_SetModalHook(nullptr);
        if (myApp)
        {
            myApp->ExitInstance();
            delete myApp;
        }
        UI_SetPromptService(nullptr);
        UI_ClearQuitMessage();
        myFolder.Leave();
    }

    ParticleFolder myFolder;
    UI_ScriptedPrompts myPrompts;
    CPranvelApp* myApp = nullptr;
};
} // namespace

TEST_F(ParticleProgramTest, MouseMovesOverTheEditorTurnTheCameraAndAddUsesTheStateFile)
{
    CPranvelView* locView = myApp->GetMainFrame()->GetView();
    QRenderEditor* e = QRenderEditor::ourInstance;
    PranvelEmitterCommands locCommands(locView, nullptr, nullptr);
    float locHeading = e->GetCameraHeading(), locPitch = e->GetCameraPitch(), locTurned = locHeading;
    UI_SetModalHook([&](UI_Dialog* d) {
        // The first move starts tracking, the next ones turn by their distance.
        UI_DialogMouseMove(d, 100, 100, UI_MK_LBUTTON);
        UI_DialogMouseMove(d, 120, 110, UI_MK_LBUTTON);
        locTurned = e->GetCameraHeading();
        Type(d, P_FILE_FIELD, "fx/puff");
        Type(d, P_TEXTURE, "fx/dummy");
        UI_ClickButton(d, P_ADD);
        UI_ClickButton(d, P_CLOSE);
    });
    // 102 on state 0 of part 0: "STND" looked up in the view's state file codes.
    locCommands.OnAddParticleEmitter(0 << 16 | QRE_TREE_PART, 0 << 16 | QRE_TREE_STATE);
    EXPECT_NE(locTurned, locHeading);
    EXPECT_NE(e->GetCameraPitch(), locPitch);
    ASSERT_EQ(e->GetTemplate()->myNumLinks, 1u);
    EXPECT_EQ(e->GetTemplate()->myLinks[0].myStateId, StateCodeToId("STND"));
    EXPECT_EQ(e->GetTemplate()->myLinks[0].myPartIndex, 0u);
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
}

TEST_F(ParticleEditorTest, SpinStepsPhasesAndABadValueHoldsTheSlider)
{
    WriteThreePhases("fx/three");
    CParticleEdDlg locEditor(&myOwner);
    locEditor.SetEmitterToEdit("fx/three");
    Run(locEditor, [&](UI_Dialog* d) {
        // The spin runs over 0..N and steps the phase shown.
        EXPECT_TRUE(UI_SpinPress(d, 1157, true));
        EXPECT_EQ(locEditor.GetCurrentPhase(), 1);
        EXPECT_EQ(Text(d, P_PHASE), "1");
        EXPECT_EQ(Text(d, P_VELX_MIN), "10");
        EXPECT_TRUE(UI_IsControlEnabled(d, P_PHASE_TIME));
        UI_SpinPress(d, 1157, false);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 0);
        EXPECT_FALSE(UI_IsControlEnabled(d, P_PHASE_TIME));
        // The phase field acts when left, not while typed into.
        Type(d, P_PHASE, "2", false);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 0);
        EXPECT_EQ(Text(d, P_VELX_MIN), "0");
        Type(d, P_PHASE, "0", false);
        // A value out of range is refused when its field is left; the slider then stays.
        Type(d, P_ALPHA_MIN, "999");
        EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);
        UI_SliderDrag(d, P_SLIDER, 2);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 0);
        EXPECT_EQ(UI_SliderGetPos(d, P_SLIDER), 0);
        // Mended, left again: the slider moves.
        Type(d, P_ALPHA_MIN, "9");
        UI_SliderDrag(d, P_SLIDER, 2);
        EXPECT_EQ(locEditor.GetCurrentPhase(), 2);
        EXPECT_EQ(Def(locEditor).myAlphaMin, 9.0f);
        // Phase 1 can go.
        UI_SliderDrag(d, P_SLIDER, 1);
        UI_ClickButton(d, P_DELETE);
        EXPECT_EQ(Def(locEditor).myNumPhases, 2u);
        EXPECT_EQ(Def(locEditor).myPhases[0].myVelocityMin[0], 20.0f);
        // The rotation combo's pick reads the fields as leaving a value field does.
        UI_ComboPick(d, P_ROTATION, 3);
        Type(d, 1172, "-2.5");
        Type(d, 1173, "4");
        UI_ClickButton(d, P_APPLY);
    });
    // Once, when the field was left; the refused slider asks nothing.
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Pranvel|Please enter an integer between -255 and 255."});
    EmitterRecord b;
    ASSERT_TRUE(ReadEmitterFile("fx/three", b, nullptr));
    EXPECT_EQ(b.myRotation, 3u);
    EXPECT_EQ(b.myRotationSpeedMin, -2.5f);
    EXPECT_EQ(b.myRotationSpeedMax, 4.0f);
    EXPECT_EQ(b.myAlphaMin, 9.0f);
    EXPECT_EQ(b.myPhases.size(), 2u);
}

namespace
{
// The first item of that text below aParent (UI_TREE_ROOT: the whole tree), depth first.
UI_TreeItem FindItem(UI_Dialog* aPane, UI_TreeItem aParent, const std::string& aText)
{
    for (UI_TreeItem i = UI_TreeGetRelated(aPane, IDC_MODEL_TREE, aParent, UI_TREE_CHILD); i;
         i = UI_TreeGetRelated(aPane, IDC_MODEL_TREE, i, UI_TREE_NEXT))
    {
        std::string t;
        UI_TreeGetText(aPane, IDC_MODEL_TREE, i, &t);
        if (t == aText)
            return i;
        if (UI_TreeItem locFound = FindItem(aPane, i, aText))
            return locFound;
    }
    return 0;
}
} // namespace

TEST_F(ParticleProgramTest, TheTreeCommandsAddAndEditThroughTheEditor)
{
    CLeftView* locLeft = myApp->GetMainFrame()->GetLeftView();
    UI_Frame* locFrame = myApp->GetMainFrame()->GetFrame();
    QRenderEditor* e = QRenderEditor::ourInstance;
    locLeft->RebuildTree();
    UI_Dialog* p = locLeft->GetPane();
    UI_TreeItem locArm = FindItem(p, UI_TREE_ROOT, "arm");
    ASSERT_NE(locArm, 0);
    UI_TreeItem locWalk = FindItem(p, locArm, "State 1 (Walking)");
    ASSERT_NE(locWalk, 0);
    ASSERT_TRUE(UI_TreeSelect(p, IDC_MODEL_TREE, locWalk));

    // 102 on "arm" in WALK: Add runs the command, the tree shows the emitter.
    UI_SetModalHook([&](UI_Dialog* d) {
        Type(d, P_FILE_FIELD, "fx/ember");
        Type(d, P_TEXTURE, "fx/dummy");
        UI_ClickButton(d, P_ADD);
        UI_ClickButton(d, P_CLOSE);
    });
    ASSERT_TRUE(locLeft->OnCommand(locFrame, ID_TREE_ADD_EMITTER));
    QRECommand* c = CommandHandler::Get()->GetHistory().GetLast();
    ASSERT_STREQ(c->GetKeyword(), "ADDPARTICLEEMITTOR");
    EXPECT_STREQ(static_cast<AddParticleEmittorCommand*>(c)->myPartName, "arm");
    EXPECT_STREQ(static_cast<AddParticleEmittorCommand*>(c)->myStateCode, "WALK");
    UI_TreeItem locEmitter = FindItem(p, UI_TREE_ROOT, "PE 0: fx/ember:Walking");
    ASSERT_NE(locEmitter, 0);

    // 172 on it: each Apply and the closing OK reload the emitters; nothing recorded.
    int locCount = CommandHandler::Get()->GetHistory().Count();
    ASSERT_TRUE(UI_TreeSelect(p, IDC_MODEL_TREE, locEmitter));
    float locApplied = 0;
    UI_SetModalHook([&](UI_Dialog* d) {
        EXPECT_EQ(Text(d, P_FILE_FIELD), "fx/ember");
        Type(d, P_SPAWNTIME, "0.25");
        UI_ClickButton(d, P_APPLY);
        locApplied = static_cast<QR_SharedGenericParticleData*>(e->GetTemplate()->myLinks[0].myDefinition)->mySpawnTime;
        Type(d, P_SPAWNTIME, "0.5");
        UI_ClickButton(d, P_APPLY);
        UI_ClickButton(d, P_CLOSE);
    });
    ASSERT_TRUE(locLeft->OnCommand(locFrame, ID_TREE_EDIT_EMITTER));
    EXPECT_EQ(locApplied, 0.25f);
    EXPECT_EQ(static_cast<QR_SharedGenericParticleData*>(e->GetTemplate()->myLinks[0].myDefinition)->mySpawnTime, 0.5f);
    EXPECT_EQ(CommandHandler::Get()->GetHistory().Count(), locCount);
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
}
