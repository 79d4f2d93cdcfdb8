#include "outside/default_text.h"

#include "automation/utf8.h"

#include <cstdint>

namespace z418kt::outside::text {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool isControl(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

template <class OnChar>
void walk(std::string_view s, OnChar onChar) {
  for (size_t pos = 0; pos < s.size();) {
    char32_t cp = 0;
    size_t length = utf8::sequenceAt(s, pos, cp);
    if (length == 0) {
      onChar(std::string_view{}, 0xFFFD);  // one bad byte
      ++pos;
    } else {
      onChar(s.substr(pos, length), cp);
      pos += length;
    }
  }
}

std::string rebuild(std::string_view s, bool controlsToBlank, bool keepNul = false) {
  std::string out;
  out.reserve(s.size());
  walk(s, [&](std::string_view bytes, uint32_t cp) {
    if (bytes.empty()) {
      out += kReplacement;
    } else if (controlsToBlank && isControl(cp) && !(keepNul && cp == 0)) {
      out += ' ';
    } else {
      out += bytes;
    }
  });
  return out;
}

}  // namespace

std::string repairUtf8(std::string_view text) { return rebuild(text, false); }

std::string blankControls(std::string_view text, bool keepNul) {
  return rebuild(text, true, keepNul);
}

size_t codePointCount(std::string_view text) {
  size_t count = 0;
  walk(text, [&](std::string_view, uint32_t) { ++count; });
  return count;
}

std::string_view trimBlanks(std::string_view text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

}  // namespace z418kt::outside::text
