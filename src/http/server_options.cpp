#include "http/server_options.h"

#include <charconv>

namespace z418kt::http {

bool parseListen(const std::string& text, ServerOptions& options) {
  if (text.rfind("unix:", 0) == 0) {
    std::string path = text.substr(5);
    if (path.empty() || path.size() > 100) return false;  // sun_path holds 108 bytes
    options.unixPath = path;
    return true;
  }
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string h = text.substr(0, colon);
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  std::string_view p(text.data() + colon + 1, text.size() - colon - 1);
  int value = -1;
  auto [end, error] = std::from_chars(p.data(), p.data() + p.size(), value);
  if (p.empty() || error != std::errc() || end != p.data() + p.size() || value < 0 || value > 65535)
    return false;
  options.host = h.empty() ? "127.0.0.1" : h;
  options.port = value;
  options.unixPath.clear();
  return true;
}

std::string listenUrl(const ServerOptions& options, int boundPort) {
  if (!options.unixPath.empty()) return "unix:" + options.unixPath;
  std::string scheme = options.tlsCert.empty() ? "http://" : "https://";
  bool v6 = options.host.find(':') != std::string::npos;
  std::string host = v6 ? "[" + options.host + "]" : options.host;
  return scheme + host + ":" + std::to_string(boundPort) + "/";
}

}  // namespace z418kt::http
