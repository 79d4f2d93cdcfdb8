// The front door: the operator's rules around the operations (see
// z418kt/coletas.h). Reads and writes go through the operations; names, lists
// and searches through the door's own read-only statements.
#include <utility>

#include "automation/number_text.h"
#include "data/statement_runner.h"
#include "record/coleta_record.h"
#include "record/door_reads.h"
#include "record/failure_status.h"
#include "record/field_rules.h"
#include "record/idempotency.h"
#include "record/party_record.h"
#include "z418kt/coletas.h"

namespace z418kt {

namespace {

using data::FailureClass;

Status statusOf(FailureClass failure) { return record::statusOfFailure(failure); }

template <class T>
Result<T> answer(Status status, std::string message) {
  Result<T> r;
  r.status = status;
  if (status == Status::Refused) r.errors.push_back({"", message});
  r.message = std::move(message);
  return r;
}

// A call that did not succeed: failed as a whole, or refused / failed with the
// class of the database failure behind it.
template <class T>
Result<T> failure(bool callFailed, FailureClass failure, std::string message) {
  return answer<T>(callFailed ? Status::Failed : statusOf(failure), std::move(message));
}

// A failure of one of the door's own statements: a refusal there is no
// fault of the request.
template <class T>
Result<T> ownReadFailed(const AutomationError& e) {
  FailureClass f = data::lastFailure();
  return answer<T>(f == FailureClass::Refused ? Status::Failed : statusOf(f), e.description);
}

// Runs one of the door's own reads: its value, done, or the failure above.
template <class T, class Read>
Result<T> ownRead(Read&& read) {
  Result<T> r;
  try {
    r.value = read();
  } catch (const AutomationError& e) {
    return ownReadFailed<T>(e);
  }
  r.status = Status::Done;
  return r;
}

template <class T>
Result<T> refused(std::vector<FieldError> errors) {
  Result<T> r;
  r.status = Status::Refused;
  r.message = errors.front().mensagem;
  r.errors = std::move(errors);
  return r;
}

std::string coletaNotFound(int64_t id) {
  return "Coleta " + numtext::integerText(id) + " não encontrada.";
}

bool isDay(const std::string& text) {
  return text.size() == 10 && text[4] == '-' && text[7] == '-' &&
         numtext::parseDateTime(text).has_value();
}

bool isCursor(const std::string& text) {
  if (text.empty()) return true;
  if (text.find_first_not_of("0123456789") != std::string::npos) return false;
  return numtext::parseInteger(text).has_value();
}

std::vector<FieldError> pageErrors(int32_t limite, const std::string& cursor) {
  std::vector<FieldError> errors;
  if (limite < 1 || limite > kMaxPage)
    errors.push_back(
        {"limite", "O campo Limite deve estar entre 1 e " + numtext::integerText(kMaxPage) + "."});
  if (!isCursor(cursor))
    errors.push_back({"cursor", "O cursor não é válido: use o proximo_cursor da página anterior."});
  return errors;
}

}  // namespace

FrontDoor::FrontDoor(Z418kt& component, CallContext context)
    : component_(&component), context_(std::move(context)) {}

Result<Coleta> FrontDoor::get(int64_t id) const {
  // The Coleta and its parties' names are read in one snapshot: the
  // operation's transaction joins this one, so a read takes the engine's read
  // locks once rather than twice, and the names match the Coleta they come with.
  auto snapshot = data::threadStatementRunner().transaction(context_.connection, false);
  auto read = record::readColeta(*component_, context_, id);
  if (read.status == record::ReadStatus::NotFound)
    return answer<Coleta>(Status::NotFound, coletaNotFound(id));
  if (read.status == record::ReadStatus::Failed)
    return failure<Coleta>(read.callFailed, read.failure, read.message);
  Result<Coleta> r;
  r.value = std::move(read.value);
  try {
    auto names = record::partyNames(context_.connection, r.value.cliente_id, r.value.remetente_id,
                                    r.value.destinatario_id);
    r.value.cliente_nome = names.cliente.value_or("");
    r.value.remetente_nome = names.remetente.value_or("");
    r.value.destinatario_nome = names.destinatario.value_or("");
    snapshot->commit();
  } catch (const AutomationError& e) {
    return ownReadFailed<Coleta>(e);
  }
  r.status = Status::Done;
  return r;
}

namespace {

// Checks, stores and reads back: the one path of create and update.
Result<Coleta> store(const FrontDoor& door, Z418kt& component, const CallContext& context,
                     const Coleta& coleta, int64_t id) {
  record::FieldCheck check = record::checkFields(component, context, coleta, id);
  if (check.failed)
    return failure<Coleta>(check.failure == FailureClass::None, check.failure, check.message);
  if (!check.errors.empty()) return refused<Coleta>(std::move(check.errors));
  record::SaveOutcome saved = record::saveColeta(component, context, coleta, id);
  if (!saved.saved) {
    auto r = failure<Coleta>(false, saved.failure, saved.message);
    r.storedId = saved.id;
    return r;
  }
  Result<Coleta> back = door.get(saved.id);
  back.storedId = saved.id;
  return back;
}

}  // namespace

Result<Coleta> FrontDoor::create(const Coleta& coleta, const std::string& key) const {
  if (key.empty()) return store(*this, *component_, context_, coleta, 0);
  if (std::string problem = record::keyProblem(key); !problem.empty())
    return refused<Coleta>({{"Idempotency-Key", problem}});
  record::StoredKey mine{record::contentDigest(coleta), 0};
  // What an earlier create under the key made: the same answer, or a refusal
  // when it asked for something else.
  auto earlier = [&](const record::StoredKey& k) {
    if (k.digest != mine.digest)
      return refused<Coleta>(
          {{"Idempotency-Key", "A chave de idempotência " + key +
                                   " já foi usada para criar outra Coleta, com outro conteúdo."}});
    Result<Coleta> r = get(k.id);
    r.replayed = true;
    return r;
  };
  try {
    // The key, the Coleta and its pieces are stored in one transaction: the
    // save's own joins it, so a create that stops half-way keeps nothing.
    auto transaction = data::currentStatementRunner()->transaction(context_.connection, true);
    if (auto k = record::findKey(context_.connection, key)) return earlier(*k);
    Result<Coleta> r = store(*this, *component_, context_, coleta, 0);
    if (!r.ok()) {
      r.storedId = 0;  // rolled back with the transaction
      return r;
    }
    mine.id = r.value.id;
    record::storeKey(context_.connection, key, mine);
    transaction->commit();
    return r;
  } catch (const AutomationError& e) {
    // Another create stored the key first: its Coleta is the answer.
    try {
      if (auto k = record::findKey(context_.connection, key)) return earlier(*k);
    } catch (const AutomationError&) {
    }
    return failure<Coleta>(false, data::lastFailure(), e.description);
  }
}

Result<Coleta> FrontDoor::update(int64_t id, const Coleta& coleta) const {
  Result<Coleta> current = get(id);
  if (!current.ok()) return current;
  if (current.value.aviso) return answer<Coleta>(Status::Conflict, *current.value.aviso);
  return store(*this, *component_, context_, coleta, id);
}

Result<Nothing> FrontDoor::remove(int64_t id) const {
  auto read = record::readColeta(*component_, context_, id);
  if (read.status == record::ReadStatus::NotFound)
    return answer<Nothing>(Status::NotFound, coletaNotFound(id));
  if (read.status == record::ReadStatus::Failed)
    return failure<Nothing>(read.callFailed, read.failure, read.message);
  if (read.value.aviso) return answer<Nothing>(Status::Conflict, *read.value.aviso);
  auto deleted = record::deleteColeta(*component_, context_, id);
  if (!deleted.deleted) return failure<Nothing>(false, deleted.failure, deleted.message);
  Result<Nothing> r;
  r.status = Status::Done;
  return r;
}

Result<Page<Coleta>> FrontDoor::list(const ColetaFilter& filter) const {
  std::vector<FieldError> errors = pageErrors(filter.limite, filter.cursor);
  if (!filter.desde.empty() && !isDay(filter.desde))
    errors.push_back({"desde", "O campo Desde deve ser uma data como 2024-03-15."});
  if (!filter.ate.empty() && !isDay(filter.ate))
    errors.push_back({"ate", "O campo Até deve ser uma data como 2024-03-15."});
  if (!errors.empty()) return refused<Page<Coleta>>(std::move(errors));
  return ownRead<Page<Coleta>>([&] { return record::listColetas(context_.connection, filter); });
}

Result<Pessoa> FrontDoor::pessoa(int64_t enderecoId) const {
  auto read = record::readParty(*component_, context_, enderecoId);
  if (read.status == record::ReadStatus::NotFound)
    return answer<Pessoa>(
        Status::NotFound,
        "Endereço de pessoa " + numtext::integerText(enderecoId) + " não encontrado.");
  if (read.status == record::ReadStatus::Failed)
    return failure<Pessoa>(read.callFailed, read.failure, read.message);
  Result<Pessoa> r;
  r.status = Status::Done;
  r.value = std::move(read.value);
  return r;
}

Result<Pessoa> FrontDoor::cliente(int64_t pessoaId) const {
  std::optional<int64_t> address;
  try {
    address = record::firstAddress(context_.connection, pessoaId);
  } catch (const AutomationError& e) {
    return ownReadFailed<Pessoa>(e);
  }
  if (!address)
    return answer<Pessoa>(Status::NotFound, "Cliente " + numtext::integerText(pessoaId) +
                                                " sem endereço cadastrado.");
  return pessoa(*address);
}

Result<Page<Pessoa>> FrontDoor::search(const PessoaQuery& query) const {
  std::vector<FieldError> errors = pageErrors(query.limite, query.cursor);
  size_t b = query.q.find_first_not_of(" \t");
  if (b == std::string::npos)
    errors.insert(errors.begin(), {"q", "Informe o nome, o CPF ou o CNPJ a procurar."});
  else if (query.q.size() > 100)
    errors.insert(errors.begin(), {"q", "O texto a procurar aceita no máximo 100 caracteres."});
  if (!errors.empty()) return refused<Page<Pessoa>>(std::move(errors));
  PessoaQuery q = query;
  q.q = q.q.substr(b, q.q.find_last_not_of(" \t") + 1 - b);
  return ownRead<Page<Pessoa>>([&] { return record::searchPessoas(context_.connection, q); });
}

}  // namespace z418kt
