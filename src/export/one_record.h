// A Coleta as a ONE Record shipment: the JSON-LD document an airline's or a
// forwarder's platform takes without a mapping of its own.
//
// The Coleta and its parties are read through the operations (src/record/),
// so the export shows exactly what gConsulta_Coleta and
// gConsulta_Dados_Pessoa answer. Every class and property used is listed,
// with the ontology version it was checked against, in one_record_terms.txt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "json/named_call.h"
#include "record/coleta_record.h"
#include "record/party_record.h"
#include "z418kt/z418kt.h"

namespace z418kt::onerecord {

inline constexpr const char* kDefaultBase = "http://localhost:8080/logistics-objects/";

// The base as the identifiers are built from it (a '/' added when it ends in
// neither '/' nor '#'), or nothing when it is no absolute IRI (scheme, no
// blanks, quotes or angle brackets).
std::optional<std::string> normalizedBase(std::string_view base);

// The shipment document of a Coleta read, its sender's and its addressee's
// party lookups (absent when the lookup found no party), under `base`.
std::string shipmentDocument(const record::ColetaRecord& coleta,
                             const std::optional<record::PartyRecord>& sender,
                             const std::optional<record::PartyRecord>& addressee,
                             const std::string& base);

struct ExportOutcome {
  record::ReadStatus status = record::ReadStatus::Failed;
  std::string document;  // when Found
  std::string message;   // the operations' message when Failed
};

// Reads the Coleta and its two parties and maps them. A missing Coleta is
// NotFound, never an empty shipment. `base` must be normalized.
ExportOutcome exportColeta(Z418kt& component, const json::CallContext& context, int64_t id,
                           const std::string& base);

}  // namespace z418kt::onerecord
