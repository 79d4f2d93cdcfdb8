// The connection text of the PostgreSQL test server (see postgres_engine.cpp):
// empty when no server is configured and none is required.
#pragma once

#include <string>

namespace z418kt::testing {
std::string postgresServerConnection();
// The same server's text for the native provider ("Provider=PostgreSQL;...").
std::string nativeText(const std::string& odbcText);
}  // namespace z418kt::testing
