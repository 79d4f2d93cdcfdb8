#include "support/engine_fixture.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "data/recordset.h"
#include "support/temp_database.h"
#include "z418kt/safe_array.h"

namespace z418kt::testing {

namespace {

std::map<std::string, TestEngineFactory>& registry() {
  static std::map<std::string, TestEngineFactory> engines;
  return engines;
}

class SqliteTestDatabase : public TestDatabase {
 public:
  explicit SqliteTestDatabase(const std::string& extra = "")
      : file_(TempDatabase::Content::Demo, extra) {}
  std::string connection() const override { return file_.text(); }

 private:
  TempDatabase file_;
};

const TestEngineRegistrar sqliteEngine("sqlite",
                                       [] { return std::make_unique<SqliteTestDatabase>(); });
// Every statement prepared for itself, none through a kept shape: the same
// bodies must behave alike both ways.
const TestEngineRegistrar unsharedSqliteEngine("sqlite+unshared", [] {
  return std::make_unique<SqliteTestDatabase>(";Statement Cache=0");
});

}  // namespace

void registerTestEngine(const std::string& name, TestEngineFactory factory) {
  registry()[name] = std::move(factory);
}

std::vector<EngineParam> engineParams() {
  std::vector<EngineParam> params;
  for (const auto& [name, factory] : registry())
    for (const char* dialect : {"ORACLE", "SQLSERVER"})
      params.push_back({name, name.substr(0, name.find('+')), dialect});
  return params;
}

std::string engineParamName(const ::testing::TestParamInfo<EngineParam>& info) {
  std::string name = info.param.name + "_" + info.param.dialect;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

void EngineTest::SetUp() {
  auto it = registry().find(GetParam().name);
  ASSERT_NE(it, registry().end()) << "unknown engine " << GetParam().name;
  database_ = it->second();
  if (!database_) GTEST_SKIP() << "engine " << GetParam().name << " is not available here";
  connectionText_ = database_->connection();

  previousFactories_ = outside::installFactories(outside::defaultFactories());
  // A runner of the test's own: its pool closes with it, before the database goes.
  previousRunner_ = data::installStatementRunner(data::makeDatabaseRunner());
  installed_ = true;

  conecta = Variant(connectionText_);
  usuario = Variant(int32_t{1});
  empresa = Variant(int32_t{1});
  bancoDados = banco();
  produto = Variant("Z418KT");
}

void EngineTest::TearDown() {
  if (installed_) {
    data::installStatementRunner(previousRunner_);
    outside::installFactories(previousFactories_);
    installed_ = false;
  }
  database_.reset();
}

Variant EngineTest::queryValue(const std::string& statement) {
  // Straight through the installed runner: the first column, whatever its name.
  data::OpenRequest request{statement,          connectionText_,      data::adUseClient,
                            data::adOpenStatic, data::adLockReadOnly, data::adUnspecified};
  data::RowSet rows = data::currentStatementRunner()->run(request);
  if (!rows.hasResultSet || rows.rows.empty() || rows.columns.empty()) return Variant();
  return rows.rows.front().front();
}

int32_t EngineTest::queryInt(const std::string& statement) {
  Variant v = queryValue(statement);
  return v.isNull() ? 0 : vb::clng(v);
}

std::string EngineTest::queryText(const std::string& statement) {
  return vb::concatText(queryValue(statement));
}

void EngineTest::execute(const std::string& statement) {
  data::Recordset rs;
  rs.open(statement, connectionText_, data::adUnspecified, data::adUnspecified,
          data::adUnspecified);
}

void Coleta::setPieces(const std::vector<std::array<Variant, 4>>& rows) {
  const auto count = static_cast<int32_t>(rows.size());
  SafeArray m = SafeArray::zeroBased(4, count - 1);
  for (int32_t r = 0; r < count; ++r)
    for (int32_t c = 0; c < 4; ++c) m.at(c, r) = rows[r][c];
  linhas = Variant(count);
  matriz = Variant(std::move(m));
}

std::vector<std::string> Coleta::rows(int32_t columns) const {
  std::vector<std::string> out;
  for (int32_t r = 0; r < vb::clng(linhas); ++r) {
    out.emplace_back();
    for (int32_t c = 0; c < columns; ++c) out.back() += vb::cstr(matriz.array().at(c, r)) + "|";
  }
  std::sort(out.begin(), out.end());
  return out;
}

Variant EngineTest::save(Coleta& c, Z418kt* on) {
  return (on ? *on : component_)
      .gGrava_Coleta(conecta, usuario, empresa, bancoDados, produto, c.cliente, c.destino, c.origem,
                     c.volumes, c.peso, c.txt, c.valor, c.linhas, c.colunas, c.matriz, c.id, msg);
}

Variant EngineTest::read(int32_t id, Coleta& c) {
  c = Coleta{};
  for (Variant* v : {&c.cliente, &c.destino, &c.origem, &c.volumes, &c.peso, &c.txt, &c.valor,
                     &c.linhas, &c.colunas, &c.matriz, &c.clienteNome})
    *v = Variant("unread");
  c.id = Variant(id);
  msg = Variant("untouched");
  return component_.gConsulta_Coleta(
      conecta, usuario, empresa, bancoDados, produto, c.id, c.destino, c.origem, c.volumes, c.peso,
      c.txt, c.valor, c.linhas, c.colunas, c.matriz, c.texto, c.cliente, c.clienteNome, msg);
}

Variant EngineTest::erase(int32_t id) {
  Variant docId(id);
  return component_.gExclui_Coleta(conecta, usuario, empresa, bancoDados, produto, docId, msg);
}

}  // namespace z418kt::testing
