// Our OracleSqlUtil: the value texts of the Oracle builders, written by the
// same literal writer as the stored-procedure arguments.
#include <string>
#include <utility>

#include "outside/components.h"
#include "outside/sql_literal.h"

namespace z418kt::outside {

namespace {

// With "=" the whole comparison; NULL compares only through IS NULL. The
// builders pass only "=" or ""; any other operator is a programming error (5)
// rather than a piece of SQL we would paste unchecked.
Variant comparison(std::string literal, const std::string& op) {
  if (op.empty()) return Variant(std::move(literal));
  if (op != "=") throw errors::invalidProcedureCall();
  if (literal == "NULL") return Variant("IS NULL");
  literal.insert(0, "= ");
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
};

}  // namespace

void OracleSqlUtil::appendSqlValue(std::string& statement, const Variant& value) {
  std::string op;
  const Variant written = op3_sqlValue(value, op);
  // The answer is a text as a rule; anything else as concatenation writes it.
  if (written.isText())
    statement += written.text();
  else
    statement += vb::concatText(written);
}

std::shared_ptr<OracleSqlUtil> makeDefaultOracleSqlUtil() {
  return std::make_shared<DefaultOracleSqlUtil>();
}

}  // namespace z418kt::outside
