// Not built yet: answers with the failure result.
#include "z418kt/z418kt.h"

namespace z418kt {

Variant Z418kt::gExclui_Coleta(Variant&, Variant&, Variant&, Variant&, Variant&, Variant&,
                               Variant&) {
  return Variant(int16_t{10});
}

}  // namespace z418kt
