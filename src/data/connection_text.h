// ConnectionText: the ADO-style "key=value;key=value" text that names a database.
//
// Keys are matched without regard to case and blanks around keys and values
// are ignored. A value may be quoted with '"' or '\'' to hold ';' or '=' (the
// quote doubled inside stands for itself). Pairs without '=' are ignored, as
// are empty pairs; a later pair overrides an earlier one with the same key.
#pragma once

#include <map>
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
  // Every pair as written (key spelling kept, value unquoted), in text order.
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

 private:
  std::map<std::string, std::string> values_;  // key in upper case
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// True for a key that a driver reads as a password: Pwd, Password, and any
// key holding PWD, PASSWORD or PASSPHRASE (ODBC and ADO drivers spell them
// in many ways, e.g. "Jet OLEDB:Database Password").
bool isPasswordKey(std::string_view key);

// The connection text fit to be shown: unchanged when it sets no password,
// otherwise rewritten pair by pair with every password value as "***".
std::string maskedPassword(std::string_view text);

// ASCII upper case of a text.
std::string upperCase(std::string_view text);

}  // namespace z418kt::data
