// Fuzz target: the texts the data layer takes apart, with their promises
// checked: the SQL tokenizer (its tokens give the text back), the rewrites of
// the dialect adapters, procedure-call parsing, connection texts (a password
// never survives masking) and the number and date texts (what is written
// reads back the same).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/connection_text.h"
#include "automation/number_text.h"
#include "data/postgres_dialect.h"
#include "data/sql_lexer.h"
#include "data/sqlite_connection.h"

namespace {

void require(bool promise) {
  if (!promise) __builtin_trap();
}

void sqlTexts(std::string_view text) {
  using namespace z418kt::data;
  std::string joined;
  for (const sql::Token& t : sql::tokenize(text)) joined += t.text;
  require(joined == text);
  (void)sql::splitStatements(text);
  std::string error;
  auto parsed = sql::parseExec(text, error);
  // The one-pass reader accepts only calls the tokenizer reads the same way.
  sql::ExecCall plain{"stale", {sql::ExecArgument{sql::ExecArgument::Kind::Text, "stale"}}};
  if (sql::readPlainExec(text, plain)) {
    require(parsed && parsed->procedure == plain.procedure &&
            parsed->arguments.size() == plain.arguments.size());
    for (size_t i = 0; i < plain.arguments.size(); ++i)
      require(parsed->arguments[i].kind == plain.arguments[i].kind &&
              parsed->arguments[i].value == plain.arguments[i].value);
  }
  (void)adaptForSqlite(std::string(text));
  try {
    (void)adaptForPostgres(text);
  } catch (const z418kt::AutomationError&) {
    // an EXEC whose arguments are not plain literals: refused, as promised
  }
}

// A statement recognised by a kept shape's form is the statement that the
// tokenizer cuts into that shape, with the same values: the text's own shape
// recognises it, and a second statement (after a line break in the input,
// usually the same statement with other values) is recognised only when its
// own cut agrees.
void keptShapes(std::string_view input) {
  using namespace z418kt::data;
  size_t cut = input.find('\n');
  std::string_view first = input.substr(0, cut);
  std::string_view second = cut == std::string_view::npos ? first : input.substr(cut + 1);
  auto kept = sql::shapeStatement(first, sql::Placeholder::Question);
  if (!kept) return;
  sql::ShapeForm form(*kept, sql::Placeholder::Question);
  // A shape with two values side by side gets no form (it recognises nothing).
  bool adjacent = false;
  for (size_t i = 1; i < kept->placeholders.size(); ++i)
    adjacent = adjacent || kept->placeholders[i].first ==
                               kept->placeholders[i - 1].first + kept->placeholders[i - 1].second;
  std::vector<sql::ExecArgument> values;
  for (std::string_view text : {first, second}) {
    bool recognised = form.cut(text, values);
    auto own = sql::shapeStatement(text, sql::Placeholder::Question);
    if (text.data() == first.data()) require(recognised || adjacent);
    if (!recognised) continue;
    require(own && own->shape == kept->shape && own->values.size() == values.size());
    for (size_t i = 0; i < values.size(); ++i)
      require(own->values[i].kind == values[i].kind && own->values[i].value == values[i].value);
  }
}

void connectionText(std::string_view text) {
  using namespace z418kt::data;
  ConnectionText masked(maskedPassword(text));
  for (const auto& [key, value] : masked.pairs())
    if (isPasswordKey(key)) require(value == "***");
}

void numberTexts(std::string_view text) {
  using namespace z418kt::numtext;
  // 15 digits of the very largest doubles round beyond the range: those are left out.
  if (auto d = parseVbNumber(text); d && std::fabs(*d) < 1e308)
    require(parseVbNumber(doubleText(*d)).has_value());
  (void)parseDouble(text);
  (void)parseInteger(text);
  z418kt::Currency c;
  if (parseCurrency(text, c) == CurrencyParse::Ok) {
    z418kt::Currency back;
    require(parseCurrency(currencyText(c), back) == CurrencyParse::Ok && back == c);
  }
  if (auto t = parseDateTime(text)) {
    auto back = parseDateTime(dateText(oleDate(*t)));
    require(back && back->year == t->year && back->month == t->month && back->day == t->day &&
            back->second == t->second);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  sqlTexts(text);
  keptShapes(text);
  connectionText(text);
  numberTexts(text);
  return 0;
}
