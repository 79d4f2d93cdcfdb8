#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::rows;

const std::string kProcedure = "EXEC SP_KTR_CON_SOLICIT_COLETA   a7(42), a7(1), a7(5)";
const std::string kOracle =
    " SELECT  DOCTO_TRANSPORTE.END_DESTINATARIO_ID ,  DOCTO_TRANSPORTE.END_REMETENTE_ID ,  "
    "DOCTO_TRANSPORTE.NUM_VOLUME ,  DOCTO_TRANSPORTE.PESO_REAL ,  DOCTO_TRANSPORTE.TXT_EMBALAGEM , "
    " DOCTO_TRANSPORTE.VAL_DECLARADO,  DOCTO_TRANSPORTE.cliente_id,  VCLIENTE.NOME_FANTASIA "
    "CLIENTE  FROM  DOCTO_TRANSPORTE,  vCLIENTE   WHERE  DOCTO_TRANSPORTE.CLIENTE_iD = "
    "VCLIENTE.PESSOA_ID AND  DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID =o3(42) AND  "
    "DOCTO_TRANSPORTE.TAB_STATUS_ID =o3(1) AND  DOCTO_TRANSPORTE.TAB_TIPO_DOCTO_TRANSP_ID =o3(5) ";

// Two rows; only the first is read.
testing::Scripted documentRows() {
  return rows({"cliente_id", "cliente", "END_DESTINATARIO_ID", "END_REMETENTE_ID", "num_volume",
               "peso_real", "txt_embalagem", "val_declarado"},
              {{Variant(int32_t{7}), Variant("Acme"), Variant(int32_t{21}), Variant(int32_t{22}),
                Variant(int32_t{3}), Variant(12.5), Variant("caixas"), Variant(100.25)},
               std::vector<Variant>(8, Variant("second"))});
}

class ReadDocument : public testing::ComponentTest {
 protected:
  // The outputs `o` are numbered in the order the operation reads them.
  bool read(const char* banco) {
    return succeeds("mConsulta_Campos_DOCTO_TRANSPORTE", banco,
                    {Variant(int32_t{42}), Variant(int16_t{1}), Variant(int16_t{5}), &o[2], &o[3],
                     &o[4], &o[5], &o[6], &o[7], &o[0], &o[1], &msg});
  }
  const std::vector<Variant> callers = std::vector<Variant>(8, Variant("caller"));
  std::vector<Variant> o = callers;
  Variant msg{"untouched"};
};

TEST_F(ReadDocument, BothDialectsReadTheFirstRowInOrder) {
  runner->answers = {documentRows(), documentRows()};
  EXPECT_TRUE(read(" ORACLE"));
  const std::vector<Variant> expected{
      Variant(int32_t{7}), Variant("Acme"),     Variant(int32_t{21}), Variant(int32_t{22}),
      Variant(int32_t{3}), Variant("n1(12.5)"), Variant("caixas"),    Variant("n1(100.25)")};
  EXPECT_EQ(o, expected);
  EXPECT_EQ(msg, Variant("untouched"));
  log().clear();
  o = callers;
  EXPECT_TRUE(read("ORACLE"));
  EXPECT_EQ(statements(), (std::vector<std::string>{kProcedure, kOracle}));
  EXPECT_EQ(o, expected);
  EXPECT_EQ(std::vector<std::string>(log().begin(), log().begin() + 6),
            (std::vector<std::string>{"ValueUtil.op4(42)", "ValueUtil.op4(1)", "ValueUtil.op4(5)",
                                      "OracleSqlUtil.op3(42, '=')", "OracleSqlUtil.op3(1, '=')",
                                      "OracleSqlUtil.op3(5, '=')"}));
}

TEST_F(ReadDocument, FailuresKeepTheOutputsAlreadyWritten) {
  // A failing weight format: the five outputs read before it keep the row's values.
  state->onFormat = [](int, const Variant&) -> Variant { throw AutomationError(5, "boom"); };
  runner->answers.push_back(documentRows());
  EXPECT_FALSE(read(""));
  EXPECT_EQ(o, (std::vector<Variant>{Variant(int32_t{7}), Variant("Acme"), Variant(int32_t{21}),
                                     Variant(int32_t{22}), Variant(int32_t{3}), Variant("caller"),
                                     Variant("caller"), Variant("caller")}));
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.mConsulta_Campos_DOCTO_TRANSPORTE - Z418KT ( boom : 5)   No Nº 8500 STRSQ: " +
                kProcedure);

  // A builder failure: its own message, nothing opened, nothing written.
  state->onSql = [](int, const Variant& v, const std::string&) -> Variant {
    if (vb::equals(v, Variant(int32_t{1}))) throw AutomationError(5, "bad status");
    return Variant("=x");
  };
  o = callers;
  EXPECT_FALSE(read("ORACLE"));
  EXPECT_EQ(runner->opened.size(), 1u);
  EXPECT_EQ(o, callers);
  EXPECT_EQ(msg.text(),
            "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais "
            "tarde. - mTrataSP_KTR_CON_SOLICIT_COLETA - Z418KT (bad status :  No Nº 8570)" +
                kOracle.substr(0, kOracle.find("=o3(42)")) + "=x AND ");
}

}  // namespace
}  // namespace z418kt
