// Requests by name: turns a JSON request into a call of the component
// through its interface table, and the call into a JSON answer.
//
// A request names its operation (case-insensitive, or by dispatch
// identifier) and gives its arguments either positionally (a JSON array, one
// value per parameter) or by name (a JSON object keyed by the parameter
// names, case-insensitive; a parameter not given is Empty). The answer is
// {"result": typed, "args": {name: typed, ...}} with every argument as the
// call left it, in interface order. A call that fails as a whole (unknown
// operation 438, wrong argument count 450, an unreadable request, an error
// that leaves the operation) answers {"error":{"number":N,"description":"..."}}.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_variant.h"
#include "json/request_limits.h"
#include "z418kt/interface.h"

namespace z418kt::json {

// Parses request text within the limits; throws RequestError with the reason:
// kMalformedRequest, or the number of the limit it went beyond.
Json parseRequestText(std::string_view text, const RequestLimits& limits = {});

// The error of a request of `bytes` bytes (more than maxBytes).
RequestError tooLarge(size_t bytes, const RequestLimits& limits);

// The top-level "id" of a request text, when it is a scalar that can be read
// before anything malformed; the text may be cut short or broken.
std::optional<Json> requestIdOf(std::string_view text);

// The interface row of an operation given by name or dispatch identifier; 438 otherwise.
const InterfaceEntry& operationFor(const Json& op);

// The argument list of a call. An array keeps its length (invoke then checks
// it); an object is matched by name; null or absent gives all Empty.
std::vector<Variant> argumentsFor(const InterfaceEntry& entry, const Json& args,
                                  const RequestLimits& limits = {});

// Runs one call and answers it; never throws. The text form is the same
// answer as one line of JSON, written without building the tree.
Json answerCall(Z418kt& component, const Json& op, const Json& args,
                const RequestLimits& limits = {});
std::string answerCallText(Z418kt& component, const Json& op, const Json& args,
                           const RequestLimits& limits = {});

// How a front end reads requests: the limits, and the connection text given
// to a request by name that leaves the operation's connection argument out.
struct RequestOptions {
  RequestLimits limits;
  std::optional<std::string> connection;
};

// The arguments of a request text as `z418kt invoke` and the C entry point
// read it: {"args": ...} gives its args, any other JSON value is the args
// themselves, blank text gives no arguments (all Empty). Throws RequestError.
Json argumentsOfText(std::string_view text, const RequestLimits& limits = {});

// The arguments of a request (null, or an object by name) with the
// operation's connection argument set to `connection` when they lack it.
// Positional arguments and unknown operations come back unchanged.
Json withConnection(const Json& op, Json args, const std::optional<std::string>& connection);

// One request as `z418kt serve` reads it, {"op": name or dispatch identifier,
// "args": ..., "id": anything}, answered; the id comes back in every answer,
// error answers included, whenever it can be read; the answer as one line of
// JSON text. Never throws.
std::string answerRequestText(Z418kt& component, std::string_view text,
                              const RequestOptions& options = {});
// The same answer appended to `out` (without a line end), so that a caller
// answering many requests keeps one buffer's room from answer to answer.
void appendRequestAnswer(std::string& out, Z418kt& component, std::string_view text,
                         const RequestOptions& options = {});

// The answer of a call that ran: its result and every argument by name, the
// connection text with its password masked; as text and as a JSON tree.
std::string answerText(const InterfaceEntry& entry, const Variant& result,
                       const std::vector<Variant>& args);
void appendAnswerText(std::string& out, const InterfaceEntry& entry, const Variant& result,
                      const std::vector<Variant>& args);
Json answerJson(const InterfaceEntry& entry, const Variant& result,
                const std::vector<Variant>& args);

Json errorAnswer(int32_t number, const std::string& description);
std::string errorAnswerText(int32_t number, const std::string& description);  // as one line
bool isErrorAnswer(const Json& answer);

}  // namespace z418kt::json
