// The REST resources of the Coleta events: a Coleta's history and the
// webhook subscriptions, over the event store of the server's database.
//
// Each worker thread keeps its own store session. A database without the
// outbox tables, or one that fails, answers 503; a subscription's secret is
// in the answer that creates it and in no other.
#pragma once

#include <string>
#include <string_view>

#include "http/resources.h"

namespace z418kt::http {

class EventResources {
 public:
  explicit EventResources(std::string connection) : connection_(std::move(connection)) {}

  // GET /v1/coletas/{id}/eventos?depois=N&limite=N
  Answer history(std::string_view id, std::string_view after, std::string_view limit) const;
  // GET, POST /v1/assinaturas; DELETE /v1/assinaturas/{id}
  Answer listSubscriptions() const;
  Answer addSubscription(const json::Json& body) const;
  Answer removeSubscription(std::string_view id) const;

 private:
  std::string connection_;
};

}  // namespace z418kt::http
