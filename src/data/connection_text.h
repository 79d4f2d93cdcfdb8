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

namespace z418kt::data {

class ConnectionText {
 public:
  explicit ConnectionText(std::string_view text);
  // The value of `key` (any case), or nothing when the text does not set it.
  std::optional<std::string> get(std::string_view key) const;
  // True when the key is set to `value`, ignoring case on both.
  bool is(std::string_view key, std::string_view value) const;

 private:
  std::map<std::string, std::string> values_;  // key in upper case
};

// ASCII upper case of a text.
std::string upperCase(std::string_view text);

}  // namespace z418kt::data
