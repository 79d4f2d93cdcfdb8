// One client connection, read and written on one thread's event loop
// without ever blocking: the request is parsed as its bytes arrive, within
// the deadlines and sizes of Limits, and takes a worker only once complete
// (see WorkerPool); the answer is written at once where the socket takes it.
// Requests are answered one at a time in the order they came, so pipelined
// requests keep their order; what a client sends ahead waits in a buffer of
// bounded size.
//
// A request over a limit or malformed gets its status (400, 408, 413, 431)
// and the connection closes; before closing, the server stops sending and
// reads and drops what the client still sends for a short while, so the
// client reads the answer instead of a reset.
#pragma once

#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/ssl/context.hpp>
#include <string>

#include "http/server_core.h"

namespace z418kt::http {

using Socket = boost::asio::generic::stream_protocol::socket;

// Starts serving an accepted socket whose connection `core` has counted
// under `key`; `peer` is its address for the log and the limits.
void startSession(ServerCore& core, Socket socket, std::string peer, std::string key);
// The same over TLS: the handshake comes first, within the head deadline.
void startTlsSession(ServerCore& core, Socket socket, std::string peer, std::string key,
                     boost::asio::ssl::context& tls);

}  // namespace z418kt::http
