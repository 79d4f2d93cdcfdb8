#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::rows;

const std::vector<std::string> kColumns = {
    "cep",   "cod_munic_iata", "endereco",          "municipio", "MUNICIPIO_ID",  "pf_cpf",
    "pf_rg", "pj_cgc",         "pj_inscr_estadual", "nome",      "nome_fantasia", "pessoa_id"};

// Two rows; only the first is read.
testing::Scripted party() {
  return rows(kColumns,
              {{Variant("01000-000"), Variant("SAO"), Variant("Rua A, 1"), Variant("São Paulo"),
                Variant(int32_t{3550}), Variant::null(), Variant("RG-1"), Variant("12.345"),
                Variant("IE-1"), Variant("Nome"), Variant("Fantasia"), Variant(int32_t{77})},
               std::vector<Variant>(12, Variant("second"))});
}

class PartyLookup : public testing::ComponentTest {
 protected:
  bool read(const char* banco) {
    return succeeds("mConsulta_Campos_vENDERECO_PESSOA", banco,
                    {Variant(int32_t{42}), &o[0], &o[1], &o[2], &o[3], &o[4], &o[5], &o[6], &o[7],
                     &o[8], &o[9], &o[10], &msg});
  }
  Variant lookup(Variant& id) {
    return call(
        "gConsulta_Dados_Pessoa", "",
        {&id, &o[0], &o[1], &o[2], &o[3], &o[4], &o[5], &o[6], &o[7], &o[8], &o[9], &o[10], &msg});
  }
  const std::vector<Variant> callers = std::vector<Variant>(11, Variant("caller"));
  std::vector<Variant> o = callers;  // outputs 7 to 17 in interface order
  Variant msg{"untouched"};
};

TEST_F(PartyLookup, BothDialectsReadTheFirstRow) {
  runner->answers = {party(), party()};
  EXPECT_TRUE(read("oracle"));
  EXPECT_EQ(o, (std::vector<Variant>{Variant("01000-000"), Variant("SAO"), Variant("Rua A, 1"),
                                     Variant("São Paulo"), Variant(int32_t{3550}),
                                     Variant("12.345"), Variant("IE-1"), Variant("PJ"),
                                     Variant("Nome"), Variant("Fantasia"), Variant(int32_t{77})}));
  EXPECT_EQ(msg, Variant("untouched"));
  EXPECT_TRUE(read("ORACLE"));
  EXPECT_EQ(statements(),
            (std::vector<std::string>{
                "EXEC SP_KTR_CON_PESSOA_AWB   a7(42)",
                " SELECT  VENDERECO_PESSOA.CEP ,  VENDERECO_PESSOA.COD_MUNIC_IATA ,  "
                "VENDERECO_PESSOA.ENDERECO ,  VENDERECO_PESSOA.MUNICIPIO ,  "
                "VENDERECO_PESSOA.MUNICIPIO_ID ,  VENDERECO_PESSOA.PF_CPF ,  "
                "VENDERECO_PESSOA.PF_RG ,  VENDERECO_PESSOA.PJ_CGC ,  "
                "VENDERECO_PESSOA.PJ_INSCR_ESTADUAL ,  VENDERECO_PESSOA.NOME ,  "
                "VENDERECO_PESSOA.NOME_FANTASIA ,  VENDERECO_PESSOA.PESSOA_ID  FROM  "
                "VENDERECO_PESSOA  WHERE  VENDERECO_PESSOA.ENDERECO_PESSOA_ID =o3(42) "}));
}

TEST_F(PartyLookup, ErrorsKeepWhatWasReadAndUseTheirOwnTexts) {
  // Without "nome": the five outputs before it are written, the rest not.
  runner->answers.push_back(party());
  runner->answers.back().rows.columns[9] = "name";
  EXPECT_FALSE(read(""));
  EXPECT_EQ(o[4], Variant(int32_t{3550}));
  EXPECT_EQ(std::vector<Variant>(o.begin() + 5, o.end()),
            std::vector<Variant>(callers.begin() + 5, callers.end()));
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coletanão disponível. Favor tentar mais "
            "tarde.mConsulta_Campos_vENDERECO_PESSOA - Z418KT ( Item cannot be found in the "
            "collection corresponding to the requested name or ordinal. : 3265)   No Nº 9400 "
            "STRSQ: EXEC SP_KTR_CON_PESSOA_AWB   a7(42)");

  // The builder's name text has no blank before its parenthesis.
  state->onSql = [](int, const Variant&, const std::string&) -> Variant {
    throw AutomationError(5, "bad");
  };
  EXPECT_FALSE(read("ORACLE"));
  EXPECT_NE(msg.text().find("tarde. - mTrataSP_KTR_CON_PESSOA_AWB - Z418KT(bad :  No Nº 9510) "
                            "SELECT "),
            std::string::npos);
}

TEST_F(PartyLookup, TheIdentifierIsCleanedAndCheckedBeforeTheRead) {
  state->on13 = [](const std::string& t) { return "N" + t; };
  state->onCheck = [](int, const Variant&, const Variant&, Variant& message) {
    message = Variant("recusado");
    return Variant::boolean(false);
  };
  Variant id("  4 2 ");
  EXPECT_EQ(lookup(id), Variant(int16_t{10}));
  EXPECT_EQ(id, Variant("N4 2"));
  EXPECT_EQ(log(), (testing::Log{"ValueUtil.op13(4 2)",
                                 "InputCheckUtil.op3(Endereco_Pessoa_id, N4 2, 0, , 1, S)"}));
  EXPECT_EQ(msg, Variant("recusado"));

  state->on13 = nullptr;
  // Null cannot be cleaned: the trap, with no statement text.
  Variant null = Variant::null();
  EXPECT_EQ(lookup(null), Variant(int16_t{10}));
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.gConsulta_Dados_Pessoa - Z418KT ( Invalid use of Null : 94)   No Nº 9010");
  EXPECT_TRUE(runner->opened.empty());
  EXPECT_EQ(o, callers);
}

}  // namespace
}  // namespace z418kt
