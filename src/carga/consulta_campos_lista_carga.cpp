// Not built yet: answers with the failure result.
#include "z418kt/z418kt.h"

namespace z418kt {

bool Z418kt::mConsulta_Campos_LISTA_CARGA(std::string&, Variant&, Variant&, Variant&, Variant&,
                                          Variant&, Variant&, Variant&, Variant&, Variant&) {
  return false;
}

bool Z418kt::mTrataSP_KTR_CON_CARGA_AWB(std::string&, std::string&, int32_t&, std::string&,
                                        Variant&, Variant&) {
  return false;
}

}  // namespace z418kt
