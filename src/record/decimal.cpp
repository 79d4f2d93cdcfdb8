#include "record/decimal.h"

#include "outside/default_decimal.h"

namespace z418kt::record {

namespace dec = outside::decimal;

std::optional<Decimal> Decimal::parse(std::string_view text) {
  auto d = dec::parseEntered(text);
  if (!d) return std::nullopt;
  return Decimal(dec::write(*d));
}

std::optional<Decimal> Decimal::fromDouble(double value) {
  auto d = dec::fromDouble(value);
  if (!d) return std::nullopt;
  return Decimal(dec::write(*d));
}

double Decimal::toDouble() const { return dec::toDouble(*dec::parsePlain(text_)); }

}  // namespace z418kt::record
