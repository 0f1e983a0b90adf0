// The non-virtual part of the abstract editor.
#include "velkeditor/velk_editor.h"

#include "velk/velk_type.h"

bool VelkEditor::IsRemovedBy(VelkType* aSelection, VelkType* aRemoved)
{
    return aSelection && aRemoved && aRemoved->Contains(aSelection);
}

bool VelkEditor::ReleaseInstance(VelkType* anInstance)
{
    if (anInstance == myInstance || IsRemovedBy(myInstance, anInstance))
        return false;
    return OnInstanceRemoved(anInstance);
}
