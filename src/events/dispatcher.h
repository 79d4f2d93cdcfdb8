// Dispatcher: sends the outbox's events to the subscriptions, signed, in
// order per Coleta, at least once.
//
// Each pass distributes the new events (one delivery per subscription that
// wants the event), claims the due deliveries for a lease, and posts each
// one. A 2xx answer marks it delivered; anything else (no answer within the
// request timeout, another status, a destination outside the allow-list) is
// a failed attempt, tried again after an exponential backoff with jitter
// (base x 2^(attempt-1), capped, times a random factor in [0.5, 1]) until
// maxAttempts attempts made it a dead letter (`z418kt assinatura replay`
// queues it again). A later event of the same Coleta waits for the earlier
// one to be delivered or dead. Every attempt of an event carries the same
// webhook-id, so a receiver can drop a repeat (one comes only when a
// dispatcher died, or its lease ran out, after the receiver answered).
//
// Several dispatchers may share one PostgreSQL database (each claims with
// its own lease, and a LISTEN on z418kt_eventos wakes them as soon as an
// event commits); on SQLite run one. The http server runs one inside:
//
//   events::Dispatcher dispatcher(options);
//   dispatcher.start();   // a thread of its own
//   ...
//   dispatcher.stop();    // ends after the request in hand; also on destruction
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "events/event_store.h"

namespace z418kt::events {

struct DispatcherOptions {
  std::string connection;  // the Coleta database
  std::string owner;       // names this dispatcher's leases; default host:pid:random
  std::chrono::milliseconds requestTimeout{10000};
  int32_t maxAttempts = 8;
  std::chrono::milliseconds retryBase{1000};
  std::chrono::milliseconds retryCap{600000};
  // The longest wait between passes with nothing to do (a NOTIFY on
  // PostgreSQL ends it sooner); also the wait after a database failure.
  std::chrono::milliseconds idle{1000};
  // How long a claim holds its deliveries: at least batch x requestTimeout.
  std::chrono::milliseconds lease{300000};
  int32_t batch = 20;
  // Delivered events older than this are deleted (0: never).
  int32_t retentionDays = 90;
  // Empty: any destination; else only these hosts (see destinationAllowed).
  std::vector<std::string> allowedDestinations;
  // The IRI base of the ONE Record form (as the export's).
  std::string oneRecordBase = "http://localhost:8080/logistics-objects/";
  // One line per delivery and per failure; never a secret. May be empty.
  std::function<void(const std::string&)> log;
};

// The body a subscription gets for an event, by its format.
std::string deliveryBody(const Event& event, const std::string& format,
                         const std::string& oneRecordBase);

class Dispatcher {
 public:
  explicit Dispatcher(DispatcherOptions options);
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Runs passes on a thread of its own until stop(); does nothing when running.
  void start();
  // Asks the thread to end, and waits for it: the request in hand finishes
  // (within the request timeout). Idempotent.
  void stop();

  // One pass on the calling thread: the number of events distributed and
  // delivery attempts made (0: nothing was due).
  // Throws StoreError when the database fails.
  int32_t runOnce();

 private:
  void loop();
  void waitIdle();
  void send(EventStore& store, const Delivery& d);

  DispatcherOptions options_;
  std::unique_ptr<EventStore> store_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::chrono::steady_clock::time_point lastPrune_{};
  std::string lastError_;  // the last failure logged
  struct Listener;
  std::unique_ptr<Listener> listener_;
  struct Client;
  std::unique_ptr<Client> client_;
};

}  // namespace z418kt::events
