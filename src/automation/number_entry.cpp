// The members of Decimal: its canonical text, and numbers as people enter and
// read them. Entry is strict on purpose: a weight or a declared value read a
// thousand times too small is the worst mistake a freight system can make, so
// a shape with two readings is refused with both, never guessed.
#include <algorithm>

#include "automation/decimal.h"
#include "automation/number_text.h"

namespace z418kt {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
}

std::string_view trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// What is left of an entry once blanks, a sign and a leading "R$" are off.
struct Body {
  bool negative = false;
  std::string_view digits;
};

Body bodyOf(std::string_view text) {
  Body b;
  std::string_view s = trimmed(text);
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    b.negative = s.front() == '-';
    s = trimmed(s.substr(1));
  }
  if (s.substr(0, 2) == "R$") s = trimmed(s.substr(2));
  b.digits = s;
  return b;
}

// "1.500.000": 1 to 3 digits, then groups of exactly 3 after each '.'.
std::optional<std::string> groupedDigits(std::string_view s) {
  std::string digits;
  size_t start = 0;
  for (bool first = true;; first = false) {
    size_t end = s.find('.', start);
    std::string_view group = s.substr(start, end == s.npos ? s.npos : end - start);
    if (!allDigits(group) || (first ? group.size() > 3 : group.size() != 3)) return std::nullopt;
    if (first && group.front() == '0' && (group.size() > 1 || end != s.npos)) return std::nullopt;
    digits += group;
    if (end == s.npos) return digits;
    start = end + 1;
  }
}

// The Brazilian reading: whole part plain or grouped with '.', then ',' and
// the fraction. Nothing when the text is not of that shape.
std::optional<Decimal> brazilianReading(const Body& b) {
  std::string_view s = b.digits;
  std::string_view whole = s, fraction;
  if (size_t comma = s.find(','); comma != s.npos) {
    whole = s.substr(0, comma);
    fraction = s.substr(comma + 1);
    if (!allDigits(fraction)) return std::nullopt;
  }
  std::optional<std::string> digits =
      whole.find('.') == whole.npos
          ? (allDigits(whole) ? std::optional<std::string>(whole) : std::nullopt)
          : groupedDigits(whole);
  if (!digits) return std::nullopt;
  std::string sign = b.negative ? "-" : "";
  return decimal::parsePlain(sign + *digits +
                             (fraction.empty() ? "" : "." + std::string(fraction)));
}

// A script's reading: digits, one '.' and the fraction.
std::optional<Decimal> pointReading(const Body& b) {
  std::string_view s = b.digits;
  size_t point = s.find('.');
  if (point == s.npos || s.find(',') != s.npos) return std::nullopt;
  if (!allDigits(s.substr(0, point)) || !allDigits(s.substr(point + 1))) return std::nullopt;
  return decimal::parsePlain((b.negative ? "-" : "") + std::string(s));
}

std::string wrongShape(std::string_view text) {
  return "O número " + quoted(trimmed(text)) +
         " não é válido: use vírgula para os decimais (42,5) e ponto só para separar os "
         "milhares (1.500 ou 1.500,75).";
}

std::string nothingEntered() { return "Informe um número."; }

}  // namespace

std::string Decimal::text() const { return decimal::write(*this); }

std::optional<Decimal> Decimal::fromText(std::string_view text) {
  return decimal::parsePlain(text);
}

Decimal Decimal::fromInteger(int64_t value) { return decimal::fromInteger(value); }

std::optional<Decimal> Decimal::fromDouble(double value) { return decimal::fromDouble(value); }

double Decimal::toDouble() const { return decimal::toDouble(*this); }

int Decimal::compare(const Decimal& other) const { return decimal::compare(*this, other); }

DecimalEntry Decimal::fromBrazilian(std::string_view text) {
  Body b = bodyOf(text);
  if (b.digits.empty()) return {std::nullopt, nothingEntered()};
  if (auto d = brazilianReading(b)) return {d, {}};
  return {std::nullopt, wrongShape(text)};
}

DecimalEntry Decimal::fromCommandLine(std::string_view text) {
  Body b = bodyOf(text);
  if (b.digits.empty()) return {std::nullopt, nothingEntered()};
  auto brazilian = brazilianReading(b);
  auto point = pointReading(b);
  if (brazilian && point && !(*brazilian == *point)) {
    return {std::nullopt, "O número " + quoted(trimmed(text)) +
                              " é ambíguo: com ponto de milhar é " + brazilian->brazilian() +
                              ", com ponto decimal é " + point->brazilian() + ". Escreva " +
                              brazilian->text() + " ou " + point->brazilian() + "."};
  }
  if (brazilian) return {brazilian, {}};
  if (point) return {point, {}};
  return {std::nullopt, "O número " + quoted(trimmed(text)) +
                            " não é válido: escreva 1500, 1.500,75, 1500,75 ou 1500.75."};
}

std::string Decimal::brazilian(size_t minDecimals) const {
  std::string out = negative ? "-" : "";
  for (size_t k = 0; k < whole.size(); ++k) {
    if (k > 0 && (whole.size() - k) % 3 == 0) out += '.';
    out += whole[k];
  }
  std::string f = fraction;
  if (f.size() < minDecimals) f.resize(minDecimals, '0');
  if (!f.empty()) out += "," + f;
  return out;
}

std::string Decimal::reais() const {
  auto rounded = decimal::parsePlain(decimal::writeRounded(*this, '.', 2, 2));
  Decimal d = rounded.value_or(*this);
  std::string digits =
      d.negative ? Decimal{false, d.whole, d.fraction}.brazilian(2) : d.brazilian(2);
  return (d.negative ? "-R$ " : "R$ ") + digits;
}

}  // namespace z418kt
