// A webhook subscription: where to send which events, and the secret the
// deliveries are signed with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "events/event.h"

namespace z418kt::events {

inline constexpr size_t kMaxUrlBytes = 2000;
inline constexpr const char* kFormatJson = "json";
inline constexpr const char* kFormatOneRecord = "one-record";

struct SubscriptionInput {
  std::string url;                   // http:// or https://, with a host
  std::vector<std::string> kinds;    // empty: every kind
  std::optional<int64_t> clientId;   // only the Coletas of this client
  std::string format = kFormatJson;  // or kFormatOneRecord (a LogisticsEvent)
};

struct Subscription : SubscriptionInput {
  int64_t id = 0;
  std::string createdAt;
  std::string secret;  // only when just created; never read back

  // Whether an event goes to this subscription.
  bool wants(const Event& event) const;
  // id, url, tipos, cliente_id, formato, criada_em and, only when set, segredo.
  Json toJson() const;
};

// What is wrong with a subscription, in Portuguese; "" when nothing.
std::string checkSubscription(const SubscriptionInput& input);

// The host of an http(s) URL, lower case, without port or brackets; "" when none.
std::string urlHost(const std::string& url);

// Whether `url` may be called under `allowed` (empty: any destination). An
// entry is a host name ("hooks.example.com"), a domain with a leading dot
// (".example.com": it and its sub-domains) or an IP address, matched exactly.
bool destinationAllowed(const std::string& url, const std::vector<std::string>& allowed);

// A new secret: "whsec_" and the base64 of 24 random bytes.
std::string newSecret();

// The kinds as stored: blank-separated.
std::string joinKinds(const std::vector<std::string>& kinds);
std::vector<std::string> splitKinds(const std::string& text);

}  // namespace z418kt::events
