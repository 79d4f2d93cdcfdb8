// A Coleta as a ONE Record shipment: the JSON-LD document an airline's or a
// forwarder's platform takes without a mapping of its own.
//
// The Coleta and its parties are read through the front door, so the export
// shows exactly what the operations answer for them. Every class and property used is listed,
// with the ontology version it was checked against, in one_record_terms.txt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "z418kt/coletas.h"

namespace z418kt::onerecord {

inline constexpr const char* kDefaultBase = "http://localhost:8080/logistics-objects/";

// The base as the identifiers are built from it (a '/' added when it ends in
// neither '/' nor '#'), or nothing when it is no absolute IRI (scheme, no
// blanks, quotes or angle brackets).
std::optional<std::string> normalizedBase(std::string_view base);

// The shipment document of a Coleta read, its sender's and its addressee's
// party lookups (absent when the lookup found no party), under `base`.
// The customer, when known, is typed from its own party read (a person is a
// Person with name and CPF); one that is also the sender or the addressee is
// a reference to that party's agent.
std::string shipmentDocument(const Coleta& coleta, const std::optional<Pessoa>& sender,
                             const std::optional<Pessoa>& addressee, const std::string& base,
                             const std::optional<Pessoa>& customer = std::nullopt);

// Reads the Coleta, its two parties and its customer and maps them: the document when
// Done. A missing Coleta is NotFound, never an empty shipment. `base` must be
// normalized.
Result<std::string> exportColeta(const FrontDoor& door, int64_t id, const std::string& base);

}  // namespace z418kt::onerecord
