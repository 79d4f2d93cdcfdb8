// Creates a client may repeat: the Idempotency-Key of a create is stored with
// the new Coleta's id and a digest of what was asked, in the transaction that
// stores the Coleta, so either both are kept or neither. A repeat with the
// same key and content finds the first Coleta; with other content it is
// refused. Keys are forgotten kIdempotencyHours after their create.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "z418kt/coletas.h"

namespace z418kt::record {

// The reason a key cannot be one (empty when it can): 1 to 255 printable
// ASCII characters without blanks.
std::string keyProblem(const std::string& key);

// A digest of everything a create stores, the same for the same content.
std::string contentDigest(const Coleta& coleta);

struct StoredKey {
  std::string digest;
  int64_t id = 0;
};

// Reads the key (not expired); throws AutomationError when the database fails.
std::optional<StoredKey> findKey(const std::string& connection, const std::string& key);
// Forgets expired keys, then stores this one; throws AutomationError (a key
// stored meanwhile by another create is a refused statement).
void storeKey(const std::string& connection, const std::string& key, const StoredKey& stored);

}  // namespace z418kt::record
