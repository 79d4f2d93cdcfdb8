// The outbox's cost on a save, and how fast the dispatcher delivers.
//
// events/save/sqlite/in-turn/{oracle,procedures}/{replace,new}/{full,off}:
// gGrava_Coleta with 2 pieces, replacing a Coleta's header and pieces (the
// event then records the state before) or making a new Coleta, on three
// databases made alike, one save on each in turn: without the outbox (every
// outbox object dropped), with it, and with the floor below. Each database's
// saves are timed on their own and reported as the cases
// events/save/sqlite/{no-outbox,outbox,floor}/..., whose ratios main.cpp
// prints. full: synchronous FULL (the default); off: OFF, which shows the CPU
// cost alone.
// The floor: the database without the outbox, plus the least any outbox
// written by triggers must do when it records what changed and covers every
// writer: one row per header write, holding the header before (from OLD) and
// the pieces before as JSON, and one trigger per piece row written or
// removed that does nothing. It has no index, no number of its own, no
// grouping of a change's statements, no user and a cheaper time, so no real
// outbox is cheaper.
// events/save/pg/{outbox,no-outbox,floor}/{oracle,procedures}/{replace,new}:
// the same on the bench's PostgreSQL server through the native provider, on
// three databases made alike: with the outbox, without its triggers, and
// with the least a trigger-written outbox must do (the floor). A replacing
// case saves 200 Coletas in turn, and every database is vacuumed before
// each case and kept from autovacuum during one, so that a case's time does
// not depend on when the server last cleaned up (skipped without a server).
// Each also reports the CPU its server session spent on a save (counter
// server_cpu_items_per_second; main.cpp shows it as the case's name with
// "/server-cpu"): the outbox's whole cost is there, and the machine's other
// work changes it far less than the time a save waits (the bench's own CPU
// is left out: its session waits for answers on a busy core).
// events/deliver/sqlite: events per second from the outbox to a loopback
// HTTP receiver that answers 204, signed, one request per event.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string_view>
#include <thread>

#include "bench_support.h"
#include "data/connection.h"
#include "data/database_setup.h"
#include "data/providers.h"
#include "events/dispatcher.h"

namespace z418kt::bench {
namespace {

// Which outbox a bench database has: the real one, none, or the floor.
enum class Outbox { on, off, floor };

// The floor's objects (see the top of this file).
constexpr const char* kFloorSql[] = {
    "CREATE TABLE KTR_PISO_EVENTO (EVENTO_ID INTEGER PRIMARY KEY, DOCTO_TRANSPORTE_ID INTEGER, "
    "DATA_HORA, ANTES_EMPRESA_ID, ANTES_CLIENTE_ID, ANTES_END_REMETENTE_ID, "
    "ANTES_END_DESTINATARIO_ID, ANTES_NUM_VOLUME, ANTES_PESO_REAL, ANTES_TXT_EMBALAGEM, "
    "ANTES_VAL_DECLARADO, ANTES_TAB_STATUS_ID, ANTES_DATA_EMISSAO, ANTES_CARGAS)",
    "CREATE TRIGGER KTR_PISO_DOCTO_INC AFTER INSERT ON DOCTO_TRANSPORTE BEGIN "
    "INSERT INTO KTR_PISO_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA) "
    "VALUES (NEW.DOCTO_TRANSPORTE_ID, julianday('now')); END",
    "CREATE TRIGGER KTR_PISO_DOCTO_ALT BEFORE UPDATE ON DOCTO_TRANSPORTE BEGIN "
    "INSERT INTO KTR_PISO_EVENTO VALUES (NULL, NEW.DOCTO_TRANSPORTE_ID, julianday('now'), "
    "OLD.EMPRESA_ID, OLD.CLIENTE_ID, OLD.END_REMETENTE_ID, OLD.END_DESTINATARIO_ID, "
    "OLD.NUM_VOLUME, OLD.PESO_REAL, OLD.TXT_EMBALAGEM, OLD.VAL_DECLARADO, OLD.TAB_STATUS_ID, "
    "OLD.DATA_EMISSAO, (SELECT json_group_array(json_array(C.CARGA_ID, C.NUM_VOLUME, "
    "C.LARGURA_M, C.ALTURA_M, C.COMPRIMENTO_M)) FROM CARGA C "
    "WHERE C.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)); END",
    "CREATE TRIGGER KTR_PISO_CARGA_INC BEFORE INSERT ON CARGA WHEN NEW.CARGA_ID IS NULL "
    "BEGIN SELECT 1; END",
    "CREATE TRIGGER KTR_PISO_CARGA_EXC BEFORE DELETE ON CARGA WHEN OLD.CARGA_ID IS NULL "
    "BEGIN SELECT 1; END"};

std::string eventsDb(Outbox outbox, bool synchronous) {
  static std::vector<std::string> made;
  std::string path =
      (std::filesystem::temp_directory_path() / ("z418kt-bench-events-" + std::to_string(getpid()) +
                                                 "-" + std::to_string(made.size()) + ".db"))
          .string();
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  std::string text =
      "Provider=SQLite;Data Source=" + path + (synchronous ? "" : ";Synchronous=Off");
  data::initDatabase(text, true);
  if (outbox != Outbox::on) {
    auto session = data::connectDirect(text, false);
    auto rows = session->execute(
        "SELECT type, name FROM sqlite_master WHERE name LIKE 'KTR_EVENTO%' OR name IN "
        "('KTR_COLETA_ESTADO', 'KTR_ASSINATURA', 'KTR_ENTREGA')");
    for (auto row : rows.rows) {
      std::string type = vb::concatText(row.at(0)), name = vb::concatText(row.at(1));
      if (type == "trigger" || type == "table" || type == "view")
        session->execute("DROP " + type + " IF EXISTS " + name);
    }
  }
  if (outbox == Outbox::floor) {
    auto session = data::connectDirect(text, false);
    for (const char* statement : kFloorSql) session->execute(statement);
  }
  made.push_back(path);
  std::atexit([] {
    for (const auto& p : made)
      for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(p + suffix);
  });
  return text;
}

// The three databases of one synchronous mode, made once.
const std::string& eventsDbOf(Outbox outbox, bool synchronous) {
  static std::map<std::pair<Outbox, bool>, std::string> dbs;
  auto key = std::make_pair(outbox, synchronous);
  if (!dbs.count(key)) dbs[key] = eventsDb(outbox, synchronous);
  return dbs[key];
}

// Saves on the three databases in turn, each timed on its own, and reports
// each database's saves per second as the case it stands for (main.cpp reads
// counters named "rate:" so). Taken in one window, the three rates share
// whatever the machine and its disk do meanwhile: at synchronous FULL a
// save's time follows the disk's flushes, which drift by more than what the
// outbox costs between cases run one after the other.
void saveInTurn(benchmark::State& state, bool synchronous, const char* dialect,
                const std::string& dialectName, bool replace) {
  constexpr Outbox kOrder[] = {Outbox::off, Outbox::on, Outbox::floor};
  constexpr const char* kNames[] = {"no-outbox", "outbox", "floor"};
  struct Side {
    const std::string* text;
    int32_t id;
    std::chrono::steady_clock::duration spent{};
  } sides[3];
  for (int i = 0; i < 3; ++i) {
    sides[i].text = &eventsDbOf(kOrder[i], synchronous);
    sides[i].id = replace ? coletaWithPieces(*sides[i].text, 2) : 0;
  }
  // Z418KT_BENCH_EVENTS_ONLY=outbox (or no-outbox, floor) saves on that one
  // database alone, to profile it (callgrind).
  const char* only = std::getenv("Z418KT_BENCH_EVENTS_ONLY");
  Z418kt component;
  size_t turn = 0;
  for (auto _ : state) {
    // A new order each time, so no database always follows the same one.
    for (int k = 0; k < 3; ++k) {
      const int at = static_cast<int>((turn + k) % 3);
      if (only && kNames[at] != std::string_view(only)) continue;
      Side& side = sides[at];
      auto start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(saveColeta(component, *side.text, dialect, side.id, 2));
      side.spent += std::chrono::steady_clock::now() - start;
    }
    ++turn;
  }
  for (int i = 0; i < 3; ++i) {
    const double seconds = std::chrono::duration<double>(sides[i].spent).count();
    if (seconds > 0)
      state.counters[std::string("rate:events/save/sqlite/") + kNames[i] + "/" + dialectName +
                     (replace ? "/replace" : "/new") + (synchronous ? "/full" : "/off")] =
          static_cast<double>(state.iterations()) / seconds;
  }
}

// One case per dialect, path and synchronous mode.
const bool kRegistered = [] {
  const std::pair<const char*, const char*> dialects[] = {{"ORACLE", "oracle"},
                                                          {"SQLSERVER", "procedures"}};
  for (auto [dialect, dialectName] : dialects)
    for (bool replace : {true, false})
      for (bool synchronous : {true, false}) {
        const std::string name = std::string(dialectName);
        benchmark::RegisterBenchmark(
            ("events/save/sqlite/in-turn/" + name + (replace ? "/replace" : "/new") +
             (synchronous ? "/full" : "/off"))
                .c_str(),
            [synchronous, dialect, name, replace](benchmark::State& s) {
              saveInTurn(s, synchronous, dialect, name, replace);
            })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
      }
  return true;
}();

// The PostgreSQL save cases run on three databases of the bench server made
// alike by `z418kt init --demo`, one of each Outbox: the real one, none (its
// triggers dropped), and the floor (see kFloorOutbox).

// The least any outbox written by triggers must do on a save: one plain row
// per change, its header before taken from OLD and its pieces before read as
// JSON, and a trigger on each piece row that runs no function (its WHEN is
// false). No grouping of a change's statements, no user, no lock, no wake-up.
constexpr const char* kFloorOutbox[] = {
    R"(CREATE FUNCTION KTR_PISO_NOVO() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA)
  VALUES (NEW.DOCTO_TRANSPORTE_ID,
          to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'));
  RETURN NEW;
END $$)",
    R"(CREATE FUNCTION KTR_PISO_ALTERA() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, ANTES)
  VALUES (OLD.DOCTO_TRANSPORTE_ID,
          to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'),
          json_build_object(
            'coleta', json_build_object(
              'empresa_id', OLD.EMPRESA_ID, 'cliente_id', OLD.CLIENTE_ID,
              'end_remetente_id', OLD.END_REMETENTE_ID,
              'end_destinatario_id', OLD.END_DESTINATARIO_ID, 'num_volume', OLD.NUM_VOLUME,
              'peso_real', OLD.PESO_REAL, 'txt_embalagem', OLD.TXT_EMBALAGEM,
              'val_declarado', OLD.VAL_DECLARADO, 'tab_status_id', OLD.TAB_STATUS_ID,
              'data_emissao', to_char(OLD.DATA_EMISSAO, 'YYYY-MM-DD HH24:MI:SS')),
            'cargas', COALESCE((SELECT json_agg(json_build_object(
                                  'carga_id', C.CARGA_ID, 'num_volume', C.NUM_VOLUME,
                                  'largura_m', C.LARGURA_M, 'altura_m', C.ALTURA_M,
                                  'comprimento_m', C.COMPRIMENTO_M) ORDER BY C.CARGA_ID)
                                  FROM CARGA C
                                 WHERE C.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID),
                               '[]'::json))::text);
  RETURN NEW;
END $$)",
    "CREATE FUNCTION KTR_PISO_NADA() RETURNS TRIGGER LANGUAGE plpgsql AS "
    "$$ BEGIN RETURN COALESCE(NEW, OLD); END $$",
    "CREATE TRIGGER KTR_PISO_NOVO BEFORE INSERT ON DOCTO_TRANSPORTE FOR EACH ROW "
    "WHEN (NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5) EXECUTE FUNCTION KTR_PISO_NOVO()",
    "CREATE TRIGGER KTR_PISO_ALTERA BEFORE UPDATE ON DOCTO_TRANSPORTE FOR EACH ROW "
    "WHEN (OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5) EXECUTE FUNCTION KTR_PISO_ALTERA()",
    "CREATE TRIGGER KTR_PISO_CARGA_INC BEFORE INSERT ON CARGA FOR EACH ROW "
    "WHEN (NEW.DOCTO_TRANSPORTE_ID IS NULL) EXECUTE FUNCTION KTR_PISO_NADA()",
    "CREATE TRIGGER KTR_PISO_CARGA_EXC BEFORE DELETE ON CARGA FOR EACH ROW "
    "WHEN (OLD.DOCTO_TRANSPORTE_ID IS NULL) EXECUTE FUNCTION KTR_PISO_NADA()"};

// The tables a save writes: vacuumed before each case, never by autovacuum
// during one.
constexpr const char* kSavedTables[] = {"DOCTO_TRANSPORTE", "CARGA", "KTR_AUDITORIA",
                                        "KTR_SEQUENCIA", "KTR_EVENTO"};

struct PgDatabases {
  std::map<Outbox, std::string> text;
  std::map<Outbox, std::unique_ptr<data::Connection>> tidier;
  std::string problem;
};

// The three databases, made on first use; `problem` says why there are none.
PgDatabases& pgDatabases() {
  static PgDatabases dbs = [] {
    PgDatabases out;
    const std::string& server = nativePostgresText();
    if (server.empty()) {
      out.problem = "no PostgreSQL: " + postgresProblem();
      return out;
    }
    const std::string key = "Database=";
    size_t at = server.find(key);
    if (at == std::string::npos) {
      out.problem = "the bench server's connection text names no database";
      return out;
    }
    size_t end = server.find(';', at);
    const std::string base = server.substr(at + key.size(), end - at - key.size());
    auto admin = data::connectDirect(server, false);
    for (auto [kind, suffix] : {std::pair{Outbox::on, "_eventos"},
                                {Outbox::off, "_sem_eventos"},
                                {Outbox::floor, "_piso"}}) {
      const std::string name = base + suffix;
      admin->execute("DROP DATABASE IF EXISTS " + name);
      admin->execute("CREATE DATABASE " + name);
      std::string text =
          server.substr(0, at) + key + name + (end == std::string::npos ? "" : server.substr(end));
      data::initDatabase(text, true);
      auto session = data::connectDirect(text, false);
      if (kind != Outbox::on) {
        std::vector<std::pair<std::string, std::string>> triggers;
        for (auto row : session
                            ->execute("SELECT T.tgname, C.relname FROM pg_trigger T JOIN pg_class "
                                      "C ON C.oid = T.tgrelid WHERE NOT T.tgisinternal AND "
                                      "T.tgname LIKE 'ktr\\_evento\\_%'")
                            .rows)
          triggers.emplace_back(vb::concatText(row.at(0)), vb::concatText(row.at(1)));
        for (const auto& [trigger, table] : triggers)
          session->execute("DROP TRIGGER " + trigger + " ON " + table);
      }
      if (kind == Outbox::floor)
        for (const char* statement : kFloorOutbox) session->execute(statement);
      for (const char* table : kSavedTables)
        session->execute(std::string("ALTER TABLE ") + table +
                         " SET (autovacuum_enabled = false, toast.autovacuum_enabled = false)");
      out.text[kind] = text;
      out.tidier[kind] = std::move(session);
    }
    return out;
  }();
  return dbs;
}

// Every database as the last case left it, whichever case that was: its dead
// rows gone, its statistics fresh, the server's dirty pages written.
void tidyPgDatabases(PgDatabases& dbs) {
  for (auto& [kind, session] : dbs.tidier) {
    std::string tables;
    for (const char* table : kSavedTables)
      tables += (tables.empty() ? "" : ", ") + std::string(table);
    session->execute("VACUUM (ANALYZE) " + tables);
  }
  dbs.tidier.begin()->second->execute("CHECKPOINT");
}

// Coletas of 2 pieces that a replacing case saves in turn, so that no one
// Coleta's row and pieces pile up dead versions between vacuums.
constexpr int kPgRotation = 200;

const std::vector<int32_t>& pgColetas(Outbox kind, const std::string& text, const char* dialect) {
  static std::map<std::pair<Outbox, std::string>, std::vector<int32_t>> made;
  auto& ids = made[{kind, dialect}];
  if (!ids.empty()) return ids;
  Z418kt component;
  for (int i = 0; i < kPgRotation; ++i) saveColeta(component, text, dialect, 0, 2);
  auto session = data::connectDirect(text, false);
  for (auto row : session
                      ->execute("SELECT DOCTO_TRANSPORTE_ID FROM DOCTO_TRANSPORTE WHERE "
                                "TAB_TIPO_DOCTO_TRANSP_ID = 5 ORDER BY DOCTO_TRANSPORTE_ID DESC "
                                "LIMIT " +
                                std::to_string(kPgRotation))
                      .rows)
    ids.push_back(vb::clng(row.at(0)));
  return ids;
}

// CPU time, in nanoseconds, of each server session connected to the
// database `session` is on, by process id, from /proc (the bench's server
// runs on this machine; a session /proc does not show counts nothing).
std::map<std::string, unsigned long long> serverCpu(data::Connection& session) {
  std::map<std::string, unsigned long long> out;
  auto rows = session.execute(
      "SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND pid <> "
      "pg_backend_pid()");
  for (auto row : rows.rows) {
    const std::string pid = vb::concatText(row.at(0));
    std::ifstream in("/proc/" + pid + "/schedstat");
    unsigned long long ns = 0;
    if (in >> ns) out[pid] = ns;
  }
  return out;
}

void pgSaveWith(benchmark::State& state, Outbox kind, const char* dialect, bool replace) {
  PgDatabases* dbs = nullptr;
  std::string why;
  try {
    dbs = &pgDatabases();
    why = dbs->problem;
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (!dbs || !why.empty()) {
    state.SkipWithError(why.c_str());
    return;
  }
  const std::string& text = dbs->text.at(kind);
  static std::vector<int32_t> none;
  const std::vector<int32_t>& ids = replace ? pgColetas(kind, text, dialect) : none;
  static std::map<std::pair<Outbox, std::string>, size_t> turn;
  size_t& next = turn[{kind, dialect}];
  Z418kt component;
  auto save = [&] {
    return saveColeta(component, text, dialect, replace ? ids[next++ % ids.size()] : 0, 2);
  };
  save();  // the component's session, open before its CPU is first read
  tidyPgDatabases(*dbs);
  data::Connection& tidier = *dbs->tidier.at(kind);
  auto serverBefore = serverCpu(tidier);
  for (auto _ : state) benchmark::DoNotOptimize(save());
  double cpu = 0;
  for (const auto& [pid, ns] : serverCpu(tidier)) {
    auto before = serverBefore.find(pid);
    cpu += static_cast<double>(ns - (before == serverBefore.end() ? 0 : before->second)) * 1e-9;
  }
  state.SetItemsProcessed(state.iterations());
  if (cpu > 0)
    state.counters["server_cpu_items_per_second"] = static_cast<double>(state.iterations()) / cpu;
}

const bool kRegisteredPg = [] {
  for (auto [kind, name] :
       {std::pair{Outbox::on, "outbox"}, {Outbox::off, "no-outbox"}, {Outbox::floor, "floor"}})
    for (auto [dialect, dialectName] :
         {std::pair{"ORACLE", "oracle"}, std::pair{"SQLSERVER", "procedures"}})
      for (bool replace : {true, false})
        benchmark::RegisterBenchmark(("events/save/pg/" + std::string(name) + "/" + dialectName +
                                      (replace ? "/replace" : "/new"))
                                         .c_str(),
                                     [kind, dialect, replace](benchmark::State& s) {
                                       pgSaveWith(s, kind, dialect, replace);
                                     })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
  return true;
}();

// A loopback receiver that takes every POST with 204, one kept-alive
// connection at a time (the dispatcher sends one request after another).
struct Receiver {
  Receiver() : acceptor(io, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
    port = acceptor.local_endpoint().port();
    thread = std::thread([this] { serve(); });
  }
  // Closing the acceptor does not wake a thread blocked in accept(): a
  // connection of our own does, and the loop then sees `stopping`.
  ~Receiver() {
    stopping = true;
    boost::system::error_code ignored;
    {
      boost::asio::ip::tcp::socket wake(io);
      wake.connect({boost::asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)},
                   ignored);
    }
    thread.join();
    acceptor.close(ignored);
  }
  void serve() {
    namespace http = boost::beast::http;
    while (!stopping) {
      boost::system::error_code ec;
      boost::asio::ip::tcp::socket socket(io);
      acceptor.accept(socket, ec);
      if (ec) return;
      boost::beast::flat_buffer buffer;
      while (true) {
        http::request<http::string_body> request;
        http::read(socket, buffer, request, ec);
        if (ec) break;
        ++received;
        http::response<http::empty_body> answer(http::status::no_content, request.version());
        answer.keep_alive(request.keep_alive());
        http::write(socket, answer, ec);
        if (ec || !request.keep_alive()) break;
      }
    }
  }
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor;
  std::atomic<bool> stopping{false};
  std::atomic<int64_t> received{0};
  int port = 0;
  std::thread thread;
};

void deliver(benchmark::State& state) {
  static const std::string text = eventsDb(Outbox::on, false);
  static Receiver receiver;
  {
    events::EventStore store(text);
    static bool subscribed = false;
    if (!subscribed) {
      events::SubscriptionInput input;
      input.url = "http://127.0.0.1:" + std::to_string(receiver.port) + "/hooks";
      store.add(input);
      subscribed = true;
    }
  }
  events::DispatcherOptions options;
  options.connection = text;
  options.batch = 100;
  events::Dispatcher dispatcher(options);
  Z418kt component;
  const int perRound = 100;
  for (auto _ : state) {
    state.PauseTiming();
    // Each save a Coleta of its own, so the deliveries need not wait for each other.
    for (int i = 0; i < perRound; ++i) saveColeta(component, text, "ORACLE", 0, 1);
    int64_t before = receiver.received;
    state.ResumeTiming();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (receiver.received < before + perRound) {
      if (std::chrono::steady_clock::now() > deadline) {
        state.SkipWithError("the receiver did not get every event within 60 s");
        return;
      }
      if (dispatcher.runOnce() == 0) std::this_thread::yield();
    }
  }
  state.SetItemsProcessed(state.iterations() * perRound);
}
BENCHMARK(deliver)->Name("events/deliver/sqlite")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace z418kt::bench
