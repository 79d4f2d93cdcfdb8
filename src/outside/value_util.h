// ValueUtil: converts and formats values for every operation. Methods carry the
// component's operation numbers. A failure is thrown as AutomationError, which
// the calling operation's error trap reports.
#pragma once

#include <string>

#include "z418kt/variant.h"

namespace z418kt::outside {

class ValueUtil {
 public:
  virtual ~ValueUtil() = default;
  // 4: the number of a value, a record-set field or a text; compared with 0,
  // converted to 32 bits or written to an output.
  virtual Variant op4_number(Variant value) = 0;
  // 6: the value handed out as it is (a field's column value).
  virtual Variant op6_value(Variant value) = 0;
  // 7: the SQL text of one stored-procedure argument, appended to an EXEC text.
  virtual Variant op7_procedureArgument(Variant value) = 0;
  // 7 written onto the end of an EXEC text: what op7_procedureArgument
  // answers, as concatenation writes it. An implementation may write the
  // argument straight onto the text, without a text or a variant of its own
  // on the way; it writes nothing when it fails.
  virtual void appendProcedureArgument(std::string& text, const Variant& value);
  // 8: as 7, for the free-text packing description.
  virtual Variant op8_procedureText(Variant value) = 0;
  // 11: decimal check of a text. True (-1): `accepted` holds the value to store.
  virtual Variant op11_checkDecimal(std::string value, std::string& accepted) = 0;
  // 13: the normalised form of a trimmed input text.
  virtual std::string op13_normalize(std::string trimmed) = 0;
};

}  // namespace z418kt::outside
