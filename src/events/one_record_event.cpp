#include "events/one_record_event.h"

namespace z418kt::events {

namespace {

// The event's kind in words, for people reading the event.
std::string description(const std::string& kind) {
  if (kind == kCreated) return "Coleta criada";
  if (kind == kDeleted) return "Coleta excluída";
  if (kind == kPiecesReplaced) return "Cargas da Coleta substituídas";
  return "Coleta alterada";
}

}  // namespace

std::string logisticsEventDocument(const Event& event, const std::string& base) {
  std::string root = base;
  if (!root.empty() && root.back() != '/' && root.back() != '#') root += '/';
  const std::string shipment = root + "coletas/" + std::to_string(event.coletaId);
  const std::string kind = event.kind();
  Json doc;
  doc["@context"] = {{"cargo", "https://onerecord.iata.org/ns/cargo#"},
                     {"xsd", "http://www.w3.org/2001/XMLSchema#"}};
  doc["@id"] = shipment + "/logistics-events/" + std::to_string(event.id);
  doc["@type"] = "cargo:LogisticsEvent";
  doc["cargo:eventFor"] = {{"@id", shipment}, {"@type", "cargo:Shipment"}};
  doc["cargo:eventCode"] = {{"@type", "cargo:CodeListElement"},
                            {"cargo:code", kind},
                            {"cargo:codeListName", "z418kt-coleta"},
                            {"cargo:codeDescription", description(kind)}};
  doc["cargo:eventName"] = description(kind);
  doc["cargo:eventDate"] = {{"@type", "xsd:dateTime"}, {"@value", event.time}};
  doc["cargo:creationDate"] = {{"@type", "xsd:dateTime"}, {"@value", event.time}};
  return doc.dump();
}

}  // namespace z418kt::events
