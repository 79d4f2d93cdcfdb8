// How the outputs of the read operations become record fields. A column that
// holds nothing (NULL reaches the caller as the empty text) is an absent
// field; a value of the wrong kind is an UnreadableValue naming the field, so
// a record is never filled with a guess.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "record/named_call.h"
#include "record/outcome.h"
#include "z418kt/automation_error.h"
#include "z418kt/decimal.h"
#include "z418kt/variant.h"

namespace z418kt::record {

class UnreadableValue : public std::exception {
 public:
  UnreadableValue(std::string field, std::string value);
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// The text of an output; "" for Empty and Null.
std::string textOf(const Variant& value);
// A whole number (an integer type, or a text or decimal without fraction).
std::optional<int64_t> wholeOf(const Variant& value, const char* field);
// An exact decimal (a number type, or a text with ',' or '.').
std::optional<Decimal> decimalOf(const Variant& value, const char* field);

// The argument form of an identifier: a 32-bit integer when it fits, its
// digits otherwise (the operations then refuse it in their own words).
Variant idArgument(int64_t id);

// One read through the operations: `call` makes the call; a call that did not
// succeed is Failed with its user message; `found` tells a value the operation
// wrote from outputs it left as passed (NotFound); `fill` fills the value. A
// call that fails as a whole, or a value that cannot be read, is Failed with
// the reason and no half-filled value.
template <class T, class Call, class Found, class Fill>
ReadOutcome<T> readThrough(Call&& call, Found&& found, Fill&& fill) {
  ReadOutcome<T> out;
  data::clearFailure();
  try {
    Outcome r = call();
    if (!r.succeeded()) {
      out.message = textOf(r.arg("outvntMsg_Ret"));
      out.failure = data::lastFailure();
    } else if (!found(r)) {
      out.status = ReadStatus::NotFound;
    } else {
      fill(r, out.value);
      out.status = ReadStatus::Found;
    }
  } catch (const AutomationError& e) {
    out = {};
    out.message = e.description;
    out.callFailed = true;
  } catch (const UnreadableValue& e) {
    out = {};
    out.message = e.what();
    out.callFailed = true;
  }
  return out;
}

}  // namespace z418kt::record
