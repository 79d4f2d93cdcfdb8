// KeyBlocks: keys of KTR_SEQUENCIA this process has reserved and not yet
// handed out, per connection text and key name. A block is added only once
// the transaction that reserved it is durable, so no other process, and no
// later reservation after a rollback, can hand out the same keys. Keys left
// when the process ends are gaps, as with any database sequence. A child made
// by fork() starts with none: its parent still hands out the same blocks.
// Safe to use from any number of threads.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace z418kt::outside {

class KeyBlocks {
 public:
  static constexpr int32_t kBlockSize = 32;  // keys reserved at a time
  static constexpr size_t kMaxBlocks = 256;  // blocks kept, over all texts and key names

  static KeyBlocks& process();

  // The lowest reserved key, or nothing when none is left.
  std::optional<int32_t> take(const std::string& connection, const std::string& keyName);
  // Keys first..last (inclusive) are this process's to hand out.
  void add(const std::string& connection, const std::string& keyName, int32_t first, int32_t last);

 private:
  void forgetAfterFork();  // with mutex_ held
  std::mutex mutex_;
  // Per connection text and key name, the blocks: first key → last key.
  std::map<std::pair<std::string, std::string>, std::map<int32_t, int32_t>> free_;
  size_t blocks_ = 0;
  long owner_ = 0;  // the process the blocks belong to
};

}  // namespace z418kt::outside
