#include "support/fakes.h"
#include "z418kt/safe_array.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::rows;

const std::string kProcedure = "EXEC SP_KTR_CON_CARGA_AWB   a7(42)";

class ListCargo : public testing::ComponentTest {
 protected:
  bool list(const char* banco) {
    return succeeds("mConsulta_Campos_LISTA_CARGA", banco,
                    {Variant(int32_t{42}), &linhas, &colunas, &matriz, &msg});
  }
  // `count` pieces: volumes i + 1, width 1.25 + i, height 0.5, length 2, id 500 + i.
  static testing::Scripted pieces(int count) {
    std::vector<std::vector<Variant>> values;
    for (int32_t i = 0; i < count; ++i) values.push_back({i + 1, 1.25 + i, 0.5, 2.0, 500 + i});
    return rows({"num_volume", "largura_m", "altura_m", "comprimento_m", "CARGA_ID"},
                std::move(values));
  }
  Variant linhas{"L"}, colunas{"C"}, matriz{SafeArray::zeroBased(1)}, msg{"untouched"};
};

TEST_F(ListCargo, BothDialectsFillTheMatrixByColumnAndRow) {
  runner->answers.push_back(pieces(3));
  EXPECT_TRUE(list("Oracle"));
  EXPECT_EQ(matriz.array().at(1, 2), Variant("n2(3.25)"));
  EXPECT_EQ(msg, Variant("untouched"));
  // Columns are read in matrix order, each piece from its own record.
  EXPECT_EQ(
      std::vector<std::string>(log().begin() + 2, log().begin() + 7),
      (std::vector<std::string>{
          "ValueUtil.op6(Field(num_volume=1))", "NumberFormatUtil.op2(Field(largura_m=1.25))",
          "NumberFormatUtil.op2(Field(altura_m=0.5))",
          "NumberFormatUtil.op2(Field(comprimento_m=2))", "ValueUtil.op6(Field(CARGA_ID=500))"}));

  // The Oracle select list is alphabetical and upper case; lookups ignore case.
  runner->answers.push_back(
      rows({"ALTURA_M", "CARGA_ID", "COMPRIMENTO_M", "LARGURA_M", "NUM_VOLUME"},
           {{0.5, int32_t{500}, 2.0, 1.25, int32_t{1}}}));
  EXPECT_TRUE(list("ORACLE"));
  EXPECT_EQ(statements(), (std::vector<std::string>{
                              kProcedure,
                              " SELECT  CARGA.ALTURA_M ,  CARGA.CARGA_ID ,  CARGA.COMPRIMENTO_M ,  "
                              "CARGA.LARGURA_M ,  CARGA.NUM_VOLUME  FROM  CARGA  WHERE  "
                              "CARGA.DOCTO_TRANSPORTE_ID =o3(42) "}));
  EXPECT_EQ(matriz.array().at(0, 0), Variant(int32_t{1}));
  EXPECT_EQ(matriz.array().at(4, 0), Variant(int32_t{500}));
}

TEST_F(ListCargo, FailuresKeepTheCountsAndTheRowsFilled) {
  // An error in the loop: counts and earlier cells stay written.
  int measures = 0;
  state->onFormat = [&](int, const Variant&) -> Variant {
    if (++measures == 4) throw AutomationError(5, "boom");  // the second piece's width
    return Variant("m");
  };
  runner->answers.push_back(pieces(2));
  EXPECT_FALSE(list(""));
  EXPECT_EQ(linhas, Variant(int32_t{2}));
  EXPECT_EQ(colunas, Variant(int16_t{5}));
  const SafeArray& m = matriz.array();
  EXPECT_EQ(m.at(4, 0), Variant(int32_t{500}));
  EXPECT_EQ(m.at(0, 1), Variant(int32_t{2}));
  EXPECT_TRUE(m.at(1, 1).isEmpty());
  EXPECT_TRUE(m.at(4, 1).isEmpty());
  EXPECT_EQ(msg.text(),
            "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais "
            "tarde.mConsulta_Campos_LISTA_CARGA - Z418KT ( boom : 5)   No Nº 8720 STRSQ: " +
                kProcedure);
}

}  // namespace
}  // namespace z418kt
