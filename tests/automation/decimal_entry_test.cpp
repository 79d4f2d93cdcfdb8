// Numbers as operators and scripts type them: never read a thousand times too
// small, never guessed, and shown the way a Brazilian reads them.
#include <gtest/gtest.h>

#include "z418kt/decimal.h"

namespace z418kt {
namespace {

std::string brazilian(const char* text) {
  DecimalEntry e = Decimal::fromBrazilian(text);
  return e.value ? e.value->text() : "refused: " + e.error;
}

std::string commandLine(const char* text) {
  DecimalEntry e = Decimal::fromCommandLine(text);
  return e.value ? e.value->text() : "refused: " + e.error;
}

TEST(DecimalEntry, BrazilianEntryGroupsWithPointsAndRefusesWhatItCannotRead) {
  const std::pair<const char*, const char*> read[] = {{"1.500", "1500"},
                                                      {"1.500,75", "1500.75"},
                                                      {"1500,75", "1500.75"},
                                                      {"42,5", "42.5"},
                                                      {" -0,50 ", "-0.5"},
                                                      {"1.234.567,8", "1234567.8"},
                                                      {"R$ 1.500,75", "1500.75"},
                                                      {"0", "0"},
                                                      {"007", "7"}};
  for (const auto& [text, value] : read) EXPECT_EQ(brazilian(text), value) << text;
  for (const char* bad : {"42.5", "1.50", "1.5000", "1,500.75", "1.500.5", "0.500", "1e3", "", "  ",
                          "12,", ",5", "1,2,3", "abc", "--1"})
    EXPECT_EQ(brazilian(bad).rfind("refused: ", 0), 0u) << bad;
  EXPECT_EQ(brazilian("42.5"),
            "refused: O número \"42.5\" não é válido: use vírgula para os decimais (42,5) e "
            "ponto só para separar os milhares (1.500 ou 1.500,75).");
}

TEST(DecimalEntry, CommandLineAlsoTakesAPointButNeverTheAmbiguousShape) {
  const std::pair<const char*, const char*> read[] = {
      {"0.5", "0.5"},           {"42.5", "42.5"},         {"1500.75", "1500.75"},
      {"1.500,75", "1500.75"},  {"1.500.000", "1500000"}, {"42,5", "42.5"},
      {"1234.567", "1234.567"}, {"0.500", "0.5"},         {"1.5000", "1.5"}};
  for (const auto& [text, value] : read) EXPECT_EQ(commandLine(text), value) << text;
  EXPECT_EQ(commandLine("1.500"),
            "refused: O número \"1.500\" é ambíguo: com ponto de milhar é 1.500, com ponto "
            "decimal é 1,5. Escreva 1500 ou 1,5.");
  EXPECT_EQ(commandLine("-12.345").rfind("refused: O número \"-12.345\" é ambíguo", 0), 0u);
  for (const char* bad : {"1,500.75", "1.2.3", "nan", "inf", "1e400", ""})
    EXPECT_EQ(commandLine(bad).rfind("refused: ", 0), 0u) << bad;
}

TEST(DecimalEntry, ShownGroupedAndMoneyInReais) {
  auto d = [](const char* t) { return *Decimal::fromText(t); };
  EXPECT_EQ(d("1234.5").brazilian(), "1.234,5");
  EXPECT_EQ(d("-12000000").brazilian(), "-12.000.000");
  EXPECT_EQ(d("0.25").brazilian(3), "0,250");
  EXPECT_EQ(d("1500.75").reais(), "R$ 1.500,75");
  EXPECT_EQ(d("3").reais(), "R$ 3,00");
  EXPECT_EQ(d("-2.5").reais(), "-R$ 2,50");
  EXPECT_EQ(d("999.995").reais(), "R$ 1.000,00");  // rounded to the centavo, half away from zero
  // What is shown reads back as the same value.
  for (const char* t : {"1234567.891", "0.0001", "-42", "100000"})
    EXPECT_EQ(Decimal::fromBrazilian(d(t).brazilian()).value, d(t)) << t;
}

}  // namespace
}  // namespace z418kt
