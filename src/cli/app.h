// The z418kt command line: its subcommands, options, help texts and exit
// codes (0 done, 1 the call or a step failed or a people's command got status
// 10, 2 wrong usage, 3 a people's command found no such Coleta or party; each
// command's --help states its own). Streams are parameters so tests can drive
// it without a process.
#pragma once

#include <iosfwd>

namespace z418kt::cli {

struct AppStreams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool inputIsTerminal = false;  // invoke then reads no request from `in`
  int inputFd = -1;              // the descriptor `in` reads, when it has one
};

int runApp(int argc, const char* const* argv, AppStreams io);

}  // namespace z418kt::cli
