// Numbers and dates as text, the same under every process locale.
//
// A host program may call setlocale (a Brazilian application sets pt_BR, where
// printf writes "1,5" and strtod stops at '.'). Nothing in the component may
// depend on that, so every conversion between numbers and texts goes through
// here: std::from_chars / std::to_chars and <chrono> calendar checks, which
// never look at the locale.
//
// The writers fill a caller's buffer of at least kTextCapacity chars and
// return the end of what they wrote (no terminator, no allocation), so row
// formatting can call them per value; the string forms are for everyone else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "z418kt/variant.h"

namespace z418kt::numtext {

inline constexpr size_t kTextCapacity = 32;

// 10^0 to 10^22: the powers of ten a double holds exactly. A decimal of at
// most 15 digits divided by one of them is read in one correctly rounded step.
inline constexpr double kExactTenPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// ----- writing -----

char* writeInteger(char* out, int64_t value);
// 15 significant digits, the shortest of fixed or exponent form ("1.5",
// "1E+20", "1.23456789012346E-05"): the text Visual Basic shows of a double.
// Zero (also -0) is "0"; NaN and infinities "NAN", "INF", "-INF".
char* writeDouble(char* out, double value);
// The exact decimal of a Currency without trailing zeros: "-12.5", "3", "0.0001".
char* writeCurrency(char* out, Currency value);
// "YYYY-MM-DD HH:MM:SS" of an OLE date, rounded to the second.
char* writeDate(char* out, double oleDays);
// "d.dddddddddddddde+XX": the 15 significant digits of a finite double in
// exponent form, the raw material of exact decimal conversions.
char* writeScientific15(char* out, double value);

// True when `magnitude` (>= 0) is the double nearest to k / 10^4 for a whole k
// below 9e14, with that k: such a value has at most 15 significant digits and
// they are exactly the digits of k / 10^4, so it is written from k without the
// general formatter. Weights, measures and money read and saved are such values.
bool tenThousandths(double magnitude, uint64_t& k);

std::string integerText(int64_t value);
std::string doubleText(double value);
std::string currencyText(Currency value);
std::string dateText(double oleDays);

// ----- reading -----

// A whole number: an optional sign and digits, nothing else; nothing when out
// of range.
std::optional<int64_t> parseInteger(std::string_view text);

// A number in the plain form of program texts: optional '-' or '+', digits
// with an optional '.' fraction and an optional exponent. Nothing for other
// texts and for values beyond the range of a double; values too small for it
// read as zero.
std::optional<double> parseDouble(std::string_view text);

// A number as Visual Basic reads a text: blanks (spaces, tabs) around it, a
// sign, digits with one '.' or ',' as the decimal separator, an optional
// exponent. Nothing for anything else, the empty text included, and for
// values beyond the range of a double.
std::optional<double> parseVbNumber(std::string_view text);

enum class CurrencyParse { Ok, Malformed, TooManyDecimals, Overflow };
// An optional sign, digits, and at most four decimals after '.'; `out` is
// only written on Ok. Checked left to right: too many whole digits is
// Overflow even when something malformed follows.
CurrencyParse parseCurrency(std::string_view text, Currency& out);

// ----- calendar -----

struct DateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// True for a day that exists in the proleptic Gregorian calendar (no
// 2024-02-30, 29 February only in leap years) and a time of 00:00:00 to 23:59:59.
bool isValid(const DateTime& value);

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DDTHH:MM:SS" (1 to 4 year
// digits, 1 or 2 digits for the others) naming a valid date and time.
std::optional<DateTime> parseDateTime(std::string_view text);

// Days since 1899-12-30 (the OLE date) of calendar fields, and back (rounded
// to the second).
double oleDate(const DateTime& value);
DateTime dateTimeOf(double oleDays);

}  // namespace z418kt::numtext
