#include "http/token.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <strings.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace z418kt::http {

namespace {

std::array<unsigned char, 32> sha256(std::string_view text) {
  std::array<unsigned char, 32> digest{};
  unsigned int size = 0;
  if (!EVP_Digest(text.data(), text.size(), digest.data(), &size, EVP_sha256(), nullptr) ||
      size != digest.size())
    throw std::runtime_error("SHA-256 is not available");
  return digest;
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

TokenCheck::TokenCheck(std::string_view expected)
    : digest_(sha256(expected)), empty_(expected.empty()) {}

bool TokenCheck::matches(std::string_view authorization) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (empty_ || authorization.size() < kScheme.size() ||
      strncasecmp(authorization.data(), kScheme.data(), kScheme.size()) != 0)
    return false;
  auto given = sha256(authorization.substr(kScheme.size()));
  return CRYPTO_memcmp(given.data(), digest_.data(), digest_.size()) == 0;
}

std::string readTokenFile(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) throw std::runtime_error("cannot read token file " + path);
  size_t first = line.find_first_not_of(" \t\r");
  size_t last = line.find_last_not_of(" \t\r");
  if (first == std::string::npos) throw std::runtime_error("token file " + path + " is empty");
  return line.substr(first, last - first + 1);
}

}  // namespace z418kt::http
