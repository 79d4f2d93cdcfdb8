// The data edge under hostile texts, dead sessions, many connection texts,
// concurrent key allocation and parties that do not exist, on every engine
// and in both dialects.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "data/providers.h"
#include "data/recordset.h"
#include "outside/default_identifier_util.h"
#include "support/engine_fixture.h"
#include "support/postgres_server.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

const Variant kOk(int16_t{0}), kFailed(int16_t{10});

class DataEdgeOnEngine : public EngineTest {
 protected:
  // A new Coleta with one piece of 1 × 1 × 1.
  static testing::Coleta onePiece() {
    testing::Coleta c;
    c.setPieces({{"1", "1", "1", "1"}});
    return c;
  }
  // Every row count that a statement slipping out of its literal could change.
  std::string tableRows() {
    std::string out;
    for (const char* table : {"DOCTO_TRANSPORTE", "CARGA", "PESSOA", "ENDERECO_PESSOA", "MUNICIPIO",
                              "KTR_SEQUENCIA", "INFRA_IDS"})
      out += std::to_string(queryInt(std::string("SELECT COUNT(*) FROM ") + table)) + " ";
    return out;
  }
};

// Texts that would end a literal, comment out the rest or look like a quote
// to a careless converter.
std::vector<std::string> hostileTexts() {
  return {"O'Brien",
          "\\', NULL, NULL); DELETE FROM carga; --",
          "\\'); DELETE FROM CARGA; --",
          "back\\slash\\",
          "'; DROP TABLE PESSOA; --",
          "/* open comment",
          "-- line comment",
          "a;b;c",
          "\xCA\xBC modifier apostrophe",       // U+02BC
          "\xEF\xBC\x87 fullwidth apostrophe",  // U+FF07
          "\xE2\x80\x99 right single quote",    // U+2019
          std::string("nul\0inside", 10),
          std::string(10000, 'x')};
}

TEST_P(DataEdgeOnEngine, HostileTextsAreStoredVerbatimOrRefusedWithoutATrace) {
  // A server whose database reads backslashes in literals as escapes.
  // The setting lives in one catalog row that tests running at the same time
  // would both write: each change waits for the others.
  auto setting = [&](const char* change) {
    execute(std::string("DO 'BEGIN PERFORM pg_advisory_xact_lock(418); EXECUTE format(''ALTER "
                        "DATABASE %I ") +
            change + "'', current_database()); END'");
  };
  bool postgres = engine() == "postgresql";
  if (postgres) setting("SET standard_conforming_strings = off");
  struct Reset {
    std::function<void()> undo;
    ~Reset() { undo(); }
  } reset{[&] {
    if (postgres) setting("RESET standard_conforming_strings");
  }};

  const std::string before = tableRows();
  int stored = 0;
  for (const std::string& text : hostileTexts()) {
    // Every text argument of the save: the header's texts and numbers, a dimension.
    for (int field = 0; field < 5; ++field) {
      testing::Coleta s = onePiece();
      Variant* target[] = {&s.txt, &s.peso, &s.valor, &s.volumes, nullptr};
      if (target[field])
        *target[field] = Variant(text);
      else
        s.matriz.array().at(2, 0) = Variant(text);
      const int32_t documents = queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE");
      Variant answer = save(s);
      const std::string where =
          " FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(vb::clng(s.id));
      if (answer == kOk) {
        ++stored;
        EXPECT_EQ(field, 0) << "a number field took " << text.substr(0, 40);
        EXPECT_EQ(queryText("SELECT TXT_EMBALAGEM" + where), text);
      } else if (field < 4) {
        // A NUL is refused by name, never replaced.
        if (field == 0 && text.find('\0') != std::string::npos) {
          EXPECT_NE(vb::concatText(msg).find("NUL"), std::string::npos) << vb::concatText(msg);
        }
        EXPECT_EQ(queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE"), documents)
            << field << ": " << text.substr(0, 40);
      }
      // Only the saves add rows; nothing else changes, in any table.
      execute("DELETE FROM CARGA WHERE CARGA_ID >= 1000");
      execute("DELETE FROM KTR_AUDITORIA WHERE DOCTO_TRANSPORTE_ID >= 1000");
      execute("DELETE FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID >= 1000");
      ASSERT_EQ(tableRows(), before) << field << ": " << text.substr(0, 40);
    }
  }
  // All of them but the text longer than the column and the NUL, which the check refuses.
  EXPECT_EQ(stored, 11);
}

TEST_P(DataEdgeOnEngine, PartiesThatDoNotExistAreRefusedAndNothingIsStored) {
  const int32_t documents = queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE");
  for (int field = 0; field < 3; ++field) {
    testing::Coleta s = onePiece();
    Variant* party[] = {&s.cliente, &s.destino, &s.origem};
    *party[field] = Variant(int32_t{999});
    EXPECT_EQ(save(s), kFailed) << field;
  }
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE"), documents);
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA"), 3);
}

TEST_P(DataEdgeOnEngine, ConcurrentCallersNeverShareAKey) {
  if (!oracle()) GTEST_SKIP() << "key allocation does not depend on the dialect";
  std::vector<std::vector<int32_t>> got(4);
  std::vector<std::thread> threads;
  for (auto& ids : got)
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        std::string message;
        int32_t id = 0;
        Variant unused;
        EXPECT_TRUE(vb::isTrue(outside::DefaultIdentifierUtil().op1_allocate(
            "ORACLE", 1, 0, "TRIVEMAR", "N", unused, connection(), "CARGA_ID", message, id)))
            << message;
        ids.push_back(id);
      }
    });
  for (auto& t : threads) t.join();
  std::set<int32_t> distinct;
  for (const auto& ids : got) distinct.insert(ids.begin(), ids.end());
  EXPECT_EQ(distinct.size(), 2000u);
  EXPECT_EQ(*distinct.begin(), demo::kFirstNewKey);
  // Keys come in blocks a process reserves: the counter is past every key
  // handed out, so a caller elsewhere cannot get one of them.
  EXPECT_GE(queryInt("SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = 'CARGA_ID'"),
            *distinct.rbegin());
}

// The sessions this process holds on the test database: TCP sockets to the
// server's port, or descriptors of the SQLite file.
int openSessions(const std::string& engine, const std::string& connectionText) {
  auto valueOf = [&](const std::string& key) {
    size_t at = connectionText.find(key);
    if (at == std::string::npos) return std::string();
    std::string v = connectionText.substr(at + key.size());
    return v.substr(0, v.find(';'));
  };
  const std::string file = valueOf("Data Source="), port = valueOf("Port=");
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    auto target = std::filesystem::read_symlink(entry.path(), ec);
    if (ec) continue;
    if (engine == "sqlite") {
      count += target.string() == file;
    } else if (target.string().rfind("socket:", 0) == 0) {
      sockaddr_storage peer{};
      socklen_t length = sizeof peer;
      int fd = std::stoi(entry.path().filename().string());
      if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
          peer.ss_family == AF_INET &&
          ntohs(reinterpret_cast<sockaddr_in&>(peer).sin_port) == std::stoi(port))
        ++count;
    }
  }
  return count;
}

TEST_P(DataEdgeOnEngine, TwoHundredConnectionTextsStayWithinTheCap) {
  if (!oracle()) GTEST_SKIP() << "sessions do not depend on the dialect";
  data::DataLimits limits;
  limits.maxSessions = 4;
  auto previous = data::installStatementRunner(data::makeDatabaseRunner(limits));
  const int baseline = openSessions(engine(), connection());
  std::atomic<int> failures{0}, worst{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = t; i < 200; i += 4) {
        // Texts that differ only in an attribute nobody reads.
        const std::string text = connection() + ";Z418ktTest=" + std::to_string(i);
        try {
          data::Recordset rs;
          rs.open("SELECT COUNT(*) FROM PESSOA", text, -1, -1, -1);
        } catch (const std::exception&) {
          ++failures;
        }
        int now = openSessions(engine(), connection()) - baseline;
        for (int w = worst; now > w && !worst.compare_exchange_weak(w, now);) {
        }
      }
    });
  for (auto& t : threads) t.join();
  data::installStatementRunner(previous);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_LE(worst.load(), engine() == "sqlite" ? 4 * 2 : 4);  // SQLite: the file and its WAL index
}

TEST_P(DataEdgeOnEngine, SessionsKilledBetweenTwoCallsCostNoCall) {
  if (engine() != "postgresql") GTEST_SKIP() << "only a server can end a session";
  testing::Coleta c;
  ASSERT_EQ(read(demo::kColeta, c), kOk);
  // The pooled session of this single-threaded test is reused while it lives,
  // and then ended by the server.
  const int32_t backend = queryInt("SELECT pg_backend_pid()");
  ASSERT_EQ(queryInt("SELECT pg_backend_pid()"), backend);
  auto admin = data::connectDirect(testing::postgresServerConnection(), false);
  admin->execute("SELECT pg_terminate_backend(" + std::to_string(backend) + ")");
  EXPECT_EQ(read(demo::kColeta, c), kOk) << vb::concatText(msg);
  EXPECT_NE(queryInt("SELECT pg_backend_pid()"), backend);
}

INSTANTIATE_ENGINE_TEST(DataEdgeOnEngine);

}  // namespace
}  // namespace z418kt
