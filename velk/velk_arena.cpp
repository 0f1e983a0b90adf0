// Arenas, the text buffer and the model's texts.
#include "velk/velk_arena.h"

#include <sanitizer/asan_interface.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "qcommon/qc_mem.h"
#include "velk/velk_local.h"

namespace
{
// Objects are made by one thread at a time; the compile sets this.
VelkArenaLocal* ourCurrentArena = nullptr;
std::atomic<int> ourNumAlive{0};
constexpr size_t VELK_ARENA_ALIGN = alignof(std::max_align_t);
// Blocks double up to VELK_ARENA_MAX_BLOCK from the heap; an arena that has
// grown past VELK_ARENA_LARGE_FROM (a .tez file's records, say) takes blocks
// of 2 MB each from the system. Smaller arenas stay
// on the heap, where a partly used block costs no more than it holds.
constexpr size_t VELK_ARENA_MAX_BLOCK = 512 * 1024;
constexpr size_t VELK_ARENA_LARGE_FROM = 8 * 1024 * 1024;
constexpr size_t VELK_ARENA_LARGE_BLOCK = 2 * 1024 * 1024;
constexpr size_t VELK_ARENA_FAULT_STEP = 64 * 1024;

// Guards the giving out and taking back of arena numbers; finding an arena by
// its number needs no lock, as its holders keep it alive.
std::mutex ourNumberLock;
uint16_t ourNextNumber = 1;
}

VelkArenaLocal* VelkArenaLocal::ourByNumber[65536] = {};

VelkArena* VelkArena::Create()
{
    VelkArenaLocal* locArena = new (std::nothrow) VelkArenaLocal();
    if (locArena == nullptr)
        return nullptr;
    ourNumAlive++;
    std::lock_guard<std::mutex> locLock(ourNumberLock);
    for (int locTried = 0; locTried < 65535; locTried++)
    {
        const uint16_t locNumber = ourNextNumber;
        ourNextNumber = ourNextNumber == 65535 ? 1 : ourNextNumber + 1;
        if (VelkArenaLocal::ourByNumber[locNumber] == nullptr)
        {
            VelkArenaLocal::ourByNumber[locNumber] = locArena;
            locArena->myNumber = locNumber;
            break;
        }
    }
    return locArena;
}

void VelkArena::AddRef()
{
    VelkArenaLocal::Of(this)->AddRef();
}

void VelkArena::Release()
{
    VelkArenaLocal::Of(this)->Release();
}

void* VelkArena::Allocate(size_t aSize, size_t anAlign)
{
    return VelkArenaLocal::Of(this)->Allocate(aSize, anAlign);
}

void VelkArena::ExpectLarge()
{
    VelkArenaLocal::Of(this)->myLargeFlag = true;
}

int VelkArena::GetNumAlive()
{
    return ourNumAlive;
}

VelkArenaLocal::~VelkArenaLocal()
{
    ourNumAlive--;
    if (myNumber)
    {
        std::lock_guard<std::mutex> locLock(ourNumberLock);
        ourByNumber[myNumber] = nullptr;
    }
    while (myBlocks)
    {
        Block* locNext = myBlocks->myNext;
        const size_t locSize = myBlocks->mySize;
        // Unmarked for whoever gets the memory next.
        ASAN_UNPOISON_MEMORY_REGION(myBlocks, locSize);
        OS_FreeLarge(myBlocks, locSize);
        myBlocks = locNext;
    }
}

char* VelkArenaLocal::Priv_Take(size_t aSize)
{
    char* locPiece = myFree;
    ASAN_UNPOISON_MEMORY_REGION(locPiece, aSize);
    myFree += aSize;
    myLeft -= aSize;
    return locPiece;
}

void* VelkArenaLocal::Allocate(size_t aSize, size_t anAlign)
{
    // Texts may have left the free space unaligned.
    const size_t locPadding = (size_t)(-(uintptr_t)myFree) & (anAlign - 1);
    // A block is faulted in a step at a time as it fills: a fault per step
    // instead of one per page, and no more in memory than the fill needs.
    while (!(myLeft >= locPadding && aSize <= myLeft - locPadding) && myFree + myLeft < myBlockEnd)
        Priv_FaultInStep();
    if (myLeft >= locPadding && aSize <= myLeft - locPadding)
    {
        myFree += locPadding;
        myLeft -= locPadding;
    }
    else
    {
        // A large request gets a block of its own; the rest of the old block stays unused.
        const size_t locHeader = (sizeof(Block) + VELK_ARENA_ALIGN - 1) & ~(VELK_ARENA_ALIGN - 1);
        size_t locSize =
            myLargeFlag || myHeld >= VELK_ARENA_LARGE_FROM ? VELK_ARENA_LARGE_BLOCK : myNextBlockSize;
        if (locSize < aSize + locHeader)
            locSize = aSize + locHeader;
        locSize = OS_LargeSize(locSize);
        Block* locBlock = static_cast<Block*>(OS_AllocLarge(locSize));
        if (locBlock == nullptr)
            return nullptr;
        locBlock->myNext = myBlocks;
        locBlock->mySize = locSize;
        myBlocks = locBlock;
        myFree = reinterpret_cast<char*>(locBlock) + locHeader;
        myBlockEnd = reinterpret_cast<char*>(locBlock) + locSize;
        ASAN_POISON_MEMORY_REGION(myFree, locSize - locHeader);
        myLeft = 0;
        while (aSize > myLeft)
            Priv_FaultInStep();
        myHeld += locSize;
        if (myNextBlockSize < VELK_ARENA_MAX_BLOCK)
            myNextBlockSize *= 2;
    }
    return Priv_Take(aSize);
}

bool VelkArenaLocal::Holds(const void* aPlace, size_t aSize) const
{
    const char* locPlace = static_cast<const char*>(aPlace);
    for (const Block* locBlock = myBlocks; locBlock; locBlock = locBlock->myNext)
    {
        const char* locStart = reinterpret_cast<const char*>(locBlock) + sizeof(Block);
        const char* locEnd = reinterpret_cast<const char*>(locBlock) + locBlock->mySize;
        if (locPlace >= locStart && locPlace <= locEnd && aSize <= static_cast<size_t>(locEnd - locPlace))
            return true;
    }
    return false;
}

void VelkArenaLocal::Priv_FaultInStep()
{
    char* locFrom = myFree + myLeft;
    const size_t locStep = static_cast<size_t>(myBlockEnd - locFrom) < VELK_ARENA_FAULT_STEP
                               ? static_cast<size_t>(myBlockEnd - locFrom)
                               : VELK_ARENA_FAULT_STEP;
    OS_FaultIn(locFrom, locStep);
    myLeft += locStep;
}

char* VelkArenaLocal::CopyText(const char* aText, size_t aLength)
{
    if (aLength >= 65535)
        return nullptr;
    // Texts need no object alignment: two bytes for the length word suffice.
    const size_t locSize = (aLength + 3 + 1) & ~(size_t)1;
    char* locBlock = locSize <= myLeft ? Priv_Take(locSize) : static_cast<char*>(Allocate(locSize));
    if (locBlock == nullptr)
        return nullptr;
    const uint16_t locLength = (uint16_t)aLength;
    memcpy(locBlock, &locLength, 2);
    memcpy(locBlock + 2, aText, aLength);
    locBlock[2 + aLength] = 0;
    return locBlock + 2;
}

void VelkArenaLocal::GiveBack(char* aText, size_t aLength)
{
    const size_t locSize = (aLength + 3 + 1) & ~(size_t)1;
    if (aText - 2 + locSize == myFree)
    {
        myFree -= locSize;
        myLeft += locSize;
        ASAN_POISON_MEMORY_REGION(myFree, locSize);
    }
}

char* VelkArenaLocal::InternText(const char* aText, size_t aLength)
{
    Recent& locRecent = myRecent[((uintptr_t)aText >> 4) % (sizeof(myRecent) / sizeof(myRecent[0]))];
    if (locRecent.mySource == aText)
    {
        uint16_t locLength;
        memcpy(&locLength, locRecent.myCopy - 2, 2);
        if (locLength == aLength && memcmp(locRecent.myCopy, aText, aLength) == 0)
            return locRecent.myCopy;
    }
    char* locCopy;
    auto locFound = myInterned.find(std::string_view(aText, aLength));
    if (locFound != myInterned.end())
        locCopy = locFound->second;
    else
    {
        locCopy = CopyText(aText, aLength);
        if (locCopy == nullptr)
            return nullptr;
        myInterned.emplace(std::string_view(locCopy, aLength), locCopy);
    }
    locRecent.mySource = aText;
    locRecent.myCopy = locCopy;
    return locCopy;
}

VelkArenaLocal* VelkArenaLocal::GetCurrent()
{
    return ourCurrentArena;
}

VelkArenaLocal::Scope::Scope(VelkArena* anArena) : myPrevious(ourCurrentArena)
{
    ourCurrentArena = Of(anArena);
}

VelkArenaLocal::Scope::~Scope()
{
    ourCurrentArena = myPrevious;
}

// ---------------------------------------------------------------------------
// VelkTextBuffer
// ---------------------------------------------------------------------------

bool VelkTextBuffer::Allocate(size_t aSize)
{
    Free();
    if (aSize == 0)
        return true;
    myText = static_cast<char*>(OS_AllocLarge(aSize));
    if (myText == nullptr)
        return false;
    // The whole text is read in at once: its pages faulted in by one call.
    OS_FaultIn(myText, aSize);
    mySize = myCapacity = aSize;
    return true;
}

void VelkTextBuffer::Free()
{
    if (myText)
    {
        ASAN_UNPOISON_MEMORY_REGION(myText, myPassed);
        OS_FreeLarge(myText, myCapacity);
    }
    myText = nullptr;
    mySize = myCapacity = myPassed = myDiscarded = 0;
}

void VelkTextBuffer::Passed(size_t aPos)
{
    // Each step is a call to the system.
    constexpr size_t locStep = 256 * 1024;
    if (aPos > mySize || aPos <= myPassed)
        return;
    ASAN_POISON_MEMORY_REGION(myText + myPassed, aPos - myPassed);
    myPassed = aPos;
    if (aPos >= myDiscarded + locStep)
    {
        OS_DiscardLarge(myText, myCapacity, myDiscarded, aPos);
        myDiscarded = aPos;
    }
}

// ---------------------------------------------------------------------------
// VelkText
// ---------------------------------------------------------------------------

void VelkText::Drop(VelkArenaHold aHold)
{
    VelkArenaLocal* locArena = aHold.Get();
    if (locArena == nullptr)
        return;
    myString.Unborrow();
    aHold.Set(nullptr);
    locArena->Release();
}

void VelkText::Priv_Set(VelkArenaHold aHold, VelkArena* anArena, const char* aText, size_t aLength,
                        bool anInternFlag)
{
    VelkArenaLocal* locArena = VelkArenaLocal::Of(anArena);
    char* locText = nullptr;
    // An arena without a number cannot be told apart from none: its texts would not be kept.
    if (locArena && locArena->GetNumber() && aLength < 65535)
        locText = anInternFlag ? locArena->InternText(aText, aLength) : locArena->CopyText(aText, aLength);
    if (locText == nullptr)
    {
        // The heap, as for objects outside any arena.
        QC_String locOwn;
        locOwn.Allocate((int)aLength);
        memcpy(locOwn.GetBuffer(), aText, aLength);
        Drop(aHold);
        myString = std::move(locOwn);
        return;
    }
    // The arena may be the one dropped now: it is held first.
    locArena->AddRef();
    Drop(aHold);
    myString.Borrow(locText);
    aHold.Set(locArena);
}

void VelkText::Assign(VelkArenaHold aHold, const VelkText& anOther, VelkArena* anOtherArena)
{
    if (&anOther == this)
        return;
    VelkArenaLocal* locArena = VelkArenaLocal::GetCurrent();
    if (locArena && locArena == anOtherArena)
    {
        // The same arena: share the text itself.
        locArena->AddRef();
        Drop(aHold);
        myString.Borrow(const_cast<char*>(anOther.myString.GetBuffer()));
        aHold.Set(locArena);
        return;
    }
    Priv_Set(aHold, locArena, anOther.GetBuffer(), anOther.GetLength(), true);
}

void VelkText::Assign(VelkArenaHold aHold, const char* aText)
{
    if (aText == nullptr)
        aText = "";
    VelkArenaLocal* locHeld = aHold.Get();
    Priv_Set(aHold, locHeld ? locHeld : VelkArenaLocal::GetCurrent(), aText, strlen(aText), false);
}

void VelkText::Assign(VelkArenaHold aHold, const QC_String& aText)
{
    Assign(aHold, aText.GetBuffer());
}

void VelkText::SetShared(VelkArenaHold aHold, const char* aText)
{
    Priv_Set(aHold, VelkArenaLocal::GetCurrent(), aText, strlen(aText), true);
}

void VelkText::Borrow(VelkArenaHold aHold, VelkArena* anArena, char* aText)
{
    VelkArenaLocal* locArena = VelkArenaLocal::Of(anArena);
    if (locArena->GetNumber() == 0)
    {
        Priv_Set(aHold, nullptr, aText, strlen(aText), false);
        return;
    }
    locArena->AddRef();
    Drop(aHold);
    myString.Borrow(aText);
    aHold.Set(locArena);
}
