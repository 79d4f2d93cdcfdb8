// Reading requests from a stream without ever holding more than a limit:
// what lies beyond it is read and dropped, so a huge input costs time but no
// memory, and the reading can go on after it.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace z418kt::cli {

struct BoundedRead {
  bool got = false;       // false: the input had ended, nothing was read
  size_t bytes = 0;       // the whole size of what was read, the dropped part included
  bool cutShort = false;  // more than `limit` bytes: `text` holds only the first `limit`
};

// One line without its '\n' (a final line without one counts too).
BoundedRead readLine(std::istream& in, std::string& text, size_t limit);

// Everything up to the end of the input.
BoundedRead readAll(std::istream& in, std::string& text, size_t limit);

}  // namespace z418kt::cli
