// A command's options from a configuration file: one `key = value` per line,
// the key being the option's long name without its dashes (`listen`,
// `db-file`, `max-body`; a flag takes true/false, yes/no, on/off or 1/0).
// Blank lines and lines starting with '#' or ';' are ignored; the value is
// everything after the first '=', trimmed, optionally in double quotes.
// The command line wins: an option given there keeps its value, and so does
// one that excludes an option given there (--db given, db-file ignored).
// Every option a command has is a key, so a new option needs no change here.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace CLI {
class App;
}

namespace z418kt::cli {

// The largest configuration file read; a bigger one is refused as a whole.
inline constexpr size_t kMaxConfigBytes = 64 * 1024;

// A file that cannot be read, is too big, or has a line that is not
// `key = value`, an unknown or repeated key, or a value its option refuses.
// The message names the file and line.
struct ConfigError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Adds `--config PATH` to a command; `path` receives it.
void addConfigOption(CLI::App* command, std::string& path);

// Gives the file's values to the command's options not set on the command
// line. Call it from the command's callback, before its options are read.
void applyConfigFile(CLI::App& command, const std::string& path);

}  // namespace z418kt::cli
