// What kind of failure the last database statement of this thread met, kept
// for callers that answer people: a refused statement (a constraint or a value
// the engine would not take) is the request's fault, a database that cannot
// be reached or does not answer in time is worth retrying, and a login the
// server refused is the configuration's. The class follows from the type of
// the failure where it was raised, never from its text.
#pragma once

#include <exception>

namespace z418kt::data {

enum class FailureClass {
  None,         // no statement failed since the last clear
  Unreachable,  // no session could be opened
  Login,        // the server refused the credentials
  Lost,         // the session lost its server
  Timeout,      // a statement, or the wait for a free session, ran out of time
  Refused,      // the engine refused the statement: constraint, data or syntax
};

FailureClass classOf(const std::exception& error);

// The class of the last failure noted on this thread since clearFailure().
FailureClass lastFailure();
void clearFailure();
void noteFailure(const std::exception& error);

}  // namespace z418kt::data
