#include <gtest/gtest.h>

#include <sstream>

#include "cli/app.h"
#include "cli/request.h"
#include "cli/serve.h"
#include "support/fakes.h"

namespace z418kt::cli {
namespace {

using testing::ComponentTest;
using testing::rows;

// Calls by name through the fakes: the count operation answers from the scripted runner.
class Dispatch : public ComponentTest {
 protected:
  void scriptCount(int32_t n) { runner->answers.push_back(rows({"CONTADOR"}, {{Variant(n)}})); }
  int run(std::vector<const char*> argv, const std::string& input = "") {
    argv.insert(argv.begin(), "z418kt");
    std::istringstream in(input);
    out.str("");
    err.str("");
    return runApp(static_cast<int>(argv.size()), argv.data(), {in, out, err, false});
  }
  Z418kt component;
  std::ostringstream out, err;
};

TEST_F(Dispatch, NamedAndPositionalCallsAnswerEveryArgumentTyped) {
  scriptCount(3);
  Json answer = answerCall(component, "MCONSULTA_QTDE_awb_coleta", Json::parse(R"({
      "INSTRCONECTA_DB": "Provider=SQLite;Data Source=x.db",
      "invntdocto_transp_pai_id": 42,
      "invntTAB_STATUS_ID": {"vt":"I2","value":1},
      "invntTAB_TIPO_DOCTO_TRANSP_ID": {"vt":"I2","value":115}})"));
  ASSERT_FALSE(isErrorAnswer(answer)) << answer.dump();
  EXPECT_EQ(answer["result"], Json::parse(R"({"vt":"BOOL","value":true})"));
  EXPECT_EQ(statements()[0], "EXEC SP_KTR_CON_QTDE_AWB_COLETA   a7(42), a7(1), a7(115)");
  const Json& args = answer["args"];
  ASSERT_EQ(args.size(), 10u);
  EXPECT_EQ(args.begin().key(), "instrConecta_DB");  // interface order and spelling
  EXPECT_EQ(args["instrConecta_DB"],
            Json::parse(R"({"vt":"BSTR","value":"Provider=SQLite;Data Source=x.db"})"));
  EXPECT_EQ(args["invntEmpresa_Id"], Json::parse(R"({"vt":"EMPTY"})"));
  EXPECT_EQ(args["outvntContador"], Json::parse(R"({"vt":"I4","value":3})"));

  scriptCount(0);
  Json positional =
      answerCall(component, "mConsulta_Qtde_AWB_COLETA",
                 Json::parse(R"(["c", 0, null, "ORACLE", null, 7, 1, 115, null, null])"));
  EXPECT_EQ(positional["args"]["invntEmpresa_Id"], Json::parse(R"({"vt":"NULL"})"));
  EXPECT_NE(statements()[1].find("=o3(7)"), std::string::npos);
  // By dispatch identifier too.
  scriptCount(0);
  EXPECT_FALSE(isErrorAnswer(answerCall(component, kFirstDispid + 1, Json())));
}

TEST_F(Dispatch, CallsThatCannotRunAnswerAnErrorAndTouchNothing) {
  auto number = [](const Json& a) { return a["error"]["number"].get<int>(); };
  EXPECT_EQ(number(answerCall(component, "gNao_Existe", Json::array())), 438);
  EXPECT_EQ(number(answerCall(component, "gExclui_Coleta", Json::parse("[1,2,3]"))), 450);
  EXPECT_EQ(number(answerCall(component, "gExclui_Coleta", Json::parse(R"({"nope":1})"))), 448);
  EXPECT_EQ(number(answerCall(component, "gExclui_Coleta", Json::parse("5"))), kMalformedRequest);
  EXPECT_EQ(
      number(answerCall(component, "gExclui_Coleta",
                        Json::parse(R"({"invntDOCTO_TRANSPORTE_ID":{"vt":"I2","value":1e9}})"))),
      6);
  EXPECT_EQ(number(answerCall(component, Json::array(), Json())), kMalformedRequest);
  EXPECT_THROW(parseRequestText("{\"op\": "), RequestError);
  EXPECT_TRUE(runner->opened.empty());
  EXPECT_FALSE(answerCall(component, "gNao_Existe", Json())["error"]["description"]
                   .get<std::string>()
                   .empty());
}

TEST_F(Dispatch, ServeAnswersEveryLineAndKeepsGoingAfterABadOne) {
  scriptCount(2);
  scriptCount(5);
  std::istringstream in(
      R"({"op":"mConsulta_Qtde_AWB_COLETA","id":"a","args":{"invntDOCTO_TRANSP_PAI_ID":1}})"
      "\n{this is not json\n"
      "\n"
      R"({"op":"gNao_Existe","args":[]})"
      "\n[1,2]\n"
      R"({"op":"mconsulta_qtde_awb_coleta","id":7,"args":{"invntDOCTO_TRANSP_PAI_ID":2}})");
  std::ostringstream out;
  EXPECT_EQ(serve(in, out, component), 5);
  std::istringstream lines(out.str());
  std::vector<Json> answers;
  for (std::string line; std::getline(lines, line);) answers.push_back(Json::parse(line));
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_EQ(answers[0]["args"]["outvntContador"]["value"], 2);
  EXPECT_EQ(answers[0]["id"], "a");
  EXPECT_EQ(answers[1]["error"]["number"], kMalformedRequest);
  EXPECT_EQ(answers[2]["error"]["number"], 438);
  EXPECT_EQ(answers[3]["error"]["number"], kMalformedRequest);
  EXPECT_EQ(answers[4]["args"]["outvntContador"]["value"], 5);
  EXPECT_EQ(answers[4]["id"], 7);
}

TEST_F(Dispatch, CommandLineExitCodes) {
  // invoke: the request from --args or the input; failures answer JSON and exit 1.
  scriptCount(4);
  EXPECT_EQ(
      run({"invoke", "mConsulta_Qtde_AWB_COLETA"}, R"({"args":{"invntDOCTO_TRANSP_PAI_ID":9}})"),
      0);
  EXPECT_EQ(Json::parse(out.str())["args"]["outvntContador"]["value"], 4);
  EXPECT_EQ(run({"invoke", "gNao_Existe", "--args", "[]"}), 1);
  EXPECT_EQ(Json::parse(out.str())["error"]["number"], 438);
  EXPECT_EQ(run({"invoke", "gExclui_Coleta"}, "{oops"), 1);
  EXPECT_EQ(Json::parse(out.str())["error"]["number"], kMalformedRequest);
  // Wrong usage exits 2 with a message on the error stream.
  EXPECT_EQ(run({"invoke"}), 2);
  EXPECT_FALSE(err.str().empty());
  EXPECT_EQ(run({"frobnicate"}), 2);
  EXPECT_EQ(run({"coleta", "save", "--carga", "2x0.5x0.4"}), 2);
  EXPECT_NE(err.str().find("2x0.5x0.4"), std::string::npos);
  EXPECT_TRUE(runner->answers.empty());
  // Every command has help with examples.
  for (auto cmd : std::vector<std::vector<const char*>>{{"--help"},
                                                        {"invoke", "--help"},
                                                        {"serve", "--help"},
                                                        {"init", "--help"},
                                                        {"demo", "--help"},
                                                        {"coleta", "save", "--help"},
                                                        {"coleta", "show", "--help"},
                                                        {"coleta", "delete", "--help"},
                                                        {"pessoa", "show", "--help"}}) {
    EXPECT_EQ(run(cmd), 0) << cmd[0];
    EXPECT_NE(out.str().find("Examples:"), std::string::npos) << cmd[0];
  }
}

}  // namespace
}  // namespace z418kt::cli
