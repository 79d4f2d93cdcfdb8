// The routing table: one row per method and path pattern, with who may call
// it and where it runs. Adding a route is adding one row in routes.cpp.
//
// A pattern is a path whose "{}" segments match one non-empty segment each;
// the matched segments come to the handler percent-decoded in
// Request::params. HEAD is answered by the GET route of the same path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "http/exchange.h"
#include "http/resources.h"
#include "http/server_options.h"

namespace z418kt::http {

class Metrics;
class Readiness;

// What a handler may use. `component` is the calling worker's own; it is
// null for routes that run inline on a connection's thread.
struct RouteContext {
  const Resources& resources;
  const ServerOptions& options;
  Metrics& metrics;
  Readiness& readiness;
  Z418kt* component = nullptr;
};

enum class Access {
  Open,     // anyone
  Token,    // the bearer token (and the client's rate)
  Metrics,  // the token, unless --metrics-public
};
enum class Runs {
  Inline,  // cheap and never blocking: on the connection's thread
  Worker,  // calls the operations or waits on the database: on a worker
};

using Handler = Reply (*)(RouteContext&, const Request&);

struct Route {
  std::string_view method;
  std::string_view pattern;
  Access access;
  Runs runs;
  Handler handle;
};

const std::vector<Route>& routeTable();

struct RouteMatch {
  const Route* route = nullptr;     // null: no route for this method and path
  std::vector<std::string> params;  // of the matched route
  std::string allow;                // no route for the method but some for the path: their methods
};
RouteMatch matchRoute(std::string_view method, std::string_view path);

// Runs a handler; a ProblemError becomes its problem, any other failure a 500.
Reply runHandler(const Route& route, RouteContext& context, const Request& request);

// A problem reply of the given status; an empty detail takes the status's own.
Reply problemReply(int status, std::string detail = {});

}  // namespace z418kt::http
