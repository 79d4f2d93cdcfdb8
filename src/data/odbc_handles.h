// ODBC handles owned by RAII, the text conversions of the wide-character API,
// and the driver's diagnostics turned into the component's error.
//
// All calls go through the wide ("W") functions, so texts cross the driver
// manager as UTF-16 whatever the process locale is; the component keeps
// UTF-8 everywhere else.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "z418kt/automation_error.h"

namespace z418kt::data::odbc {

// One handle of the given type; freed when the owner goes.
class Handle {
 public:
  Handle() = default;
  Handle(SQLSMALLINT type, SQLHANDLE parent);  // throws AutomationError when the allocation fails
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept;
  Handle& operator=(Handle&& other) noexcept;
  ~Handle();

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  void release();
  SQLSMALLINT type_ = 0;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The process-wide environment handle (ODBC 3 behaviour), created on first use.
std::shared_ptr<Handle> environment();

// The driver manager's SQLWCHAR is 16 bits wide (unixODBC's default build).
inline SQLWCHAR* wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// The UTF-16 form of a UTF-8 text for the driver. Statements are mostly
// plain ASCII, which is widened unit by unit without decoding.
std::u16string toDriver(std::string_view text);

struct Diagnostic {
  std::string sqlState;  // five characters, e.g. "08001"
  std::string message;
};

// Every diagnostic record the handle holds, in order.
std::vector<Diagnostic> diagnostics(const Handle& handle);

// The error for a failed call: "[SQLSTATE] message" of each record, joined by
// "; ", after `context` when one is given. The text comes from the driver
// only; callers never pass the connection text into it.
AutomationError failure(const std::vector<Diagnostic>& records, std::string_view context = {});

inline bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace z418kt::data::odbc
