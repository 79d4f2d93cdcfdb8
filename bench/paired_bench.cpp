// The component beside its raw baselines. Every case counts the operations it
// completes (items), so main.cpp can divide one case's throughput by another's
// and print the ratios; see kRatios there for the pairs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "bench_support.h"

namespace z418kt::bench {

namespace {

constexpr int kDemoColeta = 100;  // the demo Coleta: three cargo pieces

using Body = std::function<void(benchmark::State&)>;

void registerCase(const std::string& name, Body body, int threads = 1) {
  benchmark::RegisterBenchmark(name.c_str(),
                               [body](benchmark::State& state) {
                                 try {
                                   body(state);
                                 } catch (const std::exception& e) {
                                   state.SkipWithError(e.what());
                                 }
                               })
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime()
      ->Threads(threads);
}

// How the component reaches its database: SQLite, or the bench's PostgreSQL
// through psqlODBC or through the native provider. The raw baselines are the
// same for both ways to PostgreSQL.
enum class Route { sqlite, pgOdbc, pgNative };

// The database a case runs on; false (and the case skipped) when there is none.
bool databaseFor(benchmark::State& state, Route route, std::string& text) {
  text = route == Route::sqlite   ? sqliteText()
         : route == Route::pgOdbc ? postgresText()
                                  : nativePostgresText();
  if (!text.empty()) return true;
  state.SkipWithError(("no PostgreSQL: " + postgresProblem()).c_str());
  return false;
}

const char* routeName(Route route) {
  return route == Route::sqlite ? "sqlite" : route == Route::pgOdbc ? "pg" : "pg-libpq";
}

// The saves of other cases grow the SQLite write-ahead log, and a read looks
// up every page it needs there first; each read case starts from an empty log,
// so a case and its baseline read the same file in the same state.
void foldWriteAheadLog(const std::string& text) {
  RawSqlite(text).run("PRAGMA wal_checkpoint(TRUNCATE)");
}

// Likewise the saves leave dead row versions in the PostgreSQL tables that a
// read steps over until autovacuum comes by, at a time of its own choosing:
// each read case starts from a vacuumed database.
void vacuum(const std::string& text) { RawPostgres(text).run("VACUUM"); }

void startingState(Route route, const std::string& text) {
  if (route == Route::sqlite)
    foldWriteAheadLog(text);
  else
    vacuum(postgresText());
}

// Reads through the component and the same statements raw.
void readCases(Route route, const char* dialect, const char* tag, int pieces, int threads = 1) {
  const bool postgres = route != Route::sqlite;
  std::string suffix = std::string(routeName(route)) + "/" + tag + "/" + std::to_string(pieces);
  registerCase((threads == 1 ? "coleta/read/" : "coleta/read-threads/") + suffix,
               [=](benchmark::State& state) {
                 std::string text;
                 if (!databaseFor(state, route, text)) return;
                 int32_t id = pieces == 3 ? kDemoColeta : coletaWithPieces(text, pieces);
                 startingState(route, text);
                 Z418kt component;
                 for (auto _ : state)
                   if (readColeta(component, text, dialect, id) != 0)
                     state.SkipWithError("status 10");
                 state.SetItemsProcessed(state.iterations());
               },
               threads);
  if (threads != 1 || route == Route::pgNative) return;
  // Raw statement by statement in autocommit; also in one read transaction as
  // the component reads a Coleta (its three statements see one snapshot while
  // saves go on), which a program wanting that pays for too; and on SQLite
  // with the connection opened without its mutex, as the component opens its
  // sessions (each is lent to one thread at a time).
  enum class Raw { plain, snapshot, noMutex };
  for (Raw mode : {Raw::plain, Raw::snapshot, Raw::noMutex}) {
    if (mode == Raw::snapshot && pieces != 3) continue;
    if (mode == Raw::noMutex && (postgres || std::string(tag) != "oracle")) continue;
    const bool snapshot = mode == Raw::snapshot;
    const char* kind = snapshot               ? "raw/read-snapshot/"
                       : mode == Raw::noMutex ? "raw/read-nomutex/"
                                              : "raw/read/";
    registerCase(kind + suffix, [=](benchmark::State& state) {
      std::string text;
      if (!databaseFor(state, route, text)) return;
      int32_t id = pieces == 3 ? kDemoColeta : coletaWithPieces(text, pieces);
      startingState(route, text);
      Z418kt component;
      auto statements = statementsOf([&] { readColeta(component, text, dialect, id); });
      const char* begin = !snapshot  ? nullptr
                          : postgres ? "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY"
                                     : "BEGIN";
      auto loop = [&](auto& raw, const auto& adapted) {
        for (auto _ : state) {
          if (begin) raw.run(begin);
          benchmark::DoNotOptimize(raw.runAll(adapted));
          if (begin) raw.run("COMMIT");
        }
      };
      if (postgres) {
        RawPostgres raw(text);
        loop(raw, adaptedForPostgres(statements));
      } else {
        RawSqlite raw(text, mode == Raw::noMutex);
        loop(raw, RawSqlite::adapted(statements));
      }
      state.SetItemsProcessed(state.iterations());
    });
  }
}

// Saves of a Coleta with two pieces (an update: the document, its pieces
// replaced), and the same statements raw in one transaction.
void saveCases(Route route, const char* dialect, const char* tag) {
  const bool postgres = route != Route::sqlite;
  std::string suffix = std::string(routeName(route)) + "/" + tag + "/2";
  registerCase("coleta/save/" + suffix, [=](benchmark::State& state) {
    std::string text;
    if (!databaseFor(state, route, text)) return;
    Z418kt component;
    int32_t id = coletaWithPieces(text, 2);
    for (auto _ : state) saveColeta(component, text, dialect, id, 2);
    state.SetItemsProcessed(state.iterations());
  });
  if (route == Route::pgNative) return;
  registerCase("raw/save/" + suffix, [=](benchmark::State& state) {
    std::string text;
    if (!databaseFor(state, route, text)) return;
    Z418kt component;
    int32_t id = coletaWithPieces(text, 2);
    auto statements = statementsOf([&] { saveColeta(component, text, dialect, id, 2); });
    // Most saves take their keys from the block the process holds; the one
    // in sixteen that reserves a new block is left to the component alone.
    std::erase_if(statements, [](const std::string& s) {
      return s.find("KTR_SEQUENCIA") != std::string::npos;
    });
    if (postgres) {
      RawPostgres raw(text);
      auto adapted = adaptedForPostgres(statements);
      for (auto _ : state) {
        raw.run("BEGIN");
        raw.runAll(adapted);
        raw.run("COMMIT");
      }
    } else {
      RawSqlite raw(text);
      auto adapted = RawSqlite::adapted(statements);
      for (auto _ : state) {
        raw.run("BEGIN IMMEDIATE");
        raw.runAll(adapted);
        raw.run("COMMIT");
      }
    }
    state.SetItemsProcessed(state.iterations());
  });
}

// A fresh session per read: open, settings, statements, close.
void unpooledCase() {
  registerCase("raw/read-unpooled/sqlite/oracle/3", [](benchmark::State& state) {
    const std::string& text = sqliteText();
    Z418kt component;
    auto statements = RawSqlite::adapted(
        statementsOf([&] { readColeta(component, text, "ORACLE", kDemoColeta); }));
    for (auto _ : state) {
      RawSqlite raw(text);
      benchmark::DoNotOptimize(raw.runAll(statements));
    }
    state.SetItemsProcessed(state.iterations());
  });
}

// `z418kt serve` in a child process, fed a batch of requests through a pipe;
// beside it the same calls made in this process.
constexpr int kServeBatch = 16;  // answers of one batch fit in the pipe's buffer

struct ServeProcess {
  pid_t pid = -1;
  FILE* to = nullptr;
  FILE* from = nullptr;
  ServeProcess() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid = fork();
    if (pid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      execl(Z418KT_BINARY, "z418kt", "serve", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to = fdopen(in[1], "w");
    from = fdopen(out[0], "r");
  }
  ~ServeProcess() {
    if (to) fclose(to);  // end of input: serve ends
    if (from) fclose(from);
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
};

std::string serveRequest() {
  return R"({"op":"gConsulta_Coleta","args":{"invntConecta_DB":")" + sqliteText() +
         R"(","invntUsuario_Internet_ID":0,"invntEmpresa_Id":1,"invntBanco_Dados":"ORACLE",)"
         R"("invntDOCTO_TRANSPORTE_ID":100}})"
         "\n";
}

// One request, then its answer, then the next: a client that waits. With
// `roundTripOnly` serve is sent a line that names no operation, which it
// answers at once with an error, and the read is made in this process after
// that answer came back: one round trip through serve and the pipes plus the
// read, what serve would take if its work on a read cost nothing.
void lockstepCase(const std::string& name, bool roundTripOnly) {
  registerCase(name, [roundTripOnly](benchmark::State& state) {
    const std::string request = roundTripOnly ? std::string("{\"op\":\"\"}\n") : serveRequest();
    const std::string& text = sqliteText();
    Z418kt component;
    ServeProcess serve;
    char* line = nullptr;
    size_t capacity = 0;
    for (auto _ : state) {
      fputs(request.c_str(), serve.to);
      fflush(serve.to);
      if (getline(&line, &capacity, serve.from) < 0 ||
          (!roundTripOnly && std::string(line).find("\"error\"") != std::string::npos)) {
        state.SkipWithError("serve did not answer");
        break;
      }
      if (roundTripOnly) readColeta(component, text, "ORACLE", kDemoColeta);
    }
    free(line);
    state.SetItemsProcessed(state.iterations());
  });
}

void serveCases() {
  lockstepCase("serve-lockstep/read/sqlite/oracle/3", false);
  lockstepCase("serve-lockstep/round-trip-then-read/sqlite/oracle/3", true);
  registerCase("serve/read/sqlite/oracle/3", [](benchmark::State& state) {
    std::string request = serveRequest();
    ServeProcess serve;
    char* line = nullptr;
    size_t capacity = 0;
    auto sendBatch = [&] {
      for (int i = 0; i < kServeBatch; ++i) fputs(request.c_str(), serve.to);
      fflush(serve.to);
    };
    auto readBatch = [&] {
      for (int i = 0; i < kServeBatch; ++i)
        if (getline(&line, &capacity, serve.from) < 0 ||
            std::string(line).find("\"error\"") != std::string::npos)
          state.SkipWithError("serve did not answer");
    };
    // One batch always waits in the pipe, as from a client that streams its
    // requests: serve never idles between batches. Two batches of answers
    // still fit in the pipe's buffer, so neither side blocks the other.
    sendBatch();
    for (auto _ : state) {
      sendBatch();
      readBatch();
    }
    readBatch();
    free(line);
    state.SetItemsProcessed(state.iterations() * kServeBatch);
  });
  registerCase("inprocess/read/sqlite/oracle/3", [](benchmark::State& state) {
    const std::string& text = sqliteText();
    Z418kt component;
    for (auto _ : state)
      for (int i = 0; i < kServeBatch; ++i) readColeta(component, text, "ORACLE", kDemoColeta);
    state.SetItemsProcessed(state.iterations() * kServeBatch);
  });
}

const bool kRegistered = [] {
  signal(SIGPIPE, SIG_IGN);  // a serve that died shows as a skipped case, not a dead bench
  for (Route route : {Route::sqlite, Route::pgOdbc, Route::pgNative}) {
    readCases(route, "ORACLE", "oracle", 3);
    readCases(route, "SQLSERVER", "procedures", 3);
    saveCases(route, "ORACLE", "oracle");
    saveCases(route, "SQLSERVER", "procedures");
  }
  readCases(Route::sqlite, "ORACLE", "oracle", 1);
  readCases(Route::sqlite, "ORACLE", "oracle", 1000);
  readCases(Route::sqlite, "ORACLE", "oracle", 3, 2);
  readCases(Route::sqlite, "SQLSERVER", "procedures", 3, 2);
  unpooledCase();
  serveCases();
  return true;
}();

}  // namespace

}  // namespace z418kt::bench
