// The 23 operations of Z418kt: the fourteen public slots in interface order,
// then the nine Oracle statement builders (indexes 14 to 22).
#pragma once

#include <string_view>

namespace z418kt {

enum class OperationId {
  gConsulta_Coleta,
  mConsulta_Qtde_AWB_COLETA,
  gConsulta_Dados_Pessoa,
  mConsulta_Campos_vENDERECO_PESSOA,
  gExclui_Coleta,
  gGrava_Coleta,
  mAltera_Campos_DOCTO_TRANSPORTE,
  mConsiste_Campos,
  mExclui_Campos_DOCTO_TRANSPORTE,
  mConsulta_Campos_DOCTO_TRANSPORTE,
  mInclui_Campos_CARGA,
  mConsulta_Campos_LISTA_CARGA,
  mExclui_Campos_CARGA,
  mInclui_Campos_DOCTO_TRANSPORTE,
  mTrataSP_KTR_CON_QTDE_AWB_COLETA,
  mTrataSP_KTR_CON_PESSOA_AWB,
  mTrataSP_KTR_ALT_SOLICIT_COLETA,
  mTrataSP_KTR_EXC_SOLICIT_COLETA,
  mTrataSP_KTR_CON_SOLICIT_COLETA,
  mTrataSP_KTR_INC_CARGA_AWB,
  mTrataSP_KTR_CON_CARGA_AWB,
  mTrataSP_KTR_EXC_CARGA_AWB,
  mTrataSP_KTR_INC_SOLICIT_COLETA,
};

inline constexpr int kOperationCount = 23;

// How an operation's error trap shapes its diagnostic suffix.
enum class TrapShape {
  Public,            // name ( description : number)   No Nº n
  StatementRunning,  // the same, then " STRSQ: " and the statement text
  Builder,           // name (description :  No Nº n)statement, no error number
};

struct OperationTrapInfo {
  std::string_view name;
  TrapShape shape;
  std::string_view nameText;     // the suffix's leading name text
  std::string_view genericText;  // the user message that replaces everything
};

const OperationTrapInfo& trapInfo(OperationId id);

}  // namespace z418kt
