// Storing one cargo piece under a transport document.
//
// Both dialects end in one result row with "retorno" and the new "CARGA_ID".
// The stored-procedure form checks the three dimensions before anything is
// sent; the Oracle builder allocates the key first, then checks them, so a
// refused dimension there leaves a spent key and no row.
#include <utility>

#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "kit/write_steps.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_INC_CARGA_AWB(std::string& dbKind, std::string& connection, int32_t& documentId,
                                Variant& largura, Variant& altura, Variant& comprimento,
                                int32_t& numVolume, std::string& statement, Variant& msgRet,
                                Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_INC_CARGA_AWB, userText, msgRet, [&](TrapState& st) {
    st.at(10100);
    write::BuilderIdentifiers identifiers;
    int32_t newId = 0;
    st.at(10110);
    if (!identifiers.allocate(dbKind, userText, connection, "CARGA_ID", msgRet, newId)) return;
    st.at(10120);
    pattern::appendPieces(st.sql, {" INSERT ", " INTO CARGA ", " ( CARGA_ID , ",
                                   " DOCTO_TRANSPORTE_ID , ", " LARGURA_M , ", " ALTURA_M , ",
                                   " COMPRIMENTO_M , ", " NUM_VOLUME ) ", " VALUES ", " (  "});
    st.at(10130);
    pattern::appendSqlValue(st.sql, "", Variant(newId), " , ");
    st.at(10140);
    pattern::appendSqlValue(st.sql, "  ", Variant(documentId), " , ");
    const Variant* dimensions[] = {&largura, &altura, &comprimento};
    for (int32_t d = 0; d < 3; ++d) {
      st.at(10150 + 2 * d);
      std::string accepted;
      if (!pattern::acceptDecimal(*dimensions[d], accepted)) return;
      st.at(10151 + 2 * d);
      pattern::appendSqlValue(st.sql, "  ", Variant(std::move(accepted)), " , ");
    }
    st.at(10160);
    pattern::appendSqlValue(st.sql, "  ", Variant(numVolume), " ) ");
    st.at(10170);
    pattern::runDataChange(st, connection);
    st.at(10180);
    st.sql = write::insertedSelect(newId, " CARGA_ID , 0 RETORNO , '' MSG_RET FROM INFRA_IDS");
    identifiers.release();
    statement = std::move(st.sql);
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mInclui_Campos_CARGA(std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID,
                                  Variant&, Variant& invntBanco_Dados, Variant&,
                                  Variant& invntDOCTO_TRANSPORTE_ID, Variant& invntlargura_m,
                                  Variant& invntaltura_m, Variant& invntcomprimento_m,
                                  Variant& invntnum_volume, Variant& outvntCARGA_ID,
                                  Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mInclui_Campos_CARGA, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             st.at(10000);
             if (pattern::isOracle(invntBanco_Dados)) {
               st.at(10010);
               std::string dbKind = pattern::textForm(invntBanco_Dados);
               st.at(10011);
               int32_t documentId = pattern::idArgument(invntDOCTO_TRANSPORTE_ID);
               st.at(10012);
               int32_t numVolume = pattern::idArgument(invntnum_volume);
               st.at(10013);
               Variant userText(pattern::textForm(invntUsuario_Internet_ID));
               st.at(10020);
               if (!pattern::callBuilder([&] {
                     return mTrataSP_KTR_INC_CARGA_AWB(
                         dbKind, instrConecta_DB, documentId, invntlargura_m, invntaltura_m,
                         invntcomprimento_m, numVolume, st.sql, outvntMsg_Ret, userText);
                   }))
                 return;
             } else {
               st.at(10030);
               pattern::ProcedureText call(st, "EXEC SP_KTR_INC_CARGA_awb   ");
               call.arg(invntDOCTO_TRANSPORTE_ID);
               const Variant* dimensions[] = {&invntlargura_m, &invntaltura_m, &invntcomprimento_m};
               // Each check and each argument numbered in turn: 10031 to 10038.
               for (int32_t d = 0; d < 3; ++d) {
                 st.next();
                 std::string accepted;
                 if (!pattern::acceptDecimal(*dimensions[d], accepted)) return;
                 call.arg(Variant(accepted));
               }
               call.last(invntnum_volume);
             }
             data::Recordset rs;
             if (!write::openWriteDone(rs, st, 10040, instrConecta_DB)) return;
             st.at(10060);
             outvntCARGA_ID = outside::valueUtil().op6_value(pattern::field(rs, "CARGA_ID"));
             st.at(10070);
             rs.close();
             result = true;
           });
  return result;
}

}  // namespace z418kt
