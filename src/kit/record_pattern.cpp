#include "kit/record_pattern.h"

#include "outside/components.h"

namespace z418kt::pattern {

using data::Recordset;

bool isOracle(const Variant& bancoDados) {
  Variant v = vb::resolved(bancoDados);
  return v.isText() && v.text() == "ORACLE";
}

std::string textForm(const Variant& value) { return vb::concatText(value); }

int32_t idArgument(const Variant& value) {
  return vb::clng(outside::valueUtil().op4_number(value));
}

bool acceptDecimal(const Variant& value, std::string& accepted) {
  return vb::isTrue(outside::valueUtil().op11_checkDecimal(vb::cstr(value), accepted));
}

ProcedureText::ProcedureText(std::string& statement, std::string_view procedure)
    : statement_(statement) {
  statement_ = procedure;
}

ProcedureText& ProcedureText::arg(const Variant& value) {
  statement_ += vb::concatText(outside::valueUtil().op7_procedureArgument(value));
  statement_ += ", ";
  return *this;
}

ProcedureText& ProcedureText::textArg(const Variant& value) {
  statement_ += vb::concatText(outside::valueUtil().op8_procedureText(value));
  statement_ += ", ";
  return *this;
}

void ProcedureText::last(const Variant& value, std::string_view tail) {
  statement_ += vb::concatText(outside::valueUtil().op7_procedureArgument(value));
  statement_ += tail;
}

void appendPieces(std::string& statement, std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces) statement += piece;
}

namespace {
std::string oracleValue(int operation, const Variant& value, std::string op) {
  auto& sql = outside::oracleSqlUtil();
  return vb::concatText(operation == 4 ? sql.op4_sqlText(value, op) : sql.op3_sqlValue(value, op));
}
}  // namespace

std::string sqlValue(const Variant& value) { return oracleValue(3, value, ""); }
std::string sqlComparison(const Variant& value) { return oracleValue(3, value, "="); }
std::string sqlText(const Variant& value) { return oracleValue(4, value, ""); }

bool numberIsZero(const Variant& value) {
  return vb::equals(outside::valueUtil().op4_number(value), Variant(int32_t{0}));
}

namespace {
bool onRow(const Recordset& rs) { return rs.state() != data::adStateClosed && !rs.eof(); }
}  // namespace

bool openRead(Recordset& rs, const std::string& statement, const std::string& connection,
              bool& result) {
  rs.setCursorLocation(data::adUseClient);
  rs.open(statement, connection, data::adOpenStatic, data::adLockReadOnly, data::adUnspecified);
  if (onRow(rs)) return true;
  result = rs.state() != data::adStateClosed;
  return false;
}

bool openWrite(Recordset& rs, const std::string& statement, const std::string& connection) {
  rs.open(statement, connection, data::adUnspecified, data::adUnspecified, data::adUnspecified);
  return onRow(rs);
}

Variant field(const Recordset& rs, const std::string& name) { return rs.fieldsItem(name); }

bool retornoIsZero(Recordset& rs) {
  if (numberIsZero(rs.fieldsItem("retorno"))) return true;
  rs.close();
  return false;
}

void runDataChange(const std::string& statement, const std::string& connection) {
  Recordset rs;
  rs.setCursorLocation(data::adUseClient);
  rs.open(statement, connection, data::adUnspecified, data::adUnspecified, data::adUnspecified);
  if (onRow(rs)) rs.close();
}

}  // namespace z418kt::pattern
