#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "json/json_variant.h"
#include "json/request_error.h"

namespace z418kt::cli {
namespace {

using namespace json;

// The command run as a newcomer runs it, on a database in a fresh temporary folder.
class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/z418kt-cli-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    db = " --db 'Provider=SQLite;Data Source=" + dir + "/coleta.db'";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  // The exit code; what the command wrote is left in `output`, its error stream in `errors`.
  int run(const std::string& args, const std::string& input = "") {
    output.clear();
    std::string errFile = dir + "/stderr",
                command = "'" Z418KT_BINARY "' " + args + " 2>" + errFile;
    FILE* pipe = popen(("printf '%s' '" + input + "' | " + command).c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    int status = pclose(pipe);
    std::ifstream err(errFile);
    errors.assign(std::istreambuf_iterator<char>(err), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  size_t count(const std::string& what) const {  // in both streams
    size_t n = 0;
    for (const std::string* s : {&output, &errors})
      for (size_t at = s->find(what); at != std::string::npos; at = s->find(what, at + 1)) ++n;
    return n;
  }
  bool has(const std::string& what) const { return count(what) > 0; }
  std::string dir, db, output, errors;
};

TEST_F(Commands, DemoAnswersEveryStepInBothDialectsAndNeverOverwrites) {
  EXPECT_EQ(run("demo --dir '" + dir + "/demo'"), 0) << output;
  // Seven steps per dialect, each answered with its status.
  // clang-format off
  const std::pair<const char*, size_t> expected[] = {
      {"[FALHOU]", 0}, {"[ok]", 14}, {": status 0", 12}, {": status 10 (recusa esperada)", 2},
      {"Aviso: Não será possível efetuar alterações na Coleta pois existem AWBs emitidas com ela.", 2},
      {"Coleta não informada. Contacte o Administrador.", 2}};
  // clang-format on
  for (const auto& [text, n] : expected) EXPECT_EQ(count(text), n) << text << "\n" << output;
  // A second run on the same folder refuses rather than overwrite the database.
  EXPECT_NE(run("demo --dir '" + dir + "/demo'"), 0);
  EXPECT_TRUE(has("already exists")) << output;
}

TEST_F(Commands, PeopleSaveShowDeleteAndRefusals) {
  ASSERT_EQ(run("init --demo" + db), 0) << output;
  ASSERT_EQ(run("coleta save --json --cliente 2 --remetente 12 --destinatario 11 --volumes 3 "
                "--peso 42,5 --valor 1500 --embalagem Caixas --carga 2x0.5x0.4x0.3 "
                "--carga 1X1,2X0,8X0,6" +
                db),
            0)
      << output;
  Json saved = Json::parse(output);
  std::string id = vb::cstr(fromJson(saved["args"]["iovntDOCTO_TRANSPORTE_ID"]));
  EXPECT_NE(id, "0");
  // The matrix comes back with a cargo id in column 4 of each row.
  EXPECT_EQ(saved["args"]["inarrvntMatriz_Dim"]["items"][4].size(), 2u);
  ASSERT_EQ(run("coleta show " + id + db), 0) << output;
  EXPECT_TRUE(has("Caixas") && has("1,20")) << output;
  EXPECT_FALSE(has("Aviso:"));
  EXPECT_EQ(run("pessoa show 12" + db), 0);
  EXPECT_TRUE(has("PJ")) << output;
  EXPECT_EQ(run("coleta delete " + id + db + " --oracle"), 0) << output;
  // Refusals exit 1 and show the component's message.
  EXPECT_EQ(run("coleta delete 0" + db), 1);
  EXPECT_TRUE(has("Informe uma Coleta.")) << output;
  EXPECT_EQ(run("coleta save" + db), 1);
  EXPECT_TRUE(has("Mensagem: ")) << output;
  // The demo Coleta is still there, with its warning.
  EXPECT_EQ(run("coleta show 100" + db), 0);
  EXPECT_TRUE(has("Aviso: ")) << output;
}

TEST_F(Commands, ExitCodesUsageAndHelp) {
  // invoke: the request from --args or the input; failures answer JSON and exit 1.
  ASSERT_EQ(run("init --demo" + db), 0) << errors;
  EXPECT_EQ(run("invoke mConsulta_Qtde_AWB_COLETA",
                R"({"args":{"instrConecta_DB":"Provider=SQLite;Data Source=)" + dir +
                    R"(/coleta.db","invntDOCTO_TRANSP_PAI_ID":100}})"),
            0)
      << output << errors;
  EXPECT_EQ(Json::parse(output)["args"]["outvntContador"]["vt"], "I4") << output;
  EXPECT_EQ(run("invoke gNao_Existe --args []"), 1);
  EXPECT_EQ(Json::parse(output)["error"]["number"], 438);
  EXPECT_EQ(run("invoke gExclui_Coleta", "{oops"), 1);
  EXPECT_EQ(Json::parse(output)["error"]["number"], kMalformedRequest);
  // Wrong usage exits 2 with a message on the error stream, before any database work.
  EXPECT_EQ(run("invoke"), 2);
  EXPECT_FALSE(errors.empty());
  EXPECT_EQ(run("frobnicate"), 2);
  EXPECT_TRUE(has("unknown command \"frobnicate\"")) << errors;
  EXPECT_EQ(run("--version"), 0);
  EXPECT_TRUE(has("z418kt 1.")) << output;
  EXPECT_EQ(run("invoke --list"), 0);
  EXPECT_TRUE(has("gGrava_Coleta (1610809349): invntConecta_DB")) << output;
  EXPECT_EQ(
      run("coleta save --carga 2x0.5x0.4 --db 'Provider=SQLite;Data Source=" + dir + "/x.db'"), 2);
  EXPECT_NE(errors.find("2x0.5x0.4"), std::string::npos) << errors;
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.db"));
  // Every command has help with examples.
  for (std::string cmd : {"", "invoke", "serve", "init", "demo", "coleta save", "coleta show",
                          "coleta delete", "pessoa show"}) {
    EXPECT_EQ(run(cmd + " --help"), 0) << cmd;
    EXPECT_NE(output.find("Examples:"), std::string::npos) << cmd;
  }
}

TEST_F(Commands, PeopleCommandsCheckFirstAndSayWhatHappened) {
  ASSERT_EQ(run("init --demo" + db), 0) << errors;
  // Malformed or non-finite numbers are usage errors: nothing is called or stored.
  const std::string save =
      "coleta save --cliente 2 --remetente 12 --destinatario 11 "
      "--volumes 3 --peso 42,5 --valor 1500 --embalagem Caixas ";
  for (std::string bad : {"--carga nanxinfx1x1", "--carga 1x1x1xinf", "--carga 1.5x1x1x1",
                          "--peso nan", "--valor 1e400", "--volumes x", "--cliente -2"}) {
    EXPECT_EQ(run("coleta save " + bad + db), 2) << bad;
    EXPECT_TRUE(has("is not")) << bad << errors;
  }
  EXPECT_EQ(run("coleta show 1000" + db), 3);
  // Ids the demo data does not have are "not found", with their own exit code.
  for (std::string missing : {"coleta show 1", "pessoa show 2", "coleta delete 5"}) {
    EXPECT_EQ(run(missing + db), 3) << missing;
    EXPECT_TRUE(has("não encontrad")) << missing << errors;
  }
  EXPECT_EQ(run("coleta show abc" + db), 2);
  // A refusal without a message is explained.
  EXPECT_EQ(run("coleta save --cliente 99 --remetente 12 --destinatario 11 --volumes 1 --peso 1 "
                "--valor 1 --embalagem x" +
                db),
            1);
  EXPECT_TRUE(has("não informou o motivo")) << output;

  // A save that stops at its second piece says what it left stored.
  std::string file = dir + "/coleta.db";
  ASSERT_EQ(std::system(("sqlite3 '" + file +
                         "' \"CREATE TRIGGER no7 BEFORE INSERT ON CARGA WHEN NEW.NUM_VOLUME = 7 "
                         "BEGIN SELECT RAISE(ABORT, 'sete'); END;\"")
                            .c_str()),
            0);
  EXPECT_EQ(run(save + "--carga 2x0.5x0.4x0.3 --carga 7x1x1x1" + db), 1);
  EXPECT_TRUE(has("Ficou gravado: a Coleta 1000 (nova), 1 de 2 peça(s) (ids 1000).")) << output;
  EXPECT_TRUE(has("--id 1000")) << output;
}

TEST_F(Commands, ConnectionFromTheEnvironmentOrAFileAndNeverItsPassword) {
  std::string text = "Provider=SQLite;Data Source=" + dir + "/coleta.db;Pwd=hunter2";
  std::string file = dir + "/connection";
  std::ofstream(file) << "\n  " << text << "\n";
  ASSERT_EQ(run("init --demo --db-file '" + file + "'"), 0) << errors;
  // Every output that echoes the connection masks the password.
  for (std::string cmd : {"coleta show 100 --json --db-file '" + file + "'",
                          "pessoa show 12 --json --db '" + text + "'"}) {
    EXPECT_EQ(run(cmd), 0) << cmd << errors;
    EXPECT_TRUE(has("PWD=***")) << cmd << output;
    EXPECT_FALSE(has("hunter2")) << cmd << output;
  }
  setenv("Z418KT_DB", text.c_str(), 1);
  EXPECT_EQ(run("invoke gConsulta_Dados_Pessoa --args '{\"invntENDERECO_PESSOA_ID\":11}'"), 0);
  EXPECT_TRUE(has("PWD=***") && !has("hunter2") && has("São Paulo")) << output;
  EXPECT_EQ(
      run("serve", R"({"id":1,"op":"gConsulta_Coleta","args":{"invntDOCTO_TRANSPORTE_ID":100}})"),
      0);
  EXPECT_TRUE(has("Aurora Peças") && !has("hunter2")) << output;
  unsetenv("Z418KT_DB");
  EXPECT_EQ(run("coleta show 100 --db-file '" + dir + "/none'"), 2);
  EXPECT_TRUE(has("cannot read")) << errors;
  EXPECT_EQ(run("init"), 2);
}

}  // namespace
}  // namespace z418kt::cli
