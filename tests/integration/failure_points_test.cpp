// Every place where a Coleta operation can fail reports a statement number of
// its own: the test makes each statement and each outside-component call fail
// in turn, with user id 1, and collects the number the trap reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "data/recordset.h"
#include "outside/components.h"
#include "support/engine_fixture.h"
#include "support/temp_database.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

namespace demo = testing::demo;

// Counts the statements and the ValueUtil and OracleSqlUtil calls of this
// thread and fails the one numbered `failAt` (1-based).
struct Countdown {
  int failAt = 0;
  int seen = 0;
  void tick() {
    if (++seen == failAt) throw AutomationError(-2147467259, "falha injetada");
  }
};

class CountingRunner : public data::StatementRunner {
 public:
  CountingRunner(std::shared_ptr<data::StatementRunner> next, Countdown& countdown)
      : next_(std::move(next)), countdown_(countdown) {}
  data::RowSet run(const data::OpenRequest& request) override {
    countdown_.tick();
    return next_->run(request);
  }
  std::unique_ptr<data::Transaction> transaction(const std::string& text, bool writes) override {
    return next_->transaction(text, writes);
  }

 private:
  std::shared_ptr<data::StatementRunner> next_;
  Countdown& countdown_;
};

class CountingValueUtil : public outside::ValueUtil {
 public:
  explicit CountingValueUtil(Countdown& c) : c_(c), real_(outside::makeDefaultValueUtil()) {}
  Variant op4_number(Variant v) override { return c_.tick(), real_->op4_number(v); }
  Variant op6_value(Variant v) override { return c_.tick(), real_->op6_value(v); }
  Variant op7_procedureArgument(Variant v) override {
    return c_.tick(), real_->op7_procedureArgument(v);
  }
  Variant op8_procedureText(Variant v) override { return c_.tick(), real_->op8_procedureText(v); }
  Variant op11_checkDecimal(std::string v, std::string& accepted) override {
    return c_.tick(), real_->op11_checkDecimal(v, accepted);
  }
  std::string op13_normalize(std::string v) override { return c_.tick(), real_->op13_normalize(v); }

 private:
  Countdown& c_;
  std::shared_ptr<outside::ValueUtil> real_;
};

class CountingOracleSqlUtil : public outside::OracleSqlUtil {
 public:
  explicit CountingOracleSqlUtil(Countdown& c)
      : c_(c), real_(outside::makeDefaultOracleSqlUtil()) {}
  Variant op3_sqlValue(Variant v, std::string& op) override {
    return c_.tick(), real_->op3_sqlValue(v, op);
  }
  Variant op4_sqlText(Variant v, std::string& op) override {
    return c_.tick(), real_->op4_sqlText(v, op);
  }

 private:
  Countdown& c_;
  std::shared_ptr<outside::OracleSqlUtil> real_;
};

// One call of a Coleta operation on a database; its user message.
using Scenario = std::function<std::string(Z418kt&, const std::string& db, const char* banco)>;

std::string saveScenario(Z418kt& z, const std::string& db, const char* banco, int32_t id) {
  Variant conecta(db), user(int32_t{1}), empresa(int32_t{1}), kind(banco), produto;
  Variant cliente(int32_t{demo::kEmpresa}), destino(int32_t{demo::kEnderecoPessoaFisica}),
      origem(int32_t{demo::kEnderecoEmpresa}), volumes(int32_t{3}), peso("12,5"), txt("caixa"),
      valor("10,5"), linhas(int32_t{1}), colunas(int32_t{5}), doc(id), msg;
  SafeArray m = SafeArray::zeroBased(4, 0);
  m.at(0, 0) = Variant(int32_t{2});
  m.at(1, 0) = Variant("0,5");
  m.at(2, 0) = Variant("0,4");
  m.at(3, 0) = Variant("0,3");
  Variant matrix(std::move(m));
  z.gGrava_Coleta(conecta, user, empresa, kind, produto, cliente, destino, origem, volumes, peso,
                  txt, valor, linhas, colunas, matrix, doc, msg);
  return vb::concatText(msg);
}

TEST(FailurePoints, NoTwoPlacesOfOneOperationShareAStatementNumber) {
  const std::map<std::string, Scenario> scenarios = {
      {"new Coleta", [](Z418kt& z, const std::string& db,
                        const char* banco) { return saveScenario(z, db, banco, 0); }},
      {"changed Coleta",
       [](Z418kt& z, const std::string& db, const char* banco) {
         return saveScenario(z, db, banco, demo::kColetaSemAwb);
       }},
      {"deleted Coleta",
       [](Z418kt& z, const std::string& db, const char* banco) {
         Variant conecta(db), user(int32_t{1}), empresa, kind(banco), produto,
             doc(int32_t{demo::kColeta}), msg;
         z.gExclui_Coleta(conecta, user, empresa, kind, produto, doc, msg);
         return vb::concatText(msg);
       }},
      {"read Coleta",
       [](Z418kt& z, const std::string& db, const char* banco) {
         Variant conecta(db), user(int32_t{1}), empresa, kind(banco), produto,
             doc(int32_t{demo::kColeta}), out[13];
         z.gConsulta_Coleta(conecta, user, empresa, kind, produto, doc, out[0], out[1], out[2],
                            out[3], out[4], out[5], out[6], out[7], out[8], out[9], out[10],
                            out[11], out[12]);
         return vb::concatText(out[12]);
       }},
  };
  const std::regex reported(R"((\w+) - Z418KT ?\(.*No Nº (\d+))");
  testing::TempDatabase original;
  {
    // One piece left, so that no statement of the read runs twice.
    data::Recordset rs;
    rs.open("DELETE FROM CARGA WHERE CARGA_ID > 200", original.text(), data::adUnspecified,
            data::adUnspecified, data::adUnspecified);
  }
  Countdown countdown;
  outside::Factories counting = outside::defaultFactories();
  counting.valueUtil = [&] { return std::make_shared<CountingValueUtil>(countdown); };
  counting.oracleSqlUtil = [&] { return std::make_shared<CountingOracleSqlUtil>(countdown); };
  outside::Factories previous = outside::installFactories(counting);
  auto previousRunner = data::currentStatementRunner();

  for (const char* banco : {"ORACLE", "SQLSERVER"}) {
    for (const auto& [name, scenario] : scenarios) {
      // (operation, statement number) → the failure point that reported it.
      std::map<std::pair<std::string, std::string>, int> seen;
      int points = 0;
      for (int at = 1; at < 200; ++at) {
        testing::TempDatabase copy(testing::TempDatabase::Content::Nothing);
        for (const char* suffix : {"", "-wal"})
          if (std::filesystem::exists(original.path().string() + suffix))
            std::filesystem::copy_file(original.path().string() + suffix,
                                       copy.path().string() + suffix);
        countdown = Countdown{at, 0};
        data::installStatementRunner(
            std::make_shared<CountingRunner>(data::makeDatabaseRunner(), countdown));
        Z418kt z;
        std::string message = scenario(z, copy.text(), banco);
        data::installStatementRunner(previousRunner);
        if (countdown.seen < at) break;  // no failure left to make
        ++points;
        std::smatch m;
        if (!std::regex_search(message, m, reported)) continue;  // answered, not trapped
        auto [it, fresh] = seen.emplace(std::make_pair(m[1].str(), m[2].str()), at);
        EXPECT_TRUE(fresh) << banco << " " << name << ": failures " << it->second << " and " << at
                           << " both report " << m[1] << " No Nº " << m[2];
      }
      EXPECT_GT(points, 5) << banco << " " << name;
      EXPECT_GT(seen.size(), 3u) << banco << " " << name;
    }
  }
  outside::installFactories(previous);
}

}  // namespace
}  // namespace z418kt
