// The field checks answer every bad entry with a message, never an error.
#include <gtest/gtest.h>

#include <string>

#include "outside/components.h"

namespace z418kt {
namespace {

// Check 3 (whole number, "Cliente"), 4 (decimal, "Peso") or 5 (free text, "Descrição da
// Mercadoria") as the field validation calls it; answers "ok" or the message it wrote.
std::string check(int op, Variant value, const char* flag, double maximum = 999999.99) {
  auto checks = outside::makeDefaultInputCheckUtil();
  Variant message("previous"), user(int32_t{1}), zero(int16_t{0}), extra(""), f(flag), max(maximum);
  Variant c(op == 3 ? "Cliente" : op == 4 ? "Peso" : "Descrição da Mercadoria");
  Variant r = op == 3   ? checks->op3_checkInteger(c, value, zero, extra, user, message, f)
              : op == 4 ? checks->op4_checkDecimal(c, value, zero, max, user, message, f)
                        : checks->op5_checkText(c, value, extra, user, message, f);
  if (!vb::isTrue(r)) {
    EXPECT_EQ(r, Variant::boolean(false));
    return message.text();
  }
  EXPECT_EQ(message, Variant("previous")) << "a passing check wrote a message";
  return "ok";
}

TEST(InputCheck, WholeNumbers) {
  const std::string required = "O campo Cliente é obrigatório.",
                    notWhole = "O campo Cliente deve ser um número inteiro.",
                    tooBig = "O campo Cliente é grande demais.";
  EXPECT_EQ(check(3, Variant("12"), "S"), "ok");
  EXPECT_EQ(check(3, Variant("2147483647"), "S"), "ok");
  EXPECT_EQ(check(3, Variant(), "N"), "ok");
  EXPECT_EQ(check(3, Variant("0"), "N"), "ok");
  for (Variant none : {Variant(""), Variant("0"), Variant::null()})
    EXPECT_EQ(check(3, none, "S"), required);
  for (Variant bad : {Variant("12a"), Variant("1,5"), Variant(2.5)})
    EXPECT_EQ(check(3, bad, "S"), notWhole);
  EXPECT_EQ(check(3, Variant("-3"), "S"), "O campo Cliente deve ser maior ou igual a 0.");
  EXPECT_EQ(check(3, Variant("2147483648"), "S"), tooBig);
  EXPECT_EQ(check(3, Variant("99999999999999999999999"), "S"), tooBig);
}

TEST(InputCheck, DecimalsWithinLimitsAndPrecision) {
  const double big = 9999999999999.99;
  for (Variant good : {Variant("12,5"), Variant("999999,99"), Variant(12.25), Variant("1.234,50")})
    EXPECT_EQ(check(4, good, "S"), "ok");
  EXPECT_EQ(check(4, Variant("  "), "N"), "ok");
  EXPECT_EQ(check(4, Variant(""), "S"), "O campo Peso é obrigatório.");
  EXPECT_EQ(check(4, Variant("doze"), "S"), "O campo Peso deve ser um número.");
  EXPECT_EQ(check(4, Variant("1e3"), "S"), "O campo Peso deve ser um número.");
  for (Variant over : {Variant("999999,991"), Variant("1000000")})
    EXPECT_EQ(check(4, over, "S"), "O campo Peso deve estar entre 0 e 999999,99.");
  EXPECT_EQ(check(4, Variant("1,234"), "S"), "O campo Peso aceita no máximo 2 casas decimais.");
  EXPECT_EQ(check(4, Variant("9999999999999,99"), "S", big), "ok");
  EXPECT_EQ(check(4, Variant(Currency{99999999999999900}), "S", big), "ok");
  EXPECT_EQ(check(4, Variant("10000000000000"), "S", big),
            "O campo Peso deve estar entre 0 e 9999999999999,99.");
}

TEST(InputCheck, FreeTextCountsCharactersNotBytes) {
  const std::string tooLong = "O campo Descrição da Mercadoria aceita no máximo 255 caracteres.";
  std::string accents;
  for (int i = 0; i < 255; ++i) accents += "ç";  // 510 bytes, 255 characters
  for (Variant good : {Variant("Caixas de papelão"), Variant(""), Variant(accents)})
    EXPECT_EQ(check(5, good, "N"), "ok");
  for (Variant none : {Variant("   "), Variant::null()})
    EXPECT_EQ(check(5, none, "S"), "O campo Descrição da Mercadoria é obrigatório.");
  EXPECT_EQ(check(5, Variant(accents + "a"), "N"), tooLong);
  EXPECT_EQ(check(5, Variant(std::string(300, 'x')), "N"), tooLong);
}

}  // namespace
}  // namespace z418kt
