// Deleting a whole Coleta: its cargo pieces first, then its document.
//
// No transaction: when the document step fails, the pieces removed by the
// first step stay removed. The operation does not look for the document or its
// AWBs; any identifier other than 0 goes straight to the two steps.
#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

Variant Z418kt::gExclui_Coleta(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                               Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                               Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                               Variant& outvntMsg_Ret) {
  Variant status(int16_t{10});
  withTrap(
      OperationId::gExclui_Coleta, invntUsuario_Internet_ID, outvntMsg_Ret, [&](TrapState& st) {
        st.at(10700);
        std::string connection = vb::cstr(invntConecta_DB);
        st.at(10710);
        if (pattern::numberIsZero(invntDOCTO_TRANSPORTE_ID)) {
          outvntMsg_Ret = Variant("Informe uma Coleta.");
          return;
        }
        st.at(10720);
        Variant noCargaId("");
        if (!mExclui_Campos_CARGA(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                  invntBanco_Dados, invntNome_produto, invntDOCTO_TRANSPORTE_ID,
                                  noCargaId, outvntMsg_Ret))
          return;
        st.at(10730);
        if (!mExclui_Campos_DOCTO_TRANSPORTE(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                             invntBanco_Dados, invntNome_produto,
                                             invntDOCTO_TRANSPORTE_ID, outvntMsg_Ret))
          return;
        st.at(10740);
        status = Variant(int16_t{0});
      });
  return status;
}

}  // namespace z418kt
