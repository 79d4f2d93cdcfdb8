#include "kit/trap.h"

#include <gtest/gtest.h>

namespace z418kt {
namespace {

const std::string kGeneric =
    "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais tarde.";
const std::string kBuilder =
    "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais tarde.";

std::string trapped(OperationId id, const Variant& user, int32_t statement, std::string sql) {
  Variant msg("earlier message");
  withTrap(id, user, msg, [&](TrapState& st) {
    st.at(statement);
    st.sql = sql;
    throw AutomationError(-2147217865, "D");
  });
  return msg.text();
}

TEST(Trap, SuffixShapesForUserOne) {
  // The statement-running shape, character for character.
  EXPECT_EQ(
      trapped(OperationId::mConsulta_Qtde_AWB_COLETA, Variant(int32_t{1}), 8285, "S"),
      kGeneric + "mConsulta_Qtde_AWB_COLETA - Z418KT ( D : -2147217865)   No Nº 8285 STRSQ: S");
  // Business operations end after the statement number.
  EXPECT_EQ(trapped(OperationId::gGrava_Coleta, Variant("1"), 8015, "ignored"),
            kGeneric + "gGrava_Coleta - Z418KT ( D : -2147217865)   No Nº 8015");
  // Builders: no error number, the statement right after the parenthesis.
  EXPECT_EQ(trapped(OperationId::mTrataSP_KTR_CON_CARGA_AWB, Variant("1"), 9000, " SELECT x"),
            kBuilder + " - mTrataSP_KTR_CON_CARGA_AWB - Z418KT (D :  No Nº 9000) SELECT x");
  EXPECT_EQ(trapped(OperationId::mTrataSP_KTR_INC_SOLICIT_COLETA, Variant("1"), 1, ""),
            kBuilder + " - mTrataSP_KTR_INC_SOLICIT_COLETA - Z418KT(D :  No Nº 1)");
  // The party lookup's own generic text.
  EXPECT_EQ(trapped(OperationId::mConsulta_Campos_vENDERECO_PESSOA, Variant(2.0), 1, ""),
            "Acesso a informações do Cadastro de Coletanão disponível. Favor tentar mais tarde.");
}

TEST(Trap, OtherUsersSeeOnlyTheGenericText) {
  for (const Variant& user : {Variant(int32_t{2}), Variant(), Variant("0"), Variant::null()}) {
    EXPECT_EQ(trapped(OperationId::gConsulta_Coleta, user, 8015, ""), kGeneric);
  }
}

TEST(Trap, NonNumericUserIdEscapesAfterTheGenericText) {
  Variant msg("before");
  try {
    withTrap(OperationId::gExclui_Coleta, Variant("abc"), msg,
             [](TrapState&) { throw AutomationError(5, "x"); });
    FAIL() << "the user-id test must raise";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 13);
  }
  EXPECT_EQ(msg.text(), kGeneric);
  // A builder's user id is a text: the empty text is no number either.
  EXPECT_THROW(trapped(OperationId::mTrataSP_KTR_EXC_CARGA_AWB, Variant(""), 1, ""),
               AutomationError);
}

TEST(Trap, ForeignExceptionsKeepTheirText) {
  Variant msg;
  withTrap(OperationId::gGrava_Coleta, Variant(int32_t{1}), msg,
           [](TrapState&) { throw std::runtime_error("disk full"); });
  EXPECT_NE(msg.text().find("disk full : -2147418113)"), std::string::npos);
  // Something that is no std::exception is not the operation's failure: it passes through.
  struct NotAnError {};
  EXPECT_THROW(withTrap(OperationId::gGrava_Coleta, Variant(int32_t{1}), msg,
                        [](TrapState&) { throw NotAnError{}; }),
               NotAnError);
}

}  // namespace
}  // namespace z418kt
