// Our InputCheckUtil: the field checks of a Coleta and of the party lookup.
//
// A check never raises for the value it checks: whatever the field holds, the
// answer is True, or False with a short Portuguese message naming the caption
// in the caller's message variable. Only unusable limits (a caller's mistake,
// not the user's) raise 5. The user identifier is accepted and not used.
#include <string>

#include "outside/components.h"
#include "outside/default_decimal.h"
#include "outside/default_text.h"

namespace z418kt::outside {

namespace {

using decimal::Decimal;

constexpr size_t kMaxTextLength = 255;

// A text of any variant that never raises: Null and unprintable values give "".
std::string safeText(const Variant& v) {
  try {
    return vb::concatText(v);
  } catch (const AutomationError&) {
    return "";
  }
}

// Flag "S" (any case, blanks around allowed) marks a field that must hold a
// value; anything else lets it stay empty.
bool required(const Variant& flag) {
  std::string f(text::trimBlanks(safeText(flag)));
  return f == "S" || f == "s";
}

// What a field holds, seen by a numeric check.
struct Entry {
  enum Kind { Missing, Number, NotNumber } kind = Missing;
  Decimal number;
};

template <class Parse>
Entry readEntry(const Variant& field, Parse parse) {
  Variant value;
  try {
    value = vb::resolved(field);
  } catch (const AutomationError&) {
    return {Entry::NotNumber, {}};
  }
  if (value.isEmpty() || value.isNull()) return {Entry::Missing, {}};
  if (value.isText()) {
    if (text::trimBlanks(value.text()).empty()) return {Entry::Missing, {}};
    if (auto d = parse(value.text())) return {Entry::Number, *d};
    return {Entry::NotNumber, {}};
  }
  if (value.type() == VarType::Bool) return {Entry::NotNumber, {}};
  if (auto d = decimal::fromNumber(value)) return {Entry::Number, *d};
  return {Entry::NotNumber, {}};
}

// A limit handed by the caller: a number or a numeric text.
Decimal limit(const Variant& v) {
  Variant value = vb::resolved(v);
  std::optional<Decimal> d =
      value.isText() ? decimal::parseEntered(value.text()) : decimal::fromNumber(value);
  if (!d) throw errors::invalidProcedureCall();
  return *d;
}

// Whole numbers as people type them: a sign and digits, nothing else.
std::optional<Decimal> parseWhole(std::string_view t) {
  std::string_view s = text::trimBlanks(t);
  std::string_view digits = s;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return decimal::parseEntered(s);
}

std::string brazilian(const Decimal& d) { return decimal::write(d, ','); }

class DefaultInputCheckUtil : public InputCheckUtil {
 public:
  Variant op3_checkInteger(Variant& caption, Variant& value, Variant& minimum, Variant& /*extra*/,
                           Variant& /*user*/, Variant& message, Variant& flag) override {
    Decimal lowest = limit(minimum);
    Entry entry = readEntry(value, parseWhole);
    if (entry.kind == Entry::Number && !entry.number.isWhole()) entry.kind = Entry::NotNumber;
    // An identifier 0 is the "none chosen" of the screens.
    bool missing =
        entry.kind == Entry::Missing || (entry.kind == Entry::Number && entry.number.isZero());
    if (missing && required(flag)) return refuse(message, caption, " é obrigatório.");
    if (entry.kind == Entry::Missing) return Variant::boolean(true);
    if (entry.kind == Entry::NotNumber) {
      return refuse(message, caption, " deve ser um número inteiro.");
    }
    if (decimal::compare(entry.number, lowest) < 0) {
      return refuse(message, caption, " deve ser maior ou igual a " + brazilian(lowest) + ".");
    }
    if (!decimal::toInt32(entry.number)) return refuse(message, caption, " é grande demais.");
    return Variant::boolean(true);
  }

  Variant op4_checkDecimal(Variant& caption, Variant& value, Variant& minimum, Variant& maximum,
                           Variant& /*user*/, Variant& message, Variant& flag) override {
    Decimal lowest = limit(minimum), highest = limit(maximum);
    Entry entry = readEntry(value, decimal::parseEntered);
    if (entry.kind == Entry::Missing) {
      if (required(flag)) return refuse(message, caption, " é obrigatório.");
      return Variant::boolean(true);
    }
    if (entry.kind == Entry::NotNumber) return refuse(message, caption, " deve ser um número.");
    if (decimal::compare(entry.number, lowest) < 0 || decimal::compare(entry.number, highest) > 0) {
      return refuse(message, caption,
                    " deve estar entre " + brazilian(lowest) + " e " + brazilian(highest) + ".");
    }
    // The limits show the precision the column keeps (999999,99: two decimals).
    size_t decimals = std::max(lowest.fraction.size(), highest.fraction.size());
    if (entry.number.fraction.size() > decimals) {
      return refuse(message, caption,
                    decimals == 0 ? std::string(" deve ser um número inteiro.")
                                  : " aceita no máximo " + std::to_string(decimals) +
                                        (decimals == 1 ? " casa decimal." : " casas decimais."));
    }
    return Variant::boolean(true);
  }

  Variant op5_checkText(Variant& caption, Variant& value, Variant& /*extra*/, Variant& /*user*/,
                        Variant& message, Variant& flag) override {
    Variant resolvedValue;
    try {
      resolvedValue = vb::resolved(value);
    } catch (const AutomationError&) {
      return refuse(message, caption, " deve ser um texto.");
    }
    if (resolvedValue.isArray() || resolvedValue.isObject()) {
      return refuse(message, caption, " deve ser um texto.");
    }
    std::string t = safeText(resolvedValue);
    if (text::trimBlanks(t).empty()) {
      if (required(flag)) return refuse(message, caption, " é obrigatório.");
      return Variant::boolean(true);
    }
    // No engine keeps a NUL inside a text statement; a blank in its place
    // would change the text unseen.
    if (t.find('\0') != std::string::npos)
      return refuse(message, caption, " contém o caractere NUL, que não pode ser gravado.");
    if (text::codePointCount(t) > kMaxTextLength) {
      return refuse(message, caption,
                    " aceita no máximo " + std::to_string(kMaxTextLength) + " caracteres.");
    }
    return Variant::boolean(true);
  }

 private:
  static Variant refuse(Variant& message, const Variant& caption, const std::string& tail) {
    message = Variant("O campo " + text::repairUtf8(safeText(caption)) + tail);
    return Variant::boolean(false);
  }
};

}  // namespace

std::shared_ptr<InputCheckUtil> makeDefaultInputCheckUtil() {
  return std::make_shared<DefaultInputCheckUtil>();
}

}  // namespace z418kt::outside
