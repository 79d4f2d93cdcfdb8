#include "data/odbc_handles.h"

#include "automation/utf8.h"

#include <mutex>

namespace z418kt::data::odbc {

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  SQLRETURN rc = SQLAllocHandle(type, parent, &handle_);
  if (!succeeded(rc)) {
    handle_ = SQL_NULL_HANDLE;
    throw errors::provider("ODBC: the driver manager could not allocate a handle.");
  }
}

Handle::Handle(Handle&& other) noexcept : type_(other.type_), handle_(other.handle_) {
  other.handle_ = SQL_NULL_HANDLE;
}

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    release();
    type_ = other.type_;
    handle_ = other.handle_;
    other.handle_ = SQL_NULL_HANDLE;
  }
  return *this;
}

Handle::~Handle() { release(); }

void Handle::release() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
  handle_ = SQL_NULL_HANDLE;
}

std::shared_ptr<Handle> environment() {
  static std::mutex mutex;
  static std::shared_ptr<Handle> env;
  std::lock_guard lock(mutex);
  if (!env) {
    auto created = std::make_shared<Handle>(SQL_HANDLE_ENV, static_cast<SQLHANDLE>(nullptr));
    SQLRETURN rc = SQLSetEnvAttr(created->get(), SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!succeeded(rc)) throw failure(diagnostics(*created), "ODBC environment");
    env = std::move(created);
  }
  return env;
}

std::u16string toDriver(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) return utf8::toUtf16(text);
    out[i] = c;
  }
  return out;
}

std::vector<Diagnostic> diagnostics(const Handle& handle) {
  std::vector<Diagnostic> out;
  if (handle.get() == SQL_NULL_HANDLE) return out;
  for (SQLSMALLINT record = 1; record <= 20; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::u16string message(512, u'\0');
    SQLRETURN rc = SQLGetDiagRecW(handle.type(), handle.get(), record, state, &native,
                                  wide(message), static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<size_t>(length) + 1, u'\0');
      rc = SQLGetDiagRecW(handle.type(), handle.get(), record, state, &native, wide(message),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!succeeded(rc)) break;
    message.resize(std::min<size_t>(static_cast<size_t>(length), message.size()));
    std::u16string stateText(reinterpret_cast<const char16_t*>(state), 5);
    out.push_back({utf8::fromUtf16(stateText), utf8::fromUtf16(message)});
  }
  return out;
}

AutomationError failure(const std::vector<Diagnostic>& records, std::string_view context) {
  std::string text(context);
  for (const Diagnostic& d : records) {
    std::string message = d.message;
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == ' ' || message.back() == ';'))
      message.pop_back();
    if (!text.empty()) text += text.back() == ':' ? " " : "; ";
    text += "[" + d.sqlState + "] " + message;
  }
  if (records.empty()) text += text.empty() ? "ODBC call failed" : ": ODBC call failed";
  return errors::provider(text);
}

}  // namespace z418kt::data::odbc
