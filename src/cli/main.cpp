// The z418kt command: see cli/app.h.
#include <unistd.h>

#include <iostream>

#include "cli/app.h"

int main(int argc, char** argv) {
  // Buffered standard streams: requests are read in chunks, not byte by byte.
  std::ios::sync_with_stdio(false);
  z418kt::cli::AppStreams io{std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) != 0};
  return z418kt::cli::runApp(argc, argv, io);
}
