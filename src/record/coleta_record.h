// A Coleta and a party as plain values, read, saved and deleted through the
// operations by parameter name (never the tables), so every front end gets
// exactly what the operations answer: the same refusals, messages and rules.
//
// Every function takes the component of the calling thread and the caller
// context (connection text, dialect, user id). None throws for what the
// operations or the database answer: a refusal or an error is an outcome
// with the operations' user message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json/named_call.h"
#include "record/decimal.h"
#include "record/outcome.h"
#include "z418kt/z418kt.h"

namespace z418kt::record {

struct PieceRecord {
  int64_t id = 0;  // 0 for a piece not stored yet; a save ignores it
  std::optional<Decimal> largura_m, altura_m, comprimento_m;
  std::optional<int64_t> volumes;
  friend bool operator==(const PieceRecord&, const PieceRecord&) = default;
};

// Absent optionals are columns that hold nothing. `remetente_id` and
// `destinatario_id` are party-address ids (see PartyRecord).
struct ColetaRecord {
  int64_t id = 0;
  std::optional<int64_t> cliente_id;
  std::string cliente;  // the client's trade name; read only
  std::optional<int64_t> remetente_id, destinatario_id, volumes;
  std::optional<Decimal> peso_kg, valor_declarado;
  std::string embalagem;
  std::vector<PieceRecord> pecas;
  // The warning the read gives when air waybills were issued against the
  // Coleta (it must not be changed any more); absent otherwise. Read only.
  std::optional<std::string> aviso;
  friend bool operator==(const ColetaRecord&, const ColetaRecord&) = default;
};

// A missing Coleta (also one deleted, or of another document type) is
// NotFound, never an empty Coleta.
ReadOutcome<ColetaRecord> readColeta(Z418kt& component, const json::CallContext& context,
                                     int64_t id);

struct SaveOutcome {
  bool saved = false;  // status 0: header and every piece stored
  int status = 10;
  std::string message;
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
SaveOutcome saveColeta(Z418kt& component, const json::CallContext& context,
                       const ColetaRecord& coleta, int64_t id);

struct DeleteOutcome {
  bool deleted = false;  // status 0
  int status = 10;
  std::string message;
};

// Deletes the pieces, then the document. The operations do not check that
// the Coleta exists; read it first to tell a missing one apart.
DeleteOutcome deleteColeta(Z418kt& component, const json::CallContext& context, int64_t id);

}  // namespace z418kt::record
