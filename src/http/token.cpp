#include "http/token.h"

#include <strings.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace z418kt::http {

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

bool bearerMatches(std::string_view authorization, std::string_view expected) {
  constexpr std::string_view kScheme = "Bearer ";
  if (expected.empty() || authorization.size() != kScheme.size() + expected.size()) return false;
  if (strncasecmp(authorization.data(), kScheme.data(), kScheme.size()) != 0) return false;
  std::string_view given = authorization.substr(kScheme.size());
  unsigned char difference = 0;
  for (size_t i = 0; i < expected.size(); ++i)
    difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
  return difference == 0;
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
