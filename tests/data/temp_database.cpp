#include "data/temp_database.h"

#include <unistd.h>

#include <atomic>

#include "data/database_setup.h"
#include "data/providers.h"

namespace z418kt::testing {

namespace {
void removeFiles(const std::filesystem::path& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path.string() + suffix, ignored);
}
}  // namespace

TempDatabase::TempDatabase(Content content, const std::string& extra) {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("z418kt-data-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".db");
  removeFiles(path_);
  text_ = "Provider=SQLite;Data Source=" + path_.string() + ";Synchronous=Off" + extra;
  if (content == Content::Demo) data::initDatabase(text_, true);
}

TempDatabase::~TempDatabase() { removeFiles(path_); }

data::RowSet runDirect(const std::string& connectionText, const std::string& statement) {
  return data::connectDirect(connectionText, true)->execute(statement);
}

}  // namespace z418kt::testing
