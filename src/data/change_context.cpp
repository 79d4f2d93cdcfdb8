#include "data/change_context.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <utility>

#include "automation/utf8.h"
#include "z418kt/automation_error.h"
#include "z418kt/change_context.h"

namespace z418kt {

namespace {
thread_local std::string tActor;
thread_local std::string tUser;
thread_local std::string tChange;  // the step-by-step change's mark, "" outside one

// A mark no other change of any process has: a random prefix per process
// and a counter. At most 32 characters (the width of KTR_EVENTO.TX), never
// all digits (a transaction id is).
std::string newChangeMark() {
  static const unsigned long long prefix = [] {
    std::random_device device;
    return (static_cast<unsigned long long>(device()) << 32) ^ device();
  }();
  static std::atomic<unsigned long long> counter{0};
  char text[40];
  std::snprintf(text, sizeof text, "z%016llx-%llx", prefix, ++counter);
  return text;
}

bool isPostgres(const data::Connection& session) {
  return session.engine().find("postgres") != std::string::npos;
}

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

namespace {
// The statement giving `session`'s settings this thread's context; `local`:
// for the transaction only.
std::string settingsStatement(bool local) {
  auto setting = [&](const char* name, const std::string& value, size_t limit) {
    const std::string text = literal(value, limit);
    return std::string("set_config('z418kt.") + name + "', " + (text == "NULL" ? "''" : text) +
           (local ? ", true)" : ", false)");
  };
  std::string statement =
      "SELECT " + setting("usuario", tUser, 40) + ", " + setting("origem", tActor, 100);
  if (!tChange.empty()) statement += ", " + setting("mudanca", tChange, 32);
  return statement;
}
}  // namespace

ScopedStepByStepChange::ScopedStepByStepChange() : owner_(tChange.empty()) {
  if (owner_) tChange = newChangeMark();
}
ScopedStepByStepChange::~ScopedStepByStepChange() {
  if (owner_) tChange.clear();
}

bool insideStepByStepChange() { return !tChange.empty(); }

RowSet executeOnItsOwn(Connection& session, const std::string& statement) {
  if (tChange.empty() || !isPostgres(session)) return session.execute(statement);
  session.execute(settingsStatement(false));
  const std::string clear =
      "SELECT set_config('z418kt.mudanca', '', false), set_config('z418kt.usuario', '', false), "
      "set_config('z418kt.origem', '', false)";
  // Whatever the statement answered stands: clearing fails only on a session
  // that lost its server, which the pool never lends again.
  auto clearAfter = [&] {
    try {
      session.execute(clear);
    } catch (const std::exception&) {
    }
  };
  RowSet rows;
  try {
    rows = session.execute(statement);
  } catch (const std::exception&) {
    clearAfter();
    throw;
  }
  clearAfter();
  return rows;
}

bool openChangeContext(Connection& session) {
  if (tUser.empty() && tActor.empty() && tChange.empty()) return false;
  // The settings end with the transaction on their own.
  if (isPostgres(session)) {
    session.execute(settingsStatement(true));
    return false;
  }
  if (tUser.empty() && tActor.empty()) return false;
  const std::string user = literal(tUser, 40), actor = literal(tActor, 100);
  if (session.engine() == "sqlite") {
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
  return false;
}

void closeChangeContext(Connection& session) {
  if (session.engine() == "sqlite")
    session.execute("DELETE FROM KTR_EVENTO_CONTEXTO WHERE CONTEXTO_ID = 1");
}

}  // namespace data
}  // namespace z418kt
