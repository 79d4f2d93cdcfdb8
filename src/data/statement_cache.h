// StatementCache: the prepared statements one session keeps, by the shape of
// the statement they run (see sql::shapeStatement), so that statements which
// differ only in their values are prepared once and bound after that.
//
// At most capacity() are kept; keeping one more lets the least recently used
// go, and hands it back so the session can release it on its engine. A
// capacity of 0 keeps nothing: every statement is then prepared for itself.
// Used by one thread at a time, as the session that owns it.
//
// Connection text: "Statement Cache=<n>", 0 to 1000, default 64 per session
// (the component runs a few dozen statement shapes in all).
#pragma once

#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace z418kt::data {

class ConnectionText;

inline constexpr size_t kDefaultStatementCache = 64;
inline constexpr size_t kMaxStatementCache = 1000;

// The "Statement Cache" of a connection text; throws AutomationError for a
// value that is not a whole number from 0 to kMaxStatementCache.
size_t statementCacheSize(const ConnectionText& text);

template <class Prepared>
class StatementCache {
 public:
  using Entry = std::pair<std::string, Prepared>;

  explicit StatementCache(size_t capacity = kDefaultStatementCache) : capacity_(capacity) {}
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  size_t capacity() const { return capacity_; }
  size_t size() const { return order_.size(); }

  // The statement kept for `shape`, now the most recently used; null when none.
  Prepared* find(std::string_view shape) {
    auto it = index_.find(shape);
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return &it->second->second;
  }

  // Keeps `prepared` for `shape` (which must not be kept yet) and points
  // `kept` at it; returns the entry that made room for it, if one had to go.
  // With capacity 0 nothing is kept and `prepared` itself comes back.
  std::optional<Entry> keep(std::string shape, Prepared prepared, Prepared*& kept) {
    kept = nullptr;
    if (capacity_ == 0) return Entry{std::move(shape), std::move(prepared)};
    std::optional<Entry> gone;
    if (order_.size() >= capacity_) {
      index_.erase(order_.back().first);
      gone = std::move(order_.back());
      order_.pop_back();
    }
    order_.emplace_front(std::move(shape), std::move(prepared));
    index_.emplace(order_.front().first, order_.begin());
    kept = &order_.front().second;
    return gone;
  }

  // Every kept entry, most recently used first (to release them all).
  std::list<Entry> takeAll() {
    index_.clear();
    return std::exchange(order_, {});
  }

 private:
  size_t capacity_;
  std::list<Entry> order_;  // most recently used first
  std::unordered_map<std::string_view, typename std::list<Entry>::iterator> index_;
};

}  // namespace z418kt::data
