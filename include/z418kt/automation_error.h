// The one error type of the component. Conversions, record sets and outside
// components throw it; only the error trap of an operation catches it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "z418kt/export.h"

namespace z418kt {

struct Z418KT_EXPORT AutomationError : std::exception {
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
Z418KT_EXPORT AutomationError invalidProcedureCall();  // 5
Z418KT_EXPORT AutomationError overflow();              // 6
Z418KT_EXPORT AutomationError subscriptOutOfRange();   // 9
Z418KT_EXPORT AutomationError typeMismatch();          // 13
Z418KT_EXPORT AutomationError invalidUseOfNull();      // 94
Z418KT_EXPORT AutomationError cannotCreateObject();    // 429
Z418KT_EXPORT AutomationError itemNotFound();          // 3265
Z418KT_EXPORT AutomationError noCurrentRecord();       // 3021
Z418KT_EXPORT AutomationError objectClosed();          // 3704
Z418KT_EXPORT AutomationError unknownName();           // 438: no such operation
Z418KT_EXPORT AutomationError wrongArgumentCount();    // 450
// A failure reported by a database provider: E_FAIL with the engine's own text.
Z418KT_EXPORT AutomationError provider(const std::string& engineMessage);
}  // namespace errors

}  // namespace z418kt
