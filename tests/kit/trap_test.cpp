// The trap's shapes that no operation's own test reaches; each operation's
// test pins the message of its own failures.
#include "kit/trap.h"

#include <gtest/gtest.h>

#include "support/temp_database.h"

namespace z418kt {
namespace {

const std::string kGeneric =
    "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais tarde.";

std::string trapped(OperationId id, const Variant& user, int32_t statement, std::string sql) {
  Variant msg("earlier message");
  withTrap(id, user, msg, [&](TrapState& st) {
    st.at(statement);
    st.sql = sql;
    throw AutomationError(-2147217865, "D");
  });
  return msg.text();
}

TEST(Trap, SuffixOnlyForUserOneAndOnlyANumberEscapes) {
  // Business operations end after the statement number, whatever the text.
  EXPECT_EQ(trapped(OperationId::gGrava_Coleta, Variant("1"), 8015, "ignored"),
            kGeneric + "gGrava_Coleta - Z418KT ( D : -2147217865)   No Nº 8015");
  EXPECT_EQ(trapped(OperationId::mTrataSP_KTR_INC_SOLICIT_COLETA, Variant("1"), 1, ""),
            "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais "
            "tarde. - mTrataSP_KTR_INC_SOLICIT_COLETA - Z418KT(D :  No Nº 1)");
  for (const Variant& user :
       {Variant(int32_t{2}), Variant(2.0), Variant(), Variant("0"), Variant::null()})
    EXPECT_EQ(trapped(OperationId::gConsulta_Coleta, user, 8015, ""), kGeneric);

  // A user id that is no number escapes, after the generic text is written.
  Variant msg("before");
  EXPECT_EQ(testing::failureOf([&] {
              withTrap(OperationId::gExclui_Coleta, Variant("abc"), msg,
                       [](TrapState&) { throw AutomationError(5, "x"); });
            }).number,
            13);
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
