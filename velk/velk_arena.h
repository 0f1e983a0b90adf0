// Memory for many small pieces that go together, kept in large blocks instead
// of one heap allocation each: for a compiled namespace, the names and values
// made while it was compiled or edited, packed (the
// records of a .tez file read back use one too). The arena lives as long as
// anything uses it: the namespace and every text or name that borrows from it
// hold a count, so an object moved elsewhere keeps its texts, and the arena
// goes whole when the last user is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/os/os_memory.h"
#include "qcommon/qc_string.h"

// A file's text as read: uninitialised when sized, on huge pages when large,
// laid out to end where its last huge page ends (the first page then has room
// before the text). Read from its start on, it hands the huge pages passed to
// the cell pool, which then owns them, and the rest back to the system.
class VelkTextBuffer
{
public:
    VelkTextBuffer() = default;
    ~VelkTextBuffer() { Free(); }
    VelkTextBuffer(const VelkTextBuffer&) = delete;
    VelkTextBuffer& operator=(const VelkTextBuffer&) = delete;

    // aSize bytes, not cleared; false when no memory is left (empty then).
    bool Allocate(size_t aSize);
    void Free();
    // At most the size allocated.
    void SetSize(size_t aSize) { mySize = aSize < myCapacity ? aSize : myCapacity; }

    char* data() { return myText; }
    const char* data() const { return myText; }
    size_t size() const { return mySize; }
    bool empty() const { return mySize == 0; }
    char& operator[](size_t anIndex) { return myText[anIndex]; }
    char operator[](size_t anIndex) const { return myText[anIndex]; }

    // The text before aPos is read and no longer wanted: the whole huge pages
    // up to it go to the cell pool while it takes them, the others back to the
    // system, in steps of a quarter megabyte at least. The text there is no
    // longer the buffer's.
    void Passed(size_t aPos);
    // The bytes of the text handed to the cell pool so far, the room before
    // the text included.
    size_t GetGiven() const { return myGiven; }

private:
    char* myBlock = nullptr; // from OS_AllocLarge, myBlockSize bytes
    char* myText = nullptr;  // within myBlock, ending at its end when on huge pages
    size_t myBlockSize = 0;
    size_t mySize = 0;
    size_t myCapacity = 0;
    size_t myGiven = 0;     // offsets in the block
    size_t myDiscarded = 0;
};

class VelkArena
{
public:
    // A new arena held once by the caller. Null when no memory is left.
    static VelkArena* Create();

    void AddRef() { myUseCount++; }
    void Release()
    {
        if (--myUseCount == 0)
            delete this;
    }

    // aSize bytes aligned for any object, or to anAlign (a power of two up to
    // that) when given; null when no memory is left.
    void* Allocate(size_t aSize, size_t anAlign = alignof(std::max_align_t));
    // A copy of the text laid out as a string's own (the length word before,
    // the NUL after); null when no memory is left. aLength < 65535.
    char* CopyText(const char* aText, size_t aLength);
    // Takes back the text CopyText made last, when nothing was made since.
    void GiveBack(char* aText, size_t aLength);
    // The same, one copy per distinct text: for texts many objects start with.
    char* InternText(const char* aText, size_t aLength);
    // For an arena known to grow to megabytes: takes huge-page blocks from the
    // first, skipping the small blocks that would fill page by page.
    void ExpectLarge() { myLargeFlag = true; }
    // Whether [aPlace, aPlace + aSize) lies within one of the arena's blocks.
    bool Holds(const void* aPlace, size_t aSize) const;

    // The arena that objects made now take their texts from, or null.
    static VelkArena* GetCurrent();
    // Arenas alive in the process, for leak checks.
    static int GetNumAlive();
    // The arena's number among those alive (1 to 65535), or 0 when all were
    // taken: texts then take heap copies instead of borrowing from it.
    uint16_t GetNumber() const { return myNumber; }
    // The arena of that number; null for 0.
    static VelkArena* FromNumber(uint16_t aNumber) { return ourByNumber[aNumber]; }

    // Makes anArena the current one for the scope's life.
    class Scope
    {
    public:
        explicit Scope(VelkArena* anArena);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        VelkArena* myPrevious;
    };

private:
    VelkArena() = default;
    ~VelkArena();
    // Adds the next piece of the current block to the room left, faulted in.
    void Priv_FaultInStep();

    struct Block
    {
        Block* myNext;
        size_t mySize;
    };

    // Indexed by number, so that finding a text's arena takes one load; slot 0 stays null.
    static VelkArena* ourByNumber[65536];

    int myUseCount = 1;
    uint16_t myNumber = 0;
    Block* myBlocks = nullptr;
    char* myFree = nullptr;
    size_t myLeft = 0;        // up to what is faulted in of the block
    char* myBlockEnd = nullptr;
    size_t myNextBlockSize = 16 * 1024;
    size_t myHeld = 0;   // bytes in myBlocks
    bool myLargeFlag = false;
    struct TextHash
    {
        size_t operator()(std::string_view aText) const;
    };
    std::unordered_map<std::string_view, char*, TextHash> myInterned;
    // The texts last interned by where they came from: a compile interns the
    // same few prototype values again and again. A hit is checked by content.
    struct Recent
    {
        const char* mySource = nullptr;
        char* myCopy = nullptr;
    };
    Recent myRecent[64];
};

// Which arena a text borrows from, kept by the text's holder in the top 16
// bits of a word it has anyway (an object's owner word, whose pointer needs 48):
// an arena's number, 0 for none. A text then costs one pointer.
class VelkArenaHold
{
public:
    static constexpr unsigned SHIFT = 48;
    static constexpr uintptr_t BITS = ~uintptr_t(0) << SHIFT;

    explicit VelkArenaHold(uintptr_t& aWord) : myWord(aWord) {}
    VelkArena* Get() const { return VelkArena::FromNumber(uint16_t(myWord >> SHIFT)); }
    void Set(VelkArena* anArena)
    {
        myWord = (myWord & ~BITS) | (uintptr_t(anArena ? anArena->GetNumber() : 0) << SHIFT);
    }

private:
    uintptr_t& myWord;
};

// A text of the model: its own heap copy, or borrowed from an arena, which it
// then keeps alive. Edits of a borrowed text allocate from the same arena. The
// holder keeps the arena (VelkArenaHold), passes it to every change and drops
// the text before it goes.
class VelkText
{
public:
    VelkText() = default;
    VelkText(const VelkText&) = delete;
    VelkText& operator=(const VelkText&) = delete;
    ~VelkText() = default;

    // A borrowed text goes back to empty and releases its arena; a text of
    // its own stays (the next assignment or the destructor frees it).
    void Drop(VelkArenaHold aHold);
    // anOther's text, anOther borrowing from anOtherArena: a copy in the
    // current arena when there is one, else on the heap.
    void Assign(VelkArenaHold aHold, const VelkText& anOther, VelkArena* anOtherArena);
    // In this text's arena when it has one, else in the current one, else on the heap.
    void Assign(VelkArenaHold aHold, const char* aText);
    void Assign(VelkArenaHold aHold, const QC_String& aText) { Assign(aHold, aText.GetBuffer()); }
    // A text many objects hold ("NULL", "<empty>"): one copy in the current arena.
    void SetShared(VelkArenaHold aHold, const char* aText);
    // Borrows aText (laid out as a string's own) from anArena.
    void Borrow(VelkArenaHold aHold, VelkArena* anArena, char* aText);

    const QC_String& Get() const { return myString; }
    operator const QC_String&() const { return myString; }
    const char* GetBuffer() const { return myString.GetBuffer(); }
    int GetLength() const { return myString.GetLength(); }
    bool operator==(const char* aText) const { return myString == aText; }
    bool operator!=(const char* aText) const { return myString != aText; }
    bool operator==(const QC_String& aText) const { return myString == aText; }
    bool operator!=(const QC_String& aText) const { return myString != aText; }

private:
    void Priv_Set(VelkArenaHold aHold, VelkArena* anArena, const char* aText, size_t aLength, bool anInternFlag);

    QC_String myString;
};
