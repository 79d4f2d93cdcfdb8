#include "cli/events_commands.h"

#include <signal.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <iostream>
#include <thread>

#include "cli/table.h"
#include "events/event_store.h"
#include "events/outbox_setup.h"

namespace z418kt::cli {

namespace {

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kNotFound = 3;
constexpr const char* kDefaultDb = "Provider=SQLite;Data Source=coleta.db";
// For the commands that look no subscription up (a Coleta without events is
// no error either: its history is just empty).
constexpr const char* kPlainExitCodes =
    "\nSituação de saída: 0 feito; 1 o banco de dados falhou; 2 uso errado.";
constexpr const char* kExitCodes =
    "\nSituação de saída: 0 feito; 1 o banco de dados falhou; 2 uso errado; 3 a assinatura não "
    "existe.";

std::optional<int64_t> positiveId(const std::string& text) {
  int64_t id = 0;
  const char* end = text.data() + text.size();
  auto [stop, ec] = std::from_chars(text.data(), end, id);
  if (text.empty() || ec != std::errc() || stop != end || id <= 0) return std::nullopt;
  return id;
}

// What changed, in one line: "num_volume 6→9, peso_real 125,5→130".
std::string changesLine(const events::Json& changes) {
  std::string out;
  for (auto it = changes.begin(); it != changes.end(); ++it) {
    auto show = [](const events::Json& v) {
      return v.is_string() ? v.get<std::string>() : v.dump();
    };
    out += (out.empty() ? "" : ", ") + it.key() + " " + show(it.value()["antes"]) + "→" +
           show(it.value()["depois"]);
  }
  return out;
}

// Blocks the stop signals on the calling thread (and the threads it starts).
struct StopSignals {
  StopSignals() {
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
  }
  ~StopSignals() { pthread_sigmask(SIG_UNBLOCK, &set, nullptr); }
  sigset_t set{};
};

}  // namespace

EventCommands::EventCommands(CLI::App& app, CLI::App& coleta, int& code, AppStreams io)
    : code_(code), io_(io) {
  auto examples = [](const std::string& lines, const char* exitCodes = kExitCodes) {
    return "\nExemplos:\n" + lines + exitCodes;
  };

  CLI::App* history =
      coleta.add_subcommand("history", "os eventos de uma Coleta, os mais antigos primeiro");
  history->add_option("ID", id_, "o id do documento da Coleta")->required();
  history->add_option("--after", after_, "só os eventos depois deste número de sequência");
  history->add_option("--limit", limit_, "no máximo este número de eventos")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  history->add_flag("--json", json_, "os eventos como um vetor JSON");
  addConnectionOptions(history, db_);
  history->footer(
      examples("  z418kt coleta history 100\n  z418kt coleta history 100 --json", kPlainExitCodes));
  history->callback([this] { run(&EventCommands::history); });

  CLI::App* sub =
      app.add_subcommand("assinatura", "assinaturas de webhook dos eventos das Coletas");
  sub->require_subcommand(1);
  sub->footer(
      examples("  z418kt assinatura add https://erp.example.com/hooks/coleta\n"
               "  z418kt assinatura list\n  z418kt assinatura replay 3"));
  CLI::App* add = sub->add_subcommand("add", "assina uma URL; mostra o segredo dela uma única vez");
  add->add_option("URL", input_.url, "URL http:// ou https:// que recebe os eventos")->required();
  add->add_option("--tipo", input_.kinds,
                  "um tipo de evento: coleta.criada, coleta.alterada, coleta.cargas_substituidas, "
                  "coleta.excluida (repita para mais; padrão: todos)");
  add->add_option("--cliente", input_.clientId, "só as Coletas deste id de cliente");
  add->add_flag("--one-record", oneRecord_, "envia JSON-LD LogisticsEvent do ONE Record");
  add->add_flag("--json", json_, "mostra a assinatura como JSON");
  addConnectionOptions(add, db_);
  add->footer(
      examples("  z418kt assinatura add https://erp.example.com/hooks/coleta --tipo coleta.criada\n"
               "  z418kt assinatura add http://10.0.0.5:9000/eventos --cliente 2 --one-record",
               kPlainExitCodes));
  add->callback([this] { run(&EventCommands::add); });

  CLI::App* list = sub->add_subcommand("list", "as assinaturas ativas (sem os segredos)");
  list->add_flag("--json", json_, "como um vetor JSON");
  addConnectionOptions(list, db_);
  list->footer(examples("  z418kt assinatura list", kPlainExitCodes));
  list->callback([this] { run(&EventCommands::list); });

  CLI::App* remove =
      sub->add_subcommand("remove", "encerra uma assinatura; o segredo dela é apagado");
  remove->add_option("ID", id_, "o id da assinatura")->required();
  addConnectionOptions(remove, db_);
  remove->footer(examples("  z418kt assinatura remove 3"));
  remove->callback([this] { run(&EventCommands::remove); });

  CLI::App* replay = sub->add_subcommand(
      "replay", "põe de novo na fila as entregas abandonadas de uma assinatura (e mais)");
  replay->add_option("ID", id_, "o id da assinatura")->required();
  replay->add_option("--from", from_, "também todo evento a partir deste número de sequência");
  addConnectionOptions(replay, db_);
  replay->footer(examples("  z418kt assinatura replay 3\n  z418kt assinatura replay 3 --from 1"));
  replay->callback([this] { run(&EventCommands::replay); });

  CLI::App* deliver =
      app.add_subcommand("deliver", "envia os eventos às assinaturas até SIGTERM ou SIGINT");
  addConnectionOptions(deliver, db_);
  deliver->add_flag("--once", once_, "entrega o que está pendente agora e termina");
  deliver->add_flag(
      "--install-outbox", install_,
      "cria as tabelas e os gatilhos de eventos num banco criado antes deles e termina");
  deliver->add_option("--timeout-ms", timeoutMs_, "tempo limite de cada requisição (ms)")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{100}, int64_t{600000}));
  deliver
      ->add_option("--max-attempts", deliver_.maxAttempts,
                   "tentativas antes de abandonar a entrega")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  deliver
      ->add_option("--retry-base-ms", retryBaseMs_,
                   "espera antes da primeira nova tentativa (ms; dobra a cada vez)")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{1}, int64_t{86400000}));
  deliver->add_option("--retry-cap-ms", retryCapMs_, "maior espera entre tentativas (ms)")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{1}, int64_t{86400000}));
  deliver->add_option("--idle-ms", idleMs_, "maior espera entre passadas sem nada a fazer (ms)")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{10}, int64_t{3600000}));
  deliver
      ->add_option("--lease-ms", leaseMs_,
                   "por quanto tempo uma entrega tomada fica reservada (ms)")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{100}, int64_t{86400000}));
  deliver->add_option("--batch", deliver_.batch, "entregas tomadas por passada")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  deliver
      ->add_option("--retention-days", deliver_.retentionDays,
                   "apaga eventos entregues mais velhos que isto, em dias (0: guarda todos)")
      ->capture_default_str()
      ->check(CLI::Range(0, 36500));
  deliver->add_option(
      "--allow-host", deliver_.allowedDestinations,
      "só envia a este host (.example.com: o domínio); repita para mais (padrão: qualquer um)");
  deliver
      ->add_option("--one-record-base", deliver_.oneRecordBase,
                   "IRI sob a qual os identificadores ONE Record são formados")
      ->capture_default_str();
  deliver->footer(
      examples("  z418kt deliver --db 'Provider=SQLite;Data Source=coleta.db'\n"
               "  z418kt deliver --once --allow-host .example.com\n"
               "  z418kt deliver --install-outbox   # um banco criado por um z418kt init anterior\n"
               "  Vários `z418kt deliver` (ou `z418kt http`) num mesmo banco PostgreSQL dividem o "
               "trabalho.",
               kPlainExitCodes));
  deliver->callback([this] { run(&EventCommands::deliver); });
}

void EventCommands::run(int (EventCommands::*body)()) {
  try {
    code_ = (this->*body)();
  } catch (const ConnectionError& e) {
    io_.err << "z418kt: " << e.what() << '\n';
    code_ = kUsage;
  } catch (const events::StoreError& e) {
    io_.err << "z418kt: " << e.what() << '\n';
    code_ = kFailed;
  }
}

int EventCommands::history() {
  auto id = positiveId(id_);
  if (!id) {
    io_.err << "z418kt: o id da Coleta deve ser um número inteiro maior que 0, não \"" << id_
            << "\"\n";
    return kUsage;
  }
  events::EventStore store(*resolveConnection(db_, std::string(kDefaultDb)));
  auto list = store.history(*id, after_, limit_);
  if (json_) {
    events::Json out = events::Json::array();
    for (const auto& e : list) out.push_back(e.toJson());
    io_.out << out.dump(2) << '\n';
    return kDone;
  }
  if (list.empty()) {
    io_.out << "Nenhum evento da Coleta " << *id << ".\n";
    return kDone;
  }
  std::vector<std::vector<std::string>> rows;
  for (const auto& e : list) {
    events::Json j = e.toJson();
    rows.push_back(
        {std::to_string(e.id), e.time, e.kind(), e.user, e.actor, changesLine(j["alteracoes"])});
  }
  printGrid(io_.out, {"Seq", "Data/hora (UTC)", "Tipo", "Usuário", "Origem", "Alterações"}, rows);
  return kDone;
}

int EventCommands::add() {
  input_.format = oneRecord_ ? events::kFormatOneRecord : events::kFormatJson;
  std::string problem = events::checkSubscription(input_);
  if (!problem.empty()) {
    io_.err << "z418kt: " << problem << '\n';
    return kUsage;
  }
  events::EventStore store(*resolveConnection(db_, std::string(kDefaultDb)));
  events::Subscription s = store.add(input_);
  if (json_) {
    io_.out << s.toJson().dump() << '\n';
    return kDone;
  }
  printFields(io_.out,
              {{"Assinatura", std::to_string(s.id)}, {"URL", s.url}, {"Segredo", s.secret}});
  io_.out << "Guarde o segredo: ele não será mostrado de novo.\n";
  return kDone;
}

int EventCommands::list() {
  events::EventStore store(*resolveConnection(db_, std::string(kDefaultDb)));
  auto subs = store.list();
  if (json_) {
    events::Json out = events::Json::array();
    for (const auto& s : subs) out.push_back(s.toJson());
    io_.out << out.dump() << '\n';
    return kDone;
  }
  if (subs.empty()) {
    io_.out << "Nenhuma assinatura.\n";
    return kDone;
  }
  std::vector<std::vector<std::string>> rows;
  for (const auto& s : subs)
    rows.push_back({std::to_string(s.id), s.url,
                    s.kinds.empty() ? "todos" : events::joinKinds(s.kinds),
                    s.clientId ? std::to_string(*s.clientId) : "", s.format, s.createdAt});
  printGrid(io_.out, {"Id", "URL", "Tipos", "Cliente", "Formato", "Criada em"}, rows);
  return kDone;
}

int EventCommands::remove() {
  auto id = positiveId(id_);
  if (!id) {
    io_.err << "z418kt: o id da assinatura deve ser um número inteiro maior que 0\n";
    return kUsage;
  }
  events::EventStore store(*resolveConnection(db_, std::string(kDefaultDb)));
  if (!store.remove(*id)) {
    io_.err << "z418kt: Assinatura " << *id << " não encontrada.\n";
    return kNotFound;
  }
  io_.out << "Assinatura " << *id << " removida.\n";
  return kDone;
}

int EventCommands::replay() {
  auto id = positiveId(id_);
  if (!id || (from_ && *from_ <= 0)) {
    io_.err << "z418kt: o id da assinatura e --from devem ser números inteiros maiores que 0\n";
    return kUsage;
  }
  events::EventStore store(*resolveConnection(db_, std::string(kDefaultDb)));
  auto count = store.replay(*id, from_);
  if (!count) {
    io_.err << "z418kt: Assinatura " << *id << " não encontrada.\n";
    return kNotFound;
  }
  io_.out << *count << " entrega(s) de novo na fila da assinatura " << *id << ".\n";
  return kDone;
}

int EventCommands::deliver() {
  deliver_.connection = *resolveConnection(db_, std::string(kDefaultDb));
  deliver_.requestTimeout = std::chrono::milliseconds(timeoutMs_);
  deliver_.retryBase = std::chrono::milliseconds(retryBaseMs_);
  deliver_.retryCap = std::chrono::milliseconds(retryCapMs_);
  deliver_.idle = std::chrono::milliseconds(idleMs_);
  deliver_.lease = std::chrono::milliseconds(leaseMs_);
  if (install_) {
    bool made = events::installOutbox(deliver_.connection);
    io_.out << (made ? "Tabelas e gatilhos de eventos criados.\n"
                     : "O banco de dados já tem as tabelas de eventos.\n");
    return kDone;
  }
  std::ostream& err = io_.err;
  deliver_.log = [&err](const std::string& line) { err << line << std::endl; };
  // Fails here, with its message, when the database has no outbox.
  { events::EventStore check(deliver_.connection); }
  if (once_) {
    events::Dispatcher dispatcher(deliver_);
    while (dispatcher.runOnce() > 0) {
    }
    return kDone;
  }
  StopSignals signals;
  events::Dispatcher dispatcher(deliver_);
  dispatcher.start();
  int signal = 0;
  sigwait(&signals.set, &signal);
  dispatcher.stop();
  return kDone;
}

}  // namespace z418kt::cli
