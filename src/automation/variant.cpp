#include "z418kt/variant.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "z418kt/safe_array.h"

namespace z418kt {

namespace {
template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;
}  // namespace

Variant::Variant(SafeArray array)
    : value_(ArrayBox{std::make_shared<SafeArray>(std::move(array))}) {}

Variant::Variant(const Variant& other) { *this = other; }

Variant& Variant::operator=(const Variant& other) {
  if (this == &other) return *this;
  if (const auto* box = std::get_if<ArrayBox>(&other.value_)) {
    value_ = ArrayBox{std::make_shared<SafeArray>(*box->ptr)};
  } else {
    std::visit(Overloaded{[this](const ArrayBox&) {}, [this](const auto& v) { value_ = v; }},
               other.value_);
  }
  return *this;
}

Variant::~Variant() = default;

Variant Variant::null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

Variant Variant::boolean(bool b) {
  Variant v;
  v.value_ = BoolTag{b};
  return v;
}

Variant Variant::date(double oleDays) {
  Variant v;
  v.value_ = DateTag{oleDays};
  return v;
}

VarType Variant::type() const {
  static constexpr VarType kTypes[] = {VarType::Empty,  VarType::Null, VarType::I2,
                                       VarType::I4,     VarType::R8,   VarType::Currency,
                                       VarType::Date,   VarType::Bool, VarType::BStr,
                                       VarType::Object, VarType::Array};
  return kTypes[value_.index()];
}

bool Variant::isNumeric() const {
  switch (type()) {
    case VarType::I2:
    case VarType::I4:
    case VarType::R8:
    case VarType::Currency:
    case VarType::Date:
    case VarType::Bool:
      return true;
    default:
      return false;
  }
}

namespace {
template <class T, class S>
const T& raw(const S& storage) {
  if (const T* p = std::get_if<T>(&storage)) return *p;
  throw errors::typeMismatch();
}
}  // namespace

int16_t Variant::i2() const { return raw<int16_t>(value_); }
int32_t Variant::i4() const { return raw<int32_t>(value_); }
double Variant::r8() const { return raw<double>(value_); }
Currency Variant::currency() const { return raw<Currency>(value_); }
double Variant::dateValue() const { return raw<DateTag>(value_).days; }
bool Variant::boolValue() const { return raw<BoolTag>(value_).value; }
const std::string& Variant::text() const { return raw<std::string>(value_); }
const SafeArray& Variant::array() const { return *raw<ArrayBox>(value_).ptr; }
SafeArray& Variant::array() {
  if (auto* box = std::get_if<ArrayBox>(&value_)) return *box->ptr;
  throw errors::typeMismatch();
}
const std::shared_ptr<Object>& Variant::object() const {
  return raw<std::shared_ptr<Object>>(value_);
}

bool operator==(const Variant::ArrayBox& a, const Variant::ArrayBox& b) { return *a.ptr == *b.ptr; }

bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

namespace vb {

Variant resolved(const Variant& v) {
  Variant current = v;
  for (int depth = 0; current.isObject(); ++depth) {
    if (depth > 16 || !current.object()) throw errors::typeMismatch();
    current = current.object()->defaultValue();
  }
  return current;
}

namespace {

std::string formatDouble(double d) {
  if (d == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", d);
  // VB writes exponents as E+20 / E-05: at least two digits, like %G already does.
  return buf;
}

std::string formatCurrency(Currency c) {
  int64_t v = c.scaled;
  bool negative = v < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string text = std::to_string(magnitude / Currency::kScale);
  uint64_t fraction = magnitude % Currency::kScale;
  if (fraction != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(fraction));
    std::string digits = buf;
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return negative ? "-" + text : text;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool parseNumber(const std::string& text, double& out) {
  size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  if (b == e) return false;
  std::string canonical;
  size_t i = b;
  if (text[i] == '+' || text[i] == '-') canonical += text[i++];
  bool digits = false, separator = false;
  for (; i < e &&
         (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.' || text[i] == ',');
       ++i) {
    if (text[i] == '.' || text[i] == ',') {
      if (separator) return false;
      separator = true;
      canonical += '.';
    } else {
      digits = true;
      canonical += text[i];
    }
  }
  if (!digits) return false;
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    canonical += 'e';
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) canonical += text[i++];
    bool expDigits = false;
    for (; i < e && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
      canonical += text[i];
      expDigits = true;
    }
    if (!expDigits) return false;
  }
  if (i != e) return false;
  char* end = nullptr;
  out = std::strtod(canonical.c_str(), &end);
  if (!std::isfinite(out)) return false;
  return end == canonical.c_str() + canonical.size();
}

std::string cstr(const Variant& input) {
  Variant v = resolved(input);
  switch (v.type()) {
    case VarType::Empty:
      return "";
    case VarType::Null:
      throw errors::invalidUseOfNull();
    case VarType::I2:
      return std::to_string(v.i2());
    case VarType::I4:
      return std::to_string(v.i4());
    case VarType::R8:
      return formatDouble(v.r8());
    case VarType::Currency:
      return formatCurrency(v.currency());
    case VarType::Date:
      return formatDate(v.dateValue());
    case VarType::Bool:
      return v.boolValue() ? "True" : "False";
    case VarType::BStr:
      return v.text();
    default:
      throw errors::typeMismatch();
  }
}

double cdbl(const Variant& input) {
  Variant v = resolved(input);
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      throw errors::invalidUseOfNull();
    case VarType::I2:
      return v.i2();
    case VarType::I4:
      return v.i4();
    case VarType::R8:
      return v.r8();
    case VarType::Currency:
      return static_cast<double>(v.currency().scaled) / Currency::kScale;
    case VarType::Date:
      return v.dateValue();
    case VarType::Bool:
      return v.boolValue() ? -1 : 0;
    case VarType::BStr: {
      double d;
      if (!parseNumber(v.text(), d)) throw errors::typeMismatch();
      return d;
    }
    default:
      throw errors::typeMismatch();
  }
}

namespace {
// Rounds half to even (the default floating-point rounding mode) and checks range.
int64_t roundChecked(double d, double low, double high) {
  double r = std::nearbyint(d);
  if (!(r >= low && r <= high)) throw errors::overflow();
  return static_cast<int64_t>(r);
}
}  // namespace

int32_t clng(const Variant& v) {
  return static_cast<int32_t>(roundChecked(cdbl(v), -2147483648.0, 2147483647.0));
}

int16_t cint(const Variant& v) {
  return static_cast<int16_t>(roundChecked(cdbl(v), -32768.0, 32767.0));
}

std::string concatText(const Variant& v) {
  Variant r = resolved(v);
  return r.isNull() ? std::string() : cstr(r);
}

std::optional<int> compare(const Variant& left, const Variant& right) {
  Variant a = resolved(left), b = resolved(right);
  if (a.isNull() || b.isNull()) return std::nullopt;
  if (a.isArray() || b.isArray()) throw errors::typeMismatch();
  auto sign = [](double x, double y) { return x < y ? -1 : (x > y ? 1 : 0); };
  bool aText = a.isText() || (a.isEmpty() && b.isText());
  bool bText = b.isText() || (b.isEmpty() && a.isText());
  if (aText && bText) {
    int c = cstr(a).compare(cstr(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return sign(cdbl(a), cdbl(b));
}

bool equals(const Variant& a, const Variant& b) {
  auto c = compare(a, b);
  return c && *c == 0;
}

bool greater(const Variant& a, const Variant& b) {
  auto c = compare(a, b);
  return c && *c > 0;
}

bool isTrue(const Variant& v) { return equals(v, Variant(int32_t{-1})); }

std::string trim(const std::string& text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

namespace {
// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

const int64_t kOleEpoch = daysFromCivil(1899, 12, 30);
}  // namespace

double makeDate(int year, int month, int day, int hour, int minute, int second) {
  int64_t days =
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kOleEpoch;
  return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

std::string formatDate(double oleDays) {
  double whole = std::floor(oleDays);
  int64_t seconds = std::llround((oleDays - whole) * 86400.0);
  int64_t days = static_cast<int64_t>(whole) + seconds / 86400;
  seconds %= 86400;
  int y, m, d;
  civilFromDays(days + kOleEpoch, y, m, d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return buf;
}

}  // namespace vb
}  // namespace z418kt
