#include "automation/decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "automation/number_text.h"

namespace z418kt::decimal {

namespace {

std::string_view trimBlanks(std::string_view text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

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
  std::string_view s = trimBlanks(text);
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

bool isWritten(std::string_view text) {
  size_t at = !text.empty() && text.front() == '-' ? 1 : 0;
  size_t wholeStart = at;
  while (at < text.size() && isDigit(text[at])) ++at;
  size_t wholeDigits = at - wholeStart;
  if (wholeDigits == 0 || (text[wholeStart] == '0' && wholeDigits > 1)) return false;
  if (at == text.size()) return !(wholeStart == 1 && text[1] == '0');  // "-0" is written "0"
  if (text[at] != '.' || at + 1 == text.size() || text.back() == '0') return false;
  for (++at; at < text.size(); ++at)
    if (!isDigit(text[at])) return false;
  return true;
}

Decimal fromInteger(int64_t value) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return make(value < 0, std::to_string(magnitude), "");
}

Decimal fromCurrency(Currency value) {
  char buf[numtext::kTextCapacity];
  std::string_view s(buf, static_cast<size_t>(numtext::writeCurrency(buf, value) - buf));
  bool negative = s.front() == '-';
  if (negative) s.remove_prefix(1);
  size_t point = s.find('.');
  if (point == std::string_view::npos) return make(negative, s, "");
  return make(negative, s.substr(0, point), s.substr(point + 1));
}

std::optional<Decimal> fromDouble(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  if (value == 0) return Decimal{};
  // "d.dddddddddddddde+XX": 15 significant digits and a decimal exponent.
  char buf[numtext::kTextCapacity];
  std::string_view s(buf,
                     static_cast<size_t>(numtext::writeScientific15(buf, std::fabs(value)) - buf));
  size_t e = s.find('e');
  std::string digits = std::string(s.substr(0, 1)) + std::string(s.substr(2, e - 2));
  int exponent = static_cast<int>(numtext::parseInteger(s.substr(e + 1)).value_or(0));
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

int compare(const Decimal& a, const Decimal& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = compareMagnitude(a, b);
  return a.negative ? -magnitude : magnitude;
}

void appendWritten(std::string& out, const Decimal& value, char separator, size_t minDecimals) {
  if (value.negative) out += '-';
  out += value.whole;
  if (value.fraction.empty() && minDecimals == 0) return;
  out += separator;
  out += value.fraction;
  if (value.fraction.size() < minDecimals) out.append(minDecimals - value.fraction.size(), '0');
}

std::string write(const Decimal& value, char separator, size_t minDecimals) {
  std::string out;
  appendWritten(out, value, separator, minDecimals);
  return out;
}

namespace {

// Writes the magnitude `digits` with the point after `point` of them (point
// may lie before the first digit or past the last), rounded to `maxDecimals`
// decimals, halves away from zero: a sign (never for zero), the whole digits
// without leading zeros, the fraction without trailing zeros but padded to
// `minDecimals`. Numbers from columns fit the stack buffer.
std::string writeDigits(bool negative, std::string_view digits, long point, char separator,
                        size_t minDecimals, size_t maxDecimals) {
  // Zeros around the digits put the point inside them with a whole digit
  // before it; one spare place in front takes a carry.
  size_t n = digits.size();
  size_t lead = point < 1 ? static_cast<size_t>(1 - point) : 0;
  size_t trail = point > static_cast<long>(n) ? static_cast<size_t>(point) - n : 0;
  char local[96];
  std::string large;
  char* buf = local;
  if (1 + lead + n + trail > sizeof local) {
    large.resize(1 + lead + n + trail);
    buf = large.data();
  }
  size_t begin = 1, end = 1;
  end = static_cast<size_t>(std::fill_n(buf + end, lead, '0') - buf);
  end = static_cast<size_t>(std::copy_n(digits.data(), n, buf + end) - buf);
  end = static_cast<size_t>(std::fill_n(buf + end, trail, '0') - buf);
  size_t at = static_cast<size_t>(static_cast<long>(1 + lead) + point);

  if (end - at > maxDecimals) {
    bool up = buf[at + maxDecimals] >= '5';
    end = at + maxDecimals;
    for (size_t i = end; up && i-- > begin;) {
      up = buf[i] == '9';
      buf[i] = up ? '0' : static_cast<char>(buf[i] + 1);
    }
    if (up) buf[--begin] = '1';
  }
  while (end > at && buf[end - 1] == '0') --end;
  while (begin + 1 < at && buf[begin] == '0') ++begin;
  bool zero = end == at && at - begin == 1 && buf[begin] == '0';

  // Filled with '0', so the padding of the fraction is already in place.
  size_t whole = at - begin, fraction = end - at;
  size_t shown = std::max(fraction, minDecimals);
  bool sign = negative && !zero;
  std::string out(sign + whole + (shown ? 1 + shown : 0), '0');
  char* p = out.data();
  if (sign) *p++ = '-';
  p = std::copy_n(buf + begin, whole, p);
  if (shown) {
    *p++ = separator;
    std::copy_n(buf + at, fraction, p);
  }
  return out;
}

// k / 10^4 written with `minDecimals` to 4 decimals into `out`: no rounding is
// needed, and this is how most measures and amounts arrive. The end of the
// text is returned; `out` holds kShortRoundedCapacity chars, of which at most
// 25 are written here.
char* writeScaled(char* out, bool negative, uint64_t k, char separator, size_t minDecimals) {
  // The digits of 0 to 99 in pairs: a measure's whole part is mostly one
  // digit, its four decimals two pairs.
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324"
      "25262728293031323334353637383940414243444546474849"
      "50515253545556575859606162636465666768697071727374"
      "75767778798081828384858687888990919293949596979899";
  char* p = out;
  if (negative && k != 0) *p++ = '-';
  const uint64_t whole = k / 10000;
  if (whole < 10)
    *p++ = static_cast<char>('0' + whole);
  else
    p = std::to_chars(p, out + 21, whole).ptr;
  // The four decimals are all written, then the trailing zeros beyond the
  // minimum are dropped: fewer divisions than taking them off one by one.
  auto fraction = static_cast<unsigned>(k % 10000);
  char* decimals = p + 1;
  std::memcpy(decimals, kPairs + 2 * (fraction / 100), 2);
  std::memcpy(decimals + 2, kPairs + 2 * (fraction % 100), 2);
  size_t shown = 4;
  while (shown > minDecimals && decimals[shown - 1] == '0') --shown;
  if (shown) {
    *p = separator;
    p = decimals + shown;
  }
  return p;
}

uint64_t magnitudeOf(int64_t v) {
  return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// |number| × 10^4 when that is a whole number (the sign in `negative`):
// every I2, I4, Bool and Currency, and a double that is the nearest to some
// k / 10^4 with fewer than 16 digits. Such a double shows exactly those
// digits: the 15 that Visual Basic shows round back to it, and no other
// 15-digit decimal lies as close. Most measures and money are such values,
// and an integer is quick to write.
std::optional<uint64_t> scaledOf(const Variant& number, bool& negative) {
  switch (number.type()) {
    case VarType::I2:
    case VarType::I4:
    case VarType::Bool: {
      int64_t v = number.type() == VarType::I2   ? number.i2()
                  : number.type() == VarType::I4 ? number.i4()
                                                 : (number.boolValue() ? -1 : 0);
      negative = v < 0;
      return magnitudeOf(v) * 10000;
    }
    case VarType::Currency:
      negative = number.currency().scaled < 0;
      return magnitudeOf(number.currency().scaled);
    case VarType::R8: {
      double r = number.r8();
      negative = r < 0;
      double times = std::fabs(r) * 1e4;
      if (!(times < 9e14)) return std::nullopt;     // NaN and the infinities too
      auto k = static_cast<uint64_t>(times + 0.5);  // a candidate: checked below
      if (static_cast<double>(k) / 1e4 == std::fabs(r)) return k;
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string writeRounded(const Decimal& value, char separator, size_t minDecimals,
                         size_t maxDecimals) {
  std::string digits = value.whole + value.fraction;
  return writeDigits(value.negative, digits, static_cast<long>(value.whole.size()), separator,
                     minDecimals, maxDecimals);
}

bool writeRoundedShort(const Variant& number, char separator, size_t minDecimals,
                       size_t maxDecimals, char (&out)[kShortRoundedCapacity]) {
  if (minDecimals > 4 || maxDecimals < 4) return false;
  bool negative = false;
  auto scaled = scaledOf(number, negative);
  if (!scaled) return false;
  *writeScaled(out, negative, *scaled, separator, minDecimals) = '\0';
  return true;
}

std::optional<std::string> writeRounded(const Variant& number, char separator, size_t minDecimals,
                                        size_t maxDecimals) {
  char buf[std::max(numtext::kTextCapacity, kShortRoundedCapacity)];
  bool negative = false;
  std::string_view digits;
  long point = 0;
  if (auto scaled = scaledOf(number, negative)) {
    if (minDecimals <= 4 && maxDecimals >= 4)
      return std::string(buf, writeScaled(buf, negative, *scaled, separator, minDecimals));
    char* end = std::to_chars(buf, buf + sizeof buf, *scaled).ptr;
    digits = std::string_view(buf, static_cast<size_t>(end - buf));
    point = static_cast<long>(digits.size()) - 4;
  } else {
    if (number.type() != VarType::R8 || !std::isfinite(number.r8())) return std::nullopt;
    // "d.dddddddddddddde+XX": the digits without the point, then the exponent.
    char mantissa[numtext::kTextCapacity];
    double r = number.r8();
    std::string_view s(buf,
                       static_cast<size_t>(numtext::writeScientific15(buf, std::fabs(r)) - buf));
    size_t e = std::min(s.find('e'), s.size());
    size_t count = std::min(e > 2 ? e - 2 : 0, sizeof mantissa - 1);
    mantissa[0] = s[0];
    std::copy_n(s.data() + 2, count, mantissa + 1);
    long exponent =
        static_cast<long>(numtext::parseInteger(s.substr(std::min(e + 1, s.size()))).value_or(0));
    return writeDigits(negative, std::string_view(mantissa, count + 1), exponent + 1, separator,
                       minDecimals, maxDecimals);
  }
  return writeDigits(negative, digits, point, separator, minDecimals, maxDecimals);
}

std::optional<int32_t> toInt32(const Decimal& value) {
  if (!value.isWhole() || value.whole.size() > 10) return std::nullopt;
  long long magnitude = numtext::parseInteger(value.whole).value_or(0);
  long long v = value.negative ? -magnitude : magnitude;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(v);
}

double toDouble(const Decimal& value) {
  // Only magnitudes beyond the range of a double fail to convert.
  double beyond = std::numeric_limits<double>::infinity();
  return numtext::parseDouble(write(value)).value_or(value.negative ? -beyond : beyond);
}

}  // namespace z418kt::decimal
