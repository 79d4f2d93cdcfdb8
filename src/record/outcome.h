// What one call through the operations gave: the value, "not found", or a
// failure with the operations' user message and the class of the database
// failure behind it (None when the database had no part in it).
#pragma once

#include <string>

#include "data/failure_class.h"

namespace z418kt::record {

enum class ReadStatus { Found, NotFound, Failed };

// `value` is meaningful when Found; `message` holds the operations' user
// message when Failed (it may be empty: some refusals write none).
template <class T>
struct ReadOutcome {
  ReadStatus status = ReadStatus::Failed;
  T value;
  std::string message;
  data::FailureClass failure = data::FailureClass::None;
  bool callFailed = false;  // the call failed as a whole (no operation answer)
};

}  // namespace z418kt::record
