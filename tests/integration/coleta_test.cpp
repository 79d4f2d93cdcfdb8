// Reading, saving and deleting Coletas on a real database, in both dialects:
// what is read, and what is stored after success and after each kind of failure.
#include <algorithm>
#include <array>

#include "support/engine_fixture.h"
#include "support/scoped_locale.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

const Variant kOk(int16_t{0}), kFailed(int16_t{10});

// Cargo rows as the caller gives them: volumes, width, height, length.
Variant matrixOf(const std::vector<std::array<Variant, 4>>& rows) {
  SafeArray m = SafeArray::zeroBased(4, static_cast<int32_t>(rows.size()) - 1);
  for (int32_t r = 0; r < static_cast<int32_t>(rows.size()); ++r)
    for (int32_t c = 0; c < 4; ++c) m.at(c, r) = rows[r][c];
  return Variant(std::move(m));
}

// "a|b|c|": the values as text, so that several read back values compare at once.
std::string joined(std::initializer_list<Variant> values) {
  std::string out;
  for (const Variant& v : values) out += vb::cstr(v) + "|";
  return out;
}

// The values gGrava_Coleta takes, in its order, and the read's other outputs.
struct Coleta {
  Variant cliente{int32_t{demo::kEmpresa}}, destino{int32_t{demo::kEnderecoPessoaFisica}},
      origem{int32_t{demo::kEnderecoEmpresa}}, volumes{int32_t{3}}, peso{"12,5"}, txt{"Envelopes"},
      valor{"99,9"}, linhas{int32_t{0}}, colunas{int32_t{5}}, matriz, id{int32_t{0}},
      texto{"caller text"}, clienteNome;

  // The cargo rows (the first `columns` columns as text), sorted: neither
  // dialect orders the pieces.
  std::vector<std::string> rows(int32_t columns) const {
    std::vector<std::string> out;
    for (int32_t r = 0; r < vb::clng(linhas); ++r) {
      out.emplace_back();
      for (int32_t c = 0; c < columns; ++c) out.back() += vb::cstr(matriz.array().at(c, r)) + "|";
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

class ColetaOnEngine : public EngineTest {
 protected:
  Variant save(Coleta& c) {
    return component().gGrava_Coleta(conecta, usuario, empresa, bancoDados, produto, c.cliente,
                                     c.destino, c.origem, c.volumes, c.peso, c.txt, c.valor,
                                     c.linhas, c.colunas, c.matriz, c.id, msg);
  }
  // Reads into outputs marked "unread", so that whatever is not written shows.
  Variant read(int32_t id, Coleta& c) {
    c = Coleta{};
    for (Variant* v : {&c.cliente, &c.destino, &c.origem, &c.volumes, &c.peso, &c.txt, &c.valor,
                       &c.linhas, &c.colunas, &c.matriz, &c.clienteNome})
      *v = Variant("unread");
    c.id = Variant(id);
    msg = Variant("untouched");
    return component().gConsulta_Coleta(conecta, usuario, empresa, bancoDados, produto, c.id,
                                        c.destino, c.origem, c.volumes, c.peso, c.txt, c.valor,
                                        c.linhas, c.colunas, c.matriz, c.texto, c.cliente,
                                        c.clienteNome, msg);
  }
  Variant erase(int32_t id) {
    Variant docId(id);
    return component().gExclui_Coleta(conecta, usuario, empresa, bancoDados, produto, docId, msg);
  }
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
  Variant msg;
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
  c.linhas = Variant(int32_t{2});
  c.matriz = matrixOf({{int32_t{2}, "0,5", "0,4", "0,6"}, {int32_t{3}, "1,2", "0,8", "1"}});
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
  for (int32_t r = 0; r < 2; ++r)  // column 4 holds each piece's new identifier
    EXPECT_DOUBLE_EQ(number("SELECT LARGURA_M FROM CARGA WHERE CARGA_ID = " +
                            vb::cstr(c.matriz.array().at(4, r)) +
                            " AND DOCTO_TRANSPORTE_ID = " + std::to_string(id)),
                     r == 0 ? 0.5 : 1.2);
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

TEST_P(ColetaOnEngine, AColetaReadAndSavedBackUnchangedKeepsItsValues) {
  Coleta before, after;
  ASSERT_EQ(read(demo::kColeta, before), kOk);
  Coleta copy = before;
  ASSERT_EQ(save(copy), kOk) << vb::concatText(msg);
  EXPECT_EQ(vb::clng(copy.id), demo::kColeta);
  ASSERT_EQ(read(demo::kColeta, after), kOk);
  // Equal reads mean equal stored numbers: a value stored scaled would read differently.
  auto values = [](const Coleta& c) {
    return joined({c.cliente, c.destino, c.origem, c.volumes, c.peso, c.txt, c.valor, c.linhas});
  };
  EXPECT_EQ(values(after), values(before));
  EXPECT_EQ(after.rows(4), before.rows(4));
  // The new pieces replaced the old ones.
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA WHERE CARGA_ID IN (200, 201, 202)"), 0);
  EXPECT_GE(vb::clng(copy.matriz.array().at(4, 0)), demo::kFirstNewKey);
}

TEST_P(ColetaOnEngine, WeightsMeasuresAndMoneyRoundTripAlikeUnderEveryLocale) {
  std::vector<std::string> results;
  for (const char* name : testing::kTestLocales) {
    testing::ScopedLocale locale(name);
    Coleta c;
    c.peso = Variant("1.234,56");
    c.valor = Variant(Currency{15007500});
    c.linhas = Variant(int32_t{2});
    c.matriz = matrixOf({{int32_t{2}, "0,5", Variant(0.25), "1.5"}, {"3", "1,2345", "0,8", "1"}});
    ASSERT_EQ(save(c), kOk) << name << ": " << vb::concatText(msg);
    Coleta back;
    ASSERT_EQ(read(vb::clng(c.id), back), kOk) << name;
    results.push_back(joined({back.peso, back.valor}));
    for (const std::string& row : back.rows(4)) results.back() += row;
  }
  EXPECT_EQ(results[0], "1234,56|1500,75|2|0,50|0,25|1,50|3|1,2345|0,80|1,00|");
  EXPECT_EQ(results[1], results[0]);
}

TEST_P(ColetaOnEngine, TextsThatLookLikeSqlAreStoredVerbatim) {
  const std::string text = "O'Brien; DELETE FROM CARGA; -- /* */ '' \"x\"";
  Coleta c;
  c.txt = Variant(text);
  ASSERT_EQ(save(c), kOk) << vb::concatText(msg);
  EXPECT_EQ(queryText("SELECT TXT_EMBALAGEM FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " +
                      vb::cstr(c.id)),
            text);
  // A dimension carrying a statement is refused before it reaches the database.
  c.linhas = Variant(int32_t{1});
  c.matriz = matrixOf({{int32_t{1}, "1'; DELETE FROM CARGA; --", "1", "1"}});
  EXPECT_EQ(save(c), kFailed);
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA"), 3);
}

TEST_P(ColetaOnEngine, TheSecondOfThreePiecesRefusedLeavesTheFirstStored) {
  Coleta c;
  c.linhas = Variant(int32_t{3});
  c.matriz = matrixOf(
      {{int32_t{1}, "1", "1", "1"}, {int32_t{1}, "1", "alto", "1"}, {int32_t{1}, "2", "2", "2"}});
  msg = Variant("caller");
  EXPECT_EQ(save(c), kFailed);
  const int32_t id = vb::clng(c.id);
  EXPECT_GE(id, demo::kFirstNewKey);
  EXPECT_EQ(column("TAB_STATUS_ID", id), 1);
  EXPECT_EQ(pieces(id), 1);
  EXPECT_EQ(
      queryInt("SELECT CARGA_ID FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id)),
      vb::clng(c.matriz.array().at(4, 0)));
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
  // The row stays, marked deleted, and the read no longer finds it.
  EXPECT_EQ(column("TAB_STATUS_ID", demo::kColeta), 2);
  EXPECT_EQ(column("CLIENTE_ID", demo::kColeta), demo::kEmpresa);
  EXPECT_EQ(audits(demo::kColeta, 3), oracle() ? 0 : 1);
  Coleta gone;
  EXPECT_EQ(read(demo::kColeta, gone), kOk);
  EXPECT_EQ(gone.destino, Variant("unread"));

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
}

INSTANTIATE_ENGINE_TEST(ColetaOnEngine);

}  // namespace
}  // namespace z418kt
