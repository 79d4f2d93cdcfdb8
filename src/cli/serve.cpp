#include "cli/serve.h"

#include <istream>
#include <ostream>
#include <string>

#include "json/request.h"

namespace z418kt::cli {

using namespace json;

Json answerLine(Z418kt& component, std::string_view line) {
  Json request;
  try {
    request = parseRequestText(line);
  } catch (const RequestError& e) {
    return errorAnswer(e.number, e.description);
  }
  if (!request.is_object() || !request.contains("op"))
    return errorAnswer(kMalformedRequest, "a request is an object {\"op\": ..., \"args\": ...}");
  Json args = request.contains("args") ? request["args"] : Json();
  Json answer = answerCall(component, request["op"], args);
  if (request.contains("id")) answer["id"] = request["id"];
  return answer;
}

namespace {

// The next line of `in` (without its end), as std::getline reads it, except
// that `out` is flushed whenever reading would have to wait for more input:
// a client never waits for an answer, and a batch of piped requests is
// answered in few writes.
bool nextLine(std::streambuf& in, std::ostream& out, std::string& line) {
  line.clear();
  while (true) {
    std::streamsize ready = in.in_avail();
    if (ready <= 0) {
      out.flush();
      ready = 1;  // the next read may wait
    }
    for (; ready > 0; --ready) {
      int c = in.sbumpc();
      if (c == std::char_traits<char>::eof()) return !line.empty();
      if (c == '\n') return true;
      line += static_cast<char>(c);
    }
  }
}

}  // namespace

int serve(std::istream& in, std::ostream& out, Z418kt& component) {
  int answered = 0;
  std::string line;
  while (nextLine(*in.rdbuf(), out, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    out << dumpText(answerLine(component, line)) << '\n';
    ++answered;
  }
  out.flush();
  return answered;
}

}  // namespace z418kt::cli
