// Saving a whole Coleta: validation, the document (insert or update), then
// its cargo pieces replaced by the matrix rows.
//
// The sequence stops at the first step that answers False, leaving stored what
// the earlier steps stored and, in the caller's variables, what they wrote (the
// cleaned fields, a new document identifier, the new cargo identifiers). The
// steps run as one unit of work (runWriting), committed once at the end
// whatever the status: other sessions see the whole outcome at once, and a
// process that dies in the middle leaves none of it. When the engine gives the
// transaction up, the unit of work runs the steps again, each on its own.
#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/unit_of_work.h"
#include "outside/components.h"
#include "z418kt/safe_array.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {
// Matrix columns: volumes, width, height, length, cargo identifier.
constexpr int32_t kVolumes = 0, kWidth = 1, kHeight = 2, kLength = 3, kCargaId = 4;
}  // namespace

Variant Z418kt::gGrava_Coleta(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                              Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                              Variant& invntNome_produto, Variant& INVNTCLIENTE_ID,
                              Variant& invntEND_DESTINATARIO_ID, Variant& invntEND_REMETENTE_ID,
                              Variant& invntnum_volume, Variant& invntpeso_real,
                              Variant& invnttxt_embalagem, Variant& invntval_declarado,
                              Variant& invntQtde_Linha, Variant& invntQtde_Coluna,
                              Variant& inarrvntMatriz_Dim, Variant& iovntDOCTO_TRANSPORTE_ID,
                              Variant& outvntMsg_Ret) {
  auto body = [&](UnitOfWork& work) {
    Variant status(int16_t{10});
    withTrap(OperationId::gGrava_Coleta, invntUsuario_Internet_ID, outvntMsg_Ret,
             [&](TrapState& st) {
               st.at(10500);
               std::string connection = vb::cstr(invntConecta_DB);
               // The save's audit row names its user to the outbox: the
               // transaction needs no context for it.
               work.begin(connection, true);
               st.at(10510);
               if (!mConsiste_Campos(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                     invntBanco_Dados, invntNome_produto, INVNTCLIENTE_ID,
                                     invntEND_DESTINATARIO_ID, invntEND_REMETENTE_ID,
                                     invntnum_volume, invntpeso_real, invnttxt_embalagem,
                                     invntval_declarado, iovntDOCTO_TRANSPORTE_ID, outvntMsg_Ret))
                 return;
               // A Coleta's document is stored with status 1 and type 5.
               Variant statusId(int16_t{1}), typeId(int16_t{5});
               st.at(10520);
               bool isNew = pattern::numberIsZero(iovntDOCTO_TRANSPORTE_ID);
               if (isNew) {
                 st.at(10530);
                 if (!work.store(connection, iovntDOCTO_TRANSPORTE_ID, st, [&] {
                       return mInclui_Campos_DOCTO_TRANSPORTE(
                           connection, invntUsuario_Internet_ID, invntEmpresa_Id, invntBanco_Dados,
                           invntNome_produto, INVNTCLIENTE_ID, invntEND_DESTINATARIO_ID,
                           invntEND_REMETENTE_ID, invntnum_volume, invntpeso_real, statusId, typeId,
                           invnttxt_embalagem, invntval_declarado, iovntDOCTO_TRANSPORTE_ID,
                           outvntMsg_Ret);
                     }))
                   return;
               } else {
                 st.at(10540);
                 if (!work.store(connection, iovntDOCTO_TRANSPORTE_ID, st, [&] {
                       return mAltera_Campos_DOCTO_TRANSPORTE(
                           connection, invntUsuario_Internet_ID, invntEmpresa_Id, invntBanco_Dados,
                           invntNome_produto, iovntDOCTO_TRANSPORTE_ID, INVNTCLIENTE_ID,
                           invntEND_DESTINATARIO_ID, invntEND_REMETENTE_ID, invntnum_volume,
                           invntpeso_real, statusId, typeId, invnttxt_embalagem, invntval_declarado,
                           outvntMsg_Ret);
                     }))
                   return;
               }
               st.at(10550);
               Variant noCargaId("");
               if (!mExclui_Campos_CARGA(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                         invntBanco_Dados, invntNome_produto,
                                         iovntDOCTO_TRANSPORTE_ID, noCargaId, outvntMsg_Ret))
                 return;
               // The row count alone says how many rows to store; the matrix
               // bounds are not consulted (a shorter matrix ends in the trap).
               st.at(10560);
               const int32_t lastRow = vb::clng(Variant(vb::cdbl(invntQtde_Linha) - 1.0));
               // Counted wide, so a last row of 2^31 - 1 cannot wrap the counter.
               for (int64_t row = 0; row <= lastRow; ++row) {
                 const auto r = static_cast<int32_t>(row);
                 st.at(10570);
                 Variant volumes = inarrvntMatriz_Dim.array().at(kVolumes, r);
                 st.at(10571);
                 Variant largura = inarrvntMatriz_Dim.array().at(kWidth, r);
                 st.at(10572);
                 Variant altura = inarrvntMatriz_Dim.array().at(kHeight, r);
                 st.at(10573);
                 Variant comprimento = inarrvntMatriz_Dim.array().at(kLength, r);
                 st.at(10574);
                 Variant cargaId("");
                 st.at(10580);
                 if (!mInclui_Campos_CARGA(connection, invntUsuario_Internet_ID, invntEmpresa_Id,
                                           invntBanco_Dados, invntNome_produto,
                                           iovntDOCTO_TRANSPORTE_ID, largura, altura, comprimento,
                                           volumes, cargaId, outvntMsg_Ret))
                   return;
                 st.at(10590);
                 inarrvntMatriz_Dim.array().at(kCargaId, r) = cargaId;
               }
               st.at(10600);
               status = Variant(int16_t{0});
             });
    return status;
  };
  return runWriting(
      OperationId::gGrava_Coleta, 10610,
      {&invntConecta_DB, &invntUsuario_Internet_ID, &invntEmpresa_Id, &invntBanco_Dados,
       &invntNome_produto, &INVNTCLIENTE_ID, &invntEND_DESTINATARIO_ID, &invntEND_REMETENTE_ID,
       &invntnum_volume, &invntpeso_real, &invnttxt_embalagem, &invntval_declarado,
       &invntQtde_Linha, &invntQtde_Coluna, &inarrvntMatriz_Dim, &iovntDOCTO_TRANSPORTE_ID,
       &outvntMsg_Ret},
      invntUsuario_Internet_ID, outvntMsg_Ret, body);
}

}  // namespace z418kt
