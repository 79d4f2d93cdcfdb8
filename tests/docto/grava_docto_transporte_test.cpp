// The three document writes (insert, update, delete) in both dialects.
#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::noResultSet;
using testing::rows;

class DocumentWrites : public testing::ComponentTest {
 protected:
  DocumentWrites() { empresa = Variant(int32_t{7}); }  // the statements write company 1
  bool insert(const char* banco, Variant& newId) {
    return succeeds(
        "mInclui_Campos_DOCTO_TRANSPORTE", banco,
        {&cliente, &destino, &origem, &volumes, &peso, &status, &tipo, &txt, &valor, &newId, &msg});
  }
  bool update(const char* banco) {
    return succeeds("mAltera_Campos_DOCTO_TRANSPORTE", banco,
                    {Variant(int32_t{42}), &cliente, &destino, &origem, &volumes, &peso, &status,
                     &tipo, &txt, &valor, &msg});
  }
  bool remove(const char* banco) {
    return succeeds("mExclui_Campos_DOCTO_TRANSPORTE", banco, {Variant(int32_t{42}), &msg});
  }
  // The calls that reach the database or the identifier component, in order.
  std::vector<std::string> effects() {
    std::vector<std::string> out;
    for (const auto& entry : log())
      if (entry.rfind("IdentifierUtil", 0) == 0 || entry.rfind("Open", 0) == 0)
        out.push_back(entry);
    return out;
  }
  Variant cliente{int32_t{2}}, destino{int32_t{11}}, origem{int32_t{12}}, volumes{int32_t{6}},
      peso{"125,5"}, status{int16_t{1}}, tipo{int16_t{5}}, txt{"Caixas"}, valor{"1500,75"},
      msg{"caller"};
};

TEST_F(DocumentWrites, StoredProcedureInsertReadsTheNewIdentifierAndRefusesBeforeSending) {
  // Its statement text is checked with the whole save of a Coleta.
  runner->answers = {
      rows({"DOCTO_TRANSPORTE_ID", "retorno", "MSG_RET"}, {{int32_t{77}, int32_t{0}, ""}}),
      rows({"DOCTO_TRANSPORTE_ID", "retorno"}, {{int32_t{78}, int32_t{1}}})};
  Variant newId("untouched");
  EXPECT_TRUE(insert("SQLSERVER", newId));
  EXPECT_EQ(newId, Variant(int32_t{77}));
  const auto& open = runner->opened[0];
  EXPECT_EQ((std::vector<int>{open.cursorLocation, open.cursorType, open.lockType, open.options}),
            (std::vector<int>{2, -1, -1, -1}));
  // A refusal of the procedure, then a refused declared value: False, nothing written.
  EXPECT_FALSE(insert("SQLSERVER", newId));
  refuseDecimal("1500,75");
  EXPECT_FALSE(insert("SQLSERVER", newId));
  EXPECT_EQ(runner->opened.size(), 2u);
  EXPECT_EQ(newId, Variant(int32_t{77}));
  EXPECT_EQ(msg, Variant("caller"));
}

TEST_F(DocumentWrites, OracleInsertAllocatesInsertsRecordsThenOpensTheConstantSelect) {
  runner->answers = {noResultSet(), rows({"DOCTO_TRANSPORTE_ID", "RETORNO", "MSG_RET"},
                                         {{int32_t{1001}, int32_t{0}, ""}})};
  Variant newId;
  EXPECT_TRUE(insert("ORACLE", newId));
  const std::string insertText =
      " INSERT  INTO DOCTO_TRANSPORTE  ( DOCTO_TRANSPORTE_ID ,  EMPRESA_ID ,  DATA_EMISSAO ,  "
      "CLIENTE_ID ,  END_DESTINATARIO_ID ,  END_REMETENTE_ID ,  NUM_VOLUME ,  PESO_REAL ,  "
      "TAB_STATUS_ID ,  TAB_TIPO_DOCTO_TRANSP_ID ,  TXT_EMBALAGEM ,  VAL_DECLARADO ,  "
      "NUM_DOCTO_TRANSPORTE )  VALUES  (  o3(1001) ,  1 ,  SYSDATE ,   o3(2) ,   o3(11) ,   "
      "o3(12) ,   o3(6) ,   o3(d(125,5)) ,   o3(1) ,   o3(5) ,   o4(Caixas) ,   o3(d(1500,75)) ,  "
      " o3(1001) ) ";
  EXPECT_EQ(
      effects(),
      (std::vector<std::string>{
          "IdentifierUtil.op1(ORACLE, 1, 0, TRIVEMAR, N, c, DOCTO_TRANSPORTE_ID)",
          "Open(" + insertText + ")", "IdentifierUtil.op3(ORACLE, 13, 1, 1, 1001, c)",
          "Open( SELECT  1001 DOCTO_TRANSPORTE_ID , 0 RETORNO , '' MSG_RET FROM INFRA_IDS)"}));
  EXPECT_EQ(newId, Variant(int32_t{1001}));

  // The audit record refused: the row is inserted, the result is False, no message.
  state->onRecord = [](int32_t) { return Variant::boolean(false); };
  runner->answers.push_back(noResultSet());
  EXPECT_FALSE(insert("ORACLE", newId));
  EXPECT_EQ(runner->opened.size(), 3u);
  EXPECT_EQ(msg, Variant("caller"));
  EXPECT_EQ(newId, Variant(int32_t{1001}));
  EXPECT_EQ(state->identifierInstances, 2);
  EXPECT_EQ(state->identifierReleased, 2);
}

TEST_F(DocumentWrites, UpdateInBothDialects) {
  runner->answers = {rows({"retorno", "MSG_RET"}, {{int32_t{0}, "ok"}}), noResultSet(),
                     rows({"RETORNO", "MSR_RET"}, {{int32_t{0}, ""}})};
  EXPECT_TRUE(update("ORACLE "));
  EXPECT_TRUE(update("ORACLE"));
  const std::string select = " SELECT 0 RETORNO , '' MSR_RET from infra_Ids ";
  EXPECT_EQ(statements(),
            (std::vector<std::string>{
                "EXEC SP_KTR_ALT_SOLICIT_COLETA   a7(42), a7(2), a7(11), a7(12), a7(6), "
                "a7(d(125,5)), a7(1), a7(5), a8(Caixas), a7(d(1500,75)), a7(1)",
                " UPDATE DOCTO_TRANSPORTE  SET  EMPRESA_ID = 1 ,  cliente_Id =  o3(2) ,  "
                "END_DESTINATARIO_ID =  o3(11) ,  END_REMETENTE_ID =  o3(12) ,  NUM_VOLUME =  "
                "o3(6) ,  PESO_REAL =  o3(d(125,5)) ,  TAB_STATUS_ID =  o3(1) ,  "
                "TAB_TIPO_DOCTO_TRANSP_ID =  o3(5) ,  TXT_EMBALAGEM =  o4(Caixas) ,  VAL_DECLARADO "
                "=  o3(d(1500,75))  WHERE DOCTO_TRANSPORTE_ID  =o3(42) ",
                select}));
  const auto tail = effects();
  EXPECT_EQ(std::vector<std::string>(tail.end() - 2, tail.end()),
            (std::vector<std::string>{"IdentifierUtil.op3(ORACLE, 13, 2, 1, 42, c)",
                                      "Open(" + select + ")"}));
  EXPECT_EQ(msg, Variant("caller"));
  // A refused declared value stops both forms before anything is sent.
  refuseDecimal("1500,75");
  EXPECT_FALSE(update("ORACLE"));
  EXPECT_FALSE(update("SQLSERVER"));
  EXPECT_EQ(runner->opened.size(), 3u);
  EXPECT_EQ(state->identifierInstances, 1);
  EXPECT_EQ(state->identifierReleased, 1);
}

TEST_F(DocumentWrites, OracleDeleteMarksTheDocumentWithoutAudit) {
  // The procedure form is checked with the delete of a Coleta.
  runner->answers = {noResultSet(), rows({"RETORNO", "MSG_RET"}, {{int32_t{0}, ""}})};
  EXPECT_TRUE(remove("ORACLE"));
  EXPECT_EQ(
      statements(),
      (std::vector<std::string>{
          " UPDATE DOCTO_TRANSPORTE  SET TAB_STATUS_ID = 2  WHERE DOCTO_TRANSPORTE_ID =o3(42) ",
          " SELECT 0 RETORNO , '' MSG_RET FROM INFRA_iDS "}));
  EXPECT_EQ(msg, Variant("caller"));
  EXPECT_EQ(state->identifierInstances, 0);
}

}  // namespace
}  // namespace z418kt
