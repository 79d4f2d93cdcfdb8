// What a failed call means for the caller, from the class of the database
// failure behind it (never from its message): the rules or the engine
// refused the request, the database cannot be reached or did not answer in
// time, or something else failed.
#pragma once

#include "data/failure_class.h"
#include "z418kt/coletas.h"

namespace z418kt::record {

Status statusOfFailure(data::FailureClass failure);

// For calls made outside the front door (an operation called by name):
// notes the failures of the calls made while it lives.
class FailureWatch {
 public:
  FailureWatch() { data::clearFailure(); }
  // What a call that did not succeed means: Refused unless the database failed.
  Status status() const { return statusOfFailure(data::lastFailure()); }
};

}  // namespace z418kt::record
