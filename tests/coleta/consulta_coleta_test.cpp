#include "support/fakes.h"
#include "z418kt/safe_array.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::failure;
using testing::noResultSet;
using testing::rows;

testing::Scripted documentRow() {
  return rows({"cliente_id", "cliente", "END_DESTINATARIO_ID", "END_REMETENTE_ID", "num_volume",
               "peso_real", "txt_embalagem", "val_declarado"},
              {{Variant(int32_t{7}), Variant("Acme"), Variant(int32_t{21}), Variant(int32_t{22}),
                Variant(int32_t{3}), Variant(12.5), Variant("caixas"), Variant(100.0)}});
}
testing::Scripted cargoRow() {
  return rows({"num_volume", "largura_m", "altura_m", "comprimento_m", "CARGA_ID"},
              {{int32_t{1}, 1.0, 1.0, 1.0, int32_t{500}}});
}
testing::Scripted awbCount(int32_t n) { return rows({"contador"}, {{Variant(n)}}); }

class ReadColeta : public testing::ComponentTest {
 protected:
  Variant read(Variant id) {
    return call("gConsulta_Coleta", "",
                {id, &destinatario, &remetente, &volumes, &peso, &embalagem, &valor, &linhas,
                 &colunas, &matriz, &texto, &clienteId, &cliente, &msg});
  }
  Variant destinatario{"d"}, remetente{"r"}, volumes{"v"}, peso{"p"}, embalagem{"e"}, valor{"x"},
      linhas{"L"}, colunas{"C"}, matriz{"M"}, texto{"caller text"}, clienteId{"ci"}, cliente{"c"},
      msg{"untouched"};
};

TEST_F(ReadColeta, ChainsTheThreeReadsAndWarnsAboutAwbs) {
  runner->answers = {documentRow(), cargoRow(), awbCount(2)};
  EXPECT_EQ(read(Variant(int32_t{42})), Variant(int16_t{0}));
  EXPECT_EQ(statements(),
            (std::vector<std::string>{"EXEC SP_KTR_CON_SOLICIT_COLETA   a7(42), a7(1), a7(5)",
                                      "EXEC SP_KTR_CON_CARGA_AWB   a7(42)",
                                      "EXEC SP_KTR_CON_QTDE_AWB_COLETA   a7(42), a7(1), a7(115)"}));
  EXPECT_EQ(cliente, Variant("Acme"));
  EXPECT_EQ(peso, Variant("n1(12.5)"));
  EXPECT_EQ(matriz.array().at(4, 0), Variant(int32_t{500}));
  EXPECT_EQ(texto, Variant("Não será possível efetuar alterações na Coleta pois existem AWBs "
                           "emitidas com ela."));
  EXPECT_EQ(msg, Variant("untouched"));  // the warning is no user message
}

TEST_F(ReadColeta, StopsAtTheFirstFailingStep) {
  // The document read fails silently: status 10, nothing else opened.
  runner->answers = {noResultSet()};
  EXPECT_EQ(read(Variant(int32_t{42})), Variant(int16_t{10}));
  EXPECT_EQ(statements().size(), 1u);
  EXPECT_EQ(msg, Variant("untouched"));

  // The cargo read fails in its trap: the document outputs keep their values,
  // the message is the cargo read's own.
  runner->answers = {documentRow(), failure(-2147467259, "disk I/O error")};
  EXPECT_EQ(read(Variant(int32_t{42})), Variant(int16_t{10}));
  EXPECT_EQ(statements().size(), 3u);
  EXPECT_EQ(cliente, Variant("Acme"));
  EXPECT_NE(msg.text().find("mConsulta_Campos_LISTA_CARGA - Z418KT ( disk I/O error"),
            std::string::npos);

  // The AWB count fails: no warning, status 10.
  runner->answers = {documentRow(), cargoRow(), noResultSet()};
  EXPECT_EQ(read(Variant(int32_t{42})), Variant(int16_t{10}));
  EXPECT_EQ(texto, Variant("caller text"));
}

TEST_F(ReadColeta, RefusalsAndOwnErrorsRunNoStatement) {
  for (Variant id : {Variant(), Variant("0"), Variant(int32_t{0}), Variant(" ")}) {
    EXPECT_EQ(read(id), Variant(int16_t{10}));
    EXPECT_EQ(msg, Variant("Coleta não informada. Contacte o Administrador."));
  }
  conecta = Variant::null();
  EXPECT_EQ(read(Variant(int32_t{42})), Variant(int16_t{10}));
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.gConsulta_Coleta - Z418KT ( Invalid use of Null : 94)   No Nº 8010");
  EXPECT_TRUE(runner->opened.empty());
  EXPECT_EQ(texto, Variant("caller text"));
}

}  // namespace
}  // namespace z418kt
