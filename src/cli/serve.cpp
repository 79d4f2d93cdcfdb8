#include "cli/serve.h"

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "cli/bounded_input.h"
#include "cli/connection_source.h"
#include "json/request.h"

namespace z418kt::cli {

using namespace json;

int serve(std::istream& in, std::ostream& out, Z418kt& component, const RequestOptions& options) {
  const RequestLimits& limits = options.limits;
  int answered = 0;
  std::string line;
  while (true) {
    BoundedRead read = readLine(in, line, limits.maxBytes);
    if (!read.got) break;
    if (read.cutShort) {
      Json answer = errorAnswer(kRequestTooLarge, tooLarge(read.bytes, limits).description);
      if (auto id = requestIdOf(line)) answer["id"] = *id;
      out << dumpText(answer) << '\n';
    } else if (line.find_first_not_of(" \t\r") == std::string::npos) {
      continue;
    } else {
      out << answerRequestText(component, line, options) << '\n';
    }
    // Flushed only when the next read may wait: a client never waits for an
    // answer, and a batch of piped requests is answered in few writes.
    if (in.rdbuf()->in_avail() <= 0) out.flush();
    ++answered;
  }
  out.flush();
  return answered;
}

}  // namespace z418kt::cli
