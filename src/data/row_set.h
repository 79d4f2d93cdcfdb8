// RowSet: what one statement produced, fully materialised (a client cursor).
#pragma once

#include <string>
#include <vector>

#include "z418kt/variant.h"

namespace z418kt::data {

struct RowSet {
  // False for a statement without a result set (INSERT, UPDATE, DELETE...):
  // the record set that ran it stays closed, as ADO leaves it.
  bool hasResultSet = false;
  std::vector<std::string> columns;
  std::vector<std::vector<Variant>> rows;  // each row has columns.size() values
};

}  // namespace z418kt::data
