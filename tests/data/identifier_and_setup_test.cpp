// The default IdentifierUtil on a real database, and the database set-up.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "data/database_setup.h"
#include "data/statement_runner.h"
#include "data/temp_database.h"
#include "outside/default_identifier_util.h"

namespace z418kt::testing {
namespace {

class IdentifierUtilTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = data::installStatementRunner(data::makeDatabaseRunner()); }
  void TearDown() override { data::installStatementRunner(previous_); }

  Variant allocate(const std::string& text, const std::string& key, std::string& message,
                   int32_t& id) {
    outside::DefaultIdentifierUtil util;
    Variant connection;
    return util.op1_allocate("SQLSERVER", 1, 0, "TRIVEMAR", "N", connection, text, key, message,
                             id);
  }
  Variant value(const std::string& statement) {
    return runDirect(db.text(), statement).rows.at(0).at(0);
  }

  TempDatabase db;

 private:
  std::shared_ptr<data::StatementRunner> previous_;
};

TEST_F(IdentifierUtilTest, ConcurrentCallersNeverShareAKey) {
  std::vector<std::vector<int32_t>> got(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        std::string message;
        int32_t id = 0;
        if (vb::isTrue(allocate(db.text(), "CARGA_ID", message, id)))
          got[t].push_back(id);
        else
          ADD_FAILURE() << message;
      }
    });
  for (auto& t : threads) t.join();
  std::set<int32_t> distinct;
  for (const auto& ids : got) distinct.insert(ids.begin(), ids.end());
  EXPECT_EQ(distinct.size(), 2000u);
  EXPECT_EQ(*distinct.begin(), 1000);  // right after the demo keys
  EXPECT_EQ(*distinct.rbegin(), 2999);
}

TEST_F(IdentifierUtilTest, UnknownOrUnsafeKeysAndBrokenDatabasesAnswerFalseWithAMessage) {
  for (const char* key : {"NAO_EXISTE", "X' OR '1'='1", "", "CARGA_ID; DROP TABLE CARGA"}) {
    std::string message;
    int32_t id = -5;
    EXPECT_FALSE(vb::isTrue(allocate(db.text(), key, message, id))) << key;
    EXPECT_NE(message, "") << key;
    EXPECT_EQ(id, -5) << key;
  }
  EXPECT_EQ(value("SELECT SUM(ULTIMO_VALOR) FROM KTR_SEQUENCIA"), Variant(int32_t{1998}));

  std::string message;
  int32_t id = 0;
  EXPECT_FALSE(vb::isTrue(
      allocate("Provider=SQLite;Data Source=/no/such/dir/x.db", "CARGA_ID", message, id)));
  EXPECT_NE(message.find("CARGA_ID"), std::string::npos) << message;
}

TEST_F(IdentifierUtilTest, RecordsTheAuditRowOrSaysWhyNot) {
  outside::DefaultIdentifierUtil util;
  std::string kind = "ORACLE", message, text = db.text();
  int32_t entity = 13, operation = 2, user = 7, document = 100, unused = 0;
  EXPECT_TRUE(
      vb::isTrue(util.op3_record(kind, entity, operation, user, document, unused, message, text)));
  EXPECT_EQ(value("SELECT ENTIDADE || '/' || OPERACAO || '/' || USUARIO_ID || '/' || "
                  "DOCTO_TRANSPORTE_ID || '/' || length(DATA_HORA) FROM KTR_AUDITORIA"),
            Variant("13/2/7/100/19"));

  std::string broken = "Provider=SQLite;Data Source=/no/such/dir/x.db";
  EXPECT_FALSE(vb::isTrue(
      util.op3_record(kind, entity, operation, user, document, unused, message, broken)));
  EXPECT_NE(message, "");
}

TEST(DatabaseSetup, CreatesOnceAndRefusesAnInitialisedDatabase) {
  TempDatabase empty(TempDatabase::Content::Nothing);
  data::initDatabase(empty.text(), false);
  auto count = [&](const std::string& table) {
    return runDirect(empty.text(), "SELECT COUNT(*) FROM " + table).rows[0][0];
  };
  EXPECT_EQ(count("DOCTO_TRANSPORTE"), Variant(int32_t{0}));
  EXPECT_EQ(count("KTR_PROCEDIMENTO"), Variant(int32_t{9}));
  EXPECT_EQ(count("INFRA_IDS"), Variant(int32_t{1}));

  runDirect(empty.text(),
            "INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, DATA_HORA) "
            "VALUES (1, 1, 'x')");
  for (bool demo : {false, true}) {
    try {
      data::initDatabase(empty.text(), demo);
      ADD_FAILURE() << "initialised twice";
    } catch (const AutomationError& e) {
      EXPECT_NE(e.description.find("DOCTO_TRANSPORTE"), std::string::npos) << e.description;
    }
  }
  EXPECT_EQ(count("KTR_AUDITORIA"), Variant(int32_t{1}));  // what was stored stays
  EXPECT_EQ(count("DOCTO_TRANSPORTE"), Variant(int32_t{0}));

  EXPECT_THROW(data::initDatabase("Provider=SQLite;Data Source=/no/such/dir/x.db", true),
               AutomationError);
}

}  // namespace
}  // namespace z418kt::testing
