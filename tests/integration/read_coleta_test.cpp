// Reading Coletas from a real database, in both dialects.
#include <algorithm>
#include <set>

#include "support/engine_fixture.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

const std::string kWarning =
    "Não será possível efetuar alterações na Coleta pois existem AWBs emitidas com ela.";

class ReadColetaOnEngine : public EngineTest {
 protected:
  struct Answer {
    Variant destinatario{"d"}, remetente{"r"}, volumes{"v"}, peso{"p"}, embalagem{"e"}, valor{"x"},
        linhas{"L"}, colunas{"C"}, matriz{"M"}, texto{"caller text"}, clienteId{"ci"}, cliente{"c"},
        msg{"untouched"}, status;
  };
  Answer read(Variant id) {
    Answer a;
    a.status = component().gConsulta_Coleta(conecta, usuario, empresa, bancoDados, produto, id,
                                            a.destinatario, a.remetente, a.volumes, a.peso,
                                            a.embalagem, a.valor, a.linhas, a.colunas, a.matriz,
                                            a.texto, a.clienteId, a.cliente, a.msg);
    return a;
  }
  // The document read on its own, with the status and type given.
  bool readDocument(int32_t id, std::vector<Variant>& outputs) {
    std::string conn = connection();
    Variant docId(id), status(int16_t{1}), tipo(int16_t{5}), msg("untouched");
    outputs.resize(8, Variant("caller"));
    return component().mConsulta_Campos_DOCTO_TRANSPORTE(
        conn, usuario, empresa, bancoDados, produto, docId, status, tipo, outputs[0], outputs[1],
        outputs[2], outputs[3], outputs[4], outputs[5], outputs[6], outputs[7], msg);
  }
  int32_t countAwbs(int16_t status) {
    std::string conn = connection();
    Variant pai(demo::kColeta), st(status), tipo(int16_t{115}), contador, msg;
    EXPECT_TRUE(component().mConsulta_Qtde_AWB_COLETA(conn, usuario, empresa, bancoDados, produto,
                                                      pai, st, tipo, contador, msg))
        << msg.text();
    return vb::clng(contador);
  }
};

TEST_P(ReadColetaOnEngine, FoundColetaWithThreePiecesAndAnAwb) {
  Answer a = read(Variant(demo::kColeta));
  ASSERT_EQ(a.status, Variant(int16_t{0})) << vb::concatText(a.msg);
  EXPECT_EQ(a.msg, Variant("untouched"));
  EXPECT_TRUE(vb::equals(a.destinatario, Variant(demo::kEnderecoPessoaFisica)));
  EXPECT_TRUE(vb::equals(a.remetente, Variant(demo::kEnderecoEmpresa)));
  EXPECT_TRUE(vb::equals(a.volumes, Variant(demo::kColetaVolumes)));
  // Decimals come back as NumberFormatUtil writes them: ',' and at least two decimals.
  EXPECT_EQ(a.peso, Variant("125,50"));
  EXPECT_EQ(a.valor, Variant(demo::kColetaValor));
  EXPECT_EQ(a.embalagem, Variant(demo::kColetaEmbalagem));
  EXPECT_TRUE(vb::equals(a.clienteId, Variant(demo::kEmpresa)));
  EXPECT_EQ(a.cliente, Variant(demo::kEmpresaFantasia));

  EXPECT_EQ(a.linhas, Variant(int32_t{3}));
  EXPECT_EQ(a.colunas, Variant(int16_t{5}));
  ASSERT_TRUE(a.matriz.isArray());
  const SafeArray& m = a.matriz.array();
  EXPECT_EQ((std::vector<int32_t>{m.lbound(1), m.ubound(1), m.lbound(2), m.ubound(2)}),
            (std::vector<int32_t>{0, 4, 0, 2}));
  // Neither form orders the pieces: find each by its identifier.
  std::set<int32_t> ids;
  for (int32_t r = 0; r <= 2; ++r) {
    ids.insert(vb::clng(m.at(4, r)));
    if (vb::clng(m.at(4, r)) == 200) {
      EXPECT_TRUE(vb::equals(m.at(0, r), Variant(int32_t{2})));
      EXPECT_EQ(m.at(1, r), Variant("0,50"));
      EXPECT_EQ(m.at(2, r), Variant("0,40"));
      EXPECT_EQ(m.at(3, r), Variant("0,60"));
    }
  }
  EXPECT_EQ(ids, (std::set<int32_t>{200, 201, 202}));

  // The active AWB 101 brings the warning; it is no user message.
  EXPECT_EQ(a.texto, Variant(kWarning));
}

TEST_P(ReadColetaOnEngine, OnlyActiveAwbsCount) {
  EXPECT_EQ(countAwbs(1), 1);  // 101; 102 has status 2
  EXPECT_EQ(countAwbs(2), 1);

  // With the active AWB moved to another status, the Coleta may change again.
  execute("UPDATE DOCTO_TRANSPORTE SET TAB_STATUS_ID = 3 WHERE DOCTO_TRANSPORTE_ID = " +
          std::to_string(demo::kAwb));
  EXPECT_EQ(countAwbs(1), 0);
  Answer a = read(Variant(demo::kColeta));
  EXPECT_EQ(a.status, Variant(int16_t{0}));
  EXPECT_EQ(a.texto, Variant("caller text"));
  EXPECT_EQ(a.linhas, Variant(int32_t{3}));

  // A Coleta without AWBs or pieces: zero counts, the caller's matrix kept.
  Answer empty = read(Variant(demo::kColetaSemAwb));
  EXPECT_EQ(empty.status, Variant(int16_t{0}));
  EXPECT_EQ(empty.cliente, Variant("Beira-Mar"));
  EXPECT_EQ(empty.linhas, Variant(int16_t{0}));
  EXPECT_EQ(empty.colunas, Variant(int16_t{0}));
  EXPECT_EQ(empty.matriz, Variant("M"));
  EXPECT_EQ(empty.texto, Variant("caller text"));
}

TEST_P(ReadColetaOnEngine, MissingColetaIsSuccessWithNothingWritten) {
  Answer a = read(Variant(int32_t{999}));
  EXPECT_EQ(a.status, Variant(int16_t{0}));
  EXPECT_EQ(a.destinatario, Variant("d"));
  EXPECT_EQ(a.cliente, Variant("c"));
  EXPECT_EQ(a.linhas, Variant(int16_t{0}));
  EXPECT_EQ(a.matriz, Variant("M"));
  EXPECT_EQ(a.texto, Variant("caller text"));
  EXPECT_EQ(a.msg, Variant("untouched"));

  // No identifier at all is refused before any statement.
  Answer none = read(Variant(""));
  EXPECT_EQ(none.status, Variant(int16_t{10}));
  EXPECT_EQ(none.msg, Variant("Coleta não informada. Contacte o Administrador."));

  // A document of another type is not a Coleta.
  std::vector<Variant> outputs;
  EXPECT_TRUE(readDocument(demo::kAwb, outputs));
  EXPECT_EQ(outputs, std::vector<Variant>(8, Variant("caller")));
}

TEST_P(ReadColetaOnEngine, ClientMissingFromTheClientViewYieldsNoRow) {
  // Both forms join the document with vCLIENTE: a client that is no longer a
  // client hides the document, which reads as not found.
  execute("UPDATE PESSOA SET IND_CLIENTE = 'N' WHERE PESSOA_ID = " +
          std::to_string(demo::kEmpresa2));
  std::vector<Variant> outputs;
  EXPECT_TRUE(readDocument(demo::kColetaSemAwb, outputs));
  EXPECT_EQ(outputs, std::vector<Variant>(8, Variant("caller")));

  std::vector<Variant> found;
  EXPECT_TRUE(readDocument(demo::kColeta, found));
  EXPECT_EQ(found[7], Variant(demo::kEmpresaFantasia));  // outvntcliente
}

TEST_P(ReadColetaOnEngine, AColumnMissingFromTheResultEndsInTheTrap) {
  // Only the procedure catalog of SQLite can be rewritten from here.
  if (oracle() || engine() != "sqlite") GTEST_SKIP() << "needs the SQLite procedure catalog";
  execute(
      "UPDATE KTR_PROCEDIMENTO_PASSO SET CORPO = replace(CORPO, 'AS largura_m', 'AS largura') "
      "WHERE NOME = 'SP_KTR_CON_CARGA_AWB'");
  Answer a = read(Variant(demo::kColeta));
  EXPECT_EQ(a.status, Variant(int16_t{10}));
  // The document was read and the counts written before the failing column.
  EXPECT_EQ(a.cliente, Variant(demo::kEmpresaFantasia));
  EXPECT_EQ(a.linhas, Variant(int32_t{3}));
  EXPECT_EQ(a.colunas, Variant(int16_t{5}));
  EXPECT_EQ(a.texto, Variant("caller text"));
  EXPECT_NE(vb::concatText(a.msg).find("mConsulta_Campos_LISTA_CARGA - Z418KT ( Item cannot be "
                                       "found in the collection"),
            std::string::npos)
      << vb::concatText(a.msg);
  EXPECT_NE(vb::concatText(a.msg).find("STRSQ: EXEC SP_KTR_CON_CARGA_AWB   100"),
            std::string::npos);
}

INSTANTIATE_ENGINE_TEST(ReadColetaOnEngine);

}  // namespace
}  // namespace z418kt
