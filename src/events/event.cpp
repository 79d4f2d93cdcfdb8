#include "events/event.h"

#include <iterator>

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

namespace {

// The names of the values a state array holds, in its order: the header's
// fields, then (the last value) the pieces, each an array in the order below.
constexpr const char* kHeaderFields[] = {
    "empresa_id", "cliente_id",    "end_remetente_id", "end_destinatario_id", "num_volume",
    "peso_real",  "txt_embalagem", "val_declarado",    "tab_status_id",       "data_emissao"};
constexpr const char* kPieceFields[] = {"carga_id", "num_volume", "largura_m", "altura_m",
                                        "comprimento_m"};

template <size_t N>
Json named(const Json& values, const char* const (&names)[N]) {
  Json out = Json::object();
  for (size_t i = 0; i < N; ++i) out[names[i]] = i < values.size() ? values[i] : Json();
  return out;
}

}  // namespace

Json parseState(const std::string& text) {
  if (text.empty()) return nullptr;
  Json state = Json::parse(text, nullptr, false);
  if (state.is_discarded()) return nullptr;
  if (!state.is_array()) return state;
  // The compact form: the values without their names.
  constexpr size_t header = std::size(kHeaderFields);
  if (state.size() != header + 1 || !state[header].is_array()) return nullptr;
  Json pieces = Json::array();
  for (const Json& piece : state[header]) {
    if (!piece.is_array()) return nullptr;
    pieces.push_back(named(piece, kPieceFields));
  }
  Json out;
  out["coleta"] = named(state, kHeaderFields);
  out["cargas"] = std::move(pieces);
  return out;
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
