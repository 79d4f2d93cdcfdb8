// OracleSqlUtil: SQL value texts for the Oracle statement builders. No value,
// however built, may end its literal.
#pragma once

#include <string>

#include "z418kt/variant.h"

namespace z418kt::outside {

class OracleSqlUtil {
 public:
  virtual ~OracleSqlUtil() = default;
  // 3: with op "=" the whole comparison ("= 42"); with "" the bare value.
  virtual Variant op3_sqlValue(Variant value, std::string& op) = 0;
  // 4: the SQL text literal of a free text (op is the empty text).
  virtual Variant op4_sqlText(Variant value, std::string& op) = 0;
  // 3 with the empty operator, written onto the end of `statement`: what
  // op3_sqlValue answers, as concatenation writes it. An implementation may
  // write the value straight onto the statement, without a text or a
  // variant of its own on the way; it writes nothing when it fails.
  virtual void appendSqlValue(std::string& statement, const Variant& value);
  // 3 with the operator "=", written onto the end of `statement` the same way.
  virtual void appendSqlComparison(std::string& statement, const Variant& value);
};

}  // namespace z418kt::outside
