// CString: the program's small value-type text class.
#include "base/MyString.h"

#include <cstring>

void CString::Assign(const char* text, int length)
{
    if (length < 0) length = 0;
    m_pString = std::make_unique<char[]>(static_cast<size_t>(length) + 1);  // zero-filled
    if (length > 0) std::memcpy(m_pString.get(), text, static_cast<size_t>(length));
    m_nLength = length;
}

CString::CString(const CString& other)
{
    if (!other.m_pString) return;
    // Zero-terminated copy with the stored length, as assignment does.
    m_pString = std::make_unique<char[]>(static_cast<size_t>(other.m_nLength) + 1);
    std::strncpy(m_pString.get(), other.m_pString.get(), static_cast<size_t>(other.m_nLength));
    m_nLength = other.m_nLength;
}

CString::CString(CString&& other) noexcept : m_pString(std::move(other.m_pString)), m_nLength(other.m_nLength)
{
    other.m_nLength = 0;
}

CString::CString(const char* s)
{
    if (s) Assign(s, static_cast<int>(std::strlen(s)));
}

CString::CString(char c)
{
    Assign(&c, 1);
}

CString& CString::operator=(const CString& other)
{
    if (this == &other) return *this;
    CString copy(other);
    *this = std::move(copy);
    return *this;
}

CString& CString::operator=(CString&& other) noexcept
{
    if (this == &other) return *this;
    m_pString = std::move(other.m_pString);
    m_nLength = other.m_nLength;
    other.m_nLength = 0;
    return *this;
}

CString& CString::operator=(const char* s)
{
    if (!s) s = "";
    Assign(s, static_cast<int>(std::strlen(s)));
    return *this;
}

CString CString::operator+(const CString& b) const
{
    if (!m_pString) return CString(b);
    CString r;
    int length = m_nLength + b.m_nLength;
    r.m_pString = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
    r.m_nLength = length;
    // Zero-terminated copying: text after an embedded zero byte is not carried over.
    std::strncpy(r.m_pString.get(), m_pString.get(), static_cast<size_t>(m_nLength));
    size_t used = std::strlen(r.m_pString.get());
    if (b.m_pString) std::strncpy(r.m_pString.get() + used, b.m_pString.get(), static_cast<size_t>(b.m_nLength));
    return r;
}

CString CString::operator+(const char* s) const
{
    if (!s) s = "";
    if (!m_pString) return CString(s);
    return *this + CString(s);
}
