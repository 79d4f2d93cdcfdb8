// Looking parties up on a real database, in both dialects.
#include "support/engine_fixture.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

class ReadPessoaOnEngine : public EngineTest {
 protected:
  // Outputs 7 to 17 in interface order, then the message and the status.
  struct Answer {
    std::vector<Variant> out = std::vector<Variant>(11, Variant("caller"));
    Variant msg{"untouched"}, status;
    const Variant& cgcCpf() const { return out[5]; }
    const Variant& ieRg() const { return out[6]; }
    const Variant& indic() const { return out[7]; }
  };
  Answer lookup(Variant& id) {
    Answer a;
    auto& o = a.out;
    a.status = component().gConsulta_Dados_Pessoa(conecta, usuario, empresa, bancoDados, produto,
                                                  id, o[0], o[1], o[2], o[3], o[4], o[5], o[6],
                                                  o[7], o[8], o[9], o[10], a.msg);
    return a;
  }
};

TEST_P(ReadPessoaOnEngine, PersonAndCompany) {
  Variant id(" " + std::to_string(demo::kEnderecoPessoaFisica) + " ");
  Answer pf = lookup(id);
  ASSERT_EQ(pf.status, Variant(int16_t{0})) << vb::concatText(pf.msg);
  EXPECT_EQ(id, Variant("11"));  // the cleaned identifier, as text
  EXPECT_EQ(pf.out[0], Variant("01310-100"));
  EXPECT_EQ(pf.out[1], Variant("SAO"));
  EXPECT_EQ(pf.out[2], Variant("Rua das Flores, 120"));
  EXPECT_EQ(pf.out[3], Variant("São Paulo"));
  EXPECT_TRUE(vb::equals(pf.out[4], Variant(int32_t{1})));
  EXPECT_EQ(pf.cgcCpf(), Variant("123.456.789-09"));
  EXPECT_EQ(pf.ieRg(), Variant("12.345.678-9"));
  EXPECT_EQ(pf.indic(), Variant("PF"));
  EXPECT_EQ(pf.out[8], Variant("Maria da Silva"));
  EXPECT_EQ(pf.out[9], Variant("Maria"));
  EXPECT_TRUE(vb::equals(pf.out[10], Variant(demo::kPessoaFisica)));
  EXPECT_EQ(pf.msg, Variant("untouched"));

  Variant companyId(demo::kEnderecoEmpresa);
  Answer pj = lookup(companyId);
  EXPECT_EQ(pj.status, Variant(int16_t{0}));
  EXPECT_EQ(pj.indic(), Variant("PJ"));
  EXPECT_EQ(pj.cgcCpf(), Variant("12.345.678/0001-95"));
  EXPECT_EQ(pj.ieRg(), Variant("110.042.490.114"));
  EXPECT_EQ(pj.out[9], Variant(demo::kEmpresaFantasia));

  // A party that is no client is found all the same; its missing state
  // registration comes back as the empty text.
  Variant otherId(demo::kEnderecoNaoCliente);
  Answer other = lookup(otherId);
  EXPECT_EQ(other.indic(), Variant("PJ"));
  EXPECT_EQ(other.ieRg(), Variant(""));
  EXPECT_EQ(other.out[8], Variant("Oficina d'Ouro Ltda."));

  // A person whose CPF is a single blank is still a person.
  execute("UPDATE PESSOA SET PF_CPF = ' ' WHERE PESSOA_ID = " + std::to_string(demo::kEmpresa));
  Answer blank = lookup(companyId);
  EXPECT_EQ(blank.indic(), Variant("PF"));
  EXPECT_EQ(blank.cgcCpf(), Variant(" "));
}

TEST_P(ReadPessoaOnEngine, MissingPartyAndBadIdentifiers) {
  Variant missing(int32_t{999});
  Answer none = lookup(missing);
  EXPECT_EQ(none.status, Variant(int16_t{0}));
  EXPECT_EQ(none.out, std::vector<Variant>(11, Variant("caller")));
  EXPECT_EQ(none.msg, Variant("untouched"));

  // Refused by the field check, with a message that names the field; the
  // identifier comes back cleaned even so.
  for (const char* bad : {"", "   ", "abc"}) {
    Variant id(bad);
    Answer refused = lookup(id);
    EXPECT_EQ(refused.status, Variant(int16_t{10})) << bad;
    EXPECT_EQ(refused.out, std::vector<Variant>(11, Variant("caller")));
    EXPECT_NE(vb::concatText(refused.msg).find("Endereco_Pessoa_id"), std::string::npos)
        << vb::concatText(refused.msg);
    EXPECT_TRUE(id.isText());
    if (std::string(bad) == "   ") {
      EXPECT_EQ(id, Variant(""));
    }
  }

  // Null cannot be cleaned: the trap answers and the database is not asked.
  Variant null = Variant::null();
  Answer trapped = lookup(null);
  EXPECT_EQ(trapped.status, Variant(int16_t{10}));
  EXPECT_NE(vb::concatText(trapped.msg).find("gConsulta_Dados_Pessoa - Z418KT ( "),
            std::string::npos);
}

INSTANTIATE_ENGINE_TEST(ReadPessoaOnEngine);

}  // namespace
}  // namespace z418kt
