#include "cli/app.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/connection_source.h"
#include "cli/demo_script.h"
#include "cli/events_commands.h"
#include "cli/export_command.h"
#include "cli/http_command.h"
#include "cli/init_command.h"
#include "cli/invoke_command.h"
#include "cli/people_commands.h"
#include "cli/serve.h"

namespace z418kt::cli {

using namespace json;

namespace {

constexpr const char* kPeopleExitCodes =
    "\nExit status: 0 done; 1 refused (each reason on a line) or failed; 2 wrong usage (nothing "
    "was stored); 3 not found; 4 the Coleta has air waybills and cannot change; 5 the database "
    "could not be reached or did not answer in time (try later).";
constexpr const char* kCallExitCodes =
    "\nExit status: 0 the call ran (its status, 0 or 10, is in the answer); 1 the call failed "
    "as a whole (an {\"error\"} answer); 2 wrong usage.";
constexpr const char* kStepExitCodes = "\nExit status: 0 done; 1 a step failed; 2 wrong usage.";

struct PeopleOptions {
  ConnectionSource db;
  bool oracle = false;
  int32_t user = 0;
  bool json = false;

  CallContext context() const {
    CallContext c;
    c.connection = *resolveConnection(db, std::string(kDefaultConnection));
    c.databaseKind = oracle ? kOracleKind : kProcedureKind;
    c.userId = user;
    return c;
  }
};

void addContextOptions(CLI::App* cmd, PeopleOptions& p) {
  addConnectionOptions(cmd, p.db);
  cmd->add_flag("--oracle", p.oracle, "use the ORACLE dialect (default: stored procedures)");
  cmd->add_option("--user", p.user, "internet user id (1 adds diagnostics to error messages)")
      ->capture_default_str();
}

void addPeopleOptions(CLI::App* cmd, PeopleOptions& p) {
  addContextOptions(cmd, p);
  cmd->add_flag("--json", p.json, "print the JSON of the HTTP resource instead of a table");
}

std::string examples(const std::string& lines, const char* exitCodes = kPeopleExitCodes) {
  return "\nExamples:\n" + lines + exitCodes;
}

// The operations, their dispatch identifiers and parameter names, one per line.
void listOperations(std::ostream& out) {
  for (const InterfaceEntry& e : interfaceTable()) {
    out << e.name << " (" << e.dispid << "):";
    for (std::string_view p : e.parameters) out << ' ' << p;
    out << '\n';
  }
}

// Help and --version end the parse with code 0; anything else is wrong usage,
// and a word where a subcommand belongs is named.
int parseFailure(CLI::App& app, const CLI::ParseError& e, AppStreams io) {
  if (e.get_exit_code() == 0) return app.exit(e, io.out, io.err);
  const CLI::App* at = &app;
  for (const CLI::App* sub = at; sub;) {
    at = sub;
    auto chosen = sub->get_subcommands();
    sub = chosen.empty() ? nullptr : chosen.front();
  }
  std::vector<std::string> extras = at->remaining();
  if (!at->get_subcommands({}).empty() && at->get_subcommands().empty() && !extras.empty()) {
    io.err << "z418kt: unknown command \"" << extras.front() << "\"";
    io.err << (at == &app ? "" : " for " + at->get_name()) << "; one of:";
    for (const CLI::App* sub : at->get_subcommands({})) io.err << ' ' << sub->get_name();
    io.err << "\n";
    return kExitUsage;
  }
  app.exit(e, io.out, io.err);
  return kExitUsage;
}

}  // namespace

int runApp(int argc, const char* const* argv, AppStreams io) {
  CLI::App app{"z418kt: the Coleta (pickup request) component from the command line"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("z418kt ") + Z418KT_VERSION);
  app.footer(examples(
      "  z418kt demo\n"
      "  z418kt init --db 'Provider=SQLite;Data Source=coleta.db' --demo\n"
      "  z418kt coleta show 100\n"
      "  z418kt invoke --list\n"
      "  z418kt invoke gConsulta_Coleta --args '{\"invntConecta_DB\":\"Provider=SQLite;Data "
      "Source=coleta.db\",\"invntDOCTO_TRANSPORTE_ID\":100}'\n"
      "  echo '{\"op\":\"gExclui_Coleta\",\"args\":[...]}' | z418kt serve\n"
      "Every command takes its connection text from --db, --db-file or $Z418KT_DB.",
      kPeopleExitCodes));
  int code = 0;
  Z418kt component;
  // Runs a command's body; a connection that cannot be had is a usage error.
  auto guarded = [&](const std::function<int()>& body) {
    try {
      code = body();
    } catch (const ConnectionError& e) {
      io.err << "z418kt: " << e.what() << '\n';
      code = kExitUsage;
    }
  };

  // invoke
  std::string operation, argsText;
  bool pretty = false, list = false;
  ConnectionSource invokeDb;
  CLI::App* invoke = app.add_subcommand("invoke", "call one operation by name with JSON arguments");
  invoke->add_option("OPERATION", operation, "operation name (any case) or dispatch id");
  invoke->add_option("--args", argsText,
                     "arguments: a JSON array (positional) or object (by parameter name); "
                     "without it the request is read from standard input");
  invoke->add_flag("--pretty", pretty, "indent the answer");
  invoke->add_flag("--list", list, "list the operations with their parameter names");
  addConnectionOptions(invoke, invokeDb);
  invoke->footer(examples(
      "  z418kt invoke --list\n"
      "  z418kt invoke gConsulta_Coleta --args '{\"invntConecta_DB\":\"Provider=SQLite;Data "
      "Source=coleta.db\",\"invntBanco_Dados\":\"ORACLE\",\"invntDOCTO_TRANSPORTE_ID\":100}'\n"
      "  Z418KT_DB='Provider=SQLite;Data Source=coleta.db' z418kt invoke gConsulta_Dados_Pessoa "
      "--args '{\"invntENDERECO_PESSOA_ID\":11}'\n"
      "  z418kt invoke gExclui_Coleta < request.json   # {\"args\": {...}} or the args alone\n"
      "  z418kt invoke mConsulta_Qtde_AWB_COLETA --args '[\"Provider=SQLite;Data "
      "Source=coleta.db\",0,null,\"SQLSERVER\",null,100,{\"vt\":\"I2\",\"value\":1},"
      "{\"vt\":\"I2\",\"value\":115},null,null]'",
      kCallExitCodes));
  invoke->callback([&] {
    if (list) {
      listOperations(io.out);
      code = kExitDone;
      return;
    }
    if (operation.empty()) {
      io.err << "z418kt invoke: name an OPERATION (z418kt invoke --list shows them)\n";
      code = kExitUsage;
      return;
    }
    guarded([&] {
      InvokeRequest request;
      request.operation = operation;
      request.argsText = argsText;
      request.argsGiven = !invoke->get_option("--args")->empty();
      request.pretty = pretty;
      request.connection = resolveConnection(invokeDb, std::nullopt);
      return invokeCommand(component, request, io.inputIsTerminal ? nullptr : &io.in, io.out);
    });
  });

  // serve
  ConnectionSource serveDb;
  CLI::App* serveCmd = app.add_subcommand(
      "serve", "answer JSON requests, one per line on standard input, until it ends");
  addConnectionOptions(serveCmd, serveDb);
  serveCmd->footer(examples(
      "  printf '%s\\n' '{\"op\":\"gConsulta_Coleta\",\"id\":1,\"args\":{\"invntConecta_DB\":"
      "\"Provider=SQLite;Data Source=coleta.db\",\"invntDOCTO_TRANSPORTE_ID\":100}}' | z418kt "
      "serve\n"
      "  Each answer is one line: {\"result\":...,\"args\":{...},\"id\":1} or {\"error\":{...}}",
      "\nExit status: 0 when the input ended (every line was answered); 2 wrong usage."));
  serveCmd->callback([&] {
    guarded([&] {
      json::RequestOptions options;
      options.connection = resolveConnection(serveDb, std::nullopt);
      serve(io.in, io.out, component, options);
      return kExitDone;
    });
  });

  // http
  HttpCommand httpOptions;
  ConnectionSource httpDb;
  CLI::App* httpCmd = app.add_subcommand(
      "http", "serve the REST API and the operators' page until SIGTERM or SIGINT");
  addConnectionOptions(httpCmd, httpDb);
  addHttpOptions(httpCmd, httpOptions);
  httpCmd->add_flag("!--no-deliver", httpOptions.deliver,
                    "do not send webhooks from this process (run z418kt deliver instead)");
  httpCmd->footer(examples(
      "  Z418KT_HTTP_TOKEN=segredo z418kt http --db 'Provider=SQLite;Data Source=coleta.db'\n"
      "  z418kt http --listen 0.0.0.0:8080 --token-file /etc/z418kt/token --oracle\n"
      "  curl -H 'Authorization: Bearer segredo' http://127.0.0.1:8080/v1/coletas/100"));
  httpCmd->callback([&] {
    guarded([&] {
      httpOptions.server.connection = *resolveConnection(httpDb, std::string(kDefaultConnection));
      return httpCommand(httpOptions, io.out, io.err);
    });
  });

  // init
  ConnectionSource initDb;
  bool initDemo = false;
  CLI::App* init = app.add_subcommand("init", "create the schema, procedures and demo data");
  addConnectionOptions(init, initDb);
  init->add_flag("--demo", initDemo, "also store the demo parties and Coletas");
  init->footer(
      examples("  z418kt init --db 'Provider=SQLite;Data Source=coleta.db' --demo\n"
               "  z418kt init --db-file ~/.config/z418kt/db   # first line: Driver=PostgreSQL "
               "Unicode;Server=localhost;Database=coleta;Uid=coleta;Pwd=...",
               kStepExitCodes));
  init->callback([&] {
    guarded([&] {
      auto connection = resolveConnection(initDb, std::nullopt);
      if (!connection)
        throw ConnectionError(
            "init needs the connection text of an empty database: --db, "
            "--db-file or Z418KT_DB");
      return initCommand(*connection, initDemo, {io.out, io.err, false});
    });
  });

  // demo
  DemoOptions demo;
  CLI::App* demoCmd = app.add_subcommand("demo", "a guided tour on a fresh demo database");
  demoCmd->add_option("--dir", demo.directory,
                      "directory for the demo database (default: a new temporary one)");
  demoCmd->footer(examples("  z418kt demo\n  z418kt demo --dir /tmp/meu-demo", kStepExitCodes));
  demoCmd->callback([&] { code = runDemo(demo, {io.out, io.err, false}); });

  // coleta show|save|delete
  CLI::App* coleta = app.add_subcommand("coleta", "show, save, delete or list Coletas");
  coleta->require_subcommand(1);
  PeopleOptions showOpts, saveOpts, deleteOpts;
  std::string showId, deleteId;
  CLI::App* show = coleta->add_subcommand("show", "show a Coleta with its cargo pieces");
  show->add_option("ID", showId, "the Coleta's document id")->required();
  addPeopleOptions(show, showOpts);
  show->footer(examples("  z418kt coleta show 100\n  z418kt coleta show 100 --oracle --json"));
  show->callback([&] {
    guarded([&] {
      return showColeta(FrontDoor(component, showOpts.context()), showId,
                        {io.out, io.err, showOpts.json});
    });
  });

  ColetaFields fields;
  CLI::App* save =
      coleta->add_subcommand("save", "save a new Coleta (or, with --id, replace an existing one)");
  save->add_option("--id", fields.id, "the Coleta to replace (default 0: a new one)");
  save->add_option("--cliente", fields.cliente, "client id (a party id)");
  save->add_option("--remetente", fields.remetente, "sender's address id");
  save->add_option("--destinatario", fields.destinatario, "addressee's address id");
  save->add_option("--volumes", fields.volumes, "number of volumes");
  save->add_option("--peso", fields.peso, "weight in kg (42,5, 1.500,75 or 42.5; not 1.500)");
  save->add_option("--valor", fields.valor, "declared value");
  save->add_option("--embalagem", fields.embalagem, "description of the goods");
  save->add_option("--idempotency-key", fields.idempotencyKey,
                   "a new Coleta: a retry with the same key stores nothing new (kept 24 h)");
  save->add_option("--carga", fields.cargas,
                   "a cargo piece VOLUMESxWIDTHxHEIGHTxLENGTH (metres); repeat for more");
  addPeopleOptions(save, saveOpts);
  save->footer(
      examples("  z418kt coleta save --cliente 2 --remetente 12 --destinatario 11 --volumes 3 \\\n"
               "      --peso 42,5 --valor 1500 --embalagem 'Caixas' --carga 2x0.5x0.4x0.3 --carga "
               "1x1.2x0.8x0.6\n"
               "  z418kt coleta save --id 100 --cliente 2 --remetente 12 --destinatario 11 "
               "--volumes 6 --peso 125,5 --valor 1500,75 --embalagem 'Caixas'\n"
               "  Missing fields are refused by the component's own checks, with its message."));
  save->callback([&] {
    guarded([&] {
      return saveColeta(FrontDoor(component, saveOpts.context()), fields,
                        {io.out, io.err, saveOpts.json});
    });
  });

  CLI::App* del = coleta->add_subcommand("delete", "delete a Coleta and its cargo pieces");
  del->add_option("ID", deleteId, "the Coleta's document id")->required();
  addPeopleOptions(del, deleteOpts);
  del->footer(
      examples("  z418kt coleta delete 1000          # the first Coleta saved on the demo data\n"
               "  z418kt coleta delete 1000 --oracle"));
  del->callback([&] {
    guarded([&] {
      return deleteColeta(FrontDoor(component, deleteOpts.context()), deleteId,
                          {io.out, io.err, deleteOpts.json});
    });
  });

  PeopleOptions listOpts;
  ListFields listFields;
  CLI::App* listCmd = coleta->add_subcommand("list", "list Coletas, newest first");
  listCmd->add_option("--cliente", listFields.cliente, "only this client's (a party id)");
  listCmd->add_option("--remetente", listFields.remetente, "only from this address id");
  listCmd->add_option("--destinatario", listFields.destinatario, "only to this address id");
  listCmd->add_option("--desde", listFields.desde, "created on or after this day (YYYY-MM-DD)");
  listCmd->add_option("--ate", listFields.ate, "created on or before this day (YYYY-MM-DD)");
  listCmd->add_option("--limite", listFields.limite, "Coletas per page (1 to 500)")
      ->capture_default_str();
  listCmd->add_option("--cursor", listFields.cursor, "the next page, as the previous one said");
  addPeopleOptions(listCmd, listOpts);
  listCmd->footer(
      examples("  z418kt coleta list --cliente 2\n"
               "  z418kt coleta list --desde 2024-03-01 --ate 2024-03-31 --limite 20"));
  listCmd->callback([&] {
    guarded([&] {
      return listColetas(FrontDoor(component, listOpts.context()), listFields,
                         {io.out, io.err, listOpts.json});
    });
  });

  PeopleOptions exportOpts;
  ExportRequest exportRequest;
  CLI::App* exportCmd =
      coleta->add_subcommand("export", "a Coleta as a ONE Record shipment (JSON-LD)");
  exportCmd->add_option("ID", exportRequest.id, "the Coleta's document id")->required();
  exportCmd->add_flag("--one-record", exportRequest.oneRecord, "IATA ONE Record 3.2 JSON-LD");
  exportCmd
      ->add_option("--one-record-base", exportRequest.base,
                   "IRI the logistics-object identifiers are built under")
      ->capture_default_str();
  addContextOptions(exportCmd, exportOpts);
  exportCmd->footer(
      examples("  z418kt coleta export 100 --one-record\n"
               "  z418kt coleta export 100 --one-record --one-record-base "
               "https://1r.example.com/logistics-objects/\n"
               "Exit status 3: no such Coleta."));
  exportCmd->callback([&] {
    guarded([&] {
      return exportColeta(component, exportOpts.context(), exportRequest, io.out, io.err);
    });
  });

  // Coleta events: coleta history, assinatura add|list|remove|replay, deliver
  EventCommands eventCommands(app, *coleta, code, io);

  // pessoa show
  CLI::App* pessoa = app.add_subcommand("pessoa", "look up or find a party");
  pessoa->require_subcommand(1);
  PeopleOptions pessoaOpts;
  std::string pessoaId;
  CLI::App* pessoaShow = pessoa->add_subcommand("show", "show a party's identity and address");
  pessoaShow->add_option("ID", pessoaId, "the party address id")->required();
  addPeopleOptions(pessoaShow, pessoaOpts);
  pessoaShow->footer(examples("  z418kt pessoa show 12\n  z418kt pessoa show 11 --json"));
  pessoaShow->callback([&] {
    guarded([&] {
      return showPessoa(FrontDoor(component, pessoaOpts.context()), pessoaId,
                        {io.out, io.err, pessoaOpts.json});
    });
  });
  PeopleOptions findOpts;
  std::string findText, findLimit = "50", findCursor;
  CLI::App* find = pessoa->add_subcommand("find", "find parties by name, CPF or CNPJ");
  find->add_option("TEXT", findText, "part of a name, or the first digits of a CPF or CNPJ")
      ->required();
  find->add_option("--limite", findLimit, "parties per page (1 to 500)")->capture_default_str();
  find->add_option("--cursor", findCursor, "the next page, as the previous one said");
  addPeopleOptions(find, findOpts);
  find->footer(examples("  z418kt pessoa find aurora\n  z418kt pessoa find 12.345.678"));
  find->callback([&] {
    guarded([&] {
      return findPessoas(FrontDoor(component, findOpts.context()), findText, findLimit, findCursor,
                         {io.out, io.err, findOpts.json});
    });
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return parseFailure(app, e, io);
  }
  return code;
}

}  // namespace z418kt::cli
