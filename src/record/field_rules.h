// Every reason a Coleta cannot be stored, found at once, so an operator fixes
// them in one go:
// - the header, as the operations check it: their own messages, exactly, the
//   first one first. The check stops at the first field it refuses, so each
//   refused field is found by giving the check a stand-in for it (a value it
//   accepts) and checking again; checks run in memory and store nothing;
// - each cargo piece: volumes and the three measures present and above zero
//   (the operations store what they get, a negative width included);
// - the client, sender and receiver exist ("Cliente 98765 não encontrado.").
#pragma once

#include <cstdint>
#include <vector>

#include "record/outcome.h"
#include "z418kt/coletas.h"
#include "z418kt/z418kt.h"

namespace z418kt::record {

struct FieldCheck {
  std::vector<FieldError> errors;  // empty: the Coleta may be stored
  // The checks themselves could not run: the message says why.
  bool failed = false;
  std::string message;
  data::FailureClass failure = data::FailureClass::None;
};

FieldCheck checkFields(Z418kt& component, const CallContext& context, const Coleta& coleta,
                       int64_t id);

}  // namespace z418kt::record
