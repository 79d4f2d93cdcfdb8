#include "events/event_store.h"

#include <chrono>
#include <ctime>

#include "data/connection.h"
#include "data/providers.h"
#include "z418kt/automation_error.h"
#include "z418kt/variant.h"

namespace z418kt::events {

namespace {

std::string sqlText(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\0') continue;  // no engine stores it inside a text
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string text(const Variant& v) {
  if (v.type() == VarType::Empty || v.type() == VarType::Null) return {};
  return vb::concatText(v);
}

int64_t number(const Variant& v) {
  std::string t = text(v);
  if (t.empty()) return 0;
  try {
    return static_cast<int64_t>(std::stod(t));
  } catch (const std::exception&) {
    return 0;
  }
}

// The columns an event is read from, in this order.
constexpr const char* kEventColumns =
    "E.EVENTO_ID, E.DOCTO_TRANSPORTE_ID, E.DATA_HORA, E.USUARIO_ID, E.ORIGEM, E.ANTES, E.DEPOIS";

// The events of KTR_EVENTO I matching `where`, the first `limit` in number
// order, as a condition on the event E being read: their keys are chosen
// first, so the view's state before and after is built only for those. On
// SQLite the key is (DISTRIBUIDO, DOCTO_TRANSPORTE_ID, EVENTO_ID): a condition
// on the number alone would read every event, and one on a Coleta names both
// parts of the key's first column (I.DISTRIBUIDO IN (0, 1)) to be read by it.
std::string firstEvents(const std::string& where, int64_t limit) {
  return "(E.DISTRIBUIDO, E.DOCTO_TRANSPORTE_ID, E.EVENTO_ID) IN (SELECT I.DISTRIBUIDO, "
         "I.DOCTO_TRANSPORTE_ID, I.EVENTO_ID FROM KTR_EVENTO I WHERE " +
         where + " ORDER BY I.EVENTO_ID LIMIT " + std::to_string(limit) + ")";
}

Event eventAt(const data::Rows::Row& row, size_t first) {
  Event e;
  e.id = number(row.at(first));
  e.coletaId = number(row.at(first + 1));
  e.time = text(row.at(first + 2));
  e.user = text(row.at(first + 3));
  e.actor = text(row.at(first + 4));
  e.before = parseState(text(row.at(first + 5)));
  e.after = parseState(text(row.at(first + 6)));
  return e;
}

std::string isoTime(std::chrono::system_clock::time_point at) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char out[40];
  std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%S", &utc);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(ms % 1000));
  return std::string(out) + millis;
}

}  // namespace

EventStore::EventStore(const std::string& connectionText) {
  try {
    session_ = data::connectDirect(connectionText, false);
    postgres_ = session_->engine().find("postgres") != std::string::npos;
    session_->execute("SELECT COUNT(*) FROM KTR_EVENTO WHERE 1 = 0");
  } catch (const AutomationError& e) {
    throw StoreError(
        "O banco de dados não tem as tabelas de eventos (z418kt deliver --install-outbox as "
        "cria): " +
        e.description);
  }
}

EventStore::~EventStore() = default;

template <class Body>
auto EventStore::inTransaction(Body&& body) {
  try {
    session_->begin(true);
  } catch (const AutomationError& e) {
    throw StoreError(e.description);
  }
  try {
    auto result = body();
    session_->commit();
    return result;
  } catch (const AutomationError& e) {
    session_->rollback();
    throw StoreError(e.description);
  } catch (const std::exception&) {
    session_->rollback();
    throw;
  }
}

std::vector<Event> EventStore::history(int64_t coletaId, int64_t after, int32_t limit) {
  return inTransaction([&] {
    std::vector<Event> out;
    auto rows = session_->execute(
        std::string("SELECT ") + kEventColumns + " FROM KTR_EVENTO_HISTORICO E WHERE " +
        firstEvents("I.DISTRIBUIDO IN (0, 1) AND I.DOCTO_TRANSPORTE_ID = " +
                        std::to_string(coletaId) + " AND I.EVENTO_ID > " + std::to_string(after),
                    limit) +
        " ORDER BY E.EVENTO_ID");
    for (auto row : rows.rows) out.push_back(eventAt(row, 0));
    return out;
  });
}

Subscription EventStore::add(const SubscriptionInput& input) {
  Subscription s;
  static_cast<SubscriptionInput&>(s) = input;
  s.secret = newSecret();
  s.createdAt = isoTime(std::chrono::system_clock::now());
  return inTransaction([&] {
    auto rows = session_->execute(
        "INSERT INTO KTR_ASSINATURA (URL, TIPOS, CLIENTE_ID, SEGREDO, FORMATO, CRIADA_EM) VALUES "
        "(" +
        sqlText(s.url) + ", " + sqlText(joinKinds(s.kinds)) + ", " +
        (s.clientId ? std::to_string(*s.clientId) : "NULL") + ", " + sqlText(s.secret) + ", " +
        sqlText(s.format) + ", " + sqlText(s.createdAt) + ") RETURNING ASSINATURA_ID");
    if (rows.rows.empty()) throw StoreError("the new subscription's id did not come back");
    s.id = number((*rows.rows.begin()).at(0));
    return s;
  });
}

namespace {
constexpr const char* kSubscriptionColumns =
    "ASSINATURA_ID, URL, TIPOS, CLIENTE_ID, FORMATO, CRIADA_EM, SEGREDO";

Subscription subscriptionAt(const data::Rows::Row& row) {
  Subscription s;
  s.id = number(row.at(0));
  s.url = text(row.at(1));
  s.kinds = splitKinds(text(row.at(2)));
  if (!text(row.at(3)).empty()) s.clientId = number(row.at(3));
  s.format = text(row.at(4));
  s.createdAt = text(row.at(5));
  return s;
}
}  // namespace

std::vector<Subscription> EventStore::list() {
  return inTransaction([&] {
    std::vector<Subscription> out;
    auto rows = session_->execute(std::string("SELECT ") + kSubscriptionColumns +
                                  " FROM KTR_ASSINATURA WHERE ATIVA = 1 ORDER BY ASSINATURA_ID");
    for (auto row : rows.rows) out.push_back(subscriptionAt(row));
    return out;
  });
}

bool EventStore::remove(int64_t id) {
  return inTransaction([&] {
    const std::string key = std::to_string(id);
    auto found = session_->execute(
        "SELECT COUNT(*) FROM KTR_ASSINATURA WHERE ATIVA = 1 AND ASSINATURA_ID = " + key);
    if (found.rows.empty() || number((*found.rows.begin()).at(0)) == 0) return false;
    // Its secret goes with it: nothing can be signed with it any more.
    session_->execute("UPDATE KTR_ASSINATURA SET ATIVA = 0, SEGREDO = '' WHERE ASSINATURA_ID = " +
                      key);
    session_->execute("DELETE FROM KTR_ENTREGA WHERE ESTADO = 0 AND ASSINATURA_ID = " + key);
    return true;
  });
}

std::optional<int64_t> EventStore::replay(int64_t id, std::optional<int64_t> fromEvent) {
  return inTransaction([&]() -> std::optional<int64_t> {
    const std::string key = std::to_string(id);
    auto found =
        session_->execute(std::string("SELECT ") + kSubscriptionColumns +
                          " FROM KTR_ASSINATURA WHERE ATIVA = 1 AND ASSINATURA_ID = " + key);
    if (found.rows.empty()) return std::nullopt;
    Subscription s = subscriptionAt(*found.rows.begin());
    const std::string reset = "ESTADO = 0, TENTATIVAS = 0, PROXIMA = 0, LEASE_ATE = 0";
    int64_t count = 0;
    auto dead = session_->execute(
        "SELECT COUNT(*) FROM KTR_ENTREGA WHERE ESTADO = 2 AND "
        "ASSINATURA_ID = " +
        key);
    count += number((*dead.rows.begin()).at(0));
    session_->execute("UPDATE KTR_ENTREGA SET " + reset +
                      " WHERE ESTADO = 2 AND ASSINATURA_ID = " + key);
    if (fromEvent) {
      // Every distributed event from there on that the subscription wants,
      // whether it went out before or was older than the subscription.
      for (int64_t after = *fromEvent - 1;;) {
        auto rows = session_->execute(
            std::string("SELECT ") + kEventColumns + " FROM KTR_EVENTO_HISTORICO E WHERE " +
            firstEvents("I.DISTRIBUIDO = 1 AND I.EVENTO_ID > " + std::to_string(after), 1000) +
            " ORDER BY E.EVENTO_ID");
        if (rows.rows.empty()) break;
        std::string values;
        for (auto row : rows.rows) {
          Event e = eventAt(row, 0);
          after = e.id;
          if (!s.wants(e)) continue;
          values += (values.empty() ? "" : ", ") + std::string("(") + key + ", " +
                    std::to_string(e.id) + ", " + std::to_string(e.coletaId) + ")";
          ++count;
        }
        if (!values.empty())
          session_->execute(
              "INSERT INTO KTR_ENTREGA (ASSINATURA_ID, EVENTO_ID, DOCTO_TRANSPORTE_ID) VALUES " +
              values + " ON CONFLICT (ASSINATURA_ID, EVENTO_ID) DO UPDATE SET " + reset);
      }
    }
    return count;
  });
}

int32_t EventStore::distribute(int32_t limit) {
  return inTransaction([&] {
    // One distributor at a time, so deliveries are made in event order.
    if (postgres_) {
      auto lock =
          session_->execute("SELECT CASE WHEN pg_try_advisory_xact_lock(418, 0) THEN 1 ELSE 0 END");
      if (lock.rows.empty() || number((*lock.rows.begin()).at(0)) != 1) return int32_t{0};
    }
    auto rows = session_->execute(
        std::string("SELECT ") + kEventColumns + " FROM KTR_EVENTO_HISTORICO E WHERE " +
        firstEvents("I.DISTRIBUIDO = 0", limit) + " ORDER BY E.EVENTO_ID");
    if (rows.rows.empty()) return int32_t{0};
    std::vector<Subscription> subscriptions;
    auto subs = session_->execute(std::string("SELECT ") + kSubscriptionColumns +
                                  " FROM KTR_ASSINATURA WHERE ATIVA = 1");
    for (auto row : subs.rows) subscriptions.push_back(subscriptionAt(row));
    std::string values, ids;
    int32_t count = 0;
    for (auto row : rows.rows) {
      Event e = eventAt(row, 0);
      ids += (ids.empty() ? "" : ", ") + std::to_string(e.id);
      ++count;
      for (const Subscription& s : subscriptions)
        if (s.wants(e))
          values += (values.empty() ? "" : ", ") + std::string("(") + std::to_string(s.id) + ", " +
                    std::to_string(e.id) + ", " + std::to_string(e.coletaId) + ")";
    }
    if (!values.empty())
      session_->execute(
          "INSERT INTO KTR_ENTREGA (ASSINATURA_ID, EVENTO_ID, DOCTO_TRANSPORTE_ID) VALUES " +
          values + " ON CONFLICT (ASSINATURA_ID, EVENTO_ID) DO NOTHING");
    session_->execute(
        "UPDATE KTR_EVENTO SET DISTRIBUIDO = 1 WHERE DISTRIBUIDO = 0 AND EVENTO_ID IN (" + ids +
        ")");
    return count;
  });
}

std::vector<Delivery> EventStore::claim(const std::string& owner, int64_t nowMs, int64_t leaseMs,
                                        int32_t limit) {
  return inTransaction([&] {
    const std::string now = std::to_string(nowMs), until = std::to_string(nowMs + leaseMs);
    session_->execute(
        "UPDATE KTR_ENTREGA SET LEASE_ATE = " + until + ", LEASE_DONO = " + sqlText(owner) +
        " WHERE (ASSINATURA_ID, EVENTO_ID) IN (SELECT D.ASSINATURA_ID, D.EVENTO_ID "
        "FROM KTR_ENTREGA D WHERE D.ESTADO = 0 AND D.PROXIMA <= " +
        now + " AND D.LEASE_ATE <= " + now +
        " AND NOT EXISTS (SELECT 1 FROM KTR_ENTREGA P WHERE P.ASSINATURA_ID = D.ASSINATURA_ID "
        "AND P.DOCTO_TRANSPORTE_ID = D.DOCTO_TRANSPORTE_ID AND P.ESTADO = 0 "
        "AND P.EVENTO_ID < D.EVENTO_ID) ORDER BY D.EVENTO_ID LIMIT " +
        std::to_string(limit) + (postgres_ ? " FOR UPDATE SKIP LOCKED)" : ")"));
    auto rows = session_->execute(
        std::string("SELECT D.ASSINATURA_ID, D.TENTATIVAS, S.URL, S.SEGREDO, S.FORMATO, ") +
        kEventColumns +
        " FROM KTR_ENTREGA D JOIN KTR_ASSINATURA S ON S.ASSINATURA_ID = D.ASSINATURA_ID "
        "JOIN KTR_EVENTO_HISTORICO E ON E.DISTRIBUIDO = 1 AND "
        "E.DOCTO_TRANSPORTE_ID = D.DOCTO_TRANSPORTE_ID AND E.EVENTO_ID = D.EVENTO_ID "
        "WHERE D.ESTADO = 0 AND D.LEASE_DONO = " +
        sqlText(owner) + " AND D.LEASE_ATE = " + until + " ORDER BY D.EVENTO_ID");
    std::vector<Delivery> out;
    for (auto row : rows.rows) {
      Delivery d;
      d.subscriptionId = number(row.at(0));
      d.attempts = static_cast<int32_t>(number(row.at(1)));
      d.url = text(row.at(2));
      d.secret = text(row.at(3));
      d.format = text(row.at(4));
      d.event = eventAt(row, 5);
      out.push_back(std::move(d));
    }
    return out;
  });
}

void EventStore::delivered(const Delivery& d, const std::string&, const std::string& when) {
  inTransaction([&] {
    session_->execute(
        "UPDATE KTR_ENTREGA SET ESTADO = 1, TENTATIVAS = TENTATIVAS + 1, "
        "LEASE_ATE = 0, ULTIMO_ERRO = NULL, ENTREGUE_EM = " +
        sqlText(when) + " WHERE ESTADO = 0 AND ASSINATURA_ID = " +
        std::to_string(d.subscriptionId) + " AND EVENTO_ID = " + std::to_string(d.event.id));
    return 0;
  });
}

void EventStore::failed(const Delivery& d, const std::string& owner, const std::string& error,
                        std::optional<int64_t> retryAtMs) {
  inTransaction([&] {
    session_->execute(
        "UPDATE KTR_ENTREGA SET TENTATIVAS = TENTATIVAS + 1, LEASE_ATE = 0, ESTADO = " +
        std::string(retryAtMs ? "0" : "2") + ", PROXIMA = " +
        std::to_string(retryAtMs.value_or(0)) + ", ULTIMO_ERRO = " + sqlText(error.substr(0, 500)) +
        " WHERE ESTADO = 0 AND ASSINATURA_ID = " + std::to_string(d.subscriptionId) +
        " AND EVENTO_ID = " + std::to_string(d.event.id) + " AND LEASE_DONO = " + sqlText(owner));
    return 0;
  });
}

int64_t EventStore::prune(int32_t days) {
  const std::string cutoff =
      sqlText(isoTime(std::chrono::system_clock::now() - std::chrono::hours(24) * days));
  return inTransaction([&] {
    // An event stays while it or an earlier one of its Coleta has a delivery
    // pending: the state after an event is read from the next one.
    const std::string old =
        "SELECT E.EVENTO_ID FROM KTR_EVENTO E WHERE E.DISTRIBUIDO = 1 AND E.DATA_HORA < " + cutoff +
        " AND NOT EXISTS (SELECT 1 FROM KTR_ENTREGA P WHERE P.DOCTO_TRANSPORTE_ID = "
        "E.DOCTO_TRANSPORTE_ID AND P.EVENTO_ID <= E.EVENTO_ID AND P.ESTADO = 0)";
    auto n = session_->execute("SELECT COUNT(*) FROM (" + old + ") X");
    int64_t count = n.rows.empty() ? 0 : number((*n.rows.begin()).at(0));
    if (count == 0) return count;
    session_->execute("DELETE FROM KTR_ENTREGA WHERE EVENTO_ID IN (" + old + ")");
    session_->execute("DELETE FROM KTR_EVENTO WHERE DISTRIBUIDO = 1 AND EVENTO_ID IN (" + old +
                      ")");
    return count;
  });
}

EventStore::Counts EventStore::counts() {
  return inTransaction([&] {
    Counts c;
    auto rows = session_->execute("SELECT ESTADO, COUNT(*) FROM KTR_ENTREGA GROUP BY ESTADO");
    for (auto row : rows.rows) {
      int64_t state = number(row.at(0)), n = number(row.at(1));
      (state == 0 ? c.pending : state == 1 ? c.delivered : c.dead) = n;
    }
    return c;
  });
}

}  // namespace z418kt::events
