#include "cli/config_file.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <vector>

namespace z418kt::cli {
namespace {

// A command like `z418kt http`: a value, a bounded number, a flag and two
// options that exclude each other; the file fills what the line leaves out.
struct Command {
  CLI::App app{"test"};
  std::string config, listen = "127.0.0.1:8080", db, dbFile;
  int threads = 64;
  bool oracle = false;

  Command() {
    addConfigOption(&app, config);
    app.add_option("--listen", listen);
    app.add_option("--threads", threads)->check(CLI::Range(1, 1024));
    app.add_flag("--oracle", oracle);
    auto* text = app.add_option("--db", db);
    app.add_option("--db-file", dbFile)->excludes(text);
  }

  void run(std::vector<std::string> args, const std::string& fileText) {
    std::filesystem::path file = std::filesystem::path(testing::TempDir()) / "z418kt-test.conf";
    std::ofstream(file) << fileText;
    args.insert(args.begin(), "z418kt");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    app.parse(static_cast<int>(argv.size()), argv.data());
    applyConfigFile(app, file.string());
  }
};

TEST(ConfigFile, FillsWhatTheCommandLineLeavesAndNeverOverridesIt) {
  Command c;
  c.run({"--threads", "8", "--db", "Provider=SQLite;Data Source=a.db"},
        "# comment\n; another\n\n  listen = 0.0.0.0:9090  \nthreads = 2\noracle = yes\n"
        "db-file = /etc/z418kt/db\n");
  EXPECT_EQ(c.listen, "0.0.0.0:9090");
  EXPECT_EQ(c.threads, 8);  // the command line's
  EXPECT_TRUE(c.oracle);
  EXPECT_EQ(c.db, "Provider=SQLite;Data Source=a.db");
  EXPECT_EQ(c.dbFile, "");  // excluded by --db on the command line

  // A value keeps its '=' and ';'; quotes around it go; a flag can be off.
  Command d;
  d.run({}, "db = \"Provider=SQLite;Data Source=/var/lib/z418kt/coleta.db\"\noracle = false\n");
  EXPECT_EQ(d.db, "Provider=SQLite;Data Source=/var/lib/z418kt/coleta.db");
  EXPECT_FALSE(d.oracle);
}

TEST(ConfigFile, RefusesWhatItCannotUseNamingFileAndLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"listen = a:1\nlisen = b:2\n", ":2: chave desconhecida \"lisen\""},
      {"--listen = a:1\n", ":1: chave desconhecida"},
      {"config = other.conf\n", ":1: chave desconhecida"},
      {"listen = a:1\nlisten = b:2\n", ":2: chave repetida"},
      {"listen\n", ":1: esperava chave = valor"},
      {"threads = many\n", ":1: valor inválido para threads"},
      {"threads = 5000\n", ":1: valor inválido para threads"},
      {"oracle = maybe\n", ":1: valor inválido para oracle"},
  };
  for (const auto& [text, message] : cases) {
    Command c;
    try {
      c.run({}, text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("z418kt-test.conf"), std::string::npos) << e.what();
    }
  }
  Command big;
  EXPECT_THROW(big.run({}, std::string(kMaxConfigBytes + 1, '#')), ConfigError);
  Command missing;
  missing.app.parse(std::vector<std::string>{});
  EXPECT_THROW(applyConfigFile(missing.app, "/nonexistent/z418kt.conf"), ConfigError);
}

}  // namespace
}  // namespace z418kt::cli
