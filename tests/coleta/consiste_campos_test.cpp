#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

// The eight fields in interface order.
struct Fields {
  Variant cliente{" 7 "}, destinatario{int32_t{21}}, remetente{"22"}, volumes{"  3"}, peso{12.5},
      embalagem{" \tcaixas\t "}, valor{"100,25 "}, documento{""};
  std::vector<Variant> all() const {
    return {cliente, destinatario, remetente, volumes, peso, embalagem, valor, documento};
  }
};

const std::vector<std::string> kChecks = {
    "InputCheckUtil.op3(Docto Transporte id, , 0, , 1, N)",
    "InputCheckUtil.op3(Cliente, 7, 0, , 1, S)",
    "InputCheckUtil.op3(Remetente, 22, 0, , 1, S)",
    "InputCheckUtil.op3(Destinatário, 21, 0, , 1, N)",
    "InputCheckUtil.op4(Valor Dec., 100,25, 0, 9999999999999.99, 1, S)",
    "InputCheckUtil.op4(Peso, 12.5, 0, 999999.99, 1, S)",
    "InputCheckUtil.op3(Nº de Volumes, 3, 0, , 1, N)",
    "InputCheckUtil.op5(Descrição da Mercadoria, \tcaixas\t, , 1, N)",
};

class ValidateFields : public testing::ComponentTest {
 protected:
  bool validate() {
    return succeeds("mConsiste_Campos", "ORACLE",
                    {&f.cliente, &f.destinatario, &f.remetente, &f.volumes, &f.peso, &f.embalagem,
                     &f.valor, &f.documento, &msg});
  }
  std::vector<std::string> checksCalled() const {
    std::vector<std::string> checks;
    for (const auto& entry : state->log)
      if (entry.rfind("InputCheckUtil.", 0) == 0) checks.push_back(entry);
    return checks;
  }
  Fields f;
  Variant msg{"untouched"};
};

TEST_F(ValidateFields, CleansInItsOrderThenRunsTheEightChecksInTheirs) {
  EXPECT_TRUE(validate());
  EXPECT_EQ(std::vector<std::string>(log().begin(), log().begin() + 8),
            (std::vector<std::string>{"ValueUtil.op13(21)", "ValueUtil.op13(22)",
                                      "ValueUtil.op13(3)", "ValueUtil.op13(12.5)",
                                      "ValueUtil.op13(\tcaixas\t)", "ValueUtil.op13(100,25)",
                                      "ValueUtil.op13()", "ValueUtil.op13(7)"}));
  EXPECT_EQ(checksCalled(), kChecks);
  // Every field comes back as its cleaned text, numbers included.
  EXPECT_EQ(f.all(), (std::vector<Variant>{Variant("7"), Variant("21"), Variant("22"), Variant("3"),
                                           Variant("12.5"), Variant("\tcaixas\t"),
                                           Variant("100,25"), Variant("")}));
  EXPECT_EQ(msg, Variant("untouched"));
  EXPECT_TRUE(runner->opened.empty());  // the database is never asked
}

TEST_F(ValidateFields, StopsAtTheFirstFailingCheckWithItsMessage) {
  // Each check in turn fails; the later ones are never called. Only -1 passes.
  for (size_t failing = 0; failing < kChecks.size(); ++failing) {
    log().clear();
    f = Fields();
    size_t seen = 0;
    state->onCheck = [&](int, const Variant& caption, const Variant&, Variant& message) {
      if (seen++ != failing) return Variant::boolean(true);
      message = Variant("check " + vb::cstr(caption));
      return failing % 2 ? Variant(int16_t{1}) : Variant::boolean(false);
    };
    EXPECT_FALSE(validate());
    EXPECT_EQ(checksCalled(),
              std::vector<std::string>(kChecks.begin(), kChecks.begin() + failing + 1));
    EXPECT_EQ(msg.text().rfind("check ", 0), 0u);
  }
}

TEST_F(ValidateFields, NullStopsTheCleaningInTheTrap) {
  f.embalagem = Variant::null();
  EXPECT_FALSE(validate());
  // Cleaned before the Null: destination, sender, volumes, weight.
  EXPECT_EQ(f.all(), (std::vector<Variant>{Variant(" 7 "), Variant("21"), Variant("22"),
                                           Variant("3"), Variant("12.5"), Variant::null(),
                                           Variant("100,25 "), Variant("")}));
  EXPECT_TRUE(checksCalled().empty());
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.mConsiste_Campos - Z418KT ( Invalid use of Null : 94)   No Nº 9140");
}

}  // namespace
}  // namespace z418kt
