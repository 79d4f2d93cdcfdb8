#include "cli/invoke_command.h"

#include <cctype>
#include <istream>
#include <ostream>

#include "automation/number_text.h"
#include "cli/bounded_input.h"
#include "cli/connection_source.h"
#include "json/request.h"

namespace z418kt::cli {

using namespace json;

namespace {

// A decimal text names an operation by dispatch identifier.
Json operationOf(const std::string& text) {
  bool digits = !text.empty() && text.size() < 12;
  for (char c : text) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  return digits ? Json(*numtext::parseInteger(text)) : Json(text);
}

}  // namespace

int invokeCommand(Z418kt& component, const InvokeRequest& request, std::istream* in,
                  std::ostream& out) {
  Json answer;
  try {
    std::string text = request.argsText;
    if (!request.argsGiven && in) {
      BoundedRead read = readAll(*in, text, request.limits.maxBytes);
      if (read.cutShort) throw tooLarge(read.bytes, request.limits);
    }
    Json op = operationOf(request.operation);
    answer =
        answerCall(component, op,
                   withConnection(op, argumentsOfText(text, request.limits), request.connection),
                   request.limits);
  } catch (const AutomationError& e) {
    answer = errorAnswer(e.number, e.description);
  }
  out << answer.dump(request.pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace) << '\n';
  return isErrorAnswer(answer) ? 1 : 0;
}

}  // namespace z418kt::cli
