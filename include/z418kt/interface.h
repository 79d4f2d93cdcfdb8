// The _Z418kt interface as data: one row per slot with its name, dispatch
// identifier (0x60030000 + slot) and parameter names, and late-bound calls by
// name (ignoring case, as IDispatch does) or by dispatch identifier.
//
// invoke converts nothing but the connection text of the m... operations,
// which it hands over as a text and writes back into its variant. An unknown
// name raises 438, a wrong number of arguments 450; an error that leaves the
// operation itself (see z418kt.h) propagates as the call's failure.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "z418kt/variant.h"
#include "z418kt/z418kt.h"

namespace z418kt {

struct InterfaceEntry {
  int slot;
  std::string_view name;
  int32_t dispid;
  std::vector<std::string_view> parameters;
  bool returnsStatus;  // g... operations: 16-bit status; m...: Boolean
  Variant (*call)(Z418kt&, std::vector<Variant>&);
};

inline constexpr int32_t kFirstDispid = 0x60030000;

// The fourteen slots in interface order.
const std::vector<InterfaceEntry>& interfaceTable();
const InterfaceEntry* findOperation(std::string_view name);
const InterfaceEntry* findOperation(int32_t dispid);

Variant invoke(Z418kt& component, const InterfaceEntry& entry, std::vector<Variant>& args);
Variant invoke(Z418kt& component, std::string_view name, std::vector<Variant>& args);
Variant invoke(Z418kt& component, int32_t dispid, std::vector<Variant>& args);

}  // namespace z418kt
