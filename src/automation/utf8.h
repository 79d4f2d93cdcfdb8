// The one UTF-8 codec of the library. Texts are UTF-8 everywhere; the ODBC
// driver manager wants UTF-16, and the outside components count and repair
// characters. Nothing guarantees that a text is well formed (a driver, a file
// or a caller may hand over stray bytes), so every function accepts any byte
// sequence, never reads past its end, and turns what is not well formed into
// U+FFFD, one per offending byte (or lone surrogate).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace z418kt::utf8 {

// Length of the well-formed UTF-8 sequence at `pos` (1 to 4) with its code
// point, or 0 when the byte there does not start one (stray continuation
// byte, truncated or overlong sequence, surrogate, beyond U+10FFFF).
size_t sequenceAt(std::string_view text, size_t pos, char32_t& codePoint);

std::u16string toUtf16(std::string_view utf8);
std::string fromUtf16(std::u16string_view utf16);

// Appends the UTF-8 form of a code point (at most U+10FFFF, no surrogate).
void append(std::string& out, char32_t codePoint);

}  // namespace z418kt::utf8
