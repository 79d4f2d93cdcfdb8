#include "cli/app.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/config_file.h"
#include "cli/connection_source.h"
#include "cli/demo_script.h"
#include "cli/events_commands.h"
#include "cli/export_command.h"
#include "cli/http_command.h"
#include "cli/init_command.h"
#include "cli/invoke_command.h"
#include "cli/parser_texts.h"
#include "cli/people_commands.h"
#include "cli/serve.h"

namespace z418kt::cli {

using namespace json;

namespace {

constexpr const char* kPeopleExitCodes =
    "\nSituação de saída: 0 feito; 1 recusado (cada motivo numa linha) ou falhou; 2 uso errado "
    "(nada foi gravado); 3 não encontrado; 4 a Coleta tem AWBs emitidas e não pode mudar; 5 o "
    "banco de dados não pôde ser alcançado ou não respondeu a tempo (tente mais tarde).";
constexpr const char* kCallExitCodes =
    "\nSituação de saída: 0 a chamada rodou (sua situação, 0 ou 10, está na resposta); 1 a "
    "chamada falhou como um todo (uma resposta {\"error\"}); 2 uso errado.";
constexpr const char* kStepExitCodes =
    "\nSituação de saída: 0 feito; 1 um passo falhou; 2 uso errado.";
constexpr const char* kServiceExitCodes =
    "\nSituação de saída: 0 parado por um sinal; 1 não pôde começar; 2 uso errado (também um "
    "arquivo de configuração inválido).";

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
  cmd->add_flag("--oracle", p.oracle, "usa o dialeto ORACLE (padrão: procedimentos armazenados)");
  cmd->add_option("--user", p.user,
                  "usuário de internet (1 acrescenta diagnósticos às mensagens de erro)")
      ->capture_default_str();
}

void addPeopleOptions(CLI::App* cmd, PeopleOptions& p) {
  addContextOptions(cmd, p);
  cmd->add_flag("--json", p.json, "mostra o JSON do recurso HTTP em vez de uma tabela");
}

std::string examples(const std::string& lines, const char* exitCodes = kPeopleExitCodes) {
  return "\nExemplos:\n" + lines + exitCodes;
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
    io.err << "z418kt: comando desconhecido \"" << extras.front() << "\"";
    io.err << (at == &app ? "" : " para " + at->get_name()) << "; um destes:";
    for (const CLI::App* sub : at->get_subcommands({})) io.err << ' ' << sub->get_name();
    io.err << "\n";
    return kExitUsage;
  }
  std::string path;
  for (const CLI::App* a = at; a && a != &app; a = a->get_parent())
    path = " " + a->get_name() + path;
  path = "z418kt" + path;
  io.err << path << ": " << usageErrorText(e);
  if (!at->get_subcommands({}).empty() && at->get_subcommands().empty()) {
    io.err << "; um destes:";
    for (const CLI::App* sub : at->get_subcommands({})) io.err << ' ' << sub->get_name();
  }
  io.err << '\n' << seeHelpText(path) << '\n';
  return kExitUsage;
}

}  // namespace

int runApp(int argc, const char* const* argv, AppStreams io) {
  CLI::App app{"z418kt: o componente de Coleta (pedido de coleta) na linha de comando", "z418kt"};
  useParserTexts(app);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("z418kt ") + Z418KT_VERSION,
                       "mostra a versão e termina");
  app.footer(examples(
      "  z418kt demo\n"
      "  z418kt init --db 'Provider=SQLite;Data Source=coleta.db' --demo\n"
      "  z418kt coleta show 100\n"
      "  z418kt invoke --list\n"
      "  z418kt invoke gConsulta_Coleta --args '{\"invntConecta_DB\":\"Provider=SQLite;Data "
      "Source=coleta.db\",\"invntDOCTO_TRANSPORTE_ID\":100}'\n"
      "  echo '{\"op\":\"gExclui_Coleta\",\"args\":[...]}' | z418kt serve\n"
      "Todo comando obtém o texto de conexão de --db, --db-file ou $Z418KT_DB.",
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
  CLI::App* invoke =
      app.add_subcommand("invoke", "chama uma operação pelo nome com argumentos JSON");
  invoke->add_option("OPERATION", operation,
                     "nome da operação (qualquer caixa) ou identificador de despacho");
  invoke->add_option("--args", argsText,
                     "argumentos: um vetor JSON (posicionais) ou um objeto (pelo nome do "
                     "parâmetro); sem ela a requisição é lida da entrada padrão");
  invoke->add_flag("--pretty", pretty, "indenta a resposta");
  invoke->add_flag("--list", list, "lista as operações com os nomes dos parâmetros");
  addConnectionOptions(invoke, invokeDb);
  invoke->footer(examples(
      "  z418kt invoke --list\n"
      "  z418kt invoke gConsulta_Coleta --args '{\"invntConecta_DB\":\"Provider=SQLite;Data "
      "Source=coleta.db\",\"invntBanco_Dados\":\"ORACLE\",\"invntDOCTO_TRANSPORTE_ID\":100}'\n"
      "  Z418KT_DB='Provider=SQLite;Data Source=coleta.db' z418kt invoke gConsulta_Dados_Pessoa "
      "--args '{\"invntENDERECO_PESSOA_ID\":11}'\n"
      "  z418kt invoke gExclui_Coleta < request.json   # {\"args\": {...}} ou só os argumentos\n"
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
      io.err << "z418kt invoke: falta o nome da OPERATION (z418kt invoke --list mostra as "
                "operações)\n";
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
      "serve", "responde requisições JSON, uma por linha da entrada padrão, até ela terminar");
  addConnectionOptions(serveCmd, serveDb);
  int64_t spinMicros = kDefaultInputSpin.count();
  serveCmd
      ->add_option("--spin-us", spinMicros,
                   "microssegundos que serve vigia a entrada, acordado, depois de responder e "
                   "antes de dormir à espera da próxima linha (0 desliga)")
      ->default_val(kDefaultInputSpin.count())
      ->check(CLI::Range(int64_t{0}, int64_t{1'000'000}));
  serveCmd->footer(examples(
      "  printf '%s\\n' '{\"op\":\"gConsulta_Coleta\",\"id\":1,\"args\":{\"invntConecta_DB\":"
      "\"Provider=SQLite;Data Source=coleta.db\",\"invntDOCTO_TRANSPORTE_ID\":100}}' | z418kt "
      "serve\n"
      "  Cada resposta é uma linha: {\"result\":...,\"args\":{...},\"id\":1} ou {\"error\":{...}}",
      "\nSituação de saída: 0 quando a entrada terminou (toda linha foi respondida); 2 uso "
      "errado."));
  serveCmd->callback([&] {
    guarded([&] {
      json::RequestOptions options;
      options.connection = resolveConnection(serveDb, std::nullopt);
      serve(io.in, io.out, component, options, {io.inputFd, std::chrono::microseconds(spinMicros)});
      return kExitDone;
    });
  });

  // http
  HttpCommand httpOptions;
  ConnectionSource httpDb;
  std::string httpConfig;
  CLI::App* httpCmd = app.add_subcommand(
      "http", "serve a API REST e a página dos operadores até SIGTERM ou SIGINT");
  addConnectionOptions(httpCmd, httpDb);
  addConfigOption(httpCmd, httpConfig);
  addHttpOptions(httpCmd, httpOptions);
  httpCmd->add_flag("!--no-deliver", httpOptions.deliver,
                    "não envia webhooks deste processo (rode z418kt deliver à parte)");
  httpCmd->footer(examples(
      "  Z418KT_HTTP_TOKEN=segredo z418kt http --db 'Provider=SQLite;Data Source=coleta.db'\n"
      "  z418kt http --listen 0.0.0.0:8080 --token-file /etc/z418kt/token --oracle\n"
      "  z418kt http --config /etc/z418kt/z418kt.conf --listen 127.0.0.1:9090\n"
      "  curl -H 'Authorization: Bearer segredo' http://127.0.0.1:8080/v1/coletas/100",
      kServiceExitCodes));
  httpCmd->callback([&] {
    if (!httpConfig.empty()) {
      try {
        applyConfigFile(*httpCmd, httpConfig);
      } catch (const ConfigError& e) {
        io.err << "z418kt: " << e.what() << '\n';
        code = kExitUsage;
        return;
      }
    }
    guarded([&] {
      httpOptions.server.connection = *resolveConnection(httpDb, std::string(kDefaultConnection));
      return httpCommand(httpOptions, io.out, io.err);
    });
  });

  // init
  ConnectionSource initDb;
  bool initDemo = false;
  CLI::App* init =
      app.add_subcommand("init", "cria o esquema, os procedimentos e os dados de demonstração");
  addConnectionOptions(init, initDb);
  init->add_flag("--demo", initDemo, "grava também as pessoas e Coletas de demonstração");
  init->footer(
      examples("  z418kt init --db 'Provider=SQLite;Data Source=coleta.db' --demo\n"
               "  z418kt init --db-file ~/.config/z418kt/db   # primeira linha: Driver=PostgreSQL "
               "Unicode;Server=localhost;Database=coleta;Uid=coleta;Pwd=...",
               kStepExitCodes));
  init->callback([&] {
    guarded([&] {
      auto connection = resolveConnection(initDb, std::nullopt);
      if (!connection)
        throw ConnectionError(
            "init precisa do texto de conexão de um banco vazio: --db, --db-file ou "
            "Z418KT_DB");
      return initCommand(*connection, initDemo, {io.out, io.err, false});
    });
  });

  // demo
  DemoOptions demo;
  CLI::App* demoCmd =
      app.add_subcommand("demo", "um passeio guiado num banco de demonstração novo");
  demoCmd->add_option("--dir", demo.directory,
                      "diretório do banco de demonstração (padrão: um temporário novo)");
  demoCmd->footer(examples("  z418kt demo\n  z418kt demo --dir /tmp/meu-demo", kStepExitCodes));
  demoCmd->callback([&] { code = runDemo(demo, {io.out, io.err, false}); });

  // coleta show|save|delete
  CLI::App* coleta = app.add_subcommand("coleta", "mostra, grava, exclui ou lista Coletas");
  coleta->require_subcommand(1);
  coleta->footer(examples(
      "  z418kt coleta show 100\n  z418kt coleta list --cliente 2\n  z418kt coleta history 100"));
  PeopleOptions showOpts, saveOpts, deleteOpts;
  std::string showId, deleteId;
  CLI::App* show = coleta->add_subcommand("show", "mostra uma Coleta com suas cargas");
  show->add_option("ID", showId, "o id do documento da Coleta")->required();
  addPeopleOptions(show, showOpts);
  show->footer(examples("  z418kt coleta show 100\n  z418kt coleta show 100 --oracle --json"));
  show->callback([&] {
    guarded([&] {
      return showColeta(FrontDoor(component, showOpts.context()), showId,
                        {io.out, io.err, showOpts.json});
    });
  });

  ColetaFields fields;
  CLI::App* save = coleta->add_subcommand(
      "save", "grava uma Coleta nova (ou, com --id, substitui uma existente)");
  save->add_option("--id", fields.id, "a Coleta a substituir (padrão 0: uma nova)");
  save->add_option("--cliente", fields.cliente, "id do cliente (uma pessoa)");
  save->add_option("--remetente", fields.remetente, "id do endereço do remetente");
  save->add_option("--destinatario", fields.destinatario, "id do endereço do destinatário");
  save->add_option("--volumes", fields.volumes, "número de volumes");
  save->add_option("--peso", fields.peso, "peso em kg (42,5, 1.500,75 ou 42.5; não 1.500)");
  save->add_option("--valor", fields.valor, "valor declarado");
  save->add_option("--embalagem", fields.embalagem, "descrição da mercadoria");
  save->add_option("--idempotency-key", fields.idempotencyKey,
                   "uma Coleta nova: repetir com a mesma chave não grava outra (guardada 24 h)");
  save->add_option("--carga", fields.cargas,
                   "uma carga VOLUMESxLARGURAxALTURAxCOMPRIMENTO (metros); repita para mais");
  addPeopleOptions(save, saveOpts);
  save->footer(examples(
      "  z418kt coleta save --cliente 2 --remetente 12 --destinatario 11 --volumes 3 \\\n"
      "      --peso 42,5 --valor 1500 --embalagem 'Caixas' --carga 2x0.5x0.4x0.3 --carga "
      "1x1.2x0.8x0.6\n"
      "  z418kt coleta save --id 100 --cliente 2 --remetente 12 --destinatario 11 "
      "--volumes 6 --peso 125,5 --valor 1500,75 --embalagem 'Caixas'\n"
      "  Um campo que falta é recusado pelas verificações do componente, com a mensagem dele."));
  save->callback([&] {
    guarded([&] {
      return saveColeta(FrontDoor(component, saveOpts.context()), fields,
                        {io.out, io.err, saveOpts.json});
    });
  });

  CLI::App* del = coleta->add_subcommand("delete", "exclui uma Coleta e suas cargas");
  del->add_option("ID", deleteId, "o id do documento da Coleta")->required();
  addPeopleOptions(del, deleteOpts);
  del->footer(examples(
      "  z418kt coleta delete 1000          # a primeira Coleta gravada nos dados de demonstração\n"
      "  z418kt coleta delete 1000 --oracle"));
  del->callback([&] {
    guarded([&] {
      return deleteColeta(FrontDoor(component, deleteOpts.context()), deleteId,
                          {io.out, io.err, deleteOpts.json});
    });
  });

  PeopleOptions listOpts;
  ListFields listFields;
  CLI::App* listCmd = coleta->add_subcommand("list", "lista Coletas, as mais novas primeiro");
  listCmd->add_option("--cliente", listFields.cliente, "só as deste cliente (id de uma pessoa)");
  listCmd->add_option("--remetente", listFields.remetente,
                      "só as deste id de endereço de remetente");
  listCmd->add_option("--destinatario", listFields.destinatario,
                      "só as para este id de endereço de destinatário");
  listCmd->add_option("--desde", listFields.desde, "criadas neste dia ou depois (AAAA-MM-DD)");
  listCmd->add_option("--ate", listFields.ate, "criadas neste dia ou antes (AAAA-MM-DD)");
  listCmd->add_option("--limite", listFields.limite, "Coletas por página (1 a 500)")
      ->capture_default_str();
  listCmd->add_option("--cursor", listFields.cursor, "a próxima página, como a anterior indicou");
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
      coleta->add_subcommand("export", "uma Coleta como um shipment ONE Record (JSON-LD)");
  exportCmd->add_option("ID", exportRequest.id, "o id do documento da Coleta")->required();
  exportCmd->add_flag("--one-record", exportRequest.oneRecord, "IATA ONE Record 3.2 JSON-LD");
  exportCmd
      ->add_option("--one-record-base", exportRequest.base,
                   "IRI sob a qual os identificadores dos logistics objects são formados")
      ->capture_default_str();
  addContextOptions(exportCmd, exportOpts);
  exportCmd->footer(
      examples("  z418kt coleta export 100 --one-record\n"
               "  z418kt coleta export 100 --one-record --one-record-base "
               "https://1r.example.com/logistics-objects/\n"
               "Situação de saída 3: a Coleta não existe."));
  exportCmd->callback([&] {
    guarded([&] {
      return exportColeta(component, exportOpts.context(), exportRequest, io.out, io.err);
    });
  });

  // Coleta events: coleta history, assinatura add|list|remove|replay, deliver
  EventCommands eventCommands(app, *coleta, code, io);

  // pessoa show
  CLI::App* pessoa = app.add_subcommand("pessoa", "consulta ou procura uma pessoa");
  pessoa->require_subcommand(1);
  pessoa->footer(examples("  z418kt pessoa show 12\n  z418kt pessoa find silva"));
  PeopleOptions pessoaOpts;
  std::string pessoaId;
  CLI::App* pessoaShow =
      pessoa->add_subcommand("show", "mostra a identificação e o endereço de uma pessoa");
  pessoaShow->add_option("ID", pessoaId, "o id do endereço da pessoa")->required();
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
  CLI::App* find = pessoa->add_subcommand("find", "procura pessoas por nome, CPF ou CNPJ");
  find->add_option("TEXT", findText, "parte de um nome, ou os primeiros dígitos de um CPF ou CNPJ")
      ->required();
  find->add_option("--limite", findLimit, "pessoas por página (1 a 500)")->capture_default_str();
  find->add_option("--cursor", findCursor, "a próxima página, como a anterior indicou");
  addPeopleOptions(find, findOpts);
  find->footer(examples("  z418kt pessoa find aurora\n  z418kt pessoa find 12.345.678"));
  find->callback([&] {
    guarded([&] {
      return findPessoas(FrontDoor(component, findOpts.context()), findText, findLimit, findCursor,
                         {io.out, io.err, findOpts.json});
    });
  });

  titleSubcommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return parseFailure(app, e, io);
  }
  return code;
}

}  // namespace z418kt::cli
