#include "http/session.h"

#include "z418kt/change_context.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <array>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/status.hpp>
#include <cctype>
#include <charconv>
#include <chrono>
#include <optional>

#include "http/client_address.h"
#include "http/token.h"

namespace z418kt::http {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using Clock = std::chrono::steady_clock;
using boost::system::error_code;

// The page and its scripts come from this server only; nothing inline.
constexpr std::pair<const char*, const char*> kSecurityHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
     "img-src 'self'; form-action 'none'; frame-ancestors 'none'; base-uri 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Cache-Control", "no-store"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Frame-Options", "DENY"},
};

// The headers above as they go on the wire.
const std::string& securityHeaders() {
  static const std::string block = [] {
    std::string text;
    for (const auto& [name, value] : kSecurityHeaders)
      text += std::string(name) + ": " + value + "\r\n";
    return text;
  }();
  return block;
}

void appendNumber(std::string& out, uint64_t value) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

constexpr size_t kReadChunk = 16 * 1024;
// How long a connection that is being closed after a refusal keeps reading
// and dropping what the client still sends.
constexpr auto kLinger = std::chrono::seconds(3);
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

int statusOf(const error_code& ec) {
  if (ec == bhttp::error::header_limit) return 431;
  if (ec == bhttp::error::body_limit) return 413;
  return 400;
}

template <class Stream>
constexpr bool kTls = !std::is_same_v<Stream, Socket>;

template <class Stream>
class Session : public Connection, public std::enable_shared_from_this<Session<Stream>> {
 public:
  template <class... Args>
  Session(ServerCore& core, std::string peer, std::string key, Args&&... streamArgs)
      : core_(core),
        stream_(std::forward<Args>(streamArgs)...),
        timer_(stream_.get_executor()),
        buffer_(core.limits.maxHeaderBytes + kReadChunk),
        peer_(std::move(peer)),
        key_(std::move(key)) {
    ++core_.metrics.connectionsOpen;
  }

  ~Session() override {
    core_.untrack(this);
    core_.closeConnection(key_);
    --core_.metrics.connectionsOpen;
  }

  void start() {
    core_.track(this->shared_from_this());
    int one = 1;  // an answer goes out in one or two writes: no Nagle wait
    ::setsockopt(socket().native_handle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if constexpr (!kTls<Stream>) {
      error_code ignored;
      socket().non_blocking(true, ignored);  // a write that would wait goes asynchronous
    }
    if constexpr (kTls<Stream>) {
      arm(std::chrono::seconds(core_.limits.headSeconds));
      stream_.async_handshake(asio::ssl::stream_base::server,
                              [self = this->shared_from_this()](error_code ec) {
                                if (ec) return self->closeNow();
                                self->readRequest();
                              });
    } else {
      readRequest();
    }
  }

  void stopWhenIdle() override {
    asio::post(stream_.get_executor(), [self = this->shared_from_this()] {
      if (self->phase_ == Phase::Idle) self->closeNow();
    });
  }

 private:
  enum class Phase { Idle, Head, Body, Working, Writing, Closing, Closed };

  Socket& socket() {
    if constexpr (kTls<Stream>)
      return stream_.next_layer();
    else
      return stream_;
  }

  // One deadline at a time; a new one replaces the last. The timer is left
  // running when it would fire before the new deadline: firing, it looks at
  // the deadline in force and waits again for the rest. So a request that
  // moves its deadline forward touches no timer (setting and cancelling one
  // costs a wake-up of the thread that waits for the kernel's events).
  void arm(Clock::duration after) {
    timedOut_ = false;
    deadline_ = Clock::now() + after;
    if (!timerRunning_ || timerAt_ > deadline_) startTimer();
  }
  void disarm() { deadline_ = Clock::time_point::max(); }

  void startTimer() {
    timerRunning_ = true;
    timerAt_ = deadline_;
    timer_.expires_at(timerAt_);
    timer_.async_wait(
        [self = this->shared_from_this(), generation = ++timerGeneration_](error_code ec) {
          if (generation != self->timerGeneration_) return;  // replaced by a nearer one
          self->timerRunning_ = false;
          if (ec || self->deadline_ == Clock::time_point::max()) return;
          if (Clock::now() < self->deadline_) return self->startTimer();
          self->timedOut_ = true;
          error_code ignored;
          self->socket().cancel(ignored);
        });
  }

  // Waits for the next request; one already in the buffer is parsed at once.
  void readRequest() {
    if (core_.stopping && buffer_.size() == 0) return closeNow();
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(core_.limits.maxHeaderBytes));
    parser_->body_limit(core_.limits.maxBodyBytes);
    refusal_.reset();
    route_ = nullptr;
    method_.clear();
    path_.clear();
    client_.clear();
    origin_.clear();
    tokenName_.clear();
    version_ = 11;
    phase_ = Phase::Idle;
    if (buffer_.size() > 0) {
      beginHead();
      parse();
    } else {
      // A new connection has the head deadline to send its first request.
      arm(std::chrono::seconds(requests_ == 0 ? core_.limits.headSeconds
                                              : core_.limits.keepAliveSeconds));
      readMore();
    }
  }

  void beginHead() {
    phase_ = Phase::Head;
    started_ = Clock::now();
    arm(std::chrono::seconds(core_.limits.headSeconds));
  }

  void readMore() {
    size_t room = buffer_.max_size() - buffer_.size();
    if (room == 0) return refuse(parser_->is_header_done() ? 400 : 431);
    stream_.async_read_some(
        buffer_.prepare(std::min(room, kReadChunk)),
        [self = this->shared_from_this()](error_code ec, size_t n) { self->onRead(ec, n); });
  }

  void onRead(error_code ec, size_t n) {
    if (ec) {
      bool reading = phase_ == Phase::Head || phase_ == Phase::Body;
      if (timedOut_ && reading) return refuse(408);
      return closeNow();  // idle and closed or timed out, or the client went away
    }
    buffer_.commit(n);
    if (phase_ == Phase::Idle) beginHead();
    parse();
  }

  // Feeds the parser what the buffer holds, reading more when it needs more.
  void parse() {
    while (true) {
      error_code ec;
      size_t used = parser_->put(buffer_.data(), ec);
      buffer_.consume(used);
      if (ec == bhttp::error::need_more) return readMore();
      if (ec) return refuse(statusOf(ec));
      if (phase_ == Phase::Head && parser_->is_header_done()) {
        if (!onHeader()) return;
        if (waitingForContinue_) return;
      }
      if (parser_->is_done()) return process();
      if (buffer_.size() == 0) return readMore();
    }
  }

  // Checks the head as a whole before any body is read; false when refused.
  bool onHeader() {
    const auto& head = parser_->get();
    size_t fields = 0, hosts = 0;
    bool transferEncoding = false;
    for (const auto& field : head) {
      ++fields;
      if (field.name() == bhttp::field::host) ++hosts;
      if (field.name() == bhttp::field::transfer_encoding) transferEncoding = true;
    }
    if (fields > core_.limits.maxHeaderCount) return refuse(431), false;
    // Transfer-Encoding other than a final "chunked", or on HTTP/1.0, and a
    // missing or repeated Host are the shapes that let two parsers disagree
    // on where a request ends.
    if ((transferEncoding && (!parser_->chunked() || head.version() < 11)) ||
        (head.version() >= 11 && hosts != 1))
      return refuse(400), false;
    if (auto length = parser_->content_length(); length && *length > core_.limits.maxBodyBytes)
      return refuse(413), false;

    method_ = std::string(head.method_string());
    version_ = head.version();
    origin_ = std::string(head[bhttp::field::origin]);
    std::string_view target(head.target().data(), head.target().size());
    path_ = std::string(target.substr(0, target.find('?')));
    std::string_view sentId(head["X-Request-Id"].data(), head["X-Request-Id"].size());
    // A request id the client sent is kept when it is plain; anything else is
    // replaced, so the id is safe in logs and headers.
    requestId_ = plainName(sentId) ? std::string(sentId) : core_.nextRequestId();
    client_ = clientAddress(
        peer_, std::string_view(head["X-Forwarded-For"].data(), head["X-Forwarded-For"].size()),
        core_.options.trustProxy);

    // Who may call what is decided before the body is read: a refused
    // request's body is read and dropped (within the body limit), so the
    // connection stays in step.
    RouteMatch match = matchRoute(method_, path_);
    route_ = match.route;
    params_ = std::move(match.params);
    allow_ = std::move(match.allow);
    bool guarded = path_.rfind("/v1/", 0) == 0 && method_ != "OPTIONS";
    Access access = guarded ? Access::Token : route_ ? route_->access : Access::Open;
    auto authorization = head[bhttp::field::authorization];
    refusal_ = core_.admit(client_ == peer_ ? key_ : limitKey(client_),
                           std::string_view(authorization.data(), authorization.size()), access,
                           tokenName_, tokenMemo_);

    if (parser_->is_done()) return true;
    phase_ = Phase::Body;
    arm(std::chrono::seconds(core_.limits.bodySeconds));
    bool expectsContinue = beast::iequals(head[bhttp::field::expect], "100-continue");
    if (expectsContinue && refusal_) {
      // The client holds its body back for an answer: refuse and close.
      Reply reply = std::move(*refusal_);
      reply.close = true;
      send(std::move(reply));
      return false;
    }
    if (expectsContinue) {
      waitingForContinue_ = true;
      asio::async_write(stream_, asio::buffer(kContinue.data(), kContinue.size()),
                        [self = this->shared_from_this()](error_code ec, size_t) {
                          self->waitingForContinue_ = false;
                          if (ec) return self->closeNow();
                          if (self->buffer_.size() == 0) return self->readMore();
                          self->parse();
                        });
    }
    return true;
  }

  void process() {
    disarm();
    phase_ = Phase::Working;
    ++requests_;
    keepAlive_ = parser_->get().keep_alive();
    if (refusal_) return send(std::move(*refusal_));
    if (!route_) {
      if (method_ == "OPTIONS" && !core_.options.corsOrigin.empty() && path_.rfind("/v1/", 0) == 0)
        return send(Reply{204, {}, {}, {}, false, {}});
      if (!allow_.empty()) {
        Reply reply = problemReply(405);
        reply.headers.emplace_back("Allow", allow_);
        return send(std::move(reply));
      }
      return send(problemReply(404));
    }
    auto request = std::make_shared<Request>();
    request->message = parser_->release();
    request->path = path_;
    request->params = std::move(params_);
    request->client = client_;
    request->tls = kTls<Stream>;
    const Route& route = *route_;
    if (route.runs == Runs::Inline) {
      RouteContext context{core_.resources, core_.eventResources, core_.options, core_.metrics,
                           core_.readiness};
      return send(runHandler(route, context, *request));
    }
    // On this thread at once when a worker is free (see WorkerPool), else
    // later, on this thread still.
    bool queued = core_.runOnWorker(
        [self = this->shared_from_this(), request, &route, actorName = tokenName_,
         // a job that waits for a worker keeps this thread's loop running
         work = asio::make_work_guard(stream_.get_executor())](Z418kt& component) {
          ServerCore& core = self->core_;
          RouteContext context{core.resources, core.eventResources, core.options,
                               core.metrics,   core.readiness,      &component};
          Reply reply;
          {
            // The events of the changes a request makes name its token as their origin.
            ChangeActor actor(actorName.empty() ? kDefaultTokenName : actorName);
            reply = runHandler(route, context, *request);
          }
          if (reply.status == 503 && route.pattern != "/readyz")
            core.metrics.databaseFailure("unavailable");
          self->send(std::move(reply));
        },
        stream_.get_executor());
    if (!queued) {
      Reply reply = problemReply(503);
      reply.headers.emplace_back("Retry-After", "1");
      send(std::move(reply));
    }
  }

  // A request refused while it was read: answered, then the connection closes.
  void refuse(int status) {
    if (phase_ == Phase::Idle) started_ = Clock::now();
    Reply reply = problemReply(status);
    reply.close = true;
    send(std::move(reply));
  }

  void send(Reply reply) {
    disarm();
    if (!reply.failure.empty()) core_.log.note("error", reply.failure, requestId_);
    if (requestId_.empty()) requestId_ = core_.nextRequestId();

    closeAfter_ = reply.close || !keepAlive_ ||
                  requests_ >= core_.limits.maxRequestsPerConnection || core_.stopping;
    writeHead(reply);
    bytes_ = reply.body.size();
    body_.clear();
    if (method_ != "HEAD") body_.swap(reply.body);
    status_ = reply.status;

    phase_ = Phase::Writing;
    std::array<asio::const_buffer, 2> answer{asio::buffer(head_), asio::buffer(body_)};
    size_t written = 0;
    if constexpr (!kTls<Stream>) {
      // Most answers fit in the socket's buffer: written here and now, with
      // no wait for the socket and no completion to schedule. What does not
      // fit goes on below where this stopped.
      error_code ec;
      written = socket().write_some(answer, ec);
      if (ec != asio::error::would_block && (ec || written == head_.size() + body_.size())) {
        if (buffer_.size() == 0) return onWritten(ec);
        // Requests sent ahead are served each in a handler of its own, so
        // any number of them never deepens the stack.
        return asio::post(stream_.get_executor(),
                          [self = this->shared_from_this(), ec] { self->onWritten(ec); });
      }
      if (ec) written = 0;
    }
    if (written < head_.size()) {
      answer[0] = asio::buffer(head_) + written;
    } else {
      answer[0] = asio::buffer(body_) + (written - head_.size());
      answer[1] = asio::const_buffer();
    }
    arm(std::chrono::seconds(core_.limits.writeSeconds));
    asio::async_write(stream_, answer, [self = this->shared_from_this()](error_code ec, size_t) {
      self->onWritten(ec);
    });
  }

  // The status line and the headers of an answer, written out directly
  // rather than through a header container: the same few headers go with
  // every answer, and building and serializing a container for them cost
  // more than the rest of a /healthz request.
  void writeHead(const Reply& reply) {
    head_.clear();
    head_ += version_ == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
    appendNumber(head_, static_cast<uint64_t>(reply.status));
    head_ += ' ';
    auto reason = bhttp::obsolete_reason(bhttp::int_to_status(static_cast<unsigned>(reply.status)));
    head_.append(reason.data(), reason.size());
    head_ += "\r\n";
    head_ += securityHeaders();
    addHeader("X-Request-Id", requestId_);
    const std::string& cors = core_.options.corsOrigin;
    if (!cors.empty() && origin_ == cors && path_.rfind("/v1/", 0) == 0) {
      addHeader("Access-Control-Allow-Origin", cors);
      addHeader("Access-Control-Allow-Headers", "Authorization, Content-Type");
      addHeader("Access-Control-Allow-Methods", "GET, POST, PUT, DELETE");
      addHeader("Access-Control-Expose-Headers", "Location, X-Request-Id");
      addHeader("Vary", "Origin");
    }
    if (!reply.contentType.empty()) addHeader("Content-Type", reply.contentType);
    for (const auto& [name, value] : reply.headers) addHeader(name, value);
    // HTTP/1.1 keeps a connection open unless told; HTTP/1.0 closes it unless told.
    if (version_ >= 11 && closeAfter_) addHeader("Connection", "close");
    if (version_ < 11 && !closeAfter_) addHeader("Connection", "keep-alive");
    if (reply.status != 204 && reply.status != 304) {
      head_ += "Content-Length: ";
      appendNumber(head_, reply.body.size());
      head_ += "\r\n";
    }
    head_ += "\r\n";
  }

  // Route headers and the ones above are our own texts; a value that came
  // with a request (the request id) was checked to be plain before.
  void addHeader(std::string_view name, std::string_view value) {
    head_ += name;
    head_ += ": ";
    head_ += value;
    head_ += "\r\n";
  }

  void onWritten(error_code ec) {
    disarm();
    double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    size_t route = route_ ? static_cast<size_t>(route_ - routeTable().data()) : SIZE_MAX;
    core_.metrics.request(route, method_, status_, seconds);
    core_.log.write({requestId_, client_.empty() ? peer_ : client_, method_,
                     route_ ? std::string_view(route_->pattern) : std::string_view(), path_,
                     tokenName_, status_, bytes_, seconds * 1000});
    requestId_.clear();
    body_.clear();
    if (ec) return closeNow();
    if (closeAfter_) return closeGracefully();
    readRequest();
  }

  // Stops sending, then reads and drops what the client still sends until
  // it closes or the linger time is over.
  void closeGracefully() {
    phase_ = Phase::Closing;
    arm(kLinger);
    if constexpr (kTls<Stream>) {
      stream_.async_shutdown([self = this->shared_from_this()](error_code) { self->closeNow(); });
    } else {
      error_code ignored;
      socket().shutdown(Socket::shutdown_send, ignored);
      drain();
    }
  }

  void drain() {
    socket().async_read_some(asio::buffer(scratch_),
                             [self = this->shared_from_this()](error_code ec, size_t) {
                               if (ec) return self->closeNow();
                               self->drain();
                             });
  }

  void closeNow() {
    if (phase_ == Phase::Closed) return;
    phase_ = Phase::Closed;
    disarm();
    ++timerGeneration_;  // the timer's wait holds this session: end it now
    timer_.cancel();
    error_code ignored;
    socket().shutdown(Socket::shutdown_both, ignored);
    socket().close(ignored);
  }

  ServerCore& core_;
  Stream stream_;
  asio::steady_timer timer_;
  uint64_t timerGeneration_ = 0;
  Clock::time_point deadline_ = Clock::time_point::max(), timerAt_;
  bool timerRunning_ = false, timedOut_ = false;
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
  std::string head_, body_;  // the answer being written
  ServerCore::TokenMemo tokenMemo_;
  std::array<char, 4096> scratch_{};
  std::string peer_, key_;
  Phase phase_ = Phase::Idle;
  bool waitingForContinue_ = false;
  size_t requests_ = 0;

  // The request being served.
  Clock::time_point started_ = Clock::now();
  std::string method_, path_, requestId_, client_, origin_, allow_, tokenName_;
  const Route* route_ = nullptr;
  std::vector<std::string> params_;
  std::optional<Reply> refusal_;
  bool keepAlive_ = true, closeAfter_ = false;
  int status_ = 0;
  unsigned version_ = 11;
  size_t bytes_ = 0;
};

}  // namespace

// A session starts on its own thread's loop: everything it does happens there.
void startSession(ServerCore& core, Socket socket, std::string peer, std::string key) {
  auto executor = socket.get_executor();
  auto session =
      std::make_shared<Session<Socket>>(core, std::move(peer), std::move(key), std::move(socket));
  asio::post(executor, [session] { session->start(); });
}

void startTlsSession(ServerCore& core, Socket socket, std::string peer, std::string key,
                     asio::ssl::context& tls) {
  auto executor = socket.get_executor();
  auto session = std::make_shared<Session<asio::ssl::stream<Socket>>>(
      core, std::move(peer), std::move(key), std::move(socket), tls);
  asio::post(executor, [session] { session->start(); });
}

}  // namespace z418kt::http
