// The bearer token that guards /v1: made at start when none is configured,
// and compared so that neither its content nor its length shows in the time
// an answer takes.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace z418kt::http {

// 32 random bytes from the system's generator, as 64 hex digits.
std::string makeToken();

// The expected token, kept as its SHA-256 digest: a presented token is hashed
// and the two fixed-size digests are compared in constant time.
class TokenCheck {
 public:
  explicit TokenCheck(std::string_view expected);
  // True when the Authorization header is exactly "Bearer <expected>" (the
  // scheme in any case).
  bool matches(std::string_view authorization) const;

 private:
  std::array<unsigned char, 32> digest_{};
  bool empty_;
};

// The token of a token file: its first line without surrounding blanks.
// Throws std::runtime_error when the file cannot be read or holds no token.
std::string readTokenFile(const std::string& path);

}  // namespace z418kt::http
