// The z418kt command: see cli/app.h.
#include <unistd.h>

#include <iostream>

#include "cli/app.h"

int main(int argc, char** argv) {
  // The command writes only through the C++ streams: they may buffer on
  // their own instead of going through stdio character by character.
  std::ios::sync_with_stdio(false);
  z418kt::cli::AppStreams io{std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) != 0,
                             STDIN_FILENO};
  return z418kt::cli::runApp(argc, argv, io);
}
