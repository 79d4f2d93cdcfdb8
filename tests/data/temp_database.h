// A SQLite database file for one test, in the temporary folder, removed (with
// its WAL companions) when the object goes. Optionally initialised with the
// schema, the procedures and the demo data.
#pragma once

#include <filesystem>
#include <string>

#include "data/row_set.h"

namespace z418kt::testing {

class TempDatabase {
 public:
  enum class Content { Nothing, Demo };
  explicit TempDatabase(Content content = Content::Demo, const std::string& extra = "");
  ~TempDatabase();
  TempDatabase(const TempDatabase&) = delete;
  TempDatabase& operator=(const TempDatabase&) = delete;

  const std::string& text() const { return text_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string text_;
};

// Runs one statement on a session of its own (no pool) and returns its rows.
data::RowSet runDirect(const std::string& connectionText, const std::string& statement);

}  // namespace z418kt::testing
