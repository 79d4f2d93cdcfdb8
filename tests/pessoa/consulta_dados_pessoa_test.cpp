#include <gtest/gtest.h>

#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::ComponentTest;
using testing::noResultSet;
using testing::rows;

const std::vector<std::string> kColumns = {
    "cep",   "cod_munic_iata", "endereco",          "municipio", "MUNICIPIO_ID",  "pf_cpf",
    "pf_rg", "pj_cgc",         "pj_inscr_estadual", "nome",      "nome_fantasia", "pessoa_id"};

testing::Scripted party(Variant cpf, Variant cgc = Variant("12.345/0001-99")) {
  return rows(kColumns,
              {{Variant("01000-000"), Variant("SAO"), Variant("Rua A, 1"), Variant("São Paulo"),
                Variant(int32_t{3550}), cpf, Variant("RG-1"), cgc, Variant("IE-1"), Variant("Nome"),
                Variant("Fantasia"), Variant(int32_t{77})},
               {Variant("second"), Variant(), Variant(), Variant(), Variant(), Variant(), Variant(),
                Variant(), Variant(), Variant(), Variant(), Variant()}});
}

// Outputs 7 to 17 in interface order.
struct Outputs {
  Variant cep{"o7"}, iata{"o8"}, endereco{"o9"}, municipio{"o10"}, municipioId{"o11"},
      cgcCpf{"o12"}, ieRg{"o13"}, indic{"o14"}, nome{"o15"}, fantasia{"o16"}, pessoaId{"o17"};
  std::vector<Variant> all() const {
    return {cep,  iata,  endereco, municipio, municipioId, cgcCpf,
            ieRg, indic, nome,     fantasia,  pessoaId};
  }
};

class PartyLookup : public ComponentTest {
 protected:
  bool read(Variant banco, Variant id = Variant(int32_t{42})) {
    std::string conn = "c";
    Variant empresa, produto;
    return component.mConsulta_Campos_vENDERECO_PESSOA(
        conn, user, empresa, banco, produto, id, out.cep, out.iata, out.endereco, out.municipio,
        out.municipioId, out.cgcCpf, out.ieRg, out.indic, out.nome, out.fantasia, out.pessoaId,
        msg);
  }
  Variant lookup(Variant& id, Variant connection = Variant("c")) {
    Variant empresa, banco(""), produto;
    return component.gConsulta_Dados_Pessoa(connection, user, empresa, banco, produto, id, out.cep,
                                            out.iata, out.endereco, out.municipio, out.municipioId,
                                            out.cgcCpf, out.ieRg, out.indic, out.nome, out.fantasia,
                                            out.pessoaId, msg);
  }
  Z418kt component;
  Outputs out;
  Variant user{int32_t{1}}, msg{"untouched"};
};

TEST_F(PartyLookup, PersonFromTheFirstRowInTheStoredProcedureForm) {
  runner->answers.push_back(party(Variant("123.456.789-00")));
  EXPECT_TRUE(read(Variant("oracle")));
  EXPECT_EQ(statements(), std::vector<std::string>{"EXEC SP_KTR_CON_PESSOA_AWB   a7(42)"});
  EXPECT_EQ(out.all(),
            (std::vector<Variant>{Variant("01000-000"), Variant("SAO"), Variant("Rua A, 1"),
                                  Variant("São Paulo"), Variant(int32_t{3550}),
                                  Variant("123.456.789-00"), Variant("RG-1"), Variant("PF"),
                                  Variant("Nome"), Variant("Fantasia"), Variant(int32_t{77})}));
  EXPECT_EQ(msg, Variant("untouched"));
}

TEST_F(PartyLookup, PersonOrCompanyFollowsTheCpfText) {
  struct Case {
    Variant cpf, cgc;
    Variant indic, cgcCpf, ieRg;
  };
  const Case cases[] = {
      {Variant(""), Variant("12.345/0001-99"), Variant("PJ"), Variant("12.345/0001-99"),
       Variant("IE-1")},
      {Variant(""), Variant(""), Variant("PJ"), Variant(""), Variant("IE-1")},
      {Variant::null(), Variant("X"), Variant("PJ"), Variant("X"), Variant("IE-1")},
      {Variant(" "), Variant("X"), Variant("PF"), Variant(" "), Variant("RG-1")},
  };
  for (const Case& c : cases) {
    runner->answers.push_back(party(c.cpf, c.cgc));
    EXPECT_TRUE(read(Variant("")));
    EXPECT_EQ(out.indic, c.indic);
    EXPECT_EQ(out.cgcCpf, c.cgcCpf);
    EXPECT_EQ(out.ieRg, c.ieRg);
  }
}

TEST_F(PartyLookup, OracleFormAndAMissingParty) {
  runner->answers.push_back(rows(kColumns, {}));
  EXPECT_TRUE(read(Variant("ORACLE")));
  EXPECT_EQ(statements()[0],
            " SELECT  VENDERECO_PESSOA.CEP ,  VENDERECO_PESSOA.COD_MUNIC_IATA ,  "
            "VENDERECO_PESSOA.ENDERECO ,  VENDERECO_PESSOA.MUNICIPIO ,  "
            "VENDERECO_PESSOA.MUNICIPIO_ID ,  VENDERECO_PESSOA.PF_CPF ,  VENDERECO_PESSOA.PF_RG ,  "
            "VENDERECO_PESSOA.PJ_CGC ,  VENDERECO_PESSOA.PJ_INSCR_ESTADUAL ,  "
            "VENDERECO_PESSOA.NOME ,  VENDERECO_PESSOA.NOME_FANTASIA ,  VENDERECO_PESSOA.PESSOA_ID "
            " FROM  VENDERECO_PESSOA  WHERE  VENDERECO_PESSOA.ENDERECO_PESSOA_ID =o3(42) ");
  EXPECT_EQ(out.all(), Outputs().all());

  // Through the business operation: status 0, nothing written.
  runner->answers.push_back(rows(kColumns, {}));
  Variant id(int32_t{42});
  EXPECT_EQ(lookup(id), Variant(int16_t{0}));
  EXPECT_EQ(out.all(), Outputs().all());
  EXPECT_EQ(msg, Variant("untouched"));

  // A closed result: False, and status 10 from the business operation.
  runner->answers.push_back(noResultSet());
  EXPECT_EQ(lookup(id), Variant(int16_t{10}));
  EXPECT_EQ(msg, Variant("untouched"));
}

TEST_F(PartyLookup, ErrorsKeepWhatWasReadAndUseTheirOwnTexts) {
  // Without "nome": the five outputs before it are written, the rest not.
  std::vector<std::string> columns = kColumns;
  columns[9] = "name";
  auto row = party(Variant("1"));
  row.rows.columns = columns;
  runner->answers.push_back(row);
  EXPECT_FALSE(read(Variant("")));
  EXPECT_EQ(out.municipioId, Variant(int32_t{3550}));
  EXPECT_EQ(out.nome, Variant("o15"));
  EXPECT_EQ(out.indic, Variant("o14"));
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coletanão disponível. Favor tentar mais "
            "tarde.mConsulta_Campos_vENDERECO_PESSOA - Z418KT ( Item cannot be found in the "
            "collection corresponding to the requested name or ordinal. : 3265)   No Nº 9400 "
            "STRSQ: EXEC SP_KTR_CON_PESSOA_AWB   a7(42)");

  // The builder's name text has no blank before its parenthesis.
  state->onSql = [](int, const Variant&, const std::string&) -> Variant {
    throw AutomationError(5, "bad");
  };
  EXPECT_FALSE(read(Variant("ORACLE")));
  EXPECT_NE(msg.text().find("tarde. - mTrataSP_KTR_CON_PESSOA_AWB - Z418KT(bad :  No Nº 9510) "
                            "SELECT "),
            std::string::npos);
  const std::string tail = "WHERE  VENDERECO_PESSOA.ENDERECO_PESSOA_ID ";
  EXPECT_EQ(msg.text().substr(msg.text().size() - tail.size()), tail);
}

TEST_F(PartyLookup, TheIdentifierIsCleanedAndRewrittenWhateverFollows) {
  state->on13 = [](const std::string& t) { return "N" + t; };
  state->onCheck = [](int, const Variant&, const Variant&, Variant& message) {
    message = Variant("O campo Endereco_Pessoa_id deve ser um número.");
    return Variant::boolean(false);
  };
  Variant id("  4 2 ");
  EXPECT_EQ(lookup(id), Variant(int16_t{10}));
  EXPECT_EQ(id, Variant("N4 2"));
  EXPECT_EQ(log(), (testing::Log{"ValueUtil.op13(4 2)",
                                 "InputCheckUtil.op3(Endereco_Pessoa_id, N4 2, 0, , 1, S)"}));
  EXPECT_EQ(msg, Variant("O campo Endereco_Pessoa_id deve ser um número."));
  EXPECT_TRUE(runner->opened.empty());

  // A number comes back as the cleaned text too, and reaches the read as such.
  state->onCheck = nullptr;
  state->on13 = nullptr;
  runner->answers.push_back(party(Variant("1")));
  Variant number(int32_t{42});
  EXPECT_EQ(lookup(number), Variant(int16_t{0}));
  EXPECT_EQ(number, Variant("42"));
  EXPECT_EQ(out.indic, Variant("PF"));

  // A failing read still leaves the cleaned identifier.
  runner->answers.push_back(noResultSet());
  Variant spaced(" 7 ");
  EXPECT_EQ(lookup(spaced), Variant(int16_t{10}));
  EXPECT_EQ(spaced, Variant("7"));

  // Null cannot be cleaned: the trap, with no statement text.
  Variant null = Variant::null();
  EXPECT_EQ(lookup(null), Variant(int16_t{10}));
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.gConsulta_Dados_Pessoa - Z418KT ( Invalid use of Null : 94)   No Nº 9010");
}

}  // namespace
}  // namespace z418kt
