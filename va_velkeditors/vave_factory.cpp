// The extension factory.
#include "va_velkeditors/vave_factory.h"

#include <new>

#include "qdrawgdi/qdgdi.h"
#include "va_velkeditors/vave_guieditor.h"
#include "va_velkeditors/vave_guiskineditor.h"
#include "velk/velk_type.h"

VAVE_Factory::~VAVE_Factory() = default;

VelkEditorFactory* VAVE_Factory::Create()
{
    return new (std::nothrow) VAVE_Factory;
}

VelkEditor* VAVE_Factory::CreateEditor(VelkType* anInstance, VelkTypeFilterManager* aFilterManager, void* aWindow,
                                       VelkType* aConfigInstance)
{
    if (!anInstance)
        return nullptr;
    // The window is the view pane the editors draw in.
    if (anInstance->GetTypeName() == "VAP_Skin")
        return VAVE_GuiSkinEditor::Create(anInstance, static_cast<QDGDI_Window*>(aWindow));
    if (anInstance->GetTypeName() == "Gui")
        return VAVE_GuiEditor::Create(anInstance, static_cast<QDGDI_Window*>(aWindow));
    return VelkEditorFactory::CreateEditor(anInstance, aFilterManager, aWindow, aConfigInstance);
}
