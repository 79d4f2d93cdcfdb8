// Decimal: an exact decimal number for weights, measures and money.
//
// Values travel between the database, the operations and people as texts; a
// binary double in between would change digits ("0,1" is not a double). A
// Decimal keeps the digits in one canonical shape: `whole` without leading
// zeros ("0" when there is no whole part), `fraction` without trailing zeros,
// and zero never negative. Build values with the functions below, which keep
// that shape.
//
// Entered numbers are read one way for every front end, never guessed:
// - fromBrazilian (an operator's screen): '.' groups thousands and ',' is the
//   decimal mark, so "1.500" is 1500, "1.500,75" and "1500,75" are the same
//   value, and "42.5" (a '.' that cannot be grouping) is refused.
// - fromCommandLine: the same, and also a '.' as the decimal mark as scripts
//   write it ("0.5"), except the one shape a Brazilian and an English reader
//   read differently: a single '.' followed by exactly three digits and no ','
//   ("1.500", "12.345"), refused with both readings.
// A refusal is a Portuguese message that quotes the text and says how to write it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "z418kt/export.h"

namespace z418kt {

struct DecimalEntry;

struct Z418KT_EXPORT Decimal {
  bool negative = false;
  std::string whole = "0";
  std::string fraction;

  bool isZero() const { return whole == "0" && fraction.empty(); }
  bool isWhole() const { return fraction.empty(); }
  friend bool operator==(const Decimal& a, const Decimal& b) {
    return a.negative == b.negative && a.whole == b.whole && a.fraction == b.fraction;
  }
  friend bool operator!=(const Decimal& a, const Decimal& b) { return !(a == b); }

  // The canonical text: '-', the whole digits and, with a fraction, '.' and
  // its digits ("1500.75", "0.25", "-3", "0").
  std::string text() const;
  // A program's text: blanks around it, a sign, digits, at most one '.' or ','
  // as the decimal mark, no grouping. Nothing for any other text.
  static std::optional<Decimal> fromText(std::string_view text);
  static Decimal fromInteger(int64_t value);
  // A double as the at most 15 significant digits it stands for, so the JSON
  // number 0.3 is exactly 0.3. Nothing for NaN and the infinities.
  static std::optional<Decimal> fromDouble(double value);
  // The nearest double: for formats that only carry binary numbers.
  double toDouble() const;
  // <0, 0, >0 as this is below, equal to or above `other`.
  int compare(const Decimal& other) const;

  // Blanks around the text and a leading "R$" are allowed; exponents are not.
  static DecimalEntry fromBrazilian(std::string_view text);
  static DecimalEntry fromCommandLine(std::string_view text);

  // Grouped the Brazilian way, the fraction padded to `minDecimals`:
  // "1.234,5", "-12.000.000", "0,25".
  std::string brazilian(size_t minDecimals = 0) const;
  // Money: "R$ 1.500,75", "R$ 3,00", "-R$ 2,50" (rounded to the centavo,
  // halves away from zero).
  std::string reais() const;
};

// What reading an entered number gives: a value, or the reason it has none.
struct DecimalEntry {
  std::optional<Decimal> value;
  std::string error;  // Portuguese; empty when there is a value
};

}  // namespace z418kt
