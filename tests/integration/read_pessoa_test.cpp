// Looking parties up on a real database, in both dialects.
#include "support/engine_fixture.h"

namespace z418kt {
namespace {

namespace demo = testing::demo;

class ReadPessoaOnEngine : public testing::EngineTest {
 protected:
  // Outputs 7 to 17 in interface order as "a|b|...|", after the status.
  std::string lookup(int32_t address) {
    Variant id(" " + std::to_string(address) + " ");
    std::vector<Variant> o(11, Variant("caller"));
    msg = Variant("untouched");
    Variant status = component().gConsulta_Dados_Pessoa(conecta, usuario, empresa, bancoDados,
                                                        produto, id, o[0], o[1], o[2], o[3], o[4],
                                                        o[5], o[6], o[7], o[8], o[9], o[10], msg);
    EXPECT_EQ(status, Variant(int16_t{0})) << vb::concatText(msg);
    EXPECT_EQ(msg, Variant("untouched"));
    std::string out = vb::cstr(id) + ":";
    for (const Variant& v : o) out += vb::cstr(v) + "|";
    return out;
  }
  Variant msg;
};

TEST_P(ReadPessoaOnEngine, PersonCompanyNonClientAndMissingParty) {
  EXPECT_EQ(lookup(demo::kEnderecoPessoaFisica),
            "11:01310-100|SAO|Rua das Flores, 120|São Paulo|1|123.456.789-09|12.345.678-9|PF|"
            "Maria da Silva|Maria|1|");
  EXPECT_EQ(lookup(demo::kEnderecoEmpresa),
            "12:13041-000|VCP|Avenida Brasil, 2500|Campinas|2|12.345.678/0001-95|110.042.490.114|"
            "PJ|Aurora Comércio de Peças Ltda.|Aurora Peças|2|");
  // A party that is no client is found all the same; its missing state
  // registration comes back as the empty text.
  EXPECT_EQ(lookup(demo::kEnderecoNaoCliente),
            "14:01001-000|SAO|Travessa do Ouro, 45|São Paulo|1|11.222.333/0001-81||PJ|"
            "Oficina d'Ouro Ltda.|Oficina d'Ouro|4|");
  EXPECT_EQ(lookup(999),
            "999:caller|caller|caller|caller|caller|caller|caller|caller|caller|"
            "caller|caller|");  // a missing party: nothing written

  // A person whose CPF is a single blank is still a person.
  execute("UPDATE PESSOA SET PF_CPF = ' ' WHERE PESSOA_ID = " + std::to_string(demo::kEmpresa));
  const std::string person = lookup(demo::kEnderecoEmpresa);
  EXPECT_NE(person.find("|Campinas|2| ||PF|"), std::string::npos) << person;
}

INSTANTIATE_ENGINE_TEST(ReadPessoaOnEngine);

}  // namespace
}  // namespace z418kt
