// Deleting the header of a Coleta.
//
// The stored procedure decides what deleting means. The Oracle builder keeps
// the row and sets its status to 2, which the reads (status 1) no longer find,
// then hands back a constant SELECT whose row has "retorno" 0.
#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/write_steps.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_EXC_SOLICIT_COLETA(std::string&, std::string& connection, int32_t& documentId,
                                     int32_t&, std::string& statement, Variant& msgRet,
                                     Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_EXC_SOLICIT_COLETA, userText, msgRet, [&](TrapState& st) {
    st.at(9900);
    pattern::appendPieces(st.sql, {" UPDATE DOCTO_TRANSPORTE ", " SET TAB_STATUS_ID = 2 ",
                                   " WHERE DOCTO_TRANSPORTE_ID "});
    st.at(9910);
    st.sql += pattern::sqlComparison(Variant(documentId)) + " ";
    st.at(9920);
    pattern::runDataChange(st, connection);
    st.at(9930);
    st.sql = " SELECT 0 RETORNO , '' MSG_RET FROM INFRA_iDS ";
    statement = st.sql;
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mExclui_Campos_DOCTO_TRANSPORTE(std::string& instrConecta_DB,
                                             Variant& invntUsuario_Internet_ID, Variant&,
                                             Variant& invntBanco_Dados, Variant&,
                                             Variant& invntDOCTO_TRANSPORTE_ID,
                                             Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mExclui_Campos_DOCTO_TRANSPORTE, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             st.at(9800);
             if (pattern::isOracle(invntBanco_Dados)) {
               st.at(9810);
               std::string dbKind = pattern::textForm(invntBanco_Dados);
               st.at(9811);
               int32_t documentId = pattern::idArgument(invntDOCTO_TRANSPORTE_ID);
               st.at(9812);
               int32_t userId = pattern::idArgument(invntUsuario_Internet_ID);
               st.at(9813);
               Variant userText(pattern::textForm(invntUsuario_Internet_ID));
               st.at(9820);
               if (!pattern::callBuilder([&] {
                     return mTrataSP_KTR_EXC_SOLICIT_COLETA(dbKind, instrConecta_DB, documentId,
                                                            userId, st.sql, outvntMsg_Ret,
                                                            userText);
                   }))
                 return;
             } else {
               st.at(9830);
               pattern::ProcedureText(st, "EXEC SP_KTR_EXC_SOLICIT_COLETA   ")
                   .arg(invntDOCTO_TRANSPORTE_ID)
                   .last(invntUsuario_Internet_ID);
             }
             data::Recordset rs;
             if (!write::openWriteDone(rs, st, 9840, instrConecta_DB)) return;
             st.at(9860);
             rs.close();
             result = true;
           });
  return result;
}

}  // namespace z418kt
