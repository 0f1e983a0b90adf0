// Internals shared by the sources of the data-language core: thin helpers over
// the common library's string and list, the text buffer of the line reader and
// the arena's own data.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/os/os_memory.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_listiterator.h"
#include "qcommon/qc_string.h"
#include "velk/velk_arena.h"
#include "velk/velk_names.h"

class VelkType;

inline const char* Velk_Text(const QC_String& aString)
{
    return aString.GetBuffer();
}

inline int Velk_Length(const QC_String& aString)
{
    // The length word before the text, as the string keeps it.
    uint16_t locLength;
    memcpy(&locLength, aString.GetBuffer() - 2, 2);
    return locLength;
}

template <class T>
inline int Velk_Count(const QC_List<T>& aList)
{
    return aList.myCount;
}

// Longest text a QC_String can hold.
constexpr int VELK_MAX_STRING = 65534;

// A file's text as read: uninitialised when sized, a large block when large.
// Read from its start on, the whole pages passed go back to the system.
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

    // The text before aPos is read and no longer wanted: its whole pages go
    // back to the system, in steps of a quarter megabyte at least, and under
    // the address sanitizer any read of it is reported.
    void Passed(size_t aPos);

private:
    char* myText = nullptr; // from OS_AllocLarge, myCapacity bytes
    size_t mySize = 0;
    size_t myCapacity = 0;
    size_t myPassed = 0;
    size_t myDiscarded = 0;
};

// The arena's data, behind VelkArena's public face.
class VelkArenaLocal : public VelkArena
{
public:
    static VelkArenaLocal* Of(VelkArena* anArena) { return static_cast<VelkArenaLocal*>(anArena); }

    void AddRef() { myUseCount++; }
    void Release()
    {
        if (--myUseCount == 0)
            delete this;
    }
    void* Allocate(size_t aSize, size_t anAlign = alignof(std::max_align_t));
    // A copy of the text laid out as a string's own (the length word before,
    // the NUL after); null when no memory is left. aLength < 65535.
    char* CopyText(const char* aText, size_t aLength);
    // Takes back the text CopyText made last, when nothing was made since.
    void GiveBack(char* aText, size_t aLength);
    // The same, one copy per distinct text: for texts many objects start with.
    char* InternText(const char* aText, size_t aLength);
    // Whether [aPlace, aPlace + aSize) lies within one of the arena's blocks.
    bool Holds(const void* aPlace, size_t aSize) const;

    // The arena that objects made now take their texts from, or null.
    static VelkArenaLocal* GetCurrent();
    // The arena's number among those alive (1 to 65535), or 0 when all were
    // taken: texts then take heap copies instead of borrowing from it.
    uint16_t GetNumber() const { return myNumber; }
    // The arena of that number; null for 0.
    static VelkArenaLocal* FromNumber(uint16_t aNumber) { return ourByNumber[aNumber]; }

    // Makes anArena the current one for the scope's life.
    class Scope
    {
    public:
        explicit Scope(VelkArena* anArena);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        VelkArenaLocal* myPrevious;
    };

private:
    friend class VelkArena;
    VelkArenaLocal() = default;
    ~VelkArenaLocal();
    // Adds the next piece of the current block to the room left, faulted in.
    void Priv_FaultInStep();
    // Hands out [myFree, myFree + aSize), which fits the room left.
    char* Priv_Take(size_t aSize);

    struct Block
    {
        Block* myNext;
        size_t mySize;
    };

    // Indexed by number, so that finding a text's arena takes one load; slot 0 stays null.
    static VelkArenaLocal* ourByNumber[65536];

    int myUseCount = 1;
    uint16_t myNumber = 0;
    Block* myBlocks = nullptr;
    char* myFree = nullptr;
    size_t myLeft = 0; // up to what is faulted in of the block
    char* myBlockEnd = nullptr;
    size_t myNextBlockSize = 16 * 1024;
    size_t myHeld = 0; // bytes in myBlocks
    bool myLargeFlag = false;
    std::unordered_map<std::string_view, char*, VelkStringHash> myInterned;
    // The texts last interned by where they came from: a compile interns the
    // same few prototype values again and again. A hit is checked by content.
    struct Recent
    {
        const char* mySource = nullptr;
        char* myCopy = nullptr;
    };
    Recent myRecent[64];
};

// Which arena a text borrows from, kept by the text's holder in the top bits
// of a word it has anyway (VELK_ARENA_SHIFT): an arena's number, 0 for none.
// A text then costs one pointer.
class VelkArenaHold
{
public:
    explicit VelkArenaHold(uintptr_t& aWord) : myWord(aWord) {}
    VelkArenaLocal* Get() const { return VelkArenaLocal::FromNumber(uint16_t(myWord >> VELK_ARENA_SHIFT)); }
    void Set(VelkArenaLocal* anArena)
    {
        const uintptr_t locNumber = anArena ? anArena->GetNumber() : 0;
        myWord = (myWord & ~(~uintptr_t(0) << VELK_ARENA_SHIFT)) | (locNumber << VELK_ARENA_SHIFT);
    }

private:
    uintptr_t& myWord;
};
