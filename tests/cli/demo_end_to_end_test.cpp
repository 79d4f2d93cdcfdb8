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
  // Whether the command exits with `code` and writes `fragment` to either stream.
  ::testing::AssertionResult runs(const std::string& args, int code,
                                  const std::string& fragment = "", const std::string& input = "") {
    int got = run(args, input);
    if (got == code && (fragment.empty() || has(fragment))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << args << ": exit " << got << "\n" << output << errors;
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
  EXPECT_TRUE(runs("demo --dir '" + dir + "/demo'", 0));
  // Seven steps per dialect, each answered with its status.
  // clang-format off
  const std::pair<const char*, size_t> expected[] = {
      {"[FALHOU]", 0}, {"[ok]", 14}, {": status 0", 12}, {": status 10 (recusa esperada)", 2},
      {"Aviso: Não será possível efetuar alterações na Coleta pois existem AWBs emitidas com ela.", 2},
      {"Coleta não informada. Contacte o Administrador.", 2}};
  // clang-format on
  for (const auto& [text, n] : expected) EXPECT_EQ(count(text), n) << text << "\n" << output;
  // A second run on the same folder refuses rather than overwrite the database.
  EXPECT_TRUE(runs("demo --dir '" + dir + "/demo'", 1, "já existe"));
}

TEST_F(Commands, PeopleSaveShowDeleteAndRefusals) {
  ASSERT_TRUE(runs("init --demo" + db, 0));
  ASSERT_TRUE(
      runs("coleta save --json --cliente 2 --remetente 12 --destinatario 11 --volumes 3 "
           "--peso 1.500,75 --valor 1500 --embalagem Caixas --carga 2x0.5x0.4x0.3 "
           "--carga 1X1,2X0,8X0,6" +
               db,
           0));
  Json saved = Json::parse(output);
  std::string id = saved["id"].dump();
  EXPECT_EQ(saved["peso_kg"], 1500.75);
  EXPECT_EQ(saved["pecas"].size(), 2u);
  ASSERT_TRUE(runs("coleta show " + id + db, 0, "1,2"));
  EXPECT_TRUE(has("1.500,75 kg") && has("R$ 1.500,00") && !has("Aviso:")) << output;
  EXPECT_TRUE(runs("pessoa show 12" + db, 0, "PJ"));
  EXPECT_TRUE(runs("pessoa find silva" + db, 0, "123.456.789-09"));
  EXPECT_TRUE(runs("coleta list --cliente 2" + db, 0, "Maria da Silva"));
  EXPECT_TRUE(has(id + " ") && has("100 ")) << output;
  EXPECT_TRUE(runs("coleta delete " + id + db + " --oracle", 0, "excluída"));
  // A Coleta with air waybills neither changes nor goes: its own exit status.
  for (std::string cmd : {"coleta delete 100",
                          "coleta save --id 100 --cliente 2 --remetente 12 "
                          "--volumes 1 --peso 1 --valor 1"})
    for (std::string dialect : {"", " --oracle"})
      EXPECT_TRUE(runs(cmd + db + dialect, 4, "AWBs emitidas")) << cmd << dialect;
  EXPECT_TRUE(runs("coleta show 100" + db, 0, "125,5 kg"));
  // Refusals exit 1 with every reason on a line, the component's own first.
  EXPECT_TRUE(runs("coleta delete 0" + db, 1, "Erro: Coleta não informada."));
  EXPECT_TRUE(runs("coleta save --cliente 98765 --remetente 12 --volumes 1 --valor 1" + db, 1,
                   "Erro: O campo Peso é obrigatório.\nErro: Cliente 98765 não encontrado.\n"));
}

TEST_F(Commands, ExitCodesUsageAndHelp) {
  // invoke: the request from --args or the input; failures answer JSON and exit 1.
  ASSERT_TRUE(runs("init --demo" + db, 0));
  EXPECT_TRUE(runs("invoke mConsulta_Qtde_AWB_COLETA", 0, "",
                   R"({"args":{"instrConecta_DB":"Provider=SQLite;Data Source=)" + dir +
                       R"(/coleta.db","invntDOCTO_TRANSP_PAI_ID":100}})"));
  EXPECT_EQ(Json::parse(output)["args"]["outvntContador"]["vt"], "I4") << output;
  EXPECT_TRUE(runs("invoke gExclui_Coleta", 1, "", "{oops"));
  EXPECT_EQ(Json::parse(output)["error"]["number"], kMalformedRequest);
  // Wrong usage exits 2 with a message on the error stream, before any database work.
  EXPECT_TRUE(runs("invoke", 2));
  EXPECT_FALSE(errors.empty());
  EXPECT_TRUE(runs("frobnicate", 2, "comando desconhecido \"frobnicate\""));
  EXPECT_TRUE(runs("--version", 0, "z418kt 1."));
  EXPECT_TRUE(runs("invoke --list", 0, "gGrava_Coleta (1610809349): invntConecta_DB"));
  EXPECT_EQ(
      run("coleta save --carga 2x0.5x0.4 --db 'Provider=SQLite;Data Source=" + dir + "/x.db'"), 2);
  EXPECT_NE(errors.find("2x0.5x0.4"), std::string::npos) << errors;
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.db"));
  // Every command has help with examples.
  for (std::string cmd : {"", "invoke", "serve", "init", "demo", "coleta save", "coleta show",
                          "coleta delete", "coleta list", "coleta history", "pessoa show",
                          "pessoa find", "assinatura add", "assinatura replay", "deliver"}) {
    EXPECT_EQ(run(cmd + " --help"), 0) << cmd;
    EXPECT_NE(output.find("Exemplos:"), std::string::npos) << cmd;
  }
}

TEST_F(Commands, PeopleCommandsCheckFirstAndSayWhatHappened) {
  ASSERT_TRUE(runs("init --demo" + db, 0));
  // Malformed or non-finite numbers are usage errors: nothing is called or stored.
  const std::string save =
      "coleta save --cliente 2 --remetente 12 --destinatario 11 "
      "--volumes 3 --peso 42,5 --valor 1500 --embalagem Caixas ";
  // Each is refused naming the option and the text it was given.
  for (std::string bad :
       {"--carga nanxinfx1x1", "--carga 1x1x1xinf", "--carga 1.5x1x1x1", "--peso nan",
        "--valor 1e400", "--volumes x", "--cliente -2", "--peso 1.500", "--carga 1x0.5x1.200x1"}) {
    size_t space = bad.find(' ');
    std::string named = bad.substr(0, space) + " \"" + bad.substr(space + 1) + "\": ";
    EXPECT_TRUE(runs("coleta save " + bad + db, 2, named)) << bad;
  }
  // An amount a Brazilian and a script read differently is never guessed.
  EXPECT_TRUE(runs("coleta save --peso 1 --valor 12.345" + db, 2, "com ponto de milhar é 12.345"));
  EXPECT_EQ(
      std::system(
          ("sqlite3 '" + dir + "/coleta.db' 'SELECT COUNT(*) FROM CARGA' | grep -qx 3").c_str()),
      0);
  // Ids the demo data does not have are "not found", with their own exit code.
  for (std::string missing : {"coleta show 1", "pessoa show 2", "coleta delete 5"})
    EXPECT_TRUE(runs(missing + db, 3, "não encontrad"));
  EXPECT_TRUE(runs("coleta show abc" + db, 2));

  // A save that stops at its second piece says what it left stored.
  std::string file = dir + "/coleta.db";
  ASSERT_EQ(std::system(("sqlite3 '" + file +
                         "' \"CREATE TRIGGER no7 BEFORE INSERT ON CARGA WHEN NEW.NUM_VOLUME = 7 "
                         "BEGIN SELECT RAISE(ABORT, 'sete'); END;\"")
                            .c_str()),
            0);
  EXPECT_TRUE(runs(save + "--carga 2x0.5x0.4x0.3 --carga 7x1x1x1" + db, 1,
                   "Ficou gravado: a Coleta 1000 (nova), 1 de 2 peça(s)."));
  EXPECT_TRUE(has("--id 1000")) << output;
}

TEST_F(Commands, ConnectionFromTheEnvironmentOrAFileAndNeverItsPassword) {
  std::string text = "Provider=SQLite;Data Source=" + dir + "/coleta.db;Pwd=hunter2";
  std::string file = dir + "/connection";
  std::ofstream(file) << "\n  " << text << "\n";
  ASSERT_TRUE(runs("init --demo --db-file '" + file + "'", 0));
  // Every output that echoes the connection masks the password.
  EXPECT_TRUE(runs("coleta show 100 --json --db-file '" + file + "'", 0, "Aurora Peças"));
  EXPECT_FALSE(has("hunter2")) << output;
  setenv("Z418KT_DB", text.c_str(), 1);
  EXPECT_TRUE(runs("invoke gConsulta_Dados_Pessoa --args '{\"invntENDERECO_PESSOA_ID\":11}'", 0,
                   "PWD=***"));
  EXPECT_TRUE(has("São Paulo") && !has("hunter2")) << output;
  EXPECT_TRUE(runs("serve", 0, "Aurora Peças",
                   R"({"id":1,"op":"gConsulta_Coleta","args":{"invntDOCTO_TRANSPORTE_ID":100}})"));
  EXPECT_FALSE(has("hunter2")) << output;
  unsetenv("Z418KT_DB");
  EXPECT_TRUE(runs("coleta show 100 --db-file '" + dir + "/none'", 2, "não foi possível ler"));
  EXPECT_TRUE(runs("init", 2));
}

}  // namespace
}  // namespace z418kt::cli
