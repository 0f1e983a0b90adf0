// The directory listing shared by both builds of the file library.
#include "qfile/qf_filelist.h"

#include <cstdlib>
#include <cstring>

namespace
{
// Names compare by ASCII case only, whatever the locale.
std::string locUpperName(const char* aName)
{
    std::string locKey = aName;
    for (char& locChar : locKey)
        if (locChar >= 'a' && locChar <= 'z')
            locChar = char(locChar - 'a' + 'A');
    return locKey;
}
}

bool QF_FileList::Add(const char* aName, uint32_t aSize, uint32_t aTime, bool anIsDirectory)
{
    if (!aName)
        return true;
    std::string locKey = locUpperName(aName);
    if (myIndex.count(locKey))
        return true;
    Node* locNode = static_cast<Node*>(malloc(sizeof(Node)));
    char* locName = strdup(aName);
    if (!locNode || !locName)
    {
        free(locNode);
        free(locName);
        return false;
    }
    locNode->myName = locName;
    locNode->mySize = aSize;
    locNode->myTime = aTime;
    locNode->myIsDirectory = anIsDirectory ? 1 : 0;
    locNode->myNext = myFirst;
    myFirst = locNode;
    myIndex.emplace(std::move(locKey), locNode);
    return true;
}

void QF_FileList::Free()
{
    while (myFirst)
    {
        Node* locNext = myFirst->myNext;
        free(myFirst->myName);
        free(myFirst);
        myFirst = locNext;
    }
    myIndex.clear();
}

QF_FileList::Node* QF_FileList::Find(const char* aName) const
{
    if (!aName)
        return nullptr;
    auto locIt = myIndex.find(locUpperName(aName));
    return locIt == myIndex.end() ? nullptr : locIt->second;
}

int QF_FileList::Count() const
{
    int locCount = 0;
    for (Node* locNode = myFirst; locNode; locNode = locNode->myNext)
        ++locCount;
    return locCount;
}
