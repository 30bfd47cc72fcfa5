// A small JSON reader for the companion tools' own JSON outputs (serevan-chains --json,
// serevan-eval --json): objects, arrays, strings, numbers, true, false and null.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sertools {

struct JsonMember;

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;                 // a string's value (UTF-8)
    std::vector<JsonValue> items;     // an array's elements
    std::vector<JsonMember> members;  // an object's members, in order

    // The member of an object (the last one of a repeated key); null when absent or when this
    // is not an object.
    const JsonValue* Member(const std::string& key) const;
};

// One member of an object (a named struct, not a std::pair: a pair of an incomplete type
// does not compile with every standard library).
struct JsonMember {
    std::string key;
    JsonValue value;
};

// Parses the whole text (one value, blanks around it allowed; at most 100 levels deep);
// false with "name line L: ..." for malformed text.
bool ParseJson(const std::string& text, const std::string& name, JsonValue& out, std::string& err);

}  // namespace sertools
