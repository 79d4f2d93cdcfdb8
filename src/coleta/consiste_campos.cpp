// Not built yet: answers with the failure result.
#include "z418kt/z418kt.h"

namespace z418kt {

bool Z418kt::mConsiste_Campos(std::string&, Variant&, Variant&, Variant&, Variant&, Variant&,
                              Variant&, Variant&, Variant&, Variant&, Variant&, Variant&, Variant&,
                              Variant&) {
  return false;
}

}  // namespace z418kt
