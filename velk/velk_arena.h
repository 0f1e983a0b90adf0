// Memory for many small pieces that go together, kept in large blocks instead
// of one heap allocation each: for a compiled namespace, the names and values
// made while it was compiled or edited, packed (the records of a .tez file
// read back use one too). The arena lives as long as anything uses it: the
// namespace and every text or name that borrows from it hold a count, so an
// object moved elsewhere keeps its texts, and the arena goes whole when the
// last user is gone.
// Threading: objects of the model, and the pieces and counts of an arena, are
// made and changed by one thread at a time.
#pragma once

#include <cstddef>

#include "qcommon/qc_string.h"

// The holder of a text borrowed from an arena keeps the arena's number in the
// top 16 bits of a word whose pointer lies below them (VelkArenaHold): an
// object of the model then needs no word of its own for it. This assumes user
// addresses below 2^48 (x86-64 and AArch64 with 4-level page tables) with
// nothing in the top byte: top-byte tagging (HWASan, MTE, LAM) is not
// supported. Where such a word is set, a pointer reaching these bits stops the
// program with a fatal error naming the address, never overwrites a number.
constexpr unsigned VELK_ARENA_SHIFT = 48;

class VelkArena
{
public:
    // A new arena held once by the caller. Null when no memory is left.
    static VelkArena* Create();

    void AddRef();
    void Release();

    // aSize bytes aligned for any object, or to anAlign (a power of two up to
    // that) when given; null when no memory is left. Under the address
    // sanitizer, reads past the piece into room not handed out are reported.
    void* Allocate(size_t aSize, size_t anAlign = alignof(std::max_align_t));
    // For an arena known to grow to megabytes: takes 2 MB blocks from the
    // first, skipping the small blocks that would fill page by page.
    void ExpectLarge();
    // Arenas alive in the process, for leak checks.
    static int GetNumAlive();

protected:
    // The data lie in VelkArenaLocal (velk_local.h).
    VelkArena() = default;
    ~VelkArena() = default;
};

class VelkArenaHold;

// A text of the model: its own heap copy, or borrowed from an arena, which it
// then keeps alive. Edits of a borrowed text allocate from the same arena. The
// holder keeps the arena's number (VelkArenaHold), passes it to every change
// and drops the text before it goes.
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
    void Assign(VelkArenaHold aHold, const QC_String& aText);
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
