#include "outside/default_identifier_util.h"

#include <optional>

#include "data/recordset.h"
#include "data/statement_runner.h"
#include "outside/components.h"
#include "outside/key_blocks.h"

namespace z418kt::outside {

namespace {

// Key names go into the statement text, so only plain identifiers pass:
// ASCII letters, digits and '_', whatever the process locale calls a letter.
bool isKeyName(const std::string& name) {
  auto letter = [](char c) {
    char lower = static_cast<char>(c | 0x20);
    return (lower >= 'a' && lower <= 'z') || c == '_';
  };
  if (name.empty() || name.size() > 30 || !letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

const Variant kTrue = Variant::boolean(true);
const Variant kFalse = Variant::boolean(false);

}  // namespace

namespace {

// The next key: one this process reserved earlier (given back should the
// caller's transaction not be stored), one reserved earlier in the caller's
// transaction, or the first of a new block. A block is reserved
// inside one transaction on one session: the counter's UPDATE locks its row
// until the SELECT has read the new value, so concurrent callers, here or in
// other processes, never share a key. Inside a caller's transaction (a save)
// the reservation is part of it: the rest of the block serves the rest of that
// transaction and goes to the process only once its commit is durable, so a
// save still makes one commit, uses consecutive keys, and a rolled-back save
// leaves no key behind. Plain UPDATE and SELECT read the same on every engine
// we name (no RETURNING, which Oracle and SQL Server spell differently).
// Throws AutomationError; nothing when the key is unknown.
std::optional<int32_t> allocateKey(const std::string& connectionText, const std::string& keyName) {
  auto* reservations = KeyBlocks::Reservations::current(connectionText);
  if (auto key = KeyBlocks::process().take(connectionText, keyName)) {
    if (reservations) reservations->borrowed(keyName, *key);
    return key;
  }
  if (reservations)
    if (auto key = reservations->take(keyName)) return key;
  auto transaction = data::currentStatementRunner()->transaction(connectionText, true);
  data::Recordset rs;
  rs.open("UPDATE KTR_SEQUENCIA SET ULTIMO_VALOR = ULTIMO_VALOR + " +
              std::to_string(KeyBlocks::kBlockSize) + " WHERE NOME_CHAVE = '" + keyName + "'",
          connectionText, data::adUnspecified, data::adUnspecified, data::adUnspecified);
  if (rs.state() != data::adStateClosed) rs.close();
  rs.open("SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = '" + keyName + "'",
          connectionText, data::adUnspecified, data::adUnspecified, data::adUnspecified);
  if (rs.state() == data::adStateClosed || rs.eof()) return std::nullopt;
  int32_t last = vb::clng(rs.fieldsItem("ULTIMO_VALOR"));
  rs.close();
  int32_t first = last - (KeyBlocks::kBlockSize - 1);
  if (reservations)
    reservations->add(keyName, first + 1, last);
  else
    transaction->whenDurable([connectionText, keyName, first, last] {
      KeyBlocks::process().add(connectionText, keyName, first + 1, last);
    });
  transaction->commit();
  return first;
}

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
    auto value = allocateKey(connectionText, keyName);
    if (!value) {
      message = "Sequência de identificadores " + keyName + " não cadastrada.";
      return kFalse;
    }
    newId = *value;
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
            std::to_string(user) + ", " + std::to_string(document) + ", CURRENT_TIMESTAMP)",
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
