#include "cli/bounded_input.h"

#include <istream>

namespace z418kt::cli {

namespace {

constexpr std::streamsize kChunk = 64 * 1024;

void keep(BoundedRead& r, std::string& text, const char* data, size_t n, size_t limit) {
  r.bytes += n;
  size_t room = limit - text.size();
  text.append(data, n < room ? n : room);
}

BoundedRead finished(BoundedRead r, size_t limit) {
  r.cutShort = r.bytes > limit;
  return r;
}

}  // namespace

BoundedRead readLine(std::istream& in, std::string& text, size_t limit) {
  BoundedRead r;
  text.clear();
  char chunk[kChunk];
  while (in.getline(chunk, kChunk), !in.bad()) {
    auto n = static_cast<size_t>(in.gcount());
    if (in.eof()) {  // the last line, without '\n' (or nothing at all)
      r.got = r.got || n > 0;
      keep(r, text, chunk, n, limit);
      break;
    }
    r.got = true;
    if (!in.fail()) {  // the '\n' was read (and counted)
      keep(r, text, chunk, n - 1, limit);
      break;
    }
    in.clear();  // the chunk filled up: the line goes on
    keep(r, text, chunk, n, limit);
  }
  return finished(r, limit);
}

BoundedRead readAll(std::istream& in, std::string& text, size_t limit) {
  BoundedRead r;
  text.clear();
  char chunk[kChunk];
  while (in.read(chunk, kChunk), in.gcount() > 0) {
    r.got = true;
    keep(r, text, chunk, static_cast<size_t>(in.gcount()), limit);
  }
  return finished(r, limit);
}

}  // namespace z418kt::cli
