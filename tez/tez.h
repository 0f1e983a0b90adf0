// The reader of .tez files: a read-only tree of nodes looked up by name hash,
// dotted path and position. The root owns every node and the texts of the .loc
// file beside it.
#pragma once

#include <cstdint>

class TezLocDecoder;
class VelkArena;

// Deepest nesting of records the reader accepts.
constexpr int TEZ_MAX_DEPTH = 256;

class Tez
{
public:
    // The root of the file, owned by the caller, or null. With aConvertFirstFlag
    // a missing, stale or unreadable .tez is first converted from its .velk.
    static Tez* Load(const char* aPath, bool aConvertFirstFlag);

    Tez();
    ~Tez();
    Tez(const Tez&) = delete;
    Tez& operator=(const Tez&) = delete;

    // Loads a file into this node, which must be empty. On failure nothing of
    // the file is kept.
    bool Init(const char* aPath);

    // A name or a dotted path, shorter than 512 characters; references are
    // followed on the way.
    Tez* GetMember(const char* aName);
    // The index must be below GetNumMembers().
    Tez* GetMemberByIndex(int anIndex);
    const char* GetMemberValue(const char* aName);
    // These see through references.
    const char* GetValue();
    int GetValueAsInt();
    uint32_t GetNameHash();
    int GetNumMembers();
    bool IsReference() const { return myCount == -2; }

    // Without following references.
    uint32_t GetTypeHash() const { return myTypeHash; }
    uint32_t GetOwnNameHash() const { return myNameHash; }
    int GetCount() const { return myCount; }
    // A reference's target, null for "NULL".
    Tez* GetTarget() const { return myTarget; }
    // The texts of the .loc file beside the file read into this node; null when
    // the file has none, or for a node the file was not read into.
    const TezLocDecoder* GetLocDecoder() const;

private:
    friend class TezReader;
    struct File;

    // The node at the end of a chain of references, null when one has no target.
    Tez* Priv_Follow();
    // Direct member with that name hash, or null.
    Tez* Priv_FindDirect(uint32_t aNameHash);
    Tez* Priv_GetMember(const char* aName, bool aLogFlag);
    void Priv_Free();

    // An object's (hash, position) pairs sorted, for nodes with many members;
    // null otherwise.
    uint64_t* Priv_GetIndex() const;
    void Priv_SetIndex(uint64_t* anIndex);

    uint32_t myTypeHash;
    uint32_t myNameHash;
    int32_t myCount;
    // Set on the node a file was read into: its second pointer is the file's.
    bool myFileFlag;
    // Reference resolution: 0 not yet, 1 under way, 2 done, 3 chain checked.
    uint8_t myResolveState;
    // myCount tells which of each pair a node uses.
    union
    {
        // Value text of a scalar, the path text of a reference (shared empty
        // text when there is none).
        char* myText;
        // An object's members, side by side.
        Tez* myMembers;
    };
    union
    {
        // A reference's target, set once every record is read.
        Tez* myTarget;
        // An object's index (see Priv_GetIndex).
        uint64_t* myIndex;
        // What the node a file was read into owns.
        File* myFile;
    };
};
