#include "http/resources.h"

#include <strings.h>

#include <charconv>
#include <limits>

#include "kit/trap.h"
#include "http/problem.h"
#include "json/request.h"
#include "z418kt/safe_array.h"

namespace z418kt::http {

namespace {

using json::Json;
using json::Outcome;

constexpr int kMaxBodyDepth = 32;

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

void requireSuccess(const Outcome& outcome) {
  if (!outcome.succeeded()) refused(outcome.message());
}

// ----- operation outputs as JSON -----

// A number as exact decimal text with '.', or nothing for Empty and Null.
std::optional<std::string> decimalText(const Variant& value) {
  Variant v = vb::resolved(value);
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return std::nullopt;
    case VarType::Currency:
      return json::currencyText(v.currency());
    case VarType::BStr: {
      std::string t = vb::trim(v.text());
      for (char& c : t)
        if (c == ',') c = '.';
      double ignored;
      if (t.empty() || !vb::parseNumber(t, ignored)) return std::nullopt;
      return t;
    }
    default: {
      double d = vb::cdbl(v);
      char buffer[64];
      auto end = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed).ptr;
      return std::string(buffer, end);
    }
  }
}

Json numberJson(const Variant& value) {
  auto text = decimalText(value);
  if (!text) return nullptr;
  Json n = Json::parse(*text, nullptr, false);
  return n.is_number() ? n : Json(nullptr);
}

Json moneyJson(const Variant& value) {
  auto text = decimalText(value);
  return text ? Json(*text) : Json(nullptr);
}

Json textJson(const Variant& value) {
  Variant v = vb::resolved(value);
  if (v.isEmpty() || v.isNull()) return nullptr;
  return vb::cstr(v);
}

Json piecesJson(const Variant& matrix, const Variant& rowCount) {
  Json pieces = Json::array();
  if (!matrix.isArray() || matrix.array().dimensions() != 2) return pieces;
  const SafeArray& m = matrix.array();
  int32_t rows = std::min(vb::clng(rowCount), m.bounds()[1].count);
  if (m.bounds()[0].count < 5) return pieces;
  for (int32_t r = 0; r < rows; ++r) {
    auto cell = [&](int32_t column) { return m.at(m.lbound(1) + column, m.lbound(2) + r); };
    pieces.push_back({{"id", numberJson(cell(4))},
                      {"largura_m", numberJson(cell(1))},
                      {"altura_m", numberJson(cell(2))},
                      {"comprimento_m", numberJson(cell(3))},
                      {"volumes", numberJson(cell(0))}});
  }
  return pieces;
}

// A missing Coleta is a success that leaves every document output untouched.
bool documentFound(const Outcome& r) {
  for (const char* name : {"outvntcliente_id", "outvntEND_REMETENTE_ID", "outvntnum_volume",
                           "outvntpeso_real", "outvntval_declarado", "outvnttxt_embalagem"})
    if (!r.arg(name).isEmpty()) return true;
  return false;
}

Json coletaJson(int32_t id, const Outcome& r) {
  Json c = {{"id", id},
            {"cliente_id", numberJson(r.arg("outvntcliente_id"))},
            {"cliente", textJson(r.arg("outvntcliente"))},
            {"remetente_id", numberJson(r.arg("outvntEND_REMETENTE_ID"))},
            {"destinatario_id", numberJson(r.arg("outvntEND_DESTINATARIO_ID"))},
            {"volumes", numberJson(r.arg("outvntnum_volume"))},
            {"peso_kg", numberJson(r.arg("outvntpeso_real"))},
            {"valor_declarado", moneyJson(r.arg("outvntval_declarado"))},
            {"embalagem", textJson(r.arg("outvnttxt_embalagem"))},
            {"pecas", piecesJson(r.arg("outarrvntMatriz_DIM"), r.arg("outvntQtde_Linha"))}};
  Json warning = textJson(r.arg("outvntTexto"));
  if (warning.is_string() && !warning.get_ref<const std::string&>().empty()) c["aviso"] = warning;
  return c;
}

// ----- request bodies as operation inputs -----

[[noreturn]] void wrongType(const std::string& field, const char* expected) {
  fail(400, "O campo " + field + " deve ser " + expected + ".", field);
}

// A JSON number as the decimal text the operations read ("12.5").
std::string numberText(const Json& n) {
  if (n.is_number_integer() || n.is_number_unsigned()) return n.dump();
  char buffer[64];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, n.get<double>(),
                           std::chars_format::fixed)
                 .ptr;
  return std::string(buffer, end);
}

Variant integerInput(const Json& body, const std::string& field) {
  if (!body.contains(field) || body[field].is_null()) return {};
  const Json& v = body[field];
  if (!v.is_number_integer() && !v.is_number_unsigned()) wrongType(field, "um número inteiro");
  if (v.is_number_integer() && v.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
      v.get<int64_t>() <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int32_t>(v.get<int64_t>()));
  return Variant(v.dump());  // the operations' own check refuses it as too large
}

Variant numberInput(const Json& body, const std::string& field) {
  if (!body.contains(field) || body[field].is_null()) return {};
  if (!body[field].is_number()) wrongType(field, "um número");
  return Variant(numberText(body[field]));
}

Variant textInput(const Json& body, const std::string& field, const char* expected) {
  if (!body.contains(field) || body[field].is_null()) return {};
  if (!body[field].is_string()) wrongType(field, expected);
  return Variant(body[field].get<std::string>());
}

// The cargo matrix (column, row): volumes, width, height, length, cargo id.
Variant piecesInput(const Json& body, int32_t& rows) {
  rows = 0;
  if (!body.contains("pecas") || body["pecas"].is_null()) return {};
  const Json& pecas = body["pecas"];
  if (!pecas.is_array()) wrongType("pecas", "uma lista de peças");
  if (pecas.empty()) return {};
  rows = static_cast<int32_t>(pecas.size());
  SafeArray m = SafeArray::zeroBased(4, rows - 1);
  for (int32_t r = 0; r < rows; ++r) {
    const Json& p = pecas[static_cast<size_t>(r)];
    std::string at = "pecas[" + std::to_string(r) + "]";
    if (!p.is_object()) wrongType(at, "um objeto");
    const char* dimensions[] = {"largura_m", "altura_m", "comprimento_m"};
    for (int32_t k = 0; k < 3; ++k) {
      std::string field = at + "." + dimensions[k];
      if (!p.contains(dimensions[k]) || !p[dimensions[k]].is_number())
        wrongType(field, "um número");
      m.at(k + 1, r) = Variant(numberText(p[dimensions[k]]));
    }
    if (!p.contains("volumes") || !p["volumes"].is_number_integer())
      wrongType(at + ".volumes", "um número inteiro");
    m.at(0, r) = Variant(p["volumes"].dump());
  }
  return Variant(std::move(m));
}

}  // namespace

Json parseBody(const std::string& text) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) fail(400, "O corpo está vazio.");
  int deepest = 0;
  Json::parser_callback_t depthGuard = [&](int depth, Json::parse_event_t, Json&) {
    deepest = std::max(deepest, depth);
    return depth <= kMaxBodyDepth;
  };
  Json body = Json::parse(text, depthGuard, false);
  if (deepest > kMaxBodyDepth)
    fail(400, "O corpo aninha mais de " + std::to_string(kMaxBodyDepth) + " níveis.");
  if (body.is_discarded()) fail(400, "O corpo não é JSON válido.");
  return body;
}

Outcome Resources::call(Z418kt& component, std::string_view operation,
                        json::NamedArgs args) const {
  try {
    return json::callOperation(component, context_, operation, std::move(args));
  } catch (const AutomationError& e) {
    fail(500, e.description);
  }
}

Answer Resources::readColeta(Z418kt& component, std::string_view idText) const {
  int32_t id = pathId(idText, "Coleta");
  Outcome r = call(component, "gConsulta_Coleta", {{"invntDOCTO_TRANSPORTE_ID", Variant(id)}});
  requireSuccess(r);
  if (!documentFound(r)) fail(404, "Coleta " + std::to_string(id) + " não encontrada.");
  return {200, coletaJson(id, r), {}};
}

Answer Resources::save(Z418kt& component, int32_t id, const Json& body) const {
  if (!body.is_object()) fail(400, "O corpo deve ser um objeto JSON com os campos da Coleta.");
  int32_t rows = 0;
  Variant matrix = piecesInput(body, rows);
  Outcome r = call(component, "gGrava_Coleta",
                   {{"INVNTCLIENTE_ID", integerInput(body, "cliente_id")},
                    {"invntEND_DESTINATARIO_ID", integerInput(body, "destinatario_id")},
                    {"invntEND_REMETENTE_ID", integerInput(body, "remetente_id")},
                    {"invntnum_volume", integerInput(body, "volumes")},
                    {"invntpeso_real", numberInput(body, "peso_kg")},
                    {"invnttxt_embalagem", textInput(body, "embalagem", "um texto")},
                    {"invntval_declarado",
                     textInput(body, "valor_declarado", "um texto decimal, como \"1500.00\"")},
                    {"invntQtde_Linha", Variant(rows)},
                    {"invntQtde_Coluna", Variant(int32_t{5})},
                    {"inarrvntMatriz_Dim", std::move(matrix)},
                    {"iovntDOCTO_TRANSPORTE_ID", Variant(id)}});
  int32_t stored = id;
  try {
    stored = vb::clng(r.arg("iovntDOCTO_TRANSPORTE_ID"));
  } catch (const AutomationError&) {
  }
  if (!r.succeeded()) {
    // A new Coleta whose header was stored before a later step failed keeps
    // it: the answer says under which id.
    refused(r.message(), id == 0 && stored > 0 ? Json{{"id", stored}} : Json{});
  }
  Answer answer = readColeta(component, std::to_string(stored));
  if (id == 0) {
    answer.status = 201;
    answer.location = "/v1/coletas/" + std::to_string(stored);
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
  readColeta(component, idText);
  requireSuccess(call(component, "gExclui_Coleta", {{"invntDOCTO_TRANSPORTE_ID", Variant(id)}}));
  return {204, nullptr, {}};
}

Answer Resources::readPessoa(Z418kt& component, std::string_view idText) const {
  int32_t id = pathId(idText, "Pessoa do endereço");
  Outcome r = call(component, "gConsulta_Dados_Pessoa", {{"invntENDERECO_PESSOA_ID", Variant(id)}});
  requireSuccess(r);
  if (r.arg("outvntPessoa_id").isEmpty())
    fail(404, "Nenhuma pessoa no endereço " + std::to_string(id) + ".");
  Json p = {{"endereco_id", id},
            {"pessoa_id", numberJson(r.arg("outvntPessoa_id"))},
            {"tipo", textJson(r.arg("outvntIndic_PF_PJ"))},
            {"nome", textJson(r.arg("outvntNome"))},
            {"nome_fantasia", textJson(r.arg("outvntNome_Fantasia"))},
            {"cpf_cnpj", textJson(r.arg("outvntCGC_CPF"))},
            {"ie_rg", textJson(r.arg("outvntIE_RG"))},
            {"endereco", textJson(r.arg("outvntendereco"))},
            {"cep", textJson(r.arg("outvntcep"))},
            {"municipio", textJson(r.arg("outvntmunicipio"))},
            {"municipio_id", numberJson(r.arg("outvntMUNICIPIO_ID"))},
            {"cod_municipio_iata", textJson(r.arg("outvntcod_munic_iata"))}};
  return {200, std::move(p), {}};
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
  Json answer = json::answerCall(component, Json(std::string(name)), args);
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
