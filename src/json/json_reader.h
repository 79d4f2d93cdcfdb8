// The reader of request text: strict JSON (RFC 8259) straight into a JSON
// tree, within the request limits.
//
// It gives the tree the JSON library's own parser gives for the same text:
// non-negative whole numbers unsigned, negative ones signed, other numbers
// (and whole numbers beyond 64 bits) double; a key given twice keeps its
// first place and its last value; a UTF-8 byte order mark may lead the text
// and a NUL byte after the value ends it.
// It refuses what that parser refuses (ill-formed UTF-8, lone surrogates,
// control characters in strings, numbers beyond the double range, anything
// after the value) with kMalformedRequest and a description that names the
// fault and its byte offset. Limits are checked in text order as values are
// met, so whichever comes first, a broken text or a limit, is what is
// reported. Nesting is kept on the heap: a deep text costs no stack.
#pragma once

#include <string_view>

#include "json/json_variant.h"
#include "json/request_limits.h"

namespace z418kt::json {

// Throws RequestError: kMalformedRequest, kNestingTooDeep or kTooManyElements.
// Sizes (maxBytes) are the caller's business.
Json readJson(std::string_view text, const RequestLimits& limits);

}  // namespace z418kt::json
