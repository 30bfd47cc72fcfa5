// CString: the program's small value-type text class (file names, sequence and matrix
// names, the command-line echo, line tokenising).
//
// m_nLength is the stored count. When the text holds a zero byte, copies made by
// assignment and operator+ copy only up to that zero byte while keeping the stored lengths
// (the rest of their buffer is zero-filled).
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

    // The text for C library calls: never null ("" for a string without a buffer).
    const char* c_str() const { return m_pString ? m_pString.get() : ""; }

private:
    void Assign(const char* text, int length);  // copies length bytes and adds the zero
};
