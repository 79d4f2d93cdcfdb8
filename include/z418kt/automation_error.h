// The one error type of the component. Conversions, record sets and outside
// components throw it; only the error trap of an operation catches it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace z418kt {

struct AutomationError : std::exception {
  AutomationError(int32_t number, std::string description)
      : number(number), description(std::move(description)) {}
  const char* what() const noexcept override { return description.c_str(); }

  int32_t number;
  std::string description;
};

// The run-time errors the component raises itself, with Visual Basic's numbers
// and English descriptions: callers of an automation component recognise the
// errors by these numbers, and the diagnostic suffix shows both.
namespace errors {
AutomationError invalidProcedureCall();  // 5
AutomationError overflow();              // 6
AutomationError subscriptOutOfRange();   // 9
AutomationError typeMismatch();          // 13
AutomationError invalidUseOfNull();      // 94
AutomationError cannotCreateObject();    // 429
AutomationError itemNotFound();          // 3265
AutomationError noCurrentRecord();       // 3021
AutomationError objectClosed();          // 3704
AutomationError unknownName();           // 438: no such operation
AutomationError wrongArgumentCount();    // 450
// A failure reported by a database provider: E_FAIL with the engine's own text.
AutomationError provider(const std::string& engineMessage);
}  // namespace errors

}  // namespace z418kt
