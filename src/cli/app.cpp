#include "cli/app.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <iterator>
#include <string>

#include "cli/demo_script.h"
#include "cli/export_command.h"
#include "cli/http_command.h"
#include "cli/init_command.h"
#include "cli/invoke_command.h"
#include "cli/people_commands.h"
#include "cli/serve.h"

namespace z418kt::cli {

using namespace json;

namespace {

constexpr const char* kExitCodes =
    "\nExit status: 0 done; 1 the call failed or answered status 10; 2 wrong usage.";

struct PeopleOptions {
  std::string db = kDefaultConnection;
  bool oracle = false;
  int32_t user = 0;
  bool json = false;

  CallContext context() const {
    CallContext c;
    c.connection = db;
    c.databaseKind = oracle ? kOracleKind : kProcedureKind;
    c.userId = user;
    return c;
  }
};

void addContextOptions(CLI::App* cmd, PeopleOptions& p) {
  cmd->add_option("--db", p.db, "connection text")->capture_default_str();
  cmd->add_flag("--oracle", p.oracle, "use the ORACLE dialect (default: stored procedures)");
  cmd->add_option("--user", p.user, "internet user id (1 adds diagnostics to error messages)")
      ->capture_default_str();
}

void addPeopleOptions(CLI::App* cmd, PeopleOptions& p) {
  addContextOptions(cmd, p);
  cmd->add_flag("--json", p.json, "print the call's JSON answer instead of a table");
}

std::string examples(const std::string& lines) { return "\nExamples:\n" + lines + kExitCodes; }

}  // namespace

int runApp(int argc, const char* const* argv, AppStreams io) {
  CLI::App app{"z418kt: the Coleta (pickup request) component from the command line"};
  app.require_subcommand(1);
  app.footer(examples(
      "  z418kt demo\n"
      "  z418kt init --db 'Provider=SQLite;Data Source=coleta.db' --demo\n"
      "  z418kt coleta show 1\n"
      "  z418kt invoke gConsulta_Coleta --args '{\"invntConecta_DB\":\"Provider=SQLite;Data "
      "Source=coleta.db\",\"invntDOCTO_TRANSPORTE_ID\":1}'\n"
      "  echo '{\"op\":\"gExclui_Coleta\",\"args\":[...]}' | z418kt serve"));
  int code = 0;
  Z418kt component;

  // invoke
  std::string operation, argsText;
  bool pretty = false;
  CLI::App* invoke = app.add_subcommand("invoke", "call one operation by name with JSON arguments");
  invoke->add_option("OPERATION", operation, "operation name (any case) or dispatch id")
      ->required();
  invoke->add_option("--args", argsText,
                     "arguments: a JSON array (positional) or object (by parameter name); "
                     "without it the request is read from standard input");
  invoke->add_flag("--pretty", pretty, "indent the answer");
  invoke->footer(examples(
      "  z418kt invoke gConsulta_Coleta --args '{\"invntConecta_DB\":\"Provider=SQLite;Data "
      "Source=coleta.db\",\"invntBanco_Dados\":\"ORACLE\",\"invntDOCTO_TRANSPORTE_ID\":1}'\n"
      "  z418kt invoke gExclui_Coleta < request.json   # {\"args\": {...}} or the args alone\n"
      "  z418kt invoke mConsulta_Qtde_AWB_COLETA --args '[\"Provider=SQLite;Data "
      "Source=coleta.db\",0,null,\"SQLSERVER\",null,1,{\"vt\":\"I2\",\"value\":1},"
      "{\"vt\":\"I2\",\"value\":115},null,null]'"));
  invoke->callback([&] {
    InvokeRequest request{operation, argsText, !invoke->get_option("--args")->empty(), pretty};
    code = invokeCommand(component, request, io.inputIsTerminal ? nullptr : &io.in, io.out);
  });

  // serve
  CLI::App* serveCmd = app.add_subcommand(
      "serve", "answer JSON requests, one per line on standard input, until it ends");
  serveCmd->footer(examples(
      "  printf '%s\\n' '{\"op\":\"gConsulta_Coleta\",\"id\":1,\"args\":{\"invntConecta_DB\":"
      "\"Provider=SQLite;Data Source=coleta.db\",\"invntDOCTO_TRANSPORTE_ID\":1}}' | z418kt "
      "serve\n"
      "  Each answer is one line: {\"result\":...,\"args\":{...},\"id\":1} or {\"error\":{...}}"));
  serveCmd->callback([&] {
    serve(io.in, io.out, component);
    code = 0;
  });

  // http
  HttpCommand httpOptions;
  httpOptions.server.connection = kDefaultConnection;
  http::Limits& limits = httpOptions.server.limits;
  CLI::App* httpCmd = app.add_subcommand(
      "http", "serve the REST API and the operators' page until SIGTERM or SIGINT");
  httpCmd->add_option("--listen", httpOptions.listen, "HOST:PORT to listen on (port 0: any free)")
      ->capture_default_str();
  httpCmd->add_option("--db", httpOptions.server.connection, "connection text of every request")
      ->capture_default_str();
  httpCmd->add_flag("--oracle", httpOptions.server.oracle,
                    "use the ORACLE dialect (default: stored procedures)");
  httpCmd->add_option("--token-file", httpOptions.tokenFile,
                      "file whose first line is the bearer token (Z418KT_HTTP_TOKEN wins; "
                      "with neither, a token is made and printed once)");
  httpCmd->add_option("--cors-origin", httpOptions.server.corsOrigin,
                      "the one origin allowed to call /v1 from a browser (default: none)");
  httpCmd->add_option("--max-body", limits.maxBodyBytes, "largest request body in bytes")
      ->capture_default_str();
  httpCmd
      ->add_option("--rate", limits.requestsPerSecond,
                   "requests per second per connection (0: no limit)")
      ->capture_default_str();
  httpCmd->add_option("--threads", limits.workerThreads, "connections served at once")
      ->capture_default_str()
      ->check(CLI::Range(1, 1024));
  httpCmd
      ->add_option("--timeout", limits.readTimeoutSeconds,
                   "seconds to receive a request, and to send an answer")
      ->capture_default_str()
      ->check(CLI::Range(1, 3600));
  httpCmd
      ->add_option("--keep-alive", limits.keepAliveSeconds, "seconds an idle connection stays open")
      ->capture_default_str()
      ->check(CLI::Range(0, 3600));
  httpCmd->footer(examples(
      "  Z418KT_HTTP_TOKEN=segredo z418kt http --db 'Provider=SQLite;Data Source=coleta.db'\n"
      "  z418kt http --listen 0.0.0.0:8080 --token-file /etc/z418kt/token --oracle\n"
      "  curl -H 'Authorization: Bearer segredo' http://127.0.0.1:8080/v1/coletas/100"));
  httpCmd->callback([&] {
    limits.writeTimeoutSeconds = limits.readTimeoutSeconds;
    code = httpCommand(httpOptions, io.out, io.err);
  });

  // init
  std::string initDb;
  bool initDemo = false;
  CLI::App* init = app.add_subcommand("init", "create the schema, procedures and demo data");
  init->add_option("--db", initDb, "connection text of an empty database")->required();
  init->add_flag("--demo", initDemo, "also store the demo parties and Coletas");
  init->footer(
      examples("  z418kt init --db 'Provider=SQLite;Data Source=coleta.db' --demo\n"
               "  z418kt init --db 'Driver=PostgreSQL Unicode;Server=localhost;Database=coleta;"
               "Uid=coleta;Pwd=secret'"));
  init->callback([&] { code = initCommand(initDb, initDemo, {io.out, io.err, false}); });

  // demo
  DemoOptions demo;
  CLI::App* demoCmd = app.add_subcommand("demo", "a guided tour on a fresh demo database");
  demoCmd->add_option("--dir", demo.directory,
                      "directory for the demo database (default: a new temporary one)");
  demoCmd->footer(examples("  z418kt demo\n  z418kt demo --dir /tmp/meu-demo"));
  demoCmd->callback([&] { code = runDemo(demo, {io.out, io.err, false}); });

  // coleta show|save|delete
  CLI::App* coleta = app.add_subcommand("coleta", "show, save or delete a Coleta");
  coleta->require_subcommand(1);
  PeopleOptions showOpts, saveOpts, deleteOpts;
  std::string showId, deleteId;
  CLI::App* show = coleta->add_subcommand("show", "show a Coleta with its cargo pieces");
  show->add_option("ID", showId, "the Coleta's document id")->required();
  addPeopleOptions(show, showOpts);
  show->footer(examples("  z418kt coleta show 1\n  z418kt coleta show 1 --oracle --json"));
  show->callback([&] {
    code = showColeta(component, showOpts.context(), showId, {io.out, io.err, showOpts.json});
  });

  ColetaFields fields;
  CLI::App* save =
      coleta->add_subcommand("save", "save a new Coleta (or, with --id, replace an existing one)");
  save->add_option("--id", fields.id, "the Coleta to replace (default 0: a new one)");
  save->add_option("--cliente", fields.cliente, "client id");
  save->add_option("--remetente", fields.remetente, "sender's address id");
  save->add_option("--destinatario", fields.destinatario, "addressee's address id");
  save->add_option("--volumes", fields.volumes, "number of volumes");
  save->add_option("--peso", fields.peso, "weight (12,5 or 12.5)");
  save->add_option("--valor", fields.valor, "declared value");
  save->add_option("--embalagem", fields.embalagem, "description of the goods");
  save->add_option("--carga", fields.cargas,
                   "a cargo piece VOLUMESxWIDTHxHEIGHTxLENGTH (metres); repeat for more");
  addPeopleOptions(save, saveOpts);
  save->footer(
      examples("  z418kt coleta save --cliente 1 --remetente 1 --destinatario 2 --volumes 3 \\\n"
               "      --peso 42,5 --valor 1500 --embalagem 'Caixas' --carga 2x0.5x0.4x0.3 --carga "
               "1x1.2x0.8x0.6\n"
               "  Missing fields are refused by the component's own checks, with its message."));
  save->callback([&] {
    code = saveColeta(component, saveOpts.context(), fields, {io.out, io.err, saveOpts.json});
  });

  CLI::App* del = coleta->add_subcommand("delete", "delete a Coleta and its cargo pieces");
  del->add_option("ID", deleteId, "the Coleta's document id")->required();
  addPeopleOptions(del, deleteOpts);
  del->footer(examples("  z418kt coleta delete 7\n  z418kt coleta delete 7 --oracle"));
  del->callback([&] {
    code =
        deleteColeta(component, deleteOpts.context(), deleteId, {io.out, io.err, deleteOpts.json});
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
  exportCmd->callback(
      [&] { code = exportColeta(component, exportOpts.context(), exportRequest, io.out, io.err); });

  // pessoa show
  CLI::App* pessoa = app.add_subcommand("pessoa", "look up a party by its address id");
  pessoa->require_subcommand(1);
  PeopleOptions pessoaOpts;
  std::string pessoaId;
  CLI::App* pessoaShow = pessoa->add_subcommand("show", "show a party's identity and address");
  pessoaShow->add_option("ID", pessoaId, "the party address id")->required();
  addPeopleOptions(pessoaShow, pessoaOpts);
  pessoaShow->footer(examples("  z418kt pessoa show 2\n  z418kt pessoa show 2 --json"));
  pessoaShow->callback([&] {
    code = showPessoa(component, pessoaOpts.context(), pessoaId, {io.out, io.err, pessoaOpts.json});
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int exit = app.exit(e, io.out, io.err);
    return exit == 0 ? 0 : 2;
  }
  return code;
}

}  // namespace z418kt::cli
