#include "events/event.h"

namespace z418kt::events {

namespace {

// A Coleta exists in a state when its row does and is not marked deleted.
bool exists(const Json& state) {
  if (!state.is_object() || !state.contains("coleta")) return false;
  const Json& status = state["coleta"].value("tab_status_id", Json());
  return !(status.is_number() && status.get<double>() == 2);
}

// Numbers compare by value: one engine may write 12.5 where another wrote 12.5000.
bool same(const Json& a, const Json& b) {
  if (a.is_number() && b.is_number()) return a.get<double>() == b.get<double>();
  return a == b;
}

}  // namespace

const std::vector<std::string_view>& eventKinds() {
  static const std::vector<std::string_view> kinds = {kCreated, kChanged, kPiecesReplaced,
                                                      kDeleted};
  return kinds;
}

Json parseState(const std::string& text) {
  if (text.empty()) return nullptr;
  Json state = Json::parse(text, nullptr, false);
  return state.is_discarded() ? Json(nullptr) : state;
}

std::string Event::kind() const {
  bool was = exists(before), is = exists(after);
  if (!was && is) return std::string(kCreated);
  if (was && !is) return std::string(kDeleted);
  if (!was && !is) return std::string(kChanged);
  const Json& a = before["coleta"];
  const Json& b = after["coleta"];
  for (auto it = a.begin(); it != a.end(); ++it)
    if (!same(it.value(), b.value(it.key(), Json()))) return std::string(kChanged);
  return std::string(kPiecesReplaced);
}

int64_t Event::clientId() const {
  for (const Json* state : {&after, &before}) {
    if (!state->is_object() || !state->contains("coleta")) continue;
    const Json& client = (*state)["coleta"].value("cliente_id", Json());
    if (client.is_number()) return client.get<int64_t>();
  }
  return 0;
}

std::string Event::webhookId() const { return "evt_" + std::to_string(id); }

Json Event::toJson() const {
  Json changes = Json::object();
  const Json none;
  const Json& a = before.is_object() ? before.value("coleta", none) : none;
  const Json& b = after.is_object() ? after.value("coleta", none) : none;
  if (a.is_object() || b.is_object()) {
    const Json& keys = b.is_object() ? b : a;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
      Json old = a.is_object() ? a.value(it.key(), none) : none;
      Json now = b.is_object() ? b.value(it.key(), none) : none;
      if (!same(old, now)) changes[it.key()] = {{"antes", old}, {"depois", now}};
    }
  }
  Json out;
  out["id"] = webhookId();
  out["sequencia"] = id;
  out["tipo"] = kind();
  out["coleta_id"] = coletaId;
  out["data_hora"] = time;
  out["usuario_id"] = user.empty() ? Json(nullptr) : Json(user);
  out["origem"] = actor.empty() ? Json(nullptr) : Json(actor);
  out["alteracoes"] = changes;
  out["antes"] = before;
  out["depois"] = after;
  return out;
}

}  // namespace z418kt::events
