#include "http/server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <ctime>
#include <mutex>
#include <stdexcept>

#include "http/assets.h"
#include "http/event_resources.h"
#include "http/problem.h"
#include "http/rate_limit.h"
#include "http/resources.h"
#include "http/token.h"
#include "z418kt/change_context.h"

namespace z418kt::http {

namespace {

using json::Json;
using Clock = std::chrono::steady_clock;

constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr const char* kLinkedDataType = "application/ld+json";

// The page and its scripts come from this server only; nothing inline.
const httplib::Headers kSecurityHeaders = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
     "img-src 'self'; form-action 'none'; frame-ancestors 'none'; base-uri 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Cache-Control", "no-store"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Frame-Options", "DENY"},
};

struct PageAsset {
  const char* path;
  const char* file;
  const char* type;
};
constexpr PageAsset kPage[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/app.js", "app.js", "text/javascript; charset=utf-8"},
    {"/style.css", "style.css", "text/css; charset=utf-8"},
};

// Details of the statuses the library answers on its own (bodies it could
// not read, unknown paths).
std::string defaultDetail(int status) {
  switch (status) {
    case 400:
      return "A requisição não pôde ser lida.";
    case 404:
      return "Recurso não encontrado.";
    case 413:
      return "O corpo da requisição excede o limite do servidor.";
    case 414:
      return "O endereço da requisição é grande demais.";
    default:
      return "A requisição falhou.";
  }
}

void sendProblem(httplib::Response& res, const Problem& problem) {
  res.status = problem.status;
  res.set_content(json::dumpText(problemJson(problem)), kProblemType);
}

// A refused request: the problem and the header that tells the client what to do.
void sendRefusal(httplib::Response& res, const Problem& problem) {
  sendProblem(res, problem);
  if (problem.status == 401) res.set_header("WWW-Authenticate", "Bearer");
  if (problem.status == 429) res.set_header("Retry-After", "1");
}

bool hasBody(const httplib::Request& req) {
  std::string length = req.get_header_value("Content-Length");
  return (!length.empty() && length != "0") || req.has_header("Transfer-Encoding");
}

std::string utcNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buffer;
}

// The component of the calling worker thread.
Z418kt& workerComponent() {
  thread_local Z418kt component;
  return component;
}

// httplib listens with a backlog of 5, which turns clients away when many
// connect at once; listening again on the bound socket widens it.
class Listener : public httplib::Server {
 public:
  void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

// Start of the request the calling worker is serving, for the access log.
thread_local std::optional<Clock::time_point> requestStart;
// The refusal of a request with a body, answered once the body has been read:
// answering before would leave the body to be taken for the next request.
thread_local std::optional<Problem> refusalAfterBody;

// True when the request was refused; the refusal is then the answer.
bool answeredRefusal(httplib::Response& res) {
  if (!refusalAfterBody) return false;
  sendRefusal(res, *refusalAfterBody);
  refusalAfterBody.reset();
  return true;
}

}  // namespace

struct HttpServer::Impl {
  Impl(ServerOptions o, std::ostream& logStream)
      : options(std::move(o)),
        log(logStream),
        resources(json::CallContext{options.connection,
                                    options.oracle ? json::kOracleKind : json::kProcedureKind, 0}),
        eventResources(options.connection),
        limiter(options.limits.requestsPerSecond) {
    configure();
  }

  void configure();
  void route();
  httplib::Server::HandlerResponse guard(const httplib::Request& req, httplib::Response& res);
  void cors(const httplib::Request& req, httplib::Response& res) const;
  void writeLog(const httplib::Request& req, const httplib::Response& res);

  // Runs a resource call on the worker's own component and writes its answer.
  template <class Call>
  void answer(httplib::Response& res, Call&& call, const char* type = kJsonType) {
    if (answeredRefusal(res)) return;
    // The events of the changes a request makes name the HTTP API as their origin.
    ChangeActor actor("http");
    Answer a = call(workerComponent());
    res.status = a.status;
    if (!a.location.empty()) res.set_header("Location", a.location);
    if (a.status != 204) res.set_content(json::dumpText(a.body), type);
  }
  Json body(const httplib::Request& req) const {
    std::string type = req.get_header_value("Content-Type");
    if (!type.empty() && type.rfind("application/json", 0) != 0)
      throw ProblemError({415, "Envie o corpo como application/json.", {}, {}});
    return parseBody(req.body);
  }

  ServerOptions options;
  std::ostream& log;
  std::mutex logMutex;
  Resources resources;
  EventResources eventResources;
  RateLimiter limiter;
  Listener server;
  int boundPort = 0;
};

void HttpServer::Impl::configure() {
  const Limits& l = options.limits;
  size_t threads = static_cast<size_t>(std::max(1, l.workerThreads));
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_payload_max_length(l.maxBodyBytes);
  server.set_tcp_nodelay(true);  // an answer goes out in two writes: no 40 ms Nagle wait
  server.set_read_timeout(l.readTimeoutSeconds, 0);
  server.set_write_timeout(l.writeTimeoutSeconds, 0);
  server.set_keep_alive_timeout(l.keepAliveSeconds);
  server.set_keep_alive_max_count(l.keepAliveMaxRequests);
  server.set_default_headers(kSecurityHeaders);
  server.set_pre_routing_handler([this](const auto& req, auto& res) { return guard(req, res); });
  server.set_post_routing_handler([this](const auto& req, auto& res) { cors(req, res); });
  server.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404 && answeredRefusal(res))
          return httplib::Server::HandlerResponse::Handled;
        refusalAfterBody.reset();
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        sendProblem(res, {res.status, defaultDetail(res.status), {}, {}});
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_exception_handler([this](const auto&, auto& res, std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const ProblemError& e) {
      sendProblem(res, e.problem);
    } catch (const std::exception& e) {
      std::lock_guard lock(logMutex);
      log << utcNow() << " erro interno: " << e.what() << '\n' << std::flush;
      sendProblem(res, {500, "Erro interno do servidor.", {}, {}});
    }
  });
  server.set_logger([this](const auto& req, const auto& res) { writeLog(req, res); });
  route();
}

httplib::Server::HandlerResponse HttpServer::Impl::guard(const httplib::Request& req,
                                                         httplib::Response& res) {
  requestStart = Clock::now();
  refusalAfterBody.reset();
  if (req.path.rfind("/v1/", 0) != 0 || req.method == "OPTIONS")
    return httplib::Server::HandlerResponse::Unhandled;
  std::string connection = req.remote_addr + ":" + std::to_string(req.remote_port);
  Problem refusal;
  if (!limiter.allow(connection)) {
    refusal = {429, "Limite de requisições por segundo desta conexão excedido.", {}, {}};
  } else if (!bearerMatches(req.get_header_value("Authorization"), options.token)) {
    refusal = {401, "Envie o cabeçalho Authorization: Bearer <token>.", {}, {}};
  } else {
    return httplib::Server::HandlerResponse::Unhandled;
  }
  if (hasBody(req)) {
    refusalAfterBody = std::move(refusal);
    return httplib::Server::HandlerResponse::Unhandled;
  }
  sendRefusal(res, refusal);
  cors(req, res);
  return httplib::Server::HandlerResponse::Handled;
}

void HttpServer::Impl::cors(const httplib::Request& req, httplib::Response& res) const {
  if (options.corsOrigin.empty() || req.get_header_value("Origin") != options.corsOrigin) return;
  res.set_header("Access-Control-Allow-Origin", options.corsOrigin);
  res.set_header("Access-Control-Allow-Headers", "Authorization, Content-Type");
  res.set_header("Access-Control-Allow-Methods", "GET, POST, PUT, DELETE");
  res.set_header("Access-Control-Expose-Headers", "Location");
  res.set_header("Vary", "Origin");
}

void HttpServer::Impl::writeLog(const httplib::Request& req, const httplib::Response& res) {
  std::string duration = "-";
  if (requestStart) {
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - *requestStart).count();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1fms", ms);
    duration = buffer;
    requestStart.reset();
  }
  std::lock_guard lock(logMutex);
  log << utcNow() << ' ' << req.method << ' ' << req.path << ' ' << res.status << ' ' << duration
      << '\n'
      << std::flush;
}

void HttpServer::Impl::route() {
  for (const PageAsset& asset : kPage) {
    server.Get(asset.path, [asset](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(embeddedAsset(asset.file)), asset.type);
    });
  }
  server.Get("/v1/openapi.json", [](const httplib::Request&, httplib::Response& res) {
    if (!answeredRefusal(res))
      res.set_content(std::string(embeddedAsset("openapi.json")), kJsonType);
  });
  server.Get(R"(/v1/coletas/([^/]+))", [this](const auto& req, auto& res) {
    if (req.get_header_value("Accept").find(kLinkedDataType) != std::string::npos) {
      std::string base = "http://" + req.get_header_value("Host") + "/logistics-objects/";
      answer(
          res, [&](Z418kt& c) { return resources.exportColeta(c, req.matches[1].str(), base); },
          kLinkedDataType);
    } else {
      answer(res, [&](Z418kt& c) { return resources.readColeta(c, req.matches[1].str()); });
    }
  });
  server.Post("/v1/coletas", [this](const auto& req, auto& res) {
    answer(res, [&](Z418kt& c) { return resources.createColeta(c, body(req)); });
  });
  server.Put(R"(/v1/coletas/([^/]+))", [this](const auto& req, auto& res) {
    answer(res,
           [&](Z418kt& c) { return resources.replaceColeta(c, req.matches[1].str(), body(req)); });
  });
  server.Delete(R"(/v1/coletas/([^/]+))", [this](const auto& req, auto& res) {
    answer(res, [&](Z418kt& c) { return resources.deleteColeta(c, req.matches[1].str()); });
  });
  server.Get(R"(/v1/pessoas/([^/]+))", [this](const auto& req, auto& res) {
    answer(res, [&](Z418kt& c) { return resources.readPessoa(c, req.matches[1].str()); });
  });
  server.Post(R"(/v1/operations/([^/]+))", [this](const auto& req, auto& res) {
    answer(res,
           [&](Z418kt& c) { return resources.callOperation(c, req.matches[1].str(), body(req)); });
  });
  // Coleta events: a Coleta's history and the webhook subscriptions.
  server.Get(R"(/v1/coletas/([^/]+)/eventos)", [this](const auto& req, auto& res) {
    answer(res, [&](Z418kt&) {
      return eventResources.history(req.matches[1].str(), req.get_param_value("depois"),
                                    req.get_param_value("limite"));
    });
  });
  server.Get("/v1/assinaturas", [this](const auto&, auto& res) {
    answer(res, [&](Z418kt&) { return eventResources.listSubscriptions(); });
  });
  server.Post("/v1/assinaturas", [this](const auto& req, auto& res) {
    answer(res, [&](Z418kt&) { return eventResources.addSubscription(body(req)); });
  });
  server.Delete(R"(/v1/assinaturas/([^/]+))", [this](const auto& req, auto& res) {
    answer(res, [&](Z418kt&) { return eventResources.removeSubscription(req.matches[1].str()); });
  });
  if (!options.corsOrigin.empty()) {
    server.Options(R"(/v1/.*)",
                   [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
  }
}

HttpServer::HttpServer(ServerOptions options, std::ostream& log)
    : impl_(std::make_unique<Impl>(std::move(options), log)) {}

HttpServer::~HttpServer() = default;

void HttpServer::bind() {
  const ServerOptions& o = impl_->options;
  if (o.token.empty()) throw std::runtime_error("no token configured");
  if (o.port == 0) {
    impl_->boundPort = impl_->server.bind_to_any_port(o.host);
  } else if (impl_->server.bind_to_port(o.host, o.port)) {
    impl_->boundPort = o.port;
  }
  if (impl_->boundPort <= 0)
    throw std::runtime_error("cannot listen on " + o.host + ":" + std::to_string(o.port));
  impl_->server.widenBacklog();
}

int HttpServer::port() const { return impl_->boundPort; }

void HttpServer::run() { impl_->server.listen_after_bind(); }

void HttpServer::stop() { impl_->server.stop(); }

}  // namespace z418kt::http
