// The .tez reader: the input is a .tez file, optionally followed by the
// separator "#LOCFILE" and the .loc file written beside it. A tree that loads
// is walked: members by position and by name, values, references.
#include <cstdint>
#include <cstring>

#include "fuzz_util.h"
#include "tez/tez.h"

static void locWalk(Tez* aNode, int aDepth, int* aBudget)
{
    if (!aNode || --*aBudget < 0)
        return;
    aNode->GetValue();
    aNode->GetValueAsInt();
    aNode->GetNameHash();
    aNode->GetMemberValue("Count");
    aNode->GetMember("First.Count");
    const int locCount = aNode->GetNumMembers();
    for (int i = 0; i < locCount && aDepth < 8; i++)
        locWalk(aNode->GetMemberByIndex(i), aDepth + 1, aBudget);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    static const char ourSeparator[] = "#LOCFILE";
    const uint8_t* locSplit = static_cast<const uint8_t*>(memmem(aData, aSize, ourSeparator, sizeof(ourSeparator) - 1));
    const size_t locTezSize = locSplit ? size_t(locSplit - aData) : aSize;
    FuzzScratch::Write("fuzz.tez", aData, locTezSize);
    if (locSplit)
    {
        const uint8_t* locLoc = locSplit + sizeof(ourSeparator) - 1;
        FuzzScratch::Write("fuzz.loc", locLoc, aSize - (locLoc - aData));
    }
    else
        unlink((FuzzScratch::Get() + "/fuzz.loc").c_str());
    FuzzScratch::Inside locInside;
    Tez* locRoot = Tez::Load("fuzz.tez", false);
    if (locRoot)
    {
        int locBudget = 256;
        locWalk(locRoot, 0, &locBudget);
        locRoot->GetMember("Apple.Next.Count");
        delete locRoot;
    }
    return 0;
}
