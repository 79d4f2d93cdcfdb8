#include "record/read_values.h"

#include "automation/decimal.h"
#include "automation/number_text.h"

namespace z418kt::record {

namespace dec = decimal;

namespace {

bool holdsNothing(const Variant& v) {
  return v.isEmpty() || v.isNull() ||
         (v.isText() && v.text().find_first_not_of(' ') == std::string::npos);
}

std::optional<Decimal> exactOf(const Variant& v) {
  if (v.isText()) return dec::parseEntered(v.text());
  return dec::fromNumber(v);
}

}  // namespace

UnreadableValue::UnreadableValue(std::string field, std::string value)
    : message_("O valor \"" + value + "\" de " + field + " não é um número válido.") {}

std::string textOf(const Variant& value) {
  Variant v = vb::resolved(value);
  if (v.isEmpty() || v.isNull()) return {};
  return vb::cstr(v);
}

std::optional<int64_t> wholeOf(const Variant& value, const char* field) {
  Variant v = vb::resolved(value);
  if (holdsNothing(v)) return std::nullopt;
  auto d = exactOf(v);
  int64_t out = 0;
  if (d && d->isWhole()) {
    if (auto n = numtext::parseInteger(d->whole)) {
      out = *n;
      return d->negative ? -out : out;
    }
  }
  throw UnreadableValue(field, textOf(v));
}

std::optional<Decimal> decimalOf(const Variant& value, const char* field) {
  Variant v = vb::resolved(value);
  if (holdsNothing(v)) return std::nullopt;
  if (auto d = exactOf(v)) return d;
  throw UnreadableValue(field, textOf(v));
}

Variant idArgument(int64_t id) {
  if (id >= INT32_MIN && id <= INT32_MAX) return Variant(static_cast<int32_t>(id));
  return Variant(std::to_string(id));
}

}  // namespace z418kt::record
