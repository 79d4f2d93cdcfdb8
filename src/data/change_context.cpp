#include "data/change_context.h"

#include <utility>

#include "automation/utf8.h"
#include "z418kt/automation_error.h"
#include "z418kt/change_context.h"

namespace z418kt {

namespace {
thread_local std::string tActor;
thread_local std::string tUser;

// The text as an SQL literal of at most `limit` bytes: whole characters only,
// control characters and malformed bytes as '?', quotes doubled. NULL when empty.
std::string literal(const std::string& text, size_t limit) {
  if (text.empty()) return "NULL";
  std::string clean;
  for (size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    size_t n = utf8::sequenceAt(text, pos, cp);
    std::string piece = n == 0 || cp < 0x20 || cp == 0x7f ? "?" : text.substr(pos, n);
    if (clean.size() + piece.size() > limit) break;
    clean += piece;
    pos += n == 0 ? 1 : n;
  }
  std::string out = "'";
  for (char c : clean) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

bool missingTable(const AutomationError& e) {
  return e.description.find("no such table") != std::string::npos;
}
}  // namespace

ChangeActor::ChangeActor(std::string name) : previous_(std::exchange(tActor, std::move(name))) {}
ChangeActor::~ChangeActor() { tActor = std::move(previous_); }
std::string ChangeActor::current() { return tActor; }

namespace data {

ScopedChangeUser::ScopedChangeUser(std::string user)
    : previous_(std::exchange(tUser, std::move(user))) {}
ScopedChangeUser::~ScopedChangeUser() { tUser = std::move(previous_); }

bool openChangeContext(Connection& session) {
  if (tUser.empty() && tActor.empty()) return false;
  const std::string engine = session.engine();
  const std::string user = literal(tUser, 40), actor = literal(tActor, 100);
  if (engine == "sqlite") {
    try {
      session.execute(
          "INSERT OR REPLACE INTO KTR_EVENTO_CONTEXTO (CONTEXTO_ID, USUARIO_ID, ORIGEM) "
          "VALUES (1, " +
          user + ", " + actor + ")");
      return true;
    } catch (const AutomationError& e) {
      if (missingTable(e)) return false;
      throw;
    }
  }
  // The settings end with the transaction on their own.
  if (engine.find("postgres") != std::string::npos)
    session.execute("SELECT set_config('z418kt.usuario', " + (user == "NULL" ? "''" : user) +
                    ", true), set_config('z418kt.origem', " + (actor == "NULL" ? "''" : actor) +
                    ", true)");
  return false;
}

void closeChangeContext(Connection& session) {
  if (session.engine() == "sqlite")
    session.execute("DELETE FROM KTR_EVENTO_CONTEXTO WHERE CONTEXTO_ID = 1");
}

}  // namespace data
}  // namespace z418kt
