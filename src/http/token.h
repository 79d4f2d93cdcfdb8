// The bearer token that guards /v1: made at start when none is configured,
// and compared in constant time so an answer's timing tells nothing of it.
#pragma once

#include <string>
#include <string_view>

namespace z418kt::http {

// 32 random bytes from the system's generator, as 64 hex digits.
std::string makeToken();

// True when the Authorization header is exactly "Bearer <expected>" (the
// scheme in any case). The comparison time depends on the lengths only.
bool bearerMatches(std::string_view authorization, std::string_view expected);

// The token of a token file: its first line without surrounding blanks.
// Throws std::runtime_error when the file cannot be read or holds no token.
std::string readTokenFile(const std::string& path);

}  // namespace z418kt::http
