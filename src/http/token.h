// The bearer tokens that guard /v1, each with a name: the name, never the
// secret, goes into the access log and names the actor of the changes its
// requests make. A token is made at start when none is configured.
// Secrets are compared so that neither their content nor their length nor
// which token matched shows in the time an answer takes.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace z418kt::http {

// The name of a token given without one.
inline constexpr const char* kDefaultTokenName = "http";
// At most this many tokens: each request's token is compared with all.
inline constexpr size_t kMaxTokens = 1000;

struct NamedToken {
  std::string name;
  std::string secret;
};

// 32 random bytes from the system's generator, as 64 hex digits.
std::string makeToken();

// A plain name (a token's, or the request id a client sends, both of which
// go into logs and headers as they are) is 1 to 64 letters, digits, '-', '_'
// or '.'.
bool plainName(std::string_view name);

// "NAME=SECRET" (split at the first '=', when what comes before is a plain
// name and a secret follows), or a bare secret named kDefaultTokenName.
// Throws std::invalid_argument for an empty secret.
NamedToken parseNamedToken(std::string_view text);

// Throws std::invalid_argument when a name or a secret comes twice, a name
// is not plain, a secret is empty, or there are more than kMaxTokens.
void checkTokens(const std::vector<NamedToken>& tokens);

// The expected tokens, each kept as its name and the SHA-256 digest of its
// secret: a presented token is hashed and compared, in constant time, with
// every digest.
class TokenCheck {
 public:
  explicit TokenCheck(const std::vector<NamedToken>& tokens);
  // The name of the token when the Authorization header is exactly
  // "Bearer <secret>" (the scheme in any case) of one of them; otherwise
  // nullptr.
  const std::string* match(std::string_view authorization) const;

 private:
  struct Entry {
    std::string name;
    std::array<unsigned char, 32> digest;
  };
  std::vector<Entry> entries_;
};

// The token of a token file: its first line without surrounding blanks.
// Throws std::runtime_error when the file cannot be read or holds no token.
std::string readTokenFile(const std::string& path);

// The tokens of a tokens file: one "NAME=SECRET" (or a bare secret) a line;
// blank lines and lines starting with '#' are skipped. At most 1 MiB.
// Throws std::runtime_error naming the file and line of what is wrong.
std::vector<NamedToken> readTokensFile(const std::string& path);

}  // namespace z418kt::http
