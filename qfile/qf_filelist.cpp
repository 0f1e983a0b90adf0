// The directory listing shared by both builds of the file library.
#include "qfile/qf_filelist.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

bool QF_FileList::Add(const char* aName, uint32_t aSize, uint32_t aTime, bool anIsDirectory)
{
    if (!aName || Find(aName))
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
}

QF_FileList::Node* QF_FileList::Find(const char* aName) const
{
    for (Node* locNode = myFirst; locNode; locNode = locNode->myNext)
        if (strcasecmp(locNode->myName, aName) == 0)
            return locNode;
    return nullptr;
}

int QF_FileList::Count() const
{
    int locCount = 0;
    for (Node* locNode = myFirst; locNode; locNode = locNode->myNext)
        ++locCount;
    return locCount;
}
