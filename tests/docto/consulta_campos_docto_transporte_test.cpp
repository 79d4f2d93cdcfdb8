#include <gtest/gtest.h>

#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::ComponentTest;
using testing::noResultSet;
using testing::rows;

const std::string kGeneric =
    "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais tarde.";
const std::string kProcedure = "EXEC SP_KTR_CON_SOLICIT_COLETA   a7(42), a7(1), a7(5)";
const std::string kOracle =
    " SELECT  DOCTO_TRANSPORTE.END_DESTINATARIO_ID ,  DOCTO_TRANSPORTE.END_REMETENTE_ID ,  "
    "DOCTO_TRANSPORTE.NUM_VOLUME ,  DOCTO_TRANSPORTE.PESO_REAL ,  DOCTO_TRANSPORTE.TXT_EMBALAGEM , "
    " DOCTO_TRANSPORTE.VAL_DECLARADO,  DOCTO_TRANSPORTE.cliente_id,  VCLIENTE.NOME_FANTASIA "
    "CLIENTE  FROM  DOCTO_TRANSPORTE,  vCLIENTE   WHERE  DOCTO_TRANSPORTE.CLIENTE_iD = "
    "VCLIENTE.PESSOA_ID AND  DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID =o3(42) AND  "
    "DOCTO_TRANSPORTE.TAB_STATUS_ID =o3(1) AND  DOCTO_TRANSPORTE.TAB_TIPO_DOCTO_TRANSP_ID =o3(5) ";

// The eight outputs in the order the operation reads them.
struct Outputs {
  Variant clienteId{"c0"}, cliente{"c1"}, destinatario{"c2"}, remetente{"c3"}, volumes{"c4"},
      peso{"c5"}, embalagem{"c6"}, valor{"c7"};
  std::vector<Variant> inReadOrder() const {
    return {clienteId, cliente, destinatario, remetente, volumes, peso, embalagem, valor};
  }
};

class ReadDocument : public ComponentTest {
 protected:
  bool call(Variant banco, Outputs& out, Variant& msg, Variant user = Variant(int32_t{1})) {
    std::string conn = "Provider=SQLite;Data Source=x.db";
    Variant empresa, produto, id(int32_t{42}), status(int16_t{1}), tipo(int16_t{5});
    return component.mConsulta_Campos_DOCTO_TRANSPORTE(
        conn, user, empresa, banco, produto, id, status, tipo, out.destinatario, out.remetente,
        out.volumes, out.peso, out.embalagem, out.valor, out.clienteId, out.cliente, msg);
  }
  // A row as the stored procedure names its columns; `columns` may be changed per test.
  testing::Scripted documentRows(std::vector<std::string> columns = {
                                     "cliente_id", "cliente", "END_DESTINATARIO_ID",
                                     "END_REMETENTE_ID", "num_volume", "peso_real", "txt_embalagem",
                                     "val_declarado"}) {
    return rows(columns,
                {{Variant(int32_t{7}), Variant("Acme"), Variant(int32_t{21}), Variant(int32_t{22}),
                  Variant(int32_t{3}), Variant(12.5), Variant("caixas"), Variant(100.25)},
                 {Variant(int32_t{8}), Variant("Other"), Variant(), Variant(), Variant(), Variant(),
                  Variant(), Variant()}});
  }
  Z418kt component;
};

TEST_F(ReadDocument, BothDialectsReadTheFirstRowInOrder) {
  runner->answers.push_back(documentRows());
  Outputs out;
  Variant msg("untouched");
  EXPECT_TRUE(call(Variant(" ORACLE"), out, msg));
  EXPECT_EQ(statements(), std::vector<std::string>{kProcedure});
  const auto& open = runner->opened[0];
  EXPECT_EQ((std::vector<int>{open.cursorLocation, open.cursorType, open.lockType, open.options}),
            (std::vector<int>{3, 3, 1, -1}));
  EXPECT_EQ(out.inReadOrder(),
            (std::vector<Variant>{Variant(int32_t{7}), Variant("Acme"), Variant(int32_t{21}),
                                  Variant(int32_t{22}), Variant(int32_t{3}), Variant("n1(12.5)"),
                                  Variant("caixas"), Variant("n1(100.25)")}));
  EXPECT_EQ(msg, Variant("untouched"));
  // The Oracle form names its columns in upper case; lookups ignore case.
  log().clear();
  runner->answers.push_back(
      documentRows({"CLIENTE_ID", "CLIENTE", "END_DESTINATARIO_ID", "END_REMETENTE_ID",
                    "NUM_VOLUME", "PESO_REAL", "TXT_EMBALAGEM", "VAL_DECLARADO"}));
  Outputs oracle;
  EXPECT_TRUE(call(Variant("ORACLE"), oracle, msg));
  EXPECT_EQ(statements()[1], kOracle);
  EXPECT_EQ(oracle.cliente, Variant("Acme"));
  EXPECT_EQ(std::vector<std::string>(log().begin(), log().begin() + 6),
            (std::vector<std::string>{"ValueUtil.op4(42)", "ValueUtil.op4(1)", "ValueUtil.op4(5)",
                                      "OracleSqlUtil.op3(42, '=')", "OracleSqlUtil.op3(1, '=')",
                                      "OracleSqlUtil.op3(5, '=')"}));
}

TEST_F(ReadDocument, NoRowSucceedsAndAClosedResultFailsBothSilently) {
  runner->answers.push_back(documentRows());
  runner->answers.front().rows.rows.clear();
  runner->answers.push_back(noResultSet());
  Outputs out;
  Variant msg("untouched");
  EXPECT_TRUE(call(Variant(""), out, msg));
  EXPECT_FALSE(call(Variant(""), out, msg));
  EXPECT_EQ(out.inReadOrder(), Outputs().inReadOrder());
  EXPECT_EQ(msg, Variant("untouched"));
}

TEST_F(ReadDocument, ErrorsKeepTheOutputsAlreadyWritten) {
  // A failing weight format: the five outputs read before it keep the row's values.
  state->onFormat = [](int, const Variant&) -> Variant { throw AutomationError(5, "boom"); };
  runner->answers.push_back(documentRows());
  Outputs out;
  Variant msg;
  EXPECT_FALSE(call(Variant(""), out, msg));
  auto values = out.inReadOrder();
  EXPECT_EQ(std::vector<Variant>(values.begin(), values.begin() + 5),
            (std::vector<Variant>{Variant(int32_t{7}), Variant("Acme"), Variant(int32_t{21}),
                                  Variant(int32_t{22}), Variant(int32_t{3})}));
  EXPECT_EQ(std::vector<Variant>(values.begin() + 5, values.end()),
            (std::vector<Variant>{Variant("c5"), Variant("c6"), Variant("c7")}));
  EXPECT_EQ(msg.text(), kGeneric +
                            "mConsulta_Campos_DOCTO_TRANSPORTE - Z418KT ( boom : 5)   "
                            "No Nº 8500 STRSQ: " +
                            kProcedure);

  // A result without val_declarado: seven outputs written, then the trap.
  state->onFormat = nullptr;
  runner->answers.push_back(
      documentRows({"cliente_id", "cliente", "END_DESTINATARIO_ID", "END_REMETENTE_ID",
                    "num_volume", "peso_real", "txt_embalagem", "other"}));
  Outputs missing;
  EXPECT_FALSE(call(Variant(""), missing, msg));
  EXPECT_EQ(missing.embalagem, Variant("caixas"));
  EXPECT_EQ(missing.valor, Variant("c7"));
  EXPECT_NE(msg.text().find(": 3265)   No Nº 8520 STRSQ: "), std::string::npos);

  // A builder failure: its own message, nothing opened, nothing written.
  state->onSql = [](int, const Variant& v, const std::string&) -> Variant {
    if (vb::equals(v, Variant(int32_t{1}))) throw AutomationError(5, "bad status");
    return Variant("=x");
  };
  const size_t opened = runner->opened.size();
  Outputs untouched;
  EXPECT_FALSE(call(Variant("ORACLE"), untouched, msg));
  EXPECT_EQ(runner->opened.size(), opened);
  EXPECT_EQ(untouched.inReadOrder(), Outputs().inReadOrder());
  EXPECT_EQ(msg.text(),
            "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais "
            "tarde. - mTrataSP_KTR_CON_SOLICIT_COLETA - Z418KT (bad status :  No Nº 8570)" +
                kOracle.substr(0, kOracle.find("=o3(42)")) + "=x AND ");
}

}  // namespace
}  // namespace z418kt
