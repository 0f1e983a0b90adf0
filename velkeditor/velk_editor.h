// The abstract editor of the right-hand pane and the record by which its
// handlers ask for a tree action.
#pragma once

class VelkType;

// What an input handler asks of the facade.
struct EditorAction
{
    enum
    {
        SELECT_IN_TREE = 0,   // select the instance's tree item
        EDIT_IN_TREE = 1,     // open the value dialog that fits its class
    };

    EditorAction() = default;
    EditorAction(VelkType* anInstance, int anAction) : myInstance(anInstance), myAction(anAction) {}

    VelkType* myInstance = nullptr;   // not owned; null: nothing to do
    int myAction = SELECT_IN_TREE;
};

class VelkEditor
{
public:
    // The instance is not owned.
    explicit VelkEditor(VelkType* anInstance) : myInstance(anInstance) {}
    virtual ~VelkEditor() = default;
    VelkEditor(const VelkEditor&) = delete;
    VelkEditor& operator=(const VelkEditor&) = delete;

    virtual void SelectInstance(VelkType* anInstance) = 0;
    virtual void Draw(bool aDrawFlag) = 0;
    virtual EditorAction OnLeftButton(int anX, int anY, bool aShiftFlag) = 0;
    virtual EditorAction OnLeftButtonUp(int anX, int anY) = 0;
    virtual EditorAction OnRightButton(int anX, int anY, bool aShiftFlag, bool aControlFlag) = 0;
    virtual EditorAction OnRightButtonUp(int anX, int anY) = 0;
    virtual EditorAction OnKeyDown(int aVirtualKey) = 0;
    virtual EditorAction OnKeyUp(int aVirtualKey) = 0;
    virtual EditorAction OnChar(int aCharacter) = 0;
    virtual VelkType* GetSelectedInstance() = 0;
    // Pixels.
    virtual void Resize(int aWidth, int aHeight) = 0;
    virtual void OnTreeRefreshed() {}
    virtual void OnIdle() {}
    // An object is about to be deleted: forget every selection that is it or
    // lies inside it (IsRemovedBy). True: the editor stays usable.
    virtual bool OnInstanceRemoved(VelkType* anInstance) = 0;

    // False when the object is the editor's own instance or contains it: the
    // caller must then destroy the editor before deleting the object.
    bool ReleaseInstance(VelkType* anInstance);

    VelkType* GetInstance() const { return myInstance; }

    // True when deleting aRemoved deletes aSelection too.
    static bool IsRemovedBy(VelkType* aSelection, VelkType* aRemoved);

    // True when the editor changed a value of the data since the last call;
    // the facade marks the document modified on it, and on nothing else the
    // editor does (showing, selecting, playing and closing change nothing).
    bool TakeChanged();

protected:
    void MarkChanged() { myChangedFlag = true; }
    // Each stores the value in anOwner's member aName, and marks the change,
    // only when it differs from what the member holds (a decimal: as it would
    // be written), so a value the editor merely passed through keeps the text
    // its author wrote.
    void StoreInt(VelkType* anOwner, const char* aName, int aValue);
    void StoreFloat(VelkType* anOwner, const char* aName, float aValue);

    VelkType* myInstance;

private:
    bool myChangedFlag = false;
};
