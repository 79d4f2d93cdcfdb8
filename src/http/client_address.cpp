#include "http/client_address.h"

#include <boost/asio/ip/address.hpp>

namespace z418kt::http {

std::string clientAddress(const std::string& peer, std::string_view forwardedFor, bool trustProxy) {
  if (!trustProxy || forwardedFor.empty()) return peer;
  size_t comma = forwardedFor.rfind(',');
  std::string_view last =
      comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1);
  while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) last.remove_prefix(1);
  while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) last.remove_suffix(1);
  boost::system::error_code ec;
  auto address = boost::asio::ip::make_address(std::string(last), ec);
  return ec ? peer : address.to_string();
}

std::string limitKey(const std::string& address) {
  boost::system::error_code ec;
  auto parsed = boost::asio::ip::make_address(address, ec);
  if (ec || !parsed.is_v6() || parsed.to_v6().is_v4_mapped()) return address;
  auto bytes = parsed.to_v6().to_bytes();
  for (size_t i = 8; i < bytes.size(); ++i) bytes[i] = 0;
  return boost::asio::ip::address_v6(bytes).to_string() + "/64";
}

}  // namespace z418kt::http
