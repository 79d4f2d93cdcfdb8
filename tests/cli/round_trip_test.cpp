#include <gtest/gtest.h>

#include "cli/request.h"
#include "z418kt/safe_array.h"

namespace z418kt::cli {
namespace {

// The read answer's outputs, fed into the save request under the save's
// parameter names, arrive as the very same variants: nothing is reshaped.
TEST(RoundTrip, ReadAnswerFeedsTheSaveWithoutReshaping) {
  SafeArray m = SafeArray::zeroBased(4, 1);
  const char* cells[2][5] = {{"2", "0,50", "0,40", "0,30", "11"},
                             {"1", "1,2345", "0,80", "0,60", "12"}};
  for (int32_t r = 0; r < 2; ++r)
    for (int32_t c = 0; c < 5; ++c)
      m.at(c, r) =
          c == 0 || c == 4 ? Variant(int32_t{std::stoi(cells[r][c])}) : Variant(cells[r][c]);
  const InterfaceEntry* read = findOperation("gConsulta_Coleta");
  std::vector<Variant> readArgs(read->parameters.size());
  auto set = [&](std::string_view name, Variant v) {
    for (size_t k = 0; k < read->parameters.size(); ++k)
      if (read->parameters[k] == name) readArgs[k] = std::move(v);
  };
  set("invntConecta_DB", Variant("Provider=SQLite;Data Source=x.db"));
  set("outvntcliente_id", Variant(int32_t{1}));
  set("outvntEND_DESTINATARIO_ID", Variant(int32_t{2}));
  set("outvntEND_REMETENTE_ID", Variant(int32_t{1}));
  set("outvntnum_volume", Variant(int32_t{3}));
  set("outvntpeso_real", Variant("42,50"));
  set("outvnttxt_embalagem", Variant("Caixas"));
  set("outvntval_declarado", Variant("1500,00"));
  set("outvntQtde_Linha", Variant(int32_t{2}));
  set("outvntQtde_Coluna", Variant(int16_t{5}));
  set("outarrvntMatriz_DIM", Variant(m));
  set("invntDOCTO_TRANSPORTE_ID", Variant(int32_t{10}));
  Json answer = Json::parse(dumpText(answerJson(*read, Variant(int16_t{0}), readArgs)))["args"];

  const std::pair<const char*, const char*> saveFromRead[] = {
      {"invntConecta_DB", "invntConecta_DB"},
      {"INVNTCLIENTE_ID", "outvntcliente_id"},
      {"invntEND_DESTINATARIO_ID", "outvntEND_DESTINATARIO_ID"},
      {"invntEND_REMETENTE_ID", "outvntEND_REMETENTE_ID"},
      {"invntnum_volume", "outvntnum_volume"},
      {"invntpeso_real", "outvntpeso_real"},
      {"invnttxt_embalagem", "outvnttxt_embalagem"},
      {"invntval_declarado", "outvntval_declarado"},
      {"invntQtde_Linha", "outvntQtde_Linha"},
      {"invntQtde_Coluna", "outvntQtde_Coluna"},
      {"inarrvntMatriz_Dim", "outarrvntMatriz_DIM"},
      {"iovntDOCTO_TRANSPORTE_ID", "invntDOCTO_TRANSPORTE_ID"}};
  Json request = Json::object();
  for (const auto& [to, from] : saveFromRead) request[to] = answer[from];
  const InterfaceEntry* save = findOperation("gGrava_Coleta");
  std::vector<Variant> saveArgs = argumentsFor(*save, request);
  auto arg = [&](std::string_view name) {
    for (size_t k = 0; k < save->parameters.size(); ++k)
      if (save->parameters[k] == name) return saveArgs[k];
    return Variant();
  };
  EXPECT_EQ(arg("inarrvntMatriz_Dim"), Variant(m));
  EXPECT_EQ(arg("inarrvntMatriz_Dim").array().at(1, 1), Variant("1,2345"));  // width of row 1
  EXPECT_EQ(arg("invntQtde_Linha"), Variant(int32_t{2}));
  EXPECT_EQ(arg("invntQtde_Coluna"), Variant(int16_t{5}));
  EXPECT_EQ(arg("invntpeso_real"), Variant("42,50"));
  EXPECT_EQ(arg("iovntDOCTO_TRANSPORTE_ID"), Variant(int32_t{10}));
  EXPECT_EQ(arg("outvntMsg_Ret"), Variant());
}

}  // namespace
}  // namespace z418kt::cli
