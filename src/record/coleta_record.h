// A Coleta read, saved, checked and deleted through the operations by
// parameter name (never the tables), so the front door gets exactly what the
// operations answer: the same refusals, messages and rules.
//
// Every function takes the component of the calling thread and the caller
// context. None throws for what the operations or the database answer: a
// refusal or an error is an outcome with the operations' user message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/outcome.h"
#include "z418kt/coletas.h"
#include "z418kt/z418kt.h"

namespace z418kt::record {

// A missing Coleta (also one deleted, or of another document type) is
// NotFound, never an empty Coleta. Names and the creation time are not filled.
ReadOutcome<Coleta> readColeta(Z418kt& component, const CallContext& context, int64_t id);

struct SaveOutcome {
  bool saved = false;  // status 0: header and every piece stored
  int status = 10;
  std::string message;
  data::FailureClass failure = data::FailureClass::None;
  // The stored document: on success, and after a half-way stop once the
  // header was stored (a new Coleta keeps its new id, so saving again
  // updates it). 0 when nothing was stored for a new Coleta.
  int64_t id = 0;
  // Ids of the pieces stored, in the order of the record's pieces: all of
  // them on success, the first ones after a stop in the piece loop.
  std::vector<int64_t> pieceIds;
};

// Stores `coleta` as document `id` (0 for a new Coleta): the header, and its
// pieces replacing every stored piece. Ids inside `coleta` are not read.
SaveOutcome saveColeta(Z418kt& component, const CallContext& context, const Coleta& coleta,
                       int64_t id);

// The header check the save runs first, alone (it stores nothing): the
// operations' message for the first field it refuses, or nothing.
struct HeaderCheck {
  bool passed = false;
  std::string message;
  bool callFailed = false;
};
HeaderCheck checkHeader(Z418kt& component, const CallContext& context, const Coleta& coleta,
                        int64_t id);

struct DeleteOutcome {
  bool deleted = false;  // status 0
  int status = 10;
  std::string message;
  data::FailureClass failure = data::FailureClass::None;
};

// Deletes the pieces, then the document. The operations do not check that
// the Coleta exists; read it first to tell a missing one apart.
DeleteOutcome deleteColeta(Z418kt& component, const CallContext& context, int64_t id);

}  // namespace z418kt::record
