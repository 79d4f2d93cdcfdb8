#include "http/server_options.h"

#include <charconv>

namespace z418kt::http {

bool parseListen(const std::string& text, std::string& host, int& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string h = text.substr(0, colon);
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  std::string_view p(text.data() + colon + 1, text.size() - colon - 1);
  int value = -1;
  auto [end, error] = std::from_chars(p.data(), p.data() + p.size(), value);
  if (p.empty() || error != std::errc() || end != p.data() + p.size() || value < 0 || value > 65535)
    return false;
  host = h.empty() ? "127.0.0.1" : h;
  port = value;
  return true;
}

}  // namespace z418kt::http
