#include "outside/sql_literal.h"

#include "automation/decimal.h"
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
  Variant value = vb::resolved(input);
  if (value.isEmpty() || value.isNull()) return "NULL";
  return quoted(vb::cstr(value));
}

std::string valueLiteral(const Variant& input) {
  Variant value = vb::resolved(input);
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
    default: {
      auto number = decimal::fromNumber(value);
      if (number) return decimal::write(*number);
      if (value.type() == VarType::R8) throw errors::invalidProcedureCall();
      throw errors::typeMismatch();
    }
  }
}

}  // namespace z418kt::outside::sql
