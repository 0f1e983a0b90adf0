// The sound fall-off editor.
#include "velkeditor/qs_soundeditor.h"

#include "qcommon/qc_list.h"
#include "qdrawgdi/qdgdi.h"
#include "qsound2/qs2_engine.h"
#include "tez/tez_hash.h"
#include "velk/velk_type.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

const uint32_t QS_SoundEditor::ourGroupId = TezHash("QS_SoundEditor");
int QS_SoundEditor::ourEditorCount = 0;

namespace
{
const QD_Colour locBackground = {64, 64, 64};
const QD_Colour locWhite = {255, 255, 255};
const QD_Colour locCurveColours[] = {
    {255, 127, 127}, {127, 255, 127}, {127, 127, 255}, {255, 255, 127},
    {127, 255, 255}, {255, 127, 255}, {255, 255, 255}, {0, 0, 0},
};
const int locNumCurveColours = int(sizeof(locCurveColours) / sizeof(locCurveColours[0]));

const int locKeyEnter = 13;
const int locKeySpace = 32;
const size_t locMaxKeptLogLines = 10;
// Graph units (distance and volume mixed, as the user sees them).
const float locPickRange = 10000.0f;
const int locMarkHalfSide = 4;   // the selection square is 8 pixels wide
const float locLineStep = 0.075f;
const size_t locMaxPairsText = 1024;
const float locPixelLimit = 1000000.0f;

const char* const locHelpLines[] = {
    "<RETURN> to (re)load the current sound. You need to reload each time you make ANY changes to data.",
    "<SPACE> to play the current loaded sound. Move the mouse cursor along the Distance axis to play at "
    "different distances.",
    "<RMB> to select a control point",
    "<LMB> to position the current control point",
    "//NOTE: Base frequency is currently NOT supported!",
};

// The members of a list instance in order; none when the member is missing.
template <class F>
void locForEachMember(VelkType* anInstance, const char* aListName, F aVisit)
{
    VelkType* locList = anInstance ? anInstance->FindMember(aListName) : nullptr;
    if (!locList)
        return;
    for (QC_ListLink<VelkType*>* locLink = locList->GetMembers().myFirstLink; locLink; locLink = locLink->myNext)
        aVisit(locLink->myItem);
}

int locCountMembers(VelkType* anInstance, const char* aListName)
{
    int locCount = 0;
    locForEachMember(anInstance, aListName, [&](VelkType*) { locCount++; });
    return locCount;
}

bool locHoldsMember(VelkType* anInstance, const char* aListName, VelkType* aMember)
{
    bool locFound = false;
    locForEachMember(anInstance, aListName, [&](VelkType* aPoint) { locFound = locFound || aPoint == aMember; });
    return locFound;
}

QS2_FalloffPoint locReadPoint(VelkType* aPoint)
{
    return {aPoint->GetMemberValueAsFloat("myDistance"), aPoint->GetMemberValueAsFloat("myVolume")};
}
} // namespace

// [SECTION] Graph

void QS_SoundEditor::GraphToPixel(float aDistance, float aVolume, int* anX, int* aY)
{
    // Values typed into the data may be anything ("inf", "nan", 1e30): held to
    // a range that every pixel type and the drawing layer can take.
    auto locPixel = [](float aValue) {
        return aValue >= -locPixelLimit && aValue <= locPixelLimit ? int(std::lround(aValue))
               : aValue > 0.0f                                        ? int(locPixelLimit)
                                                                      : -int(locPixelLimit);
    };
    *anX = locPixel(64.0f + aDistance);
    *aY = locPixel(150.0f + (1.0f - aVolume) * 200.0f);
}

void QS_SoundEditor::PixelToGraph(int anX, int aY, float* aDistance, float* aVolume)
{
    *aDistance = float(anX - 64);
    *aVolume = 1.0f - float(aY - 150) * 0.005f;
}

uint32_t QS_SoundEditor::GetCurveColour(int anIndex)
{
    const QD_Colour& locColour = locCurveColours[(anIndex < 0 ? 0 : anIndex) % locNumCurveColours];
    return uint32_t(locColour.myR) << 16 | uint32_t(locColour.myG) << 8 | locColour.myB;
}

// [SECTION] Life

QS_SoundEditor::QS_SoundEditor(VelkType* anInstance, QDGDI_Window* aWindow)
    : VelkEditor(anInstance), myWindow(aWindow)
{
    ourEditorCount++;
}

QS_SoundEditor* QS_SoundEditor::Create(VelkType* anInstance, QDGDI_Window* aWindow)
{
    QS_SoundEditor* locEditor = new (std::nothrow) QS_SoundEditor(anInstance, aWindow);
    if (!locEditor)
        return nullptr;
    if (!locEditor->Init())
    {
        delete locEditor;
        return nullptr;
    }
    locEditor->LoadSound();
    return locEditor;
}

bool QS_SoundEditor::Init()
{
    myPlot = QDGDI_Factory::Create(myWindow);
    if (!myPlot)
        return false;
    myLine = myPlot->CreateLine();
    myFont = myPlot->CreateFont("ms sans serif", 8);
    if (!myLine || !myFont)
        return false;
    if (!QS2_Engine::GetGlobal())
    {
        if (!QS2_LayerEngine::Create("miles_redist", 0))
            return false;
        QS2_Engine::GetGlobal()->SetListener(0.0f, 0.0f, 0.0f, 0.0f);
    }
    return true;
}

QS_SoundEditor::~QS_SoundEditor()
{
    ReleaseSound();
    delete myFont;
    delete myLine;
    delete myPlot;
    if (--ourEditorCount == 0 && QS2_Engine::GetGlobal())
        QS2_Engine::ReleaseGlobal();
}

void QS_SoundEditor::ReleaseSound()
{
    if (mySound && QS2_Engine::GetGlobal())
        QS2_Engine::GetGlobal()->ReleaseSound(mySound);
    mySound = nullptr;
    if (myTemplate)
        myTemplate->Release();
    myTemplate = nullptr;
}

void QS_SoundEditor::Log(const char* aFormat, ...)
{
    QC_String locLine;
    va_list locArgs;
    va_start(locArgs, aFormat);
    locLine.FormatV(aFormat, locArgs);
    va_end(locArgs);
    myLog.push_back(locLine);
}

// [SECTION] Load and play

void QS_SoundEditor::LoadSound()
{
    Log("Destroying old sound...");
    ReleaseSound();

    const int locNumChannels = myInstance->GetMemberValueAsInt("myNumChannels");
    if (locNumChannels < 1)
    {
        Log("Sound has no channels!");
        return;
    }
    std::vector<VelkType*> locSpecs;
    locForEachMember(myInstance, "mySpecs", [&](VelkType* aSpec) { locSpecs.push_back(aSpec); });
    if (locSpecs.empty())
    {
        Log("Sound has no specifications!");
        return;
    }

    Log("Setting up sound specifications...");
    std::vector<QC_String> locFileNames(locSpecs.size());
    std::vector<std::vector<QS2_FalloffPoint>> locPoints(locSpecs.size());
    for (size_t i = 0; i < locSpecs.size(); i++)
    {
        locFileNames[i] = locSpecs[i]->GetMemberValue("myFileName");
        Log("%s", locFileNames[i].GetBuffer());
        std::string locPairs;
        bool locValidFlag = true;
        locForEachMember(locSpecs[i], "myEnvelope", [&](VelkType* aPoint) {
            QS2_FalloffPoint locPoint = locReadPoint(aPoint);
            char locPair[96];
            snprintf(locPair, sizeof(locPair), "(%.1f, %.2f) ", double(locPoint.x), double(locPoint.y));
            // One log line, kept within what a line of text can hold.
            if (locPairs.size() + strlen(locPair) < locMaxPairsText)
                locPairs += locPair;
            else if (locPairs.size() < locMaxPairsText)
                locPairs.append(locMaxPairsText - locPairs.size(), '.');
            // NaN compares false: a distance that is not a number fails too.
            if (!locPoints[i].empty() && !(locPoint.x >= locPoints[i].back().x))
                locValidFlag = false;
            locPoints[i].push_back(locPoint);
        });
        Log("%s", locPairs.c_str());
        if (!locValidFlag || locPoints[i].size() < 2)
        {
            Log("Failed to validate specification for '%s'!", locFileNames[i].GetBuffer());
            return;
        }
    }

    std::vector<QS2_CreateFileEntry> locFiles(locSpecs.size());
    for (size_t i = 0; i < locSpecs.size(); i++)
    {
        locFiles[i].myFileName = locFileNames[i].GetBuffer();
        locFiles[i].myPoints = locPoints[i].data();
        locFiles[i].myNumPoints = int(locPoints[i].size());
    }
    QS2_CreateSoundData locData;
    locData.myFiles = locFiles.data();
    locData.myNumFiles = int(locFiles.size());
    locData.myMaxNumActiveChannels = locNumChannels;
    locData.myGroupId = ourGroupId;
    locData.myFlags = QS2_FILENAME_VALID | QS2_GROUP_VALID | QS2_MAX_CHANNELS_VALID | QS2_3D_SOUND;
    myTemplate = QS2_CreateTemplate(locData);
    if (myTemplate)
        mySound = QS2_Engine::GetGlobal()->CreateSound(myTemplate);
    Log(mySound ? "Loaded sound!" : "Failed to load sound!");
    Log("--------");
}

void QS_SoundEditor::PlaySound()
{
    if (!mySound)
    {
        Log("Sound not loaded!");
        Log("--------");
        return;
    }
    int locX = 0, locY = 0;
    if (!myWindow->GetCursorPosition(&locX, &locY))
        locX = locY = 0;
    float locDistance, locVolume;
    PixelToGraph(locX, locY, &locDistance, &locVolume);
    if (locDistance < 0.0f)
        locDistance = 0.0f;
    Log("Playing at distance %.1f...", double(locDistance));
    mySound->myX = 0.0f;
    mySound->myY = 0.0f;
    mySound->myZ = locDistance;
    mySound->Stop();
    Log(mySound->Play(false, 0.0f) ? "Played!" : "Failed to play!");
    Log("--------");
}

// [SECTION] Slots

void QS_SoundEditor::SelectInstance(VelkType* anInstance)
{
    if (anInstance && anInstance->GetTypeName() == "QS_DistanceVolume")
        mySelectedPoint = anInstance;
}

EditorAction QS_SoundEditor::OnLeftButton(int anX, int anY, bool aShiftFlag)
{
    (void)aShiftFlag;
    if (!mySelectedPoint)
        return EditorAction();
    float locDistance, locVolume;
    PixelToGraph(anX, anY, &locDistance, &locVolume);
    locDistance = locDistance < 0.0f ? 0.0f : locDistance;
    locVolume = locVolume < 0.0f ? 0.0f : locVolume > 1.0f ? 1.0f : locVolume;
    locForEachMember(myInstance, "mySpecs", [&](VelkType* aSpec) {
        if (!locHoldsMember(aSpec, "myEnvelope", mySelectedPoint))
            return;
        StoreFloat(mySelectedPoint, "myDistance", locDistance);
        StoreFloat(mySelectedPoint, "myVolume", locVolume);
    });
    return EditorAction();
}

EditorAction QS_SoundEditor::OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag)
{
    (void)aShiftFlag, (void)aControlFlag;
    if (mySelectedPoint)
    {
        mySelectedPoint = nullptr;
        return EditorAction(nullptr, EditorAction::SELECT_IN_TREE);
    }
    float locDistance, locVolume;
    PixelToGraph(anX, anY, &locDistance, &locVolume);
    float locBest = locPickRange;
    locForEachMember(myInstance, "mySpecs", [&](VelkType* aSpec) {
        locForEachMember(aSpec, "myEnvelope", [&](VelkType* aPoint) {
            QS2_FalloffPoint locPoint = locReadPoint(aPoint);
            float locLength = std::hypot(locPoint.x - locDistance, locPoint.y - locVolume);
            if (locLength < locBest)
            {
                locBest = locLength;
                mySelectedPoint = aPoint;
            }
        });
    });
    return EditorAction(mySelectedPoint, EditorAction::SELECT_IN_TREE);
}

EditorAction QS_SoundEditor::OnKeyUp(int aVirtualKey)
{
    if (aVirtualKey != locKeyEnter && aVirtualKey != locKeySpace)
        return EditorAction();
    if (myLog.size() > locMaxKeptLogLines)
        myLog.clear();
    if (aVirtualKey == locKeyEnter)
        LoadSound();
    else
        PlaySound();
    return EditorAction();
}

EditorAction QS_SoundEditor::OnLeftButtonUp(int, int)
{
    return EditorAction();
}

EditorAction QS_SoundEditor::OnRightButtonUp(int, int)
{
    return EditorAction();
}

EditorAction QS_SoundEditor::OnKeyDown(int)
{
    return EditorAction();
}

EditorAction QS_SoundEditor::OnChar(int)
{
    return EditorAction();
}

VelkType* QS_SoundEditor::GetSelectedInstance()
{
    return mySelectedPoint;
}

void QS_SoundEditor::Resize(int, int) {}

void QS_SoundEditor::OnIdle()
{
    if (QS2_Engine* locEngine = QS2_Engine::GetGlobal())
        locEngine->Update(QS2_GetTime());
}

bool QS_SoundEditor::OnInstanceRemoved(VelkType* anInstance)
{
    if (IsRemovedBy(mySelectedPoint, anInstance))
        mySelectedPoint = nullptr;
    return true;
}

// [SECTION] Drawing

void QS_SoundEditor::DrawText(float aDistance, float aVolume, const char* aText)
{
    int locX, locY;
    GraphToPixel(aDistance, aVolume, &locX, &locY);
    myFont->DrawText(locX, locY, aText);
}

void QS_SoundEditor::Draw(bool aClearFlag)
{
    myPlot->Begin();
    if (aClearFlag)
        myPlot->Clear(locBackground);
    QD_Draw::SetColour(locWhite);

    int locX0, locY0, locX1, locY1;
    GraphToPixel(0.0f, 0.0f, &locX0, &locY0);
    GraphToPixel(1000.0f, 0.0f, &locX1, &locY1);
    myLine->Line(locX0, locY0, locX1, locY1, locWhite);
    GraphToPixel(0.0f, 1.0f, &locX1, &locY1);
    myLine->Line(locX0, locY0, locX1, locY1, locWhite);
    DrawText(0.0f, -0.1f, "Distance");
    int locLetterX, locLetterY;
    GraphToPixel(-16.0f, 0.75f, &locLetterX, &locLetterY);
    for (const char* locLetter = "Volume"; *locLetter; locLetter++)
    {
        const char locText[2] = {*locLetter, 0};
        myFont->DrawText(locLetterX, locLetterY, locText);
        locLetterY += myFont->GetHeight();
    }

    float locRowVolume = 1.5f;
    for (const char* locHelp : locHelpLines)
    {
        DrawText(0.0f, locRowVolume, locHelp);
        locRowVolume -= locLineStep;
    }
    QC_String locText;
    locText.Format("Current sound = %s", myInstance->GetName().GetBuffer());
    DrawText(0.0f, 1.075f, locText.GetBuffer());

    int locSpecIndex = 0;
    locForEachMember(myInstance, "mySpecs", [&](VelkType* aSpec) {
        const QD_Colour& locColour = locCurveColours[locSpecIndex % locNumCurveColours];
        const QC_String locFileName = aSpec->GetMemberValue("myFileName");
        const int locFrequency = aSpec->GetMemberValueAsInt("myBaseFrequency");
        const int locNumPoints = locCountMembers(aSpec, "myEnvelope");
        if (locFrequency != 0)
            locText.Format("%s (%s @ %d, %d control points)", aSpec->GetName().GetBuffer(), locFileName.GetBuffer(),
                           locFrequency, locNumPoints);
        else
            locText.Format("%s (%s @ default frequency, %d control points)", aSpec->GetName().GetBuffer(),
                           locFileName.GetBuffer(), locNumPoints);
        QD_Draw::SetColour(locColour);
        DrawText(0.0f, -0.2f - 0.1f * float(locSpecIndex), locText.GetBuffer());

        // Each pair of consecutive points joined and both ends labelled; a
        // point shared by two pairs is labelled once.
        QD_Draw::SetColour(locWhite);
        VelkType* locPrevious = nullptr;
        int locPointIndex = 0;
        locForEachMember(aSpec, "myEnvelope", [&](VelkType* aPoint) {
            QS2_FalloffPoint locPoint = locReadPoint(aPoint);
            int locX, locY;
            GraphToPixel(locPoint.x, locPoint.y, &locX, &locY);
            if (locPrevious)
            {
                QS2_FalloffPoint locFrom = locReadPoint(locPrevious);
                int locFromX, locFromY;
                GraphToPixel(locFrom.x, locFrom.y, &locFromX, &locFromY);
                myLine->Line(locFromX, locFromY, locX, locY, locColour);
                if (locPointIndex == 1)
                {
                    locText.Format("(%.1f, %.2f)", double(locFrom.x), double(locFrom.y));
                    myFont->DrawText(locFromX, locFromY, locText.GetBuffer());
                }
                locText.Format("(%.1f, %.2f)", double(locPoint.x), double(locPoint.y));
                myFont->DrawText(locX, locY, locText.GetBuffer());
            }
            if (aPoint == mySelectedPoint)
            {
                const int locHalf = locMarkHalfSide;
                myLine->HLine(locX - locHalf, locX + locHalf, locY - locHalf, locWhite);
                myLine->HLine(locX - locHalf, locX + locHalf, locY + locHalf, locWhite);
                myLine->VLine(locX - locHalf, locY - locHalf, locY + locHalf, locWhite);
                myLine->VLine(locX + locHalf, locY - locHalf, locY + locHalf, locWhite);
            }
            locPrevious = aPoint;
            locPointIndex++;
        });
        locSpecIndex++;
    });

    QD_Draw::SetColour(locWhite);
    locRowVolume = -1.0f;
    for (const QC_String& locLine : myLog)
    {
        DrawText(0.0f, locRowVolume, locLine.GetBuffer());
        locRowVolume -= locLineStep;
    }
    myPlot->End();
    myPlot->Present();
}
