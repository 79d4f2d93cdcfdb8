// Calls an operation by parameter name, the one way the front door (and the
// demo's tour of the operations) reaches them: the caller context fills its
// four arguments, the others are given by name (anything not given is Empty),
// and the outcome keeps every argument as the call left it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "z418kt/coletas.h"
#include "z418kt/interface.h"

namespace z418kt::record {

struct Outcome {
  const InterfaceEntry* entry = nullptr;
  Variant result;
  std::vector<Variant> args;

  // The argument named `name` (case-insensitive); 448 for an unknown name.
  const Variant& arg(std::string_view name) const;
  // The status of a g... operation (10 when the result is no number).
  int status() const;
  bool succeeded() const;  // status 0, or True for an m... operation
  std::string message() const;
};

using NamedArgs = std::vector<std::pair<std::string_view, Variant>>;

// Throws AutomationError when the call fails as a whole.
Outcome callOperation(Z418kt& component, const CallContext& context, std::string_view operation,
                      NamedArgs given);

// The text a person reads for a value: Null "(nulo)", an array "[matriz]",
// anything else its VB text.
std::string displayText(const Variant& value);

}  // namespace z418kt::record
