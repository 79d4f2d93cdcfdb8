#include "http/resources.h"

#include <strings.h>

#include <limits>

#include "automation/connection_text.h"
#include "automation/number_text.h"
#include "export/one_record.h"
#include "export/resource_json.h"
#include "http/problem.h"
#include "json/request.h"
#include "record/failure_status.h"

namespace z418kt::http {

namespace {

using json::Json;

// Bodies are decoded with the same limits as every other request; their size
// is the server's own limit (--max-body), checked before they are decoded.
json::RequestLimits bodyLimits() {
  json::RequestLimits limits;
  limits.maxBytes = std::numeric_limits<size_t>::max();
  limits.maxDepth = 32;
  return limits;
}

[[noreturn]] void fail(int status, std::string detail, std::string field = {}, Json extra = {}) {
  throw ProblemError(Problem{status, std::move(detail), std::move(field), std::move(extra)});
}

std::string coletaNotFound(std::string_view id) {
  return "Coleta " + std::string(id) + " não encontrada.";
}

std::string pessoaNotFound(std::string_view id) {
  return "Nenhuma pessoa no endereço " + std::string(id) + ".";
}

// A resource id of the path: 1 to 2^31-1, anything else names no resource
// (the message is made only then: this is on every request's path).
int32_t pathId(std::string_view text, std::string (*notFound)(std::string_view)) {
  auto id = numtext::parseInteger(text);
  if (!id || *id <= 0 || *id > std::numeric_limits<int32_t>::max() || text[0] == '+' ||
      text[0] == '-')
    fail(404, notFound(text));
  return static_cast<int32_t>(*id);
}

// Every field error as a problem: the first is the detail, all are in erros.
[[noreturn]] void failWithErrors(int status, const std::vector<FieldError>& errors,
                                 Json extra = Json::object()) {
  extra["erros"] = resource::errorsJson(errors);
  fail(status, errors.front().mensagem, errors.front().campo, std::move(extra));
}

// What the front door answered, as a problem when it is not Done.
template <class T>
T done(Result<T> r, Json extra = Json::object()) {
  switch (r.status) {
    case Status::Done:
      return std::move(r.value);
    case Status::NotFound:
      fail(404, r.message);
    case Status::Refused: {
      std::vector<FieldError> errors = r.errors;
      if (errors.empty()) errors.push_back({"", r.message});
      for (FieldError& e : errors)
        if (e.mensagem.empty()) e.mensagem = "A operação recusou o pedido sem mensagem.";
      failWithErrors(422, errors, std::move(extra));
    }
    case Status::Conflict:
      fail(409, r.message);
    case Status::Unavailable:
      fail(503, r.message);
    case Status::Failed:
      break;
  }
  fail(500, r.message);
}

Coleta coletaBody(const Json& body) {
  try {
    return resource::coletaFromJson(body);
  } catch (const resource::BodyError& e) {
    failWithErrors(400, e.errors);
  }
}

// A query parameter that must be a whole number in [low, high].
std::optional<int64_t> queryWhole(const Query& query, const char* name, int64_t low, int64_t high) {
  auto it = query.find(name);
  if (it == query.end() || it->second.empty()) return std::nullopt;
  auto n = numtext::parseInteger(it->second);
  if (!n || *n < low || *n > high)
    fail(400,
         "O parâmetro " + std::string(name) + " deve ser um número inteiro de " +
             numtext::integerText(low) + " a " + numtext::integerText(high) + ".",
         name);
  return n;
}

std::string queryText(const Query& query, const char* name) {
  auto it = query.find(name);
  return it == query.end() ? std::string() : it->second;
}

}  // namespace

Json parseBody(const std::string& text) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) fail(400, "O corpo está vazio.");
  try {
    return json::parseRequestText(text, bodyLimits());
  } catch (const json::RequestError& e) {
    switch (e.number) {
      case json::kNestingTooDeep:
        fail(400, "O corpo aninha mais de " + std::to_string(bodyLimits().maxDepth) + " níveis.");
      case json::kTooManyElements:
      case json::kTooManyMatrixRows:
        fail(413, e.description);
      default:
        fail(400, "O corpo não é JSON válido.");
    }
  }
}

Answer Resources::readColeta(Z418kt& component, std::string_view idText) const {
  int32_t id = pathId(idText, coletaNotFound);
  Answer answer;
  answer.text = resource::coletaText(done(FrontDoor(component, context_).get(id)));
  return answer;
}

Answer Resources::exportColeta(Z418kt& component, std::string_view idText,
                               const std::string& base) const {
  int32_t id = pathId(idText, coletaNotFound);
  auto normalized = onerecord::normalizedBase(base);
  if (!normalized) fail(400, "O endereço do servidor não serve de base para identificadores.");
  std::string document =
      done(onerecord::exportColeta(FrontDoor(component, context_), id, *normalized));
  return {200, Json::parse(document), {}, {}, {}};
}

Answer Resources::answerSaved(Result<Coleta> saved, bool created) const {
  // A new Coleta whose header was stored before a later step failed keeps
  // it: the answer says under which id, so the client saves it again there.
  Json extra = Json::object();
  if (created && !saved.ok() && saved.storedId > 0) extra["id"] = saved.storedId;
  bool replayed = saved.replayed;
  Coleta c = done(std::move(saved), std::move(extra));
  Answer answer;
  answer.status = created ? 201 : 200;
  answer.text = resource::coletaText(c);
  if (created) answer.location = "/v1/coletas/" + numtext::integerText(c.id);
  if (replayed) answer.headers.emplace_back("Idempotency-Replayed", "true");
  return answer;
}

Answer Resources::createColeta(Z418kt& component, const Json& body,
                               const std::string& idempotencyKey) const {
  Coleta coleta = coletaBody(body);
  return answerSaved(FrontDoor(component, context_).create(coleta, idempotencyKey), true);
}

Answer Resources::replaceColeta(Z418kt& component, std::string_view idText,
                                const Json& body) const {
  int32_t id = pathId(idText, coletaNotFound);
  Coleta coleta = coletaBody(body);
  return answerSaved(FrontDoor(component, context_).update(id, coleta), false);
}

Answer Resources::deleteColeta(Z418kt& component, std::string_view idText) const {
  int32_t id = pathId(idText, coletaNotFound);
  done(FrontDoor(component, context_).remove(id));
  return {204, nullptr, {}, {}, {}};
}

Answer Resources::listColetas(Z418kt& component, const Query& query) const {
  constexpr int64_t kMaxId = std::numeric_limits<int32_t>::max();
  ColetaFilter f;
  f.cliente_id = queryWhole(query, "cliente_id", 1, kMaxId);
  f.remetente_id = queryWhole(query, "remetente_id", 1, kMaxId);
  f.destinatario_id = queryWhole(query, "destinatario_id", 1, kMaxId);
  f.desde = queryText(query, "desde");
  f.ate = queryText(query, "ate");
  f.limite = static_cast<int32_t>(queryWhole(query, "limite", 1, kMaxPage).value_or(f.limite));
  f.cursor = queryText(query, "cursor");
  auto r = FrontDoor(component, context_).list(f);
  if (r.status == Status::Refused) failWithErrors(400, r.errors);
  return {200, resource::coletaPageJson(done(std::move(r))), {}, {}, {}};
}

Answer Resources::searchPessoas(Z418kt& component, const Query& query) const {
  PessoaQuery q;
  q.q = queryText(query, "q");
  q.limite = static_cast<int32_t>(queryWhole(query, "limite", 1, kMaxPage).value_or(q.limite));
  q.cursor = queryText(query, "cursor");
  auto r = FrontDoor(component, context_).search(q);
  if (r.status == Status::Refused) failWithErrors(400, r.errors);
  return {200, resource::pessoaPageJson(done(std::move(r))), {}, {}, {}};
}

Answer Resources::readPessoa(Z418kt& component, std::string_view idText) const {
  int32_t id = pathId(idText, pessoaNotFound);
  return {200, resource::pessoaJson(done(FrontDoor(component, context_).pessoa(id))), {}, {}, {}};
}

namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The server's connection text and dialect replace whatever the client gave.
void useServerContext(const InterfaceEntry& entry, const CallContext& context, Json& args) {
  constexpr size_t kConnection = 0, kDatabaseKind = 3;
  if (args.is_null()) args = Json::object();
  if (args.is_array()) {
    if (args.size() > kConnection) args[kConnection] = context.connection;
    if (args.size() > kDatabaseKind) args[kDatabaseKind] = context.databaseKind;
    return;
  }
  if (!args.is_object())
    fail(400, "Os argumentos devem ser uma lista ou um objeto por nome de parâmetro.", "args");
  Json own = Json::object();
  for (auto& [key, value] : args.items())
    if (!sameName(key, entry.parameters[kConnection]) &&
        !sameName(key, entry.parameters[kDatabaseKind]))
      own[key] = value;
  own[std::string(entry.parameters[kConnection])] = context.connection;
  own[std::string(entry.parameters[kDatabaseKind])] = context.databaseKind;
  args = std::move(own);
}

// What of the connection text a diagnostic message may quote: the file, the
// host, the user, the password. Driver names are not secrets (nor long enough
// to be told apart from ordinary words).
std::vector<std::string> secretsOf(const std::string& connection) {
  std::vector<std::string> secrets = {connection};
  data::ConnectionText text(connection);
  for (const char* key : {"Data Source", "Server", "Servername", "Host", "Hostaddr", "Uid",
                          "User ID", "User", "Pwd", "Password", "Dbq", "DSN"})
    if (auto value = text.get(key); value && value->size() >= 3) secrets.push_back(*value);
  return secrets;
}

// Replaces every secret in every text of `json`, keys included.
void maskSecrets(Json& json, const std::vector<std::string>& secrets) {
  if (json.is_string()) {
    std::string& text = json.get_ref<std::string&>();
    for (const std::string& secret : secrets)
      for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
        text.replace(at, secret.size(), "***");
  } else if (json.is_structured()) {
    for (Json& item : json) maskSecrets(item, secrets);
  }
}

bool answeredSuccess(const Json& answer) {
  const Json& result = answer["result"];
  const Json& value = result.contains("value") ? result["value"] : Json();
  if (result.value("vt", "") == "BOOL") return value == true;
  return value == 0;
}

}  // namespace

Answer Resources::callOperation(Z418kt& component, std::string_view name, const Json& body) const {
  const InterfaceEntry* entry = findOperation(name);
  if (!entry) fail(404, "Operação desconhecida: " + std::string(name) + ".");
  Json args = body.is_object() && body.contains("args") ? body["args"] : body;
  useServerContext(*entry, context_, args);
  record::FailureWatch watch;
  Json answer = json::answerCall(component, Json(std::string(name)), args, bodyLimits());
  // With diagnostics asked for (user id 1), messages may quote the database.
  maskSecrets(answer, secretsOf(context_.connection));
  if (json::isErrorAnswer(answer)) {
    const Json& error = answer["error"];
    fail(400, error.value("description", ""), {}, {{"error", error}});
  }
  Json& typedArgs = answer["args"];
  typedArgs.erase(std::string(entry->parameters[0]));
  if (!answeredSuccess(answer)) {
    const Json msgRet = typedArgs.value("outvntMsg_Ret", Json::object());
    Json text = msgRet.is_object() ? msgRet.value("value", Json()) : Json();
    std::string message = text.is_string() ? text.get<std::string>() : "";
    Status status = watch.status();
    if (status == Status::Refused && message.empty())
      message = "A operação recusou o pedido sem mensagem.";
    fail(status == Status::Refused       ? 422
         : status == Status::Unavailable ? 503
                                         : 500,
         message, {}, {{"answer", answer}});
  }
  return {200, std::move(answer), {}, {}, {}};
}

}  // namespace z418kt::http
