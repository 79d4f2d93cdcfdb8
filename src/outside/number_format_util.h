// NumberFormatUtil: the display form of decimal columns read from the database.
// Whatever it returns is stored in the output as it is, and must be accepted
// back by ValueUtil operation 11 so that a read Coleta saves unchanged.
#pragma once

#include "z418kt/variant.h"

namespace z418kt::outside {

class NumberFormatUtil {
 public:
  virtual ~NumberFormatUtil() = default;
  // 1: weight and declared value.
  virtual Variant op1_formatDecimal(Variant& field) = 0;
  // 2: a dimension in metres.
  virtual Variant op2_formatMeasure(Variant& field) = 0;
};

}  // namespace z418kt::outside
