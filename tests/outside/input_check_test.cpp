// The field checks answer every bad entry with a message, never an error.
#include <gtest/gtest.h>

#include <string>

#include "data/recordset.h"
#include "outside/components.h"

namespace z418kt {
namespace {

class InputCheck : public ::testing::Test {
 protected:
  // Operation 3 as the field validation calls it; returns the message or "ok".
  std::string integer(Variant value, const char* flag = "S", const char* caption = "Cliente") {
    Variant c(caption), minimum(int16_t{0}), extra(""), user(int32_t{1}), f(flag);
    message = Variant("previous");
    Variant r = checks->op3_checkInteger(c, value, minimum, extra, user, message, f);
    return answer(r);
  }
  std::string decimal(Variant value, double maximum = 999999.99, const char* flag = "S") {
    Variant c("Peso"), minimum(int16_t{0}), max(maximum), user(int32_t{1}), f(flag);
    message = Variant("previous");
    Variant r = checks->op4_checkDecimal(c, value, minimum, max, user, message, f);
    return answer(r);
  }
  std::string text(Variant value, const char* flag = "N") {
    Variant c("Descrição da Mercadoria"), extra(""), user(int32_t{1}), f(flag);
    message = Variant("previous");
    Variant r = checks->op5_checkText(c, value, extra, user, message, f);
    return answer(r);
  }

  std::shared_ptr<outside::InputCheckUtil> checks = outside::makeDefaultInputCheckUtil();
  Variant message;

 private:
  std::string answer(const Variant& result) {
    if (vb::isTrue(result)) {
      EXPECT_EQ(message, Variant("previous")) << "a passing check wrote a message";
      return "ok";
    }
    EXPECT_EQ(result, Variant::boolean(false));
    return message.text();
  }
};

TEST_F(InputCheck, WholeNumbers) {
  EXPECT_EQ(integer(Variant("12")), "ok");
  EXPECT_EQ(integer(Variant("2147483647")), "ok");
  EXPECT_EQ(integer(Variant("")), "O campo Cliente é obrigatório.");
  EXPECT_EQ(integer(Variant("0")), "O campo Cliente é obrigatório.");
  EXPECT_EQ(integer(Variant::null()), "O campo Cliente é obrigatório.");
  EXPECT_EQ(integer(Variant(), "N"), "ok");
  EXPECT_EQ(integer(Variant("0"), "N"), "ok");
  EXPECT_EQ(integer(Variant("12a")), "O campo Cliente deve ser um número inteiro.");
  EXPECT_EQ(integer(Variant("1,5")), "O campo Cliente deve ser um número inteiro.");
  EXPECT_EQ(integer(Variant(2.5)), "O campo Cliente deve ser um número inteiro.");
  EXPECT_EQ(integer(Variant("-3")), "O campo Cliente deve ser maior ou igual a 0.");
  EXPECT_EQ(integer(Variant("2147483648")), "O campo Cliente é grande demais.");
  EXPECT_EQ(integer(Variant("99999999999999999999999")), "O campo Cliente é grande demais.");
  EXPECT_EQ(integer(Variant("x"), "S", "Endereco_Pessoa_id"),
            "O campo Endereco_Pessoa_id deve ser um número inteiro.");
}

TEST_F(InputCheck, DecimalsWithinLimitsAndPrecision) {
  EXPECT_EQ(decimal(Variant("12,5")), "ok");
  EXPECT_EQ(decimal(Variant("999999,99")), "ok");
  EXPECT_EQ(decimal(Variant(12.25)), "ok");
  EXPECT_EQ(decimal(Variant("1.234,50")), "ok");
  EXPECT_EQ(decimal(Variant("")), "O campo Peso é obrigatório.");
  EXPECT_EQ(decimal(Variant("  "), 999999.99, "N"), "ok");
  EXPECT_EQ(decimal(Variant("doze")), "O campo Peso deve ser um número.");
  EXPECT_EQ(decimal(Variant("1e3")), "O campo Peso deve ser um número.");
  EXPECT_EQ(decimal(Variant("999999,991")), "O campo Peso deve estar entre 0 e 999999,99.");
  EXPECT_EQ(decimal(Variant("1000000")), "O campo Peso deve estar entre 0 e 999999,99.");
  EXPECT_EQ(decimal(Variant("1,234")), "O campo Peso aceita no máximo 2 casas decimais.");
  EXPECT_EQ(decimal(Variant("9999999999999,99"), 9999999999999.99), "ok");
  EXPECT_EQ(decimal(Variant(Currency{99999999999999900}), 9999999999999.99), "ok");
  EXPECT_EQ(decimal(Variant("10000000000000"), 9999999999999.99),
            "O campo Peso deve estar entre 0 e 9999999999999,99.");
}

TEST_F(InputCheck, FreeTextCountsCharactersNotBytes) {
  EXPECT_EQ(text(Variant("Caixas de papelão")), "ok");
  EXPECT_EQ(text(Variant("")), "ok");
  EXPECT_EQ(text(Variant("   "), "S"), "O campo Descrição da Mercadoria é obrigatório.");
  EXPECT_EQ(text(Variant::null(), "S"), "O campo Descrição da Mercadoria é obrigatório.");
  std::string accents;
  for (int i = 0; i < 255; ++i) accents += "ç";  // 510 bytes, 255 characters
  EXPECT_EQ(text(Variant(accents)), "ok");
  EXPECT_EQ(text(Variant(accents + "a")),
            "O campo Descrição da Mercadoria aceita no máximo 255 caracteres.");
  EXPECT_EQ(text(Variant(std::string(300, 'x'))),
            "O campo Descrição da Mercadoria aceita no máximo 255 caracteres.");
}

}  // namespace
}  // namespace z418kt
