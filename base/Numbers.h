// Strict conversions of text to numbers: the one set the program's readers, its command line
// and the companion tools use.
//
// A number is the whole text: a base-10 integer ("42", "-7", "+3") or a real as strtod reads
// it ("0.25", "1e-3", "0x1p-2"). The Read functions take the text exactly as it is; the Parse
// functions also allow white space around the number. Refused: empty text, a zero byte,
// anything after the number, an integer outside the range of its type, and a real that is not
// finite: NaN, an infinity or an overflow such as 1e999. A real too small for a double
// (1e-400) reads as its nearest value, zero or subnormal, as strtod gives it.
#pragma once

#include <string_view>

namespace serevan {

// Why a text is not read: it is no number at all, or a number out of range (integer
// overflow; for reals also NaN and infinities).
enum class NumberRead { Ok, NotANumber, OutOfRange };

// The text exactly, no white space around it.
NumberRead ReadInteger(std::string_view text, long long& value);
NumberRead ReadReal(std::string_view text, double& value);

// White space around the number allowed. value is set only on success.
bool ParseInt(std::string_view text, long long& value);
bool ParseInt(std::string_view text, int& value);
bool ParseReal(std::string_view text, double& value);
// As ParseReal, but the non-finite values printf writes ("nan", "-inf") and overflows are
// read too: for the program's own reports, which may hold them.
bool ParseAnyReal(std::string_view text, double& value);

}  // namespace serevan
