// Decimal: an exact decimal number for weights, measures and money.
//
// The operations hand these out as display texts ("125,50") and take them
// back as texts with ',' or '.'; a binary double in between would change
// digits ("0,1" is not a double). A Decimal keeps the digits and has one
// canonical text: an optional '-', the whole part without leading zeros and,
// when there is a fraction, '.' and its digits without trailing zeros
// ("125.5", "0.25", "1500.75", "0").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace z418kt::record {

class Decimal {
 public:
  Decimal() = default;  // zero

  // A number as people and the operations write it: blanks around it, a sign,
  // ',' or '.' as the decimal separator (the rules the save applies to what it
  // accepts). Nothing for any other text, the empty text included.
  static std::optional<Decimal> parse(std::string_view text);
  // A double as the at most 15 significant digits it stands for, so the JSON
  // number 0.3 is exactly 0.3. Nothing for NaN and the infinities.
  static std::optional<Decimal> fromDouble(double value);

  const std::string& text() const { return text_; }
  // The nearest double: for formats that only carry binary numbers.
  double toDouble() const;

  friend bool operator==(const Decimal&, const Decimal&) = default;

 private:
  explicit Decimal(std::string canonical) : text_(std::move(canonical)) {}
  std::string text_ = "0";
};

}  // namespace z418kt::record
