// StatementCache: the prepared statements one session keeps, by the shape of
// the statement they run (see sql::shapeStatement), so that statements which
// differ only in their values are prepared once and bound after that.
//
// A statement is looked up by its text first (findAlike): the kept shapes,
// most recently used first, are tried as forms (sql::ShapeForm), which costs a
// comparison of the text instead of a pass of the tokenizer over it.
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
#include <vector>

#include "data/sql_lexer.h"

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

  // The statement kept for the shape `statement` has, found through the kept
  // shapes' forms, now the most recently used, with `values` set to the
  // statement's values; null when no kept shape has its form (the statement
  // may still have a kept shape: find() by its cut tells).
  Prepared* findAlike(std::string_view statement, std::vector<sql::ExecArgument>& values) {
    for (auto it = order_.begin(); it != order_.end(); ++it) {
      if (!it->form.cut(statement, values)) continue;
      order_.splice(order_.begin(), order_, it);
      return &it->prepared;
    }
    return nullptr;
  }

  // The statement kept for `shape`, now the most recently used; null when none.
  Prepared* find(std::string_view shape) {
    auto it = index_.find(shape);
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return &it->second->prepared;
  }

  // Keeps `prepared` for `shape` (which must not be kept yet), recognised
  // later by `form`, and points `kept` at it; returns the entry that made
  // room for it, if one had to go. With capacity 0 nothing is kept and
  // `prepared` itself comes back.
  std::optional<Entry> keep(std::string shape, Prepared prepared, Prepared*& kept,
                            sql::ShapeForm form = {}) {
    kept = nullptr;
    if (capacity_ == 0) return Entry{std::move(shape), std::move(prepared)};
    std::optional<Entry> gone;
    if (order_.size() >= capacity_) {
      index_.erase(order_.back().shape);
      gone = Entry{std::move(order_.back().shape), std::move(order_.back().prepared)};
      order_.pop_back();
    }
    order_.push_front(Kept{std::move(shape), std::move(form), std::move(prepared)});
    index_.emplace(order_.front().shape, order_.begin());
    kept = &order_.front().prepared;
    return gone;
  }

  // Every kept entry, most recently used first (to release them all).
  std::list<Entry> takeAll() {
    index_.clear();
    std::list<Entry> all;
    for (Kept& k : order_) all.emplace_back(std::move(k.shape), std::move(k.prepared));
    order_.clear();
    return all;
  }

 private:
  struct Kept {
    std::string shape;
    sql::ShapeForm form;
    Prepared prepared;
  };
  size_t capacity_;
  std::list<Kept> order_;  // most recently used first
  std::unordered_map<std::string_view, typename std::list<Kept>::iterator> index_;
};

}  // namespace z418kt::data
