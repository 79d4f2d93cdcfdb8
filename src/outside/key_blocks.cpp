#include "outside/key_blocks.h"

#include "data/fork_count.h"

namespace z418kt::outside {

KeyBlocks& KeyBlocks::process() {
  static KeyBlocks blocks;
  return blocks;
}

void KeyBlocks::forgetAfterFork() {
  uint64_t self = data::forkCount();
  if (owner_ == self) return;
  free_.clear();
  blocks_ = 0;
  owner_ = self;
}

std::optional<int32_t> KeyBlocks::take(const std::string& connection, const std::string& keyName) {
  std::lock_guard lock(mutex_);
  forgetAfterFork();
  auto it = free_.find(ByTexts::Texts(connection, keyName));
  if (it == free_.end()) return std::nullopt;
  auto& ranges = it->second;
  auto lowest = ranges.begin();
  auto [key, last] = *lowest;
  if (key < last) {
    // The block stays the lowest with its next key first; its node is
    // reused rather than freed and made again for every key.
    auto node = ranges.extract(lowest);
    node.key() = key + 1;
    ranges.insert(ranges.begin(), std::move(node));
  } else {
    ranges.erase(lowest);
    --blocks_;
    if (ranges.empty()) free_.erase(it);
  }
  return key;
}

void KeyBlocks::add(const std::string& connection, const std::string& keyName, int32_t first,
                    int32_t last) {
  if (first > last) return;
  std::lock_guard lock(mutex_);
  forgetAfterFork();
  // Blocks of many texts at once (each a database or a user) are dropped
  // rather than kept without end: dropped keys are only gaps.
  if (blocks_ >= kMaxBlocks) {
    free_.clear();
    blocks_ = 0;
  }
  free_[{connection, keyName}].emplace(first, last);
  ++blocks_;
}

namespace {
thread_local KeyBlocks::Reservations* tReservations = nullptr;
}  // namespace

void KeyBlocks::Reservations::start(const std::string& connection) {
  end();
  connection_ = connection;
  previous_ = tReservations;
  tReservations = this;
  started_ = true;
}

void KeyBlocks::Reservations::keep() {
  if (!started_) return;
  borrowed_.clear();
  for (const auto& [keyName, range] : free_)
    KeyBlocks::process().add(connection_, keyName, range.first, range.second);
  free_.clear();
  end();
}

void KeyBlocks::Reservations::end() {
  if (!started_) return;
  for (const auto& [keyName, key] : borrowed_)
    KeyBlocks::process().add(connection_, keyName, key, key);
  borrowed_.clear();
  free_.clear();
  if (tReservations == this) tReservations = previous_;
  started_ = false;
}

KeyBlocks::Reservations* KeyBlocks::Reservations::current(const std::string& connection) {
  return tReservations && tReservations->connection_ == connection ? tReservations : nullptr;
}

std::optional<int32_t> KeyBlocks::Reservations::take(const std::string& keyName) {
  auto it = free_.find(keyName);
  if (it == free_.end()) return std::nullopt;
  auto& [first, last] = it->second;
  int32_t key = first;
  if (first < last)
    ++first;
  else
    free_.erase(it);
  return key;
}

void KeyBlocks::Reservations::add(const std::string& keyName, int32_t first, int32_t last) {
  // Only the newest block is kept: a block is reserved when the one before is used up.
  if (first <= last) free_[keyName] = {first, last};
}

void KeyBlocks::Reservations::borrowed(const std::string& keyName, int32_t key) {
  borrowed_.emplace_back(keyName, key);
}

}  // namespace z418kt::outside
