// The SQL scripts of db/, compiled into the library, keyed by their path
// under db/ (for example "sqlite/schema.sql").
#pragma once

#include <map>
#include <string_view>

namespace z418kt::db {
const std::map<std::string_view, std::string_view>& embeddedScripts();
}  // namespace z418kt::db
