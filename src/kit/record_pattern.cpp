#include "kit/record_pattern.h"

#include <algorithm>

#include "automation/resolved_ref.h"
#include "outside/components.h"

namespace z418kt::pattern {

using data::Recordset;

bool isOracle(const Variant& bancoDados) {
  const vb::ResolvedView vView(bancoDados);
  const Variant& v = vView.get();
  return v.isText() && v.text() == "ORACLE";
}

std::string textForm(const Variant& value) { return vb::concatText(value); }

int32_t idArgument(const Variant& value) {
  return vb::clng(outside::valueUtil().op4_number(value));
}

bool acceptDecimal(const Variant& value, std::string& accepted) {
  return vb::isTrue(outside::valueUtil().op11_checkDecimal(vb::cstr(value), accepted));
}

ProcedureText::ProcedureText(TrapState& st, std::string_view procedure) : st_(st) {
  st_.sql = procedure;
}

ProcedureText& ProcedureText::arg(const Variant& value) {
  st_.next();
  outside::valueUtil().appendProcedureArgument(st_.sql, value);
  st_.sql += ", ";
  return *this;
}

ProcedureText& ProcedureText::textArg(const Variant& value) {
  st_.next();
  st_.sql += vb::concatText(outside::valueUtil().op8_procedureText(value));
  st_.sql += ", ";
  return *this;
}

void ProcedureText::last(const Variant& value, std::string_view tail) {
  st_.next();
  outside::valueUtil().appendProcedureArgument(st_.sql, value);
  st_.sql += tail;
}

void appendPieces(std::string& statement, std::initializer_list<std::string_view> pieces) {
  size_t size = statement.size();
  for (std::string_view piece : pieces) size += piece.size();
  // Room for this part and the next ones: a statement grows by a few parts,
  // its values among them, and most fit in the first reservation.
  constexpr size_t kFirstRoom = 512;
  if (size > statement.capacity())
    statement.reserve(std::max({size + kFirstRoom / 2, kFirstRoom, 2 * statement.capacity()}));
  size_t at = statement.size();
  statement.resize(size);
  for (std::string_view piece : pieces) {
    piece.copy(statement.data() + at, piece.size());
    at += piece.size();
  }
}

namespace {
std::string oracleValue(int operation, const Variant& value, std::string op) {
  auto& sql = outside::oracleSqlUtil();
  return vb::concatText(operation == 4 ? sql.op4_sqlText(value, op) : sql.op3_sqlValue(value, op));
}
}  // namespace

namespace {
using Writer = void (outside::OracleSqlUtil::*)(std::string&, const Variant&);
void appendWritten(std::string& statement, std::string_view before, const Variant& value,
                   std::string_view after, Writer write) {
  auto& sql = outside::oracleSqlUtil();
  const size_t built = statement.size();
  statement += before;
  try {
    (sql.*write)(statement, value);
  } catch (const std::exception&) {
    statement.resize(built);  // as far as it was built before the value
    throw;
  }
  statement += after;
}
}  // namespace

void appendSqlValue(std::string& statement, std::string_view before, const Variant& value,
                    std::string_view after) {
  appendWritten(statement, before, value, after, &outside::OracleSqlUtil::appendSqlValue);
}

void appendSqlComparison(std::string& statement, std::string_view before, const Variant& value,
                         std::string_view after) {
  appendWritten(statement, before, value, after, &outside::OracleSqlUtil::appendSqlComparison);
}

std::string sqlValue(const Variant& value) { return oracleValue(3, value, ""); }
std::string sqlComparison(const Variant& value) { return oracleValue(3, value, "="); }
std::string sqlText(const Variant& value) { return oracleValue(4, value, ""); }

bool numberIsZero(const Variant& value) {
  const Variant number = outside::valueUtil().op4_number(value);
  // The answer is a 32-bit integer as a rule: compared without the general comparison.
  if (number.type() == VarType::I4) return number.i4() == 0;
  return vb::equals(number, Variant(int32_t{0}));
}

namespace {
// The state test, then the row test, each a statement of its own.
bool onRow(const Recordset& rs, TrapState& st) {
  st.next();
  if (rs.state() == data::adStateClosed) return false;
  st.next();
  return !rs.eof();
}
}  // namespace

bool openRead(Recordset& rs, TrapState& st, const std::string& connection, bool& result) {
  rs.setCursorLocation(data::adUseClient);
  rs.open(st.sql, connection, data::adOpenStatic, data::adLockReadOnly, data::adUnspecified);
  if (onRow(rs, st)) return true;
  result = rs.state() != data::adStateClosed;
  return false;
}

bool openWrite(Recordset& rs, TrapState& st, const std::string& connection) {
  rs.open(st.sql, connection, data::adUnspecified, data::adUnspecified, data::adUnspecified);
  return onRow(rs, st);
}

Variant field(const Recordset& rs, std::string_view name) { return rs.fieldsItem(name); }

bool retornoIsZero(Recordset& rs, TrapState& st) {
  Variant retorno = rs.fieldsItem("retorno");
  st.next();
  if (numberIsZero(retorno)) return true;
  st.next();
  rs.close();
  return false;
}

void runDataChange(TrapState& st, const std::string& connection) {
  Recordset rs;
  rs.setCursorLocation(data::adUseClient);
  rs.open(st.sql, connection, data::adUnspecified, data::adUnspecified, data::adUnspecified);
  if (!onRow(rs, st)) return;
  st.next();
  rs.close();
}

}  // namespace z418kt::pattern
