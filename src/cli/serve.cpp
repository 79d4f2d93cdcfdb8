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

namespace {

// Answers wait here and go out in one write when the next read may wait or
// when this much has gathered: a client never waits for an answer, and a batch
// of piped requests costs a few writes, not one or two per answer.
constexpr size_t kPendingBytes = 64 * 1024;

// The input untied from its output while serving: the loop flushes by itself
// before it may wait, so the flush a tie makes before every read is waste.
class Untied {
 public:
  explicit Untied(std::istream& in) : in_(in), tie_(in.tie(nullptr)) {}
  ~Untied() { in_.tie(tie_); }
  Untied(const Untied&) = delete;
  Untied& operator=(const Untied&) = delete;

 private:
  std::istream& in_;
  std::ostream* tie_;
};

}  // namespace

int serve(std::istream& in, std::ostream& out, Z418kt& component, const RequestOptions& options) {
  const RequestLimits& limits = options.limits;
  Untied untied(in);
  int answered = 0;
  std::string line, pending;
  auto send = [&] {
    out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
    out.flush();
    pending.clear();
    if (pending.capacity() > 4 * kPendingBytes) pending.shrink_to_fit();  // after a huge answer
  };
  while (true) {
    BoundedRead read = readLine(in, line, limits.maxBytes);
    if (!read.got) break;
    if (read.cutShort) {
      Json answer = errorAnswer(kRequestTooLarge, tooLarge(read.bytes, limits).description);
      if (auto id = requestIdOf(line)) answer["id"] = *id;
      pending += dumpText(answer);
      pending += '\n';
      ++answered;
    } else if (line.find_first_not_of(" \t\r") != std::string::npos) {
      appendRequestAnswer(pending, component, line, options);
      pending += '\n';
      ++answered;
    }
    if (pending.size() >= kPendingBytes || in.rdbuf()->in_avail() <= 0) send();
  }
  send();
  return answered;
}

}  // namespace z418kt::cli
