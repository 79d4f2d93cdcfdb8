// UnitOfWork: the statements of one g... operation on one session.
//
// A read operation calls begin() and commitWork(): its reads see one snapshot.
//
// A write operation (save, delete) runs its body through runWriting(). The
// normal path runs the body once with every statement in one transaction,
// made durable by one commit: other sessions see all of the change or none of
// it, and a process that dies in the middle leaves none of it. Inside the
// transaction a failed or refused statement leaves nothing it changed and the
// steps before it stay for the commit, so the answer is the one the steps give
// when each commits on its own.
//
// The fallback: when the engine gives up the whole transaction instead of one
// statement (SQLite's RAISE(ROLLBACK), any failed statement on PostgreSQL's
// own provider, a deadlock victim, a serialization failure, a full disk, a
// commit the server refuses), nothing of it is kept.
// Every argument then gets back the value it had at the call and the body runs
// again with each statement committed on its own. What stays stored, the
// message, the status and every output are then those of the step-by-step run,
// so no output names a row that is not there. A transient cause (a deadlock
// victim) usually lets that second run store everything.
//
// A commit whose outcome is unknown (the session lost its server during the
// COMMIT) is not run again, since the change may be stored: the arguments get
// back the values they had at the call, the trap writes its message at the
// commit's statement number and the status is 10.
//
// An exception that leaves the body (the trap's user-id test) keeps what the
// steps stored: the work is committed (with the fallback when refused) and the
// exception goes on to the caller.
//
// Writers (ChangeWriters) let a caller store rows exactly when the Coleta's
// change is stored; see below.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/change_context.h"
#include "data/statement_runner.h"
#include "kit/operation_table.h"
#include "kit/trap.h"
#include "outside/key_blocks.h"
#include "z418kt/variant.h"

namespace z418kt {

// The change a writer is called for: the operation, its connection text and
// the Coleta's document identifier as the operation holds it at that moment.
struct StoredChange {
  OperationId operation;
  const std::string& connection;
  const Variant& documentId;
};
using ChangeWriter = std::function<void(const StoredChange&)>;

// While it lives, every write operation on this thread that reaches a step
// storing the Coleta's change (whatever that step answers: a step that fails
// may have stored part of it) calls `writer`; the writer runs its statements
// through record sets on change.connection. Its rows are stored exactly when
// the change is: a transaction given up and run again step by step calls the
// writer again, and only the stored run's rows stay. On the normal path it
// runs inside the operation's transaction after the last step, just before
// the commit; in the fallback, in one transaction with the first step that
// stores. A writer that throws counts as a refused commit: on the normal path
// the fallback runs; in the fallback the step fails through the operation's
// trap and nothing of that step is kept. Scopes nest; all live writers run,
// oldest first.
class ChangeWriters {
 public:
  explicit ChangeWriters(ChangeWriter writer);
  ~ChangeWriters();
  ChangeWriters(const ChangeWriters&) = delete;
  ChangeWriters& operator=(const ChangeWriters&) = delete;
};

class UnitOfWork;
namespace unit_of_work {
enum class Ending { Stored, Refused, InDoubt };
// Runs the writers when the body reached a change, then commits; `error` says
// why when the answer is not Stored.
Ending finish(UnitOfWork& work, AutomationError& error);
}  // namespace unit_of_work

class UnitOfWork {
 public:
  enum class Mode {
    OneTransaction,  // the normal path
    StepByStep,      // the fallback: every statement committed on its own
  };
  explicit UnitOfWork(Mode mode = Mode::OneTransaction);
  UnitOfWork(const UnitOfWork&) = delete;
  UnitOfWork& operator=(const UnitOfWork&) = delete;
  // Without commit(), whatever the transaction holds is rolled back.
  ~UnitOfWork();

  // Pins the session for the connection text (taken at the first statement,
  // so a database that cannot be reached fails that statement, in its step).
  // Does nothing step by step.
  void begin(const std::string& connection, bool writes);
  // The same for a writing unit of work of `userId`: the events of the
  // Coletas it changes record that user.
  void begin(const std::string& connection, bool writes, const Variant& userId);
  // Makes the work durable; throws AutomationError when the engine refuses
  // (then nothing of it is stored). Without begin(), does nothing.
  void commit();

  // Runs one step of a write operation that stores part of the change for
  // document `documentId` (which the step may write) and answers what it
  // answers. `st` is the operation's trap state, at the step's number.
  template <class Step>
  bool store(const std::string& connection, Variant& documentId, TrapState& st, Step&& step);

 private:
  template <class Body>
  friend Variant runWriting(OperationId, int32_t, std::initializer_list<Variant*>, Variant&,
                            Variant&, Body&&);
  friend unit_of_work::Ending unit_of_work::finish(UnitOfWork&, AutomationError&);
  bool storeWithWriters(const std::string& connection, Variant& documentId, TrapState& st,
                        const std::function<bool()>& step);
  void writeChange();  // runs the writers for the change reached, if any

  Mode mode_;
  OperationId operation_ = OperationId::gGrava_Coleta;
  std::unique_ptr<data::Transaction> transaction_;
  outside::KeyBlocks::Reservations keys_;  // keys reserved inside the transaction
  const std::vector<Variant*>* arguments_ = nullptr;
  const Variant* userId_ = nullptr;
  Variant* msgRet_ = nullptr;
  // The change reached: its connection and document, once a storing step ran.
  std::string changeConnection_;
  Variant* changeDocument_ = nullptr;
  bool written_ = false;  // the writers have run
  std::optional<data::ScopedChangeUser> user_;
  // Step by step, the statements' transactions are one change for the outbox.
  std::optional<data::ScopedStepByStepChange> stepByStepChange_;
};

// Commits `work` under the operation's trap at statement `number`: false, with
// the trap's message in `msgRet`, when the engine refused the commit.
bool commitWork(UnitOfWork& work, OperationId id, int32_t number, const Variant& userId,
                Variant& msgRet);

namespace unit_of_work {
bool writersInstalled();
std::vector<Variant> snapshot(const std::vector<Variant*>& arguments);
void restore(const std::vector<Variant*>& arguments, std::vector<Variant>& values);
}  // namespace unit_of_work

// Runs the body of write operation `id` (`Variant body(UnitOfWork&)`, the
// status) as described above. `arguments` are every by-reference argument of
// the operation; `commitNumber` is the statement number of the commit.
template <class Body>
Variant runWriting(OperationId id, int32_t commitNumber, std::initializer_list<Variant*> arguments,
                   Variant& userId, Variant& msgRet, Body&& body) {
  const std::vector<Variant*> args(arguments);
  std::vector<Variant> atCall = unit_of_work::snapshot(args);
  auto configure = [&](UnitOfWork& work) {
    work.operation_ = id;
    work.arguments_ = &args;
    work.userId_ = &userId;
    work.msgRet_ = &msgRet;
  };
  auto stepByStep = [&] {
    unit_of_work::restore(args, atCall);
    UnitOfWork again(UnitOfWork::Mode::StepByStep);
    configure(again);
    return body(again);
  };
  UnitOfWork work;
  configure(work);
  Variant status;
  std::exception_ptr escaped;
  try {
    status = body(work);
  } catch (const std::exception&) {
    escaped = std::current_exception();
  }
  AutomationError error(0, "");
  switch (unit_of_work::finish(work, error)) {
    case unit_of_work::Ending::Stored:
      if (escaped) std::rethrow_exception(escaped);
      return status;
    case unit_of_work::Ending::Refused:
      return stepByStep();
    case unit_of_work::Ending::InDoubt:
      if (escaped) std::rethrow_exception(escaped);
      break;
  }
  unit_of_work::restore(args, atCall);
  TrapState st;
  st.at(commitNumber);
  runTrap(id, userId, msgRet, st, error);
  return Variant(int16_t{10});
}

template <class Step>
bool UnitOfWork::store(const std::string& connection, Variant& documentId, TrapState& st,
                       Step&& step) {
  if (mode_ == Mode::StepByStep && !written_ && unit_of_work::writersInstalled())
    return storeWithWriters(connection, documentId, st, std::function<bool()>(step));
  if (!changeDocument_) {
    changeConnection_ = connection;
    changeDocument_ = &documentId;
  }
  return step();
}

}  // namespace z418kt
