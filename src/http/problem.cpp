#include "http/problem.h"

namespace z418kt::http {

namespace {

struct Kind {
  int status;
  const char* slug;
  const char* title;
};

// One row per status the API answers with a problem.
constexpr Kind kKinds[] = {
    {400, "malformed-request", "Requisição inválida"},
    {401, "unauthorized", "Token ausente ou inválido"},
    {404, "not-found", "Não encontrado"},
    {405, "method-not-allowed", "Método não permitido"},
    {408, "request-timeout", "Tempo da requisição esgotado"},
    {409, "conflict", "A Coleta não pode mais ser alterada"},
    {413, "body-too-large", "Corpo da requisição grande demais"},
    {414, "uri-too-long", "Endereço grande demais"},
    {415, "unsupported-media-type", "Tipo de conteúdo não aceito"},
    {422, "refused", "Recusado pelas regras da Coleta"},
    {429, "too-many-requests", "Requisições demais nesta conexão"},
    {431, "headers-too-large", "Cabeçalhos grandes demais"},
    {500, "internal-error", "Erro interno"},
    {503, "unavailable", "Banco de dados indisponível"},
};

}  // namespace

json::Json problemJson(const Problem& problem) {
  const Kind* kind = nullptr;
  for (const Kind& k : kKinds)
    if (k.status == problem.status || (!kind && k.status == 500)) kind = &k;
  json::Json body = {{"type", std::string("urn:z418kt:problem:") + kind->slug},
                     {"title", kind->title},
                     {"status", problem.status},
                     {"detail", problem.detail}};
  if (!problem.field.empty()) body["campo"] = problem.field;
  if (problem.extra.is_object())
    for (const auto& [key, value] : problem.extra.items()) body[key] = value;
  return body;
}

}  // namespace z418kt::http
