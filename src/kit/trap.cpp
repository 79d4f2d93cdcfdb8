#include "kit/trap.h"

#include <new>

namespace z418kt {

namespace {

constexpr std::string_view kPublicText =
    "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais tarde.";
// The party lookup's own text has always lacked the blank between "Coleta" and "não".
constexpr std::string_view kPessoaText =
    "Acesso a informações do Cadastro de Coletanão disponível. Favor tentar mais tarde.";
constexpr std::string_view kBuilderText =
    "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais tarde.";

constexpr OperationTrapInfo kTrapInfo[kOperationCount] = {
    {"gConsulta_Coleta", TrapShape::Public, "gConsulta_Coleta - Z418KT ( ", kPublicText},
    {"mConsulta_Qtde_AWB_COLETA", TrapShape::StatementRunning,
     "mConsulta_Qtde_AWB_COLETA - Z418KT ( ", kPublicText},
    {"gConsulta_Dados_Pessoa", TrapShape::Public, "gConsulta_Dados_Pessoa - Z418KT ( ",
     kPublicText},
    {"mConsulta_Campos_vENDERECO_PESSOA", TrapShape::StatementRunning,
     "mConsulta_Campos_vENDERECO_PESSOA - Z418KT ( ", kPessoaText},
    {"gExclui_Coleta", TrapShape::Public, "gExclui_Coleta - Z418KT ( ", kPublicText},
    {"gGrava_Coleta", TrapShape::Public, "gGrava_Coleta - Z418KT ( ", kPublicText},
    {"mAltera_Campos_DOCTO_TRANSPORTE", TrapShape::StatementRunning,
     "mAltera_Campos_DOCTO_TRANSPORTE - Z418KT ( ", kPublicText},
    {"mConsiste_Campos", TrapShape::Public, "mConsiste_Campos - Z418KT ( ", kPublicText},
    {"mExclui_Campos_DOCTO_TRANSPORTE", TrapShape::StatementRunning,
     "mExclui_Campos_DOCTO_TRANSPORTE - Z418KT ( ", kPublicText},
    {"mConsulta_Campos_DOCTO_TRANSPORTE", TrapShape::StatementRunning,
     "mConsulta_Campos_DOCTO_TRANSPORTE - Z418KT ( ", kPublicText},
    {"mInclui_Campos_CARGA", TrapShape::StatementRunning, "mInclui_Campos_CARGA - Z418KT ( ",
     kPublicText},
    {"mConsulta_Campos_LISTA_CARGA", TrapShape::StatementRunning,
     "mConsulta_Campos_LISTA_CARGA - Z418KT ( ", kPublicText},
    {"mExclui_Campos_CARGA", TrapShape::StatementRunning, "mExclui_Campos_CARGA - Z418KT ( ",
     kPublicText},
    {"mInclui_Campos_DOCTO_TRANSPORTE", TrapShape::StatementRunning,
     "mInclui_Campos_DOCTO_TRANSPORTE - Z418KT ( ", kPublicText},
    {"mTrataSP_KTR_CON_QTDE_AWB_COLETA", TrapShape::Builder,
     " - mTrataSP_KTR_CON_QTDE_AWB_COLETA - Z418KT (", kBuilderText},
    {"mTrataSP_KTR_CON_PESSOA_AWB", TrapShape::Builder, " - mTrataSP_KTR_CON_PESSOA_AWB - Z418KT(",
     kBuilderText},
    {"mTrataSP_KTR_ALT_SOLICIT_COLETA", TrapShape::Builder,
     " - mTrataSP_KTR_ALT_SOLICIT_COLETA - Z418KT (", kBuilderText},
    {"mTrataSP_KTR_EXC_SOLICIT_COLETA", TrapShape::Builder,
     " - mTrataSP_KTR_EXC_SOLICIT_COLETA - Z418KT (", kBuilderText},
    {"mTrataSP_KTR_CON_SOLICIT_COLETA", TrapShape::Builder,
     " - mTrataSP_KTR_CON_SOLICIT_COLETA - Z418KT (", kBuilderText},
    {"mTrataSP_KTR_INC_CARGA_AWB", TrapShape::Builder, " - mTrataSP_KTR_INC_CARGA_AWB - Z418KT (",
     kBuilderText},
    {"mTrataSP_KTR_CON_CARGA_AWB", TrapShape::Builder, " - mTrataSP_KTR_CON_CARGA_AWB - Z418KT (",
     kBuilderText},
    {"mTrataSP_KTR_EXC_CARGA_AWB", TrapShape::Builder, " - mTrataSP_KTR_EXC_CARGA_AWB - Z418KT (",
     kBuilderText},
    {"mTrataSP_KTR_INC_SOLICIT_COLETA", TrapShape::Builder,
     " - mTrataSP_KTR_INC_SOLICIT_COLETA - Z418KT(", kBuilderText},
};

}  // namespace

const OperationTrapInfo& trapInfo(OperationId id) { return kTrapInfo[static_cast<int>(id)]; }

AutomationError asAutomationError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const AutomationError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return AutomationError(7, "Out of memory");
  } catch (const std::exception& e) {
    return AutomationError(-2147418113, e.what());  // E_UNEXPECTED
  } catch (...) {
    return AutomationError(-2147418113, "Catastrophic failure");
  }
}

void runTrap(OperationId id, const Variant& userId, Variant& msgRet, const TrapState& state,
             const AutomationError& error) {
  const OperationTrapInfo& info = trapInfo(id);
  std::string message(info.genericText);
  msgRet = Variant(message);
  if (!vb::equals(userId, Variant(int32_t{1}))) return;

  message += info.nameText;
  message += error.description;
  message += " : ";
  if (info.shape == TrapShape::Builder) {
    message += " No Nº " + std::to_string(state.statement) + ")" + state.sql;
  } else {
    message += std::to_string(error.number) + ")  " + " No Nº " + std::to_string(state.statement);
    if (info.shape == TrapShape::StatementRunning) message += " STRSQ: " + state.sql;
  }
  msgRet = Variant(message);
}

}  // namespace z418kt
