// The text that the .velk writer produces, collected in memory so that a file
// is replaced only by a complete text.
#pragma once

#include <cstddef>
#include <string>

class VelkOutput
{
public:
    // Appends; false once a limit set for tests is passed (nothing is appended then).
    bool Put(const char* aText);
    bool Put(const char* aText, size_t aLength);
    bool PutLineEnd() { return Put("\r\n", 2); }

    const std::string& GetText() const { return myText; }
    void Clear() { myText.clear(); }
    void Reserve(size_t aSize) { myText.reserve(aSize); }
    // Writes fail once the text would grow beyond this many bytes.
    void SetLimit(size_t aLimit) { myLimit = aLimit; }

private:
    std::string myText;
    size_t myLimit = (size_t)-1;
};
