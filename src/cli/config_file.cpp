#include "cli/config_file.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <set>
#include <sstream>

namespace z418kt::cli {

namespace {

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") + 1 - b);
}

std::string readBounded(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ConfigError("não foi possível ler o arquivo de configuração " + path);
  std::string text(kMaxConfigBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxConfigBytes)
    throw ConfigError("o arquivo de configuração " + path + " passa de " +
                      std::to_string(kMaxConfigBytes) + " bytes");
  return text;
}

// An option given on the command line, or excluded by one that was.
bool setOnCommandLine(const CLI::Option* option) {
  if (option->count() > 0) return true;
  for (const CLI::Option* other : option->get_excludes())
    if (other->count() > 0) return true;
  return false;
}

}  // namespace

void addConfigOption(CLI::App* command, std::string& path) {
  command->add_option("--config", path,
                      "arquivo de configuração (chave = valor; as opções dadas aqui prevalecem)");
}

void applyConfigFile(CLI::App& command, const std::string& path) {
  std::istringstream lines(readBounded(path));
  std::set<std::string> seen;
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string where = path + ":" + std::to_string(number) + ": ";
    const std::string text = trimmed(line);
    if (text.empty() || text.front() == '#' || text.front() == ';') continue;
    const size_t equals = text.find('=');
    if (equals == std::string::npos)
      throw ConfigError(where + "esperava chave = valor, encontrou \"" + text + "\"");
    const std::string key = trimmed(text.substr(0, equals));
    std::string value = trimmed(text.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);

    CLI::Option* option = nullptr;
    if (!key.empty() && key.front() != '-' && key != "config" && key != "help")
      option = command.get_option_no_throw("--" + key);
    if (option == nullptr) throw ConfigError(where + "chave desconhecida \"" + key + "\"");
    if (!seen.insert(key).second) throw ConfigError(where + "chave repetida \"" + key + "\"");
    if (setOnCommandLine(option)) continue;
    try {
      option->add_result(value);
      option->run_callback();
    } catch (const CLI::ParseError&) {
      throw ConfigError(where + "valor inválido para " + key + ": \"" + value + "\"");
    }
  }
}

}  // namespace z418kt::cli
