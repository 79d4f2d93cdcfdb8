#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::rows;

class CountAwbs : public testing::ComponentTest {
 protected:
  bool count(const char* banco) {
    return succeeds(
        "mConsulta_Qtde_AWB_COLETA", banco,
        {Variant(int32_t{42}), Variant(int16_t{1}), Variant(int16_t{115}), &contador, &msg});
  }
  Variant contador{"caller"}, msg{"untouched"};
};

TEST_F(CountAwbs, BothDialectsCountFromTheFirstRow) {
  runner->answers = {rows({"CONTADOR"}, {{Variant(int32_t{3})}, {Variant(int32_t{9})}}),
                     rows({"CONTADOR"}, {})};
  EXPECT_TRUE(count("oracle"));
  EXPECT_EQ(contador, Variant(int32_t{3}));
  EXPECT_EQ(msg, Variant("untouched"));
  const auto& open = runner->opened[0];
  EXPECT_EQ((std::vector<int>{open.cursorLocation, open.cursorType, open.lockType, open.options}),
            (std::vector<int>{3, 3, 1, -1}));
  // The Oracle form builds the count; an empty result counts zero.
  EXPECT_TRUE(count("ORACLE"));
  EXPECT_EQ(contador, Variant(int16_t{0}));
  EXPECT_EQ(statements(),
            (std::vector<std::string>{
                "EXEC SP_KTR_CON_QTDE_AWB_COLETA   a7(42), a7(1), a7(115)",
                " SELECT  COUNT ( DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID ) AS CONTADOR  FROM  "
                "DOCTO_TRANSPORTE  WHERE  DOCTO_TRANSPORTE.DOCTO_TRANSP_PAI_ID =o3(42) AND  "
                "DOCTO_TRANSPORTE.TAB_STATUS_ID =o3(1) AND  "
                "DOCTO_TRANSPORTE.TAB_TIPO_DOCTO_TRANSP_ID =o3(115) "}));
}

TEST_F(CountAwbs, FailuresLeaveTheCountAlone) {
  // A missing column goes to the trap, whose suffix shows the statement.
  runner->answers.push_back(rows({"other"}, {{Variant(int32_t{1})}}));
  EXPECT_FALSE(count(""));
  EXPECT_EQ(contador, Variant("caller"));
  EXPECT_NE(msg.text().find("Item cannot be found in the collection corresponding to the "
                            "requested name or ordinal. : 3265)   No Nº 8260 STRSQ: EXEC "
                            "SP_KTR_CON_QTDE_AWB_COLETA   a7(42), a7(1), a7(115)"),
            std::string::npos)
      << msg.text();

  // A builder error: the builder's message, and the operation answers False.
  state->onSql = [](int, const Variant&, const std::string&) -> Variant {
    throw AutomationError(5, "bad value");
  };
  EXPECT_FALSE(count("ORACLE"));
  EXPECT_EQ(msg.text(),
            "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais "
            "tarde. - mTrataSP_KTR_CON_QTDE_AWB_COLETA - Z418KT (bad value :  No Nº 8310) SELECT  "
            "COUNT ( DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID ) AS CONTADOR  FROM  DOCTO_TRANSPORTE  "
            "WHERE ");
  EXPECT_EQ(contador, Variant("caller"));
}

}  // namespace
}  // namespace z418kt
