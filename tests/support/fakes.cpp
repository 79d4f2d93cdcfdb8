#include "support/fakes.h"

#include "data/recordset.h"
#include "z418kt/interface.h"

namespace z418kt::testing {

std::string describe(const Variant& v) {
  if (v.isObject()) {
    auto field = std::dynamic_pointer_cast<data::Field>(v.object());
    if (field) return "Field(" + field->name() + "=" + describe(field->defaultValue()) + ")";
  }
  if (v.isNull()) return "Null";
  if (v.isArray()) return "Array";
  return vb::cstr(v);
}

namespace {

int32_t number(const Variant& v) {
  Variant r = vb::resolved(v);
  if (r.isEmpty() || r.isNull() || (r.isText() && vb::trim(r.text()).empty())) return 0;
  return vb::clng(r);
}

class FakeValueUtil : public outside::ValueUtil {
 public:
  explicit FakeValueUtil(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  Variant op4_number(Variant v) override {
    s_->log.push_back("ValueUtil.op4(" + describe(v) + ")");
    return Variant(number(v));
  }
  Variant op6_value(Variant v) override {
    s_->log.push_back("ValueUtil.op6(" + describe(v) + ")");
    return vb::resolved(v);
  }
  Variant op7_procedureArgument(Variant v) override {
    s_->log.push_back("ValueUtil.op7(" + describe(v) + ")");
    return Variant("a7(" + describe(v) + ")");
  }
  Variant op8_procedureText(Variant v) override {
    s_->log.push_back("ValueUtil.op8(" + describe(v) + ")");
    return Variant("a8(" + describe(v) + ")");
  }
  Variant op11_checkDecimal(std::string value, std::string& accepted) override {
    s_->log.push_back("ValueUtil.op11(" + value + ")");
    if (s_->on11) return s_->on11(value, accepted);
    accepted = "d(" + value + ")";
    return Variant::boolean(true);
  }
  std::string op13_normalize(std::string trimmed) override {
    s_->log.push_back("ValueUtil.op13(" + trimmed + ")");
    return s_->on13 ? s_->on13(trimmed) : trimmed;
  }

 private:
  std::shared_ptr<FakeState> s_;
};

class FakeInputCheckUtil : public outside::InputCheckUtil {
 public:
  explicit FakeInputCheckUtil(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  Variant op3_checkInteger(Variant& caption, Variant& value, Variant& minimum, Variant& extra,
                           Variant& user, Variant& message, Variant& flag) override {
    return check(3, caption, value, {minimum, extra}, user, message, flag);
  }
  Variant op4_checkDecimal(Variant& caption, Variant& value, Variant& minimum, Variant& maximum,
                           Variant& user, Variant& message, Variant& flag) override {
    return check(4, caption, value, {minimum, maximum}, user, message, flag);
  }
  Variant op5_checkText(Variant& caption, Variant& value, Variant& extra, Variant& user,
                        Variant& message, Variant& flag) override {
    return check(5, caption, value, {extra}, user, message, flag);
  }

 private:
  Variant check(int op, const Variant& caption, const Variant& value, std::vector<Variant> extras,
                const Variant& user, Variant& message, const Variant& flag) {
    std::string entry =
        "InputCheckUtil.op" + std::to_string(op) + "(" + describe(caption) + ", " + describe(value);
    for (const Variant& e : extras) entry += ", " + describe(e);
    entry += ", " + describe(user) + ", " + describe(flag) + ")";
    s_->log.push_back(entry);
    return s_->onCheck ? s_->onCheck(op, caption, value, message) : Variant::boolean(true);
  }
  std::shared_ptr<FakeState> s_;
};

class FakeNumberFormatUtil : public outside::NumberFormatUtil {
 public:
  explicit FakeNumberFormatUtil(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  Variant op1_formatDecimal(Variant& field) override { return format(1, field); }
  Variant op2_formatMeasure(Variant& field) override { return format(2, field); }

 private:
  Variant format(int op, const Variant& field) {
    s_->log.push_back("NumberFormatUtil.op" + std::to_string(op) + "(" + describe(field) + ")");
    if (s_->onFormat) return s_->onFormat(op, field);
    return Variant("n" + std::to_string(op) + "(" + describe(vb::resolved(field)) + ")");
  }
  std::shared_ptr<FakeState> s_;
};

class FakeOracleSqlUtil : public outside::OracleSqlUtil {
 public:
  explicit FakeOracleSqlUtil(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  Variant op3_sqlValue(Variant value, std::string& op) override { return sql(3, value, op); }
  Variant op4_sqlText(Variant value, std::string& op) override { return sql(4, value, op); }

 private:
  Variant sql(int n, const Variant& value, const std::string& op) {
    s_->log.push_back("OracleSqlUtil.op" + std::to_string(n) + "(" + describe(value) + ", '" + op +
                      "')");
    if (s_->onSql) return s_->onSql(n, value, op);
    return Variant(op + "o" + std::to_string(n) + "(" + describe(value) + ")");
  }
  std::shared_ptr<FakeState> s_;
};

class FakeIdentifierUtil : public outside::IdentifierUtil {
 public:
  explicit FakeIdentifierUtil(std::shared_ptr<FakeState> s) : s_(std::move(s)) {
    ++s_->identifierInstances;
  }
  ~FakeIdentifierUtil() override { ++s_->identifierReleased; }
  Variant op1_allocate(std::string dbKind, int32_t user, int32_t zero, std::string system,
                       std::string flag, Variant&, std::string connectionText, std::string keyName,
                       std::string& message, int32_t& newId) override {
    s_->log.push_back("IdentifierUtil.op1(" + dbKind + ", " + std::to_string(user) + ", " +
                      std::to_string(zero) + ", " + system + ", " + flag + ", " + connectionText +
                      ", " + keyName + ")");
    if (s_->onAllocate) return s_->onAllocate(keyName, message, newId);
    newId = s_->nextId++;
    return Variant::boolean(true);
  }
  Variant op3_record(std::string& dbKind, int32_t& entity, int32_t& operation, int32_t& user,
                     int32_t& document, int32_t&, std::string&,
                     std::string& connectionText) override {
    s_->log.push_back("IdentifierUtil.op3(" + dbKind + ", " + std::to_string(entity) + ", " +
                      std::to_string(operation) + ", " + std::to_string(user) + ", " +
                      std::to_string(document) + ", " + connectionText + ")");
    return s_->onRecord ? s_->onRecord(operation) : Variant::boolean(true);
  }

 private:
  std::shared_ptr<FakeState> s_;
};

}  // namespace

Scripted rows(std::vector<std::string> columns, std::vector<std::vector<Variant>> values) {
  Scripted s;
  s.rows.hasResultSet = true;
  s.rows.columns = std::move(columns);
  s.rows.rows = std::move(values);
  return s;
}

Scripted noResultSet() { return Scripted{}; }

Scripted failure(int32_t number, std::string description) {
  Scripted s;
  s.fails = true;
  s.error = AutomationError(number, std::move(description));
  return s;
}

data::RowSet ScriptedRunner::run(const data::OpenRequest& request) {
  opened.push_back({request.source, request.connection, request.cursorLocation, request.cursorType,
                    request.lockType, request.options});
  state_->log.push_back("Open(" + request.source + ")");
  if (answers.empty()) throw AutomationError(-1, "unscripted statement: " + request.source);
  Scripted next = std::move(answers.front());
  answers.pop_front();
  if (next.fails) throw next.error;
  return next.rows;
}

void ComponentTest::SetUp() {
  auto s = state;
  previousFactories_ = outside::installFactories(outside::Factories{
      [s] { return std::make_shared<FakeValueUtil>(s); },
      [s] { return std::make_shared<FakeInputCheckUtil>(s); },
      [s] { return std::make_shared<FakeNumberFormatUtil>(s); },
      [s] { return std::make_shared<FakeOracleSqlUtil>(s); },
      [s] { return std::make_unique<FakeIdentifierUtil>(s); },
  });
  runner = std::make_shared<ScriptedRunner>(state);
  previousRunner_ = data::installStatementRunner(runner);
}

void ComponentTest::TearDown() {
  outside::installFactories(std::move(previousFactories_));
  data::installStatementRunner(previousRunner_);
}

Variant ComponentTest::call(std::string_view operation, const char* banco,
                            std::initializer_list<Arg> args) {
  std::vector<Variant> all = {conecta, Variant(int32_t{1}), empresa, Variant(banco), Variant()};
  for (const Arg& a : args) all.push_back(a.value);
  Variant result = invoke(component, operation, all);
  size_t k = 5;
  for (const Arg& a : args)
    if (Variant& back = all[k++]; a.variable) *a.variable = back;
  return result;
}

void ComponentTest::refuseDecimal(std::string value) {
  state->on11 = [value](const std::string& v, std::string& out) {
    out = v;
    return Variant::boolean(v != value);
  };
}

std::vector<std::string> ComponentTest::statements() const {
  std::vector<std::string> texts;
  for (const auto& r : runner->opened) texts.push_back(r.source);
  return texts;
}

}  // namespace z418kt::testing
