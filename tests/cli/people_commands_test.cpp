#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/app.h"
#include "cli/json_variant.h"

namespace z418kt::cli {
namespace {

// The people's commands on a fresh demo database, in process.
class PeopleCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/z418kt-people-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    db = "Provider=SQLite;Data Source=" + dir + "/coleta.db";
    ASSERT_EQ(run({"init", "--db", db.c_str(), "--demo"}), 0) << err.str();
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  int run(std::vector<const char*> argv) {
    argv.insert(argv.begin(), "z418kt");
    std::istringstream in;
    out.str("");
    err.str("");
    return runApp(static_cast<int>(argv.size()), argv.data(), {in, out, err, true});
  }

  std::string dir, db;
  std::ostringstream out, err;
};

TEST_F(PeopleCommands, SaveShowDeleteAndRefusals) {
  ASSERT_EQ(run({"coleta",
                 "save",
                 "--db",
                 db.c_str(),
                 "--json",
                 "--cliente",
                 "2",
                 "--remetente",
                 "12",
                 "--destinatario",
                 "11",
                 "--volumes",
                 "3",
                 "--peso",
                 "42,5",
                 "--valor",
                 "1500",
                 "--embalagem",
                 "Caixas",
                 "--carga",
                 "2x0.5x0.4x0.3",
                 "--carga",
                 "1X1,2X0,8X0,6"}),
            0)
      << out.str();
  Json saved = Json::parse(out.str());
  std::string id = vb::cstr(fromJson(saved["args"]["iovntDOCTO_TRANSPORTE_ID"]));
  EXPECT_NE(id, "0");
  // The matrix comes back with a cargo id in column 4 of each row.
  EXPECT_EQ(saved["args"]["inarrvntMatriz_Dim"]["items"][4].size(), 2u);

  ASSERT_EQ(run({"coleta", "show", id.c_str(), "--db", db.c_str()}), 0) << out.str();
  EXPECT_NE(out.str().find("Caixas"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("1,20"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("Aviso:"), std::string::npos);

  EXPECT_EQ(run({"pessoa", "show", "12", "--db", db.c_str()}), 0);
  EXPECT_NE(out.str().find("PJ"), std::string::npos) << out.str();

  EXPECT_EQ(run({"coleta", "delete", id.c_str(), "--db", db.c_str(), "--oracle"}), 0) << out.str();
  // Status 10 exits non-zero and shows the component's message.
  EXPECT_EQ(run({"coleta", "delete", "0", "--db", db.c_str()}), 1);
  EXPECT_NE(out.str().find("Informe uma Coleta."), std::string::npos) << out.str();
  EXPECT_EQ(run({"coleta", "save", "--db", db.c_str()}), 1);
  EXPECT_NE(out.str().find("Mensagem: "), std::string::npos) << out.str();
  // The demo Coleta is still there, with its warning.
  EXPECT_EQ(run({"coleta", "show", "100", "--db", db.c_str()}), 0);
  EXPECT_NE(out.str().find("Aviso: "), std::string::npos) << out.str();
}

}  // namespace
}  // namespace z418kt::cli
