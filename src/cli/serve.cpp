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

Json withId(Json answer, const std::optional<Json>& id) {
  if (id) answer["id"] = *id;
  return answer;
}

}  // namespace

Json answerLine(Z418kt& component, std::string_view line, const ServeOptions& options) {
  const RequestLimits& limits = options.limits;
  Json request;
  try {
    request = parseRequestText(line, limits);
  } catch (const RequestError& e) {
    return withId(errorAnswer(e.number, e.description), requestIdOf(line));
  }
  std::optional<Json> id;
  if (request.is_object() && request.contains("id")) id = request["id"];
  if (!request.is_object() || !request.contains("op"))
    return withId(
        errorAnswer(kMalformedRequest, "a request is an object {\"op\": ..., \"args\": ...}"), id);
  Json args = withConnection(request["op"], request.contains("args") ? request["args"] : Json(),
                             options.connection);
  return withId(answerCall(component, request["op"], args, limits), id);
}

int serve(std::istream& in, std::ostream& out, Z418kt& component, const ServeOptions& options) {
  const RequestLimits& limits = options.limits;
  int answered = 0;
  std::string line;
  while (true) {
    BoundedRead read = readLine(in, line, limits.maxBytes);
    if (!read.got) break;
    Json answer;
    if (read.cutShort) {
      answer = withId(errorAnswer(kRequestTooLarge, tooLarge(read.bytes, limits).description),
                      requestIdOf(line));
    } else if (line.find_first_not_of(" \t\r") == std::string::npos) {
      continue;
    } else {
      answer = answerLine(component, line, options);
    }
    out << dumpText(answer) << '\n' << std::flush;
    ++answered;
  }
  return answered;
}

}  // namespace z418kt::cli
