#include "data/postgres_provider.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <set>

#include "automation/connection_text.h"
#include "data/deadline_watcher.h"
#include "data/postgres_dialect.h"
#include "data/postgres_values.h"
#include "data/session_errors.h"
#include "data/sql_lexer.h"
#include "data/statement_cache.h"
#include "data/timed_provider.h"

namespace z418kt::data {

namespace pg {

namespace {

// ODBC spellings of libpq's parameters, so that a text written for psqlODBC
// needs only its Driver pair replaced.
const std::map<std::string, std::string>& aliases() {
  static const std::map<std::string, std::string> names = {
      {"SERVER", "host"},  {"UID", "user"},        {"USERNAME", "user"},     {"USER ID", "user"},
      {"PWD", "password"}, {"DATABASE", "dbname"}, {"SSLMODE", "sslmode"},   {"PORT", "port"},
      {"HOST", "host"},    {"USER", "user"},       {"PASSWORD", "password"}, {"DBNAME", "dbname"},
  };
  return names;
}

// The parameter names this libpq knows.
const std::set<std::string>& libpqKeywords() {
  static const std::set<std::string> names = [] {
    std::set<std::string> out;
    PQconninfoOption* options = PQconndefaults();
    for (PQconninfoOption* o = options; o && o->keyword; ++o) out.insert(o->keyword);
    PQconninfoFree(options);
    return out;
  }();
  return names;
}

}  // namespace

ConnectParameters connectParameters(std::string_view connectionText,
                                    const SessionTimeouts& timeouts) {
  ConnectParameters out;
  const ConnectionText text(connectionText);
  out.connSettings = text.get("ConnSettings").value_or("");
  std::set<std::string> seen;
  for (const auto& [key, value] : text.pairs()) {
    if (key == "PROVIDER" || key == "CONNSETTINGS") continue;
    auto alias = aliases().find(key);
    std::string name = alias != aliases().end() ? alias->second : lowerCase(key);
    if (name == "client_encoding" || name == "replication")
      throw errors::provider("PostgreSQL: the connection text may not set " + name +
                             ": sessions always speak UTF-8 and plain SQL.");
    // Like an ODBC driver, the provider passes over keys it does not know;
    // the first value of a key counts.
    if (!libpqKeywords().count(name) || !seen.insert(name).second) continue;
    out.keys.push_back(name);
    out.values.push_back(value);
  }
  if (!seen.count("connect_timeout")) {
    out.keys.push_back("connect_timeout");
    out.values.push_back(std::to_string(std::max(2, timeouts.loginSeconds)));
  }
  if (!seen.count("application_name")) {
    out.keys.push_back("fallback_application_name");
    out.values.push_back("z418kt");
  }
  out.keys.push_back("client_encoding");
  out.values.push_back("UTF8");
  return out;
}

namespace {
std::atomic<uint64_t> gRoundTrips{0};
}  // namespace

uint64_t roundTrips() { return gRoundTrips.load(std::memory_order_relaxed); }

}  // namespace pg

namespace {

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct SessionDeleter {
  void operator()(PGconn* c) const { PQfinish(c); }
};

// The savepoint around a shape's first preparation in a writing transaction.
const char* const kShapeSavepoint = "SAVEPOINT z418kt_shape";
const char* const kReleaseShape = "RELEASE SAVEPOINT z418kt_shape";
const char* const kUndoShape = "ROLLBACK TO SAVEPOINT z418kt_shape; RELEASE SAVEPOINT z418kt_shape";

bool startsWith(const char* text, std::string_view prefix) {
  return text && std::string_view(text).substr(0, prefix.size()) == prefix;
}

// Waits for the server's answer to what was sent, counted for pg::roundTrips.
PGresult* exec(PGconn* conn, const char* query) {
  pg::gRoundTrips.fetch_add(1, std::memory_order_relaxed);
  return PQexec(conn, query);
}

// The type a value cut out of a statement had as a literal: a whole number
// is an integer, or a bigint beyond 32 bits; a number with a point or an
// exponent is numeric; a quoted text is left for the server to infer from
// its place, as it infers the type of a quoted literal.
Oid literalType(const sql::ExecArgument& value) {
  constexpr Oid kInt4 = 23, kInt8 = 20, kNumeric = 1700;
  if (value.kind != sql::ExecArgument::Kind::Number) return 0;
  int64_t whole = 0;
  const char* end = value.value.data() + value.value.size();
  auto [p, ec] = std::from_chars(value.value.data(), end, whole);
  if (ec != std::errc() || p != end) return kNumeric;
  return whole >= INT32_MIN && whole <= INT32_MAX ? kInt4 : kInt8;
}

// How wide a number type literalType gives is: int4 1, int8 2, numeric 3;
// 0 for any other.
int numberRank(Oid type) {
  constexpr Oid kInt4 = 23, kInt8 = 20, kNumeric = 1700;
  return type == kInt4 ? 1 : type == kInt8 ? 2 : type == kNumeric ? 3 : 0;
}

class PostgresConnection : public Connection {
 public:
  PostgresConnection(const std::string& connectionText, const SessionTimeouts& timeouts)
      : timeouts_(timeouts), shared_(statementCacheSize(ConnectionText(connectionText))) {
    pg::ConnectParameters parameters = pg::connectParameters(connectionText, timeouts);
    std::vector<const char*> keys, values;
    for (size_t i = 0; i < parameters.keys.size(); ++i) {
      keys.push_back(parameters.keys[i].c_str());
      values.push_back(parameters.values[i].c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    session_.reset(PQconnectdbParams(keys.data(), values.data(), 0));
    conn_ = session_.get();
    if (!conn_) throw errors::provider("PostgreSQL: could not connect: out of memory");
    if (PQstatus(conn_) != CONNECTION_OK)
      throw errors::provider("PostgreSQL: could not connect: [08001] " +
                             trimmed(PQerrorMessage(conn_)));
    // Notices (RAISE NOTICE, "there is no transaction in progress") are not
    // errors; libpq would print them on the process's stderr.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    settle(parameters.connSettings);
  }

  RowSet execute(const std::string& statement) override {
    if (!usable())  // known dead before anything was sent
      throw ConnectionLost("PostgreSQL: [08003] the session has ended; the statement was not sent.",
                           false);
    std::string text = adaptForPostgres(statement);
    if (!literalsSafe()) {
      takeCommit(true);
      settle({});
    }
    auto deadline = DeadlineWatcher::Clock::now() +
                    std::chrono::seconds(timeouts_.querySeconds + timeouts_.cutOffGraceSeconds);
    int socket = PQsocket(conn_);
    DeadlineWatcher::Watch watch(DeadlineWatcher::shared(), deadline, [socket] {
      if (socket >= 0) shutdown(socket, SHUT_RDWR);
    });
    try {
      return inTransaction_ ? step(text) : single(text);
    } catch (const AutomationError&) {
      if (watch.fired()) {
        usable_ = false;
        throw StatementTimeout(
            "PostgreSQL: timeout: the server did not answer the statement within " +
            std::to_string(timeouts_.querySeconds) + " s; the session was closed.");
      }
      throw;
    }
  }

  void begin(bool writes) override {
    if (inTransaction_) throw errors::provider("The session is already inside a transaction.");
    inTransaction_ = true;
    beginPending_ = true;
    readOnly_ = !writes;
    givenUp_ = false;
  }

  void commit() override {
    inTransaction_ = false;
    if (beginPending_) {  // nothing ran: there is nothing to make durable
      beginPending_ = false;
      return;
    }
    // A read made nothing that must become durable, and its commit cannot be
    // refused: it goes out now, and its answer is taken with the session's
    // next statement, in that statement's round trip.
    if (readOnly_ && PQenterPipelineMode(conn_)) {
      commitPending_ =
          PQsendQueryParams(conn_, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) &&
          PQpipelineSync(conn_);
      if (commitPending_) return;
      PQexitPipelineMode(conn_);
      usable_ = false;
      throw ConnectionLost(
          "PostgreSQL: the commit failed: [08006] " + trimmed(PQerrorMessage(conn_)), true);
    }
    if (givenUp_) {
      rollback();
      throw errors::provider(
          "PostgreSQL: the commit failed: the server rolled the transaction back.");
    }
    Result r(exec(conn_, "COMMIT"));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
      rollback();
      fail(r.get(), "PostgreSQL: the commit failed:");
    }
    // COMMIT of a transaction that an error abandoned answers ROLLBACK.
    if (std::strcmp(PQcmdStatus(r.get()), "COMMIT") != 0)
      throw errors::provider(
          "PostgreSQL: the commit failed: the server rolled the transaction back.");
  }

  void rollback() noexcept override {
    takeCommit(true);
    inTransaction_ = false;
    beginPending_ = false;
    givenUp_ = false;
    if (PQtransactionStatus(conn_) == PQTRANS_IDLE) return;
    Result r(exec(conn_, "ROLLBACK"));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) usable_ = false;
  }

  bool usable() const override { return usable_ && PQstatus(conn_) == CONNECTION_OK; }

  bool alive(bool roundTrip) override {
    // While a read's commit is on its way, the socket has its answer to
    // read, which says nothing about the server.
    if (!takeCommit(false)) return usable();  // still on its way, or it failed
    if (!usable()) return false;
    if (goneWhileIdle()) return usable_ = false;
    if (!roundTrip) return true;
    try {
      execute("SELECT 1");
      return true;
    } catch (const AutomationError&) {
      return usable_ = false;
    }
  }

  std::string engine() const override { return "postgresql"; }

 private:
  static std::string trimmed(const char* text) {
    std::string out = text ? text : "";
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
  }

  bool literalsSafe() const {
    const char* scs = PQparameterStatus(conn_, "standard_conforming_strings");
    return scs && std::strcmp(scs, "on") == 0 &&
           startsWith(PQparameterStatus(conn_, "DateStyle"), "ISO");
  }

  // The settings every statement relies on, in one round trip: the query
  // timeout before the text's own settings (which may change it), the
  // literal and date formats after them (which nothing may change).
  void settle(const std::string& connSettings) {
    std::string text =
        "SET statement_timeout = " + std::to_string(timeouts_.querySeconds * 1000) + "; ";
    if (!connSettings.empty()) text += connSettings + "; ";
    text += "SET DateStyle = ISO; SET extra_float_digits = 1; SET standard_conforming_strings = on";
    Result r(exec(conn_, text.c_str()));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
      fail(r.get(), "PostgreSQL: the session's settings failed:");
    if (!literalsSafe())
      throw errors::provider(
          "PostgreSQL: the session could not turn standard_conforming_strings on, so a "
          "backslash in a text could end its literal; the session was not opened.");
  }

  // A statement shape prepared on this session as `name`; not `ready` when
  // the server would not prepare it (its statements then go as written).
  struct Prepared {
    std::string name, shape;
    bool parsed = false;  // the server has it
    bool ready = true;
    std::vector<Oid> types;  // what its values were declared as when it was prepared
  };
  // The statement at `at` of a round trip runs as `prepared`, values_ bound.
  struct Sharing {
    Prepared* prepared = nullptr;
    size_t at = 0;
  };

  // The kept shape of `text`, with values_ set to the text's values; null
  // when the text goes as written.
  Prepared* shapeOf(const std::string& text) {
    if (shared_.capacity() == 0) return nullptr;
    Prepared* kept = shared_.findAlike(text, values_);
    if (!kept) {
      auto shaped = sql::shapeStatement(text, sql::Placeholder::Dollar);
      if (!shaped) return nullptr;
      kept = shared_.find(shaped->shape);
      if (!kept) {
        sql::ShapeForm form(*shaped, sql::Placeholder::Dollar);
        Prepared fresh{"z418kt_" + std::to_string(++named_), shaped->shape, false, true, {}};
        auto gone = shared_.keep(shaped->shape, std::move(fresh), kept, std::move(form));
        if (gone && gone->second.parsed) deallocate_.push_back("DEALLOCATE " + gone->second.name);
        if (!kept) return nullptr;
      }
      values_ = std::move(shaped->values);
    }
    if (!kept->ready) return nullptr;
    switch (fit(*kept, values_)) {
      case Fit::Takes:
        return kept;
      case Fit::Wider:
        // Prepared again, each place declared the wider of the two numbers:
        // whole numbers then go where decimals went, so it settles at once.
        deallocate_.push_back("DEALLOCATE " + kept->name);
        kept->name = "z418kt_" + std::to_string(++named_);
        kept->parsed = false;
        return kept;
      case Fit::AsWritten:
        break;
    }
    return nullptr;
  }

  // Whether the values fit the types the shape was prepared with. A place
  // first given a whole number was declared an integer, which the server
  // refuses a decimal or a larger number for, and in a writing transaction
  // that refusal would give the whole transaction up: such a shape is
  // prepared again (Wider). A text where a number was declared goes as
  // written.
  enum class Fit { Takes, Wider, AsWritten };
  static Fit fit(const Prepared& prepared, const std::vector<sql::ExecArgument>& values) {
    if (!prepared.parsed) return Fit::Takes;
    Fit out = Fit::Takes;
    for (size_t i = 0; i < values.size() && i < prepared.types.size(); ++i) {
      const int declared = numberRank(prepared.types[i]);
      if (declared == 0 || declared == 3) continue;  // not a whole number
      if (values[i].kind == sql::ExecArgument::Kind::Null) continue;
      if (values[i].kind != sql::ExecArgument::Kind::Number) return Fit::AsWritten;
      if (numberRank(literalType(values[i])) > declared) out = Fit::Wider;
    }
    return out;
  }

  static bool succeeded(const PGresult* r) {
    ExecStatusType status = PQresultStatus(r);
    return status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK || status == PGRES_EMPTY_QUERY;
  }

  // Whether a kept shape's failure is to be answered by the text as written:
  // the server refused the shape, or the error is one whose diagnostic
  // quotes the text or its values (data and syntax errors). Others (a
  // timeout, a constraint, a lost session) are the statement's own.
  static bool retryAsWritten(const Prepared& prepared, const PGresult* r) {
    if (!prepared.ready) return true;
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    return state && (std::strncmp(state, "22", 2) == 0 || std::strncmp(state, "42", 2) == 0);
  }

  // A statement on its own, committed by the server when it ends. A kept
  // shape that fails gives way to the text as written, whose answer (and
  // diagnostic) is the caller's.
  RowSet single(const std::string& text, bool share = true) {
    takeCommit(true);
    bool wasUp = usable();
    Sharing sharing{share ? shapeOf(text) : nullptr, 0};
    std::vector<Result> results = roundTrip({text.c_str()}, wasUp, sharing);
    if (sharing.prepared && !succeeded(results[0].get()) &&
        retryAsWritten(*sharing.prepared, results[0].get()))
      return single(text, false);
    return rowsOf(results[0].get(), wasUp);
  }

  // A statement inside the transaction, [BEGIN and] the statement in one
  // round trip. A read changes nothing that must be kept: when one of its
  // statements fails, its transaction is rolled back and the next statement
  // begins a new one; a kept shape that fails is undone the same way and the
  // text as written runs in its place. A writing transaction is given up at
  // its first failed statement, as the server does: the statements after it
  // are not sent and its commit is refused, so the unit of work runs the
  // operation again with each statement committed on its own, whose answer
  // is the one a savepoint around each statement would have kept. A
  // savepoint per statement would cost the server a subtransaction for every
  // write of every save to spare that second run to the rare save that fails.
  RowSet step(const std::string& text, bool share = true) {
    if (givenUp_)
      throw errors::provider(
          "PostgreSQL: [25P02] the transaction was given up at an earlier statement; this "
          "statement was not sent.");
    const bool wasUp = PQstatus(conn_) == CONNECTION_OK;
    const bool withBegin = beginPending_;
    Prepared* shape = share ? shapeOf(text) : nullptr;
    // A shape the server has not seen yet may be refused when it is
    // prepared, which is no failure of the statement: a writing transaction
    // keeps going past it, so its first use on the session goes inside a
    // savepoint.
    const bool guarded = !readOnly_ && shape && !shape->parsed;
    std::vector<const char*> queries;
    // A read sees one snapshot of the database from its first statement on.
    if (withBegin)
      queries.push_back(readOnly_ ? "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY" : "BEGIN");
    if (guarded) queries.push_back(kShapeSavepoint);
    const size_t statementAt = queries.size();
    queries.push_back(text.c_str());
    if (guarded) queries.push_back(kReleaseShape);

    Sharing sharing{shape, statementAt};
    std::vector<Result> results = roundTrip(queries, wasUp, sharing);
    if (withBegin && PQresultStatus(results[0].get()) == PGRES_COMMAND_OK) beginPending_ = false;
    for (size_t i = 0; i < statementAt; ++i)
      if (PQresultStatus(results[i].get()) != PGRES_COMMAND_OK) fail(results[i].get());
    PGresult* statement = results[statementAt].get();
    if (!succeeded(statement)) {
      // Only a read or a guarded shape can be undone; a writing transaction
      // is given up either way unless the text as written then succeeds.
      if (readOnly_ || guarded) {
        Result undo(exec(conn_, guarded ? kUndoShape : "ROLLBACK"));
        if (PQresultStatus(undo.get()) != PGRES_COMMAND_OK) usable_ = false;
        if (!guarded) beginPending_ = true;
        if (sharing.prepared && usable() && retryAsWritten(*sharing.prepared, statement))
          return step(text, false);
      }
      givenUp_ = !readOnly_;
      fail(statement);
    }
    if (guarded && PQresultStatus(results.back().get()) != PGRES_COMMAND_OK)
      fail(results.back().get());
    return rowsOf(statement, true);
  }

  // Sends the queries in one round trip and collects one result for each
  // (none for a query that did not run because one before it failed).
  //
  // They go as one simple-protocol query string, which the server runs with
  // less work per statement than the extended protocol's parse, bind and
  // execute (most for set-returning procedures). A text with a ';' anywhere
  // could hold more than one statement, though: such a text, a statement of
  // a kept shape, and anything sent while a read's commit is still on its
  // way go through the extended protocol, which takes one statement per
  // query and, in libpq's pipeline mode, still one round trip. A kept shape
  // the server does not have yet is prepared in that same round trip; one
  // that left the cache is let go of there too.
  std::vector<Result> roundTrip(const std::vector<const char*>& queries, bool wasUp,
                                Sharing sharing) {
    pg::gRoundTrips.fetch_add(1, std::memory_order_relaxed);
    bool plain = !commitPending_ && !sharing.prepared && deallocate_.empty();
    for (const char* query : queries) plain = plain && !std::strchr(query, ';');
    std::vector<Result> results(queries.size());
    if (plain) {
      std::string text = queries[0];
      for (size_t i = 1; i < queries.size(); ++i) (text += "; ") += queries[i];
      if (!PQsendQuery(conn_, text.c_str())) lost("PostgreSQL: the session ended:", wasUp);
      size_t taken = 0;
      while (Result r{PQgetResult(conn_)})
        if (taken < results.size()) results[taken++] = std::move(r);
    } else {
      if (!commitPending_ && !PQenterPipelineMode(conn_)) lost("PostgreSQL: no pipeline:", wasUp);
      bool sent = true;
      const size_t released = deallocate_.size();
      for (const std::string& query : deallocate_)
        sent = sent &&
               PQsendQueryParams(conn_, query.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
      deallocate_.clear();
      bool parse = false;
      for (size_t i = 0; i < queries.size(); ++i) {
        if (!sharing.prepared || i != sharing.at) {
          sent = sent &&
                 PQsendQueryParams(conn_, queries[i], 0, nullptr, nullptr, nullptr, nullptr, 0);
          continue;
        }
        Prepared& p = *sharing.prepared;
        const int count = static_cast<int>(values_.size());
        types_.clear();
        bound_.clear();
        for (const sql::ExecArgument& v : values_) {
          types_.push_back(literalType(v));
          bound_.push_back(v.value.c_str());
        }
        if (!p.parsed) {
          parse = true;
          // Prepared again after a wider value: no place narrower than before.
          for (size_t i = 0; i < p.types.size() && i < types_.size(); ++i)
            if (numberRank(types_[i]) != 0 && numberRank(p.types[i]) > numberRank(types_[i]))
              types_[i] = p.types[i];
          p.types = types_;
          sent =
              sent && PQsendPrepare(conn_, p.name.c_str(), p.shape.c_str(), count, types_.data());
        }
        sent = sent && PQsendQueryPrepared(conn_, p.name.c_str(), count, bound_.data(), nullptr,
                                           nullptr, 0);
      }
      sent = sent && PQpipelineSync(conn_);
      // When the commit did not go through, the session is gone and the
      // queries after it never ran.
      if (!takeCommit(true, true)) wasUp = false;
      if (sent) {
        for (size_t i = 0; i < released; ++i) nextResult();
        for (size_t i = 0; i < results.size(); ++i) {
          if (parse && i == sharing.at) {
            Result prepared = nextResult();
            sharing.prepared->parsed = PQresultStatus(prepared.get()) == PGRES_COMMAND_OK;
            // Refused by the server: its statements go as written from now on.
            sharing.prepared->ready = sharing.prepared->parsed;
          }
          results[i] = nextResult();
        }
        if (Result late = syncOf(); late && !results.empty()) results.back() = std::move(late);
      }
      PQexitPipelineMode(conn_);
      if (!sent) lost("PostgreSQL: the session ended:", wasUp);
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
      for (const Result& r : results)
        if (r && PQresultStatus(r.get()) == PGRES_FATAL_ERROR) fail(r.get(), {}, wasUp);
      lost("PostgreSQL: the session ended:", wasUp);
    }
    return results;
  }

  // In pipeline mode: the next query's result, and the null that closes it.
  Result nextResult() {
    Result result(PQgetResult(conn_));
    if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC) return result;
    while (Result extra{PQgetResult(conn_)})
      if (PQresultStatus(extra.get()) == PGRES_PIPELINE_SYNC) break;
    return result;
  }

  // In pipeline mode: reads up to the result of the sync.
  // An error that comes after the last query's result is the implicit
  // transaction's commit failing (a deferred constraint): it comes back.
  Result syncOf() {
    Result late;
    for (int nothing = 0; nothing < 2 && PQstatus(conn_) == CONNECTION_OK;) {
      Result r{PQgetResult(conn_)};
      if (!r) {
        ++nothing;
        continue;
      }
      nothing = 0;
      if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) break;
      if (!late && PQresultStatus(r.get()) == PGRES_FATAL_ERROR) late = std::move(r);
    }
    return late;
  }

  RowSet rowsOf(const PGresult* r, bool wasUp) {
    RowSet rows;
    switch (PQresultStatus(r)) {
      case PGRES_TUPLES_OK:
        pg::readResult(r, rows);
        return rows;
      case PGRES_COMMAND_OK:
      case PGRES_EMPTY_QUERY:
        return rows;  // no result set: the record set stays closed
      default:
        fail(r, {}, wasUp);
    }
  }

  // The session is gone. The statement did not run when the session was
  // already down before it was sent.
  [[noreturn]] void lost(const std::string& context, bool wasUp) {
    usable_ = false;
    throw ConnectionLost(context + " [08006] " + trimmed(PQerrorMessage(conn_)), wasUp);
  }

  [[noreturn]] void fail(const PGresult* r, std::string_view context = {}, bool wasUp = true) {
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    std::string sqlState = state ? state : (PQstatus(conn_) == CONNECTION_OK ? "HY000" : "08006");
    std::string message = trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
    if (message.empty()) message = trimmed(PQerrorMessage(conn_));
    std::string text(context);
    if (!text.empty()) text += " ";
    text += "[" + sqlState + "] " + message;
    if (sessionLost(sqlState) || PQstatus(conn_) != CONNECTION_OK) {
      usable_ = false;
      throw ConnectionLost(text, wasUp && !endedByServer(sqlState));
    }
    if (timedOut(sqlState))
      throw StatementTimeout(text + " (timeout: " + std::to_string(timeouts_.querySeconds) + " s)");
    throw errors::provider(text);
  }

  // Takes the answer of a read's commit that went out without waiting for
  // it; with `wait` false, only when it has arrived. True when there is no
  // answer left to take and the commit went through; a session whose commit
  // failed is given up (what the read returned stands). `inPipeline`: more
  // results follow in the same pipeline, which stays open for them.
  bool takeCommit(bool wait, bool inPipeline = false) noexcept {
    if (!commitPending_) return true;
    if (!wait && PQconsumeInput(conn_) && PQisBusy(conn_)) return false;  // on its way
    commitPending_ = false;
    Result r = nextResult();
    bool done = PQresultStatus(r.get()) == PGRES_COMMAND_OK;
    syncOf();
    if (!inPipeline) PQexitPipelineMode(conn_);
    if (!done) usable_ = false;
    return done;
  }

  // An idle session of a live server has nothing to read: anything there is
  // the server's goodbye (an administrator ended the session, the server
  // shut down) or the closed socket. Only looks; reads nothing.
  bool goneWhileIdle() const {
    pollfd p{PQsocket(conn_), POLLIN, 0};
    return p.fd < 0 || poll(&p, 1, 0) != 0;
  }

  std::unique_ptr<PGconn, SessionDeleter> session_;
  PGconn* conn_ = nullptr;  // session_, for brevity
  SessionTimeouts timeouts_;
  bool usable_ = true;
  bool inTransaction_ = false;
  bool beginPending_ = false;   // the BEGIN goes out with the transaction's first statement
  bool readOnly_ = false;       // the transaction is a read
  bool givenUp_ = false;        // a statement of this writing transaction failed
  bool commitPending_ = false;  // a read's COMMIT went out; its answer is still to be taken
  // Statement shapes prepared on this session ("Statement Cache", default 64).
  StatementCache<Prepared> shared_;
  uint64_t named_ = 0;                     // the last name given to a shape
  std::vector<std::string> deallocate_;    // shapes that left the cache, let go of next
  std::vector<sql::ExecArgument> values_;  // of the statement at hand; room reused
  std::vector<Oid> types_;
  std::vector<const char*> bound_;
};

}  // namespace

std::unique_ptr<Provider> makePostgresProvider(const SessionTimeouts& timeouts) {
  return std::make_unique<TimedProvider<PostgresConnection>>(timeouts);
}

}  // namespace z418kt::data
