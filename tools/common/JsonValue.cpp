// A small recursive-descent JSON reader.
#include "common/JsonValue.h"

#include <cstdlib>

#include "common/ToolText.h"

namespace sertools {

const JsonValue* JsonValue::Member(const std::string& key) const
{
    const JsonValue* found = nullptr;
    if (kind == Kind::Object)
        for (const auto& [k, v] : members)
            if (k == key) found = &v;
    return found;
}

namespace {

class Parser {
public:
    Parser(const std::string& text, const std::string& name) : m_s(text), m_name(name) {}

    bool Document(JsonValue& out, std::string& err)
    {
        if (!Value(out, 0)) {
            err = m_err;
            return false;
        }
        Blank();
        if (m_i < m_s.size()) {
            Fail("text after the JSON value");
            err = m_err;
            return false;
        }
        return true;
    }

private:
    bool Fail(const std::string& what)
    {
        int line = 1;
        for (std::size_t k = 0; k < m_i && k < m_s.size(); ++k) line += m_s[k] == '\n';
        m_err = Format("%s line %d: %s", m_name.c_str(), line, what.c_str());
        return false;
    }

    bool Close()
    {
        ++m_i;
        return true;
    }

    void Blank()
    {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\n' || m_s[m_i] == '\r')) ++m_i;
    }

    bool Word(const char* w)
    {
        const std::string word(w);
        if (m_s.compare(m_i, word.size(), word) != 0) return false;
        m_i += word.size();
        return true;
    }

    bool Value(JsonValue& v, int depth)
    {
        if (depth >= 100) return Fail("nested more than 100 levels deep");
        Blank();
        if (m_i >= m_s.size()) return Fail("a value is missing (the text ends)");
        const char c = m_s[m_i];
        if (c == '{') return Object(v, depth);
        if (c == '[') return Array(v, depth);
        if (c == '"') {
            v.kind = JsonValue::Kind::String;
            return String(v.text);
        }
        if (Word("true") || Word("false")) {
            v.kind = JsonValue::Kind::Bool;
            v.boolean = c == 't';
            return true;
        }
        if (Word("null")) return true;
        return Number(v);
    }

    bool Object(JsonValue& v, int depth)
    {
        v.kind = JsonValue::Kind::Object;
        ++m_i;
        Blank();
        if (m_i < m_s.size() && m_s[m_i] == '}') return Close();
        for (;;) {
            Blank();
            std::string key;
            if (m_i >= m_s.size() || m_s[m_i] != '"') return Fail("a member name in quotes expected");
            if (!String(key)) return false;
            Blank();
            if (m_i >= m_s.size() || m_s[m_i] != ':') return Fail("':' expected after a member name");
            ++m_i;
            v.members.push_back(JsonMember{key, JsonValue{}});
            if (!Value(v.members.back().value, depth + 1)) return false;
            Blank();
            if (m_i < m_s.size() && m_s[m_i] == ',') {
                ++m_i;
                continue;
            }
            if (m_i < m_s.size() && m_s[m_i] == '}') return Close();
            return Fail("',' or '}' expected in an object");
        }
    }

    bool Array(JsonValue& v, int depth)
    {
        v.kind = JsonValue::Kind::Array;
        ++m_i;
        Blank();
        if (m_i < m_s.size() && m_s[m_i] == ']') return Close();
        for (;;) {
            v.items.emplace_back();
            if (!Value(v.items.back(), depth + 1)) return false;
            Blank();
            if (m_i < m_s.size() && m_s[m_i] == ',') {
                ++m_i;
                continue;
            }
            if (m_i < m_s.size() && m_s[m_i] == ']') return Close();
            return Fail("',' or ']' expected in an array");
        }
    }

    // Four hexadecimal digits after "\u".
    bool Hex4(unsigned& code)
    {
        code = 0;
        for (int k = 0; k < 4; ++k, ++m_i) {
            const char c = m_i < m_s.size() ? m_s[m_i] : '\0';
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) return Fail("\\u must be followed by four hexadecimal digits");
            code = code * 16 + static_cast<unsigned>(d);
        }
        return true;
    }

    static void Utf8(unsigned code, std::string& out)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool String(std::string& out)
    {
        ++m_i;  // the opening quote
        for (;;) {
            if (m_i >= m_s.size()) return Fail("a string is not closed");
            const char c = m_s[m_i++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character inside a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = m_i < m_s.size() ? m_s[m_i++] : '\0';
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned code = 0;
                if (!Hex4(code)) return false;
                if (code >= 0xD800 && code < 0xDC00) {  // a surrogate pair
                    unsigned low = 0;
                    if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low >= 0xE000)
                        return Fail("a lone surrogate in a \\u escape");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code < 0xE000) {
                    return Fail("a lone surrogate in a \\u escape");
                }
                Utf8(code, out);
                break;
            }
            default: return Fail("an unknown escape in a string");
            }
        }
    }

    bool Number(JsonValue& v)
    {
        // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
        const std::size_t from = m_i;
        auto digits = [&]() {
            const std::size_t at = m_i;
            while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9') ++m_i;
            return m_i > at;
        };
        if (m_i < m_s.size() && m_s[m_i] == '-') ++m_i;
        const std::size_t intAt = m_i;
        if (!digits() || (m_s[intAt] == '0' && m_i - intAt > 1)) return Fail("not a JSON value");
        if (m_i < m_s.size() && m_s[m_i] == '.') {
            ++m_i;
            if (!digits()) return Fail("digits expected after '.'");
        }
        if (m_i < m_s.size() && (m_s[m_i] == 'e' || m_s[m_i] == 'E')) {
            ++m_i;
            if (m_i < m_s.size() && (m_s[m_i] == '+' || m_s[m_i] == '-')) ++m_i;
            if (!digits()) return Fail("digits expected in an exponent");
        }
        v.kind = JsonValue::Kind::Number;
        v.number = std::strtod(m_s.substr(from, m_i - from).c_str(), nullptr);
        return true;
    }

    const std::string& m_s;
    const std::string& m_name;
    std::size_t m_i = 0;
    std::string m_err;
};

}  // namespace

bool ParseJson(const std::string& text, const std::string& name, JsonValue& out, std::string& err)
{
    JsonValue v;
    Parser p(text, name);
    if (!p.Document(v, err)) return false;
    out = std::move(v);
    return true;
}

}  // namespace sertools
