// Deleting a whole Coleta: its cargo pieces first, then its document.
//
// When the document step fails, the pieces removed by the first step stay
// removed. Both steps run in one unit of work committed once at the end, so
// other sessions never see the document without its pieces; when the engine
// gives that transaction up, the unit of work runs the steps again, each on
// its own. The operation does
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
  auto body = [&](UnitOfWork& work) {
    Variant status(int16_t{10});
    withTrap(
        OperationId::gExclui_Coleta, invntUsuario_Internet_ID, outvntMsg_Ret, [&](TrapState& st) {
          st.at(10700);
          std::string connection = vb::cstr(invntConecta_DB);
          work.begin(connection, true);
          st.at(10710);
          if (pattern::numberIsZero(invntDOCTO_TRANSPORTE_ID)) {
            outvntMsg_Ret = Variant("Informe uma Coleta.");
            return;
          }
          st.at(10720);
          Variant noCargaId("");
          if (!work.store(connection, invntDOCTO_TRANSPORTE_ID, st, [&] {
                return mExclui_Campos_CARGA(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                            invntBanco_Dados, invntNome_produto,
                                            invntDOCTO_TRANSPORTE_ID, noCargaId, outvntMsg_Ret);
              }))
            return;
          st.at(10730);
          if (!mExclui_Campos_DOCTO_TRANSPORTE(connection, invntUsuario_Internet_ID,
                                               invntEmpresa_Id, invntBanco_Dados, invntNome_produto,
                                               invntDOCTO_TRANSPORTE_ID, outvntMsg_Ret))
            return;
          st.at(10740);
          status = Variant(int16_t{0});
        });
    return status;
  };
  return runWriting(
      OperationId::gExclui_Coleta, 10750,
      {&invntConecta_DB, &invntUsuario_Internet_ID, &invntEmpresa_Id, &invntBanco_Dados,
       &invntNome_produto, &invntDOCTO_TRANSPORTE_ID, &outvntMsg_Ret},
      invntUsuario_Internet_ID, outvntMsg_Ret, body);
}

}  // namespace z418kt
