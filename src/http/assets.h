// The page, its script and style sheet, and the OpenAPI description, compiled
// into the program from src/http/assets/ (see cmake/http.cmake).
#pragma once

#include <string_view>

namespace z418kt::http {

// The file's bytes; empty for a name that is not embedded.
std::string_view embeddedAsset(std::string_view name);

}  // namespace z418kt::http
