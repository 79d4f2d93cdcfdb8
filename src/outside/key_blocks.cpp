#include "outside/key_blocks.h"

#include <unistd.h>

namespace z418kt::outside {

KeyBlocks& KeyBlocks::process() {
  static KeyBlocks blocks;
  return blocks;
}

void KeyBlocks::forgetAfterFork() {
  long self = static_cast<long>(getpid());
  if (owner_ == self) return;
  free_.clear();
  blocks_ = 0;
  owner_ = self;
}

std::optional<int32_t> KeyBlocks::take(const std::string& connection, const std::string& keyName) {
  std::lock_guard lock(mutex_);
  forgetAfterFork();
  auto it = free_.find({connection, keyName});
  if (it == free_.end()) return std::nullopt;
  auto& ranges = it->second;
  auto lowest = ranges.begin();
  auto [key, last] = *lowest;
  ranges.erase(lowest);
  if (key < last) {
    ranges.emplace(key + 1, last);
  } else {
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

}  // namespace z418kt::outside
