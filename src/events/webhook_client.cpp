#include "events/webhook_client.h"

#include <curl/curl.h>

#include <mutex>
#include <stdexcept>

namespace z418kt::events {

namespace {

// The answer's body is not kept: only its status counts.
size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace

WebhookClient::WebhookClient(std::chrono::milliseconds timeout) : timeout_(timeout) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  handle_ = curl_easy_init();
  if (!handle_) throw std::runtime_error("libcurl could not make a request handle");
}

WebhookClient::~WebhookClient() { curl_easy_cleanup(static_cast<CURL*>(handle_)); }

PostResult WebhookClient::post(const std::string& url,
                               const std::vector<std::pair<std::string, std::string>>& headers,
                               const std::string& body) {
  CURL* curl = static_cast<CURL*>(handle_);
  curl_easy_reset(curl);
  curl_slist* list = nullptr;
  for (const auto& [name, value] : headers) {
    curl_slist* next = curl_slist_append(list, (name + ": " + value).c_str());
    if (!next) break;
    list = next;
  }
  // "Expect: 100-continue" would cost a round trip on larger bodies.
  if (curl_slist* next = curl_slist_append(list, "Expect:")) list = next;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_.count()));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_.count()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "z418kt-webhooks/1");
  CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(list);
  PostResult result;
  if (rc != CURLE_OK) {
    result.error = curl_easy_strerror(rc);
    return result;
  }
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  if (!result.ok()) result.error = "HTTP " + std::to_string(result.status);
  return result;
}

}  // namespace z418kt::events
