// The SP_KTR_ procedures of the SQLite database, called as the component
// calls them ("EXEC name args" through the database runner), on the demo data.
#include <gtest/gtest.h>

#include "data/recordset.h"
#include "data/statement_runner.h"
#include "data/temp_database.h"

namespace z418kt::testing {
namespace {

class ProceduresTest : public ::testing::Test {
 protected:
  data::RowSet exec(const std::string& statement) {
    return runner->run({statement, db.text(), data::adUseServer, -1, -1, -1});
  }
  Variant one(const std::string& statement) {
    auto rows = exec(statement);
    return rows.rows.empty() ? Variant() : rows.rows[0][0];
  }
  // The value of `column` in the first row.
  static Variant at(const data::RowSet& rows, const std::string& column) {
    for (size_t c = 0; c < rows.columns.size(); ++c)
      if (rows.columns[c] == column) return rows.rows.at(0).at(c);
    ADD_FAILURE() << "no column " << column;
    return Variant();
  }

  TempDatabase db;
  std::shared_ptr<data::StatementRunner> runner = data::makeDatabaseRunner();
};

using Columns = std::vector<std::string>;

TEST_F(ProceduresTest, ReadProceduresAnswerTheNamedColumns) {
  auto count = exec("EXEC SP_KTR_CON_QTDE_AWB_COLETA   100, 1, 115");
  EXPECT_EQ(count.columns, Columns{"contador"});
  EXPECT_EQ(count.rows[0][0], Variant(int32_t{1}));
  EXPECT_EQ(one("EXEC SP_KTR_CON_QTDE_AWB_COLETA   110, 1, 115"), Variant(int32_t{0}));

  auto person = exec("EXEC SP_KTR_CON_PESSOA_AWB   11");
  EXPECT_EQ(person.columns, (Columns{"cep", "cod_munic_iata", "endereco", "municipio",
                                     "MUNICIPIO_ID", "pf_cpf", "pf_rg", "pj_cgc",
                                     "pj_inscr_estadual", "nome", "nome_fantasia", "pessoa_id"}));
  EXPECT_EQ(at(person, "pf_cpf"), Variant("123.456.789-09"));
  EXPECT_EQ(at(person, "municipio"), Variant("S\xc3\xa3o Paulo"));
  auto company = exec("EXEC SP_KTR_CON_PESSOA_AWB   12");
  EXPECT_TRUE(at(company, "pf_cpf").isNull());
  EXPECT_EQ(at(company, "pj_cgc"), Variant("12.345.678/0001-95"));
  EXPECT_EQ(at(company, "cod_munic_iata"), Variant("VCP"));
  auto nobody = exec("EXEC SP_KTR_CON_PESSOA_AWB   999");
  EXPECT_TRUE(nobody.hasResultSet);
  EXPECT_TRUE(nobody.rows.empty());

  auto header = exec("EXEC SP_KTR_CON_SOLICIT_COLETA   100, 1, 5");
  EXPECT_EQ(header.columns,
            (Columns{"cliente_id", "cliente", "END_DESTINATARIO_ID", "END_REMETENTE_ID",
                     "num_volume", "peso_real", "txt_embalagem", "val_declarado"}));
  EXPECT_EQ(at(header, "cliente"), Variant("Aurora Pe\xc3\xa7"
                                           "as"));
  EXPECT_EQ(at(header, "num_volume"), Variant(int32_t{6}));
  EXPECT_EQ(at(header, "peso_real"), Variant(125.5));
  EXPECT_EQ(at(header, "val_declarado"), Variant(1500.75));
  EXPECT_EQ(at(header, "txt_embalagem"), Variant("Caixas de papel\xc3\xa3o"));
  EXPECT_TRUE(exec("EXEC SP_KTR_CON_SOLICIT_COLETA   100, 1, 115").rows.empty());

  auto pieces = exec("EXEC SP_KTR_CON_CARGA_AWB   100");
  EXPECT_EQ(pieces.columns,
            (Columns{"num_volume", "largura_m", "altura_m", "comprimento_m", "CARGA_ID"}));
  ASSERT_EQ(pieces.rows.size(), 3u);
  EXPECT_EQ(pieces.rows[0], (std::vector<Variant>{int32_t{2}, 0.5, 0.4, 0.6, int32_t{200}}));
}

TEST_F(ProceduresTest, DocumentInsertTakesTheSharedSequenceAuditsAndRefusesUnknownParties) {
  auto row =
      exec("EXEC SP_KTR_INC_SOLICIT_COLETA   2, 11, 12, 4, 12.5, 1, 5, 'Caixa d''agua', 99.9, 7");
  EXPECT_EQ(row.columns, (Columns{"DOCTO_TRANSPORTE_ID", "retorno", "MSG_RET"}));
  EXPECT_EQ(row.rows[0], (std::vector<Variant>{int32_t{1000}, int32_t{0}, Variant("")}));
  EXPECT_EQ(one("SELECT EMPRESA_ID || '/' || NUM_DOCTO_TRANSPORTE || '/' || PESO_REAL || '/' || "
                "TXT_EMBALAGEM || '/' || (DATA_EMISSAO IS NOT NULL) FROM DOCTO_TRANSPORTE "
                "WHERE DOCTO_TRANSPORTE_ID = 1000"),
            Variant("1/1000/12.5/Caixa d'agua/1"));
  EXPECT_EQ(one("SELECT COUNT(*) FROM KTR_AUDITORIA WHERE ENTIDADE = 13 AND OPERACAO = 1 "
                "AND USUARIO_ID = 7 AND DOCTO_TRANSPORTE_ID = 1000"),
            Variant(int32_t{1}));

  // Refusals keep nothing, not even the allocated key.
  auto notClient = exec("EXEC SP_KTR_INC_SOLICIT_COLETA   4, 11, 12, 4, 1, 1, 5, 'x', 1, 7");
  EXPECT_EQ(at(notClient, "retorno"), Variant(int32_t{1}));
  EXPECT_EQ(at(notClient, "MSG_RET"), Variant("Cliente n\xc3\xa3o encontrado."));
  auto noAddress = exec("EXEC SP_KTR_INC_SOLICIT_COLETA   2, 77, 12, 4, 1, 1, 5, 'x', 1, 7");
  EXPECT_EQ(at(noAddress, "retorno"), Variant(int32_t{1}));
  auto badWeight = exec("EXEC SP_KTR_INC_SOLICIT_COLETA   2, 11, 12, 4, 'abc', 1, 5, 'x', 1, 7");
  EXPECT_EQ(at(badWeight, "retorno"), Variant(int32_t{1}));
  EXPECT_EQ(one("SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = 'DOCTO_TRANSPORTE_ID'"),
            Variant(int32_t{1000}));
  EXPECT_EQ(one("SELECT COUNT(*) FROM DOCTO_TRANSPORTE"), Variant(int32_t{5}));

  // A hostile text is stored as it is: arguments are bound, never spliced.
  exec(
      "EXEC SP_KTR_INC_SOLICIT_COLETA   2, 11, 12, 1, 1, 1, 5, 'x''); DROP TABLE CARGA; --', 1, 7");
  EXPECT_EQ(one("SELECT TXT_EMBALAGEM FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = 1001"),
            Variant("x'); DROP TABLE CARGA; --"));
  EXPECT_EQ(one("SELECT COUNT(*) FROM CARGA"), Variant(int32_t{3}));
}

TEST_F(ProceduresTest, DocumentUpdateChangesAuditsAndRefusesMissingDocumentsOrClients) {
  auto ok = exec(
      "EXEC SP_KTR_ALT_SOLICIT_COLETA   110, 1, 13, 11, 7, 10.25, 1, 5, 'Nova', "
      "2000, 7");
  EXPECT_EQ(ok.columns, (Columns{"retorno", "MSG_RET"}));
  EXPECT_EQ(at(ok, "retorno"), Variant(int32_t{0}));
  EXPECT_EQ(one("SELECT CLIENTE_ID || '/' || NUM_VOLUME || '/' || PESO_REAL || '/' || "
                "TXT_EMBALAGEM || '/' || VAL_DECLARADO FROM DOCTO_TRANSPORTE "
                "WHERE DOCTO_TRANSPORTE_ID = 110"),
            Variant("1/7/10.25/Nova/2000"));
  EXPECT_EQ(one("SELECT COUNT(*) FROM KTR_AUDITORIA WHERE OPERACAO = 2 AND DOCTO_TRANSPORTE_ID = "
                "110"),
            Variant(int32_t{1}));

  auto missing = exec("EXEC SP_KTR_ALT_SOLICIT_COLETA   9999, 2, 11, 12, 1, 1, 1, 5, 'x', 1, 7");
  EXPECT_EQ(at(missing, "retorno"), Variant(int32_t{1}));
  EXPECT_EQ(at(missing, "MSG_RET"), Variant("Coleta n\xc3\xa3o encontrada."));
  auto notClient = exec("EXEC SP_KTR_ALT_SOLICIT_COLETA   110, 4, 11, 12, 1, 1, 1, 5, 'x', 1, 7");
  EXPECT_EQ(at(notClient, "retorno"), Variant(int32_t{1}));
  EXPECT_EQ(one("SELECT CLIENTE_ID FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = 110"),
            Variant(int32_t{1}));
}

TEST_F(ProceduresTest, DocumentDeleteMarksStatusTwoOnceThenRefuses) {
  auto first = exec("EXEC SP_KTR_EXC_SOLICIT_COLETA   110, 7");
  EXPECT_EQ(first.columns, (Columns{"retorno", "MSG_RET"}));
  EXPECT_EQ(at(first, "retorno"), Variant(int32_t{0}));
  EXPECT_EQ(one("SELECT TAB_STATUS_ID FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = 110"),
            Variant(int32_t{2}));
  auto second = exec("EXEC SP_KTR_EXC_SOLICIT_COLETA   110, 7");
  EXPECT_EQ(at(second, "retorno"), Variant(int32_t{1}));
  EXPECT_EQ(at(second, "MSG_RET"), Variant("Coleta n\xc3\xa3o encontrada."));
  // Nor does a deleted document take new pieces or changes.
  EXPECT_EQ(at(exec("EXEC SP_KTR_INC_CARGA_awb   110, 1, 1, 1, 1"), "retorno"),
            Variant(int32_t{1}));
  EXPECT_EQ(
      at(exec("EXEC SP_KTR_ALT_SOLICIT_COLETA   110, 3, 13, 11, 1, 1, 1, 5, 'x', 1, 7"), "retorno"),
      Variant(int32_t{1}));
}

TEST_F(ProceduresTest, CargoInsertAndDeleteFollowTheDocumentOrThePiece) {
  auto piece = exec("EXEC SP_KTR_INC_CARGA_awb   110, 0.5, 1.25, 2, 3");
  EXPECT_EQ(piece.columns, (Columns{"CARGA_ID", "retorno", "MSG_RET"}));
  EXPECT_EQ(piece.rows[0], (std::vector<Variant>{int32_t{1000}, int32_t{0}, Variant("")}));
  EXPECT_EQ(exec("EXEC SP_KTR_CON_CARGA_AWB   110").rows.at(0),
            (std::vector<Variant>{int32_t{3}, 0.5, 1.25, int32_t{2}, int32_t{1000}}));
  auto orphan = exec("EXEC SP_KTR_INC_CARGA_awb   9999, 1, 1, 1, 1");
  EXPECT_EQ(at(orphan, "retorno"), Variant(int32_t{1}));
  EXPECT_EQ(at(orphan, "MSG_RET"), Variant("Documento de transporte n\xc3\xa3o encontrado."));
  EXPECT_EQ(one("SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = 'CARGA_ID'"),
            Variant(int32_t{1000}));

  // No document (0 or NULL): only the one piece goes.
  EXPECT_EQ(at(exec("EXEC SP_KTR_EXC_CARGA_AWB   201, 0 "), "retorno"), Variant(int32_t{0}));
  EXPECT_EQ(at(exec("EXEC SP_KTR_EXC_CARGA_AWB   202, NULL "), "retorno"), Variant(int32_t{0}));
  EXPECT_EQ(one("SELECT GROUP_CONCAT(CARGA_ID) FROM CARGA"), Variant("200,1000"));
  // A document: all its pieces, whatever the cargo id says.
  EXPECT_EQ(at(exec("EXEC SP_KTR_EXC_CARGA_AWB   1000, 100 "), "retorno"), Variant(int32_t{0}));
  EXPECT_EQ(one("SELECT GROUP_CONCAT(CARGA_ID) FROM CARGA"), Variant("1000"));
  // Removing nothing is a success.
  EXPECT_EQ(at(exec("EXEC SP_KTR_EXC_CARGA_AWB   NULL, 4242 "), "retorno"), Variant(int32_t{0}));
}

TEST_F(ProceduresTest, CallsMatchNamesInAnyCaseAndRefuseUnknownProceduresOrArity) {
  EXPECT_EQ(exec("exec sp_ktr_con_carga_awb 100;").rows.size(), 3u);
  try {
    exec("EXEC SP_KTR_NAO_EXISTE   1");
    ADD_FAILURE() << "unknown procedure ran";
  } catch (const AutomationError& e) {
    EXPECT_NE(e.description.find("SP_KTR_NAO_EXISTE"), std::string::npos) << e.description;
  }
  EXPECT_THROW(exec("EXEC SP_KTR_CON_CARGA_AWB   100, 1"), AutomationError);
  EXPECT_THROW(exec("EXEC SP_KTR_CON_CARGA_AWB   100 + 1"), AutomationError);
  EXPECT_THROW(exec("EXEC SP_KTR_CON_CARGA_AWB   (SELECT 1)"), AutomationError);
  // The session that saw those errors is still good for the next call.
  EXPECT_EQ(one("EXEC SP_KTR_CON_QTDE_AWB_COLETA   100, 2, 115"), Variant(int32_t{1}));
}

}  // namespace
}  // namespace z418kt::testing
