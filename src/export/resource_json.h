// A Coleta, a party and a page of them as the JSON of the HTTP resources,
// which the C entry and `--json` of the people's commands answer too; and a
// request body read back into a Coleta. JSON names are the resources' own
// (snake_case Portuguese: cliente_id, peso_kg, pecas[0].largura_m); weights
// and measures are JSON numbers, money an exact decimal text ("1500.75").
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "json/json_variant.h"
#include "z418kt/coletas.h"

namespace z418kt::resource {

using json::Json;

Json coletaJson(const Coleta& coleta);
// The same as one line of JSON text, written directly (what dumping
// coletaJson gives, but decimals keep every digit they have).
std::string coletaText(const Coleta& coleta);
// A list item: the header with the parties' names and the creation time.
Json coletaSummaryJson(const Coleta& coleta);
Json pessoaJson(const Pessoa& pessoa);
Json coletaPageJson(const Page<Coleta>& page);
Json pessoaPageJson(const Page<Pessoa>& page);
Json errorsJson(const std::vector<FieldError>& errors);

// A body that is not a Coleta: every field of the wrong type at once, each
// named by its caption ("O campo Peso deve ser um número."), or the body as
// a whole (campo empty).
struct BodyError : std::runtime_error {
  explicit BodyError(std::vector<FieldError> errors)
      : std::runtime_error(errors.front().mensagem), errors(std::move(errors)) {}
  std::vector<FieldError> errors;
};

// Fields left out (or null) are absent. Throws BodyError.
Coleta coletaFromJson(const Json& body);

}  // namespace z418kt::resource
