// One request as a route sees it, and the reply a route gives. The
// connection turns the reply into the answer on the wire: it adds the
// security headers, X-Request-Id, CORS and Content-Length.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace z418kt::http {

struct Request {
  boost::beast::http::request<boost::beast::http::string_body> message;
  std::string path;                 // the target without its query, as sent
  std::vector<std::string> params;  // one per {} of the route, percent-decoded
  std::string client;               // the client address (see ClientAddress)
  bool tls = false;

  // A header's value ("" when absent).
  std::string_view header(std::string_view name) const {
    auto it = message.find(boost::beast::string_view(name.data(), name.size()));
    return it == message.end() ? std::string_view()
                               : std::string_view(it->value().data(), it->value().size());
  }
};

struct Reply {
  int status = 200;
  std::string contentType;  // empty: no body
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool close = false;   // close the connection after this answer
  std::string failure;  // an internal error for the server's log, never sent
};

inline constexpr const char* kJsonType = "application/json; charset=utf-8";

}  // namespace z418kt::http
