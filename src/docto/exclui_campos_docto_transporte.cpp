// Not built yet: answers with the failure result.
#include "z418kt/z418kt.h"

namespace z418kt {

bool Z418kt::mExclui_Campos_DOCTO_TRANSPORTE(std::string&, Variant&, Variant&, Variant&, Variant&,
                                             Variant&, Variant&) {
  return false;
}

bool Z418kt::mTrataSP_KTR_EXC_SOLICIT_COLETA(std::string&, std::string&, int32_t&, int32_t&,
                                             std::string&, Variant&, Variant&) {
  return false;
}

}  // namespace z418kt
