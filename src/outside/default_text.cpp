#include "outside/default_text.h"

#include <cstdint>

namespace z418kt::outside::text {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at `pos` and its code point, or 0
// when the byte there does not start one.
size_t sequenceAt(std::string_view s, size_t pos, uint32_t& codePoint) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char lead = byte(pos);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  size_t length;
  uint32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() - pos < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF) return 0;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
  return length;
}

bool isControl(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

template <class OnChar>
void walk(std::string_view s, OnChar onChar) {
  for (size_t pos = 0; pos < s.size();) {
    uint32_t cp = 0;
    size_t length = sequenceAt(s, pos, cp);
    if (length == 0) {
      onChar(std::string_view{}, 0xFFFD);  // one bad byte
      ++pos;
    } else {
      onChar(s.substr(pos, length), cp);
      pos += length;
    }
  }
}

std::string rebuild(std::string_view s, bool controlsToBlank) {
  std::string out;
  out.reserve(s.size());
  walk(s, [&](std::string_view bytes, uint32_t cp) {
    if (bytes.empty()) {
      out += kReplacement;
    } else if (controlsToBlank && isControl(cp)) {
      out += ' ';
    } else {
      out += bytes;
    }
  });
  return out;
}

}  // namespace

std::string repairUtf8(std::string_view text) { return rebuild(text, false); }

std::string blankControls(std::string_view text) { return rebuild(text, true); }

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
