// The type compiler: the input is a .fruit file (it may include itself). Every
// type compiled must be as large as the manager noted, within the bounds of an
// instance; text that is no 8-bit text (a UTF-16 mark, a NUL) declares nothing.
// Then a .velk file of one root of each class type, and for some inputs as many
// roots of the largest as pass a compile's limit, is compiled: it never holds
// more objects than the limit, past it the compile fails, and the file cut
// inside its last block is refused.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_util.h"
#include <string>

#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
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

uint64_t CountObjects(VelkNameSpace& aNameSpace)
{
    QC_List<VelkType*> locRoots;
    aNameSpace.GetInstances(locRoots, true);
    uint64_t locCount = 0;
    for (QC_ListLink<VelkType*>* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkTypeSize locSize = Measure(locLink->myItem);
        locCount += locSize.myObjects;
    }
    return locCount;
}

// Compiles aText as a.velk beside a.fruit; checks the objects it holds.
bool CompileInstances(const std::string& aText, const char* aWhat)
{
    VelkTypeManager locTypes;
    VelkNameSpace locSpace;
    const bool locCompiled = VelkCompiler::CompileText(locSpace, "a.velk", aText.data(), aText.size(), &locTypes, nullptr);
    const uint64_t locObjects = CountObjects(locSpace);
    if (locObjects > VELK_MAX_COMPILE_OBJECTS + VELK_COMPILE_OBJECTS_PER_BYTE * aText.size())
    {
        fprintf(stderr, "%s: a compile of %zu bytes holds %llu objects\n", aWhat, aText.size(),
                (unsigned long long)locObjects);
        abort();
    }
    return locCompiled;
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
    if (!locCompiled)
        return 0;

    // Type names that hold blanks or braces cannot start a root line.
    std::string locText = "INCLUDE a.fruit\r\n";
    std::string locLargest;
    uint64_t locLargestObjects = 0;
    int locRoots = 0;
    for (QC_ListLink<VelkType*>* locLink = locTypes.myFirstLink; locLink && locRoots < 16; locLink = locLink->myNext)
    {
        const std::string locName = locLink->myItem->GetTypeName().GetBuffer();
        if (dynamic_cast<VelkClass*>(locLink->myItem) == nullptr || locName.empty() ||
            locName.find_first_of(" \t{}\"/") != std::string::npos || locName == "INCLUDE")
            continue;
        const uint64_t locObjects = locTypeManager.GetTypeSize(locName.c_str()).myObjects;
        if (locObjects > locLargestObjects)
        {
            locLargestObjects = locObjects;
            locLargest = locName;
        }
        // Roots of the large types are made below, only now and then.
        if (locObjects < 10000)
            locText += locName + " r" + std::to_string(locRoots++) + "\r\n{\r\n}\r\n";
    }
    if (locRoots > 0)
    {
        CompileInstances(locText, "one root each");
        // The last block left open: refused whatever else the file holds.
        if (CompileInstances(locText.substr(0, locText.size() - 3), "cut"))
        {
            fprintf(stderr, "a file cut inside its last block was read:\n%s\n", locText.c_str());
            abort();
        }
    }
    // Millions of objects take a second or two: only now and then.
    if (locLargestObjects < 10000 || aSize % 8 != 0)
        return 0;
    const uint64_t locMore = VELK_MAX_COMPILE_OBJECTS / locLargestObjects + 2;
    for (uint64_t locRoot = 0; locRoot < locMore; locRoot++)
        locText += locLargest + " m" + std::to_string(locRoot) + "\r\n{\r\n}\r\n";
    if (locMore * locLargestObjects > VELK_MAX_COMPILE_OBJECTS + VELK_COMPILE_OBJECTS_PER_BYTE * locText.size() && CompileInstances(locText, "many roots"))
    {
        fprintf(stderr, "%llu roots of '%s' were read\n", (unsigned long long)locMore, locLargest.c_str());
        abort();
    }
    return 0;
}
