// Statements cut into a kept shape and bound values store, byte for byte, the
// rows that the same statements prepared one by one store: the Coleta
// operations run the same work, hostile texts included, on two copies of the
// demo database, one of them with no statement kept, and both files are
// compared value by value (storage class and bytes).
#include <sqlite3.h>

#include <cstring>
#include <regex>

#include "automation/connection_text.h"
#include "support/engine_fixture.h"
#include "support/temp_database.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

using testing::EngineTest;

// Every table of the SQLite file, row by row: each value's storage class and
// bytes. The clock columns (when a row was written) only show their class.
std::string dump(const std::string& connectionText) {
  std::string path = *data::ConnectionText(connectionText).get("Data Source");
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::string out;
  auto each = [&](const std::string& sql, auto&& row) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      out += "cannot read: " + sql + "\n";
      return;
    }
    while (sqlite3_step(s) == SQLITE_ROW) row(s);
    sqlite3_finalize(s);
  };
  std::vector<std::string> tables;
  each("SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name", [&](sqlite3_stmt* s) {
    tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  });
  for (const std::string& table : tables) {
    out += table + "\n";
    each("SELECT * FROM \"" + table + "\" ORDER BY rowid", [&](sqlite3_stmt* s) {
      for (int c = 0; c < sqlite3_column_count(s); ++c) {
        std::string name = sqlite3_column_name(s, c);
        int type = sqlite3_column_type(s, c);
        out += std::to_string(type) + ":";
        // Times, and the marker an event keeps of its transaction, differ from run to run.
        if (name == "DATA_EMISSAO" || name == "ANTES_DATA_EMISSAO" || name == "DATA_HORA" ||
            name == "TX") {
        } else if (type == SQLITE_INTEGER) {
          out += std::to_string(sqlite3_column_int64(s, c));
        } else if (type == SQLITE_FLOAT) {
          double d = sqlite3_column_double(s, c);
          uint64_t bits;
          std::memcpy(&bits, &d, sizeof bits);
          out += std::to_string(bits);
        } else if (type != SQLITE_NULL) {
          const void* bytes = sqlite3_column_blob(s, c);
          std::string value(static_cast<const char*>(bytes), sqlite3_column_bytes(s, c));
          // An event's earlier state carries the Coleta's creation time.
          if (name == "ANTES")
            value =
                std::regex_replace(value, std::regex(R"("\d{4}-\d\d-\d\d \d\d:\d\d:\d\d")"), "");
          out += value;
        }
        out += "|";
      }
      out += "\n";
    });
  }
  sqlite3_close_v2(db);
  return out;
}

class SharedStatements : public EngineTest {};

TEST_P(SharedStatements, StoreTheRowsThatStatementsPreparedOneByOneStore) {
  if (GetParam().name != "sqlite") GTEST_SKIP() << "compares SQLite files";
  testing::TempDatabase plain(testing::TempDatabase::Content::Demo, ";Statement Cache=0");
  const std::vector<std::string> texts = {"Caixas",
                                          "O'Brien",
                                          "'",
                                          "'''",
                                          "x'; DROP TABLE DOCTO_TRANSPORTE; --",
                                          "a' OR '1'='1",
                                          "\\'); DELETE FROM CARGA; --",
                                          "caixa -- frágil",
                                          "/* c */ ' /*",
                                          "barra \\' invertida \\",
                                          "ação ’ ʼ ＇ “aspas”",
                                          "linha 1\r\nlinha 2\t'",
                                          "NULL",
                                          "'NULL'",
                                          "?1",
                                          "$1",
                                          ":nome",
                                          std::string("nul\0inside", 10),
                                          std::string(300, 'x')};
  const std::vector<std::array<const char*, 3>> numbers = {
      {"12,5", "99,9", "0,35"}, {"1", "0", "2,25"}, {"1234,5678", "0,1", "7"}};
  std::string answers[2];
  const std::string databases[2] = {connection(), plain.text()};
  for (int side = 0; side < 2; ++side) {
    conecta = Variant(databases[side]);
    msg = Variant();
    std::string& log = answers[side];
    int n = 0;
    for (const std::string& text : texts) {
      const auto& num = numbers[n++ % numbers.size()];
      testing::Coleta c;
      c.txt = Variant(text);
      c.peso = Variant(num[0]);
      c.valor = Variant(num[1]);
      c.setPieces({{"2", num[2], "1", num[0]}, {"1", "3", num[1], "1,5"}});
      Variant saved = save(c);
      log += vb::concatText(saved) + vb::concatText(msg) + "|";
      if (vb::clng(saved) != 0) continue;  // refused: nothing to read back
      int32_t id = vb::clng(c.id);
      testing::Coleta back;
      Variant found = read(id, back);
      log += vb::concatText(found) + vb::concatText(msg) + vb::concatText(back.txt) +
             vb::concatText(back.peso) + vb::concatText(back.valor);
      for (const std::string& row : back.rows(4)) log += row;
      // Saved again as it was read; every third one removed.
      back.id = Variant(id);
      saved = save(back);
      log += vb::concatText(saved) + vb::concatText(msg) + "|";
      if (n % 3 != 0) continue;
      Variant erased = erase(id);
      log += vb::concatText(erased) + vb::concatText(msg) + "\n";
    }
  }
  conecta = Variant(connection());
  EXPECT_EQ(answers[0], answers[1]);
  EXPECT_EQ(dump(connection()), dump(plain.text()));
}

INSTANTIATE_ENGINE_TEST(SharedStatements);

}  // namespace
}  // namespace z418kt
