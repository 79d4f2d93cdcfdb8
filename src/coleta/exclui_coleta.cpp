// Deleting a whole Coleta: its cargo pieces first, then its document.
//
// When the document step fails, the pieces removed by the first step stay
// removed. Both steps run in one unit of work committed once at the end, so
// other sessions never see the document without its pieces. The operation does
// not look for the document or its AWBs; any identifier other than 0 goes
// straight to the two steps.
#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/unit_of_work.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

Variant Z418kt::gExclui_Coleta(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                               Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                               Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                               Variant& outvntMsg_Ret) {
  Variant status(int16_t{10});
  UnitOfWork work;
  withTrap(
      OperationId::gExclui_Coleta, invntUsuario_Internet_ID, outvntMsg_Ret, [&](TrapState& st) {
        st.at(10700);
        std::string connection = vb::cstr(invntConecta_DB);
        work.begin(connection, true, invntUsuario_Internet_ID);
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
  if (!commitWork(work, OperationId::gExclui_Coleta, 10750, invntUsuario_Internet_ID,
                  outvntMsg_Ret))
    status = Variant(int16_t{10});
  return status;
}

}  // namespace z418kt
