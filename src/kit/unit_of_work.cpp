#include "kit/unit_of_work.h"

#include "data/session_errors.h"
#include "z418kt/automation_error.h"

namespace z418kt {

namespace {
thread_local std::vector<ChangeWriter>* tWriters = nullptr;
}  // namespace

ChangeWriters::ChangeWriters(ChangeWriter writer) {
  if (!tWriters) tWriters = new std::vector<ChangeWriter>;
  tWriters->push_back(std::move(writer));
}

ChangeWriters::~ChangeWriters() {
  tWriters->pop_back();
  if (tWriters->empty()) {
    delete tWriters;
    tWriters = nullptr;
  }
}

UnitOfWork::UnitOfWork(Mode mode) : mode_(mode) {
  if (mode_ == Mode::StepByStep) stepByStepChange_.emplace();
}

UnitOfWork::~UnitOfWork() = default;

void UnitOfWork::begin(const std::string& connection, bool writes) {
  if (mode_ == Mode::StepByStep) return;
  // The runner as this thread holds it: no process-wide lock per operation.
  transaction_ = data::threadStatementRunner().transaction(connection, writes);
  if (writes) keys_.start(connection);
}

void UnitOfWork::begin(const std::string& connection, bool writes, const Variant& userId) {
  std::string user;
  try {
    user = vb::concatText(userId);
  } catch (const AutomationError&) {
    // A user id with no text form is the operation's to refuse; the event
    // then names no user.
  }
  user_.emplace(std::move(user));
  begin(connection, writes);
}

void UnitOfWork::commit() {
  auto transaction = std::move(transaction_);
  if (!transaction) return;
  try {
    transaction->commit();
  } catch (const std::exception&) {
    keys_.end();  // reserved by a transaction that is not stored: never handed out
    throw;
  }
  keys_.keep();
}

void UnitOfWork::writeChange() {
  if (!changeDocument_ || written_ || !tWriters) return;
  written_ = true;
  // A copy: a writer may open a scope of its own.
  std::vector<ChangeWriter> writers = *tWriters;
  for (const auto& writer : writers)
    writer(StoredChange{operation_, changeConnection_, *changeDocument_});
}

bool UnitOfWork::storeWithWriters(const std::string& connection, Variant& documentId, TrapState& st,
                                  const std::function<bool()>& step) {
  // The step and the writers are stored together or not at all; if not, the
  // step leaves nothing behind, its outputs included.
  std::vector<Variant> before = unit_of_work::snapshot(*arguments_);
  UnitOfWork together;
  together.operation_ = operation_;
  together.begin(connection, true);
  together.changeConnection_ = connection;
  together.changeDocument_ = &documentId;
  bool answer = false;
  try {
    answer = step();
    together.writeChange();
    together.commit();
  } catch (const std::exception& error) {
    together.transaction_.reset();
    together.keys_.end();
    unit_of_work::restore(*arguments_, before);
    written_ = true;
    runTrap(operation_, *userId_, *msgRet_, st, asAutomationError(error));
    return false;
  }
  written_ = true;
  return answer;
}

bool commitWork(UnitOfWork& work, OperationId id, int32_t number, const Variant& userId,
                Variant& msgRet) {
  bool committed = false;
  withTrap(id, userId, msgRet, [&](TrapState& st) {
    st.at(number);
    work.commit();
    committed = true;
  });
  return committed;
}

namespace unit_of_work {

bool writersInstalled() { return tWriters != nullptr; }

std::vector<Variant> snapshot(const std::vector<Variant*>& arguments) {
  std::vector<Variant> values;
  values.reserve(arguments.size());
  for (const Variant* argument : arguments) values.push_back(*argument);
  return values;
}

void restore(const std::vector<Variant*>& arguments, std::vector<Variant>& values) {
  for (size_t i = 0; i < arguments.size(); ++i) *arguments[i] = values[i];
}

Ending finish(UnitOfWork& work, AutomationError& error) {
  try {
    work.writeChange();
  } catch (const std::exception& e) {
    error = asAutomationError(e);
    work.transaction_.reset();  // rolled back before anything else runs on the thread
    work.keys_.end();
    return Ending::Refused;
  }
  try {
    work.commit();
  } catch (const data::ConnectionLost& lost) {
    error = lost;
    return lost.statementRan ? Ending::InDoubt : Ending::Refused;
  } catch (const std::exception& e) {
    error = asAutomationError(e);
    return Ending::Refused;
  }
  return Ending::Stored;
}

}  // namespace unit_of_work

}  // namespace z418kt
