// CString: the program's small value-type text class (file names, sequence and matrix
// names, the command-line echo, line tokenising).
//
// m_nLength is the stored count. After SetAt has written a zero byte inside the text the
// length stays; copies made by assignment and operator+ then copy only up to that zero
// byte while keeping the stored lengths (the rest of their buffer is zero-filled).
#pragma once

#include <memory>

class CString {
public:
    std::unique_ptr<char[]> m_pString;  // text plus terminating zero; null for a default string
    int m_nLength = 0;                  // number of characters

    CString() = default;
    CString(const CString& other);
    CString(CString&& other) noexcept;
    CString(const char* s);  // text s (null gives the empty text)
    explicit CString(char c);
    ~CString() = default;

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const char* s);

    CString operator+(const CString& b) const;
    CString operator+(const char* s) const;

    // Unchecked; index m_nLength yields the terminating zero.
    char operator[](int i) const { return m_pString[i]; }
    int GetLength() const { return m_nLength; }
    // Writes c at 0 <= i < length; any other index is ignored.
    void SetAt(int i, char c);

    CString Left(int n) const;
    CString Right(int n) const;
    // s = max(start, 0), lowered to length-1 when past the end; the count characters from
    // s when they fit, otherwise a copy of the whole string.
    CString Mid(int start, int count) const;
    // First occurrence of sub at or after start, or -1; an empty sub is found at start.
    int Find(const CString& sub, int start) const;

    // The text for C library calls: never null ("" for a string without a buffer).
    const char* c_str() const { return m_pString ? m_pString.get() : ""; }

private:
    void Assign(const char* text, int length);  // copies length bytes and adds the zero
};
