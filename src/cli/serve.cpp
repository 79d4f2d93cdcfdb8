#include "cli/serve.h"

#include <algorithm>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>

#include "cli/bounded_input.h"
#include "cli/connection_source.h"
#include "json/request.h"

namespace z418kt::cli {

using namespace json;

namespace {

// Answers wait in one buffer and go out in one write when serve needs more
// input or when this much has gathered: a client never waits for an answer,
// and a batch of piped requests costs a few writes, not one or two per answer.
constexpr size_t kPendingBytes = 64 * 1024;

// The input as serve reads it: before the source is asked for more, which may
// wait for the client, the answers gathered so far go out. Only what the
// source already holds is taken at a time, so no read waits for more than one
// byte. (A tie would flush before every line, not only when the input runs dry.)
class AnswersBeforeReads : public std::streambuf {
 public:
  AnswersBeforeReads(std::streambuf& source, std::function<void()> send, ServeInput input)
      : source_(source), send_(std::move(send)), input_(input) {}

 protected:
  int_type underflow() override {
    send_();
    if (source_.in_avail() <= 0) inputWithin(input_.fd, input_.spin);
    if (traits_type::eq_int_type(source_.sgetc(), traits_type::eof())) return traits_type::eof();
    std::streamsize held = std::clamp<std::streamsize>(source_.in_avail(), 1, sizeof buffer_);
    std::streamsize n = source_.sgetn(buffer_, held);
    setg(buffer_, buffer_, buffer_ + n);
    return n > 0 ? traits_type::to_int_type(buffer_[0]) : traits_type::eof();
  }

 private:
  std::streambuf& source_;
  std::function<void()> send_;
  ServeInput input_;
  char buffer_[16 * 1024];
};

}  // namespace

int serve(std::istream& in, std::ostream& out, Z418kt& component, const RequestOptions& options,
          ServeInput input) {
  const RequestLimits& limits = options.limits;
  int answered = 0;
  std::string line, pending;
  auto send = [&] {
    if (pending.empty()) return;
    out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
    out.flush();
    pending.clear();
    if (pending.capacity() > 4 * kPendingBytes) pending.shrink_to_fit();  // after a huge answer
  };
  AnswersBeforeReads source(*in.rdbuf(), send, input);
  std::istream requests(&source);
  while (true) {
    BoundedRead read = readLine(requests, line, limits.maxBytes);
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
    if (pending.size() >= kPendingBytes) send();
  }
  send();
  return answered;
}

}  // namespace z418kt::cli
