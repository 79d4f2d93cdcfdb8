// Not built yet: answers with the failure result.
#include "z418kt/z418kt.h"

namespace z418kt {

Variant Z418kt::gConsulta_Dados_Pessoa(Variant&, Variant&, Variant&, Variant&, Variant&, Variant&,
                                       Variant&, Variant&, Variant&, Variant&, Variant&, Variant&,
                                       Variant&, Variant&, Variant&, Variant&, Variant&, Variant&) {
  return Variant(int16_t{10});
}

bool Z418kt::mConsulta_Campos_vENDERECO_PESSOA(std::string&, Variant&, Variant&, Variant&, Variant&,
                                               Variant&, Variant&, Variant&, Variant&, Variant&,
                                               Variant&, Variant&, Variant&, Variant&, Variant&,
                                               Variant&, Variant&, Variant&) {
  return false;
}

bool Z418kt::mTrataSP_KTR_CON_PESSOA_AWB(std::string&, std::string&, int32_t&, std::string&,
                                         Variant&, Variant&) {
  return false;
}

}  // namespace z418kt
