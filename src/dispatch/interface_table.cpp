#include <strings.h>

#include <string>
#include <utility>

#include "z418kt/interface.h"

namespace z418kt {

namespace {

Variant asResult(bool b) { return Variant::boolean(b); }

// Calls a g... operation: every parameter is a variant.
template <class... P, size_t... I>
Variant callAll(Z418kt& o, Variant (Z418kt::*fn)(P...), std::vector<Variant>& a,
                std::index_sequence<I...>) {
  return (o.*fn)(a[I]...);
}

// Calls an m... operation: the connection travels as a text and is written back.
template <class... P, size_t... I>
Variant callWithText(Z418kt& o, bool (Z418kt::*fn)(std::string&, P...), std::vector<Variant>& a,
                     std::index_sequence<I...>) {
  std::string connection = vb::cstr(a[0]);
  bool result = (o.*fn)(connection, a[I + 1]...);
  a[0] = Variant(connection);
  return asResult(result);
}

template <auto Fn>
struct Call;
template <class... P, Variant (Z418kt::*Fn)(P...)>
struct Call<Fn> {
  static Variant run(Z418kt& o, std::vector<Variant>& a) {
    return callAll(o, Fn, a, std::index_sequence_for<P...>{});
  }
};
template <class... P, bool (Z418kt::*Fn)(std::string&, P...)>
struct Call<Fn> {
  static Variant run(Z418kt& o, std::vector<Variant>& a) {
    return callWithText(o, Fn, a, std::index_sequence_for<P...>{});
  }
};

using Names = std::vector<std::string_view>;

Names withContext(std::string_view connection, Names rest) {
  Names names = {connection, "invntUsuario_Internet_ID", "invntEmpresa_Id", "invntBanco_Dados",
                 "invntNome_produto"};
  names.insert(names.end(), rest.begin(), rest.end());
  return names;
}
Names g(Names rest) { return withContext("invntConecta_DB", std::move(rest)); }
Names m(Names rest) { return withContext("instrConecta_DB", std::move(rest)); }

const Names kPessoa = {"invntENDERECO_PESSOA_ID",
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

std::vector<InterfaceEntry> buildTable() {
  struct Row {
    std::string_view name;
    Names parameters;
    bool status;
    Variant (*call)(Z418kt&, std::vector<Variant>&);
  };
  std::vector<Row> rows = {
      {"gConsulta_Coleta",
       g({"invntDOCTO_TRANSPORTE_ID", "outvntEND_DESTINATARIO_ID", "outvntEND_REMETENTE_ID",
          "outvntnum_volume", "outvntpeso_real", "outvnttxt_embalagem", "outvntval_declarado",
          "outvntQtde_Linha", "outvntQtde_Coluna", "outarrvntMatriz_DIM", "outvntTexto",
          "outvntcliente_id", "outvntcliente", "outvntMsg_Ret"}),
       true, &Call<&Z418kt::gConsulta_Coleta>::run},
      {"mConsulta_Qtde_AWB_COLETA",
       m({"invntDOCTO_TRANSP_PAI_ID", "invntTAB_STATUS_ID", "invntTAB_TIPO_DOCTO_TRANSP_ID",
          "outvntContador", "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mConsulta_Qtde_AWB_COLETA>::run},
      {"gConsulta_Dados_Pessoa", g(kPessoa), true, &Call<&Z418kt::gConsulta_Dados_Pessoa>::run},
      {"mConsulta_Campos_vENDERECO_PESSOA", m(kPessoa), false,
       &Call<&Z418kt::mConsulta_Campos_vENDERECO_PESSOA>::run},
      {"gExclui_Coleta", g({"invntDOCTO_TRANSPORTE_ID", "outvntMsg_Ret"}), true,
       &Call<&Z418kt::gExclui_Coleta>::run},
      {"gGrava_Coleta",
       g({"INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID", "invntEND_REMETENTE_ID", "invntnum_volume",
          "invntpeso_real", "invnttxt_embalagem", "invntval_declarado", "invntQtde_Linha",
          "invntQtde_Coluna", "inarrvntMatriz_Dim", "iovntDOCTO_TRANSPORTE_ID", "outvntMsg_Ret"}),
       true, &Call<&Z418kt::gGrava_Coleta>::run},
      {"mAltera_Campos_DOCTO_TRANSPORTE",
       m({"invntDOCTO_TRANSPORTE_ID", "INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID",
          "invntEND_REMETENTE_ID", "invntnum_volume", "invntpeso_real", "invntTAB_STATUS_ID",
          "invntTAB_TIPO_DOCTO_TRANSP_ID", "invnttxt_embalagem", "invntval_declarado",
          "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mAltera_Campos_DOCTO_TRANSPORTE>::run},
      {"mConsiste_Campos",
       m({"INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID", "invntEND_REMETENTE_ID", "invntnum_volume",
          "invntpeso_real", "invnttxt_embalagem", "invntval_declarado", "invntDOCTO_TRANSPORTE_ID",
          "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mConsiste_Campos>::run},
      {"mExclui_Campos_DOCTO_TRANSPORTE", m({"invntDOCTO_TRANSPORTE_ID", "outvntMsg_Ret"}), false,
       &Call<&Z418kt::mExclui_Campos_DOCTO_TRANSPORTE>::run},
      {"mConsulta_Campos_DOCTO_TRANSPORTE",
       m({"invntDOCTO_TRANSPORTE_ID", "invntTAB_STATUS_ID", "invntTAB_TIPO_DOCTO_TRANSP_ID",
          "outvntEND_DESTINATARIO_ID", "outvntEND_REMETENTE_ID", "outvntnum_volume",
          "outvntpeso_real", "outvnttxt_embalagem", "outvntval_declarado", "outvntcliente_id",
          "outvntcliente", "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mConsulta_Campos_DOCTO_TRANSPORTE>::run},
      {"mInclui_Campos_CARGA",
       m({"invntDOCTO_TRANSPORTE_ID", "invntlargura_m", "invntaltura_m", "invntcomprimento_m",
          "invntnum_volume", "outvntCARGA_ID", "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mInclui_Campos_CARGA>::run},
      {"mConsulta_Campos_LISTA_CARGA",
       m({"invntDOCTO_TRANSPORTE_ID", "outvntQtde_Linha", "outvntQtde_Coluna",
          "outarrvntMatriz_DIM", "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mConsulta_Campos_LISTA_CARGA>::run},
      {"mExclui_Campos_CARGA", m({"invntDOCTO_TRANSPORTE_ID", "invntCARGA_ID", "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mExclui_Campos_CARGA>::run},
      {"mInclui_Campos_DOCTO_TRANSPORTE",
       m({"INVNTCLIENTE_ID", "invntEND_DESTINATARIO_ID", "invntEND_REMETENTE_ID", "invntnum_volume",
          "invntpeso_real", "invntTAB_STATUS_ID", "invntTAB_TIPO_DOCTO_TRANSP_ID",
          "invnttxt_embalagem", "invntval_declarado", "outvntDOCTO_TRANSPORTE_ID",
          "outvntMsg_Ret"}),
       false, &Call<&Z418kt::mInclui_Campos_DOCTO_TRANSPORTE>::run},
  };
  std::vector<InterfaceEntry> table;
  for (size_t slot = 0; slot < rows.size(); ++slot) {
    Row& r = rows[slot];
    table.push_back({static_cast<int>(slot), r.name, kFirstDispid + static_cast<int32_t>(slot),
                     std::move(r.parameters), r.status, r.call});
  }
  return table;
}

}  // namespace

const std::vector<InterfaceEntry>& interfaceTable() {
  static const std::vector<InterfaceEntry> table = buildTable();
  return table;
}

const InterfaceEntry* findOperation(std::string_view name) {
  for (const InterfaceEntry& e : interfaceTable()) {
    if (e.name.size() == name.size() && strncasecmp(e.name.data(), name.data(), name.size()) == 0)
      return &e;
  }
  return nullptr;
}

const InterfaceEntry* findOperation(int32_t dispid) {
  int32_t slot = dispid - kFirstDispid;
  const auto& table = interfaceTable();
  if (slot < 0 || slot >= static_cast<int32_t>(table.size())) return nullptr;
  return &table[static_cast<size_t>(slot)];
}

Variant invoke(Z418kt& component, const InterfaceEntry& entry, std::vector<Variant>& args) {
  if (args.size() != entry.parameters.size()) throw errors::wrongArgumentCount();
  return entry.call(component, args);
}

Variant invoke(Z418kt& component, std::string_view name, std::vector<Variant>& args) {
  const InterfaceEntry* entry = findOperation(name);
  if (!entry) throw errors::unknownName();
  return invoke(component, *entry, args);
}

Variant invoke(Z418kt& component, int32_t dispid, std::vector<Variant>& args) {
  const InterfaceEntry* entry = findOperation(dispid);
  if (!entry) throw errors::unknownName();
  return invoke(component, *entry, args);
}

const std::vector<BuilderEntry>& builderTable() {
  static const std::vector<BuilderEntry> table = {
      {14, "mTrataSP_KTR_CON_QTDE_AWB_COLETA", "mConsulta_Qtde_AWB_COLETA"},
      {15, "mTrataSP_KTR_CON_PESSOA_AWB", "mConsulta_Campos_vENDERECO_PESSOA"},
      {16, "mTrataSP_KTR_ALT_SOLICIT_COLETA", "mAltera_Campos_DOCTO_TRANSPORTE"},
      {17, "mTrataSP_KTR_EXC_SOLICIT_COLETA", "mExclui_Campos_DOCTO_TRANSPORTE"},
      {18, "mTrataSP_KTR_CON_SOLICIT_COLETA", "mConsulta_Campos_DOCTO_TRANSPORTE"},
      {19, "mTrataSP_KTR_INC_CARGA_AWB", "mInclui_Campos_CARGA"},
      {20, "mTrataSP_KTR_CON_CARGA_AWB", "mConsulta_Campos_LISTA_CARGA"},
      {21, "mTrataSP_KTR_EXC_CARGA_AWB", "mExclui_Campos_CARGA"},
      {22, "mTrataSP_KTR_INC_SOLICIT_COLETA", "mInclui_Campos_DOCTO_TRANSPORTE"},
  };
  return table;
}

}  // namespace z418kt
