// The non-virtual part of the abstract editor.
#include "velkeditor/velk_editor.h"

#include "velk/velk_type.h"

#include <charconv>
#include <cstring>

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

bool VelkEditor::TakeChanged()
{
    const bool locChanged = myChangedFlag;
    myChangedFlag = false;
    return locChanged;
}

void VelkEditor::StoreInt(VelkType* anOwner, const char* aName, int aValue)
{
    VelkType* locMember = anOwner ? anOwner->FindMember(aName) : nullptr;
    if (locMember && locMember->GetValueAsInt() != aValue && locMember->AssignInt(aValue))
        MarkChanged();
}

void VelkEditor::StoreFloat(VelkType* anOwner, const char* aName, float aValue)
{
    VelkType* locMember = anOwner ? anOwner->FindMember(aName) : nullptr;
    if (!locMember)
        return;
    // Compared as AssignFloat writes them: six places in the C locale.
    auto locFixed = [](float aNumber, char (&aText)[64]) {
        auto locResult = std::to_chars(aText, aText + sizeof(aText) - 1, aNumber, std::chars_format::fixed, 6);
        *locResult.ptr = 0;
    };
    char locOld[64], locNew[64];
    locFixed(anOwner->GetMemberValueAsFloat(aName), locOld);
    locFixed(aValue, locNew);
    if (strcmp(locOld, locNew) != 0 && locMember->AssignFloat(aValue))
        MarkChanged();
}
