// Not built yet: no database runner or SQLite provider.
#include "data/connection.h"
#include "data/statement_runner.h"

namespace z418kt::data {
namespace {
struct NoDatabase : StatementRunner {
  RowSet run(const OpenRequest&) override {
    throw errors::provider("No database provider is available.");
  }
};
}  // namespace
std::shared_ptr<StatementRunner> makeDatabaseRunner() { return std::make_shared<NoDatabase>(); }
std::unique_ptr<Provider> makeSqliteProvider() { return nullptr; }
}  // namespace z418kt::data
