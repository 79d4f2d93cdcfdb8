#include "cli/demo_script.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <system_error>
#include <vector>

#include "cli/init_command.h"
#include "cli/table.h"
#include "record/named_call.h"
#include "z418kt/safe_array.h"

namespace z418kt::cli {

using namespace record;

namespace {

namespace fs = std::filesystem;

// Identifiers of the demo data that `init --demo` stores.
struct DemoData {
  const char* cliente = "2";           // a company that is a client
  const char* remetente = "12";        // the company's address
  const char* destinatario = "11";     // a person's address
  const char* coletaWithAwbs = "100";  // has an active AWB of type 115
  const char* personAddress = "11";
  const char* companyAddress = "12";
};

class Tour {
 public:
  Tour(Z418kt& component, Output o) : component_(component), o_(o) {}

  // Runs one step; `expectSuccess` says which status the step should end with.
  Outcome step(const CallContext& context, const std::string& title, std::string_view operation,
               NamedArgs args, bool expectSuccess = true) {
    ++number_;
    Outcome outcome;
    bool ok = false;
    std::string status;
    try {
      outcome = callOperation(component_, context, operation, std::move(args));
      ok = outcome.succeeded() == expectSuccess;
      status = "status " + std::to_string(outcome.status());
    } catch (const AutomationError& e) {
      status = "erro " + std::to_string(e.number) + ": " + e.description;
    }
    failures_ += ok ? 0 : 1;
    o_.out << (ok ? "[ok]     " : "[FALHOU] ") << number_ << ". " << title << ": " << status
           << (expectSuccess ? "" : " (recusa esperada)") << '\n';
    if (outcome.entry) {
      std::string message = outcome.message();
      if (!message.empty()) o_.out << "         Mensagem: " << message << '\n';
    }
    return outcome;
  }

  void note(const std::string& text) { o_.out << "         " << text << '\n'; }
  int failures() const { return failures_; }

 private:
  Z418kt& component_;
  Output o_;
  int number_ = 0;
  int failures_ = 0;
};

Variant twoCargoPieces() {
  SafeArray m = SafeArray::zeroBased(4, 1);
  const char* pieces[2][4] = {{"2", "0.5", "0.4", "0.3"}, {"1", "1,2", "0,8", "0,6"}};
  for (int32_t r = 0; r < 2; ++r)
    for (int32_t c = 0; c < 4; ++c) m.at(c, r) = Variant(pieces[r][c]);
  return Variant(std::move(m));
}

std::string cargoSummary(const Variant& matrix, const Variant& rows) {
  if (!matrix.isArray() || matrix.array().dimensions() != 2) return "nenhuma peça";
  const SafeArray& m = matrix.array();
  std::string text;
  int32_t count = 0;
  try {
    count = vb::clng(rows);
  } catch (const AutomationError&) {
    return "?";
  }
  for (int32_t r = 0; r < count && r < m.bounds()[1].count; ++r) {
    if (!text.empty()) text += "; ";
    text += displayText(m.at(m.lbound(1), m.lbound(2) + r)) + " vol. " +
            displayText(m.at(m.lbound(1) + 1, m.lbound(2) + r)) + " x " +
            displayText(m.at(m.lbound(1) + 2, m.lbound(2) + r)) + " x " +
            displayText(m.at(m.lbound(1) + 3, m.lbound(2) + r)) + " m (carga " +
            displayText(m.at(m.lbound(1) + 4, m.lbound(2) + r)) + ")";
  }
  return text.empty() ? "nenhuma peça" : text;
}

void tourOneDialect(Tour& tour, const CallContext& context) {
  const DemoData demo;
  Outcome saved = tour.step(context, "Gravar uma Coleta nova com duas peças", "gGrava_Coleta",
                            {{"INVNTCLIENTE_ID", Variant(demo.cliente)},
                             {"invntEND_DESTINATARIO_ID", Variant(demo.destinatario)},
                             {"invntEND_REMETENTE_ID", Variant(demo.remetente)},
                             {"invntnum_volume", Variant("3")},
                             {"invntpeso_real", Variant("42,5")},
                             {"invnttxt_embalagem", Variant("Caixas de papelão")},
                             {"invntval_declarado", Variant("1500,00")},
                             {"invntQtde_Linha", Variant(int32_t{2})},
                             {"invntQtde_Coluna", Variant(int32_t{5})},
                             {"inarrvntMatriz_Dim", twoCargoPieces()},
                             {"iovntDOCTO_TRANSPORTE_ID", Variant(int32_t{0})}});
  Variant id = saved.entry ? saved.arg("iovntDOCTO_TRANSPORTE_ID") : Variant(int32_t{0});
  tour.note("Coleta nova: " + displayText(id));

  Outcome read = tour.step(context, "Ler a Coleta gravada", "gConsulta_Coleta",
                           {{"invntDOCTO_TRANSPORTE_ID", id}});
  if (read.entry && read.succeeded()) {
    tour.note("Peso " + displayText(read.arg("outvntpeso_real")) + ", valor " +
              displayText(read.arg("outvntval_declarado")) + ", embalagem \"" +
              displayText(read.arg("outvnttxt_embalagem")) + "\"");
    tour.note("Carga: " +
              cargoSummary(read.arg("outarrvntMatriz_DIM"), read.arg("outvntQtde_Linha")));
  }

  Outcome awb =
      tour.step(context, "Ler a Coleta de demonstração que já tem AWBs", "gConsulta_Coleta",
                {{"invntDOCTO_TRANSPORTE_ID", Variant(demo.coletaWithAwbs)}});
  if (awb.entry) {
    std::string warning = displayText(awb.arg("outvntTexto"));
    tour.note("Aviso: " + (warning.empty() ? std::string("(nenhum)") : warning));
  }

  tour.step(context, "Ler a Coleta 0 (recusada de propósito)", "gConsulta_Coleta",
            {{"invntDOCTO_TRANSPORTE_ID", Variant(int32_t{0})}}, false);

  const std::pair<const char*, const char*> parties[] = {
      {"Consultar uma pessoa física", demo.personAddress},
      {"Consultar uma pessoa jurídica", demo.companyAddress}};
  for (const auto& [title, address] : parties) {
    Outcome party = tour.step(context, title, "gConsulta_Dados_Pessoa",
                              {{"invntENDERECO_PESSOA_ID", Variant(address)}});
    if (party.entry && party.succeeded())
      tour.note(displayText(party.arg("outvntIndic_PF_PJ")) + " " +
                displayText(party.arg("outvntNome")) + ", " +
                displayText(party.arg("outvntCGC_CPF")) + ", " +
                displayText(party.arg("outvntmunicipio")));
  }

  tour.step(context, "Excluir a Coleta gravada", "gExclui_Coleta",
            {{"invntDOCTO_TRANSPORTE_ID", id}});
}

// A new directory for the demo database, or the one asked for.
bool prepareDirectory(const DemoOptions& options, fs::path& dir, Output o) {
  std::error_code ec;
  if (!options.directory.empty()) {
    dir = options.directory;
    fs::create_directories(dir, ec);
    if (ec) {
      o.err << "z418kt: não foi possível criar " << dir << ": " << ec.message() << '\n';
      return false;
    }
    return true;
  }
  std::string pattern = (fs::temp_directory_path(ec) / "z418kt-demo-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    o.err << "z418kt: não foi possível criar um diretório temporário\n";
    return false;
  }
  dir = pattern;
  return true;
}

}  // namespace

int runDemo(const DemoOptions& options, Output o) {
  fs::path dir;
  if (!prepareDirectory(options, dir, o)) return 1;
  fs::path file = dir / "coleta-demo.db";
  if (fs::exists(file)) {
    // Never overwrite a database someone may still want.
    o.err << "z418kt: " << file << " já existe; escolha outro --dir\n";
    return 1;
  }
  CallContext context;
  context.userId = 1;  // a failing step then shows the diagnostic suffix
  context.connection = "Provider=SQLite;Data Source=" + file.string();
  o.out << "Banco de demonstração: " << file.string() << '\n';
  if (initCommand(context.connection, true, o) != 0) return 1;

  Z418kt component;
  Tour tour(component, o);
  for (const char* kind : {kProcedureKind, kOracleKind}) {
    context.databaseKind = kind;
    o.out << "\n== Dialeto " << kind
          << (std::string(kind) == kOracleKind ? " (SQL montado pelo componente)"
                                               : " (procedimentos SP_KTR_)")
          << " ==\n";
    tourOneDialect(tour, context);
  }
  o.out << '\n'
        << (tour.failures() == 0 ? "Todos os passos responderam como esperado."
                                 : std::to_string(tour.failures()) + " passo(s) falharam.")
        << "\nPara continuar: z418kt coleta show 100 --db \"" << context.connection << "\"\n";
  return tour.failures() == 0 ? 0 : 1;
}

}  // namespace z418kt::cli
