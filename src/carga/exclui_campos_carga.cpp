// Removing cargo pieces: every piece of a document or, when no document is
// given, the one piece named by its own identifier.
//
// The stored procedure receives both identifiers and decides; the Oracle
// builder runs the DELETE itself (removing nothing is no failure) and hands
// back a constant SELECT whose row has "retorno" 0.
#include <optional>

#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/write_steps.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_EXC_CARGA_AWB(std::string&, std::string& connection, int32_t& cargaId,
                                int32_t& documentId, std::string& statement, Variant& msgRet,
                                Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_EXC_CARGA_AWB, userText, msgRet, [&](TrapState& st) {
    st.at(10400);
    // A comparison with Null is not true: such a document counts as not given.
    std::optional<int> documentGiven =
        vb::compare(outside::valueUtil().op4_number(Variant(documentId)), Variant(int32_t{0}));
    st.at(10410);
    st.sql = " DELETE CARGA ";
    if (documentGiven && *documentGiven != 0) {
      st.sql += " WHERE DOCTO_TRANSPORTE_ID =  ";
      st.sql += pattern::sqlValue(Variant(documentId)) + " ";
    } else {
      st.sql += " WHERE CARGA_ID =  ";
      st.sql += pattern::sqlValue(Variant(cargaId)) + " ";
    }
    st.at(10420);
    pattern::runDataChange(st, connection);
    st.at(10430);
    st.sql = " SELECT 0 RETORNO , '' MSG_RET FROM INFRA_IDS ";
    statement = st.sql;
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mExclui_Campos_CARGA(std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID,
                                  Variant&, Variant& invntBanco_Dados, Variant&,
                                  Variant& invntDOCTO_TRANSPORTE_ID, Variant& invntCARGA_ID,
                                  Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mExclui_Campos_CARGA, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             st.at(10300);
             if (pattern::isOracle(invntBanco_Dados)) {
               st.at(10310);
               std::string dbKind = pattern::textForm(invntBanco_Dados);
               st.at(10311);
               int32_t cargaId = pattern::idArgument(invntCARGA_ID);
               st.at(10312);
               int32_t documentId = pattern::idArgument(invntDOCTO_TRANSPORTE_ID);
               st.at(10313);
               Variant userText(pattern::textForm(invntUsuario_Internet_ID));
               st.at(10320);
               if (!pattern::callBuilder([&] {
                     return mTrataSP_KTR_EXC_CARGA_AWB(dbKind, instrConecta_DB, cargaId, documentId,
                                                       st.sql, outvntMsg_Ret, userText);
                   }))
                 return;
             } else {
               st.at(10330);
               // The call ends in one blank after its last argument: the
               // statement text is part of the diagnostic callers match on.
               pattern::ProcedureText(st, "EXEC SP_KTR_EXC_CARGA_AWB   ")
                   .arg(invntCARGA_ID)
                   .last(invntDOCTO_TRANSPORTE_ID, " ");
             }
             data::Recordset rs;
             if (!write::openWriteDone(rs, st, 10340, instrConecta_DB)) return;
             st.at(10360);
             rs.close();
             result = true;
           });
  return result;
}

}  // namespace z418kt
