// What a built statement costs before SQLite sees it: cutting it into its
// shape and values with the tokenizer (the first statement of a shape on a
// session), against recognising it by a shape the session keeps (every one
// after). Texts as long as a Coleta's header read, a different key each call.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "data/sql_lexer.h"

namespace {

using namespace z418kt::data;

std::string headerRead(int id) {
  std::string text = "SELECT ";
  for (int c = 0; c < 40; ++c)
    text +=
        (c ? ", DT.CAMPO_" : "DT.CAMPO_") + std::to_string(c) + " AS CAMPO_" + std::to_string(c);
  return text + " FROM DOCTO_TRANSPORTE DT WHERE DT.DOCTO_TRANSPORTE_ID = " + std::to_string(id) +
         " AND DT.EMPRESA_ID = 1 AND DT.TXT_EMBALAGEM <> 'x'";
}

std::vector<std::string> texts() {
  std::vector<std::string> out;
  for (int id = 9000000; id < 9000200; ++id) out.push_back(headerRead(id));
  return out;
}

void BM_ShapeByTokenizer(benchmark::State& state) {
  auto all = texts();
  size_t i = 0;
  for (auto _ : state) {
    auto shaped = sql::shapeStatement(all[i++ % all.size()], sql::Placeholder::Question);
    benchmark::DoNotOptimize(shaped);
  }
}
BENCHMARK(BM_ShapeByTokenizer);

void BM_ShapeByKeptForm(benchmark::State& state) {
  auto all = texts();
  auto kept = sql::shapeStatement(all[0], sql::Placeholder::Question);
  sql::ShapeForm form(*kept, sql::Placeholder::Question);
  std::vector<sql::ExecArgument> values;
  size_t i = 0;
  for (auto _ : state) {
    bool recognised = form.cut(all[i++ % all.size()], values);
    if (!recognised) state.SkipWithError("a statement of the kept shape was not recognised");
    benchmark::DoNotOptimize(values);
  }
}
BENCHMARK(BM_ShapeByKeptForm);

}  // namespace
