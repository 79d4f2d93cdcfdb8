// The SQLite database side through the database runner: ADO's record-set
// semantics, the value mapping, the session settings, the engine errors, the
// SP_KTR_ procedures called as the component calls them (what the Coleta
// operations store through them is shown by the integration tests; here:
// refusals, the piece delete, bad calls), the default IdentifierUtil and the
// database set-up.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "data/recordset.h"
#include "data/statement_runner.h"
#include "outside/default_identifier_util.h"
#include "outside/key_blocks.h"
#include "support/temp_database.h"

namespace z418kt::data {
namespace {

using testing::failureOf;
using testing::TempDatabase;

const std::string kNoSuchFile = "Provider=SQLite;Data Source=/no/such/dir/x.db";

class SqliteTest : public ::testing::Test {
 protected:
  RowSet run(const std::string& statement, const std::string& text) {
    return currentStatementRunner()->run({statement, text, adUseClient, -1, -1, -1});
  }
  RowSet exec(const std::string& statement) { return run(statement, db.text()); }
  Variant one(const std::string& statement) { return exec(statement).rows.at(0).at(0); }
  // Whether the statement fails with a message that holds `fragment`.
  bool fails(const std::string& statement, const std::string& text,
             const std::string& fragment = "") {
    std::string error = failureOf([&] { run(statement, text); }).description;
    return !error.empty() && error.find(fragment) != std::string::npos;
  }
  static bool allocate(const std::string& text, const std::string& key, std::string& message,
                       int32_t& id) {
    Variant connection;
    return vb::isTrue(outside::DefaultIdentifierUtil().op1_allocate(
        "SQLSERVER", 1, 0, "TRIVEMAR", "N", connection, text, key, message, id));
  }

  TempDatabase db;
};

TEST_F(SqliteTest, RecordsetFollowsAdoOnRowsEofAndClosedSets) {
  Recordset rs;
  rs.setCursorLocation(adUseClient);
  rs.open("SELECT CARGA_ID FROM CARGA WHERE CARGA_ID >= 201 ORDER BY CARGA_ID", db.text(),
          adOpenStatic, adLockReadOnly, adUnspecified);
  // A field that is held keeps the value of its row after the set moves on and closes.
  Variant first = rs.fieldsItem("carga_id");
  rs.moveNext();
  Variant second = rs.fieldsItem("CARGA_ID");
  EXPECT_EQ(vb::clng(rs.fieldsItem("carga_id")), 202);
  rs.moveNext();
  EXPECT_TRUE(rs.eof());
  rs.close();
  EXPECT_EQ(vb::clng(first), 201);
  EXPECT_EQ(vb::clng(second), 202);
  rs.open("SELECT CARGA_ID FROM CARGA WHERE CARGA_ID = 202", db.text(), adOpenStatic,
          adLockReadOnly, adUnspecified);
  rs.moveNext();
  EXPECT_EQ(failureOf([&] { rs.fieldsItem("CARGA_ID"); }).number, 3021);
  // Fields let go of are taken again by later record sets; one still held never is.
  std::vector<Variant> held;
  for (int id : {201, 202, 201}) {
    Recordset later;
    later.open(
        "SELECT CARGA_ID + 1000 AS X, CARGA_ID - 1000 AS CARGA_ID FROM CARGA WHERE "
        "CARGA_ID = " +
            std::to_string(id),
        db.text(), adOpenStatic, adLockReadOnly, adUnspecified);
    EXPECT_EQ(vb::clng(later.fieldsItem("X")), id + 1000);
    EXPECT_EQ(vb::clng(later.fieldsItem("CARGA_ID")), id - 1000);
    held.push_back(later.fieldsItem("X"));
  }
  EXPECT_EQ(vb::clng(held.at(0)), 1201);
  EXPECT_EQ(vb::clng(held.at(1)), 1202);
  EXPECT_EQ(vb::clng(held.at(2)), 1201);
  // A statement without result columns leaves the record set closed.
  Recordset write;
  write.open(" DELETE CARGA  WHERE CARGA_ID =  201 ", db.text(), -1, -1, -1);
  EXPECT_EQ(write.state(), adStateClosed);
  EXPECT_EQ(failureOf([&] { write.eof(); }).number, 3704);
  EXPECT_EQ(one("SELECT COUNT(*) FROM CARGA"), Variant(int32_t{2}));
}

TEST_F(SqliteTest, ValuesMapToVariantsAndSessionsCommitDurablyInWal) {
  auto rows = exec("SELECT 7, 3000000000, -2147483648, 0.1, 'ação', NULL, X'4142', SYSDATE");
  const auto& r = rows.rows.at(0);
  EXPECT_EQ((std::vector<Variant>(r.begin(), r.end() - 1)),
            (std::vector<Variant>{int32_t{7}, 3000000000.0, int32_t{-2147483647 - 1}, 0.1,
                                  Variant("ação"), Variant::null(), Variant("AB")}));
  EXPECT_EQ(r[7].text().size(), 19u);  // "YYYY-MM-DD HH:MM:SS"

  TempDatabase durable;
  const std::string text = "Provider=SQLite;Data Source=" + durable.path().string();
  EXPECT_EQ(run("PRAGMA journal_mode", text).rows[0][0], Variant("wal"));
  EXPECT_EQ(run("PRAGMA synchronous", text).rows[0][0], Variant(int32_t{2}));
  EXPECT_EQ(run("PRAGMA foreign_keys", text).rows[0][0], Variant(int32_t{1}));
}

TEST_F(SqliteTest, EngineErrorsCarrySqlitesMessageAndChangeNothing) {
  EXPECT_EQ(failureOf([&] { exec("SELECT * FROM NAO_EXISTE"); }).number,
            errors::provider("").number);
  // clang-format off
  const std::pair<const char*, const char*> refused[] = {
      {"SELECT * FROM NAO_EXISTE", "no such table: NAO_EXISTE"}, {"SELEC 1", "syntax error"},
      {"SELECT 1; DROP TABLE CARGA", ""},
      {"INSERT INTO INFRA_IDS (INFRA_IDS_ID) VALUES (2)", ""},  // a CHECK
      // Procedures: an unknown name, the wrong arity.
      {"EXEC SP_KTR_NAO_EXISTE   1", "SP_KTR_NAO_EXISTE"}, {"EXEC SP_KTR_CON_CARGA_AWB   100, 1", ""}};
  // clang-format on
  for (auto [statement, fragment] : refused)
    EXPECT_TRUE(fails(statement, db.text(), fragment)) << statement;
  // The session that saw those errors is still good; names match in any case.
  EXPECT_EQ(exec("exec sp_ktr_con_carga_awb 100;").rows.size(), 3u);

  // A missing file is never created by a read; a file that is no database says so.
  const std::string file = db.path().string() + ".txt";
  EXPECT_TRUE(fails("SELECT 1", "Provider=SQLite;Data Source=" + file));
  EXPECT_FALSE(std::filesystem::exists(file));
  std::ofstream(file) << "not a database, only text that is long enough to be a header";
  EXPECT_TRUE(fails("SELECT 1", "Provider=SQLite;Data Source=" + file, "not a database"));
  std::filesystem::remove(file);
}

// What a statement gave, exactly: its error, or its columns and each value's
// type and bits.
std::string outcome(const std::function<RowSet()>& run) {
  RowSet rows;
  try {
    rows = run();
  } catch (const AutomationError& e) {
    return "error " + std::to_string(e.number) + ": " + e.description;
  }
  std::string out = rows.hasResultSet ? "rows" : "no result set";
  for (const auto& c : rows.columns) out += " [" + c + "]";
  for (const auto& row : rows.rows)
    for (const Variant& v : row) {
      out += " " + std::to_string(static_cast<int>(v.type())) + ":";
      if (v.type() == VarType::I4) out += std::to_string(v.i4());
      if (v.type() == VarType::R8) {
        uint64_t bits;
        double d = v.r8();
        std::memcpy(&bits, &d, sizeof bits);
        out += std::to_string(bits);
      }
      if (v.isText()) out += "'" + v.text() + "'";
    }
  return out;
}

TEST_F(SqliteTest, SharedShapesAnswerStoreAndFailExactlyAsTheTextsThemselves) {
  TempDatabase plain(TempDatabase::Content::Demo, ";Statement Cache=0");
  TempDatabase small(TempDatabase::Content::Demo, ";Statement Cache=2");
  const std::string setup =
      "CREATE TABLE V (I INTEGER, T TEXT, R REAL, N NUMERIC, B, U INTEGER UNIQUE CHECK (U < 100))";
  const std::vector<std::string> statements = {
      // Literals of every kind into columns of every affinity, read back with their types.
      "INSERT INTO V VALUES (5, 5, 5, 5, 5, 1)",
      "INSERT INTO V VALUES ('7', '007', '1.5', '2.50', '0x1F', 2)",
      "INSERT INTO V VALUES (12.5, 1e3, 0.35, 9223372036854775807, 99999999999999999999, 3)",
      "INSERT INTO V VALUES (-2.25, 'O''Brien; DELETE FROM V; --', .5, 1.0, 'a\\', 4)",
      "INSERT INTO V VALUES (' 8 ', '', -0.0, '1e2', X'00FF', 5)",
      // Decimals SQLite reads one unit in the last place off the nearest
      // double (0.002877, 0.023859) beside ones it reads to the nearest.
      "INSERT INTO V VALUES (0.002877, 0.023859, 0.002877, -0.023859, 0.4, 6)",
      "INSERT INTO V VALUES (0.002878, 0.35, 1.2, 0.8, 0.0000001, 7)",
      "SELECT U, R - 0.002877, N + 0.023859, I = 0.002877, R * 0.3 FROM V WHERE U IN (6, 7)",
      "SELECT I, T, R, N, B, typeof(I), typeof(T), typeof(R), typeof(N), typeof(B) FROM V",
      // Comparisons under affinities: a text against a number column and back.
      "SELECT COUNT(*) FROM V WHERE I = '5' OR T = 5 OR R = '1.5' OR N = 2.5 OR B = 5",
      "SELECT U FROM V WHERE T LIKE 'O''B%' OR T = '007' OR I IN (12.5, '7', 8) ORDER BY 1",
      "SELECT 0 RETORNO , '' MSG_RET , 1.5 AS R, 'x' || 'y', 2 FROM V WHERE U = 1",
      // Failures: a constraint, a check, a missing table, bad syntax; nothing changes.
      "INSERT INTO V VALUES (1, 'dup', 1, 1, 1, 1)", "UPDATE V SET U = 150 WHERE U = 2",
      "SELECT X FROM NAO_EXISTE WHERE X = 1", "SELECT I FROM V WHERE I = 1abc",
      "UPDATE V SET T = 'changed' , R = R + 1.25 WHERE U IN (1, 3) AND I <> -1",
      " DELETE V  WHERE U =  5 ", "SELECT * FROM V ORDER BY U",
      // A rewritten text keeps its shape; a text of that shape as written,
      // and one with the rewritten word only inside a literal, share it.
      "SELECT COUNT(*) FROM V WHERE date(SYSDATE) = date('now', 'localtime') AND U = 1",
      "SELECT COUNT(*) FROM V WHERE date(datetime('now', 'localtime')) = date('now') AND U = 3",
      "SELECT COUNT(*) FROM V WHERE date(datetime('SYSDATE', 'x')) IS NULL AND U = 4",
      "SELECT CARGA_ID, ALTURA_M FROM CARGA WHERE DOCTO_TRANSPORTE_ID = 100 ORDER BY 1"};
  for (const std::string* text : {&db.text(), &plain.text(), &small.text()}) run(setup, *text);
  // Twice over, so the second round runs the kept shapes (and the small cache's evictions).
  for (int round = 0; round < 2; ++round)
    for (const std::string& statement : statements) {
      std::string unshared = outcome([&] { return run(statement, plain.text()); });
      EXPECT_EQ(outcome([&] { return run(statement, db.text()); }), unshared) << statement;
      EXPECT_EQ(outcome([&] { return run(statement, small.text()); }), unshared) << statement;
    }
  EXPECT_TRUE(fails("SELECT 1", db.text() + ";Statement Cache=lots", "Statement Cache"));
  EXPECT_TRUE(fails("SELECT 1", db.text() + ";Statement Cache=1001", "0 to 1000"));
}

TEST_F(SqliteTest, ALockHeldPastTheTimeoutFailsAndTheNextCallSucceeds) {
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db.path().c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const std::string impatient = db.text() + ";Busy Timeout=50";
  EXPECT_TRUE(fails("UPDATE CARGA SET NUM_VOLUME = 9", impatient, "locked"));
  EXPECT_TRUE(fails("EXEC SP_KTR_EXC_CARGA_AWB   200, 0", impatient));
  // A procedure that only reads takes no write lock.
  EXPECT_EQ(run("EXEC SP_KTR_CON_CARGA_AWB   100", impatient).rows.size(), 3u);
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(run("EXEC SP_KTR_EXC_CARGA_AWB   200, 0", impatient).rows[0][0], Variant(int32_t{0}));
  EXPECT_EQ(run("SELECT SUM(NUM_VOLUME) FROM CARGA", impatient).rows[0][0], Variant(int32_t{4}));
  // Its steps, kept prepared on the session, read the data as it is now.
  EXPECT_EQ(run("EXEC SP_KTR_CON_CARGA_AWB   100", impatient).rows.size(), 2u);
}

TEST_F(SqliteTest, ProcedureRefusalsAnswerRetornoOneAndKeepNothing) {
  // 110 deleted takes no change, no piece and no second delete.
  EXPECT_EQ(one("EXEC SP_KTR_EXC_SOLICIT_COLETA   110, 7"), Variant(int32_t{0}));
  // A refusal keeps nothing, not even an allocated key.
  auto state = [&] {
    return one("SELECT (SELECT group_concat(NOME_CHAVE || ULTIMO_VALOR) FROM KTR_SEQUENCIA) || "
               "(SELECT group_concat(DOCTO_TRANSPORTE_ID || ':' || CLIENTE_ID || ':' || "
               "TAB_STATUS_ID || ':' || TXT_EMBALAGEM) FROM DOCTO_TRANSPORTE) || "
               "(SELECT group_concat(CARGA_ID) FROM CARGA) || "
               "(SELECT COUNT(*) FROM KTR_AUDITORIA)")
        .text();
  };
  const std::string before = state();
  const std::string client = "Cliente não encontrado.", coleta = "Coleta não encontrada.",
                    document = "Documento de transporte não encontrado.";
  const std::pair<const char*, std::string> refusals[] = {
      {"INC_SOLICIT_COLETA   4, 11, 12, 4, 1, 1, 5, 'x', 1, 7", client},
      {"INC_SOLICIT_COLETA   2, 77, 12, 4, 1, 1, 5, 'x', 1, 7",
       "Endereço do destinatário não encontrado."},
      {"INC_SOLICIT_COLETA   2, 11, 12, 4, 'abc', 1, 5, 'x', 1, 7", "Valor numérico inválido."},
      {"ALT_SOLICIT_COLETA   9999, 2, 11, 12, 1, 1, 1, 5, 'x', 1, 7", coleta},
      {"ALT_SOLICIT_COLETA   100, 4, 11, 12, 1, 1, 1, 5, 'x', 1, 7", client},
      {"ALT_SOLICIT_COLETA   110, 2, 13, 11, 1, 1, 1, 5, 'x', 1, 7", coleta},
      {"EXC_SOLICIT_COLETA   110, 7", coleta},
      {"INC_CARGA_awb   110, 1, 1, 1, 1", document},
      {"INC_CARGA_awb   9999, 1, 1, 1, 1", document}};
  for (const auto& [call, message] : refusals) {
    auto rows = exec(std::string("EXEC SP_KTR_") + call);
    EXPECT_EQ(rows.columns, (std::vector<std::string>{"retorno", "MSG_RET"})) << call;
    EXPECT_EQ(rows.rows.at(0), (std::vector<Variant>{int32_t{1}, Variant(message)})) << call;
  }
  EXPECT_EQ(state(), before);
}

// Inside a caller's transaction a procedure refused before it wrote leaves
// the transaction going; one that fails after its key was counted cannot undo
// that alone, so the whole transaction goes and nothing after it is stored.
TEST_F(SqliteTest, AProcedureFailingAfterItWroteGivesUpTheCallersTransaction) {
  exec(
      "CREATE TRIGGER SETE BEFORE INSERT ON CARGA WHEN NEW.NUM_VOLUME = 7 "
      "BEGIN SELECT RAISE(ABORT, 'sete volumes'); END");
  auto state = [&] {
    return one("SELECT (SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = 'CARGA_ID') "
               "|| ':' || (SELECT group_concat(CARGA_ID || '/' || NUM_VOLUME) FROM CARGA)")
        .text();
  };
  const std::string before = state();
  {
    auto transaction = currentStatementRunner()->transaction(db.text(), true);
    exec("UPDATE CARGA SET NUM_VOLUME = 5 WHERE CARGA_ID = 200");
    EXPECT_EQ(one("EXEC SP_KTR_INC_CARGA_awb   9999, 1, 1, 1, 2"), Variant(int32_t{1}));
    EXPECT_EQ(one("EXEC SP_KTR_INC_CARGA_awb   100, 1, 1, 1, 2"), Variant(int32_t{1000}));
    EXPECT_TRUE(fails("EXEC SP_KTR_INC_CARGA_awb   100, 1, 1, 1, 7", db.text(), "sete volumes"));
    EXPECT_TRUE(fails("EXEC SP_KTR_INC_CARGA_awb   100, 1, 1, 1, 2", db.text(), "abandoned"));
    EXPECT_TRUE(fails("SELECT 1", db.text(), "abandoned"));
    EXPECT_NE(failureOf([&] { transaction->commit(); }).description, "");
  }
  EXPECT_EQ(state(), before);
  // The same calls without the failing one: a refusal takes nothing away.
  {
    auto transaction = currentStatementRunner()->transaction(db.text(), true);
    exec("UPDATE CARGA SET NUM_VOLUME = 5 WHERE CARGA_ID = 200");
    EXPECT_EQ(one("EXEC SP_KTR_INC_CARGA_awb   9999, 1, 1, 1, 2"), Variant(int32_t{1}));
    EXPECT_EQ(one("EXEC SP_KTR_INC_CARGA_awb   100, 1, 1, 1, 2"), Variant(int32_t{1000}));
    transaction->commit();
  }
  EXPECT_EQ(state(), "1000:200/5,201/3,202/1,1000/2");
}

TEST_F(SqliteTest, ProcedurePiecesGoByDocumentOrOneByOne) {
  ASSERT_EQ(one("EXEC SP_KTR_INC_CARGA_awb   110, 0.5, 1.25, 2, 3"), Variant(int32_t{1000}));
  // (piece, document): without a document (0 or NULL) only the piece goes;
  // with one, all its pieces whatever the piece says; removing nothing is fine.
  const std::pair<const char*, const char*> deletes[] = {{"201, 0", "200,202,1000"},
                                                         {"202, NULL", "200,1000"},
                                                         {"1000, 100", "1000"},
                                                         {"NULL, 4242", "1000"}};
  for (const auto& [arguments, left] : deletes) {
    EXPECT_EQ(one(std::string("EXEC SP_KTR_EXC_CARGA_AWB   ") + arguments), Variant(int32_t{0}));
    EXPECT_EQ(one("SELECT group_concat(CARGA_ID) FROM CARGA"), Variant(left)) << arguments;
  }
}

TEST_F(SqliteTest, AFileTheProcessMayOnlyReadIsReadAndNeverChanged) {
  // A read never turns an empty file into a database.
  const std::string empty = db.path().string() + ".empty";
  std::ofstream{empty};
  EXPECT_TRUE(fails("SELECT COUNT(*) FROM CARGA", "Provider=SQLite;Data Source=" + empty));
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  std::filesystem::remove(empty);

  // The demo database in a directory of its own that another user may only
  // read: a child process of that user reads it, in plain SQL and through a
  // procedure, and the directory gains no file.
  const auto dir = std::filesystem::path(db.path().string() + ".ro");
  std::filesystem::create_directory(dir);
  std::filesystem::copy_file(db.path(), dir / "coleta.db");
  std::filesystem::permissions(
      dir, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
               std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
               std::filesystem::perms::others_exec);
  const std::string text = "Provider=SQLite;Data Source=" + (dir / "coleta.db").string();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    if (access(dir.c_str(), W_OK) == 0) _exit(4);  // the test would prove nothing
    installStatementRunner(makeDatabaseRunner());
    try {
      bool ok = run("SELECT COUNT(*) FROM CARGA", text).rows.at(0).at(0) == Variant(int32_t{3}) &&
                run("EXEC SP_KTR_CON_CARGA_AWB 100", text).rows.size() == 3;
      _exit(ok ? 0 : 1);
    } catch (const std::exception&) {
      _exit(2);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}

TEST_F(SqliteTest, IdentifierBadKeysAndDatabasesAnswerFalseWithAMessage) {
  for (const char* key : {"NAO_EXISTE", "X' OR '1'='1", "", "CARGA_ID; DROP TABLE CARGA"}) {
    std::string message;
    int32_t id = -5;
    EXPECT_FALSE(allocate(db.text(), key, message, id)) << key;
    EXPECT_NE(message, "") << key;
    EXPECT_EQ(id, -5) << key;
  }
  EXPECT_EQ(one("SELECT SUM(ULTIMO_VALOR) FROM KTR_SEQUENCIA"), Variant(int32_t{1998}));
  // An unusable database: false with a message, for a key and for an audit row.
  std::string message, kind = "ORACLE", broken = kNoSuchFile, why;
  int32_t id = 0, entity = 13, operation = 2, user = 7, document = 100, unused = 0;
  EXPECT_FALSE(allocate(kNoSuchFile, "CARGA_ID", message, id));
  EXPECT_NE(message.find("CARGA_ID"), std::string::npos) << message;
  EXPECT_FALSE(vb::isTrue(outside::DefaultIdentifierUtil().op3_record(
      kind, entity, operation, user, document, unused, why, broken)));
  EXPECT_NE(why, "");
}

// A block of keys reserved inside a transaction that rolls back goes with it:
// handing its keys out would give them twice, since the counter went back too.
TEST_F(SqliteTest, KeysAreReservedInBlocksThatGoWithARollback) {
  std::string message;
  int32_t first = 0, again = 0, next = 0;
  {
    auto abandoned = currentStatementRunner()->transaction(db.text(), true);
    ASSERT_TRUE(allocate(db.text(), "CARGA_ID", message, first)) << message;
  }
  ASSERT_TRUE(allocate(db.text(), "CARGA_ID", message, again)) << message;
  ASSERT_TRUE(allocate(db.text(), "CARGA_ID", message, next)) << message;
  EXPECT_EQ(again, first);
  EXPECT_EQ(next, first + 1);
  EXPECT_EQ(vb::clng(one("SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = 'CARGA_ID'")),
            first + outside::KeyBlocks::kBlockSize - 1);
  // A forked child reserves a block of its own: the rest of the parent's
  // block stays the parent's, so no key is handed out in both.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    installStatementRunner(makeDatabaseRunner());
    int32_t mine = 0;
    std::string why;
    if (!allocate(db.text(), "CARGA_ID", why, mine)) _exit(2);
    _exit(mine == first + outside::KeyBlocks::kBlockSize ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_TRUE(allocate(db.text(), "CARGA_ID", message, next)) << message;
  EXPECT_EQ(next, first + 2);
}

TEST_F(SqliteTest, DatabaseSetupCreatesOnceAndRefusesAnInitialisedDatabase) {
  TempDatabase empty(TempDatabase::Content::Nothing);
  initDatabase(empty.text(), false);
  auto counts = [&] {
    return run("SELECT (SELECT COUNT(*) FROM DOCTO_TRANSPORTE) || '/' || (SELECT COUNT(*) FROM "
               "KTR_PROCEDIMENTO) || '/' || (SELECT COUNT(*) FROM KTR_AUDITORIA)",
               empty.text())
        .rows[0][0];
  };
  EXPECT_EQ(counts(), Variant("0/9/0"));
  run("INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, DATA_HORA) VALUES (1, 1, 'x')", empty.text());
  for (bool demo : {false, true})
    EXPECT_NE(
        failureOf([&] { initDatabase(empty.text(), demo); }).description.find("DOCTO_TRANSPORTE"),
        std::string::npos);
  EXPECT_EQ(counts(), Variant("0/9/1"));  // what was stored stays
  EXPECT_NE(failureOf([] { initDatabase(kNoSuchFile, true); }).number, 0);
}

}  // namespace
}  // namespace z418kt::data
