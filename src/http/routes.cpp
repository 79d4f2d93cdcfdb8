#include "http/routes.h"

#include "http/assets.h"
#include "http/metrics.h"
#include "http/problem.h"
#include "http/readiness.h"

namespace z418kt::http {

namespace {

constexpr const char* kLinkedDataType = "application/ld+json";

Reply fromAnswer(Answer answer, const char* type = kJsonType) {
  Reply reply;
  reply.status = answer.status;
  if (!answer.location.empty()) reply.headers.emplace_back("Location", answer.location);
  for (auto& header : answer.headers) reply.headers.push_back(std::move(header));
  if (answer.status != 204) {
    reply.contentType = type;
    reply.body = answer.text.empty() ? json::dumpText(answer.body) : std::move(answer.text);
  }
  return reply;
}

Reply asset(std::string_view file, std::string_view type) {
  Reply reply;
  reply.contentType = std::string(type);
  reply.body = std::string(embeddedAsset(file));
  return reply;
}

// The operators' page: every embedded file of a kind a browser loads, at
// "/" and its name (index.html also at "/"), open to anyone (the page asks
// for the token itself). The OpenAPI description is served under /v1 only.
std::string_view pageType(std::string_view file) {
  auto endsWith = [&](std::string_view suffix) {
    return file.size() >= suffix.size() && file.substr(file.size() - suffix.size()) == suffix;
  };
  if (endsWith(".html")) return "text/html; charset=utf-8";
  if (endsWith(".css")) return "text/css; charset=utf-8";
  if (endsWith(".js")) return "text/javascript; charset=utf-8";
  if (endsWith(".svg")) return "image/svg+xml";
  return {};
}

std::string_view pageFile(std::string_view path) {
  return path == "/" ? std::string_view("index.html") : path.substr(1);
}

Reply pageAsset(RouteContext&, const Request& r) {
  std::string_view file = pageFile(r.path);
  return asset(file, pageType(file));
}

json::Json jsonBody(const Request& request) {
  std::string_view type = request.header("Content-Type");
  if (!type.empty() && type.rfind("application/json", 0) != 0)
    throw ProblemError({415, "Envie o corpo como application/json.", {}, {}});
  return parseBody(request.message.body());
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int high = 0, low = 0;
    if (text[i] == '%' && i + 2 < text.size() && (high = hexValue(text[i + 1])) >= 0 &&
        (low = hexValue(text[i + 2])) >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The query parameters of the request target, percent-decoded with '+' as a
// blank; when a name comes twice the first one counts.
Query queryOf(const Request& request) {
  Query query;
  std::string_view target(request.message.target().data(), request.message.target().size());
  size_t mark = target.find('?');
  if (mark == std::string_view::npos) return query;
  std::string_view rest = target.substr(mark + 1);
  while (!rest.empty()) {
    size_t amp = rest.find('&');
    std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    std::string name(pair.substr(0, eq));
    std::string value(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
    for (std::string* part : {&name, &value})
      for (char& ch : *part)
        if (ch == '+') ch = ' ';
    query.emplace(percentDecoded(name), percentDecoded(value));
  }
  return query;
}

Reply readColeta(RouteContext& c, const Request& r) {
  if (r.header("Accept").find(kLinkedDataType) != std::string_view::npos) {
    std::string base = std::string(r.tls ? "https://" : "http://") + std::string(r.header("Host")) +
                       "/logistics-objects/";
    return fromAnswer(c.resources.exportColeta(*c.component, r.params[0], base), kLinkedDataType);
  }
  return fromAnswer(c.resources.readColeta(*c.component, r.params[0]));
}

Reply readiness(RouteContext& c, const Request&) {
  Readiness::Result result = c.readiness.check();
  Reply reply;
  reply.status = result.ready ? 200 : 503;
  reply.contentType = kJsonType;
  json::Json body = {{"status", result.ready ? "ready" : "unavailable"}};
  if (!result.ready) {
    body["reason"] = result.reason;
    c.metrics.databaseFailure(result.timedOut ? "timeout" : "unavailable");
    reply.headers.emplace_back("Retry-After", "5");
  }
  reply.body = json::dumpText(body);
  return reply;
}

// Every route the server answers but the page's files.
const std::vector<Route> kApiRoutes = {
    {"GET", "/healthz", Access::Open, Runs::Inline,
     [](RouteContext&, const Request&) {
       return Reply{200, kJsonType, R"({"status":"ok"})", {}, false, {}};
     }},
    {"GET", "/readyz", Access::Open, Runs::Worker, readiness},
    {"GET", "/metrics", Access::Metrics, Runs::Inline,
     [](RouteContext& c, const Request&) {
       return Reply{200, kMetricsType, c.metrics.exposition(), {}, false, {}};
     }},
    {"GET", "/v1/openapi.json", Access::Token, Runs::Inline,
     [](RouteContext&, const Request&) { return asset("openapi.json", kJsonType); }},
    {"GET", "/v1/coletas/{}", Access::Token, Runs::Worker, readColeta},
    {"GET", "/v1/coletas", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.resources.listColetas(*c.component, queryOf(r)));
     }},
    {"POST", "/v1/coletas", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.resources.createColeta(*c.component, jsonBody(r),
                                                  std::string(r.header("Idempotency-Key"))));
     }},
    {"PUT", "/v1/coletas/{}", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.resources.replaceColeta(*c.component, r.params[0], jsonBody(r)));
     }},
    {"DELETE", "/v1/coletas/{}", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.resources.deleteColeta(*c.component, r.params[0]));
     }},
    {"GET", "/v1/pessoas/{}", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.resources.readPessoa(*c.component, r.params[0]));
     }},
    {"GET", "/v1/pessoas", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.resources.searchPessoas(*c.component, queryOf(r)));
     }},
    {"GET", "/v1/coletas/{}/eventos", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       Query query = queryOf(r);
       return fromAnswer(c.events.history(r.params[0], query["depois"], query["limite"]));
     }},
    {"GET", "/v1/assinaturas", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request&) { return fromAnswer(c.events.listSubscriptions()); }},
    {"POST", "/v1/assinaturas", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.events.addSubscription(jsonBody(r)));
     }},
    {"DELETE", "/v1/assinaturas/{}", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.events.removeSubscription(r.params[0]));
     }},
    {"POST", "/v1/operations/{}", Access::Token, Runs::Worker,
     [](RouteContext& c, const Request& r) {
       return fromAnswer(c.resources.callOperation(*c.component, r.params[0], jsonBody(r)));
     }},
};

// Matches a path against a pattern, collecting the {} segments.
bool matches(std::string_view pattern, std::string_view path, std::vector<std::string>& params) {
  params.clear();
  while (true) {
    size_t hole = pattern.find("{}");
    if (hole == std::string_view::npos) return pattern == path;
    if (path.substr(0, hole) != pattern.substr(0, hole)) return false;
    path.remove_prefix(hole);
    pattern.remove_prefix(hole + 2);
    size_t end = path.find('/');
    std::string_view segment = path.substr(0, end);
    if (segment.empty()) return false;
    params.push_back(percentDecoded(segment));
    path.remove_prefix(segment.size());
  }
}

std::vector<Route> allRoutes() {
  std::vector<Route> routes;
  static std::vector<std::string> pagePaths = [] {
    std::vector<std::string> paths{"/"};
    for (const auto& [file, content] : embeddedAssets())
      if (!pageType(file).empty()) paths.push_back("/" + std::string(file));
    return paths;
  }();
  for (const std::string& path : pagePaths)
    routes.push_back({"GET", path, Access::Open, Runs::Inline, pageAsset});
  routes.insert(routes.end(), kApiRoutes.begin(), kApiRoutes.end());
  return routes;
}

const std::vector<Route> kRoutes = allRoutes();

}  // namespace

const std::vector<Route>& routeTable() { return kRoutes; }

RouteMatch matchRoute(std::string_view method, std::string_view path) {
  RouteMatch match;
  std::string_view wanted = method == "HEAD" ? "GET" : method;
  // Only the routes of the method are tried for a request that has its
  // route; the methods the path does have are gathered only when it has not.
  for (const Route& route : kRoutes) {
    if (route.method == wanted && matches(route.pattern, path, match.params)) {
      match.route = &route;
      return match;
    }
  }
  std::vector<std::string> params;
  for (const Route& route : kRoutes) {
    if (!matches(route.pattern, path, params)) continue;
    if (!match.allow.empty()) match.allow += ", ";
    match.allow += route.method;
    if (route.method == "GET") match.allow += ", HEAD";
  }
  match.params.clear();
  return match;
}

Reply runHandler(const Route& route, RouteContext& context, const Request& request) {
  try {
    return route.handle(context, request);
  } catch (const ProblemError& e) {
    return Reply{
        e.problem.status, kProblemType, json::dumpText(problemJson(e.problem)), {}, false, {}};
  } catch (const std::exception& e) {
    Reply reply = problemReply(500);
    reply.failure = e.what();
    return reply;
  }
}

Reply problemReply(int status, std::string detail) {
  if (detail.empty()) {
    switch (status) {
      case 400:
        detail = "A requisição não pôde ser lida.";
        break;
      case 401:
        detail = "Envie o cabeçalho Authorization: Bearer <token>.";
        break;
      case 404:
        detail = "Recurso não encontrado.";
        break;
      case 405:
        detail = "Este recurso não aceita este método.";
        break;
      case 408:
        detail = "A requisição não chegou inteira a tempo.";
        break;
      case 413:
        detail = "O corpo da requisição excede o limite do servidor.";
        break;
      case 429:
        detail = "Limite de requisições excedido; tente de novo em instantes.";
        break;
      case 431:
        detail = "Os cabeçalhos da requisição excedem o limite do servidor.";
        break;
      case 503:
        detail = "O servidor está ocupado; tente de novo em instantes.";
        break;
      default:
        detail = "Erro interno do servidor.";
        break;
    }
  }
  return Reply{
      status, kProblemType, json::dumpText(problemJson({status, std::move(detail), {}, {}})),
      {},     false,        {}};
}

}  // namespace z418kt::http
