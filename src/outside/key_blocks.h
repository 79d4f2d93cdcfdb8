// KeyBlocks: keys of KTR_SEQUENCIA this process has reserved and not yet
// handed out, per connection text and key name. A block is added only once
// the transaction that reserved it is durable, so no other process, and no
// later reservation after a rollback, can hand out the same keys. Keys left
// when the process ends are gaps, as with any database sequence. A child made
// by fork() starts with none: its parent still hands out the same blocks.
// Safe to use from any number of threads.
//
// Reservations: the keys a thread reserves inside one transaction of its own
// (a save). They are usable by the rest of that transaction at once, go to the
// process only by keep(), once the transaction is durable, and are dropped
// otherwise, so a save of many pieces uses consecutive keys and a rolled-back
// save hands none of them out again.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace z418kt::outside {

class KeyBlocks {
 public:
  static constexpr int32_t kBlockSize = 32;  // keys reserved at a time
  static constexpr size_t kMaxBlocks = 256;  // blocks kept, over all texts and key names

  class Reservations;

  static KeyBlocks& process();

  // The lowest reserved key, or nothing when none is left.
  std::optional<int32_t> take(const std::string& connection, const std::string& keyName);
  // Keys first..last (inclusive) are this process's to hand out.
  void add(const std::string& connection, const std::string& keyName, int32_t first, int32_t last);

 private:
  void forgetAfterFork();  // with mutex_ held
  std::mutex mutex_;
  // Looked up by views of the caller's texts: a key taken copies neither.
  struct ByTexts {
    using is_transparent = void;
    using Texts = std::pair<std::string_view, std::string_view>;
    bool operator()(const Texts& a, const Texts& b) const { return a < b; }
  };
  // Per connection text and key name, the blocks: first key → last key.
  std::map<std::pair<std::string, std::string>, std::map<int32_t, int32_t>, ByTexts> free_;
  size_t blocks_ = 0;
  uint64_t owner_ = 0;  // the process the blocks belong to, by data::forkCount()
};

class KeyBlocks::Reservations {
 public:
  Reservations() = default;
  ~Reservations() { end(); }
  Reservations(const Reservations&) = delete;
  Reservations& operator=(const Reservations&) = delete;

  // Collects the keys this thread reserves for `connection` from now on.
  void start(const std::string& connection);
  // Hands the keys not used to the process (call once the transaction is durable).
  void keep();
  // Drops the keys reserved and not used, gives back to the process the keys
  // taken from it (the transaction that used them is not stored); the thread
  // reserves for the process again.
  void end();

  // The thread's collector for `connection`, or null.
  static Reservations* current(const std::string& connection);
  std::optional<int32_t> take(const std::string& keyName);
  void add(const std::string& keyName, int32_t first, int32_t last);
  // `key` came from the process's blocks for this transaction.
  void borrowed(const std::string& keyName, int32_t key);

 private:
  std::string connection_;
  std::map<std::string, std::pair<int32_t, int32_t>> free_;  // key name → first..last
  std::vector<std::pair<std::string, int32_t>> borrowed_;
  Reservations* previous_ = nullptr;
  bool started_ = false;
};

}  // namespace z418kt::outside
