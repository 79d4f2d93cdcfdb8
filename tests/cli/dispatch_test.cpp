#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <tuple>

#include "cli/serve.h"
#include "json/request.h"
#include "support/fakes.h"

namespace z418kt::cli {
namespace {

using namespace json;

using testing::rows;

// Calls by name through the fakes: the count operation answers from the scripted runner.
class Dispatch : public testing::ComponentTest {
 protected:
  void scriptCount(int32_t n) { runner->answers.push_back(rows({"CONTADOR"}, {{Variant(n)}})); }
  Z418kt component;
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
  scriptCount(0);  // by dispatch identifier too
  EXPECT_FALSE(isErrorAnswer(answerCall(component, kFirstDispid + 1, Json())));
}

TEST_F(Dispatch, CallsThatCannotRunAnswerAnError) {
  // clang-format off
  const std::tuple<const char*, const char*, int> refused[] = {
      {"gNao_Existe", "[]", 438}, {"gExclui_Coleta", "[1,2,3]", 450},
      {"gExclui_Coleta", R"({"nope":1})", 448}, {"gExclui_Coleta", "5", kMalformedRequest},
      {"gExclui_Coleta", R"({"invntDOCTO_TRANSPORTE_ID":{"vt":"I2","value":1e9}})", 6}};
  // clang-format on
  for (auto [op, args, number] : refused) {
    Json error = answerCall(component, op, Json::parse(args))["error"];
    EXPECT_EQ(error["number"], number) << op << args;
    EXPECT_FALSE(error["description"].get<std::string>().empty()) << op << args;
  }
  EXPECT_EQ(answerCall(component, Json::array(), Json())["error"]["number"], kMalformedRequest);
  EXPECT_THROW(parseRequestText("{\"op\": "), RequestError);
  EXPECT_TRUE(runner->opened.empty());
}

TEST_F(Dispatch, ServeAnswersEveryLineWithItsIdAndGoesOnAfterRefusals) {
  RequestOptions small;
  small.limits.maxBytes = 3'000'000;
  small.limits.maxArrayElements = 100;
  small.limits.maxMatrixRows = 3;
  const std::string deep = std::string(1'000'000, '[') + std::string(1'000'000, ']');
  std::string sixty = "0";
  for (int k = 1; k < 60; ++k) sixty += ",0";
  const std::string count =
      R"("op":"mConsulta_Qtde_AWB_COLETA","args":{"invntDOCTO_TRANSP_PAI_ID":1})";
  // clang-format off
  const std::pair<std::string, std::string> lines[] = {
      {R"({"id":1,"op":"x","args":{"a":)" + deep + "}}", "1003 1"},
      {R"({"id":2,"args":)" + deep + "}", "1003 2"},
      {R"({"id":3,"op":"x","args":")" + std::string(3'000'000, 'a') + "\"}", "1002 3"},
      {R"({"id":4,"op":"x","args":[[)" + sixty + "],[" + sixty + "]]}", "1004 4"},
      {R"({"id":5,"op":"gExclui_Coleta","args":[[[1,2,3,4],[1,2,3,4]]]})", "1005 5"},
      {R"({"id":6,"args":{}})", "1001 6"},
      {R"({"id":7,"op":"gExclui_Coleta","args":{"invntDOCTO_TRANSPORTE_ID":{"vt":"DATE","value":"2024-02-31"}}})", "5 7"},
      {R"({"id":[8],"op":)", "1001 null"},
      {R"({"op":"gNao_Existe","id":10,"args":[]})", "438 10"},
      {"[1,2]", "1001 null"},
      {"{" + count + R"(,"id":9})", "ok:4 9"},
      {R"({"op":"mconsulta_qtde_awb_coleta","id":"a","args":{"invntDOCTO_TRANSP_PAI_ID":2}})", "ok:5 \"a\""}};
  // clang-format on
  std::string input = "\n";  // blank lines get no answer
  for (const auto& [line, expected] : lines) input += line + "\n\n";
  scriptCount(4);
  scriptCount(5);
  std::istringstream in(input);
  std::ostringstream out;
  EXPECT_EQ(serve(in, out, component, small), 12);
  std::istringstream answers(out.str());
  size_t k = 0;
  for (std::string line; std::getline(answers, line); ++k) {
    Json a = Json::parse(line);
    std::string got = (a.contains("error") ? a["error"]["number"].dump()
                                           : "ok:" + a["args"]["outvntContador"]["value"].dump()) +
                      " " + (a.contains("id") ? a["id"].dump() : "null");
    EXPECT_EQ(got, lines[k].second) << k;
  }
  EXPECT_EQ(k, std::size(lines));

  // A line beyond the size limit is dropped while read, and the next one answered.
  small.limits.maxBytes = 300;
  std::istringstream longLine(R"({"id":"big","op":")" + std::string(5000, 'x') + "\"}\n{" + count +
                              "}\n");
  std::ostringstream longOut;
  scriptCount(1);
  EXPECT_EQ(serve(longLine, longOut, component, small), 2);
  std::istringstream longAnswers(longOut.str());
  std::string first, second;
  std::getline(longAnswers, first);
  std::getline(longAnswers, second);
  EXPECT_EQ(Json::parse(first)["error"]["number"], kRequestTooLarge);
  EXPECT_EQ(Json::parse(first)["id"], "big");
  EXPECT_EQ(Json::parse(second)["result"]["value"], true) << second;
}

// A client that waits for its answers: each piece of input is handed over
// only once every line it completed before was answered.
class WaitingClient : public std::streambuf {
 public:
  WaitingClient(std::vector<std::string> pieces, const std::ostringstream& answers)
      : pieces_(std::move(pieces)), answers_(answers) {}
  size_t waitedInVain = 0;

 protected:
  int_type underflow() override {
    if (next_ == pieces_.size()) return traits_type::eof();
    const std::string out = answers_.str();
    if (static_cast<size_t>(std::count(out.begin(), out.end(), '\n')) != answerable_)
      ++waitedInVain;
    current_ = pieces_[next_++];
    for (char c : current_) {
      if (c == '\n') answerable_ += !blankSoFar_;  // a blank line gets no answer
      blankSoFar_ = c == '\n';
    }
    setg(current_.data(), current_.data(), current_.data() + current_.size());
    return traits_type::to_int_type(current_[0]);
  }

 private:
  std::vector<std::string> pieces_;
  const std::ostringstream& answers_;
  size_t next_ = 0, answerable_ = 0;
  bool blankSoFar_ = true;
  std::string current_;
};

TEST_F(Dispatch, ServeAnswersWhatItHasBeforeItWaitsForMore) {
  const std::string count =
      R"({"op":"mConsulta_Qtde_AWB_COLETA","args":{"invntDOCTO_TRANSP_PAI_ID":1}})";
  for (int k = 0; k < 4; ++k) scriptCount(k);
  std::ostringstream out;
  // The last request comes in two pieces: the one before is answered in between.
  WaitingClient client({count + "\n", "\n", "not json\n", count + "\n" + count.substr(0, 9),
                        count.substr(9) + "\n" + count + "\n"},
                       out);
  std::istream in(&client);
  EXPECT_EQ(serve(in, out, component), 5);
  EXPECT_EQ(client.waitedInVain, 0u);
}

TEST_F(Dispatch, AnswersNeverCarryTheConnectionPassword) {
  for (const char* connection :
       {"Driver=PostgreSQL Unicode;Server=h;Uid=u;Pwd=s3cr3t;Port=5432",
        "DSN=x;PASSWORD={s3cr3t;x}", "Provider=X;Jet OLEDB:Database Password=s3cr3t"}) {
    scriptCount(1);
    Json args = Json::object();
    args["instrConecta_DB"] = connection;
    std::string answer = answerCall(component, "mConsulta_Qtde_AWB_COLETA", args).dump();
    EXPECT_EQ(answer.find("s3cr3t"), std::string::npos) << answer;
    EXPECT_NE(answer.find("=***"), std::string::npos) << answer;
    // The operation itself got the real text.
    EXPECT_EQ(runner->opened.back().connection, connection);
  }
}

}  // namespace
}  // namespace z418kt::cli
