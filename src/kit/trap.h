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
// 13 "Type mismatch". That error leaves the operation (after the generic text
// has been written), so a caller who passed a malformed user id learns it from
// the failed call instead of from a message it cannot tell from any other.
//
// Only exceptions derived from std::exception are trapped; the trap turns them
// into an automation error (asAutomationError). Anything else is no failure of
// the operation's own making and is left to propagate.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "kit/operation_table.h"
#include "z418kt/automation_error.h"
#include "z418kt/variant.h"

namespace z418kt {

// Every statement of an operation that can fail carries a number of its own,
// ascending through the operation, so that the suffix names the one that failed.
struct TrapState {
  int32_t statement = 0;  // number of the statement being run
  std::string sql;        // the operation's statement text as built so far
  void at(int32_t number) { statement = number; }
  // The statement right after the current one: helpers that run several
  // statements (a procedure text's arguments, an open and its row test) number
  // each of them this way, so the operation leaves room after the first.
  void next() { ++statement; }
};

// Writes the trap's message for `error` into `msgRet`; throws only from the user-id test.
void runTrap(OperationId id, const Variant& userId, Variant& msgRet, const TrapState& state,
             const AutomationError& error);

// True when a user message was written by the trap (a run-time failure such as
// an unreachable database, not a refusal): it begins with a generic text.
bool isTrapMessage(std::string_view message);

// An exception the body let out, as an automation error: its own number and
// description, 7 "Out of memory", or E_UNEXPECTED with the exception's text.
AutomationError asAutomationError(const std::exception& error);

template <class Body>
void withTrap(OperationId id, const Variant& userId, Variant& msgRet, Body&& body) {
  TrapState state;
  try {
    body(state);
  } catch (const std::exception& error) {
    runTrap(id, userId, msgRet, state, asAutomationError(error));
  }
}

}  // namespace z418kt
