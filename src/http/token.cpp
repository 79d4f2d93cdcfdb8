#include "http/token.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <strings.h>

#include <cctype>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>

namespace z418kt::http {

namespace {

constexpr size_t kMaxTokensFileBytes = 1 << 20;

std::array<unsigned char, 32> sha256(std::string_view text) {
  std::array<unsigned char, 32> digest{};
  unsigned int size = 0;
  if (!EVP_Digest(text.data(), text.size(), digest.data(), &size, EVP_sha256(), nullptr) ||
      size != digest.size())
    throw std::runtime_error("SHA-256 is not available");
  return digest;
}

std::string_view trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string makeToken() {
  std::random_device device;  // /dev/urandom on Linux
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 8; ++i) {
    uint32_t word = device();
    for (int nibble = 0; nibble < 8; ++nibble, word >>= 4) token += kHex[word & 0xF];
  }
  return token;
}

bool plainName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
      return false;
  return true;
}

NamedToken parseNamedToken(std::string_view text) {
  size_t equals = text.find('=');
  NamedToken token{kDefaultTokenName, std::string(text)};
  if (equals != std::string_view::npos && plainName(text.substr(0, equals)) &&
      equals + 1 < text.size())
    token = {std::string(text.substr(0, equals)), std::string(text.substr(equals + 1))};
  if (token.secret.empty()) throw std::invalid_argument("a token needs a secret");
  return token;
}

void checkTokens(const std::vector<NamedToken>& tokens) {
  if (tokens.size() > kMaxTokens)
    throw std::invalid_argument("more than " + std::to_string(kMaxTokens) + " tokens");
  std::set<std::string_view> names, secrets;
  for (const NamedToken& t : tokens) {
    if (!plainName(t.name))
      throw std::invalid_argument("the token name \"" + t.name +
                                  "\" is not 1 to 64 letters, digits, '-', '_' or '.'");
    if (t.secret.empty()) throw std::invalid_argument("the token " + t.name + " has no secret");
    if (!names.insert(t.name).second) throw std::invalid_argument("two tokens are named " + t.name);
    if (!secrets.insert(t.secret).second)
      throw std::invalid_argument("the token " + t.name + " has the secret of another token");
  }
}

TokenCheck::TokenCheck(const std::vector<NamedToken>& tokens) {
  for (const NamedToken& t : tokens)
    if (!t.secret.empty()) entries_.push_back({t.name, sha256(t.secret)});
}

const std::string* TokenCheck::match(std::string_view authorization) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (authorization.size() < kScheme.size() ||
      strncasecmp(authorization.data(), kScheme.data(), kScheme.size()) != 0)
    return nullptr;
  auto given = sha256(authorization.substr(kScheme.size()));
  // Every digest is compared, the matching one or not, so the time tells
  // nothing of which token matched.
  const std::string* found = nullptr;
  for (const Entry& e : entries_)
    if (CRYPTO_memcmp(given.data(), e.digest.data(), e.digest.size()) == 0) found = &e.name;
  return found;
}

std::string readTokenFile(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) throw std::runtime_error("cannot read token file " + path);
  std::string_view token = trimmed(line);
  if (token.empty()) throw std::runtime_error("token file " + path + " is empty");
  return std::string(token);
}

std::vector<NamedToken> readTokensFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read tokens file " + path);
  std::string text(kMaxTokensFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxTokensFileBytes)
    throw std::runtime_error("tokens file " + path + " is over " +
                             std::to_string(kMaxTokensFileBytes) + " bytes");
  std::vector<NamedToken> tokens;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = trimmed(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#') continue;
    try {
      tokens.push_back(parseNamedToken(line));
    } catch (const std::invalid_argument& e) {
      throw std::runtime_error(path + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  if (tokens.empty()) throw std::runtime_error("tokens file " + path + " holds no token");
  return tokens;
}

}  // namespace z418kt::http
