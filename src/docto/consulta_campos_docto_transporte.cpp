// Reading the header of one document (a Coleta's DOCTO_TRANSPORTE row with
// its client's trade name).
#include <iterator>
#include <utility>

#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// How a column becomes its output: handed out as it is, or as a formatted decimal.
enum class Read { Value, Decimal };

struct ColumnRead {
  const char* column;
  Variant* output;
  Read how;
};

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_CON_SOLICIT_COLETA(std::string&, std::string&, int32_t& documentId,
                                     int32_t& statusId, int32_t& typeId, std::string& statement,
                                     Variant& msgRet, Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_CON_SOLICIT_COLETA, userText, msgRet, [&](TrapState& st) {
    st.at(8550);
    pattern::appendPieces(st.sql, {" SELECT "
                                   " DOCTO_TRANSPORTE.END_DESTINATARIO_ID , "
                                   " DOCTO_TRANSPORTE.END_REMETENTE_ID , "
                                   " DOCTO_TRANSPORTE.NUM_VOLUME , "
                                   " DOCTO_TRANSPORTE.PESO_REAL , "
                                   " DOCTO_TRANSPORTE.TXT_EMBALAGEM , "
                                   " DOCTO_TRANSPORTE.VAL_DECLARADO, "
                                   " DOCTO_TRANSPORTE.cliente_id, "
                                   " VCLIENTE.NOME_FANTASIA CLIENTE "
                                   " FROM "
                                   " DOCTO_TRANSPORTE, "
                                   " vCLIENTE  "
                                   " WHERE "
                                   " DOCTO_TRANSPORTE.CLIENTE_iD = VCLIENTE.PESSOA_ID AND "
                                   " DOCTO_TRANSPORTE.DOCTO_TRANSPORTE_ID "});
    st.at(8560);
    pattern::appendSqlComparison(st.sql, "", Variant(documentId), " AND ");
    st.at(8570);
    pattern::appendSqlComparison(st.sql, " DOCTO_TRANSPORTE.TAB_STATUS_ID ", Variant(statusId),
                                 " AND ");
    st.at(8580);
    pattern::appendSqlComparison(st.sql, " DOCTO_TRANSPORTE.TAB_TIPO_DOCTO_TRANSP_ID ",
                                 Variant(typeId), " ");
    st.at(8590);
    statement = std::move(st.sql);  // nothing after this can fail: the trap needs it no more
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mConsulta_Campos_DOCTO_TRANSPORTE(
    std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID, Variant&,
    Variant& invntBanco_Dados, Variant&, Variant& invntDOCTO_TRANSPORTE_ID,
    Variant& invntTAB_STATUS_ID, Variant& invntTAB_TIPO_DOCTO_TRANSP_ID,
    Variant& outvntEND_DESTINATARIO_ID, Variant& outvntEND_REMETENTE_ID, Variant& outvntnum_volume,
    Variant& outvntpeso_real, Variant& outvnttxt_embalagem, Variant& outvntval_declarado,
    Variant& outvntcliente_id, Variant& outvntcliente, Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mConsulta_Campos_DOCTO_TRANSPORTE, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             st.at(8400);
             if (pattern::isOracle(invntBanco_Dados)) {
               st.at(8410);
               std::string dbKind = pattern::textForm(invntBanco_Dados);
               st.at(8411);
               Variant userText(pattern::textForm(invntUsuario_Internet_ID));
               st.at(8412);
               int32_t documentId = pattern::idArgument(invntDOCTO_TRANSPORTE_ID);
               st.at(8413);
               int32_t statusId = pattern::idArgument(invntTAB_STATUS_ID);
               st.at(8414);
               int32_t typeId = pattern::idArgument(invntTAB_TIPO_DOCTO_TRANSP_ID);
               st.at(8420);
               if (!pattern::callBuilder([&] {
                     return mTrataSP_KTR_CON_SOLICIT_COLETA(dbKind, instrConecta_DB, documentId,
                                                            statusId, typeId, st.sql, outvntMsg_Ret,
                                                            userText);
                   }))
                 return;
             } else {
               st.at(8430);
               pattern::ProcedureText(st, "EXEC SP_KTR_CON_SOLICIT_COLETA   ")
                   .arg(invntDOCTO_TRANSPORTE_ID)
                   .arg(invntTAB_STATUS_ID)
                   .last(invntTAB_TIPO_DOCTO_TRANSP_ID);
             }
             st.at(8440);
             data::Recordset rs;
             if (!pattern::openRead(rs, st, instrConecta_DB, result)) return;
             // Each output is written as soon as its column is read, so an
             // error on a later column leaves the earlier ones filled.
             const ColumnRead reads[] = {
                 {"cliente_id", &outvntcliente_id, Read::Value},
                 {"cliente", &outvntcliente, Read::Value},
                 {"END_DESTINATARIO_ID", &outvntEND_DESTINATARIO_ID, Read::Value},
                 {"END_REMETENTE_ID", &outvntEND_REMETENTE_ID, Read::Value},
                 {"num_volume", &outvntnum_volume, Read::Value},
                 {"peso_real", &outvntpeso_real, Read::Decimal},
                 {"txt_embalagem", &outvnttxt_embalagem, Read::Value},
                 {"val_declarado", &outvntval_declarado, Read::Decimal},
             };
             // The thread's components, fetched at their first use as the trap expects.
             outside::ValueUtil* values = nullptr;
             outside::NumberFormatUtil* format = nullptr;
             for (size_t i = 0; i < std::size(reads); ++i) {
               st.at(8450 + 10 * static_cast<int32_t>(i));
               Variant column = pattern::field(rs, reads[i].column);
               if (reads[i].how == Read::Value) {
                 if (!values) values = &outside::valueUtil();
                 *reads[i].output = values->op6_value(std::move(column));
               } else {
                 if (!format) format = &outside::numberFormatUtil();
                 *reads[i].output = format->op1_formatDecimal(column);
               }
             }
             st.at(8530);
             rs.close();
             result = true;
           });
  return result;
}

}  // namespace z418kt
