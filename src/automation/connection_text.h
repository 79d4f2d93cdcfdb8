// ConnectionText: the "key=value;key=value" text that names a database, read
// by the grammar ODBC defines for connection strings, for every provider.
//
// Keys are matched without regard to case; blanks around keys and unbraced
// values are ignored. A value in braces {...} is taken as written, ';' and
// '=' included, with "}}" standing for one '}'. Pairs without '=' and empty
// pairs are ignored. When a key appears more than once, its first value
// counts, as ODBC drivers do.
//
// The grammar is a matter of text alone: the providers read their settings
// with it, and the codecs mask the passwords of a text they echo, without
// knowing any database.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace z418kt::data {

class ConnectionText {
 public:
  explicit ConnectionText(std::string_view text);
  // The value of `key` (any case), or nothing when the text does not set it.
  std::optional<std::string> get(std::string_view key) const;
  // True when the key is set to `value`, ignoring case on both.
  bool is(std::string_view key, std::string_view value) const;
  // Every pair in the order written, keys in upper case, repeats included.
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// True for a key that a driver reads as a password: Pwd, Password, and any
// key holding PWD, PASSWORD or PASSPHRASE (drivers spell them in many ways,
// e.g. "Jet OLEDB:Database Password").
bool isPasswordKey(std::string_view key);

// The connection text fit to be shown: unchanged when it sets no password,
// otherwise written again from its pairs (keys in upper case, a value braced
// when it needs it) with every password value as "***".
std::string maskedPassword(std::string_view text);

// ASCII upper and lower case of a text.
std::string upperCase(std::string_view text);
std::string lowerCase(std::string_view text);

}  // namespace z418kt::data
