// Text helpers of the default outside components: UTF-8 repair, control
// characters, code-point counting and blank trimming.
//
// Texts reach the components as UTF-8 but nothing guarantees that they are
// well formed (a driver, a file or a caller may hand over stray bytes). Every
// helper here accepts any byte sequence and never reads past its end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace z418kt::outside::text {

// The text with every byte that does not start a well-formed UTF-8 sequence
// (stray continuation bytes, truncated or overlong sequences, surrogates,
// values above U+10FFFF) replaced by U+FFFD. Well-formed text comes back equal.
std::string repairUtf8(std::string_view text);

// As repairUtf8, and every control character (U+0000-U+001F, U+007F,
// U+0080-U+009F) replaced by one blank; with `keepNul`, U+0000 stays.
std::string blankControls(std::string_view text, bool keepNul = false);

// The number of characters: code points of well-formed sequences, plus one
// for each byte that repairUtf8 would replace.
size_t codePointCount(std::string_view text);

// Without leading and trailing blanks (spaces and tabs).
std::string_view trimBlanks(std::string_view text);

}  // namespace z418kt::outside::text
