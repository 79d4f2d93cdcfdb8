// The front door's own read-only statements, beside the operations: the names
// of a Coleta's parties (which also tells whether they exist), the list of
// Coletas and the party search. They read the same tables on SQLite and
// PostgreSQL, whatever the caller's dialect, and page by keyset (never OFFSET).
//
// Cost, with the indexes of db/: names, one statement of three primary-key
// lookups; a list page, one range read down an index (the primary key, or
// the index of the filtered party) of about `limite` rows, the same on the
// first page and the thousandth; a search page, a scan of the addresses in
// id order that stops after `limite` + 1 matches.
//
// Every function throws AutomationError when the database fails; the data
// layer has noted the class of the failure (data::lastFailure).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "z418kt/coletas.h"

namespace z418kt::record {

// The names of the client and of the parties at the two addresses; nothing
// for an id that is absent or names nothing (the client must be a client).
struct PartyNames {
  std::optional<std::string> cliente, remetente, destinatario;
};
PartyNames partyNames(const std::string& connection, std::optional<int64_t> cliente,
                      std::optional<int64_t> remetente, std::optional<int64_t> destinatario);

// The first address of a party, or nothing when it has none.
std::optional<int64_t> firstAddress(const std::string& connection, int64_t pessoaId);

// `filter` is checked already: dates are "YYYY-MM-DD", the cursor digits.
Page<Coleta> listColetas(const std::string& connection, const ColetaFilter& filter);
Page<Pessoa> searchPessoas(const std::string& connection, const PessoaQuery& query);

}  // namespace z418kt::record
