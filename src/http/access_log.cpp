#include "http/access_log.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>

#include "automation/utf8.h"
#include "json/json_variant.h"

namespace z418kt::http {

namespace {

// A JSON string: quotes, backslashes and control characters escaped, every
// byte that is not part of well-formed UTF-8 replaced by U+FFFD.
void appendString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  auto plain = [](unsigned char c) { return c >= 0x20 && c < 0x7f && c != '"' && c != '\\'; };
  out += '"';
  for (size_t i = 0; i < text.size();) {
    size_t run = i;
    while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) ++run;
    if (run > i) {  // printable ASCII goes as it is, a run at a time
      out.append(text.substr(i, run - i));
      i = run;
      continue;
    }
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
  // Every request logs the time: the date and time of day are formatted
  // once per second and thread, the milliseconds each time.
  thread_local std::time_t formattedSecond = -1;
  thread_local char formatted[24];
  thread_local size_t formattedLength = 0;
  if (seconds != formattedSecond) {
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    formattedLength = std::strftime(formatted, sizeof formatted, "%Y-%m-%dT%H:%M:%S", &tm);
    formattedSecond = seconds;
  }
  auto millis = static_cast<int>(ms.count());
  std::string text(formatted, formattedLength);
  text += '.';
  text += static_cast<char>('0' + millis / 100);
  text += static_cast<char>('0' + millis / 10 % 10);
  text += static_cast<char>('0' + millis % 10);
  text += 'Z';
  return text;
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
  char numbers[64];
  auto number = [&](const char* name, auto value, auto... format) {
    line += name;
    line.append(numbers, std::to_chars(numbers, numbers + sizeof numbers, value, format...).ptr);
  };
  number(",\"status\":", e.status);
  number(",\"bytes\":", e.bytes);
  double ms =
      std::isfinite(e.milliseconds) && std::abs(e.milliseconds) < 1e15 ? e.milliseconds : 0.0;
  number(",\"duration_ms\":", ms, std::chars_format::fixed, 3);
  line += "}\n";
  std::lock_guard lock(mutex_);
  pending_ += line;
  if (pending_.size() >= kMaxPendingBytes) flushLocked();
}

void AccessLog::flush() {
  std::lock_guard lock(mutex_);
  flushLocked();
}

// Whole lines in one write: lines of different threads never mix.
void AccessLog::flushLocked() {
  if (pending_.empty()) return;
  out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
  out_.flush();
  pending_.clear();
  if (pending_.capacity() > 2 * kMaxPendingBytes) pending_.shrink_to_fit();
}

void AccessLog::note(std::string_view level, std::string_view message, std::string_view requestId) {
  json::Json line = {{"time", utcNow()}, {"level", level}, {"message", message}};
  if (!requestId.empty()) line["request_id"] = requestId;
  std::lock_guard lock(mutex_);
  pending_ += line.dump(-1, ' ', false, json::Json::error_handler_t::replace);
  pending_ += '\n';
  flushLocked();
}

}  // namespace z418kt::http
