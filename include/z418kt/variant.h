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
#include <memory>
#include <optional>
#include <string>
#include <variant>

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
  Variant() = default;  // Empty
  // A bool would otherwise become the integer 1, while an automation
  // Boolean True is -1: Booleans are made with Variant::boolean only.
  Variant(bool) = delete;
  Variant(int16_t v) : value_(v) {}
  Variant(int32_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(Currency v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(SafeArray array);
  Variant(std::shared_ptr<Object> object) : value_(std::move(object)) {}

  static Variant null();
  static Variant boolean(bool b);
  static Variant date(double oleDays);

  Variant(const Variant& other);
  Variant(Variant&&) noexcept = default;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&&) noexcept = default;
  ~Variant();

  VarType type() const { return kTypes[value_.index()]; }
  bool isEmpty() const { return type() == VarType::Empty; }
  bool isNull() const { return type() == VarType::Null; }
  bool isText() const { return type() == VarType::BStr; }
  bool isArray() const { return type() == VarType::Array; }
  bool isObject() const { return type() == VarType::Object; }
  // I2, I4, R8, Currency, Date or Bool.
  bool isNumeric() const;

  // Raw access to the stored value; the type must match (checked with assert
  // in debug builds, 13 otherwise).
  int16_t i2() const;
  int32_t i4() const;
  double r8() const;
  Currency currency() const;
  double dateValue() const;
  bool boolValue() const;
  const std::string& text() const;
  const SafeArray& array() const;
  SafeArray& array();
  const std::shared_ptr<Object>& object() const;

  // Structural equality: same type, same value (arrays element by element).
  // Not VB's '=' operator, which is vb::equals.
  friend Z418KT_EXPORT bool operator==(const Variant& a, const Variant& b);

 public:
  // Storage details (public only so the implementation can compare them).
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };
  struct DateTag {
    double days;
    friend bool operator==(DateTag a, DateTag b) { return a.days == b.days; }
  };
  struct BoolTag {
    bool value;
    friend bool operator==(BoolTag a, BoolTag b) { return a.value == b.value; }
  };
  struct ArrayBox {
    std::shared_ptr<SafeArray> ptr;  // never shared: copies clone it
    friend Z418KT_EXPORT bool operator==(const ArrayBox&, const ArrayBox&);  // compares contents
  };

 private:
  using Storage = std::variant<std::monostate, NullTag, int16_t, int32_t, double, Currency, DateTag,
                               BoolTag, std::string, std::shared_ptr<Object>, ArrayBox>;
  // The type of each alternative of Storage, in its order.
  static constexpr VarType kTypes[] = {VarType::Empty,  VarType::Null, VarType::I2,
                                       VarType::I4,     VarType::R8,   VarType::Currency,
                                       VarType::Date,   VarType::Bool, VarType::BStr,
                                       VarType::Object, VarType::Array};
  Storage value_;
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
