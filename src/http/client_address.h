// Who a request comes from. Behind a reverse proxy every connection comes
// from the proxy; with --trust-proxy the client is the last address the
// proxy appended to X-Forwarded-For (earlier entries are the client's own
// word and are ignored). Without it the header is ignored altogether.
#pragma once

#include <string>
#include <string_view>

namespace z418kt::http {

// The client of a request on a connection from `peer`.
std::string clientAddress(const std::string& peer, std::string_view forwardedFor, bool trustProxy);

// The key the per-client limits count under: the address itself, except
// that an IPv6 address counts by its /64 network (one host usually has the
// whole /64, and could otherwise take a fresh address per request).
std::string limitKey(const std::string& address);

}  // namespace z418kt::http
