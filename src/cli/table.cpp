#include "cli/table.h"

#include <algorithm>
#include <ostream>

namespace z418kt::cli {

namespace {

void padded(std::ostream& out, const std::string& text, size_t width) {
  out << text << std::string(width - std::min(width, displayWidth(text)), ' ');
}

}  // namespace

size_t displayWidth(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

void printFields(std::ostream& out, const std::vector<Field>& fields) {
  size_t width = 0;
  for (const Field& f : fields) width = std::max(width, displayWidth(f.first));
  for (const Field& f : fields) {
    out << "  ";
    padded(out, f.first, width);
    out << "  " << f.second << '\n';
  }
}

void printGrid(std::ostream& out, const std::vector<std::string>& header,
               const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths(header.size(), 0);
  auto measure = [&](const std::vector<std::string>& row) {
    for (size_t k = 0; k < row.size() && k < widths.size(); ++k)
      widths[k] = std::max(widths[k], displayWidth(row[k]));
  };
  measure(header);
  for (const auto& row : rows) measure(row);
  auto line = [&](const std::vector<std::string>& row) {
    out << ' ';
    for (size_t k = 0; k < widths.size(); ++k) {
      const std::string text = k < row.size() ? row[k] : std::string();
      out << ' ';
      // The last column is not padded: no trailing blanks.
      if (k + 1 < widths.size())
        padded(out, text, widths[k]);
      else
        out << text;
    }
    out << '\n';
  };
  line(header);
  std::vector<std::string> rule;
  for (size_t w : widths) rule.push_back(std::string(w, '-'));
  line(rule);
  for (const auto& row : rows) line(row);
}

}  // namespace z418kt::cli
