// The value string: one pointer to NUL-terminated text, with the 16-bit length
// stored in the two bytes before the text. All empty strings that were never
// given a buffer share one static empty buffer.
#pragma once

#include <cstdarg>

class QC_String
{
public:
    QC_String();
    QC_String(const char* aString);
    QC_String(const QC_String& aString);
    QC_String(QC_String&& aString) noexcept;
    ~QC_String();

    QC_String& operator=(const char* aString);
    QC_String& operator=(const QC_String& aString);
    QC_String& operator=(QC_String&& aString) noexcept;
    QC_String& operator=(char aChar);

    // As the assignments: a null text leaves the string empty.
    void Set(const char* aString);
    void SetChar(char aChar);

    // Frees the current text and gives the string a buffer of aSize characters
    // (zeroed, NUL-terminated) to fill through GetBuffer. 0 <= aSize < 65535.
    char* Allocate(int aSize);

    int GetLength() const;
    bool IsEmpty() const { return GetLength() == 0; }
    const char* GetBuffer() const { return myText; }
    char* GetBuffer() { return myText; }
    operator const char*() const { return myText; }

    // Byte-order compares; they stop at the first NUL. A null text counts as "".
    bool operator==(const char* aString) const;
    bool operator==(const QC_String& aString) const;
    bool operator!=(const char* aString) const;
    bool operator!=(const QC_String& aString) const;
    bool operator<(const QC_String& aString) const;
    bool operator>(const QC_String& aString) const;
    int CompareNoCase(const char* aString) const;
    int CompareNoCase(const QC_String& aString) const;

    // Searches answer an index, or -1 when absent.
    int Find(char aChar) const;
    int Find(const char* aSubString) const;
    int ReverseFind(char aChar) const;

    int Replace(char aFrom, char aTo);
    void MakeLower();
    void MakeUpper();

    QC_String operator+(const char* aString) const;
    QC_String Left(int aCount) const;
    QC_String Right(int aCount) const;

    // Sized exactly from the formatted result; the arguments may point into
    // this string's own text.
    void Format(const char* aFormat, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* aFormat, va_list anArgs);

    // For owners that keep texts elsewhere (an arena): points the string at
    // text laid out as a string's own (the length word before it, the NUL
    // after it) without copying. The string does not own that text: Unborrow
    // must drop it before the string is assigned to or destroyed.
    void Borrow(char* aText);
    void Unborrow();

    // The shared empty buffer, for tests and for callers that compare against it.
    static const char* GetSharedEmptyText();

#ifdef QC_RENDER_BUILD
    // The renderer build's further operations (qc_string_render.cpp).
    bool operator<(const char* aString) const;
    bool operator<=(const char* aString) const;
    bool operator>(const char* aString) const;
    bool operator>=(const char* aString) const;
    bool operator<=(const QC_String& aString) const;
    bool operator>=(const QC_String& aString) const;
    // Negative, 0 or positive.
    int Compare(const char* aString) const;
    // Characters with codes of 32 and below go; TrimRight works in place and
    // returns the new length.
    void TrimLeft();
    int TrimRight();
    QC_String& operator+=(const char* aString);
    QC_String& operator+=(char aChar);
    // This string followed by anOther (the model editor's status texts); returns this string.
    QC_String& AppendString(const QC_String& anOther);
    QC_String operator+(const QC_String& aString) const;
    friend QC_String operator+(const char* aText, const QC_String& aString);
    // Cut at the end; a negative start or count gives an empty string.
    QC_String Mid(int aStart, int aCount) const;
    // Cut at the end; an empty string or a negative start is left alone.
    // Returns the length before the call.
    int Delete(int aStart, int aCount);
    // Replaces the first occurrence until none is left; returns how many. An
    // empty find text, or a replacement that contains it again, is refused (0).
    int Replace(const char* aFind, const char* aReplacement);
#endif

private:
    static char* AllocateBuffer(int aSize);
    static void FreeBuffer(char* aText);
    static void SetLengthWord(char* aText, int aSize);
    static int GetLengthWord(const char* aText);
    void CopyFrom(const char* aSource, int aLength);

    char* myText;
};

static_assert(sizeof(QC_String) == sizeof(char*), "a string is one pointer wide");

#ifdef QC_RENDER_BUILD
bool operator==(const char* aText, const QC_String& aString);
bool operator!=(const char* aText, const QC_String& aString);
bool operator<(const char* aText, const QC_String& aString);
bool operator<=(const char* aText, const QC_String& aString);
bool operator>(const char* aText, const QC_String& aString);
bool operator>=(const char* aText, const QC_String& aString);
#endif
