#include <gtest/gtest.h>

#include "data/postgres_dialect.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {
namespace {

TEST(PostgresDialect, ProcedureCallsBecomeFunctionCallsWithQuotedArguments) {
  EXPECT_EQ(adaptForPostgres("EXEC SP_KTR_CON_QTDE_AWB_COLETA   100, 1, 115"),
            "SELECT * FROM SP_KTR_CON_QTDE_AWB_COLETA('100', '1', '115')");
  // Texts keep their quotes doubled, NULL stays NULL, signs and decimals stay.
  EXPECT_EQ(adaptForPostgres("EXEC SP_KTR_INC_CARGA_awb   7, -0.5, NULL, 'd''Ouro; DELETE X', 2 "),
            "SELECT * FROM SP_KTR_INC_CARGA_awb('7', '-0.5', NULL, 'd''Ouro; DELETE X', '2')");
  EXPECT_EQ(adaptForPostgres("exec sp_ktr_x"), "SELECT * FROM sp_ktr_x()");
  EXPECT_EQ(adaptForPostgres("EXEC SP_X 'SYSDATE', 'EXEC Y'"),
            "SELECT * FROM SP_X('SYSDATE', 'EXEC Y')");
}

TEST(PostgresDialect, ProcedureCallsWithAnythingButLiteralsAreRefused) {
  for (const char* text : {"EXEC SP_X 1, 2; DROP TABLE CARGA", "EXEC SP_X (SELECT 1)",
                           "EXEC SP_X 'unterminated", "EXEC SP_X 1,", "EXEC"}) {
    try {
      adaptForPostgres(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const AutomationError& e) {
      EXPECT_NE(e.description.find("PostgreSQL"), std::string::npos) << e.description;
    }
  }
}

TEST(PostgresDialect, SysdateAndDeleteWithoutFromOutsideLiteralsOnly) {
  EXPECT_EQ(adaptForPostgres(" INSERT INTO T (A, B) VALUES ( 1 , SYSDATE , 'SYSDATE' ) "),
            " INSERT INTO T (A, B) VALUES ( 1 , LOCALTIMESTAMP(0) , 'SYSDATE' ) ");
  EXPECT_EQ(adaptForPostgres(" DELETE CARGA  WHERE CARGA_ID =  5 "),
            " DELETE FROM CARGA  WHERE CARGA_ID =  5 ");
  EXPECT_EQ(adaptForPostgres("DELETE FROM CARGA WHERE X = 'DELETE CARGA'"),
            "DELETE FROM CARGA WHERE X = 'DELETE CARGA'");
  // Names that merely contain the words, qualified columns, quoted names and
  // comments are left alone.
  const char* untouched[] = {
      "SELECT SYSDATE_OLD, T.SYSDATE, \"SYSDATE\" FROM T -- SYSDATE\n",
      "SELECT 'it''s SYSDATE' FROM INFRA_IDS",
      "UPDATE DOCTO_TRANSPORTE SET TXT_EMBALAGEM = 'EXEC SP_X 1' WHERE 1 = 0",
      " SELECT  1000 DOCTO_TRANSPORTE_ID , 0 RETORNO , '' MSG_RET FROM INFRA_IDS",
  };
  for (const char* text : untouched) EXPECT_EQ(adaptForPostgres(text), text);
}

}  // namespace
}  // namespace z418kt::data
