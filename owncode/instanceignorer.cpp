#include "owncode/instanceignorer.h"

#include "owncode/dlg_type.h"

int InstanceIgnorer::Sub_OkToIgnoreInstanceOfType(const char* aTypeName, const char* anInstanceText)
{
    CDlgIgnoreTypeInstance locDialog;
    locDialog.myTypeName = aTypeName;
    locDialog.myInstanceName = anInstanceText;
    if (locDialog.DoModal() != UI_IDOK)
        return 2;
    return locDialog.myIgnoreTypeFlag ? 0 : 1;
}

bool InstanceIgnorer::Sub_OkToIgnoreMember(const char* aTypeName, const char* anInstanceName,
                                           const char* aMemberName)
{
    (void) anInstanceName;
    CDlgIgnoreTypeMember locDialog;
    locDialog.myTypeName = aTypeName;
    locDialog.myMemberName = aMemberName;
    return locDialog.DoModal() == UI_IDOK;
}
