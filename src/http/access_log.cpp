#include "http/access_log.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "automation/utf8.h"
#include "json/json_variant.h"

namespace z418kt::http {

namespace {

// One whole line in one write: lines of different threads never mix, and
// nothing waits in a buffer when the process ends.
void emitLine(std::mutex& mutex, std::ostream& out, const std::string& line) {
  std::lock_guard lock(mutex);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.flush();
}

void emit(std::mutex& mutex, std::ostream& out, const json::Json& line) {
  emitLine(mutex, out, line.dump(-1, ' ', false, json::Json::error_handler_t::replace) + '\n');
}

// A JSON string: quotes, backslashes and control characters escaped, every
// byte that is not part of well-formed UTF-8 replaced by U+FFFD.
void appendString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      char32_t codePoint;
      size_t length = utf8::sequenceAt(text, i, codePoint);
      if (length == 0) {
        out += "\ufffd";
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
}

void appendField(std::string& out, const char* name, std::string_view value) {
  out += ",\"";
  out += name;
  out += "\":";
  appendString(out, value);
}

}  // namespace

std::string utcNow() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buffer[40];
  size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm);
  std::snprintf(buffer + n, sizeof buffer - n, ".%03dZ", static_cast<int>(ms.count()));
  return buffer;
}

// Written by hand rather than through a JSON document: one line per request
// is on every request's path.
void AccessLog::write(const LogEntry& e) {
  std::string line;
  line.reserve(256 + e.path.size());
  line += "{\"time\":\"";
  line += utcNow();
  line += '"';
  appendField(line, "request_id", e.requestId);
  appendField(line, "client", e.client);
  appendField(line, "method", e.method);
  appendField(line, "route", e.route);
  appendField(line, "path", e.path);
  if (!e.token.empty()) appendField(line, "token", e.token);
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, ",\"status\":%d,\"bytes\":%zu,\"duration_ms\":%.3f}\n",
                e.status, e.bytes, std::isfinite(e.milliseconds) ? e.milliseconds : 0.0);
  line += numbers;
  emitLine(mutex_, out_, line);
}

void AccessLog::note(std::string_view level, std::string_view message, std::string_view requestId) {
  json::Json line = {{"time", utcNow()}, {"level", level}, {"message", message}};
  if (!requestId.empty()) line["request_id"] = requestId;
  emit(mutex_, out_, line);
}

}  // namespace z418kt::http
