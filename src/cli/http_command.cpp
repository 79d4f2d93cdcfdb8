#include "cli/http_command.h"

#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <thread>

#include "events/dispatcher.h"
#include "http/server.h"
#include "http/token.h"

namespace z418kt::cli {

namespace {

// Blocks the stop signals in the calling thread and every thread it starts
// afterwards, so one waiting thread receives them. They stay blocked: a
// second SIGTERM while the last requests finish must not kill the process.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    for (int s : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&set_, s);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
  }
  int wait() const {
    int signal = 0;
    sigwait(&set_, &signal);
    return signal;
  }

 private:
  sigset_t set_{};
};

template <class T>
void addLimit(CLI::App* command, const char* name, T& value, const char* what, T low, T high) {
  command->add_option(name, value, what)->capture_default_str()->check(CLI::Range(low, high));
}

}  // namespace

void addHttpOptions(CLI::App* c, HttpCommand& o) {
  http::ServerOptions& s = o.server;
  http::Limits& l = s.limits;
  c->add_option("--listen", o.listen,
                "HOST:PORTA, [IPv6]:PORTA ou unix:/caminho onde escutar (porta 0: qualquer livre)")
      ->capture_default_str()
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  c->add_flag("--oracle", s.oracle, "usa o dialeto ORACLE (padrão: procedimentos armazenados)");
  c->add_option("--token-file", o.tokenFile,
                "arquivo cuja primeira linha é o token, de nome http (Z418KT_HTTP_TOKEN prevalece; "
                "sem token algum, um é criado e mostrado uma vez)");
  c->add_option("--token", o.tokens,
                "NOME=SEGREDO: mais um token, com o nome que vai ao log e aos eventos das "
                "mudanças que faz (repita a opção; sem NOME=, o nome é http)")
      ->allow_extra_args(false)
      ->take_all();
  c->add_option("--tokens-file", o.tokensFile,
                "arquivo com um NOME=SEGREDO por linha (# comenta), até 1000 tokens e 1 MiB");
  c->add_option("--cors-origin", s.corsOrigin,
                "a única origem que pode chamar /v1 de um navegador (padrão: nenhuma)");
  c->add_option("--tls-cert", s.tlsCert, "cadeia de certificados PEM: serve HTTPS (com --tls-key)");
  c->add_option("--tls-key", s.tlsKey, "chave privada PEM de --tls-cert");
  c->add_flag("--trust-proxy", s.trustProxy,
              "toma o endereço do cliente da última entrada de X-Forwarded-For (só atrás de "
              "um proxy reverso que a define)");
  c->add_flag("--metrics-public", s.metricsPublic, "serve /metrics sem o token");
  addLimit(c, "--max-body", l.maxBodyBytes, "maior corpo de requisição, em bytes (413 além)",
           size_t{0}, size_t{1} << 30);
  addLimit(c, "--max-header-bytes", l.maxHeaderBytes,
           "linha de requisição e cabeçalhos juntos, em bytes (431 além)", size_t{1024},
           size_t{1} << 20);
  addLimit(c, "--max-headers", l.maxHeaderCount, "campos de cabeçalho de uma requisição (431 além)",
           size_t{8}, size_t{10000});
  addLimit(c, "--head-timeout", l.headSeconds,
           "segundos para a cabeça inteira de uma requisição, do primeiro byte (408 além)", 1,
           3600);
  addLimit(c, "--body-timeout", l.bodySeconds,
           "segundos para o corpo inteiro de uma requisição (408 além)", 1, 3600);
  addLimit(c, "--write-timeout", l.writeSeconds, "segundos para enviar uma resposta inteira", 1,
           3600);
  addLimit(c, "--keep-alive", l.keepAliveSeconds, "segundos que uma conexão ociosa fica aberta", 0,
           3600);
  addLimit(c, "--max-requests-per-connection", l.maxRequestsPerConnection,
           "requisições numa conexão antes de ela fechar", size_t{1}, size_t{10000000});
  addLimit(c, "--max-connections", l.maxConnections, "conexões abertas ao mesmo tempo (503 além)",
           size_t{1}, size_t{1000000});
  addLimit(c, "--max-connections-per-client", l.maxConnectionsPerClient,
           "conexões de um mesmo endereço de cliente (503 além)", size_t{1}, size_t{1000000});
  addLimit(c, "--io-threads", l.ioThreads,
           "threads além das dos workers que leem e escrevem as conexões, nunca ocupadas por uma "
           "operação",
           1, 64);
  addLimit(c, "--threads", l.workerThreads,
           "workers (uma thread cada) que rodam operações ao mesmo tempo, cada um com seu "
           "componente",
           1, 1024);
  addLimit(c, "--max-queued", l.maxQueued, "requisições esperando um worker (503 além)", size_t{1},
           size_t{1000000});
  addLimit(c, "--rate", l.requestsPerSecond,
           "requisições /v1 por segundo por endereço de cliente, rajada igual (0: sem limite)", 0,
           1000000);
  addLimit(c, "--token-rate", l.tokenRequestsPerSecond,
           "requisições /v1 por segundo de cada token, somando todos os clientes (0: sem limite)",
           0, 1000000);
  addLimit(c, "--failed-tokens", l.failedTokensPerMinute,
           "tokens errados ou ausentes por minuto por endereço de cliente (429 além)", 1, 1000000);
  addLimit(c, "--ready-timeout", l.readySeconds, "segundos que /readyz espera a resposta do banco",
           1, 60);
}

int httpCommand(HttpCommand command, std::ostream& out, std::ostream& err) {
  http::ServerOptions& options = command.server;
  if (!http::parseListen(command.listen, options)) {
    err << "z418kt: --listen \"" << command.listen
        << "\" não é HOST:PORTA, [IPv6]:PORTA nem unix:/caminho\n";
    return 2;
  }
  bool madeToken = false;
  std::vector<http::NamedToken>& tokens = options.tokens;
  try {
    if (const char* env = std::getenv("Z418KT_HTTP_TOKEN"); env && *env)
      tokens.push_back({http::kDefaultTokenName, env});
    else if (!command.tokenFile.empty())
      tokens.push_back({http::kDefaultTokenName, http::readTokenFile(command.tokenFile)});
    if (!command.tokensFile.empty())
      for (http::NamedToken& t : http::readTokensFile(command.tokensFile))
        tokens.push_back(std::move(t));
  } catch (const std::exception& e) {
    err << "z418kt: " << e.what() << '\n';
    return 1;
  }
  try {
    for (const std::string& text : command.tokens) tokens.push_back(http::parseNamedToken(text));
    if (tokens.empty()) {
      tokens.push_back({http::kDefaultTokenName, http::makeToken()});
      madeToken = true;
    }
    http::checkTokens(tokens);
  } catch (const std::invalid_argument& e) {
    err << "z418kt: " << e.what() << '\n';
    return 2;
  }

  StopSignals signals;
  http::HttpServer server(options, err);
  try {
    server.bind();
  } catch (const std::exception& e) {
    err << "z418kt: " << e.what() << '\n';
    return 1;
  }
  // A database that cannot be reached is said at once (in the log); the
  // server still starts, answers 503 meanwhile, and /readyz says when it is back.
  std::string reason;
  server.databaseAnswers(reason);
  out << "z418kt http: ouvindo em " << server.url() << '\n';
  if (madeToken) out << "token: " << tokens.front().secret << '\n';
  out << std::flush;

  std::optional<events::Dispatcher> dispatcher;
  if (command.deliver) {
    events::DispatcherOptions delivery;
    delivery.connection = options.connection;
    delivery.log = [&err](const std::string& line) { err << line + "\n" << std::flush; };
    dispatcher.emplace(std::move(delivery));
    dispatcher->start();
  }

  std::thread waiter([&] {
    while (signals.wait() != SIGUSR1) server.stop();
  });
  server.run();
  if (dispatcher) dispatcher->stop();
  pthread_kill(waiter.native_handle(), SIGUSR1);  // ends the waiter if no signal came
  waiter.join();
  out << "z418kt http: parado\n" << std::flush;
  return 0;
}

}  // namespace z418kt::cli
