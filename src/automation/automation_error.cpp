#include "z418kt/automation_error.h"

namespace z418kt::errors {

AutomationError invalidProcedureCall() { return {5, "Invalid procedure call or argument"}; }
AutomationError overflow() { return {6, "Overflow"}; }
AutomationError subscriptOutOfRange() { return {9, "Subscript out of range"}; }
AutomationError typeMismatch() { return {13, "Type mismatch"}; }
AutomationError invalidUseOfNull() { return {94, "Invalid use of Null"}; }
AutomationError cannotCreateObject() { return {429, "ActiveX component can't create object"}; }
AutomationError itemNotFound() {
  return {3265,
          "Item cannot be found in the collection corresponding to the requested name or "
          "ordinal."};
}
AutomationError noCurrentRecord() {
  return {3021,
          "Either BOF or EOF is True, or the current record has been deleted. Requested "
          "operation requires a current record."};
}
AutomationError objectClosed() {
  return {3704, "Operation is not allowed when the object is closed."};
}
AutomationError unknownName() { return {438, "Object doesn't support this property or method"}; }
AutomationError wrongArgumentCount() {
  return {450, "Wrong number of arguments or invalid property assignment"};
}
AutomationError provider(const std::string& engineMessage) {
  // E_FAIL, the number ADO reports for a provider's own failure.
  return {-2147467259, engineMessage};
}

}  // namespace z418kt::errors
