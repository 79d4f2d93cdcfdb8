#include <gtest/gtest.h>

#include "support/fakes.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::ComponentTest;

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

class ValidateFields : public ComponentTest {
 protected:
  bool call() {
    std::string conn = "unused";
    Variant empresa, banco("ORACLE"), produto;
    return component.mConsiste_Campos(conn, user, empresa, banco, produto, f.cliente,
                                      f.destinatario, f.remetente, f.volumes, f.peso, f.embalagem,
                                      f.valor, f.documento, msg);
  }
  std::vector<std::string> checksCalled() const {
    std::vector<std::string> checks;
    for (const auto& entry : state->log)
      if (entry.rfind("InputCheckUtil.", 0) == 0) checks.push_back(entry);
    return checks;
  }
  Z418kt component;
  Fields f;
  Variant user{int32_t{1}}, msg{"untouched"};
};

TEST_F(ValidateFields, CleansInItsOrderThenRunsTheEightChecksInTheirs) {
  EXPECT_TRUE(call());
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
  // The database is never asked.
  EXPECT_TRUE(runner->opened.empty());
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
    EXPECT_FALSE(call());
    EXPECT_EQ(checksCalled(),
              std::vector<std::string>(kChecks.begin(), kChecks.begin() + failing + 1));
    EXPECT_EQ(msg.text().rfind("check ", 0), 0u);
    // The cleaning ran before the first check.
    EXPECT_EQ(f.cliente, Variant("7"));
  }
}

TEST_F(ValidateFields, CheckArgumentsHaveTheirTypes) {
  // The caller's own variables are handed to the checks; the bounds are
  // doubles and the minimum a 16-bit integer.
  struct TypeRecorder : outside::InputCheckUtil {
    std::vector<std::vector<VarType>> calls;
    Variant* message = nullptr;
    Variant op3_checkInteger(Variant& c, Variant& v, Variant& mn, Variant& e, Variant&, Variant& m,
                             Variant& fl) override {
      calls.push_back({c.type(), v.type(), mn.type(), e.type(), fl.type()});
      message = &m;
      return Variant::boolean(true);
    }
    Variant op4_checkDecimal(Variant& c, Variant& v, Variant& mn, Variant& mx, Variant&, Variant& m,
                             Variant& fl) override {
      calls.push_back({c.type(), v.type(), mn.type(), mx.type(), fl.type()});
      maxima.push_back(mx.r8());
      message = &m;
      return Variant::boolean(true);
    }
    Variant op5_checkText(Variant& c, Variant& v, Variant& e, Variant&, Variant& m,
                          Variant& fl) override {
      calls.push_back({c.type(), v.type(), e.type(), fl.type()});
      message = &m;
      return Variant::boolean(true);
    }
    std::vector<double> maxima;
  };
  auto recorder = std::make_shared<TypeRecorder>();
  auto factories = outside::installFactories({});
  factories.inputCheckUtil = [recorder] { return recorder; };
  outside::installFactories(factories);

  EXPECT_TRUE(call());
  using T = VarType;
  const std::vector<T> integer{T::BStr, T::BStr, T::I2, T::BStr, T::BStr};
  const std::vector<T> decimal{T::BStr, T::BStr, T::I2, T::R8, T::BStr};
  EXPECT_EQ(recorder->calls, (std::vector<std::vector<T>>{integer,
                                                          integer,
                                                          integer,
                                                          integer,
                                                          decimal,
                                                          decimal,
                                                          integer,
                                                          {T::BStr, T::BStr, T::BStr, T::BStr}}));
  EXPECT_EQ(recorder->maxima, (std::vector<double>{9999999999999.99, 999999.99}));
  EXPECT_EQ(recorder->message, &msg);
}

TEST_F(ValidateFields, NullStopsTheCleaningInTheTrap) {
  f.embalagem = Variant::null();
  EXPECT_FALSE(call());
  // Cleaned before the Null: destination, sender, volumes, weight.
  EXPECT_EQ(f.destinatario, Variant("21"));
  EXPECT_EQ(f.peso, Variant("12.5"));
  EXPECT_TRUE(f.embalagem.isNull());
  EXPECT_EQ(f.valor, Variant("100,25 "));
  EXPECT_EQ(f.cliente, Variant(" 7 "));
  EXPECT_TRUE(checksCalled().empty());
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.mConsiste_Campos - Z418KT ( Invalid use of Null : 94)   No Nº 9140");

  user = Variant(int32_t{3});
  EXPECT_FALSE(call());
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.");
}

}  // namespace
}  // namespace z418kt

namespace z418kt {
namespace {

// The field validation with our own outside components: each refusal names
// the field to fix.
class ValidateWithDefaults : public ::testing::Test {
 protected:
  void SetUp() override { previous = outside::installFactories(outside::defaultFactories()); }
  void TearDown() override { outside::installFactories(previous); }
  bool call(Fields& f, Variant& msg) {
    std::string conn;
    Variant user(int32_t{2}), empresa, banco, produto;
    return Z418kt().mConsiste_Campos(conn, user, empresa, banco, produto, f.cliente, f.destinatario,
                                     f.remetente, f.volumes, f.peso, f.embalagem, f.valor,
                                     f.documento, msg);
  }
  outside::Factories previous;
};

TEST_F(ValidateWithDefaults, RefusalsNameTheField) {
  Fields valid;
  Variant msg("untouched");
  EXPECT_TRUE(call(valid, msg));
  EXPECT_EQ(msg, Variant("untouched"));

  struct Case {
    Variant Fields::*field;
    Variant value;
    std::string caption;
  };
  const Case cases[] = {
      {&Fields::cliente, Variant(""), "Cliente"},           // required, empty
      {&Fields::remetente, Variant("   "), "Remetente"},    // spaces only
      {&Fields::peso, Variant("doze"), "Peso"},             // letters in a number
      {&Fields::peso, Variant("1000000"), "Peso"},          // over 999999.99
      {&Fields::valor, Variant("-1"), "Valor Dec."},        // below 0
      {&Fields::volumes, Variant("3,5"), "Nº de Volumes"},  // not a whole number
  };
  for (const Case& c : cases) {
    Fields f;
    f.*c.field = c.value;
    msg = Variant("untouched");
    EXPECT_FALSE(call(f, msg)) << c.caption;
    ASSERT_TRUE(msg.isText()) << c.caption;
    EXPECT_NE(msg.text().find(c.caption), std::string::npos) << msg.text();
  }
}

}  // namespace
}  // namespace z418kt
