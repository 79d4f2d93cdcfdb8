// Webhook signatures the Standard Webhooks way: the message "id.timestamp.body"
// signed with HMAC-SHA256 under the secret's key (the base64 after "whsec_"),
// sent as "v1,<base64 signature>" in webhook-signature beside webhook-id and
// webhook-timestamp (Unix seconds).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace z418kt::events {

std::string base64(std::string_view bytes);
// Nothing when the text is no valid base64.
std::optional<std::string> unbase64(std::string_view text);

// The webhook-signature value; throws std::invalid_argument for a secret
// that is not "whsec_" followed by base64.
std::string signWebhook(std::string_view secret, std::string_view id, int64_t timestamp,
                        std::string_view body);

}  // namespace z418kt::events
