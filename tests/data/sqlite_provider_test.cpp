// Record sets on a real SQLite file through the database runner: ADO's
// semantics, the value mapping, the session settings and the engine errors.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "data/recordset.h"
#include "data/statement_runner.h"
#include "data/temp_database.h"

namespace z418kt::data {
namespace {

using testing::TempDatabase;

class SqliteProviderTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = installStatementRunner(makeDatabaseRunner()); }
  void TearDown() override { installStatementRunner(previous_); }

  RowSet run(const std::string& statement, const std::string& text) {
    return currentStatementRunner()->run({statement, text, adUseClient, -1, -1, -1});
  }
  // The AutomationError a statement ends in.
  AutomationError failureOf(const std::string& statement, const std::string& text) {
    try {
      run(statement, text);
    } catch (const AutomationError& e) {
      return e;
    }
    ADD_FAILURE() << "no error from " << statement;
    return {0, ""};
  }

  TempDatabase db;

 private:
  std::shared_ptr<StatementRunner> previous_;
};

TEST_F(SqliteProviderTest, RecordsetFollowsAdoOnRowsEofAndClosedSets) {
  Recordset rs;
  rs.setCursorLocation(adUseClient);
  rs.open("SELECT CARGA_ID, NUM_VOLUME AS Num_Volume FROM CARGA ORDER BY CARGA_ID", db.text(),
          adOpenStatic, adLockReadOnly, adUnspecified);
  ASSERT_EQ(rs.state(), adStateOpen);
  EXPECT_FALSE(rs.eof());
  EXPECT_EQ(rs.recordCount(), 3);
  EXPECT_EQ(vb::clng(rs.fieldsItem("carga_id")), 200);
  EXPECT_EQ(vb::clng(rs.fieldsItem("NUM_VOLUME")), 2);
  try {
    rs.fieldsItem("LARGURA_M");
    ADD_FAILURE() << "missing column read";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 3265);
  }
  rs.moveLast();
  EXPECT_EQ(vb::clng(rs.fieldsItem("CARGA_ID")), 202);
  rs.moveFirst();
  rs.moveNext();
  rs.moveNext();
  rs.moveNext();
  EXPECT_TRUE(rs.eof());
  try {
    rs.fieldsItem("CARGA_ID");
    ADD_FAILURE() << "field read at EOF";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 3021);
  }
  rs.close();

  Recordset empty;
  empty.open("SELECT CARGA_ID FROM CARGA WHERE 1 = 0", db.text(), -1, -1, -1);
  EXPECT_EQ(empty.state(), adStateOpen);
  EXPECT_TRUE(empty.eof());

  // A statement without result columns leaves the record set closed.
  Recordset write;
  write.open(" DELETE CARGA  WHERE CARGA_ID =  201 ", db.text(), -1, -1, -1);
  EXPECT_EQ(write.state(), adStateClosed);
  try {
    write.eof();
    ADD_FAILURE() << "EOF of a closed record set";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 3704);
  }
  EXPECT_EQ(run("SELECT COUNT(*) FROM CARGA", db.text()).rows[0][0], Variant(int32_t{2}));
}

TEST_F(SqliteProviderTest, ValuesMapToVariantsAndNamesComeAsWritten) {
  auto rows =
      run("SELECT 7 AS Small, 3000000000 AS Big, -2147483648 AS Low, 0.1 AS Real_, "
          "'ação' AS Txt, NULL AS Nada, X'4142' AS Bytes, SYSDATE AS Agora",
          db.text());
  EXPECT_TRUE(rows.hasResultSet);
  EXPECT_EQ(rows.columns, (std::vector<std::string>{"Small", "Big", "Low", "Real_", "Txt", "Nada",
                                                    "Bytes", "Agora"}));
  const auto& r = rows.rows.at(0);
  EXPECT_EQ(r[0], Variant(int32_t{7}));
  EXPECT_EQ(r[1], Variant(3000000000.0));
  EXPECT_EQ(r[2], Variant(int32_t{-2147483647 - 1}));
  EXPECT_EQ(r[3], Variant(0.1));
  EXPECT_EQ(r[4], Variant("ação"));
  EXPECT_TRUE(r[5].isNull());
  EXPECT_EQ(r[6], Variant("AB"));
  EXPECT_EQ(r[7].text().size(), 19u);  // "YYYY-MM-DD HH:MM:SS"
}

TEST_F(SqliteProviderTest, SessionsRunInWalWithDurableCommitsUnlessTold) {
  TempDatabase durable(TempDatabase::Content::Demo, ";Synchronous=");
  EXPECT_EQ(run("PRAGMA journal_mode", durable.text()).rows[0][0], Variant("wal"));
  EXPECT_EQ(run("PRAGMA synchronous", durable.text()).rows[0][0], Variant(int32_t{2}));
  std::string normal = durable.text() + ";synchronous='Normal'";
  EXPECT_EQ(run("PRAGMA synchronous", normal).rows[0][0], Variant(int32_t{1}));
  EXPECT_THROW(run("SELECT 1", durable.text() + ";Synchronous=Fast"), AutomationError);
}

TEST_F(SqliteProviderTest, EngineErrorsCarrySqlitesMessageAndChangeNothing) {
  AutomationError missing = failureOf("SELECT * FROM NAO_EXISTE", db.text());
  EXPECT_EQ(missing.number, errors::provider("").number);
  EXPECT_NE(missing.description.find("no such table: NAO_EXISTE"), std::string::npos)
      << missing.description;
  EXPECT_NE(failureOf("SELEC 1", db.text()).description.find("syntax error"), std::string::npos);
  EXPECT_THROW(run("SELECT 1; DROP TABLE CARGA", db.text()), AutomationError);
  EXPECT_THROW(run("INSERT INTO INFRA_IDS (INFRA_IDS_ID) VALUES (2)", db.text()),
               AutomationError);  // a CHECK constraint
  EXPECT_EQ(run("SELECT COUNT(*) FROM CARGA", db.text()).rows[0][0], Variant(int32_t{3}));
}

TEST_F(SqliteProviderTest, UnusableFilesAndTextsAreAutomationErrors) {
  auto dir = db.path().parent_path();
  std::string missingFile = (dir / "z418kt-no-such-file.db").string();
  EXPECT_THROW(run("SELECT 1", "Provider=SQLite;Data Source=" + missingFile), AutomationError);
  EXPECT_FALSE(std::filesystem::exists(missingFile));  // never created by a read
  EXPECT_THROW(run("SELECT 1", "Provider=SQLite;Data Source=/no/such/dir/x.db"), AutomationError);
  EXPECT_THROW(run("SELECT 1", "Provider=SQLite;Data Source=" + dir.string()), AutomationError);
  EXPECT_THROW(run("SELECT 1", "Provider=SQLite"), AutomationError);

  std::string foreign = db.path().string() + ".txt";
  std::ofstream(foreign) << "not a database, only text that is long enough to be a header";
  AutomationError e = failureOf("SELECT 1", "Provider=SQLite;Data Source=" + foreign);
  EXPECT_NE(e.description.find("not a database"), std::string::npos) << e.description;
  std::filesystem::remove(foreign);
}

TEST_F(SqliteProviderTest, ALockHeldPastTheTimeoutFailsAndTheNextCallSucceeds) {
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db.path().c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::string impatient = db.text() + ";Busy Timeout=50";
  AutomationError e = failureOf("UPDATE CARGA SET NUM_VOLUME = 9", impatient);
  EXPECT_NE(e.description.find("locked"), std::string::npos) << e.description;
  EXPECT_THROW(run("EXEC SP_KTR_EXC_CARGA_AWB   200, 0", impatient), AutomationError);
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(run("EXEC SP_KTR_EXC_CARGA_AWB   200, 0", impatient).rows[0][0], Variant(int32_t{0}));
  EXPECT_EQ(run("SELECT SUM(NUM_VOLUME) FROM CARGA", impatient).rows[0][0], Variant(int32_t{4}));
}

}  // namespace
}  // namespace z418kt::data
