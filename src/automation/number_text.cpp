#include "automation/number_text.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>

namespace z418kt::numtext {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

uint64_t magnitudeOf(int64_t v) {
  return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// Writes `value` with at least `width` digits, zero padded.
char* writePadded(char* out, uint64_t value, int width) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (int pad = width - static_cast<int>(end - digits); pad > 0; --pad) *out++ = '0';
  for (const char* p = digits; p != end; ++p) *out++ = *p;
  return out;
}

std::string_view trimmedBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The grammar shared by parseDouble and parseVbNumber: sign, digits with at
// most one separator (at least one digit), an optional exponent with digits.
// `tenPower` is the decimal exponent of the first significant digit (for
// telling underflow from overflow); `separator` where a separator sits or npos.
struct NumberShape {
  bool valid = false;
  size_t separator = std::string_view::npos;
  long tenPower = 0;
  bool allZero = true;
};

NumberShape shapeOf(std::string_view s, bool commaToo) {
  NumberShape shape;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool digits = false;
  long integerDigits = 0, significant = 0;  // power of ten of the first non-zero digit
  bool significantInWhole = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (isDigit(c)) {
      bool inWhole = shape.separator == std::string_view::npos;
      if (c != '0' && shape.allZero) {
        shape.allZero = false;
        significantInWhole = inWhole;
        significant = inWhole ? integerDigits : -static_cast<long>(i - shape.separator);
      }
      if (inWhole) ++integerDigits;
      digits = true;
    } else if (c == '.' || (commaToo && c == ',')) {
      if (shape.separator != std::string_view::npos) return shape;
      shape.separator = i;
    } else {
      break;
    }
  }
  if (!digits) return shape;
  long exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool expDigits = false;
    for (; i < s.size() && isDigit(s[i]); ++i) {
      expDigits = true;
      if (exponent < 100000000) exponent = exponent * 10 + (s[i] - '0');
    }
    if (!expDigits) return shape;
    if (negative) exponent = -exponent;
  }
  if (i != s.size()) return shape;
  // In the whole part, `significant` counted the digits before it.
  if (significantInWhole) significant = integerDigits - 1 - significant;
  shape.tenPower = significant + exponent;
  shape.valid = true;
  return shape;
}

// Converts a text already known to have the plain shape ('.' separator).
std::optional<double> convert(std::string_view s, const NumberShape& shape) {
  bool negative = !s.empty() && s.front() == '-';
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (shape.tenPower >= 0) return std::nullopt;  // beyond the largest double
    value = 0;                                     // below the smallest one
  } else if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

constexpr int64_t kDayLimit = 10'000'000;  // about ±27 000 years, inside chrono's year range

}  // namespace

// ----- writing -----

char* writeInteger(char* out, int64_t value) {
  return std::to_chars(out, out + kTextCapacity, value).ptr;
}

bool tenThousandths(double magnitude, uint64_t& k) {
  double times = magnitude * 1e4;
  if (!(times < 9e14)) return false;       // NaN and infinities included
  k = static_cast<uint64_t>(times + 0.5);  // a candidate: checked below
  return static_cast<double>(k) / 1e4 == magnitude;
}

char* writeDouble(char* out, double value) {
  if (value == 0) {
    *out = '0';
    return out + 1;
  }
  if (uint64_t k; tenThousandths(std::fabs(value), k)) {
    // The general form of such a value is fixed-point (its exponent lies
    // between -4 and 10) without trailing zeros.
    if (value < 0) *out++ = '-';
    out = std::to_chars(out, out + kTextCapacity, k / 10000).ptr;
    auto fraction = static_cast<unsigned>(k % 10000);
    if (fraction != 0) {
      int shown = 4;
      for (; fraction % 10 == 0; --shown) fraction /= 10;
      *out++ = '.';
      for (int i = shown - 1; i >= 0; --i, fraction /= 10)
        out[i] = static_cast<char>('0' + fraction % 10);
      out += shown;
    }
    return out;
  }
  char* end = std::to_chars(out, out + kTextCapacity, value, std::chars_format::general, 15).ptr;
  for (char* p = out; p != end; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  return end;
}

char* writeCurrency(char* out, Currency value) {
  uint64_t magnitude = magnitudeOf(value.scaled);
  if (value.scaled < 0) *out++ = '-';
  out = std::to_chars(out, out + kTextCapacity, magnitude / Currency::kScale).ptr;
  uint64_t fraction = magnitude % Currency::kScale;
  if (fraction != 0) {
    *out++ = '.';
    for (uint64_t unit = Currency::kScale / 10; fraction != 0; unit /= 10) {
      *out++ = static_cast<char>('0' + fraction / unit);
      fraction %= unit;
    }
  }
  return out;
}

char* writeDate(char* out, double oleDays) {
  DateTime t = dateTimeOf(oleDays);
  if (t.year < 0) {
    *out++ = '-';
    out = writePadded(out, static_cast<uint64_t>(-t.year), 3);
  } else {
    out = writePadded(out, static_cast<uint64_t>(t.year), 4);
  }
  const int fields[] = {t.month, t.day, t.hour, t.minute, t.second};
  const char separators[] = {'-', '-', ' ', ':', ':'};
  for (size_t k = 0; k < 5; ++k) {
    *out++ = separators[k];
    out = writePadded(out, static_cast<uint64_t>(fields[k]), 2);
  }
  return out;
}

char* writeScientific15(char* out, double value) {
  return std::to_chars(out, out + kTextCapacity, value, std::chars_format::scientific, 14).ptr;
}

namespace {
template <class T>
std::string asText(char* (*writer)(char*, T), T value) {
  char buf[kTextCapacity];
  return std::string(buf, writer(buf, value));
}
}  // namespace

std::string integerText(int64_t value) { return asText(writeInteger, value); }
std::string doubleText(double value) { return asText(writeDouble, value); }
std::string currencyText(Currency value) { return asText(writeCurrency, value); }
std::string dateText(double oleDays) { return asText(writeDate, oleDays); }

// ----- reading -----

std::optional<int64_t> parseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

namespace {
// A short plain decimal (the measures of every save): a sign, digits, and
// optionally '.' and more digits, with at most 15 significant digits and 22
// after the point. Its digits as a whole number and the power of ten of its
// point are both exact doubles, so their one division rounds exactly as the
// full conversion does. Nothing for any other text.
std::optional<double> quickDecimal(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint64_t whole = 0;
  int significant = 0, before = 0, after = -1;  // after: digits after the point, -1 without one
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.' && after < 0) {
      after = 0;
      continue;
    }
    if (!isDigit(c)) return std::nullopt;
    if (whole != 0 || c != '0')
      if (++significant > 15) return std::nullopt;
    whole = whole * 10 + static_cast<uint64_t>(c - '0');
    if (after < 0)
      ++before;
    else
      ++after;
  }
  if (before == 0 || after == 0 || after > 22) return std::nullopt;
  double value = static_cast<double>(whole) / kExactTenPowers[after < 0 ? 0 : after];
  return negative ? -value : value;
}
}  // namespace

std::optional<double> parseDouble(std::string_view text) {
  if (auto quick = quickDecimal(text)) return quick;
  NumberShape shape = shapeOf(text, false);
  if (!shape.valid) return std::nullopt;
  return convert(text, shape);
}

std::optional<double> parseVbNumber(std::string_view text) {
  std::string_view s = trimmedBlanks(text);
  if (auto quick = quickDecimal(s)) return quick;  // a '.' reads as in a plain decimal
  NumberShape shape = shapeOf(s, true);
  if (!shape.valid) return std::nullopt;
  if (shape.separator == std::string_view::npos || s[shape.separator] == '.')
    return convert(s, shape);
  std::string plain(s);
  plain[shape.separator] = '.';
  return convert(plain, shape);
}

CurrencyParse parseCurrency(std::string_view text, Currency& out) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  uint64_t whole = 0;
  size_t digits = 0;
  for (; pos < text.size() && isDigit(text[pos]); ++pos, ++digits) {
    whole = whole * 10 + static_cast<uint64_t>(text[pos] - '0');
    if (whole > 922337203685477ULL) return CurrencyParse::Overflow;
  }
  uint64_t fraction = 0;
  size_t decimals = 0;
  if (pos < text.size() && text[pos] == '.') {
    for (++pos; pos < text.size() && isDigit(text[pos]); ++pos) {
      if (++decimals > 4) return CurrencyParse::TooManyDecimals;
      fraction = fraction * 10 + static_cast<uint64_t>(text[pos] - '0');
    }
  }
  if (pos != text.size() || digits + decimals == 0) return CurrencyParse::Malformed;
  for (size_t k = decimals; k < 4; ++k) fraction *= 10;
  uint64_t magnitude = whole * Currency::kScale + fraction;
  uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
  if (magnitude > limit) return CurrencyParse::Overflow;
  out = Currency{negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude)};
  return CurrencyParse::Ok;
}

// ----- calendar -----

bool isValid(const DateTime& t) {
  if (t.year < -32767 || t.year > 32767 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31)
    return false;
  std::chrono::year_month_day day{std::chrono::year{t.year},
                                  std::chrono::month{static_cast<unsigned>(t.month)},
                                  std::chrono::day{static_cast<unsigned>(t.day)}};
  return day.ok() && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
         t.second >= 0 && t.second <= 59;
}

std::optional<DateTime> parseDateTime(std::string_view text) {
  size_t pos = 0;
  // A field of 1 to `width` digits.
  auto field = [&](size_t width, int& value) {
    size_t start = pos;
    value = 0;
    while (pos < text.size() && pos - start < width && isDigit(text[pos]))
      value = value * 10 + (text[pos++] - '0');
    return pos > start;
  };
  auto expect = [&](char c) { return pos < text.size() && text[pos++] == c; };
  DateTime t;
  if (!field(4, t.year) || !expect('-') || !field(2, t.month) || !expect('-') || !field(2, t.day))
    return std::nullopt;
  if (pos != text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    ++pos;
    if (!field(2, t.hour) || !expect(':') || !field(2, t.minute) || !expect(':') ||
        !field(2, t.second) || pos != text.size())
      return std::nullopt;
  }
  if (!isValid(t)) return std::nullopt;
  return t;
}

double oleDate(const DateTime& t) {
  using namespace std::chrono;
  // Months beyond 1-12 carry into the year, days beyond the month into the next.
  int monthIndex = t.month - 1;
  int year = t.year + (monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12);
  int month = monthIndex - (year - t.year) * 12 + 1;
  sys_days first = year_month_day{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                                  std::chrono::day{1}};
  sys_days epoch = year_month_day{1899y, December, 30d};
  int64_t days = (first - epoch).count() + (t.day - 1);
  return static_cast<double>(days) + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
}

DateTime dateTimeOf(double oleDays) {
  using namespace std::chrono;
  if (!std::isfinite(oleDays)) oleDays = 0;
  double limit = static_cast<double>(kDayLimit);
  if (oleDays > limit) oleDays = limit;
  if (oleDays < -limit) oleDays = -limit;
  double whole = std::floor(oleDays);
  int64_t seconds = std::llround((oleDays - whole) * 86400.0);
  int64_t days = static_cast<int64_t>(whole) + seconds / 86400;
  seconds %= 86400;
  sys_days epoch = year_month_day{1899y, December, 30d};
  year_month_day day{epoch + std::chrono::days{days}};
  DateTime t;
  t.year = static_cast<int>(day.year());
  t.month = static_cast<int>(static_cast<unsigned>(day.month()));
  t.day = static_cast<int>(static_cast<unsigned>(day.day()));
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

}  // namespace z418kt::numtext
