#include "cli/parser_texts.h"

#include <CLI/CLI.hpp>
#include <regex>
#include <utility>
#include <vector>

namespace z418kt::cli {

namespace {

constexpr const char* kOptionsGroup = "Opções";
constexpr const char* kSubcommandsGroup = "Subcomandos";

// CLI11's type names and the words it adds to an option, whole words, also
// inside a validator's description ("INT:INT in [1 - 1024]").
std::string translateTypes(std::string text) {
  static const std::vector<std::pair<std::regex, std::string>> words = {
      {std::regex(R"(\bTEXT\b)"), "TEXTO"},
      {std::regex(R"(\bUINT\b)"), "NATURAL"},
      {std::regex(R"(\bINT\b)"), "INTEIRO"},
      {std::regex(R"(\bFLOAT\b)"), "NÚMERO"},
      {std::regex(R"( in \[(.*) - )"), " de [$1 a "},
      {std::regex(R"(\bExcludes:)"), "Exclui:"},
      {std::regex(R"(\bNeeds:)"), "Requer:"},
      {std::regex(R"(\bREQUIRED\b)"), "OBRIGATÓRIO"}};
  for (const auto& [english, portuguese] : words)
    text = std::regex_replace(text, english, portuguese);
  return text;
}

class Formatter : public CLI::Formatter {
 public:
  Formatter() {
    label("Usage", "Uso");
    label("OPTIONS", "OPÇÕES");
    label("SUBCOMMAND", "SUBCOMANDO");
    label("SUBCOMMANDS", "SUBCOMANDOS");
    label("Positionals", "Argumentos");
    label("REQUIRED", "OBRIGATÓRIO");
    label("Needs", "Requer");
    label("Excludes", "Exclui");
    label("Env", "Ambiente");
  }
  std::string make_option_opts(const CLI::Option* option) const override {
    return translateTypes(CLI::Formatter::make_option_opts(option));
  }
  std::string make_option_usage(const CLI::Option* option) const override {
    return translateTypes(CLI::Formatter::make_option_usage(option));
  }
};

struct Rule {
  std::regex english;
  const char* portuguese;
};

// CLI11's messages, as its error types word them, and ours for each.
const std::vector<Rule>& rules() {
  static const std::vector<Rule> all = {
      {std::regex(R"(^A subcommand is required$)"), "falta o subcomando"},
      {std::regex(R"(^Requires at least (\d+) subcommands$)"), "faltam subcomandos (ao menos $1)"},
      {std::regex(R"(^(.+) is required$)"), "falta $1"},
      {std::regex(R"(^The following arguments? (?:was|were) not expected: (.*)$)"),
       "argumento inesperado: $1"},
      {std::regex(R"(^Could not convert: (\S+) = (.*)$)"), "valor inválido para $1: \"$2\""},
      {std::regex(R"(^The value (.*) is not an allowed value for (.*)$)"),
       "valor inválido para $2: \"$1\""},
      {std::regex(R"(^(\S+): Value (.*) not in range (.*) to (.*)$)"),
       "valor inválido para $1: $2 (aceita de $3 a $4)"},
      {std::regex(R"(^(\S+): \d+ required .* missing$)"), "falta o valor de $1"},
      {std::regex(R"(^Expected (?:exactly|at least) (\d+) arguments to (\S+), got (\d+)$)"),
       "$2 espera $1 valores e recebeu $3"},
      {std::regex(R"(^(\S+): too many inputs for a flag$)"), "$1 não aceita valor"},
      {std::regex(R"(^(\S+): Should be true/false or a number$)"),
       "$1 aceita true/false ou um número"},
      {std::regex(R"(^(\S+) excludes (\S+)$)"), "$1 e $2 não podem ser usadas juntas"},
      {std::regex(R"(^(\S+) requires (\S+)$)"), "$1 exige $2"},
      {std::regex(R"(^(.+) was not readable \(missing\?\)$)"), "não foi possível ler $1"},
      {std::regex(R"(^(\S+): .*$)"), "valor inválido para $1"},
  };
  return all;
}

void titleAll(CLI::App& app) {
  for (CLI::App* sub : app.get_subcommands({})) {
    if (sub->get_group() == "Subcommands") sub->group(kSubcommandsGroup);
    // A subcommand's help flag is made before the group of its options is known.
    if (CLI::Option* help = sub->get_help_ptr()) help->group(kOptionsGroup);
    titleAll(*sub);
  }
}

}  // namespace

void useParserTexts(CLI::App& app) {
  app.formatter(std::make_shared<Formatter>());
  app.option_defaults()->group(kOptionsGroup);
  app.set_help_flag("-h,--help", "mostra esta ajuda e termina");
}

void titleSubcommands(CLI::App& app) { titleAll(app); }

std::string usageErrorText(const CLI::ParseError& error) {
  const std::string english = error.what();
  for (const Rule& rule : rules())
    if (std::regex_match(english, rule.english))
      return std::regex_replace(english, rule.english, rule.portuguese);
  return "uso inválido";
}

std::string seeHelpText(const std::string& commandPath) {
  return "Use " + commandPath + " --help para ver o uso.";
}

}  // namespace z418kt::cli
