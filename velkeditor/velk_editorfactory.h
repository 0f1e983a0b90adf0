// The editor factory: decides which editor the right-hand pane shows for a
// selected instance. The facade keeps the copy that Create makes of the
// prototype it is given, so derived factories plug in their own editors.
#pragma once

class VelkEditor;
class VelkType;
class VelkTypeFilterManager;

class VelkEditorFactory
{
public:
    VelkEditorFactory() = default;
    virtual ~VelkEditorFactory();

    // A new factory of the same class; the caller owns it.
    virtual VelkEditorFactory* Create();
    // A new editor for the instance, or null (none fits, or none could be made).
    // aWindow is the QDGDI_Window of the list view the editors draw in (not owned); the
    // configuration instance is passed along and read by no factory here.
    virtual VelkEditor* CreateEditor(VelkType* anInstance, VelkTypeFilterManager* aFilterManager, void* aWindow,
                                     VelkType* aConfigInstance);
};
