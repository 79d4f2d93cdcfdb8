#include "http/event_resources.h"

#include <charconv>
#include <map>
#include <memory>
#include <optional>

#include "events/event_store.h"
#include "http/problem.h"

namespace z418kt::http {

using json::Json;

namespace {

[[noreturn]] void fail(int status, std::string detail, std::string field = {}) {
  throw ProblemError(Problem{status, std::move(detail), std::move(field), {}});
}

std::optional<int64_t> whole(std::string_view text, int64_t min, int64_t max) {
  int64_t n = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || n < min ||
      n > max)
    return std::nullopt;
  return n;
}

// Runs `body` on this thread's store for `connection`; a store that fails is
// dropped (the next request opens a new session) and answers 503.
template <class Body>
Answer withStore(const std::string& connection, Body&& body) {
  thread_local std::map<std::string, std::unique_ptr<events::EventStore>> stores;
  auto& store = stores[connection];
  try {
    if (!store) store = std::make_unique<events::EventStore>(connection);
    return body(*store);
  } catch (const events::StoreError& e) {
    store.reset();
    fail(503, std::string("O histórico de eventos não está disponível agora: ") + e.what());
  }
}

}  // namespace

Answer EventResources::history(std::string_view id, std::string_view after,
                               std::string_view limit) const {
  auto coleta = whole(id, 1, 2147483647);
  if (!coleta) fail(404, "Coleta " + std::string(id) + " não encontrada.");
  auto from = after.empty() ? std::optional<int64_t>(0) : whole(after, 0, INT64_MAX);
  if (!from) fail(400, "depois deve ser um número inteiro a partir de 0.", "depois");
  auto most = limit.empty() ? std::optional<int64_t>(1000) : whole(limit, 1, 100000);
  if (!most) fail(400, "limite deve ser um número inteiro de 1 a 100000.", "limite");
  return withStore(connection_, [&](events::EventStore& store) {
    Json out = Json::array();
    for (const auto& e : store.history(*coleta, *from, static_cast<int32_t>(*most)))
      out.push_back(e.toJson());
    return Answer{200, out, {}, {}, {}};
  });
}

Answer EventResources::listSubscriptions() const {
  return withStore(connection_, [&](events::EventStore& store) {
    Json out = Json::array();
    for (const auto& s : store.list()) out.push_back(s.toJson());
    return Answer{200, out, {}, {}, {}};
  });
}

Answer EventResources::addSubscription(const json::Json& body) const {
  if (!body.is_object()) fail(400, "O corpo deve ser um objeto JSON.");
  events::SubscriptionInput input;
  const Json none;
  const Json& url = body.contains("url") ? body["url"] : none;
  if (!url.is_string()) fail(422, "Informe a url da assinatura (http:// ou https://).", "url");
  input.url = url.get<std::string>();
  if (body.contains("tipos") && !body["tipos"].is_null()) {
    if (!body["tipos"].is_array())
      fail(422, "tipos deve ser uma lista de tipos de evento.", "tipos");
    for (const Json& k : body["tipos"]) {
      if (!k.is_string()) fail(422, "tipos deve ser uma lista de tipos de evento.", "tipos");
      input.kinds.push_back(k.get<std::string>());
    }
  }
  if (body.contains("cliente_id") && !body["cliente_id"].is_null()) {
    if (!body["cliente_id"].is_number_integer())
      fail(422, "cliente_id deve ser um número inteiro.", "cliente_id");
    input.clientId = body["cliente_id"].get<int64_t>();
  }
  if (body.contains("formato") && !body["formato"].is_null()) {
    if (!body["formato"].is_string()) fail(422, "formato deve ser json ou one-record.", "formato");
    input.format = body["formato"].get<std::string>();
  }
  std::string problem = events::checkSubscription(input);
  if (!problem.empty()) {
    std::string field = problem.find("URL") != std::string::npos       ? "url"
                        : problem.find("Tipo") != std::string::npos    ? "tipos"
                        : problem.find("cliente") != std::string::npos ? "cliente_id"
                                                                       : "formato";
    fail(422, problem, field);
  }
  return withStore(connection_, [&](events::EventStore& store) {
    events::Subscription s = store.add(input);
    return Answer{201, s.toJson(), "/v1/assinaturas/" + std::to_string(s.id), {}, {}};
  });
}

Answer EventResources::removeSubscription(std::string_view id) const {
  auto key = whole(id, 1, INT64_MAX);
  if (!key) fail(404, "Assinatura " + std::string(id) + " não encontrada.");
  return withStore(connection_, [&](events::EventStore& store) {
    if (!store.remove(*key)) fail(404, "Assinatura " + std::string(id) + " não encontrada.");
    return Answer{204, {}, {}, {}, {}};
  });
}

}  // namespace z418kt::http
