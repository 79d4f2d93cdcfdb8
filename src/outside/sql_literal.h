// The one writer of SQL value literals, shared by every default component that
// puts a value into a statement text (stored-procedure arguments and the Oracle
// builders' values), so that quoting has exactly one implementation.
//
// What it writes cannot end early, whatever the value holds: a text becomes
// 'text' with each ' doubled, and nothing else inside it is special in the SQL
// dialects we speak (Oracle, SQL Server, SQLite, and PostgreSQL, whose
// sessions the data layer opens with standard_conforming_strings forced on),
// so quotes, semicolons, "--", "/*" and backslashes stay data.
// Bytes that are not well-formed UTF-8 are replaced by U+FFFD before quoting,
// so no driver's character conversion can pair a stray byte with the closing
// quote. A NUL character cannot be carried by a statement text at all and
// raises 5 (the caller's error trap reports it); nothing is written.
//
// Numbers are written as plain digits with '.' and never with an exponent.
#pragma once

#include <string>
#include <string_view>

#include "z418kt/variant.h"

namespace z418kt::outside::sql {

// 'text', quotes doubled.
std::string quoted(std::string_view text);

// A value as a text literal: Empty and Null give NULL; any other value its
// Visual Basic text, quoted. Arrays raise 13.
std::string textLiteral(const Variant& value);

// A value as a literal of its own kind: Empty, Null and blank texts give NULL;
// numbers (and Bool as -1 / 0) plain digits; a text that is a plain decimal
// number (sign, digits, one ',' or '.') that number with '.'; dates and other
// texts quoted. Arrays raise 13; NaN and infinities raise 5.
std::string valueLiteral(const Variant& value);
// The same literal written onto the end of `out`; nothing is written when the
// value raises.
void appendValueLiteral(std::string& out, const Variant& value);

// A component's answer written onto a statement as concatenation writes it:
// a text as it is (the rule), anything else by its Visual Basic text.
void appendAnswer(std::string& out, const Variant& answer);

}  // namespace z418kt::outside::sql
