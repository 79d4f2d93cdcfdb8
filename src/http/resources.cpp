#include "http/resources.h"

#include <strings.h>

#include <charconv>
#include <limits>

#include "data/connection_text.h"
#include "export/one_record.h"
#include "http/problem.h"
#include "json/request.h"
#include "kit/trap.h"
#include "record/coleta_record.h"
#include "record/party_record.h"

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

// A resource id of the path: 1 to 2^31-1, anything else names no resource.
int32_t pathId(std::string_view text, const char* what) {
  int32_t id = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size() || id <= 0)
    fail(404, std::string(what) + " " + std::string(text) + " não encontrada.");
  return id;
}

// The captions the operations' field checks name, and the body field of each.
struct CaptionField {
  std::string_view caption;
  const char* field;
};
constexpr CaptionField kCaptions[] = {
    {"Docto Transporte id", "id"},         {"Cliente", "cliente_id"},
    {"Remetente", "remetente_id"},         {"Destinatário", "destinatario_id"},
    {"Valor Dec.", "valor_declarado"},     {"Peso", "peso_kg"},
    {"Nº de Volumes", "volumes"},          {"Descrição da Mercadoria", "embalagem"},
    {"Endereco_Pessoa_id", "endereco_id"},
};

std::string fieldNamedBy(const std::string& message) {
  for (const CaptionField& c : kCaptions)
    if (message.find(c.caption) != std::string::npos) return c.field;
  return {};
}

// A status 10 as a problem: the operations' run-time failure (their "try
// later" text) is 503, anything else a refusal, 422.
[[noreturn]] void refused(const std::string& message, Json extra = {}) {
  if (isTrapMessage(message)) fail(503, message, {}, std::move(extra));
  std::string detail = message.empty() ? "A operação recusou o pedido sem mensagem." : message;
  fail(422, detail, fieldNamedBy(message), std::move(extra));
}

// ----- records as JSON -----

Json decimalJson(const std::optional<record::Decimal>& value) {
  if (!value) return nullptr;
  return Json::parse(value->text(), nullptr, false);
}

template <class T>
Json optionalJson(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json coletaJson(const record::ColetaRecord& c) {
  Json pieces = Json::array();
  for (const record::PieceRecord& p : c.pecas)
    pieces.push_back({{"id", p.id},
                      {"largura_m", decimalJson(p.largura_m)},
                      {"altura_m", decimalJson(p.altura_m)},
                      {"comprimento_m", decimalJson(p.comprimento_m)},
                      {"volumes", optionalJson(p.volumes)}});
  Json j = {{"id", c.id},
            {"cliente_id", optionalJson(c.cliente_id)},
            {"cliente", c.cliente},
            {"remetente_id", optionalJson(c.remetente_id)},
            {"destinatario_id", optionalJson(c.destinatario_id)},
            {"volumes", optionalJson(c.volumes)},
            {"peso_kg", decimalJson(c.peso_kg)},
            {"valor_declarado", c.valor_declarado ? Json(c.valor_declarado->text()) : Json()},
            {"embalagem", c.embalagem},
            {"pecas", std::move(pieces)}};
  if (c.aviso && !c.aviso->empty()) j["aviso"] = *c.aviso;
  return j;
}

// ----- request bodies as records -----

[[noreturn]] void wrongType(const std::string& field, const char* expected) {
  fail(400, "O campo " + field + " deve ser " + expected + ".", field);
}

bool given(const Json& object, const char* field) {
  return object.contains(field) && !object[field].is_null();
}

std::optional<int64_t> wholeInput(const Json& object, const char* field, const std::string& at) {
  if (!given(object, field)) return std::nullopt;
  const Json& v = object[field];
  if (v.is_number_integer()) return v.get<int64_t>();
  // Beyond 64 bits: still a whole number, which the operations refuse as too large.
  if (v.is_number_unsigned()) return std::numeric_limits<int64_t>::max();
  wrongType(at + field, "um número inteiro");
}

std::optional<record::Decimal> decimalInput(const Json& object, const char* field,
                                            const std::string& at) {
  if (!given(object, field)) return std::nullopt;
  const Json& v = object[field];
  std::optional<record::Decimal> d;
  if (v.is_number_integer() || v.is_number_unsigned())
    d = record::Decimal::parse(v.dump());
  else if (v.is_number())
    d = record::Decimal::fromDouble(v.get<double>());
  if (!d) wrongType(at + field, "um número");
  return d;
}

std::optional<record::Decimal> moneyInput(const Json& object, const char* field) {
  if (!given(object, field)) return std::nullopt;
  const Json& v = object[field];
  if (!v.is_string()) wrongType(field, "um texto decimal, como \"1500.00\"");
  if (auto d = record::Decimal::parse(v.get<std::string>())) return d;
  fail(400, "O campo " + std::string(field) + " deve ser um texto decimal, como \"1500.00\".",
       field);
}

record::ColetaRecord coletaInput(const Json& body) {
  if (!body.is_object()) fail(400, "O corpo deve ser um objeto JSON com os campos da Coleta.");
  record::ColetaRecord c;
  c.cliente_id = wholeInput(body, "cliente_id", "");
  c.remetente_id = wholeInput(body, "remetente_id", "");
  c.destinatario_id = wholeInput(body, "destinatario_id", "");
  c.volumes = wholeInput(body, "volumes", "");
  c.peso_kg = decimalInput(body, "peso_kg", "");
  c.valor_declarado = moneyInput(body, "valor_declarado");
  if (given(body, "embalagem")) {
    if (!body["embalagem"].is_string()) wrongType("embalagem", "um texto");
    c.embalagem = body["embalagem"].get<std::string>();
  }
  if (!given(body, "pecas")) return c;
  if (!body["pecas"].is_array()) wrongType("pecas", "uma lista de peças");
  for (size_t r = 0; r < body["pecas"].size(); ++r) {
    const Json& p = body["pecas"][r];
    std::string at = "pecas[" + std::to_string(r) + "].";
    if (!p.is_object()) wrongType(at.substr(0, at.size() - 1), "um objeto");
    record::PieceRecord piece;
    piece.largura_m = decimalInput(p, "largura_m", at);
    piece.altura_m = decimalInput(p, "altura_m", at);
    piece.comprimento_m = decimalInput(p, "comprimento_m", at);
    piece.volumes = wholeInput(p, "volumes", at);
    for (const char* field : {"largura_m", "altura_m", "comprimento_m", "volumes"})
      if (!given(p, field)) fail(400, "Informe " + at + field + ".", at + field);
    c.pecas.push_back(std::move(piece));
  }
  return c;
}

// A read that did not find its record is 404; one that failed, a problem.
template <class T>
T found(record::ReadOutcome<T> outcome, const std::string& notFound) {
  if (outcome.status == record::ReadStatus::NotFound) fail(404, notFound);
  if (outcome.status == record::ReadStatus::Failed) refused(outcome.message);
  return std::move(outcome.value);
}

std::string missingColeta(int32_t id) {
  return "Coleta " + std::to_string(id) + " não encontrada.";
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
  int32_t id = pathId(idText, "Coleta");
  return {
      200, coletaJson(found(record::readColeta(component, context_, id), missingColeta(id))), {}};
}

Answer Resources::exportColeta(Z418kt& component, std::string_view idText,
                               const std::string& base) const {
  int32_t id = pathId(idText, "Coleta");
  auto normalized = onerecord::normalizedBase(base);
  if (!normalized) fail(400, "O endereço do servidor não serve de base para identificadores.");
  onerecord::ExportOutcome out = onerecord::exportColeta(component, context_, id, *normalized);
  if (out.status == record::ReadStatus::NotFound) fail(404, missingColeta(id));
  if (out.status == record::ReadStatus::Failed) refused(out.message);
  return {200, Json::parse(out.document), {}};
}

Answer Resources::save(Z418kt& component, int32_t id, const Json& body) const {
  record::ColetaRecord coleta = coletaInput(body);
  record::SaveOutcome saved = record::saveColeta(component, context_, coleta, id);
  if (!saved.saved) {
    // A new Coleta whose header was stored before a later step failed keeps
    // it: the answer says under which id, so the client saves it again there.
    refused(saved.message, id == 0 && saved.id > 0 ? Json{{"id", saved.id}} : Json{});
  }
  Answer answer = readColeta(component, std::to_string(saved.id));
  if (id == 0) {
    answer.status = 201;
    answer.location = "/v1/coletas/" + std::to_string(saved.id);
  }
  return answer;
}

Answer Resources::createColeta(Z418kt& component, const Json& body) const {
  return save(component, 0, body);
}

Answer Resources::replaceColeta(Z418kt& component, std::string_view idText,
                                const Json& body) const {
  int32_t id = pathId(idText, "Coleta");
  readColeta(component, idText);  // 404 before anything is written
  return save(component, id, body);
}

Answer Resources::deleteColeta(Z418kt& component, std::string_view idText) const {
  int32_t id = pathId(idText, "Coleta");
  readColeta(component, idText);  // the operations delete a missing Coleta without a word
  record::DeleteOutcome deleted = record::deleteColeta(component, context_, id);
  if (!deleted.deleted) refused(deleted.message);
  return {204, nullptr, {}};
}

Answer Resources::readPessoa(Z418kt& component, std::string_view idText) const {
  int32_t id = pathId(idText, "Pessoa do endereço");
  record::PartyRecord p = found(record::readParty(component, context_, id),
                                "Nenhuma pessoa no endereço " + std::to_string(id) + ".");
  Json j = {{"endereco_id", p.endereco_id},
            {"pessoa_id", optionalJson(p.pessoa_id)},
            {"tipo", p.tipo},
            {"nome", p.nome},
            {"nome_fantasia", p.nome_fantasia},
            {"cpf_cnpj", p.cgc_cpf},
            {"ie_rg", p.ie_rg},
            {"endereco", p.endereco},
            {"cep", p.cep},
            {"municipio", p.municipio},
            {"municipio_id", optionalJson(p.municipio_id)},
            {"cod_municipio_iata", p.cod_munic_iata}};
  return {200, std::move(j), {}};
}

namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The server's connection text and dialect replace whatever the client gave.
void useServerContext(const InterfaceEntry& entry, const json::CallContext& context, Json& args) {
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
    const Json& message = typedArgs.value("outvntMsg_Ret", Json::object());
    Json text = message.is_object() ? message.value("value", Json()) : Json();
    refused(text.is_string() ? text.get<std::string>() : "", {{"answer", answer}});
  }
  return {200, std::move(answer), {}};
}

}  // namespace z418kt::http
