// Inserting and deleting cargo pieces in both dialects.
#include <algorithm>

#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::noResultSet;
using testing::rows;

class CargoWrites : public testing::ComponentTest {
 protected:
  bool insert(const char* banco) {
    return succeeds("mInclui_Campos_CARGA", banco,
                    {&doc, &largura, &altura, &comprimento, &volumes, &cargaId, &msg});
  }
  bool remove(Variant document, Variant carga) {
    return succeeds("mExclui_Campos_CARGA", "ORACLE", {document, carga, &msg});
  }
  std::vector<std::string> checked() {
    std::vector<std::string> out;
    for (const auto& entry : log())
      if (entry.rfind("ValueUtil.op11", 0) == 0) out.push_back(entry);
    return out;
  }
  Variant doc{int32_t{42}}, largura{"0,5"}, altura{"0,4"}, comprimento{"0,6"}, volumes{int32_t{2}},
      cargaId{"untouched"}, msg{"caller"};
};

TEST_F(CargoWrites, StoredProcedureInsert) {
  // Its statement text is checked with the whole save of a Coleta.
  runner->answers = {rows({"retorno", "CARGA_ID", "MSG_RET"}, {{int32_t{0}, int32_t{17}, ""}}),
                     rows({"retorno", "CARGA_ID"}, {{int32_t{1}, int32_t{18}}})};
  EXPECT_TRUE(insert("SQLSERVER"));
  EXPECT_FALSE(insert("SQLSERVER"));  // "retorno" 1: nothing written
  EXPECT_EQ(cargaId, Variant(int32_t{17}));
  // A refused height: the width was checked, the length never is, nothing is sent.
  log().clear();
  refuseDecimal("0,4");
  EXPECT_FALSE(insert("SQLSERVER"));
  EXPECT_EQ(checked(), (std::vector<std::string>{"ValueUtil.op11(0,5)", "ValueUtil.op11(0,4)"}));
  EXPECT_EQ(runner->opened.size(), 2u);
  EXPECT_EQ(msg, Variant("caller"));
}

TEST_F(CargoWrites, OracleInsertAllocatesBeforeCheckingTheDimensions) {
  runner->answers = {noResultSet(),
                     rows({"CARGA_ID", "RETORNO", "MSG_RET"}, {{int32_t{1001}, int32_t{0}, ""}})};
  EXPECT_TRUE(insert("ORACLE"));
  EXPECT_EQ(statements(), (std::vector<std::string>{
                              " INSERT  INTO CARGA  ( CARGA_ID ,  DOCTO_TRANSPORTE_ID ,  LARGURA_M "
                              ",  ALTURA_M ,  COMPRIMENTO_M ,  NUM_VOLUME )  VALUES  (  o3(1001) , "
                              "  o3(42) ,   o3(d(0,5)) ,   o3(d(0,4)) ,   o3(d(0,6)) ,   o3(2) ) ",
                              " SELECT  1001 CARGA_ID , 0 RETORNO , '' MSG_RET FROM INFRA_IDS"}));
  EXPECT_EQ(cargaId, Variant(int32_t{1001}));
  // A refused width: the key is spent, no INSERT, no message.
  log().clear();
  refuseDecimal("0,5");
  EXPECT_FALSE(insert("ORACLE"));
  const auto at = [&](const char* entry) { return std::find(log().begin(), log().end(), entry); };
  EXPECT_LT(at("IdentifierUtil.op1(ORACLE, 1, 0, TRIVEMAR, N, c, CARGA_ID)"),
            at("ValueUtil.op11(0,5)"));
  EXPECT_EQ(checked(), std::vector<std::string>{"ValueUtil.op11(0,5)"});
  EXPECT_EQ(runner->opened.size(), 2u);
  EXPECT_EQ(msg, Variant("caller"));
  // A failing allocation: its message, nothing checked or run.
  state->onAllocate = [](const std::string&, std::string& message, int32_t&) {
    message = "Sem identificador.";
    return Variant::boolean(false);
  };
  log().clear();
  EXPECT_FALSE(insert("ORACLE"));
  EXPECT_EQ(msg, Variant("Sem identificador."));
  EXPECT_TRUE(checked().empty());
  EXPECT_EQ(state->identifierInstances, 3);
  EXPECT_EQ(state->identifierReleased, 3);
  EXPECT_EQ(cargaId, Variant(int32_t{1001}));
}

TEST_F(CargoWrites, OracleDeleteByDocumentOrByPiece) {
  // The procedure form is checked with the save of a Coleta.
  for (int i = 0; i < 3; ++i)
    runner->answers.insert(runner->answers.end(),
                           {noResultSet(), rows({"RETORNO", "MSG_RET"}, {{int32_t{0}, ""}})});
  EXPECT_TRUE(remove(Variant(int32_t{42}), Variant("")));
  EXPECT_TRUE(remove(Variant(""), Variant(int32_t{7})));
  EXPECT_TRUE(remove(Variant(int32_t{0}), Variant(int32_t{0})));
  const std::string select = " SELECT 0 RETORNO , '' MSG_RET FROM INFRA_IDS ";
  EXPECT_EQ(statements(),
            (std::vector<std::string>{" DELETE CARGA  WHERE DOCTO_TRANSPORTE_ID =  o3(42) ", select,
                                      " DELETE CARGA  WHERE CARGA_ID =  o3(7) ", select,
                                      " DELETE CARGA  WHERE CARGA_ID =  o3(0) ", select}));
  EXPECT_EQ(msg, Variant("caller"));
}

}  // namespace
}  // namespace z418kt
