#include <gtest/gtest.h>

#include "support/fakes.h"
#include "z418kt/safe_array.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::ComponentTest;
using testing::noResultSet;
using testing::rows;

const std::string kProcedure = "EXEC SP_KTR_CON_CARGA_AWB   a7(42)";

std::vector<Variant> piece(int32_t volumes, double width, int32_t id) {
  return {Variant(volumes), Variant(width), Variant(0.5), Variant(2.0), Variant(id)};
}

class ListCargo : public ComponentTest {
 protected:
  bool call(Variant banco, Variant user = Variant(int32_t{1})) {
    std::string conn = "Provider=SQLite;Data Source=x.db";
    Variant empresa, produto, id(int32_t{42});
    return component.mConsulta_Campos_LISTA_CARGA(conn, user, empresa, banco, produto, id, linhas,
                                                  colunas, matriz, msg);
  }
  testing::Scripted pieces(int count, std::vector<std::string> columns = {
                                          "num_volume", "largura_m", "altura_m", "comprimento_m",
                                          "CARGA_ID"}) {
    std::vector<std::vector<Variant>> values;
    for (int i = 0; i < count; ++i) values.push_back(piece(i + 1, 1.25 + i, 500 + i));
    return rows(std::move(columns), std::move(values));
  }
  Z418kt component;
  Variant linhas{"L"}, colunas{"C"}, matriz{SafeArray::zeroBased(1)}, msg{"untouched"};
};

TEST_F(ListCargo, ThreePiecesFillTheMatrixByColumnAndRow) {
  runner->answers.push_back(pieces(3));
  EXPECT_TRUE(call(Variant("Oracle")));
  EXPECT_EQ(statements(), std::vector<std::string>{kProcedure});
  EXPECT_EQ(linhas, Variant(int32_t{3}));
  EXPECT_EQ(colunas, Variant(int16_t{5}));
  const SafeArray& m = matriz.array();
  EXPECT_EQ(m.dimensions(), 2);
  EXPECT_EQ((std::vector<int32_t>{m.lbound(1), m.ubound(1), m.lbound(2), m.ubound(2)}),
            (std::vector<int32_t>{0, 4, 0, 2}));
  for (int32_t r = 0; r < 3; ++r) {
    EXPECT_EQ(m.at(0, r), Variant(r + 1));
    EXPECT_EQ(m.at(1, r), Variant("n2(" + vb::cstr(Variant(1.25 + r)) + ")"));
    EXPECT_EQ(m.at(2, r), Variant("n2(0.5)"));
    EXPECT_EQ(m.at(3, r), Variant("n2(2)"));
    EXPECT_EQ(m.at(4, r), Variant(500 + r));
  }
  EXPECT_EQ(msg, Variant("untouched"));
  // Columns are read in matrix order, each piece from its own record.
  EXPECT_EQ(
      std::vector<std::string>(log().begin() + 2, log().begin() + 7),
      (std::vector<std::string>{
          "ValueUtil.op6(Field(num_volume=1))", "NumberFormatUtil.op2(Field(largura_m=1.25))",
          "NumberFormatUtil.op2(Field(altura_m=0.5))",
          "NumberFormatUtil.op2(Field(comprimento_m=2))", "ValueUtil.op6(Field(CARGA_ID=500))"}));
}

TEST_F(ListCargo, OracleFormWithOnePieceAndUpperCaseColumns) {
  runner->answers.push_back(
      pieces(1, {"ALTURA_M", "CARGA_ID", "COMPRIMENTO_M", "LARGURA_M", "NUM_VOLUME"}));
  // The builder's select list is alphabetical; the row above is laid out the same way.
  runner->answers.front().rows.rows[0] = {Variant(0.5), Variant(int32_t{500}), Variant(2.0),
                                          Variant(1.25), Variant(int32_t{1})};
  EXPECT_TRUE(call(Variant("ORACLE")));
  EXPECT_EQ(statements()[0],
            " SELECT  CARGA.ALTURA_M ,  CARGA.CARGA_ID ,  CARGA.COMPRIMENTO_M ,  CARGA.LARGURA_M "
            ",  CARGA.NUM_VOLUME  FROM  CARGA  WHERE  CARGA.DOCTO_TRANSPORTE_ID =o3(42) ");
  EXPECT_EQ(matriz.array().ubound(2), 0);
  EXPECT_EQ(matriz.array().at(0, 0), Variant(int32_t{1}));
  EXPECT_EQ(matriz.array().at(4, 0), Variant(int32_t{500}));
  EXPECT_EQ(linhas, Variant(int32_t{1}));
}

TEST_F(ListCargo, NoPieceGivesZeroCountsAndLeavesTheMatrix) {
  runner->answers.push_back(pieces(0));
  EXPECT_TRUE(call(Variant("")));
  EXPECT_EQ(linhas, Variant(int16_t{0}));
  EXPECT_EQ(colunas, Variant(int16_t{0}));
  EXPECT_EQ(matriz, Variant(SafeArray::zeroBased(1)));

  // A closed result fails and touches nothing.
  runner->answers.push_back(noResultSet());
  linhas = Variant("L");
  EXPECT_FALSE(call(Variant("")));
  EXPECT_EQ(linhas, Variant("L"));
  EXPECT_EQ(msg, Variant("untouched"));
}

TEST_F(ListCargo, AnErrorInTheLoopKeepsTheCountsAndTheRowsFilled) {
  int measures = 0;
  state->onFormat = [&](int, const Variant&) -> Variant {
    if (++measures == 4) throw AutomationError(5, "boom");  // the second piece's width
    return Variant("m");
  };
  runner->answers.push_back(pieces(2));
  EXPECT_FALSE(call(Variant("")));
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

  // A result without largura_m fails on the first piece, counts already written.
  state->onFormat = nullptr;
  runner->answers.push_back(
      pieces(3, {"num_volume", "width", "altura_m", "comprimento_m", "CARGA_ID"}));
  EXPECT_FALSE(call(Variant("")));
  EXPECT_EQ(linhas, Variant(int32_t{3}));
  EXPECT_EQ(matriz.array().at(0, 0), Variant(int32_t{1}));
  EXPECT_NE(msg.text().find(" : 3265)   No Nº 8720 STRSQ: "), std::string::npos);
}

}  // namespace
}  // namespace z418kt
