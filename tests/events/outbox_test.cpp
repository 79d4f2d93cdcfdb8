// Every change of a Coleta leaves exactly one event, written with the change:
// its kind, who made it and what changed, on every engine and dialect.
#include <gtest/gtest.h>

#include "events/event_store.h"
#include "events/outbox_setup.h"
#include "json/request.h"
#include "support/engine_fixture.h"
#include "z418kt/change_context.h"

namespace z418kt {
namespace {

using events::Json;
using testing::EngineTest;
namespace demo = testing::demo;

// The columns an SQLite event keeps its state before in, after "ANTES_".
constexpr const char* kStateColumns[] = {"EMPRESA_ID",          "CLIENTE_ID",    "END_REMETENTE_ID",
                                         "END_DESTINATARIO_ID", "NUM_VOLUME",    "PESO_REAL",
                                         "TXT_EMBALAGEM",       "VAL_DECLARADO", "TAB_STATUS_ID",
                                         "DATA_EMISSAO",        "CARGAS"};

class Outbox : public EngineTest {
 protected:
  // Saves through the JSON call path that `z418kt invoke` and `serve` use.
  Json save(int32_t id, int32_t volumes, const std::vector<std::array<double, 4>>& pieces,
            int32_t user = 7) {
    Json matrix = {{"vt", "ARRAY"}, {"lbounds", {0, 0}}, {"items", Json::array()}};
    for (int column = 0; column < 5; ++column) {
      Json items = Json::array();
      for (const auto& p : pieces) items.push_back(column < 4 ? Json(p[column]) : Json(""));
      matrix["items"].push_back(items);
    }
    if (pieces.empty()) matrix = nullptr;
    Json args = {{"invntConecta_DB", connection()},
                 {"invntUsuario_Internet_ID", user},
                 {"invntEmpresa_Id", 1},
                 {"invntBanco_Dados", GetParam().dialect},
                 {"INVNTCLIENTE_ID", demo::kEmpresa},
                 {"invntEND_DESTINATARIO_ID", demo::kEnderecoPessoaFisica},
                 {"invntEND_REMETENTE_ID", demo::kEnderecoEmpresa},
                 {"invntnum_volume", volumes},
                 {"invntpeso_real", "12,5"},
                 {"invnttxt_embalagem", "Caixas"},
                 {"invntval_declarado", "99,9"},
                 {"invntQtde_Linha", static_cast<int32_t>(pieces.size())},
                 {"invntQtde_Coluna", 5},
                 {"inarrvntMatriz_Dim", matrix},
                 {"iovntDOCTO_TRANSPORTE_ID", id}};
    return json::answerCall(component(), "gGrava_Coleta", args);
  }
  std::vector<events::Event> history(int32_t coleta) {
    events::EventStore store(connection());
    return store.history(coleta, 0, 100);
  }
  int32_t eventCount() { return queryInt("SELECT COUNT(*) FROM KTR_EVENTO"); }
  // What an SQLite outbox of an earlier version lacks: this version's
  // triggers and views, and the columns that keep the state before apart.
  void dropSqliteTriggersViewsAndStateColumns() {
    for (const char* trigger :
         {"DOCTO_INC", "DOCTO_ALT_ANTES", "DOCTO_BAIXA_ANTES", "DOCTO_EXC_ANTES", "CARGA_INC_ABRE",
          "CARGA_EXC_ANTES", "CARGA_ALT_ANTES", "DISTRIBUIDO", "NOVO_INC", "BAIXA_INC"})
      execute(std::string("DROP TRIGGER KTR_EVENTO_") + trigger);
    for (const char* view : {"NOVO", "HISTORICO", "SEGUIDO", "BAIXA", "ANTES", "NUMERO"})
      execute(std::string("DROP VIEW KTR_EVENTO_") + view);
    // Events in number order with an index by Coleta, numbered after the
    // greatest there was.
    execute("ALTER TABLE KTR_EVENTO RENAME TO KTR_EVENTO_ATUAL");
    std::string columns;
    for (const char* column : {"DOCTO_TRANSPORTE_ID INTEGER NOT NULL",
                               "DATA_HORA VARCHAR(30) NOT NULL",
                               "USUARIO_ID VARCHAR(40)",
                               "ORIGEM VARCHAR(100)",
                               "ANTES TEXT",
                               "DISTRIBUIDO INTEGER NOT NULL DEFAULT 0",
                               "FASE INTEGER",
                               "CARGAS TEXT",
                               "AUDITORIA_ID INTEGER",
                               "ANTES_EMPRESA_ID",
                               "ANTES_CLIENTE_ID",
                               "ANTES_END_REMETENTE_ID",
                               "ANTES_END_DESTINATARIO_ID",
                               "ANTES_NUM_VOLUME",
                               "ANTES_PESO_REAL",
                               "ANTES_TXT_EMBALAGEM",
                               "ANTES_VAL_DECLARADO",
                               "ANTES_TAB_STATUS_ID",
                               "ANTES_DATA_EMISSAO",
                               "ANTES_CARGAS TEXT"})
      columns += std::string(", ") + column;
    execute("CREATE TABLE KTR_EVENTO (EVENTO_ID INTEGER PRIMARY KEY" + columns + ")");
    execute(
        "INSERT INTO KTR_EVENTO SELECT EVENTO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, "
        "ORIGEM, ANTES, DISTRIBUIDO, FASE, CARGAS, AUDITORIA_ID, ANTES_EMPRESA_ID, "
        "ANTES_CLIENTE_ID, ANTES_END_REMETENTE_ID, ANTES_END_DESTINATARIO_ID, "
        "ANTES_NUM_VOLUME, ANTES_PESO_REAL, ANTES_TXT_EMBALAGEM, ANTES_VAL_DECLARADO, "
        "ANTES_TAB_STATUS_ID, ANTES_DATA_EMISSAO, ANTES_CARGAS FROM KTR_EVENTO_ATUAL");
    execute("DROP TABLE KTR_EVENTO_ATUAL");
    execute("CREATE INDEX KTR_EVENTO_COLETA ON KTR_EVENTO (DOCTO_TRANSPORTE_ID, EVENTO_ID, FASE)");
    execute("DELETE FROM sqlite_sequence WHERE name = 'KTR_EVENTO'");
    for (const char* column : kStateColumns)
      execute(std::string("ALTER TABLE KTR_EVENTO DROP COLUMN ANTES_") + column);
  }
  std::string historyText(int32_t coleta) {
    std::string out;
    for (const auto& e : history(coleta)) out += e.toJson().dump() + "\n";
    return out;
  }
};

TEST_P(Outbox, EachChangeOfAColetaIsOneEventWithWhoAndWhatChanged) {
  ASSERT_EQ(eventCount(), 0) << "the demo data is where the history starts";
  Json created;
  {
    ChangeActor actor("portal-clientes");
    created = save(0, 3, {{2, 0.5, 0.4, 0.3}, {1, 1.2, 0.8, 0.6}});
  }
  ASSERT_EQ(created["result"]["value"], 0) << created.dump();
  const int32_t id = created["args"]["iovntDOCTO_TRANSPORTE_ID"]["value"];
  auto events = history(id);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind(), "coleta.criada");
  EXPECT_EQ(events[0].user, "7");
  EXPECT_EQ(events[0].actor, "portal-clientes");
  EXPECT_TRUE(events[0].before.is_null());
  ASSERT_EQ(events[0].after["cargas"].size(), 2u);
  EXPECT_EQ(events[0].after["coleta"]["num_volume"], 3);

  // A header change with new pieces: one event, the header's differences listed.
  ASSERT_EQ(save(id, 5, {{4, 1, 1, 1}}, 8)["result"]["value"], 0);
  // The same header, other pieces.
  ASSERT_EQ(save(id, 5, {{4, 1, 1, 1}, {1, 2, 2, 2}}, 9)["result"]["value"], 0);
  // Another header without pieces; then a save the operations refuse, which
  // changes nothing and leaves no event.
  ASSERT_EQ(save(id, 6, {})["result"]["value"], 0);
  Json refused = json::answerCall(component(), "gGrava_Coleta",
                                  {{"invntConecta_DB", connection()},
                                   {"invntBanco_Dados", GetParam().dialect},
                                   {"INVNTCLIENTE_ID", 999999},
                                   {"iovntDOCTO_TRANSPORTE_ID", id}});
  EXPECT_NE(refused["result"]["value"], 0);
  Variant deleted = erase(id);
  ASSERT_EQ(deleted.i2(), 0) << vb::concatText(msg);

  events = history(id);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[1].kind(), "coleta.alterada");
  EXPECT_EQ(events[1].user, "8");
  EXPECT_EQ(events[1].actor, "");
  Json changes = events[1].toJson()["alteracoes"];
  ASSERT_TRUE(changes.contains("num_volume")) << changes.dump();
  EXPECT_EQ(changes["num_volume"]["antes"], 3);
  EXPECT_EQ(changes["num_volume"]["depois"], 5);
  EXPECT_EQ(events[1].before["cargas"].size(), 2u);
  EXPECT_EQ(events[1].after["cargas"].size(), 1u);
  EXPECT_EQ(events[2].kind(), "coleta.cargas_substituidas");
  EXPECT_EQ(events[2].after["cargas"].size(), 2u);
  EXPECT_EQ(events[3].kind(), "coleta.alterada");
  EXPECT_EQ(events[3].after["cargas"].size(), 0u);
  EXPECT_EQ(events[4].kind(), "coleta.excluida");
  EXPECT_EQ(events[4].user, "1");
  for (size_t i = 1; i < events.size(); ++i) {
    EXPECT_LT(events[i - 1].id, events[i].id);
    EXPECT_EQ(events[i].before, events[i - 1].after)
        << "event " << i << " starts where the last ended";
  }
  // Another document (an air waybill) is no Coleta: no event.
  const int32_t before = eventCount();
  execute("UPDATE DOCTO_TRANSPORTE SET NUM_VOLUME = 3 WHERE DOCTO_TRANSPORTE_ID = " +
          std::to_string(demo::kAwb));
  EXPECT_EQ(eventCount(), before);
  // A distributed event keeps who made it, whatever becomes of the audit rows.
  events::EventStore(connection()).distribute(100);
  execute("DELETE FROM KTR_AUDITORIA");
  events = history(id);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[1].user, "8");
  EXPECT_EQ(events[2].user, "9");
}

// The same rule holds when a save's statements commit one by one after the
// engine gave up its transaction, and for writers that are not the component.
TEST_P(Outbox, TheStepByStepRunAndOtherWritersLeaveOneEventPerChange) {
  Json created = save(0, 3, {{2, 0.5, 0.4, 0.3}, {1, 1.2, 0.8, 0.6}});
  ASSERT_EQ(created["result"]["value"], 0) << created.dump();
  const int32_t id = created["args"]["iovntDOCTO_TRANSPORTE_ID"]["value"];
  const std::string where = " WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id);

  // The header is stored, then the first piece makes the engine give up:
  // the Coleta changed, so one event, with the save's user.
  if (engine() == "sqlite") {
    execute(
        "CREATE TRIGGER ABANDONA BEFORE INSERT ON CARGA"
        " BEGIN SELECT RAISE(ROLLBACK, 'transacao abandonada'); END");
  } else if (engine() == "postgresql") {
    execute(
        "CREATE FUNCTION ABANDONA() RETURNS trigger LANGUAGE plpgsql AS "
        "'BEGIN RAISE EXCEPTION ''transacao abandonada''; END'");
    execute(
        "CREATE CONSTRAINT TRIGGER ABANDONA AFTER INSERT ON CARGA"
        " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION ABANDONA()");
  } else {
    GTEST_SKIP() << "no abandoning trigger written for " << engine();
  }
  {
    ChangeActor actor("importador");
    EXPECT_EQ(save(id, 4, {{1, 1, 1, 1}}, 8)["result"]["value"], 10);
  }
  execute(engine() == "sqlite" ? "DROP TRIGGER ABANDONA" : "DROP TRIGGER ABANDONA ON CARGA");
  // The statements that committed one by one are one event.
  auto events = history(id);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].user, "8");
  // SQLite's statements in autocommit carry no context row; PostgreSQL's
  // carry the acting name with the user.
  if (engine() == "postgresql") {
    EXPECT_EQ(events[1].actor, "importador");
  }
  EXPECT_EQ(events.back().after["coleta"]["num_volume"], 4);
  EXPECT_EQ(events.back().after["cargas"].size(), 0u) << "the pieces went before the failing one";
  // The run leaves no mark on the sessions it used: the next save is a change
  // of its own.
  ASSERT_EQ(save(id, 4, {{1, 1, 1, 1}}, 9)["result"]["value"], 0);
  events = history(id);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].after["cargas"].size(), 0u);
  EXPECT_EQ(events[2].after["cargas"].size(), 1u);
  const size_t stepByStep = events.size();

  // Another program's statement is an event of its own, with no user; the
  // component's next save and delete are one event each after it.
  execute("UPDATE DOCTO_TRANSPORTE SET NUM_VOLUME = 9" + where);
  ASSERT_EQ(save(id, 5, {{1, 1, 1, 1}, {2, 2, 2, 2}}, 9)["result"]["value"], 0);
  ASSERT_EQ(erase(id).i2(), 0) << vb::concatText(msg);
  events = history(id);
  ASSERT_EQ(events.size(), stepByStep + 3);
  const auto* other = &events[stepByStep];
  EXPECT_EQ(other[0].user, "");
  EXPECT_EQ(other[0].after["coleta"]["num_volume"], 9);
  EXPECT_EQ(other[1].user, "9");
  EXPECT_EQ(other[1].after["cargas"].size(), 2u);
  EXPECT_EQ(other[2].kind(), "coleta.excluida");
  EXPECT_EQ(other[2].before["cargas"].size(), 2u);
  EXPECT_EQ(other[2].after["cargas"].size(), 0u);

  // With no event open (the delete closed it), another program's piece
  // added, then removed, is an event each, with the state before it.
  execute("INSERT INTO CARGA (CARGA_ID, DOCTO_TRANSPORTE_ID, NUM_VOLUME) VALUES (" +
          std::to_string(900000 + id) + ", " + std::to_string(id) + ", 7)");
  execute("DELETE FROM CARGA" + where);
  events = history(id);
  ASSERT_EQ(events.size(), stepByStep + 5);
  other = &events[stepByStep];
  EXPECT_EQ(other[3].before["cargas"].size(), 0u);
  EXPECT_EQ(other[3].after["cargas"].size(), 1u);
  EXPECT_EQ(other[4].before["cargas"][0]["num_volume"], 7);
  EXPECT_EQ(other[4].after["cargas"].size(), 0u);
}

// One transaction of another program that goes back and forth between two
// Coletas, its audit rows naming a user for each after both headers were
// written: one event per Coleta, each with its own user and state before.
TEST_P(Outbox, AnotherProgramsTransactionOverTwoColetasLeavesOneEventEach) {
  if (engine() != "postgresql") GTEST_SKIP() << "a transaction's own settings are PostgreSQL's";
  int32_t ids[2];
  for (int32_t& id : ids) {
    Json created = save(0, 3, {{2, 0.5, 0.4, 0.3}, {1, 1.2, 0.8, 0.6}});
    ASSERT_EQ(created["result"]["value"], 0) << created.dump();
    id = created["args"]["iovntDOCTO_TRANSPORTE_ID"]["value"];
  }
  const std::string a = std::to_string(ids[0]), b = std::to_string(ids[1]);
  auto header = [](const std::string& id, int volumes) {
    return "UPDATE DOCTO_TRANSPORTE SET NUM_VOLUME = " + std::to_string(volumes) +
           " WHERE DOCTO_TRANSPORTE_ID = " + id + "; ";
  };
  auto audit = [](const std::string& id, int user) {
    return "INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, "
           "DATA_HORA) VALUES (13, 2, " +
           std::to_string(user) + ", " + id + ", CURRENT_TIMESTAMP); ";
  };
  execute("DO $$ BEGIN " + header(a, 11) + header(b, 12) + audit(a, 21) +
          "DELETE FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + a + "; " + audit(b, 22) +
          header(b, 13) + "END $$");
  auto first = history(ids[0]), second = history(ids[1]);
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(first[1].user, "21");
  EXPECT_EQ(first[1].before["cargas"].size(), 2u);
  EXPECT_EQ(first[1].after["cargas"].size(), 0u);
  EXPECT_EQ(first[1].after["coleta"]["num_volume"], 11);
  EXPECT_EQ(second[1].user, "22");
  EXPECT_EQ(second[1].before["coleta"]["num_volume"], 3);
  EXPECT_EQ(second[1].after["coleta"]["num_volume"], 13);
  // A header written alone commits its event without a user.
  execute(header(a, 14));
  first = history(ids[0]);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first[2].user, "");
  EXPECT_EQ(first[2].before["coleta"]["num_volume"], 11);
}

// Installing again over an outbox of an earlier version keeps its events and
// brings back what the change of a Coleta runs.
TEST_P(Outbox, InstallingAgainBringsAnEarlierOutboxUpToDate) {
  Json created = save(0, 3, {});
  ASSERT_EQ(created["result"]["value"], 0) << created.dump();
  const int32_t id = created["args"]["iovntDOCTO_TRANSPORTE_ID"]["value"];
  if (engine() == "postgresql") {
    // An earlier version's one trigger for every write of the header, here
    // one that misses the change, in place of this version's.
    for (const char* trigger : {"INC", "ALT", "EXC"})
      execute(std::string("DROP TRIGGER KTR_EVENTO_DOCTO_") + trigger + " ON DOCTO_TRANSPORTE");
    execute(
        "CREATE FUNCTION KTR_EVENTO_DOCTO_ANTES() RETURNS TRIGGER LANGUAGE plpgsql AS "
        "'BEGIN RETURN NEW; END'");
    execute(
        "CREATE TRIGGER KTR_EVENTO_DOCTO_ANTES BEFORE INSERT OR UPDATE OR DELETE ON "
        "DOCTO_TRANSPORTE FOR EACH ROW EXECUTE FUNCTION KTR_EVENTO_DOCTO_ANTES()");
  } else if (engine() == "sqlite")
    execute("DROP TRIGGER KTR_EVENTO_DOCTO_ALT_ANTES");
  else
    GTEST_SKIP() << "no outbox script for " << engine();
  ASSERT_EQ(save(id, 4, {})["result"]["value"], 0);
  ASSERT_EQ(history(id).size(), 1u) << "the earlier version missed the change";
  EXPECT_FALSE(events::installOutbox(connection()));
  ASSERT_EQ(save(id, 5, {}, 8)["result"]["value"], 0);
  auto events = history(id);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].user, "8");
  EXPECT_EQ(events[1].after["coleta"]["num_volume"], 5);
  if (engine() == "postgresql") {
    // Other tests run at the same time in schemas of their own.
    EXPECT_EQ(queryInt("SELECT COUNT(*) FROM pg_trigger T JOIN pg_class C ON C.oid = T.tgrelid "
                       "WHERE T.tgname = 'ktr_evento_docto_antes' "
                       "AND C.relnamespace = current_schema()::regnamespace"),
              0);
  }
  if (engine() != "sqlite") return;
  // SQLite numbers events from a counter row: without it a change cannot be
  // numbered and fails whole, and installing again puts the row back.
  execute("DELETE FROM sqlite_sequence WHERE name = 'KTR_EVENTO'");
  EXPECT_NE(save(id, 6, {})["result"]["value"], 0);
  EXPECT_EQ(history(id).back().after["coleta"]["num_volume"], 5) << "nothing was stored";
  EXPECT_FALSE(events::installOutbox(connection()));
  ASSERT_EQ(save(id, 6, {})["result"]["value"], 0);
  events = history(id);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_GT(events[2].id, events[1].id);
}

// An SQLite outbox of the version that kept open events in a table of their
// own: installing keeps its events, and the open one stays open in its phase.
TEST_P(Outbox, InstallingOverTheEarlierSqliteOutboxKeepsItsOpenEvent) {
  if (engine() != "sqlite") GTEST_SKIP() << "the earlier layout was SQLite's";
  Json created = save(0, 3, {});
  ASSERT_EQ(created["result"]["value"], 0) << created.dump();
  const int32_t id = created["args"]["iovntDOCTO_TRANSPORTE_ID"]["value"];
  const std::string key = std::to_string(id);
  // The earlier layout: no phase column, its own table of open events (the
  // Coleta's event there in its phase 2, pieces being written), an index by
  // Coleta alone, and none of this version's triggers.
  dropSqliteTriggersViewsAndStateColumns();
  for (const char* statement :
       {"DROP INDEX KTR_EVENTO_COLETA", "ALTER TABLE KTR_EVENTO DROP COLUMN FASE",
        "ALTER TABLE KTR_EVENTO DROP COLUMN CARGAS",
        "ALTER TABLE KTR_EVENTO DROP COLUMN AUDITORIA_ID",
        "CREATE INDEX KTR_EVENTO_COLETA ON KTR_EVENTO (DOCTO_TRANSPORTE_ID)",
        "CREATE TABLE KTR_EVENTO_ABERTO (DOCTO_TRANSPORTE_ID INTEGER PRIMARY KEY, "
        "EVENTO_ID INTEGER NOT NULL, FASE INTEGER NOT NULL)"})
    execute(statement);
  execute(
      "INSERT INTO KTR_EVENTO_ABERTO SELECT DOCTO_TRANSPORTE_ID, EVENTO_ID, 2 FROM KTR_EVENTO "
      "WHERE DOCTO_TRANSPORTE_ID = " +
      key);
  EXPECT_FALSE(events::installOutbox(connection()));
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM sqlite_master WHERE name = 'KTR_EVENTO_ABERTO'"), 0);
  // Another program's piece joins the open event; removing it afterwards is a
  // change of its own, as the phase says; the next save is one more.
  execute("INSERT INTO CARGA (CARGA_ID, DOCTO_TRANSPORTE_ID, NUM_VOLUME) VALUES (" +
          std::to_string(900000 + id) + ", " + key + ", 7)");
  ASSERT_EQ(history(id).size(), 1u);
  execute("DELETE FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + key);
  ASSERT_EQ(save(id, 5, {{1, 1, 1, 1}}, 8)["result"]["value"], 0);
  auto events = history(id);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].after["cargas"].size(), 1u);
  EXPECT_EQ(events[1].after["cargas"].size(), 0u);
  EXPECT_EQ(events[2].user, "8");
  EXPECT_EQ(events[2].after["cargas"].size(), 1u);
}

// An SQLite event keeps the header before the change as the row held it and
// is read as the one JSON text the state gives; events that an earlier
// version kept as that text read the same after installing, and its open
// event still tells the pieces it began with from pieces written since.
TEST_P(Outbox, TheStateBeforeReadsTheSameWhicheverWayItWasKept) {
  if (engine() != "sqlite") GTEST_SKIP() << "the layouts are SQLite's";
  Json created = save(0, 3, {{2, 0.5, 0.4, 0.3}, {1, 1.2, 0.8, 0.6}});
  ASSERT_EQ(created["result"]["value"], 0) << created.dump();
  const int32_t id = created["args"]["iovntDOCTO_TRANSPORTE_ID"]["value"];
  const std::string key = std::to_string(id);
  // The text an earlier version built from the row when the event opened.
  const std::string asText = queryText(
      "SELECT json_array(D.EMPRESA_ID, D.CLIENTE_ID, D.END_REMETENTE_ID, D.END_DESTINATARIO_ID, "
      "D.NUM_VOLUME, D.PESO_REAL, D.TXT_EMBALAGEM, D.VAL_DECLARADO, D.TAB_STATUS_ID, "
      "D.DATA_EMISSAO, (SELECT json_group_array(json_array(C.CARGA_ID, C.NUM_VOLUME, "
      "C.LARGURA_M, C.ALTURA_M, C.COMPRIMENTO_M)) FROM CARGA C WHERE C.DOCTO_TRANSPORTE_ID = "
      "D.DOCTO_TRANSPORTE_ID)) FROM DOCTO_TRANSPORTE D WHERE D.DOCTO_TRANSPORTE_ID = " +
      key);
  // Another program's header write opens an event that stays open.
  execute("UPDATE DOCTO_TRANSPORTE SET NUM_VOLUME = 9 WHERE DOCTO_TRANSPORTE_ID = " + key);
  const std::string latest =
      "(SELECT MAX(EVENTO_ID) FROM KTR_EVENTO WHERE DOCTO_TRANSPORTE_ID = " + key + ")";
  EXPECT_EQ(queryText("SELECT ANTES FROM KTR_EVENTO_ANTES WHERE EVENTO_ID = " + latest), asText);
  const std::string before = historyText(id);

  // That event as the earlier version kept it, and installing over it.
  execute("UPDATE KTR_EVENTO SET ANTES = '" + asText +
          "', CARGAS = (SELECT ',' || group_concat(CARGA_ID, ',') || ',' FROM CARGA WHERE "
          "DOCTO_TRANSPORTE_ID = " +
          key + ") WHERE EVENTO_ID = " + latest);
  dropSqliteTriggersViewsAndStateColumns();
  EXPECT_FALSE(events::installOutbox(connection()));
  EXPECT_EQ(historyText(id), before);
  // Its pieces were there as it opened: removing them joins it.
  execute("DELETE FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + key);
  auto events = history(id);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].before["cargas"].size(), 2u);
  EXPECT_EQ(events[1].after["cargas"].size(), 0u);
  EXPECT_EQ(events[1].after["coleta"]["num_volume"], 9);

  // This version's events alike: a piece there as the event opened joins it,
  // a piece written since opens another.
  ASSERT_EQ(save(id, 5, {{1, 1.5, 1.25, 0.75}}, 8)["result"]["value"], 0);
  execute("UPDATE DOCTO_TRANSPORTE SET NUM_VOLUME = 6 WHERE DOCTO_TRANSPORTE_ID = " + key);
  execute("INSERT INTO CARGA (CARGA_ID, DOCTO_TRANSPORTE_ID, NUM_VOLUME) VALUES (" +
          std::to_string(900000 + id) + ", " + key + ", 7)");
  execute("DELETE FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + key + " AND CARGA_ID < 900000");
  ASSERT_EQ(history(id).size(), 4u);
  execute("DELETE FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + key);
  events = history(id);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[2].before["coleta"]["num_volume"], 9);
  EXPECT_EQ(events[2].after["cargas"][0]["largura_m"], 1.5);
  EXPECT_EQ(events[3].before["cargas"].size(), 1u);
  EXPECT_EQ(events[3].after["cargas"].size(), 1u);
  EXPECT_EQ(events[3].after["cargas"][0]["num_volume"], 7);
  EXPECT_EQ(events[4].after["cargas"].size(), 0u);
}

INSTANTIATE_ENGINE_TEST(Outbox);

}  // namespace
}  // namespace z418kt
