// Not built yet: answers with the failure result.
#include "z418kt/z418kt.h"

namespace z418kt {

bool Z418kt::mExclui_Campos_CARGA(std::string&, Variant&, Variant&, Variant&, Variant&, Variant&,
                                  Variant&, Variant&) {
  return false;
}

bool Z418kt::mTrataSP_KTR_EXC_CARGA_AWB(std::string&, std::string&, int32_t&, int32_t&,
                                        std::string&, Variant&, Variant&) {
  return false;
}

}  // namespace z418kt
