// Errors of the HTTP API as problem details (application/problem+json):
// {"type", "title", "status", "detail"} plus, where one field is at fault,
// "campo" with its name in the request body, so a page can show the message
// next to that field. Handlers throw ProblemError; the server writes it.
#pragma once

#include <stdexcept>
#include <string>

#include "json/json_variant.h"

namespace z418kt::http {

struct Problem {
  int status = 500;
  std::string detail;
  std::string field;      // "campo": the body field the detail is about, if any
  json::Json extra = {};  // further members (for example an operation's typed answer)
};

struct ProblemError : std::runtime_error {
  explicit ProblemError(Problem p) : std::runtime_error(p.detail), problem(std::move(p)) {}
  Problem problem;
};

// The problem document; type and title follow from the status.
json::Json problemJson(const Problem& problem);

inline constexpr const char* kProblemType = "application/problem+json";

}  // namespace z418kt::http
