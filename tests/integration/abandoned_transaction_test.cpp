// When the engine gives up a save's or delete's whole transaction, the call
// still ends as its steps do when each commits on its own: what the earlier
// steps stored stays, the failing step's message and status come back, and no
// output names a row that is not there.
#include "data/recordset.h"
#include "kit/unit_of_work.h"
#include "support/engine_fixture.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

const Variant kOk(int16_t{0}), kFailed(int16_t{10});

class AbandonedTransaction : public EngineTest {
 protected:
  // A trigger on `table` for `event` ("INSERT", "UPDATE") that makes the
  // engine give up the whole transaction: SQLite's RAISE(ROLLBACK); on
  // PostgreSQL a deferred check whose failure refuses the commit (and, in
  // autocommit, the statement). Its message is "transacao abandonada".
  void abandonOn(const std::string& table, const std::string& event) {
    if (engine() == "sqlite") {
      execute("CREATE TRIGGER ABANDONA BEFORE " + event + " ON " + table +
              " BEGIN SELECT RAISE(ROLLBACK, 'transacao abandonada'); END");
    } else if (engine() == "postgresql") {
      execute(
          "CREATE FUNCTION ABANDONA() RETURNS trigger LANGUAGE plpgsql AS "
          "'BEGIN RAISE EXCEPTION ''transacao abandonada''; END'");
      execute("CREATE CONSTRAINT TRIGGER ABANDONA AFTER " + event + " ON " + table +
              " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION ABANDONA()");
    } else {
      GTEST_SKIP() << "no abandoning trigger written for " << engine();
    }
  }
  void dropTrigger(const std::string& table) {
    execute(engine() == "sqlite" ? "DROP TRIGGER ABANDONA" : "DROP TRIGGER ABANDONA ON " + table);
  }
  int32_t pieces(int32_t id) {
    return queryInt("SELECT COUNT(*) FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id));
  }
  int32_t documents(int32_t id) {
    return queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " +
                    std::to_string(id));
  }
  int32_t status(int32_t id) {
    return queryInt("SELECT TAB_STATUS_ID FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " +
                    std::to_string(id));
  }
  static testing::Coleta withPieces(int n) {
    testing::Coleta c;
    std::vector<std::array<Variant, 4>> rows;
    for (int r = 0; r < n; ++r)
      rows.push_back({Variant(int32_t{2}), Variant("0,5"), Variant("0,4"), Variant("0,6")});
    c.setPieces(rows);
    return c;
  }
};

TEST_P(AbandonedTransaction, ASaveKeepsTheHeaderAndRetriesOnIt) {
  abandonOn("CARGA", "INSERT");
  const int32_t before = queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE");
  testing::Coleta c = withPieces(1);
  EXPECT_EQ(vb::concatText(save(c)), "10");
  const std::string message = vb::concatText(msg);
  // The cargo builder's message (the procedure's or the Oracle builder's).
  EXPECT_NE(message.find("CARGA"), std::string::npos) << message;
  EXPECT_NE(message.find("transacao abandonada"), std::string::npos) << message;
  EXPECT_EQ(message.find("nothing was stored"), std::string::npos) << message;
  // The header stays and its id came back; the row's id column stays as given.
  ASSERT_EQ(vb::concatText(c.id), std::to_string(demo::kFirstNewKey));
  EXPECT_EQ(documents(demo::kFirstNewKey), 1);
  EXPECT_EQ(pieces(demo::kFirstNewKey), 0);
  EXPECT_EQ(vb::concatText(c.matriz.array().at(4, 0)), "");

  // The same variables once the cause is gone: the update path, then the piece.
  dropTrigger("CARGA");
  EXPECT_EQ(vb::concatText(save(c)), "0") << vb::concatText(msg);
  EXPECT_EQ(vb::concatText(c.id), std::to_string(demo::kFirstNewKey));
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE"), before + 1);
  EXPECT_EQ(pieces(demo::kFirstNewKey), 1);
}

TEST_P(AbandonedTransaction, ADeleteKeepsThePiecesRemoved) {
  // Both forms mark the document deleted.
  abandonOn("DOCTO_TRANSPORTE", "UPDATE");
  EXPECT_EQ(vb::concatText(erase(demo::kColeta)), "10");
  const std::string message = vb::concatText(msg);
  EXPECT_NE(message.find("EXC_SOLICIT_COLETA"), std::string::npos) << message;
  EXPECT_NE(message.find("transacao abandonada"), std::string::npos) << message;
  EXPECT_EQ(pieces(demo::kColeta), 0);
  EXPECT_EQ(documents(demo::kColeta), 1);
  EXPECT_EQ(status(demo::kColeta), 1);
}

// A piece the database refuses after the procedure counted its key: the
// pieces before it stay, the refused one leaves no key behind, and the next
// piece saved takes the key after the last stored one.
TEST_P(AbandonedTransaction, APieceRefusedAfterItsKeyWasCountedLeavesNoGap) {
  if (engine() != "sqlite") GTEST_SKIP() << "the refusal is made with a SQLite trigger";
  execute(
      "CREATE TRIGGER SETE BEFORE INSERT ON CARGA WHEN NEW.NUM_VOLUME = 7 "
      "BEGIN SELECT RAISE(ABORT, 'sete volumes'); END");
  testing::Coleta c;
  c.setPieces({{Variant(int32_t{2}), Variant("0,5"), Variant("0,4"), Variant("0,3")},
               {Variant(int32_t{7}), Variant("1"), Variant("1"), Variant("1")},
               {Variant(int32_t{1}), Variant("1,2"), Variant("0,8"), Variant("0,6")}});
  EXPECT_EQ(vb::concatText(save(c)), "10");
  EXPECT_NE(vb::concatText(msg).find("sete volumes"), std::string::npos) << vb::concatText(msg);
  ASSERT_EQ(vb::concatText(c.id), std::to_string(demo::kFirstNewKey));
  EXPECT_EQ(documents(demo::kFirstNewKey), 1);
  EXPECT_EQ(pieces(demo::kFirstNewKey), 1);
  EXPECT_EQ(vb::concatText(c.matriz.array().at(4, 0)), std::to_string(demo::kFirstNewKey));
  EXPECT_EQ(vb::concatText(c.matriz.array().at(4, 1)), "");
  EXPECT_EQ(vb::concatText(c.matriz.array().at(4, 2)), "");
  if (oracle()) return;  // the Oracle builder's keys come in blocks
  EXPECT_EQ(queryInt("SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = 'CARGA_ID'"),
            demo::kFirstNewKey);
  testing::Coleta next = withPieces(1);
  EXPECT_EQ(vb::concatText(save(next)), "0") << vb::concatText(msg);
  EXPECT_EQ(vb::concatText(next.matriz.array().at(4, 0)), std::to_string(demo::kFirstNewKey + 1));
}

// psqlODBC told to roll the whole transaction back on any error: an ordinary
// refusal of the cargo insert then gives up the transaction too.
TEST_P(AbandonedTransaction, ADriverThatDropsTheTransactionKeepsTheEarlierSteps) {
  if (GetParam().name != "postgresql") GTEST_SKIP() << "psqlODBC only";
  execute(
      "CREATE FUNCTION RECUSA() RETURNS trigger LANGUAGE plpgsql AS "
      "'BEGIN RAISE EXCEPTION ''carga recusada''; END'");
  execute("CREATE TRIGGER RECUSA BEFORE INSERT ON CARGA FOR EACH ROW EXECUTE FUNCTION RECUSA()");
  conecta = Variant(connection() + ";Protocol=7.4-1");
  testing::Coleta c = withPieces(1);
  EXPECT_EQ(vb::concatText(save(c)), "10");
  EXPECT_NE(vb::concatText(msg).find("carga recusada"), std::string::npos) << vb::concatText(msg);
  ASSERT_EQ(vb::concatText(c.id), std::to_string(demo::kFirstNewKey));
  EXPECT_EQ(documents(demo::kFirstNewKey), 1);
}

// Rows a caller stores with the change: in the same commit on the normal
// path, with the first storing step in the step-by-step run, never without it.
TEST_P(AbandonedTransaction, ChangeWritersAreStoredExactlyWithTheChange) {
  execute("CREATE TABLE EVENTO (DOCTO_TRANSPORTE_ID INTEGER)");
  int calls = 0;
  bool fail = false;
  ChangeWriters writer([&](const StoredChange& change) {
    ++calls;
    if (fail) throw AutomationError(5, "evento recusado");
    data::Recordset rs;
    rs.open("INSERT INTO EVENTO (DOCTO_TRANSPORTE_ID) VALUES (" +
                vb::concatText(change.documentId) + ")",
            change.connection, data::adUnspecified, data::adUnspecified, data::adUnspecified);
  });
  auto events = [&](int32_t id) {
    return queryInt("SELECT COUNT(*) FROM EVENTO WHERE DOCTO_TRANSPORTE_ID = " +
                    std::to_string(id));
  };
  testing::Coleta stored = withPieces(1);
  EXPECT_EQ(vb::concatText(save(stored)), "0");
  EXPECT_EQ(events(demo::kFirstNewKey), 1);
  // Refused before anything is stored: nothing written.
  testing::Coleta refused = withPieces(1);
  refused.cliente = Variant("");
  EXPECT_EQ(vb::concatText(save(refused)), "10");
  EXPECT_EQ(calls, 1);
  // Given up: the header and its event stay, the rolled-back attempt's row does not.
  abandonOn("CARGA", "INSERT");
  testing::Coleta header = withPieces(1);
  EXPECT_EQ(vb::concatText(save(header)), "10");
  EXPECT_EQ(vb::concatText(header.id), std::to_string(demo::kFirstNewKey + 1));
  EXPECT_EQ(events(demo::kFirstNewKey + 1), 1);
  EXPECT_EQ(calls, 3);
  // A writer that fails keeps its step from being stored, and the id from coming back.
  fail = true;
  testing::Coleta none = withPieces(1);
  EXPECT_EQ(vb::concatText(save(none)), "10");
  EXPECT_EQ(vb::concatText(none.id), "0");
  EXPECT_NE(vb::concatText(msg).find("evento recusado"), std::string::npos) << vb::concatText(msg);
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID > " +
                     std::to_string(demo::kFirstNewKey + 1)),
            0);
}

// An exception that leaves the operation after a step stored (a user id the
// trap cannot compare) keeps what the steps stored.
TEST_P(AbandonedTransaction, AnEarlyExceptionKeepsTheStoredSteps) {
  // A number to the steps (user 2000 written the Brazilian way), no number to
  // the trap's comparison. PostgreSQL's procedures take the user as an
  // integer and refuse the text before anything is stored.
  if (engine() == "postgresql" && !oracle()) GTEST_SKIP() << "the procedures refuse the user id";
  usuario = Variant("2.000,0");
  ASSERT_ANY_THROW((void)vb::equals(usuario, Variant(int32_t{1})));
  // The header is changed and the pieces removed, then the matrix cannot be read.
  testing::Coleta c;
  c.id = Variant(demo::kColeta);
  c.volumes = Variant(int32_t{9});
  c.linhas = Variant(int32_t{1});
  c.matriz = Variant();
  ASSERT_EQ(pieces(demo::kColeta), 3);
  EXPECT_ANY_THROW(save(c));
  EXPECT_EQ(pieces(demo::kColeta), 0);
  EXPECT_EQ(queryInt("SELECT NUM_VOLUME FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " +
                     std::to_string(demo::kColeta)),
            9);
}

INSTANTIATE_ENGINE_TEST(AbandonedTransaction);

}  // namespace
}  // namespace z418kt
