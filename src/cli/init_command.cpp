#include "cli/init_command.h"

#include <ostream>

#include "data/database_setup.h"
#include "z418kt/automation_error.h"

namespace z418kt::cli {

int initCommand(const std::string& connection, bool withDemo, Output o) {
  try {
    data::initDatabase(connection, withDemo);
  } catch (const AutomationError& e) {
    o.err << "z418kt: init falhou: " << e.description << " (" << e.number << ")\n";
    return 1;
  } catch (const std::exception& e) {
    o.err << "z418kt: init falhou: " << e.what() << '\n';
    return 1;
  }
  o.out << "Banco criado" << (withDemo ? " com os dados de demonstração" : "") << ".\n";
  return 0;
}

}  // namespace z418kt::cli
