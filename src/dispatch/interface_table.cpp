#include <strings.h>

#include <iterator>
#include <string>
#include <utility>

#include "kit/operation_table.h"
#include "z418kt/interface.h"

namespace z418kt {

namespace {

Variant asResult(bool b) { return Variant::boolean(b); }

// Calls a g... operation: every parameter is a variant.
template <class... P, size_t... I>
Variant callAll(Z418kt& o, Variant (Z418kt::*fn)(P...), std::vector<Variant>& a,
                std::index_sequence<I...>) {
  return (o.*fn)(a[I]...);
}

// Calls an m... operation: the connection travels as a text and is written back.
template <class... P, size_t... I>
Variant callWithText(Z418kt& o, bool (Z418kt::*fn)(std::string&, P...), std::vector<Variant>& a,
                     std::index_sequence<I...>) {
  std::string connection = vb::cstr(a[0]);
  bool result = (o.*fn)(connection, a[I + 1]...);
  a[0] = Variant(connection);
  return asResult(result);
}

template <auto Fn>
struct Call;
template <class... P, Variant (Z418kt::*Fn)(P...)>
struct Call<Fn> {
  static constexpr std::size_t kArity = sizeof...(P);
  static constexpr bool kReturnsStatus = true;
  static Variant run(Z418kt& o, std::vector<Variant>& a) {
    return callAll(o, Fn, a, std::index_sequence_for<P...>{});
  }
};
template <class... P, bool (Z418kt::*Fn)(std::string&, P...)>
struct Call<Fn> {
  static constexpr std::size_t kArity = 1 + sizeof...(P);
  static constexpr bool kReturnsStatus = false;
  static Variant run(Z418kt& o, std::vector<Variant>& a) {
    return callWithText(o, Fn, a, std::index_sequence_for<P...>{});
  }
};

// One public operation bound to its member function. The member's name, its
// parameter count and its result kind are taken from the member itself, so
// the check below can hold them against the operation's row.
struct Binding {
  OperationId id;
  std::string_view member;
  std::size_t arity;
  bool returnsStatus;
  Variant (*call)(Z418kt&, std::vector<Variant>&);
};

#define Z418KT_BIND(operation)                                                   \
  Binding {                                                                      \
    OperationId::operation, #operation, Call<&Z418kt::operation>::kArity,        \
        Call<&Z418kt::operation>::kReturnsStatus, &Call<&Z418kt::operation>::run \
  }

constexpr Binding kBindings[] = {
    Z418KT_BIND(gConsulta_Coleta),
    Z418KT_BIND(mConsulta_Qtde_AWB_COLETA),
    Z418KT_BIND(gConsulta_Dados_Pessoa),
    Z418KT_BIND(mConsulta_Campos_vENDERECO_PESSOA),
    Z418KT_BIND(gExclui_Coleta),
    Z418KT_BIND(gGrava_Coleta),
    Z418KT_BIND(mAltera_Campos_DOCTO_TRANSPORTE),
    Z418KT_BIND(mConsiste_Campos),
    Z418KT_BIND(mExclui_Campos_DOCTO_TRANSPORTE),
    Z418KT_BIND(mConsulta_Campos_DOCTO_TRANSPORTE),
    Z418KT_BIND(mInclui_Campos_CARGA),
    Z418KT_BIND(mConsulta_Campos_LISTA_CARGA),
    Z418KT_BIND(mExclui_Campos_CARGA),
    Z418KT_BIND(mInclui_Campos_DOCTO_TRANSPORTE),
};

#undef Z418KT_BIND

// Every public row has its member, in slot order, under the row's name and
// with as many parameters as the row names.
constexpr bool bindingsMatchRows() {
  if (std::size(kBindings) != kPublicOperationCount) return false;
  for (std::size_t slot = 0; slot < kPublicOperationCount; ++slot) {
    const Binding& b = kBindings[slot];
    const OperationRow& row = kOperations[slot];
    if (b.id != row.id || b.member != row.name || b.arity != row.parameters.size()) return false;
  }
  return true;
}
static_assert(bindingsMatchRows(), "the public class and the operation table disagree");

std::vector<InterfaceEntry> buildTable() {
  std::vector<InterfaceEntry> table;
  for (std::size_t slot = 0; slot < kPublicOperationCount; ++slot) {
    const OperationRow& row = kOperations[slot];
    const auto index = static_cast<int>(slot);
    table.push_back({index, row.name, kFirstDispid + index,
                     std::vector<std::string_view>(row.parameters.begin(), row.parameters.end()),
                     kBindings[slot].returnsStatus, kBindings[slot].call});
  }
  return table;
}

}  // namespace

const std::vector<InterfaceEntry>& interfaceTable() {
  static const std::vector<InterfaceEntry> table = buildTable();
  return table;
}

const InterfaceEntry* findOperation(std::string_view name) {
  for (const InterfaceEntry& e : interfaceTable()) {
    if (e.name.size() == name.size() && strncasecmp(e.name.data(), name.data(), name.size()) == 0)
      return &e;
  }
  return nullptr;
}

const InterfaceEntry* findOperation(int32_t dispid) {
  // In 64 bits: a negative identifier minus the first one does not fit 32.
  int64_t slot = int64_t{dispid} - kFirstDispid;
  const auto& table = interfaceTable();
  if (slot < 0 || slot >= static_cast<int64_t>(table.size())) return nullptr;
  return &table[static_cast<size_t>(slot)];
}

Variant invoke(Z418kt& component, const InterfaceEntry& entry, std::vector<Variant>& args) {
  if (args.size() != entry.parameters.size()) throw errors::wrongArgumentCount();
  return entry.call(component, args);
}

Variant invoke(Z418kt& component, std::string_view name, std::vector<Variant>& args) {
  const InterfaceEntry* entry = findOperation(name);
  if (!entry) throw errors::unknownName();
  return invoke(component, *entry, args);
}

Variant invoke(Z418kt& component, int32_t dispid, std::vector<Variant>& args) {
  const InterfaceEntry* entry = findOperation(dispid);
  if (!entry) throw errors::unknownName();
  return invoke(component, *entry, args);
}

}  // namespace z418kt
