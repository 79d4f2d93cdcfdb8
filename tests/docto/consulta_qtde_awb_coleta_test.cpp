#include <gtest/gtest.h>

#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::ComponentTest;
using testing::rows;

class CountAwbs : public ComponentTest {
 protected:
  bool call(Variant banco, Variant& contador, Variant& msg, Variant user = Variant(int32_t{1})) {
    std::string conn = "Provider=SQLite;Data Source=x.db";
    Variant empresa, produto, pai(int32_t{42}), status(int16_t{1}), tipo(int16_t{115});
    return component.mConsulta_Qtde_AWB_COLETA(conn, user, empresa, banco, produto, pai, status,
                                               tipo, contador, msg);
  }
  Z418kt component;
};

TEST_F(CountAwbs, StoredProcedureFormCountsFromTheFirstRow) {
  runner->answers.push_back(rows({"CONTADOR"}, {{Variant(int32_t{3})}, {Variant(int32_t{9})}}));
  Variant contador("caller"), msg("untouched");
  EXPECT_TRUE(call(Variant("oracle"), contador, msg));
  EXPECT_EQ(statements(),
            std::vector<std::string>{"EXEC SP_KTR_CON_QTDE_AWB_COLETA   a7(42), a7(1), a7(115)"});
  EXPECT_EQ(contador, Variant(int32_t{3}));
  EXPECT_EQ(msg, Variant("untouched"));
  const auto& open = runner->opened[0];
  EXPECT_EQ(open.connection, "Provider=SQLite;Data Source=x.db");
  EXPECT_EQ((std::vector<int>{open.cursorLocation, open.cursorType, open.lockType, open.options}),
            (std::vector<int>{3, 3, 1, -1}));
}

TEST_F(CountAwbs, OracleFormBuildsTheCountAndAnEmptyResultIsZero) {
  runner->answers.push_back(rows({"CONTADOR"}, {}));
  Variant contador("caller"), msg;
  EXPECT_TRUE(call(Variant("ORACLE"), contador, msg));
  EXPECT_EQ(statements()[0],
            " SELECT  COUNT ( DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID ) AS CONTADOR  FROM  "
            "DOCTO_TRANSPORTE  WHERE  DOCTO_TRANSPORTE.DOCTO_TRANSP_PAI_ID =o3(42) AND  "
            "DOCTO_TRANSPORTE.TAB_STATUS_ID =o3(1) AND  DOCTO_TRANSPORTE.TAB_TIPO_DOCTO_TRANSP_ID "
            "=o3(115) ");
  EXPECT_EQ(contador, Variant(int16_t{0}));
}

TEST_F(CountAwbs, FailuresLeaveTheCountAlone) {
  // A missing column goes to the trap, whose suffix shows the statement.
  runner->answers.push_back(rows({"other"}, {{Variant(int32_t{1})}}));
  Variant contador("caller"), msg;
  EXPECT_FALSE(call(Variant(""), contador, msg));
  EXPECT_EQ(contador, Variant("caller"));
  EXPECT_NE(msg.text().find("Item cannot be found in the collection corresponding to the "
                            "requested name or ordinal. : 3265)   No Nº "),
            std::string::npos);
  EXPECT_NE(msg.text().find(" STRSQ: EXEC SP_KTR_CON_QTDE_AWB_COLETA   a7(42), a7(1), a7(115)"),
            std::string::npos);

  // A builder error: the builder's message, and the operation answers False.
  state->onSql = [](int, const Variant&, const std::string&) -> Variant {
    throw AutomationError(5, "bad value");
  };
  msg = Variant();
  EXPECT_FALSE(call(Variant("ORACLE"), contador, msg));
  EXPECT_EQ(msg.text(),
            "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais "
            "tarde. - mTrataSP_KTR_CON_QTDE_AWB_COLETA - Z418KT (bad value :  No Nº 8310) SELECT  "
            "COUNT ( DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID ) AS CONTADOR  FROM  DOCTO_TRANSPORTE  "
            "WHERE ");
  EXPECT_EQ(contador, Variant("caller"));
}

}  // namespace
}  // namespace z418kt
