#include "kit/write_steps.h"

#include <charconv>

#include "kit/record_pattern.h"
#include "outside/components.h"

namespace z418kt::write {

namespace {
int32_t number32(const Variant& value) { return vb::clng(outside::valueUtil().op4_number(value)); }
}  // namespace

BuilderIdentifiers::BuilderIdentifiers() : util_(outside::newIdentifierUtil()) {}

bool BuilderIdentifiers::allocate(const std::string& dbKind, const Variant& userText,
                                  const std::string& connection, const std::string& keyName,
                                  Variant& msgRet, int32_t& newId) {
  std::string message;
  Variant answer = util_->op1_allocate(dbKind, vb::clng(userText), 0, "TRIVEMAR", "N",
                                       connectionObject_, connection, keyName, message, newId);
  if (vb::isTrue(answer)) return true;
  msgRet = Variant(message);
  release();
  return false;
}

bool BuilderIdentifiers::recordDocument(const std::string& dbKind, int32_t operation,
                                        const Variant& userText, int32_t documentId,
                                        const std::string& connection, TrapState& st) {
  std::string kind = dbKind;
  std::string connectionText = connection;
  std::string message;
  int32_t entity = 13;
  int32_t unused = 0;
  int32_t user = number32(userText);
  st.next();
  int32_t document = number32(Variant(documentId));
  st.next();
  Variant answer =
      util_->op3_record(kind, entity, operation, user, document, unused, message, connectionText);
  release();
  return vb::isTrue(answer);
}

std::string insertedSelect(int32_t newId, std::string_view rest) {
  constexpr std::string_view kSelect = " SELECT  ";
  const Variant number = outside::valueUtil().op4_number(Variant(newId));
  std::string text;
  if (number.type() == VarType::I4) {
    // A key as concatenation writes it, the text made once at its full size.
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, number.i4()).ptr;
    text.reserve(kSelect.size() + static_cast<size_t>(end - digits) + rest.size());
    text += kSelect;
    text.append(digits, end);
  } else {
    text = kSelect;
    text += vb::concatText(number);
  }
  text += rest;
  return text;
}

bool openWriteDone(data::Recordset& rs, TrapState& st, int32_t number,
                   const std::string& connection) {
  st.at(number);
  if (!pattern::openWrite(rs, st, connection)) return false;
  st.at(number + 5);
  return pattern::retornoIsZero(rs, st);
}

}  // namespace z418kt::write
