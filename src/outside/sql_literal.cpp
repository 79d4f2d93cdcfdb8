#include "outside/sql_literal.h"

#include <charconv>
#include <cmath>

#include "automation/decimal.h"
#include "automation/number_text.h"
#include "automation/resolved_ref.h"
#include "outside/default_text.h"

namespace z418kt::outside::sql {

std::string quoted(std::string_view input) {
  if (input.find('\0') != std::string_view::npos) throw errors::invalidProcedureCall();
  std::string text = text::repairUtf8(input);
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string textLiteral(const Variant& input) {
  const vb::ResolvedView valueView(input);
  const Variant& value = valueView.get();
  if (value.isEmpty() || value.isNull()) return "NULL";
  return quoted(vb::cstr(value));
}

std::string valueLiteral(const Variant& input) {
  std::string out;
  appendValueLiteral(out, input);
  return out;
}

namespace {
// Every value but the two most common ones, which appendValueLiteral writes in place.
std::string otherLiteral(const Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
      return "NULL";
    case VarType::Date:
      return quoted(vb::cstr(value));
    case VarType::BStr: {
      const std::string& t = value.text();
      if (text::trimBlanks(t).empty()) return "NULL";
      if (auto number = decimal::parsePlain(t)) return decimal::write(*number);
      return quoted(t);
    }
    case VarType::R8: {
      // Weights and measures: their shortest text is already the plain
      // digits with '.' that the decimal writer would give.
      uint64_t k;
      if (numtext::tenThousandths(std::fabs(value.r8()), k)) return numtext::doubleText(value.r8());
      auto number = decimal::fromDouble(value.r8());
      if (number) return decimal::write(*number);
      throw errors::invalidProcedureCall();
    }
    default: {
      auto number = decimal::fromNumber(value);
      if (number) return decimal::write(*number);
      throw errors::typeMismatch();
    }
  }
}
}  // namespace

void appendValueLiteral(std::string& out, const Variant& input) {
  const vb::ResolvedView valueView(input);
  const Variant& value = valueView.get();
  if (value.type() == VarType::I2 || value.type() == VarType::I4) {
    // The identifiers of every read and save: the digits the decimal writer
    // gives for a whole number, without building a Decimal.
    char digits[16];
    int32_t whole = value.type() == VarType::I2 ? value.i2() : value.i4();
    out.append(digits, std::to_chars(digits, digits + sizeof digits, whole).ptr);
  } else if (value.type() == VarType::BStr && decimal::isWritten(value.text())) {
    out += value.text();  // the accepted decimals of every save
  } else {
    out += otherLiteral(value);
  }
}

void appendAnswer(std::string& out, const Variant& answer) {
  if (answer.isText())
    out += answer.text();
  else
    out += vb::concatText(answer);
}

}  // namespace z418kt::outside::sql
