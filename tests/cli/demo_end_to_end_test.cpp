#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct CommandRun {
  int exit = -1;
  std::string output;
};

CommandRun runCommand(const std::string& command) {
  CommandRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  int status = pclose(pipe);
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The newcomer's tour on a fresh database, run as a newcomer runs it.
TEST(DemoEndToEnd, EveryStepAnswersAsExpectedInBothDialects) {
  char pattern[] = "/tmp/z418kt-demo-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string dir = pattern;
  CommandRun run = runCommand(std::string("'") + Z418KT_BINARY + "' demo --dir '" + dir + "'");
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_EQ(count(run.output, "[FALHOU]"), 0u) << run.output;
  // Seven steps per dialect, each answered with its status.
  EXPECT_EQ(count(run.output, "[ok]"), 14u) << run.output;
  EXPECT_EQ(count(run.output, ": status 0"), 12u) << run.output;
  EXPECT_EQ(count(run.output, ": status 10 (recusa esperada)"), 2u) << run.output;
  EXPECT_EQ(count(run.output,
                  "Aviso: Não será possível efetuar alterações na Coleta pois existem "
                  "AWBs emitidas com ela."),
            2u)
      << run.output;
  EXPECT_EQ(count(run.output, "Coleta não informada. Contacte o Administrador."), 2u);
  // A second run on the same directory refuses rather than overwrite the database.
  CommandRun again = runCommand(std::string("'") + Z418KT_BINARY + "' demo --dir '" + dir + "'");
  EXPECT_NE(again.exit, 0);
  EXPECT_NE(again.output.find("already exists"), std::string::npos) << again.output;
  std::filesystem::remove_all(dir);
}

}  // namespace
