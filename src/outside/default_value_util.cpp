// Our ValueUtil: conversions of argument and column values, the literals of
// stored-procedure arguments, the decimal check and the input clean-up.
#include <cmath>

#include "automation/decimal.h"
#include "automation/resolved_ref.h"
#include "outside/components.h"
#include "outside/default_text.h"
#include "outside/sql_literal.h"

namespace z418kt::outside {

namespace {

// I4 when whole and within 32 bits, else R8.
Variant numberOf(const decimal::Decimal& d) {
  if (auto whole = decimal::toInt32(d)) return Variant(*whole);
  double r = decimal::toDouble(d);
  if (!std::isfinite(r)) throw errors::overflow();
  return Variant(r);
}

Variant numberOf(double r) {
  if (std::isfinite(r) && r == std::trunc(r) && r >= -2147483648.0 && r <= 2147483647.0) {
    return Variant(static_cast<int32_t>(r));
  }
  return Variant(r);
}

class DefaultValueUtil : public ValueUtil {
 public:
  // Empty, Null and blank texts count as 0, so "no identifier yet" and "no
  // row" read alike; a text that is no number is a type mismatch (13).
  Variant op4_number(Variant input) override {
    const vb::ResolvedView valueView(input);
    const Variant& value = valueView.get();
    switch (value.type()) {
      case VarType::Empty:
      case VarType::Null:
        return Variant(int32_t{0});
      case VarType::Bool:
        return Variant(int32_t{value.boolValue() ? -1 : 0});
      case VarType::BStr: {
        std::string_view t = text::trimBlanks(value.text());
        if (t.empty()) return Variant(int32_t{0});
        if (auto d = decimal::parseEntered(t)) return numberOf(*d);
        double r;  // exponent forms, as Visual Basic reads them
        if (vb::parseNumber(std::string(t), r)) return numberOf(r);
        throw errors::typeMismatch();
      }
      case VarType::Currency:
        return numberOf(decimal::fromCurrency(value.currency()));
      case VarType::I2:
        return Variant(int32_t{value.i2()});
      case VarType::I4:
        return value;
      case VarType::R8:
      case VarType::Date:
        return numberOf(vb::cdbl(value));
      default:
        throw errors::typeMismatch();
    }
  }

  Variant op6_value(Variant input) override {
    Variant value = input.isObject() ? vb::resolved(input) : std::move(input);
    if (value.isNull()) return Variant(std::string());
    return value;
  }

  Variant op7_procedureArgument(Variant value) override {
    return Variant(sql::valueLiteral(value));
  }
  // The argument is the literal itself, written in place.
  void appendProcedureArgument(std::string& text, const Variant& value) override {
    sql::appendValueLiteral(text, value);
  }

  Variant op8_procedureText(Variant value) override { return Variant(sql::textLiteral(value)); }

  // Leaves `accepted` as it was when the text is refused.
  Variant op11_checkDecimal(std::string value, std::string& accepted) override {
    if (decimal::isWritten(value)) {
      accepted = std::move(value);
      return Variant::boolean(true);
    }
    auto d = decimal::parseEntered(value);
    if (!d) return Variant::boolean(false);
    accepted = decimal::write(*d);
    return Variant::boolean(true);
  }

  // Control characters (tabs and line breaks pasted into a field) would make
  // a value that looks blank or right on screen differ from what is stored.
  // A NUL is no layout: it stays, so that the field's check refuses it
  // instead of a blank taking its place unseen.
  std::string op13_normalize(std::string trimmed) override {
    return vb::trim(text::blankControls(trimmed, true));
  }
};

}  // namespace

void ValueUtil::appendProcedureArgument(std::string& text, const Variant& value) {
  sql::appendAnswer(text, op7_procedureArgument(value));
}

std::shared_ptr<ValueUtil> makeDefaultValueUtil() { return std::make_shared<DefaultValueUtil>(); }

}  // namespace z418kt::outside
