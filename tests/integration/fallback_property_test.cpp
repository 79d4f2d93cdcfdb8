// For saves that the engine gives up at random places, the one transaction
// with its fallback ends exactly as the same save run step by step (every
// statement committed on its own) on a copy of the database: same rows, same
// status, same message, same outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "data/recordset.h"
#include "support/engine_fixture.h"
#include "support/temp_database.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

namespace demo = testing::demo;

// The step-by-step behaviour: statements run as they come, no transaction.
class StepByStepRunner : public data::StatementRunner {
 public:
  explicit StepByStepRunner(std::shared_ptr<data::StatementRunner> next) : next_(std::move(next)) {}
  data::RowSet run(const data::OpenRequest& request) override { return next_->run(request); }

 private:
  std::shared_ptr<data::StatementRunner> next_;
};

// What a save leaves: its status, message and outputs, and the stored rows.
std::string outcome(const std::string& db, const char* banco, int32_t id, int pieces,
                    std::shared_ptr<data::StatementRunner> runner) {
  auto previous = data::installStatementRunner(runner);
  Variant conecta(db), user(int32_t{1}), empresa(int32_t{1}), kind(banco), produto;
  Variant cliente(int32_t{demo::kEmpresa}), destino(int32_t{demo::kEnderecoPessoaFisica}),
      origem(int32_t{demo::kEnderecoEmpresa}), volumes(int32_t{3}), peso(" 12,5"), txt("caixa "),
      valor("10,5"), linhas(int32_t{pieces}), colunas(int32_t{5}), doc(id), msg;
  SafeArray m = SafeArray::zeroBased(4, std::max(pieces, 1) - 1);
  for (int32_t r = 0; r < pieces; ++r) {
    m.at(0, r) = Variant(r + 1);
    for (int32_t c = 1; c < 4; ++c) m.at(c, r) = Variant("0," + std::to_string(r + c));
  }
  Variant matrix(std::move(m));
  Z418kt z;
  Variant status = z.gGrava_Coleta(conecta, user, empresa, kind, produto, cliente, destino, origem,
                                   volumes, peso, txt, valor, linhas, colunas, matrix, doc, msg);
  std::string out = vb::concatText(status) + "\n" + vb::concatText(msg) + "\n";
  for (const Variant* v : {&doc, &peso, &txt, &valor, &cliente}) out += vb::concatText(*v) + "|";
  for (int32_t r = 0; r < pieces; ++r) out += vb::concatText(matrix.array().at(4, r)) + "|";
  const char* dumps[] = {
      "SELECT DOCTO_TRANSPORTE_ID || '|' || CLIENTE_ID || '|' || NUM_VOLUME || '|' || PESO_REAL "
      "|| '|' || TAB_STATUS_ID || '|' || TXT_EMBALAGEM FROM DOCTO_TRANSPORTE ORDER BY 1",
      "SELECT CARGA_ID || '|' || DOCTO_TRANSPORTE_ID || '|' || LARGURA_M || '|' || NUM_VOLUME "
      "FROM CARGA ORDER BY 1",
      "SELECT NOME_CHAVE || '|' || ULTIMO_VALOR FROM KTR_SEQUENCIA ORDER BY 1",
      "SELECT OPERACAO || '|' || DOCTO_TRANSPORTE_ID FROM KTR_AUDITORIA ORDER BY AUDITORIA_ID"};
  for (const char* dump : dumps) {
    out += "\n";
    data::Recordset rs;
    rs.open(dump, db, data::adUnspecified, data::adUnspecified, data::adUnspecified);
    for (; !rs.eof(); rs.moveNext()) out += vb::concatText(rs.fieldAt(0)) + ";";
  }
  data::installStatementRunner(previous);
  return out;
}

TEST(FallbackProperty, AGivenUpSaveEndsAsTheStepByStepRun) {
  const char* const targets[] = {
      "BEFORE INSERT ON CARGA WHEN NEW.NUM_VOLUME = %d",
      "BEFORE INSERT ON DOCTO_TRANSPORTE",
      "BEFORE UPDATE ON DOCTO_TRANSPORTE",
      "BEFORE DELETE ON CARGA",
      "BEFORE INSERT ON KTR_AUDITORIA",
      "BEFORE UPDATE ON KTR_SEQUENCIA",
  };
  const int32_t ids[] = {0, demo::kColetaSemAwb, demo::kColeta};
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  testing::TempDatabase original;
  for (int round = 0; round < 24; ++round) {
    const char* banco = random() % 2 ? "ORACLE" : "SQLSERVER";
    const int32_t id = ids[random() % 3];
    const int pieces = static_cast<int>(random() % 4);
    char target[96];
    std::snprintf(target, sizeof target, targets[random() % std::size(targets)],
                  static_cast<int>(random() % 4) + 1);
    const std::string trigger = std::string("CREATE TRIGGER ABANDONA ") + target +
                                " BEGIN SELECT RAISE(ROLLBACK, 'abandonada'); END";
    std::string results[2];
    for (int side = 0; side < 2; ++side) {
      testing::TempDatabase copy(testing::TempDatabase::Content::Nothing);
      for (const char* suffix : {"", "-wal"})
        if (std::filesystem::exists(original.path().string() + suffix))
          std::filesystem::copy_file(original.path().string() + suffix,
                                     copy.path().string() + suffix);
      auto runner = data::makeDatabaseRunner();
      {
        auto previous = data::installStatementRunner(runner);
        data::Recordset rs;
        rs.open(trigger, copy.text(), data::adUnspecified, data::adUnspecified,
                data::adUnspecified);
        data::installStatementRunner(previous);
      }
      results[side] = outcome(copy.text(), banco, id, pieces,
                              side == 0 ? runner : std::make_shared<StepByStepRunner>(runner));
    }
    EXPECT_EQ(results[0], results[1]) << "seed " << seed << " round " << round << ": " << banco
                                      << " id " << id << " pieces " << pieces << " " << target;
  }
}

}  // namespace
}  // namespace z418kt
