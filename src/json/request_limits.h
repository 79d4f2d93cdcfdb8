// RequestLimits: what one request may cost before it is refused.
//
// A request is decoded whole in memory, so its size, its nesting and the
// number of values it holds bound the memory and time a call may take. Every
// front end (invoke, serve, HTTP) decodes with these limits, and each limit
// refused has its own error number, so a caller can tell which one it hit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace z418kt::json {

inline constexpr int32_t kRequestTooLarge = 1002;  // more bytes than maxBytes
inline constexpr int32_t kNestingTooDeep = 1003;   // arrays/objects nested beyond maxDepth
inline constexpr int32_t kTooManyElements = 1004;  // more array elements than maxArrayElements
inline constexpr int32_t kTooManyMatrixRows =
    1005;  // a 2-D array with more rows than maxMatrixRows

struct RequestLimits {
  // Bytes of one request: a serve line, an invoke input, an HTTP body.
  size_t maxBytes = 16 * 1024 * 1024;
  // Arrays and objects inside one another, the request object included. A
  // typed cargo matrix inside a request needs 6.
  size_t maxDepth = 64;
  // Values inside arrays, counted over the whole request.
  size_t maxArrayElements = 100'000;
  // Rows (the second index) of a two-dimensional array such as the cargo matrix.
  size_t maxMatrixRows = 10'000;
};

}  // namespace z418kt::json
