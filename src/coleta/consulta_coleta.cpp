// Reading a whole Coleta: its document, its cargo matrix, and whether AWBs
// issued against it forbid further changes. The three reads see one snapshot,
// so a save or delete on another session shows entirely or not at all.
#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/unit_of_work.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// A Coleta's document is stored with status 1 and type 5; its AWBs are the
// documents of type 115 and status 1 that name it as their parent.
constexpr int16_t kStatusActive = 1;
constexpr int16_t kTypeColeta = 5;
constexpr int16_t kTypeAwb = 115;

constexpr const char* kMissingColeta = "Coleta não informada. Contacte o Administrador.";
constexpr const char* kAwbWarning =
    "Não será possível efetuar alterações na Coleta pois existem AWBs emitidas com ela.";

}  // namespace

Variant Z418kt::gConsulta_Coleta(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                                 Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                                 Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                                 Variant& outvntEND_DESTINATARIO_ID,
                                 Variant& outvntEND_REMETENTE_ID, Variant& outvntnum_volume,
                                 Variant& outvntpeso_real, Variant& outvnttxt_embalagem,
                                 Variant& outvntval_declarado, Variant& outvntQtde_Linha,
                                 Variant& outvntQtde_Coluna, Variant& outarrvntMatriz_DIM,
                                 Variant& outvntTexto, Variant& outvntcliente_id,
                                 Variant& outvntcliente, Variant& outvntMsg_Ret) {
  Variant status(int16_t{10});
  UnitOfWork work;
  withTrap(
      OperationId::gConsulta_Coleta, invntUsuario_Internet_ID, outvntMsg_Ret, [&](TrapState& st) {
        st.at(8010);
        std::string connection = vb::cstr(invntConecta_DB);
        work.begin(connection, false);
        st.at(8020);
        if (pattern::numberIsZero(invntDOCTO_TRANSPORTE_ID)) {
          st.at(8030);
          outvntMsg_Ret = Variant(kMissingColeta);
          return;
        }
        st.at(8040);
        Variant docStatus(kStatusActive), docType(kTypeColeta);
        if (!mConsulta_Campos_DOCTO_TRANSPORTE(
                connection, invntUsuario_Internet_ID, invntEmpresa_Id, invntBanco_Dados,
                invntNome_produto, invntDOCTO_TRANSPORTE_ID, docStatus, docType,
                outvntEND_DESTINATARIO_ID, outvntEND_REMETENTE_ID, outvntnum_volume,
                outvntpeso_real, outvnttxt_embalagem, outvntval_declarado, outvntcliente_id,
                outvntcliente, outvntMsg_Ret))
          return;
        st.at(8050);
        if (!mConsulta_Campos_LISTA_CARGA(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                          invntBanco_Dados, invntNome_produto,
                                          invntDOCTO_TRANSPORTE_ID, outvntQtde_Linha,
                                          outvntQtde_Coluna, outarrvntMatriz_DIM, outvntMsg_Ret))
          return;
        st.at(8060);
        Variant awbStatus(kStatusActive), awbType(kTypeAwb), awbCount;
        if (!mConsulta_Qtde_AWB_COLETA(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                       invntBanco_Dados, invntNome_produto,
                                       invntDOCTO_TRANSPORTE_ID, awbStatus, awbType, awbCount,
                                       outvntMsg_Ret))
          return;
        // The warning is no failure: the read succeeds and the message stays as it was.
        st.at(8070);
        if (vb::greater(outside::valueUtil().op4_number(awbCount), Variant(int32_t{0}))) {
          st.at(8080);
          outvntTexto = Variant(kAwbWarning);
        }
        st.at(8090);
        status = Variant(int16_t{0});
      });
  if (!commitWork(work, OperationId::gConsulta_Coleta, 8100, invntUsuario_Internet_ID,
                  outvntMsg_Ret))
    status = Variant(int16_t{10});
  return status;
}

}  // namespace z418kt
