#include "data/statement_cache.h"

#include <charconv>

#include "automation/connection_text.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {

size_t statementCacheSize(const ConnectionText& text) {
  auto v = text.get("Statement Cache");
  if (!v) return kDefaultStatementCache;
  size_t n = 0;
  auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
  if (v->empty() || ec != std::errc() || p != v->data() + v->size() || n > kMaxStatementCache)
    throw errors::provider("Statement Cache must be a number of statements from 0 to " +
                           std::to_string(kMaxStatementCache) + ", not \"" + *v + "\".");
  return n;
}

}  // namespace z418kt::data
