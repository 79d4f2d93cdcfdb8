// Our NumberFormatUtil: decimal columns as the screens show them, with ','
// before 2 to 4 decimals and no grouping ("12,50", "0,3333"). The text is what
// ValueUtil operation 11 reads back, so a Coleta read and saved keeps its values.
//
// Columns arrive as exact Currency (ODBC), I4, R8 or text (SQLite). A double is
// first read as the 15 digits Visual Basic shows of it, so 0.1 + 0.2 shows as
// "0,30" and not as the rounding noise of binary fractions.
#include <optional>
#include <string>

#include "automation/decimal.h"
#include "automation/resolved_ref.h"
#include "outside/components.h"

namespace z418kt::outside {

namespace {

constexpr size_t kMinDecimals = 2;
constexpr size_t kMaxDecimals = 4;

std::string shown(const decimal::Decimal& d) {
  return decimal::writeRounded(d, ',', kMinDecimals, kMaxDecimals);
}
std::optional<std::string> shown(const Variant& number) {
  return decimal::writeRounded(number, ',', kMinDecimals, kMaxDecimals);
}

Variant format(const Variant& field) {
  const vb::ResolvedView valueView(field);
  const Variant& value = valueView.get();
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
      return Variant(std::string());
    case VarType::BStr: {
      if (auto d = decimal::parseEntered(value.text())) return Variant(shown(*d));
      double r;  // a column stored as text in exponent form
      if (vb::parseNumber(value.text(), r)) {
        if (auto text = shown(Variant(r))) return Variant(std::move(*text));
      }
      return value;  // no number: shown as it is, and refused if saved back
    }
    case VarType::Date:
      return Variant(vb::cstr(value));
    default: {
      // Written in place and made into the answer once: this runs for every
      // measure of every row read.
      char text[decimal::kShortRoundedCapacity];
      if (decimal::writeRoundedShort(value, ',', kMinDecimals, kMaxDecimals, text))
        return Variant(static_cast<const char*>(text));
      if (auto text = shown(value)) return Variant(std::move(*text));
      // NaN or an infinity cannot be shown as a value to save back.
      if (value.type() == VarType::R8) return Variant(std::string());
      throw errors::typeMismatch();
    }
  }
}

class DefaultNumberFormatUtil : public NumberFormatUtil {
 public:
  Variant op1_formatDecimal(Variant& field) override { return format(field); }
  Variant op2_formatMeasure(Variant& field) override { return format(field); }
};

}  // namespace

std::shared_ptr<NumberFormatUtil> makeDefaultNumberFormatUtil() {
  return std::make_shared<DefaultNumberFormatUtil>();
}

}  // namespace z418kt::outside
