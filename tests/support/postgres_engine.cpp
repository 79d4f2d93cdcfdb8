// The "postgresql" engines of the integration tests: each test gets a schema
// of its own on the PostgreSQL test server, initialised with the schema, the
// procedures and the demo data, and dropped afterwards. Sessions reach it
// with the schema first on their search path, through the ODBC provider
// ("postgresql") or the native one ("postgresql+libpq").
//
// The server comes from Z418KT_PG_CONNECTION (an ODBC connection text) or
// from the file that scripts/pg-test-server.sh writes (ctest starts it).
// Without either the engine is skipped, unless Z418KT_PG_REQUIRED is set
// (as ctest sets it), in which case the test fails.
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "data/connection.h"
#include "data/database_setup.h"
#include "data/providers.h"
#include "support/engine_fixture.h"
#include "support/postgres_server.h"

namespace z418kt::testing {

std::string nativeText(const std::string& odbcText) {
  const std::string driver = "Driver=PostgreSQL Unicode;";
  if (odbcText.rfind(driver, 0) != 0) return odbcText;
  return "Provider=PostgreSQL;" + odbcText.substr(driver.size());
}

std::string postgresServerConnection() {
  if (const char* text = std::getenv("Z418KT_PG_CONNECTION"); text && *text) return text;
#ifdef Z418KT_PG_STATE_DIR
  std::ifstream file(std::string(Z418KT_PG_STATE_DIR) + "/connection.txt");
  std::string line;
  if (file && std::getline(file, line) && !line.empty()) return line;
#endif
  if (std::getenv("Z418KT_PG_REQUIRED"))
    throw std::runtime_error("the PostgreSQL test server is not running (no connection text)");
  return {};
}

namespace {

class PostgresTestDatabase : public TestDatabase {
 public:
  PostgresTestDatabase(const std::string& server, bool native) : server_(server) {
    static std::atomic<int> counter{0};
    schema_ = "z418kt_t" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    admin("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    admin("CREATE SCHEMA " + schema_);
    text_ = (native ? nativeText(server) : server) + ";ConnSettings=SET search_path TO " + schema_;
    data::initDatabase(text_, true);
  }
  ~PostgresTestDatabase() override {
    try {
      admin("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    } catch (const std::exception&) {
      // A schema left behind goes with the test server's data directory.
    }
  }
  std::string connection() const override { return text_; }

 private:
  // One administrative session per process, shared by the tests.
  void admin(const std::string& statement) {
    static std::mutex mutex;
    static std::unique_ptr<data::Connection> session;
    std::lock_guard lock(mutex);
    if (!session || !session->usable()) session = data::connectDirect(server_, false);
    session->execute(statement);
  }

  std::string server_;
  std::string schema_;
  std::string text_;
};

std::unique_ptr<TestDatabase> postgresDatabase(bool native) {
  std::string server = postgresServerConnection();
  if (server.empty()) return nullptr;
  return std::make_unique<PostgresTestDatabase>(server, native);
}

const TestEngineRegistrar postgresEngine("postgresql", [] { return postgresDatabase(false); });
const TestEngineRegistrar nativeEngine("postgresql+libpq", [] { return postgresDatabase(true); });

}  // namespace
}  // namespace z418kt::testing
