#include "record/named_call.h"

#include <strings.h>

namespace z418kt::record {

namespace {

size_t indexOf(const InterfaceEntry& entry, std::string_view name) {
  for (size_t k = 0; k < entry.parameters.size(); ++k) {
    std::string_view p = entry.parameters[k];
    if (p.size() == name.size() && strncasecmp(p.data(), name.data(), p.size()) == 0) return k;
  }
  throw AutomationError(448, "Named argument not found: " + std::string(name));
}

}  // namespace

const Variant& Outcome::arg(std::string_view name) const { return args.at(indexOf(*entry, name)); }

int Outcome::status() const {
  if (result.type() == VarType::I2) return result.i2();
  if (result.type() == VarType::Bool) return result.boolValue() ? 0 : 10;
  return 10;
}

bool Outcome::succeeded() const { return status() == 0; }

std::string Outcome::message() const { return displayText(arg("outvntMsg_Ret")); }

Outcome callOperation(Z418kt& component, const CallContext& context, std::string_view operation,
                      NamedArgs given) {
  const InterfaceEntry* entry = findOperation(operation);
  if (!entry) throw errors::unknownName();
  Outcome outcome;
  outcome.entry = entry;
  outcome.args.resize(entry->parameters.size());
  outcome.args[0] = Variant(context.connection);
  outcome.args[1] = Variant(context.userId);
  outcome.args[3] = Variant(context.databaseKind);
  outcome.args[4] = Variant("z418kt");
  for (auto& [name, value] : given) outcome.args[indexOf(*entry, name)] = std::move(value);
  outcome.result = invoke(component, *entry, outcome.args);
  return outcome;
}

std::string displayText(const Variant& value) {
  Variant v = vb::resolved(value);
  if (v.isNull()) return "(nulo)";
  if (v.isArray()) return "[matriz]";
  return vb::cstr(v);
}

}  // namespace z418kt::record
