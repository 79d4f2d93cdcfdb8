// The commands for people: show, save and delete a Coleta, show a party.
// Each calls the g... operations through the interface and prints a tidy
// table and the user message (or, with `json`, the call's JSON answer).
// Each returns the exit code: 0 on status 0, 1 on status 10 or when the call
// fails as a whole, 2 for a cargo piece that is not VOLxLxAxC.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "json/named_call.h"

namespace z418kt::cli {

using json::CallContext;

struct Output {
  std::ostream& out;
  std::ostream& err;
  bool json = false;
};

struct ColetaFields {
  std::string id = "0";  // 0: a new Coleta
  std::string cliente, remetente, destinatario, volumes, peso, valor, embalagem;
  std::vector<std::string> cargas;  // "VOLxLxAxC": volumes, width, height, length
};

// Splits "2x0.5x0.4x0.3" (or with 'X') into its four texts; false if it is not that form.
bool parseCargo(const std::string& text, std::vector<std::string>& parts);

int showColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o);
int saveColeta(Z418kt& component, const CallContext& context, const ColetaFields& fields, Output o);
int deleteColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o);
int showPessoa(Z418kt& component, const CallContext& context, const std::string& id, Output o);

}  // namespace z418kt::cli
