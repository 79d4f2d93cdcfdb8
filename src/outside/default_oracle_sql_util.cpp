// Our OracleSqlUtil: the value texts of the Oracle builders, written by the
// same literal writer as the stored-procedure arguments.
#include <string>
#include <string_view>
#include <utility>

#include "outside/components.h"
#include "outside/sql_literal.h"

namespace z418kt::outside {

namespace {

// The literal from `at` to the end of `text` made the comparison with "=" in
// place: NULL compares only through IS NULL.
void makeComparison(std::string& text, size_t at) {
  if (std::string_view(text).substr(at) == "NULL") {
    text.resize(at);
    text += "IS NULL";
  } else {
    text.insert(at, "= ");
  }
}

// With "=" the whole comparison. The builders pass only "=" or ""; any other
// operator is a programming error (5) rather than a piece of SQL we would
// paste unchecked.
Variant comparison(std::string literal, const std::string& op) {
  if (op.empty()) return Variant(std::move(literal));
  if (op != "=") throw errors::invalidProcedureCall();
  makeComparison(literal, 0);
  return Variant(std::move(literal));
}

class DefaultOracleSqlUtil : public OracleSqlUtil {
 public:
  Variant op3_sqlValue(Variant value, std::string& op) override {
    return comparison(sql::valueLiteral(value), op);
  }
  Variant op4_sqlText(Variant value, std::string& op) override {
    return comparison(sql::textLiteral(value), op);
  }
  // The bare value is the literal itself, written in place.
  void appendSqlValue(std::string& statement, const Variant& value) override {
    sql::appendValueLiteral(statement, value);
  }
  // The literal writer writes nothing when the value raises.
  void appendSqlComparison(std::string& statement, const Variant& value) override {
    const size_t at = statement.size();
    sql::appendValueLiteral(statement, value);
    makeComparison(statement, at);
  }
};

}  // namespace

void OracleSqlUtil::appendSqlValue(std::string& statement, const Variant& value) {
  std::string op;
  sql::appendAnswer(statement, op3_sqlValue(value, op));
}

void OracleSqlUtil::appendSqlComparison(std::string& statement, const Variant& value) {
  std::string op = "=";
  sql::appendAnswer(statement, op3_sqlValue(value, op));
}

std::shared_ptr<OracleSqlUtil> makeDefaultOracleSqlUtil() {
  return std::make_shared<DefaultOracleSqlUtil>();
}

}  // namespace z418kt::outside
