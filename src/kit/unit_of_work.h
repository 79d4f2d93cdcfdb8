// UnitOfWork: all the statements of one g... operation on one session, in one
// transaction, made durable by one commit.
//
// begin() pins the session for the connection text (taken at the first
// statement, so a database that cannot be reached fails that statement, in
// its step, as before). Each statement keeps the outcome it has on its own: a
// failed or refused one leaves nothing it changed and the steps before it stay
// for the commit. Other sessions see all of the operation or none of it; a
// read operation reads one snapshot. The m... operations called on their own
// hold no unit of work and commit statement by statement.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "data/change_context.h"
#include "data/statement_runner.h"
#include "kit/operation_table.h"
#include "z418kt/variant.h"

namespace z418kt {

class UnitOfWork {
 public:
  UnitOfWork() = default;
  UnitOfWork(const UnitOfWork&) = delete;
  UnitOfWork& operator=(const UnitOfWork&) = delete;
  // An operation left by an exception keeps what its steps stored, as when
  // every step committed on its own; should even that commit fail, nothing is kept.
  ~UnitOfWork();

  void begin(const std::string& connection, bool writes);
  // The same for a writing unit of work of `userId`: the events of the
  // Coletas it changes record that user.
  void begin(const std::string& connection, bool writes, const Variant& userId);
  // Makes the work durable; throws AutomationError when the engine refuses
  // (then nothing of it is stored). Without begin(), does nothing.
  void commit();

 private:
  std::unique_ptr<data::Transaction> transaction_;
  std::optional<data::ScopedChangeUser> user_;
};

// Commits `work` under the operation's trap at statement `number`: false, with
// the trap's message in `msgRet`, when the engine refused the commit.
bool commitWork(UnitOfWork& work, OperationId id, int32_t number, const Variant& userId,
                Variant& msgRet);

}  // namespace z418kt
