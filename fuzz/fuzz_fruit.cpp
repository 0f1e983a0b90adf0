// The type compiler: the input is a .fruit file (it may include itself). Every
// type compiled must be as large as the manager noted, within the bounds of an
// instance; text that is no 8-bit text (a UTF-16 mark, a NUL) declares nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_util.h"
#include "velk/velk_log.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
// The objects of anObject and its members, and how deep member blocks nest in it.
VelkTypeSize Measure(VelkType* anObject)
{
    VelkTypeSize locSize;
    if (dynamic_cast<VelkClass*>(anObject) == nullptr)
        return locSize;
    locSize.myDepth = 1;
    for (VelkType* locMember : anObject->GetMemberView())
    {
        const VelkTypeSize locMemberSize = Measure(locMember);
        locSize.myObjects += locMemberSize.myObjects;
        if (locMemberSize.myDepth + 1 > locSize.myDepth)
            locSize.myDepth = locMemberSize.myDepth + 1;
    }
    return locSize;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    VelkLog::SetErrorSwitch(false);
    FuzzScratch::Write("a.fruit", aData, aSize);
    FuzzScratch::Inside locInside;
    VelkTypeManager locTypeManager;
    const int locBuiltins = locTypeManager.GetNumTypes();
    const bool locCompiled = locTypeManager.Compile("a.fruit");

    const bool locMarked = aSize >= 2 && ((aData[0] == 0xFF && aData[1] == 0xFE) || (aData[0] == 0xFE && aData[1] == 0xFF));
    if ((locMarked || memchr(aData, 0, aSize) != nullptr) && (locCompiled || locTypeManager.GetNumTypes() != locBuiltins))
    {
        fprintf(stderr, "text that is no 8-bit text declared types\n");
        abort();
    }
    QC_List<VelkType*> locTypes;
    locTypeManager.GetTypes(locTypes);
    uint64_t locAll = 0;
    for (QC_ListLink<VelkType*>* locLink = locTypes.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkType* locType = locLink->myItem;
        const VelkTypeSize locSize = Measure(locType);
        const VelkTypeSize locNoted = locTypeManager.GetTypeSize(locType->GetTypeName().GetBuffer());
        locAll += locSize.myObjects;
        if (locSize.myObjects != locNoted.myObjects || locSize.myDepth != locNoted.myDepth ||
            locSize.myObjects > VELK_MAX_INSTANCE_OBJECTS || locSize.myDepth > VELK_MAX_BLOCK_DEPTH)
        {
            fprintf(stderr, "type '%s' holds %llu objects %d deep, noted as %llu %d deep\n",
                    locType->GetTypeName().GetBuffer(), (unsigned long long)locSize.myObjects, locSize.myDepth,
                    (unsigned long long)locNoted.myObjects, locNoted.myDepth);
            abort();
        }
    }
    if (locAll > VELK_MAX_TYPE_OBJECTS + locTypeManager.GetNumTypes())
    {
        fprintf(stderr, "the types hold %llu objects\n", (unsigned long long)locAll);
        abort();
    }
    return 0;
}
