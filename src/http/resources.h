// The REST resources over the front door: a Coleta, a party and their lists
// as plain JSON; and any operation by name with the typed JSON of
// `z418kt invoke`.
//
// Every call runs with the server's connection text and dialect; clients
// never give them, and answers never carry the connection text. What the
// front door answers maps to one status: not found 404; refused 422 with
// every field error under "erros" (the first also as detail and campo); a
// Coleta with air waybills 409; a database that cannot be reached or did not
// answer in time 503; anything else 500. A body or query of the wrong shape
// is 400, with every field of the wrong type under "erros".
// Failures are thrown as ProblemError; success is an Answer.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/json_variant.h"
#include "z418kt/coletas.h"
#include "z418kt/z418kt.h"

namespace z418kt::http {

using Query = std::map<std::string, std::string>;  // the query parameters

struct Answer {
  int status = 200;
  json::Json body;       // not sent for 204
  std::string location;  // Location header of a created resource
  std::vector<std::pair<std::string, std::string>> headers;  // any others
  std::string text;  // the body already as JSON text; when set, `body` is not used
};

class Resources {
 public:
  explicit Resources(CallContext context) : context_(std::move(context)) {}

  Answer readColeta(Z418kt& component, std::string_view id) const;
  // The Coleta as a ONE Record shipment (JSON-LD), its identifiers under `base`.
  Answer exportColeta(Z418kt& component, std::string_view id, const std::string& base) const;
  // With a key (the Idempotency-Key header), a repeated create answers as the first.
  Answer createColeta(Z418kt& component, const json::Json& body,
                      const std::string& idempotencyKey = {}) const;
  Answer replaceColeta(Z418kt& component, std::string_view id, const json::Json& body) const;
  Answer deleteColeta(Z418kt& component, std::string_view id) const;
  Answer listColetas(Z418kt& component, const Query& query) const;
  Answer readPessoa(Z418kt& component, std::string_view enderecoId) const;
  Answer searchPessoas(Z418kt& component, const Query& query) const;
  // The body is the arguments (array or object) or {"args": ...}.
  Answer callOperation(Z418kt& component, std::string_view name, const json::Json& body) const;

 private:
  Answer answerSaved(Result<Coleta> saved, bool created) const;

  CallContext context_;
};

// A request body as JSON; 400 (with the reason) when it is not.
json::Json parseBody(const std::string& text);

}  // namespace z418kt::http
