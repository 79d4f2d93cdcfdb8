// An event of the outbox: one change of one Coleta, as its history shows it
// and as a webhook carries it.
//
// The triggers record the Coleta before and after the change; the kind and
// the list of changed fields follow from the two here, in one place:
//   coleta.criada              no Coleta before (or a deleted one), one after
//   coleta.excluida            one before, none after (status 2 or no row)
//   coleta.alterada            a header field differs (pieces may differ too)
//   coleta.cargas_substituidas only the pieces were written again
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace z418kt::events {

using Json = nlohmann::ordered_json;

inline constexpr std::string_view kCreated = "coleta.criada";
inline constexpr std::string_view kChanged = "coleta.alterada";
inline constexpr std::string_view kPiecesReplaced = "coleta.cargas_substituidas";
inline constexpr std::string_view kDeleted = "coleta.excluida";
// Every kind, in the order above.
const std::vector<std::string_view>& eventKinds();

struct Event {
  int64_t id = 0;  // the sequence number: a Coleta's events in order
  int64_t coletaId = 0;
  std::string time;   // UTC, ISO 8601 with milliseconds
  std::string user;   // internet user id ("" when unknown)
  std::string actor;  // the acting program or token ("" when none)
  Json before;        // {"coleta": {...}, "cargas": [...]} or null
  Json after;

  std::string kind() const;
  // The client of the Coleta (after the change, else before); 0 when none.
  int64_t clientId() const;
  // "evt_<id>": the webhook-id of every delivery of this event, retries included.
  std::string webhookId() const;
  // The event as history and webhooks show it: id, sequence, kind, Coleta,
  // time, who, the header fields that changed (old and new value) and the
  // Coleta before and after.
  Json toJson() const;
};

// Reads a state column: {"coleta": {...}, "cargas": [...]} from that object or
// from the compact form, an array of the same values without their names (the
// header fields in the order the object shows them, then the pieces, each an
// array in that order too); null for an empty or unreadable text.
Json parseState(const std::string& text);

}  // namespace z418kt::events
