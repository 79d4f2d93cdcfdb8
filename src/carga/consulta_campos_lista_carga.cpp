// Reading the cargo pieces of one document into the cargo matrix.
//
// The matrix is a 2-D array of variants addressed (column, row), both lower
// bounds 0; columns: number of volumes, width, height, length, cargo id.
// Callers read the counts, not the bounds: with no piece both counts are the
// 16-bit 0 and the caller's matrix is left exactly as it was.
#include <iterator>
#include <utility>

#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "outside/components.h"
#include "z418kt/safe_array.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

// The matrix columns in index order: the column read, and whether it is a
// dimension (formatted) or handed out as it is.
struct MatrixColumn {
  const char* column;
  bool measure;
};

constexpr MatrixColumn kMatrixColumns[] = {
    {"num_volume", false},   {"largura_m", true}, {"altura_m", true},
    {"comprimento_m", true}, {"CARGA_ID", false},
};

constexpr int16_t kColumnCount = static_cast<int16_t>(std::size(kMatrixColumns));

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_CON_CARGA_AWB(std::string&, std::string&, int32_t& documentId,
                                std::string& statement, Variant& msgRet, Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_CON_CARGA_AWB, userText, msgRet, [&](TrapState& st) {
    st.at(8800);
    pattern::appendPieces(st.sql, {" SELECT "
                                   " CARGA.ALTURA_M , "
                                   " CARGA.CARGA_ID , "
                                   " CARGA.COMPRIMENTO_M , "
                                   " CARGA.LARGURA_M , "
                                   " CARGA.NUM_VOLUME "
                                   " FROM "
                                   " CARGA "
                                   " WHERE "
                                   " CARGA.DOCTO_TRANSPORTE_ID "});
    st.at(8810);
    pattern::appendSqlComparison(st.sql, "", Variant(documentId), " ");
    st.at(8820);
    statement = std::move(st.sql);  // nothing after this can fail: the trap needs it no more
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mConsulta_Campos_LISTA_CARGA(std::string& instrConecta_DB,
                                          Variant& invntUsuario_Internet_ID, Variant&,
                                          Variant& invntBanco_Dados, Variant&,
                                          Variant& invntDOCTO_TRANSPORTE_ID,
                                          Variant& outvntQtde_Linha, Variant& outvntQtde_Coluna,
                                          Variant& outarrvntMatriz_DIM, Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(
      OperationId::mConsulta_Campos_LISTA_CARGA, invntUsuario_Internet_ID, outvntMsg_Ret,
      [&](TrapState& st) {
        st.at(8600);
        if (pattern::isOracle(invntBanco_Dados)) {
          st.at(8610);
          std::string dbKind = pattern::textForm(invntBanco_Dados);
          st.at(8611);
          Variant userText(pattern::textForm(invntUsuario_Internet_ID));
          st.at(8612);
          int32_t documentId = pattern::idArgument(invntDOCTO_TRANSPORTE_ID);
          st.at(8620);
          if (!pattern::callBuilder([&] {
                return mTrataSP_KTR_CON_CARGA_AWB(dbKind, instrConecta_DB, documentId, st.sql,
                                                  outvntMsg_Ret, userText);
              }))
            return;
        } else {
          st.at(8630);
          pattern::ProcedureText(st, "EXEC SP_KTR_CON_CARGA_AWB   ").last(invntDOCTO_TRANSPORTE_ID);
        }
        st.at(8640);
        data::Recordset rs;
        if (!pattern::openRead(rs, st, instrConecta_DB, result, [&] {
              st.at(8650);
              outvntQtde_Linha = Variant(int16_t{0});
              outvntQtde_Coluna = Variant(int16_t{0});
            }))
          return;
        st.at(8660);
        rs.moveLast();
        st.at(8670);
        rs.moveFirst();
        st.at(8680);
        outvntQtde_Linha = Variant(rs.recordCount());
        st.at(8690);
        outvntQtde_Coluna = Variant(kColumnCount);
        // Sized from the two counts just written; what the caller held is discarded.
        st.at(8700);
        outarrvntMatriz_DIM = Variant(
            SafeArray::zeroBased(vb::clng(outvntQtde_Coluna) - 1, vb::clng(outvntQtde_Linha) - 1));
        // The loop counts rows; it does not look for the end of the record set.
        const int32_t lastRow = vb::clng(outvntQtde_Linha) - 1;
        size_t columnOf[kColumnCount] = {};  // each name looked up on the first row
        // The thread's components, fetched at their first use as the trap expects.
        outside::NumberFormatUtil* format = nullptr;
        outside::ValueUtil* values = nullptr;
        SafeArray& matrix = outarrvntMatriz_DIM.array();
        for (int32_t row = 0; row <= lastRow; ++row) {
          // The first index runs fastest, as in VB: a row's cells lie side by
          // side, so the row's place is looked up once.
          Variant* cells = &matrix.at(0, row);
          for (int32_t c = 0; c < kColumnCount; ++c) {
            st.at(8710 + 10 * c);
            if (row == 0) columnOf[c] = rs.columnIndex(kMatrixColumns[c].column);
            Variant column = rs.fieldAt(columnOf[c]);
            Variant& cell = cells[c];
            if (kMatrixColumns[c].measure) {
              if (!format) format = &outside::numberFormatUtil();
              cell = format->op2_formatMeasure(column);
            } else {
              if (!values) values = &outside::valueUtil();
              cell = values->op6_value(std::move(column));
            }
          }
          st.at(8760);
          rs.moveNext();
        }
        st.at(8770);
        rs.close();
        result = true;
      });
  return result;
}

}  // namespace z418kt
