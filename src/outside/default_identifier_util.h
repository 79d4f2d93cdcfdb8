// The default IdentifierUtil: keys and the audit record on the caller's database.
//
// Operation 1 takes the next value of a key from KTR_SEQUENCIA, reserved by
// this process in blocks of 32 (KeyBlocks): an UPDATE of the counter and a
// SELECT of it, inside one transaction on one session, so concurrent callers
// never share a key and the statements run on every engine we name; keys a
// process does not use are gaps. An unknown key, a key name that is no plain identifier or a
// database failure answers False with a Portuguese message; the connection
// argument is left as passed. Operation 3 writes one KTR_AUDITORIA row
// (entity, operation, user, document, the server's CURRENT_TIMESTAMP) and
// answers True, or False with a message when the database refuses it.
#pragma once

#include <memory>

#include "outside/identifier_util.h"

namespace z418kt::outside {

class DefaultIdentifierUtil : public IdentifierUtil {
 public:
  Variant op1_allocate(std::string dbKind, int32_t user, int32_t zero, std::string system,
                       std::string flag, Variant& connection, std::string connectionText,
                       std::string keyName, std::string& message, int32_t& newId) override;
  Variant op3_record(std::string& dbKind, int32_t& entity, int32_t& operation, int32_t& user,
                     int32_t& document, int32_t& unused, std::string& message,
                     std::string& connectionText) override;
};

}  // namespace z418kt::outside
