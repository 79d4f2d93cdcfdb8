// The REST resources over the operations: a Coleta and a party as plain JSON,
// and any operation by name with the typed JSON of `z418kt invoke`.
//
// Every call runs with the server's connection text and dialect; clients
// never give them, and answers never carry the connection text. A refusal of
// the operations (status 10) becomes a 422 problem with their Portuguese
// message, and the body field it names where it names one; a run-time failure
// of the operations (their "not available, try later" message) becomes 503.
// Failures are thrown as ProblemError; success is an Answer.
#pragma once

#include <string>
#include <string_view>

#include "json/json_variant.h"
#include "json/named_call.h"
#include "z418kt/z418kt.h"

namespace z418kt::http {

struct Answer {
  int status = 200;
  json::Json body;       // not sent for 204
  std::string location;  // Location header of a created resource
};

class Resources {
 public:
  explicit Resources(json::CallContext context) : context_(std::move(context)) {}

  Answer readColeta(Z418kt& component, std::string_view id) const;
  // The Coleta as a ONE Record shipment (JSON-LD), its identifiers under `base`.
  Answer exportColeta(Z418kt& component, std::string_view id, const std::string& base) const;
  Answer createColeta(Z418kt& component, const json::Json& body) const;
  Answer replaceColeta(Z418kt& component, std::string_view id, const json::Json& body) const;
  Answer deleteColeta(Z418kt& component, std::string_view id) const;
  Answer readPessoa(Z418kt& component, std::string_view enderecoId) const;
  // The body is the arguments (array or object) or {"args": ...}.
  Answer callOperation(Z418kt& component, std::string_view name, const json::Json& body) const;

 private:
  Answer save(Z418kt& component, int32_t id, const json::Json& body) const;

  json::CallContext context_;
};

// A request body as JSON; 400 (with the reason) when it is not.
json::Json parseBody(const std::string& text);

}  // namespace z418kt::http
