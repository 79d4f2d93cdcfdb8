// The party lookup as callers use it: clean and check the party-address
// identifier, then read the party.
#include "kit/trap.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

Variant Z418kt::gConsulta_Dados_Pessoa(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                                       Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                                       Variant& invntNome_produto, Variant& invntENDERECO_PESSOA_ID,
                                       Variant& outvntcep, Variant& outvntcod_munic_iata,
                                       Variant& outvntendereco, Variant& outvntmunicipio,
                                       Variant& outvntMUNICIPIO_ID, Variant& outvntCGC_CPF,
                                       Variant& outvntIE_RG, Variant& outvntIndic_PF_PJ,
                                       Variant& outvntNome, Variant& outvntNome_Fantasia,
                                       Variant& outvntPessoa_id, Variant& outvntMsg_Ret) {
  Variant status(int16_t{10});
  withTrap(
      OperationId::gConsulta_Dados_Pessoa, invntUsuario_Internet_ID, outvntMsg_Ret,
      [&](TrapState& st) {
        st.at(9000);
        std::string connection = vb::cstr(invntConecta_DB);
        // The caller gets the cleaned identifier back whatever happens next.
        st.at(9010);
        invntENDERECO_PESSOA_ID = Variant(
            outside::valueUtil().op13_normalize(vb::trim(vb::cstr(invntENDERECO_PESSOA_ID))));
        st.at(9020);
        Variant caption("Endereco_Pessoa_id"), minimum(int16_t{0}), extra(""), required("S");
        if (!vb::isTrue(outside::inputCheckUtil().op3_checkInteger(
                caption, invntENDERECO_PESSOA_ID, minimum, extra, invntUsuario_Internet_ID,
                outvntMsg_Ret, required)))
          return;
        st.at(9030);
        if (!mConsulta_Campos_vENDERECO_PESSOA(
                connection, invntUsuario_Internet_ID, invntEmpresa_Id, invntBanco_Dados,
                invntNome_produto, invntENDERECO_PESSOA_ID, outvntcep, outvntcod_munic_iata,
                outvntendereco, outvntmunicipio, outvntMUNICIPIO_ID, outvntCGC_CPF, outvntIE_RG,
                outvntIndic_PF_PJ, outvntNome, outvntNome_Fantasia, outvntPessoa_id, outvntMsg_Ret))
          return;
        st.at(9040);
        status = Variant(int16_t{0});
      });
  return status;
}

}  // namespace z418kt
