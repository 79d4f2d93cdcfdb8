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
constexpr const char* kExitCodes =
    "\nExit status: 0 done; 1 the database failed; 2 wrong usage; 3 no such subscription.";

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
  auto examples = [](const std::string& lines) { return "\nExamples:\n" + lines + kExitCodes; };

  CLI::App* history = coleta.add_subcommand("history", "a Coleta's events, oldest first");
  history->add_option("ID", id_, "the Coleta's document id")->required();
  history->add_option("--after", after_, "only events after this sequence number");
  history->add_option("--limit", limit_, "at most this many events")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  history->add_flag("--json", json_, "the events as a JSON array");
  addConnectionOptions(history, db_);
  history->footer(examples("  z418kt coleta history 100\n  z418kt coleta history 100 --json"));
  history->callback([this] { run(&EventCommands::history); });

  CLI::App* sub = app.add_subcommand("assinatura", "webhook subscriptions to Coleta events");
  sub->require_subcommand(1);
  CLI::App* add = sub->add_subcommand("add", "subscribe a URL; prints its secret once");
  add->add_option("URL", input_.url, "http:// or https:// URL that receives the events")
      ->required();
  add->add_option("--tipo", input_.kinds,
                  "an event kind: coleta.criada, coleta.alterada, coleta.cargas_substituidas, "
                  "coleta.excluida (repeat; default: all)");
  add->add_option("--cliente", input_.clientId, "only the Coletas of this client id");
  add->add_flag("--one-record", oneRecord_, "send ONE Record LogisticsEvent JSON-LD");
  add->add_flag("--json", json_, "print the subscription as JSON");
  addConnectionOptions(add, db_);
  add->footer(
      examples("  z418kt assinatura add https://erp.example.com/hooks/coleta --tipo coleta.criada\n"
               "  z418kt assinatura add http://10.0.0.5:9000/eventos --cliente 2 --one-record"));
  add->callback([this] { run(&EventCommands::add); });

  CLI::App* list = sub->add_subcommand("list", "the active subscriptions (no secrets)");
  list->add_flag("--json", json_, "as a JSON array");
  addConnectionOptions(list, db_);
  list->footer(examples("  z418kt assinatura list"));
  list->callback([this] { run(&EventCommands::list); });

  CLI::App* remove = sub->add_subcommand("remove", "end a subscription; its secret is erased");
  remove->add_option("ID", id_, "the subscription's id")->required();
  addConnectionOptions(remove, db_);
  remove->footer(examples("  z418kt assinatura remove 3"));
  remove->callback([this] { run(&EventCommands::remove); });

  CLI::App* replay =
      sub->add_subcommand("replay", "queue a subscription's dead letters (and more) again");
  replay->add_option("ID", id_, "the subscription's id")->required();
  replay->add_option("--from", from_, "also every event from this sequence number on");
  addConnectionOptions(replay, db_);
  replay->footer(examples("  z418kt assinatura replay 3\n  z418kt assinatura replay 3 --from 1"));
  replay->callback([this] { run(&EventCommands::replay); });

  CLI::App* deliver =
      app.add_subcommand("deliver", "send the events to the subscriptions until SIGTERM or SIGINT");
  addConnectionOptions(deliver, db_);
  deliver->add_flag("--once", once_, "deliver what is due now, then end");
  deliver->add_flag("--install-outbox", install_,
                    "create the outbox in a database made before it, then end");
  deliver->add_option("--timeout-ms", timeoutMs_, "per-request timeout")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{100}, int64_t{600000}));
  deliver->add_option("--max-attempts", deliver_.maxAttempts, "attempts before a dead letter")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  deliver->add_option("--retry-base-ms", retryBaseMs_, "first retry delay (doubles each time)")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{1}, int64_t{86400000}));
  deliver->add_option("--retry-cap-ms", retryCapMs_, "longest retry delay")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{1}, int64_t{86400000}));
  deliver->add_option("--idle-ms", idleMs_, "longest wait between passes with nothing to do")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{10}, int64_t{3600000}));
  deliver->add_option("--lease-ms", leaseMs_, "how long a claimed delivery is held")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{100}, int64_t{86400000}));
  deliver->add_option("--batch", deliver_.batch, "deliveries claimed per pass")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  deliver
      ->add_option("--retention-days", deliver_.retentionDays,
                   "delete delivered events older than this (0: keep them)")
      ->capture_default_str()
      ->check(CLI::Range(0, 36500));
  deliver->add_option("--allow-host", deliver_.allowedDestinations,
                      "only send to this host (.example.com: the domain); repeat (default: any)");
  deliver
      ->add_option("--one-record-base", deliver_.oneRecordBase,
                   "IRI the ONE Record identifiers are built under")
      ->capture_default_str();
  deliver->footer(examples(
      "  z418kt deliver --db 'Provider=SQLite;Data Source=coleta.db'\n"
      "  z418kt deliver --once --allow-host .example.com\n"
      "  z418kt deliver --install-outbox   # a database made by an earlier z418kt init\n"
      "  Several `z418kt deliver` (or `z418kt http`) on one PostgreSQL database share the work."));
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
    io_.err << "z418kt: the Coleta id must be a whole number above 0, not \"" << id_ << "\"\n";
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
    io_.err << "z418kt: the subscription id must be a whole number above 0\n";
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
    io_.err << "z418kt: the subscription id and --from must be whole numbers above 0\n";
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
