// Rewriting the header of an existing Coleta's DOCTO_TRANSPORTE row.
//
// The stored procedure answers a row with "retorno"; the Oracle builder runs
// the UPDATE itself, records the change and hands back a constant SELECT whose
// row has "retorno" 0. Its second column is named MSR_RET, unlike the
// MSG_RET of the other builders; nothing reads it, and callers that log the
// statement text compare it as written.
#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/write_steps.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_ALT_SOLICIT_COLETA(std::string& dbKind, std::string& connection,
                                     int32_t& documentId, int32_t& clienteId,
                                     int32_t& destinatarioId, int32_t& remetenteId,
                                     int32_t& numVolume, Variant& pesoReal, int32_t& statusId,
                                     int32_t& typeId, std::string& txtEmbalagem,
                                     Variant& valDeclarado, int32_t&, std::string& statement,
                                     Variant& msgRet, Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_ALT_SOLICIT_COLETA, userText, msgRet, [&](TrapState& st) {
    // Each column label ends in two blanks before its value.
    auto set = [&](const char* label, const std::string& sqlText, const char* after) {
      st.sql += label;
      st.sql += sqlText;
      st.sql += after;
    };
    st.at(9600);
    pattern::appendPieces(st.sql, {" UPDATE DOCTO_TRANSPORTE ", " SET ", " EMPRESA_ID = 1 , "});
    st.at(9610);
    set(" cliente_Id =  ", pattern::sqlValue(Variant(clienteId)), " , ");
    st.at(9611);
    set(" END_DESTINATARIO_ID =  ", pattern::sqlValue(Variant(destinatarioId)), " , ");
    st.at(9612);
    set(" END_REMETENTE_ID =  ", pattern::sqlValue(Variant(remetenteId)), " , ");
    st.at(9613);
    set(" NUM_VOLUME =  ", pattern::sqlValue(Variant(numVolume)), " , ");
    st.at(9620);
    std::string peso;
    st.at(9621);
    if (!pattern::acceptDecimal(pesoReal, peso)) return;
    st.at(9622);
    set(" PESO_REAL =  ", pattern::sqlValue(Variant(peso)), " , ");
    st.at(9630);
    set(" TAB_STATUS_ID =  ", pattern::sqlValue(Variant(statusId)), " , ");
    st.at(9631);
    set(" TAB_TIPO_DOCTO_TRANSP_ID =  ", pattern::sqlValue(Variant(typeId)), " , ");
    st.at(9640);
    set(" TXT_EMBALAGEM =  ", pattern::sqlText(Variant(txtEmbalagem)), " , ");
    st.at(9650);
    std::string valor;
    st.at(9651);
    if (!pattern::acceptDecimal(valDeclarado, valor)) return;
    st.at(9652);
    set(" VAL_DECLARADO =  ", pattern::sqlValue(Variant(valor)), " ");
    st.at(9660);
    set(" WHERE DOCTO_TRANSPORTE_ID  ", pattern::sqlComparison(Variant(documentId)), " ");
    st.at(9670);
    pattern::runDataChange(st, connection);
    st.at(9680);
    write::BuilderIdentifiers identifiers;
    st.at(9681);
    if (!identifiers.recordDocument(dbKind, 2, userText, documentId, connection, st)) return;
    st.at(9690);
    st.sql = " SELECT 0 RETORNO , '' MSR_RET from infra_Ids ";
    statement = st.sql;
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mAltera_Campos_DOCTO_TRANSPORTE(
    std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID, Variant&,
    Variant& invntBanco_Dados, Variant&, Variant& invntDOCTO_TRANSPORTE_ID,
    Variant& INVNTCLIENTE_ID, Variant& invntEND_DESTINATARIO_ID, Variant& invntEND_REMETENTE_ID,
    Variant& invntnum_volume, Variant& invntpeso_real, Variant& invntTAB_STATUS_ID,
    Variant& invntTAB_TIPO_DOCTO_TRANSP_ID, Variant& invnttxt_embalagem,
    Variant& invntval_declarado, Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mAltera_Campos_DOCTO_TRANSPORTE, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             st.at(9500);
             if (pattern::isOracle(invntBanco_Dados)) {
               st.at(9510);
               std::string dbKind = pattern::textForm(invntBanco_Dados);
               st.at(9511);
               int32_t documentId = pattern::idArgument(invntDOCTO_TRANSPORTE_ID);
               st.at(9512);
               int32_t clienteId = pattern::idArgument(INVNTCLIENTE_ID);
               st.at(9513);
               int32_t destinatarioId = pattern::idArgument(invntEND_DESTINATARIO_ID);
               st.at(9514);
               int32_t remetenteId = pattern::idArgument(invntEND_REMETENTE_ID);
               st.at(9515);
               int32_t numVolume = pattern::idArgument(invntnum_volume);
               st.at(9516);
               int32_t statusId = pattern::idArgument(invntTAB_STATUS_ID);
               st.at(9517);
               int32_t typeId = pattern::idArgument(invntTAB_TIPO_DOCTO_TRANSP_ID);
               st.at(9520);
               std::string txtEmbalagem =
                   pattern::textForm(outside::valueUtil().op6_value(invnttxt_embalagem));
               st.at(9521);
               int32_t userId = pattern::idArgument(invntUsuario_Internet_ID);
               st.at(9522);
               Variant userText(pattern::textForm(invntUsuario_Internet_ID));
               st.at(9530);
               if (!pattern::callBuilder([&] {
                     return mTrataSP_KTR_ALT_SOLICIT_COLETA(
                         dbKind, instrConecta_DB, documentId, clienteId, destinatarioId,
                         remetenteId, numVolume, invntpeso_real, statusId, typeId, txtEmbalagem,
                         invntval_declarado, userId, st.sql, outvntMsg_Ret, userText);
                   }))
                 return;
             } else {
               st.at(9540);
               pattern::ProcedureText call(st, "EXEC SP_KTR_ALT_SOLICIT_COLETA   ");
               call.arg(invntDOCTO_TRANSPORTE_ID)
                   .arg(INVNTCLIENTE_ID)
                   .arg(invntEND_DESTINATARIO_ID)
                   .arg(invntEND_REMETENTE_ID)
                   .arg(invntnum_volume);
               // Each argument and each decimal check numbered in turn: 9541 to 9553.
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
             if (!write::openWriteDone(rs, st, 9560, instrConecta_DB)) return;
             st.at(9570);
             rs.close();
             result = true;
           });
  return result;
}

}  // namespace z418kt
