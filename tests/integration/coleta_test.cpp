// Reading, saving and deleting Coletas on a real database, in both dialects:
// what is read, and what is stored after success and after each kind of failure.
#include "support/engine_fixture.h"
#include "support/scoped_locale.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

const Variant kOk(int16_t{0}), kFailed(int16_t{10});

// "a|b|c|": the values as text, so that several read back values compare at once.
std::string joined(std::initializer_list<Variant> values) {
  std::string out;
  for (const Variant& v : values) out += vb::cstr(v) + "|";
  return out;
}

using testing::Coleta;

class ColetaOnEngine : public EngineTest {
 protected:
  int32_t column(const std::string& name, int32_t id) {
    return queryInt("SELECT " + name +
                    " FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id));
  }
  int32_t pieces(int32_t id) {
    return queryInt("SELECT COUNT(*) FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id));
  }
  // The audit rows of user 1 with this operation on the document.
  int32_t audits(int32_t id, int operation) {
    return queryInt(
        "SELECT COUNT(*) FROM KTR_AUDITORIA WHERE ENTIDADE = 13 AND USUARIO_ID = 1 "
        "AND OPERACAO = " +
        std::to_string(operation) + " AND DOCTO_TRANSPORTE_ID = " + std::to_string(id));
  }
  double number(const std::string& statement) { return vb::cdbl(queryValue(statement)); }
};

TEST_P(ColetaOnEngine, ReadsTheDemoColetaItsPiecesAndTheWarningOfAnActiveAwb) {
  Coleta c;
  ASSERT_EQ(read(demo::kColeta, c), kOk) << vb::concatText(msg);
  EXPECT_EQ(msg, Variant("untouched"));
  // Decimals come back as NumberFormatUtil writes them: ',' and at least two decimals.
  EXPECT_EQ(joined({c.destino, c.origem, c.volumes, c.peso, c.txt, c.valor, c.cliente,
                    c.clienteNome, c.linhas, c.colunas}),
            "11|12|6|125,50|Caixas de papelão|1500,75|2|Aurora Peças|3|5|");
  const SafeArray& m = c.matriz.array();
  EXPECT_EQ((std::vector<int32_t>{m.lbound(1), m.ubound(1), m.lbound(2), m.ubound(2)}),
            (std::vector<int32_t>{0, 4, 0, 2}));
  EXPECT_EQ(c.rows(5), (std::vector<std::string>{"1|0,25|0,25|0,30|202|", "2|0,50|0,40|0,60|200|",
                                                 "3|1,20|0,80|1,00|201|"}));
  EXPECT_EQ(c.texto,
            Variant("Não será possível efetuar alterações na Coleta pois existem AWBs emitidas "
                    "com ela."));

  // Only an AWB of status 1 counts (102 has status 2): with 101 moved on, no warning.
  execute("UPDATE DOCTO_TRANSPORTE SET TAB_STATUS_ID = 3 WHERE DOCTO_TRANSPORTE_ID = 101");
  ASSERT_EQ(read(demo::kColeta, c), kOk);
  EXPECT_EQ(c.texto, Variant("caller text"));
}

TEST_P(ColetaOnEngine, MissingOtherTypeOrHiddenClientReadsAsNothing) {
  // Both forms join the document with vCLIENTE: a client that is no longer
  // a client hides the document.
  execute("UPDATE PESSOA SET IND_CLIENTE = 'N' WHERE PESSOA_ID = " +
          std::to_string(demo::kEmpresa2));
  for (int32_t id : {999, demo::kAwb, demo::kColetaSemAwb}) {
    Coleta c;
    EXPECT_EQ(read(id, c), kOk) << id;
    EXPECT_EQ(joined({c.destino, c.cliente, c.clienteNome, c.matriz, c.texto, msg}),
              "unread|unread|unread|unread|caller text|untouched|")
        << id;
    EXPECT_EQ(c.linhas, Variant(int16_t{0})) << id;  // no piece: zero counts
  }
}

TEST_P(ColetaOnEngine, NewColetaWithTwoPiecesThenAnUpdateWithoutPieces) {
  Coleta c;
  c.setPieces({{int32_t{2}, "0,5", "0,4", "0,6"}, {int32_t{3}, "1,2", "0,8", "1"}});
  ASSERT_EQ(save(c), kOk) << vb::concatText(msg);
  const int32_t id = vb::clng(c.id);
  EXPECT_GE(id, demo::kFirstNewKey);
  for (auto [name, expected] : {std::pair{"TAB_STATUS_ID", 1},
                                {"TAB_TIPO_DOCTO_TRANSP_ID", 5},
                                {"EMPRESA_ID", 1},
                                {"CLIENTE_ID", demo::kEmpresa},
                                {"NUM_DOCTO_TRANSPORTE", id}})
    EXPECT_EQ(column(name, id), expected) << name;
  const std::string row =
      " FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id);
  EXPECT_DOUBLE_EQ(number("SELECT PESO_REAL" + row), 12.5);
  EXPECT_DOUBLE_EQ(number("SELECT VAL_DECLARADO" + row), 99.9);
  EXPECT_EQ(pieces(id), 2);
  EXPECT_EQ(audits(id, 1), 1);

  // Saved again with no rows: the header changes, the pieces go.
  c.linhas = Variant(int32_t{0});
  c.txt = Variant("Envelopes pardos");
  ASSERT_EQ(save(c), kOk) << vb::concatText(msg);
  EXPECT_EQ(vb::clng(c.id), id);
  EXPECT_EQ(pieces(id), 0);
  EXPECT_EQ(queryText("SELECT TXT_EMBALAGEM" + row), "Envelopes pardos");
  EXPECT_EQ(column("TAB_STATUS_ID", id), 1);
  EXPECT_EQ(audits(id, 2), 1);
}

TEST_P(ColetaOnEngine, WhatIsReadSavesBackUnchangedUnderEveryLocale) {
  // Equal reads mean equal stored numbers: a value stored scaled would read differently.
  auto values = [](const Coleta& c) {
    std::string out = joined({c.cliente, c.destino, c.origem, c.volumes, c.peso, c.txt, c.valor});
    for (const std::string& row : c.rows(4)) out += row;
    return out;
  };
  std::vector<std::string> results;
  for (const char* name : testing::kTestLocales) {
    testing::ScopedLocale locale(name);
    Coleta c, back, again;
    c.peso = Variant("1.234,56");
    c.valor = Variant(Currency{15007500});
    c.setPieces({{int32_t{2}, "0,5", Variant(0.25), "1.5"}, {"3", "1,2345", "0,8", "1"}});
    ASSERT_EQ(save(c), kOk) << name << ": " << vb::concatText(msg);
    ASSERT_EQ(read(vb::clng(c.id), back), kOk) << name;
    results.push_back(values(back));
    // The read outputs as they are, pieces with their ids, saved over the same Coleta.
    Coleta copy = back;
    ASSERT_EQ(save(copy), kOk) << name << ": " << vb::concatText(msg);
    EXPECT_EQ(vb::clng(copy.id), vb::clng(c.id));
    ASSERT_EQ(read(vb::clng(c.id), again), kOk) << name;
    EXPECT_EQ(values(again), results.back()) << name;
  }
  EXPECT_EQ(results[0], "2|11|12|3|1234,56|Envelopes|1500,75|2|0,50|0,25|1,50|3|1,2345|0,80|1,00|");
  EXPECT_EQ(results[1], results[0]);
}

TEST_P(ColetaOnEngine, TheSecondOfThreePiecesRefusedLeavesTheFirstStored) {
  Coleta c;
  c.setPieces(
      {{int32_t{1}, "1", "1", "1"}, {int32_t{1}, "1", "alto", "1"}, {int32_t{1}, "2", "2", "2"}});
  msg = Variant("caller");
  EXPECT_EQ(save(c), kFailed);
  const int32_t id = vb::clng(c.id);
  EXPECT_EQ(column("TAB_STATUS_ID", id), 1);
  EXPECT_EQ(pieces(id), 1);
  EXPECT_TRUE(c.matriz.array().at(4, 1).isEmpty());
  EXPECT_EQ(msg, Variant("caller"));

  // Saved again with the same variables, the document is updated, not inserted twice.
  c.matriz.array().at(2, 1) = Variant("3");
  EXPECT_EQ(save(c), kOk) << vb::concatText(msg);
  EXPECT_EQ(vb::clng(c.id), id);
  EXPECT_EQ(pieces(id), 3);
}

TEST_P(ColetaOnEngine, DeleteAColetaWithPiecesWithoutAndTwice) {
  EXPECT_EQ(erase(demo::kColeta), kOk) << vb::concatText(msg);
  EXPECT_EQ(pieces(demo::kColeta), 0);
  // The row stays, marked deleted.
  EXPECT_EQ(column("TAB_STATUS_ID", demo::kColeta), 2);
  EXPECT_EQ(column("CLIENTE_ID", demo::kColeta), demo::kEmpresa);
  EXPECT_EQ(audits(demo::kColeta, 3), oracle() ? 0 : 1);

  EXPECT_EQ(erase(demo::kColetaSemAwb), kOk) << vb::concatText(msg);
  EXPECT_EQ(column("TAB_STATUS_ID", demo::kColetaSemAwb), 2);

  // A second delete: the plain SQL form answers done again; our procedure
  // refuses a document that is no longer active (retorno 1, no message).
  msg = Variant("caller");
  EXPECT_EQ(erase(demo::kColeta), oracle() ? kOk : kFailed);
  EXPECT_EQ(msg, Variant("caller"));
  EXPECT_EQ(column("TAB_STATUS_ID", demo::kColeta), 2);

  EXPECT_EQ(erase(0), kFailed);
  EXPECT_EQ(msg, Variant("Informe uma Coleta."));
  EXPECT_EQ(column("TAB_STATUS_ID", demo::kAwb), 1);
}

TEST_P(ColetaOnEngine, TheDocumentStepFailingAfterThePiecesWereRemoved) {
  // A trigger makes the database refuse the status change of the document.
  const std::string trigger =
      "CREATE TRIGGER RECUSA_EXCLUSAO BEFORE UPDATE OF TAB_STATUS_ID ON DOCTO_TRANSPORTE ";
  if (engine() == "sqlite") {
    execute(trigger + "BEGIN SELECT RAISE(ABORT, 'exclusao recusada'); END");
  } else if (engine() == "postgresql") {
    execute(
        "CREATE FUNCTION RECUSA_EXCLUSAO() RETURNS trigger LANGUAGE plpgsql AS "
        "'BEGIN RAISE EXCEPTION ''exclusao recusada''; END'");
    execute(trigger + "FOR EACH ROW EXECUTE FUNCTION RECUSA_EXCLUSAO()");
  } else {
    GTEST_SKIP() << "no refusing trigger written for " << engine();
  }
  EXPECT_EQ(erase(demo::kColeta), kFailed);
  EXPECT_EQ(pieces(demo::kColeta), 0);
  EXPECT_EQ(column("TAB_STATUS_ID", demo::kColeta), 1);
  const std::string message = vb::concatText(msg);
  EXPECT_NE(message.find("EXC_SOLICIT_COLETA"), std::string::npos) << message;
  EXPECT_NE(message.find("exclusao recusada"), std::string::npos) << message;
  if (engine() != "postgresql") return;
  // A driver that leaves a failed statement's transaction aborted (psqlODBC
  // told to do nothing on errors) still keeps what the steps before it stored.
  execute(
      "INSERT INTO CARGA (CARGA_ID, DOCTO_TRANSPORTE_ID, LARGURA_M, ALTURA_M, COMPRIMENTO_M, "
      "NUM_VOLUME) VALUES (300, 100, 1, 1, 1, 1)");
  Variant text(connection() + ";Protocol=7.4-0"), doc(demo::kColeta);
  EXPECT_EQ(component().gExclui_Coleta(text, usuario, empresa, bancoDados, produto, doc, msg),
            kFailed);
  EXPECT_EQ(pieces(demo::kColeta), 0);
  EXPECT_EQ(column("TAB_STATUS_ID", demo::kColeta), 1);
}

INSTANTIATE_ENGINE_TEST(ColetaOnEngine);

}  // namespace
}  // namespace z418kt
