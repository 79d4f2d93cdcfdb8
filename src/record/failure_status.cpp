#include "record/failure_status.h"

namespace z418kt::record {

Status statusOfFailure(data::FailureClass failure) {
  switch (failure) {
    case data::FailureClass::None:
    case data::FailureClass::Refused:
      return Status::Refused;
    case data::FailureClass::Unreachable:
    case data::FailureClass::Lost:
    case data::FailureClass::Timeout:
      return Status::Unavailable;
    case data::FailureClass::Login:
      return Status::Failed;
  }
  return Status::Failed;
}

}  // namespace z418kt::record
