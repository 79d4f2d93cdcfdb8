// The z418kt command (not built out yet).
#include <cstdio>

int main() {
  std::puts("z418kt: the command-line client is not built yet.");
  return 0;
}
