// Steps shared by the five write operations and their Oracle builders, on top
// of the record-set pattern: the per-call IdentifierUtil (key allocation and the audit record of a
// document change), the constant result SELECT of the two inserts, and the reading of a write's
// result row up to its "retorno".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "data/recordset.h"
#include "kit/trap.h"
#include "outside/identifier_util.h"
#include "z418kt/variant.h"

namespace z418kt::write {

// A builder's own IdentifierUtil: created with the object (429 when it cannot
// be), released by release() or, at the latest, when the builder's scope ends.
// The connection object that the allocation hands back lives as long.
class BuilderIdentifiers {
 public:
  BuilderIdentifiers();
  // Operation 1 for `keyName`, on behalf of the user whose id `userText`
  // holds as text. True: `newId` holds the new key. Otherwise the
  // component's message becomes the user message and the instance is released.
  bool allocate(const std::string& dbKind, const Variant& userText, const std::string& connection,
                const std::string& keyName, Variant& msgRet, int32_t& newId);
  // Operation 3 for transport document `documentId` (entity 13; operation 1
  // after an insert, 2 after an update). The instance is released right after
  // the call; true only when the component answered True. No user message.
  // The user's and the document's conversions and the call are statements
  // numbered in turn from the current one.
  bool recordDocument(const std::string& dbKind, int32_t operation, const Variant& userText,
                      int32_t documentId, const std::string& connection, TrapState& st);
  void release() { util_.reset(); }

 private:
  std::unique_ptr<outside::IdentifierUtil> util_;
  Variant connectionObject_;
};

// The constant SELECT an insert builder hands back: " SELECT  ", the new key
// as ValueUtil operation 4 renders it, then `rest` (its column name, RETORNO,
// MSG_RET and the FROM clause).
std::string insertedSelect(int32_t newId, std::string_view rest);

// Opens an operation's write statement (st.sql) with ADO's defaults and tests
// its result row. True: a row whose "retorno" is 0, the record set left open on
// it. False, with no user message: the record set came back closed, had no
// row, or "retorno" was another value (then it is closed). The open and its
// tests take `number` to `number + 2`, the "retorno" read, test and close
// `number + 5` to `number + 7`: the operation's next number is `number + 10`.
bool openWriteDone(data::Recordset& rs, TrapState& st, int32_t number,
                   const std::string& connection);

}  // namespace z418kt::write
