#include "cli/serve.h"

#include <istream>
#include <ostream>
#include <string>

#include "json/request.h"

namespace z418kt::cli {

using namespace json;

int serve(std::istream& in, std::ostream& out, Z418kt& component) {
  int answered = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    out << dumpText(answerRequestText(component, line)) << '\n' << std::flush;
    ++answered;
  }
  return answered;
}

}  // namespace z418kt::cli
