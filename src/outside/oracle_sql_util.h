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
};

}  // namespace z418kt::outside
