// The commands for people: show, save, delete and list Coletas; show and find
// parties. Each parses its arguments, asks the front door and prints a tidy
// table and the messages (or, with `json`, the JSON of the HTTP resource).
// Numbers are read before anything is asked: an id or count that is no whole
// number, or a measure or amount that is malformed or ambiguous ("1.500": a
// thousand and five hundred, or one and a half?), is wrong usage and nothing
// is stored.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "z418kt/coletas.h"

namespace z418kt::cli {

// Exit codes of the people's commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;    // refused by the rules (each error on a line), or failed
inline constexpr int kExitUsage = 2;     // wrong usage: nothing was asked
inline constexpr int kExitNotFound = 3;  // no such Coleta or party
inline constexpr int kExitLocked = 4;    // the Coleta has air waybills: it cannot change
inline constexpr int kExitUnavailable = 5;  // the database could not be reached: try later

struct Output {
  std::ostream& out;
  std::ostream& err;
  bool json = false;
};

struct ColetaFields {
  std::string id = "0";  // 0: a new Coleta
  std::string cliente, remetente, destinatario, volumes, peso, valor, embalagem;
  std::vector<std::string> cargas;  // "VOLxLxAxC": volumes, width, height, length
  std::string idempotencyKey;       // a new Coleta: a retry with the same key stores nothing new
};

struct ListFields {
  std::string cliente, remetente, destinatario, desde, ate, limite = "50", cursor;
};

// Splits "2x0.5x0.4x0.3" (or with 'X') into a piece: a whole number of
// volumes and three measures. The reason when it is not that form.
bool parseCargo(const std::string& text, Peca& piece, std::string& why);

int showColeta(const FrontDoor& door, const std::string& id, Output o);
int saveColeta(const FrontDoor& door, const ColetaFields& fields, Output o);
int deleteColeta(const FrontDoor& door, const std::string& id, Output o);
int listColetas(const FrontDoor& door, const ListFields& fields, Output o);
int showPessoa(const FrontDoor& door, const std::string& id, Output o);
int findPessoas(const FrontDoor& door, const std::string& q, const std::string& limite,
                const std::string& cursor, Output o);

}  // namespace z418kt::cli
