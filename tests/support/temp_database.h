// TempDatabase: a SQLite database file for one test, in the temporary folder,
// removed (with its WAL companions) when the object goes. By default
// initialised with the schema, the procedures and the demo data. The data
// tests use it directly; the engine fixture's "sqlite" engine is one of these.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "data/database_setup.h"
#include "z418kt/automation_error.h"

namespace z418kt::testing {

class TempDatabase {
 public:
  enum class Content { Nothing, Demo };
  explicit TempDatabase(Content content = Content::Demo, const std::string& extra = "") {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("z418kt-data-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".db");
    removeFiles();
    text_ = "Provider=SQLite;Data Source=" + path_.string() + ";Synchronous=Off" + extra;
    if (content == Content::Demo) data::initDatabase(text_, true);
  }
  ~TempDatabase() { removeFiles(); }
  TempDatabase(const TempDatabase&) = delete;
  TempDatabase& operator=(const TempDatabase&) = delete;

  const std::string& text() const { return text_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  void removeFiles() {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
      std::filesystem::remove(path_.string() + suffix, ignored);
  }
  std::filesystem::path path_;
  std::string text_;
};

// The AutomationError a call ends in; number 0 and no text when it succeeds.
template <class Call>
AutomationError failureOf(Call&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  return {0, ""};
}

}  // namespace z418kt::testing
