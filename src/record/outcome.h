// What a read through the operations gives: the value, "not found", or the
// failure with the operations' user message.
#pragma once

#include <string>

namespace z418kt::record {

enum class ReadStatus { Found, NotFound, Failed };

// `value` is meaningful when Found; `message` holds the operations' user
// message when Failed (it may be empty: some refusals write none).
template <class T>
struct ReadOutcome {
  ReadStatus status = ReadStatus::Failed;
  T value;
  std::string message;
};

}  // namespace z418kt::record
