#include "events/signature.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <stdexcept>

namespace z418kt::events {

std::string base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::optional<std::string> unbase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  for (char c : text)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '='))
      return std::nullopt;
  std::string out(3 * (text.size() / 4) + 1, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<int>(text.size()));
  if (n < 0) return std::nullopt;
  // EVP_DecodeBlock counts the padding's bytes as data.
  size_t padding = 0;
  for (size_t i = text.size(); i > 0 && text[i - 1] == '=' && padding < 2; --i) ++padding;
  out.resize(static_cast<size_t>(n) - padding);
  return out;
}

std::string signWebhook(std::string_view secret, std::string_view id, int64_t timestamp,
                        std::string_view body) {
  constexpr std::string_view prefix = "whsec_";
  if (secret.substr(0, prefix.size()) != prefix)
    throw std::invalid_argument("a webhook secret begins with whsec_");
  auto key = unbase64(secret.substr(prefix.size()));
  if (!key || key->empty()) throw std::invalid_argument("a webhook secret is whsec_ and base64");
  std::string message;
  message.reserve(id.size() + body.size() + 24);
  message.append(id).append(".").append(std::to_string(timestamp)).append(".").append(body);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), key->data(), static_cast<int>(key->size()),
       reinterpret_cast<const unsigned char*>(message.data()), message.size(), mac, &length);
  return "v1," + base64(std::string_view(reinterpret_cast<const char*>(mac), length));
}

}  // namespace z418kt::events
