#include "data/postgres_dialect.h"

#include "data/sql_lexer.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {

namespace {

std::string quoted(const std::string& value) {
  std::string out = "'";
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string functionCall(const sql::ExecCall& call) {
  std::string out = "SELECT * FROM " + call.procedure + "(";
  for (size_t i = 0; i < call.arguments.size(); ++i) {
    const sql::ExecArgument& arg = call.arguments[i];
    if (i > 0) out += ", ";
    out += arg.kind == sql::ExecArgument::Kind::Null ? std::string("NULL") : quoted(arg.value);
  }
  return out + ")";
}

}  // namespace

std::string adaptForPostgres(std::string_view statement) {
  auto adapted = sql::adaptStatement(statement, "LOCALTIMESTAMP(0)");
  if (adapted.call) return functionCall(*adapted.call);
  if (!adapted.error.empty())
    throw errors::provider("PostgreSQL: cannot run the procedure call: " + adapted.error);
  return std::move(adapted.text);
}

}  // namespace z418kt::data
