// The text that the .velk writer produces, collected in memory so that a file
// is replaced only by a complete text.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

class VelkOutput
{
public:
    // Takes the text on as it grows; false stops the handing on (the rest of
    // the text then stays in memory).
    class Sink
    {
    public:
        virtual bool Take(const char* aText, size_t aLength) = 0;

    protected:
        ~Sink() = default;
    };

    // Appends; always true (the writers chain it with their checks that can fail).
    bool Put(const char* aText);
    bool Put(const char* aText, size_t aLength)
    {
        // Most pieces are a few bytes: they gather in a small buffer first.
        if (aLength <= sizeof(myPending) - myPendingSize)
        {
            memcpy(myPending + myPendingSize, aText, aLength);
            myPendingSize += aLength;
            return true;
        }
        return Priv_Put(aText, aLength);
    }
    bool PutLineEnd() { return Put("\r\n", 2); }
    // Room for aLength more bytes at the end of the text, for the caller to
    // fill at once; null when a piece that long is no small one (Put it then).
    char* Claim(size_t aLength)
    {
        if (aLength > sizeof(myPending) - myPendingSize)
        {
            if (aLength > sizeof(myPending))
                return nullptr;
            Priv_Spill();
        }
        char* locRoom = myPending + myPendingSize;
        myPendingSize += aLength;
        return locRoom;
    }

    // The text not yet handed to a sink: all of it when there is none.
    const std::string& GetText() const
    {
        Priv_Gather();
        return myText;
    }
    // Every byte put so far, handed on or not.
    size_t GetSize() const { return myHandedOn + myText.size() + myPendingSize; }
    void Clear()
    {
        myText.clear();
        myPendingSize = 0;
        myHandedOn = 0;
    }
    void Reserve(size_t aSize) { myText.reserve(aSize); }
    // From now on the text goes to aSink in pieces of about aPieceSize bytes,
    // so that a long text is never held whole; FlushToSink hands on the rest.
    void SetSink(Sink* aSink, size_t aPieceSize);
    bool FlushToSink();

private:
    bool Priv_Put(const char* aText, size_t aLength);
    // The small buffer goes to the text, and the text to the sink when it has grown enough.
    void Priv_Spill();
    void Priv_Gather() const
    {
        if (myPendingSize == 0)
            return;
        myText.append(myPending, myPendingSize);
        myPendingSize = 0;
    }

    mutable std::string myText;
    mutable char myPending[4096];
    mutable size_t myPendingSize = 0;
    size_t myHandedOn = 0;
    size_t myPieceSize = 0;
    Sink* mySink = nullptr;
};
