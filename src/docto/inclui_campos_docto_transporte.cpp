// Storing the header of a new Coleta as one DOCTO_TRANSPORTE row.
//
// Both dialects end in one result row with "retorno" and the new
// "DOCTO_TRANSPORTE_ID": the stored procedure answers it, the Oracle builder
// allocates the key, inserts the row, records the insert and hands back a
// constant SELECT that yields the same row.
#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/write_steps.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_INC_SOLICIT_COLETA(std::string& dbKind, std::string& connection,
                                     int32_t& clienteId, int32_t& destinatarioId,
                                     int32_t& remetenteId, int32_t& numVolume, Variant& pesoReal,
                                     int32_t& statusId, int32_t& typeId, std::string& txtEmbalagem,
                                     Variant& valDeclarado, int32_t&, std::string& statement,
                                     Variant& msgRet, Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_INC_SOLICIT_COLETA, userText, msgRet, [&](TrapState& st) {
    st.at(9300);
    write::BuilderIdentifiers identifiers;
    int32_t newId = 0;
    st.at(9310);
    if (!identifiers.allocate(dbKind, userText, connection, "DOCTO_TRANSPORTE_ID", msgRet, newId))
      return;
    st.at(9320);
    pattern::appendPieces(
        st.sql,
        {" INSERT ", " INTO DOCTO_TRANSPORTE ", " ( DOCTO_TRANSPORTE_ID , ", " EMPRESA_ID , ",
         " DATA_EMISSAO , ", " CLIENTE_ID , ", " END_DESTINATARIO_ID , ", " END_REMETENTE_ID , ",
         " NUM_VOLUME , ", " PESO_REAL , ", " TAB_STATUS_ID , ", " TAB_TIPO_DOCTO_TRANSP_ID , ",
         " TXT_EMBALAGEM , ", " VAL_DECLARADO , ", " NUM_DOCTO_TRANSPORTE ) ", " VALUES ", " (  "});
    // Every value but the first stands after two blanks and before " , ".
    auto append = [&](const std::string& sqlText) { st.sql += "  " + sqlText + " , "; };
    st.at(9330);
    st.sql += pattern::sqlValue(Variant(newId)) + " , " + " 1 , " + " SYSDATE , ";
    const int32_t integers[] = {clienteId, destinatarioId, remetenteId, numVolume};
    for (int32_t i = 0; i < 4; ++i) {
      st.at(9340 + i);
      append(pattern::sqlValue(Variant(integers[i])));
    }
    st.at(9350);
    std::string peso;
    st.at(9351);
    if (!pattern::acceptDecimal(pesoReal, peso)) return;
    st.at(9352);
    append(pattern::sqlValue(Variant(peso)));
    st.at(9360);
    append(pattern::sqlValue(Variant(statusId)));
    st.at(9361);
    append(pattern::sqlValue(Variant(typeId)));
    st.at(9370);
    append(pattern::sqlText(Variant(txtEmbalagem)));
    st.at(9380);
    std::string valor;
    st.at(9381);
    if (!pattern::acceptDecimal(valDeclarado, valor)) return;
    st.at(9382);
    append(pattern::sqlValue(Variant(valor)));
    st.at(9390);
    st.sql += "  " + pattern::sqlValue(Variant(newId)) + " ) ";
    st.at(9400);
    pattern::runDataChange(st, connection);
    st.at(9410);
    if (!identifiers.recordDocument(dbKind, 1, userText, newId, connection, st)) return;
    st.at(9420);
    st.sql = write::insertedSelect(newId,
                                   " DOCTO_TRANSPORTE_ID , 0 RETORNO , '' MSG_RET FROM INFRA_IDS");
    statement = st.sql;
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mInclui_Campos_DOCTO_TRANSPORTE(
    std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID, Variant&,
    Variant& invntBanco_Dados, Variant&, Variant& INVNTCLIENTE_ID,
    Variant& invntEND_DESTINATARIO_ID, Variant& invntEND_REMETENTE_ID, Variant& invntnum_volume,
    Variant& invntpeso_real, Variant& invntTAB_STATUS_ID, Variant& invntTAB_TIPO_DOCTO_TRANSP_ID,
    Variant& invnttxt_embalagem, Variant& invntval_declarado, Variant& outvntDOCTO_TRANSPORTE_ID,
    Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mInclui_Campos_DOCTO_TRANSPORTE, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             st.at(9200);
             if (pattern::isOracle(invntBanco_Dados)) {
               st.at(9210);
               int32_t clienteId = pattern::idArgument(INVNTCLIENTE_ID);
               st.at(9211);
               int32_t destinatarioId = pattern::idArgument(invntEND_DESTINATARIO_ID);
               st.at(9212);
               int32_t remetenteId = pattern::idArgument(invntEND_REMETENTE_ID);
               st.at(9213);
               int32_t numVolume = pattern::idArgument(invntnum_volume);
               st.at(9214);
               int32_t statusId = pattern::idArgument(invntTAB_STATUS_ID);
               st.at(9215);
               int32_t typeId = pattern::idArgument(invntTAB_TIPO_DOCTO_TRANSP_ID);
               st.at(9216);
               int32_t userId = pattern::idArgument(invntUsuario_Internet_ID);
               st.at(9220);
               std::string txtEmbalagem =
                   pattern::textForm(outside::valueUtil().op6_value(invnttxt_embalagem));
               st.at(9221);
               std::string dbKind = pattern::textForm(invntBanco_Dados);
               st.at(9222);
               Variant userText(pattern::textForm(invntUsuario_Internet_ID));
               st.at(9230);
               if (!pattern::callBuilder([&] {
                     return mTrataSP_KTR_INC_SOLICIT_COLETA(
                         dbKind, instrConecta_DB, clienteId, destinatarioId, remetenteId, numVolume,
                         invntpeso_real, statusId, typeId, txtEmbalagem, invntval_declarado, userId,
                         st.sql, outvntMsg_Ret, userText);
                   }))
                 return;
             } else {
               st.at(9240);
               pattern::ProcedureText call(st, "EXEC SP_KTR_INC_SOLICIT_COLETA   ");
               call.arg(INVNTCLIENTE_ID)
                   .arg(invntEND_DESTINATARIO_ID)
                   .arg(invntEND_REMETENTE_ID)
                   .arg(invntnum_volume);
               // Each argument and each decimal check numbered in turn: 9241 to 9252.
               std::string peso, valor;
               st.next();
               if (!pattern::acceptDecimal(invntpeso_real, peso)) return;
               call.arg(Variant(peso))
                   .arg(invntTAB_STATUS_ID)
                   .arg(invntTAB_TIPO_DOCTO_TRANSP_ID)
                   .textArg(invnttxt_embalagem);
               st.next();
               if (!pattern::acceptDecimal(invntval_declarado, valor)) return;
               call.arg(Variant(valor)).last(invntUsuario_Internet_ID);
             }
             data::Recordset rs;
             if (!write::openWriteDone(rs, st, 9260, instrConecta_DB)) return;
             st.at(9270);
             outvntDOCTO_TRANSPORTE_ID =
                 outside::valueUtil().op4_number(pattern::field(rs, "DOCTO_TRANSPORTE_ID"));
             st.at(9280);
             rs.close();
             result = true;
           });
  return result;
}

}  // namespace z418kt
