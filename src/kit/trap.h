// The error trap every operation arms first.
//
// withTrap runs an operation's body. The body records, as it goes, the number
// of the statement it is at and its statement text (TrapState). When anything
// in the body throws, the trap replaces the user message with the operation's
// generic text and, when the internet user id equals the number 1, appends the
// diagnostic suffix (operation, error description and number, statement
// number, statement text). The operation then returns its failure result,
// which the body has not replaced. Outputs already written stay written.
//
// The user-id test compares numbers: a text that is no number makes it raise
// 13 "Type mismatch", which leaves the operation (after the generic text has
// been written), as the original component did.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "kit/operation_id.h"
#include "z418kt/automation_error.h"
#include "z418kt/variant.h"

namespace z418kt {

struct TrapState {
  int32_t statement = 0;  // number of the statement being run
  std::string sql;        // the operation's statement text as built so far
  void at(int32_t number) { statement = number; }
};

// Writes the trap's message for `error` into `msgRet`; throws only from the user-id test.
void runTrap(OperationId id, const Variant& userId, Variant& msgRet, const TrapState& state,
             const AutomationError& error);

// Any exception the body lets out, as an automation error.
AutomationError asAutomationError(std::exception_ptr error);

template <class Body>
void withTrap(OperationId id, const Variant& userId, Variant& msgRet, Body&& body) {
  TrapState state;
  try {
    body(state);
  } catch (...) {
    runTrap(id, userId, msgRet, state, asAutomationError(std::current_exception()));
  }
}

}  // namespace z418kt
