#include "z418kt/variant.h"

#include <cmath>

#include "automation/number_text.h"
#include "automation/resolved_ref.h"
#include "z418kt/safe_array.h"

namespace z418kt {

Variant::Variant(SafeArray array)
    : array_(std::make_shared<SafeArray>(std::move(array))), type_(VarType::Array) {}

void Variant::throwTypeMismatch() { throw errors::typeMismatch(); }

void Variant::copyFrom(const Variant& other) {
  switch (other.type_) {
    case VarType::BStr:
      new (&text_) std::string(other.text_);
      break;
    case VarType::Object:
      new (&object_) std::shared_ptr<Object>(other.object_);
      break;
    default:
      new (&array_) std::shared_ptr<SafeArray>(std::make_shared<SafeArray>(*other.array_));
      break;
  }
}

void Variant::moveFrom(Variant&& other) noexcept {
  switch (other.type_) {
    case VarType::BStr:
      new (&text_) std::string(std::move(other.text_));
      break;
    case VarType::Object:
      new (&object_) std::shared_ptr<Object>(std::move(other.object_));
      break;
    default:
      new (&array_) std::shared_ptr<SafeArray>(std::move(other.array_));
      break;
  }
}

void Variant::release() noexcept {
  switch (type_) {
    case VarType::BStr:
      text_.~basic_string();
      break;
    case VarType::Object:
      object_.~shared_ptr();
      break;
    default:
      array_.~shared_ptr();
      break;
  }
}

// The copy is made first: `other` may live inside what this variant holds
// (an element of its own array).
Variant& Variant::assignFrom(const Variant& other) {
  if (this != &other) *this = Variant(other);
  return *this;
}

Variant& Variant::assignFrom(Variant&& other) noexcept {
  if (this == &other) return *this;
  // An object or an array may own `other`: it is taken out before they go.
  if (type_ == VarType::Object || type_ == VarType::Array) {
    Variant taken(std::move(other));
    release();
    takeOver(std::move(taken));
  } else {
    if (!holdsWord()) release();
    takeOver(std::move(other));
  }
  return *this;
}

void Variant::takeOver(Variant&& other) noexcept {
  type_ = other.type_;
  if (other.holdsWord())
    word_ = other.word_;
  else
    moveFrom(std::move(other));
}

Variant Variant::null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant Variant::boolean(bool b) {
  Variant v;
  v.word_ = b ? 1 : 0;
  v.type_ = VarType::Bool;
  return v;
}

Variant Variant::date(double oleDays) {
  Variant v;
  v.word_ = bitsOf(oleDays);
  v.type_ = VarType::Date;
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

const std::string& Variant::text() const {
  if (type_ != VarType::BStr) throwTypeMismatch();
  return text_;
}
const SafeArray& Variant::array() const {
  if (type_ != VarType::Array) throwTypeMismatch();
  return *array_;
}
SafeArray& Variant::array() {
  if (type_ != VarType::Array) throwTypeMismatch();
  return *array_;
}
const std::shared_ptr<Object>& Variant::object() const {
  if (type_ != VarType::Object) throwTypeMismatch();
  return object_;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_) return false;
  switch (a.type_) {
    case VarType::Empty:
    case VarType::Null:
      return true;
    case VarType::R8:
    case VarType::Date:  // as doubles: NaN is unequal to itself, -0 equals 0
      return Variant::doubleOf(a.word_) == Variant::doubleOf(b.word_);
    case VarType::BStr:
      return a.text_ == b.text_;
    case VarType::Object:
      return a.object_ == b.object_;
    case VarType::Array:
      return *a.array_ == *b.array_;
    default:
      return a.word_ == b.word_;
  }
}

namespace vb {

Variant resolved(const Variant& v) {
  if (!v.isObject()) return v;
  const std::shared_ptr<Object>& object = v.object();
  if (!object) throw errors::typeMismatch();
  Variant current = object->defaultValue();
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
  const ResolvedView vView(input);
  const Variant& v = vView.get();
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
  const ResolvedView vView(input);
  const Variant& v = vView.get();
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
  if (v.type() == VarType::I4) return v.i4();  // identifiers, mostly: already in range
  return static_cast<int32_t>(roundChecked(cdbl(v), -2147483648.0, 2147483647.0));
}

int16_t cint(const Variant& v) {
  return static_cast<int16_t>(roundChecked(cdbl(v), -32768.0, 32767.0));
}

std::string concatText(const Variant& v) {
  const ResolvedView rView(v);
  const Variant& r = rView.get();
  return r.isNull() ? std::string() : cstr(r);
}

std::optional<int> compare(const Variant& left, const Variant& right) {
  const ResolvedView aView(left), bView(right);
  const Variant& a = aView.get();
  const Variant& b = bView.get();
  if (a.isNull() || b.isNull()) return std::nullopt;
  if (a.isArray() || b.isArray()) throw errors::typeMismatch();
  auto sign = [](double x, double y) { return x < y ? -1 : (x > y ? 1 : 0); };
  bool aText = a.isText() || (a.isEmpty() && b.isText());
  bool bText = b.isText() || (b.isEmpty() && a.isText());
  if (aText && bText) {
    // Both are texts or one is Empty, whose text is "".
    static const std::string kNone;
    int c = (a.isText() ? a.text() : kNone).compare(b.isText() ? b.text() : kNone);
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

bool isTrue(const Variant& v) {
  // The answers of the checks are Booleans: read without a comparison.
  if (v.type() == VarType::Bool) return v.boolValue();
  return equals(v, Variant(int32_t{-1}));
}

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
