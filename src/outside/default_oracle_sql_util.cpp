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
};

}  // namespace

std::shared_ptr<OracleSqlUtil> makeDefaultOracleSqlUtil() {
  return std::make_shared<DefaultOracleSqlUtil>();
}

}  // namespace z418kt::outside
