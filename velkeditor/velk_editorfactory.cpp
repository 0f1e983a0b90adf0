// The base factory's choice of editor.
#include "velkeditor/velk_editorfactory.h"

#include <new>

#include "qdrawgdi/qdgdi.h"
#include "velk/velk_type.h"
#include "velkeditor/qs_soundeditor.h"
#include "velkeditor/spreadsheeteditor2.h"
#include "velkeditor/velk_editor.h"
#include "velkeditor/velk_typefilter.h"

VelkEditorFactory::~VelkEditorFactory() = default;

VelkEditorFactory* VelkEditorFactory::Create()
{
    return new (std::nothrow) VelkEditorFactory;
}

VelkEditor* VelkEditorFactory::CreateEditor(VelkType* anInstance, VelkTypeFilterManager* aFilterManager,
                                            void* aWindow, VelkType* aConfigInstance)
{
    if (!anInstance)
        return nullptr;
    if (anInstance->GetTypeName() == "QS_Sound")
        return QS_SoundEditor::Create(anInstance, static_cast<QDGDI_Window*>(aWindow));
    VelkClass* locClass = dynamic_cast<VelkClass*>(anInstance);
    if (!locClass || !locClass->IsScriptClass())
        return nullptr;
    QC_List<QC_String> locLegalTypes;
    anInstance->GetLegalValues(locLegalTypes);
    if (locLegalTypes.myCount != 1 || !aFilterManager)
        return nullptr;
    // The record is made even when no spreadsheet can be, so that the type is
    // listed in the next saved filter file.
    VelkTypeFilterManager::Type* locRecord = aFilterManager->GetType(locLegalTypes.GetFirst());
    SpreadSheetEditor2* locEditor =
        new (std::nothrow) SpreadSheetEditor2(anInstance, locRecord->GetActiveFilter(), static_cast<QDGDI_Window*>(aWindow));
    if (locEditor && !locEditor->Init())
    {
        delete locEditor;
        return nullptr;
    }
    return locEditor;
}
