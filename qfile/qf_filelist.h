// A directory listing of name, size, packed time and directory flag per entry,
// shared by the tools' build and the renderer build of the file library.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

// A directory listing: a singly linked list of entries, newest insertion first.
class QF_FileList
{
public:
    struct Node
    {
        char* myName;           // heap copy
        uint32_t mySize;        // 0xFFFFFFFF for files of 4 GB or more
        uint32_t myTime;        // packed, see QF_File::PackDateTime
        uint8_t myIsDirectory;
        Node* myNext;
    };

    QF_FileList() = default;
    ~QF_FileList() { Free(); }
    QF_FileList(const QF_FileList&) = delete;
    QF_FileList& operator=(const QF_FileList&) = delete;

    // Ignores a name already listed (without regard to case); else inserts at
    // the head. False only when memory runs out.
    bool Add(const char* aName, uint32_t aSize, uint32_t aTime, bool anIsDirectory);
    // Frees every node and its name.
    void Free();
    // The node of that name (without regard to case), or null.
    Node* Find(const char* aName) const;
    int Count() const;

    Node* myFirst = nullptr;

private:
    // Upper-cased name -> node, so that adding stays linear in a folder of many files.
    std::unordered_map<std::string, Node*> myIndex;
};
