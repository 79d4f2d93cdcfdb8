// How operations reach the outside components.
//
// ValueUtil, InputCheckUtil, NumberFormatUtil and OracleSqlUtil: one shared
// instance per thread (the apartment), created on first use and kept while the
// thread lives; every Z418kt on that thread uses it. IdentifierUtil: a new
// instance for each call that asks for one.
//
// Factories are replaceable (tests install recording fakes); installing new
// factories makes every thread create fresh instances on its next use. A
// factory that yields nothing raises 429 "ActiveX component can't create object".
#pragma once

#include <functional>
#include <memory>

#include "outside/identifier_util.h"
#include "outside/input_check_util.h"
#include "outside/number_format_util.h"
#include "outside/oracle_sql_util.h"
#include "outside/value_util.h"

namespace z418kt::outside {

struct Factories {
  std::function<std::shared_ptr<ValueUtil>()> valueUtil;
  std::function<std::shared_ptr<InputCheckUtil>()> inputCheckUtil;
  std::function<std::shared_ptr<NumberFormatUtil>()> numberFormatUtil;
  std::function<std::shared_ptr<OracleSqlUtil>()> oracleSqlUtil;
  std::function<std::unique_ptr<IdentifierUtil>()> identifierUtil;
};

// Our production implementations.
Factories defaultFactories();
std::shared_ptr<ValueUtil> makeDefaultValueUtil();
std::shared_ptr<InputCheckUtil> makeDefaultInputCheckUtil();
std::shared_ptr<NumberFormatUtil> makeDefaultNumberFormatUtil();
std::shared_ptr<OracleSqlUtil> makeDefaultOracleSqlUtil();
std::unique_ptr<IdentifierUtil> makeDefaultIdentifierUtil();

// Replaces the factories for every thread; returns the previous ones.
Factories installFactories(Factories factories);

// The calling thread's shared instances.
ValueUtil& valueUtil();
InputCheckUtil& inputCheckUtil();
NumberFormatUtil& numberFormatUtil();
OracleSqlUtil& oracleSqlUtil();
// A new instance, owned by the caller.
std::unique_ptr<IdentifierUtil> newIdentifierUtil();

}  // namespace z418kt::outside
