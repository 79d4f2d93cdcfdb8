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
  (void)sql::parseExec(text, error);
  (void)adaptForSqlite(std::string(text));
  try {
    (void)adaptForPostgres(text);
  } catch (const z418kt::AutomationError&) {
    // an EXEC whose arguments are not plain literals: refused, as promised
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
  connectionText(text);
  numberTexts(text);
  return 0;
}
