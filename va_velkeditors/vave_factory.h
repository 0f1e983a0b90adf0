// The editor factory the editor's main frame hands to the facade: the GUI
// layout and skin editors, then the base factory's choice.
#pragma once

#include "velkeditor/velk_editorfactory.h"

class VAVE_Factory : public VelkEditorFactory
{
public:
    ~VAVE_Factory() override;
    VelkEditorFactory* Create() override;
    VelkEditor* CreateEditor(VelkType* anInstance, VelkTypeFilterManager* aFilterManager, void* aWindow,
                             VelkType* aConfigInstance) override;
};
