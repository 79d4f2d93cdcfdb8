#include "data/odbc_handles.h"

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

std::u16string toUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      bool ok = i + len <= s.size();
      char32_t v = c & (0xFF >> (len + 1));
      for (size_t k = 1; ok && k < len; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) ok = false;
        v = (v << 6) | (cc & 0x3F);
      }
      static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= kMin[len] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
        cp = v;
      } else {
        len = 1;  // a stray byte becomes U+FFFD, never a crash
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string toUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
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
    out.push_back({toUtf8(stateText), toUtf8(message)});
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
