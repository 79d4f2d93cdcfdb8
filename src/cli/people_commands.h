// The commands for people: show, save and delete a Coleta, show a party.
// Each calls the g... operations through the interface and prints a tidy
// table and the user message (or, with `json`, the call's JSON answer).
// Numbers are checked before any call: an id, a count or a measure that is
// malformed (or not finite) is a usage error and nothing is called. A status
// 10 without a message gets an explanation; a save that stopped half-way
// says what it stored.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "json/named_call.h"

namespace z418kt::cli {

using json::CallContext;

// Exit codes of the people's commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;    // status 10, or the call failed as a whole
inline constexpr int kExitUsage = 2;     // wrong usage: nothing was called
inline constexpr int kExitNotFound = 3;  // no such Coleta or party

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

// Splits "2x0.5x0.4x0.3" (or with 'X') into its four texts: a whole number of
// volumes and three decimal measures. False if it is not that form.
bool parseCargo(const std::string& text, std::vector<std::string>& parts);

int showColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o);
int saveColeta(Z418kt& component, const CallContext& context, const ColetaFields& fields, Output o);
int deleteColeta(Z418kt& component, const CallContext& context, const std::string& id, Output o);
int showPessoa(Z418kt& component, const CallContext& context, const std::string& id, Output o);

}  // namespace z418kt::cli
