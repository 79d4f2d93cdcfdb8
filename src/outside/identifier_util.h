// IdentifierUtil: key allocation and the audit record of document changes, on
// the caller's database. A builder creates one instance per call.
#pragma once

#include <cstdint>
#include <string>

#include "z418kt/variant.h"

namespace z418kt::outside {

class IdentifierUtil {
 public:
  virtual ~IdentifierUtil() = default;
  // 1: allocates the next value of `keyName`. True (-1): `newId` holds it.
  // Otherwise `message` holds a Portuguese message for the user.
  virtual Variant op1_allocate(std::string dbKind, int32_t user, int32_t zero, std::string system,
                               std::string flag, Variant& connection, std::string connectionText,
                               std::string keyName, std::string& message, int32_t& newId) = 0;
  // 3: records operation `operation` (1 insert, 2 update) of entity `entity` on
  // a document. True (-1) when recorded.
  virtual Variant op3_record(std::string& dbKind, int32_t& entity, int32_t& operation,
                             int32_t& user, int32_t& document, int32_t& unused,
                             std::string& message, std::string& connectionText) = 0;
};

}  // namespace z418kt::outside
