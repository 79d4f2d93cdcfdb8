#include "record/party_record.h"

#include "record/read_values.h"

namespace z418kt::record {

ReadOutcome<Pessoa> readParty(Z418kt& component, const CallContext& context, int64_t enderecoId) {
  return readThrough<Pessoa>(
      [&] {
        return callOperation(component, context, "gConsulta_Dados_Pessoa",
                             {{"invntENDERECO_PESSOA_ID", idArgument(enderecoId)}});
      },
      // A found party is always marked "PF" or "PJ"; a missing one leaves every
      // output as passed (Empty) with status 0.
      [](const Outcome& r) { return !r.arg("outvntIndic_PF_PJ").isEmpty(); },
      [&](const Outcome& r, Pessoa& p) {
        p.endereco_id = enderecoId;
        p.pessoa_id = wholeOf(r.arg("outvntPessoa_id"), "pessoa_id");
        p.tipo = textOf(r.arg("outvntIndic_PF_PJ"));
        p.nome = textOf(r.arg("outvntNome"));
        p.nome_fantasia = textOf(r.arg("outvntNome_Fantasia"));
        p.cpf_cnpj = textOf(r.arg("outvntCGC_CPF"));
        p.ie_rg = textOf(r.arg("outvntIE_RG"));
        p.endereco = textOf(r.arg("outvntendereco"));
        p.cep = textOf(r.arg("outvntcep"));
        p.municipio = textOf(r.arg("outvntmunicipio"));
        p.municipio_id = wholeOf(r.arg("outvntMUNICIPIO_ID"), "MUNICIPIO_ID");
        p.cod_municipio_iata = textOf(r.arg("outvntcod_munic_iata"));
      });
}

}  // namespace z418kt::record
