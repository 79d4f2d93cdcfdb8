// EventStore: the outbox, the subscriptions and the deliveries in the
// Coleta database, on a session of its own (not the operations' pool).
//
// Every method runs in one transaction of that session and either does all
// of its work or none; failures throw StoreError with the engine's text.
// On PostgreSQL several stores (processes) may work on one database at once:
// distribution runs in one of them at a time, and a delivery is claimed by
// one of them for a lease (FOR UPDATE SKIP LOCKED); on SQLite the write lock
// serializes them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "events/event.h"
#include "events/subscription.h"

namespace z418kt::data {
class Connection;
}

namespace z418kt::events {

struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A delivery that a dispatcher holds: one event for one subscription.
struct Delivery {
  int64_t subscriptionId = 0;
  Event event;
  std::string url;
  std::string secret;
  std::string format;
  int32_t attempts = 0;  // made before this one
};

class EventStore {
 public:
  // Opens a session on the database of `connectionText`. Throws StoreError
  // when it cannot, or when the database has no outbox tables.
  explicit EventStore(const std::string& connectionText);
  ~EventStore();
  EventStore(const EventStore&) = delete;
  EventStore& operator=(const EventStore&) = delete;

  bool postgres() const { return postgres_; }

  // The events of a Coleta in order, from sequence number `after` on (up to `limit`).
  std::vector<Event> history(int64_t coletaId, int64_t after, int32_t limit);

  // Stores a checked subscription; returns it with its id, creation time and
  // a new secret (the one time the secret leaves the store).
  Subscription add(const SubscriptionInput& input);
  // The active subscriptions, secrets left out.
  std::vector<Subscription> list();
  // Deactivates a subscription and drops its pending deliveries; false when
  // there is no active subscription of that id. Its history of deliveries stays.
  bool remove(int64_t id);
  // Puts a subscription's dead letters (with `fromEvent`, also every delivery
  // of events from that sequence number on) back in the queue, attempts
  // reset. Returns how many; nullopt when there is no such subscription.
  std::optional<int64_t> replay(int64_t id, std::optional<int64_t> fromEvent);

  // Makes the deliveries of up to `limit` events not yet distributed, in
  // order, one per active subscription that wants them. Returns how many events.
  int32_t distribute(int32_t limit);
  // Claims up to `limit` due deliveries for `owner` until `nowMs + leaseMs`:
  // for each subscription and Coleta only the oldest pending one, so a
  // Coleta's events go out in order.
  std::vector<Delivery> claim(const std::string& owner, int64_t nowMs, int64_t leaseMs,
                              int32_t limit);
  void delivered(const Delivery& d, const std::string& owner, const std::string& when);
  // A failed attempt: retried at `retryAtMs`, or a dead letter when nullopt.
  void failed(const Delivery& d, const std::string& owner, const std::string& error,
              std::optional<int64_t> retryAtMs);
  // Deletes events older than `days` days all of whose deliveries ended
  // (delivered or dead), with those deliveries. Returns how many events.
  int64_t prune(int32_t days);

  // Counts of deliveries by state, for tests and the command's summary.
  struct Counts {
    int64_t pending = 0, delivered = 0, dead = 0;
  };
  Counts counts();

 private:
  template <class Body>
  auto inTransaction(Body&& body);

  std::unique_ptr<data::Connection> session_;
  bool postgres_ = false;
};

}  // namespace z418kt::events
