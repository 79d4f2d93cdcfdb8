// The digit work behind Decimal, for the outside components, the front door
// and the codecs.
//
// Weights, declared values and dimensions travel between the database, the
// caller and the statements as texts. Doing that arithmetic on binary doubles
// would turn "0,1" into 0.1000000000000000055...; every conversion here works
// on decimal digits instead, so a value read, shown, edited and saved keeps
// exactly its digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "z418kt/decimal.h"
#include "z418kt/variant.h"

namespace z418kt::decimal {

// The one exact-decimal type of the component (see z418kt/decimal.h).
using Decimal = ::z418kt::Decimal;

// A number as a person or a display writes it: blanks around it, one leading
// sign, digits, and ',' or '.' as the decimal separator. When both kinds
// appear, the last one is the decimal separator and the other groups
// thousands; a kind that appears more than once groups thousands. Grouping
// must be proper (1 to 3 digits, then groups of exactly 3), and a decimal
// separator needs digits on both sides. Exponent forms ("1E+20") are refused:
// no display of ours writes them, and a person typing "2e3" into a weight field
// more likely made a mistake than meant 2000. This is how the operations read
// what they are given; front ends read an operator's entry with
// Decimal::fromBrazilian or Decimal::fromCommandLine, which never guess.
std::optional<Decimal> parseEntered(std::string_view text);

// The same without thousands grouping: a sign, digits, at most one separator.
std::optional<Decimal> parsePlain(std::string_view text);

Decimal fromInteger(int64_t value);
Decimal fromCurrency(Currency value);
// A double read as the 15 significant digits that Visual Basic shows of it,
// so 0.1 + 0.2 is 0.3. Nothing for NaN and infinities.
std::optional<Decimal> fromDouble(double value);
// I2, I4, R8, Currency and Bool (-1 / 0) values; nothing for other types.
std::optional<Decimal> fromNumber(const Variant& value);

// The value rounded to at most `maxDecimals` decimals (halves away from zero)
// and written as write() does, the fraction padded to `minDecimals`.
std::string writeRounded(const Decimal& value, char separator, size_t minDecimals,
                         size_t maxDecimals);
// The same for a number held in a variant (as fromNumber reads it), written
// straight from its digits without building a Decimal: measures are formatted
// for every row of a read. Nothing where fromNumber gives nothing.
std::optional<std::string> writeRounded(const Variant& number, char separator, size_t minDecimals,
                                        size_t maxDecimals);
// The common case of that without a string made: a number that is a whole
// count of ten-thousandths (every I2, I4, Bool and Currency, and the doubles
// nearest to such a count) with `maxDecimals` 4 or more and `minDecimals` 4
// or fewer, written into `out` with a closing NUL. False, and nothing
// written, for any other number: writeRounded then gives the text.
inline constexpr size_t kShortRoundedCapacity = 32;
bool writeRoundedShort(const Variant& number, char separator, size_t minDecimals,
                       size_t maxDecimals, char (&out)[kShortRoundedCapacity]);

// True when `text` is exactly what write() gives of the number it reads as
// ("-12.5", "0", "3.25": no blanks, no '+', no leading or trailing zeros, '.'
// as the separator): such a text stands for itself, without a Decimal made.
bool isWritten(std::string_view text);

// <0, 0, >0 as a is below, equal to or above b.
int compare(const Decimal& a, const Decimal& b);

// "-1234.5" with `separator` between whole and fraction; the fraction padded
// with zeros to at least `minDecimals` digits. No grouping, never an exponent.
std::string write(const Decimal& value, char separator = '.', size_t minDecimals = 0);
// The same, added to the end of `out`.
void appendWritten(std::string& out, const Decimal& value, char separator = '.',
                   size_t minDecimals = 0);

// The value as a 32-bit integer when it is whole and in range.
std::optional<int32_t> toInt32(const Decimal& value);
double toDouble(const Decimal& value);

}  // namespace z418kt::decimal
