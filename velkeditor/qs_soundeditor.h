// The sound fall-off editor: plots the volume-against-distance curve of every
// file of a "QS_Sound" instance, lets the user pick and drag the control
// points, and plays the sound at the distance under the pointer. What it did
// is kept as a short log drawn under the graph.
#pragma once

#include "velkeditor/velk_editor.h"

#include "qcommon/qc_string.h"

#include <cstdint>
#include <vector>

class QD_Factory;
class QD_Font;
class QD_Line;
class QDGDI_Window;
class QS2_Sound;
class QS2_SoundTemplate;

class QS_SoundEditor : public VelkEditor
{
public:
    // Null when the plot or the sound engine cannot be made (the factory then
    // answers no editor). The window is not owned and must outlive the editor.
    static QS_SoundEditor* Create(VelkType* anInstance, QDGDI_Window* aWindow);
    ~QS_SoundEditor() override;

    void SelectInstance(VelkType* anInstance) override;
    void Draw(bool aClearFlag) override;
    EditorAction OnLeftButton(int anX, int anY, bool aShiftFlag) override;
    EditorAction OnLeftButtonUp(int anX, int anY) override;
    EditorAction OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag) override;
    EditorAction OnRightButtonUp(int anX, int anY) override;
    EditorAction OnKeyDown(int aVirtualKey) override;
    EditorAction OnKeyUp(int aVirtualKey) override;
    EditorAction OnChar(int aCharacter) override;
    VelkType* GetSelectedInstance() override;
    void Resize(int aWidth, int aHeight) override;
    void OnIdle() override;
    bool OnInstanceRemoved(VelkType* anInstance) override;

    // Rebuilds the template and the sound from the instance, logging each step.
    void LoadSound();
    // Plays the loaded sound once at the graph distance of the pointer.
    void PlaySound();

    const std::vector<QC_String>& GetLog() const { return myLog; }
    QS2_Sound* GetSound() const { return mySound; }
    QS2_SoundTemplate* GetTemplate() const { return myTemplate; }

    // The graph: distance d and volume v at pixel (64 + d, 150 + (1 - v) * 200).
    static void GraphToPixel(float aDistance, float aVolume, int* anX, int* aY);
    static void PixelToGraph(int anX, int aY, float* aDistance, float* aVolume);
    // The colour of curve anIndex (0x00RRGGBB); the table of eight repeats.
    static uint32_t GetCurveColour(int anIndex);
    // The group every template of the editor joins.
    static const uint32_t ourGroupId;
    // Editors alive; the first makes the sound engine, the last destroys it.
    static int GetEditorCount() { return ourEditorCount; }

private:
    QS_SoundEditor(VelkType* anInstance, QDGDI_Window* aWindow);
    bool Init();
    void ReleaseSound();
    void Log(const char* aFormat, ...);
    void DrawText(float aDistance, float aVolume, const char* aText);

    QDGDI_Window* myWindow;
    QD_Factory* myPlot = nullptr;
    QD_Line* myLine = nullptr;
    QD_Font* myFont = nullptr;
    VelkType* mySelectedPoint = nullptr;   // a "QS_DistanceVolume" instance, not owned
    std::vector<QC_String> myLog;
    QS2_SoundTemplate* myTemplate = nullptr;   // a reference is held
    QS2_Sound* mySound = nullptr;              // owned through the engine

    static int ourEditorCount;
};
