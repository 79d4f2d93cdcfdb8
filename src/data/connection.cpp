#include "data/connection.h"

#include "z418kt/automation_error.h"

namespace z418kt::data {

void Connection::begin(bool) {
  throw errors::provider("This session cannot run a transaction over several statements.");
}

void Connection::commit() {}

void Connection::rollback() noexcept {}

}  // namespace z418kt::data
