// Field validation before a Coleta is stored: the eight header fields are
// cleaned in place (each comes back as text), then checked one by one by
// InputCheckUtil, stopping at the first check that fails. The failing check
// writes the user message itself.
#include <iterator>

#include "kit/trap.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

enum class Check { Integer, Decimal, Text };  // InputCheckUtil operations 3, 4 and 5

struct FieldCheck {
  Check kind;
  const char* caption;
  Variant* field;
  double maximum;    // Decimal only: the highest accepted value
  const char* flag;  // "S": a value is required; "N": it may be empty
};

bool passes(const FieldCheck& check, Variant& user, Variant& message) {
  outside::InputCheckUtil& checks = outside::inputCheckUtil();
  Variant caption(check.caption), minimum(int16_t{0}), empty(""), flag(check.flag);
  switch (check.kind) {
    case Check::Integer:
      return vb::isTrue(
          checks.op3_checkInteger(caption, *check.field, minimum, empty, user, message, flag));
    case Check::Decimal: {
      Variant maximum(check.maximum);
      return vb::isTrue(
          checks.op4_checkDecimal(caption, *check.field, minimum, maximum, user, message, flag));
    }
    case Check::Text:
      return vb::isTrue(checks.op5_checkText(caption, *check.field, empty, user, message, flag));
  }
  return false;
}

}  // namespace

bool Z418kt::mConsiste_Campos(std::string&, Variant& invntUsuario_Internet_ID, Variant&, Variant&,
                              Variant&, Variant& INVNTCLIENTE_ID, Variant& invntEND_DESTINATARIO_ID,
                              Variant& invntEND_REMETENTE_ID, Variant& invntnum_volume,
                              Variant& invntpeso_real, Variant& invnttxt_embalagem,
                              Variant& invntval_declarado, Variant& invntDOCTO_TRANSPORTE_ID,
                              Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(OperationId::mConsiste_Campos, invntUsuario_Internet_ID, outvntMsg_Ret,
           [&](TrapState& st) {
             // Cleaned in this order; a Null field stops the cleaning with an
             // error, the fields before it keeping their cleaned texts.
             Variant* const cleaning[] = {
                 &invntEND_DESTINATARIO_ID, &invntEND_REMETENTE_ID, &invntnum_volume,
                 &invntpeso_real,           &invnttxt_embalagem,    &invntval_declarado,
                 &invntDOCTO_TRANSPORTE_ID, &INVNTCLIENTE_ID,
             };
             for (size_t i = 0; i < std::size(cleaning); ++i) {
               st.at(9100 + 10 * static_cast<int32_t>(i));
               Variant& field = *cleaning[i];
               field = Variant(outside::valueUtil().op13_normalize(vb::trim(vb::cstr(field))));
             }
             // The document comes first, then the parties, the amounts and the text.
             const FieldCheck checks[] = {
                 {Check::Integer, "Docto Transporte id", &invntDOCTO_TRANSPORTE_ID, 0, "N"},
                 {Check::Integer, "Cliente", &INVNTCLIENTE_ID, 0, "S"},
                 {Check::Integer, "Remetente", &invntEND_REMETENTE_ID, 0, "S"},
                 {Check::Integer, "Destinatário", &invntEND_DESTINATARIO_ID, 0, "N"},
                 {Check::Decimal, "Valor Dec.", &invntval_declarado, 9999999999999.99, "S"},
                 {Check::Decimal, "Peso", &invntpeso_real, 999999.99, "S"},
                 {Check::Integer, "Nº de Volumes", &invntnum_volume, 0, "N"},
                 {Check::Text, "Descrição da Mercadoria", &invnttxt_embalagem, 0, "N"},
             };
             for (size_t i = 0; i < std::size(checks); ++i) {
               st.at(9180 + 10 * static_cast<int32_t>(i));
               if (!passes(checks[i], invntUsuario_Internet_ID, outvntMsg_Ret)) return;
             }
             st.at(9260);
             result = true;
           });
  return result;
}

}  // namespace z418kt
