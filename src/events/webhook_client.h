// WebhookClient: one HTTP POST at a time with libcurl, the connection kept
// for the next request to the same server. Only http and https, no
// redirects followed (a subscriber's redirect is a failed delivery), and
// every request ends within its timeout.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace z418kt::events {

struct PostResult {
  long status = 0;    // the HTTP status; 0 when no answer came
  std::string error;  // why no answer came, or the status line's meaning
  bool ok() const { return status >= 200 && status < 300; }
};

class WebhookClient {
 public:
  explicit WebhookClient(std::chrono::milliseconds timeout);
  ~WebhookClient();
  WebhookClient(const WebhookClient&) = delete;
  WebhookClient& operator=(const WebhookClient&) = delete;

  PostResult post(const std::string& url,
                  const std::vector<std::pair<std::string, std::string>>& headers,
                  const std::string& body);

 private:
  void* handle_;  // CURL*
  std::chrono::milliseconds timeout_;
};

}  // namespace z418kt::events
