// The native PostgreSQL provider: "Provider=PostgreSQL;..." texts, spoken to
// through libpq instead of an ODBC driver.
//
// The text uses the keys an ODBC text for psqlODBC uses (Server, Port,
// Database, Uid, Pwd, SSLMode, ConnSettings), or libpq's own names (host,
// dbname, user, password, sslmode, connect_timeout, ...); keys that are
// neither are passed over, as ODBC drivers pass over keys they do not know.
// Whatever libpq takes from PG* environment variables and ~/.pgpass applies
// as usual.
//
// A session answers exactly as an ODBC session on the same database would
// (values: see postgres_values.h; errors: "[SQLSTATE] message"), and keeps the
// same guarantees:
//   - literals: standard_conforming_strings is on, checked before every
//     statement, so a backslash in a quoted text is plain data; DateStyle is
//     ISO; both are set after ConnSettings, so no setting of the database, the
//     role or the text can turn them off;
//   - limits: the login timeout is libpq's connect_timeout (unless the text
//     sets one), the query timeout is the server's statement_timeout, and a
//     server that answers nothing at all is cut off `cutOffGraceSeconds` later:
//     StatementTimeout;
//   - a lost server throws ConnectionLost and makes the session unusable.
// A statement text can never carry a second statement: a text with a ';'
// anywhere goes through the extended protocol, which takes one statement per
// query; only the others go through the cheaper simple protocol. The BEGIN of
// a transaction travels with its first statement. Inside a writing
// transaction each statement is wrapped in a savepoint that travels in the
// same round trip; a read needs none: after a failed statement its next one
// starts a new snapshot. A read's COMMIT is sent without waiting for its
// answer, which the session takes when it is next used.
//
// Statements that differ only in their values share one prepared statement
// per session (sql::shapeStatement; "Statement Cache=<n>", default 64 per
// session, 0 for none), prepared in the round trip of its first statement,
// the values bound with the types their literals have. A shape the server
// will not prepare runs as written from then on, and a statement of a kept
// shape that fails is undone and run as written, so that its answer and its
// diagnostic are those of the text itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/connection.h"
#include "data/data_limits.h"

namespace z418kt::data {

std::unique_ptr<Provider> makePostgresProvider(const SessionTimeouts& timeouts);

namespace pg {

struct ConnectParameters {
  std::vector<std::string> keys, values;  // for PQconnectdbParams, in order
  std::string connSettings;               // statements run once after logging in
};

// libpq's parameters for a connection text; throws AutomationError for a key
// that would undo what the session relies on (client_encoding, replication).
ConnectParameters connectParameters(std::string_view connectionText,
                                    const SessionTimeouts& timeouts);

// The round trips to the server that this process's native sessions have
// made (each batch of statements sent and waited for counts once), for
// tests and benchmarks to hold the sessions to their count.
uint64_t roundTrips();

}  // namespace pg

}  // namespace z418kt::data
