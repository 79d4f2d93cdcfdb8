// Fuzz target: one serve request line, decoded and dispatched to the real
// operations and outside components, against a scripted statement runner (no
// database). The first bytes of the input script the runner's answers; the
// rest is the request line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/statement_runner.h"
#include "json/request.h"

namespace {

using z418kt::Currency;
using z418kt::Variant;

constexpr size_t kScriptBytes = 8;

// Answers each statement by the next script byte: no result set, no rows, a
// failure, or rows whose columns are the statement's words (so every column an
// operation reads is there) holding values of every kind.
class ScriptedRunner : public z418kt::data::StatementRunner {
 public:
  std::string script;
  size_t next = 0;

  z418kt::data::RowSet run(const z418kt::data::OpenRequest& request) override {
    unsigned char b =
        script.empty() ? 0 : static_cast<unsigned char>(script[next++ % script.size()]);
    z418kt::data::RowSet out;
    switch (b % 4) {
      case 0:
        return out;
      case 2:
        throw z418kt::AutomationError(-2147217900, "scripted failure");
      default:
        break;
    }
    out.hasResultSet = true;
    out.columns = {"retorno", "contador", "ULTIMO_VALOR"};
    std::string word;
    for (char c : request.source + " ") {
      bool part =
          (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
      if (part) {
        word += c;
      } else if (!word.empty()) {
        if (out.columns.size() < 64) out.columns.push_back(word);
        word.clear();
      }
    }
    const Variant values[] = {
        Variant(int32_t{0}), Variant(int32_t{1}), Variant(int32_t{100}), Variant("0,5"),
        Variant("abc"),      Variant::null(),     Variant(1.5),          Variant(Currency{12345}),
        Variant(""),         Variant(1e300),      Variant(int16_t{-1}),  Variant::date(45000.5)};
    if (b % 4 == 3) {
      for (int r = 0; r < 1 + (b >> 7); ++r) {
        std::vector<Variant> row;
        for (size_t c = 0; c < out.columns.size(); ++c)
          row.push_back(values[(static_cast<size_t>(b >> 2) + c * 7 + static_cast<size_t>(r)) %
                               std::size(values)]);
        out.rows.push_back(std::move(row));
      }
    }
    return out;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto runner = [] {
    auto r = std::make_shared<ScriptedRunner>();
    z418kt::data::installStatementRunner(r);
    return r;
  }();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.size() < kScriptBytes ? input.size() : kScriptBytes;
  runner->script = std::string(input.substr(0, split));
  runner->next = 0;

  z418kt::json::RequestOptions options;
  options.limits.maxBytes = 64 * 1024;
  options.limits.maxArrayElements = 2000;
  options.limits.maxMatrixRows = 50;
  z418kt::Z418kt component;
  std::string text = z418kt::json::answerRequestText(component, input.substr(split), options);
  // Every answer is one valid line of JSON, whatever the request held.
  if (text.empty() || text.find('\n') != std::string::npos) __builtin_trap();
  (void)z418kt::json::Json::parse(text);
  return 0;
}
