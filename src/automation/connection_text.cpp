#include "automation/connection_text.h"

#include <cctype>

namespace z418kt::data {

namespace {
std::string_view trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}
}  // namespace

std::string upperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

ConnectionText::ConnectionText(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eq = text.find_first_of("=;", pos);
    if (eq == std::string_view::npos) break;
    if (text[eq] == ';') {  // a pair without '=': skip it
      pos = eq + 1;
      continue;
    }
    std::string key = upperCase(trimmed(text.substr(pos, eq - pos)));
    size_t v = eq + 1;
    while (v < text.size() && std::isspace(static_cast<unsigned char>(text[v]))) ++v;
    std::string value;
    if (v < text.size() && text[v] == '{') {
      size_t i = v + 1;
      for (; i < text.size(); ++i) {
        if (text[i] != '}') {
          value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '}') {
          value += '}';
          ++i;
        } else {
          break;
        }
      }
      size_t semi = text.find(';', i);
      pos = semi == std::string_view::npos ? text.size() : semi + 1;
    } else {
      size_t semi = text.find(';', v);
      size_t end = semi == std::string_view::npos ? text.size() : semi;
      value = std::string(trimmed(text.substr(v, end - v)));
      pos = end + 1;
    }
    if (!key.empty()) pairs_.emplace_back(std::move(key), std::move(value));
  }
}

std::optional<std::string> ConnectionText::get(std::string_view key) const {
  std::string wanted = upperCase(key);
  for (const auto& [k, v] : pairs_)
    if (k == wanted) return v;
  return std::nullopt;
}

bool ConnectionText::is(std::string_view key, std::string_view value) const {
  auto v = get(key);
  return v && upperCase(*v) == upperCase(value);
}

}  // namespace z418kt::data

namespace z418kt::data {

bool isPasswordKey(std::string_view key) {
  std::string upper = upperCase(key);
  for (const char* word : {"PWD", "PASSWORD", "PASSPHRASE"})
    if (upper.find(word) != std::string::npos) return true;
  return false;
}

std::string maskedPassword(std::string_view text) {
  ConnectionText parsed(text);
  bool secret = false;
  for (const auto& [key, value] : parsed.pairs()) secret = secret || isPasswordKey(key);
  if (!secret) return std::string(text);
  std::string out;
  for (const auto& [key, value] : parsed.pairs()) {
    if (!out.empty()) out += ';';
    out += key + "=";
    if (isPasswordKey(key)) {
      out += "***";
    } else if (value.find_first_of(";{}") != std::string::npos) {
      out += '{';
      for (char c : value) out += c == '}' ? std::string("}}") : std::string(1, c);
      out += '}';
    } else {
      out += value;
    }
  }
  return out;
}

}  // namespace z418kt::data
