#include "cli/people_commands.h"

#include <climits>
#include <functional>
#include <ostream>

#include "automation/number_text.h"
#include "cli/table.h"
#include "json/request.h"
#include "outside/default_decimal.h"
#include "z418kt/safe_array.h"

namespace z418kt::cli {

using namespace json;

namespace {

const std::vector<std::string> kCargoHeader = {"Volumes", "Largura (m)", "Altura (m)",
                                               "Comprimento (m)", "Carga"};

// What a command says when status 10 came without a message.
constexpr const char* kNoReason =
    "A operação não foi concluída e não informou o motivo. Confira se os ids existem "
    "(coleta show ID, pessoa show ID) e repita com --user 1 para ver o diagnóstico.";

// How a call that ran is told apart: found or not, and what to add when it failed.
struct Reading {
  std::function<bool(const Outcome&)> found = [](const Outcome&) { return true; };
  // For a refusal: whether it came because the thing is not there.
  std::function<bool(const Outcome&)> missingWhenRefused = [](const Outcome&) { return false; };
  std::string notFound;
  std::function<void(const Outcome&)> body = [](const Outcome&) {};
  std::function<void(const Outcome&)> afterFailure = [](const Outcome&) {};
};

// Runs a call and reports it: the tidy form of a call that ran, or its JSON answer.
int report(Output o, const std::function<Outcome()>& call, const Reading& reading) {
  Outcome outcome;
  try {
    outcome = call();
  } catch (const AutomationError& e) {
    if (o.json) o.out << errorAnswerText(e.number, e.description) << '\n';
    o.err << "z418kt: erro " << e.number << ": " << e.description << '\n';
    return kExitFailed;
  }
  bool found = outcome.succeeded() ? reading.found(outcome) : !reading.missingWhenRefused(outcome);
  if (o.json) {
    o.out << answerText(*outcome.entry, outcome.result, outcome.args) << '\n';
  } else {
    o.out << "Status: " << outcome.status() << (outcome.succeeded() ? " (ok)" : " (falhou)")
          << '\n';
    if (outcome.succeeded() && found) reading.body(outcome);
    std::string message = outcome.message();
    if (!message.empty()) o.out << "Mensagem: " << message << '\n';
    if (!outcome.succeeded() && found) {
      if (message.empty()) o.out << kNoReason << '\n';
      reading.afterFailure(outcome);
    }
  }
  if (!found) {
    o.err << "z418kt: " << reading.notFound << '\n';
    return kExitNotFound;
  }
  return outcome.succeeded() ? kExitDone : kExitFailed;
}

// An output the read left as the command passed it (Empty): nothing was found.
bool wasRead(const Outcome& r, std::string_view name) { return !r.arg(name).isEmpty(); }

std::string trimmedText(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return text.substr(b, text.find_last_not_of(" \t") + 1 - b);
}

bool isWhole(const std::string& text, int64_t low) {
  auto n = numtext::parseInteger(trimmedText(text));
  return n && *n >= low && *n <= INT32_MAX;
}

bool isMeasure(const std::string& text) { return outside::decimal::parseEntered(text).has_value(); }

// Checks a number option before any call; prints the usage error when it is wrong.
bool checked(Output o, const std::string& what, const std::string& text, bool ok,
             const char* expected) {
  if (ok) return true;
  o.err << "z418kt: " << what << " \"" << text << "\" is not " << expected << '\n';
  return false;
}

bool checkedId(Output o, const std::string& id) {
  return checked(o, "ID", id, isWhole(id, 0), "a whole number");
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
  if (parts.size() != 4 || !isWhole(parts[0], 0)) return false;
  for (size_t k = 1; k < 4; ++k)
    if (!isMeasure(parts[k])) return false;
  return true;
}

int showColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o) {
  if (!checkedId(o, id)) return kExitUsage;
  Reading reading;
  reading.found = [](const Outcome& r) { return wasRead(r, "outvntcliente_id"); };
  reading.notFound = "Coleta " + id + " não encontrada.";
  reading.body = [&](const Outcome& r) {
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
  };
  return report(
      o,
      [&] {
        return callOperation(component, context, "gConsulta_Coleta",
                             {{"invntDOCTO_TRANSPORTE_ID", Variant(trimmedText(id))}});
      },
      reading);
}

namespace {

bool checkedFields(Output o, const ColetaFields& f) {
  // Fields left out go to the component as they are: its own checks name them.
  auto whole = [&](const char* option, const std::string& text, int64_t low) {
    return text.empty() || checked(o, option, text, isWhole(text, low), "a whole number");
  };
  auto measure = [&](const char* option, const std::string& text) {
    return text.empty() || checked(o, option, text, isMeasure(text), "a decimal number");
  };
  if (!(whole("--id", f.id, 0) && whole("--cliente", f.cliente, 1) &&
        whole("--remetente", f.remetente, 1) && whole("--destinatario", f.destinatario, 1) &&
        whole("--volumes", f.volumes, 0) && measure("--peso", f.peso) &&
        measure("--valor", f.valor)))
    return false;
  std::vector<std::string> parts;
  for (const std::string& cargo : f.cargas) {
    if (!checked(o, "--carga", cargo, parseCargo(cargo, parts),
                 "VOLUMESxWIDTHxHEIGHTxLENGTH (a whole number and three decimals, e.g. "
                 "2x0.5x0.4x0.3)"))
      return false;
  }
  return true;
}

// After a save that stopped half-way: the document and pieces it left stored.
void tellWhatWasStored(std::ostream& out, const ColetaFields& f, const Outcome& r) {
  std::string id = displayText(r.arg("iovntDOCTO_TRANSPORTE_ID"));
  bool isNew = isWhole(f.id, 0) && numtext::parseInteger(trimmedText(f.id)) == 0;
  bool documentStored = isNew ? isWhole(id, 1) : false;
  std::vector<std::string> pieces;
  const Variant& matrix = r.arg("inarrvntMatriz_Dim");
  if (matrix.isArray() && matrix.array().dimensions() == 2) {
    const SafeArray& m = matrix.array();
    for (int32_t row = 0; row < m.bounds()[1].count; ++row) {
      std::string piece = displayText(m.at(m.lbound(1) + 4, m.lbound(2) + row));
      if (!piece.empty()) pieces.push_back(piece);
    }
  }
  if (!documentStored && pieces.empty()) return;
  out << "Atenção: a gravação parou no meio. Ficou gravado: ";
  if (documentStored) out << "a Coleta " << id << " (nova), ";
  if (!isNew) out << "os dados da Coleta " << f.id << ", ";
  out << pieces.size() << " de " << f.cargas.size() << " peça(s)";
  for (size_t k = 0; k < pieces.size(); ++k) out << (k ? ", " : " (ids ") << pieces[k];
  out << (pieces.empty() ? "" : ")") << ".\n";
  if (documentStored)
    out << "Corrija e grave de novo com --id " << id << " para não criar outra Coleta.\n";
}

}  // namespace

int saveColeta(Z418kt& component, const CallContext& context, const ColetaFields& f, Output o) {
  if (!checkedFields(o, f)) return kExitUsage;
  int32_t rows = static_cast<int32_t>(f.cargas.size());
  Variant matrix;
  if (rows > 0) {
    SafeArray m = SafeArray::zeroBased(4, rows - 1);
    std::vector<std::string> parts;
    for (int32_t r = 0; r < rows; ++r) {
      parseCargo(f.cargas[static_cast<size_t>(r)], parts);
      for (int32_t c = 0; c < 4; ++c) m.at(c, r) = Variant(parts[static_cast<size_t>(c)]);
    }
    matrix = Variant(std::move(m));
  }
  Reading reading;
  reading.body = [&](const Outcome& r) {
    o.out << "Coleta gravada: " << displayText(r.arg("iovntDOCTO_TRANSPORTE_ID")) << '\n';
    printCargo(o.out, r.arg("inarrvntMatriz_Dim"), r.arg("invntQtde_Linha"));
  };
  reading.afterFailure = [&](const Outcome& r) { tellWhatWasStored(o.out, f, r); };
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
      reading);
}

int deleteColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o) {
  if (!checkedId(o, id)) return kExitUsage;
  Reading reading;
  reading.notFound = "Coleta " + id + " não encontrada.";
  reading.body = [&](const Outcome&) { o.out << "Coleta " << id << " excluída.\n"; };
  // A refusal does not say whether the Coleta exists: a read tells.
  reading.missingWhenRefused = [&](const Outcome&) {
    try {
      Outcome read = callOperation(component, context, "gConsulta_Coleta",
                                   {{"invntDOCTO_TRANSPORTE_ID", Variant(trimmedText(id))}});
      return read.succeeded() && !wasRead(read, "outvntcliente_id");
    } catch (const AutomationError&) {
      return false;  // the delete's own answer is reported
    }
  };
  return report(
      o,
      [&] {
        return callOperation(component, context, "gExclui_Coleta",
                             {{"invntDOCTO_TRANSPORTE_ID", Variant(trimmedText(id))}});
      },
      reading);
}

int showPessoa(Z418kt& component, const CallContext& context, const std::string& id, Output o) {
  if (!checkedId(o, id)) return kExitUsage;
  Reading reading;
  reading.found = [](const Outcome& r) { return wasRead(r, "outvntPessoa_id"); };
  reading.notFound = "endereço de pessoa " + id + " não encontrado.";
  reading.body = [&](const Outcome& r) {
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
  };
  return report(
      o,
      [&] {
        return callOperation(component, context, "gConsulta_Dados_Pessoa",
                             {{"invntENDERECO_PESSOA_ID", Variant(trimmedText(id))}});
      },
      reading);
}

}  // namespace z418kt::cli
