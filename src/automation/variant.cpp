#include "z418kt/variant.h"

#include <cmath>

#include "automation/number_text.h"
#include "z418kt/safe_array.h"

namespace z418kt {

Variant::Variant(SafeArray array)
    : value_(ArrayBox{std::make_shared<SafeArray>(std::move(array))}) {}

// Arrays are values: a copy of a variant holding one gets an array of its own.
Variant::Variant(const Variant& other) : value_(other.value_) {
  if (auto* box = std::get_if<ArrayBox>(&value_)) box->ptr = std::make_shared<SafeArray>(*box->ptr);
}

Variant& Variant::operator=(const Variant& other) {
  if (this == &other) return *this;
  if (const auto* box = std::get_if<ArrayBox>(&other.value_))
    value_ = ArrayBox{std::make_shared<SafeArray>(*box->ptr)};
  else
    value_ = other.value_;
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
  if (!v.isObject()) return v;
  if (!v.object()) throw errors::typeMismatch();
  Variant current = v.object()->defaultValue();
  for (int depth = 1; current.isObject(); ++depth) {
    if (depth > 16 || !current.object()) throw errors::typeMismatch();
    current = current.object()->defaultValue();
  }
  return current;
}

bool parseNumber(const std::string& text, double& out) {
  auto number = numtext::parseVbNumber(text);
  if (number) out = *number;
  return number.has_value();
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
      return numtext::doubleText(v.r8());
    case VarType::Currency:
      return numtext::currencyText(v.currency());
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

double makeDate(int year, int month, int day, int hour, int minute, int second) {
  return numtext::oleDate({year, month, day, hour, minute, second});
}

std::string formatDate(double oleDays) { return numtext::dateText(oleDays); }

}  // namespace vb
}  // namespace z418kt
