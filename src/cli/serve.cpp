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

int serve(std::istream& in, std::ostream& out, Z418kt& component) {
  int answered = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    out << dumpText(answerLine(component, line)) << '\n' << std::flush;
    ++answered;
  }
  return answered;
}

}  // namespace z418kt::cli
