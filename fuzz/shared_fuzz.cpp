// Fuzz target: statements with literal values give the same answer, store the
// same rows and fail with the same message whether SQLite runs them through a
// kept shape with bound values or prepares each text for itself.
//
// The input is up to three values (split at '\n'), written into statement
// templates the way the component writes values: a value made only of number
// characters as it stands, anything else as a quoted text with its quotes
// doubled. The first byte picks the template. Two sessions, one with
// statements kept and one without, run every statement; after each input both
// tables are read back whole and compared too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/sqlite_connection.h"
#include "z418kt/automation_error.h"

namespace {

using z418kt::data::RowSet;
using z418kt::data::SqliteConnection;

void require(bool promise) {
  if (!promise) __builtin_trap();
}

struct Pair {
  std::string files[2];
  std::unique_ptr<SqliteConnection> sessions[2];
  Pair() {
    for (int i = 0; i < 2; ++i) {
      files[i] = "/tmp/z418kt-shared-fuzz-" + std::to_string(getpid()) + "-" + std::to_string(i);
      std::remove(files[i].c_str());
      std::string text = "Provider=SQLite;Data Source=" + files[i] + ";Synchronous=Off";
      if (i == 1) text += ";Statement Cache=0";
      sessions[i] = std::make_unique<SqliteConnection>(text, true);
      sessions[i]->execute("CREATE TABLE V (I INTEGER, T TEXT, R REAL, N NUMERIC, B)");
      sessions[i]->execute(
          "INSERT INTO V VALUES (1, 'a', 1.5, '2', X'00'), (NULL, '1', 0, 3, 'b')");
    }
  }
  ~Pair() {
    for (int i = 0; i < 2; ++i) {
      sessions[i].reset();
      std::remove(files[i].c_str());
    }
  }
};

std::string outcome(SqliteConnection& session, const std::string& statement) {
  RowSet rows;
  try {
    rows = session.execute(statement);
  } catch (const z418kt::AutomationError& e) {
    return "error " + e.description;
  }
  std::string out = rows.hasResultSet ? "rows" : "none";
  for (const auto& c : rows.columns) out += "[" + c + "]";
  for (const auto& row : rows.rows)
    for (const z418kt::Variant& v : row) {
      out += std::to_string(static_cast<int>(v.type())) + ":";
      if (v.type() == z418kt::VarType::I4) out += std::to_string(v.i4());
      if (v.type() == z418kt::VarType::R8) {
        double d = v.r8();
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        out += std::to_string(bits);
      }
      if (v.isText()) out += v.text();
      out += "|";
    }
  return out;
}

std::string literal(std::string_view value) {
  if (!value.empty() && value.find_first_not_of("0123456789.eE+-") == std::string_view::npos)
    return std::string(value);
  std::string out = "'";
  for (char c : value) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

const char* const kTemplates[] = {
    ("SELECT I, T, R, N, B, typeof(I), typeof(N) FROM V WHERE I = {0} OR T = {1} OR R = {2} OR "
     "N = {0} OR B = {1}"),
    "INSERT INTO V VALUES ({0}, {1}, {2}, {0}, {1})",
    "UPDATE V SET T = {0} || {1} , R = {2} WHERE rowid = (SELECT max(rowid) FROM V)",
    "SELECT {0} X, {1} AS Y, {2} FROM V LIMIT 1",
    "SELECT COUNT(*) FROM V WHERE T LIKE {0} OR T IN ({1}, {2}) OR I BETWEEN {2} AND {0}",
    "SELECT {0} + {1} S, - {2} M, {0} * {2}, CASE WHEN {0} = {1} THEN 'y' ELSE 'n' END C FROM V",
    "SELECT substr(T, {0}, {1}) S FROM V WHERE length(T) > {2} ORDER BY 1",
    "DELETE FROM V WHERE T = {0} OR R < {2}",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Pair pair;
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string> values;
  while (values.size() < 3) {
    size_t cut = input.find('\n');
    values.push_back(literal(input.substr(0, cut)));
    input = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
  }
  std::string statement;
  for (const char* t = kTemplates[data[0] % std::size(kTemplates)]; *t; ++t) {
    if (*t != '{') {
      statement += *t;
      continue;
    }
    statement += values[static_cast<size_t>(t[1] - '0')];
    t += 2;
  }
  for (const std::string& s :
       {statement, std::string("SELECT rowid, I, T, R, N, B FROM V ORDER BY rowid"),
        std::string("DELETE FROM V WHERE rowid NOT IN (SELECT rowid FROM V ORDER BY rowid DESC "
                    "LIMIT 32)")})
    require(outcome(*pair.sessions[0], s) == outcome(*pair.sessions[1], s));
  return 0;
}
