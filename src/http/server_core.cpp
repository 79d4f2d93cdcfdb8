#include "http/server_core.h"

#include <openssl/crypto.h>

#include <cmath>
#include <random>
#include <vector>

#include "data/statement_runner.h"
#include "http/client_address.h"

namespace z418kt::http {

namespace {

CallContext callContext(const ServerOptions& o) {
  return CallContext{o.connection, o.oracle ? kOracleKind : kProcedureKind, 0};
}

std::vector<std::string_view> routePatterns() {
  std::vector<std::string_view> patterns;
  for (const Route& route : routeTable()) patterns.push_back(route.pattern);
  return patterns;
}

Reply tooMany(double seconds) {
  Reply reply = problemReply(429);
  reply.headers.emplace_back("Retry-After",
                             std::to_string(std::max(1L, std::lround(std::ceil(seconds)))));
  return reply;
}

}  // namespace

ServerCore::ServerCore(ServerOptions o, std::ostream& out)
    : options(std::move(o)),
      log(out),
      metrics(options.limits.workerThreads, routePatterns()),
      resources(callContext(options)),
      eventResources(options.connection),
      readiness(resources, std::chrono::seconds(options.limits.readySeconds)),
      token_(options.tokens),
      clientRate_(options.limits.requestsPerSecond, options.limits.requestsPerSecond),
      tokenRate_(options.limits.tokenRequestsPerSecond, options.limits.tokenRequestsPerSecond),
      failedTokens_(options.limits.failedTokensPerMinute / 60.0,
                    options.limits.failedTokensPerMinute),
      idPrefix_(std::random_device()()),
      workers_(options.limits.workerThreads, options.limits.maxQueued, metrics) {
  metrics.sessions = [] {
    data::StatementRunner::SessionCounts counts = data::currentStatementRunner()->sessions();
    return Metrics::Sessions{counts.inUse, counts.idle};
  };
}

std::optional<Reply> ServerCore::admit(const std::string& key, std::string_view authorization,
                                       Access access, std::string& tokenName, TokenMemo& memo) {
  tokenName.clear();
  if (access == Access::Open || (access == Access::Metrics && options.metricsPublic))
    return std::nullopt;
  // A client that guessed wrong too often is not even compared with the token.
  if (double wait = failedTokens_.waitSeconds(key); wait > 0) return tooMany(wait);
  if (access == Access::Token && !clientRate_.take(key)) return tooMany(1);
  const std::string* name = nullptr;
  if (memo.name && authorization.size() == memo.authorization.size() &&
      CRYPTO_memcmp(authorization.data(), memo.authorization.data(), authorization.size()) == 0) {
    name = memo.name;
  } else {
    name = token_.match(authorization);
    if (name) memo = {std::string(authorization), name};
  }
  if (!name) {
    failedTokens_.take(key);
    Reply reply = problemReply(401);
    reply.headers.emplace_back("WWW-Authenticate", "Bearer");
    return reply;
  }
  tokenName = *name;
  if (access == Access::Token && !tokenRate_.take(*name)) return tooMany(1);
  return std::nullopt;
}

bool ServerCore::openConnection(const std::string& key) {
  std::lock_guard lock(mutex_);
  size_t& mine = perClient_[key];
  if (connections_ >= limits.maxConnections || mine >= limits.maxConnectionsPerClient) {
    if (mine == 0) perClient_.erase(key);
    return false;
  }
  ++mine;
  ++connections_;
  return true;
}

void ServerCore::closeConnection(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto it = perClient_.find(key);
  if (it != perClient_.end() && --it->second == 0) perClient_.erase(it);
  --connections_;
}

void ServerCore::track(const std::shared_ptr<Connection>& connection) {
  std::lock_guard lock(mutex_);
  open_.emplace(connection.get(), connection);
}

void ServerCore::untrack(const Connection* connection) {
  std::lock_guard lock(mutex_);
  open_.erase(connection);
}

void ServerCore::stopConnections() {
  std::vector<std::shared_ptr<Connection>> all;
  {
    std::lock_guard lock(mutex_);
    for (auto& [_, weak] : open_)
      if (auto c = weak.lock()) all.push_back(std::move(c));
  }
  for (auto& c : all) c->stopWhenIdle();
}

std::string ServerCore::nextRequestId() {
  static constexpr char kHex[] = "0123456789abcdef";
  uint64_t value = (idPrefix_ << 32) ^ ++idCounter_;
  std::string id(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) id[static_cast<size_t>(i)] = kHex[value & 0xF];
  return id;
}

}  // namespace z418kt::http
