// InputCheckUtil: field checks. Each returns True (-1) when the field passes;
// otherwise it has written its own Portuguese message into `message`.
// `flag` is "S" for a field that must hold a value, "N" for one that may be empty.
#pragma once

#include "z418kt/variant.h"

namespace z418kt::outside {

class InputCheckUtil {
 public:
  virtual ~InputCheckUtil() = default;
  // 3: a whole number not below `minimum`; `extra` is the empty text.
  virtual Variant op3_checkInteger(Variant& caption, Variant& value, Variant& minimum,
                                   Variant& extra, Variant& user, Variant& message,
                                   Variant& flag) = 0;
  // 4: a decimal number between `minimum` and `maximum`.
  virtual Variant op4_checkDecimal(Variant& caption, Variant& value, Variant& minimum,
                                   Variant& maximum, Variant& user, Variant& message,
                                   Variant& flag) = 0;
  // 5: a free text; `extra` is the empty text.
  virtual Variant op5_checkText(Variant& caption, Variant& value, Variant& extra, Variant& user,
                                Variant& message, Variant& flag) = 0;
};

}  // namespace z418kt::outside
