#include "cli/connection_source.h"

#include <strings.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <fstream>

#include "json/request.h"

namespace z418kt::cli {

void addConnectionOptions(CLI::App* command, ConnectionSource& source) {
  auto* db = command->add_option("--db", source.text,
                                 "texto de conexão (senão --db-file, senão $Z418KT_DB)");
  command
      ->add_option("--db-file", source.file,
                   "arquivo cuja primeira linha é o texto de conexão (deixa a senha fora do ps)")
      ->excludes(db);
}

std::optional<std::string> resolveConnection(const ConnectionSource& source,
                                             const std::optional<std::string>& fallback) {
  if (!source.text.empty()) return source.text;
  if (!source.file.empty()) {
    std::ifstream in(source.file);
    if (!in) throw ConnectionError("não foi possível ler o arquivo de conexão " + source.file);
    std::string line;
    while (std::getline(in, line)) {
      size_t b = line.find_first_not_of(" \t\r");
      if (b == std::string::npos) continue;
      return line.substr(b, line.find_last_not_of(" \t\r") + 1 - b);
    }
    throw ConnectionError("o arquivo de conexão " + source.file + " não tem texto de conexão");
  }
  if (const char* env = std::getenv("Z418KT_DB"); env && *env) return std::string(env);
  return fallback;
}

}  // namespace z418kt::cli
