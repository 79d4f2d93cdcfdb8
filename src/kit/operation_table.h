// Every operation of Z418kt, once: the fourteen public slots in interface
// order, then the nine private Oracle statement builders.
//
// A row holds what is fixed about an operation: its name, how its error trap
// shapes the diagnostic suffix, the generic user message of that trap and, for
// a public slot, its parameter names in interface order. The slot is the row's
// index, the dispatch identifier follows from the slot. The error trap reads
// these rows; dispatch pairs each public row with its member function and
// checks at compile time that name and parameter count agree.
#pragma once

#include <array>
#include <cstddef>
#include <span>
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

inline constexpr std::size_t kPublicOperationCount = 14;
inline constexpr std::size_t kOperationCount = 23;

// How an operation's error trap shapes its diagnostic suffix.
enum class TrapShape {
  Public,            // name - Z418KT ( description : number)   No Nº n
  StatementRunning,  // the same, then " STRSQ: " and the statement text
  Builder,           //  - name - Z418KT (description :  No Nº n)statement, no error number
  BuilderTight,      // a builder whose name text ends "Z418KT(" with no blank before "("
};

struct OperationRow {
  OperationId id;
  std::string_view name;
  TrapShape shape;
  std::string_view genericText;                  // the trap's user message
  std::span<const std::string_view> parameters;  // public slots only
};

namespace operation_text {

inline constexpr std::string_view kPublic =
    "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais tarde.";
// The party lookup's message is written without the blank between "Coleta"
// and "não"; callers match on the exact text, so it stays as it is.
inline constexpr std::string_view kPessoa =
    "Acesso a informações do Cadastro de Coletanão disponível. Favor tentar mais tarde.";
inline constexpr std::string_view kBuilder =
    "Gravação de Informações no banco de dados Oracle indisponível. Favor tentar mais tarde.";

}  // namespace operation_text

namespace parameter_names {

// Every public operation starts with the connection and the caller context.
template <std::size_t N>
constexpr std::array<std::string_view, N + 5> withContext(std::string_view connection,
                                                          const std::string_view (&rest)[N]) {
  std::array<std::string_view, N + 5> all{connection, "invntUsuario_Internet_ID", "invntEmpresa_Id",
                                          "invntBanco_Dados", "invntNome_produto"};
  for (std::size_t i = 0; i < N; ++i) all[i + 5] = rest[i];
  return all;
}
// g... operations take the connection as a variant, m... operations as a text.
template <std::size_t N>
constexpr auto g(const std::string_view (&rest)[N]) {
  return withContext("invntConecta_DB", rest);
}
template <std::size_t N>
constexpr auto m(const std::string_view (&rest)[N]) {
  return withContext("instrConecta_DB", rest);
}

inline constexpr std::string_view kPessoaOutputs[] = {"invntENDERECO_PESSOA_ID",
                                                      "outvntcep",
                                                      "outvntcod_munic_iata",
                                                      "outvntendereco",
                                                      "outvntmunicipio",
                                                      "outvntMUNICIPIO_ID",
                                                      "outvntCGC_CPF",
                                                      "outvntIE_RG",
                                                      "outvntIndic_PF_PJ",
                                                      "outvntNome",
                                                      "outvntNome_Fantasia",
                                                      "outvntPessoa_id",
                                                      "outvntMsg_Ret"};

inline constexpr auto gConsulta_Coleta =
    g({"invntDOCTO_TRANSPORTE_ID", "outvntEND_DESTINATARIO_ID", "outvntEND_REMETENTE_ID",
       "outvntnum_volume", "outvntpeso_real", "outvnttxt_embalagem", "outvntval_declarado",
       "outvntQtde_Linha", "outvntQtde_Coluna", "outarrvntMatriz_DIM", "outvntTexto",
       "outvntcliente_id", "outvntcliente", "outvntMsg_Ret"});
inline constexpr auto mConsulta_Qtde_AWB_COLETA =
    m({"invntDOCTO_TRANSP_PAI_ID", "invntTAB_STATUS_ID", "invntTAB_TIPO_DOCTO_TRANSP_ID",
       "outvntContador", "outvntMsg_Ret"});
inline constexpr auto gConsulta_Dados_Pessoa = g(kPessoaOutputs);
inline constexpr auto mConsulta_Campos_vENDERECO_PESSOA = m(kPessoaOutputs);
inline constexpr auto gExclui_Coleta = g({"invntDOCTO_TRANSPORTE_ID", "outvntMsg_Ret"});
inline constexpr auto gGrava_Coleta =
    g({"INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID", "invntEND_REMETENTE_ID", "invntnum_volume",
       "invntpeso_real", "invnttxt_embalagem", "invntval_declarado", "invntQtde_Linha",
       "invntQtde_Coluna", "inarrvntMatriz_Dim", "iovntDOCTO_TRANSPORTE_ID", "outvntMsg_Ret"});
inline constexpr auto mAltera_Campos_DOCTO_TRANSPORTE = m(
    {"invntDOCTO_TRANSPORTE_ID", "INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID",
     "invntEND_REMETENTE_ID", "invntnum_volume", "invntpeso_real", "invntTAB_STATUS_ID",
     "invntTAB_TIPO_DOCTO_TRANSP_ID", "invnttxt_embalagem", "invntval_declarado", "outvntMsg_Ret"});
inline constexpr auto mConsiste_Campos =
    m({"INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID", "invntEND_REMETENTE_ID", "invntnum_volume",
       "invntpeso_real", "invnttxt_embalagem", "invntval_declarado", "invntDOCTO_TRANSPORTE_ID",
       "outvntMsg_Ret"});
inline constexpr auto mExclui_Campos_DOCTO_TRANSPORTE =
    m({"invntDOCTO_TRANSPORTE_ID", "outvntMsg_Ret"});
inline constexpr auto mConsulta_Campos_DOCTO_TRANSPORTE =
    m({"invntDOCTO_TRANSPORTE_ID", "invntTAB_STATUS_ID", "invntTAB_TIPO_DOCTO_TRANSP_ID",
       "outvntEND_DESTINATARIO_ID", "outvntEND_REMETENTE_ID", "outvntnum_volume", "outvntpeso_real",
       "outvnttxt_embalagem", "outvntval_declarado", "outvntcliente_id", "outvntcliente",
       "outvntMsg_Ret"});
inline constexpr auto mInclui_Campos_CARGA =
    m({"invntDOCTO_TRANSPORTE_ID", "invntlargura_m", "invntaltura_m", "invntcomprimento_m",
       "invntnum_volume", "outvntCARGA_ID", "outvntMsg_Ret"});
inline constexpr auto mConsulta_Campos_LISTA_CARGA =
    m({"invntDOCTO_TRANSPORTE_ID", "outvntQtde_Linha", "outvntQtde_Coluna", "outarrvntMatriz_DIM",
       "outvntMsg_Ret"});
inline constexpr auto mExclui_Campos_CARGA =
    m({"invntDOCTO_TRANSPORTE_ID", "invntCARGA_ID", "outvntMsg_Ret"});
inline constexpr auto mInclui_Campos_DOCTO_TRANSPORTE =
    m({"INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID", "invntEND_REMETENTE_ID", "invntnum_volume",
       "invntpeso_real", "invntTAB_STATUS_ID", "invntTAB_TIPO_DOCTO_TRANSP_ID",
       "invnttxt_embalagem", "invntval_declarado", "outvntDOCTO_TRANSPORTE_ID", "outvntMsg_Ret"});

}  // namespace parameter_names

inline constexpr OperationRow kOperations[kOperationCount] = {
    // clang-format off
    {OperationId::gConsulta_Coleta, "gConsulta_Coleta", TrapShape::Public,
     operation_text::kPublic, parameter_names::gConsulta_Coleta},
    {OperationId::mConsulta_Qtde_AWB_COLETA, "mConsulta_Qtde_AWB_COLETA",
     TrapShape::StatementRunning, operation_text::kPublic,
     parameter_names::mConsulta_Qtde_AWB_COLETA},
    {OperationId::gConsulta_Dados_Pessoa, "gConsulta_Dados_Pessoa", TrapShape::Public,
     operation_text::kPublic, parameter_names::gConsulta_Dados_Pessoa},
    {OperationId::mConsulta_Campos_vENDERECO_PESSOA, "mConsulta_Campos_vENDERECO_PESSOA",
     TrapShape::StatementRunning, operation_text::kPessoa,
     parameter_names::mConsulta_Campos_vENDERECO_PESSOA},
    {OperationId::gExclui_Coleta, "gExclui_Coleta", TrapShape::Public,
     operation_text::kPublic, parameter_names::gExclui_Coleta},
    {OperationId::gGrava_Coleta, "gGrava_Coleta", TrapShape::Public,
     operation_text::kPublic, parameter_names::gGrava_Coleta},
    {OperationId::mAltera_Campos_DOCTO_TRANSPORTE, "mAltera_Campos_DOCTO_TRANSPORTE",
     TrapShape::StatementRunning, operation_text::kPublic,
     parameter_names::mAltera_Campos_DOCTO_TRANSPORTE},
    {OperationId::mConsiste_Campos, "mConsiste_Campos", TrapShape::Public,
     operation_text::kPublic, parameter_names::mConsiste_Campos},
    {OperationId::mExclui_Campos_DOCTO_TRANSPORTE, "mExclui_Campos_DOCTO_TRANSPORTE",
     TrapShape::StatementRunning, operation_text::kPublic,
     parameter_names::mExclui_Campos_DOCTO_TRANSPORTE},
    {OperationId::mConsulta_Campos_DOCTO_TRANSPORTE, "mConsulta_Campos_DOCTO_TRANSPORTE",
     TrapShape::StatementRunning, operation_text::kPublic,
     parameter_names::mConsulta_Campos_DOCTO_TRANSPORTE},
    {OperationId::mInclui_Campos_CARGA, "mInclui_Campos_CARGA", TrapShape::StatementRunning,
     operation_text::kPublic, parameter_names::mInclui_Campos_CARGA},
    {OperationId::mConsulta_Campos_LISTA_CARGA, "mConsulta_Campos_LISTA_CARGA",
     TrapShape::StatementRunning, operation_text::kPublic,
     parameter_names::mConsulta_Campos_LISTA_CARGA},
    {OperationId::mExclui_Campos_CARGA, "mExclui_Campos_CARGA", TrapShape::StatementRunning,
     operation_text::kPublic, parameter_names::mExclui_Campos_CARGA},
    {OperationId::mInclui_Campos_DOCTO_TRANSPORTE, "mInclui_Campos_DOCTO_TRANSPORTE",
     TrapShape::StatementRunning, operation_text::kPublic,
     parameter_names::mInclui_Campos_DOCTO_TRANSPORTE},
    {OperationId::mTrataSP_KTR_CON_QTDE_AWB_COLETA, "mTrataSP_KTR_CON_QTDE_AWB_COLETA",
     TrapShape::Builder, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_CON_PESSOA_AWB, "mTrataSP_KTR_CON_PESSOA_AWB",
     TrapShape::BuilderTight, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_ALT_SOLICIT_COLETA, "mTrataSP_KTR_ALT_SOLICIT_COLETA",
     TrapShape::Builder, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_EXC_SOLICIT_COLETA, "mTrataSP_KTR_EXC_SOLICIT_COLETA",
     TrapShape::Builder, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_CON_SOLICIT_COLETA, "mTrataSP_KTR_CON_SOLICIT_COLETA",
     TrapShape::Builder, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_INC_CARGA_AWB, "mTrataSP_KTR_INC_CARGA_AWB",
     TrapShape::Builder, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_CON_CARGA_AWB, "mTrataSP_KTR_CON_CARGA_AWB",
     TrapShape::Builder, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_EXC_CARGA_AWB, "mTrataSP_KTR_EXC_CARGA_AWB",
     TrapShape::Builder, operation_text::kBuilder, {}},
    {OperationId::mTrataSP_KTR_INC_SOLICIT_COLETA, "mTrataSP_KTR_INC_SOLICIT_COLETA",
     TrapShape::BuilderTight, operation_text::kBuilder, {}},
    // clang-format on
};

constexpr const OperationRow& operationRow(OperationId id) {
  return kOperations[static_cast<std::size_t>(id)];
}

// A row's place is its identity: the trap and dispatch look rows up by index.
// Public slots come first and carry parameters; builders come last and do not.
constexpr bool rowsInPlace() {
  for (std::size_t i = 0; i < kOperationCount; ++i) {
    const OperationRow& row = kOperations[i];
    bool builder = row.shape == TrapShape::Builder || row.shape == TrapShape::BuilderTight;
    if (static_cast<std::size_t>(row.id) != i) return false;
    if (builder != (i >= kPublicOperationCount)) return false;
    if (builder != row.parameters.empty()) return false;
  }
  return true;
}
static_assert(rowsInPlace(), "kOperations rows must stand at their OperationId, public first");

}  // namespace z418kt
