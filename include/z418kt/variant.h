// Variant: the OLE Automation VARIANT that every argument of the component is.
//
// Types: Empty, Null, I2, I4, R8, Currency (the exact type for money and
// measures: a 64-bit integer scaled by 10 000), Date (days since 1899-12-30 as
// a double), Bool, BStr (UTF-8 text), Object (a record-set field: conversions
// see its default value) and Array (a SafeArray of variants, copied by value).
//
// Conversions and comparisons follow Visual Basic's rules (namespace vb below)
// and raise AutomationError: 94 for Null where a value is needed, 13 for a text
// that is no number, 6 outside the target range.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "z418kt/automation_error.h"
#include "z418kt/export.h"

namespace z418kt {

class SafeArray;
class Variant;

enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  I2 = 2,
  I4 = 3,
  R8 = 5,
  Currency = 6,
  Date = 7,
  BStr = 8,
  Object = 9,
  Bool = 11,
  Array = 0x200C,  // VT_ARRAY | VT_VARIANT
};

// Exact decimal: value × 10 000, as VB's Currency.
struct Currency {
  int64_t scaled = 0;
  static constexpr int64_t kScale = 10000;
  friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

// An automation object held in a variant. Conversions use its default value.
class Z418KT_EXPORT Object {
 public:
  virtual ~Object() = default;
  virtual Variant defaultValue() const = 0;
};

class Z418KT_EXPORT Variant {
 public:
  Variant() noexcept : word_(0) {}  // Empty
  // A bool would otherwise become the integer 1, while an automation
  // Boolean True is -1: Booleans are made with Variant::boolean only.
  Variant(bool) = delete;
  Variant(int16_t v) noexcept : word_(v), type_(VarType::I2) {}
  Variant(int32_t v) noexcept : word_(v), type_(VarType::I4) {}
  Variant(double v) noexcept : word_(bitsOf(v)), type_(VarType::R8) {}
  Variant(Currency v) noexcept : word_(v.scaled), type_(VarType::Currency) {}
  Variant(std::string v) : text_(std::move(v)), type_(VarType::BStr) {}
  Variant(const char* v) : text_(v), type_(VarType::BStr) {}
  Variant(SafeArray array);
  Variant(std::shared_ptr<Object> object) noexcept
      : object_(std::move(object)), type_(VarType::Object) {}

  static Variant null();
  static Variant boolean(bool b);
  static Variant date(double oleDays);

  // Numbers, dates, Booleans, Null and Empty are one word and copy as such;
  // texts, objects and arrays take the out-of-line paths (an array is a value:
  // a copy gets an array of its own).
  Variant(const Variant& other) : type_(other.type_) {
    if (other.holdsWord())
      word_ = other.word_;
    else
      copyFrom(other);
  }
  Variant(Variant&& other) noexcept : type_(other.type_) {
    if (other.holdsWord())
      word_ = other.word_;
    else
      moveFrom(std::move(other));
  }
  Variant& operator=(const Variant& other) {
    if (holdsWord() && other.holdsWord()) {
      word_ = other.word_;
      type_ = other.type_;
      return *this;
    }
    return assignFrom(other);
  }
  Variant& operator=(Variant&& other) noexcept {
    if (holdsWord() && other.holdsWord()) {
      word_ = other.word_;
      type_ = other.type_;
      return *this;
    }
    return assignFrom(std::move(other));
  }
  ~Variant() {
    if (!holdsWord()) release();
  }

  VarType type() const { return type_; }
  bool isEmpty() const { return type() == VarType::Empty; }
  bool isNull() const { return type() == VarType::Null; }
  bool isText() const { return type() == VarType::BStr; }
  bool isArray() const { return type() == VarType::Array; }
  bool isObject() const { return type() == VarType::Object; }
  // I2, I4, R8, Currency, Date or Bool.
  bool isNumeric() const;

  // Raw access to the stored value; the type must match (13 otherwise).
  int16_t i2() const { return static_cast<int16_t>(word(VarType::I2)); }
  int32_t i4() const { return static_cast<int32_t>(word(VarType::I4)); }
  double r8() const { return doubleOf(word(VarType::R8)); }
  Currency currency() const { return Currency{word(VarType::Currency)}; }
  double dateValue() const { return doubleOf(word(VarType::Date)); }
  bool boolValue() const { return word(VarType::Bool) != 0; }
  const std::string& text() const;
  const SafeArray& array() const;
  SafeArray& array();
  const std::shared_ptr<Object>& object() const;

  // Structural equality: same type, same value (arrays element by element).
  // Not VB's '=' operator, which is vb::equals.
  friend Z418KT_EXPORT bool operator==(const Variant& a, const Variant& b);

 private:
  bool holdsWord() const {
    return type_ != VarType::BStr && type_ != VarType::Object && type_ != VarType::Array;
  }
  int64_t word(VarType expected) const {
    if (type_ != expected) throwTypeMismatch();
    return word_;
  }
  // The public headers stay usable from C++17, which has no std::bit_cast.
  static int64_t bitsOf(double d) {
    int64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
  }
  static double doubleOf(int64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  [[noreturn]] static void throwTypeMismatch();
  void copyFrom(const Variant& other);      // constructs this from a text, object or array
  void moveFrom(Variant&& other) noexcept;  // the same, taking it over
  void takeOver(Variant&& other) noexcept;  // this holds nothing: becomes `other`
  Variant& assignFrom(const Variant& other);
  Variant& assignFrom(Variant&& other) noexcept;
  void release() noexcept;  // destroys a text, object or array

  union {
    int64_t word_;  // I2, I4, Bool as integers; R8 and Date as the bits of a double
    std::string text_;
    std::shared_ptr<Object> object_;
    std::shared_ptr<SafeArray> array_;  // never shared: copies clone it
  };
  VarType type_ = VarType::Empty;
};

// Visual Basic conversion and comparison rules.
namespace vb {
// Object → its default value (repeatedly); anything else unchanged.
Z418KT_EXPORT Variant resolved(const Variant& v);

Z418KT_EXPORT std::string cstr(const Variant& v);  // Empty → "", Null → 94, Array → 13
Z418KT_EXPORT double cdbl(const Variant& v);   // Empty → 0, Null → 94, non-numeric text → 13
Z418KT_EXPORT int32_t clng(const Variant& v);  // as cdbl, rounded half to even; 6 outside 32 bits
Z418KT_EXPORT int16_t cint(const Variant& v);  // as clng; 6 outside 16 bits

// Parses a decimal number as VB's numeric conversion of a text does: blanks
// around it, a sign, digits with one '.' or ',' as the decimal separator, an
// optional exponent. Returns false for anything else, the empty text included.
Z418KT_EXPORT bool parseNumber(const std::string& text, double& out);

// The text '&' makes of a value: Null gives "", everything else cstr.
Z418KT_EXPORT std::string concatText(const Variant& v);

// VB's comparison of a variant with a literal of the other operand's kind:
// number with number numerically, text with text by bytes, number with text
// by converting the text (13 when it is no number). Empty is 0 or "".
// Returns <0, 0, >0; a Null operand makes the comparison Null (nullopt), which
// an If treats as False.
Z418KT_EXPORT std::optional<int> compare(const Variant& a, const Variant& b);
Z418KT_EXPORT bool equals(const Variant& a, const Variant& b);   // compare == 0, Null → false
Z418KT_EXPORT bool greater(const Variant& a, const Variant& b);  // compare > 0, Null → false

// VB's True is -1: a Boolean result counts as True only when it equals -1.
Z418KT_EXPORT bool isTrue(const Variant& v);

// VB's Trim: removes leading and trailing spaces, not tabs or other blanks.
Z418KT_EXPORT std::string trim(const std::string& text);

// OLE date from calendar fields, and back to "YYYY-MM-DD HH:MM:SS".
Z418KT_EXPORT double makeDate(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0);
Z418KT_EXPORT std::string formatDate(double oleDays);
}  // namespace vb

}  // namespace z418kt
