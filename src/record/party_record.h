// A party as the party lookup gives it, addressed by the id of one of its
// addresses (the ids a Coleta's sender and addressee are).
#pragma once

#include <cstdint>

#include "record/outcome.h"
#include "z418kt/coletas.h"
#include "z418kt/z418kt.h"

namespace z418kt::record {

ReadOutcome<Pessoa> readParty(Z418kt& component, const CallContext& context, int64_t enderecoId);

}  // namespace z418kt::record
