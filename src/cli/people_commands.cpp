#include "cli/people_commands.h"

#include <functional>
#include <ostream>

#include "cli/table.h"
#include "json/request.h"
#include "z418kt/safe_array.h"

namespace z418kt::cli {

using namespace json;

namespace {

const std::vector<std::string> kCargoHeader = {"Volumes", "Largura (m)", "Altura (m)",
                                               "Comprimento (m)", "Carga"};

// Runs a call and reports it: the body prints the tidy form of a call that ran.
int report(Output o, const std::function<Outcome()>& call,
           const std::function<void(const Outcome&)>& body) {
  Outcome outcome;
  try {
    outcome = call();
  } catch (const AutomationError& e) {
    if (o.json) o.out << dumpText(errorAnswer(e.number, e.description)) << '\n';
    o.err << "z418kt: erro " << e.number << ": " << e.description << '\n';
    return 1;
  }
  if (o.json) {
    o.out << dumpText(answerJson(*outcome.entry, outcome.result, outcome.args)) << '\n';
  } else {
    o.out << "Status: " << outcome.status() << (outcome.succeeded() ? " (ok)" : " (falhou)")
          << '\n';
    if (outcome.succeeded()) body(outcome);
    std::string message = outcome.message();
    if (!message.empty()) o.out << "Mensagem: " << message << '\n';
  }
  return outcome.succeeded() ? 0 : 1;
}

std::vector<Field> fieldsOf(const Outcome& r, const std::vector<Field>& labelsAndNames) {
  std::vector<Field> fields;
  for (const auto& [label, name] : labelsAndNames)
    fields.push_back({label, displayText(r.arg(name))});
  return fields;
}

// The cargo matrix as rows for printing; the counts say how many rows hold data.
std::vector<std::vector<std::string>> cargoRows(const Variant& matrix, const Variant& rowCount) {
  std::vector<std::vector<std::string>> rows;
  if (!matrix.isArray() || matrix.array().dimensions() != 2) return rows;
  const SafeArray& m = matrix.array();
  int32_t count = 0;
  try {
    count = vb::clng(rowCount);
  } catch (const AutomationError&) {
    count = m.bounds()[1].count;
  }
  for (int32_t r = 0; r < count && r < m.bounds()[1].count; ++r) {
    std::vector<std::string> row;
    for (int32_t c = 0; c < m.bounds()[0].count; ++c)
      row.push_back(displayText(m.at(m.lbound(1) + c, m.lbound(2) + r)));
    rows.push_back(std::move(row));
  }
  return rows;
}

void printCargo(std::ostream& out, const Variant& matrix, const Variant& rowCount) {
  auto rows = cargoRows(matrix, rowCount);
  if (rows.empty()) {
    out << "Carga: nenhuma peça\n";
    return;
  }
  out << "Carga:\n";
  printGrid(out, kCargoHeader, rows);
}

}  // namespace

bool parseCargo(const std::string& text, std::vector<std::string>& parts) {
  parts.clear();
  std::string piece;
  for (char c : text) {
    if (c == 'x' || c == 'X') {
      parts.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  parts.push_back(piece);
  if (parts.size() != 4) return false;
  for (const std::string& p : parts)
    if (p.empty()) return false;
  return true;
}

int showColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o) {
  return report(
      o,
      [&] {
        return callOperation(component, context, "gConsulta_Coleta",
                             {{"invntDOCTO_TRANSPORTE_ID", Variant(id)}});
      },
      [&](const Outcome& r) {
        o.out << "Coleta " << id << '\n';
        printFields(o.out, fieldsOf(r, {{"Cliente", "outvntcliente_id"},
                                        {"Nome do cliente", "outvntcliente"},
                                        {"Endereço do remetente", "outvntEND_REMETENTE_ID"},
                                        {"Endereço do destinatário", "outvntEND_DESTINATARIO_ID"},
                                        {"Volumes", "outvntnum_volume"},
                                        {"Peso real", "outvntpeso_real"},
                                        {"Embalagem", "outvnttxt_embalagem"},
                                        {"Valor declarado", "outvntval_declarado"}}));
        printCargo(o.out, r.arg("outarrvntMatriz_DIM"), r.arg("outvntQtde_Linha"));
        std::string warning = displayText(r.arg("outvntTexto"));
        if (!warning.empty()) o.out << "Aviso: " << warning << '\n';
      });
}

int saveColeta(Z418kt& component, const CallContext& context, const ColetaFields& f, Output o) {
  int32_t rows = static_cast<int32_t>(f.cargas.size());
  Variant matrix;
  if (rows > 0) {
    SafeArray m = SafeArray::zeroBased(4, rows - 1);
    std::vector<std::string> parts;
    for (int32_t r = 0; r < rows; ++r) {
      if (!parseCargo(f.cargas[static_cast<size_t>(r)], parts)) {
        o.err << "z418kt: --carga \"" << f.cargas[static_cast<size_t>(r)]
              << "\" is not VOLUMESxWIDTHxHEIGHTxLENGTH, e.g. 2x0.5x0.4x0.3\n";
        return 2;
      }
      for (int32_t c = 0; c < 4; ++c) m.at(c, r) = Variant(parts[static_cast<size_t>(c)]);
    }
    matrix = Variant(std::move(m));
  }
  return report(
      o,
      [&] {
        return callOperation(component, context, "gGrava_Coleta",
                             {{"INVNTCLIENTE_ID", Variant(f.cliente)},
                              {"invntEND_DESTINATARIO_ID", Variant(f.destinatario)},
                              {"invntEND_REMETENTE_ID", Variant(f.remetente)},
                              {"invntnum_volume", Variant(f.volumes)},
                              {"invntpeso_real", Variant(f.peso)},
                              {"invnttxt_embalagem", Variant(f.embalagem)},
                              {"invntval_declarado", Variant(f.valor)},
                              {"invntQtde_Linha", Variant(rows)},
                              {"invntQtde_Coluna", Variant(int32_t{5})},
                              {"inarrvntMatriz_Dim", matrix},
                              {"iovntDOCTO_TRANSPORTE_ID", Variant(f.id)}});
      },
      [&](const Outcome& r) {
        o.out << "Coleta gravada: " << displayText(r.arg("iovntDOCTO_TRANSPORTE_ID")) << '\n';
        printCargo(o.out, r.arg("inarrvntMatriz_Dim"), r.arg("invntQtde_Linha"));
      });
}

int deleteColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o) {
  return report(
      o,
      [&] {
        return callOperation(component, context, "gExclui_Coleta",
                             {{"invntDOCTO_TRANSPORTE_ID", Variant(id)}});
      },
      [&](const Outcome&) { o.out << "Coleta " << id << " excluída.\n"; });
}

int showPessoa(Z418kt& component, const CallContext& context, const std::string& id, Output o) {
  return report(
      o,
      [&] {
        return callOperation(component, context, "gConsulta_Dados_Pessoa",
                             {{"invntENDERECO_PESSOA_ID", Variant(id)}});
      },
      [&](const Outcome& r) {
        o.out << "Endereço de pessoa " << id << '\n';
        printFields(o.out, fieldsOf(r, {{"Pessoa", "outvntPessoa_id"},
                                        {"Tipo (PF/PJ)", "outvntIndic_PF_PJ"},
                                        {"Nome", "outvntNome"},
                                        {"Nome fantasia", "outvntNome_Fantasia"},
                                        {"CPF/CNPJ", "outvntCGC_CPF"},
                                        {"RG/IE", "outvntIE_RG"},
                                        {"Endereço", "outvntendereco"},
                                        {"CEP", "outvntcep"},
                                        {"Município", "outvntmunicipio"},
                                        {"Município (id)", "outvntMUNICIPIO_ID"},
                                        {"Código IATA", "outvntcod_munic_iata"}}));
      });
}

}  // namespace z418kt::cli
