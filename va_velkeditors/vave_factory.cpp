// The extension factory.
#include "va_velkeditors/vave_factory.h"

#include <new>

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
    // The skin editor ("VAP_Skin") and the layout editor ("Gui") join here.
    if (anInstance->GetTypeName() == "VAP_Skin" || anInstance->GetTypeName() == "Gui")
        return nullptr;
    return VelkEditorFactory::CreateEditor(anInstance, aFilterManager, aWindow, aConfigInstance);
}
