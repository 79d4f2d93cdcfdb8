#include "kit/trap.h"

#include <new>

namespace z418kt {

bool isTrapMessage(std::string_view message) {
  for (std::string_view text :
       {operation_text::kPublic, operation_text::kPessoa, operation_text::kBuilder})
    if (message.starts_with(text)) return true;
  return false;
}

AutomationError asAutomationError(const std::exception& error) {
  if (const auto* automation = dynamic_cast<const AutomationError*>(&error)) return *automation;
  if (dynamic_cast<const std::bad_alloc*>(&error)) return AutomationError(7, "Out of memory");
  return AutomationError(-2147418113, error.what());  // E_UNEXPECTED
}

namespace {

// The suffix opens with the operation's name: "name - Z418KT ( " for a public
// operation, " - name - Z418KT (" for a builder, the blank before "(" left out
// where the builder's row says so.
std::string nameText(const OperationRow& row) {
  switch (row.shape) {
    case TrapShape::Public:
    case TrapShape::StatementRunning:
      return std::string(row.name) + " - Z418KT ( ";
    case TrapShape::Builder:
      return " - " + std::string(row.name) + " - Z418KT (";
    case TrapShape::BuilderTight:
      break;
  }
  return " - " + std::string(row.name) + " - Z418KT(";
}

}  // namespace

void runTrap(OperationId id, const Variant& userId, Variant& msgRet, const TrapState& state,
             const AutomationError& error) {
  const OperationRow& row = operationRow(id);
  std::string message(row.genericText);
  msgRet = Variant(message);
  if (!vb::equals(userId, Variant(int32_t{1}))) return;

  message += nameText(row);
  message += error.description;
  message += " : ";
  if (row.shape == TrapShape::Builder || row.shape == TrapShape::BuilderTight) {
    message += " No Nº " + std::to_string(state.statement) + ")" + state.sql;
  } else {
    message += std::to_string(error.number) + ")  " + " No Nº " + std::to_string(state.statement);
    if (row.shape == TrapShape::StatementRunning) message += " STRSQ: " + state.sql;
  }
  msgRet = Variant(message);
}

}  // namespace z418kt
