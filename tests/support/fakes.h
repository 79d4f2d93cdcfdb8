// Recording fakes of the outside components and a scripted statement runner.
//
// Every call is appended to one shared log as "Component.opN(args)", so a
// test can check call order across components and the database. Fakes answer
// with marked texts that show in statement texts which operation made them:
//   ValueUtil 7 → "a7(x)", 8 → "a8(x)", 11 accepts x as "d(x)",
//   OracleSqlUtil 3 → "=o3(x)" with "=" and "o3(x)" without, 4 → "o4(x)",
//   NumberFormatUtil 1 → "n1(x)", 2 → "n2(x)".
// ValueUtil 4 gives the I4 of its argument (0 for Empty, Null or ""), 6 the
// value itself, 13 the text unchanged. Checks pass; IdentifierUtil hands out
// 1001, 1002, ... The answers with an `on...` hook can be replaced.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/statement_runner.h"
#include "outside/components.h"
#include "z418kt/variant.h"
#include "z418kt/z418kt.h"

namespace z418kt::testing {

using Log = std::vector<std::string>;

struct FakeState {
  Log log;
  // ValueUtil
  std::function<Variant(const std::string&, std::string&)> on11;
  std::function<std::string(const std::string&)> on13;
  // InputCheckUtil: (operation, caption, value, message) → result
  std::function<Variant(int, const Variant&, const Variant&, Variant&)> onCheck;
  // NumberFormatUtil
  std::function<Variant(int, const Variant&)> onFormat;
  // OracleSqlUtil
  std::function<Variant(int, const Variant&, const std::string&)> onSql;
  // IdentifierUtil
  std::function<Variant(const std::string& key, std::string& message, int32_t& id)> onAllocate;
  std::function<Variant(int32_t operation)> onRecord;
  int32_t nextId = 1001;
  int identifierInstances = 0;
  int identifierReleased = 0;
};

// The text a fake logs for a value: its VB text, "Null", or "Field(name=value)".
std::string describe(const Variant& v);

// One answer of the scripted runner: a row set, or an error to throw.
struct Scripted {
  data::RowSet rows;
  bool fails = false;
  AutomationError error{0, ""};
};

// A result set with the given columns and rows.
Scripted rows(std::vector<std::string> columns, std::vector<std::vector<Variant>> values);
// A statement without a result set (the record set stays closed).
Scripted noResultSet();
Scripted failure(int32_t number, std::string description);

class ScriptedRunner : public data::StatementRunner {
 public:
  explicit ScriptedRunner(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
  data::RowSet run(const data::OpenRequest& request) override;

  std::deque<Scripted> answers;  // consumed in order
  // Every request, in order, with copies of its texts.
  struct Opened {
    std::string source, connection;
    int cursorLocation, cursorType, lockType, options;
  };
  std::vector<Opened> opened;

 private:
  std::shared_ptr<FakeState> state_;
};

// An argument of ComponentTest::call: a value, or a variable that the call
// reads and then writes back.
struct Arg {
  Arg(Variant v) : value(std::move(v)) {}
  Arg(Variant* v) : value(*v), variable(v) {}
  Variant value;
  Variant* variable = nullptr;
};

// Installs the fakes and the scripted runner for the test, and restores the
// real ones afterwards.
class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Calls `operation` through the interface table with the caller context
  // (`conecta`, user 1, `empresa`, the database kind `banco`, no product)
  // followed by `args`.
  Variant call(std::string_view operation, const char* banco, std::initializer_list<Arg> args);
  bool succeeds(std::string_view operation, const char* banco, std::initializer_list<Arg> args) {
    return vb::isTrue(call(operation, banco, args));
  }

  // ValueUtil 11 refuses `value` and accepts every other text as it is.
  void refuseDecimal(std::string value);
  // Statement texts opened so far, in order.
  std::vector<std::string> statements() const;
  Log& log() { return state->log; }

  std::shared_ptr<FakeState> state = std::make_shared<FakeState>();
  std::shared_ptr<ScriptedRunner> runner;
  Z418kt component;
  Variant conecta{"c"}, empresa;

 private:
  outside::Factories previousFactories_;
  std::shared_ptr<data::StatementRunner> previousRunner_;
};

}  // namespace z418kt::testing
