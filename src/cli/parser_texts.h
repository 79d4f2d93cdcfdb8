// The command-line parser's own words in Brazilian Portuguese, like the rest
// of what z418kt prints for people: the help's labels and type names, the
// help and version flags, the group titles, and the usage errors. The words
// of each command (descriptions, option help, examples) stay with the
// command; this file holds only the parser's.
#pragma once

#include <string>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace z418kt::cli {

// Call on the top command before adding options or subcommands: they take
// the help flag, the option group and the formatter from it.
void useParserTexts(CLI::App& app);

// Call once every subcommand is added: titles their group and their help flag's.
void titleSubcommands(CLI::App& app);

// The usage error in Portuguese: "falta ID", "argumento inesperado: 2", ...
std::string usageErrorText(const CLI::ParseError& error);

// "Use z418kt coleta show --help para ver o uso."
std::string seeHelpText(const std::string& commandPath);

}  // namespace z418kt::cli
