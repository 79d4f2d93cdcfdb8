// Tidy text tables for people: a list of labelled fields and a grid with a
// header row. Widths count characters, not bytes, so accented Portuguese
// labels line up.
#pragma once

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace z418kt::cli {

using Field = std::pair<std::string, std::string>;

void printFields(std::ostream& out, const std::vector<Field>& fields);
void printGrid(std::ostream& out, const std::vector<std::string>& header,
               const std::vector<std::vector<std::string>>& rows);

// Characters of a UTF-8 text (continuation bytes do not count).
size_t displayWidth(const std::string& text);

}  // namespace z418kt::cli
