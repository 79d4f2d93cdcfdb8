#include "outside/default_identifier_util.h"

#include <cctype>

#include "data/recordset.h"
#include "outside/components.h"

namespace z418kt::outside {

namespace {

// Key names go into the statement text, so only plain identifiers pass.
bool isKeyName(const std::string& name) {
  if (name.empty() || name.size() > 30) return false;
  if (!std::isalpha(static_cast<unsigned char>(name[0])) && name[0] != '_') return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

const Variant kTrue = Variant::boolean(true);
const Variant kFalse = Variant::boolean(false);

}  // namespace

Variant DefaultIdentifierUtil::op1_allocate(std::string, int32_t, int32_t, std::string, std::string,
                                            Variant&, std::string connectionText,
                                            std::string keyName, std::string& message,
                                            int32_t& newId) {
  if (!isKeyName(keyName)) {
    message = "Nome de chave inválido para gerar identificador: \"" + keyName + "\".";
    return kFalse;
  }
  try {
    data::Recordset rs;
    rs.open("UPDATE KTR_SEQUENCIA SET ULTIMO_VALOR = ULTIMO_VALOR + 1 WHERE NOME_CHAVE = '" +
                keyName + "' RETURNING ULTIMO_VALOR",
            connectionText, data::adUnspecified, data::adUnspecified, data::adUnspecified);
    if (rs.state() == data::adStateClosed || rs.eof()) {
      message = "Sequência de identificadores " + keyName + " não cadastrada.";
      return kFalse;
    }
    newId = vb::clng(rs.fieldsItem("ULTIMO_VALOR"));
    rs.close();
    return kTrue;
  } catch (const AutomationError& e) {
    message = "Não foi possível gerar o identificador " + keyName + ": " + e.description;
    return kFalse;
  }
}

Variant DefaultIdentifierUtil::op3_record(std::string&, int32_t& entity, int32_t& operation,
                                          int32_t& user, int32_t& document, int32_t&,
                                          std::string& message, std::string& connectionText) {
  try {
    data::Recordset rs;
    rs.open(
        "INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, "
        "DATA_HORA) VALUES (" +
            std::to_string(entity) + ", " + std::to_string(operation) + ", " +
            std::to_string(user) + ", " + std::to_string(document) + ", SYSDATE)",
        connectionText, data::adUnspecified, data::adUnspecified, data::adUnspecified);
    return kTrue;
  } catch (const AutomationError& e) {
    message = "Não foi possível registrar a operação na auditoria: " + e.description;
    return kFalse;
  }
}

std::unique_ptr<IdentifierUtil> makeDefaultIdentifierUtil() {
  return std::make_unique<DefaultIdentifierUtil>();
}

}  // namespace z418kt::outside
