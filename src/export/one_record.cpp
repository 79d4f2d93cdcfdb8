// Mapping choices, all within ONE Record 3.2 (terms in one_record_terms.txt):
// - Units: "unit" takes MeasurementUnitCode members, named by UNECE
//   Recommendation 20 codes: KGM (kilogram) for weights, MTR (metre) for the
//   piece dimensions. The code list is open; each unit is written as a typed
//   node with its code, as the ontology asks for a code it may not list.
// - Money: "currencyUnit" takes CurrencyCode members, ISO 4217 codes: BRL,
//   the currency every value of this system is kept in.
// - Party roles: "partyRole" takes ParticipantIdentifier members (cXML code
//   list 1.36): SHP for the shipper (the sender address) and CNE for the
//   consignee (the receiver address). The list has no member for the customer
//   who orders the pickup; being open, it gets a node of that type that says
//   so in its description rather than a made-up code.
// - A Coleta carries no air waybill of its own. When air waybills were issued
//   against it, the shipment gets an ExternalReference of documentType "740"
//   (UN/EDIFACT 1001: air waybill) and the read's warning as its
//   textualHandlingInstructions: the Coleta must no longer be changed.
// - Numbers are the exact decimals the read answers, written as JSON numbers;
//   "numericalValue" is typed xsd:double in the context, as its range is.
#include "export/one_record.h"

#include <nlohmann/json.hpp>

namespace z418kt::onerecord {

namespace {

using Json = nlohmann::ordered_json;
using ColetaRecord = Coleta;
using PartyRecord = Pessoa;

constexpr const char* kCargo = "https://onerecord.iata.org/ns/cargo#";
constexpr const char* kCodes = "https://onerecord.iata.org/ns/code-lists/";
constexpr const char* kAirWaybillDocument = "740";

Json context() {
  return {{"@vocab", kCargo},
          {"cargo", kCargo},
          {"codes", kCodes},
          {"xsd", "http://www.w3.org/2001/XMLSchema#"},
          {"numericalValue", {{"@type", "xsd:double"}}}};
}

Json codeNode(const std::string& list, const std::string& code, const std::string& description) {
  return {{"@id", std::string(kCodes) + list + "#" + code},
          {"@type", "codes:" + list},
          {"code", code},
          {"codeDescription", description}};
}

Json number(const Decimal& d) { return d.toDouble(); }

Json measure(const Decimal& d, const Json& unit) {
  return {{"@type", "Value"}, {"numericalValue", number(d)}, {"unit", unit}};
}

Json kilograms() { return codeNode("MeasurementUnitCode", "KGM", "Kilogram"); }
Json metres() { return codeNode("MeasurementUnitCode", "MTR", "Metre"); }

Json dimensions(const Peca& p) {
  Json d = {{"@type", "Dimensions"}};
  if (p.largura_m) d["width"] = measure(*p.largura_m, metres());
  if (p.altura_m) d["height"] = measure(*p.altura_m, metres());
  if (p.comprimento_m) d["length"] = measure(*p.comprimento_m, metres());
  return d;
}

void putText(Json& node, const char* property, const std::string& text) {
  if (!text.empty()) node[property] = text;
}

Json address(const PartyRecord& p) {
  Json a = {{"@type", "Address"}};
  putText(a, "streetAddressLines", p.endereco);
  putText(a, "cityName", p.municipio);
  if (!p.cod_municipio_iata.empty())
    a["cityCode"] = {{"@type", "CodeListElement"},
                     {"code", p.cod_municipio_iata},
                     {"codeListName", "IATA city code"}};
  putText(a, "textualPostCode", p.cep);
  return a;
}

Json identifier(const std::string& type, const std::string& value) {
  return {{"@type", "OtherIdentifier"}, {"otherIdentifierType", type}, {"textualValue", value}};
}

std::string agentId(const std::string& base, int64_t pessoaId) {
  return base + "pessoas/" + std::to_string(pessoaId);
}

// A person's name split at its first blank; the two parts joined with one
// blank give the name back.
void putPersonName(Json& node, const std::string& name) {
  auto blank = name.find(' ');
  if (blank == std::string::npos) {
    putText(node, "firstName", name);
    return;
  }
  node["firstName"] = name.substr(0, blank);
  node["lastName"] = name.substr(blank + 1);
}

Json agent(const PartyRecord& p, const std::string& base) {
  const bool person = p.tipo == "PF";
  Json a = Json::object();
  if (p.pessoa_id) a["@id"] = agentId(base, *p.pessoa_id);
  a["@type"] = person ? "Person" : "Organization";
  if (person) {
    putPersonName(a, p.nome);
  } else {
    putText(a, "name", p.nome);
    putText(a, "shortName", p.nome_fantasia);
  }
  a["basedAtLocation"] = {{"@type", "Location"}, {"address", address(p)}};
  return a;
}

Json party(const Json& role, const std::optional<PartyRecord>& p, const std::string& base) {
  Json node = {{"@type", "Party"}, {"partyRole", role}};
  if (!p) return node;
  node["partyDetails"] = agent(*p, base);
  const bool person = p->tipo == "PF";
  Json ids = Json::array();
  if (!p->cpf_cnpj.empty()) ids.push_back(identifier(person ? "CPF" : "CNPJ", p->cpf_cnpj));
  if (!p->ie_rg.empty()) ids.push_back(identifier(person ? "RG" : "Inscrição Estadual", p->ie_rg));
  if (!ids.empty()) node["otherIdentifiers"] = ids;
  return node;
}

bool samePerson(const std::optional<PartyRecord>& p, int64_t pessoaId) {
  return p && p->pessoa_id == pessoaId;
}

Json customer(const ColetaRecord& c, const std::optional<PartyRecord>& sender,
              const std::optional<PartyRecord>& addressee, const std::optional<PartyRecord>& own,
              const std::string& base) {
  Json role = {{"@type", "codes:ParticipantIdentifier"},
               {"codeDescription", "Customer who ordered the pickup"}};
  if (!c.cliente_id) return {{"@type", "Party"}, {"partyRole", role}};
  // The customer is often the sender or the addressee: the same agent, whose
  // details that party already gives.
  if (!samePerson(sender, *c.cliente_id) && !samePerson(addressee, *c.cliente_id)) {
    if (own && own->pessoa_id == *c.cliente_id) return party(role, own, base);
    Json details = {{"@id", agentId(base, *c.cliente_id)}, {"@type", "Organization"}};
    putText(details, "shortName", c.cliente);
    return {{"@type", "Party"}, {"partyRole", role}, {"partyDetails", details}};
  }
  return {{"@type", "Party"},
          {"partyRole", role},
          {"partyDetails", {{"@id", agentId(base, *c.cliente_id)}}}};
}

}  // namespace

std::optional<std::string> normalizedBase(std::string_view base) {
  auto letter = [](char ch) { return (ch | 0x20) >= 'a' && (ch | 0x20) <= 'z'; };
  auto colon = base.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == base.size() || !letter(base[0]))
    return std::nullopt;
  for (char ch : base.substr(0, colon))
    if (!letter(ch) && !(ch >= '0' && ch <= '9') && ch != '+' && ch != '-' && ch != '.')
      return std::nullopt;
  for (unsigned char ch : base)
    if (ch <= ' ' || ch == '"' || ch == '<' || ch == '>' || ch == '\\' || ch == 0x7f)
      return std::nullopt;
  std::string out(base);
  if (out.back() != '/' && out.back() != '#') out += '/';
  return out;
}

std::string shipmentDocument(const ColetaRecord& c, const std::optional<PartyRecord>& sender,
                             const std::optional<PartyRecord>& addressee, const std::string& base,
                             const std::optional<PartyRecord>& customerParty) {
  const std::string shipmentId = base + "coletas/" + std::to_string(c.id);
  Json doc = {{"@context", context()}, {"@id", shipmentId}, {"@type", "Shipment"}};
  putText(doc, "goodsDescription", c.embalagem);
  if (c.peso_kg) doc["totalGrossWeight"] = measure(*c.peso_kg, kilograms());
  if (c.valor_declarado)
    doc["declaredValueForCarriage"] = {
        {"@type", "CurrencyValue"},
        {"numericalValue", number(*c.valor_declarado)},
        {"currencyUnit", codeNode("CurrencyCode", "BRL", "Brazilian Real")}};

  Json pieces = Json::array();
  for (const Peca& p : c.pecas) {
    Json piece = {{"@id", base + "cargas/" + std::to_string(p.id)},
                  {"@type", "Piece"},
                  {"ofShipment", {{"@id", shipmentId}}}};
    if (p.volumes) piece["slac"] = *p.volumes;
    piece["dimensions"] = dimensions(p);
    pieces.push_back(std::move(piece));
  }
  doc["pieces"] = pieces;

  doc["involvedParties"] = {
      customer(c, sender, addressee, customerParty, base),
      party(codeNode("ParticipantIdentifier", "SHP", "Shipper"), sender, base),
      party(codeNode("ParticipantIdentifier", "CNE", "Consignee"), addressee, base)};

  if (c.aviso) {
    doc["textualHandlingInstructions"] = *c.aviso;
    doc["externalReferences"] = {{{"@id", shipmentId + "/awbs"},
                                  {"@type", "ExternalReference"},
                                  {"documentType", kAirWaybillDocument},
                                  {"documentName", "Air Waybill"},
                                  {"referenceForObjects", {{"@id", shipmentId}}}}};
  }
  // Text stored in another encoding must not stop the export: bytes that
  // are no UTF-8 become U+FFFD.
  return doc.dump(2, ' ', false, Json::error_handler_t::replace);
}

Result<std::string> exportColeta(const FrontDoor& door, int64_t id, const std::string& base) {
  Result<std::string> out;
  Result<Coleta> coleta = door.get(id);
  out.status = coleta.status;
  out.message = coleta.message;
  out.errors = coleta.errors;
  if (!coleta.ok()) return out;

  // A party the lookup does not find is left without details; a lookup that
  // fails fails the export, which must not hide a party it could not read.
  std::optional<Pessoa> parties[2];
  const std::optional<int64_t> addressIds[2] = {coleta.value.remetente_id,
                                                coleta.value.destinatario_id};
  for (int k = 0; k < 2; ++k) {
    if (!addressIds[k]) continue;
    Result<Pessoa> p = door.pessoa(*addressIds[k]);
    if (p.status == Status::NotFound) continue;
    if (!p.ok()) {
      out.status = p.status;
      out.message = p.message;
      out.errors = p.errors;
      return out;
    }
    parties[k] = std::move(p.value);
  }
  std::optional<Pessoa> customerParty;
  const std::optional<int64_t>& cliente = coleta.value.cliente_id;
  auto known = [&](const std::optional<Pessoa>& p) { return p && p->pessoa_id == cliente; };
  if (cliente && !known(parties[0]) && !known(parties[1])) {
    Result<Pessoa> p = door.cliente(*cliente);
    if (!p.ok() && p.status != Status::NotFound) {
      out.status = p.status;
      out.message = p.message;
      return out;
    }
    if (p.ok()) customerParty = std::move(p.value);
  }
  out.value = shipmentDocument(coleta.value, parties[0], parties[1], base, customerParty);
  return out;
}

}  // namespace z418kt::onerecord
