#include "events/dispatcher.h"

#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

#include "data/postgres_provider.h"
#include "data/providers.h"
#include "events/one_record_event.h"
#include "events/signature.h"
#include "events/webhook_client.h"
#include "z418kt/automation_error.h"

namespace z418kt::events {

namespace {

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string isoNow() {
  auto ms = nowMs();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char out[48];
  size_t n = std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(out + n, sizeof out - n, ".%03dZ", static_cast<int>(ms % 1000));
  return out;
}

std::string defaultOwner() {
  char host[256] = "host";
  gethostname(host, sizeof host - 1);
  std::random_device random;
  return std::string(host) + ":" + std::to_string(getpid()) + ":" + std::to_string(random());
}

}  // namespace

std::string deliveryBody(const Event& event, const std::string& format,
                         const std::string& oneRecordBase) {
  if (format == kFormatOneRecord) return logisticsEventDocument(event, oneRecordBase);
  Json body;
  body["type"] = event.kind();
  body["timestamp"] = event.time;
  body["data"] = event.toJson();
  return body.dump();
}

// A LISTEN session on PostgreSQL: wakes the dispatcher when an event commits.
struct Dispatcher::Listener {
  explicit Listener(const std::string& text) {
    auto params = data::pg::connectParameters(text, data::SessionTimeouts::process());
    std::vector<const char*> keys, values;
    for (size_t i = 0; i < params.keys.size(); ++i) {
      keys.push_back(params.keys[i].c_str());
      values.push_back(params.values[i].c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(conn) == CONNECTION_OK) {
      PGresult* r = PQexec(conn, "LISTEN z418kt_eventos");
      PQclear(r);
    }
  }
  ~Listener() { PQfinish(conn); }
  bool usable() const { return PQstatus(conn) == CONNECTION_OK; }
  // Waits up to `wait` for a notification; true when one came.
  bool await(std::chrono::milliseconds wait) {
    pollfd fd{PQsocket(conn), POLLIN, 0};
    if (fd.fd < 0 || poll(&fd, 1, static_cast<int>(wait.count())) <= 0) return false;
    if (!PQconsumeInput(conn)) return false;
    bool any = false;
    while (PGnotify* n = PQnotifies(conn)) {
      PQfreemem(n);
      any = true;
    }
    return any;
  }
  PGconn* conn = nullptr;
};

struct Dispatcher::Client {
  explicit Client(std::chrono::milliseconds timeout) : http(timeout) {}
  WebhookClient http;
  std::mt19937_64 random{std::random_device{}()};
};

Dispatcher::Dispatcher(DispatcherOptions options) : options_(std::move(options)) {
  if (options_.owner.empty()) options_.owner = defaultOwner();
  if (options_.batch < 1) options_.batch = 1;
  if (options_.maxAttempts < 1) options_.maxAttempts = 1;
  client_ = std::make_unique<Client>(options_.requestTimeout);
}

Dispatcher::~Dispatcher() { stop(); }

void Dispatcher::start() {
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { loop(); });
}

void Dispatcher::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

int32_t Dispatcher::runOnce() {
  if (!store_) store_ = std::make_unique<EventStore>(options_.connection);
  EventStore& store = *store_;
  int32_t work = store.distribute(options_.batch * 5);
  auto deliveries = store.claim(options_.owner, nowMs(), options_.lease.count(), options_.batch);
  for (const Delivery& d : deliveries) {
    if (stopping_) break;  // the lease brings the rest back to the queue
    send(store, d);
    ++work;
  }
  auto now = std::chrono::steady_clock::now();
  if (options_.retentionDays > 0 && now - lastPrune_ > std::chrono::hours(1)) {
    lastPrune_ = now;
    store.prune(options_.retentionDays);
  }
  return work;
}

void Dispatcher::send(EventStore& store, const Delivery& d) {
  const std::string id = d.event.webhookId();
  auto fail = [&](const std::string& error, bool retry) {
    int32_t attempt = d.attempts + 1;
    std::optional<int64_t> retryAt;
    if (retry && attempt < options_.maxAttempts) {
      double backoff = static_cast<double>(options_.retryBase.count()) *
                       std::pow(2.0, std::min(attempt - 1, 40));
      backoff = std::min(backoff, static_cast<double>(options_.retryCap.count()));
      std::uniform_real_distribution<double> jitter(0.5, 1.0);
      retryAt = nowMs() + static_cast<int64_t>(backoff * jitter(client_->random));
    }
    store.failed(d, options_.owner, error, retryAt);
    if (options_.log)
      options_.log("webhook " + id + " assinatura " + std::to_string(d.subscriptionId) +
                   (retryAt ? " falhou" : " morta") + " (tentativa " + std::to_string(attempt) +
                   "): " + error);
  };
  if (!destinationAllowed(d.url, options_.allowedDestinations))
    return fail("destino fora da lista permitida: " + urlHost(d.url), false);
  std::string body = deliveryBody(d.event, d.format, options_.oneRecordBase);
  int64_t timestamp = nowMs() / 1000;
  std::string signature;
  try {
    signature = signWebhook(d.secret, id, timestamp, body);
  } catch (const std::invalid_argument& e) {
    return fail(e.what(), false);
  }
  PostResult result = client_->http.post(
      d.url,
      {{"Content-Type", d.format == kFormatOneRecord ? "application/ld+json" : "application/json"},
       {"webhook-id", id},
       {"webhook-timestamp", std::to_string(timestamp)},
       {"webhook-signature", signature}},
      body);
  if (!result.ok()) return fail(result.error, true);
  store.delivered(d, options_.owner, isoNow());
  if (options_.log)
    options_.log("webhook " + id + " assinatura " + std::to_string(d.subscriptionId) +
                 " entregue (HTTP " + std::to_string(result.status) + ")");
}

void Dispatcher::loop() {
  while (!stopping_) {
    int32_t done = 0;
    try {
      done = runOnce();
      lastError_.clear();
    } catch (const std::exception& e) {
      // A lost database or a passing failure: a new session next pass. The
      // same failure again is not logged again.
      if (options_.log && e.what() != lastError_)
        options_.log(std::string("despacho: ") + e.what());
      lastError_ = e.what();
      store_.reset();
      listener_.reset();
    }
    if (done == 0) waitIdle();
  }
}

void Dispatcher::waitIdle() {
  if (store_ && store_->postgres() && !listener_) {
    listener_ = std::make_unique<Listener>(options_.connection);
    if (!listener_->usable()) listener_.reset();
  }
  auto until = std::chrono::steady_clock::now() + options_.idle;
  // In slices, so stop() is seen soon even while waiting on the socket.
  constexpr std::chrono::milliseconds kSlice{100};
  while (!stopping_) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    auto slice = std::min(left, kSlice);
    if (listener_) {
      if (listener_->await(slice)) return;
    } else {
      std::unique_lock lock(mutex_);
      if (wake_.wait_for(lock, slice, [&] { return stopping_.load(); })) return;
    }
  }
}

}  // namespace z418kt::events
