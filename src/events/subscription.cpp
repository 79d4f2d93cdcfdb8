#include "events/subscription.h"

#include <openssl/rand.h>

#include <algorithm>
#include <sstream>

#include "events/signature.h"

namespace z418kt::events {

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string urlHost(const std::string& url) {
  std::string l = lower(url);
  size_t start = startsWith(l, "http://") ? 7 : startsWith(l, "https://") ? 8 : 0;
  if (start == 0) return {};
  size_t end = l.find_first_of("/?#", start);
  std::string authority = l.substr(start, end == std::string::npos ? end : end - start);
  if (authority.find('@') != std::string::npos) return {};  // no credentials in a webhook URL
  if (startsWith(authority, "[")) {
    size_t close = authority.find(']');
    return close == std::string::npos ? std::string() : authority.substr(1, close - 1);
  }
  return authority.substr(0, authority.find(':'));
}

std::string checkSubscription(const SubscriptionInput& input) {
  if (input.url.size() > kMaxUrlBytes)
    return "A URL tem mais de " + std::to_string(kMaxUrlBytes) + " bytes.";
  for (unsigned char c : input.url)
    if (c <= 0x20 || c == 0x7f) return "A URL não pode ter espaços nem caracteres de controle.";
  if (urlHost(input.url).empty())
    return "A URL deve começar com http:// ou https:// e ter um servidor: \"" + input.url + "\".";
  for (const std::string& kind : input.kinds)
    if (std::find(eventKinds().begin(), eventKinds().end(), kind) == eventKinds().end()) {
      std::string known;
      for (auto k : eventKinds()) known += (known.empty() ? "" : ", ") + std::string(k);
      return "Tipo de evento desconhecido: \"" + kind + "\" (tipos: " + known + ").";
    }
  if (input.clientId && *input.clientId <= 0) return "O cliente deve ser um número acima de 0.";
  if (input.format != kFormatJson && input.format != kFormatOneRecord)
    return "Formato desconhecido: \"" + input.format + "\" (json ou one-record).";
  return {};
}

bool destinationAllowed(const std::string& url, const std::vector<std::string>& allowed) {
  if (allowed.empty()) return true;
  std::string host = urlHost(url);
  if (host.empty()) return false;
  for (const std::string& raw : allowed) {
    std::string entry = lower(raw);
    if (entry.empty()) continue;
    if (entry[0] == '.') {
      if (host == entry.substr(1) ||
          (host.size() > entry.size() &&
           host.compare(host.size() - entry.size(), entry.size(), entry) == 0))
        return true;
    } else if (host == entry) {
      return true;
    }
  }
  return false;
}

std::string newSecret() {
  unsigned char bytes[24];
  if (RAND_bytes(bytes, sizeof bytes) != 1)
    throw std::runtime_error("no random bytes for a secret");
  return "whsec_" + base64(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

std::string joinKinds(const std::vector<std::string>& kinds) {
  std::string out;
  for (const std::string& k : kinds) out += (out.empty() ? "" : " ") + k;
  return out;
}

std::vector<std::string> splitKinds(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string k; in >> k;) out.push_back(k);
  return out;
}

bool Subscription::wants(const Event& event) const {
  if (clientId && event.clientId() != *clientId) return false;
  return kinds.empty() || std::find(kinds.begin(), kinds.end(), event.kind()) != kinds.end();
}

Json Subscription::toJson() const {
  Json out;
  out["id"] = id;
  out["url"] = url;
  out["tipos"] = kinds;
  out["cliente_id"] = clientId ? Json(*clientId) : Json(nullptr);
  out["formato"] = format;
  out["criada_em"] = createdAt;
  if (!secret.empty()) out["segredo"] = secret;
  return out;
}

}  // namespace z418kt::events
