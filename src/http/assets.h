// The page, its script and style sheet, and the OpenAPI description, compiled
// into the program from src/http/assets/ (see cmake/http.cmake and cmake/embed_files.cmake).
#pragma once

#include <map>
#include <string_view>

namespace z418kt::http {

// Every embedded file by name, and one file's bytes (empty for a name that
// is not embedded).
const std::map<std::string_view, std::string_view>& embeddedAssets();
inline std::string_view embeddedAsset(std::string_view name) {
  auto it = embeddedAssets().find(name);
  return it == embeddedAssets().end() ? std::string_view() : it->second;
}

}  // namespace z418kt::http
