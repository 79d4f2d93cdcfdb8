// The SQL scripts of db/, compiled into the library, keyed by their path
// under db/ (for example "sqlite/schema.sql").
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace z418kt::db {
const std::map<std::string, std::string_view>& embeddedScripts();
}  // namespace z418kt::db
