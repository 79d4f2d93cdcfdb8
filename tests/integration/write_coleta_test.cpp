// Saving and deleting Coletas on a real database, in both dialects: what is
// stored after success and after each kind of failure.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/engine_fixture.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

const Variant kOk(int16_t{0}), kFailed(int16_t{10});

// One cargo row as the caller gives it: volumes, width, height, length.
struct Piece {
  Variant volumes, largura, altura, comprimento;
};

Variant matrixOf(const std::vector<Piece>& pieces) {
  SafeArray m = SafeArray::zeroBased(4, static_cast<int32_t>(pieces.size()) - 1);
  for (int32_t r = 0; r < static_cast<int32_t>(pieces.size()); ++r) {
    const Piece& p = pieces[r];
    m.at(0, r) = p.volumes;
    m.at(1, r) = p.largura;
    m.at(2, r) = p.altura;
    m.at(3, r) = p.comprimento;
  }
  return Variant(std::move(m));
}

// What gConsulta_Coleta hands out, in the order gGrava_Coleta takes it back.
struct Coleta {
  Variant cliente{int32_t{demo::kEmpresa}}, destino{int32_t{demo::kEnderecoPessoaFisica}},
      origem{int32_t{demo::kEnderecoEmpresa}}, volumes{int32_t{3}}, peso{"12,5"}, txt{"Envelopes"},
      valor{"99,9"}, linhas{int32_t{0}}, colunas{int32_t{5}}, matriz, id{int32_t{0}};
};

class ColetaWrite : public EngineTest {
 protected:
  Variant save(Coleta& c) {
    return component().gGrava_Coleta(conecta, usuario, empresa, bancoDados, produto, c.cliente,
                                     c.destino, c.origem, c.volumes, c.peso, c.txt, c.valor,
                                     c.linhas, c.colunas, c.matriz, c.id, msg);
  }
  // Reads a Coleta; `found` tells whether the document outputs were written.
  Variant read(int32_t id, Coleta& c, bool& found) {
    Variant docId(id), texto, clienteNome;
    c = Coleta{};
    c.id = Variant(id);
    c.destino = Variant("unread");
    Variant status = component().gConsulta_Coleta(
        conecta, usuario, empresa, bancoDados, produto, docId, c.destino, c.origem, c.volumes,
        c.peso, c.txt, c.valor, c.linhas, c.colunas, c.matriz, texto, c.cliente, clienteNome, msg);
    found = !(c.destino == Variant("unread"));
    return status;
  }
  Variant erase(Variant id) {
    return component().gExclui_Coleta(conecta, usuario, empresa, bancoDados, produto, id, msg);
  }
  int32_t pieces(int32_t id) {
    return queryInt("SELECT COUNT(*) FROM CARGA WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id));
  }
  int32_t docStatus(int32_t id) {
    return queryInt("SELECT TAB_STATUS_ID FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " +
                    std::to_string(id));
  }
  double number(const std::string& statement) { return vb::cdbl(queryValue(statement)); }
  // The cargo rows of a matrix (columns 0 to 3 as text), sorted.
  static std::vector<std::string> rowsOf(const Coleta& c) {
    std::vector<std::string> out;
    for (int32_t r = 0; r < vb::clng(c.linhas); ++r) {
      std::string row;
      for (int32_t col = 0; col < 4; ++col) row += vb::cstr(c.matriz.array().at(col, r)) + "|";
      out.push_back(row);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  Variant msg;
};

TEST_P(ColetaWrite, NewColetaWithTwoPiecesThenAnUpdateWithoutPieces) {
  Coleta c;
  c.linhas = Variant(int32_t{2});
  c.matriz = matrixOf({{int32_t{2}, "0,5", "0,4", "0,6"}, {int32_t{3}, "1,2", "0,8", "1"}});
  ASSERT_EQ(save(c), kOk) << vb::concatText(msg);
  const int32_t id = vb::clng(c.id);
  EXPECT_GE(id, demo::kFirstNewKey);
  const std::string row =
      " FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(id);
  EXPECT_EQ(queryInt("SELECT TAB_STATUS_ID * 100 + TAB_TIPO_DOCTO_TRANSP_ID" + row), 105);
  EXPECT_EQ(queryInt("SELECT EMPRESA_ID" + row), 1);
  EXPECT_EQ(queryInt("SELECT CLIENTE_ID" + row), demo::kEmpresa);
  EXPECT_DOUBLE_EQ(number("SELECT PESO_REAL" + row), 12.5);
  EXPECT_DOUBLE_EQ(number("SELECT VAL_DECLARADO" + row), 99.9);
  EXPECT_EQ(queryInt("SELECT NUM_DOCTO_TRANSPORTE" + row), id);
  EXPECT_EQ(pieces(id), 2);
  for (int32_t r = 0; r < 2; ++r) {
    const int32_t cargaId = vb::clng(c.matriz.array().at(4, r));
    EXPECT_DOUBLE_EQ(
        number("SELECT LARGURA_M FROM CARGA WHERE CARGA_ID = " + std::to_string(cargaId) +
               " AND DOCTO_TRANSPORTE_ID = " + std::to_string(id)),
        r == 0 ? 0.5 : 1.2);
  }

  // Saved again with no rows: the header changes, the pieces go.
  c.linhas = Variant(int32_t{0});
  c.txt = Variant("Envelopes pardos");
  ASSERT_EQ(save(c), kOk) << vb::concatText(msg);
  EXPECT_EQ(vb::clng(c.id), id);
  EXPECT_EQ(pieces(id), 0);
  EXPECT_EQ(queryText("SELECT TXT_EMBALAGEM" + row), "Envelopes pardos");
  EXPECT_EQ(docStatus(id), 1);
}

TEST_P(ColetaWrite, ARefusedFieldStoresNothing) {
  const int32_t documents = queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE");
  Coleta c;
  c.cliente = Variant("");
  c.linhas = Variant(int32_t{1});
  c.matriz = matrixOf({{int32_t{1}, "1", "1", "1"}});
  EXPECT_EQ(save(c), kFailed);
  EXPECT_NE(vb::concatText(msg).find("Cliente"), std::string::npos) << vb::concatText(msg);
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE"), documents);
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA"), 3);
  EXPECT_EQ(c.id, Variant("0"));  // cleaned, nothing else
}

TEST_P(ColetaWrite, AColetaReadAndSavedBackUnchangedKeepsItsValues) {
  Coleta before, after;
  bool found = false;
  ASSERT_EQ(read(demo::kColeta, before, found), kOk);
  ASSERT_TRUE(found);
  Coleta copy = before;
  ASSERT_EQ(save(copy), kOk) << vb::concatText(msg);
  EXPECT_EQ(vb::clng(copy.id), demo::kColeta);
  ASSERT_EQ(read(demo::kColeta, after, found), kOk);
  for (auto field : {&Coleta::cliente, &Coleta::destino, &Coleta::origem, &Coleta::volumes,
                     &Coleta::peso, &Coleta::txt, &Coleta::valor, &Coleta::linhas})
    EXPECT_EQ(vb::cstr(after.*field), vb::cstr(before.*field));
  EXPECT_EQ(rowsOf(after), rowsOf(before));
  const std::string row = " FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = 100";
  EXPECT_DOUBLE_EQ(number("SELECT PESO_REAL" + row), 125.5);
  EXPECT_DOUBLE_EQ(number("SELECT VAL_DECLARADO" + row), 1500.75);
  EXPECT_DOUBLE_EQ(number("SELECT SUM(LARGURA_M + ALTURA_M + COMPRIMENTO_M) FROM CARGA"),
                   0.5 + 0.4 + 0.6 + 1.2 + 0.8 + 1 + 0.25 + 0.25 + 0.3);
  // The new pieces replaced the old ones; column 4 holds their identifiers.
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA WHERE CARGA_ID IN (200, 201, 202)"), 0);
  EXPECT_GE(vb::clng(copy.matriz.array().at(4, 0)), demo::kFirstNewKey);
}

TEST_P(ColetaWrite, TextsThatLookLikeSqlAreStoredVerbatim) {
  const std::string text = "O'Brien; DELETE FROM CARGA; -- /* */ '' \"x\"";
  Coleta c;
  c.txt = Variant(text);
  ASSERT_EQ(save(c), kOk) << vb::concatText(msg);
  EXPECT_EQ(queryText("SELECT TXT_EMBALAGEM FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " +
                      std::to_string(vb::clng(c.id))),
            text);
  EXPECT_EQ(pieces(demo::kColeta), 3);

  // A dimension carrying a statement is refused before it reaches the database.
  c.linhas = Variant(int32_t{1});
  c.matriz = matrixOf({{int32_t{1}, "1'; DELETE FROM CARGA; --", "1", "1"}});
  EXPECT_EQ(save(c), kFailed);
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA"), 3);
}

TEST_P(ColetaWrite, TheSecondOfThreePiecesRefusedLeavesTheFirstStored) {
  Coleta c;
  c.linhas = Variant(int32_t{3});
  c.matriz = matrixOf(
      {{int32_t{1}, "1", "1", "1"}, {int32_t{1}, "1", "alto", "1"}, {int32_t{1}, "2", "2", "2"}});
  msg = Variant("caller");
  EXPECT_EQ(save(c), kFailed);
  const int32_t id = vb::clng(c.id);
  EXPECT_GE(id, demo::kFirstNewKey);
  EXPECT_EQ(docStatus(id), 1);
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

TEST_P(ColetaWrite, DeleteAColetaWithPiecesWithoutAndTwice) {
  EXPECT_EQ(erase(Variant(int32_t{demo::kColeta})), kOk) << vb::concatText(msg);
  EXPECT_EQ(pieces(demo::kColeta), 0);
  // The row stays, marked deleted, and the read no longer finds it.
  EXPECT_EQ(docStatus(demo::kColeta), 2);
  EXPECT_EQ(queryInt("SELECT CLIENTE_ID FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = 100"),
            demo::kEmpresa);
  Coleta gone;
  bool found = true;
  EXPECT_EQ(read(demo::kColeta, gone, found), kOk);
  EXPECT_FALSE(found);

  EXPECT_EQ(erase(Variant(int32_t{demo::kColetaSemAwb})), kOk) << vb::concatText(msg);
  EXPECT_EQ(docStatus(demo::kColetaSemAwb), 2);

  // A second delete: the plain SQL form answers done again; our procedure
  // refuses a document that is no longer active (retorno 1, no message).
  msg = Variant("caller");
  EXPECT_EQ(erase(Variant(int32_t{demo::kColeta})), oracle() ? kOk : kFailed);
  EXPECT_EQ(msg, Variant("caller"));
  EXPECT_EQ(docStatus(demo::kColeta), 2);

  EXPECT_EQ(erase(Variant(int32_t{0})), kFailed);
  EXPECT_EQ(msg, Variant("Informe uma Coleta."));
  EXPECT_EQ(docStatus(demo::kAwb), 1);
}

TEST_P(ColetaWrite, TheDocumentStepFailingAfterThePiecesWereRemoved) {
  // A trigger makes the database refuse the status change of the document.
  if (engine() == "sqlite") {
    execute(
        "CREATE TRIGGER RECUSA_EXCLUSAO BEFORE UPDATE OF TAB_STATUS_ID ON DOCTO_TRANSPORTE "
        "BEGIN SELECT RAISE(ABORT, 'exclusao recusada'); END");
  } else if (engine() == "postgresql") {
    execute(
        "CREATE FUNCTION RECUSA_EXCLUSAO() RETURNS trigger LANGUAGE plpgsql AS "
        "'BEGIN RAISE EXCEPTION ''exclusao recusada''; END'");
    execute(
        "CREATE TRIGGER RECUSA_EXCLUSAO BEFORE UPDATE OF TAB_STATUS_ID ON DOCTO_TRANSPORTE "
        "FOR EACH ROW EXECUTE FUNCTION RECUSA_EXCLUSAO()");
  } else {
    GTEST_SKIP() << "no refusing trigger written for " << engine();
  }
  EXPECT_EQ(erase(Variant(int32_t{demo::kColeta})), kFailed);
  EXPECT_EQ(pieces(demo::kColeta), 0);
  EXPECT_EQ(docStatus(demo::kColeta), 1);
  const std::string message = vb::concatText(msg);
  EXPECT_NE(message.find("EXC_SOLICIT_COLETA"), std::string::npos) << message;
  EXPECT_NE(message.find("exclusao recusada"), std::string::npos) << message;
}

INSTANTIATE_ENGINE_TEST(ColetaWrite);

}  // namespace
}  // namespace z418kt
