#include "kit/unit_of_work.h"

#include "kit/trap.h"
#include "z418kt/automation_error.h"

namespace z418kt {

UnitOfWork::~UnitOfWork() {
  if (!transaction_) return;
  try {
    transaction_->commit();
  } catch (const AutomationError&) {
    // The exception already leaving the operation is the one its caller sees.
  }
}

void UnitOfWork::begin(const std::string& connection, bool writes) {
  transaction_ = data::currentStatementRunner()->transaction(connection, writes);
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
  if (transaction) transaction->commit();
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

}  // namespace z418kt
