// Counting the documents (AWBs) issued under a parent document.
#include <utility>

#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_CON_QTDE_AWB_COLETA(std::string&, std::string&, int32_t& parentId,
                                      int32_t& statusId, int32_t& typeId, std::string& statement,
                                      Variant& msgRet, Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_CON_QTDE_AWB_COLETA, userText, msgRet, [&](TrapState& st) {
    st.at(8300);
    pattern::appendPieces(st.sql, {" SELECT "
                                   " COUNT ( DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID ) AS CONTADOR "
                                   " FROM "
                                   " DOCTO_TRANSPORTE "
                                   " WHERE "});
    st.at(8310);
    pattern::appendSqlComparison(st.sql, " DOCTO_TRANSPORTE.DOCTO_TRANSP_PAI_ID ",
                                 Variant(parentId), " AND ");
    st.at(8320);
    pattern::appendSqlComparison(st.sql, " DOCTO_TRANSPORTE.TAB_STATUS_ID ", Variant(statusId),
                                 " AND ");
    st.at(8330);
    pattern::appendSqlComparison(st.sql, " DOCTO_TRANSPORTE.TAB_TIPO_DOCTO_TRANSP_ID ",
                                 Variant(typeId), " ");
    st.at(8340);
    statement = std::move(st.sql);  // nothing after this can fail: the trap needs it no more
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mConsulta_Qtde_AWB_COLETA(std::string& instrConecta_DB,
                                       Variant& invntUsuario_Internet_ID, Variant&,
                                       Variant& invntBanco_Dados, Variant&,
                                       Variant& invntDOCTO_TRANSP_PAI_ID,
                                       Variant& invntTAB_STATUS_ID,
                                       Variant& invntTAB_TIPO_DOCTO_TRANSP_ID,
                                       Variant& outvntContador, Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mConsulta_Qtde_AWB_COLETA, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             st.at(8200);
             if (pattern::isOracle(invntBanco_Dados)) {
               st.at(8210);
               std::string dbKind = pattern::textForm(invntBanco_Dados);
               st.at(8211);
               Variant userText(pattern::textForm(invntUsuario_Internet_ID));
               st.at(8212);
               int32_t parentId = pattern::idArgument(invntDOCTO_TRANSP_PAI_ID);
               st.at(8213);
               int32_t statusId = pattern::idArgument(invntTAB_STATUS_ID);
               st.at(8214);
               int32_t typeId = pattern::idArgument(invntTAB_TIPO_DOCTO_TRANSP_ID);
               st.at(8220);
               if (!pattern::callBuilder([&] {
                     return mTrataSP_KTR_CON_QTDE_AWB_COLETA(dbKind, instrConecta_DB, parentId,
                                                             statusId, typeId, st.sql,
                                                             outvntMsg_Ret, userText);
                   }))
                 return;
             } else {
               st.at(8230);
               pattern::ProcedureText(st, "EXEC SP_KTR_CON_QTDE_AWB_COLETA   ")
                   .arg(invntDOCTO_TRANSP_PAI_ID)
                   .arg(invntTAB_STATUS_ID)
                   .last(invntTAB_TIPO_DOCTO_TRANSP_ID);
             }
             st.at(8240);
             data::Recordset rs;
             if (!pattern::openRead(rs, st, instrConecta_DB, result, [&] {
                   st.at(8250);
                   outvntContador = Variant(int16_t{0});
                 }))
               return;
             st.at(8260);
             outvntContador = outside::valueUtil().op4_number(pattern::field(rs, "contador"));
             st.at(8270);
             rs.close();
             result = true;
           });
  return result;
}

}  // namespace z418kt
