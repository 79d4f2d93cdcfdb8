#include "outside/default_decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "outside/default_text.h"

namespace z418kt::outside::decimal {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
}

Decimal make(bool negative, std::string_view whole, std::string_view fraction) {
  Decimal d;
  size_t first = whole.find_first_not_of('0');
  d.whole = first == std::string_view::npos ? "0" : std::string(whole.substr(first));
  size_t last = fraction.find_last_not_of('0');
  d.fraction = last == std::string_view::npos ? "" : std::string(fraction.substr(0, last + 1));
  d.negative = negative && !d.isZero();
  return d;
}

// 1 to 3 digits, then groups of exactly 3 separated by `mark`.
bool properlyGrouped(std::string_view s, char mark, std::string& digits) {
  size_t start = 0;
  bool first = true;
  while (true) {
    size_t end = s.find(mark, start);
    std::string_view group = s.substr(start, end == std::string_view::npos ? s.npos : end - start);
    if (!allDigits(group)) return false;
    if (first ? group.size() > 3 : group.size() != 3) return false;
    digits += group;
    first = false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::optional<Decimal> parse(std::string_view text, bool allowGrouping) {
  std::string_view s = text::trimBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  for (char c : s) {
    if (!isDigit(c) && c != '.' && c != ',') return std::nullopt;
  }
  size_t dots = std::count(s.begin(), s.end(), '.');
  size_t commas = std::count(s.begin(), s.end(), ',');
  if (dots + commas == 0) return make(negative, s, "");

  // Which mark separates the decimals, and which one (if any) groups thousands.
  char decimalMark = 0, groupMark = 0;
  if (dots > 0 && commas > 0) {
    decimalMark = s[s.find_last_of(".,")];
    groupMark = decimalMark == '.' ? ',' : '.';
    if ((decimalMark == '.' ? dots : commas) != 1) return std::nullopt;
  } else if (dots + commas == 1) {
    decimalMark = dots ? '.' : ',';
  } else {
    groupMark = dots ? '.' : ',';
  }
  if (groupMark && !allowGrouping) return std::nullopt;

  std::string_view wholePart = s, fractionPart;
  if (decimalMark) {
    size_t at = s.find(decimalMark);
    wholePart = s.substr(0, at);
    fractionPart = s.substr(at + 1);
    if (!allDigits(fractionPart)) return std::nullopt;
  }
  std::string wholeDigits;
  if (groupMark) {
    if (!properlyGrouped(wholePart, groupMark, wholeDigits)) return std::nullopt;
  } else {
    if (!allDigits(wholePart)) return std::nullopt;
    wholeDigits = wholePart;
  }
  return make(negative, wholeDigits, fractionPart);
}

// Adds one unit in the last place of a digit string (magnitude only).
std::string incremented(std::string digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return digits;
    }
    digits[i] = '0';
  }
  return "1" + digits;
}

int compareMagnitude(const Decimal& a, const Decimal& b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  if (int c = a.whole.compare(b.whole)) return c < 0 ? -1 : 1;
  size_t width = std::max(a.fraction.size(), b.fraction.size());
  std::string fa = a.fraction, fb = b.fraction;
  fa.resize(width, '0');
  fb.resize(width, '0');
  int c = fa.compare(fb);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

std::optional<Decimal> parseEntered(std::string_view text) { return parse(text, true); }

std::optional<Decimal> parsePlain(std::string_view text) { return parse(text, false); }

Decimal fromInteger(int64_t value) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return make(value < 0, std::to_string(magnitude), "");
}

Decimal fromCurrency(Currency value) {
  int64_t v = value.scaled;
  uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string fraction = std::to_string(magnitude % Currency::kScale);
  fraction.insert(0, 4 - fraction.size(), '0');
  return make(v < 0, std::to_string(magnitude / Currency::kScale), fraction);
}

std::optional<Decimal> fromDouble(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  if (value == 0) return Decimal{};
  // "d.dddddddddddddde+XX": 15 significant digits and a decimal exponent.
  char buf[64];
  auto written =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  std::string_view s(buf, static_cast<size_t>(written.ptr - buf));
  size_t e = s.find('e');
  std::string digits = std::string(s.substr(0, 1)) + std::string(s.substr(2, e - 2));
  int exponent = 0;
  std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
  // The point sits after digit number exponent + 1.
  long point = static_cast<long>(exponent) + 1;
  if (point <= 0) {
    return make(value < 0, "", std::string(static_cast<size_t>(-point), '0') + digits);
  }
  if (static_cast<size_t>(point) >= digits.size()) {
    digits.append(static_cast<size_t>(point) - digits.size(), '0');
    return make(value < 0, digits, "");
  }
  return make(value < 0, std::string_view(digits).substr(0, static_cast<size_t>(point)),
              std::string_view(digits).substr(static_cast<size_t>(point)));
}

std::optional<Decimal> fromNumber(const Variant& value) {
  switch (value.type()) {
    case VarType::I2:
      return fromInteger(value.i2());
    case VarType::I4:
      return fromInteger(value.i4());
    case VarType::R8:
      return fromDouble(value.r8());
    case VarType::Currency:
      return fromCurrency(value.currency());
    case VarType::Bool:
      return fromInteger(value.boolValue() ? -1 : 0);
    default:
      return std::nullopt;
  }
}

Decimal rounded(const Decimal& value, size_t decimals) {
  if (value.fraction.size() <= decimals) return value;
  bool up = value.fraction[decimals] >= '5';
  std::string digits = value.whole + value.fraction.substr(0, decimals);
  if (up) digits = incremented(digits);
  size_t wholeLength = digits.size() - decimals;
  return make(value.negative, std::string_view(digits).substr(0, wholeLength),
              std::string_view(digits).substr(wholeLength));
}

int compare(const Decimal& a, const Decimal& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = compareMagnitude(a, b);
  return a.negative ? -magnitude : magnitude;
}

std::string write(const Decimal& value, char separator, size_t minDecimals) {
  std::string out = value.negative ? "-" : "";
  out += value.whole;
  std::string fraction = value.fraction;
  if (fraction.size() < minDecimals) fraction.resize(minDecimals, '0');
  if (!fraction.empty()) {
    out += separator;
    out += fraction;
  }
  return out;
}

std::optional<int32_t> toInt32(const Decimal& value) {
  if (!value.isWhole() || value.whole.size() > 10) return std::nullopt;
  long long magnitude = std::stoll(value.whole);
  long long v = value.negative ? -magnitude : magnitude;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(v);
}

double toDouble(const Decimal& value) { return std::strtod(write(value).c_str(), nullptr); }

}  // namespace z418kt::outside::decimal
