// A party as the party lookup gives it, addressed by the id of one of its
// addresses (the ids a Coleta's sender and addressee are).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "json/named_call.h"
#include "record/outcome.h"
#include "z418kt/z418kt.h"

namespace z418kt::record {

struct PartyRecord {
  int64_t endereco_id = 0;
  std::optional<int64_t> pessoa_id;
  std::string tipo;  // "PF" a person, "PJ" a company
  std::string nome, nome_fantasia;
  std::string cgc_cpf;  // CPF of a person, CNPJ of a company
  std::string ie_rg;    // RG of a person, state registration of a company
  std::string endereco, cep, municipio;
  std::optional<int64_t> municipio_id;
  std::string cod_munic_iata;  // IATA code of the city
  friend bool operator==(const PartyRecord&, const PartyRecord&) = default;
};

ReadOutcome<PartyRecord> readParty(Z418kt& component, const json::CallContext& context,
                                   int64_t enderecoId);

}  // namespace z418kt::record
