// EngineTest: one integration-test body run once per (engine × dialect).
//
// Each test gets a fresh database holding the schema, the procedures and the
// demo data, the real default outside components and the real database
// runner (whatever fakes were installed are set aside for the test and put
// back afterwards), and a real Z418kt.
//
//   class ColetaFlow : public z418kt::testing::EngineTest {};
//   TEST_P(ColetaFlow, ReadsTheDemoColeta) {
//     Variant id = demo::kColeta;
//     ... component().gConsulta_Coleta(conecta, usuario, empresa, bancoDados, produto, id, ...);
//     EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA WHERE DOCTO_TRANSPORTE_ID = 100"), 3);
//   }
//   INSTANTIATE_ENGINE_TEST(ColetaFlow);
//
// Dialects: "ORACLE" (plain SQL) and "SQLSERVER" (the stored procedures).
// Engines: "sqlite" always; others register themselves from their own file:
//   static z418kt::testing::TestEngineRegistrar reg("postgresql", [] { ... });
// A name "engine+route" is the same engine reached another way (another
// provider): engine() is the part before the '+'.
// A factory returns nullptr when its engine is not available here (the test
// is then skipped).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "data/statement_runner.h"
#include "outside/components.h"
#include "z418kt/variant.h"
#include "z418kt/z418kt.h"

namespace z418kt::testing {

// A database prepared for one test; destroying it removes it.
class TestDatabase {
 public:
  virtual ~TestDatabase() = default;
  // Connection text of an initialised database with the demo data.
  virtual std::string connection() const = 0;
};

using TestEngineFactory = std::function<std::unique_ptr<TestDatabase>()>;

void registerTestEngine(const std::string& name, TestEngineFactory factory);

struct TestEngineRegistrar {
  TestEngineRegistrar(const std::string& name, TestEngineFactory factory) {
    registerTestEngine(name, std::move(factory));
  }
};

struct EngineParam {
  std::string name;     // as registered: "sqlite", "postgresql+libpq"
  std::string engine;   // "sqlite", "postgresql"
  std::string dialect;  // "ORACLE" or "SQLSERVER"
};

// How gtest shows a parameter in test names and messages: "sqlite/ORACLE".
inline void PrintTo(const EngineParam& param, std::ostream* os) {
  *os << param.name << "/" << param.dialect;
}

// Every registered engine × both dialects.
std::vector<EngineParam> engineParams();
std::string engineParamName(const ::testing::TestParamInfo<EngineParam>& info);

#define INSTANTIATE_ENGINE_TEST(Fixture)                                           \
  INSTANTIATE_TEST_SUITE_P(Engines, Fixture,                                       \
                           ::testing::ValuesIn(::z418kt::testing::engineParams()), \
                           ::z418kt::testing::engineParamName)

// The keys of the demo data (db/<engine>/demo.sql).
namespace demo {
inline constexpr int32_t kColeta = 100;  // status 1, type 5, client 2, addressee 11, sender 12,
                                         // pieces 200 to 202
inline constexpr int32_t kAwb = 101;     // type 115, status 1, under kColeta (102: status 2)
inline constexpr int32_t kColetaSemAwb = 110;  // status 1, type 5, client 3: no AWBs, no pieces
inline constexpr int32_t kColetaVolumes = 6;
inline constexpr const char* kColetaEmbalagem = "Caixas de papelão";
inline constexpr int32_t kPessoaFisica = 1;  // person (PF_CPF set), a client
inline constexpr int32_t kEmpresa = 2;       // company (PJ_CGC set, PF_CPF NULL), a client
inline constexpr int32_t kEmpresa2 = 3;      // company, a client
inline constexpr const char* kEmpresaFantasia = "Aurora Peças";  // NOME_FANTASIA of kEmpresa
inline constexpr int32_t kEnderecoPessoaFisica = 11;  // address of kPessoaFisica (São Paulo, SAO)
inline constexpr int32_t kEnderecoEmpresa = 12;       // address of kEmpresa (Campinas, VCP)
inline constexpr int32_t kEnderecoNaoCliente = 14;    // address of company 4, not in vCLIENTE
inline constexpr int32_t kFirstNewKey = 1000;         // first key the sequences hand out
}  // namespace demo

// The arguments of gGrava_Coleta after the caller context, in its order, and
// the read's other outputs. By default a new Coleta of kEmpresa without pieces.
struct Coleta {
  Variant cliente{int32_t{demo::kEmpresa}}, destino{int32_t{demo::kEnderecoPessoaFisica}},
      origem{int32_t{demo::kEnderecoEmpresa}}, volumes{int32_t{3}}, peso{"12,5"}, txt{"Envelopes"},
      valor{"99,9"}, linhas{int32_t{0}}, colunas{int32_t{5}}, matriz, id{int32_t{0}},
      texto{"caller text"}, clienteNome;

  // The cargo rows as the caller gives them: volumes, width, height, length.
  void setPieces(const std::vector<std::array<Variant, 4>>& rows);
  // The cargo rows (the first `columns` columns as text), sorted: neither
  // dialect orders the pieces.
  std::vector<std::string> rows(int32_t columns) const;
};

class EngineTest : public ::testing::TestWithParam<EngineParam> {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::string& connection() const { return connectionText_; }
  // The value for invntBanco_Dados: "ORACLE" or "SQLSERVER".
  Variant banco() const { return Variant(GetParam().dialect); }
  bool oracle() const { return GetParam().dialect == "ORACLE"; }
  const std::string& engine() const { return GetParam().engine; }
  Z418kt& component() { return component_; }

  // Runs a statement through a record set on the test database: the first
  // column of the first row, Empty when there is no row or no result set.
  Variant queryValue(const std::string& statement);
  // queryValue as a 32-bit integer (0 for Empty or Null).
  int32_t queryInt(const std::string& statement);
  // queryValue as text ("" for Empty or Null).
  std::string queryText(const std::string& statement);
  // Runs a statement whose result is not wanted.
  void execute(const std::string& statement);

  // gGrava_Coleta, gConsulta_Coleta and gExclui_Coleta with the caller
  // context; their message lands in `msg`. The read first marks every output
  // "unread" and `msg` "untouched", so that whatever it does not write shows.
  Variant save(Coleta& c, Z418kt* on = nullptr);
  Variant read(int32_t id, Coleta& c);
  Variant erase(int32_t id);

  // Caller context, ready to pass by reference: the connection as a variant,
  // user 1 (so failures carry the diagnostic suffix), company 1, the dialect.
  Variant conecta, usuario, empresa, bancoDados, produto, msg;

 private:
  std::unique_ptr<TestDatabase> database_;
  std::string connectionText_;
  Z418kt component_;
  outside::Factories previousFactories_;
  std::shared_ptr<data::StatementRunner> previousRunner_;
  bool installed_ = false;
};

}  // namespace z418kt::testing
